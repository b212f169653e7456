// A person works modal forms at a real (pseudo-)terminal: the fixture program shows a form built
// like the options dialog or the login dialog, the test types as a person would, and the program
// prints what the form's Ok handler saved.
#include <gtest/gtest.h>

#include <csignal>
#include <string>

#include "support/RunProcess.h"
#include "ui/PseudoTerminal.h"

namespace zandrel::testing {
namespace {

// The options fixture lists its controls in this order (Ok and Cancel come first in its Tab
// sequence; the disabled "Auto Send Email" and a hidden edit get no number).
const std::string kOk = "1", kCancel = "2", kPort = "3", kHost = "4", kUser = "5", kPassword = "6", kPassive = "7",
                  kTest = "8", kFilters = "9", kNew = "10", kRemove = "11", kSubject = "12", kBody = "13", kFailing = "14";
const std::string kPick = "Pick 1-14, Enter = Ok, Ctrl-D = Cancel: ";

std::vector<std::string> Fixture(const char* which) { return {TERMINAL_FORM_FIXTURE, which}; }

// What the program printed after the form had gone.
std::string Results(const std::string& screen) {
    const size_t at = screen.find("== results ==");
    return at == std::string::npos ? "" : screen.substr(at);
}

// Picks a control at the form's prompt and waits for the question it asks.
void Pick(PseudoTerminal& term, const std::string& number, const std::string& question) {
    ASSERT_TRUE(term.WaitFor(kPick)) << term.Screen();
    term.Type(number + "\n");
    ASSERT_TRUE(term.WaitFor(question)) << term.Screen();
}

TEST(TerminalForm, APersonEditsTheFieldsAndOkSavesWhatTheyTyped) {
    PseudoTerminal term(Fixture("options"));
    ASSERT_TRUE(term.WaitFor("Zandrel Options")) << term.Screen();
    ASSERT_TRUE(term.WaitFor(kPick)) << term.Screen();
    const std::string listing = term.Screen();
    for (const char* shown : {"FTP Options", "3. Port", "21", "4. Host", "ftp.example.org", "6. Password",
                              "********", "ZIP File Options", "*.pas, *.dpk, *.dpr", "[Ok] (Enter)",
                              "- Auto Send Email", "(not available)", "Hello, (2 lines)"})
        EXPECT_NE(listing.find(shown), std::string::npos) << shown << "\n" << listing;
    EXPECT_EQ(listing.find("old-secret"), std::string::npos) << listing;
    // Neither the password nor its length (ten characters) shows.
    EXPECT_EQ(listing.find("*********"), std::string::npos) << listing;
    EXPECT_EQ(listing.find("Hidden"), std::string::npos) << listing;

    term.Type(kHost + "\n");
    ASSERT_TRUE(term.WaitFor("Host [ftp.example.org]")) << term.Screen();
    term.Type("files\x1b[D\x1bOP.example.net\n"); // an arrow key and F1 on the way leave nothing behind
    Pick(term, kUser, "Username [anna]");
    term.Type("\n"); // Enter keeps the value
    Pick(term, kPassword, "Password [********]");
    term.Type("n3w-pass\n");
    Pick(term, kPort, "Port [21] (0 to 65535");
    term.Type("twenty\n");
    ASSERT_TRUE(term.WaitFor("\"twenty\" is not a whole number")) << term.Screen();
    ASSERT_TRUE(term.WaitFor("Port [21]")) << term.Screen();
    term.Type("123456\n");
    ASSERT_TRUE(term.WaitFor("set to 65535")) << term.Screen();
    ASSERT_TRUE(term.WaitFor("65535")) << term.Screen(); // and the listing shows it
    ASSERT_TRUE(term.WaitFor(kPick)) << term.Screen();
    term.Type(kPassive + "\n");
    Pick(term, kSubject, "Subject [Weekly build]");
    term.Type("-\n"); // empties it
    Pick(term, kBody, "> ");
    term.Type("line one\n");
    ASSERT_TRUE(term.WaitFor("> ")) << term.Screen();
    term.Type("line two\n");
    ASSERT_TRUE(term.WaitFor("> ")) << term.Screen();
    term.Type(".\n");
    ASSERT_TRUE(term.WaitFor("line one (2 lines)")) << term.Screen();
    ASSERT_TRUE(term.WaitFor(kPick)) << term.Screen();
    term.Type("\n"); // Enter presses Ok
    EXPECT_EQ(term.Finish(), 0) << term.Screen();

    const std::string results = Results(term.Screen());
    EXPECT_EQ(term.Screen().find("n3w-pass"), term.Screen().find("password=n3w-pass") + 9)
        << "the password showed up while it was typed:\n" << term.Screen();
    for (const char* saved : {"result=Ok", "saved=1", "host=files.example.net", "user=anna", "password=n3w-pass",
                              "port=65535", "passive=1", "subject=\r", "body=line one\\nline two"})
        EXPECT_NE(results.find(saved), std::string::npos) << saved << "\n" << term.Screen();
}

TEST(TerminalForm, NewAsksThroughAnInputBoxAndRemoveDropsTheSelectedLines) {
    PseudoTerminal term(Fixture("options"));
    Pick(term, kNew, "Please insert a new filter");
    term.Type("*.inc\n");
    Pick(term, kNew, "Please insert a new filter");
    term.Type("*.bak\x04"); // Ctrl-D after some text hands it over as typed ...
    ASSERT_TRUE(term.WaitFor("*.inc, *.bak")) << term.Screen();
    Pick(term, kNew, "Please insert a new filter");
    term.Type("\x04"); // ... and on an empty line it cancels the input box: nothing is added
    Pick(term, kFilters, "Lines to select or deselect");
    term.Type("1 3 5 9 x\n");
    ASSERT_TRUE(term.WaitFor("No line \"9\"")) << term.Screen();
    ASSERT_TRUE(term.WaitFor("No line \"x\"")) << term.Screen();
    ASSERT_TRUE(term.WaitFor("(selected: *.pas, *.dpr, *.bak)")) << term.Screen();
    Pick(term, kFilters, "Lines to select or deselect");
    term.Type("5\n"); // deselects it again
    ASSERT_TRUE(term.WaitFor("(selected: *.pas, *.dpr)")) << term.Screen();
    ASSERT_TRUE(term.WaitFor(kPick)) << term.Screen();
    term.Type(kRemove + "\n");
    ASSERT_TRUE(term.WaitFor("*.dpk, *.inc, *.bak\r\n")) << term.Screen();
    ASSERT_TRUE(term.WaitFor(kPick)) << term.Screen();
    term.Type(kOk + "\n");
    EXPECT_EQ(term.Finish(), 0) << term.Screen();
    EXPECT_NE(Results(term.Screen()).find("filters=*.dpk,*.inc,*.bak\r\n"), std::string::npos) << term.Screen();
}

// A message box shown by a button waits for Enter; a handler that fails says why, and in both
// cases the form comes back to be worked on.
TEST(TerminalForm, AfterAButtonsMessageBoxOrFailureTheFormComesBack) {
    PseudoTerminal term(Fixture("options"));
    Pick(term, kTest, "Connection failed, please verify FTP settings");
    ASSERT_TRUE(term.WaitFor("(press Enter)")) << term.Screen();
    EXPECT_EQ(term.Unmatched().find("Pick"), std::string::npos) << "the form came back before Enter";
    term.Type("\n");
    ASSERT_TRUE(term.WaitFor("Zandrel Options")) << term.Screen();
    Pick(term, kFailing, "Error: the settings file is read-only");
    ASSERT_TRUE(term.WaitFor("Zandrel Options")) << term.Screen();
    ASSERT_TRUE(term.WaitFor(kPick)) << term.Screen();
    term.Type(kOk + "\n");
    EXPECT_EQ(term.Finish(), 0) << term.Screen();
    EXPECT_NE(Results(term.Screen()).find("result=Ok"), std::string::npos) << term.Screen();
}

// However the form ends without Ok, what was typed is not saved; Ctrl-C then ends the program as
// Ctrl-C does (130), and the terminal is left in the modes it had, also when Ctrl-C came while
// the password was being typed with echo off.
TEST(TerminalForm, EndingWithoutOkSavesNothingAndLeavesTheTerminalAsItWas) {
    struct Case {
        const char* what;
        std::string field; // the field being edited when the form is ended; empty for the form's prompt
        std::string keys;
        int exitStatus;
    };
    const Case cases[] = {
        {"the Cancel button", "", kCancel + "\n", 0},
        {"Ctrl-D", "", "\x04", 0},
        {"Ctrl-C", "", "\x03", 130},
        {"Ctrl-C in the password", kPassword, "half-typed\x03", 130},
        {"Ctrl-C in the memo", kBody, "first line\n\x03", 130},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PseudoTerminal term(Fixture("options"));
        const termios before = term.Modes();
        Pick(term, kHost, "Host [ftp.example.org]");
        term.Type("changed.example.net\n");
        ASSERT_TRUE(term.WaitFor(kPick)) << term.Screen();
        if (!c.field.empty()) {
            term.Type(c.field + "\n");
            ASSERT_TRUE(term.WaitFor(c.field == kBody ? "> " : "what you type is not shown): ")) << term.Screen();
        }
        term.Type(c.keys);
        EXPECT_EQ(term.Finish(), c.exitStatus) << term.Screen();
        const std::string results = Results(term.Screen());
        EXPECT_NE(results.find("result=Cancel"), std::string::npos) << term.Screen();
        EXPECT_NE(results.find("saved=0"), std::string::npos) << term.Screen();
        EXPECT_EQ(results.find("changed.example.net"), std::string::npos) << term.Screen();
        EXPECT_EQ(term.Modes().c_lflag, before.c_lflag) << term.Screen();
        EXPECT_EQ(term.Modes().c_iflag, before.c_iflag) << term.Screen();
    }
}

// A program that did not ask to hear of Ctrl-C still gets its terminal back before Ctrl-C ends it.
TEST(TerminalForm, CtrlCInAProgramWithoutTheLatchEndsItWithTheTerminalPutBack) {
    PseudoTerminal term({TERMINAL_FORM_FIXTURE, "login", "nolatch"});
    const termios before = term.Modes();
    ASSERT_TRUE(term.WaitFor("Pick 1-4")) << term.Screen();
    term.Type("2\n");
    ASSERT_TRUE(term.WaitFor("what you type is not shown): ")) << term.Screen();
    EXPECT_EQ(term.Modes().c_lflag & ECHO, 0u);
    term.Type("half\x03");
    EXPECT_EQ(term.Finish(), 128 + SIGINT) << term.Screen();
    EXPECT_EQ(term.Modes().c_lflag, before.c_lflag) << term.Screen();
    EXPECT_EQ(Results(term.Screen()), "") << term.Screen();
}

// The login dialog's form: labels with access keys name the edits, the password is not echoed,
// Enter is OK.
TEST(TerminalForm, TheLoginFormTakesANameAndAPasswordThatIsNotEchoed) {
    PseudoTerminal term(Fixture("login"));
    ASSERT_TRUE(term.WaitFor("Connect to 127.0.0.1")) << term.Screen();
    ASSERT_TRUE(term.WaitFor("1. User name")) << term.Screen();
    ASSERT_TRUE(term.WaitFor("3. [OK] (Enter)")) << term.Screen();
    ASSERT_TRUE(term.WaitFor("Pick 1-4, Enter = OK, Ctrl-D = Cancel: ")) << term.Screen();
    term.Type("1\n");
    ASSERT_TRUE(term.WaitFor("User name [] ")) << term.Screen();
    term.Type("alice\n");
    ASSERT_TRUE(term.WaitFor("Pick 1-4")) << term.Screen();
    term.Type("2\n");
    ASSERT_TRUE(term.WaitFor("what you type is not shown): ")) << term.Screen();
    term.Type("s3cr3t w1th space\n");
    ASSERT_TRUE(term.WaitFor("********")) << term.Screen();
    ASSERT_TRUE(term.WaitFor("Pick 1-4")) << term.Screen();
    term.Type("\n");
    EXPECT_EQ(term.Finish(), 0) << term.Screen();
    const std::string screen = term.Screen();
    EXPECT_EQ(screen.find("s3cr3t"), screen.find("password=s3cr3t") + 9) << "the password was echoed:\n" << screen;
    EXPECT_EQ(screen.find("*********"), std::string::npos) << "the password's length shows:\n" << screen;
    EXPECT_NE(Results(screen).find("result=Ok\r\nuser=alice\r\npassword=s3cr3t w1th space"), std::string::npos)
        << screen;
}

// A script or CI job has no one to answer: the form is listed once, closed as Cancel with a note,
// and the program goes on without reading its input.
TEST(TerminalForm, WithoutATerminalTheFormIsListedAndClosedAsCancel) {
    for (const char* input : {"", "4\nsomething\n\n"}) {
        ProcessRun run;
        run.argv = Fixture("options");
        run.input = input;
        run.timeoutSeconds = 30;
        const ProcessResult result = RunProcess(run);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_NE(result.err.find("4. Host"), std::string::npos) << result.err;
        EXPECT_NE(result.err.find("\"Zandrel Options\" needs a terminal to be filled in; it was closed as Cancel."),
                  std::string::npos)
            << result.err;
        EXPECT_NE(result.out.find("result=Cancel\nsaved=0\n"), std::string::npos) << result.out;
    }
}

} // namespace
} // namespace zandrel::testing
