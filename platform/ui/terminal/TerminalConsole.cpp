#include "platform/ui/terminal/TerminalConsole.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "platform/ui/Interrupt.h"
#include "platform/ui/terminal/TerminalText.h"

namespace zandrel::ui {
namespace {

// Puts the terminal into line mode for one answer and back into its previous modes afterwards,
// also when the read ends by Ctrl-C or an exception. Line mode is set explicitly: the terminal
// may have been left in raw mode by another program.
class LineMode {
public:
    LineMode(int fd, bool hidden) : fd_(fd) {
        if (::tcgetattr(fd_, &saved_) != 0) return;
        termios mode = saved_;
        mode.c_iflag |= ICRNL;
        mode.c_lflag |= ICANON | ISIG | IEXTEN;
        if (hidden) {
            mode.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK);
            mode.c_lflag |= ECHONL; // Enter still moves to the next line
        } else {
            mode.c_lflag |= ECHO | ECHOE | ECHOK;
        }
        changed_ = ::tcsetattr(fd_, TCSANOW, &mode) == 0;
    }
    ~LineMode() {
        if (changed_) ::tcsetattr(fd_, TCSANOW, &saved_);
    }
    LineMode(const LineMode&) = delete;
    LineMode& operator=(const LineMode&) = delete;

private:
    int fd_;
    termios saved_{};
    bool changed_ = false;
};

// Waits until the terminal has a line (or its end) to read. The stop signals are unblocked only
// inside ppoll, so one that arrives between the check of the latch and the wait still ends the
// wait. A signal taken by another thread of the process does not wake this one; the wait
// therefore looks at the latch again twice a second.
bool WaitForInput(int fd) {
    sigset_t stopSignals, saved, unblocked;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, &saved);
    unblocked = saved;
    sigdelset(&unblocked, SIGINT);
    sigdelset(&unblocked, SIGTERM);
    bool ready = false;
    while (!InterruptPending()) {
        pollfd p{fd, POLLIN, 0};
        const timespec halfSecond{0, 500'000'000};
        const int n = ::ppoll(&p, 1, &halfSecond, &unblocked);
        if (n > 0) {
            ready = true;
            break;
        }
        if (n < 0 && errno != EINTR) {
            ready = true; // let the read report what is wrong
            break;
        }
    }
    pthread_sigmask(SIG_SETMASK, &saved, nullptr);
    return ready && !InterruptPending();
}

} // namespace

bool TerminalConsole::Interactive() const { return ::isatty(fileno(in_)) == 1 && ::isatty(fileno(out_)) == 1; }

void TerminalConsole::Print(const std::string& text) {
    std::fputs(text.c_str(), out_);
    std::fflush(out_);
}

Answer TerminalConsole::Ask(const std::string& prompt, std::string& line, bool hidden) {
    line.clear();
    if (!Interactive()) {
        Print(prompt + "\n");
        return Answer::End;
    }
    if (InterruptPending()) return Answer::Interrupted;
    const int fd = fileno(in_);
    // With a latch the first Ctrl-C ends the read and the form; without one the terminal's modes
    // could not be put back before the signal ended the program.
    const bool ownLatch = !InterruptLatchInstalled();
    if (ownLatch) InstallInterruptLatch();
    Answer answer = Answer::End;
    bool lineEnded = false;
    {
        LineMode mode(fd, hidden);
        Print(prompt);
        // The terminal's line discipline holds 4095 characters and the line end at most; one
        // read takes a whole answer.
        char buffer[4096];
        for (;;) {
            if (!WaitForInput(fd)) {
                answer = InterruptPending() ? Answer::Interrupted : Answer::End;
                break;
            }
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
            if (n <= 0) break; // Ctrl-D on an empty line, or the terminal went away
            line.assign(buffer, static_cast<size_t>(n));
            // The terminal hands over a line at a time, and Ctrl-D after some text hands that text
            // over without a line end: either way the answer is complete.
            lineEnded = buffer[n - 1] == '\n';
            answer = Answer::Line;
            break;
        }
    }
    // Neither Ctrl-D nor Ctrl-C moves to a new line by itself.
    if (!lineEnded) Print("\n");
    line = TypedText(line);
    if (ownLatch) {
        const int signal = InterruptPending() ? InterruptSignal() : 0;
        RemoveInterruptLatch();
        // The program did not ask to hear of Ctrl-C: with the terminal whole again it ends as it
        // would have without us.
        if (signal != 0) std::raise(signal);
    }
    return answer;
}

} // namespace zandrel::ui
