// The typed-value interface: names without letter case, typed reads, keys opened and created.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/registry/Registry.h"
#include "registry/UserStoreFixture.h"

namespace zandrel::registry {
namespace {

using testing::kSettingsKey;
using RegistryValues = testing::UserStoreTest;

TEST_F(RegistryValues, NamesMatchInAnyLetterCaseAndKeepTheirFirstSpelling) {
    TRegistry writer;
    ASSERT_TRUE(writer.OpenKey(kSettingsKey, true));
    writer.WriteString("FTPBaseUrl", "http://example.com/");
    writer.WriteString("FTPBASEURL", "http://example.org/");

    TRegistry reader;
    ASSERT_TRUE(reader.OpenKey("\\software\\quillonsoftware\\ftpuploaderideplugin", false));
    EXPECT_TRUE(reader.ValueExists("FTPBaseURL"));
    EXPECT_EQ(reader.ReadString("ftpbaseurl"), "http://example.org/");
    EXPECT_EQ(reader.GetValueNames(), std::vector<std::string>{"FTPBaseUrl"});
    EXPECT_FALSE(reader.ValueExists("FTPBaseUr"));
}

TEST_F(RegistryValues, ReadingWithTheWrongTypeNamesTheValueAndBothTypes) {
    TRegistry reg;
    reg.OpenKey(kSettingsKey, true);
    reg.WriteString("FTPPort", "21");
    reg.WriteInteger("FTPHost", 7);

    try {
        reg.ReadInteger("ftpport");
        FAIL() << "a string read as a number must fail";
    } catch (const TypeError& e) {
        const std::string message = e.what();
        EXPECT_NE(message.find("'FTPPort'"), std::string::npos) << message;
        EXPECT_NE(message.find("REG_SZ"), std::string::npos) << message;
        EXPECT_NE(message.find("REG_DWORD"), std::string::npos) << message;
    }
    EXPECT_THROW(reg.ReadBool("FTPPort"), TypeError);
    EXPECT_THROW(reg.ReadString("FTPHost"), TypeError);
    EXPECT_THROW(reg.ReadString("Missing"), ValueNotFoundError);
    EXPECT_THROW(reg.ReadInteger("Missing"), ValueNotFoundError);
    // The error classes are all the platform's one error base.
    EXPECT_THROW(reg.ReadBool("Missing"), rtl::Error);
}

// A value of the wrong type in a hand-edited file: the message leads to the line and says how to
// write it.
TEST_F(RegistryValues, AWronglyTypedValueNamesTheFileTheLineAndHowToWriteIt) {
    struct Case {
        const char* line;
        const char* reader;
        std::vector<std::string> says;
    } cases[] = {
        {"\"FTPPort\"=\"21\"", "integer",
         {"'FTPPort'", "is text (REG_SZ)", "must be a number (REG_DWORD)", "\"FTPPort\"=dword:00000015"}},
        {"\"FTPPort\"=\"twenty-one\"", "integer", {"'FTPPort'", "REG_SZ", "\"FTPPort\"=dword:XXXXXXXX"}},
        {"\"FTPPort\"=\"99999999999\"", "integer", {"\"FTPPort\"=dword:XXXXXXXX"}},
        {"\"EMAILAuto\"=hex:01", "bool", {"'EMAILAuto'", "binary data (REG_BINARY)", "REG_DWORD"}},
        {"\"FTPPort\"=hex(4):15,00", "integer", {"is a number (REG_DWORD) of 2 bytes, but a number takes exactly 4"}},
        {"\"FTPHost\"=dword:00000007", "string",
         {"'FTPHost'", "is a number (REG_DWORD)", "must be text (REG_SZ)", "\"FTPHost\"=\"text\""}},
    };
    std::filesystem::create_directories(StoreFolder());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        zandrel::testing::WriteFile(StorePath(), "Windows Registry Editor Version 5.00\n\n"
                                                 "[HKEY_CURRENT_USER\\Software\\QuillonSoftware\\FTPUploaderIDEPlugin]\n"
                                                 "\"ZIPFilter\"=\"*.PAS\"\n" +
                                                     std::string(c.line) + "\n");
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kSettingsKey, false));
        const std::string name = reg.GetValueNames().back();
        try {
            if (std::string(c.reader) == "integer") reg.ReadInteger(name);
            else if (std::string(c.reader) == "bool") reg.ReadBool(name);
            else reg.ReadString(name);
            FAIL() << "read with the wrong type";
        } catch (const TypeError& e) {
            const std::string message = e.what();
            EXPECT_NE(message.find("'" + StorePath() + "', line 5: "), std::string::npos) << message;
            EXPECT_NE(message.find("[HKEY_CURRENT_USER\\Software\\QuillonSoftware\\FTPUploaderIDEPlugin]"),
                      std::string::npos)
                << message;
            for (const std::string& part : c.says) EXPECT_NE(message.find(part), std::string::npos) << message;
        }
    }
}

TEST_F(RegistryValues, NumbersAndBooleansRoundTrip) {
    TRegistry reg;
    reg.OpenKey(kSettingsKey, true);
    for (int32_t number : {0, 21, 9999, -1, INT32_MIN, INT32_MAX}) {
        reg.WriteInteger("N", number);
        EXPECT_EQ(reg.ReadInteger("N"), number);
        EXPECT_EQ(reg.ReadBool("N"), number != 0) << number; // any non-zero number is true
    }
    reg.WriteBool("B", true);
    EXPECT_EQ(reg.ReadInteger("B"), 1);
    reg.WriteBool("B", false);
    EXPECT_EQ(reg.ReadInteger("B"), 0);
    // Writing another type replaces the value's type.
    reg.WriteString("B", "text");
    EXPECT_EQ(reg.GetDataType("B"), REG_SZ);
}

TEST_F(RegistryValues, OpeningAMissingKeyWithoutCreateFailsAndCreateLeavesItInTheFile) {
    TRegistry reg;
    EXPECT_FALSE(reg.OpenKey(kSettingsKey, false));
    EXPECT_FALSE(std::filesystem::exists(StorePath())); // a failed open writes nothing

    ASSERT_TRUE(reg.OpenKey(kSettingsKey, true));
    EXPECT_EQ(reg.CurrentPath(), "Software\\QuillonSoftware\\FTPUploaderIDEPlugin");
    EXPECT_TRUE(reg.GetValueNames().empty());
    EXPECT_NE(zandrel::testing::ReadFile(StorePath())
                  .find("[HKEY_CURRENT_USER\\Software\\QuillonSoftware\\FTPUploaderIDEPlugin]"),
              std::string::npos);

    TRegistry other;
    EXPECT_TRUE(other.OpenKey("Software\\QuillonSoftware\\FTPUploaderIDEPlugin", false)); // leading "\" optional
    EXPECT_TRUE(other.KeyExists("\\Software\\QuillonSoftware")); // an ancestor exists too
    EXPECT_FALSE(other.KeyExists("\\Software\\Quillon"));
}

TEST_F(RegistryValues, RelativePathsOpenBelowTheOpenKey) {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("\\Software\\A", true));
    ASSERT_TRUE(reg.OpenKey("B", true));
    EXPECT_EQ(reg.CurrentPath(), "Software\\A\\B");
    ASSERT_TRUE(reg.OpenKey("\\Software", false));
    EXPECT_EQ(reg.CurrentPath(), "Software");
    reg.CloseKey();
    EXPECT_EQ(reg.CurrentPath(), "");
}

TEST_F(RegistryValues, DeleteValueRemovesOnlyThatValue) {
    TRegistry reg;
    reg.OpenKey(kSettingsKey, true);
    reg.WriteString("A", "1");
    reg.WriteString("B", "2");
    EXPECT_TRUE(reg.DeleteValue("a"));
    EXPECT_FALSE(reg.DeleteValue("a"));
    EXPECT_EQ(reg.GetValueNames(), std::vector<std::string>{"B"});
}

TEST_F(RegistryValues, NamesAndTextsTheFileCannotCarryAreRefusedWithoutTouchingTheStore) {
    TRegistry reg;
    reg.OpenKey(kSettingsKey, true);
    const std::string before = zandrel::testing::ReadFile(StorePath());
    EXPECT_THROW(reg.WriteString("line\nbreak", "x"), Error);
    EXPECT_THROW(reg.WriteString(std::string("nul\0", 4), "x"), Error);
    EXPECT_THROW(reg.WriteString("bad\xFFutf8", "x"), Error);
    EXPECT_THROW(reg.WriteString("FTPHost", "half \xC3"), Error); // would be stored as U+FFFD
    EXPECT_THROW(reg.OpenKey("\\Software\\bad\nkey", true), Error);
    EXPECT_EQ(zandrel::testing::ReadFile(StorePath()), before);
}

} // namespace
} // namespace zandrel::registry
