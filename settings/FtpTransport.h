#pragma once
// How uploads and the connection test reach the FTP server, as the settings hold it: by a word of
// its own in the store ("FTPSecurity"), whose absence means plain FTP, so that settings written
// before there was a choice keep meaning what they meant.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/rtl/Error.h"

namespace zandrel::settings {

enum class FtpTransport {
    Ftp,          // plain FTP: password and files in clear text
    FtpsExplicit, // FTP that turns to TLS with AUTH TLS on the control port
    FtpsImplicit, // FTP spoken over TLS from the first byte
    Sftp,         // the SSH file transfer protocol
};

// A stored value the program cannot use. The message names the value, what it holds and what it
// may hold.
class StoredOptionError : public rtl::Error {
public:
    using rtl::Error::Error;
};

// The word that stands for a transport in the store and on the command line: "none", "ftps",
// "ftps-implicit" or "sftp".
std::string_view TransportWord(FtpTransport transport);
// The transport a word names, letter case aside; nullopt for a word that names none.
std::optional<FtpTransport> TransportFromWord(std::string_view word);
// "none, ftps, ftps-implicit or sftp", for messages.
std::string TransportWords();

// The transport a stored "FTPSecurity" value names; an empty value is no choice, plain FTP as when
// there is no value. A word this version does not know (written by
// hand, or by a later version with a transport of its own) is never read as plain FTP, which
// would send the password in clear text to a server meant to get it encrypted: it throws
// StoredOptionError saying what the value holds and what it takes.
FtpTransport StoredTransport(std::string_view stored);
// What StoredTransport would throw for `stored`, or an empty string when it names a transport.
std::string StoredTransportProblem(std::string_view stored);

// The port a transport's servers listen on unless told otherwise: 21, 990 for implicit FTPS, 22
// for SFTP.
int32_t DefaultPortOf(FtpTransport transport);
// The port once the transport changes from `from` to `to`: the new transport's default while
// `port` is still the old one's (or 0, which has always stood for the default); a port the
// person chose stays.
int32_t PortAfterTransportChange(int32_t port, FtpTransport from, FtpTransport to);

} // namespace zandrel::settings
