#pragma once
// One HTTP connection (plain TCP or TLS) with every wait bounded and sliced for the idle hook:
// connect, TLS handshake, sending, the response head and the body. POCO formats and parses the
// messages; the bytes move through the socket itself, so a stalled server can neither hold a
// Cancel back nor outlast the timeouts, and a body never passes through a 1 KiB stream buffer.
#include <Poco/Net/HTTPResponse.h>
#include <Poco/Net/SecureStreamSocket.h>
#include <Poco/Net/StreamSocket.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/inet/Inet.h"
#include "platform/inet/Wait.h"

namespace zandrel::inet::detail {

// Where a request goes: scheme, host and port of the server, and the proxy in between (empty
// host: none).
struct HttpEndpoint {
    bool tls = false;
    std::string host;
    uint16_t port = 80;
    std::string proxyHost;
    uint16_t proxyPort = 0;
    std::string proxyAuthorization; // a complete header value ("Basic ..."), empty for none

    // Connections are reused only for the same server reached the same way.
    std::string Key() const;
};

class HttpChannel {
public:
    // Connects (through the proxy when one is set: http goes to it directly, https through a
    // CONNECT tunnel) and completes the TLS handshake with the name checked.
    static std::unique_ptr<HttpChannel> Open(const HttpEndpoint& endpoint, const Timeouts& timeouts);
    ~HttpChannel();
    HttpChannel(const HttpChannel&) = delete;
    HttpChannel& operator=(const HttpChannel&) = delete;

    const std::string& Key() const { return key_; }
    void SetTimeouts(const Timeouts& timeouts) { timeouts_ = timeouts; }

    // Sends every byte or throws Failure (timeout, broken connection, Cancel).
    void Send(const char* data, size_t count);
    // Reads the next response head (1xx interim answers are skipped) and prepares the body
    // reading for it. `headRequest`: the response has no body whatever it says.
    Poco::Net::HTTPResponse ReadHead(bool headRequest) { return ReadHeadWithin(headRequest, timeouts_.receive, false); }
    // After a head sent with "Expect: 100-continue": waits up to `wait` for the server's word.
    // Nothing (a server that does not know the header, or one that said 100 Continue): the body
    // may go. A final answer (413, 401, a redirect ...): the server refused the body.
    std::optional<Poco::Net::HTTPResponse> AwaitContinue(Millis wait);
    // After sending failed: a server that refuses a request often answers and closes before the
    // body is through, and its answer is still waiting to be read. Up to `within`.
    std::optional<Poco::Net::HTTPResponse> EarlyAnswer(Millis within);
    // Up to `capacity` bytes of the body; 0 at its end. Throws Failure when the body breaks off.
    size_t ReadBody(char* into, size_t capacity);
    bool BodyDone() const { return bodyDone_; }
    // Whether the connection can carry another request: the body was read to its end and
    // neither side asked to close.
    bool Reusable() const { return bodyDone_ && keepAlive_ && !broken_; }
    // Reads and drops what is left of a small body (up to `limit` bytes), so the connection can
    // be reused; false when the body is larger or does not come at once.
    bool DrainBody(size_t limit);
    // Whether the idle connection still looks usable (the server has not closed it).
    bool LooksAlive();

private:
    HttpChannel(Poco::Net::StreamSocket socket, bool tls, const Timeouts& timeouts, std::string key);
    size_t ReceiveSome(char* into, size_t capacity, Clock::time_point deadline);
    // Fills the buffer with at least one more byte; false at the end of the stream.
    bool Fill(Clock::time_point deadline);
    std::string ReadLine(size_t limit, Clock::time_point deadline);
    // `budget`: the wait for each head; `interim`: a 1xx head is returned instead of skipped.
    Poco::Net::HTTPResponse ReadHeadWithin(bool headRequest, Millis budget, bool interim);
    void Handshake(const std::string& host);
    void CheckPeerName(const Poco::Net::SecureStreamSocket& secure, const std::string& host);
    [[noreturn]] void Broken(DWORD code, const std::string& reason);

    Poco::Net::StreamSocket socket_;
    bool tls_ = false;
    Timeouts timeouts_;
    std::string key_;
    std::vector<char> buffer_; // received bytes not yet consumed: from `pos_` to `end_`
    size_t pos_ = 0;
    size_t end_ = 0;
    uint64_t linesRead_ = 0; // whole lines taken from the buffer so far
    bool broken_ = false;

    // Body framing of the current response.
    enum class Framing { None, Length, Chunked, UntilClose };
    Framing framing_ = Framing::None;
    uint64_t remaining_ = 0; // Length: bytes left; Chunked: bytes left of the current chunk
    bool bodyDone_ = true;
    bool keepAlive_ = true;
};

struct RootHandle;
// The root's pool of idle connections: a finished request gives its connection back, the next
// request to the same endpoint takes it (when the server has not closed it meanwhile).
void ReturnIdleChannel(RootHandle& root, std::unique_ptr<HttpChannel> channel);
std::unique_ptr<HttpChannel> TakeIdleChannel(RootHandle& root, const std::string& key);

} // namespace zandrel::inet::detail
