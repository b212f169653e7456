#pragma once
// The user interface a program runs with, chosen alike by every program that offers --ui: Qt
// windows for "qt", and for "auto" when a display is set; the terminal otherwise, and also in
// place of windows when the Qt module cannot be loaded (a line on stderr says why).
#include <memory>
#include <string>

#include "platform/ui/QtUiLoader.h"
#include "platform/ui/terminal/TerminalBackend.h"

namespace zandrel::ui {

// Whether the environment names a display (X11 or Wayland).
bool HaveDisplay();

// Installs the chosen backend for its lifetime. `program` begins the line on stderr; `displayName`
// is the application name Qt shows; `terminal` configures the terminal backend when that is used.
// `argc` and `argv` must outlive it.
class ChosenBackend {
public:
    ChosenBackend(const std::string& choice, int& argc, char** argv, const std::string& program,
                  const std::string& displayName, const TerminalOptions& terminal);
    ~ChosenBackend();
    ChosenBackend(const ChosenBackend&) = delete;
    ChosenBackend& operator=(const ChosenBackend&) = delete;

    bool ShowsWindows() const { return qt_ != nullptr; }

private:
    std::unique_ptr<QtUiSession> qt_;
};

} // namespace zandrel::ui
