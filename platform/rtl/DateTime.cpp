#include "platform/rtl/DateTime.h"

#include <chrono>
#include <cmath>

namespace zandrel::rtl {
namespace {

constexpr int64_t kTicksPerSecond = 10'000'000;
constexpr int64_t kUnixEpochTicks = 116'444'736'000'000'000; // 1970-01-01 in FILETIME ticks
constexpr double kMsPerDay = 86'400'000.0;
constexpr int64_t kUnixEpochDays = 25569; // 1970-01-01 as a TDateTime

// Days from 1 January of year 1 (proleptic Gregorian) to the given date, that date excluded.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468; // days since 1970-01-01
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(static_cast<int64_t>(yoe) + era * 400 + (m <= 2));
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Milliseconds since 1899-12-30 00:00 on a straight line. Before that day the runtime keeps the
// day negative and the time of day as a positive magnitude, so -1.25 is 29 December, 06:00.
int64_t LinearMs(TDateTime value) {
    const double whole = std::trunc(value);
    return static_cast<int64_t>(whole) * 86'400'000 + RoundHalfEven(std::fabs(value - whole) * kMsPerDay);
}

TDateTime FromLinearMs(int64_t ms) {
    int64_t days = ms / 86'400'000;
    int64_t rest = ms % 86'400'000;
    if (rest < 0) {
        days -= 1;
        rest += 86'400'000;
    }
    return ComposeDateTime(static_cast<double>(days), static_cast<double>(rest) / kMsPerDay);
}

} // namespace

int64_t RoundHalfEven(double value) {
    return static_cast<int64_t>(std::nearbyint(value)); // default rounding mode: to nearest, ties to even
}

bool IsLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

bool TryEncodeDate(int year, int month, int day, TDateTime& result) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
        return false;
    result = static_cast<double>(DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) +
                                 kUnixEpochDays);
    return true;
}

bool TryEncodeTime(int hour, int minute, int second, int millisecond, TDateTime& result) {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || millisecond < 0 ||
        millisecond > 999)
        return false;
    result = ((hour * 3600.0 + minute * 60.0 + second) * 1000.0 + millisecond) / kMsPerDay;
    return true;
}

TDateTime ComposeDateTime(TDateTime date, TDateTime time) { return date >= 0 ? date + time : date - time; }

void DecodeDateTime(TDateTime value, int& year, int& month, int& day, int& hour, int& minute, int& second,
                    int& millisecond) {
    // Before 1899-12-30 the runtime keeps the day negative and the time of day as a positive
    // magnitude, so the whole part is the day and the fraction's magnitude is the time.
    double whole = std::trunc(value);
    int64_t ms = RoundHalfEven(std::fabs(value - whole) * kMsPerDay);
    if (ms >= 86'400'000) {
        ms -= 86'400'000;
        whole += value < 0 ? -1 : 1;
    }
    CivilFromDays(static_cast<int64_t>(whole) - kUnixEpochDays, year, month, day);
    hour = static_cast<int>(ms / 3'600'000);
    minute = static_cast<int>(ms / 60'000 % 60);
    second = static_cast<int>(ms / 1000 % 60);
    millisecond = static_cast<int>(ms % 1000);
}

TDateTime Now() {
    const auto now = std::chrono::system_clock::now();
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(now.time_since_epoch()).count();
    const int64_t secs = us / 1'000'000;
    return UnixToLocalDateTime(secs) + static_cast<double>(us % 1'000'000) / 1000.0 / kMsPerDay;
}

FILETIME UnixToFileTime(int64_t seconds, int64_t nanoseconds) {
    return FILETIME::FromTicks(static_cast<uint64_t>(kUnixEpochTicks + seconds * kTicksPerSecond + nanoseconds / 100));
}

int64_t FileTimeToUnixSeconds(const FILETIME& ft) {
    const auto ticks = static_cast<int64_t>(ft.Ticks());
    int64_t rel = ticks - kUnixEpochTicks;
    return rel >= 0 ? rel / kTicksPerSecond : -((-rel + kTicksPerSecond - 1) / kTicksPerSecond);
}

SYSTEMTIME MakeSystemTime(int year, int month, int day, int hour, int minute, int second, int millisecond) {
    SYSTEMTIME st;
    st.wYear = static_cast<uint16_t>(year);
    st.wMonth = static_cast<uint16_t>(month);
    st.wDay = static_cast<uint16_t>(day);
    st.wHour = static_cast<uint16_t>(hour);
    st.wMinute = static_cast<uint16_t>(minute);
    st.wSecond = static_cast<uint16_t>(second);
    st.wMilliseconds = static_cast<uint16_t>(millisecond);
    if (month >= 1 && month <= 12 && day >= 1 && day <= DaysInMonth(year, month)) {
        const int64_t days = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
        st.wDayOfWeek = static_cast<uint16_t>((days % 7 + 7 + 4) % 7); // 1970-01-01 was a Thursday
    }
    return st;
}

bool FileTimeToSystemTime(const FILETIME& ft, SYSTEMTIME& st) {
    const uint64_t ticks = ft.Ticks();
    if (ticks >= 0x8000000000000000ULL) return false;
    const auto ms = static_cast<int64_t>(ticks / 10'000);
    const int64_t days = ms / 86'400'000; // since 1601-01-01
    const int64_t rest = ms % 86'400'000;
    int y, m, d;
    CivilFromDays(days + DaysFromCivil(1601, 1, 1), y, m, d);
    if (y > 30827) return false;
    st = MakeSystemTime(y, m, d, static_cast<int>(rest / 3'600'000), static_cast<int>(rest / 60'000 % 60),
                        static_cast<int>(rest / 1000 % 60), static_cast<int>(rest % 1000));
    return true;
}

bool SystemTimeToFileTime(const SYSTEMTIME& st, FILETIME& ft) {
    if (st.wYear < 1601 || st.wYear > 30827 || st.wMonth < 1 || st.wMonth > 12 || st.wDay < 1 ||
        st.wDay > DaysInMonth(st.wYear, st.wMonth) || st.wHour > 23 || st.wMinute > 59 || st.wSecond > 59 ||
        st.wMilliseconds > 999)
        return false;
    const int64_t days = DaysFromCivil(st.wYear, st.wMonth, st.wDay) - DaysFromCivil(1601, 1, 1);
    const int64_t ms = days * 86'400'000 + st.wHour * 3'600'000LL + st.wMinute * 60'000LL + st.wSecond * 1000LL +
                       st.wMilliseconds;
    ft = FILETIME::FromTicks(static_cast<uint64_t>(ms) * 10'000);
    return true;
}

namespace {
int64_t UtcOffsetSeconds(int64_t unixSeconds) {
    const auto t = static_cast<time_t>(unixSeconds);
    tm local{};
    if (!localtime_r(&t, &local)) return 0;
    return local.tm_gmtoff;
}
} // namespace

bool FileTimeToLocalFileTime(const FILETIME& utc, FILETIME& local) {
    const int64_t offset = UtcOffsetSeconds(FileTimeToUnixSeconds(utc));
    const auto ticks = static_cast<int64_t>(utc.Ticks()) + offset * kTicksPerSecond;
    if (ticks < 0) return false;
    local = FILETIME::FromTicks(static_cast<uint64_t>(ticks));
    return true;
}

bool LocalFileTimeToFileTime(const FILETIME& local, FILETIME& utc) {
    // Take the offset at the moment the local clock reading denotes; near a zone change the
    // reading is ambiguous and the first guess wins.
    const int64_t guess = FileTimeToUnixSeconds(local);
    const int64_t offset = UtcOffsetSeconds(guess - UtcOffsetSeconds(guess));
    const auto ticks = static_cast<int64_t>(local.Ticks()) - offset * kTicksPerSecond;
    if (ticks < 0) return false;
    utc = FILETIME::FromTicks(static_cast<uint64_t>(ticks));
    return true;
}

TDateTime UnixToLocalDateTime(int64_t seconds) {
    const int64_t local = seconds + UtcOffsetSeconds(seconds);
    return FromLinearMs((local + kUnixEpochDays * 86'400) * 1000);
}

int64_t LocalDateTimeToUnix(TDateTime value) {
    const int64_t localMs = LinearMs(value);
    const int64_t local = localMs / 1000 - kUnixEpochDays * 86'400;
    return local - UtcOffsetSeconds(local - UtcOffsetSeconds(local));
}

} // namespace zandrel::rtl
