// HTTP download and upload items run by the component against a real server on 127.0.0.1.
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>
#include <thread>

#include "fixtures/HttpServer.h"
#include "platform/rtl/DateTime.h"
#include "platform/ui/Interrupt.h"
#include "webcopy/FtpTestSupport.h"
#include "webcopy/Login.h"
#include "webcopy/Utilities.h"

namespace zandrel::webcopy::testing {
namespace {

using test::HttpServer;
using test::HttpServerOptions;

// Answers login questions for the scope with the given credentials (empty user: cancels), and
// counts and records them.
class LoginScope {
public:
    LoginScope(std::string user, std::string password) {
        previous_ = SetLoginHandler([this, user, password](const std::string& caption, std::string& u, std::string& p) {
            captions.push_back(caption);
            if (user.empty()) return false;
            u = user;
            p = password;
            return true;
        });
    }
    ~LoginScope() { SetLoginHandler(std::move(previous_)); }
    std::vector<std::string> captions;

private:
    LoginHandler previous_;
};

class HttpRoutines : public ::testing::Test {
protected:
    HttpRoutines() : local_(fs::temp_directory_path() / ("zandrel-http-" + std::to_string(::getpid()))) {
        fs::remove_all(local_);
        fs::create_directories(local_);
    }
    ~HttpRoutines() override { fs::remove_all(local_); }

    TZandrelWebCopyItem& Get(FtpWebCopy& wc, const std::string& path, const std::string& targetName = "") {
        TZandrelWebCopyItem& item = wc.Items.Add();
        item.Protocol = wpHttp;
        item.URL = server_.Base() + path;
        item.TargetDir = local_.string();
        item.TargetFilename = targetName;
        return item;
    }
    TZandrelWebCopyItem& Put(FtpWebCopy& wc, const std::string& path, const std::string& localName,
                             TZandrelWebCopyHTTPCommand command = hcPut) {
        TZandrelWebCopyItem& item = wc.Items.Add();
        item.Protocol = wpHttpUpload;
        item.URL = server_.Base() + path;
        item.TargetDir = local_.string();
        item.TargetFilename = localName;
        item.HTTPCommand = command;
        return item;
    }

    HttpServer server_;
    fs::path local_;
};

TEST_F(HttpRoutines, DownloadsWholeFilesInEveryFraming) {
    const std::string content = Bytes(100000);
    server_.WriteFile("a.bin", content);
    FtpWebCopy wc(true);
    Get(wc, "/files/a.bin");
    Get(wc, "/chunked/a.bin", "chunked.bin");
    Get(wc, "/close/a.bin", "close.bin");
    wc.Execute();
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(wc.Items[i].Success()) << i;
    EXPECT_TRUE(ReadLocal(local_ / "a.bin") == content);
    EXPECT_TRUE(ReadLocal(local_ / "chunked.bin") == content);
    EXPECT_TRUE(ReadLocal(local_ / "close.bin") == content);
    EXPECT_TRUE(Logged(wc.log, "progress 1 100000/100000"));
    EXPECT_TRUE(Logged(wc.log, "progress 2 100000/0")); // no length told: 0 as the expected size
    EXPECT_EQ(Names(local_), std::vector<std::string>({"a.bin", "chunked.bin", "close.bin"}));
}

TEST_F(HttpRoutines, ErrorStatusesAndUnreachableServersAreReported) {
    FtpWebCopy wc;
    Get(wc, "/status/404", "x.bin");
    Get(wc, "/status/500", "y.bin");
    TZandrelWebCopyItem& gone = wc.Items.Add();
    gone.Protocol = wpHttp;
    gone.URL = "http://127.0.0.1:" + std::to_string(test::UnusedLocalPort()) + "/f.bin";
    gone.TargetDir = local_.string();
    wc.Execute();
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(wc.Items[i].Success()) << i;
    EXPECT_TRUE(Logged(wc.log, "errorinfo 404 Returned http error code 404"));
    EXPECT_TRUE(Logged(wc.log, "errorinfo 500 Returned http error code 500"));
    EXPECT_TRUE(Logged(wc.log, "notfound " + gone.URL));
    ASSERT_EQ(wc.reasons.size(), 2u);
    EXPECT_NE(wc.reasons[0].find("404"), std::string::npos) << wc.reasons[0];
    EXPECT_TRUE(Names(local_).empty());
}

TEST_F(HttpRoutines, BasicAuthenticationAsksWhenAndOnlyWhenItShould) {
    server_.WriteFile("s.txt", "secret data");
    const std::string caption = "Connect to 127.0.0.1:" + std::to_string(server_.Port());
    const std::string expected = "Basic YWxpY2U6c2VjcmV0";
    {   // waNever: the 401 is an error, nobody is asked.
        LoginScope login("alice", "secret");
        FtpWebCopy wc;
        Get(wc, "/auth/s.txt").Authenticate = waNever;
        wc.Execute();
        EXPECT_FALSE(wc.Items[0].Success());
        EXPECT_TRUE(Logged(wc.log, "errorinfo 401 Returned http error code 401"));
        EXPECT_TRUE(login.captions.empty());
    }
    {   // waAuto: asked after the 401, then the request goes again with the answer.
        LoginScope login("alice", "secret");
        FtpWebCopy wc;
        Get(wc, "/auth/s.txt").Authenticate = waAuto;
        wc.Execute();
        EXPECT_TRUE(wc.Items[0].Success());
        EXPECT_EQ(login.captions, std::vector<std::string>({caption}));
        EXPECT_EQ(ReadLocal(local_ / "s.txt"), "secret data");
    }
    {   // waAuto, cancelled: no event, no file.
        LoginScope login("", "");
        FtpWebCopy wc;
        Get(wc, "/auth/s.txt", "cancelled.txt").Authenticate = waAuto;
        wc.Execute();
        EXPECT_FALSE(wc.Items[0].Success());
        EXPECT_EQ(wc.log, Log({"start 0", "done 0", "copydone"}));
        EXPECT_FALSE(fs::exists(local_ / "cancelled.txt"));
    }
    const size_t before = server_.Requests().size();
    {   // waAlways with both credentials: sent at once, nobody asked.
        LoginScope login("nobody", "x");
        FtpWebCopy wc;
        TZandrelWebCopyItem& item = Get(wc, "/auth/s.txt", "always.txt");
        item.Authenticate = waAlways;
        item.HTTPUserID = "alice";
        item.HTTPPassword = "secret";
        wc.Execute();
        EXPECT_TRUE(wc.Items[0].Success());
        EXPECT_TRUE(login.captions.empty());
    }
    {   // waAlways with a credential missing: asked before the first request.
        LoginScope login("alice", "secret");
        FtpWebCopy wc;
        TZandrelWebCopyItem& item = Get(wc, "/auth/s.txt", "asked.txt");
        item.Authenticate = waAlways;
        item.HTTPUserID = "alice";
        wc.Execute();
        EXPECT_TRUE(wc.Items[0].Success());
        EXPECT_EQ(login.captions, std::vector<std::string>({caption}));
    }
    const auto requests = server_.Requests();
    ASSERT_EQ(requests.size(), before + 2);
    EXPECT_EQ(requests[before].authorization, expected);
    EXPECT_EQ(requests[before + 1].authorization, expected);
}

TEST_F(HttpRoutines, ALoginThatNeverSucceedsEndsInTheServersRefusal) {
    server_.WriteFile("s.txt", "s");
    LoginScope login("alice", "wrong");
    FtpWebCopy wc;
    Get(wc, "/auth/s.txt").Authenticate = waAuto;
    wc.Execute();
    EXPECT_FALSE(wc.Items[0].Success());
    EXPECT_TRUE(Logged(wc.log, "errorinfo 401 Returned http error code 401"));
    EXPECT_GT(login.captions.size(), 1u);
}

// A login that is not given ends the item with the reason: the server's refusal when credentials
// had gone with the request, else that none were given. The reason and the question both name the
// server that asked, which after a redirect is not the one in the URL. A retry says that the last
// answer was refused and starts with its user name.
TEST_F(HttpRoutines, AnUnansweredLoginNamesTheServerThatAskedAndWhy) {
    HttpServer other;
    other.WriteFile("s.txt", "s");
    server_.WriteFile("s.txt", "s");
    const std::string here = "127.0.0.1:" + std::to_string(server_.Port());
    const std::string there = "127.0.0.1:" + std::to_string(other.Port());
    struct Case {
        std::string path;
        std::string user, password;
        std::string reason;
        std::string asker; // the server the login's question names
    };
    const std::vector<Case> cases = {
        {"/auth/s.txt", "alice", "wrong", "401 Unauthorized from " + here, here},
        {"/redirect?to=" + other.Base() + "/auth/s.txt", "alice", "wrong", "401 Unauthorized from " + there, there},
        {"/auth/s.txt", "", "", "login cancelled: no user name and password were given for " + here, here},
        {"/redirect?to=" + other.Base() + "/auth/s.txt", "", "",
         "login cancelled: no user name and password were given for " + there, there},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path + " " + c.user);
        LoginScope login("", "");
        FtpWebCopy wc;
        TZandrelWebCopyItem& item = Get(wc, c.path, "s.txt");
        item.Authenticate = waAuto;
        item.HTTPUserID = c.user;
        item.HTTPPassword = c.password;
        wc.Execute();
        EXPECT_FALSE(wc.Items[0].Success());
        EXPECT_EQ(wc.LastErrorReason(), c.reason);
        EXPECT_EQ(login.captions, std::vector<std::string>{"Connect to " + c.asker});
    }
}

// Passwords in a URL stay out of every event and reason, whoever put them there.
TEST_F(HttpRoutines, PasswordsInTheUrlAreNeverReported) {
    server_.WriteFile("big.bin", Bytes(100000));
    server_.WriteFile("s.txt", "s");
    const std::string gone = "127.0.0.1:" + std::to_string(test::UnusedLocalPort());
    FtpWebCopy wc;
    Get(wc, "/x.bin").URL = "http://alice:s3cret@" + gone + "/x.bin";
    Get(wc, "/x.bin").URL = "http://alice:s3cret@" + server_.Base().substr(7) + "/cut/big.bin?bytes=10";
    // Without a path the credentials stand where the file's name would be.
    Get(wc, "/x.bin").URL = "http://alice:s3cret@" + server_.Base().substr(7);
    Put(wc, "/x.bin", "").URL = "http://alice:s3cret@" + server_.Base().substr(7);
    WriteLocal(local_ / "up.bin", "up");
    Put(wc, "/x.bin", "up.bin").URL = "http://alice:s3cret@" + server_.Base().substr(7);
    wc.Execute();
    for (int i = 0; i < wc.Items.Count(); ++i) EXPECT_FALSE(wc.Items[i].Success()) << i;
    EXPECT_EQ(Names(local_), std::vector<std::string>({"up.bin"}));
    {   // The proxy's credentials, which go into the URL, are not shown in the login's caption.
        LoginScope login("", "");
        FtpWebCopy proxied;
        Get(proxied, "/auth/s.txt").Authenticate = waAuto;
        proxied.ProxyUserID = "proxyuser";
        proxied.ProxyPassword = "proxys3cret";
        proxied.Execute();
        EXPECT_EQ(login.captions,
                  std::vector<std::string>({"Connect to proxyuser:*password*@" + server_.Base().substr(7)}));
    }
    EXPECT_TRUE(Logged(wc.log, "notfound http://alice:*password*@" + gone + "/x.bin"));
    EXPECT_TRUE(Logged(wc.log, "errorinfo 4 Error reading source file http://alice:*password*@" +
                                   server_.Base().substr(7) + "/cut/big.bin?bytes=10"));
    for (const std::string& entry : wc.log) EXPECT_EQ(entry.find("s3cret"), std::string::npos) << entry;
    for (const std::string& reason : wc.reasons) EXPECT_EQ(reason.find("s3cret"), std::string::npos) << reason;
}

TEST_F(HttpRoutines, CopyNewerOnlyComparesWithTheServersDate) {
    constexpr int64_t kServerTime = 1700000000;
    SetMtime(server_.WriteFile("d.txt", "dated"), kServerTime);
    server_.WriteFile("u.txt", "undated");
    struct Case {
        std::string path;
        TDateTime fileDate;
        bool downloaded;
    };
    const TDateTime serverDate = LocalDate(kServerTime);
    for (const Case& c : {Case{"/files/d.txt", serverDate, false}, Case{"/files/d.txt", serverDate + 1.0, false},
                          Case{"/files/d.txt", serverDate - 1.0 / 24, true}, Case{"/nodate/u.txt", serverDate, true}}) {
        SCOPED_TRACE(c.path + " " + std::to_string(c.fileDate));
        fs::remove_all(local_);
        FtpWebCopy wc;
        TZandrelWebCopyItem& item = Get(wc, c.path);
        item.CopyNewerOnly = true;
        item.FileDate = c.fileDate;
        const TDateTime before = rtl::Now();
        wc.Execute();
        EXPECT_EQ(wc.Items[0].Success(), c.downloaded);
        EXPECT_EQ(wc.Items[0].NoNewVersion(), !c.downloaded);
        EXPECT_EQ(fs::exists(local_ / ExtractUrlFileName(c.path)), c.downloaded);
        if (c.path == "/nodate/u.txt") {
            EXPECT_GE(wc.Items[0].NewFileDate, before - 1.0 / 86400); // no date: counts as new, dated now
        } else {
            EXPECT_NEAR(wc.Items[0].NewFileDate, serverDate, 1e-6);
            EXPECT_EQ(Logged(wc.log, "nonew d.txt"), !c.downloaded);
        }
    }
}

TEST_F(HttpRoutines, ExistingFilesAreGuardedOrGivenUniqueNames) {
    server_.WriteFile("report.zip", "new report");
    server_.WriteFile("name", "new name");
    WriteLocal(local_ / "report.zip", "old");
    WriteLocal(local_ / "report(1).zip", "older");
    WriteLocal(local_ / "name", "old");
    {
        FtpWebCopy wc;
        wc.OnCopyOverWrite = [](TZandrelWebCopy&, const std::string&, bool& allow) { allow = false; };
        Get(wc, "/files/report.zip");
        wc.Execute();
        EXPECT_FALSE(wc.Items[0].Success());
        EXPECT_EQ(ReadLocal(local_ / "report.zip"), "old");
    }
    FtpWebCopy wc;
    wc.CreateUniqueFilenames = true;
    Get(wc, "/files/report.zip");
    Get(wc, "/files/name");
    wc.Execute();
    EXPECT_TRUE(wc.Items[0].Success());
    EXPECT_TRUE(wc.Items[1].Success());
    EXPECT_EQ(ReadLocal(local_ / "report(2).zip"), "new report");
    EXPECT_EQ(ReadLocal(local_ / "name(1)"), "new name");
    EXPECT_EQ(ReadLocal(local_ / "report.zip"), "old");
    EXPECT_EQ(wc.LastFile(), (local_ / "name").string()); // the path before renaming
    // The item says where each file went.
    EXPECT_EQ(wc.Items[0].StoredFilename(), (local_ / "report(2).zip").string());
    EXPECT_EQ(wc.Items[1].StoredFilename(), (local_ / "name(1)").string());
}

TEST_F(HttpRoutines, ABrokenDownloadFailsAndLeavesTheExistingFileAlone) {
    server_.WriteFile("big.bin", Bytes(200000));
    WriteLocal(local_ / "big.bin", "the good old copy");
    FtpWebCopy wc;
    Get(wc, "/cut/big.bin?bytes=100000", "big.bin");
    wc.Execute();
    EXPECT_FALSE(wc.Items[0].Success());
    EXPECT_TRUE(Logged(wc.log, "error 4"));
    ASSERT_EQ(wc.reasons.size(), 1u);
    EXPECT_NE(wc.reasons[0].find("short"), std::string::npos) << wc.reasons[0];
    EXPECT_EQ(ReadLocal(local_ / "big.bin"), "the good old copy");
    EXPECT_EQ(Names(local_), std::vector<std::string>({"big.bin"})); // no temporary file left
}

// A file is saved under the name the server knows it by: escapes decoded, the query left out.
TEST_F(HttpRoutines, LocalNamesAreDecodedAndLeaveTheQueryOut) {
    server_.WriteFile("my file \xC3\xBC.txt", "spaced");
    server_.WriteFile("plain.txt", "plain");
    struct Case {
        std::string path;
        std::string saved;
    };
    const std::vector<Case> cases = {
        {"/files/my%20file%20%C3%BC.txt", "my file \xC3\xBC.txt"},
        {"/chunked/plain.txt?x=1&y=2", "plain.txt"},
        {"/files/plain.txt#part", "plain.txt"},
        {"/echo/100%25%zz%4", "100%%zz%4"}, // a "%" that starts no escape stays as it is
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        fs::remove_all(local_);
        FtpWebCopy wc;
        Get(wc, c.path);
        wc.Execute();
        EXPECT_TRUE(wc.Items[0].Success());
        EXPECT_EQ(Names(local_), std::vector<std::string>({c.saved}));
    }
}

TEST_F(HttpRoutines, NamesFromTheUrlNeverLeaveTheTargetFolder) {
    const fs::path target = local_ / "in";
    fs::create_directories(target);
    for (const std::string path : {"/echo/..", "/echo/", "/echo/.", "/echo/%2e%2E", "/echo/a%2Fb", "/echo/a%5Cb",
                                   "/echo/a%00b", "/echo/?x=1"}) {
        SCOPED_TRACE(path);
        FtpWebCopy wc;
        TZandrelWebCopyItem& item = Get(wc, path);
        item.TargetDir = target.string();
        wc.Execute();
        EXPECT_FALSE(wc.Items[0].Success());
        EXPECT_TRUE(Logged(wc.log, "error 3"));
    }
    EXPECT_TRUE(Names(target).empty());
    EXPECT_EQ(Names(local_), std::vector<std::string>({"in"}));
}

// An empty file is a file: downloaded, it is there (replacing an older one) and the item succeeds.
TEST_F(HttpRoutines, AnEmptyFileIsDownloadedLikeAnyOther) {
    server_.WriteFile("empty.txt", "");
    WriteLocal(local_ / "old.txt", "the old content");
    FtpWebCopy wc;
    Get(wc, "/files/empty.txt");
    Get(wc, "/chunked/empty.txt", "old.txt");
    wc.Execute();
    for (int i = 0; i < 2; ++i) EXPECT_TRUE(wc.Items[i].Success()) << i;
    EXPECT_TRUE(wc.reasons.empty());
    EXPECT_EQ(Names(local_), std::vector<std::string>({"empty.txt", "old.txt"}));
    EXPECT_EQ(fs::file_size(local_ / "empty.txt"), 0u);
    EXPECT_EQ(fs::file_size(local_ / "old.txt"), 0u);
}

TEST_F(HttpRoutines, CancelStopsAStalledDownloadAndKeepsTheOldFile) {
    server_.WriteFile("slow.bin", Bytes(50000));
    WriteLocal(local_ / "slow.bin", "old");
    FtpWebCopy wc;
    Get(wc, "/stall/slow.bin");
    std::atomic<bool> done{false};
    std::thread canceller([&] {
        for (int i = 0; i < 1000 && !done; ++i) { // bounded: 10 s at most
            if (!server_.Requests().empty()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                ui::RequestInterrupt();
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    wc.Execute();
    done = true;
    canceller.join();
    ui::TakeInterrupt();
    EXPECT_TRUE(wc.Items[0].Cancelled());
    EXPECT_FALSE(wc.Items[0].Success());
    EXPECT_EQ(wc.log, Log({"start 0", "copydone"}));
    EXPECT_EQ(ReadLocal(local_ / "slow.bin"), "old");
    EXPECT_EQ(Names(local_), std::vector<std::string>({"slow.bin"}));
}

TEST_F(HttpRoutines, UploadsWithPutAndPostSucceedOnlyWhenTheServerAccepts) {
    const std::string content = Bytes(100000);
    WriteLocal(local_ / "up.bin", content);
    WriteLocal(local_ / "empty.bin", "");
    WriteLocal(local_ / "exact.bin", Bytes(8192));
    FtpWebCopy wc(true);
    Put(wc, "/upload/put.bin", "up.bin", hcPut);
    Put(wc, "/upload/post.bin", "up.bin", hcPost);
    Put(wc, "/upload/empty.bin", "empty.bin");
    Put(wc, "/upload/exact.bin", "exact.bin");
    Put(wc, "/reject/up.bin", "up.bin");
    Put(wc, "/upload/missing.bin", "missing.bin");
    wc.Execute();
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(wc.Items[i].Success()) << i;
    EXPECT_FALSE(wc.Items[4].Success());
    EXPECT_FALSE(wc.Items[5].Success());
    EXPECT_TRUE(server_.ReadFile("uploads/put.bin") == content);
    EXPECT_TRUE(server_.ReadFile("uploads/post.bin") == content);
    EXPECT_EQ(server_.ReadFile("uploads/exact.bin"), Bytes(8192));
    EXPECT_TRUE(fs::exists(server_.Root() / "uploads" / "empty.bin"));
    EXPECT_TRUE(Logged(wc.log, "errorinfo 403 Returned http error code 403"));
    EXPECT_TRUE(Logged(wc.log, "error 1"));
    EXPECT_TRUE(Logged(wc.log, "progress 1 100000/100000"));
    std::vector<std::string> methods;
    for (const auto& request : server_.Requests()) methods.push_back(request.method);
    EXPECT_EQ(methods, std::vector<std::string>({"PUT", "POST", "PUT", "PUT", "PUT"}));
}

// The body goes out in pieces whose size changes with the link's speed: whatever sizes they
// take, every byte arrives once and in order, and the progress counts rise to the file's size.
TEST_F(HttpRoutines, UploadsOfEverySizeArriveWholeWithRisingProgress) {
    const std::vector<size_t> sizes = {1, 4095, 4096, 4097, 12288, 12289, 3 * 1024 * 1024 + 17};
    FtpWebCopy wc(true);
    for (size_t i = 0; i < sizes.size(); ++i) {
        const std::string name = "s" + std::to_string(i) + ".bin";
        WriteLocal(local_ / name, Bytes(sizes[i], static_cast<unsigned>(i)));
        Put(wc, "/upload/" + name, name);
    }
    wc.Execute();
    std::map<int, uint64_t> last; // item number -> the last count it reported
    for (const std::string& entry : wc.log) {
        int item = 0;
        unsigned long long done = 0, total = 0;
        if (std::sscanf(entry.c_str(), "progress %d %llu/%llu", &item, &done, &total) != 3) continue;
        EXPECT_GE(done, last[item]) << entry;
        EXPECT_EQ(total, sizes.at(static_cast<size_t>(item - 1))) << entry;
        last[item] = done;
    }
    for (size_t i = 0; i < sizes.size(); ++i) {
        SCOPED_TRACE(sizes[i]);
        EXPECT_TRUE(wc.Items[static_cast<int>(i)].Success());
        EXPECT_TRUE(server_.ReadFile("uploads/s" + std::to_string(i) + ".bin") == Bytes(sizes[i], static_cast<unsigned>(i)));
        EXPECT_EQ(last[static_cast<int>(i) + 1], sizes[i]);
    }
}

// A server that refuses an upload often answers at once and closes, without reading the body.
// The user must learn what it said, not that the connection broke: whether the answer came
// instead of 100 Continue, while the body was going out, or after a body small enough to be
// sent whole before the server closed.
TEST_F(HttpRoutines, AServerThatRefusesBeforeTakingTheBodyIsHeard) {
    struct Case {
        std::string path;
        size_t size;
        int status;
        bool bodySent; // whether any of the body is expected to go out at all
    };
    const std::vector<Case> cases = {
        {"/toolarge/big.bin", 3 * 1024 * 1024, 413, false}, // refused in place of 100 Continue
        {"/early/401", 32 * 1024 * 1024, 401, true},        // refused while the body goes out
        {"/toolarge/small.bin", 100000, 413, true},         // refused, the body fits the buffers
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        WriteLocal(local_ / "body.bin", Bytes(c.size));
        FtpWebCopy wc(true);
        Put(wc, c.path, "body.bin");
        wc.Execute();
        EXPECT_FALSE(wc.Items[0].Success());
        const std::string status = std::to_string(c.status);
        EXPECT_TRUE(Logged(wc.log, "errorinfo " + status + " Returned http error code " + status));
        ASSERT_EQ(wc.reasons.size(), 1u);
        EXPECT_EQ(wc.reasons[0].rfind("the server answered " + status + " ", 0), 0u) << wc.reasons[0];
        if (!c.bodySent) {
            EXPECT_TRUE(std::none_of(wc.log.begin(), wc.log.end(),
                                     [](const std::string& e) { return e.rfind("progress", 0) == 0; }));
        }
    }
}

// A large body asks the server first ("Expect: 100-continue"); a server that does not know the
// question gets the body all the same, after a short wait.
TEST_F(HttpRoutines, LargeUploadsAskFirstAndStillReachServersThatNeverAnswerTheQuestion) {
    const std::string content = Bytes(2 * 1024 * 1024);
    WriteLocal(local_ / "big.bin", content);
    FtpWebCopy wc;
    Put(wc, "/upload/asked.bin", "big.bin");
    Put(wc, "/quiet/unasked.bin", "big.bin");
    wc.Execute();
    EXPECT_TRUE(wc.Items[0].Success());
    EXPECT_TRUE(wc.Items[1].Success());
    EXPECT_TRUE(server_.ReadFile("uploads/asked.bin") == content);
    EXPECT_TRUE(server_.ReadFile("uploads/unasked.bin") == content);
    const auto requests = server_.Requests();
    ASSERT_EQ(requests.size(), 2u);
    for (const auto& request : requests) EXPECT_EQ(request.expect, "100-continue") << request.path;
}

// 307 and 308 keep the method and the body: the file goes where they point, read afresh. Other
// redirects would turn an upload into a download; they, and endless ones, fail naming the status
// and where it pointed.
TEST_F(HttpRoutines, UploadsFollow307And308AndNameTheRedirectsTheyDoNotFollow) {
    const std::string content = Bytes(1024 * 1024 + 5); // large enough to ask first
    WriteLocal(local_ / "up.bin", content);
    const std::string base = server_.Base();
    FtpWebCopy wc;
    Put(wc, "/redirect?code=307&to=" + base + "/upload/r307.bin", "up.bin");
    Put(wc, "/redirect?code=308&to=/upload/r308.bin", "up.bin", hcPost);
    Put(wc, "/redirect?code=302&to=/upload/r302.bin", "up.bin");
    Put(wc, "/loop", "up.bin");
    wc.Execute();
    EXPECT_TRUE(wc.Items[0].Success());
    EXPECT_TRUE(wc.Items[1].Success());
    EXPECT_FALSE(wc.Items[2].Success());
    EXPECT_FALSE(wc.Items[3].Success());
    EXPECT_TRUE(server_.ReadFile("uploads/r307.bin") == content);
    EXPECT_TRUE(server_.ReadFile("uploads/r308.bin") == content);
    EXPECT_FALSE(fs::exists(server_.Root() / "uploads" / "r302.bin"));
    EXPECT_TRUE(Logged(wc.log, "errorinfo 302 Returned http error code 302"));
    EXPECT_TRUE(Logged(wc.log, "errorinfo 307 Returned http error code 307"));
    ASSERT_EQ(wc.reasons.size(), 2u);
    EXPECT_NE(wc.reasons[0].find("302"), std::string::npos) << wc.reasons[0];
    EXPECT_NE(wc.reasons[0].find(base + "/upload/r302.bin"), std::string::npos) << wc.reasons[0];
    EXPECT_NE(wc.reasons[1].find("more than 10 redirects"), std::string::npos) << wc.reasons[1];
    std::vector<std::string> followed;
    for (const auto& request : server_.Requests())
        if (request.path.rfind("/upload/", 0) == 0) followed.push_back(request.method + " " + request.path);
    EXPECT_EQ(followed, std::vector<std::string>({"PUT /upload/r307.bin", "POST /upload/r308.bin"}));
}

TEST_F(HttpRoutines, AnUploadToAServerThatIsGoneSaysWhy) {
    WriteLocal(local_ / "up.bin", "data");
    FtpWebCopy wc;
    TZandrelWebCopyItem& item = Put(wc, "/upload/up.bin", "up.bin");
    const std::string server = "127.0.0.1:" + std::to_string(test::UnusedLocalPort());
    item.URL = "http://" + server + "/upload/up.bin";
    wc.Execute();
    EXPECT_FALSE(wc.Items[0].Success());
    EXPECT_TRUE(Logged(wc.log, "errorinfo 6 Cannot connect to server " + server));
    ASSERT_EQ(wc.reasons.size(), 1u);
    EXPECT_NE(wc.reasons[0].find("refused"), std::string::npos) << wc.reasons[0];
}

TEST(HttpsRoutines, DownloadAndUploadOverTls) {
    HttpServer server(HttpServerOptions{.tls = true});
    const char* previous = std::getenv("SSL_CERT_FILE");
    const std::string saved = previous ? previous : "";
    setenv("SSL_CERT_FILE", server.Certificate().c_str(), 1);
    const fs::path local = fs::temp_directory_path() / ("zandrel-https-" + std::to_string(::getpid()));
    fs::create_directories(local);
    server.WriteFile("s.bin", Bytes(70000));
    WriteLocal(local / "u.bin", Bytes(50000, 3));
    FtpWebCopy wc;
    TZandrelWebCopyItem& get = wc.Items.Add();
    get.Protocol = wpHttp;
    get.URL = server.Base() + "/files/s.bin";
    get.TargetDir = local.string();
    TZandrelWebCopyItem& put = wc.Items.Add();
    put.Protocol = wpHttpUpload;
    put.URL = server.Base() + "/upload/u.bin";
    put.TargetDir = local.string();
    WriteLocal(local / "large.bin", Bytes(2 * 1024 * 1024, 5)); // asks "Expect: 100-continue" first
    TZandrelWebCopyItem& large = wc.Items.Add();
    large.Protocol = wpHttpUpload;
    large.URL = server.Base() + "/upload/large.bin";
    large.TargetDir = local.string();
    wc.Execute();
    if (previous) setenv("SSL_CERT_FILE", saved.c_str(), 1);
    else unsetenv("SSL_CERT_FILE");
    EXPECT_TRUE(wc.Items[0].Success()) << (wc.reasons.empty() ? "" : wc.reasons[0]);
    EXPECT_TRUE(wc.Items[1].Success()) << (wc.reasons.empty() ? "" : wc.reasons.back());
    EXPECT_TRUE(wc.Items[2].Success()) << (wc.reasons.empty() ? "" : wc.reasons.back());
    EXPECT_TRUE(ReadLocal(local / "s.bin") == Bytes(70000));
    EXPECT_TRUE(server.ReadFile("uploads/u.bin") == Bytes(50000, 3));
    EXPECT_TRUE(server.ReadFile("uploads/large.bin") == Bytes(2 * 1024 * 1024, 5));
    fs::remove_all(local);
}

// A server that answers, but not in a way that can be trusted or read, has not lost the file:
// the item fails with an error that says what went wrong, not as a URL that was not found.
TEST(HttpsRoutines, AServerThatCannotBeTrustedOrUnderstoodIsAnErrorNotAMissingUrl) {
    HttpServer untrusted(HttpServerOptions{.tls = true}); // its certificate is in no trusted store
    HttpServer plain;
    const fs::path local = fs::temp_directory_path() / ("zandrel-http-errors-" + std::to_string(::getpid()));
    fs::create_directories(local);
    struct Case {
        std::string url;
        inet::DWORD code;
        std::string reason;
    };
    const std::vector<Case> cases = {
        {untrusted.Base() + "/files/x.bin", inet::ERROR_INTERNET_SEC_CERT_ERRORS, "certificate"},
        {plain.Base() + "/framing/twolengths", inet::ERROR_HTTP_INVALID_SERVER_RESPONSE, "two different Content-Length"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        FtpWebCopy wc;
        TZandrelWebCopyItem& item = wc.Items.Add();
        item.Protocol = wpHttp;
        item.URL = c.url;
        item.TargetDir = local.string();
        wc.Execute();
        EXPECT_FALSE(wc.Items[0].Success());
        EXPECT_TRUE(Logged(wc.log, "error " + std::to_string(c.code))) << ::testing::PrintToString(wc.log);
        EXPECT_TRUE(std::none_of(wc.log.begin(), wc.log.end(),
                                 [](const std::string& e) { return e.rfind("notfound", 0) == 0; }));
        ASSERT_EQ(wc.reasons.size(), 1u);
        EXPECT_NE(wc.reasons[0].find(c.reason), std::string::npos) << wc.reasons[0];
    }
    EXPECT_TRUE(fs::is_empty(local));
    fs::remove_all(local);
}

TEST(HttpsRoutines, AnUploadIsNeverRedirectedFromHttpsToHttp) {
    HttpServer secure(HttpServerOptions{.tls = true});
    HttpServer plain;
    const char* previous = std::getenv("SSL_CERT_FILE");
    const std::string saved = previous ? previous : "";
    setenv("SSL_CERT_FILE", secure.Certificate().c_str(), 1);
    const fs::path local = fs::temp_directory_path() / ("zandrel-https-redirect-" + std::to_string(::getpid()));
    fs::create_directories(local);
    WriteLocal(local / "u.bin", Bytes(5000));
    FtpWebCopy wc;
    TZandrelWebCopyItem& put = wc.Items.Add();
    put.Protocol = wpHttpUpload;
    put.URL = secure.Base() + "/redirect?code=307&to=" + plain.Base() + "/upload/u.bin";
    put.TargetDir = local.string();
    put.TargetFilename = "u.bin";
    wc.Execute();
    if (previous) setenv("SSL_CERT_FILE", saved.c_str(), 1);
    else unsetenv("SSL_CERT_FILE");
    fs::remove_all(local);
    EXPECT_FALSE(wc.Items[0].Success());
    ASSERT_EQ(wc.reasons.size(), 1u);
    EXPECT_NE(wc.reasons[0].find("from https to http"), std::string::npos) << wc.reasons[0];
    EXPECT_TRUE(plain.Requests().empty());
}

} // namespace
} // namespace zandrel::webcopy::testing
