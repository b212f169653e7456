#include "webcopy/FtpEndpoint.h"

#include <array>
#include <cctype>
#include <charconv>
#include <string_view>

namespace zandrel::webcopy {
namespace {

struct Prefix {
    std::string_view text;
    TZandrelWebCopyFtpSecurity security;
    const char* name; // as a person would say it
};
// "ftp://" says nothing against a transport chosen on the item: a host pasted from an address.
constexpr std::array<Prefix, 4> kPrefixes{{{"sftp://", fsSftp, "SFTP"},
                                           {"ftps://", fsFtpsImplicit, "FTPS (implicit TLS)"},
                                           {"ftpes://", fsFtpsExplicit, "FTPS (explicit TLS)"},
                                           {"ftp://", fsNone, "plain FTP"}}};

const char* SecurityName(TZandrelWebCopyFtpSecurity security) {
    for (const Prefix& prefix : kPrefixes)
        if (prefix.security == security) return prefix.name;
    return "an unknown transport";
}

bool StartsWithNoCase(std::string_view text, std::string_view start) {
    if (text.size() < start.size()) return false;
    for (size_t i = 0; i < start.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != start[i]) return false;
    return true;
}

} // namespace

int32_t DefaultFtpPort(TZandrelWebCopyFtpSecurity security) {
    switch (security) {
    case fsFtpsImplicit: return 990;
    case fsSftp: return 22;
    default: return 21;
    }
}

FtpEndpoint ResolveFtpEndpoint(const std::string& host, int32_t port, TZandrelWebCopyFtpSecurity security,
                               std::string& problem) {
    problem.clear();
    FtpEndpoint endpoint{host, port, security};
    bool portNamed = false; // by the host, which then means just that port
    const Prefix* named = nullptr;
    for (const Prefix& prefix : kPrefixes)
        if (StartsWithNoCase(host, prefix.text)) {
            named = &prefix;
            break;
        }
    if (named) {
        std::string_view rest = std::string_view(host).substr(named->text.size());
        if (!rest.empty() && rest.back() == '/') rest.remove_suffix(1);
        if (rest.find_first_of("/@") != std::string_view::npos) {
            problem = "the FTP host \"" + host + "\" holds more than a server's name; give the user as FTPUserID "
                      "and the folder in the item's URL or TargetDir";
            return endpoint;
        }
        // "host:port", but not a bare IPv6 address ("::1", which has several colons).
        const size_t colon = rest.rfind(':');
        if (colon != std::string_view::npos && rest.find(':') == colon) {
            int32_t given = 0;
            const std::string_view digits = rest.substr(colon + 1);
            const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), given);
            if (error != std::errc() || end != digits.data() + digits.size()) {
                problem = "the FTP host \"" + host + "\" ends in something that is not a port number";
                return endpoint;
            }
            if (port != 21 && port != 0 && port != given) {
                problem = "the FTP host \"" + host + "\" names port " + std::to_string(given) + ", but FTPPort is " +
                          std::to_string(port);
                return endpoint;
            }
            endpoint.port = given;
            portNamed = true;
            rest = rest.substr(0, colon);
        }
        endpoint.host = std::string(rest);
        if (named->security != fsNone) {
            if (security != fsNone && security != named->security) {
                problem = std::string("the FTP host \"") + host + "\" says " + named->name + ", but FTPSecurity says " +
                          SecurityName(security) + "; give one of them";
                return endpoint;
            }
            endpoint.security = named->security;
        }
    }
    if (!portNamed && (endpoint.port == 21 || endpoint.port == 0)) endpoint.port = DefaultFtpPort(endpoint.security);
    return endpoint;
}

} // namespace zandrel::webcopy
