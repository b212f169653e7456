#include "platform/inet/FtpLink.h"

#include <Poco/Exception.h>
#include <Poco/Net/IPAddress.h>

#include <openssl/err.h>
#include <openssl/x509.h>
#include <sys/socket.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <utility>

#include "platform/inet/Failure.h"
#include "platform/inet/TlsContext.h"

namespace zandrel::inet::detail {
namespace {

using Poco::Net::Socket;

// What one read from the socket may take in under TLS: a few records of 16 KiB.
constexpr size_t kTlsReadBuffer = 128 * 1024;

LinkIo Moved(size_t bytes) { return {LinkIo::State::Moved, bytes, 0, {}}; }
LinkIo WaitFor(int mode) { return {LinkIo::State::Wait, 0, mode, {}}; }
LinkIo Ended() { return {LinkIo::State::End, 0, 0, {}}; }
LinkIo Broke(std::string problem) { return {LinkIo::State::Broken, 0, 0, std::move(problem)}; }

// The library's words for the failure of the last TLS call: the reason of its queued error
// ("wrong version number", "sslv3 alert handshake failure"), else the system's, else a plain
// "closed". `savedErrno` is errno right after the call.
std::string TlsProblem(int sslError, int savedErrno) {
    unsigned long code = 0;
    for (unsigned long next; (next = ERR_get_error()) != 0;) code = next;
    if (code != 0) {
        if (const char* reason = ERR_reason_error_string(code)) return reason;
        char text[256];
        ERR_error_string_n(code, text, sizeof text);
        return text;
    }
    if (sslError == SSL_ERROR_SYSCALL && savedErrno != 0) return SystemErrorText(savedErrno);
    return "the server closed the connection";
}

// A plain FTP reply ("220 ready") where a TLS record should be: three digits, then a blank or
// a dash. TLS records start with a content type byte (20 to 24), never with a digit.
bool LooksLikeFtpReply(std::string_view bytes) {
    return bytes.size() >= 4 && std::isdigit(static_cast<unsigned char>(bytes[0])) &&
           std::isdigit(static_cast<unsigned char>(bytes[1])) && std::isdigit(static_cast<unsigned char>(bytes[2])) &&
           (bytes[3] == ' ' || bytes[3] == '-');
}

} // namespace

FtpLink::FtpLink(Poco::Net::StreamSocket socket) : socket_(std::move(socket)) {}

FtpLink::~FtpLink() { FreeTls(); }

FtpLink::FtpLink(FtpLink&& other) noexcept : socket_(std::move(other.socket_)), ssl_(std::exchange(other.ssl_, nullptr)) {}

FtpLink& FtpLink::operator=(FtpLink&& other) noexcept {
    if (this != &other) {
        FreeTls();
        socket_ = std::move(other.socket_);
        ssl_ = std::exchange(other.ssl_, nullptr);
    }
    return *this;
}

void FtpLink::FreeTls() {
    if (!ssl_) return;
    // Freed without a goodbye, OpenSSL would mark the session as not to be resumed; the quiet
    // form only records the end, so the session stays good for the next data connection.
    SSL_set_quiet_shutdown(ssl_, 1);
    SSL_shutdown(ssl_);
    SSL_free(ssl_);
    ssl_ = nullptr;
    ERR_clear_error();
}

void FtpLink::StartTls(const Poco::Net::Context::Ptr& context, const std::string& host, const TlsSessionRef& resume,
                       Clock::time_point deadline, Millis limit, bool plainReplyHint) {
    auto fail = [&](DWORD code, std::string reason) {
        Abort(false);
        throw Failure(code, std::move(reason));
    };
    try {
        socket_.setBlocking(false);
    } catch (const Poco::Exception& e) {
        fail(ERROR_INTERNET_SECURITY_CHANNEL_ERROR, "TLS: " + e.displayText());
    }
    ssl_ = SSL_new(context->sslContext());
    if (!ssl_ || SSL_set_fd(ssl_, socket_.impl()->sockfd()) != 1)
        fail(ERROR_INTERNET_SECURITY_CHANNEL_ERROR, "TLS: " + TlsProblem(SSL_ERROR_SSL, 0));
    // Writes behave like send(2): what fits goes, and a retry may come with the rest.
    SSL_set_mode(ssl_, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    // Reads take in whatever the socket holds, several records a system call, instead of a
    // record's header and then its body.
    SSL_set_default_read_buffer_len(ssl_, kTlsReadBuffer);
    SSL_set_read_ahead(ssl_, 1);
    // Many FTP servers end data connections without close_notify; the end of the data is then
    // the end of the stream, and the server's transfer reply (and the size check) still judge it.
    SSL_set_options(ssl_, SSL_OP_IGNORE_UNEXPECTED_EOF);
    Poco::Net::IPAddress literal;
    if (!Poco::Net::IPAddress::tryParse(host, literal)) SSL_set_tlsext_host_name(ssl_, host.c_str());
    if (resume) {
        // A copy per connection: a data connection that fails would otherwise spoil the session
        // for every later one.
        SSL_SESSION* copy = SSL_SESSION_dup(resume.get());
        if (copy) {
            SSL_set_session(ssl_, copy);
            SSL_SESSION_free(copy);
        }
    }
    SSL_set_connect_state(ssl_);
    bool peeked = !plainReplyHint;
    for (;;) {
        // A plain server's greeting may be waiting before our hello has even gone out.
        if (!peeked) {
            char first[256];
            const ssize_t got = ::recv(socket_.impl()->sockfd(), first, sizeof first, MSG_PEEK | MSG_DONTWAIT);
            const std::string_view bytes(first, got > 0 ? static_cast<size_t>(got) : 0);
            if (LooksLikeFtpReply(bytes)) {
                fail(ERROR_INTERNET_SECURITY_CHANNEL_ERROR,
                     "the server does not speak TLS on this port; it answered in clear text: " +
                         std::string(bytes.substr(0, bytes.find_first_of("\r\n"))));
            }
            // Judged once the first bytes are in (a reply's code may arrive in pieces).
            peeked = bytes.size() >= 4 || (!bytes.empty() && !std::isdigit(static_cast<unsigned char>(bytes[0])));
        }
        ERR_clear_error();
        const int rc = SSL_do_handshake(ssl_);
        if (rc == 1) break;
        const int savedErrno = errno;
        const int error = SSL_get_error(ssl_, rc);
        if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
            const int mode = error == SSL_ERROR_WANT_WRITE ? Socket::SELECT_WRITE : Socket::SELECT_READ;
            const WaitOutcome outcome = WaitForSocket(socket_, mode, deadline);
            if (outcome == WaitOutcome::Cancelled) fail(ERROR_INTERNET_OPERATION_CANCELLED, {});
            if (outcome == WaitOutcome::TimedOut) fail(ERROR_INTERNET_TIMEOUT, "no TLS handshake within " + SecondsText(limit));
            continue;
        }
        const long verified = SSL_get_verify_result(ssl_);
        if (verified != X509_V_OK) {
            ERR_clear_error();
            fail(ERROR_INTERNET_SEC_CERT_ERRORS,
                 std::string("the server's certificate is not trusted: ") + X509_verify_cert_error_string(verified));
        }
        fail(ERROR_INTERNET_SECURITY_CHANNEL_ERROR, "TLS handshake failed: " + TlsProblem(error, savedErrno));
    }
    // The chain was verified during the handshake; the name is checked here, as the user wrote it.
    X509* certificate = SSL_get1_peer_certificate(ssl_);
    const bool named = CertificateNamesHost(certificate, host);
    X509_free(certificate);
    if (!named) fail(ERROR_INTERNET_SEC_CERT_ERRORS, "the server's certificate is not valid for the name " + host);
}

TlsSessionRef FtpLink::Session() const {
    if (!ssl_) return nullptr;
    SSL_SESSION* session = SSL_get1_session(ssl_);
    if (!session) return nullptr;
    return TlsSessionRef(session, SSL_SESSION_free);
}

LinkIo FtpLink::Send(const char* data, size_t count) {
    if (!ssl_) {
        const int fd = socket_.impl()->sockfd();
        for (;;) {
            const ssize_t sent = ::send(fd, data, count, MSG_DONTWAIT | MSG_NOSIGNAL);
            if (sent >= 0) return Moved(static_cast<size_t>(sent));
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return WaitFor(Socket::SELECT_WRITE);
            return Broke(SystemErrorText(errno));
        }
    }
    ERR_clear_error();
    const int sent = SSL_write(ssl_, data, static_cast<int>(std::min<size_t>(count, INT_MAX)));
    const int savedErrno = errno;
    if (sent > 0) return Moved(static_cast<size_t>(sent));
    const int error = SSL_get_error(ssl_, sent);
    if (error == SSL_ERROR_WANT_WRITE) return WaitFor(Socket::SELECT_WRITE);
    if (error == SSL_ERROR_WANT_READ) return WaitFor(Socket::SELECT_READ);
    return Broke(TlsProblem(error, savedErrno));
}

LinkIo FtpLink::Receive(char* into, size_t capacity) {
    if (!ssl_) {
        const int fd = socket_.impl()->sockfd();
        for (;;) {
            const ssize_t got = ::recv(fd, into, capacity, MSG_DONTWAIT);
            if (got > 0) return Moved(static_cast<size_t>(got));
            if (got == 0) return Ended();
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return WaitFor(Socket::SELECT_READ);
            return Broke(SystemErrorText(errno));
        }
    }
    ERR_clear_error();
    const int got = SSL_read(ssl_, into, static_cast<int>(std::min<size_t>(capacity, INT_MAX)));
    const int savedErrno = errno;
    if (got > 0) return Moved(static_cast<size_t>(got));
    const int error = SSL_get_error(ssl_, got);
    if (error == SSL_ERROR_ZERO_RETURN) return Ended();
    if (error == SSL_ERROR_WANT_READ) return WaitFor(Socket::SELECT_READ);
    if (error == SSL_ERROR_WANT_WRITE) return WaitFor(Socket::SELECT_WRITE);
    if (error == SSL_ERROR_SYSCALL && savedErrno == 0 && ERR_peek_error() == 0) return Ended();
    return Broke(TlsProblem(error, savedErrno));
}

bool FtpLink::CloseOrderly(Clock::time_point deadline, bool awaitPeer) {
    if (!ssl_) {
        Abort(false);
        return true;
    }
    bool said = false;
    for (;;) {
        ERR_clear_error();
        const int rc = SSL_shutdown(ssl_);
        if (rc >= 0) {
            said = true;
            break;
        }
        const int error = SSL_get_error(ssl_, rc);
        if (error != SSL_ERROR_WANT_WRITE) break;
        if (WaitForSocket(socket_, Socket::SELECT_WRITE, deadline) != WaitOutcome::Ready) break;
    }
    if (said && awaitPeer) {
        // Then the end of our side, and the peer's end awaited: closing a socket with unread
        // bytes in it (TLS 1.3 sends session tickets on every connection) resets the connection,
        // and a reset can overtake the data and the close_notify still on their way, so that the
        // server loses the end of an upload.
        ::shutdown(socket_.impl()->sockfd(), SHUT_WR);
        char scratch[16384];
        for (int waitMode = Socket::SELECT_READ;;) {
            ERR_clear_error();
            const int got = SSL_read(ssl_, scratch, sizeof scratch);
            if (got > 0) continue;
            const int error = SSL_get_error(ssl_, got);
            if (error == SSL_ERROR_WANT_READ) waitMode = Socket::SELECT_READ;
            else if (error == SSL_ERROR_WANT_WRITE) waitMode = Socket::SELECT_WRITE;
            else break; // the peer's close_notify, its end of the stream, or a break: done either way
            if (WaitForSocket(socket_, waitMode, deadline) != WaitOutcome::Ready) break;
        }
    }
    Abort(false);
    return said;
}

void FtpLink::Abort(bool reset) {
    if (reset) {
        try {
            socket_.setLinger(true, 0);
        } catch (const Poco::Exception&) {
            // An orderly close still ends the stream, only later.
        }
    }
    FreeTls();
    try {
        socket_.close();
    } catch (const Poco::Exception&) {
    }
}

} // namespace zandrel::inet::detail
