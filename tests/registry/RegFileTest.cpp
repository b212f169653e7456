// The store's file: the exact text it writes, strings of any content through it, and files edited
// by hand or exported by regedit.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "platform/registry/RegFileFormat.h"
#include "platform/registry/Registry.h"
#include "registry/UserStoreFixture.h"

namespace zandrel::registry {
namespace {

using testing::kSettingsKey;
using zandrel::testing::ReadFile;
using zandrel::testing::WriteFile;
using RegFile = testing::UserStoreTest;

TEST_F(RegFile, WritesTheRegistryExportText) {
    TRegistry reg;
    reg.OpenKey(kSettingsKey, true);
    reg.WriteString("FTPHost", "ftp.example.com");
    reg.WriteInteger("FTPPort", 21);
    reg.WriteBool("FTPPassive", true);
    reg.WriteInteger("Negative", -2);
    reg.WriteString("Path", "C:\\dir\\\"q\"");
    reg.WriteString("Nul", std::string("a\0b", 3));
    reg.WriteString("Empty", "");
    reg.OpenKey("\\Software\\Other", true); // an empty key is listed too

    EXPECT_EQ(ReadFile(StorePath()),
              "Windows Registry Editor Version 5.00\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software\\QuillonSoftware\\FTPUploaderIDEPlugin]\n"
              "\"FTPHost\"=\"ftp.example.com\"\n"
              "\"FTPPort\"=dword:00000015\n"
              "\"FTPPassive\"=dword:00000001\n"
              "\"Negative\"=dword:fffffffe\n"
              "\"Path\"=\"C:\\\\dir\\\\\\\"q\\\"\"\n"
              "\"Nul\"=hex(1):61,00,00,00,62,00,00,00\n"
              "\"Empty\"=\"\"\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software\\Other]\n"
              "\n");
}

TEST_F(RegFile, StringsOfAnyContentComeBackExactly) {
    const std::string cases[] = {
        "",
        std::string("\0", 1),
        std::string("a\0", 2),
        std::string("\0\0x\0", 4),
        "line one\r\nline two\r\n",
        "tab\there",
        "quote \" and backslash \\ and \\\"",
        "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80",   // é € and a character outside the BMP
        "C1 control \xC2\x85 and DEL \x7F",
        std::string(300, 'x') + std::string("\0", 1) + "tail", // wraps over many lines
    };
    {
        TRegistry writer;
        writer.OpenKey(kSettingsKey, true);
        for (size_t i = 0; i < std::size(cases); ++i) writer.WriteString("S" + std::to_string(i), cases[i]);
    }
    TRegistry reader;
    ASSERT_TRUE(reader.OpenKey(kSettingsKey, false));
    for (size_t i = 0; i < std::size(cases); ++i) {
        const std::string got = reader.ReadString("S" + std::to_string(i));
        EXPECT_EQ(got.size(), cases[i].size()) << "case " << i;
        EXPECT_EQ(got, cases[i]) << "case " << i;
    }

    // The hex(1) form wraps within 80 columns with regedit's continuation lines.
    std::istringstream lines(ReadFile(StorePath()));
    size_t continued = 0;
    for (std::string line; std::getline(lines, line);) {
        EXPECT_LE(line.size(), 80u) << line;
        if (line.starts_with("  ")) ++continued;
    }
    EXPECT_GT(continued, 0u);
}

TEST_F(RegFile, ReadsAHandEditedFile) {
    // CRLF line ends, a UTF-8 BOM, comments, other letter case, hex(1) continued over lines,
    // hex(2), a default value, blanks around "=", and an upper-case short dword.
    const std::string text =
        "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
        "\r\n"
        "; settings for the upload\r\n"
        "[hkey_current_user\\SOFTWARE\\quillonsoftware\\FTPUploaderIDEPlugin]\r\n"
        "\"FTPBaseURL\" = \"http://example.com/\"\r\n"
        "\"FTPPort\"=DWORD:1A\r\n"
        "@=\"default\"\r\n"
        "\"FTPpwd\"=hex(1):41,00,00,00,\\\r\n"
        "  42,00,0d,00,0a,00,00,00\r\n"
        "\"Expand\"=hex(2):25,00,48,00,00,00\r\n"
        "\r\n";
    std::filesystem::create_directories(StoreFolder());
    WriteFile(StorePath(), text);

    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kSettingsKey, false));
    EXPECT_EQ(reg.ReadString("FTPBaseUrl"), "http://example.com/");
    EXPECT_EQ(reg.ReadInteger("ftpport"), 26);
    EXPECT_EQ(reg.ReadString(""), "default");
    EXPECT_EQ(reg.ReadString("FTPpwd"), std::string("A\0B\r\n", 5));
    EXPECT_EQ(reg.ReadString("Expand"), "%H");
    EXPECT_EQ(reg.GetDataType("Expand"), REG_EXPAND_SZ);
    // A key spelt in another case in the file is the same key: writes land in it.
    reg.WriteString("FTPHost", "h");
    EXPECT_EQ(ParseRegFile(ReadFile(StorePath()), "x").keys.size(), 1u);
}

TEST_F(RegFile, ReadsRegeditsUtf16Export) {
    const std::u16string text = u"\uFEFFWindows Registry Editor Version 5.00\r\n\r\n"
                                u"[HKEY_CURRENT_USER\\Software\\QuillonSoftware\\FTPUploaderIDEPlugin]\r\n"
                                u"\"FTPHost\"=\"h\u00F6st\"\r\n\r\n";
    std::string bytes;
    for (char16_t u : text) {
        bytes += static_cast<char>(u & 0xFF);
        bytes += static_cast<char>(u >> 8);
    }
    std::filesystem::create_directories(StoreFolder());
    WriteFile(StorePath(), bytes);

    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kSettingsKey, false));
    EXPECT_EQ(reg.ReadString("FTPHost"), "h\xC3\xB6st");
    reg.WriteString("FTPHost", "new"); // rewritten as UTF-8
    EXPECT_EQ(ReadFile(StorePath()).substr(0, 8), "Windows ");
}

TEST_F(RegFile, ValuesOfOtherTypesSurviveARewriteUnchanged) {
    const std::string text = "Windows Registry Editor Version 5.00\n\n"
                             "[HKEY_CURRENT_USER\\Software\\X]\n"
                             "\"Bin\"=hex:00,ff,10\n"
                             "\"Multi\"=hex(7):61,00,00,00,00,00\n"
                             "\"Big\"=hex(b):01,02,03,04,05,06,07,08\n"
                             "\"Raw\"=hex(1):61,00\n"
                             "\n";
    std::filesystem::create_directories(StoreFolder());
    WriteFile(StorePath(), text);

    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("\\Software\\X", false));
    EXPECT_THROW(reg.ReadString("Bin"), TypeError);
    EXPECT_EQ(reg.ReadString("Raw"), "a"); // no terminator stored: the text is still whole
    reg.WriteString("New", "n");
    EXPECT_EQ(ReadFile(StorePath()), text.substr(0, text.size() - 1) + "\"New\"=\"n\"\n\n");
}

TEST_F(RegFile, WhatItWritesIsWhatItReads) {
    Hive hive;
    Key& key = hive.AddKey("Software\\Odd [name]");
    key.SetValue(Value{"quote\"back\\slash", REG_SZ, EncodeString("v")});
    key.SetValue(Value{"", REG_DWORD, EncodeDWord(0xDEADBEEF)});
    key.SetValue(Value{"short dword", REG_DWORD, std::string("\x01\x02", 2)});
    key.SetValue(Value{"lone surrogate", REG_SZ, std::string("\x00\xD8\x00\x00", 4)});
    key.SetValue(Value{"none", REG_NONE, ""});

    const std::string text = FormatRegFile(hive);
    const Hive back = ParseRegFile(text, "x");
    ASSERT_EQ(back.keys.size(), 1u);
    EXPECT_EQ(back.keys[0].path, "Software\\Odd [name]");
    ASSERT_EQ(back.keys[0].values.size(), key.values.size());
    for (size_t i = 0; i < key.values.size(); ++i) {
        EXPECT_EQ(back.keys[0].values[i].name, key.values[i].name);
        EXPECT_EQ(back.keys[0].values[i].type, key.values[i].type);
        EXPECT_EQ(back.keys[0].values[i].data, key.values[i].data) << key.values[i].name;
    }
}

} // namespace
} // namespace zandrel::registry
