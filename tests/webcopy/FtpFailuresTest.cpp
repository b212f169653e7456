// Transfers that did not do all of their work fail, with the error event and the reason: short or
// broken downloads whatever the server's final reply, listings that did not arrive whole or name
// a folder that does not exist, and multi-file items where one file failed.
#include <chrono>

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
        int32_t port = 0; // 0: the server's own
    };
    const std::vector<Case> cases{
        {"wrong password", {}, "wrong", "530"},
        {"refused folder", {"MKD reply 550 Permission denied."}, "secret", "550 Permission denied"},
        // Cut to 16 bits it would be 4464, another server's port.
        {"port beyond 16 bits", {}, "secret", "port 70000 is not a port number", 70000},
    };
    for (const Case& c : cases) {
        test::FtpServerOptions options;
        options.rules = c.rules;
        test::FtpServer server(options);
        const fs::path src = fs::temp_directory_path() / ("zandrel-why-" + std::to_string(::getpid()));
        testing::WriteLocal(src / "a.txt", "a");
        FtpWebCopy wc;
        TZandrelWebCopyItem& item = AddFtpItem(wc, server, wpFtpUpload, (src / "a.txt").string(), "new");
        item.FTPPassword = c.password;
        if (c.port != 0) item.FTPPort = c.port;
        wc.Execute();
        EXPECT_FALSE(wc.Items[0].Success()) << c.what;
        ASSERT_EQ(wc.reasons.size(), 1u) << c.what;
        EXPECT_NE(wc.reasons[0].find(c.reasonPart), std::string::npos) << c.what << ": " << wc.reasons[0];
        fs::remove_all(src);
    }
}

// Each reason is the reply to the command that failed. Only a refusal of the file itself (a 5xx
// reply) is "not found"; a server that gives up, hangs or hangs up is a read error.
TEST(FtpFailures, AFailedDownloadSaysWhatTheServerAnsweredToTheCommandThatFailed) {
    struct Case {
        std::string what;
        std::vector<std::string> rules;
        std::string url;
        std::string event;
        std::string reason;
    };
    const std::vector<Case> cases{
        {"no such file", {}, "absent.bin", "notfound absent.bin", "550 No such file or directory."},
        {"file refused", {"RETR reply 550 Permission denied."}, "d.bin", "notfound d.bin", "550 Permission denied."},
        {"folder refused", {"CWD:locked* reply 550 locked: Permission denied."}, "locked/d.bin",
         "notfound locked/d.bin", "550 locked: Permission denied."},
        {"server going away", {"RETR reply 421 Service not available, closing control connection."}, "d.bin",
         "errorinfo 4 Error reading source file d.bin", "421 Service not available, closing control connection."},
    };
    for (const Case& c : cases) {
        test::FtpServerOptions options;
        options.rules = c.rules;
        test::FtpServer server(options);
        server.WriteFile("d.bin", "data");
        server.WriteFile("locked/d.bin", "data");
        const fs::path out = fs::temp_directory_path() / ("zandrel-reply-" + std::to_string(::getpid()));
        FtpWebCopy wc;
        std::string reason;
        wc.OnURLNotFound = [&](TZandrelWebCopy& sender, const std::string& url) {
            wc.log.push_back("notfound " + url);
            reason = sender.LastErrorReason();
        };
        AddFtpItem(wc, server, wpFtp, c.url, out.string());
        wc.Execute();
        EXPECT_FALSE(wc.Items[0].Success()) << c.what;
        EXPECT_TRUE(Logged(wc.log, c.event)) << c.what;
        if (!wc.reasons.empty()) reason = wc.reasons[0];
        EXPECT_EQ(reason, c.reason) << c.what;
        fs::remove_all(out);
    }
}

// A server that stops answering is no missing file: the reason names the wait.
TEST_F(FtpRoutines, AStalledReplyIsAReadErrorThatNamesTheWait) {
    FtpWebCopy wc;
    testing::DirectRun direct(wc);
    for (inet::DWORD option : {inet::INTERNET_OPTION_RECEIVE_TIMEOUT, inet::INTERNET_OPTION_SEND_TIMEOUT})
        ASSERT_TRUE(inet::InternetSetOption(direct.run.root, option, 500));
    for (const char* rule : {"CWD stall", "RETR stall"}) {
        test::FtpServerOptions options;
        options.rules = {rule};
        test::FtpServer server(options);
        server.WriteFile("pub/d.bin", "data");
        wc.log.clear();
        wc.reasons.clear();
        TZandrelWebCopyItem item;
        item.URL = "pub/d.bin";
        item.TargetDir = Local("in");
        item.FTPHost = server.Host();
        item.FTPPort = server.Port();
        item.FTPUserID = "alice";
        item.FTPPassword = "secret";
        EXPECT_FALSE(direct.Call(FtpGetFile, item, false).done) << rule;
        EXPECT_EQ(wc.log, Log({"error 4", "errorinfo 4 Error reading source file pub/d.bin"})) << rule;
        ASSERT_EQ(wc.reasons.size(), 1u) << rule;
        EXPECT_NE(wc.reasons[0].find("no answer within 0.5 s"), std::string::npos) << rule << ": " << wc.reasons[0];
    }
}

// A server killed in the middle of a download: the reason says the connection was closed, at once.
TEST(FtpFailures, AServerThatDiesMidDownloadIsReportedAsGoneNotAsSilent) {
    test::FtpServer server;
    server.WriteFile("big.bin", Bytes(64 << 20));
    const fs::path out = fs::temp_directory_path() / ("zandrel-killed-" + std::to_string(::getpid()));
    FtpWebCopy wc;
    std::chrono::steady_clock::time_point killed;
    wc.OnCopyProgress = [&](TZandrelWebCopy&, int, uint64_t, uint64_t) {
        if (killed != std::chrono::steady_clock::time_point{}) return;
        server.Stop();
        killed = std::chrono::steady_clock::now();
    };
    AddFtpItem(wc, server, wpFtp, "big.bin", out.string());
    wc.Execute();
    const auto took = std::chrono::steady_clock::now() - killed;
    EXPECT_FALSE(wc.Items[0].Success());
    EXPECT_LT(took, std::chrono::seconds(5));
    EXPECT_TRUE(Logged(wc.log, "errorinfo 4 Error reading source file big.bin"));
    ASSERT_EQ(wc.reasons.size(), 1u);
    EXPECT_NE(wc.reasons[0].find("closed the connection"), std::string::npos) << wc.reasons[0];
    EXPECT_EQ(wc.reasons[0].find("no answer"), std::string::npos) << wc.reasons[0];
    EXPECT_FALSE(fs::exists(out / "big.bin"));
    fs::remove_all(out);
}

// A LIST line shows a link, not what it leads to: a link to a folder is a folder, skipped like
// one; a link to a file is a file.
TEST(FtpFailures, AMultiFileDownloadSkipsLinksToFoldersAndFetchesLinksToFiles) {
    for (bool mlsd : {false, true}) {
        test::FtpServerOptions options;
        options.mlsd = mlsd;
        test::FtpServer server(options);
        server.WriteFile("out/a.txt", "A");
        fs::create_directories(server.Root() / "out/sub");
        fs::create_symlink("sub", server.Root() / "out/folder-link.txt");
        fs::create_symlink("a.txt", server.Root() / "out/file-link.txt");
        const fs::path in = fs::temp_directory_path() / ("zandrel-links-" + std::to_string(::getpid()));
        FtpWebCopy wc;
        AddFtpItem(wc, server, wpMultiFtp, "out/*.txt", in.string());
        wc.Execute();
        const std::string what = mlsd ? "MLSD" : "LIST";
        EXPECT_TRUE(wc.Items[0].Success()) << what;
        EXPECT_EQ(testing::Names(in), (std::vector<std::string>{"a.txt", "file-link.txt"})) << what;
        EXPECT_EQ(ReadLocal(in / "file-link.txt"), "A") << what;
        EXPECT_FALSE(Logged(wc.log, "multi folder-link.txt")) << what;
        // Left where it was: the files after the check were fetched from the right folder.
        EXPECT_EQ(server.CountCommands("USER"), 1) << what;
        fs::remove_all(in);
    }
}

// An upload's folder that exists but cannot be entered: MKD then answers "File exists", which
// alone would hide why; the reason carries the refusal to enter it too.
TEST(FtpFailures, AFolderThatCannotBeEnteredSaysWhy) {
    test::FtpServerOptions options;
    options.rules = {"CWD:locked* reply 550 locked: Permission denied."};
    test::FtpServer server(options);
    fs::create_directories(server.Root() / "locked");
    const fs::path src = fs::temp_directory_path() / ("zandrel-locked-" + std::to_string(::getpid()));
    testing::WriteLocal(src / "a.txt", "a");
    FtpWebCopy wc;
    AddFtpItem(wc, server, wpFtpUpload, (src / "a.txt").string(), "locked");
    wc.Execute();
    EXPECT_FALSE(wc.Items[0].Success());
    ASSERT_EQ(wc.reasons.size(), 1u);
    EXPECT_NE(wc.reasons[0].find("550 locked: Permission denied."), std::string::npos) << wc.reasons[0];
    EXPECT_FALSE(fs::exists(server.Root() / "locked/a.txt"));
    fs::remove_all(src);
}

} // namespace
} // namespace zandrel::webcopy
