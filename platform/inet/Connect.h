#pragma once
// Opening TCP connections, for FTP's control and data channels and for HTTP alike: a name tried
// address by address, each connect waited for in slices so that a Cancel gets through.
#include <Poco/Net/SocketAddress.h>
#include <Poco/Net/StreamSocket.h>

#include <cstdint>
#include <string>

#include "platform/inet/Wait.h"

namespace zandrel::inet::detail {

// Opens a TCP connection with a bounded, sliced wait. Throws Failure (timeout / cannot connect).
Poco::Net::StreamSocket ConnectWithin(const Poco::Net::SocketAddress& address, Millis timeout);
// Resolves `host` and connects to its addresses in turn until one answers.
Poco::Net::StreamSocket ConnectToHost(const std::string& host, uint16_t port, Millis timeout);

} // namespace zandrel::inet::detail
