#include "platform/inet/Connect.h"

#include <Poco/Exception.h>
#include <Poco/Net/DNS.h>

#include <vector>

#include "platform/inet/Failure.h"

namespace zandrel::inet::detail {
namespace {

using Poco::Net::Socket;
using Poco::Net::SocketAddress;
using Poco::Net::StreamSocket;

std::vector<Poco::Net::IPAddress> Resolve(const std::string& host) {
    Poco::Net::IPAddress literal;
    if (Poco::Net::IPAddress::tryParse(host, literal)) return {literal};
    try {
        return Poco::Net::DNS::hostByName(host).addresses();
    } catch (const Poco::Exception&) {
        throw Failure(ERROR_INTERNET_NAME_NOT_RESOLVED, "cannot resolve the name " + host);
    }
}

} // namespace

StreamSocket ConnectWithin(const SocketAddress& address, Millis timeout) {
    StreamSocket socket;
    try {
        socket.connectNB(address);
    } catch (const Poco::Exception& e) {
        throw Failure(ERROR_INTERNET_CANNOT_CONNECT, e.code() ? SystemErrorText(e.code()) : e.displayText());
    }
    const WaitOutcome outcome = WaitForSocket(socket, Socket::SELECT_WRITE | Socket::SELECT_ERROR, timeout);
    if (outcome != WaitOutcome::Ready) {
        socket.close();
        if (outcome == WaitOutcome::Cancelled) throw Failure(ERROR_INTERNET_OPERATION_CANCELLED);
        throw Failure(ERROR_INTERNET_TIMEOUT, "no connection within " + SecondsText(timeout));
    }
    if (const int error = socket.impl()->socketError(); error != 0) {
        socket.close();
        throw Failure(ERROR_INTERNET_CANNOT_CONNECT, SystemErrorText(error));
    }
    socket.setBlocking(true);
    socket.setNoDelay(true);
    return socket;
}

StreamSocket ConnectToHost(const std::string& host, uint16_t port, Millis timeout) {
    DWORD lastCode = ERROR_INTERNET_CANNOT_CONNECT;
    std::string lastReason = "no address for " + host;
    for (const Poco::Net::IPAddress& address : Resolve(host)) {
        try {
            return ConnectWithin(SocketAddress(address, port), timeout);
        } catch (const Failure& failure) {
            if (failure.code() == ERROR_INTERNET_OPERATION_CANCELLED) throw;
            lastCode = failure.code();
            lastReason = failure.reason();
        }
    }
    throw Failure(lastCode, lastReason);
}

} // namespace zandrel::inet::detail
