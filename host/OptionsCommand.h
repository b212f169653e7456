#pragma once
// `zandrel options --show | --set NAME=VALUE... | --password-stdin`: the options dialog's settings
// for scripts. Values are stored exactly as the dialog's Ok stores them (the same code does it);
// the settings a call does not name stay as they are.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace zandrel::host {

// The arguments that belong to the script forms of `options`; the host passes them through.
bool IsOptionsScriptArgument(std::string_view arg);

// Runs `zandrel options ARGS` for ARGS that hold a script form. `in` is where --password-stdin
// reads. Returns the exit status: 0 done, 1 the store could not be read or written, 2 usage.
int RunOptionsScript(const std::vector<std::string>& args, std::FILE* in, std::FILE* out, std::FILE* err);

} // namespace zandrel::host
