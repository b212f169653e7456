#include "webcopy/Base64.h"

#include <array>
#include <cstdint>

#include "platform/rtl/Utf16.h"

namespace zandrel::webcopy {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Values of the alphabet's characters; every other code (also "=", NUL and codes above 127,
// which the table does not cover) reads as 64.
constexpr std::array<uint8_t, 128> MakeDecodeTable() {
    std::array<uint8_t, 128> table{};
    for (auto& value : table) value = 64;
    for (uint8_t i = 0; i < 64; ++i) table[static_cast<unsigned char>(kAlphabet[i])] = i;
    return table;
}

uint8_t Value(char16_t c) {
    static constexpr std::array<uint8_t, 128> table = MakeDecodeTable();
    return c < table.size() ? table[c] : 64;
}

} // namespace

std::string Base64Encode(const std::string& Text) {
    const std::u16string wide = rtl::ToUtf16(Text);
    std::string out;
    out.reserve((wide.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= wide.size(); i += 3) {
        const unsigned a = wide[i] & 0xFF, b = wide[i + 1] & 0xFF, c = wide[i + 2] & 0xFF;
        out += kAlphabet[a >> 2];
        out += kAlphabet[((a << 4) | (b >> 4)) & 63];
        out += kAlphabet[((b << 2) | (c >> 6)) & 63];
        out += kAlphabet[c & 63];
    }
    if (wide.size() - i == 1) {
        const unsigned a = wide[i] & 0xFF;
        out += kAlphabet[a >> 2];
        out += kAlphabet[(a << 4) & 63];
        out += "==";
    } else if (wide.size() - i == 2) {
        const unsigned a = wide[i] & 0xFF, b = wide[i + 1] & 0xFF;
        out += kAlphabet[a >> 2];
        out += kAlphabet[((a << 4) | (b >> 4)) & 63];
        out += kAlphabet[(b << 2) & 63];
        out += '=';
    }
    return out;
}

std::string Base64Decode(const std::string& Text) {
    const std::u16string wide = rtl::ToUtf16(Text);
    std::u16string octets;
    for (size_t i = 0; i + 4 <= wide.size(); i += 4) {
        const unsigned d1 = Value(wide[i]), d2 = Value(wide[i + 1]), d3 = Value(wide[i + 2]), d4 = Value(wide[i + 3]);
        octets += static_cast<char16_t>(((d1 << 2) | (d2 >> 4)) & 255);
        if (wide[i + 2] != u'=') octets += static_cast<char16_t>(((d2 << 4) | (d3 >> 2)) & 255);
        if (wide[i + 3] != u'=') octets += static_cast<char16_t>(((d3 << 6) | d4) & 255);
    }
    return rtl::ToUtf8(octets);
}

} // namespace zandrel::webcopy
