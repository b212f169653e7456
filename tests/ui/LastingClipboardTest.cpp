// Handing text to the desktop's clipboard tools and to the terminal's clipboard. The tools here
// are small scripts on a PATH of the test's own, standing in for xclip, xsel and wl-copy.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

#include "platform/ui/LastingClipboard.h"
#include "support/RunProcess.h"

namespace zandrel::ui {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

TEST(Osc52, CarriesTheTextInBase64) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"a", "YQ=="},
        {"ab", "YWI="},
        {"abc", "YWJj"},
        {"http://files.example/up/Demo_2.zip", "aHR0cDovL2ZpbGVzLmV4YW1wbGUvdXAvRGVtb18yLnppcA=="},
        {"\xC3\xA9\xE2\x82\xAC", "w6nigqw="},
    };
    for (const auto& [text, base64] : cases)
        EXPECT_EQ(Osc52Sequence(text), "\033]52;c;" + base64 + "\a") << text;
}

// Sets an environment variable for the life of the object (unset with nullopt).
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value) ::setenv(name, value->c_str(), 1);
        else ::unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_) ::setenv(name_, old_->c_str(), 1);
        else ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

class ClipboardTools : public ::testing::Test {
protected:
    // A stand-in tool: `body` runs under /bin/sh with the text on its standard input.
    void Tool(const std::string& name, const std::string& body) {
        const std::string path = bin_ / name;
        WriteFile(path, "#!/bin/sh\n" + body + "\n");
        ::chmod(path.c_str(), 0755);
    }
    // A tool that keeps what it got, how it was called and which session it ran in.
    void RecordingTool(const std::string& name) {
        Tool(name, "/bin/cat > '" + (out_ / name) + ".text'\n"
                   "echo \"$*\" > '" + (out_ / name) + ".args'\n"
                   "/usr/bin/cut -d' ' -f6 /proc/$$/stat > '" + (out_ / name) + ".session'\n"
                   "pwd > '" + (out_ / name) + ".folder'");
    }
    std::string Recorded(const std::string& name, const char* what) const {
        const std::string path = out_ / (name + "." + what);
        return std::filesystem::exists(path) ? ReadFile(path) : "(nothing)";
    }

    TempDir bin_{"clipboard-tools"};
    TempDir out_{"clipboard-recorded"};
    ScopedEnv path_{"PATH", bin_.path()};
    ScopedEnv display_{"DISPLAY", std::nullopt};
};

TEST_F(ClipboardTools, TheFirstInstalledToolTakesTheWholeText) {
    // More than a pipe holds at once, so the text must be fed while the tool reads.
    std::string text;
    for (int i = 0; text.size() < 300000; ++i) text += "line " + std::to_string(i) + "\n";
    struct Case {
        const char* what;
        DesktopSession session;
        std::vector<const char*> installed;
        const char* taker;
        const char* args;
    };
    const Case cases[] = {
        {"X11 prefers xclip", DesktopSession::X11, {"xclip", "xsel", "wl-copy"}, "xclip", "-selection clipboard\n"},
        {"X11 without xclip", DesktopSession::X11, {"xsel", "wl-copy"}, "xsel", "--clipboard --input\n"},
        {"Wayland", DesktopSession::Wayland, {"wl-copy", "xclip"}, "wl-copy", "\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const auto& e : std::filesystem::directory_iterator(bin_.path())) std::filesystem::remove(e.path());
        for (const auto& e : std::filesystem::directory_iterator(out_.path())) std::filesystem::remove(e.path());
        for (const char* tool : c.installed) RecordingTool(tool);
        const ClipboardHandOff handed = HandToClipboardOwner(text, c.session);
        EXPECT_TRUE(handed.ok) << handed.reason;
        EXPECT_EQ(handed.tool, c.taker);
        EXPECT_EQ(Recorded(c.taker, "text"), text);
        EXPECT_EQ(Recorded(c.taker, "args"), c.args);
        // The owner may outlive us by hours. In a session of its own: Ctrl-C in our terminal, or
        // closing it, does not end it.
        const std::string session = Recorded(c.taker, "session");
        EXPECT_GT(std::atoi(session.c_str()), 0) << session;
        EXPECT_NE(session, std::to_string(::getsid(0)) + "\n");
        // Nor does it hold on to our working folder (a disk that could not be unmounted).
        EXPECT_EQ(Recorded(c.taker, "folder"), "/\n");
    }
}

// Under Wayland with XWayland, the X11 tools stand in for a missing wl-copy.
TEST_F(ClipboardTools, WaylandFallsBackToXWayland) {
    RecordingTool("xclip");
    {
        const ClipboardHandOff handed = HandToClipboardOwner("t", DesktopSession::Wayland);
        EXPECT_FALSE(handed.ok);
        EXPECT_EQ(handed.reason, "none of wl-copy is installed");
    }
    ScopedEnv display("DISPLAY", ":7");
    const ClipboardHandOff handed = HandToClipboardOwner("t", DesktopSession::Wayland);
    EXPECT_TRUE(handed.ok) << handed.reason;
    EXPECT_EQ(handed.tool, "xclip");
}

// The tool forks an owner that stays (and holds our pipes); the hand-off ends when the first
// process has, without waiting for the owner.
TEST_F(ClipboardTools, TheOwnerLeftBehindDoesNotHoldTheCallerUp) {
    const std::string pidFile = out_ / "owner.pid";
    Tool("xclip", "/bin/cat > /dev/null\n(/bin/sleep 60 & echo $! > '" + pidFile + "')");
    const ClipboardHandOff handed = HandToClipboardOwner("t", DesktopSession::X11, 20000);
    EXPECT_TRUE(handed.ok) << handed.reason;
    ASSERT_TRUE(std::filesystem::exists(pidFile));
    const pid_t owner = std::stoi(ReadFile(pidFile));
    EXPECT_EQ(::kill(owner, 0), 0) << "the owner should still be there";
    ::kill(owner, SIGKILL);
}

TEST_F(ClipboardTools, AFailureSaysWhy) {
    struct Case {
        const char* what;
        const char* xclip; // script body, or null for not installed
        const char* xsel;
        const char* reasonHas;
    };
    const Case cases[] = {
        {"nothing installed", nullptr, nullptr, "none of xclip, xsel is installed"},
        {"the tool's own words", "/bin/cat > /dev/null; echo \"Error: Can't open display: :9\" >&2; exit 1", nullptr,
         "xclip failed (exit status 1): Error: Can't open display: :9"},
        {"the last installed tool's words", "exit 3", "echo 'xsel: no X' >&2; exit 2",
         "xsel failed (exit status 2): xsel: no X"},
        {"a tool that never reads is ended in time", "exec /bin/sleep 60", nullptr,
         "xclip did not take the text within 500 ms"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const auto& e : std::filesystem::directory_iterator(bin_.path())) std::filesystem::remove(e.path());
        if (c.xclip) Tool("xclip", c.xclip);
        if (c.xsel) Tool("xsel", c.xsel);
        // More than a pipe holds: a tool that ends without reading must not take us with it.
        const ClipboardHandOff handed = HandToClipboardOwner(std::string(300000, 'x'), DesktopSession::X11, 500);
        EXPECT_FALSE(handed.ok);
        EXPECT_NE(handed.reason.find(c.reasonHas), std::string::npos) << handed.reason;
    }
}

// Without a display, a terminal gets the text through OSC 52; a pipe or file gets nothing.
TEST(TerminalClipboard, GoesToTheTerminalOnly) {
    ScopedEnv display("DISPLAY", std::nullopt);
    ScopedEnv wayland("WAYLAND_DISPLAY", std::nullopt);
    int master = -1, slave = -1;
    ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    std::FILE* terminal = ::fdopen(slave, "w");
    ASSERT_NE(terminal, nullptr);
    PublishClipboardFromTerminal("http://x/Demo.zip", terminal);
    std::fclose(terminal);
    std::string seen;
    char buffer[256];
    ::fcntl(master, F_SETFL, O_NONBLOCK);
    for (ssize_t n; (n = ::read(master, buffer, sizeof buffer)) > 0;) seen.append(buffer, static_cast<size_t>(n));
    ::close(master);
    EXPECT_EQ(seen, Osc52Sequence("http://x/Demo.zip"));

    TempDir dir("clipboard-file");
    std::FILE* file = std::fopen((dir / "out").c_str(), "w");
    ASSERT_NE(file, nullptr);
    PublishClipboardFromTerminal("http://x/Demo.zip", file);
    std::fclose(file);
    EXPECT_EQ(ReadFile(dir / "out"), "");
}

} // namespace
} // namespace zandrel::ui
