// Loading the settings at the start of a project command: a fault in the file reaches the command
// as an error a person can act on, and loading needs no write access.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "ide/ContextMenu.h"
#include "ide/SettingVariables.h"
#include "platform/registry/Errors.h"
#include "registry/ReadOnlyFolder.h"
#include "registry/UserStoreFixture.h"
#include "settings/Scramble.h"
#include "settings/SettingNames.h"

namespace zandrel::settings {
namespace {

using registry::testing::ReadOnlyFolder;
using zandrel::testing::ReadFile;
using zandrel::testing::WriteFile;

const std::string kHead = "Windows Registry Editor Version 5.00\n\n"
                          "[HKEY_CURRENT_USER\\Software\\QuillonSoftware\\FTPUploaderIDEPlugin]\n";

class ReadRegistryValues : public registry::testing::UserStoreTest {
protected:
    void SetUp() override {
        UserStoreTest::SetUp();
        ide::ReleaseSettingVariables();
        ide::FTPprt = 0;
    }
    void TearDown() override {
        ide::ReleaseSettingVariables();
        UserStoreTest::TearDown();
    }
    void Store(const std::string& text) {
        std::filesystem::create_directories(StoreFolder());
        WriteFile(StorePath(), text);
        ::chmod(StorePath().c_str(), 0600);
    }
    static void Load() {
        ide::TProjectContextMenu menu;
        menu.ReadRegistryValues();
    }
    // The message of what Load() throws; "" when it does not throw.
    static std::string LoadError() {
        try {
            Load();
        } catch (const std::exception& e) {
            return e.what();
        }
        return "";
    }
};

TEST_F(ReadRegistryValues, ADamagedFileStopsTheLoadWithWhereAndHowToMendIt) {
    const std::string text = kHead + "\"FTPHost\"=\"ftp.example.org\"\n\"FTPPort\"=dword:15x\n";
    Store(text);
    ::chmod(StorePath().c_str(), 0644);
    ::testing::internal::CaptureStderr();
    const std::string message = LoadError();
    // A file others can open is pointed out even when it cannot be read.
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("chmod 600 '" + StorePath() + "'"), std::string::npos);
    EXPECT_NE(message.find("'" + StorePath() + "' is damaged at line 5: dword: needs 1 to 8 hexadecimal digits"),
              std::string::npos)
        << message;
    EXPECT_NE(message.find("move the file away"), std::string::npos) << message;
    EXPECT_EQ(ide::FTPHt, "");
    EXPECT_EQ(ReadFile(StorePath()), text); // never rewritten
}

TEST_F(ReadRegistryValues, APortStoredAsTextNamesTheValueTheTypeAndTheFile) {
    Store(kHead + "\"FTPUserName\"=\"" + Encrypt("AB", ScrambleKey) + "\"\n\"FTPPort\"=\"2121\"\n"
                  "\"FTPHost\"=\"ftp.example.org\"\n");
    const std::string message = LoadError();
    for (const std::string& part : {"'" + StorePath() + "', line 5", std::string("'FTPPort'"),
                                   std::string("must be a number (REG_DWORD)"), std::string("\"FTPPort\"=dword:00000849")})
        EXPECT_NE(message.find(part), std::string::npos) << message;
    // Values before the faulty one are loaded, as the load runs in order and stops there.
    EXPECT_EQ(ide::FTPUserName, "AB");
    EXPECT_EQ(ide::FTPHt, "");
}

// The transport and key file are read as stored, and their absence is no transport: one read
// before, from settings since changed, must not stay behind for the next command.
TEST_F(ReadRegistryValues, TheTransportAndKeyFileAreReadAsStoredAndAbsenceClearsThem) {
    Store(kHead + "\"FTPSecurity\"=\"sftp\"\n\"SSHKeyFile\"=\"~/.ssh/deploy\"\n\"FTPHost\"=\"h.example.org\"\n");
    EXPECT_EQ(LoadError(), "");
    EXPECT_EQ(ide::FTPSecurity, "sftp");
    EXPECT_EQ(ide::SSHKeyFile, "~/.ssh/deploy");
    Store(kHead + "\"FTPHost\"=\"h.example.org\"\n");
    EXPECT_EQ(LoadError(), "");
    EXPECT_EQ(ide::FTPSecurity, "");
    EXPECT_EQ(ide::SSHKeyFile, "");
    // A word the upload cannot use does not stop the read: only the upload refuses it.
    Store(kHead + "\"FTPSecurity\"=\"tls\"\n\"FTPHost\"=\"h.example.org\"\n");
    EXPECT_EQ(LoadError(), "");
    EXPECT_EQ(ide::FTPSecurity, "tls");
    EXPECT_EQ(ide::FTPHt, "h.example.org");
}

// The settings load where nothing can be written: from a read-only settings folder, and with no
// settings folder under a read-only config folder (the defaults, and nothing created).
TEST_F(ReadRegistryValues, LoadsWithoutWriteAccess) {
    Store(kHead + "\"FTPHost\"=\"ftp.example.org\"\n\"FTPPort\"=dword:00000849\n\"ZIPFilter\"=\"*.PAS\"\n");
    {
        ReadOnlyFolder readOnly(StoreFolder());
        if (!readOnly.ok()) GTEST_SKIP() << readOnly.why();
        EXPECT_EQ(LoadError(), "");
        EXPECT_EQ(ide::FTPHt, "ftp.example.org");
        EXPECT_EQ(ide::FTPprt, 2121);
        EXPECT_EQ(ide::ZipStr, "*.PAS");
    }
    std::filesystem::remove_all(StoreFolder());
    ide::ReleaseSettingVariables();
    {
        ReadOnlyFolder readOnly(ConfigHome());
        if (!readOnly.ok()) GTEST_SKIP() << readOnly.why();
        EXPECT_EQ(LoadError(), "");
        EXPECT_EQ(ide::FTPprt, DefaultFTPPort);
        EXPECT_EQ(ide::FTPHt, "");
        EXPECT_FALSE(ide::FTPPas);
        EXPECT_FALSE(std::filesystem::exists(StoreFolder()));
    }
}

} // namespace
} // namespace zandrel::settings
