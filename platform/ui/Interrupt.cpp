#include "platform/ui/Interrupt.h"

#include <atomic>
#include <csignal>

namespace zandrel::ui {
namespace {

std::atomic<bool> g_installed{false};
std::atomic<bool> g_pending{false};
std::atomic<int> g_received{0};
std::atomic<int> g_signal{0};

extern "C" void OnStopSignal(int signo) {
    // A second signal means the person does not want to wait for the orderly stop: end the
    // program as the signal's default action would (the shell sees 128 + the signal number).
    if (g_received.fetch_add(1) > 0) {
        std::signal(signo, SIG_DFL);
        std::raise(signo);
        return;
    }
    g_signal.store(signo);
    g_pending.store(true);
}

void SetHandlers(void (*handler)(int)) {
    struct sigaction sa {};
    sa.sa_handler = handler;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

} // namespace

void InstallInterruptLatch() {
    if (g_installed.exchange(true)) return;
    SetHandlers(OnStopSignal);
}

void RemoveInterruptLatch() {
    if (!g_installed.exchange(false)) return;
    SetHandlers(SIG_DFL);
    g_pending.store(false);
    g_received.store(0);
    g_signal.store(0);
}

bool InterruptLatchInstalled() { return g_installed.load(); }
bool InterruptPending() { return g_pending.load(); }
bool TakeInterrupt() { return g_pending.exchange(false); }
int InterruptSignal() { return g_signal.load(); }

void RequestInterrupt() {
    if (!g_pending.exchange(true)) g_signal.store(SIGINT);
}

} // namespace zandrel::ui
