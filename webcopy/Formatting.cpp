#include "webcopy/Formatting.h"

#include <cmath>

#include "platform/rtl/Locale.h"

namespace zandrel::webcopy {
namespace {

// "%.2f" of n / divisor (1000 or 1000000) with the user's decimal separator, in integer arithmetic:
// progress lines format sizes and rates after every 4 KB block, and printing doubles cost more
// than the rest of a block's bookkeeping. The digits are those printf gives for the double
// n / divisor: away from a decimal halfway point the double cannot fall on the other side (it lies
// within 1e-16 of n / divisor, the nearest halfway point at least 1e-6 away); at a halfway point
// printf rounds the double, which lies just above, just below or (for binary fractions such as
// 1.375) on it, and fma tells which.
std::string ScaledTwoDecimals(uint64_t n, uint64_t divisor) {
    const uint64_t unit = divisor / 100; // one hundredth of the scaled value
    uint64_t hundredths = n / unit;
    const uint64_t rest = n % unit;
    bool up = rest > unit / 2;
    if (rest == unit / 2) {
        const double scaled = static_cast<double>(n) / static_cast<double>(divisor);
        const double above = std::fma(scaled, static_cast<double>(divisor), -static_cast<double>(n));
        // Exactly on the halfway point (1.375 is a binary fraction): printf rounds half to even.
        up = above > 0 || (above == 0 && hundredths % 2 == 1);
    }
    if (up) ++hundredths;
    std::string text = std::to_string(hundredths / 100);
    text += rtl::UserDecimalSeparator();
    const auto fraction = static_cast<char>(hundredths % 100);
    text += static_cast<char>('0' + fraction / 10);
    text += static_cast<char>('0' + fraction % 10);
    return text;
}

// n of 1000 and more, in Kb below a million and in Mb from there on.
std::string ScaledSizeText(uint64_t n, const char* unitSuffix) {
    if (n < 1000000u) return ScaledTwoDecimals(n, 1000) + " Kb" + unitSuffix;
    return ScaledTwoDecimals(n, 1000000) + " Mb" + unitSuffix;
}

} // namespace

std::string FileSizeFmt(uint64_t n) {
    if (n < 1000u) return std::to_string(n) + " bytes";
    return ScaledSizeText(n, "");
}

std::string FileSizeFmtSpeed(int64_t n) {
    if (n < 1000) return std::to_string(n) + " bytes/sec";
    return ScaledSizeText(static_cast<uint64_t>(n), "/sec");
}

std::string TimeFmt(uint32_t ms, uint64_t done, uint64_t total) {
    double t = ms;
    if (done > 0) {
        uint64_t left = 0;
        if (done <= total) left = total - done;
        else if (total <= UINT32_MAX) left = static_cast<uint32_t>(total - done);
        t = static_cast<double>(left) * ms / static_cast<double>(done);
    }
    // Rounded to the nearest, halves to even (the default rounding mode), kept in floating point
    // so that the wrapped difference of done beyond total cannot overflow an integer.
    const double millis = std::nearbyint(t);
    const double secs = std::nearbyint(millis / 1000.0);
    const double mins = std::nearbyint(secs / 60.0);
    const double hours = std::nearbyint(mins / 60.0);
    // 2^64 bytes left at one byte per 4 s would not fit the counters below; nobody waits that long.
    if (mins >= 1e15) return "999999999999h 0";
    const auto wholeSecs = static_cast<uint64_t>(secs);
    const auto wholeMins = static_cast<uint64_t>(mins);
    if (mins == 0 && hours == 0) return std::to_string(wholeSecs) + " sec.";
    if (hours >= 1) return std::to_string(wholeMins / 60) + "h " + std::to_string(wholeMins % 60);
    return std::to_string(wholeMins) + " minutes";
}

} // namespace zandrel::webcopy
