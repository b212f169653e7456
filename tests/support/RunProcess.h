#pragma once
// Runs a program to completion for a test, capturing its output.
#include <map>
#include <string>
#include <vector>

namespace zandrel::testing {

struct ProcessResult {
    int exitCode = -1; // -1 when it did not exit normally
    std::string out;
    std::string err;
};

// `env` entries are set (or, with an empty value, removed) on top of this process's environment.
// The child is killed after `timeoutSeconds`.
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
