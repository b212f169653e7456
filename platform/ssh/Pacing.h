#pragma once
// How a session waits: bounded by its timeout, with the caller's keepGoing hook run at least
// every 50 ms of any wait but not more often (it typically processes a user interface's pending
// messages, which costs more than a block of a fast transfer).
#include <chrono>
#include <functional>
#include <string>

#include "platform/ssh/Sftp.h"

namespace zandrel::ssh::detail {

using Clock = std::chrono::steady_clock;
using Millis = std::chrono::milliseconds;
inline constexpr Millis kSlice{50};

[[noreturn]] inline void Fail(SshErrorKind kind, const std::string& reason) { throw SshError(kind, reason); }

class Pacer {
public:
    Pacer(std::function<bool()> keepGoing, Millis timeout) : keepGoing_(std::move(keepGoing)), timeout_(timeout) {}

    // Runs the hook when it is due; true once it asked to stop. Cheap when not due.
    bool StopRequested();
    // When the hook is due next (far in the future without a hook).
    Clock::time_point NextHook() const;
    Clock::time_point Deadline() const { return Clock::now() + timeout_; }
    Millis Timeout() const { return timeout_; }
    // "no answer within 30 s"
    std::string NoAnswer() const;

    // Waits until `fd` is ready for `events` (poll(2) flags), the slice is over or the deadline
    // passes, whichever comes first; throws Cancelled or TimedOut (with `during` in the text).
    void WaitSocket(int fd, short events, Clock::time_point deadline, const std::string& during);

private:
    std::function<bool()> keepGoing_;
    Millis timeout_;
    Clock::time_point lastHook_{};
};

} // namespace zandrel::ssh::detail
