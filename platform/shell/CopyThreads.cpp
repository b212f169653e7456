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
    CopyReport last;
};

// Never destroyed: a copy thread may still be finishing while the process winds down.
CopyState& State() {
    static CopyState* state = new CopyState;
    return *state;
}

void Finish(CopyReport report) {
    CopyState& s = State();
    {
        std::lock_guard guard(s.lock);
        ++s.completed;
        s.last = std::move(report);
    }
    s.finished.notify_all();
}

CopyReport Failed(std::string error) {
    CopyReport report;
    report.error = error.empty() ? "the copy failed" : std::move(error);
    return report;
}

} // namespace

void StartCopyThread(std::function<CopyReport()> work) {
    CopyState& s = State();
    {
        std::lock_guard guard(s.lock);
        ++s.started;
    }
    try {
        std::thread([work = std::move(work)]() mutable {
            CopyReport report;
            try {
                // Run and drop the job here, so nothing of it is left to destroy once the copy is
                // reported finished.
                auto job = std::move(work);
                report = job();
            } catch (const CopyStopped&) {
                report = CopyReport{};
                report.stopped = true;
            } catch (const std::exception& e) {
                report = Failed(e.what());
            } catch (...) {
                report = Failed({});
            }
            Finish(std::move(report)); // the thread's last act: it ends right after
        }).detach();
    } catch (const std::system_error& e) {
        Finish(Failed(std::string("Cannot start the copy thread: ") + e.what()));
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

std::string LastCopyError() { return LastCopyReport().error; }

CopyReport LastCopyReport() {
    RegisterShellApplication();
    CopyState& s = State();
    std::lock_guard guard(s.lock);
    return s.last;
}

} // namespace zandrel::shell
