#pragma once
// The person at the terminal: where questions are printed and where the answers are typed.
//
// Answers are read only when both the input and the output are terminals. A script, a CI job or a
// test that runs the program with a pipe or a file as its input never has it read: nobody would
// be there to answer, and a read on a pipe that stays open would wait forever.
#include <cstdio>
#include <string>

namespace zandrel::ui {

enum class Answer {
    Line,        // the person typed a line and pressed Enter
    End,         // Ctrl-D on an empty line, or the terminal went away
    Interrupted, // Ctrl-C (or SIGTERM): the interrupt latch holds it for the program to act on
};

class TerminalConsole {
public:
    TerminalConsole(std::FILE* out, std::FILE* in) : out_(out), in_(in) {}

    // Whether a person can answer: input and output are both terminals.
    bool Interactive() const;

    void Print(const std::string& text);

    // Prints `prompt` and reads one line in the terminal's own line editing (Backspace, Ctrl-U,
    // Ctrl-W); the line comes back without its line end and without the control characters that
    // arrow keys and the like leave in it (see TypedText). With `hidden` nothing typed is echoed.
    // Waits as long as the person takes, and returns at once when an interrupt is pending. The
    // terminal's modes are put back as they were before it returns, whatever happens. Without a
    // person (see Interactive) nothing is read and the answer is End.
    Answer Ask(const std::string& prompt, std::string& line, bool hidden = false);

private:
    std::FILE* out_;
    std::FILE* in_;
};

} // namespace zandrel::ui
