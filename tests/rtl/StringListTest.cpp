#include "platform/rtl/Error.h"
#include "platform/rtl/StringList.h"

#include <gtest/gtest.h>

using zandrel::rtl::StringList;

namespace {

struct SplitCase {
    const char* text;
    std::vector<std::string> items;
};

class DelimitedText : public ::testing::TestWithParam<SplitCase> {};

TEST_P(DelimitedText, SplitsLikeTheRuntime) {
    StringList list;
    list.SetDelimiter(';');
    list.SetDelimitedText(GetParam().text);
    EXPECT_EQ(list.Items(), GetParam().items) << "text: [" << GetParam().text << "]";
}

INSTANTIATE_TEST_SUITE_P(
    NonStrict, DelimitedText,
    ::testing::Values(SplitCase{"", {}}, SplitCase{"*.pas;*.dfm", {"*.pas", "*.dfm"}},
                      SplitCase{"My Unit.pas", {"My", "Unit.pas"}},
                      SplitCase{"\"My Unit.pas\";*.res", {"My Unit.pas", "*.res"}},
                      SplitCase{"a;;b", {"a", "", "b"}}, SplitCase{"a;", {"a", ""}},
                      SplitCase{";", {"", ""}}, SplitCase{"a; ", {"a"}},
                      SplitCase{"  a \t;\r\n b  ", {"a", "b"}}, SplitCase{"a\x01\x1f" "b", {"a", "b"}},
                      SplitCase{"\"say \"\"hi\"\"\";x", {"say \"hi\"", "x"}},
                      SplitCase{"\"unterminated;x", {"unterminated;x"}},
                      SplitCase{"\"ab\"cd;x", {"ab", "cd", "x"}}, SplitCase{"\"\";x", {"", "x"}},
                      SplitCase{"ä.pas;ö.dfm", {"ä.pas", "ö.dfm"}}));

TEST(StringList, DelimitedTextRoundTripsAwkwardItems) {
    StringList list;
    list.SetDelimiter(';');
    for (const char* s : {"plain", "with space", "semi;colon", "quote\"d", "", "tab\there"}) list.Add(s);
    StringList back;
    back.SetDelimiter(';');
    back.SetDelimitedText(list.DelimitedText());
    EXPECT_EQ(back.Items(), list.Items());
}

TEST(StringList, ALoneEmptyItemSurvivesJoiningAndSplitting) {
    for (const bool strict : {false, true}) {
        StringList list;
        list.SetStrictDelimiter(strict);
        list.Add("");
        StringList back;
        back.SetStrictDelimiter(strict);
        back.SetDelimitedText(list.DelimitedText());
        EXPECT_EQ(back.Items(), list.Items()) << "strict: " << strict;
    }
}

TEST(StringList, StrictDelimiterKeepsBlanks) {
    StringList list;
    list.SetDelimiter(';');
    list.SetStrictDelimiter(true);
    list.SetDelimitedText(" a b ;c");
    EXPECT_EQ(list.Items(), (std::vector<std::string>{" a b ", "c"}));
}

TEST(Assert, NamesModuleAndLine) {
    try {
        zandrel::rtl::Assert(false, "ZandrelIDE", 131);
        FAIL() << "no assertion raised";
    } catch (const zandrel::rtl::AssertionFailed& e) {
        EXPECT_EQ(e.module(), "ZandrelIDE");
        EXPECT_EQ(e.line(), 131);
        EXPECT_NE(std::string(e.what()).find("ZandrelIDE, line 131"), std::string::npos);
    }
    EXPECT_NO_THROW(zandrel::rtl::Assert(true, "ZandrelIDE", 131));
}

} // namespace
