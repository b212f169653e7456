#include "platform/ssh/SessionThread.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace zandrel::ssh::detail {

SessionThread::~SessionThread() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void SessionThread::Loop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return work_ != nullptr || stopping_; });
        if (!work_) return;
        const std::function<void()>* work = work_;
        lock.unlock();
        std::exception_ptr error;
        try {
            (*work)();
        } catch (...) {
            error = std::current_exception();
        }
        lock.lock();
        work_ = nullptr;
        error_ = error;
        done_ = true;
        finished_.notify_all();
    }
}

void SessionThread::Run(const std::function<void()>& work, Pacer& pacer, Clock::time_point deadline,
                        const std::function<void()>& cut, const std::string& during, bool& wasCut) {
    wasCut = false;
    std::unique_lock lock(mutex_);
    if (!thread_.joinable()) thread_ = std::thread([this] { Loop(); });
    work_ = &work;
    done_ = false;
    error_ = nullptr;
    wake_.notify_one();
    std::optional<SshError> givenUp;
    Clock::time_point graceEnd = Clock::time_point::max();
    while (!done_) {
        const Clock::time_point now = Clock::now();
        if (!givenUp && now >= deadline) {
            givenUp.emplace(SshErrorKind::TimedOut, pacer.NoAnswer() + " " + during);
            graceEnd = now;
        } else if (!givenUp && now >= pacer.NextHook()) {
            // The hook may take its time (a window redrawing); the work goes on meanwhile.
            lock.unlock();
            const bool stop = pacer.StopRequested();
            lock.lock();
            // Honoured even when the work has just finished: the caller asked to stop now.
            if (stop) {
                givenUp.emplace(SshErrorKind::Cancelled, "cancelled");
                graceEnd = Clock::now() + kCancelGrace;
            }
            continue;
        }
        if (givenUp && now >= graceEnd) {
            // Cut again each slice: a call may open its wait only after the first cut.
            wasCut = true;
            lock.unlock();
            cut();
            lock.lock();
            finished_.wait_for(lock, kSlice, [this] { return done_; });
            continue;
        }
        const Clock::time_point wake = givenUp ? graceEnd : std::min({deadline, pacer.NextHook(), now + kSlice});
        finished_.wait_until(lock, wake, [this] { return done_; });
    }
    const std::exception_ptr error = std::exchange(error_, nullptr);
    lock.unlock();
    if (givenUp) throw *givenUp;
    if (error) std::rethrow_exception(error);
}

} // namespace zandrel::ssh::detail
