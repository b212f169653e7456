// Who may read and write the store: reading works where nothing can be written, a write that
// cannot be saved says why, a read-only file is never replaced behind the user's back, and a file
// other users can open is pointed out.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>

#include "platform/registry/Registry.h"
#include "registry/ReadOnlyFolder.h"
#include "registry/UserStoreFixture.h"

namespace zandrel::registry {
namespace {

using testing::kSettingsKey;
using testing::ReadOnlyFolder;
using zandrel::testing::ReadFile;
using zandrel::testing::WriteFile;
using StoreAccess = testing::UserStoreTest;

const std::string kStoredSettings = "Windows Registry Editor Version 5.00\n\n"
                                    "[HKEY_CURRENT_USER\\Software\\QuillonSoftware\\FTPUploaderIDEPlugin]\n"
                                    "\"FTPHost\"=\"ftp.example.org\"\n"
                                    "\"FTPPort\"=dword:00000015\n\n";

mode_t Mode(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

size_t Occurrences(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

// In each case nothing in the settings' place can be written. The key opens with creation allowed
// and reads as stored (or empty), a write that changes nothing succeeds, and a real write fails
// with a WriteError that names the place and leaves everything as it was.
TEST_F(StoreAccess, ReadingWorksWhereNothingCanBeWritten) {
    struct Case {
        const char* what;
        std::string fileText;    // "" : no file (and, with noStoreFolder, no folder either)
        bool noStoreFolder;      // the config folder itself is the read-only one
        std::string hostRead;    // FTPHost as read, "" when absent
    } cases[] = {
        {"the store folder holds the settings", kStoredSettings, false, "ftp.example.org"},
        {"the store folder holds a file without the key",
         "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Other]\n\"A\"=\"b\"\n", false, ""},
        {"the store folder is empty", "", false, ""},
        {"there is no store folder", "", true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(StoreFolder());
        if (!c.noStoreFolder) std::filesystem::create_directories(StoreFolder());
        if (!c.fileText.empty()) WriteFile(StorePath(), c.fileText);
        ::chmod(StorePath().c_str(), 0600);

        const std::string lockedFolder = c.noStoreFolder ? ConfigHome() : StoreFolder();
        ReadOnlyFolder readOnly(lockedFolder);
        if (!readOnly.ok()) GTEST_SKIP() << readOnly.why();

        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kSettingsKey, true));
        EXPECT_EQ(reg.CurrentPath(), "Software\\QuillonSoftware\\FTPUploaderIDEPlugin");
        EXPECT_EQ(reg.ValueExists("FTPHost") ? reg.ReadString("FTPHost") : "", c.hostRead);
        EXPECT_EQ(reg.ValueExists("FTPPort"), !c.hostRead.empty());
        EXPECT_FALSE(reg.DeleteValue("NoSuchValue"));
        if (!c.hostRead.empty()) {
            EXPECT_NO_THROW(reg.WriteString("FTPHost", c.hostRead)); // the same text again
        }

        try {
            reg.WriteString("FTPHost", "other.example.org");
            FAIL() << "a write into a read-only folder succeeded";
        } catch (const WriteError& e) {
            const std::string message = e.what();
            EXPECT_NE(message.find("Cannot save the settings"), std::string::npos) << message;
            EXPECT_NE(message.find(lockedFolder), std::string::npos) << message;
            EXPECT_NE(message.find(readOnly.systemError()), std::string::npos) << message;
        }
        EXPECT_FALSE(std::filesystem::exists(StorePath() + ".lock"));
        if (!c.fileText.empty()) EXPECT_EQ(ReadFile(StorePath()), c.fileText);
        else EXPECT_FALSE(std::filesystem::exists(StorePath()));
    }
}

// A file without a write bit stays as it is: no rename passes over it, for any kind of write.
TEST_F(StoreAccess, AReadOnlyFileIsNeverReplaced) {
    std::filesystem::create_directories(StoreFolder());
    const std::vector<std::pair<const char*, std::function<void(TRegistry&)>>> writes = {
        {"string", [](TRegistry& reg) { reg.WriteString("FTPHost", "other.example.org"); }},
        {"integer", [](TRegistry& reg) { reg.WriteInteger("FTPPort", 2121); }},
        {"delete", [](TRegistry& reg) { reg.DeleteValue("FTPPort"); }},
        {"new key", [](TRegistry& reg) { reg.OpenKey("\\Software\\Other", true); reg.WriteBool("B", true); }},
    };
    for (mode_t mode : {0400, 0444, 0500}) {
        for (const auto& [what, write] : writes) {
            SCOPED_TRACE(std::string(what) + " to mode " + std::to_string(mode));
            std::filesystem::remove(StorePath());
            WriteFile(StorePath(), kStoredSettings);
            ::chmod(StorePath().c_str(), mode);

            TRegistry reg;
            ASSERT_TRUE(reg.OpenKey(kSettingsKey, true));
            EXPECT_EQ(reg.ReadString("FTPHost"), "ftp.example.org"); // reading is unaffected
            try {
                write(reg);
                FAIL() << "a read-only file was written";
            } catch (const WriteError& e) {
                const std::string message = e.what();
                EXPECT_NE(message.find("'" + StorePath() + "' is read-only"), std::string::npos) << message;
                EXPECT_NE(message.find("chmod 600 '" + StorePath() + "'"), std::string::npos) << message;
            }
            EXPECT_EQ(ReadFile(StorePath()), kStoredSettings);
            EXPECT_EQ(Mode(StorePath()), mode);
        }
    }
}

// Other users may open the file: one warning per process, naming the file and the fix, however
// often the settings are read. A private file, or one that a save just made private, says nothing.
TEST_F(StoreAccess, AFileOthersCanOpenIsPointedOutOnceAndMadePrivateBySaving) {
    std::filesystem::create_directories(StoreFolder());
    WriteFile(StorePath(), kStoredSettings);
    ::chmod(StorePath().c_str(), 0644);

    ::testing::internal::CaptureStderr();
    for (int i = 0; i < 3; ++i) {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kSettingsKey, true));
        EXPECT_EQ(reg.ReadInteger("FTPPort"), 21);
    }
    const std::string warned = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(Occurrences(warned, "warning"), 1u) << warned;
    EXPECT_NE(warned.find("'" + StorePath() + "' (mode 0644)"), std::string::npos) << warned;
    EXPECT_NE(warned.find("FTP password"), std::string::npos) << warned;
    EXPECT_NE(warned.find("chmod 600 '" + StorePath() + "'"), std::string::npos) << warned;

    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kSettingsKey, true));
    reg.WriteString("FTPpwd", "scrambled");
    EXPECT_EQ(Mode(StorePath()), 0600u);

    // A read-only file is never saved over, so the advice keeps it read-only.
    const std::string readOnlyStore = ConfigHome() + "/read-only.reg";
    WriteFile(readOnlyStore, kStoredSettings);
    ::chmod(readOnlyStore.c_str(), 0444);
    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(TRegistry(readOnlyStore).OpenKey(kSettingsKey, false));
    const std::string warnedReadOnly = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(warnedReadOnly.find("Make it private with: chmod 400 '" + readOnlyStore + "'"), std::string::npos)
        << warnedReadOnly;

    // A store private from the start never warns.
    const std::string privateStore = ConfigHome() + "/private.reg";
    WriteFile(privateStore, kStoredSettings);
    ::chmod(privateStore.c_str(), 0600);
    ::testing::internal::CaptureStderr();
    TRegistry other(privateStore);
    ASSERT_TRUE(other.OpenKey(kSettingsKey, false));
    EXPECT_EQ(other.ReadString("FTPHost"), "ftp.example.org");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

} // namespace
} // namespace zandrel::registry
