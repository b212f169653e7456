#include "platform/ui/LastingClipboard.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

extern char** environ;

namespace zandrel::ui {
namespace {

using Clock = std::chrono::steady_clock;

bool EnvironmentNames(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

// The full path of `program` on PATH; empty when it is not installed.
std::string FindOnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string dirs = path && *path ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t begin = 0;
    while (begin <= dirs.size()) {
        size_t end = dirs.find(':', begin);
        if (end == std::string::npos) end = dirs.size();
        const std::string dir = end > begin ? dirs.substr(begin, end - begin) : ".";
        begin = end + 1;
        const std::string candidate = dir + "/" + program;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { Close(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    void Close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
};

int MillisecondsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Holds back SIGPIPE on this thread while it lives: writing to a tool that has already ended
// would otherwise end the program. A SIGPIPE raised meanwhile is taken away unseen.
class SigpipeHeldBack {
public:
    SigpipeHeldBack() {
        sigemptyset(&pipe_);
        sigaddset(&pipe_, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        pendingBefore_ = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &pipe_, &old_);
    }
    ~SigpipeHeldBack() {
        sigset_t pending;
        sigpending(&pending);
        if (!pendingBefore_ && sigismember(&pending, SIGPIPE) == 1) {
            const timespec now{0, 0};
            sigtimedwait(&pipe_, nullptr, &now);
        }
        pthread_sigmask(SIG_SETMASK, &old_, nullptr);
    }
    SigpipeHeldBack(const SigpipeHeldBack&) = delete;
    SigpipeHeldBack& operator=(const SigpipeHeldBack&) = delete;

private:
    sigset_t pipe_, old_;
    bool pendingBefore_ = false;
};

// Writes all of `text` before `deadline`; false when the reader went away or did not keep up.
bool WriteAll(int fd, const std::string& text, Clock::time_point deadline) {
    SigpipeHeldBack held;
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) return false;
        pollfd p{fd, POLLOUT, 0};
        const int left = MillisecondsLeft(deadline);
        if (left == 0 || ::poll(&p, 1, left) <= 0) return false;
    }
    return true;
}

// Whatever the tool has written to its error pipe so far, as one line.
std::string DrainMessage(int fd) {
    std::string message;
    char buffer[512];
    while (message.size() < 2048) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        message.append(buffer, static_cast<size_t>(n));
    }
    for (char& c : message)
        if (c == '\n' || c == '\r') c = ' ';
    while (!message.empty() && message.back() == ' ') message.pop_back();
    return message;
}

// Runs one tool with `text` on its standard input and waits (bounded) until it has taken over:
// these tools fork an owner that stays in the background and let the first process exit.
ClipboardHandOff RunTool(const std::string& name, const std::vector<std::string>& args, const std::string& text,
                         int timeoutMs) {
    ClipboardHandOff result;
    result.tool = name;
    const std::string program = FindOnPath(name);
    if (program.empty()) {
        result.reason = name + " is not installed";
        return result;
    }

    int in[2], err[2];
    if (::pipe2(in, O_CLOEXEC) != 0) {
        result.reason = std::string("cannot make a pipe: ") + std::strerror(errno);
        return result;
    }
    Fd inRead(in[0]), inWrite(in[1]);
    if (::pipe2(err, O_CLOEXEC | O_NONBLOCK) != 0) {
        result.reason = std::string("cannot make a pipe: ") + std::strerror(errno);
        return result;
    }
    Fd errRead(err[0]), errWrite(err[1]);
    ::fcntl(inWrite.get(), F_SETFL, ::fcntl(inWrite.get(), F_GETFL) | O_NONBLOCK);

    // Everything the child needs is made before it starts.
    std::vector<std::string> argvText{program};
    argvText.insert(argvText.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argvText) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_adddup2(&actions, inRead.get(), STDIN_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, errWrite.get(), STDERR_FILENO);
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    // It may stay for hours: in our working folder it would keep a removable disk from unmounting.
    posix_spawn_file_actions_addchdir_np(&actions, "/");
    // The owner must not share our fate: a session of its own (no Ctrl-C, no hang-up from our
    // terminal), no signal blocked or ignored that we block or ignore.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0) {
        result.reason = "cannot start " + program + ": " + std::strerror(spawned);
        return result;
    }
    inRead.Close();
    errWrite.Close();

    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    // A tool that stops reading early says why on its error pipe; the wait below collects it.
    WriteAll(inWrite.get(), text, deadline);
    inWrite.Close();

    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) break;
        if (done < 0 && errno != EINTR) {
            result.reason = name + " vanished: " + std::strerror(errno);
            return result;
        }
        if (MillisecondsLeft(deadline) == 0) {
            ::kill(pid, SIGKILL);
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            result.reason = name + " did not take the text within " + std::to_string(timeoutMs) + " ms";
            return result;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    // The owner in the background still holds the pipe's other end: read what is there, no more.
    const std::string message = DrainMessage(errRead.get());
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        result.ok = true;
        return result;
    }
    result.reason = name + (WIFEXITED(status) ? " failed (exit status " + std::to_string(WEXITSTATUS(status)) + ")"
                                              : " was ended by signal " + std::to_string(WTERMSIG(status)));
    if (!message.empty()) result.reason += ": " + message;
    return result;
}

const char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string Base64(const std::string& bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t n = std::min<size_t>(3, bytes.size() - i);
        uint32_t group = 0;
        for (size_t k = 0; k < 3; ++k)
            group = (group << 8) | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        for (size_t k = 0; k < 4; ++k)
            out += k <= n ? kBase64Alphabet[(group >> (18 - 6 * k)) & 0x3F] : '=';
    }
    return out;
}

} // namespace

DesktopSession SessionFromEnvironment() {
    if (EnvironmentNames("WAYLAND_DISPLAY")) return DesktopSession::Wayland;
    if (EnvironmentNames("DISPLAY")) return DesktopSession::X11;
    return DesktopSession::None;
}

ClipboardHandOff HandToClipboardOwner(const std::string& text, DesktopSession session, int timeoutMs) {
    struct Tool {
        const char* name;
        std::vector<std::string> args;
    };
    std::vector<Tool> tools;
    if (session == DesktopSession::Wayland) tools.push_back({"wl-copy", {}});
    // Under Wayland the X11 tools reach the same clipboard through XWayland.
    if (session == DesktopSession::X11 || (session == DesktopSession::Wayland && EnvironmentNames("DISPLAY"))) {
        tools.push_back({"xclip", {"-selection", "clipboard"}});
        tools.push_back({"xsel", {"--clipboard", "--input"}});
    }
    // The reason given is the last installed tool's; when none is installed, that is the reason.
    ClipboardHandOff outcome;
    outcome.reason = "no display to hand the text to";
    std::string missing;
    bool anyInstalled = false;
    for (const Tool& tool : tools) {
        ClipboardHandOff tried = RunTool(tool.name, tool.args, text, timeoutMs);
        if (tried.ok) return tried;
        if (FindOnPath(tool.name).empty()) {
            missing += (missing.empty() ? "" : ", ") + std::string(tool.name);
            if (!anyInstalled) outcome.reason = "none of " + missing + " is installed";
            continue;
        }
        anyInstalled = true;
        outcome = tried;
    }
    return outcome;
}

std::string Osc52Sequence(const std::string& text) { return "\033]52;c;" + Base64(text) + "\a"; }

void PublishClipboardFromTerminal(const std::string& text, std::FILE* terminal) {
    const DesktopSession session = SessionFromEnvironment();
    if (session != DesktopSession::None) HandToClipboardOwner(text, session);
    if (terminal && ::isatty(::fileno(terminal))) {
        std::fputs(Osc52Sequence(text).c_str(), terminal);
        std::fflush(terminal);
    }
}

} // namespace zandrel::ui
