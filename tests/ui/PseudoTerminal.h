#pragma once
// Runs a program on a pseudo-terminal of its own and plays the person at its keyboard: wait for a
// text to appear, type keys, read what the terminal shows. Every wait has a deadline.
#include <termios.h>
#include <sys/types.h>

#include <string>
#include <vector>

namespace zandrel::testing {

class PseudoTerminal {
public:
    // Starts `argv` (argv[0] a path) as the session leader of a new terminal that is its standard
    // input, output and error.
    explicit PseudoTerminal(const std::vector<std::string>& argv);
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // Waits until `text` appears in what the terminal shows after the previous match, and moves
    // past it. False when the deadline passes or the program ends first.
    bool WaitFor(const std::string& text, int seconds = 20);
    // Types `keys` ("\n" is Enter, "\x03" Ctrl-C, "\x04" Ctrl-D).
    void Type(const std::string& keys);
    // Waits for the program to end (killing it after the deadline) and returns its exit status,
    // or 128 + the signal that ended it; -1 when it had to be killed.
    int Finish(int seconds = 20);
    // Everything the terminal has shown so far.
    const std::string& Screen() const { return screen_; }
    // Everything shown since the previous match.
    std::string Unmatched() const { return screen_.substr(mark_); }
    // The terminal's modes as they are now.
    termios Modes() const;

private:
    // Reads what is there, waiting until `deadlineMs` (steady clock) at most; false once the
    // program's side of the terminal is closed.
    bool Pump(long long deadlineMs);

    int master_ = -1;
    pid_t pid_ = -1;
    std::string screen_;
    size_t mark_ = 0;
    bool closed_ = false;
    bool finished_ = false;
    int status_ = -1;
};

} // namespace zandrel::testing
