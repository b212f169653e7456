// Lists in the settings (ZIP patterns, e-mail addresses) are delimited text typed by people. The
// splitting must take any text, and the joined form of any list must split back into that list,
// whatever the delimiter, quote character and strictness.
//
// Input layout: byte 0 the delimiter, byte 1 the quote character, byte 2 bit 0 strictness, the
// rest the text.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/rtl/StringList.h"

using zandrel::rtl::StringList;

namespace {

std::string Show(const StringList& list) {
    std::string out;
    for (const auto& item : list.Items()) out += "[" + item + "]";
    return out;
}

void Configure(StringList& list, char delimiter, char quote, bool strict) {
    list.SetDelimiter(delimiter);
    list.SetQuoteChar(quote);
    list.SetStrictDelimiter(strict);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const char delimiter = static_cast<char>(data[0]);
    const char quote = static_cast<char>(data[1]);
    const bool strict = (data[2] & 1) != 0;
    const std::string_view text(reinterpret_cast<const char*>(data) + 3, size - 3);

    StringList list;
    Configure(list, delimiter, quote, strict);
    list.SetDelimitedText(text);

    // Round trip through the joined form. A NUL ends the text, and a delimiter or quote that is NUL
    // or the same character cannot frame anything, so those settings have no joined form.
    if (delimiter == '\0' || quote == '\0' || delimiter == quote) return 0;
    if (!strict && (static_cast<unsigned char>(delimiter) <= ' ' || static_cast<unsigned char>(quote) <= ' '))
        return 0;
    const std::string joined = list.DelimitedText();
    StringList again;
    Configure(again, delimiter, quote, strict);
    again.SetDelimitedText(joined);
    if (again.Items() != list.Items()) {
        std::fprintf(stderr, "list %s joined as '%s' splits into %s\n", Show(list).c_str(), joined.c_str(),
                     Show(again).c_str());
        std::abort();
    }
    return 0;
}
