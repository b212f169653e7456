#include "settings/ApplyForwardSlash.h"

namespace zandrel::settings {

std::string ApplyForwardSlash(std::string_view text) {
    std::string result(text);
    if (result.empty() || result.back() != '/') result += '/';
    return result;
}

} // namespace zandrel::settings
