#include "platform/inet/Wait.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "platform/inet/Inet.h"

namespace zandrel::inet {
namespace {

thread_local IdleHook idleHook;
thread_local bool hookRunning = false;
thread_local detail::Clock::time_point hookLastRun{};

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

} // namespace

IdleHook SetIdleHook(IdleHook hook) {
    hookLastRun = {};
    return std::exchange(idleHook, std::move(hook));
}

namespace detail {

bool CancelRequested() {
    if (!idleHook || hookRunning) return false;
    const Clock::time_point now = Clock::now();
    if (now - hookLastRun < kWaitSlice) return false;
    hookLastRun = now;
    hookRunning = true;
    bool goOn = true;
    try {
        goOn = idleHook();
    } catch (...) {
        hookRunning = false;
        throw;
    }
    hookRunning = false;
    return !goOn;
}

WaitOutcome WaitForSocket(const Poco::Net::Socket& socket, int mode, Clock::time_point deadline) {
    for (;;) {
        if (CancelRequested()) return WaitOutcome::Cancelled;
        const Clock::time_point now = Clock::now();
        if (now >= deadline) return WaitOutcome::TimedOut;
        // Wake up when the hook is due again, or at the deadline, whichever comes first.
        const auto untilHook = hookLastRun + kWaitSlice - now;
        const auto left = std::min<Clock::duration>(deadline - now, idleHook ? untilHook : Clock::duration(kWaitSlice));
        const Millis slice = std::clamp(std::chrono::ceil<Millis>(left), Millis{0}, kWaitSlice);
        if (PollOnce(socket, mode, slice)) return WaitOutcome::Ready;
    }
}

} // namespace detail
} // namespace zandrel::inet
