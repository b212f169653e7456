#include "platform/ui/QtUiLoader.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "platform/rtl/ModulePath.h"

namespace zandrel::ui {
namespace {

// How long a display may take to let Qt in before it counts as unreachable.
constexpr std::chrono::seconds kProbeLimit{5};

// Qt ends the whole process when it cannot reach the display it is told to use (a DISPLAY left
// over from an ssh login, a session that has closed). A forked child meets that end instead, and
// its answer decides. Runs before the program starts threads of its own.
bool DisplayReachable(bool (*probe)(int*, char**), int argc, char** argv, std::string& error) {
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child < 0) return true; // no way to ask first; let Qt try
    if (child == 0) {
        const int quiet = ::open("/dev/null", O_WRONLY);
        if (quiet >= 0) {
            ::dup2(quiet, STDOUT_FILENO);
            ::dup2(quiet, STDERR_FILENO);
        }
        ::_exit(probe(&argc, argv) ? 0 : 1);
    }
    const auto deadline = std::chrono::steady_clock::now() + kProbeLimit;
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(child, &status, WNOHANG);
        if (done == child) {
            if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
            error = "the display cannot be opened";
            return false;
        }
        if (done < 0 && errno != EINTR) return true;
        if (std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    error = "the display did not answer";
    return false;
}

} // namespace

std::string QtUiModulePath() {
    return rtl::ModulePath("ZandrelQtUi.so");
}

std::unique_ptr<QtUiSession> QtUiSession::Start(int& argc, char** argv, const std::string& displayName,
                                                std::string& error) {
    const std::string path = QtUiModulePath();
    // Never closed: Qt does not support being unloaded, and the process ends soon after anyway.
    void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        const char* why = ::dlerror();
        error = "cannot load " + path + (why ? std::string(": ") + why : std::string());
        return nullptr;
    }
    using StartFunction = bool (*)(int*, char**, const char*);
    using ProbeFunction = bool (*)(int*, char**);
    auto start = reinterpret_cast<StartFunction>(::dlsym(module, "ZandrelQtUiStart"));
    auto stop = reinterpret_cast<StopFunction>(::dlsym(module, "ZandrelQtUiStop"));
    auto probe = reinterpret_cast<ProbeFunction>(::dlsym(module, "ZandrelQtUiProbe"));
    if (!start || !stop || !probe) {
        error = path + " is not the Qt user interface module";
        return nullptr;
    }
    if (!DisplayReachable(probe, argc, argv, error)) return nullptr;
    if (!start(&argc, argv, displayName.c_str())) {
        error = "the Qt user interface did not start";
        return nullptr;
    }
    return std::unique_ptr<QtUiSession>(new QtUiSession(stop));
}

QtUiSession::~QtUiSession() { stop_(); }

} // namespace zandrel::ui
