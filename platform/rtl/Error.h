#pragma once
// The one base of every error that the platform layers raise where the original runtime would
// have raised an exception. System code catches exactly where its guards stand.
#include <stdexcept>
#include <string>

namespace zandrel::rtl {

class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A failed assertion names the module and the line that made it, as the runtime's Assert did.
class AssertionFailed : public Error {
public:
    AssertionFailed(std::string module, int line);
    const std::string& module() const { return module_; }
    int line() const { return line_; }

private:
    std::string module_;
    int line_;
};

// Throws AssertionFailed(module, line) when `condition` is false.
void Assert(bool condition, const char* module, int line);

} // namespace zandrel::rtl
