// The webcopy tool, run as a process against a real FTP server.
#include <chrono>
#include <csignal>
#include <filesystem>
#include <optional>
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
        // Jobs hold the test server's password: kept private, as the tool asks of job files.
        std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
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
        {"{not json", "not valid JSON"},
        {R"({"Items": [{"Protocol": "wpGopher"}]})", "Items[0].Protocol"},
        {R"({"ShowDialogg": true})", "ShowDialogg"},
        {R"({"Handlers": {"OnCopyOverWrite": "no"}})", "Handlers.OnCopyOverWrite"},
        {R"({"Handlers": {"OnError": true}})", "Handlers.OnError"},
        {"[1, 2]", "object"},
        {R"({"Items": [{"FileDate": 1e400}]})", "Items[0].FileDate: number out of range"},
        {R"({"Items": [{"FTPPort": )" + std::string(5000, '7') + "}]}", "Items[0].FTPPort: number out of range"},
        {R"({"Items": [{}, {"FileDate": "2026-02-30"}]})", "Items[1].FileDate: expected a date-time"},
        {R"({"Handlers": {"OnCopyOverWrite": 1e999}})", "Handlers.OnCopyOverWrite: number out of range"},
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
        EXPECT_EQ(result.out, "");
    }
    // A job that breaks off inside a value names where, never the value: it may be a password.
    for (const std::string& text : {std::string("{\"FTPPassword\": \"s3cr3t-pass\n\"}"),
                                    std::string("{\"FTPPassword\": \"s3cr3t-pass\\q\"}"),
                                    std::string("{\"Items\": [{\"FTPPassword\": \"s3cr3t-pass")}) {
        zandrel::testing::WriteFile(dir_ / "bad.json", text);
        const ProcessResult result = RunWebcopy({dir_ / "bad.json"});
        EXPECT_EQ(result.exitCode, 2) << text;
        EXPECT_NE(result.err.find("not valid JSON"), std::string::npos) << result.err;
        EXPECT_NE(result.err.find("line "), std::string::npos) << result.err;
        EXPECT_EQ(result.err.find("s3cr3t"), std::string::npos) << result.err;
    }
    // An unreadable job says why, in the system's words.
    const ProcessResult absent = RunWebcopy({dir_ / "absent.json"});
    EXPECT_NE(absent.err.find("absent.json: No such file or directory"), std::string::npos) << absent.err;
    const ProcessResult folder = RunWebcopy({dir_.path()});
    EXPECT_EQ(folder.exitCode, 2);
    EXPECT_NE(folder.err.find("Is a directory"), std::string::npos) << folder.err;
    EXPECT_NE(RunWebcopy({"--bogus", "x.json"}).err.find("Try 'webcopy --help'"), std::string::npos);
    const ProcessResult help = RunWebcopy({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("usage: webcopy"), std::string::npos);
    const ProcessResult version = RunWebcopy({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_NE(version.out.find("2.2.3.1"), std::string::npos);
}

// The job may come on standard input ("-"); an item whose file is fetched whole exits 0.
TEST_F(WebcopyTool, ReadsTheJobFromStandardInput) {
    server_.WriteFile("in.txt", "from stdin job");
    const Json job{{"ShowDialog", false}, {"Items", Json::array({FtpItem("wpFtp", "in.txt", dir_ / "got")})}};
    const ProcessResult result =
        RunProcess({.argv = {ZANDREL_WEBCOPY_TOOL, "--ui=terminal", "-"}, .env = {{"DISPLAY", ""}}, .input = job.dump()});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(zandrel::testing::ReadFile(dir_ / "got/in.txt"), "from stdin job");
    EXPECT_EQ(Lines(result.out).back().at("items")[0].at("Status"), "Success");
}

// Success of an item is not the whole story: what its files did decides, and "nothing newer" or
// a handler that said no is what the job asked for.
TEST_F(WebcopyTool, ExitsZeroOnlyWhenTheJobDidAllItAsked) {
    server_.WriteFile("m/a.txt", "a");
    server_.WriteFile("m/b.txt", "b");
    server_.WriteFile("keep.txt", "remote");
    fs::create_directories(dir_ / "blocked/b.txt"); // a folder where a downloaded file must go
    zandrel::testing::WriteFile(dir_ / "local/keep.txt", "local");
    struct Case {
        const char* name;
        Json items;
        Json handlers;
        int exit;
        const char* status;
    };
    const std::vector<Case> cases{
        {"multi-file download matching nothing", Json::array({FtpItem("wpMultiFtp", "m/*.zip", dir_ / "none")}),
         Json::object(), 1, "NothingMatched"},
        {"multi-file download with a file that cannot be written",
         Json::array({FtpItem("wpMultiFtp", "m/*.txt", dir_ / "blocked")}), Json::object(), 1, "Failed"},
        {"nothing newer on the server", Json::array({[&] {
             Json item = FtpItem("wpFtp", "keep.txt", dir_ / "newer");
             item["CopyNewerOnly"] = true;
             item["FileDate"] = "2999-01-01T00:00:00";
             return item;
         }()}),
         Json::object(), 0, "NoNewVersion"},
        {"the job's handler keeps the local file", Json::array({FtpItem("wpFtp", "keep.txt", dir_ / "local")}),
         Json{{"OnCopyOverWrite", false}}, 0, "Declined"},
    };
    for (const Case& c : cases) {
        const std::string job = WriteJob(Json{{"ShowDialog", false}, {"Items", c.items}, {"Handlers", c.handlers}});
        const ProcessResult result = RunWebcopy({"--ui=terminal", job});
        EXPECT_EQ(result.exitCode, c.exit) << c.name << "\n" << result.err << result.out;
        const std::vector<Json> lines = Lines(result.out);
        ASSERT_FALSE(lines.empty()) << c.name;
        EXPECT_EQ(lines.back().at("exit"), c.exit) << c.name;
        EXPECT_EQ(lines.back().at("items")[0].at("Status"), c.status) << c.name;
    }
    EXPECT_EQ(zandrel::testing::ReadFile(dir_ / "local/keep.txt"), "local");

    // Dates are given as ISO 8601 beside the number.
    const std::string job = WriteJob(Json{{"ShowDialog", false}, {"Items", Json::array({[&] {
                                               Json item = FtpItem("wpFtp", "keep.txt", dir_ / "newer");
                                               item["CopyNewerOnly"] = true;
                                               item["FileDate"] = "2999-01-01";
                                               return item;
                                           }()})}});
    const std::vector<Json> lines = Lines(RunWebcopy({job}).out);
    const std::vector<Json> noNew = EventsNamed(lines, "OnNoNewFileFound");
    ASSERT_EQ(noNew.size(), 1u);
    for (const char* field : {"curdate", "newdate"}) {
        EXPECT_TRUE(noNew[0].at(field).is_number()) << field;
        const std::string iso = noNew[0].at(std::string(field) + "ISO").get<std::string>();
        EXPECT_EQ(iso.size(), 25u) << iso; // 2026-12-10T14:05:09+01:00
        EXPECT_EQ(iso[10], 'T') << iso;
    }
    EXPECT_TRUE(lines.back().at("items")[0].at("NewFileDateISO").is_string());
    // Both of the event's dates are the server's; the one the server's was compared with is the
    // item's, which the summary names.
    EXPECT_TRUE(noNew[0].at("FileDateISO").get<std::string>().starts_with("2999-01-01T00:00:00")) << noNew[0];
    const ProcessResult text = RunWebcopy({"--text", job});
    EXPECT_NE(text.out.find("): NoNewVersion - the other side's file is of " +
                            noNew[0].at("newdateISO").get<std::string>() + ", not newer than 2999-01-01T00:00:00"),
              std::string::npos)
        << text.out;
}

// Ctrl-C is Cancel whatever shows the progress: the run ends in order, every event and the
// closing line are printed, and the exit status says it was interrupted.
TEST_F(WebcopyTool, CtrlCCancelsTheRunInEveryMode) {
    test::FtpServerOptions stall;
    stall.stallRetr = true;
    test::FtpServer stalling(stall);
    stalling.WriteFile("big.bin", std::string(1 << 20, 'x'));
    struct Mode {
        const char* ui;
        bool showDialog;
    };
    for (const Mode mode : {Mode{"terminal", true}, Mode{"terminal", false}, Mode{"qt", true}, Mode{"qt", false}}) {
        const std::string where = std::string(mode.ui) + (mode.showDialog ? " shown" : " hidden");
        Json item = FtpItem("wpFtp", "big.bin", dir_ / "down");
        item["FTPPort"] = stalling.Port();
        const std::string job = WriteJob(Json{{"ShowDialog", mode.showDialog}, {"Items", Json::array({item})}});
        std::optional<std::chrono::steady_clock::time_point> retrSeen;
        const ProcessResult result = RunProcess({
            .argv = {ZANDREL_WEBCOPY_TOOL, std::string("--ui=") + mode.ui, job},
            .env = {{"QT_QPA_PLATFORM", "offscreen"}, {"DISPLAY", ""}},
            // Once the transfer hangs on its data: the server has had RETR for a while.
            .signalWhen = [&](const std::string&) {
                if (!retrSeen && stalling.CountCommands("RETR") > 0) retrSeen = std::chrono::steady_clock::now();
                return retrSeen && std::chrono::steady_clock::now() - *retrSeen > std::chrono::milliseconds(1500);
            },
            .signal = SIGINT,
        });
        EXPECT_TRUE(result.signalled) << where;
        EXPECT_EQ(result.termSignal, 0) << where;
        EXPECT_EQ(result.exitCode, 130) << where << "\n" << result.err;
        const std::vector<Json> lines = Lines(result.out);
        ASSERT_FALSE(lines.empty()) << where;
        EXPECT_EQ(lines.back().at("event"), "done") << where;
        EXPECT_EQ(lines.back().at("items")[0].at("Status"), "Cancelled") << where;
        EXPECT_EQ(EventsNamed(lines, "OnCopyCancel").size(), 1u) << where;
        EXPECT_EQ(EventsNamed(lines, "OnCopyDone").size(), 1u) << where;
    }
}

// A window offering Open folder after the run is there for the person: webcopy waits until it is
// closed (here by Ctrl-C, which presses Close) instead of taking it away at once.
TEST_F(WebcopyTool, AWindowLeftInItsCloseStateWaitsForThePerson) {
    server_.WriteFile("w.txt", "window");
    const std::string job = WriteJob(
        Json{{"ShowOpenFolder", true}, {"Items", Json::array({FtpItem("wpFtp", "w.txt", dir_ / "w")})}});
    std::optional<std::chrono::steady_clock::time_point> doneSeen;
    const ProcessResult result = RunProcess({
        .argv = {ZANDREL_WEBCOPY_TOOL, "--ui=qt", job},
        .env = {{"QT_QPA_PLATFORM", "offscreen"}},
        .signalWhen = [&](const std::string& out) {
            if (!doneSeen && out.find(R"({"event":"done")") != std::string::npos)
                doneSeen = std::chrono::steady_clock::now();
            return doneSeen && std::chrono::steady_clock::now() - *doneSeen > std::chrono::milliseconds(300);
        },
        .signal = SIGINT,
    });
    EXPECT_TRUE(result.signalled) << "webcopy ended without waiting for the window";
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(Lines(result.out).back().at("items")[0].at("Status"), "Success");
}

// A name that is not UTF-8 comes back in a later job in its escaped form, as the same bytes.
TEST_F(WebcopyTool, EscapedNamesAreUsableInALaterJob) {
    const std::string source = dir_ / "caf\xE9.txt";
    zandrel::testing::WriteFile(source, "latin-1 name");
    std::string hex;
    for (unsigned char c : source) {
        static constexpr char kDigits[] = "0123456789abcdef";
        hex += kDigits[c >> 4];
        hex += kDigits[c & 15];
    }
    Json item = FtpItem("wpFtpUpload", "");
    item["URL"] = {{"hex", hex}};
    item["TargetFilename"] = "latin.txt";
    const ProcessResult result = RunWebcopy({WriteJob(Json{{"ShowDialog", false}, {"Items", Json::array({item})}})});
    EXPECT_EQ(result.exitCode, 0) << result.err << result.out;
    EXPECT_EQ(server_.ReadFile("latin.txt"), "latin-1 name");
}

// Readable lines for people, JSON for programs, and the quiet and progress switches.
TEST_F(WebcopyTool, OutputModes) {
    server_.WriteFile("o.txt", std::string(100000, 'o'));
    const std::string job = WriteJob(Json{{"Items", Json::array({FtpItem("wpFtp", "o.txt", dir_ / "o")})}});
    const ProcessResult text = RunWebcopy({"--ui=terminal", "--text", job});
    EXPECT_EQ(text.exitCode, 0) << text.err;
    EXPECT_EQ(text.out.find('{'), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("item 1 (wpFtp o.txt):"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("  97.7 KiB of 97.7 KiB  100%"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("  item 1 done: " + (dir_ / "o/o.txt") + ", 97.7 KiB (100,000 bytes) in "),
              std::string::npos)
        << text.out;
    EXPECT_NE(text.out.find("done: 1 of 1 active items done (exit status 0)"), std::string::npos) << text.out;

    const ProcessResult quiet = RunWebcopy({"--ui=terminal", "-q", job});
    EXPECT_EQ(quiet.exitCode, 0);
    EXPECT_EQ(quiet.out, "");
    EXPECT_EQ(quiet.err, "");

    const ProcessResult noProgress = RunWebcopy({"--ui=terminal", "--no-progress", job});
    EXPECT_EQ(noProgress.exitCode, 0);
    EXPECT_TRUE(EventsNamed(Lines(noProgress.out), "OnCopyProgress").empty());
    EXPECT_EQ(noProgress.err, ""); // no progress line either

    const ProcessResult every = RunWebcopy({"--ui=terminal", "--all-progress", job});
    EXPECT_EQ(EventsNamed(Lines(every.out), "OnCopyProgress").size(), 100000u / 4096 + 2);

    const ProcessResult failing = RunWebcopy({"--ui=terminal", "--quiet", WriteJob(Json{
        {"Items", Json::array({FtpItem("wpFtp", "absent.txt", dir_ / "o")})}})});
    EXPECT_EQ(failing.exitCode, 1);
    EXPECT_EQ(failing.out, "");
    EXPECT_NE(failing.err.find("webcopy: item 1 (wpFtp absent.txt): Failed - cannot get absent.txt (550 No such file or directory.)"), std::string::npos)
        << failing.err;

    // Where the files went: on the server as HOST:PATH, several of them by count and folder.
    zandrel::testing::WriteFile(dir_ / "u1.txt", "one");
    zandrel::testing::WriteFile(dir_ / "u2.txt", "two!");
    const ProcessResult uploads = RunWebcopy({"--ui=terminal", "--text", WriteJob(Json{{"Items", Json::array({
        FtpItem("wpFtpUpload", dir_ / "u1.txt", "in"), FtpItem("wpMultiFtpUpload", dir_ / "u*.txt", "many")})}})});
    EXPECT_EQ(uploads.exitCode, 0) << uploads.err;
    EXPECT_NE(uploads.out.find("  item 1 done: " + server_.Host() + ":in/u1.txt, 3 B in "), std::string::npos)
        << uploads.out;
    EXPECT_NE(uploads.out.find("  item 2 done: 2 files to " + server_.Host() + ":many, 7 B in "), std::string::npos)
        << uploads.out;
}

} // namespace
} // namespace zandrel::tools
