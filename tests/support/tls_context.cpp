#include "tests/support/tls_context.h"

#include <memory>
#include <stdexcept>
#include <string>

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

namespace ospreon::test {

namespace {

struct KeyFree
{
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CertificateFree
{
    void operator()(X509* certificate) const { X509_free(certificate); }
};

[[noreturn]] void Fail(const char* what)
{
    char reason[256] = "unknown";
    if (const unsigned long code = ERR_get_error(); code != 0)
        ERR_error_string_n(code, reason, sizeof reason);
    throw std::runtime_error(std::string(what) + ": " + reason);
}

std::unique_ptr<X509, CertificateFree> SelfSigned(EVP_PKEY* key, const CertificateTerms& terms)
{
    std::unique_ptr<X509, CertificateFree> certificate(X509_new());
    if (!certificate)
        Fail("X509_new");
    X509_NAME* name = X509_get_subject_name(certificate.get());
    const auto* commonName = reinterpret_cast<const unsigned char*>(terms.commonName.c_str());
    if (X509_set_version(certificate.get(), 2) != 1 ||
        ASN1_INTEGER_set(X509_get_serialNumber(certificate.get()), 1) != 1 ||
        !X509_gmtime_adj(X509_getm_notBefore(certificate.get()), terms.validFromSeconds) ||
        !X509_gmtime_adj(X509_getm_notAfter(certificate.get()), terms.validToSeconds) ||
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, commonName, -1, -1, 0) != 1 ||
        X509_set_issuer_name(certificate.get(), name) != 1 ||
        X509_set_pubkey(certificate.get(), key) != 1 ||
        X509_sign(certificate.get(), key, EVP_sha256()) == 0)
        Fail("making the test certificate");
    return certificate;
}

} // namespace

TlsServerContext::TlsServerContext(const CertificateTerms& terms)
{
    std::unique_ptr<EVP_PKEY, KeyFree> key(EVP_EC_gen("P-256"));
    if (!key)
        Fail("EVP_EC_gen");
    std::unique_ptr<X509, CertificateFree> certificate = SelfSigned(key.get(), terms);
    m_context = SSL_CTX_new(TLS_server_method());
    if (!m_context)
        Fail("SSL_CTX_new");
    if (SSL_CTX_use_certificate(m_context, certificate.get()) != 1 ||
        SSL_CTX_use_PrivateKey(m_context, key.get()) != 1) {
        SSL_CTX_free(m_context);
        Fail("SSL_CTX_use_certificate");
    }
}

TlsServerContext::~TlsServerContext()
{
    SSL_CTX_free(m_context);
}

} // namespace ospreon::test
