#include "platform/rtl/Utf16.h"

#include <gtest/gtest.h>

using namespace zandrel::rtl;

TEST(Utf16, RoundTripsEveryPlane) {
    const std::string text = std::string("a\0b", 3) + "ä€𝄞";
    const std::u16string wide = ToUtf16(text);
    EXPECT_EQ(wide, (std::u16string{u'a', u'\0', u'b', u'ä', u'€', 0xD834, 0xDD1E}));
    EXPECT_EQ(ToUtf8(wide), text);
}

TEST(Utf16, MalformedInputBecomesReplacementCharacters) {
    EXPECT_EQ(ToUtf16("a\xC3"), (std::u16string{u'a', 0xFFFD}));
    EXPECT_EQ(ToUtf16("\xC0\x80"), (std::u16string{0xFFFD, 0xFFFD})); // overlong NUL
    EXPECT_EQ(ToUtf8(std::u16string{0xD800, u'x'}), "\xEF\xBF\xBDx");
}

TEST(Utf16, AsciiCaseHelpersLeaveOtherCharactersAlone) {
    EXPECT_EQ(UpperCaseAscii("*.pas;ä.dfm"), "*.PAS;ä.DFM");
    EXPECT_TRUE(SameTextAscii("FTPBaseURL", "ftpbaseurl"));
    EXPECT_FALSE(SameTextAscii("ä", "Ä"));
}
