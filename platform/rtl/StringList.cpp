#include "platform/rtl/StringList.h"

#include <algorithm>

namespace zandrel::rtl {
namespace {

bool IsBlank(char c) { return c >= 1 && c <= ' '; }

} // namespace

int StringList::IndexOf(std::string_view item) const {
    const auto it = std::find(items_.begin(), items_.end(), item);
    return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

void StringList::SetDelimitedText(std::string_view text) {
    Clear();
    if (const auto nul = text.find('\0'); nul != std::string_view::npos) text = text.substr(0, nul);
    size_t p = 0;
    const size_t end = text.size();
    auto skipBlanks = [&] {
        if (!strict_)
            while (p < end && IsBlank(text[p])) ++p;
    };
    skipBlanks();
    while (p < end) {
        std::string item;
        if (text[p] == quote_) {
            ++p;
            while (p < end) {
                if (text[p] == quote_) {
                    if (p + 1 < end && text[p + 1] == quote_) {
                        item += quote_;
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                item += text[p++];
            }
        } else {
            const size_t start = p;
            while (p < end && text[p] != delimiter_ && (strict_ || !IsBlank(text[p]))) ++p;
            item.assign(text.substr(start, p - start));
        }
        Add(std::move(item));
        skipBlanks();
        if (p < end && text[p] == delimiter_) {
            if (p + 1 == end) Add({});
            ++p;
            skipBlanks();
        }
    }
}

std::string StringList::DelimitedText() const {
    // A lone empty item would join to the empty text, which splits into no items at all.
    if (items_.size() == 1 && items_[0].empty()) return std::string(2, quote_);
    std::string out;
    for (size_t i = 0; i < items_.size(); ++i) {
        if (i) out += delimiter_;
        const std::string& s = items_[i];
        const bool quote = std::any_of(s.begin(), s.end(), [&](char c) {
            return c == delimiter_ || c == quote_ || (!strict_ && IsBlank(c));
        });
        if (!quote) {
            out += s;
            continue;
        }
        out += quote_;
        for (char c : s) {
            if (c == quote_) out += quote_;
            out += c;
        }
        out += quote_;
    }
    return out;
}

} // namespace zandrel::rtl
