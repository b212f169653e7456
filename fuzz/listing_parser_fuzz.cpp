// A directory listing is whatever the server sends. The parser must take any bytes without
// crashing, report only files and directories with names it did not invent, and keep every name
// a byte-for-byte part of its line; the name mask must match any name in bounded time.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/inet/ListingParser.h"

using namespace zandrel::inet;

namespace {

[[noreturn]] void Fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "%s: %s\n", what, detail.c_str());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const bool mlsd = data[0] & 1;
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    zandrel::rtl::SYSTEMTIME now;
    now.wYear = 2024;
    now.wMonth = 2;
    now.wDay = 29;
    now.wHour = 12;

    for (const WIN32_FIND_DATA& entry : detail::ParseListing(text, mlsd, now)) {
        if (entry.cFileName.empty()) Fail("an entry without a name", "");
        if (entry.cFileName.find('\n') != std::string::npos) Fail("a name across lines", entry.cFileName);
        if (text.find(entry.cFileName) == std::string_view::npos) Fail("a name not in the listing", entry.cFileName);
        if (entry.dwFileAttributes != FILE_ATTRIBUTE_NORMAL && entry.dwFileAttributes != FILE_ATTRIBUTE_DIRECTORY)
            Fail("an entry that is neither file nor directory", entry.cFileName);
        // The mask comes from a job; a name from the server. Neither may make matching explode.
        const std::string_view mask = text.substr(0, std::min<size_t>(text.size(), 64));
        (void)detail::MatchesFtpMask(entry.cFileName, mask);
    }
    return 0;
}
