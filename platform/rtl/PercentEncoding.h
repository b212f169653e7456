#pragma once
// Percent-encoding for the addresses we build (HTTP request targets, smb:// URLs, mailto: fields,
// web addresses of uploaded files). Each grammar allows different characters to stand as they
// are, so the caller says which ones; every other byte becomes "%XX".
#include <string>
#include <string_view>

namespace zandrel::rtl {

// The unreserved characters of URI syntax (RFC 3986): letters, digits, "-", ".", "_" and "~".
bool IsUriUnreserved(unsigned char c);

// `text` with every byte for which `keep` is false written as "%" and two upper-case hex digits.
std::string PercentEncode(std::string_view text, bool (*keep)(unsigned char c));

// `text` with every "%XX" (two hex digits, either case) turned back into its byte; a "%" not
// followed by two hex digits stays as it is.
std::string PercentDecode(std::string_view text);

} // namespace zandrel::rtl
