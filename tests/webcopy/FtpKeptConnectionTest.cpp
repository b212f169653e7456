// A connection kept from one item to the next never sends the next item to the wrong place: after
// any early end of an item it is back where it started (or given up), and every folder change a
// transfer depends on is checked.
#include <gtest/gtest.h>

#include "FtpTestSupport.h"

namespace zandrel::webcopy {
namespace {

using testing::AddFtpItem;
using testing::FtpRoutines;
using testing::FtpWebCopy;
using testing::Logged;
using testing::ReadLocal;
using testing::WriteLocal;
namespace fs = std::filesystem;

TEST(FtpKeptConnection, AfterAnEarlyEndTheNextItemStillLandsInItsOwnFolder) {
    struct Case {
        std::string what;
        std::vector<std::string> rules;
        // The first item, which ends early, and what the second item must have done.
        std::function<void(FtpWebCopy&, const test::FtpServer&, const fs::path&)> addFirst;
    };
    const std::vector<Case> cases{
        {"missing source", {},
         [](FtpWebCopy& wc, const test::FtpServer& server, const fs::path& local) {
             AddFtpItem(wc, server, wpFtpUpload, (local / "missing.txt").string(), "m19/aud");
         }},
        {"refused file", {"STOR:a.txt reply 553 Not allowed.", "RNTO:a.txt reply 553 Not allowed."},
         [](FtpWebCopy& wc, const test::FtpServer& server, const fs::path& local) {
             AddFtpItem(wc, server, wpFtpUpload, (local / "a.txt").string(), "m19/aud");
         }},
        {"download not newer", {},
         [](FtpWebCopy& wc, const test::FtpServer& server, const fs::path& local) {
             TZandrelWebCopyItem& item = AddFtpItem(wc, server, wpFtp, "m19/aud/x.txt", (local / "down").string());
             item.CopyNewerOnly = true;
             item.FileDate = 200000; // far in the future: nothing on the server is newer
         }},
        {"download refused by the handler", {},
         [](FtpWebCopy& wc, const test::FtpServer& server, const fs::path& local) {
             wc.OnFileDateCheck = [](TZandrelWebCopy&, int idx, TDateTime, bool& allow) { allow = idx != 0; };
             AddFtpItem(wc, server, wpFtp, "m19/aud/x.txt", (local / "down").string());
         }},
    };
    for (const Case& c : cases) {
        test::FtpServerOptions options;
        options.rules = c.rules;
        test::FtpServer server(options);
        server.WriteFile("m19/aud/x.txt", "x");
        server.WriteFile("y.txt", "login folder's y");
        server.WriteFile("m19/aud/y.txt", "decoy");
        const fs::path local = fs::temp_directory_path() / ("zandrel-kept-" + std::to_string(::getpid()));
        fs::remove_all(local);
        WriteLocal(local / "a.txt", "a");
        WriteLocal(local / "b.txt", "b");
        FtpWebCopy wc;
        c.addFirst(wc, server, local);
        AddFtpItem(wc, server, wpFtpUpload, (local / "b.txt").string(), "m19/aud");
        AddFtpItem(wc, server, wpFtp, "y.txt", (local / "down").string());
        wc.Execute();
        EXPECT_FALSE(wc.Items[0].Success()) << c.what;
        EXPECT_TRUE(wc.Items[1].Success()) << c.what;
        EXPECT_TRUE(wc.Items[2].Success()) << c.what;
        EXPECT_EQ(server.ReadFile("m19/aud/b.txt"), "b") << c.what;
        EXPECT_FALSE(fs::exists(server.Root() / "m19/aud/m19")) << c.what;
        EXPECT_EQ(ReadLocal(local / "down/y.txt"), "login folder's y") << c.what;
        EXPECT_EQ(server.CountCommands("USER"), 1) << c.what; // still one chain, one login
        fs::remove_all(local);
    }
}

// Two servers on one host, reached with the same user and password, are two servers: the second
// item must not be sent over the first one's kept connection.
TEST(FtpKeptConnection, AnotherPortOfTheSameHostIsAnotherServer) {
    test::FtpServer first;
    test::FtpServer second;
    first.WriteFile("f.txt", "from the first");
    second.WriteFile("f.txt", "from the second");
    const fs::path local = fs::temp_directory_path() / ("zandrel-kept-ports-" + std::to_string(::getpid()));
    fs::remove_all(local);
    FtpWebCopy wc;
    AddFtpItem(wc, first, wpFtp, "f.txt", (local / "one").string());
    AddFtpItem(wc, second, wpFtp, "f.txt", (local / "two").string());
    wc.Execute();
    EXPECT_EQ(ReadLocal(local / "one/f.txt"), "from the first");
    EXPECT_EQ(ReadLocal(local / "two/f.txt"), "from the second");
    EXPECT_EQ(second.CountCommands("USER"), 1);
    fs::remove_all(local);
}

TEST_F(FtpRoutines, AFailedFileOfAMultiUploadDoesNotMoveTheFilesAfterIt) {
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) WriteLocal(local_ / "src" / name, name);
    test::FtpServerOptions options;
    options.rules = {"STOR:b.txt reply 553 Not allowed.", "RNTO:b.txt reply 553 Not allowed."};
    test::FtpServer refusing(options);
    FtpWebCopy wc;
    AddFtpItem(wc, refusing, wpMultiFtpUpload, Local("src/*.txt"), "m19/aud");
    wc.Execute();
    EXPECT_FALSE(wc.Items[0].Success()); // one of its files failed
    EXPECT_EQ(refusing.ReadFile("m19/aud/a.txt"), "a.txt");
    EXPECT_EQ(refusing.ReadFile("m19/aud/c.txt"), "c.txt");
    EXPECT_FALSE(fs::exists(refusing.Root() / "m19/aud/b.txt"));
    EXPECT_FALSE(fs::exists(refusing.Root() / "m19/aud/m19"));
    EXPECT_TRUE(Logged(wc.log, "errorinfo 5 Error writing to destination file m19/aud/b.txt"));
    ASSERT_FALSE(wc.reasons.empty());
    EXPECT_NE(wc.reasons.back().find("553"), std::string::npos) << wc.reasons.back();
}

// A folder that cannot be entered is a file that is not there, never the same name elsewhere.
TEST_F(FtpRoutines, ADownloadFromAFolderThatCannotBeEnteredFetchesNothing) {
    server_.WriteFile("d.txt", "the login folder's d");
    FtpWebCopy wc;
    Add(wc, wpFtp, "nosuch/d.txt", Local("down"));
    Add(wc, wpMultiFtp, "nosuch/*.txt", Local("down"));
    wc.Execute();
    EXPECT_FALSE(wc.Items[0].Success());
    EXPECT_FALSE(wc.Items[1].Success());
    EXPECT_TRUE(Logged(wc.log, "notfound nosuch/d.txt"));
    EXPECT_TRUE(Logged(wc.log, "notfound nosuch/*.txt"));
    EXPECT_FALSE(fs::exists(local_ / "down/d.txt"));
}

} // namespace
} // namespace zandrel::webcopy
