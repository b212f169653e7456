#include "support/RunProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace zandrel::testing {

ProcessResult RunProcess(const ProcessRun& run) {
    // Everything the child needs is made here: between fork and exec a child of a threaded process
    // may only make async-signal-safe calls. An allocation there can wait forever on a lock that
    // another thread of the test held at the moment of the fork.
    std::map<std::string, std::string> environment;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const size_t eq = entry.find('=');
        if (eq != std::string::npos) environment[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    for (const auto& [name, value] : run.env) {
        if (value.empty())
            environment.erase(name);
        else
            environment[name] = value;
    }
    std::vector<std::string> entries;
    for (const auto& [name, value] : environment) entries.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (auto& e : entries) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> argvCopy = run.argv;
    std::vector<char*> args;
    for (auto& a : argvCopy) args.push_back(a.data());
    args.push_back(nullptr);

    int inPipe[2], outPipe[2], errPipe[2];
    if (pipe2(inPipe, O_CLOEXEC) != 0 || pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe");
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork");
    if (pid == 0) {
        dup2(inPipe[0], 0);
        dup2(outPipe[1], 1);
        dup2(errPipe[1], 2);
        setpgid(0, 0);
        execve(args[0], args.data(), envp.data());
        _exit(127);
    }
    close(inPipe[0]);
    close(outPipe[1]);
    close(errPipe[1]);
    // Job texts are small: they fit the pipe's buffer, so writing them all at once cannot block.
    signal(SIGPIPE, SIG_IGN);
    if (!run.input.empty() && write(inPipe[1], run.input.data(), run.input.size()) < 0) {
        // the tool did not read its input; its output says why
    }
    close(inPipe[1]);

    ProcessResult result;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(run.timeoutSeconds);
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    int open = 2;
    bool signalled = false;
    while (open > 0 && std::chrono::steady_clock::now() < deadline) {
        if (!signalled && run.signal && run.signalWhen && run.signalWhen(result.out)) {
            siginfo_t info{};
            // Looked at without reaping it: has it already ended?
            const bool running = waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
                                 info.si_pid == 0;
            result.signalled = running && kill(pid, run.signal) == 0;
            signalled = true;
        }
        if (poll(fds, 2, 50) <= 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
            char buf[4096];
            const ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                (i == 0 ? result.out : result.err).append(buf, static_cast<size_t>(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    if (open > 0) kill(-pid, SIGKILL);
    for (auto& fd : fds)
        if (fd.fd >= 0) close(fd.fd);
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.termSignal = WTERMSIG(status);
    return result;
}

ProcessResult RunProcess(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
                         int timeoutSeconds) {
    return RunProcess({.argv = argv, .env = env, .timeoutSeconds = timeoutSeconds});
}

TempDir::TempDir(const std::string& tag) {
    static int counter = 0;
    const auto base = std::filesystem::path(ZANDREL_BINARY_DIR) / "test-scratch";
    path_ = (base / (tag + "-" + std::to_string(getpid()) + "-" + std::to_string(++counter))).string();
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
    std::error_code ec;
    // Make read-only files removable again before cleaning up.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const std::string& path, const std::string& content) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

} // namespace zandrel::testing
