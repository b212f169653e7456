// The webcopy tool running HTTP items of a job file against a real HTTP server.
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "fixtures/HttpServer.h"
#include "support/RunProcess.h"

namespace zandrel::tools {
namespace {

using Json = nlohmann::ordered_json;
using zandrel::testing::ProcessResult;
using zandrel::testing::RunProcess;
using zandrel::testing::TempDir;

ProcessResult RunJob(const TempDir& dir, const Json& job) {
    const std::string path = dir / "job.json";
    zandrel::testing::WriteFile(path, job.dump(2));
    return RunProcess({ZANDREL_WEBCOPY_TOOL, "--ui=terminal", path}, {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}});
}

TEST(WebcopyHttpJob, DownloadsAndUploadsAndSaysWhenTheServerRefuses) {
    test::HttpServer server;
    TempDir dir{"webcopy-http"};
    server.WriteFile("site/page.bin", std::string(50000, 'p'));
    zandrel::testing::WriteFile(dir / "send.txt", "sent over http");
    const Json good = Json::array({
        Json{{"Protocol", "wpHttp"}, {"URL", server.Base() + "/files/site/page.bin"}, {"TargetDir", dir / "got"}},
        Json{{"Protocol", "wpHttpUpload"}, {"URL", server.Base() + "/upload/send.txt"}, {"TargetDir", dir.path()},
             {"HTTPCommand", "hcPut"}},
    });
    const ProcessResult ok = RunJob(dir, Json{{"ShowDialog", false}, {"Items", good}});
    EXPECT_EQ(ok.exitCode, 0) << ok.err;
    EXPECT_EQ(zandrel::testing::ReadFile(dir / "got/page.bin"), std::string(50000, 'p'));
    EXPECT_EQ(server.ReadFile("uploads/send.txt"), "sent over http");

    const Json refused = Json::array({
        Json{{"Protocol", "wpHttpUpload"}, {"URL", server.Base() + "/reject/send.txt"}, {"TargetDir", dir.path()}},
    });
    const ProcessResult bad = RunJob(dir, Json{{"ShowDialog", false}, {"Items", refused}});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_NE(bad.out.find("Returned http error code 403"), std::string::npos) << bad.out;
    EXPECT_NE(bad.out.find("403 Forbidden"), std::string::npos) << bad.out;
}

} // namespace
} // namespace zandrel::tools
