#include "platform/rtl/Wildcard.h"

#include <algorithm>
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

namespace {

enum class Token : char { Char, Star, StarToLastDot, OptionalChar, DotOrEnd };

struct MaskPart {
    Token token;
    char16_t ch = 0; // Token::Char only, folded
};

std::vector<MaskPart> ParseFileMask(const std::u16string& mask) {
    std::vector<MaskPart> parts;
    for (size_t i = 0; i < mask.size(); ++i) {
        const char16_t c = mask[i];
        const char16_t next = i + 1 < mask.size() ? mask[i + 1] : u'\0';
        if (c == u'?') {
            parts.push_back({Token::OptionalChar});
        } else if (c == u'*') {
            parts.push_back({next == u'.' ? Token::StarToLastDot : Token::Star});
        } else if (c == u'.' && (next == u'\0' || next == u'?' || next == u'*')) {
            parts.push_back({Token::DotOrEnd});
        } else {
            parts.push_back({Token::Char, Fold(c)});
        }
    }
    return parts;
}

} // namespace

bool MatchesFileMask(std::string_view name, std::string_view mask) {
    if (mask.empty()) return false;
    if (mask == "*.*" || mask == "*") return true;
    const std::u16string n = ToUtf16(name);
    const std::vector<MaskPart> parts = ParseFileMask(ToUtf16(mask));
    const size_t lastDot = n.rfind(u'.');
    // Every position of the mask the name may have reached so far, advanced one character at a
    // time: linear in the name times the mask, whatever the mask holds.
    std::vector<char> states(parts.size() + 1, 0), next(parts.size() + 1, 0);
    states[0] = 1;
    auto close = [&](std::vector<char>& set, size_t at) {
        const bool atEnd = at == n.size();
        const bool atDot = !atEnd && n[at] == u'.';
        for (size_t p = 0; p < parts.size(); ++p) {
            if (!set[p]) continue;
            const Token t = parts[p].token;
            if (t == Token::Star || t == Token::StarToLastDot || (t == Token::OptionalChar && (atEnd || atDot)) ||
                (t == Token::DotOrEnd && atEnd))
                set[p + 1] = 1;
        }
    };
    for (size_t i = 0; i < n.size(); ++i) {
        close(states, i);
        std::fill(next.begin(), next.end(), 0);
        const char16_t c = n[i];
        bool any = false;
        for (size_t p = 0; p < parts.size(); ++p) {
            if (!states[p]) continue;
            switch (parts[p].token) {
            case Token::Char:
                if (Fold(c) == parts[p].ch) next[p + 1] = 1;
                break;
            case Token::Star:
                next[p] = 1;
                break;
            case Token::StarToLastDot:
                if (c != u'.' || i != lastDot) next[p] = 1;
                break;
            case Token::OptionalChar:
                if (c != u'.') next[p + 1] = 1;
                break;
            case Token::DotOrEnd:
                if (c == u'.') next[p + 1] = 1;
                break;
            }
        }
        states.swap(next);
        for (char s : states) any = any || s;
        if (!any) return false;
    }
    close(states, n.size());
    return states[parts.size()] != 0;
}

} // namespace zandrel::rtl
