// Listing lines as real servers write them, and the client-side mask.
#include <gtest/gtest.h>

#include "platform/inet/ListingParser.h"

namespace zandrel::inet::detail {
namespace {

rtl::SYSTEMTIME Utc(int year, int month, int day, int hour = 0, int minute = 0, int second = 0, int ms = 0) {
    return rtl::MakeSystemTime(year, month, day, hour, minute, second, ms);
}

uint64_t Ticks(const rtl::SYSTEMTIME& st) {
    rtl::FILETIME ft;
    EXPECT_TRUE(rtl::SystemTimeToFileTime(st, ft));
    return ft.Ticks();
}

struct LineCase {
    const char* line;
    const char* name;
    DWORD attributes;
    uint64_t size;
    rtl::SYSTEMTIME time;
};

const rtl::SYSTEMTIME kNow = Utc(2024, 6, 15, 12, 0);

TEST(ListingParser, ReadsUnixAndDosLines) {
    const LineCase cases[] = {
        {"-rw-r--r--   1 owner    group        1234 Feb 29  2020 report.zip", "report.zip", FILE_ATTRIBUTE_NORMAL, 1234, Utc(2020, 2, 29)},
        {"drwxr-xr-x   2 owner    group        4096 Jun 14 09:05 sub", "sub", FILE_ATTRIBUTE_DIRECTORY, 4096, Utc(2024, 6, 14, 9, 5)},
        {"-rw-r--r--   1 owner    group  5368709243 Jan 02  2023 big file.bin", "big file.bin", FILE_ATTRIBUTE_NORMAL, 5368709243ull, Utc(2023, 1, 2)},
        {"lrwxrwxrwx   1 owner    group          10 Mar 03  2021 link -> target.txt", "link", FILE_ATTRIBUTE_NORMAL, 10, Utc(2021, 3, 3)},
        {"-rw-r--r--   1 ftp        77 Apr 01  2022  leading space", " leading space", FILE_ATTRIBUTE_NORMAL, 77, Utc(2022, 4, 1)},
        {"-rw-r--r--   1 owner group 5 Jun 14 23:59 crlf.txt\r", "crlf.txt", FILE_ATTRIBUTE_NORMAL, 5, Utc(2024, 6, 14, 23, 59)},
        {"-rw-r--r--   1 owner group 5 Jun 14 23:59 trailing  \r", "trailing  ", FILE_ATTRIBUTE_NORMAL, 5, Utc(2024, 6, 14, 23, 59)},
        {"-rw-r--r--   1 owner group 5 Jun 14 23:59 caf\xe9", "caf\xe9", FILE_ATTRIBUTE_NORMAL, 5, Utc(2024, 6, 14, 23, 59)},
        {"01-15-24  03:45PM                 12 dos trailing ", "dos trailing ", FILE_ATTRIBUTE_NORMAL, 12, Utc(2024, 1, 15, 15, 45)},
        {"01-15-24  03:45PM       <DIR>          Folder Name", "Folder Name", FILE_ATTRIBUTE_DIRECTORY, 0, Utc(2024, 1, 15, 15, 45)},
        {"12-31-99  12:05AM                 2048 old.txt", "old.txt", FILE_ATTRIBUTE_NORMAL, 2048, Utc(1999, 12, 31, 0, 5)},
        {"02-29-2020  12:30PM           5368709243 big.bin", "big.bin", FILE_ATTRIBUTE_NORMAL, 5368709243ull, Utc(2020, 2, 29, 12, 30)},
    };
    for (const LineCase& c : cases) {
        SCOPED_TRACE(c.line);
        const auto entry = ParseListLine(c.line, kNow);
        ASSERT_TRUE(entry.has_value());
        EXPECT_EQ(entry->cFileName, c.name);
        EXPECT_EQ(entry->dwFileAttributes, c.attributes);
        EXPECT_EQ(entry->FileSize(), c.size);
        EXPECT_EQ(entry->nFileSizeHigh, static_cast<DWORD>(c.size >> 32));
        EXPECT_EQ(entry->ftLastWriteTime.Ticks(), Ticks(c.time));
    }
}

TEST(ListingParser, SkipsLinesThatAreNotEntries) {
    for (const char* line : {"total 12", "", "\r", "drwxr-xr-x 2 owner group", "garbage line here",
                             "-rw-r--r-- 1 o g 12 Foo 01 2020 x", "13-45-24  03:45PM  12 bad-date",
                             "01-15-24  13:45PM  12 bad-clock", "-rw-r--r-- 1 o g 12 Jan 01 2020",
                             // Devices, pipes and sockets are not files to fetch.
                             "crw-rw-rw- 1 root root 1, 3 Jan 01 2020 null", "brw-rw---- 1 root disk 8, 0 Jan 01 2020 sda",
                             "prw-r--r-- 1 o g 0 Jan 01 2020 fifo", "srwxr-xr-x 1 o g 0 Jan 01 2020 socket",
                             // A link without a name of its own.
                             "lrwxrwxrwx 1 o g 4096 Mar 01  2020  -> sub"}) {
        SCOPED_TRACE(line);
        EXPECT_FALSE(ParseListLine(line, kNow).has_value());
    }
}

TEST(ListingParser, UnixLinesWithoutYearTakeTheLatestYearNotInTheFuture) {
    const rtl::SYSTEMTIME now = Utc(2024, 1, 10, 12, 0);
    const struct {
        const char* line;
        int year;
    } cases[] = {
        {"-rw-r--r-- 1 o g 1 Dec 31 23:00 a", 2023},
        {"-rw-r--r-- 1 o g 1 Jan 10 11:00 a", 2024},
        {"-rw-r--r-- 1 o g 1 Jan 11 11:00 a", 2024}, // within a day: clocks differ
        {"-rw-r--r-- 1 o g 1 Feb 01 00:00 a", 2023},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const auto entry = ParseListLine(c.line, now);
        ASSERT_TRUE(entry.has_value());
        rtl::SYSTEMTIME st;
        ASSERT_TRUE(rtl::FileTimeToSystemTime(entry->ftLastWriteTime, st));
        EXPECT_EQ(st.wYear, c.year);
    }
}

TEST(ListingParser, ReadsMlsdFactsAndSkipsTheDotEntries) {
    const std::string listing =
        "type=cdir;modify=20240101000000; /home\r\n"
        "type=pdir;modify=20240101000000; ..\r\n"
        "type=file;size=5368709243;modify=20200229134530.25;UNIX.mode=0644; name; with = signs.zip\r\n"
        "Type=DIR;Modify=20240614090500; sub\r\n"
        "type=OS.unix=slink:/x;size=3; link\r\n"
        "type=OS.unix=chr-1/3;modify=20240101000000; null\r\n"
        "type=OS.unix=blk-8/0;modify=20240101000000; sda\r\n"
        "type=file;size=1; trailing \r\n";
    const auto entries = ParseListing(listing, true, kNow);
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].cFileName, "name; with = signs.zip");
    EXPECT_EQ(entries[0].FileSize(), 5368709243ull);
    EXPECT_EQ(entries[0].dwFileAttributes, FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(entries[0].ftLastWriteTime.Ticks(), Ticks(Utc(2020, 2, 29, 13, 45, 30, 250)));
    EXPECT_EQ(entries[1].cFileName, "sub");
    EXPECT_EQ(entries[1].dwFileAttributes, FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(entries[2].cFileName, "link");
    EXPECT_EQ(entries[2].dwFileAttributes, FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(entries[3].cFileName, "trailing ");
    // A listed time is exact only where the server gave one in full.
    EXPECT_TRUE(entries[0].exactTime);
    EXPECT_TRUE(entries[1].exactTime);
    EXPECT_FALSE(entries[2].exactTime);
}

TEST(ListingParser, MasksAreCaseSensitiveGlobs) {
    const struct {
        const char* name;
        const char* mask;
        bool match;
    } cases[] = {
        {"a.zip", "*.zip", true},       {"a.zip", "*.ZIP", false},     {"a.zip", "", true},
        {"noext", "*.*", true},         {"a.zip", "?.zip", true},      {"ab.zip", "?.zip", false},
        {"Demo_1.zip", "Demo*", true},  {"xDemo", "Demo*", false},     {"a.zip.bak", "*.zip", false},
        {"ä.txt", "?.txt", true},       {"aXbXc", "a*b*c", true},      {"abc", "a*b*c*d", false},
        {"Demo.zip", "Demo.zip", true}, {"demo.zip", "Demo.zip", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " ~ " + c.mask);
        EXPECT_EQ(MatchesFtpMask(c.name, c.mask), c.match);
    }
}

} // namespace
} // namespace zandrel::inet::detail
