#pragma once
// An HTTP server on 127.0.0.1 that answers its n-th connection with the n-th of the
// replies it was given (the last one again once they run out). A reply is raw
// bytes written in chosen writes with chosen pauses, so a test decides how the
// response reaches the client and where it stops.

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "tests/support/loopback_socket.h"

namespace ospreon::test {

struct ReplyWrite
{
    std::string bytes;
    std::chrono::milliseconds pauseAfter{0};
};
using Reply = std::vector<ReplyWrite>;

class ScriptedHttpServer
{
public:
    explicit ScriptedHttpServer(std::vector<Reply> replies);

    std::uint16_t port() const { return m_server.port(); }
    std::string Url(const std::string& path) const;
    // The request heads received, from the request line to the blank line.
    std::vector<std::string> requests() const;

private:
    void Serve(LineConnection& connection);

    std::vector<Reply> m_replies;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_requests;
    LoopbackServer m_server; // last: its thread stops before the rest goes
};

// A reply of one write: status line, headers and body as given, no length.
Reply Whole(std::string response);

} // namespace ospreon::test
