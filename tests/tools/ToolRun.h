#pragma once
// Runs a command-line tool for a test with what RunProcess does not offer: text on its standard
// input, and a signal sent to it once a condition on the run is met (Ctrl-C in the middle of a
// transfer).
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "support/RunProcess.h"

namespace zandrel::tools {

struct ToolRun {
    std::vector<std::string> argv{};
    std::map<std::string, std::string> env{}; // as for RunProcess
    std::string input{};                    // written to its standard input, which is then closed
    // Checked about every 50 ms with the standard output so far; when it first answers true,
    // `signal` goes to the process.
    std::function<bool(const std::string& out)> signalWhen{};
    int signal = 0;
    int timeoutSeconds = 60;
};

struct ToolResult : testing::ProcessResult {
    int termSignal = 0;     // the signal that ended it, when it did not exit
    bool signalled = false; // `signal` reached it while it was still running
};

ToolResult RunTool(const ToolRun& run);

} // namespace zandrel::tools
