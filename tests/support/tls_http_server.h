#pragma once
// An HTTPS server on 127.0.0.1 with a self-signed certificate made at start-up for
// a name other than the loopback address, already past its end date: a client
// that checks the certificate's name, date or issuer refuses it. It answers every
// request with one fixed 200 page and records the request heads.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tests/support/loopback_socket.h"
#include "tests/support/tls_context.h"

namespace ospreon::test {

class TlsHttpServer
{
public:
    // Throws std::runtime_error when the certificate or the listener cannot be made.
    explicit TlsHttpServer(std::string body);
    ~TlsHttpServer();

    std::uint16_t port() const { return m_server->port(); }
    // The request heads received, each from its request line to the blank line.
    std::vector<std::string> requests() const;

private:
    void Serve(LineConnection& connection);

    std::string m_body;
    std::unique_ptr<TlsServerContext> m_context;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_requests;
    std::unique_ptr<LoopbackServer> m_server; // last made, first stopped
};

} // namespace ospreon::test
