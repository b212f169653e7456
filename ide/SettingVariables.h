#pragma once
// The settings as the project commands see them: loaded from the store by ReadRegistryValues at
// the start of every command, kept for the life of the package, released when it unloads.
#include <cstdint>
#include <string>

namespace zandrel::ide {

extern std::string ZipStr;
extern std::string FTPHt;
extern std::string FTPUserName;
extern std::string FTPPwd;
extern int32_t FTPprt;
// The stored transport word ("FTPSecurity"), empty when none is stored (plain FTP). Kept as
// stored: an upload reads it with settings::StoredTransport, which refuses a word it does not
// know, while Zip Project and Zip && Email Project, which do not use it, run as before.
extern std::string FTPSecurity;
extern std::string SSHKeyFile;
extern std::string FTPDir;
extern std::string FTPBaseUrl;
extern std::string EmailTo;
extern std::string EmailCC;
extern std::string EmailBCC;
extern std::string EmailSubject;
extern std::string EmailBody;
extern bool EmailAuto;
extern bool FTPPas;

// Clears the string variables, as unloading the package does.
void ReleaseSettingVariables();

} // namespace zandrel::ide
