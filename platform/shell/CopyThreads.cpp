#include "platform/shell/CopyThreads.h"

#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

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
    // Threads not joined yet, and those of them whose copy has been reported. A reported thread
    // ends right after, but not at once: its thread-local state (the crypto library's random
    // generators, for one) is freed on its way out. Joining it makes sure that has happened
    // before the package is unloaded or the process ends.
    std::vector<std::thread> threads;
    std::vector<std::thread::id> reported;
};

// Never destroyed: a copy thread may still be finishing while the process winds down.
CopyState& State() {
    static CopyState* state = new CopyState;
    return *state;
}

void Finish(CopyReport report, bool onCopyThread = true) {
    CopyState& s = State();
    {
        std::lock_guard guard(s.lock);
        ++s.completed;
        s.last = std::move(report);
        if (onCopyThread) s.reported.push_back(std::this_thread::get_id());
    }
    s.finished.notify_all();
}

// Joins the threads that have reported; each is at most a moment from its end.
void JoinReportedThreads() {
    CopyState& s = State();
    std::vector<std::thread> ending;
    {
        std::lock_guard guard(s.lock);
        for (auto it = s.threads.begin(); it != s.threads.end();) {
            if (std::erase(s.reported, it->get_id()) > 0) {
                ending.push_back(std::move(*it));
                it = s.threads.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& t : ending) t.join();
}

// At unload or exit: the reported threads are joined; one still copying is left to run on its own,
// as it always was.
struct ThreadReaper {
    ~ThreadReaper() {
        JoinReportedThreads();
        CopyState& s = State();
        std::lock_guard guard(s.lock);
        for (auto& t : s.threads) t.detach();
        s.threads.clear();
    }
};

CopyReport Failed(std::string error) {
    CopyReport report;
    report.error = error.empty() ? "the copy failed" : std::move(error);
    return report;
}

} // namespace

void StartCopyThread(std::function<CopyReport()> work) {
    static ThreadReaper reaper;
    JoinReportedThreads();
    CopyState& s = State();
    {
        std::lock_guard guard(s.lock);
        ++s.started;
    }
    try {
        std::lock_guard guard(s.lock); // the thread's report waits until it is on the list
        s.threads.emplace_back([work = std::move(work)]() mutable {
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
        });
    } catch (const std::system_error& e) {
        Finish(Failed(std::string("Cannot start the copy thread: ") + e.what()), false);
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
