#pragma once
// Where the settings live in the user's registry store, and the names of their values. Value names
// are matched without regard to letter case.
#include <cstdint>
#include <string_view>

namespace zandrel::settings {

inline constexpr std::string_view SettingsKeyPath = "\\Software\\QuillonSoftware\\FTPUploaderIDEPlugin";

// In the order the options dialog writes them.
inline constexpr std::string_view ValueFTPUserName = "FTPUserName";   // string, scrambled
inline constexpr std::string_view ValueFTPpwd = "FTPpwd";             // string, scrambled
inline constexpr std::string_view ValueFTPPort = "FTPPort";           // 32-bit number
// string: none, ftps, ftps-implicit or sftp (see FtpTransport.h); absent means plain FTP, and
// plain FTP is not written where the value is absent, so older settings files stay as they are.
inline constexpr std::string_view ValueFTPSecurity = "FTPSecurity";
// string: the path of the SSH private key for SFTP logins; absent or empty for the usual keys.
// A path, never the key itself nor its passphrase.
inline constexpr std::string_view ValueSSHKeyFile = "SSHKeyFile";
inline constexpr std::string_view ValueFTPHost = "FTPHost";           // string
inline constexpr std::string_view ValueFTPDirectory = "FTPDirectory"; // string
inline constexpr std::string_view ValueFTPPassive = "FTPPassive";     // boolean (number 1/0)
inline constexpr std::string_view ValueFTPBaseUrl = "FTPBaseUrl";     // string ending in "/"
// The readers test for the base URL under this spelling; it is the same value.
inline constexpr std::string_view ValueFTPBaseURLProbe = "FTPBaseURL";
inline constexpr std::string_view ValueZIPFilter = "ZIPFilter";       // string, upper-cased, ";"-joined
inline constexpr std::string_view ValueEMAILTo = "EMAILTo";           // string
inline constexpr std::string_view ValueEMAILCC = "EMAILCC";           // string
inline constexpr std::string_view ValueEMAILBCC = "EMAILBCC";         // string
inline constexpr std::string_view ValueEMAILSubject = "EMAILSubject"; // string
inline constexpr std::string_view ValueEMAILBody = "EMAILBody";       // string, every line ended by CR LF
inline constexpr std::string_view ValueEMAILAuto = "EMAILAuto";       // boolean (number 1/0)

// The key every caller passes to Encrypt and Decrypt.
inline constexpr uint16_t ScrambleKey = 27966;
// The port used when none is stored.
inline constexpr int32_t DefaultFTPPort = 21;
// The built-in filter list as it is stored.
inline constexpr std::string_view DefaultZipFilter = "*.PAS;*.DPK;*.DPR;*.RES;*.DFM";

} // namespace zandrel::settings
