#include "webcopy/Formatting.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/rtl/Locale.h"

namespace zandrel::webcopy {
namespace {

// Written with "." and compared after putting in the user's separator.
std::string WithUserSeparator(std::string text) {
    const auto dot = text.find('.');
    if (dot != std::string::npos && text.back() != '.') text.replace(dot, 1, rtl::UserDecimalSeparator());
    return text;
}

TEST(WebCopyFormatting, FileSizeFmtSwitchesUnitsAtDecimalThousands) {
    const struct {
        uint32_t n;
        const char* expected;
    } cases[] = {
        {0, "0 bytes"},
        {999, "999 bytes"},
        {1000, "1.00 Kb"},
        {1005, "1.00 Kb"}, // 1.005 is stored just below, as printf sees it too
        {999999, "1000.00 Kb"},
        {1000000, "1.00 Mb"},
        {1500000, "1.50 Mb"},
        {4294967295u, "4294.97 Mb"},
    };
    for (const auto& c : cases) EXPECT_EQ(FileSizeFmt(c.n), WithUserSeparator(c.expected)) << c.n;
}

// The sizes are formatted without floating point; they must still read exactly as "%.2f" of the
// double n / 1000 or n / 1000000 does, including every decimal halfway point.
TEST(WebCopyFormatting, FileSizeFmtGivesPrintfsDigitsEverywhere) {
    auto printfStyle = [](uint32_t n) {
        if (n < 1000u) return std::to_string(n) + " bytes";
        const bool kilo = n < 1000000u;
        char text[64];
        std::snprintf(text, sizeof text, "%.2f %s", n / (kilo ? 1000.0 : 1000000.0), kilo ? "Kb" : "Mb");
        return WithUserSeparator(text);
    };
    std::vector<uint32_t> sizes;
    for (uint32_t n = 0; n < 1200000; n += 1) sizes.push_back(n);     // every Kb value, into Mb
    for (uint32_t n = 1005000; n < 400000000; n += 10000) sizes.push_back(n); // Mb halfway points
    for (uint32_t n = 4294967295u; n > 4294867295u; n -= 777) sizes.push_back(n);
    int mismatches = 0;
    for (uint32_t n : sizes) {
        if (FileSizeFmt(n) != printfStyle(n) && ++mismatches <= 5)
            ADD_FAILURE() << n << ": " << FileSizeFmt(n) << " vs " << printfStyle(n);
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(WebCopyFormatting, FileSizeFmtSpeedComparesSigned) {
    const struct {
        int32_t n;
        const char* expected;
    } cases[] = {
        {-5, "-5 bytes/sec"},
        {-2000000, "-2000000 bytes/sec"},
        {999, "999 bytes/sec"},
        {1000, "1.00 Kb/sec"},
        {2500000, "2.50 Mb/sec"},
    };
    for (const auto& c : cases) EXPECT_EQ(FileSizeFmtSpeed(c.n), WithUserSeparator(c.expected)) << c.n;
}

TEST(WebCopyFormatting, TimeFmtRoundsEachStepHalfToEven) {
    const struct {
        uint32_t ms, done, total;
        const char* expected;
    } cases[] = {
        {0, 0, 0, "0 sec."},
        {29499, 0, 0, "29 sec."},
        {30000, 0, 0, "30 sec."}, // half a minute rounds to 0 minutes
        {31000, 0, 0, "1 minutes"},
        {90000, 0, 0, "2 minutes"},
        {30 * 60000, 0, 0, "30 minutes"}, // half an hour rounds to 0 hours
        {31 * 60000, 0, 0, "0h 31"},
        {90 * 60000, 0, 0, "1h 30"},
        {150 * 60000, 0, 0, "2h 30"},
        {10000, 250, 1000, "30 sec."}, // 750 x 10000 / 250 = 30000 ms left
        {10000, 1000, 1000, "0 sec."},
        {1000, 1, 0xFFFFFFFFu, "1193046h 28"}, // estimates beyond 32 bits do not overflow
    };
    for (const auto& c : cases)
        EXPECT_EQ(TimeFmt(c.ms, c.done, c.total), c.expected) << c.ms << " " << c.done << " " << c.total;
}

TEST(WebCopyFormatting, TimeFmtWithDoneBeyondTotalWrapsLikeThe32BitCounter) {
    // total - done wraps to 2^32 - 1; the estimate is huge but well formed.
    const std::string text = TimeFmt(1000, 2000, 1000);
    EXPECT_NE(text.find("h "), std::string::npos) << text;
}

// Files beyond 4 GiB: the figures are not taken modulo 2^32 anywhere.
TEST(WebCopyFormatting, FiguresBeyondFourGibibytesKeepTheirValue) {
    constexpr uint64_t kGi = uint64_t{1} << 30;
    const struct {
        uint64_t n;
        const char* expected;
    } sizes[] = {
        {4 * kGi, "4294.97 Mb"},
        {5000000000u, "5000.00 Mb"},
        {uint64_t{1} << 40, "1099511.63 Mb"},
    };
    for (const auto& c : sizes) EXPECT_EQ(FileSizeFmt(c.n), WithUserSeparator(c.expected)) << c.n;
    EXPECT_EQ(FileSizeFmtSpeed(3000000000), WithUserSeparator("3000.00 Mb/sec"));
    EXPECT_EQ(FileSizeFmtSpeed(-3000000000), "-3000000000 bytes/sec");

    const struct {
        uint32_t ms;
        uint64_t done, total;
        const char* expected;
    } times[] = {
        {1000, 6 * kGi, 8 * kGi, "0 sec."},   // a third of the elapsed time is left
        {60000, 4 * kGi, 8 * kGi, "1 minutes"}, // as much again
        {1000, 9 * kGi, 8 * kGi, "0 sec."},   // more than announced: nothing left
        {1000, 1, UINT64_MAX, "999999999999h 0"},
    };
    for (const auto& c : times)
        EXPECT_EQ(TimeFmt(c.ms, c.done, c.total), c.expected) << c.ms << " " << c.done << " " << c.total;
}

} // namespace
} // namespace zandrel::webcopy
