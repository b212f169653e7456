#include "settings/Scramble.h"

#include <cstdio>

#include "platform/rtl/Utf16.h"

namespace zandrel::settings {
namespace {

uint16_t NextKey(uint16_t key, uint16_t scrambled) {
    return static_cast<uint16_t>((static_cast<uint16_t>(key + scrambled) * 52845u + 22719u) & 0xFFFFu);
}

[[noreturn]] void ThrowOutOfRange(char16_t unit, size_t index) {
    char code[8];
    std::snprintf(code, sizeof code, "%04X", static_cast<unsigned>(unit));
    throw ScrambleError("Cannot scramble U+" + std::string(code) + " at position " + std::to_string(index + 1) +
                        ": only characters up to U+00FF can be stored scrambled");
}

} // namespace

// The key stream is driven by the scrambled text in both directions, which is what makes Decrypt
// the inverse of Encrypt. The counter is not cut to 8 bits: a text of 256 characters or more is
// scrambled whole instead of leaving its tail unprocessed.
std::u16string Encrypt(std::u16string_view text, uint16_t key) {
    std::u16string result(text.size(), u'\0');
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] > 0xFF) ThrowOutOfRange(text[i], i);
        const auto scrambled = static_cast<char16_t>((text[i] & 0xFF) ^ (key >> 8));
        result[i] = scrambled;
        key = NextKey(key, scrambled);
    }
    return result;
}

std::u16string Decrypt(std::u16string_view text, uint16_t key) {
    std::u16string result(text.size(), u'\0');
    for (size_t i = 0; i < text.size(); ++i) {
        const auto scrambled = static_cast<uint16_t>(text[i] & 0xFF);
        result[i] = static_cast<char16_t>(scrambled ^ (key >> 8));
        key = NextKey(key, scrambled);
    }
    return result;
}

std::string Encrypt(std::string_view text, uint16_t key) { return rtl::ToUtf8(Encrypt(rtl::ToUtf16(text), key)); }

std::string Decrypt(std::string_view text, uint16_t key) { return rtl::ToUtf8(Decrypt(rtl::ToUtf16(text), key)); }

} // namespace zandrel::settings
