#include "platform/inet/FtpSession.h"

#include <Poco/Exception.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <set>

#include <sys/socket.h>

#include "platform/inet/Connect.h"
#include "platform/inet/Failure.h"
#include "platform/inet/TlsContext.h"

namespace zandrel::inet::detail {
namespace {

using Poco::Net::Socket;
using Poco::Net::SocketAddress;
using Poco::Net::StreamSocket;

std::string UpperCase(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper;
}

// "229 Entering Extended Passive Mode (|||6446|)": the port between the 3rd and 4th delimiter.
std::optional<uint16_t> ParseEpsvPort(const std::string& reply) {
    const size_t open = reply.find('(');
    if (open == std::string::npos || open + 4 >= reply.size()) return std::nullopt;
    const char delimiter = reply[open + 1];
    if (reply[open + 2] != delimiter || reply[open + 3] != delimiter) return std::nullopt;
    unsigned port = 0;
    size_t i = open + 4;
    for (; i < reply.size() && std::isdigit(static_cast<unsigned char>(reply[i])); ++i) {
        port = port * 10 + static_cast<unsigned>(reply[i] - '0');
        if (port > 65535) return std::nullopt;
    }
    if (i == open + 4 || i >= reply.size() || reply[i] != delimiter || port == 0) return std::nullopt;
    return static_cast<uint16_t>(port);
}

// "227 Entering Passive Mode (h1,h2,h3,h4,p1,p2)" with or without the parentheses: the port only.
// The announced host is ignored on purpose (see PassiveAddress).
std::optional<uint16_t> ParsePasvPort(const std::string& reply) {
    for (size_t i = 4; i < reply.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(reply[i]))) continue;
        unsigned h1, h2, h3, h4, p1, p2;
        if (std::sscanf(reply.c_str() + i, "%u,%u,%u,%u,%u,%u", &h1, &h2, &h3, &h4, &p1, &p2) == 6) {
            if (p1 > 255 || p2 > 255 || (p1 == 0 && p2 == 0)) return std::nullopt;
            return static_cast<uint16_t>(p1 * 256 + p2);
        }
    }
    return std::nullopt;
}

// The folder a "257" reply names: the text between the first quote and the next lone one, a
// doubled quote standing for one ("257 \"/a \"\"b\"\"\" is current" names /a "b"). Empty when
// nothing is quoted.
std::string QuotedPath(const std::string& reply) {
    std::string path;
    size_t i = reply.find('"');
    if (i == std::string::npos) return path;
    for (++i; i < reply.size(); ++i) {
        if (reply[i] == '"') {
            if (i + 1 == reply.size() || reply[i + 1] != '"') break;
            ++i;
        }
        path += reply[i];
    }
    return path;
}

} // namespace

FtpSession::FtpSession(const StreamSocket& socket, const Timeouts& timeouts, FtpSecurity security, std::string host)
    : timeouts(timeouts), control_(socket), security_(security), host_(std::move(host)) {}

FtpSession::~FtpSession() = default;

std::unique_ptr<FtpSession> FtpSession::Connect(const std::string& host, uint16_t port,
                                                const Timeouts& timeouts, FtpSecurity security) {
    RequireCommandSafe(host);
    std::unique_ptr<FtpSession> session(
        new FtpSession(ConnectToHost(host, port, timeouts.connect), timeouts, security, host));
    if (security == FtpSecurity::Implicit) session->StartTls();
    std::string reply;
    int status = session->ReadReply(reply, timeouts.receive);
    // "120 ready in n minutes" may precede the greeting; a server that only ever says that is
    // given up on after a few rounds rather than waited on for ever.
    for (int round = 0; status / 100 == 1 && round < 3; ++round)
        status = session->ReadReply(reply, timeouts.receive);
    if (status / 100 != 2) {
        session->Discard();
        ThrowServerRefusal(status, reply);
    }
    if (security == FtpSecurity::Explicit) {
        status = session->Command("AUTH", "TLS", reply);
        if (status != 234) {
            // No fallback to clear text: the user asked for TLS, and the login would go out in
            // clear. Not even a goodbye is said; the server sees the connection close.
            session->Discard();
            throw Failure(ERROR_INTERNET_SECURITY_CHANNEL_ERROR, "the server refused TLS (AUTH TLS): " + reply);
        }
        // Anything already received after the 234 came in clear and could be an attacker's text
        // waiting to be taken for a protected reply.
        if (session->reader_.HasPending()) {
            session->Discard();
            throw Failure(ERROR_INTERNET_SECURITY_CHANNEL_ERROR, "the server sent clear text after agreeing to TLS");
        }
        session->StartTls();
    }
    return session;
}

void FtpSession::StartTls() {
    try {
        tlsContext_ = TlsClientContext();
    } catch (const Poco::Exception& e) {
        DiscardAndThrow(ERROR_INTERNET_SECURITY_CHANNEL_ERROR, "TLS: " + e.displayText());
    }
    try {
        control_.StartTls(tlsContext_, host_, nullptr, Clock::now() + timeouts.receive, timeouts.receive,
                          security_ == FtpSecurity::Implicit);
    } catch (const Failure&) {
        discarded_ = true; // the link has closed itself
        throw;
    }
}

void FtpSession::ProtectData() {
    // PBSZ 0 is a formality TLS needs before PROT; PROT P protects every data connection.
    for (const auto& [verb, arg] : {std::pair<const char*, const char*>{"PBSZ", "0"}, {"PROT", "P"}}) {
        std::string reply;
        const int status = Command(verb, arg, reply);
        if (status / 100 != 2)
            throw Failure(ERROR_INTERNET_SECURITY_CHANNEL_ERROR,
                          std::string("the server refused to protect the data connections (") + verb + " " + arg +
                              "): " + reply);
    }
}

void FtpSession::SecureDataChannel(FtpLink& data) {
    try {
        data.StartTls(tlsContext_, host_, control_.Session(), Clock::now() + timeouts.receive, timeouts.receive);
    } catch (const Failure&) {
        // The server waits on a data connection that has gone: its next reply is out of step.
        Discard();
        throw;
    }
}

void FtpSession::Login(const std::string& user, const std::string& password) {
    // No user name means no account, which FTP spells "anonymous", with an address-like password.
    const bool anonymous = user.empty();
    const std::string name = anonymous ? "anonymous" : user;
    const std::string secret = anonymous && password.empty() ? "anonymous@" : password;
    RequireCommandSafe(name);
    RequireCommandSafe(secret);

    std::string reply;
    int status = Command("USER", name, reply);
    if (status / 100 == 3) {
        status = Command("PASS", secret, reply);
        if (status == 332) throw Failure(ERROR_INTERNET_LOGIN_FAILURE, reply);
        if (status / 100 != 2) throw Failure(ERROR_INTERNET_INCORRECT_PASSWORD, reply);
    } else if (status / 100 != 2) {
        throw Failure(ERROR_INTERNET_INCORRECT_USER_NAME, reply);
    }
    if (Secure()) ProtectData();
    SetBinary(true);
}

int FtpSession::Command(const std::string& verb, const std::string& arg, std::string& reply) {
    RequireCommandSafe(verb);
    RequireCommandSafe(arg);
    if (discarded_) throw Failure(ERROR_FTP_DROPPED, "the FTP session is closed");
    SendLine(arg.empty() ? verb : verb + " " + arg, timeouts.send);
    return ReadReply(reply, timeouts.receive);
}

void FtpSession::SendLine(std::string line, Millis timeout) {
    line += "\r\n";
    const Clock::time_point deadline = Clock::now() + timeout;
    size_t sent = 0;
    while (sent < line.size()) {
        const LinkIo io = control_.Send(line.data() + sent, line.size() - sent);
        if (io.state == LinkIo::State::Moved) {
            sent += io.bytes;
            continue;
        }
        if (io.state != LinkIo::State::Wait)
            DiscardAndThrow(ERROR_FTP_DROPPED, io.problem.empty() ? "the server closed the connection" : io.problem);
        // Only a server that stopped reading fills the socket's buffer with command lines.
        const WaitOutcome outcome = WaitForSocket(control_.Socket(), io.waitMode, deadline);
        if (outcome == WaitOutcome::Cancelled) DiscardAndThrow(ERROR_INTERNET_OPERATION_CANCELLED);
        if (outcome == WaitOutcome::TimedOut)
            DiscardAndThrow(ERROR_INTERNET_TIMEOUT, "the server took no command within " + SecondsText(timeout));
    }
}

std::string FtpSession::CommandExpecting2xx(const std::string& verb, const std::string& arg) {
    std::string reply;
    const int status = Command(verb, arg, reply);
    if (status / 100 != 2) ThrowServerRefusal(status, reply);
    return reply;
}

int FtpSession::ReadReply(std::string& reply, Millis timeout) {
    if (discarded_) throw Failure(ERROR_FTP_DROPPED, "the FTP session is closed");
    // The whole reply, however many lines it has, must arrive within the timeout: a server that
    // trickles one line a second cannot hold the caller longer than that.
    const Clock::time_point deadline = Clock::now() + timeout;
    int waitMode = Socket::SELECT_READ;
    // Bytes TLS has already taken in show on no socket: those are read without a wait, unless
    // they are only part of a record (the last read wanted more).
    bool mustWait = !control_.HasBuffered();
    for (;;) {
        int status = 0;
        switch (reader_.Next(status, reply)) {
        case ReplyReader::Result::Complete:
            RecordResponse(status, reply);
            return status;
        case ReplyReader::Result::LineTooLong:
            DiscardAndThrow(ERROR_INTERNET_CONNECTION_ABORTED,
                            "the server sent a reply line longer than " +
                                std::to_string(ReplyReader::kMaxLine / 1024) + " KiB");
        case ReplyReader::Result::ReplyTooLong:
            DiscardAndThrow(ERROR_INTERNET_CONNECTION_ABORTED,
                            "the server sent a reply longer than " +
                                std::to_string(ReplyReader::kMaxReply / 1024) + " KiB");
        case ReplyReader::Result::NotAReply:
            DiscardAndThrow(ERROR_FTP_DROPPED, "the server sent something that is not an FTP reply: \"" +
                                                   reader_.Sample() + "\"");
        case ReplyReader::Result::NeedMore:
            break;
        }
        if (mustWait) {
            const WaitOutcome outcome = WaitForSocket(control_.Socket(), waitMode, deadline);
            if (outcome == WaitOutcome::Cancelled) DiscardAndThrow(ERROR_INTERNET_OPERATION_CANCELLED);
            if (outcome == WaitOutcome::TimedOut)
                DiscardAndThrow(ERROR_INTERNET_TIMEOUT, reader_.HasPending()
                                                            ? "no complete answer within " + SecondsText(timeout)
                                                            : NoAnswerWithin(timeout));
        } else if (CancelRequested()) {
            DiscardAndThrow(ERROR_INTERNET_OPERATION_CANCELLED);
        }
        char block[4096];
        const LinkIo io = control_.Receive(block, sizeof block);
        waitMode = Socket::SELECT_READ;
        mustWait = io.state == LinkIo::State::Wait || !control_.HasBuffered();
        switch (io.state) {
        case LinkIo::State::Moved:
            reader_.Append(std::string_view(block, io.bytes));
            break;
        case LinkIo::State::Wait:
            waitMode = io.waitMode;
            break;
        case LinkIo::State::End:
            DiscardAndThrow(ERROR_FTP_DROPPED, "the server closed the connection");
        case LinkIo::State::Broken:
            DiscardAndThrow(ERROR_INTERNET_CONNECTION_ABORTED, io.problem);
        }
    }
}

void FtpSession::DiscardAndThrow(DWORD code, std::string reason) {
    Discard();
    throw Failure(code, std::move(reason));
}

void FtpSession::Discard() {
    discarded_ = true;
    control_.Abort(false);
}

void FtpSession::Quit() {
    if (!discarded_) {
        // The goodbye must not hide the reply that explains why the caller is leaving.
        DWORD keptStatus = 0;
        std::string keptReply;
        InternetGetLastResponseInfo(keptStatus, keptReply);
        try {
            SendLine("QUIT", std::min(timeouts.send, Millis{1000}));
            std::string reply;
            ReadReply(reply, std::min(timeouts.receive, Millis{1000}));
            // Over TLS the goodbye ends with close_notify, which a server may log the want of. The
            // server's own end is not waited for: nothing more can come from it that matters.
            if (!discarded_) control_.CloseOrderly(Clock::now() + std::min(timeouts.send, Millis{1000}), false);
        } catch (...) {
            // Leaving anyway; the server notices the closed connection.
        }
        RecordResponse(static_cast<int>(keptStatus), keptReply);
    }
    Discard();
}

bool FtpSession::IsUsable(bool transferOpen) {
    if (discarded_) return false;
    if (transferOpen) return true; // the transfer's final reply may legitimately be waiting
    if (reader_.HasPending()) {
        Discard();
        return false;
    }
    try {
        if (control_.HasBuffered() ||
            control_.Socket().poll(Poco::Timespan(0), Socket::SELECT_READ | Socket::SELECT_ERROR)) {
            // Over TLS the bytes may be the protocol's own (a session ticket, a key update): read
            // through TLS, only a reply or the end of the connection means the server is leaving.
            if (control_.Secure()) {
                char probe[512];
                const LinkIo io = control_.Receive(probe, sizeof probe);
                if (io.state == LinkIo::State::Wait) return true;
            }
            Discard();
            return false;
        }
    } catch (const Poco::Exception&) {
        Discard();
        return false;
    }
    return true;
}

std::string FtpSession::PrintWorkingDirectory() {
    std::string reply;
    const int status = Command("PWD", "", reply);
    if (status != 257) ThrowServerRefusal(status, reply);
    return QuotedPath(reply);
}

void FtpSession::SetBinary(bool binary) {
    if (binary_ == binary) return;
    CommandExpecting2xx("TYPE", binary ? "I" : "A");
    binary_ = binary;
}

bool FtpSession::HasFeature(std::string_view feature) {
    if (!features_) {
        std::set<std::string> found;
        std::string reply;
        // One feature per line: " MDTM", " MLST type*;size*;modify*;".
        if (Command("FEAT", "", reply) / 100 == 2) {
            size_t start = 0;
            while (start < reply.size()) {
                size_t end = reply.find('\n', start);
                if (end == std::string::npos) end = reply.size();
                const std::string_view line(reply.data() + start, end - start);
                start = end + 1;
                // The first and last lines carry the code; a feature line should start with a
                // blank, but some servers leave it out.
                if (line.size() >= 3 && std::isdigit(static_cast<unsigned char>(line[0])) &&
                    std::isdigit(static_cast<unsigned char>(line[1])) && std::isdigit(static_cast<unsigned char>(line[2])) &&
                    (line.size() == 3 || line[3] == '-' || line[3] == ' '))
                    continue;
                const size_t first = line.find_first_not_of(' ');
                if (first == std::string_view::npos) continue;
                const size_t last = line.find_first_of(" \r", first);
                found.insert(UpperCase(line.substr(first, last == std::string_view::npos ? last : last - first)));
            }
        }
        features_ = std::move(found);
    }
    const std::string wanted = UpperCase(feature);
    // Servers announce MLSD through MLST.
    return features_->count(wanted) > 0 || (wanted == "MLSD" && features_->count("MLST") > 0);
}

SocketAddress FtpSession::PassiveAddress() {
    // The data channel always goes to the host we already talk to. The address a 227 reply
    // announces is ignored: behind NAT it is often unreachable, and obeying it would let a
    // server direct our connection at any third host.
    const Poco::Net::IPAddress peer = control_.Socket().peerAddress().host();
    std::string reply;
    if (!epsvRefused_) {
        const int status = Command("EPSV", "", reply);
        if (status == 229) {
            if (const auto port = ParseEpsvPort(reply)) return SocketAddress(peer, *port);
            ThrowServerRefusal(status, reply);
        }
        if (status / 100 != 5) ThrowServerRefusal(status, reply);
        epsvRefused_ = true;
    }
    if (peer.family() != Poco::Net::IPAddress::IPv4) throw Failure(ERROR_FTP_NO_PASSIVE_MODE);
    const int status = Command("PASV", "", reply);
    if (status != 227) {
        RecordResponse(status, reply);
        throw Failure(ERROR_FTP_NO_PASSIVE_MODE, reply);
    }
    const auto port = ParsePasvPort(reply);
    if (!port) ThrowServerRefusal(status, reply);
    return SocketAddress(peer, *port);
}

void FtpSession::SendPort(const SocketAddress& address) {
    const std::string host = address.host().toString();
    if (address.family() == Poco::Net::IPAddress::IPv4) {
        std::string numbers = host;
        std::replace(numbers.begin(), numbers.end(), '.', ',');
        numbers += "," + std::to_string(address.port() / 256) + "," + std::to_string(address.port() % 256);
        CommandExpecting2xx("PORT", numbers);
    } else {
        CommandExpecting2xx("EPRT", "|2|" + host + "|" + std::to_string(address.port()) + "|");
    }
}

StreamSocket FtpSession::AcceptActive(Poco::Net::ServerSocket& listener) {
    const Poco::Net::IPAddress peer = control_.Socket().peerAddress().host();
    const auto deadline = std::chrono::steady_clock::now() + timeouts.connect;
    for (;;) {
        const auto left = std::chrono::duration_cast<Millis>(deadline - std::chrono::steady_clock::now());
        const WaitOutcome outcome =
            left <= Millis{0} ? WaitOutcome::TimedOut : WaitForSocket(listener, Socket::SELECT_READ, left);
        if (outcome == WaitOutcome::Cancelled) DiscardAndThrow(ERROR_INTERNET_OPERATION_CANCELLED);
        if (outcome != WaitOutcome::Ready)
            DiscardAndThrow(ERROR_INTERNET_TIMEOUT, "the server opened no data connection within " +
                                                        SecondsText(timeouts.connect));
        SocketAddress from;
        StreamSocket data = listener.acceptConnection(from);
        // Only the server we are logged in to may deliver the data; anyone else who found the
        // port is turned away.
        if (from.host() == peer) return data;
        data.close();
    }
}

FtpLink FtpSession::OpenDataChannel(const std::string& verb, const std::string& arg, bool passive) {
    RequireCommandSafe(arg);
    if (discarded_) throw Failure(ERROR_FTP_DROPPED, "the FTP session is closed");
    std::string reply;
    FtpLink data;
    if (passive) {
        const SocketAddress where = PassiveAddress();
        try {
            data = FtpLink(ConnectWithin(where, timeouts.connect));
        } catch (const Failure&) {
            Discard(); // the server still waits for a data connection that will not come
            throw;
        }
        const int status = Command(verb, arg, reply);
        if (status / 100 != 1) {
            data.Abort(false);
            ThrowServerRefusal(status, reply);
        }
    } else {
        Poco::Net::ServerSocket listener(SocketAddress(control_.Socket().address().host(), 0), 1);
        SendPort(listener.address());
        const int status = Command(verb, arg, reply);
        if (status / 100 != 1) ThrowServerRefusal(status, reply);
        data = FtpLink(AcceptActive(listener));
    }
    // The server starts its side of the handshake once it has answered the command; we are the
    // TLS client in either mode.
    if (Secure()) SecureDataChannel(data);
    return data;
}

int FtpSession::AwaitTransferEnd(Millis limit, std::string& reply, DWORD& failure) {
    if (discarded_) {
        failure = ERROR_FTP_DROPPED;
        reply = "the FTP session is closed";
        return 0;
    }
    try {
        return ReadReply(reply, limit);
    } catch (const Failure& e) {
        if (e.code() == ERROR_INTERNET_OPERATION_CANCELLED) throw;
        // ReadReply has discarded the session. Its reason tells a silent server from one that
        // hung up: the two call for different things from the person reading it.
        failure = e.code();
        reply = e.reason().empty() ? NoAnswerWithin(limit) : e.reason();
        return 0;
    }
}

} // namespace zandrel::inet::detail
