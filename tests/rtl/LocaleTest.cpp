#include "platform/rtl/Locale.h"

#include <gtest/gtest.h>

namespace zandrel::rtl {
namespace {

TEST(Locale, DecimalSeparatorComesFromTheNamedLocale) {
    EXPECT_EQ(DecimalSeparatorOfLocale("C"), ".");
    EXPECT_EQ(DecimalSeparatorOfLocale("POSIX"), ".");
    EXPECT_EQ(DecimalSeparatorOfLocale("xx_NOWHERE.UTF-8"), ".");
    EXPECT_FALSE(UserDecimalSeparator().empty());
}

} // namespace
} // namespace zandrel::rtl
