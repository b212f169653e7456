#pragma once
// What the routine tests share: the component logging the events it raises as short texts, a run
// of it for calling routines one by one, and a fixture with a real FTP server and a local folder
// of its own.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fixtures/FtpServer.h"
#include "platform/inet/Inet.h"
#include "platform/rtl/DateTime.h"
#include "webcopy/SilentDisplay.h"
#include "webcopy/Routines.h"
#include "webcopy/Utilities.h"
#include "webcopy/WebCopyInternals.h"

namespace zandrel::webcopy::testing {

namespace fs = std::filesystem;
using Log = std::vector<std::string>;

inline std::string Bytes(size_t count, unsigned seed = 7) {
    std::string text(count, '\0');
    for (size_t i = 0; i < count; ++i) text[i] = static_cast<char>((i * 131 + seed * 17 + (i >> 8)) & 0xFF);
    return text;
}

inline void WriteLocal(const fs::path& path, const std::string& content) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

inline std::string ReadLocal(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A local date-time for a Unix time, as the component shows file dates.
inline TDateTime LocalDate(int64_t unixSeconds) {
    rtl::FILETIME local;
    rtl::FileTimeToLocalFileTime(rtl::UnixToFileTime(unixSeconds), local);
    return FileTimeToDate(local);
}

inline void SetMtime(const fs::path& path, int64_t unixSeconds) {
    struct timespec times[2] = {{unixSeconds, 0}, {unixSeconds, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

// The names in a local folder, sorted, hidden ones included.
inline std::vector<std::string> Names(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// An item for `server`, logging in as its user.
inline TZandrelWebCopyItem& AddFtpItem(TZandrelWebCopy& wc, const test::FtpServer& server,
                                       TZandrelWebCopyProtocol protocol, const std::string& url,
                                       const std::string& targetDir = "", const std::string& targetName = "") {
    TZandrelWebCopyItem& item = wc.Items.Add();
    item.Protocol = protocol;
    item.URL = url;
    item.TargetDir = targetDir;
    item.TargetFilename = targetName;
    item.FTPHost = server.Host();
    item.FTPPort = server.Port();
    item.FTPUserID = server.Options().user;
    item.FTPPassword = server.Options().password;
    return item;
}

// The component, logging the events it raises.
class FtpWebCopy : public TZandrelWebCopy {
public:
    explicit FtpWebCopy(bool logProgress = false) {
        ShowDialog = false;
        OnFileStart = [this](TZandrelWebCopy&, int idx) { log.push_back("start " + std::to_string(idx)); };
        OnFileDone = [this](TZandrelWebCopy&, int idx) { log.push_back("done " + std::to_string(idx)); };
        OnCopyDone = [this](TZandrelWebCopy&) { log.push_back("copydone"); };
        OnError = [this](TZandrelWebCopy&, int code) {
            log.push_back("error " + std::to_string(code));
            reasons.push_back(LastErrorReason());
        };
        OnErrorInfo = [this](TZandrelWebCopy&, int code, const std::string& text) {
            log.push_back("errorinfo " + std::to_string(code) + " " + text);
        };
        OnURLNotFound = [this](TZandrelWebCopy&, const std::string& url) { log.push_back("notfound " + url); };
        OnNoNewFileFound = [this](TZandrelWebCopy&, const std::string& name, TDateTime, TDateTime) {
            log.push_back("nonew " + name);
        };
        OnMultiFTPFileDone = [this](TZandrelWebCopy&, const std::string& name) { log.push_back("multi " + name); };
        OnRemovedFile = [this](TZandrelWebCopy&, int idx) { log.push_back("removed " + std::to_string(idx)); };
        OnRemovedFileFailed = [this](TZandrelWebCopy&, int idx) {
            log.push_back("removefailed " + std::to_string(idx));
        };
        if (logProgress)
            OnCopyProgress = [this](TZandrelWebCopy&, int fileidx, uint64_t size, uint64_t total) {
                log.push_back("progress " + std::to_string(fileidx) + " " + std::to_string(size) + "/" +
                              std::to_string(total));
            };
    }

    // What Open file would open after the last run.
    const std::string& LastFile() { return WebCopyInternals::Of(*this).dialog.lastFile; }

    Log log;
    std::vector<std::string> reasons; // LastErrorReason() at each OnError
};

// A run of a component outside Execute, for calling its routines one at a time as the driver
// would: the root is open, the kept connection carries over from one call to the next, and
// nothing is shown. Events go to the component, which reads its reasons from this run.
class DirectRun {
public:
    explicit DirectRun(TZandrelWebCopy& wc) : wc_(wc), run(wc, display_) {
        run.OpenRoot();
        WebCopyInternals::Of(wc_).run = &run;
    }
    ~DirectRun() { WebCopyInternals::Of(wc_).run = nullptr; }
    DirectRun(const DirectRun&) = delete;
    DirectRun& operator=(const DirectRun&) = delete;

    // Runs `routine` on `item` as item `idx` of the list.
    TransferOutcome Call(TransferOutcome (*routine)(TransferRun&, const TransferItem&), const TZandrelWebCopyItem& item,
                         bool keepConnection, int idx = 0) {
        return routine(run, TransferItem{idx, item, keepConnection});
    }

private:
    TZandrelWebCopy& wc_;
    SilentDisplay display_;

public:
    TransferRun run;
};

class FtpRoutines : public ::testing::Test {
protected:
    explicit FtpRoutines(test::FtpServerOptions options = {})
        : server_(std::move(options)), local_(fs::temp_directory_path() / ("zandrel-ftp-" + std::to_string(::getpid()))) {
        fs::remove_all(local_);
        fs::create_directories(local_);
    }
    ~FtpRoutines() override { fs::remove_all(local_); }

    TZandrelWebCopyItem& Add(TZandrelWebCopy& wc, TZandrelWebCopyProtocol protocol, const std::string& url,
                             const std::string& targetDir = "", const std::string& targetName = "") {
        return AddFtpItem(wc, server_, protocol, url, targetDir, targetName);
    }
    std::string Local(const std::string& name) const { return (local_ / name).string(); }
    // The names in a folder of the server, hidden ones included, sorted.
    std::vector<std::string> ServerFolder(const std::string& relative) const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(server_.Root() / relative))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    test::FtpServer server_;
    fs::path local_;
};


// Whether the log holds `entry`.
inline bool Logged(const Log& log, const std::string& entry) {
    return std::find(log.begin(), log.end(), entry) != log.end();
}

} // namespace zandrel::webcopy::testing
