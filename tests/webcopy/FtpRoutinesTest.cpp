// The FTP routines against a real server: uploads, downloads, listings, deletes and the
// connection test, with the connection cache and the events they raise.
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FtpTestSupport.h"
#include "webcopy/FtpCommon.h"
#include "webcopy/TransferSupport.h"
#include "fixtures/FtpServer.h"
#include "platform/inet/Inet.h"
#include "platform/rtl/Error.h"
#include "platform/ui/Forms.h"
#include "webcopy/Utilities.h"
#include "webcopy/ZandrelWebCopy.h"

namespace zandrel::webcopy {
namespace {

using testing::Bytes;
using testing::DirectRun;
using testing::FtpRoutines;
using testing::FtpWebCopy;
using testing::Log;
using testing::Names;
using testing::ReadLocal;
using testing::WriteLocal;
namespace fs = std::filesystem;

// Reads the dialog's file line (built also when the dialog is not shown).
class FileLineWebCopy : public FtpWebCopy {
public:
    std::string FileLine() const { return ProgressFileLabel() ? ProgressFileLabel()->Caption() : "(no file line)"; }
};

// ---- upload and download --------------------------------------------------------------------------

class FtpRoundTrip : public FtpRoutines, public ::testing::WithParamInterface<bool> {};

TEST_P(FtpRoundTrip, FilesOfEverySizeArriveAndComeBackByteForByte) {
    const std::vector<size_t> sizes{0, 1, 4096, 8192, 10000, 300000};
    FtpWebCopy up;
    up.FTPPassive = GetParam();
    for (size_t size : sizes) {
        const std::string name = "f" + std::to_string(size) + ".bin";
        WriteLocal(local_ / "src" / name, Bytes(size, static_cast<unsigned>(size)));
        Add(up, wpFtpUpload, Local("src/" + name), "in");
    }
    up.Execute();
    FtpWebCopy down;
    down.FTPPassive = GetParam();
    for (size_t size : sizes) Add(down, wpFtp, "in/f" + std::to_string(size) + ".bin", Local("back"));
    down.Execute();
    for (int i = 0; i < static_cast<int>(sizes.size()); ++i) {
        const std::string name = "f" + std::to_string(sizes[static_cast<size_t>(i)]) + ".bin";
        EXPECT_TRUE(up.Items[i].Success()) << name;
        EXPECT_TRUE(down.Items[i].Success()) << name;
        const std::string expected = Bytes(sizes[static_cast<size_t>(i)], static_cast<unsigned>(sizes[static_cast<size_t>(i)]));
        EXPECT_TRUE(server_.ReadFile("in/" + name) == expected) << name;
        EXPECT_TRUE(ReadLocal(local_ / "back" / name) == expected) << name;
    }
    EXPECT_EQ(up.log, Log({"start 0", "done 0", "start 1", "done 1", "start 2", "done 2", "start 3", "done 3",
                           "start 4", "done 4", "start 5", "done 5", "copydone"}));
    // One chain of same-account items: one login for all uploads, one for all downloads.
    EXPECT_EQ(server_.CountCommands("USER"), 2);
    EXPECT_GT(server_.CountCommands(GetParam() ? "EPSV" : "PORT"), 0);
    EXPECT_EQ(server_.CountCommands(GetParam() ? "PORT" : "EPSV"), 0);
}

INSTANTIATE_TEST_SUITE_P(Modes, FtpRoundTrip, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Passive" : "Active"; });

TEST_F(FtpRoutines, UploadRaisesItsEventsInOrder) {
    WriteLocal(local_ / "a.txt", Bytes(5000));
    FtpWebCopy wc(true);
    Add(wc, wpFtpUpload, Local("a.txt"));
    wc.Execute();
    EXPECT_EQ(wc.log, Log({"start 0", "progress 1 4096/5000", "progress 1 5000/5000", "progress 1 5000/5000",
                           "done 0", "copydone"}));
    EXPECT_TRUE(wc.Items[0].Success());
    EXPECT_EQ(wc.LastFile(), Local("a.txt"));
}

TEST_F(FtpRoutines, NestedTargetDirectoriesAreCreatedLevelByLevel) {
    fs::create_directories(server_.Root() / "a");
    WriteLocal(local_ / "x.txt", "x");
    FtpWebCopy wc;
    Add(wc, wpFtpUpload, Local("x.txt"), "a/b/c");
    Add(wc, wpFtpUpload, Local("x.txt"), "\\pub\\in", "y.txt").FTPUserID = "other"; // its own login
    wc.Execute();
    EXPECT_TRUE(wc.Items[0].Success());
    EXPECT_EQ(server_.ReadFile("a/b/c/x.txt"), "x");
    // The second item's login is refused (no such user): nothing is written.
    EXPECT_FALSE(wc.Items[1].Success());

    FtpWebCopy again;
    Add(again, wpFtpUpload, Local("x.txt"), "\\pub\\in", "y.txt");
    again.Execute();
    EXPECT_TRUE(again.Items[0].Success());
    EXPECT_EQ(server_.ReadFile("pub/in/y.txt"), "x");
}

TEST_F(FtpRoutines, UploadFailuresAreReportedAndLeaveTheServerAlone) {
    server_.WriteFile("keep.txt", "precious");
    WriteLocal(local_ / "a.txt", "a");
    struct Case {
        std::string what;
        std::string url, targetDir, targetName, user, password;
        uint16_t port;
        Log expected;
    };
    const std::string host = server_.Host();
    const std::vector<Case> cases{
        {"refused login", Local("a.txt"), "", "", "alice", "wrong", server_.Port(),
         {"error 6", "errorinfo 6 Cannot connect to FTP server " + host}},
        {"unreachable port", Local("a.txt"), "", "", "alice", "secret", test::UnusedLocalPort(),
         {"error 6", "errorinfo 6 Cannot connect to FTP server " + host}},
        {"missing source", Local("missing.txt"), "", "keep.txt", "alice", "secret", server_.Port(),
         {"notfound " + Local("missing.txt"), "error 1", "errorinfo 1 Cannot open source file " + Local("missing.txt")}},
        {"source is a folder", local_.string(), "", "keep.txt", "alice", "secret", server_.Port(),
         {"notfound " + local_.string(), "error 1", "errorinfo 1 Cannot open source file " + local_.string()}},
        // Anonymous may read but not create folders or files: the remote target cannot be
        // created, which is not a missing local file.
        {"uncreatable directory", Local("a.txt"), "new/dir", "", "", "", server_.Port(),
         {"error 3", "errorinfo 3 Cannot create target file new/dir/a.txt"}},
        {"uncreatable file", Local("a.txt"), "", "", "", "", server_.Port(),
         {"error 3", "errorinfo 3 Cannot create target file a.txt"}},
    };
    for (const Case& c : cases) {
        FtpWebCopy wc;
        TZandrelWebCopyItem& item = Add(wc, wpFtpUpload, c.url, c.targetDir, c.targetName);
        item.FTPUserID = c.user;
        item.FTPPassword = c.password;
        item.FTPPort = c.port;
        wc.Execute();
        EXPECT_FALSE(wc.Items[0].Success()) << c.what;
        Log expected{"start 0"};
        expected.insert(expected.end(), c.expected.begin(), c.expected.end());
        expected.insert(expected.end(), {"done 0", "copydone"});
        EXPECT_EQ(wc.log, expected) << c.what;
    }
    EXPECT_EQ(server_.ReadFile("keep.txt"), "precious");
    EXPECT_FALSE(fs::exists(server_.Root() / "new"));
    EXPECT_FALSE(fs::exists(server_.Root() / "a.txt"));
}

TEST_F(FtpRoutines, DownloadFailuresAreReported) {
    server_.WriteFile("d.txt", "data");
    WriteLocal(local_ / "blocker", "a file where a folder should be");
    FtpWebCopy wc;
    Add(wc, wpFtp, "missing.txt", Local("out"));
    Add(wc, wpFtp, "d.txt", Local("blocker/sub"));
    Add(wc, wpFtp, "d.txt", Local("out")).FTPPassword = "wrong";
    wc.Execute();
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(wc.Items[i].Success()) << i;
    EXPECT_EQ(wc.log, Log({"start 0", "notfound missing.txt", "done 0", "start 1", "error 3",
                           "errorinfo 3 Cannot create target file " + Local("blocker/sub/d.txt"), "done 1", "start 2",
                           "error 6", "errorinfo 6 Cannot connect to FTP server " + server_.Host(), "done 2",
                           "copydone"}));
}

// The data went through, but the server does not call the transfer complete (a full disk after
// STOR, an aborted RETR): the items fail with an error instead of passing as done.
class FtpRefusedTransferEnds : public FtpRoutines {
protected:
    FtpRefusedTransferEnds() : FtpRoutines(Refusing()) {}
    static test::FtpServerOptions Refusing() {
        test::FtpServerOptions options;
        options.failTransferEnd = true;
        return options;
    }
};

TEST_F(FtpRefusedTransferEnds, TransfersTheServerDoesNotConfirmFail) {
    WriteLocal(local_ / "a.txt", Bytes(10000));
    server_.WriteFile("d.txt", Bytes(20000));
    FtpWebCopy wc;
    Add(wc, wpFtpUpload, Local("a.txt"));
    Add(wc, wpFtp, "d.txt", local_.string());
    wc.Execute();
    EXPECT_FALSE(wc.Items[0].Success());
    EXPECT_FALSE(wc.Items[1].Success());
    EXPECT_EQ(wc.log, Log({"start 0", "error 5", "errorinfo 5 Error writing to destination file a.txt", "done 0",
                           "start 1", "error 4", "errorinfo 4 Error reading source file d.txt", "done 1",
                           "copydone"}));
    // What the server did not call complete never takes the file's name, nor stays beside it.
    EXPECT_FALSE(fs::exists(local_ / "d.txt"));
    EXPECT_EQ(std::distance(fs::directory_iterator(local_), fs::directory_iterator()), 1); // a.txt
}

TEST_F(FtpRoutines, DownloadOverAnExistingFileAsksAndCanPickAFreeName) {
    server_.WriteFile("d.txt", "new");
    WriteLocal(local_ / "d.txt", "old");
    {
        FtpWebCopy wc;
        wc.OnCopyOverWrite = [](TZandrelWebCopy&, const std::string&, bool& allow) { allow = false; };
        Add(wc, wpFtp, "d.txt", local_.string());
        wc.Execute();
        EXPECT_FALSE(wc.Items[0].Success());
        EXPECT_EQ(ReadLocal(local_ / "d.txt"), "old");
    }
    FtpWebCopy wc;
    wc.CreateUniqueFilenames = true;
    Add(wc, wpFtp, "d.txt", local_.string());
    wc.Execute();
    EXPECT_TRUE(wc.Items[0].Success());
    EXPECT_EQ(ReadLocal(local_ / "d.txt"), "old");
    EXPECT_EQ(ReadLocal(local_ / "d(1).txt"), "new");
    EXPECT_EQ(wc.LastFile(), Local("d.txt"));
}

// A local file that cannot be written fails its item with the system's reason; the run goes on
// and nothing of the file is left.
TEST_F(FtpRoutines, ALocalWriteErrorFailsTheItemAndTheRunGoesOn) {
    server_.WriteFile("d.txt", Bytes(200000));
    // Files may grow to 64 KB here: the download cannot be written whole.
    struct rlimit saved {};
    getrlimit(RLIMIT_FSIZE, &saved);
    struct rlimit small = saved;
    small.rlim_cur = 64 * 1024;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    FtpWebCopy wc;
    Add(wc, wpFtp, "d.txt", local_.string());
    Add(wc, wpFtpTest, "");
    EXPECT_NO_THROW(wc.Execute());
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(wc.Items[0].Success());
    EXPECT_TRUE(wc.Items[1].Success());
    EXPECT_EQ(wc.log, Log({"start 0", "error 5", "errorinfo 5 Error writing to destination file " + Local("d.txt"),
                           "done 0", "start 1", "done 1", "copydone"}));
    EXPECT_EQ(wc.reasons, std::vector<std::string>{"File too large"});
    EXPECT_EQ(Names(local_), std::vector<std::string>{});
}

// ---- dates --------------------------------------------------------------------------------------

TEST_F(FtpRoutines, CopyNewerOnlyComparesWithTheRemoteDate) {
    server_.WriteFile("r.txt", "remote");
    WriteLocal(local_ / "r.txt", "local");
    const auto stamp = fs::last_write_time(server_.Root() / "r.txt");
    // The remote date as the server reports it.
    FtpWebCopy probe;
    Add(probe, wpFtpList, "r.txt");
    probe.Execute();
    ASSERT_EQ(probe.Items[0].FileDetails()->Count(), 1);
    const TDateTime remoteDate = FileTimeToDate((*probe.Items[0].FileDetails())[0].FileDate);

    struct Case {
        TZandrelWebCopyProtocol protocol;
        TDateTime fileDate;
        bool transfers;
    };
    for (const Case& c : {Case{wpFtpUpload, 0, false}, Case{wpFtpUpload, remoteDate, true},
                          Case{wpFtp, 0, true}, Case{wpFtp, remoteDate, false}}) {
        server_.WriteFile("r.txt", "remote");
        WriteLocal(local_ / "r.txt", "local");
        fs::last_write_time(server_.Root() / "r.txt", stamp);
        FtpWebCopy wc;
        TZandrelWebCopyItem& item =
            c.protocol == wpFtp ? Add(wc, wpFtp, "r.txt", local_.string()) : Add(wc, wpFtpUpload, Local("r.txt"));
        item.CopyNewerOnly = true;
        item.FileDate = c.fileDate;
        wc.Execute();
        const std::string what = std::string(c.protocol == wpFtp ? "download" : "upload") + " date " +
                                 std::to_string(c.fileDate);
        EXPECT_EQ(wc.Items[0].Success(), c.transfers) << what;
        EXPECT_EQ(wc.Items[0].NoNewVersion(), !c.transfers) << what;
        EXPECT_DOUBLE_EQ(wc.Items[0].NewFileDate, remoteDate) << what;
        const bool nonew = std::find(wc.log.begin(), wc.log.end(), "nonew r.txt") != wc.log.end();
        EXPECT_EQ(nonew, !c.transfers) << what;
        const std::string remote = server_.ReadFile("r.txt");
        const std::string localText = ReadLocal(local_ / "r.txt");
        if (c.protocol == wpFtpUpload) {
            EXPECT_EQ(remote, c.transfers ? "local" : "remote") << what;
        } else {
            EXPECT_EQ(localText, c.transfers ? "remote" : "local") << what;
        }
    }
}

TEST_F(FtpRoutines, FileDateCheckHandlerDecides) {
    server_.WriteFile("r.txt", "remote");
    WriteLocal(local_ / "r.txt", "local");
    for (bool allow : {false, true}) {
        for (TZandrelWebCopyProtocol protocol : {wpFtp, wpFtpUpload}) {
            FtpWebCopy wc;
            std::vector<int> asked;
            wc.OnFileDateCheck = [&](TZandrelWebCopy&, int idx, TDateTime newdate, bool& ok) {
                asked.push_back(idx);
                EXPECT_GT(newdate, 40000.0);
                ok = allow;
            };
            Add(wc, wpFtpTest, "");
            if (protocol == wpFtp) Add(wc, wpFtp, "r.txt", Local("down"));
            else Add(wc, wpFtpUpload, Local("r.txt"), "", "r.txt");
            wc.Execute();
            EXPECT_EQ(asked, std::vector<int>{1});
            EXPECT_EQ(wc.Items[1].Success(), allow);
            EXPECT_GT(wc.Items[1].NewFileDate, 40000.0);
        }
    }
    EXPECT_EQ(server_.ReadFile("r.txt"), "local");
    EXPECT_EQ(ReadLocal(local_ / "down/r.txt"), "remote");
}

// ---- cancel -----------------------------------------------------------------------------------------

TEST_F(FtpRoutines, CancelFromTheProgressEventStopsTheTransferAndTheRun) {
    const std::string content = Bytes(1 << 20);
    WriteLocal(local_ / "big.bin", content);
    server_.WriteFile("big.bin", content);
    for (TZandrelWebCopyProtocol protocol : {wpFtpUpload, wpFtp}) {
        FtpWebCopy wc;
        int blocks = 0;
        wc.OnCopyProgress = [&](TZandrelWebCopy& sender, int, uint64_t, uint64_t) {
            if (++blocks == 2) sender.CancelCopy();
        };
        if (protocol == wpFtp) Add(wc, wpFtp, "big.bin", Local("down"));
        else Add(wc, wpFtpUpload, Local("big.bin"), "up");
        Add(wc, wpFtpTest, "");
        wc.Execute();
        EXPECT_EQ(blocks, 2);
        EXPECT_TRUE(wc.Items[0].Cancelled());
        EXPECT_FALSE(wc.Items[0].Success());
        EXPECT_FALSE(wc.Items[1].Success()); // not reached
        EXPECT_EQ(wc.log, Log({"start 0", "copydone"}));
    }
    // Nothing of the cancelled download takes the file's name or stays beside it.
    EXPECT_TRUE(fs::is_empty(local_ / "down"));
    // Nothing of the cancelled upload stays on the server: no short file under its name, and no
    // temporary one either.
    EXPECT_EQ(ServerFolder("up"), std::vector<std::string>{});
}

// ---- the connection cache -------------------------------------------------------------------------

TEST_F(FtpRoutines, TwoUploadsToOneAccountShareOneLogin) {
    WriteLocal(local_ / "a.txt", "a");
    WriteLocal(local_ / "b.txt", "b");
    FtpWebCopy wc;
    Add(wc, wpFtpUpload, Local("a.txt"), "d1");
    Add(wc, wpFtpUpload, Local("b.txt"), "d2");
    wc.Execute();
    EXPECT_TRUE(wc.Items[0].Success());
    EXPECT_TRUE(wc.Items[1].Success());
    EXPECT_EQ(server_.CountCommands("USER"), 1);
    // The kept connection went back to the login directory before the second item used it.
    EXPECT_EQ(server_.ReadFile("d1/a.txt"), "a");
    EXPECT_EQ(server_.ReadFile("d2/b.txt"), "b");
}

TEST_F(FtpRoutines, AClosedKeptConnectionIsNeverHandedOut) {
    WriteLocal(local_ / "a.txt", "a");
    FtpWebCopy wc;
    TZandrelWebCopyItem& item = Add(wc, wpFtpUpload, Local("a.txt"));
    DirectRun direct(wc);
    const KeptFtpConnection& kept = direct.run.kept;
    const auto put = [&](bool keep) { return direct.Call(FtpPutFile, item, keep).done; };
    ASSERT_TRUE(put(true));
    ASSERT_NE(kept.handle, nullptr);
    EXPECT_EQ(kept.key, FtpAccount::Of(item).Key());

    // The test closes the kept connection; the cache forgets it.
    EXPECT_TRUE(direct.Call(FtpTest, item, false).done);
    EXPECT_EQ(kept.handle, nullptr);
    EXPECT_EQ(kept.key, "");
    EXPECT_TRUE(put(true));
    EXPECT_EQ(server_.CountCommands("USER"), 2);

    // A kept connection closed behind the cache's back is replaced by a new login.
    inet::InternetCloseHandle(kept.handle);
    EXPECT_TRUE(put(false));
    EXPECT_EQ(server_.CountCommands("USER"), 3);
    EXPECT_EQ(kept.key, "");
    EXPECT_TRUE(wc.log.empty()) << wc.log.front();
}

TEST_F(FtpRoutines, AKeptDeleteAfterAKeptUploadDeletesInTheTargetDirectory) {
    fs::create_directories(server_.Root() / "d");
    server_.WriteFile("victim.txt", "root copy");
    server_.WriteFile("d/victim.txt", "in d");
    WriteLocal(local_ / "a.txt", "a");
    FtpWebCopy wc;
    TZandrelWebCopyItem& upload = Add(wc, wpFtpUpload, Local("a.txt"), "d");
    TZandrelWebCopyItem& remove = Add(wc, wpFtpDelete, "", "d", "victim.txt");
    DirectRun direct(wc);
    ASSERT_TRUE(direct.Call(FtpPutFile, upload, true).done);
    // The upload sent its kept connection back where it started: the record must not claim "d".
    EXPECT_NE(direct.run.kept.folder, "d");
    ASSERT_TRUE(direct.Call(FtpRemoveFile, remove, true, 3).done);
    EXPECT_EQ(direct.run.kept.folder, "d");
    EXPECT_EQ(wc.log, Log{"removed 3"});
    EXPECT_FALSE(fs::exists(server_.Root() / "d/victim.txt"));
    EXPECT_EQ(server_.ReadFile("victim.txt"), "root copy");
    // The next kept delete in the same directory sends no directory change.
    const int cwds = server_.CountCommands("CWD");
    server_.WriteFile("d/second.txt", "2");
    remove.TargetFilename = "second.txt";
    ASSERT_TRUE(direct.Call(FtpRemoveFile, remove, false, 4).done);
    EXPECT_EQ(server_.CountCommands("CWD"), cwds);
    EXPECT_FALSE(fs::exists(server_.Root() / "d/second.txt"));
    EXPECT_EQ(direct.run.kept.key, "");
    EXPECT_EQ(server_.CountCommands("USER"), 1);
}

// ---- test and delete --------------------------------------------------------------------------------

TEST_F(FtpRoutines, ConnectionTestLogsInAndReportsFailures) {
    struct Case {
        std::string user, password;
        uint16_t port;
        bool ok;
    };
    const std::vector<Case> cases{{"alice", "secret", server_.Port(), true},
                                  {"", "", server_.Port(), true},      // anonymous
                                  {"alice", "", server_.Port(), true}, // no password: anonymous too
                                  {"alice", "wrong", server_.Port(), false},
                                  {"alice", "secret", test::UnusedLocalPort(), false}};
    for (const Case& c : cases) {
        FtpWebCopy wc;
        TZandrelWebCopyItem& item = Add(wc, wpFtpTest, "");
        item.FTPUserID = c.user;
        item.FTPPassword = c.password;
        item.FTPPort = c.port;
        wc.Execute();
        EXPECT_EQ(wc.Items[0].Success(), c.ok) << c.user << "/" << c.password;
        if (c.ok) {
            EXPECT_EQ(wc.log, Log({"start 0", "done 0", "copydone"}));
        } else {
            EXPECT_EQ(wc.log, Log({"start 0", "error 6", "errorinfo 6 Cannot connect to FTP server " + server_.Host(),
                                   "done 0", "copydone"}));
        }
    }
    EXPECT_TRUE(server_.AnyCommandContains("USER anonymous"));
}

TEST_F(FtpRoutines, DeleteReportsWhatTheServerDid) {
    fs::create_directories(server_.Root() / "sub");
    server_.WriteFile("sub/a.txt", "a");
    server_.WriteFile("b.txt", "b");
    FtpWebCopy wc;
    Add(wc, wpFtpDelete, "anything/a.txt", "sub");
    Add(wc, wpFtpDelete, "c:\\local\\b.txt");
    Add(wc, wpFtpDelete, "gone.txt");
    Add(wc, wpFtpDelete, "x.txt", "nosuchdir");
    wc.Execute();
    EXPECT_EQ(wc.log, Log({"start 0", "removed 0", "done 0", "start 1", "removed 1", "done 1", "start 2",
                           "removefailed 2", "done 2", "start 3", "done 3", "copydone"}));
    EXPECT_TRUE(wc.Items[0].Success());
    EXPECT_TRUE(wc.Items[2].Success()); // the delete command was sent
    EXPECT_FALSE(wc.Items[3].Success());
    EXPECT_FALSE(fs::exists(server_.Root() / "sub/a.txt"));
    EXPECT_FALSE(fs::exists(server_.Root() / "b.txt"));
}

// ---- multi-file transfers and the listing -----------------------------------------------------------

TEST_F(FtpRoutines, MultiUploadSendsEveryMatchingFileIntoANewFolder) {
    WriteLocal(local_ / "src/a.txt", "A");
    WriteLocal(local_ / "src/b.txt", Bytes(9000));
    WriteLocal(local_ / "src/c.bin", "C");
    fs::create_directories(local_ / "src/folder.txt");
    FtpWebCopy wc;
    Add(wc, wpMultiFtpUpload, Local("src/*.txt"), "x/y");
    wc.Execute();
    EXPECT_TRUE(wc.Items[0].Success());
    EXPECT_EQ(server_.ReadFile("x/y/a.txt"), "A");
    EXPECT_TRUE(server_.ReadFile("x/y/b.txt") == Bytes(9000));
    EXPECT_FALSE(fs::exists(server_.Root() / "x/y/c.bin"));
    EXPECT_FALSE(fs::exists(server_.Root() / "x/y/folder.txt"));
    // The folder that matches the mask is not a file to send, nor a failure.
    EXPECT_EQ(wc.log, Log({"start 0", "multi a.txt", "multi b.txt", "done 0", "copydone"}));
}

TEST_F(FtpRoutines, ListingFillsTheItemsListsAndReplacesThemEachRun) {
    server_.WriteFile("pub/a.zip", "12345");
    server_.WriteFile("pub/b.zip", "");
    server_.WriteFile("pub/c.txt", "c");
    fs::create_directories(server_.Root() / "pub/d.zip");
    FtpWebCopy wc;
    TZandrelWebCopyItem& item = Add(wc, wpFtpList, "pub/*.zip");
    wc.Execute();
    ASSERT_TRUE(item.Success());
    ASSERT_NE(item.FileList(), nullptr);
    std::vector<std::string> names = item.FileList()->Items();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a.zip", "b.zip", "d.zip"}));
    ASSERT_EQ(item.FileDetails()->Count(), 3);
    for (int i = 0; i < 3; ++i) {
        const TFileDetailItem& detail = (*item.FileDetails())[i];
        EXPECT_EQ(detail.Filename, (*item.FileList())[i]);
        if (detail.Filename == "a.zip") {
            EXPECT_EQ(detail.FileSize(), 5u);
        }
        EXPECT_EQ((detail.FileAttributes & inet::FILE_ATTRIBUTE_DIRECTORY) != 0, detail.Filename == "d.zip");
        EXPECT_GT(detail.FileDate.Ticks(), 0u);
    }
    item.URL = "pub/*.none";
    wc.Execute();
    EXPECT_TRUE(item.Success());
    ASSERT_NE(item.FileList(), nullptr);
    EXPECT_EQ(item.FileList()->Count(), 0);
    EXPECT_EQ(item.FileDetails()->Count(), 0);
    EXPECT_EQ(server_.CountCommands("USER"), 2);

    item.FTPPassword = "wrong";
    wc.Execute();
    EXPECT_FALSE(item.Success());
}

// The file line of a listing names what is listed; a whole folder (no mask) shows as "folder/*".
TEST_F(FtpRoutines, AListingsFileLineNamesWhatIsListed) {
    server_.WriteFile("pub/only.zip", "1");
    struct Case {
        std::string url;
        std::string line;
    };
    const std::vector<Case> cases = {
        {"", "File : * from 127.0.0.1"},
        {"pub/", "File : pub/* from 127.0.0.1"},
        {"pub/*.zip", "File : *.zip from 127.0.0.1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        FileLineWebCopy wc;
        wc.ShowServer = true;
        Add(wc, wpFtpList, c.url);
        std::string shown;
        wc.OnFileDone = [&](TZandrelWebCopy&, int) { shown = wc.FileLine(); };
        wc.Execute();
        EXPECT_EQ(shown, c.line);
    }
}

TEST_F(FtpRoutines, MultiDownloadFetchesEveryMatchOverOneLoginAndRefusesUnsafeNames) {
    server_.WriteFile("out/a.txt", "A");
    server_.WriteFile("out/b.txt", Bytes(12000));
    server_.WriteFile("out/c.bin", "C");
    server_.WriteFile("out/..\\escape.txt", "evil"); // a name that is a path on other systems
    fs::create_directories(server_.Root() / "out/sub.txt");
    FtpWebCopy wc;
    Add(wc, wpMultiFtp, "out\\*.txt", Local("in"));
    wc.Execute();
    // A matching file was refused, so the item did not do all it was asked.
    EXPECT_FALSE(wc.Items[0].Success());
    EXPECT_EQ(ReadLocal(local_ / "in/a.txt"), "A");
    EXPECT_TRUE(ReadLocal(local_ / "in/b.txt") == Bytes(12000));
    EXPECT_FALSE(fs::exists(local_ / "in/c.bin"));
    EXPECT_FALSE(fs::exists(local_ / "in/..\\escape.txt"));
    EXPECT_FALSE(fs::exists(local_ / "escape.txt"));
    EXPECT_EQ(server_.CountCommands("USER"), 1);
    // The folder that matches is not a file: neither fetched nor reported.
    for (const char* entry : {"multi a.txt", "multi b.txt", "multi ..\\escape.txt",
                              "errorinfo 3 Cannot create target file ..\\escape.txt"})
        EXPECT_NE(std::find(wc.log.begin(), wc.log.end(), entry), wc.log.end()) << entry;
    EXPECT_EQ(std::count_if(wc.log.begin(), wc.log.end(), [](const std::string& e) { return e.find("sub.txt") != std::string::npos; }),
              0);
    // The refusal has a reason of its own, not one left from an earlier file.
    ASSERT_EQ(wc.reasons.size(), 1u);
    EXPECT_NE(wc.reasons[0].find("..\\escape.txt"), std::string::npos) << wc.reasons[0];
}

} // namespace
} // namespace zandrel::webcopy
