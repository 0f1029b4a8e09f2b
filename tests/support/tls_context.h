#pragma once
// The TLS side of the test servers: a server context whose key and self-signed
// certificate are made when it is constructed, so no key material is kept in the
// tree. By default the certificate names "localhost" and is valid from an hour ago
// for a day; a test of a client's tolerance asks for another name or an expired one.

#include <string>

struct ssl_ctx_st;

namespace ospreon::test {

struct CertificateTerms
{
    std::string commonName = "localhost";
    long validFromSeconds = -3600; // relative to now
    long validToSeconds = 24 * 3600;
};

class TlsServerContext
{
public:
    // Throws std::runtime_error with OpenSSL's reason when the key, the certificate
    // or the context cannot be made.
    explicit TlsServerContext(const CertificateTerms& terms = {});
    ~TlsServerContext();
    TlsServerContext(const TlsServerContext&) = delete;
    TlsServerContext& operator=(const TlsServerContext&) = delete;

    ssl_ctx_st* get() const { return m_context; }

private:
    ssl_ctx_st* m_context = nullptr;
};

} // namespace ospreon::test
