#include "platform/rtl/DateTime.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace zandrel::rtl;

namespace {

TEST(RoundHalfEven, HalvesGoToTheEvenNeighbour) {
    const std::pair<double, int64_t> cases[] = {{0.5, 0}, {1.5, 2}, {2.5, 2}, {-0.5, 0}, {-1.5, -2},
                                                {2.4999, 2}, {2.5001, 3}, {29.499, 29}, {0.0, 0}};
    for (auto [in, out] : cases) EXPECT_EQ(RoundHalfEven(in), out) << in;
}

TEST(DateTime, EncodesKnownDays) {
    const struct { int y, m, d; double v; } cases[] = {
        {1899, 12, 30, 0}, {1899, 12, 31, 1}, {1900, 1, 1, 2}, {2000, 1, 1, 36526}, {1970, 1, 1, 25569},
        {1899, 12, 29, -1}, {2024, 2, 29, 45351}};
    for (const auto& c : cases) {
        TDateTime v = 1e9;
        ASSERT_TRUE(TryEncodeDate(c.y, c.m, c.d, v));
        EXPECT_DOUBLE_EQ(v, c.v) << c.y << "-" << c.m << "-" << c.d;
        int y, m, d, h, mi, s, ms;
        DecodeDateTime(v, y, m, d, h, mi, s, ms);
        EXPECT_EQ(std::tie(y, m, d), std::tie(c.y, c.m, c.d));
    }
    TDateTime v;
    EXPECT_FALSE(TryEncodeDate(2023, 2, 29, v));
    EXPECT_FALSE(TryEncodeDate(2023, 13, 1, v));
    EXPECT_FALSE(TryEncodeTime(24, 0, 0, 0, v));
}

TEST(DateTime, TimeBeforeTheEpochKeepsTheRuntimesSignRule) {
    TDateTime date, time;
    ASSERT_TRUE(TryEncodeDate(1899, 12, 29, date));
    ASSERT_TRUE(TryEncodeTime(6, 0, 0, 0, time));
    const TDateTime v = ComposeDateTime(date, time);
    EXPECT_DOUBLE_EQ(v, -1.25);
    int y, m, d, h, mi, s, ms;
    DecodeDateTime(v, y, m, d, h, mi, s, ms);
    EXPECT_EQ(y, 1899);
    EXPECT_EQ(m, 12);
    EXPECT_EQ(d, 29);
    EXPECT_EQ(h, 6);
}

TEST(FileTime, SystemTimeRoundTripAndKnownValue) {
    // 2000-01-01 00:00:00 UTC in FILETIME ticks.
    const FILETIME ft = FILETIME::FromTicks(125911584000000000ULL);
    SYSTEMTIME st;
    ASSERT_TRUE(FileTimeToSystemTime(ft, st));
    EXPECT_EQ(st.wYear, 2000);
    EXPECT_EQ(st.wMonth, 1);
    EXPECT_EQ(st.wDay, 1);
    EXPECT_EQ(st.wDayOfWeek, 6); // a Saturday
    FILETIME back;
    ASSERT_TRUE(SystemTimeToFileTime(st, back));
    EXPECT_EQ(back.Ticks(), ft.Ticks());
    EXPECT_EQ(FileTimeToUnixSeconds(ft), 946684800);
    EXPECT_EQ(UnixToFileTime(946684800).Ticks(), ft.Ticks());
    SYSTEMTIME bad{};
    EXPECT_FALSE(SystemTimeToFileTime(bad, back));
}

// Every layer that reads a date (HTTP headers, FTP replies and listings, the clock) fills the
// record through one helper; its day of the week agrees with the calendar, and a date outside the
// calendar keeps its fields for the range check that follows and gets no day of the week.
TEST(FileTime, SystemTimeFromFieldsKnowsTheDayOfTheWeek) {
    const struct {
        int year, month, day;
        uint16_t dayOfWeek;
    } cases[] = {
        {1601, 1, 1, 1},  {1970, 1, 1, 4}, {2000, 1, 1, 6}, {2024, 2, 29, 4},
        {1899, 12, 30, 6}, {2023, 2, 29, 0}, {2024, 13, 1, 0}, {2024, 0, 1, 0},
    };
    for (const auto& c : cases) {
        const SYSTEMTIME st = MakeSystemTime(c.year, c.month, c.day, 23, 59, 58, 999);
        EXPECT_EQ(st.wDayOfWeek, c.dayOfWeek) << c.year << "-" << c.month << "-" << c.day;
        EXPECT_EQ(st.wYear, c.year);
        EXPECT_EQ(st.wMonth, c.month);
        EXPECT_EQ(st.wDay, c.day);
        EXPECT_EQ(st.wHour, 23);
        EXPECT_EQ(st.wMinute, 59);
        EXPECT_EQ(st.wSecond, 58);
        EXPECT_EQ(st.wMilliseconds, 999);
    }
    // The record made from a FILETIME is the one made from its fields.
    SYSTEMTIME fromTicks;
    FILETIME ft;
    ASSERT_TRUE(SystemTimeToFileTime(MakeSystemTime(2024, 2, 29, 12, 30, 15, 250), ft));
    ASSERT_TRUE(FileTimeToSystemTime(ft, fromTicks));
    EXPECT_EQ(fromTicks.wDayOfWeek, 4);
    EXPECT_EQ(fromTicks.wMilliseconds, 250);
}

TEST(FileTime, LocalShiftFollowsTheZone) {
    const char* old = std::getenv("TZ");
    const std::string saved = old ? old : "";
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    const FILETIME summer = UnixToFileTime(1719835200); // 2024-07-01 12:00 UTC, CEST
    FILETIME local, utc;
    ASSERT_TRUE(FileTimeToLocalFileTime(summer, local));
    EXPECT_EQ(FileTimeToUnixSeconds(local) - 1719835200, 7200);
    ASSERT_TRUE(LocalFileTimeToFileTime(local, utc));
    EXPECT_EQ(utc.Ticks(), summer.Ticks());
    EXPECT_EQ(LocalDateTimeToUnix(UnixToLocalDateTime(1719835200)), 1719835200);
    if (old) setenv("TZ", saved.c_str(), 1); else unsetenv("TZ");
    tzset();
}

} // namespace
