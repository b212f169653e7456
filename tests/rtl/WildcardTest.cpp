#include "platform/rtl/Wildcard.h"

#include <gtest/gtest.h>

using namespace zandrel::rtl;

TEST(MatchesMask, FollowsTheFileNameRules) {
    const struct {
        const char* name;
        const char* mask;
        bool ignoringCase;
        bool matchingCase;
    } cases[] = {
        {"main.pas", "*.PAS", true, false},  {"Main.pas", "*.pas", true, true},
        {"README", "*.*", true, true},       {".settings.pas", "*.pas", true, true},
        {"Unit1.dfm", "unit?.*", true, false}, {"Unit12.dfm", "Unit?.dfm", false, false},
        {"Demo", "Demo.*", true, true},      {"ä.pas", "Ä.PAS", true, false},
        {"a.pas.bak", "*.pas", false, false}, {"", "*", true, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MatchesMask(c.name, c.mask), c.ignoringCase) << c.name << " ~ " << c.mask;
        EXPECT_EQ(MatchesMask(c.name, c.mask, LetterCase::Match), c.matchingCase) << c.name << " ~ " << c.mask;
    }
}

// The desktop platform's own file search: `?` may match nothing at the end of the name or before
// a dot, `*.` takes exactly the dotless names, a `*` before a dot stops at the last dot.
TEST(MatchesFileMask, FollowsTheDesktopFileSearch) {
    const struct {
        const char* name;
        const char* mask;
        bool matches;
    } cases[] = {
        {"a.pas", "a?.pas", true},      {"ab.pas", "a?.pas", true},     {"abc.pas", "a?.pas", false},
        {"a", "a??", true},             {"abc", "a??", true},           {"abcd", "a??", false},
        {"a.b", "a?b", false},          {"Unit1.dfm", "unit?.*", true}, {"Unit12.dfm", "Unit?.dfm", false},
        {"Makefile", "*.", true},       {"main.pas", "*.", false},      {".hidden", "*.", false},
        {"x.pa", "*.pa?", true},        {"x.pas", "*.pa?", true},       {"x.pasx", "*.pa?", false},
        {"a.b.pas", "*.pas", true},     {"a.pas.bak", "*.pas", false},  {".settings.pas", "*.PAS", true},
        {"Demo", "Demo.*", true},       {"Demo.zip", "Demo.*", true},   {"README", "*.*", true},
        {"abc", "*.?", true},           {"a.b", "*.?", true},           {"a.bc", "*.?", false},
        {"ä.pas", "Ä.PAS", true},       {"main.pas", "", false},        {"main.pas", "*", true},
        {"\xff.pas", "?.pas", true},    {"x.pas", "x.pas", true},       {"x.pas", "X.PAS.", true},
    };
    for (const auto& c : cases) EXPECT_EQ(MatchesFileMask(c.name, c.mask), c.matches) << c.name << " ~ " << c.mask;
    // Linear whatever the mask: a hostile one ends at once.
    EXPECT_FALSE(MatchesFileMask(std::string(5000, 'a'), std::string(2000, '*') + "b"));
}
