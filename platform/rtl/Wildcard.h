#pragma once
// File-name masks as the original platform matched them: `*` any run, `?` any one character,
// letters compared without regard to case, and `*.*` taking every name, dotless ones included.
#include <string_view>

namespace zandrel::rtl {

enum class LetterCase { Ignore, Match };

// `letterCase` Match compares letters exactly, as Unix file names (on FTP servers) are compared.
bool MatchesMask(std::string_view name, std::string_view mask, LetterCase letterCase = LetterCase::Ignore);

// A folder search's mask as the desktop platform's own file search matches it, letters without
// regard to case. Beyond MatchesMask: a `?` at the end of the name, or before a dot, may also
// match nothing (`a?.pas` takes `a.pas`, `a??` takes `a`), and never matches a dot; a `*` before a
// dot stops at the name's last dot; a dot at the end of the mask, or before a wildcard, also
// matches the end of a dotless name, so `*.` takes exactly the names without an extension. An
// empty mask matches nothing.
bool MatchesFileMask(std::string_view name, std::string_view mask);

} // namespace zandrel::rtl
