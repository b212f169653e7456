#pragma once
// Opens a file or folder with the desktop's default application, as the shell's "open" verb
// does. Failures are not reported: the caller goes on either way.
#include <string>

namespace zandrel::webcopy {

void OpenWithDesktop(const std::string& Path);

} // namespace zandrel::webcopy
