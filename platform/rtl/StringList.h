#pragma once
// An ordered list of strings with the runtime's delimited-text rule: the form in which the
// settings keep lists (ZIP patterns, e-mail addresses) and in which the options dialog edits them.
#include <string>
#include <string_view>
#include <vector>

namespace zandrel::rtl {

class StringList {
public:
    int Count() const { return static_cast<int>(items_.size()); }
    const std::string& operator[](int index) const { return items_.at(static_cast<size_t>(index)); }
    const std::vector<std::string>& Items() const { return items_; }
    void Add(std::string item) { items_.push_back(std::move(item)); }
    void Clear() { items_.clear(); }
    // Exact, case-sensitive lookup; -1 when absent.
    int IndexOf(std::string_view item) const;

    char Delimiter() const { return delimiter_; }
    void SetDelimiter(char delimiter) { delimiter_ = delimiter; }
    char QuoteChar() const { return quote_; }
    void SetQuoteChar(char quote) { quote_ = quote; }
    bool StrictDelimiter() const { return strict_; }
    void SetStrictDelimiter(bool strict) { strict_ = strict; }

    // Replaces the items by those of `text`. Items end at the delimiter; unless the delimiter is
    // strict, characters 1 to 32 end items too and runs of them around items are skipped. An item
    // that starts with the quote character runs to the matching quote (a doubled quote stands for
    // one) and loses its quotes; an unterminated quote takes the rest of the text. Two delimiters
    // in a row give an empty item, a delimiter at the very end a trailing empty one. A NUL
    // character ends the text, as it ended the runtime's C string.
    void SetDelimitedText(std::string_view text);
    // The items joined by the delimiter; items holding the delimiter, the quote or (non-strict)
    // characters 1 to 32 are quoted, and a list of one empty item is two quotes, so
    // SetDelimitedText(DelimitedText()) gives the items back.
    std::string DelimitedText() const;

private:
    std::vector<std::string> items_;
    char delimiter_ = ',';
    char quote_ = '"';
    bool strict_ = false;
};

} // namespace zandrel::rtl
