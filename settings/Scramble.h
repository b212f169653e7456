#pragma once
// The small stream cipher that keeps the FTP user name and password from being stored as plain
// text. It is obfuscation, not protection: the key is fixed and known.
//
// Only the low 8 bits of each character take part, so the scrambled text holds characters U+0000
// to U+00FF only (U+0000 included: the store keeps such strings whole). Texts of any length are
// scrambled in full; the first 255 characters come out as they always have.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/rtl/Error.h"

namespace zandrel::settings {

// A text that the cipher cannot carry: a character above U+00FF would lose its high bits and come
// back as another character.
class ScrambleError : public rtl::Error {
public:
    using rtl::Error::Error;
};

// UTF-16 code units in and out. Encrypt throws ScrambleError for a unit above 0xFF; Decrypt takes
// the low 8 bits of every unit, as stored values have always been read.
std::u16string Encrypt(std::u16string_view text, uint16_t key);
std::u16string Decrypt(std::u16string_view text, uint16_t key);

// The same over UTF-8 text.
std::string Encrypt(std::string_view text, uint16_t key);
std::string Decrypt(std::string_view text, uint16_t key);

} // namespace zandrel::settings
