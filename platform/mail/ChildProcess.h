#pragma once
// A helper program run by the mail layer (sendmail, the desktop's mail composer). Everything is
// bounded: writing to it gives up when it takes nothing for a while, waiting for it gives up at a
// limit, and Ctrl-C (the UI port's interrupt latch) ends either wait at once. Its output goes to
// an unlinked temporary file, never to a pipe: a program it leaves running (a mail client) can
// write there for as long as it likes without being stopped by a closed pipe.
#include <sys/types.h>

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace zandrel::mail {

// The last `count` lines of a program's output that say something, whole, joined by "; ": blank
// lines and a shell's traces of the programs it tried and did not find ("xdg-open: 882:
// www-browser: not found") are passed over, and so is a first line that the output's bound cut.
// xdg-open and xdg-email say what went wrong last, after screens of such traces.
std::string MeaningfulLines(std::string_view output, size_t count, bool firstLineCut = false);

class ChildProcess {
public:
    enum class Input { None, Pipe };

    // Starts the program at argv[0] (a full path) with this process's environment. It stays in our
    // process group, so that it can ask in the terminal (sendmail asking for a password) and
    // Ctrl-C in the terminal reaches it as it reaches us. Raises MailError when it cannot start.
    ChildProcess(const std::vector<std::string>& argv, Input input);
    // A child still running is ended, unless it was let go.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Writes all of `data` to its standard input. Raises MailError when it takes nothing for
    // `stallLimit` or stops reading (it ended), MailStopped on Ctrl-C. The caller then still
    // calls Wait to learn how it ended.
    void Write(const char* data, size_t size, std::chrono::milliseconds stallLimit);
    // Closes its standard input (end of the message).
    void CloseInput();

    struct Ending {
        bool ended = false;    // false: still running when the limit passed
        int exitCode = -1;     // its status when it exited
        int signal = 0;        // the signal that ended it otherwise
    };
    // Waits up to `limit` for it to end. Raises MailStopped on Ctrl-C (the child keeps running;
    // the caller decides whether to end it or let it go).
    Ending Wait(std::chrono::milliseconds limit);
    // Ends it now: SIGTERM, then SIGKILL if it lingers.
    void Kill();
    // Leaves it running; it is reaped by a later call into this layer or when the process ends.
    void LetGo();

    // What it wrote to standard output and standard error, at most `limit` bytes from the end,
    // with surrounding blank space trimmed. `cut`, when given, tells whether there was more before.
    std::string Output(size_t limit = 2000, bool* cut = nullptr) const;
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    int input_ = -1;  // our end of its standard input
    int output_ = -1; // the unlinked file its output goes to
    bool reaped_ = false;
};

// The full path of `name` in the directories of PATH, or empty.
std::string FindInPath(const std::string& name);

} // namespace zandrel::mail
