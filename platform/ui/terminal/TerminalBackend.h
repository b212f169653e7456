#pragma once
// The backend for a process without a display. A shown form becomes one live progress line on
// stderr (its caption, its visible labels and its progress bar); Ctrl-C presses the shown form's
// Cancel button; message boxes and input boxes talk over stderr and stdin.
#include <cstdio>
#include <memory>
#include <string>

#include "platform/ui/Backend.h"

namespace zandrel::ui {

struct TerminalOptions {
    std::FILE* out = stderr;
    std::FILE* in = stdin;
    // A live line that redraws itself in place; otherwise one plain line per update, at most once
    // a second. Default: live when `out` is a terminal.
    enum class Mode { Auto, Live, Lines } mode = Mode::Auto;
    // Catch Ctrl-C and turn it into a Cancel click while a form with a Cancel button is shown.
    bool handleInterrupt = true;
};

std::unique_ptr<Backend> CreateTerminalBackend(TerminalOptions options = {});

// What the terminal shows for a form right now (exposed for tests and for the final line).
std::string TerminalProgressLine(const Form& form);

} // namespace zandrel::ui
