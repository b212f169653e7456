#pragma once
// Strings are UTF-8 std::string everywhere; rules that count UTF-16 code units or take the low
// eight bits of each character convert with these helpers inside the function that needs it.
#include <string>
#include <string_view>

namespace zandrel::rtl {

// Malformed UTF-8 sequences become U+FFFD, one per offending byte.
std::u16string ToUtf16(std::string_view utf8);
// Unpaired surrogates become U+FFFD.
std::string ToUtf8(std::u16string_view utf16);

// Upper-cases ASCII a to z only; every other character is kept as it is.
std::string UpperCaseAscii(std::string_view text);
// Case-insensitive comparison over ASCII letters (the other bytes compare exactly).
bool SameTextAscii(std::string_view a, std::string_view b);

} // namespace zandrel::rtl
