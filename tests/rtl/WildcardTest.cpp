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
