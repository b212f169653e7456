#pragma once
// Reading a webcopy job: its text from a file or standard input, and its contents into the
// component. A job is the component's published properties and "Items" (see DesignStreaming.h)
// plus an optional "Handlers" object whose members ("OnFileDateCheck", "OnCopyOverWrite") make
// that event answer allow = the given value.
#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace zandrel::webcopy {
class TZandrelWebCopy;
}

namespace zandrel::tools {

// A job that cannot be read or is not a valid job; the text says what and where.
class BadJob : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct JobHandlers {
    std::optional<bool> fileDateCheck{};
    std::optional<bool> copyOverWrite{};
};

// Job files are small; anything larger than this is refused rather than read into memory.
constexpr std::size_t kMaxJobBytes = 16 * 1024 * 1024;

// The text of the job at `path`, or of standard input when `path` is "-". The error names the
// system's reason ("No such file or directory", "Is a directory").
std::string ReadJobText(const std::string& path);

// Loads the job into `wc` (all or nothing) and returns its handlers. Errors are prefixed with
// `source` (the file's name).
JobHandlers LoadJob(webcopy::TZandrelWebCopy& wc, std::string_view text, const std::string& source);

} // namespace zandrel::tools
