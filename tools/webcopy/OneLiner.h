#pragma once
// The one-line forms of webcopy (get, put, ls, rm, test): each builds a job, exactly as a job file
// would hold it, which then runs through the same loader and run as any job file. A script can
// print that job (--print-job) and grow it into a job file of its own.
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace zandrel::tools {

// A one-liner that cannot be turned into a job; the text says why in the user's terms.
class OneLinerError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct OneLinerOptions {
    std::optional<std::string> user; // -u USER: wins over a user in the URL
    bool newer = false;              // --newer
    std::optional<bool> passive;     // --passive / --active
    bool force = false;              // --force
    bool rename = false;             // --rename
};

// Whether `word` names a one-liner.
bool IsOneLinerVerb(const std::string& word);

struct OneLinerJob {
    nlohmann::ordered_json job;
    // A password came from the command line (it is in `job`, and visible to other users of the
    // machine while the command runs).
    bool passwordGiven = false;
};

// The job of `verb` with its operands. Local paths are made absolute against the current folder,
// so the printed job means the same when run from elsewhere.
OneLinerJob BuildOneLinerJob(const std::string& verb, const std::vector<std::string>& operands,
                             const OneLinerOptions& options);

// `job` with every password replaced by a mask, for printing.
nlohmann::ordered_json MaskPasswords(nlohmann::ordered_json job);
constexpr const char* kPasswordMask = "********";

} // namespace zandrel::tools
