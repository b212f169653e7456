#include "platform/ui/Application.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "platform/rtl/Error.h"
#include "platform/ui/Backend.h"
#include "platform/ui/Interrupt.h"

namespace zandrel::ui {
namespace {

struct PendingWork {
    std::function<void()> work;
    bool done = false;
    std::exception_ptr error;
};

struct State {
    std::unique_ptr<Backend> backend;
    std::thread::id uiThread;
    int cursor = crDefault;
    std::mutex queueMutex;
    std::condition_variable queueDone;
    std::deque<PendingWork*> queue;
};

State& state() {
    static State s;
    return s;
}

void RunQueuedWork() {
    State& s = state();
    std::unique_lock lock(s.queueMutex);
    while (!s.queue.empty()) {
        PendingWork* item = s.queue.front();
        s.queue.pop_front();
        lock.unlock();
        try {
            item->work();
        } catch (...) {
            item->error = std::current_exception();
        }
        lock.lock();
        item->done = true;
        s.queueDone.notify_all();
    }
}

} // namespace

void InstallBackend(std::unique_ptr<Backend> backend) {
    state().backend = std::move(backend);
    state().uiThread = std::this_thread::get_id();
}

void RemoveBackend() { state().backend.reset(); }

bool HasBackend() { return state().backend != nullptr; }

Backend& CurrentBackend() {
    if (!state().backend) throw rtl::Error("no user-interface backend is installed");
    return *state().backend;
}

bool IsUiThread() { return std::this_thread::get_id() == state().uiThread; }

void ProcessMessages() {
    if (HasBackend()) CurrentBackend().ProcessMessages();
    RunQueuedWork();
    // Ctrl-C is the Cancel button of the work under way. The interrupt is taken before the
    // button is pressed: its handler may process messages again.
    if (!InterruptPending()) return;
    if (Button* cancel = NewestCancelButton()) {
        TakeInterrupt();
        cancel->Press();
    } else if (HasBackend()) {
        CurrentBackend().UnclaimedInterrupt();
    }
}

bool CanAskUser() { return HasBackend() && CurrentBackend().CanAskUser(); }

void ShowMessage(const std::string& text) { CurrentBackend().ShowMessage(text); }

bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) {
    return CurrentBackend().InputQuery(caption, prompt, value);
}

std::string InputBox(const std::string& caption, const std::string& prompt, const std::string& defaultValue) {
    std::string value = defaultValue;
    return InputQuery(caption, prompt, value) ? value : defaultValue;
}

int ScreenCursor() { return state().cursor; }

void SetScreenCursor(int cursor) {
    state().cursor = cursor;
    if (HasBackend()) CurrentBackend().SetCursor(cursor);
}

void SetClipboardText(const std::string& text) { CurrentBackend().SetClipboardText(text); }

std::string ClipboardText() { return CurrentBackend().ClipboardText(); }

void Synchronize(const std::function<void()>& work) {
    if (IsUiThread()) {
        work();
        return;
    }
    State& s = state();
    PendingWork item{work, false, nullptr};
    {
        std::lock_guard lock(s.queueMutex);
        s.queue.push_back(&item);
    }
    if (HasBackend()) CurrentBackend().WakeUp();
    std::unique_lock lock(s.queueMutex);
    s.queueDone.wait(lock, [&] { return item.done; });
    if (item.error) std::rethrow_exception(item.error);
}

int CaptionHeight() { return HasBackend() ? CurrentBackend().CaptionHeight() : 23; }
int ScreenWidth() { return HasBackend() ? CurrentBackend().ScreenWidth() : 1024; }
int ScreenHeight() { return HasBackend() ? CurrentBackend().ScreenHeight() : 768; }

} // namespace zandrel::ui
