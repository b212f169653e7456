// Newer-only transfers compare full-precision times: a listing line has no seconds, and no time
// of day at all for files older than about six months, so the dates come from MLSD or MDTM. The
// comparison is made in one basis: the server's UTC time becomes the component's local time.
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdlib>
#include <ctime>

#include <gtest/gtest.h>

#include "FtpTestSupport.h"
#include "platform/rtl/DateTime.h"

namespace zandrel::webcopy {
namespace {

using testing::AddFtpItem;
using testing::FtpWebCopy;
using testing::ReadLocal;
using testing::WriteLocal;
namespace fs = std::filesystem;

// The local time zone of the test: half an hour off any whole-hour zone, so a comparison that
// mixes UTC and local time cannot pass by chance.
class LocalZone {
public:
    explicit LocalZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) previous_ = old, hadPrevious_ = true;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~LocalZone() {
        if (hadPrevious_) setenv("TZ", previous_.c_str(), 1);
        else unsetenv("TZ");
        tzset();
    }

private:
    std::string previous_;
    bool hadPrevious_ = false;
};

TEST(FtpDates, NewerOnlyComparesTheFullTimeInOneBasis) {
    LocalZone zone("ZZZ-5:30");
    // Eight months ago, at 10:20:30 UTC: a listing line shows only the day.
    const int64_t stamp = (static_cast<int64_t>(std::time(nullptr)) - 240 * 86400) / 86400 * 86400 + 37230;
    const TDateTime remoteLocal = rtl::UnixToLocalDateTime(stamp);
    const TDateTime second = 1.0 / 86400;
    struct Case {
        TZandrelWebCopyProtocol protocol;
        TDateTime fileDate;
        bool transfers;
    };
    const std::vector<Case> cases{
        {wpFtp, remoteLocal - 20 * second, true},        // the remote file is 20 s newer
        {wpFtp, remoteLocal, false},                     // the same file
        {wpFtpUpload, remoteLocal - 20 * second, false}, // the local copy is older than the remote one
        {wpFtpUpload, remoteLocal + 20 * second, true},  // the local copy is newer
    };
    for (bool mlsd : {true, false}) { // without MLSD the time comes from MDTM
        test::FtpServerOptions options;
        options.mlsd = mlsd;
        test::FtpServer server(options);
        const fs::path local = fs::temp_directory_path() / ("zandrel-dates-" + std::to_string(::getpid()));
        for (const Case& c : cases) {
            const bool download = c.protocol == wpFtp;
            const std::string what = std::string(mlsd ? "MLSD " : "MDTM ") + (download ? "download " : "upload ") +
                                     std::to_string((c.fileDate - remoteLocal) * 86400);
            fs::remove_all(local);
            WriteLocal(local / "up/r.txt", "local");
            const fs::path remote = server.WriteFile("r.txt", "remote");
            const timespec times[2] = {{stamp, 0}, {stamp, 0}};
            ASSERT_EQ(utimensat(AT_FDCWD, remote.c_str(), times, 0), 0);
            FtpWebCopy wc;
            TZandrelWebCopyItem& item = download ? AddFtpItem(wc, server, wpFtp, "r.txt", (local / "down").string())
                                                 : AddFtpItem(wc, server, wpFtpUpload, (local / "up/r.txt").string());
            item.CopyNewerOnly = true;
            item.FileDate = c.fileDate;
            wc.Execute();
            EXPECT_EQ(wc.Items[0].Success(), c.transfers) << what;
            EXPECT_EQ(wc.Items[0].NoNewVersion(), !c.transfers) << what;
            EXPECT_NEAR(wc.Items[0].NewFileDate, remoteLocal, 0.001 * second) << what;
            if (download) {
                EXPECT_EQ(fs::exists(local / "down/r.txt"), c.transfers) << what;
            } else {
                EXPECT_EQ(server.ReadFile("r.txt"), c.transfers ? "local" : "remote") << what;
            }
        }
        fs::remove_all(local);
    }
}

// Each file of a multi-file transfer is compared with the item's date, not with the date of the
// file examined before it.
TEST(FtpDates, EachFileOfAMultiFileTransferIsComparedWithTheItemsDate) {
    test::FtpServer server;
    const int64_t now = std::time(nullptr);
    const struct {
        const char* name;
        int64_t stamp;
    } files[] = {{"new1.txt", now - 100}, {"old.txt", now - 10000}, {"new2.txt", now - 200}};
    for (const auto& f : files) {
        const fs::path path = server.WriteFile(std::string("out/") + f.name, f.name);
        const timespec times[2] = {{f.stamp, 0}, {f.stamp, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    }
    const fs::path in = fs::temp_directory_path() / ("zandrel-multidates-" + std::to_string(::getpid()));
    struct Case {
        int64_t since;
        std::vector<std::string> fetched;
        bool success, noNewVersion;
    };
    for (const Case& c : {Case{now - 1000, {"new1.txt", "new2.txt"}, true, false},
                          Case{now - 50, {}, false, true}}) {
        fs::remove_all(in);
        FtpWebCopy wc;
        TZandrelWebCopyItem& item = AddFtpItem(wc, server, wpMultiFtp, "out/*.txt", in.string());
        item.CopyNewerOnly = true;
        item.FileDate = rtl::UnixToLocalDateTime(c.since);
        wc.Execute();
        EXPECT_EQ(item.Success(), c.success) << c.since;
        EXPECT_EQ(item.NoNewVersion(), c.noNewVersion) << c.since;
        std::vector<std::string> fetched;
        if (fs::exists(in))
            for (const auto& entry : fs::directory_iterator(in)) fetched.push_back(entry.path().filename().string());
        std::sort(fetched.begin(), fetched.end());
        EXPECT_EQ(fetched, c.fetched) << c.since;
    }
    fs::remove_all(in);
}

// Servers leave dot files out of LIST (vsftpd), yet the files are there: the date of one the
// listing does not show is asked for directly, and without any date a newer-only download
// cannot decide and says so.
TEST(FtpDates, NewerOnlyChecksTheDateOfAFileTheListingHides) {
    const int64_t stamp = static_cast<int64_t>(std::time(nullptr)) - 3600;
    const TDateTime remote = rtl::UnixToLocalDateTime(stamp);
    const TDateTime minute = 60.0 / 86400;
    struct Case {
        std::string what;
        bool mdtm;
        TDateTime fileDate;
        bool transfers, noNewVersion;
    };
    const std::vector<Case> cases{
        {"remote newer", true, remote - minute, true, false},
        {"the same file", true, remote, false, true},
        {"no date to be had", false, remote - minute, false, false},
    };
    for (const Case& c : cases) {
        test::FtpServerOptions options;
        options.hideDotFiles = true;
        options.mlsd = false; // as vsftpd: LIST only
        options.mdtm = c.mdtm;
        test::FtpServer server(options);
        const fs::path remotePath = server.WriteFile("conf/.env", "remote");
        const timespec times[2] = {{stamp, 0}, {stamp, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, remotePath.c_str(), times, 0), 0);
        const fs::path local = fs::temp_directory_path() / ("zandrel-hidden-" + std::to_string(::getpid()));
        fs::remove_all(local);
        FtpWebCopy wc;
        TZandrelWebCopyItem& item = AddFtpItem(wc, server, wpFtp, "conf/.env", local.string());
        item.CopyNewerOnly = true;
        item.FileDate = c.fileDate;
        wc.Execute();
        EXPECT_EQ(item.Success(), c.transfers) << c.what;
        EXPECT_EQ(item.NoNewVersion(), c.noNewVersion) << c.what;
        EXPECT_EQ(fs::exists(local / ".env"), c.transfers) << c.what;
        if (c.mdtm) {
            EXPECT_NEAR(item.NewFileDate, remote, 0.001 / 86400) << c.what;
            EXPECT_TRUE(wc.reasons.empty()) << c.what;
        } else {
            ASSERT_EQ(wc.reasons.size(), 1u) << c.what;
            EXPECT_NE(wc.reasons[0].find("tells no date"), std::string::npos) << c.what << ": " << wc.reasons[0];
        }
        fs::remove_all(local);
    }
}

} // namespace
} // namespace zandrel::webcopy
