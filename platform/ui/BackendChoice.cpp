#include "platform/ui/BackendChoice.h"

#include <cstdio>
#include <cstdlib>

#include "platform/ui/Application.h"

namespace zandrel::ui {

bool HaveDisplay() {
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x && *x) || (wayland && *wayland);
}

ChosenBackend::ChosenBackend(const std::string& choice, int& argc, char** argv, const std::string& program,
                             const std::string& displayName, const TerminalOptions& terminal) {
    if (choice == "qt" || (choice == "auto" && HaveDisplay())) {
        std::string error;
        qt_ = QtUiSession::Start(argc, argv, displayName, error);
        if (qt_) return;
        std::fprintf(stderr, "%s: no windows (%s); using the terminal\n", program.c_str(), error.c_str());
    }
    InstallBackend(CreateTerminalBackend(terminal));
}

ChosenBackend::~ChosenBackend() {
    // The Qt session removes its own backend as it ends.
    if (qt_) qt_.reset();
    else RemoveBackend();
}

} // namespace zandrel::ui
