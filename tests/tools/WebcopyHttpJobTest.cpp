// The webcopy tool running HTTP items of a job file against a real HTTP server.
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "fixtures/FtpServer.h"
#include "fixtures/HttpServer.h"
#include "support/RunProcess.h"
#include "tools/JobRun.h"

namespace zandrel::tools {
namespace {

using Json = nlohmann::ordered_json;
using zandrel::testing::ProcessResult;
using zandrel::testing::TempDir;

TEST(WebcopyHttpJob, DownloadsAndUploadsAndSaysWhyWhenTheServerRefuses) {
    test::HttpServer server;
    TempDir dir{"webcopy-http"};
    server.WriteFile("site/page.bin", std::string(50000, 'p'));
    zandrel::testing::WriteFile(dir / "send.txt", "sent over http");
    const Json good = Json::array({
        Json{{"Protocol", "wpHttp"}, {"URL", server.Base() + "/files/site/page.bin"}, {"TargetDir", dir / "got"}},
        Json{{"Protocol", "wpHttpUpload"}, {"URL", server.Base() + "/upload/send.txt"}, {"TargetDir", dir.path()},
             {"HTTPCommand", "hcPut"}},
    });
    const ProcessResult ok = RunItems(dir, good);
    EXPECT_EQ(ok.exitCode, 0) << ok.err;
    EXPECT_EQ(zandrel::testing::ReadFile(dir / "got/page.bin"), std::string(50000, 'p'));
    EXPECT_EQ(server.ReadFile("uploads/send.txt"), "sent over http");

    const Json refused = Json::array({
        Json{{"Protocol", "wpHttpUpload"}, {"URL", server.Base() + "/reject/send.txt"}, {"TargetDir", dir.path()}},
    });
    const ProcessResult bad = RunItems(dir, refused);
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_NE(bad.out.find("Returned http error code 403"), std::string::npos) << bad.out;
    EXPECT_NE(bad.out.find("403 Forbidden"), std::string::npos) << bad.out;

    // A server whose certificate is not trusted: the run says so.
    test::HttpServer tls(test::HttpServerOptions{.tls = true});
    const Json untrusted = Json::array({
        Json{{"Protocol", "wpHttp"}, {"URL", tls.Base() + "/files/x"}, {"TargetDir", dir / "got"}},
    });
    const ProcessResult distrusted = RunItems(dir, untrusted);
    EXPECT_EQ(distrusted.exitCode, 1);
    EXPECT_NE(distrusted.out.find("certificate"), std::string::npos) << distrusted.out;
}

// Nobody can answer the login question here (the input is no terminal), so it counts as
// cancelled. The component raises no event for that; the item's reason still says it.
TEST(WebcopyHttpJob, AnItemWhoseLoginWasCancelledSaysSo) {
    test::HttpServer server;
    TempDir dir{"webcopy-http-login"};
    server.WriteFile("s.txt", "secret");
    const Json items = Json::array({
        Json{{"Protocol", "wpHttp"}, {"URL", server.Base() + "/auth/s.txt"}, {"TargetDir", dir / "got"},
             {"Authenticate", "waAuto"}},
    });
    const ProcessResult run = RunItems(dir, items);
    EXPECT_EQ(run.exitCode, 1) << run.err;
    Json done;
    for (size_t start = 0, end; (end = run.out.find('\n', start)) != std::string::npos; start = end + 1) {
        const Json line = Json::parse(run.out.substr(start, end - start), nullptr, false);
        if (line.is_object() && line.value("event", "") == "done") done = line;
    }
    ASSERT_TRUE(done.is_object()) << run.out;
    EXPECT_EQ(done.at("items")[0].at("Status"), "Failed");
    EXPECT_EQ(done.at("items")[0].at("Reason"),
              "login cancelled: no user name and password were given for 127.0.0.1:" + std::to_string(server.Port()));
}

// Credentials given with the item and refused, with nobody to ask for others: the refusal is the
// reason, from the server that gave it.
TEST(WebcopyHttpJob, RefusedCredentialsWithNobodyToAskSayWhoRefusedThem) {
    test::HttpServer server;
    test::HttpServer other;
    TempDir dir{"webcopy-http-refused"};
    other.WriteFile("s.txt", "secret");
    const Json items = Json::array({
        Json{{"Protocol", "wpHttp"}, {"URL", server.Base() + "/redirect?to=" + other.Base() + "/auth/s.txt"},
             {"TargetDir", dir / "got"}, {"Authenticate", "waAuto"}, {"HTTPUserID", "alice"}, {"HTTPPassword", "wrong"}},
    });
    const ProcessResult run = RunItems(dir, items);
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_NE(run.out.find("\"Reason\":\"401 Unauthorized from 127.0.0.1:" + std::to_string(other.Port()) + "\""),
              std::string::npos)
        << run.out;
    EXPECT_EQ(run.out.find("login cancelled"), std::string::npos) << run.out;
}

// A password in an item's URL is shown masked in every line the tool writes, in either format.
TEST(WebcopyHttpJob, PasswordsInUrlsAreMaskedInTheOutput) {
    test::HttpServer server;
    TempDir dir{"webcopy-http-masked"};
    const std::string gone = "127.0.0.1:" + std::to_string(test::UnusedLocalPort());
    const Json items = Json::array({
        Json{{"Protocol", "wpHttp"}, {"URL", "http://alice:s3cret@" + gone + "/f.bin"}, {"TargetDir", dir / "got"}},
        Json{{"Protocol", "wpHttp"}, {"URL", "http://alice:s3cret@" + server.Base().substr(7) + "/status/404"},
             {"TargetDir", dir / "got"}},
    });
    const std::string job = dir / "job.json";
    zandrel::testing::WriteFile(job, Json{{"ShowDialog", false}, {"Items", items}}.dump(2));
    for (const char* format : {"--json", "--text"}) {
        SCOPED_TRACE(format);
        const ProcessResult run = zandrel::testing::RunProcess({ZANDREL_WEBCOPY_TOOL, "--ui=terminal", format, job},
                                                               {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}});
        EXPECT_EQ(run.exitCode, 1) << run.err;
        EXPECT_EQ((run.out + run.err).find("s3cret"), std::string::npos) << run.out << run.err;
        EXPECT_NE(run.out.find("alice:*password*@" + gone), std::string::npos) << run.out;
    }
}

} // namespace
} // namespace zandrel::tools
