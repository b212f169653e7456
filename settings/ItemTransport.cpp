#include "settings/ItemTransport.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace zandrel::settings {
namespace {

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') return home;
    if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr) return entry->pw_dir;
    return {};
}

} // namespace

webcopy::TZandrelWebCopyFtpSecurity WebCopySecurity(FtpTransport transport) {
    switch (transport) {
    case FtpTransport::FtpsExplicit: return webcopy::fsFtpsExplicit;
    case FtpTransport::FtpsImplicit: return webcopy::fsFtpsImplicit;
    case FtpTransport::Sftp: return webcopy::fsSftp;
    default: return webcopy::fsNone;
    }
}

std::string KeyFilePath(std::string_view setting) {
    if (!setting.starts_with("~/")) return std::string(setting);
    // Without a home folder the text stays as it is, and the login names the file it could not read.
    const std::string home = HomeFolder();
    if (home.empty()) return std::string(setting);
    return home + (home.back() == '/' ? "" : "/") + std::string(setting.substr(2));
}

void ApplyTransport(webcopy::TZandrelWebCopyItem& item, FtpTransport transport, std::string_view keyFile) {
    item.FTPSecurity = WebCopySecurity(transport);
    item.SSHKeyFile = KeyFilePath(keyFile);
}

} // namespace zandrel::settings
