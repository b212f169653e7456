#include "platform/inet/TlsContext.h"

#include <Poco/Net/IPAddress.h>
#include <Poco/Net/SSLManager.h>

#include <openssl/x509v3.h>
#include <signal.h>

#include <mutex>

namespace zandrel::inet::detail {
namespace {

void InitializeTls() {
    static std::once_flag once;
    std::call_once(once, [] {
        Poco::Net::initializeSSL();
        // OpenSSL writes to the socket without MSG_NOSIGNAL: a server that hangs up during an
        // upload must fail the write, not end the process.
        struct sigaction current {};
        if (sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) signal(SIGPIPE, SIG_IGN);
    });
}

} // namespace

Poco::Net::Context::Ptr TlsClientContext() {
    InitializeTls();
    Poco::Net::Context::Ptr context = new Poco::Net::Context(Poco::Net::Context::TLS_CLIENT_USE, "", "", "",
                                                             Poco::Net::Context::VERIFY_RELAXED, 9, true);
    context->requireMinimumProtocol(Poco::Net::Context::PROTO_TLSV1_2);
    return context;
}

bool CertificateNamesHost(X509* certificate, const std::string& host) {
    if (!certificate) return false;
    Poco::Net::IPAddress literal;
    const bool isAddress = Poco::Net::IPAddress::tryParse(host, literal);
    const int match = isAddress ? X509_check_ip_asc(certificate, host.c_str(), 0)
                                : X509_check_host(certificate, host.data(), host.size(), 0, nullptr);
    return match == 1;
}

} // namespace zandrel::inet::detail
