#pragma once
// The backend for a process without a display. A shown form becomes one live progress line on
// stderr (its caption, its visible labels and its progress bar), fitted to the terminal's width;
// Ctrl-C presses a form's Cancel button (see Interrupt.h). A modal form is listed as text and
// worked by the person at the terminal (see TerminalForm.h); message boxes and input boxes talk
// over stderr and stdin. Standard input is read only when it and the output are terminals: a
// modal form then closes as Cancel at once and an input box answers Cancel, so that a script
// never waits for an answer nobody can give.
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/ui/Backend.h"

namespace zandrel::ui {

struct TerminalOptions {
    std::FILE* out = stderr;
    std::FILE* in = stdin;
    // A live line that redraws itself in place; otherwise one plain line per update, at most once
    // a second; or no progress line at all. Default: live when `out` is a terminal.
    enum class Mode { Auto, Live, Lines, Silent } mode = Mode::Auto;
    // Catch Ctrl-C (through the process's interrupt latch) so that it presses a form's Cancel
    // button. When the backend installed the latch itself, a Ctrl-C with nothing to cancel ends
    // the program as it would have without us; a program that installed the latch first polls
    // for such interrupts itself.
    bool handleInterrupt = true;
};

std::unique_ptr<Backend> CreateTerminalBackend(TerminalOptions options = {});

// What the terminal shows for a form right now (exposed for tests and for the final line). With a
// width, the line is fitted into that many columns: the longest text is shortened in the middle
// first, so a long file name keeps its start and its extension.
std::string TerminalProgressLine(const Form& form, size_t width = 0);

// A program that knows more about its progress than the form's texts say (its own rate, time
// left, a shortened name) can draw the line itself: while a source is set, each redraw asks it for
// the line in that many columns (0: no limit). No answer (nullopt) shows the form's own line; an
// empty text shows none, as when the program has just said all there was to say in its own
// output. An empty function goes back to the form's line.
using TerminalLineSource = std::function<std::optional<std::string>(size_t width)>;
void SetTerminalLineSource(TerminalLineSource source);

// When the terminal backend draws a live line: clears it, so that other output can take the row.
// The line comes back at its next update.
void ClearTerminalLine();
// True while the terminal backend keeps a live progress line on screen.
bool TerminalShowsLiveLine();

} // namespace zandrel::ui
