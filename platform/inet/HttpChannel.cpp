#include "platform/inet/HttpChannel.h"

#include <Poco/Net/Context.h>
#include <Poco/Net/NetException.h>
#include <Poco/Net/SSLException.h>
#include <Poco/Net/SecureStreamSocket.h>
#include <Poco/String.h>

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <mutex>
#include <sstream>

#include "platform/inet/Connect.h"
#include "platform/inet/Failure.h"
#include "platform/inet/Handles.h"
#include "platform/inet/TlsContext.h"

namespace zandrel::inet::detail {
namespace {

using Poco::Net::Socket;

constexpr size_t kBufferSize = 256 * 1024; // runs the socket moves at once
constexpr size_t kMaxLine = 8 * 1024;
constexpr size_t kMaxHead = 64 * 1024;
constexpr int kMaxInterimHeads = 8;        // 1xx answers skipped before the real one
constexpr size_t kMaxIdleChannels = 8;

std::optional<uint64_t> ParseDecimal(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    uint64_t value = 0;
    if (text.empty()) return std::nullopt;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::string Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return std::string(text);
}

// Every value of the header `name`, over all its lines, split at the commas of a list.
std::vector<std::string> ListValues(const Poco::Net::HTTPResponse& response, const std::string& name) {
    std::vector<std::string> values;
    for (auto it = response.find(name); it != response.end() && Poco::icompare(it->first, name) == 0; ++it) {
        const std::string& line = it->second;
        for (size_t start = 0;;) {
            const size_t comma = line.find(',', start);
            std::string value = Trimmed(std::string_view(line).substr(start, comma - start));
            if (!value.empty()) values.push_back(std::move(value));
            if (comma == std::string::npos) break;
            start = comma + 1;
        }
    }
    return values;
}

// The body's length from Content-Length. A length given more than once must say the same each
// time: two different ones mean that something on the way split or joined messages, and which
// one is true cannot be known, so the response is refused rather than cut at either.
// Empty `problem` with the length, or what is wrong with the headers.
std::optional<uint64_t> ContentLength(const Poco::Net::HTTPResponse& response, std::string& problem) {
    std::optional<uint64_t> length;
    for (const std::string& text : ListValues(response, "Content-Length")) {
        const std::optional<uint64_t> value = ParseDecimal(text);
        if (!value) {
            problem = "an unreadable Content-Length: " + text.substr(0, 40);
            return std::nullopt;
        }
        if (length && *length != *value) {
            problem = "two different Content-Length headers (" + std::to_string(*length) + " and " +
                      std::to_string(*value) + ")";
            return std::nullopt;
        }
        length = value;
    }
    if (!length) problem = "an empty Content-Length";
    return length;
}

} // namespace

std::string HttpEndpoint::Key() const {
    return (tls ? "https://" : "http://") + host + ":" + std::to_string(port) + "|" + proxyHost + ":" +
           std::to_string(proxyPort) + "|" + proxyAuthorization;
}

struct HttpIdlePool {
    std::mutex lock;
    std::vector<std::unique_ptr<HttpChannel>> channels;
};

void ReturnIdleChannel(RootHandle& root, std::unique_ptr<HttpChannel> channel) {
    if (!root.idleChannels) root.idleChannels = std::make_shared<HttpIdlePool>();
    HttpIdlePool& pool = *root.idleChannels;
    std::lock_guard guard(pool.lock);
    if (pool.channels.size() >= kMaxIdleChannels) pool.channels.erase(pool.channels.begin());
    pool.channels.push_back(std::move(channel));
}

std::unique_ptr<HttpChannel> TakeIdleChannel(RootHandle& root, const std::string& key) {
    if (!root.idleChannels) return nullptr;
    HttpIdlePool& pool = *root.idleChannels;
    std::lock_guard guard(pool.lock);
    for (auto it = pool.channels.begin(); it != pool.channels.end();) {
        if ((*it)->Key() != key) {
            ++it;
            continue;
        }
        std::unique_ptr<HttpChannel> channel = std::move(*it);
        it = pool.channels.erase(it);
        if (channel->LooksAlive()) return channel;
    }
    return nullptr;
}

HttpChannel::HttpChannel(Poco::Net::StreamSocket socket, bool tls, const Timeouts& timeouts, std::string key)
    : socket_(std::move(socket)), tls_(tls), timeouts_(timeouts), key_(std::move(key)) {}

HttpChannel::~HttpChannel() {
    try {
        socket_.close();
    } catch (...) {
    }
}

std::unique_ptr<HttpChannel> HttpChannel::Open(const HttpEndpoint& endpoint, const Timeouts& timeouts) {
    const bool viaProxy = !endpoint.proxyHost.empty();
    Poco::Net::StreamSocket plain = viaProxy ? ConnectToHost(endpoint.proxyHost, endpoint.proxyPort, timeouts.connect)
                                             : ConnectToHost(endpoint.host, endpoint.port, timeouts.connect);
    std::unique_ptr<HttpChannel> channel(new HttpChannel(plain, false, timeouts, endpoint.Key()));
    if (!endpoint.tls) return channel;

    if (viaProxy) {
        const std::string authority = endpoint.host + ":" + std::to_string(endpoint.port);
        std::string head = "CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority + "\r\n";
        if (!endpoint.proxyAuthorization.empty()) head += "Proxy-Authorization: " + endpoint.proxyAuthorization + "\r\n";
        head += "\r\n";
        channel->Send(head.data(), head.size());
        const Poco::Net::HTTPResponse answer = channel->ReadHead(true);
        if (answer.getStatus() / 100 != 2)
            throw Failure(ERROR_INTERNET_CANNOT_CONNECT, "the proxy refused the tunnel: " +
                                                             std::to_string(answer.getStatus()) + " " + answer.getReason());
    }
    channel->Handshake(endpoint.host);
    return channel;
}

void HttpChannel::Handshake(const std::string& host) {
    socket_.setBlocking(false);
    Poco::Net::SecureStreamSocket secure;
    try {
        secure = Poco::Net::SecureStreamSocket::attach(socket_, host, TlsClientContext());
    } catch (const Poco::Exception& e) {
        Broken(ERROR_INTERNET_SECURITY_CHANNEL_ERROR, "TLS: " + e.displayText());
    }
    socket_ = secure;
    tls_ = true;
    const Clock::time_point deadline = Clock::now() + timeouts_.receive;
    for (;;) {
        int rc = 0;
        try {
            rc = secure.completeHandshake();
        } catch (const Poco::Net::CertificateValidationException& e) {
            Broken(ERROR_INTERNET_SEC_CERT_ERRORS, "the server's certificate was not accepted: " + e.displayText());
        } catch (const Poco::Exception& e) {
            if (e.displayText().find("certificate verify failed") != std::string::npos)
                Broken(ERROR_INTERNET_SEC_CERT_ERRORS, "the server's certificate is not trusted: " + e.displayText());
            Broken(ERROR_INTERNET_SECURITY_CHANNEL_ERROR, "TLS handshake failed: " + e.displayText());
        }
        if (rc == 1) {
            CheckPeerName(secure, host);
            return;
        }
        const int mode = rc == Poco::Net::SecureStreamSocket::ERR_SSL_WANT_WRITE ? Socket::SELECT_WRITE : Socket::SELECT_READ;
        const WaitOutcome outcome = WaitForSocket(socket_, mode, deadline);
        if (outcome == WaitOutcome::Cancelled) Broken(ERROR_INTERNET_OPERATION_CANCELLED, {});
        if (outcome == WaitOutcome::TimedOut)
            Broken(ERROR_INTERNET_TIMEOUT, "no TLS handshake within " + SecondsText(timeouts_.receive));
    }
}

// The chain was verified during the handshake; the name is checked here, against the
// certificate's DNS names or IP addresses, as the server was named in the URL.
void HttpChannel::CheckPeerName(const Poco::Net::SecureStreamSocket& secure, const std::string& host) {
    try {
        if (CertificateNamesHost(const_cast<X509*>(secure.peerCertificate().certificate()), host)) return;
    } catch (const Poco::Exception& e) {
        Broken(ERROR_INTERNET_SEC_CERT_ERRORS, "the server sent no usable certificate: " + e.displayText());
    }
    Broken(ERROR_INTERNET_SEC_CERT_ERRORS, "the server's certificate is not valid for the name " + host);
}

void HttpChannel::Broken(DWORD code, const std::string& reason) {
    broken_ = true;
    throw Failure(code, reason);
}

void HttpChannel::Send(const char* data, size_t count) {
    if (broken_) throw Failure(ERROR_INTERNET_CONNECTION_ABORTED, "the connection broke earlier");
    Clock::time_point deadline = Clock::now() + timeouts_.send;
    while (count > 0) {
        if (CancelRequested()) Broken(ERROR_INTERNET_OPERATION_CANCELLED, {});
        int mode = Socket::SELECT_WRITE;
        ssize_t sent = -1;
        if (tls_) {
            int n = 0;
            try {
                n = socket_.sendBytes(data, static_cast<int>(std::min<size_t>(count, 64 * 1024)));
            } catch (const Poco::Exception& e) {
                Broken(ERROR_INTERNET_CONNECTION_ABORTED, "the connection broke: " + e.displayText());
            }
            if (n >= 0) sent = n;
            else if (n == Poco::Net::SecureStreamSocket::ERR_SSL_WANT_READ) mode = Socket::SELECT_READ;
        } else {
            sent = ::send(socket_.impl()->sockfd(), data, count, MSG_DONTWAIT | MSG_NOSIGNAL);
            if (sent < 0 && errno == EINTR) continue;
            if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
                Broken(ERROR_INTERNET_CONNECTION_ABORTED, "the connection broke: " + SystemErrorText(errno));
        }
        if (sent > 0) {
            data += sent;
            count -= static_cast<size_t>(sent);
            deadline = Clock::now() + timeouts_.send;
            continue;
        }
        const WaitOutcome outcome = WaitForSocket(socket_, mode, deadline);
        if (outcome == WaitOutcome::Cancelled) Broken(ERROR_INTERNET_OPERATION_CANCELLED, {});
        if (outcome == WaitOutcome::TimedOut)
            Broken(ERROR_INTERNET_TIMEOUT, "the server took no data: " + NoAnswerWithin(timeouts_.send));
    }
}

size_t HttpChannel::ReceiveSome(char* into, size_t capacity, Clock::time_point deadline) {
    for (;;) {
        if (CancelRequested()) Broken(ERROR_INTERNET_OPERATION_CANCELLED, {});
        int mode = Socket::SELECT_READ;
        if (tls_) {
            int n = 0;
            try {
                n = socket_.receiveBytes(into, static_cast<int>(std::min<size_t>(capacity, 1 << 30)));
            } catch (const Poco::Exception& e) {
                Broken(ERROR_INTERNET_CONNECTION_ABORTED, "the connection broke: " + e.displayText());
            }
            if (n >= 0) return static_cast<size_t>(n);
            if (n == Poco::Net::SecureStreamSocket::ERR_SSL_WANT_WRITE) mode = Socket::SELECT_WRITE;
        } else {
            const ssize_t n = ::recv(socket_.impl()->sockfd(), into, capacity, MSG_DONTWAIT);
            if (n >= 0) return static_cast<size_t>(n);
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                Broken(ERROR_INTERNET_CONNECTION_ABORTED, "the connection broke: " + SystemErrorText(errno));
        }
        const WaitOutcome outcome = WaitForSocket(socket_, mode, deadline);
        if (outcome == WaitOutcome::Cancelled) Broken(ERROR_INTERNET_OPERATION_CANCELLED, {});
        if (outcome == WaitOutcome::TimedOut)
            Broken(ERROR_INTERNET_TIMEOUT, "the server stalled: " + NoAnswerWithin(timeouts_.receive));
    }
}

bool HttpChannel::Fill(Clock::time_point deadline) {
    if (buffer_.size() < kBufferSize) buffer_.resize(kBufferSize);
    if (pos_ == end_) {
        pos_ = end_ = 0;
    } else if (end_ == buffer_.size()) {
        std::memmove(buffer_.data(), buffer_.data() + pos_, end_ - pos_);
        end_ -= pos_;
        pos_ = 0;
    }
    const size_t got = ReceiveSome(buffer_.data() + end_, buffer_.size() - end_, deadline);
    end_ += got;
    return got > 0;
}

std::string HttpChannel::ReadLine(size_t limit, Clock::time_point deadline) {
    size_t scanned = 0; // bytes after pos_ already searched; Fill may move the data, not this count
    for (;;) {
        const char* begin = buffer_.data() + pos_;
        const size_t available = end_ - pos_;
        const void* newline = scanned < available ? std::memchr(begin + scanned, '\n', available - scanned) : nullptr;
        if (newline) {
            const size_t length = static_cast<size_t>(static_cast<const char*>(newline) - begin);
            std::string line(begin, length);
            pos_ += length + 1;
            ++linesRead_;
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.size() > limit) break;
            return line;
        }
        if (available > limit) break;
        scanned = available;
        if (!Fill(deadline)) Broken(ERROR_INTERNET_CONNECTION_ABORTED, "the server closed the connection");
    }
    Broken(ERROR_HTTP_INVALID_SERVER_RESPONSE, "a response line longer than " + std::to_string(limit) + " bytes");
}

Poco::Net::HTTPResponse HttpChannel::ReadHeadWithin(bool headRequest, Millis budget, bool interim) {
    if (broken_) throw Failure(ERROR_INTERNET_CONNECTION_ABORTED, "the connection broke earlier");
    for (int round = 0;; ++round) {
        const Clock::time_point deadline = Clock::now() + budget;
        std::string head;
        for (;;) {
            std::string line = ReadLine(kMaxLine, deadline);
            if (line.empty()) {
                if (head.empty()) continue; // a stray blank line before the status line
                break;
            }
            head += line;
            head += "\r\n";
            if (head.size() > kMaxHead) Broken(ERROR_HTTP_INVALID_SERVER_RESPONSE, "a response head longer than 64 KiB");
        }
        head += "\r\n";
        Poco::Net::HTTPResponse response;
        try {
            std::istringstream in(head);
            response.read(in);
        } catch (const Poco::Exception&) {
            Broken(ERROR_HTTP_INVALID_SERVER_RESPONSE, "not an HTTP response: " + head.substr(0, 60));
        }
        const int status = response.getStatus();
        if (status < 100 || status > 999) Broken(ERROR_HTTP_INVALID_SERVER_RESPONSE, "not an HTTP response: " + head.substr(0, 60));
        if (status / 100 == 1 && status != 101) {
            if (interim) return response;
            if (round >= kMaxInterimHeads) Broken(ERROR_HTTP_INVALID_SERVER_RESPONSE, "too many interim responses");
            continue;
        }

        keepAlive_ = response.getKeepAlive();
        remaining_ = 0;
        bodyDone_ = false;
        if (headRequest || status == 204 || status == 304 || status / 100 == 1) {
            framing_ = Framing::None;
            bodyDone_ = true;
        } else if (response.has("Transfer-Encoding")) {
            // Only chunked is taken apart here. Anything else (gzip, chunked; chunked twice) would
            // be stored still encoded, as if it were the file.
            const std::vector<std::string> codings = ListValues(response, "Transfer-Encoding");
            if (codings.size() != 1 || Poco::icompare(codings.front(), "chunked") != 0) {
                std::string named;
                for (const std::string& coding : codings) named += (named.empty() ? "" : ", ") + coding;
                Broken(ERROR_HTTP_INVALID_SERVER_RESPONSE,
                       "a Transfer-Encoding this program does not decode: " + named.substr(0, 60));
            }
            framing_ = Framing::Chunked;
            // A length beside the chunks is ignored; such a message may have been meant to slip
            // past something on the way, so the connection is not used again.
            if (response.has("Content-Length")) keepAlive_ = false;
        } else if (response.has("Content-Length")) {
            std::string problem;
            const std::optional<uint64_t> length = ContentLength(response, problem);
            if (!length) Broken(ERROR_HTTP_INVALID_SERVER_RESPONSE, problem);
            framing_ = Framing::Length;
            remaining_ = *length;
            bodyDone_ = remaining_ == 0;
        } else {
            framing_ = Framing::UntilClose;
            keepAlive_ = false;
        }
        return response;
    }
}

std::optional<Poco::Net::HTTPResponse> HttpChannel::AwaitContinue(Millis wait) {
    const uint64_t linesBefore = linesRead_;
    try {
        const Poco::Net::HTTPResponse answer = ReadHeadWithin(false, wait, true);
        if (answer.getStatus() / 100 == 1) return std::nullopt;
        return answer;
    } catch (const Failure& failure) {
        // Silence is no fault: the body goes as it would have without the header. Only a head
        // that began and then stalled leaves the connection unusable.
        if (failure.code() != ERROR_INTERNET_TIMEOUT || linesRead_ != linesBefore) throw;
        broken_ = false;
        return std::nullopt;
    }
}

std::optional<Poco::Net::HTTPResponse> HttpChannel::EarlyAnswer(Millis within) {
    // Only the sending side failed; what the server sent before it closed may still be there.
    broken_ = false;
    try {
        return ReadHeadWithin(false, within, false);
    } catch (const Failure&) {
        broken_ = true;
        return std::nullopt;
    }
}

size_t HttpChannel::ReadBody(char* into, size_t capacity) {
    if (bodyDone_ || capacity == 0) return 0;
    if (broken_) throw Failure(ERROR_INTERNET_CONNECTION_ABORTED, "the connection broke earlier");
    const Clock::time_point deadline = Clock::now() + timeouts_.receive;
    if (framing_ == Framing::Chunked && remaining_ == 0) {
        const std::string sizeLine = ReadLine(kMaxLine, deadline);
        const std::string_view digits = std::string_view(sizeLine).substr(0, sizeLine.find_first_of("; \t"));
        uint64_t size = 0;
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), size, 16);
        if (digits.empty() || error != std::errc() || end != digits.data() + digits.size())
            Broken(ERROR_HTTP_INVALID_SERVER_RESPONSE, "an unreadable chunk size: " + sizeLine.substr(0, 40));
        if (size == 0) {
            size_t trailers = 0;
            for (;;) {
                const std::string trailer = ReadLine(kMaxLine, deadline);
                if (trailer.empty()) break;
                trailers += trailer.size();
                if (trailers > kMaxHead) Broken(ERROR_HTTP_INVALID_SERVER_RESPONSE, "trailers longer than 64 KiB");
            }
            bodyDone_ = true;
            return 0;
        }
        remaining_ = size;
    }
    if (pos_ == end_ && !Fill(deadline)) {
        if (framing_ == Framing::UntilClose) {
            bodyDone_ = true;
            return 0;
        }
        Broken(ERROR_INTERNET_CONNECTION_ABORTED, framing_ == Framing::Length
                                                      ? "the response ended " + std::to_string(remaining_) + " bytes short of its length"
                                                      : "the response ended inside a chunk");
    }
    size_t take = std::min(capacity, end_ - pos_);
    if (framing_ != Framing::UntilClose) take = static_cast<size_t>(std::min<uint64_t>(take, remaining_));
    std::memcpy(into, buffer_.data() + pos_, take);
    pos_ += take;
    if (framing_ != Framing::UntilClose) remaining_ -= take;
    if (framing_ == Framing::Length && remaining_ == 0) bodyDone_ = true;
    if (framing_ == Framing::Chunked && remaining_ == 0) {
        if (!ReadLine(kMaxLine, deadline).empty()) Broken(ERROR_HTTP_INVALID_SERVER_RESPONSE, "a chunk without its line end");
    }
    return take;
}

bool HttpChannel::DrainBody(size_t limit) {
    std::vector<char> scratch(16 * 1024);
    size_t drained = 0;
    while (!bodyDone_) {
        if (framing_ == Framing::UntilClose) return false;
        const size_t got = ReadBody(scratch.data(), scratch.size());
        drained += got;
        if (drained > limit) return false;
    }
    return true;
}

bool HttpChannel::LooksAlive() {
    if (broken_ || pos_ != end_) return false;
    pollfd fd{socket_.impl()->sockfd(), POLLIN, 0};
    // Readable while idle: the server closed the connection (or sent something unasked).
    return ::poll(&fd, 1, 0) == 0;
}

} // namespace zandrel::inet::detail
