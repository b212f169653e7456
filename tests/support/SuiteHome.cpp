// Linked into every test program: before any test runs, the program takes a home and XDG folders
// of its suite's own under the build tree, and so does every program a test starts. No test can
// then read or write the developer's real settings, trash, desktop files or shell history, also
// when its program is run by hand rather than by ctest. Tests that need a known state make private
// folders of their own on top of these.
#include <cstdlib>
#include <filesystem>

namespace {

const bool kSuiteHomeTaken = [] {
    const std::filesystem::path home = ZANDREL_SUITE_HOME;
    const struct {
        const char* variable;
        const char* folder;
    } folders[] = {{"HOME", ""},
                   {"XDG_CONFIG_HOME", "config"},
                   {"XDG_DATA_HOME", "data"},
                   {"XDG_CACHE_HOME", "cache"},
                   {"XDG_STATE_HOME", "state"}};
    for (const auto& f : folders) {
        const std::filesystem::path path = *f.folder ? home / f.folder : home;
        std::error_code ignored; // a folder that cannot be made fails the tests that need it
        std::filesystem::create_directories(path, ignored);
        setenv(f.variable, path.c_str(), 1);
    }
    return true;
}();

} // namespace
