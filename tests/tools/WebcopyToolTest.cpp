// The webcopy tool, run as a process against a real FTP server.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "fixtures/FtpServer.h"
#include "support/RunProcess.h"

namespace zandrel::tools {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;
using zandrel::testing::ProcessResult;
using zandrel::testing::RunProcess;
using zandrel::testing::TempDir;

ProcessResult RunWebcopy(const std::vector<std::string>& args) {
    std::vector<std::string> argv{ZANDREL_WEBCOPY_TOOL};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProcess(argv, {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}});
}

std::vector<Json> Lines(const std::string& out) {
    std::vector<Json> lines;
    size_t begin = 0;
    while (begin < out.size()) {
        size_t end = out.find('\n', begin);
        if (end == std::string::npos) end = out.size();
        if (end > begin) lines.push_back(Json::parse(out.substr(begin, end - begin)));
        begin = end + 1;
    }
    return lines;
}

std::vector<Json> EventsNamed(const std::vector<Json>& lines, const std::string& name) {
    std::vector<Json> found;
    for (const Json& line : lines)
        if (line.at("event") == name) found.push_back(line);
    return found;
}

class WebcopyTool : public ::testing::Test {
protected:
    Json FtpItem(const std::string& protocol, const std::string& url, const std::string& targetDir = "") const {
        return Json{{"Protocol", protocol}, {"URL", url},         {"TargetDir", targetDir},
                    {"FTPHost", server_.Host()}, {"FTPPort", server_.Port()}, {"FTPUserID", "alice"},
                    {"FTPPassword", "secret"}};
    }
    std::string WriteJob(const Json& job) const {
        const std::string path = dir_ / "job.json";
        zandrel::testing::WriteFile(path, job.dump(2));
        return path;
    }

    test::FtpServer server_;
    TempDir dir_{"webcopy-tool"};
};

TEST_F(WebcopyTool, RunsAJobUploadListDownloadDeleteAndTest) {
    zandrel::testing::WriteFile(dir_ / "a.txt", "alpha");
    zandrel::testing::WriteFile(dir_ / "b.txt", std::string(10000, 'b'));
    zandrel::testing::WriteFile(dir_ / "c.bin", "not sent");
    Json items = Json::array({FtpItem("wpMultiFtpUpload", dir_ / "*.txt", "up/nested"),
                              FtpItem("wpFtpList", "up/nested/*"),
                              FtpItem("wpMultiFtp", "up/nested/*.txt", dir_ / "back"),
                              FtpItem("wpFtpDelete", "a.txt", "up/nested"),
                              FtpItem("wpFtpDelete", "b.txt", "up/nested"),
                              FtpItem("wpFtpTest", "")});
    const std::string job = WriteJob(Json{{"ShowDialog", true}, {"Items", items}});

    const ProcessResult result = RunWebcopy({"--ui=terminal", job});
    ASSERT_EQ(result.exitCode, 0) << result.err << result.out;
    EXPECT_EQ(zandrel::testing::ReadFile(dir_ / "back/a.txt"), "alpha");
    EXPECT_EQ(zandrel::testing::ReadFile(dir_ / "back/b.txt"), std::string(10000, 'b'));
    EXPECT_FALSE(fs::exists(server_.Root() / "up/nested/a.txt"));
    EXPECT_FALSE(fs::exists(server_.Root() / "up/nested/b.txt"));
    EXPECT_FALSE(fs::exists(server_.Root() / "up/nested/c.bin"));
    EXPECT_FALSE(result.err.empty()); // the terminal's progress line

    const std::vector<Json> lines = Lines(result.out);
    ASSERT_FALSE(lines.empty());
    const Json& done = lines.back();
    ASSERT_EQ(done.at("event"), "done");
    ASSERT_EQ(done.at("items").size(), 6u);
    for (const Json& item : done.at("items")) {
        EXPECT_EQ(item.at("Success"), true);
        EXPECT_EQ(item.at("Cancelled"), false);
    }
    std::vector<std::string> listed = done.at("items")[1].at("FileList").get<std::vector<std::string>>();
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, (std::vector<std::string>{"a.txt", "b.txt"}));
    EXPECT_TRUE(done.at("items")[0].at("FileList").is_null());

    EXPECT_EQ(EventsNamed(lines, "OnFileStart").size(), 6u);
    EXPECT_EQ(EventsNamed(lines, "OnMultiFTPFileDone").size(), 4u);
    EXPECT_EQ(EventsNamed(lines, "OnRemovedFile").size(), 2u);
    EXPECT_EQ(EventsNamed(lines, "OnCopyDone").size(), 1u);
    const std::vector<Json> progress = EventsNamed(lines, "OnCopyProgress");
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.front(), Json::parse(R"({"event":"OnCopyProgress","fileidx":1,"size":5,"totsize":5})"));
}

TEST_F(WebcopyTool, AFailedItemGivesExitOneAndHandlersAnswerAsTheJobSays) {
    server_.WriteFile("there.txt", "remote");
    zandrel::testing::WriteFile(dir_ / "there.txt", "local");
    Json items = Json::array({FtpItem("wpFtp", "missing.txt", dir_.path()), FtpItem("wpFtp", "there.txt", dir_.path())});
    const std::string job = WriteJob(Json{{"Items", items}, {"ShowDialog", false},
                                          {"Handlers", {{"OnCopyOverWrite", false}, {"OnFileDateCheck", true}}}});
    const ProcessResult result = RunWebcopy({job});
    EXPECT_EQ(result.exitCode, 1) << result.err;
    const std::vector<Json> lines = Lines(result.out);
    ASSERT_EQ(EventsNamed(lines, "OnURLNotFound").size(), 1u);
    EXPECT_EQ(EventsNamed(lines, "OnURLNotFound")[0].at("url"), "missing.txt");
    const std::vector<Json> overwrite = EventsNamed(lines, "OnCopyOverWrite");
    ASSERT_EQ(overwrite.size(), 1u);
    EXPECT_EQ(overwrite[0].at("tgtfile"), dir_ / "there.txt");
    EXPECT_EQ(overwrite[0].at("allow"), false);
    const std::vector<Json> dateCheck = EventsNamed(lines, "OnFileDateCheck");
    ASSERT_EQ(dateCheck.size(), 1u);
    EXPECT_EQ(dateCheck[0].at("idx"), 1);
    EXPECT_EQ(dateCheck[0].at("allow"), true);
    EXPECT_EQ(zandrel::testing::ReadFile(dir_ / "there.txt"), "local");
    EXPECT_EQ(lines.back().at("items")[1].at("Success"), false);

    // The same job behind the Qt window (offscreen platform).
    std::vector<std::string> argv{ZANDREL_WEBCOPY_TOOL, "--ui=qt", job};
    const ProcessResult qt = RunProcess(argv, {{"QT_QPA_PLATFORM", "offscreen"}});
    EXPECT_EQ(qt.exitCode, 1) << qt.err;
    EXPECT_EQ(Lines(qt.out).size(), lines.size());
    EXPECT_EQ(qt.err.find("no windows"), std::string::npos) << qt.err;

    // A display that is named but cannot be reached would make Qt end the process; the job runs
    // in the terminal instead.
    const ProcessResult gone = RunProcess({ZANDREL_WEBCOPY_TOOL, "--ui=auto", job},
                                          {{"DISPLAY", ":4711"}, {"WAYLAND_DISPLAY", ""}, {"QT_QPA_PLATFORM", ""}});
    EXPECT_EQ(gone.exitCode, 1) << gone.err;
    EXPECT_EQ(Lines(gone.out).size(), lines.size());
    EXPECT_NE(gone.err.find("webcopy: no windows (the display cannot be opened)"), std::string::npos) << gone.err;

    // A copy of the program without the Qt module beside it runs the job in the terminal.
    std::filesystem::create_directories(dir_ / "alone/bin");
    std::filesystem::copy_file(ZANDREL_WEBCOPY_TOOL, dir_ / "alone/bin/webcopy");
    argv[0] = dir_ / "alone/bin/webcopy";
    const ProcessResult alone = RunProcess(argv, {{"QT_QPA_PLATFORM", "offscreen"}});
    EXPECT_EQ(alone.exitCode, 1) << alone.err;
    EXPECT_EQ(Lines(alone.out).size(), lines.size());
    EXPECT_NE(alone.err.find("webcopy: no windows (cannot load " + (dir_ / "alone/lib/ZandrelQtUi.so")),
              std::string::npos)
        << alone.err;
}

TEST_F(WebcopyTool, BadJobsAndUsageErrorsGiveExitTwoWithAMessage) {
    struct Case {
        std::string text;
        std::string message;
    };
    const std::vector<Case> cases{
        {"{not json", "not JSON"},
        {R"({"Items": [{"Protocol": "wpGopher"}]})", "Items[0].Protocol"},
        {R"({"ShowDialogg": true})", "ShowDialogg"},
        {R"({"Handlers": {"OnCopyOverWrite": "no"}})", "Handlers.OnCopyOverWrite"},
        {R"({"Handlers": {"OnError": true}})", "Handlers.OnError"},
        {"[1, 2]", "object"},
    };
    for (const Case& c : cases) {
        zandrel::testing::WriteFile(dir_ / "bad.json", c.text);
        const ProcessResult result = RunWebcopy({dir_ / "bad.json"});
        EXPECT_EQ(result.exitCode, 2) << c.text;
        EXPECT_NE(result.err.find(c.message), std::string::npos) << c.text << ": " << result.err;
        EXPECT_EQ(result.out, "") << c.text;
    }
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {}, {"--ui=fancy", "x.json"}, {"--bogus"}, {"a.json", "b.json"}, {dir_ / "absent.json"}}) {
        const ProcessResult result = RunWebcopy(args);
        EXPECT_EQ(result.exitCode, 2) << (args.empty() ? "" : args[0]);
        EXPECT_FALSE(result.err.empty());
    }
    const ProcessResult help = RunWebcopy({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("usage: webcopy"), std::string::npos);
    const ProcessResult version = RunWebcopy({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_NE(version.out.find("2.2.3.1"), std::string::npos);
}

} // namespace
} // namespace zandrel::tools
