#include "platform/rtl/Locale.h"

#include <langinfo.h>
#include <locale.h>

#include <cstdlib>

namespace zandrel::rtl {
namespace {

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

} // namespace zandrel::rtl
