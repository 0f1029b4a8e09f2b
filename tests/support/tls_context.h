#pragma once
// The TLS side of the test servers: a server context whose key and self-signed
// certificate (for "localhost", valid from an hour ago for a day) are made when it
// is constructed, so no key material is kept in the tree.

struct ssl_ctx_st;

namespace ospreon::test {

class TlsServerContext
{
public:
    // Throws std::runtime_error with OpenSSL's reason when the key, the certificate
    // or the context cannot be made.
    TlsServerContext();
    ~TlsServerContext();
    TlsServerContext(const TlsServerContext&) = delete;
    TlsServerContext& operator=(const TlsServerContext&) = delete;

    ssl_ctx_st* get() const { return m_context; }

private:
    ssl_ctx_st* m_context = nullptr;
};

} // namespace ospreon::test
