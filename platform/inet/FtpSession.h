#pragma once
// One FTP control connection. It owns its socket and offers only steps whose every wait, sending
// as well as receiving, is bounded by the connection's timeouts and sliced so that a Cancel gets
// through; a stock FTP client's public login and transfer calls wait on terms of their own. It
// also aims the passive data channel at the control connection's peer, speaks MLSD, and is
// discarded (never reused) after a timeout or a lost connection.
#include <Poco/Net/ServerSocket.h>
#include <Poco/Net/StreamSocket.h>

#include <memory>
#include <optional>
#include <set>
#include <string>

#include "platform/inet/Inet.h"
#include "platform/inet/ReplyReader.h"
#include "platform/inet/Wait.h"

namespace zandrel::inet::detail {

class FtpSession {
public:
    // Connects (trying each address of the name in turn) and reads the server's greeting.
    static std::unique_ptr<FtpSession> Connect(const std::string& host, uint16_t port,
                                               const Timeouts& timeouts);
    ~FtpSession();
    // One session, one conversation: a copy sharing the socket would read the other's replies.
    FtpSession(const FtpSession&) = delete;
    FtpSession& operator=(const FtpSession&) = delete;

    // USER/PASS; an empty user logs in as "anonymous". Then TYPE I.
    void Login(const std::string& user, const std::string& password);

    // Sends one command line and reads its reply (status, text). Throws Failure on CR/LF/NUL in
    // the line, on a timeout and on a lost connection (the session is discarded then).
    int Command(const std::string& verb, const std::string& arg, std::string& reply);
    // A command that must answer 2xx, else the server's refusal is thrown.
    std::string CommandExpecting2xx(const std::string& verb, const std::string& arg);

    // Opens the data channel for `verb arg` (RETR, STOR, MLSD, LIST) and returns it once the
    // server has answered with its preliminary 1xx reply.
    Poco::Net::StreamSocket OpenDataChannel(const std::string& verb, const std::string& arg,
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

    Timeouts timeouts;

private:
    FtpSession(const Poco::Net::StreamSocket& socket, const Timeouts& timeouts);
    // Sends one command line whole within `timeout`; a Cancel, a timeout or an error discards.
    void SendLine(std::string line, Millis timeout);
    int ReadReply(std::string& reply, Millis timeout);
    [[noreturn]] void DiscardAndThrow(DWORD code, std::string reason = {});
    Poco::Net::SocketAddress PassiveAddress();
    Poco::Net::StreamSocket AcceptActive(Poco::Net::ServerSocket& listener);
    void SendPort(const Poco::Net::SocketAddress& address);

    Poco::Net::StreamSocket control_;
    bool discarded_ = false;
    bool epsvRefused_ = false;
    std::optional<std::set<std::string>> features_;
    ReplyReader reader_;
    std::optional<bool> binary_;
};

} // namespace zandrel::inet::detail
