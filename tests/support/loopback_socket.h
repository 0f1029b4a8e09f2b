#pragma once
// The pieces the test servers share: a listener on 127.0.0.1 with an ephemeral
// port, a connection read line by line, and a thread that accepts and serves one
// connection at a time. Every wait is bounded, so a test never hangs on a client
// that does not come or does not talk.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

struct ssl_st;
struct ssl_ctx_st;

namespace ospreon::test {

// A socket descriptor, closed with its owner.
class SocketFd
{
public:
    SocketFd() = default;
    explicit SocketFd(int fd) : m_fd(fd) {}
    SocketFd(SocketFd&& other) noexcept : m_fd(other.release()) {}
    SocketFd& operator=(SocketFd&& other) noexcept;
    SocketFd(const SocketFd&) = delete;
    SocketFd& operator=(const SocketFd&) = delete;
    ~SocketFd();

    int get() const { return m_fd; }
    explicit operator bool() const { return m_fd >= 0; }
    int release();

private:
    int m_fd = -1;
};

// A connection that is read line by line. Reads give up after their timeout, or
// sooner when `stop` (optional) becomes true.
class LineConnection
{
public:
    LineConnection(SocketFd fd, const std::atomic<bool>* stop) : m_fd(std::move(fd)), m_stop(stop)
    {}
    ~LineConnection();
    LineConnection(const LineConnection&) = delete;
    LineConnection& operator=(const LineConnection&) = delete;

    // Turns the connection into a TLS server connection (STARTTLS, STLS): the
    // handshake must end within a few seconds. Lines read before it that the client
    // sent ahead are dropped, as a server must. False when the handshake failed.
    bool StartTls(ssl_ctx_st* context);
    bool secured() const { return m_ssl != nullptr; }

    // The next line without its line end ("\r\n" or "\n"); nullopt when the peer
    // closed, the wait ran out or the server stops.
    std::optional<std::string> ReadLine(std::chrono::milliseconds timeout);
    // Exactly `count` bytes; nullopt as for ReadLine.
    std::optional<std::string> ReadBytes(std::size_t count, std::chrono::milliseconds timeout);
    bool Send(std::string_view data);
    // The socket, for a session that speaks through another layer (TLS) instead.
    int fd() const { return m_fd.get(); }

private:
    bool Fill(std::chrono::steady_clock::time_point deadline);

    SocketFd m_fd;
    const std::atomic<bool>* m_stop = nullptr;
    std::string m_buffer;
    ssl_st* m_ssl = nullptr;
};

// Listens on 127.0.0.1 (port 0: the kernel picks one) and serves each accepted
// connection with `session` on one thread, until destroyed. Throws
// std::runtime_error when it cannot listen.
class LoopbackServer
{
public:
    using Session = std::function<void(LineConnection&)>;

    explicit LoopbackServer(Session session);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    std::uint16_t port() const { return m_port; }
    // Connections accepted so far.
    int connections() const { return m_connections.load(); }

private:
    void Run();

    SocketFd m_listener;
    std::uint16_t m_port = 0;
    Session m_session;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_connections{0};
    std::thread m_thread;
};

// A port of 127.0.0.1 on which nothing listens: bound once, then closed.
std::uint16_t UnusedLoopbackPort();

} // namespace ospreon::test
