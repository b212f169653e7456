#pragma once
#include <string>
#include <string_view>

namespace zandrel::settings {

// The base URL as it is stored: always ending in "/", so that a file name can be appended to it
// directly. An empty text becomes "/".
std::string ApplyForwardSlash(std::string_view text);

} // namespace zandrel::settings
