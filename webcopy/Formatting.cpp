#include "webcopy/Formatting.h"

#include <langinfo.h>
#include <locale.h>

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace zandrel::webcopy {
namespace {

// "%.2f" of `value` with the user's decimal separator.
std::string TwoDecimals(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 2);
    std::string text(buffer, result.ptr);
    const auto dot = text.find('.');
    if (dot != std::string::npos) text.replace(dot, 1, UserDecimalSeparator());
    return text;
}

std::string SizeText(int64_t n, bool belowThousand, bool belowMillion, const char* unitSuffix) {
    if (belowThousand) return std::to_string(n) + " bytes" + unitSuffix;
    if (belowMillion) return TwoDecimals(static_cast<double>(n) / 1000.0) + " Kb" + unitSuffix;
    return TwoDecimals(static_cast<double>(n) / 1000000.0) + " Mb" + unitSuffix;
}

const char* NamedUserLocale() {
    for (const char* variable : {"LC_ALL", "LC_NUMERIC", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value && *value) return value;
    }
    return nullptr;
}

} // namespace

std::string DecimalSeparatorOfLocale(const std::string& localeName) {
    locale_t locale = newlocale(LC_NUMERIC_MASK, localeName.c_str(), static_cast<locale_t>(0));
    if (locale == static_cast<locale_t>(0)) return ".";
    const char* radix = nl_langinfo_l(RADIXCHAR, locale);
    std::string separator = radix && *radix ? radix : ".";
    freelocale(locale);
    return separator;
}

const std::string& UserDecimalSeparator() {
    static const std::string separator = [] {
        const char* name = NamedUserLocale();
        return name ? DecimalSeparatorOfLocale(name) : std::string(".");
    }();
    return separator;
}

std::string FileSizeFmt(uint32_t n) { return SizeText(n, n < 1000u, n < 1000000u, ""); }

std::string FileSizeFmtSpeed(int32_t n) { return SizeText(n, n < 1000, n < 1000000, "/sec"); }

std::string TimeFmt(uint32_t ms, uint32_t done, uint32_t total) {
    double t = ms;
    if (done > 0) t = static_cast<double>(static_cast<uint32_t>(total - done)) * ms / done;
    // Rounded to the nearest, halves to even (the default rounding mode), kept in floating point
    // so that the wrapped difference of done beyond total cannot overflow an integer.
    const double millis = std::nearbyint(t);
    const double secs = std::nearbyint(millis / 1000.0);
    const double mins = std::nearbyint(secs / 60.0);
    const double hours = std::nearbyint(mins / 60.0);
    const auto wholeSecs = static_cast<uint64_t>(secs);
    const auto wholeMins = static_cast<uint64_t>(mins);
    if (mins == 0 && hours == 0) return std::to_string(wholeSecs) + " sec.";
    if (hours >= 1) return std::to_string(wholeMins / 60) + "h " + std::to_string(wholeMins % 60);
    return std::to_string(wholeMins) + " minutes";
}

} // namespace zandrel::webcopy
