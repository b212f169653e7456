// The `zandrel` command driven as a user would: real package, real files, real unzip and 7z.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <sstream>

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

    ProcessResult Run(std::vector<std::string> args) {
        args.insert(args.begin(), {ZANDREL_EXE, "--ui=terminal"});
        return RunProcess(args, {{"XDG_CONFIG_HOME", home_ / "config"},
                                 {"XDG_DATA_HOME", home_ / "data"},
                                 {"HOME", home_.path()},
                                 {"DISPLAY", ""},
                                 {"WAYLAND_DISPLAY", ""}});
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

    TempDir home_{"zandrel-home"};
    TempDir project_{"zandrel-project"};
};

TEST_F(ZandrelCommand, ZipPacksTheMatchingTopLevelFilesAndCleansUp) {
    const auto run = Run({"zip", ProjectFile()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("Wrote " + Archive()), std::string::npos) << run.out;
    EXPECT_EQ(ArchiveEntries(),
              (std::set<std::string>{".settings.pas", "Demo.dpr", "Demo.res", "main.pas", "Unit1.dfm", "Unit1.pas"}));
    ExpectArchiveSound();
    EXPECT_NE(run.out.find("The archive is " + Archive()), std::string::npos) << run.out;
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
    EXPECT_NE(run.out.find("Wrote " + Archive()), std::string::npos) << run.out;
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
    EXPECT_NE(run.out.find("Wrote " + Archive()), std::string::npos) << run.out;
}

TEST_F(ZandrelCommand, SecondRunReplacesTheArchive) {
    ASSERT_EQ(Run({"zip", ProjectFile()}).exitCode, 0);
    fs::remove(project_ / "Unit1.dfm");
    const auto again = Run({"zip", ProjectFile()});
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_NE(again.out.find("Replaced " + Archive()), std::string::npos) << again.out;
    EXPECT_FALSE(ArchiveEntries().count("Unit1.dfm"));
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
        EXPECT_NE(run.err.find("\"ZIPFilter\" in " + (home_ / "config/zandrel/user.reg")), std::string::npos) << run.err;
        EXPECT_FALSE(fs::exists(Archive()));
    }
    WriteFile(Archive(), "an archive from before");
    EXPECT_EQ(Run({"zip", ProjectFile()}).exitCode, 1);
    EXPECT_EQ(ReadFile(Archive()), "an archive from before");
}

TEST_F(ZandrelCommand, UploadWithoutHostAsksForSettingsAndWritesNothing) {
    const auto run = Run({"upload", ProjectFile()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("upload settings"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(Archive()));
    EXPECT_FALSE(fs::exists(project_ / "Demooutput"));
}

TEST_F(ZandrelCommand, AProjectThatCannotBeSavedIsNotPacked) {
    chmod(ProjectFile().c_str(), 0444);
    const auto run = Run({"zip", ProjectFile()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("nothing was written"), std::string::npos) << run.err;
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

} // namespace
} // namespace zandrel::testing
