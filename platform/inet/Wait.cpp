#include "platform/inet/Wait.h"

#include <poll.h>

#include <Poco/Exception.h>
#include <Poco/Timespan.h>

#include <cerrno>
#include <utility>

#include "platform/inet/Inet.h"

namespace zandrel::inet {
namespace {

thread_local IdleHook idleHook;
thread_local bool hookRunning = false;

// One poll(2) on the socket's descriptor: POCO's Socket::poll builds and tears down an epoll set
// on every call, which cost four system calls per 4 KB block of a transfer.
bool PollOnce(const Poco::Net::Socket& socket, int mode, detail::Millis slice) {
    short events = 0;
    if (mode & Poco::Net::Socket::SELECT_READ) events |= POLLIN;
    if (mode & Poco::Net::Socket::SELECT_WRITE) events |= POLLOUT;
    if (mode & Poco::Net::Socket::SELECT_ERROR) events |= POLLPRI;
    pollfd fd{socket.impl()->sockfd(), events, 0};
    int rc;
    do {
        rc = ::poll(&fd, 1, static_cast<int>(slice.count()));
    } while (rc < 0 && errno == EINTR);
    // An error or hang-up counts as ready: the next read or write reports it.
    return rc > 0;
}

Poco::Timespan ToTimespan(detail::Millis ms) {
    return Poco::Timespan(static_cast<Poco::Timespan::TimeDiff>(ms.count()) * 1000);
}

} // namespace

IdleHook SetIdleHook(IdleHook hook) { return std::exchange(idleHook, std::move(hook)); }

namespace detail {

bool RunIdleHook() {
    if (!idleHook || hookRunning) return true;
    hookRunning = true;
    bool goOn = true;
    try {
        goOn = idleHook();
    } catch (...) {
        hookRunning = false;
        throw;
    }
    hookRunning = false;
    return goOn;
}

WaitOutcome WaitForSocket(const Poco::Net::Socket& socket, int mode, Millis timeout, OnCancel policy) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<Millis>(deadline - std::chrono::steady_clock::now());
        if (PollOnce(socket, mode, std::max(Millis{0}, std::min(left, kWaitSlice))))
            return WaitOutcome::Ready;
        if (!RunIdleHook() && policy == OnCancel::Stop) return WaitOutcome::Cancelled;
        if (std::chrono::steady_clock::now() >= deadline) return WaitOutcome::TimedOut;
    }
}

WaitOutcome WaitForReply(Poco::Net::DialogSocket& socket, Millis timeout, Millis afterwards,
                         OnCancel policy) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    WaitOutcome outcome = WaitOutcome::TimedOut;
    for (;;) {
        const auto left = std::chrono::duration_cast<Millis>(deadline - std::chrono::steady_clock::now());
        // peek() reads from the buffer when it holds data and otherwise waits for the socket at
        // most the receive timeout; a timeout consumes nothing.
        socket.setReceiveTimeout(ToTimespan(std::max(Millis{1}, std::min(left, kWaitSlice))));
        try {
            socket.peek();
            outcome = WaitOutcome::Ready; // a byte, or the end of the stream: both end the wait
            break;
        } catch (const Poco::TimeoutException&) {
        }
        if (!RunIdleHook() && policy == OnCancel::Stop) {
            outcome = WaitOutcome::Cancelled;
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) break;
    }
    socket.setReceiveTimeout(ToTimespan(afterwards));
    return outcome;
}

} // namespace detail
} // namespace zandrel::inet
