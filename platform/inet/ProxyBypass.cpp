#include "platform/inet/ProxyBypass.h"

#include <Poco/Net/IPAddress.h>

#include <cctype>
#include <charconv>

namespace zandrel::inet::detail {
namespace {

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// "[::1]:8080" -> "::1", "host:8080" -> "host"; an IPv6 address without brackets stays whole.
std::string WithoutPort(const std::string& entry) {
    if (!entry.empty() && entry.front() == '[') {
        const size_t close = entry.find(']');
        return close == std::string::npos ? entry : entry.substr(1, close - 1);
    }
    const size_t colon = entry.find(':');
    return colon != std::string::npos && entry.find(':', colon + 1) == std::string::npos ? entry.substr(0, colon) : entry;
}

// Whether `host` is an address inside the network "address/bits".
bool InNetwork(const std::string& host, const std::string& network) {
    const size_t slash = network.find('/');
    Poco::Net::IPAddress address, base;
    if (!Poco::Net::IPAddress::tryParse(host, address) ||
        !Poco::Net::IPAddress::tryParse(WithoutPort(network.substr(0, slash)), base) ||
        address.family() != base.family())
        return false;
    const std::string digits = network.substr(slash + 1);
    unsigned bits = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), bits);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() || bits > base.length() * 8)
        return false;
    const Poco::Net::IPAddress mask(bits, base.family());
    return (address & mask) == (base & mask);
}

} // namespace

bool Bypassed(const std::string& host, const std::string& bypass) {
    std::string name = Lower(host);
    if (name.size() > 1 && name.front() == '[' && name.back() == ']') name = name.substr(1, name.size() - 2);
    size_t start = 0;
    while (start < bypass.size()) {
        size_t end = bypass.find_first_of(",; \t", start);
        if (end == std::string::npos) end = bypass.size();
        const std::string entry = Lower(bypass.substr(start, end - start));
        start = end + 1;
        if (entry.empty()) continue;
        if (entry == "*") return true;
        if (entry == "<local>") {
            if (name.find('.') == std::string::npos && name.find(':') == std::string::npos) return true;
            continue;
        }
        if (entry.find('/') != std::string::npos) {
            if (InNetwork(name, entry)) return true;
            continue;
        }
        std::string domain = WithoutPort(entry);
        if (!domain.empty() && domain.front() == '.') domain.erase(0, 1);
        if (domain.empty()) continue;
        if (name == domain) return true;
        if (name.size() > domain.size() && name.compare(name.size() - domain.size(), domain.size(), domain) == 0 &&
            name[name.size() - domain.size() - 1] == '.')
            return true;
    }
    return false;
}

} // namespace zandrel::inet::detail
