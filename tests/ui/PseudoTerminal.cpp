#include "ui/PseudoTerminal.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>

namespace zandrel::testing {
namespace {

long long NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

PseudoTerminal::PseudoTerminal(const std::vector<std::string>& argv) {
    // Everything the child needs is made before fork: in a child of a threaded process only
    // async-signal-safe calls are allowed until exec.
    std::vector<std::string> argvCopy = argv;
    std::vector<char*> args;
    for (auto& a : argvCopy) args.push_back(a.data());
    args.push_back(nullptr);

    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) throw std::runtime_error("posix_openpt");
    char name[128];
    if (::ptsname_r(master_, name, sizeof name) != 0) throw std::runtime_error("ptsname_r");
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) throw std::runtime_error("open pty");
    winsize size{};
    size.ws_row = 50;
    size.ws_col = 120;
    ::ioctl(slave, TIOCSWINSZ, &size);

    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("fork");
    if (pid_ == 0) {
        ::setsid();
        ::ioctl(slave, TIOCSCTTY, 0);
        ::dup2(slave, 0);
        ::dup2(slave, 1);
        ::dup2(slave, 2);
        ::execve(args[0], args.data(), environ);
        ::_exit(127);
    }
    ::close(slave);
}

PseudoTerminal::~PseudoTerminal() {
    if (!finished_) Finish(0);
    if (master_ >= 0) ::close(master_);
}

bool PseudoTerminal::Pump(long long deadlineMs) {
    if (closed_) return false;
    const long long left = deadlineMs - NowMs();
    pollfd p{master_, POLLIN, 0};
    const int n = ::poll(&p, 1, static_cast<int>(std::max(0LL, left)));
    if (n <= 0) return true;
    char buffer[4096];
    const ssize_t got = ::read(master_, buffer, sizeof buffer);
    if (got > 0) {
        screen_.append(buffer, static_cast<size_t>(got));
        return true;
    }
    if (got < 0 && errno == EINTR) return true;
    closed_ = true; // EIO: the program has closed its side
    return false;
}

bool PseudoTerminal::WaitFor(const std::string& text, int seconds) {
    const long long deadline = NowMs() + seconds * 1000LL;
    for (;;) {
        const size_t at = screen_.find(text, mark_);
        if (at != std::string::npos) {
            mark_ = at + text.size();
            return true;
        }
        if (NowMs() >= deadline || !Pump(deadline)) return false;
    }
}

void PseudoTerminal::Type(const std::string& keys) {
    if (::write(master_, keys.data(), keys.size()) != static_cast<ssize_t>(keys.size()))
        throw std::runtime_error("typing at the terminal failed");
}

int PseudoTerminal::Finish(int seconds) {
    if (finished_) return status_;
    const long long deadline = NowMs() + seconds * 1000LL;
    int raw = 0;
    for (;;) {
        // Until the program closes its side of the terminal, what it shows is read.
        while (NowMs() < deadline && Pump(std::min(deadline, NowMs() + 50))) {
        }
        if (::waitpid(pid_, &raw, WNOHANG) == pid_) {
            status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
            break;
        }
        if (NowMs() >= deadline) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &raw, 0);
            status_ = -1;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    finished_ = true;
    return status_;
}

termios PseudoTerminal::Modes() const {
    termios modes{};
    ::tcgetattr(master_, &modes);
    return modes;
}

} // namespace zandrel::testing
