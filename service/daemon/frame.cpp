#include "service/daemon/frame.h"

#include <cerrno>
#include <cstring>

#include <sys/socket.h>

namespace ospreon::daemon {

namespace {

constexpr std::size_t kHead = 16;

} // namespace

Result<void> SendFrame(int fd, const Frame& frame)
{
    if (frame.name.size() > kMaxFrame - kHead)
        return Error::Errno(EMSGSIZE, "frame for " + frame.name + " is too long");
    char buffer[kMaxFrame];
    std::memset(buffer, 0, kHead);
    buffer[0] = static_cast<char>(frame.kind);
    std::memcpy(buffer + 4, &frame.ticket, 4);
    std::memcpy(buffer + 8, &frame.value, 4);
    std::memcpy(buffer + 12, &frame.waitedMs, 4);
    std::memcpy(buffer + kHead, frame.name.data(), frame.name.size());
    const std::size_t size = kHead + frame.name.size();
    for (;;) {
        const ssize_t sent = ::send(fd, buffer, size, MSG_NOSIGNAL);
        if (sent == static_cast<ssize_t>(size))
            return {};
        if (sent < 0 && errno == EINTR)
            continue;
        return Error::Errno(sent < 0 ? errno : EIO, "cannot send a frame to the other process");
    }
}

Result<std::optional<Frame>> ReceiveFrame(int fd, bool wait)
{
    char buffer[kMaxFrame];
    ssize_t got;
    do
        got = ::recv(fd, buffer, sizeof buffer, wait ? 0 : MSG_DONTWAIT);
    while (got < 0 && errno == EINTR);
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        return std::optional<Frame>();
    if (got < 0)
        return Error::Errno(errno, "cannot receive a frame from the other process");
    if (got == 0)
        return Error::Errno(EPIPE, "the other process closed its end");
    const auto size = static_cast<std::size_t>(got);
    if (size < kHead || buffer[0] < static_cast<char>(FrameKind::Check) ||
        buffer[0] > static_cast<char>(FrameKind::Done))
        return Error::Errno(EPROTO, "malformed frame from the other process");
    Frame frame;
    frame.kind = static_cast<FrameKind>(buffer[0]);
    std::memcpy(&frame.ticket, buffer + 4, 4);
    std::memcpy(&frame.value, buffer + 8, 4);
    std::memcpy(&frame.waitedMs, buffer + 12, 4);
    frame.name.assign(buffer + kHead, size - kHead);
    return std::optional<Frame>(std::move(frame));
}

} // namespace ospreon::daemon
