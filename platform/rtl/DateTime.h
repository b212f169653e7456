#pragma once
// The runtime's date-time value (days since 30 December 1899, the fraction being the time of day)
// and the two Windows time records that file dates arrive in.
#include <cstdint>
#include <ctime>

namespace zandrel::rtl {

using TDateTime = double;

// 100-nanosecond intervals since 1 January 1601 UTC, split into two 32-bit halves.
struct FILETIME {
    uint32_t dwLowDateTime = 0;
    uint32_t dwHighDateTime = 0;
    uint64_t Ticks() const { return (uint64_t{dwHighDateTime} << 32) | dwLowDateTime; }
    static FILETIME FromTicks(uint64_t ticks) {
        return {static_cast<uint32_t>(ticks), static_cast<uint32_t>(ticks >> 32)};
    }
};

struct SYSTEMTIME {
    uint16_t wYear = 0;
    uint16_t wMonth = 0;
    uint16_t wDayOfWeek = 0; // 0 = Sunday
    uint16_t wDay = 0;
    uint16_t wHour = 0;
    uint16_t wMinute = 0;
    uint16_t wSecond = 0;
    uint16_t wMilliseconds = 0;
};

// Rounds to the nearest integer, halves to the even neighbour (the runtime's Round).
int64_t RoundHalfEven(double value);

bool IsLeapYear(int year);
// False for a date or time outside the calendar (month 13, 25 o'clock, year 0 ...).
bool TryEncodeDate(int year, int month, int day, TDateTime& result);
bool TryEncodeTime(int hour, int minute, int second, int millisecond, TDateTime& result);
// Date plus time of day, with the runtime's convention for dates before 1899-12-30.
TDateTime ComposeDateTime(TDateTime date, TDateTime time);
void DecodeDateTime(TDateTime value, int& year, int& month, int& day, int& hour, int& minute,
                    int& second, int& millisecond);

// The current local time.
TDateTime Now();

// Conversions between the Unix clock and FILETIME (both UTC).
FILETIME UnixToFileTime(int64_t seconds, int64_t nanoseconds = 0);
int64_t FileTimeToUnixSeconds(const FILETIME& ft);

// The record of these fields (each cut to its 16 bits as the record holds them), with the day of
// the week worked out when the date is in the calendar (0 otherwise).
SYSTEMTIME MakeSystemTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                          int millisecond = 0);
bool FileTimeToSystemTime(const FILETIME& ft, SYSTEMTIME& st);
bool SystemTimeToFileTime(const SYSTEMTIME& st, FILETIME& ft);
// Shifts a UTC FILETIME to local time by the zone offset that held at that moment.
bool FileTimeToLocalFileTime(const FILETIME& utc, FILETIME& local);
bool LocalFileTimeToFileTime(const FILETIME& local, FILETIME& utc);

// Local date-time <-> Unix time, through the C library's time zone rules.
TDateTime UnixToLocalDateTime(int64_t seconds);
int64_t LocalDateTimeToUnix(TDateTime value);

} // namespace zandrel::rtl
