#include "platform/shell/CopyThreads.h"

#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/shell/Shell.h"
#include "platform/shell/ShellError.h"

namespace zandrel::shell {
namespace {

struct CopyState {
    std::mutex lock;
    std::condition_variable finished;
    uint64_t started = 0;
    uint64_t completed = 0;
    std::string lastError;
};

// Never destroyed: a copy thread may still be finishing while the process winds down.
CopyState& State() {
    static CopyState* state = new CopyState;
    return *state;
}

void Finish(std::string error) {
    CopyState& s = State();
    {
        std::lock_guard guard(s.lock);
        ++s.completed;
        s.lastError = std::move(error);
    }
    s.finished.notify_all();
}

} // namespace

void StartCopyThread(std::function<void()> work) {
    CopyState& s = State();
    {
        std::lock_guard guard(s.lock);
        ++s.started;
    }
    try {
        std::thread([work = std::move(work)]() mutable {
            std::string error;
            try {
                // Run and drop the job here, so nothing of it is left to destroy once the copy is
                // reported finished.
                auto job = std::move(work);
                job();
            } catch (const std::exception& e) {
                error = e.what();
                if (error.empty()) error = "the copy failed";
            } catch (...) {
                error = "the copy failed";
            }
            Finish(std::move(error)); // the thread's last act: it ends right after
        }).detach();
    } catch (const std::system_error& e) {
        Finish(std::string("Cannot start the copy thread: ") + e.what());
        throw ShellError(std::string("Cannot start the copy thread: ") + e.what());
    }
}

uint64_t StartedCopies() {
    RegisterShellApplication();
    CopyState& s = State();
    std::lock_guard guard(s.lock);
    return s.started;
}

uint64_t CompletedCopies() {
    RegisterShellApplication();
    CopyState& s = State();
    std::lock_guard guard(s.lock);
    return s.completed;
}

uint64_t CopiesInFlight() {
    RegisterShellApplication();
    CopyState& s = State();
    std::lock_guard guard(s.lock);
    return s.started - s.completed;
}

bool WaitForCopies(std::chrono::milliseconds timeout) {
    RegisterShellApplication();
    CopyState& s = State();
    std::unique_lock guard(s.lock);
    return s.finished.wait_for(guard, timeout, [&] { return s.started == s.completed; });
}

std::string LastCopyError() {
    RegisterShellApplication();
    CopyState& s = State();
    std::lock_guard guard(s.lock);
    return s.lastError;
}

} // namespace zandrel::shell
