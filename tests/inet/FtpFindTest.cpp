// Directory searches against a real server, in each listing style the layer reads.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>

#include "InetTestSupport.h"

namespace zandrel::inet::testing {
namespace {

enum class Style { Mlsd, UnixList, DosList };

std::string StyleName(const ::testing::TestParamInfo<Style>& info) {
    switch (info.param) {
    case Style::Mlsd: return "Mlsd";
    case Style::UnixList: return "UnixList";
    case Style::DosList: return "DosList";
    }
    return "?";
}

void SetModified(const std::filesystem::path& path, std::time_t when) {
    const timespec times[2] = {{when, 0}, {when, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

std::time_t UtcSeconds(int year, int month, int day, int hour, int minute, int second) {
    std::tm parts{};
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_hour = hour;
    parts.tm_min = minute;
    parts.tm_sec = second;
    return timegm(&parts);
}

rtl::SYSTEMTIME ToSystemTime(const rtl::FILETIME& ft) {
    rtl::SYSTEMTIME st;
    EXPECT_TRUE(rtl::FileTimeToSystemTime(ft, st));
    return st;
}

class FtpFind : public ::testing::TestWithParam<Style> {
protected:
    static test::FtpServerOptions OptionsFor(Style style) {
        test::FtpServerOptions options;
        options.mlsd = style == Style::Mlsd;
        options.dosListing = style == Style::DosList;
        return options;
    }

    FtpFind() : server_(OptionsFor(GetParam())) {
        server_.WriteFile("a.zip", "aaaa");
        server_.WriteFile("b.zip", "bb");
        server_.WriteFile("c.txt", "c");
        server_.WriteFile("with space.zip", "w");
        server_.WriteFile("sub/inner.txt", "inner");
        root_ = OpenRoot();
        connection_ = ConnectTo(root_.Get(), server_);
    }

    // Every name the search returns, in the server's order.
    std::vector<std::string> Find(const std::string& searchFile) {
        std::vector<std::string> names;
        WIN32_FIND_DATA entry;
        ScopedHandle find(FtpFindFirstFile(connection_.Get(), searchFile, entry, INTERNET_FLAG_RELOAD, 0));
        if (!find) return names;
        names.push_back(entry.cFileName);
        for (int guard = 0; guard < 1000 && InternetFindNextFile(find.Get(), entry); ++guard)
            names.push_back(entry.cFileName);
        EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
        std::sort(names.begin(), names.end());
        return names;
    }

    WIN32_FIND_DATA FindOne(const std::string& name) {
        WIN32_FIND_DATA entry;
        ScopedHandle find(FtpFindFirstFile(connection_.Get(), name, entry, 0, 0));
        EXPECT_TRUE(find) << name << ": " << GetLastError();
        return entry;
    }

    test::FtpServer server_;
    ScopedHandle root_;
    ScopedHandle connection_;
};

TEST_P(FtpFind, MasksAreFilteredHereNotByTheServer) {
    using Names = std::vector<std::string>;
    EXPECT_EQ(Find("*.zip"), (Names{"a.zip", "b.zip", "with space.zip"}));
    EXPECT_EQ(Find("?.txt"), (Names{"c.txt"}));
    EXPECT_EQ(Find(""), (Names{"a.zip", "b.zip", "c.txt", "sub", "with space.zip"}));
    EXPECT_EQ(Find("*.*"), Find(""));
    EXPECT_EQ(Find("sub/*.txt"), (Names{"inner.txt"}));
    EXPECT_EQ(Find("with space.zip"), (Names{"with space.zip"}));

    WIN32_FIND_DATA entry;
    EXPECT_EQ(FtpFindFirstFile(connection_.Get(), "A.ZIP", entry, 0, 0), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);

    const char* verb = GetParam() == Style::Mlsd ? "MLSD" : "LIST";
    EXPECT_GT(server_.CountCommands(verb), 0);
    EXPECT_FALSE(server_.AnyCommandContains("*"));
    EXPECT_FALSE(server_.AnyCommandContains("?"));
    if (GetParam() != Style::Mlsd) {
        EXPECT_EQ(server_.CountCommands("MLSD"), 0);
    }
}

TEST_P(FtpFind, EntriesCarryAttributesSizesAndTimes) {
    // 4 GiB + 123 bytes, sparse on disk: the size needs both halves.
    const std::filesystem::path big = server_.Root() / "big.bin";
    {
        const int fd = open(big.c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(ftruncate(fd, (4ll << 30) + 123), 0);
        close(fd);
    }
    SetModified(server_.Root() / "a.zip", UtcSeconds(2020, 2, 29, 13, 45, 30));
    const std::time_t recent = std::time(nullptr) - 3 * 3600;
    SetModified(server_.Root() / "b.zip", recent);

    const WIN32_FIND_DATA bigEntry = FindOne("big.bin");
    EXPECT_EQ(bigEntry.nFileSizeHigh, 1u);
    EXPECT_EQ(bigEntry.nFileSizeLow, 123u);
    EXPECT_EQ(bigEntry.dwFileAttributes, FILE_ATTRIBUTE_NORMAL);

    EXPECT_EQ(FindOne("sub").dwFileAttributes, FILE_ATTRIBUTE_DIRECTORY);

    const WIN32_FIND_DATA old = FindOne("a.zip");
    EXPECT_EQ(old.FileSize(), 4u);
    const rtl::SYSTEMTIME oldTime = ToSystemTime(old.ftLastWriteTime);
    EXPECT_EQ(oldTime.wYear, 2020);
    EXPECT_EQ(oldTime.wMonth, 2);
    EXPECT_EQ(oldTime.wDay, 29);
    // How much of the time of day survives depends on what the listing style shows.
    EXPECT_EQ(old.exactTime, GetParam() == Style::Mlsd);
    switch (GetParam()) {
    case Style::Mlsd:
        EXPECT_EQ(old.ftLastWriteTime.Ticks(), rtl::UnixToFileTime(UtcSeconds(2020, 2, 29, 13, 45, 30)).Ticks());
        break;
    case Style::DosList:
        EXPECT_EQ(oldTime.wHour, 13);
        EXPECT_EQ(oldTime.wMinute, 45);
        break;
    case Style::UnixList: // older than half a year: the date only
        EXPECT_EQ(oldTime.wHour, 0);
        break;
    }

    // A recent file shows its time of day in every style, to the minute at least.
    const int64_t recentSeconds = rtl::FileTimeToUnixSeconds(FindOne("b.zip").ftLastWriteTime);
    EXPECT_LE(recentSeconds, recent);
    EXPECT_GT(recentSeconds, recent - 60);
}

INSTANTIATE_TEST_SUITE_P(Styles, FtpFind, ::testing::Values(Style::Mlsd, Style::UnixList, Style::DosList), StyleName);

} // namespace
} // namespace zandrel::inet::testing
