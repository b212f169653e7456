#pragma once
// Which servers are reached directly although a proxy is set: the component's bypass list or
// the conventional `no_proxy` variable.
#include <string>

namespace zandrel::inet::detail {

// Whether `host` (a name, or an address; IPv6 without brackets) is in `bypass`: entries
// separated by commas, semicolons or blanks. "*" covers every host; "<local>" names without a
// dot; a name covers itself and its subdomains (a leading dot changes nothing); an address
// covers itself, and an address with a prefix length ("10.0.0.0/8", "fd00::/8") its network.
// A port in an entry ("host:8080", "[::1]:8080") is ignored, as curl and wget ignore it.
bool Bypassed(const std::string& host, const std::string& bypass);

} // namespace zandrel::inet::detail
