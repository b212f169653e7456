// The FTP items over SFTP against a real sshd: the routines are the FTP ones, the transport is
// chosen by FTPSecurity or by "sftp://" before the host. Uploads, downloads, listings, multi-file
// transfers, deletes and the connection test; host keys that nobody can be asked about, or that
// a handler accepts; the never-replace upload; and a Cancel that leaves nothing behind.
#include <gtest/gtest.h>

#include <fstream>

#include "FtpTestSupport.h"
#include "ssh/SshTestSupport.h"
#include "webcopy/SshQuestions.h"

namespace zandrel::webcopy {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using testing::FtpWebCopy;
using testing::Log;
using testing::Logged;
using testing::ReadLocal;
using testing::WriteLocal;

class SftpItems : public ssh::testing::SshTest {
protected:
    void SetUp() override {
        SshTest::SetUp();
        if (IsSkipped()) return;
        local_ = home_ / "local";
        fs::create_directories(local_);
        fs::create_directories(server_->Files());
        GiveDefaultKey();
    }
    TZandrelWebCopyItem& Add(TZandrelWebCopy& wc, TZandrelWebCopyProtocol protocol, const std::string& url,
                             const std::string& targetDir = "", const std::string& targetName = "") {
        TZandrelWebCopyItem& item = wc.Items.Add();
        item.Protocol = protocol;
        item.URL = url;
        item.TargetDir = targetDir;
        item.TargetFilename = targetName;
        item.FTPHost = "127.0.0.1";
        item.FTPPort = server_->Port();
        item.FTPUserID = server_->User();
        item.FTPSecurity = fsSftp;
        return item;
    }
    std::string Remote(const std::string& relative) const { return (server_->Files() / relative).string(); }
    std::string Local(const std::string& name) const { return (local_ / name).string(); }

    fs::path local_;
};

TEST_F(SftpItems, EveryFtpItemWorksOverSftp) {
    TrustServer();
    WriteLocal(local_ / "up/a.bin", Bytes(300000, 1));
    WriteLocal(local_ / "up/b.txt", "b");
    WriteLocal(local_ / "many/c.txt", "c");
    WriteLocal(local_ / "many/d.txt", "d");
    // Folders that are not there are made below the login folder, as over FTP: these are.
    fs::create_directories(server_->Files() / "in/deep");
    fs::create_directories(server_->Files() / "in/many");
    FtpWebCopy wc;
    Add(wc, wpFtpTest, "");
    Add(wc, wpFtpUpload, Local("up/a.bin"), Remote("in/deep"));
    Add(wc, wpFtpUpload, Local("up/b.txt"), Remote("in/deep"));
    Add(wc, wpMultiFtpUpload, Local("many/*.txt"), Remote("in/many"));
    Add(wc, wpFtp, Remote("in/deep/a.bin"), Local("back"));
    Add(wc, wpMultiFtp, Remote("in/many/*.txt"), Local("back/many"));
    Add(wc, wpFtpList, Remote("in/deep/*"));
    Add(wc, wpFtpDelete, "", Remote("in/deep"), "b.txt");
    wc.Execute();
    for (int i = 0; i < wc.Items.Count(); ++i) EXPECT_TRUE(wc.Items[i].Success()) << "item " << i;
    EXPECT_FALSE(Logged(wc.log, "error 6")) << ::testing::PrintToString(wc.reasons);
    EXPECT_TRUE(ReadLocal(local_ / "back/a.bin") == Bytes(300000, 1));
    EXPECT_EQ(ReadLocal(local_ / "back/many/c.txt"), "c");
    EXPECT_EQ(ReadLocal(local_ / "back/many/d.txt"), "d");
    ASSERT_NE(wc.Items[6].FileList(), nullptr);
    EXPECT_EQ(wc.Items[6].FileList()->Items(), (std::vector<std::string>{"a.bin", "b.txt"}));
    EXPECT_TRUE(Logged(wc.log, "removed 7"));
    EXPECT_FALSE(fs::exists(server_->Files() / "in/deep/b.txt"));
    // The uploads went by a temporary name: nothing else is left beside the files.
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(server_->Files() / "in/deep")) names.push_back(entry.path().filename());
    EXPECT_EQ(names, std::vector<std::string>{"a.bin"});
}

TEST_F(SftpItems, TheHostMayNameTheTransportAndTheDatesAreExact) {
    TrustServer();
    WriteLocal(server_->Files() / "dated.txt", "old");
    const int64_t when = 1700000000; // 2023-11-14 22:13:20 UTC
    testing::SetMtime(server_->Files() / "dated.txt", when);
    for (const bool newer : {false, true}) {
        SCOPED_TRACE(newer ? "the local copy is older" : "the local copy is as new");
        FtpWebCopy wc;
        TZandrelWebCopyItem& item = Add(wc, wpFtp, Remote("dated.txt"), Local(newer ? "newer" : "same"));
        item.FTPSecurity = fsNone;
        item.FTPHost = "sftp://127.0.0.1";
        item.CopyNewerOnly = true;
        item.FileDate = testing::LocalDate(newer ? when - 1 : when);
        wc.Execute();
        EXPECT_EQ(wc.Items[0].Success(), newer);
        EXPECT_EQ(wc.Items[0].NoNewVersion(), !newer);
        EXPECT_EQ(wc.Items[0].NewFileDate, testing::LocalDate(when));
    }
}

TEST_F(SftpItems, AnUnknownHostKeyIsRefusedSayingHowToAddItUnlessSomeoneAccepts) {
    WriteLocal(local_ / "a.txt", "a");
    {
        FtpWebCopy wc;
        Add(wc, wpFtpUpload, Local("a.txt"), Remote(""));
        wc.Execute();
        EXPECT_FALSE(wc.Items[0].Success());
        EXPECT_TRUE(Logged(wc.log, "error 6"));
        ASSERT_EQ(wc.reasons.size(), 1u);
        EXPECT_NE(wc.reasons[0].find("ssh-keyscan"), std::string::npos) << wc.reasons[0];
        EXPECT_FALSE(fs::exists(server_->Files() / "a.txt"));
    }
    std::vector<std::string> asked;
    const HostKeyHandler previous = SetHostKeyHandler([&](const HostKeyQuestion& question) {
        asked.push_back(question.host + " " + std::to_string(question.port) + " " + question.fingerprint);
        return HostKeyAnswer::AcceptAndRemember;
    });
    for (int round = 0; round < 2; ++round) {
        FtpWebCopy wc;
        Add(wc, wpFtpUpload, Local("a.txt"), Remote(""));
        wc.Execute();
        EXPECT_TRUE(wc.Items[0].Success()) << ::testing::PrintToString(wc.reasons);
    }
    SetHostKeyHandler(previous);
    // Asked once; remembered, the key is known the second time.
    EXPECT_EQ(asked, std::vector<std::string>{"127.0.0.1 " + std::to_string(server_->Port()) + " " +
                                              server_->Fingerprint()});
    EXPECT_TRUE(fs::exists(KnownHosts()));
}

TEST_F(SftpItems, TheNeverReplacingUploadTakesTheNextFreeName) {
    TrustServer();
    WriteLocal(server_->Files() / "Demo.zip", "earlier");
    WriteLocal(local_ / "Demo.zip", "this run");
    FtpWebCopy wc;
    Add(wc, wpFtpUpload, Local("Demo.zip"), Remote("")).WhenTargetExists = teNextFreeName;
    Add(wc, wpFtpUpload, Local("Demo.zip"), Remote(""), "Other.zip");
    wc.Execute();
    ASSERT_TRUE(wc.Items[0].Success()) << ::testing::PrintToString(wc.reasons);
    EXPECT_EQ(wc.Items[0].StoredFilename(), "Demo_1.zip");
    EXPECT_EQ(ReadLocal(server_->Files() / "Demo.zip"), "earlier");
    EXPECT_EQ(ReadLocal(server_->Files() / "Demo_1.zip"), "this run");
    // Replacing (the default) replaces, by a rename that never leaves the name empty.
    WriteLocal(server_->Files() / "Other.zip", "old other");
    FtpWebCopy again;
    Add(again, wpFtpUpload, Local("Demo.zip"), Remote(""), "Other.zip");
    again.Execute();
    EXPECT_TRUE(again.Items[0].Success()) << ::testing::PrintToString(again.reasons);
    EXPECT_EQ(ReadLocal(server_->Files() / "Other.zip"), "this run");
}

TEST_F(SftpItems, ACancelledUploadLeavesNothingOnTheServer) {
    TrustServer();
    WriteLocal(local_ / "big.bin", Bytes(8 << 20, 3));
    WriteLocal(server_->Files() / "big.bin", "the old one");
    FtpWebCopy wc;
    int blocks = 0;
    wc.OnCopyProgress = [&](TZandrelWebCopy& sender, int, uint64_t, uint64_t) {
        if (++blocks == 20) sender.CancelCopy();
    };
    Add(wc, wpFtpUpload, Local("big.bin"), Remote(""));
    wc.Execute();
    EXPECT_TRUE(wc.Items[0].Cancelled());
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(server_->Files())) names.push_back(entry.path().filename());
    EXPECT_EQ(names, std::vector<std::string>{"big.bin"});
    EXPECT_EQ(ReadLocal(server_->Files() / "big.bin"), "the old one");
}

} // namespace
} // namespace zandrel::webcopy
