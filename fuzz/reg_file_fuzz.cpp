// The settings file is edited by hand and carried between machines, so its reader meets any bytes
// at all. It must either refuse them with a FormatError naming the line, or accept them; and
// whatever it accepts must survive a save unchanged: the text written for the parsed store reads
// back to the same store, which writes the very same text again.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/registry/Errors.h"
#include "platform/registry/RegFileFormat.h"

using namespace zandrel::registry;

namespace {

[[noreturn]] void Fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "%s\n%s\n", what, detail.c_str());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    Hive hive;
    try {
        hive = ParseRegFile(bytes, "user.reg");
    } catch (const FormatError& e) {
        if (e.line() == 0) Fail("a format error without a line number", e.what());
        return 0;
    } catch (const Error& e) {
        Fail("a refusal that does not name the line", e.what()); // the user could not find the fault
    }
    const std::string saved = FormatRegFile(hive);
    Hive reread;
    try {
        reread = ParseRegFile(saved, "user.reg (saved)");
    } catch (const Error& e) {
        Fail("the text written for an accepted file is refused", std::string(e.what()) + "\n" + saved);
    }
    if (FormatRegFile(reread) != saved) Fail("a saved file does not read back the same", saved);
    return 0;
}
