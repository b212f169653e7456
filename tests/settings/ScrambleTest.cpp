// Scrambling of the stored FTP credentials.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <optional>

#include "platform/registry/Registry.h"
#include "platform/rtl/Utf16.h"
#include "settings/Scramble.h"
#include "settings/SettingNames.h"
#include "support/RunProcess.h"

namespace zandrel::settings {
namespace {

// Worked by hand: K starts at 27966 = 0x6D3E, so the first character is XORed with 0x6D
// ('A' 0x41 -> 0x2C, 'm' 0x6D -> 0x00); then K = (0x6D3E + 0x2C) * 52845 + 22719 mod 65536 = 0x3AE1,
// so 'B' 0x42 -> 0x42 ^ 0x3A = 0x78.
struct Vector {
    std::u16string plain;
    std::u16string scrambled;
};
const Vector kVectors[] = {
    {u"", u""},
    {u"A", u"\x2c"},
    {u"AB", u"\x2c\x78"},
    {u"m", std::u16string(1, u'\0')},
    {u"secret", u"\x1e\x95\x4f\xe7\xaf\x2e"},
    {u"anonymous", u"\x0c\x03\xf9\x3a\x3f\x18\x4b\x0e\x08"},
    {u"\u00e9t\u00e9", u"\x84\x44\x88"},
};

TEST(Scramble, KnownVectorsInBothDirections) {
    for (const auto& v : kVectors) {
        SCOPED_TRACE(rtl::ToUtf8(v.plain));
        EXPECT_EQ(Encrypt(v.plain, ScrambleKey), v.scrambled);
        EXPECT_EQ(Decrypt(v.scrambled, ScrambleKey), v.plain);
        // The UTF-8 forms carry the same units.
        EXPECT_EQ(Encrypt(rtl::ToUtf8(v.plain), ScrambleKey), rtl::ToUtf8(v.scrambled));
        EXPECT_EQ(Decrypt(rtl::ToUtf8(v.scrambled), ScrambleKey), rtl::ToUtf8(v.plain));
    }
}

// Every length from 0 to 300 (past the 255 positions the routine has always covered) with every
// character from U+0000 to U+00FF, under a few keys.
TEST(Scramble, RoundTripsAndStaysWithinLatin1) {
    uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
    for (uint16_t key : {uint16_t{0}, uint16_t{1}, ScrambleKey, uint16_t{0xFFFF}}) {
        for (size_t length = 0; length <= 300; ++length) {
            std::u16string plain(length, u'\0');
            for (auto& c : plain) c = static_cast<char16_t>((next() >> 16) & 0xFF);
            const std::u16string scrambled = Encrypt(plain, key);
            ASSERT_EQ(scrambled.size(), plain.size());
            for (char16_t c : scrambled) ASSERT_LE(c, 0xFF);
            ASSERT_EQ(Decrypt(scrambled, key), plain) << "key " << key << " length " << length;
        }
    }
}

TEST(Scramble, LongTextsKeepTheirFirst255CharactersAsBefore) {
    std::u16string plain;
    for (int i = 0; i < 300; ++i) plain += static_cast<char16_t>(u'a' + i % 26);
    const std::u16string whole = Encrypt(plain, ScrambleKey);
    EXPECT_EQ(whole.substr(0, 255), Encrypt(plain.substr(0, 255), ScrambleKey));
    // The tail is scrambled too rather than left as it was.
    EXPECT_NE(whole.substr(255), plain.substr(255));
}

TEST(Scramble, CharactersAboveLatin1AreRefusedNotSilentlyChanged) {
    for (std::u16string text : {std::u16string(u"\u0100"), std::u16string(u"pass\u20ACword"), std::u16string(u"\U0001F600")})
        EXPECT_THROW(Encrypt(text, ScrambleKey), ScrambleError) << rtl::ToUtf8(text);
    EXPECT_THROW(Encrypt(std::string("caf\xC3\xA9 \xE2\x82\xAC"), ScrambleKey), ScrambleError);
    // Stored text is read by its low 8 bits, whatever else the unit holds.
    EXPECT_EQ(Decrypt(std::u16string(u"\u012c\u0178"), ScrambleKey), u"AB");
}

// A scrambled password that holds U+0000 goes through the store whole and unscrambles exactly.
TEST(Scramble, AScrambledValueHoldingNulSurvivesTheStore) {
    std::optional<std::string> oldConfig;
    if (const char* old = std::getenv("XDG_CONFIG_HOME")) oldConfig = old;
    auto dir = std::make_unique<zandrel::testing::TempDir>("settings");
    setenv("XDG_CONFIG_HOME", dir->path().c_str(), 1);

    const std::string password = "my password";
    const std::string scrambled = Encrypt(password, ScrambleKey);
    ASSERT_EQ(scrambled.front(), '\0'); // 'm' scrambles to U+0000 first
    {
        registry::TRegistry reg;
        reg.OpenKey(SettingsKeyPath, true);
        reg.WriteString(ValueFTPpwd, scrambled);
        reg.WriteString(ValueFTPUserName, Encrypt(std::string(), ScrambleKey));
    }
    registry::TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(SettingsKeyPath, false));
    const std::string stored = reg.ReadString("ftppwd");
    EXPECT_EQ(stored, scrambled);
    EXPECT_EQ(Decrypt(stored, ScrambleKey), password);
    // An empty user name is stored (the value exists) and reads back empty.
    EXPECT_TRUE(reg.ValueExists(ValueFTPUserName));
    EXPECT_EQ(Decrypt(reg.ReadString(ValueFTPUserName), ScrambleKey), "");

    if (oldConfig) setenv("XDG_CONFIG_HOME", oldConfig->c_str(), 1);
    else unsetenv("XDG_CONFIG_HOME");
}

} // namespace
} // namespace zandrel::settings
