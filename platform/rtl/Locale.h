#pragma once
// What the user's locale says about writing numbers.
#include <string>

namespace zandrel::rtl {

// The user's decimal separator, taken from the locale that the environment names (LC_ALL, else
// LC_NUMERIC, else LANG), looked up once. The process's own C locale is not consulted: the host
// may never call setlocale, and a toolkit that does must not change what texts look like halfway
// through a run. "." when no locale is named or the named one is not installed.
const std::string& UserDecimalSeparator();
// The decimal separator of one named locale; "." when it is not installed.
std::string DecimalSeparatorOfLocale(const std::string& localeName);

} // namespace zandrel::rtl
