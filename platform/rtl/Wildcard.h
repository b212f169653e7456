#pragma once
// File-name masks as the original platform matched them: `*` any run, `?` any one character,
// letters compared without regard to case, and `*.*` taking every name, dotless ones included.
#include <string_view>

namespace zandrel::rtl {

enum class LetterCase { Ignore, Match };

// `letterCase` Match compares letters exactly, as Unix file names (on FTP servers) are compared.
bool MatchesMask(std::string_view name, std::string_view mask, LetterCase letterCase = LetterCase::Ignore);

} // namespace zandrel::rtl
