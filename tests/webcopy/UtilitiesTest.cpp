#include "webcopy/Utilities.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <latch>
#include <set>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "webcopy/LocalFile.h"

namespace zandrel::webcopy {
namespace {

namespace fs = std::filesystem;

TEST(WebCopyUtilities, ExtractUrlFileNameTakesThePartAfterTheLastSeparatorOfEitherKind) {
    const struct {
        const char* text;
        const char* expected;
    } cases[] = {
        {"host/dir/file.zip", "file.zip"},
        {"C:\\dir\\sub/file.txt", "file.txt"},
        {"a/b\\c", "c"},
        {"dir/", ""},
        {"dir\\", ""},
        {"name", "name"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(ExtractUrlFileName(c.text), c.expected) << c.text;
}

TEST(WebCopyUtilities, ToForwardSlashesChangesBackslashesOnly) {
    EXPECT_EQ(ToForwardSlashes("a\\b\\c"), "a/b/c");
    EXPECT_EQ(ToForwardSlashes("\\pub/in\\"), "/pub/in/");
    EXPECT_EQ(ToForwardSlashes(""), "");
}

TEST(WebCopyUtilities, JoinDirFileAddsOneSeparatorWhereNeeded) {
    const struct {
        const char* dir;
        const char* name;
        const char* expected;
    } cases[] = {
        {"", "a.txt", "a.txt"},
        {"/out/", "a.txt", "/out/a.txt"},
        {"/out", "a.txt", "/out/a.txt"},
        // A backslash is an ordinary character of a local name here, not a separator.
        {"/out\\", "a.txt", "/out\\/a.txt"},
    };
    for (const auto& c : cases) EXPECT_EQ(JoinDirFile(c.dir, c.name), c.expected) << c.dir;
}

TEST(WebCopyUtilities, StripFileExtIgnoresDotsInFolderNames) {
    EXPECT_EQ(StripFileExt("/out/report.zip"), "/out/report");
    EXPECT_EQ(StripFileExt("/my.dir/readme"), "/my.dir/readme");
    EXPECT_EQ(StripFileExt("/out/archive.tar.gz"), "/out/archive.tar");
    EXPECT_EQ(StripFileExt("plain"), "plain");
}

class WebCopyUtilitiesOnDisk : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() /
                ("webcopy-util-" + std::to_string(getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(root_);
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(root_, fs::perms::owner_all, ec);
        fs::remove_all(root_, ec);
    }
    std::string Path(const std::string& rest) const { return (root_ / rest).string(); }
    static void Touch(const std::string& path) { std::ofstream(path) << "x"; }

    fs::path root_;
};

TEST_F(WebCopyUtilitiesOnDisk, ForceDirTreeCreatesEveryMissingLevel) {
    EXPECT_TRUE(ForceDirTree(""));
    EXPECT_TRUE(ForceDirTree("/"));
    EXPECT_TRUE(ForceDirTree(Path("a/b/c/")));
    EXPECT_TRUE(DirExists(Path("a")));
    EXPECT_TRUE(DirExists(Path("a/b/c")));
    EXPECT_TRUE(ForceDirTree(Path("a/b/c"))); // already there
}

TEST_F(WebCopyUtilitiesOnDisk, ForceDirTreeStopsAtALevelThatCannotBeCreated) {
    Touch(Path("a")); // a file where a folder is wanted
    EXPECT_FALSE(ForceDirTree(Path("a/b/c")));
    EXPECT_FALSE(DirExists(Path("a/b")));
}

TEST_F(WebCopyUtilitiesOnDisk, DirExistsIsFalseForFilesAndMissingPaths) {
    Touch(Path("file"));
    EXPECT_FALSE(DirExists(Path("file")));
    EXPECT_FALSE(DirExists(Path("missing")));
    EXPECT_TRUE(DirExists(root_.string()));
}

TEST_F(WebCopyUtilitiesOnDisk, MakeUniqueFileNameNumbersFromOneAndSkipsTakenNames) {
    Touch(Path("report.zip"));
    EXPECT_EQ(MakeUniqueFileName(Path("report.zip")), Path("report(1).zip"));
    Touch(Path("report(1).zip"));
    EXPECT_EQ(MakeUniqueFileName(Path("report.zip")), Path("report(2).zip"));
    // The unchanged path is never offered, even when it is free.
    EXPECT_EQ(MakeUniqueFileName(Path("free.txt")), Path("free(1).txt"));

    fs::create_directories(Path("my.dir"));
    EXPECT_EQ(MakeUniqueFileName(Path("my.dir/readme")), Path("my.dir/readme(1)"));
}

TEST_F(WebCopyUtilitiesOnDisk, MakeUniqueFileNameNeverPicksAFolderOrADanglingLink) {
    fs::create_directories(Path("out(1).bin"));
    fs::create_symlink(Path("elsewhere/target"), Path("out(2).bin"));
    EXPECT_EQ(MakeUniqueFileName(Path("out.bin")), Path("out(3).bin"));
}

TEST_F(WebCopyUtilitiesOnDisk, MakeUniqueFileNameEndsWhenTheFolderIsMissing) {
    EXPECT_EQ(MakeUniqueFileName(Path("no/such/folder/x.txt")), Path("no/such/folder/x(1).txt"));
}

rtl::TDateTime Expected(int y, int mo, int d, int h, int mi, int s, int ms) {
    rtl::TDateTime date = 0, time = 0;
    EXPECT_TRUE(rtl::TryEncodeDate(y, mo, d, date));
    EXPECT_TRUE(rtl::TryEncodeTime(h, mi, s, ms, time));
    return date + time;
}

TEST(WebCopyUtilities, SystemTimeToDateEncodesTheRecordOrGivesNowForAnEmptyOne) {
    rtl::SYSTEMTIME leap;
    leap.wYear = 2016;
    leap.wMonth = 2;
    leap.wDay = 29;
    leap.wDayOfWeek = 6; // ignored
    leap.wHour = 13;
    leap.wMinute = 45;
    leap.wSecond = 30;
    leap.wMilliseconds = 250;
    EXPECT_DOUBLE_EQ(SystemTimeToDate(leap), Expected(2016, 2, 29, 13, 45, 30, 250));

    const rtl::TDateTime before = rtl::Now();
    const rtl::TDateTime now = SystemTimeToDate(rtl::SYSTEMTIME{});
    const rtl::TDateTime after = rtl::Now();
    EXPECT_GE(now, before);
    EXPECT_LE(now, after);

    rtl::SYSTEMTIME bad = leap;
    bad.wMonth = 13;
    EXPECT_THROW(SystemTimeToDate(bad), DateConversionError);
    bad = leap;
    bad.wHour = 24;
    EXPECT_THROW(SystemTimeToDate(bad), DateConversionError);
}

TEST(WebCopyUtilities, FileTimeToDateKeepsTheRecordsZone) {
    // 2016-02-29 13:45:30.250 as a FILETIME, taken without any zone shift.
    rtl::SYSTEMTIME st;
    st.wYear = 2016;
    st.wMonth = 2;
    st.wDay = 29;
    st.wHour = 13;
    st.wMinute = 45;
    st.wSecond = 30;
    st.wMilliseconds = 250;
    rtl::FILETIME ft;
    ASSERT_TRUE(rtl::SystemTimeToFileTime(st, ft));
    EXPECT_DOUBLE_EQ(FileTimeToDate(ft), Expected(2016, 2, 29, 13, 45, 30, 250));
}

TEST(WebCopyUtilities, InetErrorTextGivesTheLayersTextWithItsLineBreak) {
    const std::string text = InetErrorText(12029); // cannot connect
    ASSERT_GE(text.size(), 2u);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    EXPECT_EQ(InetErrorText(0xDEADBEEF), "");
}

// Transfers on several threads at once (components in threads of their own) each get names of
// their own for their files in transit: two that drew the same name would write one file.
TEST(WebCopyUtilities, TemporaryNamesDrawnOnManyThreadsAtOnceNeverRepeat) {
    constexpr int kThreads = 4;
    constexpr int kNames = 100000;
    std::vector<std::vector<std::string>> drawn(kThreads);
    {
        std::latch start(kThreads);
        std::vector<std::jthread> threads;
        for (auto& names : drawn)
            threads.emplace_back([&names, &start] {
                names.reserve(kNames);
                start.arrive_and_wait();
                for (int i = 0; i < kNames; ++i) names.push_back(TransferTemporaryName());
            });
    }
    std::set<std::string> distinct;
    for (const auto& names : drawn) distinct.insert(names.begin(), names.end());
    EXPECT_EQ(distinct.size(), size_t{kThreads} * kNames);
    EXPECT_TRUE(drawn[0][0].starts_with(".zandrel-") && drawn[0][0].ends_with(".part")) << drawn[0][0];
}

} // namespace
} // namespace zandrel::webcopy
