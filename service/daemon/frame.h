#pragma once
// The protocol between the scheduler and a worker: one frame per SOCK_SEQPACKET
// message, so a frame arrives whole or not at all. A frame is a fixed 16-byte head
// (kind, ticket, value, waited) in host byte order — both ends are the same
// program on the same machine — followed by the monitor's record name.
//
//   scheduler -> worker   Check, Command, CommandAndNotify, Recovery (ticket, name)
//   worker -> scheduler   Done (ticket, value = the call's HRESULT, waited = ms the
//                         call waited in the worker for a free thread)

#include <cstdint>
#include <optional>
#include <string>

#include "platform/base/result.h"

namespace ospreon::daemon {

enum class FrameKind : std::uint8_t
{
    Check = 1,
    Command = 2,
    CommandAndNotify = 3,
    Recovery = 4,
    Done = 5,
};

struct Frame
{
    FrameKind kind = FrameKind::Check;
    std::uint32_t ticket = 0;
    std::int32_t value = 0;
    std::uint32_t waitedMs = 0;
    std::string name;
};

// The largest frame: a record name is far shorter.
inline constexpr std::size_t kMaxFrame = 16 * 1024;

// Sends one frame; fails with the errno (EPIPE once the other end is gone).
[[nodiscard]] Result<void> SendFrame(int fd, const Frame& frame);

// Receives one frame, waiting when `wait`; nullopt when `wait` is false and none is
// queued. Fails with EPIPE at the end of the stream (the other end closed) and
// with EPROTO for a malformed frame.
[[nodiscard]] Result<std::optional<Frame>> ReceiveFrame(int fd, bool wait);

} // namespace ospreon::daemon
