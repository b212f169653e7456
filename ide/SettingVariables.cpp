#include "ide/SettingVariables.h"

namespace zandrel::ide {

std::string ZipStr;
std::string FTPHt;
std::string FTPUserName;
std::string FTPPwd;
int32_t FTPprt = 0;
std::string FTPSecurity;
std::string SSHKeyFile;
std::string FTPDir;
std::string FTPBaseUrl;
std::string EmailTo;
std::string EmailCC;
std::string EmailBCC;
std::string EmailSubject;
std::string EmailBody;
bool EmailAuto = false;
bool FTPPas = false;

void ReleaseSettingVariables() {
    for (std::string* s : {&FTPDir, &FTPUserName, &FTPPwd, &FTPHt, &FTPBaseUrl, &EmailTo, &EmailCC, &EmailBCC,
                           &EmailSubject, &EmailBody, &ZipStr, &FTPSecurity, &SSHKeyFile})
        s->clear();
}

} // namespace zandrel::ide
