#pragma once
// Runs a program to completion for a test, capturing its output.
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace zandrel::testing {

struct ProcessResult {
    int exitCode = -1; // -1 when it did not exit normally
    std::string out;
    std::string err;
    int termSignal = 0;     // the signal that ended it, when it did not exit
    bool signalled = false; // `signal` reached it while it was still running
};

struct ProcessRun {
    std::vector<std::string> argv{};
    // Set (or, with an empty value, removed) on top of this process's environment.
    std::map<std::string, std::string> env{};
    std::string input{}; // written to its standard input, which is then closed
    // Checked about every 50 ms with the standard output so far; when it first answers true,
    // `signal` goes to the process (Ctrl-C in the middle of a transfer, say).
    std::function<bool(const std::string& out)> signalWhen{};
    int signal = 0;
    int timeoutSeconds = 120; // then the child is killed
};

ProcessResult RunProcess(const ProcessRun& run);
ProcessResult RunProcess(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env = {},
                         int timeoutSeconds = 120);

// A fresh folder under the build tree (on a real disk, so the trash works there), removed by the
// destructor.
class TempDir {
public:
    explicit TempDir(const std::string& tag);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);

} // namespace zandrel::testing
