#include "platform/inet/Wait.h"

#include <Poco/Exception.h>
#include <Poco/Timespan.h>

#include <utility>

#include "platform/inet/Inet.h"

namespace zandrel::inet {
namespace {

thread_local IdleHook idleHook;
thread_local bool hookRunning = false;

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
        if (socket.poll(ToTimespan(std::max(Millis{0}, std::min(left, kWaitSlice))), mode))
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
