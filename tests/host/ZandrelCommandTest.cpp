// The `zandrel` command driven as a user would: real package, real files, real unzip and 7z.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "shell/ZipDirectory.h"
#include "support/RunProcess.h"

namespace zandrel::testing {
namespace {

namespace fs = std::filesystem;

const std::string kSettingsKey = "[HKEY_CURRENT_USER\\Software\\QuillonSoftware\\FTPUploaderIDEPlugin]";

// A copy of the example project with settings, trash and desktop folders of its own.
class ZandrelCommand : public ::testing::Test {
protected:
    void SetUp() override {
        fs::copy(fs::path(ZANDREL_SOURCE_DIR) / "examples/Demo", project_.path(), fs::copy_options::recursive);
        fs::remove(Archive()); // left there by a run of the example
        SetPatterns("*.PAS;*.DPK;*.DPR;*.RES;*.DFM");
    }

    void SetSettings(const std::string& values) {
        WriteFile(home_ / "config/zandrel/user.reg",
                  "Windows Registry Editor Version 5.00\r\n\r\n" + kSettingsKey + "\r\n" + values + "\r\n");
    }
    void SetPatterns(const std::string& patterns) { SetSettings("\"ZIPFilter\"=\"" + patterns + "\""); }

    std::map<std::string, std::string> Environment() const {
        return {{"XDG_CONFIG_HOME", home_ / "config"},
                {"XDG_DATA_HOME", home_ / "data"},
                {"HOME", home_.path()},
                {"DISPLAY", ""},
                {"WAYLAND_DISPLAY", ""},
                {"DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/zandrel-test-bus"}};
    }

    ProcessResult Run(std::vector<std::string> args, int timeoutSeconds = 120) {
        args.insert(args.begin(), {ZANDREL_EXE, "--ui=terminal"});
        return RunProcess(args, Environment(), timeoutSeconds);
    }

    // Runs `zandrel --ui=terminal ARGS` through a shell that first runs `prelude` (limits, traps)
    // and writes the command's process id to `pidFile`.
    ProcessResult RunThroughShell(const std::string& prelude, const std::vector<std::string>& args,
                                  const std::string& pidFile = "/dev/null") {
        std::string command = prelude + "; echo $$ > '" + pidFile + "'; exec '" + ZANDREL_EXE + "' --ui=terminal";
        for (const auto& a : args) command += " '" + a + "'";
        return RunProcess({"/bin/bash", "-c", command}, Environment());
    }

    std::string ProjectFile() const { return project_ / "Demo.prj"; }
    // What the project folder holds, as "name" or "name/" for folders.
    std::set<std::string> ProjectFolderEntries() const {
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(project_.path()))
            names.insert(e.path().filename().string() + (e.is_directory() && !e.is_symlink() ? "/" : ""));
        return names;
    }
    std::set<std::string> OriginalEntries() const {
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(fs::path(ZANDREL_SOURCE_DIR) / "examples/Demo"))
            names.insert(e.path().filename().string() + (e.is_directory() ? "/" : ""));
        names.insert("Demo.zip");
        return names;
    }
    std::string Archive() const { return project_ / "Demo.zip"; }

    std::set<std::string> ArchiveEntries() {
        const auto listing = RunProcess({"/usr/bin/unzip", "-Z1", Archive()});
        EXPECT_EQ(listing.exitCode, 0) << listing.err;
        std::set<std::string> names;
        std::istringstream lines(listing.out);
        for (std::string line; std::getline(lines, line);) names.insert(line);
        return names;
    }

    void ExpectArchiveSound() {
        const auto unzip = RunProcess({"/usr/bin/unzip", "-t", Archive()});
        EXPECT_EQ(unzip.exitCode, 0) << unzip.out << unzip.err;
        const auto sevenZip = RunProcess({"/usr/bin/7z", "t", Archive()});
        EXPECT_EQ(sevenZip.exitCode, 0) << sevenZip.out << sevenZip.err;
    }

    std::set<std::string> CentralNames() {
        std::set<std::string> names;
        for (const auto& e : shell::testing::ReadCentralDirectory(Archive())) names.insert(e.name);
        return names;
    }

    TempDir home_{"zandrel-home"};
    TempDir project_{"zandrel-project"};
};

std::string RandomText(size_t size, uint64_t seed) {
    static const char* const words[] = {"begin ", "end; ", "procedure ", "TForm1.Click", "(Sender) ", "if ", "then\n"};
    std::mt19937_64 generator(seed);
    std::string text;
    while (text.size() < size) {
        text += words[generator() % 7];
        text += std::to_string(generator() % 100000);
    }
    text.resize(size);
    return text;
}

TEST_F(ZandrelCommand, ZipPacksTheMatchingTopLevelFilesAndCleansUp) {
    const auto run = Run({"zip", ProjectFile()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    // The result alone on stdout; what was done on stderr.
    EXPECT_EQ(run.out, Archive() + "\n");
    EXPECT_NE(run.err.find("Wrote " + Archive()), std::string::npos) << run.err;
    EXPECT_EQ(ArchiveEntries(),
              (std::set<std::string>{".settings.pas", "Demo.dpr", "Demo.res", "main.pas", "Unit1.dfm", "Unit1.pas"}));
    ExpectArchiveSound();
    EXPECT_NE(run.err.find("The archive is " + Archive()), std::string::npos) << run.err;
    // The staged files were the command's own: deleted for good, not put in the trash.
    EXPECT_FALSE(fs::exists(project_ / "Demooutput"));
    EXPECT_FALSE(fs::exists(home_ / "data/Trash"));
    EXPECT_EQ(ProjectFolderEntries(), OriginalEntries());
    // Archived files keep their contents.
    const auto extracted = RunProcess({"/usr/bin/unzip", "-p", Archive(), "main.pas"});
    EXPECT_EQ(extracted.out, ReadFile(project_ / "main.pas"));
}

// Windows come from the Qt module, loaded only for them; the command works the same behind them.
TEST_F(ZandrelCommand, ZipWorksBehindQtWindows) {
    const auto run = RunProcess({ZANDREL_EXE, "--ui=qt", "zip", ProjectFile()},
                                {{"XDG_CONFIG_HOME", home_ / "config"},
                                 {"XDG_DATA_HOME", home_ / "data"},
                                 {"HOME", home_.path()},
                                 {"QT_QPA_PLATFORM", "offscreen"}});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err.find("no windows"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("Wrote " + Archive()), std::string::npos) << run.err;
    EXPECT_EQ(run.out, Archive() + "\n");
    ExpectArchiveSound();
}

// A display that is named but cannot be reached (a DISPLAY left over from an ssh login) would make
// Qt end the process; the host notices first and runs in the terminal.
TEST_F(ZandrelCommand, AnUnreachableDisplayFallsBackToTheTerminal) {
    const auto run = RunProcess({ZANDREL_EXE, "--ui=auto", "zip", ProjectFile()},
                                {{"XDG_CONFIG_HOME", home_ / "config"},
                                 {"XDG_DATA_HOME", home_ / "data"},
                                 {"HOME", home_.path()},
                                 {"DISPLAY", ":4711"},
                                 {"WAYLAND_DISPLAY", ""},
                                 {"QT_QPA_PLATFORM", ""}}); // the desktop's own platform, not offscreen
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("zandrel: no windows (the display cannot be opened); using the terminal"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("Wrote " + Archive()), std::string::npos) << run.err;
}

TEST_F(ZandrelCommand, SecondRunReplacesTheArchive) {
    ASSERT_EQ(Run({"zip", ProjectFile()}).exitCode, 0);
    fs::remove(project_ / "Unit1.dfm");
    chmod(Archive().c_str(), 0640); // the new archive keeps the old one's permissions
    const auto again = Run({"zip", ProjectFile()});
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_NE(again.err.find("Replaced " + Archive()), std::string::npos) << again.err;
    EXPECT_FALSE(ArchiveEntries().count("Unit1.dfm"));
    EXPECT_EQ(fs::status(Archive()).permissions() & fs::perms::all, fs::perms(0640));
    ExpectArchiveSound();
}

TEST_F(ZandrelCommand, APatternMatchingTheArchiveTakesThePreviousOneIn) {
    SetPatterns("*.*");
    ASSERT_EQ(Run({"zip", ProjectFile()}).exitCode, 0);
    EXPECT_FALSE(ArchiveEntries().count("Demo.zip"));
    EXPECT_TRUE(ArchiveEntries().count("notes.txt"));
    EXPECT_FALSE(ArchiveEntries().count("lib/Helpers.pas"));
    ASSERT_EQ(Run({"zip", ProjectFile()}).exitCode, 0);
    EXPECT_TRUE(ArchiveEntries().count("Demo.zip"));
    ExpectArchiveSound();
}

TEST_F(ZandrelCommand, PatternsMatchWithoutRegardToCaseAndQuotesGroup) {
    SetPatterns("MAIN.PAS; \\\"unit1.*\\\" ;;");
    ASSERT_EQ(Run({"zip", ProjectFile()}).exitCode, 0);
    EXPECT_EQ(ArchiveEntries(), (std::set<std::string>{"main.pas", "Unit1.dfm", "Unit1.pas"}));
}

// Without patterns there is nothing to pack: the command says so and how to set them, and an
// archive from before stays as it was.
TEST_F(ZandrelCommand, NoPatternsSayHowToSetThemAndWriteNothing) {
    for (const char* values : {"", "\"ZIPFilter\"=\" ; ;\""}) {
        SetSettings(values);
        const auto run = Run({"zip", ProjectFile()});
        EXPECT_EQ(run.exitCode, 1) << values;
        EXPECT_NE(run.err.find("no file patterns are set"), std::string::npos) << run.err;
        // The command that sets them comes first; the file they live in is named after it.
        const size_t command = run.err.find("zandrel options --set filters=");
        EXPECT_NE(command, std::string::npos) << run.err;
        EXPECT_GT(run.err.find("\"ZIPFilter\" in " + (home_ / "config/zandrel/user.reg")), command) << run.err;
        EXPECT_FALSE(fs::exists(Archive()));
    }
    WriteFile(Archive(), "an archive from before");
    EXPECT_EQ(Run({"zip", ProjectFile()}).exitCode, 1);
    EXPECT_EQ(ReadFile(Archive()), "an archive from before");
}

// Without a terminal no one can fill in the options form: one line says what is missing and how
// to set it, instead of the whole form.
TEST_F(ZandrelCommand, UploadWithoutHostAsksForSettingsAndWritesNothing) {
    const auto run = Run({"upload", ProjectFile()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("upload settings: no FTP host is set"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("zandrel options --set host="), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("FTP Options"), std::string::npos) << run.err;
    // One line, besides any warning about the settings file.
    std::istringstream err(run.err);
    size_t lines = 0;
    for (std::string line; std::getline(err, line);) lines += line.rfind("zandrel: warning:", 0) != 0;
    EXPECT_EQ(lines, 1u) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_FALSE(fs::exists(Archive()));
    EXPECT_FALSE(fs::exists(project_ / "Demooutput"));
}

// A host stored with its port, from before such values were refused, is named before any
// packing, not looked up as a name after it.
TEST_F(ZandrelCommand, UploadWithAHostHoldingAPortSaysWhatToChange) {
    SetSettings("\"FTPHost\"=\"127.0.0.1:9121\"");
    const auto run = Run({"upload", ProjectFile()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("holds a port; give the host (127.0.0.1) and the port (9121)"), std::string::npos)
        << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_FALSE(fs::exists(Archive()));
}

TEST_F(ZandrelCommand, AProjectThatCannotBeSavedIsNotPacked) {
    chmod(ProjectFile().c_str(), 0444);
    const auto run = Run({"zip", ProjectFile()});
    EXPECT_EQ(run.exitCode, 1);
    // And why: the project could not be saved first.
    EXPECT_NE(run.err.find("nothing was written: cannot save the project \"" + ProjectFile() +
                           "\": it is read-only (mode 0444)"),
              std::string::npos)
        << run.err;
    EXPECT_FALSE(fs::exists(Archive()));
}

TEST_F(ZandrelCommand, MenuListsTheThreeCommandsAndTheWizard) {
    const auto menu = Run({"menu", ProjectFile()});
    ASSERT_EQ(menu.exitCode, 0) << menu.err;
    EXPECT_EQ(menu.out, "Zip Project\nZip & Upload Project\nZip & Email Project\n");
    const auto wizards = Run({"wizards"});
    EXPECT_EQ(wizards.out, "Zandrel Options\n");
}

struct UsageCase {
    std::vector<std::string> args;
    int exitCode;
    const char* stdoutHas;
    const char* stderrHas;
};

TEST_F(ZandrelCommand, CommandLineFollowsConventions) {
    const UsageCase cases[] = {
        {{"--help"}, 0, "Usage: zandrel", ""},
        {{"--version"}, 0, "zandrel ", ""},
        {{}, 2, "", "no command given"},
        {{"--bogus"}, 2, "", "unknown option '--bogus'"},
        {{"--ui=x11", "menu", "x"}, 2, "", "--ui takes auto, qt or terminal"},
        {{"frobnicate"}, 2, "", "unknown command 'frobnicate'"},
        {{"zip"}, 2, "", "'zip' takes PROJECT"},
        {{"zip", ""}, 2, "", "'zip' needs a PROJECT file name, not an empty one"},
        {{"menu", ""}, 2, "", "'menu' needs a PROJECT file name"},
        {{"zip", "/nonexistent/Demo.prj"}, 1, "", "project file not found"},
        {{"run", "@PROJECT@", "Zip Everything"}, 2, "", "has no command 'Zip Everything'"},
        {{"--package=/nonexistent.so", "wizards"}, 1, "", "cannot load package"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args;
        for (const auto& a : c.args) args.push_back(a == "@PROJECT@" ? ProjectFile() : a);
        const auto run = Run(args);
        std::string shown;
        for (const auto& a : c.args) shown += a + " ";
        EXPECT_EQ(run.exitCode, c.exitCode) << shown << run.err;
        EXPECT_NE(run.out.find(c.stdoutHas), std::string::npos) << shown << run.out;
        EXPECT_NE(run.err.find(c.stderrHas), std::string::npos) << shown << run.err;
    }
}

// Entries that are not plain files, links in the command's way, files that cannot be read, and
// folders of the staging folder's name: each is passed over, refused, or named, and nothing hangs
// or is written outside the project folder.
TEST_F(ZandrelCommand, OddEntriesNeitherHangNorLeadOutsideTheProject) {
    TempDir outside("zandrel-outside");
    const std::set<std::string> usual = {".settings.pas", "Demo.dpr", "Demo.res", "main.pas", "Unit1.dfm", "Unit1.pas"};
    struct Case {
        const char* what;
        std::function<void()> setUp;
        int exitCode;
        const char* stderrHas;
        std::function<void()> check;
    };
    const Case cases[] = {
        {"a pipe matching a pattern",
         [&] { ASSERT_EQ(mkfifo((project_ / "waiting.pas").c_str(), 0644), 0); }, 0, "",
         [&] { EXPECT_EQ(CentralNames(), usual); }},
        {"a pipe named like the archive",
         [&] { ASSERT_EQ(mkfifo(Archive().c_str(), 0644), 0); }, 1, "is not a regular file",
         [&] { EXPECT_EQ(fs::status(Archive()).type(), fs::file_type::fifo); }},
        {"a link named like the archive",
         [&] { fs::create_symlink(outside / "Stolen.zip", Archive()); }, 1, "is a symbolic link",
         [&] {
             EXPECT_FALSE(fs::exists(outside / "Stolen.zip"));
             EXPECT_TRUE(fs::is_symlink(Archive()));
         }},
        {"a link named like the staging folder",
         [&] { fs::create_symlink(outside.path(), project_ / "Demooutput"); }, 0, "",
         [&] {
             EXPECT_TRUE(fs::is_empty(outside.path()));
             EXPECT_TRUE(fs::is_symlink(project_ / "Demooutput"));
             EXPECT_EQ(CentralNames(), usual);
         }},
        {"a file named like the staging folder",
         [&] { WriteFile(project_ / "Demooutput", "a file of that name"); }, 0, "",
         [&] {
             EXPECT_EQ(ReadFile(project_ / "Demooutput"), "a file of that name");
             EXPECT_EQ(CentralNames(), usual);
         }},
        {"a staging folder of the user's own",
         [&] { WriteFile(project_ / "Demooutput/keep.pas", "the user's own"); }, 0, "",
         [&] {
             EXPECT_EQ(ReadFile(project_ / "Demooutput/keep.pas"), "the user's own");
             EXPECT_EQ(fs::directory_iterator(project_ / "Demooutput")->path().filename(), "keep.pas");
             EXPECT_EQ(CentralNames(), usual);
         }},
        {"a link to a file inside the project",
         [&] { fs::create_symlink("main.pas", project_ / "alias.pas"); }, 0, "",
         [&] {
             EXPECT_TRUE(CentralNames().count("alias.pas"));
             EXPECT_EQ(RunProcess({"/usr/bin/unzip", "-p", Archive(), "alias.pas"}).out, ReadFile(project_ / "main.pas"));
             EXPECT_TRUE(fs::is_symlink(project_ / "alias.pas"));
         }},
        {"a file that cannot be read",
         [&] { fs::create_symlink("/proc/self/mem", project_ / "memory.pas"); }, 1,
         "memory.pas\" is not in the archive: Input/output error",
         [&] { EXPECT_EQ(CentralNames(), usual); }},
        {"a link to nothing",
         [&] { fs::create_symlink("gone.pas", project_ / "dangling.pas"); }, 1,
         "dangling.pas\" is not in the archive: No such file or directory",
         [&] { EXPECT_EQ(CentralNames(), usual); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        c.setUp();
        const auto run = Run({"zip", ProjectFile()}, 30);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
        EXPECT_NE(run.err.find(c.stderrHas), std::string::npos) << run.err;
        c.check();
        if (c.exitCode == 0 || fs::is_regular_file(fs::symlink_status(Archive()))) ExpectArchiveSound();
        // Nothing of the command's own work is left behind.
        for (const auto& e : fs::directory_iterator(project_.path()))
            EXPECT_NE(e.path().filename().string().rfind(".zandrel-", 0), 0u) << e.path();
        // Back to the example as it was, for the next case.
        for (const char* name : {"waiting.pas", "Demo.zip", "Demooutput", "alias.pas", "memory.pas", "dangling.pas"})
            fs::remove_all(project_ / name);
    }
}

// Names in any encoding the file system allows, control characters included, go in byte for byte.
TEST_F(ZandrelCommand, NamesThatAreNotUtf8AreStoredAsTheyAre) {
    const std::string latin1 = "caf\xE9.pas", control = "tab\tand\x01.pas";
    WriteFile(project_ / latin1, "latin-1");
    WriteFile(project_ / control, "control");
    const auto run = Run({"zip", ProjectFile()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto names = CentralNames();
    EXPECT_TRUE(names.count(latin1));
    EXPECT_TRUE(names.count(control));
    EXPECT_EQ(names.size(), 8u);
    ExpectArchiveSound();
}

// Patterns match as the desktop platform's file search does.
TEST_F(ZandrelCommand, PatternsFollowTheDesktopFileSearch) {
    WriteFile(project_ / "a.pas", "a");
    WriteFile(project_ / "Makefile", "all:");
    SetPatterns("A?.PAS;*.");
    ASSERT_EQ(Run({"zip", ProjectFile()}).exitCode, 0);
    EXPECT_EQ(CentralNames(), (std::set<std::string>{"a.pas", "Makefile"}));
}

// The archive cannot be written whole (files may not grow past 64 KB): the old one stays, the
// message says why, and nothing of the attempt is left.
TEST_F(ZandrelCommand, AFailedWriteKeepsTheOldArchiveAndSaysWhy) {
    WriteFile(Archive(), "the archive from before");
    WriteFile(project_ / "big.res", RandomText(1 << 20, 1));
    const auto before = ProjectFolderEntries();
    const auto run = RunThroughShell("ulimit -f 64", {"zip", ProjectFile()});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_NE(run.err.find("File too large"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("the previous archive was left as it was"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("Replaced"), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "") << "a failed run has no result";
    EXPECT_EQ(ReadFile(Archive()), "the archive from before");
    EXPECT_EQ(ProjectFolderEntries(), before);
}

// A project on a file system mounted read-only, where the system allows mounting one: the
// project cannot be saved, so nothing is packed, and the message says so and why.
TEST_F(ZandrelCommand, AProjectOnAReadOnlyFileSystemSaysWhyNothingWasWritten) {
    TempDir mountPoint("zandrel-read-only");
    if (mount("tmpfs", mountPoint.path().c_str(), "tmpfs", 0, "size=1m") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    const std::string project = mountPoint / "Demo";
    fs::create_directories(project);
    WriteFile(project + "/Demo.prj", "p");
    WriteFile(project + "/main.pas", "program Demo;");
    const bool readOnly =
        mount(nullptr, mountPoint.path().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    const auto run = readOnly ? Run({"zip", project + "/Demo.prj"}) : ProcessResult{};
    umount2(mountPoint.path().c_str(), MNT_DETACH);
    if (!readOnly) GTEST_SKIP() << "cannot make the tmpfs read-only";
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_NE(run.err.find("nothing was written: cannot save the project \"" + project +
                           "/Demo.prj\": Read-only file system"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(run.out, "");
}

// A file too large to be read whole ahead of the archive (libzip streams it) that someone keeps
// writing to while it is packed: the run fails, names the file as the person knows it, and the
// old archive stays. A file of mixed old and new bytes never goes into an archive.
TEST_F(ZandrelCommand, ALargeFileWrittenToWhileItIsPackedFailsTheRunAndKeepsTheOldArchive) {
    WriteFile(Archive(), "the archive from before");
    const std::string big = project_ / "big.res";
    WriteFile(big, RandomText(40u << 20, 7));
    std::atomic<bool> done{false};
    std::thread writer([&] {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        for (uint64_t n = 0; !done && std::chrono::steady_clock::now() < until; ++n) {
            if (FILE* f = std::fopen(big.c_str(), "r+b")) {
                std::fseek(f, static_cast<long>(n % 40) << 20, SEEK_SET);
                std::fputs("changed ", f);
                std::fclose(f);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    const auto run = Run({"zip", ProjectFile()});
    done = true;
    writer.join();
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_NE(run.err.find("\"" + big + "\" changed while it was being packed"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("the previous archive was left as it was"), std::string::npos) << run.err;
    EXPECT_EQ(ReadFile(Archive()), "the archive from before");
    EXPECT_EQ(run.out, "");
    EXPECT_FALSE(fs::exists(project_ / "Demooutput"));
}

// Another file of the folder saved meanwhile (an editor's) is reported on stderr with what
// changed, but the result on stdout is the archive alone.
TEST_F(ZandrelCommand, TheResultIsTheArchiveEvenWhenAnotherFileChangesMeanwhile) {
    WriteFile(project_ / "big.res", RandomText(40u << 20, 8)); // packing takes a moment
    const std::string notes = project_ / "notes.txt";
    std::atomic<bool> done{false};
    std::thread editor([&] {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        for (int n = 0; !done && std::chrono::steady_clock::now() < until; ++n) {
            WriteFile(notes, "edit " + std::to_string(n));
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    const auto run = Run({"zip", ProjectFile()});
    done = true;
    editor.join();
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, Archive() + "\n");
    EXPECT_NE(run.err.find(notes), std::string::npos) << run.err;
}

// A real full disk: a small tmpfs, where the system allows mounting one.
TEST_F(ZandrelCommand, AFullDiskFailsCleanly) {
    TempDir mountPoint("zandrel-small-disk");
    if (mount("tmpfs", mountPoint.path().c_str(), "tmpfs", 0, "size=1m") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here: " << std::strerror(errno);
    const std::string project = mountPoint / "Demo";
    fs::create_directories(project);
    WriteFile(project + "/Demo.prj", "p");
    WriteFile(project + "/Demo.zip", "the archive from before");
    // Random bytes do not shrink: the new archive needs as much room as the file itself.
    {
        std::mt19937_64 generator(3);
        std::string bytes(600000, '\0');
        for (char& b : bytes) b = static_cast<char>(generator());
        WriteFile(project + "/noise.res", bytes);
    }
    std::set<std::string> before;
    for (const auto& e : fs::directory_iterator(project)) before.insert(e.path().filename());
    const auto run = Run({"zip", project + "/Demo.prj"});
    std::set<std::string> after;
    for (const auto& e : fs::directory_iterator(project)) after.insert(e.path().filename());
    const std::string archive = ReadFile(project + "/Demo.zip");
    umount2(mountPoint.path().c_str(), MNT_DETACH);
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_NE(run.err.find("No space left on device"), std::string::npos) << run.err;
    EXPECT_EQ(archive, "the archive from before");
    EXPECT_EQ(after, before);
}

// In the terminal the folder is not opened: the command says where the archive is.
TEST_F(ZandrelCommand, TheTerminalTellsWhereTheArchiveIsInsteadOfOpeningAFileManager) {
    const std::string marker = home_ / "opened.txt";
    WriteFile(home_ / "opener.sh", "#!/bin/sh\necho \"$@\" >> '" + marker + "'\n");
    chmod((home_ / "opener.sh").c_str(), 0755);
    WriteFile(home_ / "data/applications/zandrel-test-open.desktop",
              "[Desktop Entry]\nType=Application\nName=Opener\nExec=" + (home_ / "opener.sh") +
                  " %u\nMimeType=inode/directory;\n");
    WriteFile(home_ / "config/mimeapps.list", "[Default Applications]\ninode/directory=zandrel-test-open.desktop\n");
    for (const char* display : {"", ":4711"}) {
        auto env = Environment();
        env["DISPLAY"] = display;
        const auto run = RunProcess({ZANDREL_EXE, "--ui=terminal", "zip", ProjectFile()}, env);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_NE(run.err.find("The archive is " + Archive()), std::string::npos) << run.err;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500)); // a launched opener would have written by now
    EXPECT_FALSE(fs::exists(marker)) << ReadFile(marker);
}

// Ctrl-C while packing: the command stops, removes what it made, keeps the old archive, exits 130.
TEST_F(ZandrelCommand, CtrlCStopsPackingAndKeepsTheOldArchive) {
    WriteFile(Archive(), "the archive from before");
    for (int i = 0; i < 24; ++i) WriteFile(project_ / ("part" + std::to_string(i) + ".pas"), RandomText(2 << 20, 10 + i));
    const auto before = ProjectFolderEntries();
    const std::string pidFile = home_ / "pid";
    ProcessResult run;
    std::thread command([&] { run = RunThroughShell("true", {"zip", ProjectFile()}, pidFile); });
    // Once the new archive has been started beside the old one, packing is under way. A loaded
    // machine running the sanitizer build may take many seconds to get there.
    bool packing = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
    while (!packing && std::chrono::steady_clock::now() < deadline) {
        if (fs::exists(pidFile))
            for (const auto& e : fs::directory_iterator(project_.path()))
                packing = packing || e.path().filename().string().rfind(".zandrel-", 0) == 0;
        if (!packing) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (packing) kill(std::stoi(ReadFile(pidFile)), SIGINT);
    command.join();
    ASSERT_TRUE(packing) << "packing never began: " << run.err;
    EXPECT_EQ(run.exitCode, 130) << run.err;
    EXPECT_NE(run.err.find("stopped"), std::string::npos) << run.err;
    EXPECT_EQ(ReadFile(Archive()), "the archive from before");
    EXPECT_EQ(ProjectFolderEntries(), before);
}

// Two runs on one project at the same time each stage in a folder of their own.
TEST_F(ZandrelCommand, TwoRunsAtOnceDoNotShareAStagingFolder) {
    for (int i = 0; i < 40; ++i) WriteFile(project_ / ("unit" + std::to_string(i) + ".pas"), RandomText(50000, 100 + i));
    ProcessResult first, second;
    std::thread a([&] { first = Run({"zip", ProjectFile()}); });
    std::thread b([&] { second = Run({"zip", ProjectFile()}); });
    a.join();
    b.join();
    EXPECT_EQ(first.exitCode, 0) << first.err;
    EXPECT_EQ(second.exitCode, 0) << second.err;
    EXPECT_EQ(CentralNames().size(), 46u);
    ExpectArchiveSound();
    EXPECT_EQ(ProjectFolderEntries().size(), OriginalEntries().size() + 40);
}

} // namespace
} // namespace zandrel::testing
