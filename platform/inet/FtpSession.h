#pragma once
// One FTP control connection. It owns its socket and offers only steps whose every wait, sending
// as well as receiving, is bounded by the connection's timeouts and sliced so that a Cancel gets
// through; a stock FTP client's public login and transfer calls wait on terms of their own. It
// also aims the passive data channel at the control connection's peer, speaks MLSD, and is
// discarded (never reused) after a timeout or a lost connection. Over TLS (FTPS) the control
// connection and every data connection go through their FtpLink; the steps stay the same.
#include <Poco/Net/Context.h>
#include <Poco/Net/ServerSocket.h>
#include <Poco/Net/StreamSocket.h>

#include <memory>
#include <optional>
#include <set>
#include <string>

#include "platform/inet/FtpLink.h"
#include "platform/inet/Inet.h"
#include "platform/inet/ReplyReader.h"
#include "platform/inet/Wait.h"

namespace zandrel::inet::detail {

enum class FtpSecurity {
    None,     // plain FTP
    Explicit, // AUTH TLS after the greeting
    Implicit, // TLS from the first byte
};

class FtpSession {
public:
    // Connects (trying each address of the name in turn), reads the server's greeting and, for
    // FTPS, secures the control connection: nothing but AUTH TLS goes out before that.
    static std::unique_ptr<FtpSession> Connect(const std::string& host, uint16_t port,
                                               const Timeouts& timeouts, FtpSecurity security = FtpSecurity::None);
    ~FtpSession();
    // One session, one conversation: a copy sharing the socket would read the other's replies.
    FtpSession(const FtpSession&) = delete;
    FtpSession& operator=(const FtpSession&) = delete;

    // USER/PASS; an empty user logs in as "anonymous". Over TLS then PBSZ 0 and PROT P, so data
    // connections are protected too. Then TYPE I.
    void Login(const std::string& user, const std::string& password);

    // Sends one command line and reads its reply (status, text). Throws Failure on CR/LF/NUL in
    // the line, on a timeout and on a lost connection (the session is discarded then).
    int Command(const std::string& verb, const std::string& arg, std::string& reply);
    // A command that must answer 2xx, else the server's refusal is thrown.
    std::string CommandExpecting2xx(const std::string& verb, const std::string& arg);

    // Opens the data channel for `verb arg` (RETR, STOR, MLSD, LIST) and returns it once the
    // server has answered with its preliminary 1xx reply (and, over TLS, the data connection's
    // handshake is done).
    FtpLink OpenDataChannel(const std::string& verb, const std::string& arg,
                                            bool passive);
    // Waits at most `limit` for the reply that ends a transfer. 0 when none came: `reply` then
    // says why ("no answer within 30 s", "the server closed the connection"), `failure` holds the
    // error code, and the session is discarded. A Cancel is thrown.
    int AwaitTransferEnd(Millis limit, std::string& reply, DWORD& failure);

    std::string PrintWorkingDirectory();
    void SetBinary(bool binary);
    // Whether FEAT lists the feature (asked once, then cached); see FtpHasFeature.
    bool HasFeature(std::string_view feature);

    // False once discarded, or when the server has closed or is closing the control connection
    // (unsolicited data between commands, typically "421 timeout" followed by the close).
    bool IsUsable(bool transferOpen);
    // Closes the control connection without a goodbye; every later command fails.
    void Discard();
    // Says QUIT (waiting briefly for the answer) and closes.
    void Quit();

    bool Secure() const { return security_ != FtpSecurity::None; }

    Timeouts timeouts;

private:
    FtpSession(const Poco::Net::StreamSocket& socket, const Timeouts& timeouts, FtpSecurity security,
               std::string host);
    void StartTls();
    void ProtectData();
    void SecureDataChannel(FtpLink& data);
    // Sends one command line whole within `timeout`; a Cancel, a timeout or an error discards.
    void SendLine(std::string line, Millis timeout);
    int ReadReply(std::string& reply, Millis timeout);
    [[noreturn]] void DiscardAndThrow(DWORD code, std::string reason = {});
    Poco::Net::SocketAddress PassiveAddress();
    Poco::Net::StreamSocket AcceptActive(Poco::Net::ServerSocket& listener);
    void SendPort(const Poco::Net::SocketAddress& address);

    FtpLink control_;
    FtpSecurity security_ = FtpSecurity::None;
    std::string host_;                   // as the user named it: the certificate must name it
    Poco::Net::Context::Ptr tlsContext_; // one for the control and all data connections
    bool discarded_ = false;
    bool epsvRefused_ = false;
    std::optional<std::set<std::string>> features_;
    ReplyReader reader_;
    std::optional<bool> binary_;
};

} // namespace zandrel::inet::detail
