// "zandrel upload" driven as a user would: the real package packs the example project and sends
// the archive to a real FTP server on 127.0.0.1; the web address ends up on standard output and,
// under an X server, on a clipboard that outlives the program.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <set>
#include <sstream>
#include <thread>

#include "fixtures/FtpServer.h"
#include "fixtures/SshServer.h"
#include "fixtures/VsftpdServer.h"
#include "settings/Scramble.h"
#include "support/RunProcess.h"

extern char** environ;

namespace zandrel::testing {
namespace {

namespace fs = std::filesystem;
using test::FtpServer;
using test::FtpServerOptions;

const std::string kBaseUrl = "http://files.example/uploads/";

struct UploadSettings {
    uint16_t port = 21;
    std::string user = "alice";
    std::string password = "secret";
    std::string folder = "uploads";
    bool passive = false;
    std::string baseUrl = kBaseUrl;
    std::string security{}; // the stored transport word; empty: no value, as before there was one
};

// A string as the store file writes what a quoted form cannot carry: UTF-16LE code units, then
// the terminator.
std::string HexString(const std::u16string& text) {
    std::string out = "hex(1):";
    char byte[8];
    for (char16_t unit : text + u'\0') {
        std::snprintf(byte, sizeof byte, "%02x,%02x,", unit & 0xFF, unit >> 8);
        out += byte;
    }
    out.pop_back();
    return out;
}

std::string Scrambled(const std::string& text) {
    return HexString(settings::Encrypt(std::u16string(text.begin(), text.end()), 27966));
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::string LastLine(const std::string& text) {
    const auto lines = Lines(text);
    return lines.empty() ? std::string() : lines.back();
}

// A copy of the example project, settings of its own, and no display unless a test gives one.
class UploadCommand : public ::testing::Test {
protected:
    void SetUp() override {
        fs::copy(fs::path(ZANDREL_SOURCE_DIR) / "examples/Demo", project_.path(), fs::copy_options::recursive);
        fs::remove(Archive());
    }

    void WriteSettings(const UploadSettings& s) {
        char port[16];
        std::snprintf(port, sizeof port, "%08x", s.port);
        const std::string path = home_ / "config/zandrel/user.reg";
        WriteFile(path, "Windows Registry Editor Version 5.00\r\n\r\n"
                        "[HKEY_CURRENT_USER\\Software\\QuillonSoftware\\FTPUploaderIDEPlugin]\r\n"
                        "\"ZIPFilter\"=\"*.PAS;*.DPR;*.RES;*.DFM\"\r\n"
                        "\"FTPHost\"=\"127.0.0.1\"\r\n"
                        "\"FTPPort\"=dword:" + std::string(port) + "\r\n"
                        "\"FTPUserName\"=" + Scrambled(s.user) + "\r\n"
                        "\"FTPpwd\"=" + Scrambled(s.password) + "\r\n"
                        "\"FTPDirectory\"=\"" + s.folder + "\"\r\n"
                        "\"FTPPassive\"=dword:0000000" + (s.passive ? "1" : "0") + "\r\n"
                        "\"FTPBaseUrl\"=\"" + s.baseUrl + "\"\r\n" +
                        (s.security.empty() ? "" : "\"FTPSecurity\"=\"" + s.security + "\"\r\n"));
        fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
    }

    std::map<std::string, std::string> Environment() const {
        std::map<std::string, std::string> environment{
            {"XDG_CONFIG_HOME", home_ / "config"},
            {"XDG_DATA_HOME", home_ / "data"},
            {"HOME", home_.path()},
            {"DISPLAY", ""},
            {"WAYLAND_DISPLAY", ""},
            {"DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/zandrel-test-bus"},
            {"SSH_AUTH_SOCK", ""}};
        if (!trustedCa_.empty()) environment["SSL_CERT_FILE"] = trustedCa_;
        return environment;
    }
    ProcessResult Upload(const std::string& projectFile = "") {
        return RunProcess({ZANDREL_EXE, "--ui=terminal", "upload", projectFile.empty() ? ProjectFile() : projectFile},
                          Environment(), 60);
    }

    std::string ProjectFile() const { return project_ / "Demo.prj"; }
    std::string Archive() const { return project_ / "Demo.zip"; }

    // The names in a folder of the server.
    static std::set<std::string> Names(const fs::path& folder) {
        std::set<std::string> names;
        if (fs::is_directory(folder))
            for (const auto& e : fs::directory_iterator(folder)) names.insert(e.path().filename().string());
        return names;
    }

    TempDir home_{"zandrel-upload-home"};
    TempDir project_{"zandrel-upload-project"};
    std::string trustedCa_; // the CA the upload trusts besides none ("": the system's)
};

// The name is the first one free in the upload folder, compared exactly; what lies elsewhere
// (the login folder) does not count; a folder that is not there yet is made.
TEST_F(UploadCommand, TheArchiveGoesUpUnderTheFirstFreeNameOfTheUploadFolder) {
    FtpServer server;
    struct Case {
        const char* what;
        std::vector<std::string> present; // relative to the server's root
        std::string expected;
    };
    // A folder that has kept every earlier upload: Demo.zip, Demo_1.zip, ... Demo_<count-1>.zip.
    const auto earlier = [](int count) {
        std::vector<std::string> names{"uploads/Demo.zip"};
        for (int i = 1; i < count; ++i) names.push_back("uploads/Demo_" + std::to_string(i) + ".zip");
        return names;
    };
    const Case cases[] = {
        {"two names taken", {"uploads/Demo.zip", "uploads/Demo_1.zip"}, "Demo_2.zip"},
        {"many earlier uploads", earlier(150), "Demo_150.zip"},
        {"the first gap is taken", {"uploads/Demo.zip", "uploads/Demo_2.zip"}, "Demo_1.zip"},
        {"another letter case is another name", {"uploads/DEMO.ZIP", "uploads/demo.zip"}, "Demo.zip"},
        {"an empty folder", {}, "Demo.zip"},
        {"a file in the login folder", {"Demo.zip", "Demo_1.zip"}, "Demo.zip"},
        {"a folder of the name counts as taken", {"uploads/Demo.zip/inner.txt"}, "Demo_1.zip"},
    };
    WriteSettings({.port = server.Port()});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const auto& e : fs::directory_iterator(server.Root())) fs::remove_all(e.path());
        fs::create_directories(server.Root() / "uploads");
        for (const std::string& name : c.present) server.WriteFile(name, "there before: " + name);
        const auto before = Names(server.Root() / "uploads");

        const auto run = Upload();
        ASSERT_EQ(run.exitCode, 0) << run.err;
        // The address alone on stdout, what was done on stderr.
        EXPECT_EQ(run.out, kBaseUrl + c.expected + "\n");
        EXPECT_NE(run.err.find("as uploads/" + c.expected + "; its web address is " + kBaseUrl + c.expected),
                  std::string::npos)
            << run.err;
        // Byte for byte the archive that was written, and nothing else touched or left.
        EXPECT_EQ(server.ReadFile("uploads/" + c.expected), ReadFile(Archive()));
        auto after = before;
        after.insert(c.expected);
        EXPECT_EQ(Names(server.Root() / "uploads"), after);
        for (const std::string& name : c.present)
            if (fs::is_regular_file(server.Root() / name)) {
                EXPECT_EQ(server.ReadFile(name), "there before: " + name);
            }
        const auto unzip = RunProcess({"/usr/bin/unzip", "-t", (server.Root() / "uploads" / c.expected).string()});
        EXPECT_EQ(unzip.exitCode, 0) << unzip.out;
    }
}

// A folder that keeps every earlier upload is read once, not asked about name by name: the
// names it lists are skipped together, and only the name chosen is checked and locked.
TEST_F(UploadCommand, ManyEarlierUploadsCostOneListingNotAChecksEach) {
    FtpServer server;
    server.WriteFile("uploads/Demo.zip", "there before");
    for (int i = 1; i < 150; ++i) server.WriteFile("uploads/Demo_" + std::to_string(i) + ".zip", "there before");
    WriteSettings({.port = server.Port()});
    const auto run = Upload();
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(LastLine(run.out), kBaseUrl + "Demo_150.zip");
    EXPECT_EQ(server.ReadFile("uploads/Demo_150.zip"), ReadFile(Archive()));
    // Demo.zip, found taken, then the one chosen after the listing.
    EXPECT_LE(server.CountCommands("MKD"), 3);
}

TEST_F(UploadCommand, AMissingUploadFolderIsMadeAndNamesOutsideItDoNotCount) {
    FtpServer server;
    server.WriteFile("Demo.zip", "in the login folder");
    WriteSettings({.port = server.Port(), .folder = "site/files/"});
    const auto run = Upload();
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(LastLine(run.out), kBaseUrl + "Demo.zip");
    EXPECT_EQ(server.ReadFile("site/files/Demo.zip"), ReadFile(Archive()));
    EXPECT_EQ(server.ReadFile("Demo.zip"), "in the login folder");
}

// A name that is not a plain word still gives an address that works as one.
TEST_F(UploadCommand, TheAddressEncodesWhatWouldBreakIt) {
    FtpServer server;
    WriteSettings({.port = server.Port()});
    fs::rename(ProjectFile(), project_ / "My Demo#1.prj");
    const auto run = Upload(project_ / "My Demo#1.prj");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(LastLine(run.out), kBaseUrl + "My%20Demo%231.zip");
    EXPECT_EQ(server.ReadFile("uploads/My Demo#1.zip"), ReadFile(project_ / "My Demo#1.zip"));
}

// A server that refuses active mode (as behind most firewalls and NATs) works only when the
// stored setting asks for passive mode, for the listing and the upload alike.
TEST_F(UploadCommand, ThePassiveSettingIsHonoured) {
    FtpServerOptions options;
    options.rules = {"PORT reply 500 Active mode is not allowed here.",
                     "EPRT reply 500 Active mode is not allowed here."};
    FtpServer server(options);
    fs::create_directories(server.Root() / "uploads");

    WriteSettings({.port = server.Port(), .passive = true});
    const auto passive = Upload();
    ASSERT_EQ(passive.exitCode, 0) << passive.err;
    EXPECT_EQ(LastLine(passive.out), kBaseUrl + "Demo.zip");
    EXPECT_EQ(server.ReadFile("uploads/Demo.zip"), ReadFile(Archive()));
    EXPECT_EQ(server.CountCommands("PORT") + server.CountCommands("EPRT"), 0);

    WriteSettings({.port = server.Port(), .passive = false});
    const auto active = Upload();
    EXPECT_EQ(active.exitCode, 1);
    EXPECT_NE(active.err.find("Active mode is not allowed here"), std::string::npos) << active.err;
    EXPECT_EQ(active.out.find(kBaseUrl), std::string::npos) << active.out;
    EXPECT_EQ(Names(server.Root() / "uploads"), std::set<std::string>{"Demo.zip"});
}

// Whatever the server's listing says, a file that is there is never replaced. vsftpd lists a
// folder it may not read (mode 333, a typical "incoming" folder) as empty, with a 226 that says
// so only in words; and a server without MLST tells of a name only through SIZE.
TEST_F(UploadCommand, AFileAlreadyThereIsNeverReplaced) {
    struct Case {
        const char* what;
        bool mlsd;
        std::vector<std::string> rules;
    };
    const Case cases[] = {
        {"a folder listed as empty", false,
         {"LIST empty", "LIST enddata 226 Transfer done (but failed to open directory)."}},
        {"MLST and a listing that leaves the names out", true, {"MLSD empty"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FtpServerOptions options;
        options.mlsd = c.mlsd;
        options.rules = c.rules;
        FtpServer server(options);
        server.WriteFile("uploads/Demo.zip", "there before: Demo.zip");
        server.WriteFile("uploads/Demo_1.zip", "there before: Demo_1.zip");
        WriteSettings({.port = server.Port()});
        const auto run = Upload();
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(LastLine(run.out), kBaseUrl + "Demo_2.zip") << run.out;
        EXPECT_EQ(server.ReadFile("uploads/Demo.zip"), "there before: Demo.zip");
        EXPECT_EQ(server.ReadFile("uploads/Demo_1.zip"), "there before: Demo_1.zip");
        EXPECT_EQ(server.ReadFile("uploads/Demo_2.zip"), ReadFile(Archive()));
        EXPECT_EQ(Names(server.Root() / "uploads"), (std::set<std::string>{"Demo.zip", "Demo_1.zip", "Demo_2.zip"}));
    }
}

// Ten runs at once, of different projects with the same archive name: each address printed holds
// that run's own archive, and no run's archive is lost.
TEST_F(UploadCommand, TenRunsAtOnceEachGiveTheAddressOfTheirOwnArchive) {
    FtpServer server;
    fs::create_directories(server.Root() / "uploads");
    // Passive: the race is over names; ten data connections back into ten clients at once are
    // another matter.
    WriteSettings({.port = server.Port(), .passive = true});
    constexpr int kRuns = 10;
    std::vector<std::unique_ptr<TempDir>> projects;
    for (int i = 0; i < kRuns; ++i) {
        projects.push_back(std::make_unique<TempDir>("zandrel-upload-race"));
        fs::copy(fs::path(ZANDREL_SOURCE_DIR) / "examples/Demo", projects.back()->path(),
                 fs::copy_options::recursive);
        fs::remove(*projects.back() / "Demo.zip");
        // Each project has a unit of its own, so every archive differs from the others.
        WriteFile(*projects.back() / "Run.pas", "unit Run; { run " + std::to_string(i) + " }" +
                                                   std::string(static_cast<size_t>(100 * i), ' ') + "\nend.\n");
    }
    std::vector<ProcessResult> results(kRuns);
    std::vector<std::thread> threads;
    for (int i = 0; i < kRuns; ++i)
        threads.emplace_back([&, i] {
            results[i] = RunProcess({ZANDREL_EXE, "--ui=terminal", "upload", *projects[i] / "Demo.prj"},
                                    Environment(), 60);
        });
    for (std::thread& t : threads) t.join();
    std::set<std::string> names;
    for (int i = 0; i < kRuns; ++i) {
        SCOPED_TRACE("run " + std::to_string(i));
        ASSERT_EQ(results[i].exitCode, 0) << results[i].err;
        const std::string address = LastLine(results[i].out);
        ASSERT_EQ(address.rfind(kBaseUrl, 0), 0u) << results[i].out;
        const std::string name = address.substr(kBaseUrl.size());
        names.insert(name);
        EXPECT_EQ(server.ReadFile("uploads/" + name), ReadFile(*projects[i] / "Demo.zip"));
    }
    EXPECT_EQ(names.size(), static_cast<size_t>(kRuns));
    EXPECT_EQ(Names(server.Root() / "uploads"), names); // and no temporary file left
}

// A server that says it renamed the archive but did not: the name never holds this run's
// archive, so no address is given, and the tries end.
TEST_F(UploadCommand, NoAddressForANameThatDoesNotHoldTheArchive) {
    FtpServerOptions options;
    options.rules = {"RNTO reply 250 Rename successful."};
    FtpServer server(options);
    fs::create_directories(server.Root() / "uploads");
    WriteSettings({.port = server.Port()});
    const auto run = Upload();
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_EQ(run.out.find(kBaseUrl), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("another file held the name"), std::string::npos) << run.err;
    EXPECT_EQ(Names(server.Root() / "uploads"), std::set<std::string>{});
}

// A slow login is waited for once: the name is found on the same connection the archive goes
// up on.
TEST_F(UploadCommand, TheCommandLogsInOnce) {
    FtpServerOptions options;
    options.rules = {"PASS delay 1"};
    FtpServer server(options);
    server.WriteFile("uploads/Demo.zip", "there before");
    WriteSettings({.port = server.Port()});
    const auto run = Upload();
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(LastLine(run.out), kBaseUrl + "Demo_1.zip");
    EXPECT_EQ(server.CountCommands("PASS"), 1);
}

// A failed upload puts no address anywhere, says why, and exits 1.
TEST_F(UploadCommand, AFailedUploadGivesNoAddressAndSaysWhy) {
    struct Case {
        const char* what;
        FtpServerOptions options;
        UploadSettings settings;
        bool serverUp;
        const char* stderrHas;
    };
    FtpServerOptions refuseStore;
    refuseStore.rules = {"STOR reply 553 Not allowed to store here."};
    FtpServerOptions fullDisk;
    fullDisk.failTransferEnd = true;
    const Case cases[] = {
        {"wrong password", {}, {.password = "wrong"}, true, "login refused by 127.0.0.1: 530 Authentication failed."},
        {"the server refuses the file", refuseStore, {}, true, "553 Not allowed to store here."},
        {"the server fails the file after the transfer", fullDisk, {}, true, "552"},
        {"no server", {}, {}, false, "cannot connect to 127.0.0.1: Connection refused"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FtpServer server(c.options);
        fs::create_directories(server.Root() / "uploads");
        UploadSettings settings = c.settings;
        settings.port = c.serverUp ? server.Port() : test::UnusedLocalPort();
        if (!c.serverUp) server.Stop();
        WriteSettings(settings);
        fs::remove(Archive());
        const auto run = Upload();
        EXPECT_EQ(run.exitCode, 1) << run.err;
        EXPECT_NE(run.err.find(c.stderrHas), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("he clipboard was left as it was"), std::string::npos) << run.err;
        // Nothing on stdout, so `| tail -n 1` gives no address: the archive itself was made, and
        // is named on stderr.
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find("Wrote " + Archive()), std::string::npos) << run.err;
        if (c.serverUp) {
            EXPECT_EQ(Names(server.Root() / "uploads"), std::set<std::string>{});
        }
    }
}

// The transport setting reaches the upload. Over a secure transport nothing goes to a server that
// speaks plain FTP only: not the user name, not the password, not the archive. "none" is plain FTP
// as before, and a word this version does not know stops the command before it packs anything.
TEST_F(UploadCommand, TheTransportSettingIsHandedToTheUpload) {
    struct Case {
        const char* security;
        int exitCode;
        const char* stderrHas;
        bool packed;
    };
    const Case cases[] = {
        {"none", 0, "its web address is ", true},
        {"ftps", 1, "he clipboard was left as it was", true},
        {"ftps-implicit", 1, "he clipboard was left as it was", true},
        {"sftp", 1, "he clipboard was left as it was", true},
        {"ssh", 1, "the setting \"FTPSecurity\"", false},
    };
    FtpServer server;
    fs::create_directories(server.Root() / "uploads");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.security);
        for (const auto& e : fs::directory_iterator(server.Root() / "uploads")) fs::remove_all(e.path());
        fs::remove(Archive());
        const int usersBefore = server.CountCommands("USER");
        WriteSettings({.port = server.Port(), .security = c.security});
        const auto run = Upload();
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
        EXPECT_NE(run.err.find(c.stderrHas), std::string::npos) << run.err;
        EXPECT_EQ(fs::exists(Archive()), c.packed);
        if (c.exitCode == 0) {
            EXPECT_EQ(run.out, kBaseUrl + "Demo.zip\n");
            continue;
        }
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(server.CountCommands("USER"), usersBefore);
        EXPECT_EQ(Names(server.Root() / "uploads"), std::set<std::string>{});
    }
    EXPECT_EQ(server.CountCommands("PASS"), 1); // the plain FTP upload's alone
    // The word not known is named with the words that are.
    WriteSettings({.port = server.Port(), .security = "ssh"});
    EXPECT_NE(Upload().err.find("holds \"ssh\", which names no transport this version knows; it takes none, ftps, "
                                "ftps-implicit or sftp"),
              std::string::npos);
}

// Ctrl-C while the server holds the transfer: the run stops, nothing is left on the server, no
// address is given, and the status says it was stopped.
TEST_F(UploadCommand, CtrlCStopsTheUpload) {
    FtpServerOptions options;
    options.rules = {"STOR stall"};
    FtpServer server(options);
    fs::create_directories(server.Root() / "uploads");
    WriteSettings({.port = server.Port()});
    ProcessRun run{.argv = {ZANDREL_EXE, "--ui=terminal", "upload", ProjectFile()},
                   .env = Environment(),
                   .signalWhen = [&](const std::string&) { return server.CountCommands("STOR") > 0; },
                   .signal = SIGINT,
                   .timeoutSeconds = 60};
    const auto result = RunProcess(run);
    ASSERT_TRUE(result.signalled);
    EXPECT_EQ(result.exitCode, 130) << result.err;
    EXPECT_NE(result.err.find("stopped"), std::string::npos) << result.err;
    EXPECT_EQ(result.out.find(kBaseUrl), std::string::npos) << result.out;
    EXPECT_EQ(Names(server.Root() / "uploads"), std::set<std::string>{});
}

// The menu's "&&" is its escape for one "&"; the help shows the caption as the menu does.
TEST(UploadHelp, NamesTheCommandAsTheMenuShowsIt) {
    const auto help = RunProcess({ZANDREL_EXE, "--help"});
    EXPECT_NE(help.out.find("\"Zip & Upload Project\""), std::string::npos) << help.out;
    EXPECT_EQ(help.out.find("&&"), std::string::npos) << help.out;
}

// An X server of the test's own: Xvfb picks a free display number and says it when ready.
class VirtualDisplay {
public:
    VirtualDisplay() {
        if (::access("/usr/bin/Xvfb", X_OK) != 0) return;
        int ready[2];
        if (::pipe2(ready, O_CLOEXEC) != 0) return;
        const std::string fd = std::to_string(3);
        char* const argv[] = {const_cast<char*>("/usr/bin/Xvfb"), const_cast<char*>("-displayfd"),
                              const_cast<char*>(fd.c_str()), const_cast<char*>("-nolisten"),
                              const_cast<char*>("tcp"), const_cast<char*>("-screen"), const_cast<char*>("0"),
                              const_cast<char*>("1024x768x24"), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, ready[1], 3);
        const int spawned = ::posix_spawn(&pid_, argv[0], &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(ready[1]);
        if (spawned != 0) {
            pid_ = -1;
            ::close(ready[0]);
            return;
        }
        // The display number and a line end, within 20 s.
        std::string number;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (number.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
            pollfd p{ready[0], POLLIN, 0};
            if (::poll(&p, 1, 200) <= 0) continue;
            char buffer[32];
            const ssize_t n = ::read(ready[0], buffer, sizeof buffer);
            if (n <= 0) break;
            number.append(buffer, static_cast<size_t>(n));
        }
        ::close(ready[0]);
        if (number.find('\n') != std::string::npos) name_ = ":" + number.substr(0, number.find('\n'));
    }
    ~VirtualDisplay() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        int status = 0;
        for (int i = 0; i < 100 && ::waitpid(pid_, &status, WNOHANG) == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (::waitpid(pid_, &status, WNOHANG) == 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
        }
    }
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    // ":N", or empty when the server did not start.
    const std::string& Name() const { return name_; }

private:
    pid_t pid_ = -1;
    std::string name_;
};

// On a desktop the address stays on the clipboard after zandrel has ended, until something else
// is copied.
TEST_F(UploadCommand, OnAnXDisplayTheAddressOutlivesTheProgram) {
    if (::access("/usr/bin/Xvfb", X_OK) != 0) GTEST_SKIP() << "Xvfb is not installed (scripts/install-deps.sh)";
    if (::access("/usr/bin/xclip", X_OK) != 0) GTEST_SKIP() << "xclip is not installed (scripts/install-deps.sh)";
    VirtualDisplay display;
    ASSERT_FALSE(display.Name().empty()) << "Xvfb did not start";
    FtpServer server;
    fs::create_directories(server.Root() / "uploads");
    server.WriteFile("uploads/Demo.zip", "there before");
    WriteSettings({.port = server.Port()});

    auto env = Environment();
    env["DISPLAY"] = display.Name();
    env["QT_QPA_PLATFORM"] = "xcb";
    // Under the sanitizers: libxkbcommon-x11, which Qt's X11 support uses, reads a bounded name
    // that has no terminator with strndup, which strict string checks take for an overflow.
    if (const char* asan = std::getenv("ASAN_OPTIONS"))
        env["ASAN_OPTIONS"] = std::string(asan) + ":strict_string_checks=0";
    const auto run = RunProcess({ZANDREL_EXE, "upload", ProjectFile()}, env, 60);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err.find("no windows"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("its web address is " + kBaseUrl + "Demo_1.zip"), std::string::npos) << run.err;
    EXPECT_EQ(server.ReadFile("uploads/Demo_1.zip"), ReadFile(Archive()));

    // zandrel has ended; the owner it left behind answers (it may need a moment to settle in).
    const std::map<std::string, std::string> xEnv{{"DISPLAY", display.Name()}};
    std::string pasted;
    for (int i = 0; i < 50 && pasted != kBaseUrl + "Demo_1.zip"; ++i) {
        if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        pasted = RunProcess({"/usr/bin/xclip", "-o", "-selection", "clipboard"}, xEnv, 10).out;
    }
    EXPECT_EQ(pasted, kBaseUrl + "Demo_1.zip");

    // Copying something else ends the owner's turn.
    const auto copied =
        RunProcess({"/bin/sh", "-c", "printf other | /usr/bin/xclip -selection clipboard >/dev/null 2>&1"}, xEnv, 10);
    ASSERT_EQ(copied.exitCode, 0) << copied.err;
    for (int i = 0; i < 50 && pasted != "other"; ++i) {
        if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        pasted = RunProcess({"/usr/bin/xclip", "-o", "-selection", "clipboard"}, xEnv, 10).out;
    }
    EXPECT_EQ(pasted, "other");
}

} // namespace
} // namespace zandrel::testing

namespace zandrel::testing {
namespace {

// Over SFTP and over FTPS the command does what it does over FTP: the archive goes up under the
// first free name and its address is printed. An SFTP server whose key nobody can vouch for gets
// nothing, and the message says how to add the key.
TEST_F(UploadCommand, TheArchiveGoesUpOverSftpAndFtpsUnderTheNextFreeName) {
    if (const std::string why = test::SshServer::Unavailable(); !why.empty()) GTEST_SKIP() << why;
    {
        test::SshServer server;
        const fs::path ssh = home_ / ".ssh";
        fs::create_directories(ssh);
        fs::permissions(ssh, fs::perms::owner_all);
        server.Authorize(test::MakeSshKey(ssh / "id_ed25519", ""));
        fs::create_directories(server.Files() / "uploads");
        WriteFile((server.Files() / "uploads/Demo.zip").string(), "an earlier upload");
        WriteSettings({.port = server.Port(), .user = server.User(), .password = "",
                       .folder = (server.Files() / "uploads").string(), .security = "sftp"});

        const auto unknown = Upload();
        EXPECT_EQ(unknown.exitCode, 1) << unknown.err;
        EXPECT_NE(unknown.err.find("ssh-keyscan"), std::string::npos) << unknown.err;
        EXPECT_EQ(Names(server.Files() / "uploads"), std::set<std::string>{"Demo.zip"});

        WriteFile((ssh / "known_hosts").string(), server.KnownHostsLine() + "\n");
        const auto run = Upload();
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.out, kBaseUrl + "Demo_1.zip\n");
        EXPECT_EQ(ReadFile((server.Files() / "uploads/Demo_1.zip").string()), ReadFile(Archive()));
        EXPECT_EQ(ReadFile((server.Files() / "uploads/Demo.zip").string()), "an earlier upload");
    }
    if (const std::string why = test::VsftpdServer::Unavailable(); !why.empty()) GTEST_SKIP() << why;
    for (const std::string security : {"ftps", "ftps-implicit"}) {
        SCOPED_TRACE(security);
        test::VsftpdServer server({.implicitTls = security == "ftps-implicit"});
        trustedCa_ = server.CaFile().string();
        server.WriteFile("uploads/Demo.zip", "an earlier upload");
        WriteSettings({.port = server.Port(), .user = "", .password = "", .security = security});
        const auto run = Upload();
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.out, kBaseUrl + "Demo_1.zip\n");
        EXPECT_EQ(server.ReadFile("uploads/Demo_1.zip"), ReadFile(Archive()));
        EXPECT_EQ(server.ReadFile("uploads/Demo.zip"), "an earlier upload");
    }
}

} // namespace
} // namespace zandrel::testing
