#pragma once
// Ctrl-C as a request to stop. The first SIGINT (or SIGTERM) is only noted here; the program
// acts on it at its next safe point (the UI port presses the Cancel button of a form that has
// one; long work that runs without a form polls InterruptPending). A second signal ends the
// program at once, the way it would have ended without us.
//
// It lives in the shared UI library so that the host, the packages it loads and the backends see
// one latch.
namespace zandrel::ui {

// Installs the handlers; safe to call again. Until then signals keep their default action.
void InstallInterruptLatch();
// Puts the default actions back and forgets a pending interrupt.
void RemoveInterruptLatch();
bool InterruptLatchInstalled();

// True while an interrupt is waiting to be acted on.
bool InterruptPending();
// Takes the pending interrupt: true once per signal received (and not yet taken).
bool TakeInterrupt();
// Which signal the pending or last taken interrupt was (SIGINT or SIGTERM); 0 when none came.
int InterruptSignal();
// As if the user had pressed Ctrl-C (for tests and for keys such as Escape in a window).
void RequestInterrupt();

} // namespace zandrel::ui
