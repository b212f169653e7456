#pragma once
// File-name masks as the original platform matched them: `*` any run, `?` any one character,
// letters compared without regard to case, and `*.*` taking every name, dotless ones included.
#include <string_view>

namespace zandrel::rtl {

bool MatchesMask(std::string_view name, std::string_view mask);

} // namespace zandrel::rtl
