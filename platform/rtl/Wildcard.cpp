#include "platform/rtl/Wildcard.h"

#include <vector>

#include "platform/rtl/Utf16.h"

namespace zandrel::rtl {
namespace {

char16_t Fold(char16_t c) {
    if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - u'a' + u'A');
    // Latin-1 and Latin Extended-A letters fold too, so "Ä.PAS" takes "ä.pas".
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);
    if (c >= 0x100 && c <= 0x17F && (c & 1)) return static_cast<char16_t>(c - 1);
    return c;
}

} // namespace

bool MatchesMask(std::string_view name, std::string_view mask, LetterCase letterCase) {
    if (mask == "*.*" || mask == "*") return true;
    const std::u16string n = ToUtf16(name);
    const std::u16string m = ToUtf16(mask);
    auto fold = [&](char16_t ch) { return letterCase == LetterCase::Ignore ? Fold(ch) : ch; };
    // Iterative glob with one backtrack point: linear in practice, no recursion on hostile masks.
    size_t ni = 0, mi = 0, starM = std::u16string::npos, starN = 0;
    while (ni < n.size()) {
        if (mi < m.size() && (m[mi] == u'?' || (m[mi] != u'*' && fold(m[mi]) == fold(n[ni])))) {
            ++ni;
            ++mi;
        } else if (mi < m.size() && m[mi] == u'*') {
            starM = mi++;
            starN = ni;
        } else if (starM != std::u16string::npos) {
            mi = starM + 1;
            ni = ++starN;
        } else {
            return false;
        }
    }
    while (mi < m.size() && m[mi] == u'*') ++mi;
    // "name.*" also takes a dotless "name", as the original platform did.
    if (mi + 2 == m.size() && m[mi] == u'.' && m[mi + 1] == u'*') return true;
    return mi == m.size();
}

} // namespace zandrel::rtl
