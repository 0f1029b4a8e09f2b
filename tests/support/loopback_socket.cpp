#include "tests/support/loopback_socket.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <stdexcept>
#include <utility>

#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ospreon::test {

namespace {

using Clock = std::chrono::steady_clock;

// A slice of every wait, after which the stop flag is looked at again.
constexpr std::chrono::milliseconds kSlice{50};
// A line longer than this is a client gone wrong, not something to buffer.
constexpr std::size_t kMaxLine = 1 << 20;

SocketFd BindLoopback(std::uint16_t& port)
{
    SocketFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd)
        throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        throw std::runtime_error(std::string("bind 127.0.0.1:0: ") + std::strerror(errno));
    socklen_t length = sizeof address;
    if (::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error(std::string("getsockname: ") + std::strerror(errno));
    port = ntohs(address.sin_port);
    return fd;
}

// Waits until `fd` is readable, for at most `wait`; false on timeout.
bool WaitReadable(int fd, std::chrono::milliseconds wait)
{
    pollfd entry{fd, POLLIN, 0};
    int rc;
    while ((rc = ::poll(&entry, 1, static_cast<int>(wait.count()))) < 0 && errno == EINTR) {
    }
    return rc > 0;
}

} // namespace

SocketFd& SocketFd::operator=(SocketFd&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = other.release();
    }
    return *this;
}

SocketFd::~SocketFd()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

int SocketFd::release()
{
    return std::exchange(m_fd, -1);
}

LineConnection::~LineConnection()
{
    if (m_ssl)
        SSL_free(m_ssl);
}

bool LineConnection::StartTls(ssl_ctx_st* context)
{
    if (m_ssl)
        return false;
    m_buffer.clear();
    // A client that drops the TLS connection must not kill the test with SIGPIPE.
    ::signal(SIGPIPE, SIG_IGN);
    m_ssl = SSL_new(context);
    if (!m_ssl || SSL_set_fd(m_ssl, m_fd.get()) != 1)
        return false;
    // The socket blocks: bound the handshake by the socket's own timeouts.
    const timeval limit{5, 0};
    ::setsockopt(m_fd.get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    ::setsockopt(m_fd.get(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    return SSL_accept(m_ssl) == 1;
}

bool LineConnection::Fill(Clock::time_point deadline)
{
    for (;;) {
        if (m_stop && m_stop->load())
            return false;
        const auto now = Clock::now();
        if (now >= deadline)
            return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
        const bool pending = m_ssl && SSL_pending(m_ssl) > 0;
        if (!pending &&
            !WaitReadable(m_fd.get(), std::min(left + std::chrono::milliseconds(1), kSlice)))
            continue;
        char chunk[4096];
        ssize_t got;
        if (m_ssl) {
            const int read = SSL_read(m_ssl, chunk, sizeof chunk);
            if (read <= 0 && SSL_get_error(m_ssl, read) == SSL_ERROR_WANT_READ)
                continue;
            got = read;
        } else {
            got = ::recv(m_fd.get(), chunk, sizeof chunk, 0);
            if (got < 0 && errno == EINTR)
                continue;
        }
        if (got <= 0)
            return false;
        m_buffer.append(chunk, static_cast<std::size_t>(got));
        return true;
    }
}

std::optional<std::string> LineConnection::ReadLine(std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        const std::size_t end = m_buffer.find('\n');
        if (end != std::string::npos) {
            std::string line = m_buffer.substr(0, end);
            m_buffer.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            return line;
        }
        if (m_buffer.size() > kMaxLine || !Fill(deadline))
            return std::nullopt;
    }
}

std::optional<std::string> LineConnection::ReadBytes(std::size_t count,
                                                     std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    while (m_buffer.size() < count) {
        if (!Fill(deadline))
            return std::nullopt;
    }
    std::string bytes = m_buffer.substr(0, count);
    m_buffer.erase(0, count);
    return bytes;
}

bool LineConnection::Send(std::string_view data)
{
    if (m_ssl) {
        return data.empty() || SSL_write(m_ssl, data.data(), static_cast<int>(data.size())) ==
                                   static_cast<int>(data.size());
    }
    while (!data.empty()) {
        const ssize_t sent = ::send(m_fd.get(), data.data(), data.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        data.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

LoopbackServer::LoopbackServer(Session session) : m_session(std::move(session))
{
    m_listener = BindLoopback(m_port);
    if (::listen(m_listener.get(), 16) != 0)
        throw std::runtime_error(std::string("listen: ") + std::strerror(errno));
    m_thread = std::thread([this] { Run(); });
}

LoopbackServer::~LoopbackServer()
{
    m_stop = true;
    m_thread.join();
}

void LoopbackServer::Run()
{
    while (!m_stop.load()) {
        if (!WaitReadable(m_listener.get(), kSlice))
            continue;
        SocketFd client(::accept4(m_listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (!client)
            continue;
        ++m_connections;
        LineConnection connection(std::move(client), &m_stop);
        m_session(connection);
    }
}

std::uint16_t UnusedLoopbackPort()
{
    std::uint16_t port = 0;
    // Closed at once: connecting to the port is refused until someone binds it again.
    SocketFd fd = BindLoopback(port);
    return port;
}

} // namespace ospreon::test
