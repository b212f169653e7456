// The store never loses or corrupts data: private file, atomic replacement, concurrent writers
// from several processes, and damaged files left exactly as they are.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <set>

#include "platform/registry/RegFileFormat.h"
#include "platform/registry/Registry.h"
#include "registry/UserStoreFixture.h"

namespace zandrel::registry {
namespace {

using testing::kSettingsKey;
using zandrel::testing::ReadFile;
using zandrel::testing::WriteFile;
using StoreSafety = testing::UserStoreTest;

std::set<std::string> FolderEntries(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.insert(entry.path().filename());
    return names;
}

mode_t Mode(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

TEST_F(StoreSafety, TheFileIsPrivateAndNoTemporaryFileStays) {
    TRegistry reg;
    reg.OpenKey(kSettingsKey, true);
    reg.WriteString("FTPpwd", "secret");
    // A file the user made readable by others becomes private again at the next save.
    ::chmod(StorePath().c_str(), 0644);
    reg.WriteString("FTPpwd", "secret2");

    EXPECT_EQ(Mode(StoreFolder()), 0700u);
    EXPECT_EQ(Mode(StorePath()), 0600u);
    EXPECT_EQ(FolderEntries(StoreFolder()), (std::set<std::string>{"user.reg", "user.reg.lock"}));
}

TEST_F(StoreSafety, AStoreKeptBehindASymbolicLinkIsSavedThroughIt) {
    const std::string realFolder = ConfigHome() + "/dotfiles";
    std::filesystem::create_directories(realFolder);
    std::filesystem::create_directories(StoreFolder());
    WriteFile(realFolder + "/user.reg", "Windows Registry Editor Version 5.00\n\n");
    std::filesystem::create_symlink(realFolder + "/user.reg", StorePath());

    TRegistry reg;
    reg.OpenKey(kSettingsKey, true);
    reg.WriteString("FTPHost", "h");

    EXPECT_TRUE(std::filesystem::is_symlink(StorePath()));
    EXPECT_NE(ReadFile(realFolder + "/user.reg").find("\"FTPHost\"=\"h\""), std::string::npos);
    EXPECT_EQ(Mode(realFolder + "/user.reg"), 0600u);
    EXPECT_EQ(FolderEntries(realFolder), std::set<std::string>{"user.reg"});
}

TEST_F(StoreSafety, TheStoreFollowsXdgConfigHomeOrFallsBackToHome) {
    EXPECT_EQ(UserHivePath(), ConfigHome() + "/zandrel/user.reg");
    const std::string oldHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    setenv("HOME", "/home/someone", 1);
    for (const char* config : {"", "relative/path"}) {
        setenv("XDG_CONFIG_HOME", config, 1);
        EXPECT_EQ(UserHivePath(), "/home/someone/.config/zandrel/user.reg") << config;
    }
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(UserHivePath(), "/home/someone/.config/zandrel/user.reg");
    setenv("HOME", oldHome.c_str(), 1);
}

// Each damaged file is refused with its name, the line at fault, what is wrong there and how to
// mend it, and a later write attempt leaves every byte of it as it was.
TEST_F(StoreSafety, ADamagedFileIsReportedAndNeverOverwritten) {
    const std::string head = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Quillon"
                             "Software\\FTPUploaderIDEPlugin]\n";
    struct Case {
        const char* what;
        std::string text;
        size_t line;
    } cases[] = {
        {"wrong header", "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software]\n", 1},
        {"unterminated string", head + "\"FTPHost\"=\"ftp.example.com\n", 4},
        {"bad dword", head + "\"FTPPort\"=dword:12345678Z\n", 4},
        {"bad hex byte", head + "\"FTPpwd\"=hex(1):41,0g\n", 4},
        {"hex continued past the end", head + "\"FTPpwd\"=hex(1):41,00,\\\n", 4},
        {"value deletion", head + "\"FTPHost\"=-\n", 4},
        {"key deletion", head + "\n[-HKEY_CURRENT_USER\\Software\\X]\n", 5},
        {"other root", head + "\n[HKEY_LOCAL_MACHINE\\Software]\n", 5},
        {"value before any key", "Windows Registry Editor Version 5.00\n\n\"A\"=\"b\"\n", 3},
        {"stray text", head + "\"A\"=\"b\"\ngarbage\n", 5},
        {"malformed UTF-8", head + "\"A\"=\"\xC3\x28\"\n", 4},
        {"truncated line", head + "\"FTPHo", 4},
        {"NUL in a key path", head + "\n[HKEY_CURRENT_USER\\Software\\A" + std::string(1, '\0') + "B]\n", 5},
    };
    std::filesystem::create_directories(StoreFolder());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFile(StorePath(), c.text);
        TRegistry reg;
        try {
            reg.OpenKey(kSettingsKey, true);
            FAIL() << "accepted a damaged file";
        } catch (const FormatError& e) {
            EXPECT_EQ(e.fileName(), StorePath());
            EXPECT_EQ(e.line(), c.line) << e.what();
            const std::string message = e.what();
            EXPECT_NE(message.find("'" + StorePath() + "' is damaged at line " + std::to_string(c.line) + ": " +
                                   e.problem()),
                      std::string::npos)
                << message;
            EXPECT_FALSE(e.problem().empty());
            EXPECT_NE(message.find("Correct that line"), std::string::npos) << message;
            EXPECT_NE(message.find("move the file away"), std::string::npos) << message;
        }
        EXPECT_THROW(reg.WriteString("FTPHost", "x"), FormatError);
        EXPECT_THROW(reg.ValueExists("FTPHost"), FormatError);
        EXPECT_EQ(ReadFile(StorePath()), c.text);
    }
}

// Something else in the file's place is refused at once, without waiting on it or reading it whole,
// and is left where it is.
TEST_F(StoreSafety, SomethingOtherThanAFileInItsPlaceIsRefused) {
    struct Case {
        const char* what;
        std::function<void(const std::string&)> make;
        const char* says;
    } cases[] = {
        {"FIFO", [](const std::string& path) { ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); }, "is not a regular file"},
        {"folder", [](const std::string& path) { std::filesystem::create_directory(path); }, "is not a regular file"},
        {"huge file", [](const std::string& path) { WriteFile(path, ""); std::filesystem::resize_file(path, 1ull << 30); },
         "is 1073741824 bytes long, far more than settings take"},
    };
    std::filesystem::create_directories(StoreFolder());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(StorePath());
        c.make(StorePath());
        TRegistry reg;
        for (const bool canCreate : {false, true}) {
            try {
                reg.OpenKey(kSettingsKey, canCreate);
                FAIL() << "opened";
            } catch (const Error& e) {
                const std::string message = e.what();
                EXPECT_NE(message.find("'" + StorePath() + "' " + c.says), std::string::npos) << message;
                EXPECT_NE(message.find("Move it away"), std::string::npos) << message;
            }
        }
        EXPECT_THROW(reg.WriteString("FTPHost", "x"), Error);
        EXPECT_TRUE(std::filesystem::exists(std::filesystem::symlink_status(StorePath())));
    }
    std::filesystem::remove_all(StorePath());
}

TEST_F(StoreSafety, AnEmptyFileIsAnEmptyStore) {
    std::filesystem::create_directories(StoreFolder());
    WriteFile(StorePath(), "");
    TRegistry reg;
    EXPECT_FALSE(reg.OpenKey(kSettingsKey, false));
    ASSERT_TRUE(reg.OpenKey(kSettingsKey, true));
    reg.WriteString("A", "b");
    EXPECT_EQ(reg.ReadString("A"), "b");
}

// Two writer processes save different values (and one shared value) many times at once while a
// third keeps reading: every value survives and no reader ever meets a damaged file.
TEST_F(StoreSafety, ConcurrentProcessesLoseNothing) {
    constexpr int kValuesPerWriter = 40;
    constexpr int kReads = 300;
    {
        TRegistry reg;
        reg.OpenKey(kSettingsKey, true);
    }
    auto spawn = [](auto body) {
        const pid_t pid = fork();
        if (pid == 0) {
            int code = 0;
            try {
                code = body();
            } catch (...) {
                code = 3;
            }
            _exit(code);
        }
        return pid;
    };
    std::vector<pid_t> children;
    for (const char* writer : {"A", "B"}) {
        children.push_back(spawn([writer] {
            TRegistry reg;
            if (!reg.OpenKey(kSettingsKey, false)) return 1;
            for (int i = 0; i < kValuesPerWriter; ++i) {
                reg.WriteString(std::string(writer) + std::to_string(i), std::string(writer) + " value " + std::to_string(i));
                reg.WriteInteger(std::string("Shared"), i);
            }
            return 0;
        }));
    }
    children.push_back(spawn([] {
        TRegistry reg;
        for (int i = 0; i < kReads; ++i) {
            if (!reg.OpenKey(kSettingsKey, false)) return 1;
            reg.GetValueNames(); // throws if a half-written file were ever seen
        }
        return 0;
    }));
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
    }

    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kSettingsKey, false));
    for (const char* writer : {"A", "B"})
        for (int i = 0; i < kValuesPerWriter; ++i)
            EXPECT_EQ(reg.ReadString(std::string(writer) + std::to_string(i)),
                      std::string(writer) + " value " + std::to_string(i));
    EXPECT_EQ(reg.ReadInteger("Shared"), kValuesPerWriter - 1);
    EXPECT_EQ(reg.GetValueNames().size(), 2u * kValuesPerWriter + 1);
    EXPECT_EQ(FolderEntries(StoreFolder()), (std::set<std::string>{"user.reg", "user.reg.lock"}));
}

} // namespace
} // namespace zandrel::registry
