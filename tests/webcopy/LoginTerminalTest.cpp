// The login dialog at a terminal: the webcopy tool downloads from a server that wants Basic
// authentication, on a pseudo-terminal of its own where the test types as a person would, and
// with an input that is no terminal, where nobody can answer.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "fixtures/HttpServer.h"
#include "support/RunProcess.h"
#include "ui/PseudoTerminal.h"

namespace zandrel::testing {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

const std::string kPick = "Pick 1-4, Enter = OK, Ctrl-D = Cancel: ";

Json AuthItem(const test::HttpServer& server, const std::string& name, const TempDir& dir) {
    return Json{{"Protocol", "wpHttp"},
                {"URL", server.Base() + "/auth/" + name},
                {"TargetDir", dir / "got"},
                {"Authenticate", "waAuto"}};
}

std::string WriteJob(const TempDir& dir, const Json& items) {
    const std::string path = dir / "job.json";
    WriteFile(path, Json{{"Items", items}}.dump(2));
    return path;
}

// The tool as a person starts it at a terminal, with the terminal forms even where a display is set.
std::vector<std::string> Tool(const std::string& job) { return {ZANDREL_WEBCOPY_TOOL, "--ui=terminal", "--text", job}; }

TEST(LoginAtATerminal, ThePersonTypesNameAndHiddenPasswordAndTheFileComes) {
    test::HttpServer server;
    server.WriteFile("report.txt", "for alice only");
    TempDir dir{"login-terminal"};
    PseudoTerminal term(Tool(WriteJob(dir, Json::array({AuthItem(server, "report.txt", dir)}))));
    const std::string caption = "Connect to 127.0.0.1:" + std::to_string(server.Port());
    ASSERT_TRUE(term.WaitFor(caption)) << term.Screen();
    ASSERT_TRUE(term.WaitFor("1. User name")) << term.Screen();
    ASSERT_TRUE(term.WaitFor("2. Password")) << term.Screen();
    ASSERT_TRUE(term.WaitFor("3. [OK] (Enter)")) << term.Screen();
    ASSERT_TRUE(term.WaitFor("4. [Cancel]")) << term.Screen();
    ASSERT_TRUE(term.WaitFor(kPick)) << term.Screen();
    term.Type("1\n");
    ASSERT_TRUE(term.WaitFor("User name [] ")) << term.Screen();
    term.Type("alice\n");
    ASSERT_TRUE(term.WaitFor(kPick)) << term.Screen();
    term.Type("2\n");
    ASSERT_TRUE(term.WaitFor("what you type is not shown): ")) << term.Screen();
    term.Type("secret\n");
    ASSERT_TRUE(term.WaitFor("******")) << term.Screen();
    ASSERT_TRUE(term.WaitFor(kPick)) << term.Screen();
    term.Type("\n"); // Enter is OK
    EXPECT_EQ(term.Finish(), 0) << term.Screen();
    EXPECT_EQ(term.Screen().find("secret"), std::string::npos) << "the password was echoed:\n" << term.Screen();
    EXPECT_EQ(ReadFile(dir / "got/report.txt"), "for alice only");
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].authorization, "Basic YWxpY2U6c2VjcmV0");
}

// A refused password is asked for again: the prompt says it was refused and keeps the user name,
// so Enter takes it as it is.
TEST(LoginAtATerminal, ARefusedPasswordIsAskedForAgainWithTheUserNameKept) {
    test::HttpServer server;
    server.WriteFile("report.txt", "for alice only");
    TempDir dir{"login-terminal-retry"};
    PseudoTerminal term(Tool(WriteJob(dir, Json::array({AuthItem(server, "report.txt", dir)}))));
    const auto logIn = [&term](const std::string& userAnswer, const std::string& password) {
        ASSERT_TRUE(term.WaitFor(kPick)) << term.Screen();
        term.Type("1\n");
        ASSERT_TRUE(term.WaitFor("User name [")) << term.Screen();
        term.Type(userAnswer + "\n");
        ASSERT_TRUE(term.WaitFor(kPick)) << term.Screen();
        term.Type("2\n");
        ASSERT_TRUE(term.WaitFor("what you type is not shown): ")) << term.Screen();
        term.Type(password + "\n");
        ASSERT_TRUE(term.WaitFor(kPick)) << term.Screen();
        term.Type("\n");
    };
    logIn("alice", "wrong");
    ASSERT_TRUE(term.WaitFor("user name or password refused; try again")) << term.Screen();
    ASSERT_TRUE(term.WaitFor("User name  alice")) << term.Screen();
    logIn("", "secret"); // Enter keeps the user name
    EXPECT_EQ(term.Finish(), 0) << term.Screen();
    EXPECT_EQ(ReadFile(dir / "got/report.txt"), "for alice only");
    std::vector<std::string> sent;
    for (const auto& request : server.Requests()) sent.push_back(request.authorization);
    EXPECT_EQ(sent, (std::vector<std::string>{"", "Basic YWxpY2U6d3Jvbmc=", "Basic YWxpY2U6c2VjcmV0"}));
}

// Ctrl-C at the login stops the whole run, not just this one question: the next item, which
// would ask again, is not run.
TEST(LoginAtATerminal, CtrlCAtTheLoginStopsTheWholeRun) {
    test::HttpServer server;
    server.WriteFile("one.txt", "1");
    server.WriteFile("two.txt", "2");
    TempDir dir{"login-terminal-stop"};
    PseudoTerminal term(Tool(WriteJob(dir, Json::array({AuthItem(server, "one.txt", dir), AuthItem(server, "two.txt", dir)}))));
    ASSERT_TRUE(term.WaitFor(kPick)) << term.Screen();
    term.Type("1\n");
    ASSERT_TRUE(term.WaitFor("User name [] ")) << term.Screen();
    term.Type("\x03");
    EXPECT_EQ(term.Finish(), 130) << term.Screen();
    EXPECT_FALSE(fs::exists(dir / "got/one.txt"));
    EXPECT_FALSE(fs::exists(dir / "got/two.txt"));
    for (const auto& request : server.Requests()) EXPECT_EQ(request.path, "/auth/one.txt");
}

// A script has nobody to answer: each login is cancelled at once, without reading the input, and
// the run ends with a failure.
TEST(LoginAtATerminal, WithoutATerminalEveryLoginIsCancelledAtOnce) {
    test::HttpServer server;
    server.WriteFile("one.txt", "1");
    server.WriteFile("two.txt", "2");
    TempDir dir{"login-no-terminal"};
    ProcessRun run;
    run.argv = Tool(WriteJob(dir, Json::array({AuthItem(server, "one.txt", dir), AuthItem(server, "two.txt", dir)})));
    run.input = "1\nalice\n2\nsecret\n\n";
    run.timeoutSeconds = 60;
    const ProcessResult result = RunProcess(run);
    EXPECT_EQ(result.exitCode, 1) << result.out << result.err;
    const std::string note = "needs a terminal to be filled in; it was closed as Cancel.";
    const size_t first = result.err.find(note);
    ASSERT_NE(first, std::string::npos) << result.err;
    EXPECT_NE(result.err.find(note, first + 1), std::string::npos) << result.err; // once per item
    EXPECT_FALSE(fs::exists(dir / "got/one.txt"));
    EXPECT_FALSE(fs::exists(dir / "got/two.txt"));
    std::vector<std::string> asked;
    for (const auto& request : server.Requests()) asked.push_back(request.path + " " + request.authorization);
    EXPECT_EQ(asked, (std::vector<std::string>{"/auth/one.txt ", "/auth/two.txt "}));
}

} // namespace
} // namespace zandrel::testing
