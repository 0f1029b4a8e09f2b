#include "tests/support/tls_http_server.h"

#include <stdexcept>

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <sys/socket.h>
#include <sys/time.h>

namespace ospreon::test {

namespace {

constexpr char kCertificateName[] = "another-host.example";
constexpr long kDay = 24 * 60 * 60;
constexpr std::size_t kMaxHead = 64 * 1024;

struct KeyFree
{
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CertificateFree
{
    void operator()(X509* certificate) const { X509_free(certificate); }
};
struct ContextFree
{
    void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
};
struct SslFree
{
    void operator()(SSL* ssl) const { SSL_free(ssl); }
};

[[noreturn]] void Fail(const std::string& what)
{
    const unsigned long code = ERR_get_error();
    char reason[256] = "unknown";
    if (code != 0)
        ERR_error_string_n(code, reason, sizeof reason);
    throw std::runtime_error(what + ": " + reason);
}

} // namespace

struct TlsHttpServer::Context
{
    std::unique_ptr<EVP_PKEY, KeyFree> key;
    std::unique_ptr<X509, CertificateFree> certificate;
    std::unique_ptr<SSL_CTX, ContextFree> ssl;
};

TlsHttpServer::TlsHttpServer(std::string body)
    : m_body(std::move(body)), m_context(std::make_unique<Context>())
{
    m_context->key.reset(EVP_EC_gen("P-256"));
    if (!m_context->key)
        Fail("cannot make a key");
    m_context->certificate.reset(X509_new());
    X509* certificate = m_context->certificate.get();
    if (!certificate)
        Fail("cannot make a certificate");
    X509_set_version(certificate, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate), 1);
    // Valid from two days ago until yesterday: expired.
    X509_gmtime_adj(X509_getm_notBefore(certificate), -2 * kDay);
    X509_gmtime_adj(X509_getm_notAfter(certificate), -kDay);
    X509_set_pubkey(certificate, m_context->key.get());
    X509_NAME* name = X509_get_subject_name(certificate);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(kCertificateName), -1, -1, 0);
    X509_set_issuer_name(certificate, name);
    if (X509_sign(certificate, m_context->key.get(), EVP_sha256()) == 0)
        Fail("cannot sign the certificate");

    m_context->ssl.reset(SSL_CTX_new(TLS_server_method()));
    if (!m_context->ssl || SSL_CTX_use_certificate(m_context->ssl.get(), certificate) != 1 ||
        SSL_CTX_use_PrivateKey(m_context->ssl.get(), m_context->key.get()) != 1)
        Fail("cannot set up TLS");
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
    std::unique_ptr<SSL, SslFree> ssl(SSL_new(m_context->ssl.get()));
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
