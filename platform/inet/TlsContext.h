#pragma once
// What every TLS connection of this layer shares, HTTPS and FTPS alike: one way of making the
// client context (the system's CA store, peers verified, TLS 1.2 at least) and one check of the
// server's certificate against the name the user gave.
#include <Poco/Net/Context.h>

#include <openssl/x509.h>

#include <string>

namespace zandrel::inet::detail {

// A fresh client context: the system's CA store as OpenSSL finds it at this moment, so
// SSL_CERT_FILE / SSL_CERT_DIR set by the user are honoured; the chain is verified during the
// handshake and older protocols than TLS 1.2 are refused. Also sets up the library once.
Poco::Net::Context::Ptr TlsClientContext();

// Whether `certificate` names `host`: its DNS names for a host name, its IP addresses for an
// address literal (as the user wrote it, never a resolved form).
bool CertificateNamesHost(X509* certificate, const std::string& host);

} // namespace zandrel::inet::detail
