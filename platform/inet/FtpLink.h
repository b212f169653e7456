#pragma once
// One connection FTP talks over, the control connection or a data connection, in clear or through
// TLS. Nothing here waits on its own: each call moves what it can at once and otherwise says which
// readiness of the socket to wait for, so the callers keep their bounded, sliced waits (and a
// Cancel gets through) whatever the transport. Only StartTls and CloseOrderly wait, the same way.
#include <Poco/Net/Context.h>
#include <Poco/Net/StreamSocket.h>

#include <openssl/ssl.h>

#include <cstddef>
#include <memory>
#include <string>

#include "platform/inet/Inet.h"
#include "platform/inet/Wait.h"

namespace zandrel::inet::detail {

// What one send or receive came to.
struct LinkIo {
    enum class State {
        Moved,  // `bytes` (> 0) went out or came in
        Wait,   // nothing now: wait for `waitMode` (Socket::SELECT_READ or SELECT_WRITE), then retry
        End,    // receiving: the peer ended the stream
        Broken, // `problem` says why (the system's or the TLS library's words)
    };
    State state = State::Moved;
    size_t bytes = 0;
    int waitMode = 0;
    std::string problem;
};

// A TLS session of the control connection, handed to data connections so they resume it: servers
// such as vsftpd refuse data connections that do not (require_ssl_reuse).
using TlsSessionRef = std::shared_ptr<SSL_SESSION>;

class FtpLink {
public:
    FtpLink() = default;
    explicit FtpLink(Poco::Net::StreamSocket socket);
    ~FtpLink();
    FtpLink(FtpLink&& other) noexcept;
    FtpLink& operator=(FtpLink&& other) noexcept;
    FtpLink(const FtpLink&) = delete;
    FtpLink& operator=(const FtpLink&) = delete;

    // Becomes the TLS client of the connected socket: the handshake completes before `deadline`
    // (`limit` is that wait, for the message), resuming `resume` when given, and the server's
    // certificate is checked against `host`. Throws Failure: ERROR_INTERNET_SEC_CERT_ERRORS for a
    // certificate that is not trusted or not for `host`, ERROR_INTERNET_SECURITY_CHANNEL_ERROR
    // for a failed handshake (with the library's reason), a timeout, a Cancel. `plainReplyHint`:
    // a plain FTP reply that arrives instead of the server's handshake is quoted in the failure
    // (a server that does not speak TLS on this port).
    void StartTls(const Poco::Net::Context::Ptr& context, const std::string& host, const TlsSessionRef& resume,
                  Clock::time_point deadline, Millis limit, bool plainReplyHint = false);

    bool Secure() const { return ssl_ != nullptr; }
    // The TLS session as it stands now (with any ticket the server has sent since the handshake).
    TlsSessionRef Session() const;
    bool SessionReused() const { return ssl_ && SSL_session_reused(ssl_) == 1; }

    LinkIo Send(const char* data, size_t count);
    LinkIo Receive(char* into, size_t capacity);
    // Whether received bytes wait in the TLS layer, which the socket no longer shows as readable:
    // decrypted ones, or records read ahead and not yet taken apart (possibly only part of one).
    bool HasBuffered() const { return ssl_ && SSL_has_pending(ssl_) == 1; }

    // Ends the stream properly: TLS says close_notify, waiting at most until `deadline` for the
    // socket to take it; with `awaitPeer`, our side then ends and the peer's end is awaited (until
    // the deadline) before the socket closes. False when the close_notify could not go out.
    bool CloseOrderly(Clock::time_point deadline, bool awaitPeer = true);
    // Closes without a TLS goodbye, resetting the connection when `reset` (the peer then stops at
    // once instead of taking in what is still on its way).
    void Abort(bool reset);

    Poco::Net::StreamSocket& Socket() { return socket_; }
    const Poco::Net::StreamSocket& Socket() const { return socket_; }

private:
    void FreeTls();

    Poco::Net::StreamSocket socket_;
    SSL* ssl_ = nullptr;
};

} // namespace zandrel::inet::detail
