#include "platform/rtl/Error.h"

namespace zandrel::rtl {

AssertionFailed::AssertionFailed(std::string module, int line)
    : Error("Assertion failed (" + module + ", line " + std::to_string(line) + ")"),
      module_(std::move(module)), line_(line) {}

void Assert(bool condition, const char* module, int line) {
    if (!condition) throw AssertionFailed(module, line);
}

} // namespace zandrel::rtl
