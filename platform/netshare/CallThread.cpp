#include "platform/netshare/CallThread.h"

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

namespace zandrel::netshare::detail {
namespace {

constexpr auto kHookSlice = std::chrono::milliseconds(50);

struct Call {
    std::function<void()> work;
    std::function<void()> cut;
    bool done = false;
    bool abandoned = false;
};

class CallThread {
public:
    ~CallThread() { Stop(); }

    // At the end of the program: running work is cut, queued work (closing connections) is done,
    // and the thread is joined, so nothing of the library runs while the program is torn down.
    // Nothing starts afterwards.
    void Stop() {
        std::unique_lock lock(mutex_);
        stopping_ = true;
        wake_.notify_all();
        while (!ended_) {
            if (running_ && running_->cut) running_->cut();
            finished_.wait_for(lock, kHookSlice);
        }
        lock.unlock();
        if (thread_.joinable()) thread_.join();
    }

    CallOutcome Run(std::function<void()> work, std::function<void()> cut, Clock::time_point deadline,
                    const WaitHook& keepWaiting) {
        auto call = std::make_shared<Call>();
        call->work = std::move(work);
        call->cut = std::move(cut);
        std::unique_lock lock(mutex_);
        if (!Queue(call)) return CallOutcome::Cancelled;
        Clock::time_point nextHook = Clock::now() + kHookSlice;
        while (!call->done) {
            const Clock::time_point now = Clock::now();
            if (now >= deadline) {
                Abandon(call);
                return CallOutcome::TimedOut;
            }
            if (keepWaiting && now >= nextHook) {
                // The hook may take its time (a user interface drawing); the work goes on meanwhile.
                lock.unlock();
                const bool goOn = keepWaiting();
                lock.lock();
                nextHook = Clock::now() + kHookSlice;
                if (!goOn && !call->done) {
                    Abandon(call);
                    return CallOutcome::Cancelled;
                }
                continue;
            }
            // Work given up on earlier may still hold the thread: a connection it opened since
            // its cut is cut too, so what waits behind it gets its turn.
            if (running_ && running_->abandoned && running_->cut) running_->cut();
            finished_.wait_until(lock, std::min(deadline, keepWaiting ? nextHook : now + kHookSlice));
        }
        return CallOutcome::Done;
    }

    void Post(std::function<void()> work) {
        auto call = std::make_shared<Call>();
        call->work = std::move(work);
        std::lock_guard lock(mutex_);
        Queue(call);
    }

    void Opened() {
        std::lock_guard lock(mutex_);
        ++connections_;
    }
    void Closed() {
        std::lock_guard lock(mutex_);
        if (connections_ > 0) --connections_;
        wake_.notify_all(); // the thread may end now
    }

private:
    // With the lock held. False once the program is ending: nothing new starts then.
    bool Queue(const std::shared_ptr<Call>& call) {
        if (stopping_) return false;
        queue_.push_back(call);
        if (ended_) {
            // The last thread has left its loop (it set `ended_` under the lock and touches
            // nothing after it), so joining it here is immediate.
            if (thread_.joinable()) thread_.join();
            ended_ = false;
            thread_ = std::thread([this] { Loop(); });
        }
        wake_.notify_one();
        return true;
    }

    // With the lock held: work not started yet never starts; running work is cut short.
    void Abandon(const std::shared_ptr<Call>& call) {
        const auto queued = std::find(queue_.begin(), queue_.end(), call);
        if (queued != queue_.end()) {
            queue_.erase(queued);
            return;
        }
        call->abandoned = true;
        if (running_ == call && call->cut) call->cut();
    }

    void Loop() {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return !queue_.empty() || stopping_ || connections_ == 0; });
            if (queue_.empty()) {
                ended_ = true;
                finished_.notify_all();
                return;
            }
            const std::shared_ptr<Call> call = queue_.front();
            queue_.pop_front();
            running_ = call;
            lock.unlock();
            call->work();
            lock.lock();
            call->done = true;
            running_.reset();
            finished_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;     // for the thread: work queued, or a reason to end
    std::condition_variable finished_; // for the callers: some work is done
    std::deque<std::shared_ptr<Call>> queue_;
    std::shared_ptr<Call> running_;
    std::thread thread_;
    bool ended_ = true; // no thread in the loop (none started yet, or the last one left)
    bool stopping_ = false;
    int connections_ = 0;
};

CallThread& TheThread() {
    static CallThread thread;
    return thread;
}

} // namespace

CallOutcome RunCall(std::function<void()> work, std::function<void()> cut, Clock::time_point deadline,
                    const WaitHook& keepWaiting) {
    return TheThread().Run(std::move(work), std::move(cut), deadline, keepWaiting);
}

void PostCall(std::function<void()> work) { TheThread().Post(std::move(work)); }

void StopBeforeExitHandlers() {
    static std::once_flag once;
    std::call_once(once, [] { std::atexit([] { TheThread().Stop(); }); });
}
void ConnectionOpened() { TheThread().Opened(); }
void ConnectionClosed() { TheThread().Closed(); }

} // namespace zandrel::netshare::detail
