#pragma once
// Bounded waits with the thread's idle hook run on time, so a stalled or trickling server can
// neither freeze the UI nor hold a Cancel back for longer than one slice.
#include <Poco/Net/Socket.h>

#include <chrono>

namespace zandrel::inet::detail {

using Millis = std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;
// The longest the idle hook goes without running while the thread is inside the layer.
inline constexpr Millis kWaitSlice{50};

// The three bounds a connection waits with; the root hands its values to each new connection.
struct Timeouts {
    Millis connect{30000};
    Millis send{30000};
    Millis receive{30000};
};

enum class WaitOutcome { Ready, TimedOut, Cancelled };

// Runs the hook when it has not run for a slice on this thread (and is not already running
// further up the stack). True when the user has cancelled. Cheap when the hook is not due, so
// loops that never wait (a fast transfer, a dripping server) call it on every round.
bool CancelRequested();

// Waits until the socket is ready for `mode` (a Poco::Net::Socket::SelectMode combination) or
// the deadline passes, asking CancelRequested() at least once a slice (and once before waiting).
WaitOutcome WaitForSocket(const Poco::Net::Socket& socket, int mode, Clock::time_point deadline);
inline WaitOutcome WaitForSocket(const Poco::Net::Socket& socket, int mode, Millis timeout) {
    return WaitForSocket(socket, mode, Clock::now() + timeout);
}

} // namespace zandrel::inet::detail
