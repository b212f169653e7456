#pragma once
// The server part of a URL as the login caption names it: what lies between "://" and the first
// "/" or "\" (user information and port included).
#include <string>

namespace zandrel::webcopy {

std::string ExtractUrlHost(const std::string& URL);

} // namespace zandrel::webcopy
