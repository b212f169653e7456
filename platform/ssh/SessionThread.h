#pragma once
// The thread a session's blocking SFTP calls run on. libssh's SFTP calls wait for the server
// without a bound of their own; here the caller waits for them in slices instead, keeps its hook
// running, and when it gives up (Cancel, or the timeout) `cut` shuts the connection down, which
// ends the blocked call at once. The call is always waited for to its end, so nothing it
// touches (the caller's buffer, the session) goes away under it.
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "platform/ssh/Pacing.h"

namespace zandrel::ssh::detail {

// How long work that is not waiting for anyone may go on after a Cancel, so that a session whose
// server answers is kept (a partial upload can then be removed over it) and only one that hangs
// is cut. With the hook's 50 ms slices, a Cancel still ends any call within 100 ms.
inline constexpr Millis kCancelGrace{40};

class SessionThread {
public:
    SessionThread() = default;
    ~SessionThread();
    SessionThread(const SessionThread&) = delete;
    SessionThread& operator=(const SessionThread&) = delete;

    // Runs `work` on the thread and returns when it has returned, rethrowing what it threw.
    // When `deadline` passes first, `cut` runs, the work is waited for, and TimedOut ("no answer
    // within N s" and `during`) is thrown. When the hook says stop, the work gets kCancelGrace to
    // end on its own (a block that is on its way), else it is cut; then Cancelled is thrown.
    // `wasCut` tells whether the connection was cut.
    void Run(const std::function<void()>& work, Pacer& pacer, Clock::time_point deadline,
             const std::function<void()>& cut, const std::string& during, bool& wasCut);

private:
    void Loop();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable finished_;
    const std::function<void()>* work_ = nullptr;
    std::exception_ptr error_;
    bool done_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace zandrel::ssh::detail
