#include "platform/mail/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "platform/mail/MailError.h"
#include "platform/rtl/FileSystem.h"
#include "platform/ui/Interrupt.h"

extern char** environ;

namespace zandrel::mail {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Children let go (a mail composer the person is still writing in) are reaped here, the next time
// this layer starts a program, so they do not linger as zombies.
std::mutex letGoLock;
std::vector<pid_t> letGo;

void ReapLetGo() {
    std::lock_guard guard(letGoLock);
    std::erase_if(letGo, [](pid_t pid) {
        int status = 0;
        return waitpid(pid, &status, WNOHANG) != 0;
    });
}

// An unlinked file for a child's output; it goes away with the last descriptor.
int OpenScratchFile() {
    const char* base = std::getenv("TMPDIR");
    const std::string folder = base && *base ? base : "/tmp";
    int fd = open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) return fd;
    std::string pattern = folder + "/zandrel-mail-XXXXXX";
    fd = mkostemp(pattern.data(), O_CLOEXEC);
    if (fd >= 0) unlink(pattern.c_str());
    return fd;
}

// Writing to a pipe whose reader has gone raises SIGPIPE, which would end the whole program. While
// this guard lives the signal is held back for this thread, and one it caused is taken away again.
class HoldBackSigpipe {
public:
    HoldBackSigpipe() {
        sigemptyset(&pipeOnly_);
        sigaddset(&pipeOnly_, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        wasPending_ = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &pipeOnly_, &previous_);
    }
    ~HoldBackSigpipe() {
        if (!wasPending_) {
            const timespec now{};
            while (sigtimedwait(&pipeOnly_, nullptr, &now) == SIGPIPE) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }
    HoldBackSigpipe(const HoldBackSigpipe&) = delete;
    HoldBackSigpipe& operator=(const HoldBackSigpipe&) = delete;

private:
    sigset_t pipeOnly_{};
    sigset_t previous_{};
    bool wasPending_ = false;
};

std::string ProgramName(const std::string& path) { return rtl::ExtractFileName(path); }

} // namespace

std::string FindInPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    if (!path || name.empty() || name.find('/') != std::string::npos) return {};
    std::string_view rest(path);
    while (true) {
        const size_t colon = rest.find(':');
        const std::string dir(rest.substr(0, colon));
        // An empty entry would mean the working folder, which may well be the project folder: a
        // program of that name there is not the system's mail program.
        const std::string candidate = dir + "/" + name;
        struct stat st {};
        if (!dir.empty() && stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            access(candidate.c_str(), X_OK) == 0)
            return candidate;
        if (colon == std::string_view::npos) return {};
        rest.remove_prefix(colon + 1);
    }
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv, Input input) {
    ReapLetGo();
    if (argv.empty()) throw MailError("no program to run");
    output_ = OpenScratchFile();
    if (output_ < 0) throw MailError("cannot make a scratch file for " + ProgramName(argv[0]) + ": " +
                                     rtl::SystemErrorText(errno));
    int pipeFds[2] = {-1, -1};
    if (input == Input::Pipe && pipe2(pipeFds, O_CLOEXEC) != 0) {
        const int error = errno;
        close(output_);
        throw MailError("cannot make a pipe for " + ProgramName(argv[0]) + ": " + rtl::SystemErrorText(error));
    }

    // posix_spawn does the fork and exec without running any code of ours in between; argv and
    // the environment are prepared here, in the parent.
    std::vector<std::string> args = argv;
    std::vector<char*> argp;
    for (std::string& a : args) argp.push_back(a.data());
    argp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (input == Input::Pipe)
        posix_spawn_file_actions_adddup2(&actions, pipeFds[0], STDIN_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, output_, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output_, STDERR_FILENO);

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int s : {SIGPIPE, SIGINT, SIGTERM, SIGQUIT, SIGHUP, SIGCHLD}) sigaddset(&defaults, s);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    const int error = posix_spawn(&pid_, argp[0], &actions, &attributes, argp.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (input == Input::Pipe) close(pipeFds[0]);
    if (error != 0) {
        if (input == Input::Pipe) close(pipeFds[1]);
        close(output_);
        output_ = -1;
        pid_ = -1;
        throw MailError("cannot run " + argv[0] + ": " + rtl::SystemErrorText(error));
    }
    if (input == Input::Pipe) {
        input_ = pipeFds[1];
        fcntl(input_, F_SETFL, fcntl(input_, F_GETFL) | O_NONBLOCK);
    }
}

ChildProcess::~ChildProcess() {
    if (!reaped_ && pid_ > 0) Kill();
    if (input_ >= 0) close(input_);
    if (output_ >= 0) close(output_);
}

void ChildProcess::Write(const char* data, size_t size, milliseconds stallLimit) {
    if (input_ < 0) throw MailError("the program's input is already closed");
    HoldBackSigpipe guard;
    auto stallDeadline = Clock::now() + stallLimit;
    while (size > 0) {
        const ssize_t n = write(input_, data, size);
        if (n > 0) {
            data += n;
            size -= static_cast<size_t>(n);
            stallDeadline = Clock::now() + stallLimit;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EPIPE) throw MailError("it stopped reading the message before its end");
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            throw MailError("cannot hand it the message: " + rtl::SystemErrorText(errno));
        if (ui::InterruptPending()) throw MailStopped();
        const auto left = std::chrono::duration_cast<milliseconds>(stallDeadline - Clock::now());
        if (left.count() <= 0)
            throw MailError("it took no part of the message for " +
                            std::to_string(std::chrono::duration_cast<std::chrono::seconds>(stallLimit).count()) +
                            " seconds");
        pollfd p{input_, POLLOUT, 0};
        poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 100)));
    }
}

void ChildProcess::CloseInput() {
    if (input_ >= 0) close(input_);
    input_ = -1;
}

ChildProcess::Ending ChildProcess::Wait(milliseconds limit) {
    Ending ending;
    if (pid_ <= 0) return ending;
    const auto deadline = Clock::now() + limit;
    milliseconds pause(1);
    while (true) {
        int status = 0;
        const pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_ || (done < 0 && errno == ECHILD)) {
            reaped_ = true;
            ending.ended = true;
            if (done == pid_ && WIFEXITED(status)) ending.exitCode = WEXITSTATUS(status);
            if (done == pid_ && WIFSIGNALED(status)) ending.signal = WTERMSIG(status);
            return ending;
        }
        if (ui::InterruptPending()) throw MailStopped();
        const auto now = Clock::now();
        if (now >= deadline) return ending;
        // Short pauses first: most helpers are done within milliseconds.
        std::this_thread::sleep_for(std::min(pause, std::chrono::duration_cast<milliseconds>(deadline - now)));
        pause = std::min(pause * 2, milliseconds(50));
    }
}

void ChildProcess::Kill() {
    if (pid_ <= 0 || reaped_) return;
    CloseInput();
    kill(pid_, SIGTERM);
    const auto deadline = Clock::now() + milliseconds(2000);
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
        if (Clock::now() >= deadline) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            break;
        }
        std::this_thread::sleep_for(milliseconds(10));
    }
    reaped_ = true;
}

void ChildProcess::LetGo() {
    if (pid_ <= 0 || reaped_) return;
    CloseInput();
    std::lock_guard guard(letGoLock);
    letGo.push_back(pid_);
    reaped_ = true;
}

namespace {

// "PROGRAM: LINE: NAME: not found" from dash, "PROGRAM: line LINE: NAME: command not found" from
// bash: a script looked for a program that is not installed.
bool IsNotFoundTrace(std::string_view line) {
    return line.size() > 11 && (line.substr(line.size() - 11) == ": not found" ||
                                (line.size() > 19 && line.substr(line.size() - 19) == ": command not found"));
}

} // namespace

std::string MeaningfulLines(std::string_view output, size_t count, bool firstLineCut) {
    std::vector<std::string_view> kept;
    size_t end = output.size();
    while (end > 0 && kept.size() < count) {
        const size_t newline = output.rfind('\n', end - 1);
        const size_t start = newline == std::string_view::npos ? 0 : newline + 1;
        std::string_view line = output.substr(start, end - start);
        end = newline == std::string_view::npos ? 0 : newline;
        if (start == 0 && firstLineCut) break;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
        if (line.empty() || IsNotFoundTrace(line)) continue;
        kept.push_back(line);
    }
    std::string joined;
    for (auto it = kept.rbegin(); it != kept.rend(); ++it) joined += (joined.empty() ? "" : "; ") + std::string(*it);
    return joined;
}

std::string ChildProcess::Output(size_t limit, bool* cut) const {
    if (cut) *cut = false;
    if (output_ < 0) return {};
    struct stat st {};
    if (fstat(output_, &st) != 0 || st.st_size <= 0) return {};
    const size_t size = static_cast<size_t>(st.st_size);
    const size_t start = size > limit ? size - limit : 0;
    if (cut) *cut = start > 0;
    std::string text(size - start, '\0');
    const ssize_t n = pread(output_, text.data(), text.size(), static_cast<off_t>(start));
    text.resize(n > 0 ? static_cast<size_t>(n) : 0);
    const auto blank = [](char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; };
    while (!text.empty() && blank(text.back())) text.pop_back();
    size_t first = 0;
    while (first < text.size() && blank(text[first])) ++first;
    return text.substr(first);
}

} // namespace zandrel::mail
