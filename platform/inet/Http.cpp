// HTTP requests: InternetOpenUrl (GET with redirects), HttpOpenRequest / HttpSendRequestEx /
// InternetWriteFile / HttpEndRequest (a request with a streamed body), HttpQueryInfo, and the
// response body through InternetReadFile.
#include <Poco/Base64Encoder.h>
#include <Poco/DateTime.h>
#include <Poco/DateTimeParser.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <sstream>

#include "platform/inet/Failure.h"
#include "platform/inet/FtpHandles.h"
#include "platform/inet/HttpHandles.h"
#include "platform/inet/ProxyBypass.h"
#include "platform/rtl/PercentEncoding.h"

namespace zandrel::inet {
namespace {

using detail::Failure;
using detail::Guarded;
using detail::HandleKind;
using detail::HttpChannel;
using detail::HttpEndpoint;
using detail::RequestHandle;
using detail::RootHandle;

constexpr int kMaxRedirects = 10;
constexpr size_t kSendRun = 64 * 1024;
constexpr size_t kDrainLimit = 64 * 1024;
// A body this large is announced with "Expect: 100-continue": a server that will refuse it
// (too large, no permission, a login needed) can say so before megabytes go out for nothing.
constexpr uint64_t kExpectContinueFrom = 1024 * 1024;
// How long the 100 Continue is waited for; a server that never sends one costs this once.
constexpr detail::Millis kContinueWait{1000};
// How long an answer the server sent before it stopped taking the body is looked for.
constexpr detail::Millis kEarlyAnswerWait{2000};

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// CR and LF would end a header line or the request line early and let text smuggle in headers
// (or a whole request) of its own; NUL cuts strings short on the way.
void RequireHeaderSafe(std::string_view text, const char* what) {
    if (text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos)
        throw Failure(ERROR_INVALID_PARAMETER, std::string("CR, LF or NUL in the ") + what);
}

std::string BasicCredentials(const std::string& user, const std::string& password) {
    std::ostringstream out;
    Poco::Base64Encoder encoder(out);
    encoder.rdbuf()->setLineLength(0);
    encoder << user << ':' << password;
    encoder.close();
    return "Basic " + out.str();
}

// Blanks and bytes outside printable ASCII are not allowed in a request line: they go percent-
// encoded, everything else as the caller wrote it.
std::string EncodeTarget(const std::string& path) {
    const std::string out = rtl::PercentEncode(path, [](unsigned char c) { return c > 0x20 && c < 0x7f; });
    return out.empty() ? "/" : out;
}

struct Url {
    bool tls = false;
    std::string user, password;
    bool hasCredentials = false;
    std::string host; // without brackets for IPv6
    uint16_t port = 80;
    std::string path; // with the query, without the fragment; starts with "/"

    std::string Origin() const {
        const bool ipv6 = host.find(':') != std::string::npos;
        const std::string name = ipv6 ? "[" + host + "]" : host;
        const bool defaultPort = port == (tls ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT);
        return (tls ? "https://" : "http://") + name + (defaultPort ? "" : ":" + std::to_string(port));
    }
    std::string HostHeader() const {
        const bool ipv6 = host.find(':') != std::string::npos;
        const std::string name = ipv6 ? "[" + host + "]" : host;
        const bool defaultPort = port == (tls ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT);
        return defaultPort ? name : name + ":" + std::to_string(port);
    }
};

// "host", "host:81", "[::1]:81" -> host and port (the default when none is given).
void SplitHostPort(const std::string& authority, uint16_t defaultPort, std::string& host, uint16_t& port) {
    port = defaultPort;
    std::string rest = authority;
    if (!rest.empty() && rest.front() == '[') {
        const size_t close = rest.find(']');
        if (close == std::string::npos) throw Failure(ERROR_INTERNET_NAME_NOT_RESOLVED, "a malformed server name: " + authority);
        host = rest.substr(1, close - 1);
        rest.erase(0, close + 1);
    } else {
        const size_t colon = rest.rfind(':');
        host = rest.substr(0, colon);
        rest = colon == std::string::npos ? std::string() : rest.substr(colon);
    }
    if (rest.empty()) return;
    unsigned value = 0;
    const std::string digits = rest.substr(1);
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (rest[0] != ':' || digits.empty() || error != std::errc() || end != digits.data() + digits.size() || value == 0 ||
        value > 65535)
        throw Failure(ERROR_INVALID_PARAMETER, "a malformed port in " + authority);
    port = static_cast<uint16_t>(value);
}

Url ParseUrl(const std::string& text) {
    RequireHeaderSafe(text, "URL");
    const size_t scheme = text.find("://");
    if (scheme == std::string::npos) throw Failure(ERROR_INTERNET_UNRECOGNIZED_SCHEME, "not an http or https URL: " + text);
    const std::string name = Lower(text.substr(0, scheme));
    Url url;
    if (name == "https") url.tls = true;
    else if (name != "http") throw Failure(ERROR_INTERNET_UNRECOGNIZED_SCHEME, "not an http or https URL: " + text);
    const size_t authorityStart = scheme + 3;
    size_t authorityEnd = text.find_first_of("/?#", authorityStart);
    if (authorityEnd == std::string::npos) authorityEnd = text.size();
    std::string authority = text.substr(authorityStart, authorityEnd - authorityStart);
    const size_t at = authority.rfind('@');
    if (at != std::string::npos) {
        const std::string info = authority.substr(0, at);
        authority.erase(0, at + 1);
        const size_t colon = info.find(':');
        url.user = rtl::PercentDecode(info.substr(0, colon));
        url.password = colon == std::string::npos ? std::string() : rtl::PercentDecode(info.substr(colon + 1));
        url.hasCredentials = true;
        RequireHeaderSafe(url.user, "user name");
        RequireHeaderSafe(url.password, "password");
    }
    SplitHostPort(authority, url.tls ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT, url.host, url.port);
    if (url.host.empty()) throw Failure(ERROR_INTERNET_NAME_NOT_RESOLVED, "no server in the URL " + text);
    std::string rest = text.substr(authorityEnd);
    const size_t hash = rest.find('#');
    if (hash != std::string::npos) rest.resize(hash);
    if (rest.empty() || rest.front() != '/') rest.insert(0, "/");
    url.path = EncodeTarget(rest);
    return url;
}

// The endpoint for `url`: the server, and the root's proxy for its scheme unless bypassed.
HttpEndpoint EndpointFor(const RootHandle& root, const Url& url) {
    HttpEndpoint endpoint;
    endpoint.tls = url.tls;
    endpoint.host = url.host;
    endpoint.port = url.port;
    const std::string& proxy = url.tls ? root.proxy.httpsProxy : root.proxy.httpProxy;
    if (!proxy.empty() && !detail::Bypassed(url.host, root.proxy.bypass)) {
        SplitHostPort(proxy, 8080, endpoint.proxyHost, endpoint.proxyPort);
        if (!root.proxy.user.empty() || !root.proxy.password.empty())
            endpoint.proxyAuthorization = BasicCredentials(root.proxy.user, root.proxy.password);
    }
    return endpoint;
}

// "Name: value\r\n" lines; an empty line ends them (what follows is ignored).
std::vector<std::pair<std::string, std::string>> ParseHeaderLines(const std::string& text) {
    if (text.find('\0') != std::string::npos) throw Failure(ERROR_INVALID_PARAMETER, "NUL in the request headers");
    std::vector<std::pair<std::string, std::string>> headers;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 2;
        if (line.empty()) break;
        RequireHeaderSafe(line, "request headers");
        const size_t colon = line.find(':');
        if (colon == std::string::npos || colon == 0) throw Failure(ERROR_INVALID_PARAMETER, "a request header without a name");
        std::string value = line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(" \t"));
        headers.emplace_back(line.substr(0, colon), value);
    }
    return headers;
}

bool HasHeader(const std::vector<std::pair<std::string, std::string>>& headers, const std::string& name) {
    const std::string wanted = Lower(name);
    return std::any_of(headers.begin(), headers.end(), [&](const auto& h) { return Lower(h.first) == wanted; });
}

void RemoveHeader(std::vector<std::pair<std::string, std::string>>& headers, const std::string& name) {
    const std::string wanted = Lower(name);
    std::erase_if(headers, [&](const auto& h) { return Lower(h.first) == wanted; });
}

std::string RequestHead(const RequestHandle& request, std::optional<uint64_t> bodyLength) {
    std::string head = request.verb + " " + request.target + " HTTP/1.1\r\nHost: " + request.host + "\r\n";
    if (!HasHeader(request.headers, "User-Agent") && !request.root->agent.empty())
        head += "User-Agent: " + request.root->agent + "\r\n";
    if (!HasHeader(request.headers, "Accept")) head += "Accept: */*\r\n";
    if (!request.endpoint.proxyAuthorization.empty() && !request.endpoint.tls &&
        !HasHeader(request.headers, "Proxy-Authorization"))
        head += "Proxy-Authorization: " + request.endpoint.proxyAuthorization + "\r\n";
    for (const auto& [name, value] : request.headers) head += name + ": " + value + "\r\n";
    if (bodyLength) head += "Content-Length: " + std::to_string(*bodyLength) + "\r\n";
    head += "\r\n";
    return head;
}

// Sends the head on a kept connection when there is one; a kept connection the server has
// closed meanwhile is replaced once, before anything of the request went out for good.
void SendHead(RequestHandle& request, std::optional<uint64_t> bodyLength) {
    const std::string head = RequestHead(request, bodyLength);
    if (!request.channel) {
        request.channel = detail::TakeIdleChannel(*request.root, request.endpoint.Key());
        request.channelReused = request.channel != nullptr;
    }
    if (request.channel && request.channelReused) {
        request.channel->SetTimeouts(request.root->timeouts);
        try {
            request.channel->Send(head.data(), head.size());
            if (!bodyLength) request.response = request.channel->ReadHead(request.verb == "HEAD");
            return;
        } catch (const Failure& failure) {
            // Only a connection the server had closed is worth a second try; a Cancel or a
            // server that stalls must not cost the wait twice.
            if (failure.code() != ERROR_INTERNET_CONNECTION_ABORTED) throw;
            request.channel.reset();
        }
    }
    if (!request.channel) request.channel = HttpChannel::Open(request.endpoint, request.root->timeouts);
    request.channelReused = false;
    request.channel->Send(head.data(), head.size());
    if (!bodyLength) request.response = request.channel->ReadHead(request.verb == "HEAD");
}

// Where a redirect leads: absolute, scheme-relative, absolute path, or relative to the folder.
std::string ResolveLocation(const Url& base, const std::string& location) {
    if (location.find("://") != std::string::npos &&
        location.find("://") < location.find_first_of("/?#")) return location;
    if (location.rfind("//", 0) == 0) return (base.tls ? "https:" : "http:") + location;
    if (!location.empty() && location.front() == '/') return base.Origin() + location;
    std::string folder = base.path.substr(0, base.path.find('?'));
    folder.resize(folder.rfind('/') + 1);
    return base.Origin() + folder + location;
}

// The URL a request went to (without credentials), as a base for the Location of its answer.
Url RequestUrl(const RequestHandle& request) {
    Url url;
    url.tls = request.endpoint.tls;
    url.host = request.endpoint.host;
    url.port = request.endpoint.port;
    url.path = request.target;
    if (url.path.empty() || url.path.front() != '/') {
        // Sent to a proxy in absolute form: the path is what follows the origin.
        const size_t scheme = url.path.find("://");
        const size_t slash = scheme == std::string::npos ? std::string::npos : url.path.find('/', scheme + 3);
        url.path = slash == std::string::npos ? "/" : url.path.substr(slash);
    }
    return url;
}

bool IsRedirect(int status) { return status == 301 || status == 302 || status == 303 || status == 307 || status == 308; }

std::shared_ptr<RequestHandle> Request(HINTERNET handle) {
    return detail::LookupAs<RequestHandle>(handle, HandleKind::Request);
}

const Poco::Net::HTTPResponse& ResponseOf(const RequestHandle& request) {
    if (!request.response) throw Failure(ERROR_INTERNET_INCORRECT_HANDLE_STATE, "no response yet");
    return *request.response;
}

// The server answered before it had the whole body: the request is over, its answer is what
// HttpQueryInfo reports, and the connection is not used again (the server may still be waiting
// for the body, or may have closed).
[[noreturn]] void AnsweredEarly(RequestHandle& request, Poco::Net::HTTPResponse answer, const char* when) {
    const std::string status = std::to_string(answer.getStatus()) + (answer.getReason().empty() ? "" : " " + answer.getReason());
    request.response = std::move(answer);
    request.sending = false;
    request.pending.clear();
    request.channel.reset();
    throw Failure(ERROR_INTERNET_CONNECTION_ABORTED, "the server answered " + status + " " + when);
}

void SendBody(RequestHandle& request, const char* data, size_t count) {
    try {
        request.channel->Send(data, count);
    } catch (const Failure& failure) {
        if (failure.code() == ERROR_INTERNET_OPERATION_CANCELLED) throw;
        std::optional<Poco::Net::HTTPResponse> answer =
            request.channel->EarlyAnswer(std::min(request.root->timeouts.receive, kEarlyAnswerWait));
        if (!answer) throw;
        AnsweredEarly(request, std::move(*answer), "before it took the whole request body");
    }
}

void FlushBody(RequestHandle& request) {
    if (request.pending.empty()) return;
    std::vector<char> out;
    out.swap(request.pending);
    SendBody(request, out.data(), out.size());
}

} // namespace

namespace detail {

bool RequestHandle::Close() {
    if (!channel) return true;
    std::unique_ptr<HttpChannel> taken = std::move(channel);
    if (!response || sending) return true; // a request cut short: its connection is not reusable
    try {
        // An error page or a redirect's body is small: reading it keeps the connection for the
        // next request. A large unread body is not worth it.
        if (!taken->BodyDone() && (response->getStatus() < 300 || !taken->DrainBody(kDrainLimit))) return true;
    } catch (...) {
        return true;
    }
    if (taken->Reusable() && root) ReturnIdleChannel(*root, std::move(taken));
    return true;
}

HINTERNET OpenHttpConnection(HINTERNET root, const std::string& serverName, INTERNET_PORT port,
                             const std::string& userName, const std::string& password, DWORD_PTR context) {
    RequireHeaderSafe(serverName, "server name");
    RequireHeaderSafe(userName, "user name");
    RequireHeaderSafe(password, "password");
    if (serverName.empty()) throw Failure(ERROR_INTERNET_NAME_NOT_RESOLVED, "no server name");
    auto connection = std::make_shared<ConnectionHandle>();
    connection->context = context;
    connection->service = INTERNET_SERVICE_HTTP;
    connection->server = serverName;
    connection->port = port;
    connection->user = userName;
    connection->password = password;
    SetLastError(ERROR_SUCCESS);
    return RegisterHandle(std::move(connection), root);
}

bool IsRequestHandle(HINTERNET handle) {
    try {
        return LookupHandle(handle)->kind == HandleKind::Request;
    } catch (...) {
        return false;
    }
}

bool ReadResponseBody(HINTERNET handle, void* buffer, DWORD toRead, DWORD& read) {
    auto request = Request(handle);
    ResponseOf(*request);
    if (!request->channel) throw Failure(ERROR_INTERNET_INCORRECT_HANDLE_STATE, "the response was already read");
    read = static_cast<DWORD>(request->channel->ReadBody(static_cast<char*>(buffer), toRead));
    SetLastError(ERROR_SUCCESS);
    return true;
}

bool WriteRequestBody(HINTERNET handle, const void* buffer, DWORD toWrite, DWORD& written) {
    auto request = Request(handle);
    if (!request->sending || !request->channel) throw Failure(ERROR_INTERNET_INCORRECT_HANDLE_STATE, "no request body is open");
    if (toWrite > request->announced - request->sent)
        throw Failure(ERROR_INVALID_PARAMETER, "more body bytes than the request announced");
    const char* data = static_cast<const char*>(buffer);
    if (request->pending.size() + toWrite > kSendRun) FlushBody(*request);
    if (toWrite >= kSendRun) {
        SendBody(*request, data, toWrite);
    } else {
        request->pending.insert(request->pending.end(), data, data + toWrite);
    }
    request->sent += toWrite;
    written = toWrite;
    SetLastError(ERROR_SUCCESS);
    return true;
}

} // namespace detail

HINTERNET InternetOpenUrl(HINTERNET root, const std::string& url, const std::string& headers, DWORD, DWORD_PTR context) {
    return Guarded<HINTERNET>(nullptr, [&]() -> HINTERNET {
        auto rootHandle = detail::LookupAs<RootHandle>(root, HandleKind::Root);
        std::vector<std::pair<std::string, std::string>> extra = ParseHeaderLines(headers);
        std::string current = url;
        for (int redirects = 0;; ++redirects) {
            const Url parsed = ParseUrl(current);
            auto request = std::make_shared<RequestHandle>();
            request->context = context;
            request->root = rootHandle;
            request->endpoint = EndpointFor(*rootHandle, parsed);
            request->verb = "GET";
            const bool viaProxy = !request->endpoint.proxyHost.empty();
            request->target = viaProxy && !parsed.tls ? parsed.Origin() + parsed.path : parsed.path;
            request->host = parsed.HostHeader();
            request->headers = extra;
            // Credentials in the URL go to the proxy when one is used, else to the server, unless
            // the caller sends an Authorization of its own.
            if (parsed.hasCredentials) {
                if (viaProxy) request->endpoint.proxyAuthorization = BasicCredentials(parsed.user, parsed.password);
                else if (!HasHeader(extra, "Authorization"))
                    request->headers.emplace_back("Authorization", BasicCredentials(parsed.user, parsed.password));
            }
            SendHead(*request, std::nullopt);
            const int status = request->response->getStatus();
            const std::string location = request->response->get("Location", "");
            if (!IsRedirect(status) || location.empty()) {
                SetLastError(ERROR_SUCCESS);
                return detail::RegisterHandle(std::move(request), root);
            }
            if (redirects >= kMaxRedirects)
                throw Failure(ERROR_HTTP_REDIRECT_FAILED, "more than " + std::to_string(kMaxRedirects) + " redirects");
            RequireHeaderSafe(location, "redirect");
            const std::string next = ResolveLocation(parsed, location);
            const Url target = ParseUrl(next);
            if (parsed.tls && !target.tls)
                throw Failure(ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR, "refused a redirect from https to http: " + next);
            // Credentials meant for one server are not handed to another.
            if (target.host != parsed.host || target.port != parsed.port || target.tls != parsed.tls)
                RemoveHeader(extra, "Authorization");
            request->Close();
            current = next;
        }
    });
}

HINTERNET HttpOpenRequest(HINTERNET connection, const std::string& verb, const std::string& objectName,
                          const std::string&, const std::string&, DWORD flags, DWORD_PTR context) {
    return Guarded<HINTERNET>(nullptr, [&]() -> HINTERNET {
        auto handle = detail::LookupAs<detail::ConnectionHandle>(connection, HandleKind::Connection);
        if (handle->service != INTERNET_SERVICE_HTTP) throw Failure(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
        const std::string method = verb.empty() ? "GET" : verb;
        if (!std::all_of(method.begin(), method.end(), [](char c) { return std::isalpha(static_cast<unsigned char>(c)); }))
            throw Failure(ERROR_INVALID_PARAMETER, "not an HTTP verb: " + method.substr(0, 20));
        RequireHeaderSafe(objectName, "object name");
        auto rootHandle = detail::LookupAs<RootHandle>(handle->parent, HandleKind::Root);

        const bool tls = (flags & INTERNET_FLAG_SECURE) != 0;
        Url url;
        url.tls = tls;
        const uint16_t defaultPort = handle->port != INTERNET_INVALID_PORT_NUMBER
                                         ? handle->port
                                         : (tls ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT);
        SplitHostPort(handle->server, defaultPort, url.host, url.port);
        url.path = EncodeTarget(objectName.empty() || objectName.front() != '/' ? "/" + objectName : objectName);

        auto request = std::make_shared<RequestHandle>();
        request->context = context;
        request->root = rootHandle;
        request->endpoint = EndpointFor(*rootHandle, url);
        request->verb = method;
        request->target = !request->endpoint.proxyHost.empty() && !tls ? url.Origin() + url.path : url.path;
        request->host = url.HostHeader();
        if (!handle->user.empty() || !handle->password.empty())
            request->headers.emplace_back("Authorization", BasicCredentials(handle->user, handle->password));
        // The server is reached here, so that a server that cannot be reached means no request.
        request->channel = detail::TakeIdleChannel(*rootHandle, request->endpoint.Key());
        request->channelReused = request->channel != nullptr;
        if (!request->channel) request->channel = HttpChannel::Open(request->endpoint, rootHandle->timeouts);
        SetLastError(ERROR_SUCCESS);
        return detail::RegisterHandle(std::move(request), connection);
    });
}

bool HttpSendRequestEx(HINTERNET handle, uint64_t totalLength, DWORD, DWORD_PTR) {
    return Guarded<bool>(false, [&] {
        auto request = Request(handle);
        if (request->sending || request->response) throw Failure(ERROR_INTERNET_INCORRECT_HANDLE_STATE, "the request was already sent");
        request->announced = totalLength;
        request->sent = 0;
        request->sending = true;
        const bool expect = totalLength >= kExpectContinueFrom && !HasHeader(request->headers, "Expect");
        if (expect) request->headers.emplace_back("Expect", "100-continue");
        SendHead(*request, totalLength);
        if (expect) {
            std::optional<Poco::Net::HTTPResponse> answer = request->channel->AwaitContinue(kContinueWait);
            if (answer) AnsweredEarly(*request, std::move(*answer), "before the request body was sent");
        }
        SetLastError(ERROR_SUCCESS);
        return true;
    });
}

bool HttpEndRequest(HINTERNET handle, DWORD, DWORD_PTR) {
    return Guarded<bool>(false, [&] {
        auto request = Request(handle);
        if (!request->sending || !request->channel) throw Failure(ERROR_INTERNET_INCORRECT_HANDLE_STATE, "no request body is open");
        if (request->sent < request->announced) {
            request->channel.reset(); // the server must never take the short body for a whole one
            request->sending = false;
            throw Failure(ERROR_INTERNET_CONNECTION_ABORTED, "the request body ended after " + std::to_string(request->sent) +
                                                                 " of " + std::to_string(request->announced) + " bytes");
        }
        FlushBody(*request);
        request->response = request->channel->ReadHead(request->verb == "HEAD");
        request->sending = false;
        SetLastError(ERROR_SUCCESS);
        return true;
    });
}

bool HttpQueryInfo64(HINTERNET handle, DWORD infoLevel, uint64_t& value) {
    return Guarded<bool>(false, [&] {
        auto request = Request(handle);
        const Poco::Net::HTTPResponse& response = ResponseOf(*request);
        if ((infoLevel & HTTP_QUERY_FLAG_NUMBER) == 0) throw Failure(ERROR_INVALID_PARAMETER);
        switch (infoLevel & 0xFFFF) {
        case HTTP_QUERY_STATUS_CODE: value = static_cast<uint64_t>(response.getStatus()); break;
        case HTTP_QUERY_CONTENT_LENGTH: {
            std::string text = response.get("Content-Length", "");
            uint64_t number = 0;
            text.erase(0, text.find_first_not_of(" \t"));
            text.erase(text.find_last_not_of(" \t") + 1);
            const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
            if (text.empty() || error != std::errc() || end != text.data() + text.size())
                throw Failure(ERROR_HTTP_HEADER_NOT_FOUND, "no Content-Length");
            value = number;
            break;
        }
        default: throw Failure(ERROR_INVALID_PARAMETER);
        }
        SetLastError(ERROR_SUCCESS);
        return true;
    });
}

bool HttpQueryInfo(HINTERNET handle, DWORD infoLevel, DWORD& value) {
    uint64_t wide = 0;
    if (!HttpQueryInfo64(handle, infoLevel, wide)) return false;
    if (wide > 0xFFFFFFFFu) {
        detail::SetFailure(ERROR_INVALID_PARAMETER, "the value does not fit 32 bits: " + std::to_string(wide));
        return false;
    }
    value = static_cast<DWORD>(wide);
    return true;
}

bool HttpQueryInfo(HINTERNET handle, DWORD infoLevel, rtl::SYSTEMTIME& value) {
    return Guarded<bool>(false, [&] {
        auto request = Request(handle);
        const Poco::Net::HTTPResponse& response = ResponseOf(*request);
        if ((infoLevel & 0xFFFF) != HTTP_QUERY_LAST_MODIFIED || (infoLevel & HTTP_QUERY_FLAG_SYSTEMTIME) == 0)
            throw Failure(ERROR_INVALID_PARAMETER);
        Poco::DateTime time;
        int zone = 0;
        if (!Poco::DateTimeParser::tryParse(response.get("Last-Modified", ""), time, zone))
            throw Failure(ERROR_HTTP_HEADER_NOT_FOUND, "no readable Last-Modified");
        time.makeUTC(zone);
        value = rtl::MakeSystemTime(time.year(), time.month(), time.day(), time.hour(), time.minute(), time.second());
        SetLastError(ERROR_SUCCESS);
        return true;
    });
}

bool HttpQueryInfoText(HINTERNET handle, DWORD infoLevel, std::string& value) {
    return Guarded<bool>(false, [&] {
        auto request = Request(handle);
        const Poco::Net::HTTPResponse& response = ResponseOf(*request);
        switch (infoLevel & 0xFFFF) {
        case HTTP_QUERY_STATUS_CODE: value = std::to_string(response.getStatus()); break;
        case HTTP_QUERY_STATUS_TEXT: value = response.getReason(); break;
        case HTTP_QUERY_LOCATION: {
            if (!response.has("Location")) throw Failure(ERROR_HTTP_HEADER_NOT_FOUND, "no Location");
            RequireHeaderSafe(response.get("Location"), "redirect");
            value = ResolveLocation(RequestUrl(*request), response.get("Location"));
            break;
        }
        case HTTP_QUERY_HOST:
            // The Host is a header of the request, not of the response.
            if ((infoLevel & HTTP_QUERY_FLAG_REQUEST_HEADERS) == 0)
                throw Failure(ERROR_HTTP_HEADER_NOT_FOUND, "no Host in the response");
            value = request->host;
            break;
        case HTTP_QUERY_CONTENT_LENGTH:
        case HTTP_QUERY_LAST_MODIFIED:
        case HTTP_QUERY_CONTENT_DISPOSITION: {
            const char* name = (infoLevel & 0xFFFF) == HTTP_QUERY_CONTENT_LENGTH  ? "Content-Length"
                               : (infoLevel & 0xFFFF) == HTTP_QUERY_LAST_MODIFIED ? "Last-Modified"
                                                                                  : "Content-Disposition";
            if (!response.has(name)) throw Failure(ERROR_HTTP_HEADER_NOT_FOUND, std::string("no ") + name);
            value = response.get(name);
            break;
        }
        default: throw Failure(ERROR_INVALID_PARAMETER);
        }
        SetLastError(ERROR_SUCCESS);
        return true;
    });
}

} // namespace zandrel::inet
