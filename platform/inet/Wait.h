#pragma once
// Bounded waits in short slices with the thread's idle hook between them, so a stalled server can
// neither freeze the UI nor hold a Cancel back for longer than one slice.
#include <Poco/Net/DialogSocket.h>
#include <Poco/Net/Socket.h>

#include <chrono>

namespace zandrel::inet::detail {

using Millis = std::chrono::milliseconds;
inline constexpr Millis kWaitSlice{50};

// The three bounds a connection waits with; the root hands its values to each new connection.
struct Timeouts {
    Millis connect{30000};
    Millis send{30000};
    Millis receive{30000};
};

enum class WaitOutcome { Ready, TimedOut, Cancelled };
// Data transfers honour the hook's "cancelled" answer; commands, connects and the closing replies
// only let the UI breathe, because stopping them half-way would leave the session out of step.
enum class OnCancel { Stop, KeepWaiting };

// Runs the hook unless it is already running further up this thread's stack; true to go on.
bool RunIdleHook();

// `mode` is a Poco::Net::Socket::SelectMode combination.
WaitOutcome WaitForSocket(const Poco::Net::Socket& socket, int mode, Millis timeout, OnCancel policy);

// Waits until the dialog socket holds at least one byte of a reply, looking into its own buffer
// first (a second reply may already sit there, which a poll on the socket would not see). The
// socket's receive timeout is left at `afterwards` for reading the rest of the reply.
WaitOutcome WaitForReply(Poco::Net::DialogSocket& socket, Millis timeout, Millis afterwards,
                         OnCancel policy);

} // namespace zandrel::inet::detail
