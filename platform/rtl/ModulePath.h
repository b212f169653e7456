#pragma once
#include <string>

namespace zandrel::rtl {

// Where a module the programs load at run time (the package, the Qt user interface) lives,
// found from the running program's own file (symbolic links to it resolved), so that the build
// tree, an installed tree under any prefix, and a tree moved after a staged install all work.
// An installed program finds it in the private module folder beside bin/; a program in the
// build tree finds it in the build's lib/. When neither holds the file, the build-tree path is
// returned so that the caller's "cannot load" message names a real place to look.
std::string ModulePath(const std::string& fileName);

} // namespace zandrel::rtl
