// Copies from an SMB share: the share names the layer accepts, and wpFile items run by the
// component against a real smbd on 127.0.0.1.
#include <gtest/gtest.h>

#include <memory>

#include "ShareCopyFixture.h"
#include "platform/netshare/NetShare.h"

namespace zandrel::webcopy::testing {
namespace {

TEST(ShareName, TheThreeSpellingsAndWhatIsNoShare) {
    struct Case {
        std::string text;
        bool ok;
        std::string server;
        int port;
        std::string share;
    };
    const std::vector<Case> cases = {
        {R"(\\server\share)", true, "server", 0, "share"},
        {"//server/share/", true, "server", 0, "share"},
        {"smb://127.0.0.1:4455/files", true, "127.0.0.1", 4455, "files"},
        {"SMB://host/Share Name", true, "host", 0, "Share Name"},
        {R"(\\server)", false, "", 0, ""},
        {R"(\\server\share\dir)", false, "", 0, ""}, // a path is no share
        {"smb://host:99999/s", false, "", 0, ""},
        {"smb://host:/s", false, "", 0, ""},
        {"server/share", false, "", 0, ""},
        {"", false, "", 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        netshare::ShareAddress address;
        std::string why;
        ASSERT_EQ(netshare::ParseShareName(c.text, address, why), c.ok);
        if (!c.ok) {
            EXPECT_FALSE(why.empty());
            continue;
        }
        EXPECT_EQ(address.server, c.server);
        EXPECT_EQ(address.port, c.port);
        EXPECT_EQ(address.share, c.share);
    }
}


TEST_F(ShareCopy, CopiesAFileOfTheShareWhole) {
    const std::string content = Bytes(5 * 256 * 1024 + 77);
    WriteLocal(server_->Root() / "dir" / "data file.bin", content);
    WriteLocal(local_ / "data file.bin", "old");
    FtpWebCopy wc(true);
    wc.OnConnectError = [&](TZandrelWebCopy&) { wc.log.push_back("connecterror " + wc.LastErrorReason()); };
    Add(wc, server_->ShareUrl(), R"(dir\data file.bin)", server_->Password());
    wc.Execute();
    EXPECT_TRUE(wc.Items[0].Success()) << ::testing::PrintToString(wc.log);
    EXPECT_EQ(ReadLocal(local_ / "data file.bin"), content);
    const std::string size = std::to_string(content.size());
    EXPECT_TRUE(Logged(wc.log, "progress 1 " + size + "/" + size));
}

TEST_F(ShareCopy, FailuresSayWhyAndWriteNothing) {
    WriteLocal(server_->Root() / "f.txt", "content");
    const std::string closedPort = "smb://127.0.0.1:1/" + server_->ShareName();
    struct Case {
        std::string share, url, password, event, reason;
    };
    const std::vector<Case> cases = {
        {server_->ShareUrl(), "f.txt", "wrong password", "connecterror", "user name or password"},
        {"smb://127.0.0.1:" + std::to_string(server_->Port()) + "/nosuchshare", "f.txt", server_->Password(),
         "connecterror", "no share"},
        {closedPort, "f.txt", server_->Password(), "connecterror", "refused"},
        {server_->ShareUrl(), "missing.txt", server_->Password(), "error 1", "does not exist"},
        {server_->ShareUrl(), "", server_->Password(), "error 1", "names no file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.share + " " + c.url);
        FtpWebCopy wc;
        wc.OnConnectError = [&](TZandrelWebCopy&) {
            wc.log.push_back("connecterror");
            wc.reasons.push_back(wc.LastErrorReason());
        };
        Add(wc, c.share, c.url, c.password);
        wc.Execute();
        EXPECT_FALSE(wc.Items[0].Success());
        ASSERT_TRUE(Logged(wc.log, c.event)) << ::testing::PrintToString(wc.log);
        ASSERT_EQ(wc.reasons.size(), 1u) << ::testing::PrintToString(wc.log);
        EXPECT_NE(wc.reasons[0].find(c.reason), std::string::npos) << wc.reasons[0];
        EXPECT_TRUE(fs::is_empty(local_));
    }
}

TEST_F(ShareCopy, NewerOnlyComparesTheShareFileDate) {
    WriteLocal(server_->Root() / "dated.txt", "new content");
    SetMtime(server_->Root() / "dated.txt", 1700000000);
    const TDateTime sourceDate = LocalDate(1700000000);
    struct Case {
        TDateTime have; // the date the caller already has
        bool copied;
    };
    for (const Case& c : {Case{sourceDate, false}, Case{sourceDate + 1.0, false}, Case{LocalDate(1600000000), true}}) {
        SCOPED_TRACE(c.have);
        FtpWebCopy wc;
        TZandrelWebCopyItem& item = Add(wc, server_->ShareUrl(), "dated.txt", server_->Password());
        item.CopyNewerOnly = true;
        item.FileDate = c.have;
        wc.Execute();
        EXPECT_EQ(wc.Items[0].Success(), c.copied) << ::testing::PrintToString(wc.log);
        EXPECT_EQ(wc.Items[0].NoNewVersion(), !c.copied);
        EXPECT_EQ(Logged(wc.log, "nonew " + server_->ShareUrl() + "/dated.txt"), !c.copied)
            << ::testing::PrintToString(wc.log);
        // The share's date, to the second, is what the caller keeps for next time.
        EXPECT_NEAR(wc.Items[0].NewFileDate, sourceDate, 1e-9);
        EXPECT_EQ(fs::exists(local_ / "dated.txt"), c.copied);
        if (c.copied) {
            EXPECT_EQ(ReadLocal(local_ / "dated.txt"), "new content");
        }
        fs::remove(local_ / "dated.txt");
    }
}

} // namespace
} // namespace zandrel::webcopy::testing
