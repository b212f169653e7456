#pragma once
// The HTTP kind of handle: one request with the connection it runs on, and the entry points the
// shared API functions (InternetConnect, InternetReadFile, InternetWriteFile) hand HTTP work to.
#include <Poco/Net/HTTPResponse.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/inet/Handles.h"
#include "platform/inet/HttpChannel.h"

namespace zandrel::inet::detail {

struct RequestHandle : Handle {
    RequestHandle() : Handle(HandleKind::Request) {}
    bool Close() override;

    std::shared_ptr<RootHandle> root;
    HttpEndpoint endpoint;
    std::string verb;
    std::string target;  // what the request line names: the path, or the whole URL for a proxy
    std::string host;    // the Host header
    std::vector<std::pair<std::string, std::string>> headers; // sent with the request
    std::unique_ptr<HttpChannel> channel;
    bool channelReused = false; // the channel served an earlier request (the server may have closed it)
    std::optional<Poco::Net::HTTPResponse> response;
    // A request with a body (HttpSendRequestEx): what was announced and what went out so far.
    bool sending = false;
    uint64_t announced = 0;
    uint64_t sent = 0;
    std::vector<char> pending; // body bytes collected for the next send
};

HINTERNET OpenHttpConnection(HINTERNET root, const std::string& serverName, INTERNET_PORT port,
                             const std::string& userName, const std::string& password, DWORD_PTR context);
bool IsRequestHandle(HINTERNET handle);
bool ReadResponseBody(HINTERNET request, void* buffer, DWORD toRead, DWORD& read);
bool WriteRequestBody(HINTERNET request, const void* buffer, DWORD toWrite, DWORD& written);

} // namespace zandrel::inet::detail
