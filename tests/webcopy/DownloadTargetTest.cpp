// What a download may do to the local folder it is given, for every kind of download (FTP, a
// multi-file FTP download, HTTP, a local copy): a link named like the download is replaced, never
// written through, so nothing outside the folder changes; a pipe, a device or a folder at that
// name is refused without waiting on it; a full disk fails the item with the system's reason and
// leaves the old file and the folder as they were, and the run goes on.
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>

#include "fixtures/HttpServer.h"
#include "webcopy/FtpTestSupport.h"

namespace zandrel::webcopy::testing {
namespace {

// One way of downloading "d.bin" into a folder.
struct Download {
    std::string what;
    std::function<void(FtpWebCopy&, const fs::path& folder)> add;
};

class DownloadTarget : public ::testing::Test {
protected:
    DownloadTarget() : base_(fs::temp_directory_path() / ("zandrel-target-" + std::to_string(::getpid()))) {
        fs::remove_all(base_);
        fs::create_directories(base_ / "source");
        ftp_.WriteFile("out/d.bin", content_);
        http_.WriteFile("d.bin", content_);
        WriteLocal(base_ / "source/d.bin", content_);
    }
    ~DownloadTarget() override { fs::remove_all(base_); }

    std::vector<Download> Downloads() {
        return {
            {"FTP", [this](FtpWebCopy& wc, const fs::path& folder) {
                 AddFtpItem(wc, ftp_, wpFtp, "out/d.bin", folder.string());
             }},
            {"multi-file FTP", [this](FtpWebCopy& wc, const fs::path& folder) {
                 AddFtpItem(wc, ftp_, wpMultiFtp, "out/*.bin", folder.string());
             }},
            {"HTTP", [this](FtpWebCopy& wc, const fs::path& folder) {
                 TZandrelWebCopyItem& item = wc.Items.Add();
                 item.Protocol = wpHttp;
                 item.URL = http_.Base() + "/files/d.bin";
                 item.TargetDir = folder.string();
             }},
            {"local copy", [this](FtpWebCopy& wc, const fs::path& folder) {
                 TZandrelWebCopyItem& item = wc.Items.Add();
                 item.Protocol = wpFile;
                 item.URL = (base_ / "source/d.bin").string();
                 item.TargetDir = folder.string();
             }},
        };
    }

    const std::string content_ = Bytes(50000);
    test::FtpServer ftp_;
    test::HttpServer http_;
    fs::path base_;
};

TEST_F(DownloadTarget, ALinkNamedLikeTheDownloadIsReplacedAndWhatItLeadsToIsLeftAlone) {
    const fs::path outside = base_ / "outside.txt";
    for (bool dangling : {false, true}) { // a link to nothing would create the file it names
        for (const Download& d : Downloads()) {
            const std::string what = d.what + (dangling ? ", dangling link" : ", link to a file");
            const fs::path folder = base_ / "in";
            fs::remove_all(folder);
            fs::create_directories(folder);
            fs::remove(outside);
            if (!dangling) WriteLocal(outside, "not to be touched");
            fs::create_symlink(outside, folder / "d.bin");
            FtpWebCopy wc;
            d.add(wc, folder);
            wc.Execute();
            EXPECT_TRUE(wc.Items[0].Success()) << what;
            if (dangling) EXPECT_FALSE(fs::exists(outside)) << what;
            else EXPECT_EQ(ReadLocal(outside), "not to be touched") << what;
            EXPECT_FALSE(fs::is_symlink(folder / "d.bin")) << what;
            EXPECT_TRUE(ReadLocal(folder / "d.bin") == content_) << what;
            EXPECT_EQ(Names(folder), std::vector<std::string>{"d.bin"}) << what;
        }
    }
}

// A transfer that breaks leaves the link and the file behind it as they were.
TEST(DownloadTargetLink, ABrokenTransferLeavesTheLinkAndItsFileAlone) {
    test::FtpServerOptions options;
    options.rules = {"RETR break 5000"};
    test::FtpServer server(options);
    server.WriteFile("d.bin", Bytes(50000));
    const fs::path base = fs::temp_directory_path() / ("zandrel-link-" + std::to_string(::getpid()));
    fs::remove_all(base);
    fs::create_directories(base / "in");
    WriteLocal(base / "outside.txt", "not to be touched");
    fs::create_symlink(base / "outside.txt", base / "in/d.bin");
    FtpWebCopy wc;
    AddFtpItem(wc, server, wpFtp, "d.bin", (base / "in").string());
    wc.Execute();
    EXPECT_FALSE(wc.Items[0].Success());
    EXPECT_EQ(ReadLocal(base / "outside.txt"), "not to be touched");
    EXPECT_TRUE(fs::is_symlink(base / "in/d.bin"));
    EXPECT_EQ(Names(base / "in"), std::vector<std::string>{"d.bin"});
    fs::remove_all(base);
}

TEST_F(DownloadTarget, APipeOrAFolderAtTheNameIsRefusedWithAReason) {
    struct Kind {
        std::string what;
        std::function<void(const fs::path&)> make;
        std::string reasonPart;
    };
    const std::vector<Kind> kinds{
        {"pipe", [](const fs::path& p) { ASSERT_EQ(mkfifo(p.c_str(), 0600), 0); }, "not a regular file"},
        {"folder", [](const fs::path& p) { fs::create_directories(p / "inside"); }, "is a folder"},
    };
    for (const Kind& kind : kinds) {
        for (const Download& d : Downloads()) {
            const std::string what = kind.what + ", " + d.what;
            const fs::path folder = base_ / "in";
            fs::remove_all(folder);
            fs::create_directories(folder);
            kind.make(folder / "d.bin");
            // A reader keeps the pipe from blocking a writer, so a download that writes into it
            // shows as a success instead of hanging the test.
            const int reader = kind.what == "pipe" ? ::open((folder / "d.bin").c_str(), O_RDONLY | O_NONBLOCK) : -1;
            FtpWebCopy wc;
            d.add(wc, folder);
            wc.Execute();
            if (reader >= 0) ::close(reader);
            EXPECT_FALSE(wc.Items[0].Success()) << what;
            EXPECT_TRUE(Logged(wc.log, "error 3")) << what;
            ASSERT_EQ(wc.reasons.size(), 1u) << what;
            EXPECT_NE(wc.reasons[0].find(kind.reasonPart), std::string::npos) << what << ": " << wc.reasons[0];
            EXPECT_EQ(Names(folder), std::vector<std::string>{"d.bin"}) << what;
        }
    }
}

// A real full disk: a small tmpfs, where the system allows mounting one.
class FullDisk : public DownloadTarget {
protected:
    FullDisk() {
        disk_ = base_ / "disk";
        fs::create_directories(disk_);
        mounted_ = ::mount("tmpfs", disk_.c_str(), "tmpfs", 0, "size=32k") == 0;
        if (!mounted_) why_ = std::strerror(errno);
    }
    ~FullDisk() override {
        if (mounted_) ::umount2(disk_.c_str(), MNT_DETACH);
    }
    fs::path disk_;
    bool mounted_ = false;
    std::string why_;
};

TEST_F(FullDisk, FailsTheItemWithTheSystemsReasonAndTheRunGoesOn) {
    if (!mounted_) GTEST_SKIP() << "cannot mount a small tmpfs here: " << why_;
    for (const Download& d : Downloads()) {
        for (const auto& entry : fs::directory_iterator(disk_)) fs::remove_all(entry.path());
        WriteLocal(disk_ / "d.bin", "the copy from before");
        FtpWebCopy wc;
        d.add(wc, disk_);
        AddFtpItem(wc, ftp_, wpFtpTest, ""); // the run goes on after the failed item
        ASSERT_NO_THROW(wc.Execute()) << d.what;
        EXPECT_FALSE(wc.Items[0].Success()) << d.what;
        EXPECT_TRUE(wc.Items[1].Success()) << d.what;
        EXPECT_TRUE(Logged(wc.log, "error 5")) << d.what;
        ASSERT_FALSE(wc.reasons.empty()) << d.what;
        EXPECT_EQ(wc.reasons[0], "No space left on device") << d.what;
        EXPECT_EQ(ReadLocal(disk_ / "d.bin"), "the copy from before") << d.what;
        EXPECT_EQ(Names(disk_), std::vector<std::string>{"d.bin"}) << d.what;
    }
}

} // namespace
} // namespace zandrel::webcopy::testing
