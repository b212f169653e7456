// The webcopy tool running file items of a job file: local copies and copies from a real smbd.
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "fixtures/SmbServer.h"
#include "support/RunProcess.h"
#include "tools/JobRun.h"

namespace zandrel::tools {
namespace {

using Json = nlohmann::ordered_json;
using zandrel::testing::ProcessResult;
using zandrel::testing::TempDir;

TEST(WebcopyFileJob, CopiesLocalFilesAndSaysWhyOneIsMissing) {
    TempDir dir{"webcopy-file"};
    zandrel::testing::WriteFile(dir / "a.txt", "local content");
    const ProcessResult ok = RunItems(dir, Json::array({Json{{"Protocol", "wpFile"}, {"URL", dir / "a.txt"},
                                                           {"TargetDir", dir / "out"}}}));
    EXPECT_EQ(ok.exitCode, 0) << ok.out << ok.err;
    EXPECT_EQ(zandrel::testing::ReadFile(dir / "out/a.txt"), "local content");

    const ProcessResult missing = RunItems(dir, Json::array({Json{{"Protocol", "wpFile"}, {"URL", dir / "gone.txt"},
                                                                {"TargetDir", dir / "out"}}}));
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.out.find("Cannot open source file"), std::string::npos) << missing.out;
    EXPECT_NE(missing.out.find("No such file or directory"), std::string::npos) << missing.out;
}

TEST(WebcopyFileJob, CopiesFromAShareWithTheItemsAccount) {
    const std::string unavailable = test::SmbServer::Unavailable();
    if (!unavailable.empty()) GTEST_SKIP() << unavailable;
    test::SmbServer server;
    TempDir dir{"webcopy-share"};
    zandrel::testing::WriteFile(server.Root() / "sub/s.bin", std::string(100000, 's'));
    auto item = [&](const std::string& password) {
        return Json::array({Json{{"Protocol", "wpFile"}, {"FTPHost", server.ShareUrl()}, {"FTPUserID", server.User()},
                                 {"FTPPassword", password}, {"URL", "sub/s.bin"}, {"TargetDir", dir / "out"}}});
    };
    const ProcessResult ok = RunItems(dir, item(server.Password()));
    EXPECT_EQ(ok.exitCode, 0) << ok.out << ok.err;
    EXPECT_EQ(zandrel::testing::ReadFile(dir / "out/s.bin"), std::string(100000, 's'));

    const ProcessResult refused = RunItems(dir, item("not the password"));
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.out.find("OnConnectError"), std::string::npos) << refused.out;
    // The reason travels with the event: a person learns that the password was refused.
    EXPECT_NE(refused.out.find("password"), std::string::npos) << refused.out;
}

} // namespace
} // namespace zandrel::tools
