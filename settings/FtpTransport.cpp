#include "settings/FtpTransport.h"

#include "platform/registry/HiveFile.h"
#include "platform/rtl/Utf16.h"
#include "settings/SettingNames.h"

namespace zandrel::settings {
namespace {

struct Named {
    FtpTransport transport;
    std::string_view word;
};

// "ftps" alone is the explicit form, as curl and lftp take it: the one servers offer most.
constexpr Named kTransports[] = {
    {FtpTransport::Ftp, "none"},
    {FtpTransport::FtpsExplicit, "ftps"},
    {FtpTransport::FtpsImplicit, "ftps-implicit"},
    {FtpTransport::Sftp, "sftp"},
};

} // namespace

std::string_view TransportWord(FtpTransport transport) {
    for (const Named& n : kTransports)
        if (n.transport == transport) return n.word;
    return "none";
}

std::optional<FtpTransport> TransportFromWord(std::string_view word) {
    for (const Named& n : kTransports)
        if (rtl::SameTextAscii(n.word, word)) return n.transport;
    return std::nullopt;
}

std::string TransportWords() {
    std::string words;
    constexpr size_t count = std::size(kTransports);
    for (size_t i = 0; i < count; ++i)
        words += std::string(i == 0 ? "" : i + 1 == count ? " or " : ", ") + std::string(kTransports[i].word);
    return words;
}

FtpTransport StoredTransport(std::string_view stored) {
    if (stored.empty()) return FtpTransport::Ftp;
    if (const std::optional<FtpTransport> transport = TransportFromWord(stored)) return *transport;
    throw StoredOptionError(StoredTransportProblem(stored));
}

std::string StoredTransportProblem(std::string_view stored) {
    if (stored.empty() || TransportFromWord(stored)) return {};
    return "the setting \"" + std::string(ValueFTPSecurity) + "\" in '" + registry::UserHivePath() + "' holds \"" +
           std::string(stored) + "\", which names no transport this version knows; it takes " + TransportWords() +
           " (or no value at all, for plain FTP). Choose one in the options dialog or with: zandrel options --set "
           "security=WORD";
}

int32_t DefaultPortOf(FtpTransport transport) {
    switch (transport) {
    case FtpTransport::FtpsImplicit: return 990;
    case FtpTransport::Sftp: return 22;
    default: return DefaultFTPPort;
    }
}

int32_t PortAfterTransportChange(int32_t port, FtpTransport from, FtpTransport to) {
    return port == 0 || port == DefaultPortOf(from) ? DefaultPortOf(to) : port;
}

} // namespace zandrel::settings
