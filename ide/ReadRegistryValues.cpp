#include "ide/ContextMenu.h"
#include "ide/SettingVariables.h"
#include "platform/registry/Registry.h"
#include "settings/Scramble.h"
#include "settings/SettingNames.h"

namespace zandrel::ide {

void TProjectContextMenu::ReadRegistryValues() {
    using namespace settings;
    registry::TRegistry reg;
    reg.SetRootKey(registry::HKEY_CURRENT_USER);
    reg.OpenKey(SettingsKeyPath, true);

    // A value that is absent leaves its variable as it was; only the port falls back to 21, and
    // the transport and key file to none, since a transport left over from an earlier read would
    // take the uploads somewhere the settings no longer say. A value of the wrong type raises and
    // ends the read there.
    auto readString = [&](std::string_view name, std::string& variable) {
        if (reg.ValueExists(name)) variable = reg.ReadString(name);
    };
    auto readBool = [&](std::string_view name, bool& variable) {
        if (reg.ValueExists(name)) variable = reg.ReadBool(name);
    };

    if (reg.ValueExists(ValueFTPUserName)) FTPUserName = Decrypt(reg.ReadString(ValueFTPUserName), ScrambleKey);
    if (reg.ValueExists(ValueFTPpwd)) FTPPwd = Decrypt(reg.ReadString(ValueFTPpwd), ScrambleKey);
    FTPprt = reg.ValueExists(ValueFTPPort) ? reg.ReadInteger(ValueFTPPort) : DefaultFTPPort;
    FTPSecurity = reg.ValueExists(ValueFTPSecurity) ? reg.ReadString(ValueFTPSecurity) : std::string();
    SSHKeyFile = reg.ValueExists(ValueSSHKeyFile) ? reg.ReadString(ValueSSHKeyFile) : std::string();
    readString(ValueFTPHost, FTPHt);
    readString(ValueFTPDirectory, FTPDir);
    readBool(ValueFTPPassive, FTPPas);
    if (reg.ValueExists(ValueFTPBaseURLProbe)) FTPBaseUrl = reg.ReadString(ValueFTPBaseUrl);
    readString(ValueZIPFilter, ZipStr);
    readString(ValueEMAILTo, EmailTo);
    readString(ValueEMAILCC, EmailCC);
    readString(ValueEMAILBCC, EmailBCC);
    readString(ValueEMAILSubject, EmailSubject);
    readString(ValueEMAILBody, EmailBody);
    readBool(ValueEMAILAuto, EmailAuto);
    reg.CloseKey();
}

} // namespace zandrel::ide
