#pragma once
// The shell suite's own desktop: XDG data and config folders under the build tree, set before
// GLib first reads them (it reads them once per process), with a test application registered as
// the handler of folders and of one made-up file type. The handler writes what it was asked to
// open into a marker file.
#include <string>

namespace zandrel::shell::testing {

const std::string& XdgDataHome();
const std::string& OpenMarkerFile(); // the handler appends each URI it gets, one a line
// A file extension that only the test handler opens.
inline constexpr const char* kHandledExtension = ".zandreltest";

} // namespace zandrel::shell::testing
