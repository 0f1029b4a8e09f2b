#pragma once
// An HTTP/1.1 server on 127.0.0.1 that records every request and answers each with
// the response it was given (200 with an empty body until told otherwise), then
// closes the connection.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/loopback_socket.h"

namespace ospreon::test {

struct HttpRequest
{
    std::string method;
    std::string target; // the request target as sent: path and query, still encoded
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
};

struct HttpResponse
{
    int status = 200;
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers; // besides Content-Length
};

class HttpStub
{
public:
    HttpStub();

    std::uint16_t port() const { return m_server.port(); }
    int connections() const { return m_server.connections(); }
    // "http://127.0.0.1:<port>"
    std::string BaseUrl() const;

    // The answer to the requests from now on.
    void SetResponse(HttpResponse response);
    void SetStatus(int status) { SetResponse(HttpResponse{status, {}, {}}); }

    std::vector<HttpRequest> requests() const;
    bool WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;

private:
    void Serve(LineConnection& connection);

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    HttpResponse m_response;
    std::vector<HttpRequest> m_requests;
    LoopbackServer m_server; // last: its thread stops before the records go
};

} // namespace ospreon::test
