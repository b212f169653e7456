#pragma once
// Turns a server's directory listing into find records: MLSD lines (RFC 3659, times in UTC) and
// LIST lines in the two styles servers use, Unix "ls -l" and DOS/IIS. Pure text in, records out.
#include <optional>
#include <string_view>
#include <vector>

#include "platform/inet/Inet.h"
#include "platform/rtl/DateTime.h"

namespace zandrel::inet::detail {

// Null for the "." and ".." entries (cdir, pdir) and for lines that are not entries.
std::optional<WIN32_FIND_DATA> ParseMlsdLine(std::string_view line);

// Null for "total 12" and for lines in neither style. `nowUtc` settles the year of a Unix line
// that shows a time instead of a year: the latest such date that is not more than a day ahead.
std::optional<WIN32_FIND_DATA> ParseListLine(std::string_view line, const rtl::SYSTEMTIME& nowUtc);

std::vector<WIN32_FIND_DATA> ParseListing(std::string_view text, bool mlsd, const rtl::SYSTEMTIME& nowUtc);

// FTP names are case-sensitive on most servers, so the mask is too: `*` any run, `?` one
// character. An empty mask, "*" and "*.*" take every name.
bool MatchesFtpMask(std::string_view name, std::string_view mask);

} // namespace zandrel::inet::detail
