#include "platform/ui/QtUiLoader.h"

#include <dlfcn.h>

#include <filesystem>

namespace zandrel::ui {

std::string QtUiModulePath() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return "ZandrelQtUi.so";
    return (exe.parent_path().parent_path() / "lib" / "ZandrelQtUi.so").string();
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
    auto start = reinterpret_cast<StartFunction>(::dlsym(module, "ZandrelQtUiStart"));
    auto stop = reinterpret_cast<StopFunction>(::dlsym(module, "ZandrelQtUiStop"));
    if (!start || !stop) {
        error = path + " is not the Qt user interface module";
        return nullptr;
    }
    if (!start(&argc, argv, displayName.c_str())) {
        error = "the Qt user interface did not start";
        return nullptr;
    }
    return std::unique_ptr<QtUiSession>(new QtUiSession(stop));
}

QtUiSession::~QtUiSession() { stop_(); }

} // namespace zandrel::ui
