// Passwords a job names instead of holding: an environment variable, or the user's ~/.netrc; and
// the warning for a job file that holds one where others can read it. Run through the real tool
// against the test FTP server.
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <optional>

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "fixtures/FtpServer.h"
#include "support/RunProcess.h"
#include "tools/webcopy/Netrc.h"

namespace zandrel::tools {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;
using testing::ProcessResult;
using testing::TempDir;

TEST(Netrc, TheFirstEntryForTheMachineAndLoginIsTakenAndDefaultOnlyWhenNoneNamesIt) {
    const std::string text = "machine files.example.org login anna password first\n"
                             "machine files.example.org login bert password \"two words\"\n"
                             "macdef init\ncd pub\nmachine files.example.org login eve password macro\n\n"
                             "machine nopass.example.org login carl\n"
                             "default login anonymous password me@example.org\n";
    struct Case {
        const char* host;
        const char* user;
        std::optional<NetrcLogin> expected;
    };
    const std::vector<Case> cases{
        {"files.example.org", "", NetrcLogin{"anna", "first"}},
        {"files.example.org", "bert", NetrcLogin{"bert", "two words"}},
        // A login in a macro definition is no entry; the default does not fit another login.
        {"files.example.org", "eve", std::nullopt},
        {"other.example.org", "", NetrcLogin{"anonymous", "me@example.org"}},
        {"nopass.example.org", "", NetrcLogin{"anonymous", "me@example.org"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.host) + " " + c.user);
        const std::optional<NetrcLogin> found = FindNetrcLogin(text, c.host, c.user);
        ASSERT_EQ(found.has_value(), c.expected.has_value());
        if (!found) continue;
        EXPECT_EQ(found->login, c.expected->login);
        EXPECT_EQ(found->password, c.expected->password);
    }
    EXPECT_FALSE(FindNetrcLogin("", "files.example.org", ""));
}

class JobSecrets : public ::testing::Test {
protected:
    JobSecrets() { fs::create_directories(server_.Root() / "in"); }
    // A job uploading a file, its FTP item completed by `fill`; written with `mode`.
    std::string WriteJob(const Json& item, ::mode_t mode = 0600) {
        testing::WriteFile(dir_ / "up.txt", "payload");
        Json full{{"Protocol", "wpFtpUpload"}, {"URL", dir_ / "up.txt"}, {"TargetDir", "in"},
                  {"FTPHost", "127.0.0.1"}, {"FTPPort", server_.Port()}};
        full.update(item);
        Json job{{"ShowDialog", false}, {"Items", Json::array({full})}};
        if (item.contains("Netrc")) {
            job["Netrc"] = item["Netrc"];
            job["Items"][0].erase("Netrc");
        }
        const std::string path = dir_ / "job.json";
        testing::WriteFile(path, job.dump(2));
        ::chmod(path.c_str(), mode);
        return path;
    }
    ProcessResult Run(const std::string& path, std::map<std::string, std::string> env = {}) {
        env["DISPLAY"] = "";
        env["WAYLAND_DISPLAY"] = "";
        return testing::RunProcess({ZANDREL_WEBCOPY_TOOL, "--ui=terminal", "--text", path}, env);
    }
    bool Uploaded() const { return fs::exists(server_.Root() / "in/up.txt"); }

    test::FtpServer server_{[] {
        test::FtpServerOptions options;
        options.anonymousPermissions = ""; // only alice may log in
        return options;
    }()};
    TempDir dir_{"zandrel-job-passwords"};
};

TEST_F(JobSecrets, APasswordMayComeFromAnEnvironmentVariable) {
    const std::string path = WriteJob({{"FTPUserID", "alice"}, {"FTPPassword", {{"env", "ZANDREL_TEST_PW"}}}});
    const ProcessResult run = Run(path, {{"ZANDREL_TEST_PW", "secret"}});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(Uploaded());
    // The password never shows in the output.
    EXPECT_EQ(run.out.find("secret"), std::string::npos);

    struct Case {
        Json password;
        const char* words;
    };
    const std::vector<Case> refused{
        {{{"env", "ZANDREL_TEST_UNSET"}}, "Items[0].FTPPassword: the environment variable ZANDREL_TEST_UNSET is not set"},
        {{{"variable", "X"}}, "Items[0].FTPPassword: expected a password, or {\"env\": \"VARIABLE\"}"},
    };
    for (const Case& c : refused) {
        const ProcessResult bad = Run(WriteJob({{"FTPUserID", "alice"}, {"FTPPassword", c.password}}));
        EXPECT_EQ(bad.exitCode, 2) << bad.err;
        EXPECT_NE(bad.err.find(c.words), std::string::npos) << bad.err;
    }
}

TEST_F(JobSecrets, NetrcGivesTheLoginOnlyWhenTheJobAsksForIt) {
    const std::string netrc = dir_ / "netrc";
    testing::WriteFile(netrc, "machine 127.0.0.1 login alice password secret\n");
    // Without "Netrc" an item without a password logs in anonymously, as ever, and is refused here.
    const ProcessResult anonymous = Run(WriteJob(Json::object()), {{"NETRC", netrc}});
    EXPECT_EQ(anonymous.exitCode, 1);
    EXPECT_FALSE(Uploaded());
    for (const Json& user : {Json(), Json("alice")}) {
        Json item{{"Netrc", true}};
        if (!user.is_null()) item["FTPUserID"] = user;
        const ProcessResult run = Run(WriteJob(item), {{"NETRC", netrc}});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_TRUE(Uploaded());
        fs::remove(server_.Root() / "in/up.txt");
    }
}

TEST_F(JobSecrets, AJobHoldingAPasswordThatOthersCanReadIsWarnedAbout) {
    for (const ::mode_t mode : {0644, 0600}) {
        SCOPED_TRACE(mode);
        const std::string path = WriteJob({{"FTPUserID", "alice"}, {"FTPPassword", "secret"}}, mode);
        const ProcessResult run = Run(path);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        const bool warned = run.err.find("holds a password and can be read by others (mode 0644); chmod 600") !=
                            std::string::npos;
        EXPECT_EQ(warned, mode == 0644) << run.err;
        fs::remove(server_.Root() / "in/up.txt");
    }
    // A password named, not written, is nothing to warn about.
    const ProcessResult named =
        Run(WriteJob({{"FTPUserID", "alice"}, {"FTPPassword", {{"env", "ZANDREL_TEST_PW"}}}}, 0644),
            {{"ZANDREL_TEST_PW", "secret"}});
    EXPECT_EQ(named.err.find("warning"), std::string::npos) << named.err;
}

} // namespace
} // namespace zandrel::tools
