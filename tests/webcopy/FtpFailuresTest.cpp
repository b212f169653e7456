// Transfers that did not do all of their work fail, with the error event and the reason: short or
// broken downloads whatever the server's final reply, listings that did not arrive whole or name
// a folder that does not exist, and multi-file items where one file failed.
#include <gtest/gtest.h>

#include "FtpTestSupport.h"

namespace zandrel::webcopy {
namespace {

using testing::AddFtpItem;
using testing::Bytes;
using testing::FtpRoutines;
using testing::FtpWebCopy;
using testing::Log;
using testing::Logged;
using testing::ReadLocal;
namespace fs = std::filesystem;

TEST(FtpFailures, ADownloadThatEndsShortOfTheAnnouncedSizeFails) {
    struct Case {
        std::string what;
        std::vector<std::string> rules;
        bool size; // the server answers SIZE
    };
    const std::vector<Case> cases{
        {"short data, then 226; SIZE known", {"RETR short 5000"}, true},
        {"short data, then 226; size from the 150 reply", {"RETR short 5000", "RETR announce"}, false},
        {"short data, then 226; size from the listing only", {"RETR short 5000"}, false},
        {"broken data connection", {"RETR break 5000"}, true},
        {"failed transfer reply", {"RETR enddata 451 Local error in processing."}, true},
    };
    for (const Case& c : cases) {
        test::FtpServerOptions options;
        options.rules = c.rules;
        options.size = c.size;
        test::FtpServer server(options);
        server.WriteFile("d.bin", Bytes(20000));
        const fs::path out = fs::temp_directory_path() / ("zandrel-short-" + std::to_string(::getpid()));
        testing::WriteLocal(out / "d.bin", "the copy from last time");
        FtpWebCopy wc;
        AddFtpItem(wc, server, wpFtp, "d.bin", out.string());
        wc.Execute();
        EXPECT_FALSE(wc.Items[0].Success()) << c.what;
        EXPECT_EQ(wc.log, Log({"start 0", "error 4", "errorinfo 4 Error reading source file d.bin", "done 0",
                               "copydone"}))
            << c.what;
        ASSERT_EQ(wc.reasons.size(), 1u) << c.what;
        EXPECT_FALSE(wc.reasons[0].empty()) << c.what;
        // The local copy is replaced only by a complete one; nothing short stays beside it.
        EXPECT_EQ(ReadLocal(out / "d.bin"), "the copy from last time") << c.what;
        EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 1) << c.what;
        fs::remove_all(out);
    }
}

// A complete download replaces the old copy in one step, and the copy keeps the old one's mode.
TEST(FtpFailures, AReplacedLocalCopyKeepsItsPermissions) {
    test::FtpServer server;
    server.WriteFile("d.bin", Bytes(20000));
    const fs::path out = fs::temp_directory_path() / ("zandrel-mode-" + std::to_string(::getpid()));
    testing::WriteLocal(out / "d.bin", "the copy from last time");
    fs::permissions(out / "d.bin", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    FtpWebCopy wc;
    AddFtpItem(wc, server, wpFtp, "d.bin", out.string());
    wc.Execute();
    EXPECT_TRUE(wc.Items[0].Success());
    EXPECT_EQ(ReadLocal(out / "d.bin"), Bytes(20000));
    EXPECT_EQ(fs::status(out / "d.bin").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::remove_all(out);
}

TEST(FtpFailures, AListingThatDidNotArriveWholeFailsAndKeepsTheListsItHad) {
    struct Case {
        std::string what;
        std::vector<std::string> rules;
        std::string reasonPart;
    };
    const std::vector<Case> cases{
        {"451 after the data", {"MLSD enddata 451 Local error.", "LIST enddata 451 Local error."}, "451"},
        {"refused", {"MLSD reply 450 Busy.", "LIST reply 450 Busy."}, "450"},
        {"broken data connection", {"MLSD break 40", "LIST break 40"}, ""},
    };
    for (const Case& c : cases) {
        test::FtpServerOptions options;
        options.rules = c.rules;
        test::FtpServer server(options);
        server.WriteFile("pub/Demo.zip", "taken");
        server.WriteFile("pub/Demo_1.zip", "taken");
        FtpWebCopy wc;
        TZandrelWebCopyItem& item = AddFtpItem(wc, server, wpFtpList, "pub/*.zip");
        wc.Execute();
        EXPECT_FALSE(item.Success()) << c.what;
        EXPECT_EQ(wc.log, Log({"start 0", "error 4", "errorinfo 4 Error reading source file pub/*.zip", "done 0",
                               "copydone"}))
            << c.what;
        // Never an empty list that would call taken names free.
        EXPECT_EQ(item.FileList(), nullptr) << c.what;
        ASSERT_EQ(wc.reasons.size(), 1u) << c.what;
        EXPECT_NE(wc.reasons[0].find(c.reasonPart), std::string::npos) << c.what << ": " << wc.reasons[0];
    }
}

TEST_F(FtpRoutines, AListingOfAFolderThatDoesNotExistFails) {
    server_.WriteFile("Demo.zip", "in the login folder");
    FtpWebCopy wc;
    TZandrelWebCopyItem& item = Add(wc, wpFtpList, "nosuch/*.zip");
    wc.Execute();
    EXPECT_FALSE(item.Success());
    EXPECT_EQ(wc.log, Log({"start 0", "notfound nosuch/*.zip", "done 0", "copydone"}));
    EXPECT_EQ(item.FileList(), nullptr); // the login folder was not listed instead
}

TEST(FtpFailures, AMultiFileDownloadWithAFailedFileFailsButFetchesTheOthers) {
    test::FtpServerOptions options;
    options.rules = {"RETR:b.txt short 10"};
    test::FtpServer server(options);
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) server.WriteFile(std::string("out/") + name, Bytes(3000));
    const fs::path in = fs::temp_directory_path() / ("zandrel-multi-" + std::to_string(::getpid()));
    FtpWebCopy wc;
    AddFtpItem(wc, server, wpMultiFtp, "out/*.txt", in.string());
    wc.Execute();
    EXPECT_FALSE(wc.Items[0].Success());
    EXPECT_FALSE(wc.Items[0].Cancelled());
    EXPECT_TRUE(Logged(wc.log, "errorinfo 4 Error reading source file b.txt"));
    EXPECT_EQ(ReadLocal(in / "a.txt"), Bytes(3000));
    EXPECT_EQ(ReadLocal(in / "c.txt"), Bytes(3000));
    fs::remove_all(in);
}

TEST_F(FtpRoutines, AMultiFileDownloadListsItsFolderOnce) {
    for (int i = 0; i < 6; ++i) server_.WriteFile("out/f" + std::to_string(i) + ".txt", "x");
    FtpWebCopy wc;
    Add(wc, wpMultiFtp, "out/*.txt", Local("in")).CopyNewerOnly = true;
    wc.Execute();
    EXPECT_TRUE(wc.Items[0].Success());
    for (int i = 0; i < 6; ++i) EXPECT_EQ(ReadLocal(local_ / "in" / ("f" + std::to_string(i) + ".txt")), "x");
    EXPECT_EQ(server_.CountCommands("MLSD") + server_.CountCommands("LIST"), 1);
}

TEST(FtpFailures, ErrorsSayWhy) {
    struct Case {
        std::string what;
        std::vector<std::string> rules;
        std::string password;
        std::string reasonPart;
    };
    const std::vector<Case> cases{
        {"wrong password", {}, "wrong", "530"},
        {"refused folder", {"MKD reply 550 Permission denied."}, "secret", "550 Permission denied"},
    };
    for (const Case& c : cases) {
        test::FtpServerOptions options;
        options.rules = c.rules;
        test::FtpServer server(options);
        const fs::path src = fs::temp_directory_path() / ("zandrel-why-" + std::to_string(::getpid()));
        testing::WriteLocal(src / "a.txt", "a");
        FtpWebCopy wc;
        AddFtpItem(wc, server, wpFtpUpload, (src / "a.txt").string(), "new").FTPPassword = c.password;
        wc.Execute();
        EXPECT_FALSE(wc.Items[0].Success()) << c.what;
        ASSERT_EQ(wc.reasons.size(), 1u) << c.what;
        EXPECT_NE(wc.reasons[0].find(c.reasonPart), std::string::npos) << c.what << ": " << wc.reasons[0];
        fs::remove_all(src);
    }
}

} // namespace
} // namespace zandrel::webcopy
