#include "platform/rtl/PercentEncoding.h"

#include <gtest/gtest.h>

#include <string>

namespace zandrel::rtl {
namespace {

bool KeepUnreserved(unsigned char c) { return IsUriUnreserved(c); }
bool KeepNothing(unsigned char) { return false; }

// What is not kept comes out as "%XX" in upper case, whole bytes of UTF-8 and NUL included, and a
// "%" of the text is encoded like any other byte so that the result decodes back to the text.
TEST(PercentEncoding, EncodesEveryByteTheCallerDoesNotKeep) {
    const struct {
        std::string text;
        bool (*keep)(unsigned char);
        std::string expected;
    } cases[] = {
        {"Az09-._~", KeepUnreserved, "Az09-._~"},
        {"My Demo#1.zip", KeepUnreserved, "My%20Demo%231.zip"},
        {"100%", KeepUnreserved, "100%25"},
        {"caf\xc3\xa9", KeepUnreserved, "caf%C3%A9"},
        {std::string("a\0b", 3), KeepUnreserved, "a%00b"},
        {"\x7f\xff\x01", KeepNothing, "%7F%FF%01"},
        {"", KeepNothing, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PercentEncode(c.text, c.keep), c.expected) << c.text;
        EXPECT_EQ(PercentDecode(c.expected), c.text) << c.expected;
    }
}

// Escapes in either case become their bytes; a "%" that starts no escape stays as it is.
TEST(PercentEncoding, DecodesEscapesAndLeavesTheRest) {
    const struct {
        std::string text;
        std::string expected;
    } cases[] = {
        {"my%20file%20%c3%bc.txt", "my file \xc3\xbc.txt"},
        {"a%2Fb%00c", std::string("a/b\0c", 5)},
        {"100%", "100%"}, {"%4", "%4"}, {"%zz%41", "%zzA"}, {"%%41", "%A"},
    };
    for (const auto& c : cases) EXPECT_EQ(PercentDecode(c.text), c.expected) << c.text;
}

} // namespace
} // namespace zandrel::rtl
