#include "tests/support/tls_http_server.h"

#include <stdexcept>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <sys/time.h>

namespace ospreon::test {

namespace {

constexpr long kDay = 24 * 60 * 60;
constexpr std::size_t kMaxHead = 64 * 1024;

struct SslFree
{
    void operator()(SSL* ssl) const { SSL_free(ssl); }
};

// For a name other than the loopback address, valid from two days ago until
// yesterday: expired.
CertificateTerms UntrustworthyCertificate()
{
    return CertificateTerms{"another-host.example", -2 * kDay, -kDay};
}

} // namespace

TlsHttpServer::TlsHttpServer(std::string body)
    : m_body(std::move(body)),
      m_context(std::make_unique<TlsServerContext>(UntrustworthyCertificate()))
{
    m_server =
        std::make_unique<LoopbackServer>([this](LineConnection& connection) { Serve(connection); });
}

TlsHttpServer::~TlsHttpServer()
{
    m_server.reset();
}

std::vector<std::string> TlsHttpServer::requests() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

void TlsHttpServer::Serve(LineConnection& connection)
{
    // Every read and write of the session is bounded.
    timeval limit{5, 0};
    ::setsockopt(connection.fd(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    ::setsockopt(connection.fd(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    std::unique_ptr<SSL, SslFree> ssl(SSL_new(m_context->get()));
    if (!ssl || SSL_set_fd(ssl.get(), connection.fd()) != 1 || SSL_accept(ssl.get()) != 1) {
        ERR_clear_error();
        return;
    }
    std::string head;
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < kMaxHead) {
        char chunk[4096];
        const int got = SSL_read(ssl.get(), chunk, sizeof chunk);
        if (got <= 0) {
            ERR_clear_error();
            return;
        }
        head.append(chunk, static_cast<std::size_t>(got));
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_requests.push_back(head.substr(0, head.find("\r\n\r\n")));
    }
    const std::string response =
        "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(m_body.size()) + "\r\n\r\n" + m_body;
    SSL_write(ssl.get(), response.data(), static_cast<int>(response.size()));
    SSL_shutdown(ssl.get());
    ERR_clear_error();
}

} // namespace ospreon::test
