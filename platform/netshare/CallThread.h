#pragma once
// The one thread that makes every call into the SMB client library. The library keeps global
// state that is not safe to use from two threads at once, and its calls block until the server
// answers or their timeout passes; so they run here, one after another, while the caller waits
// in short slices, keeps its user interface alive and can give up at any moment.
//
// A call given up on (abandoned) keeps running on this thread until it returns, which its cut
// (shutting down its connections) makes happen at once; whatever it still touches is owned by
// the work itself (shared pointers), never by the caller who left. Work queued after it waits
// its turn. The thread ends when nothing is queued and no connection is open, and at the end of
// the program once the queued work is done.
#include <chrono>
#include <functional>

namespace zandrel::netshare::detail {

using Clock = std::chrono::steady_clock;

// Runs on the waiting caller's thread at least every 50 ms of a wait; false gives the call up.
using WaitHook = std::function<bool()>;

enum class CallOutcome { Done, Cancelled, TimedOut };

// Runs `work` on the thread and waits until it is done, the hook says to give up, or `deadline`
// passes. When the caller gives up or the time is out, `cut` (when given) makes running work
// return soon; work not started yet is dropped.
CallOutcome RunCall(std::function<void()> work, std::function<void()> cut, Clock::time_point deadline,
                    const WaitHook& keepWaiting);

// Queues `work` without waiting for it (closing what an abandoned call left behind).
void PostCall(std::function<void()> work);

// Makes the end of the program stop the thread before the exit handlers registered so far run:
// libraries loaded after the thread started (the SMB client and its helpers) register theirs
// and tear down state that work still running would use. Called once a library is set up.
void StopBeforeExitHandlers();

// A connection counts while it is open, so the thread stays for its next call instead of ending
// and starting again for every read.
void ConnectionOpened();
void ConnectionClosed();

} // namespace zandrel::netshare::detail
