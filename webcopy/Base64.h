#pragma once
// Base64 (RFC 4648 alphabet, "=" padding, no line breaks) over the low 8 bits of each UTF-16
// character of a text, as the HTTP Basic credentials are built.
#include <string>

namespace zandrel::webcopy {

// Each UTF-16 character of `Text` gives one octet, its low 8 bits (U+0141 encodes as U+0041).
std::string Base64Encode(const std::string& Text);
// Groups of four characters give up to three octets, each returned as the character of that
// code (U+0000..U+00FF, in UTF-8); one to three trailing characters are ignored. Characters
// outside the alphabet count as 64, without complaint, like "=".
std::string Base64Decode(const std::string& Text);

} // namespace zandrel::webcopy
