#pragma once
// The transport settings handed to an FTP item of the transfer component, the same way for an
// upload and for the options dialog's connection test.
#include <string>
#include <string_view>

#include "settings/FtpTransport.h"
#include "webcopy/WebCopyItem.h"

namespace zandrel::settings {

webcopy::TZandrelWebCopyFtpSecurity WebCopySecurity(FtpTransport transport);

// The file a key file setting names: "~/..." is taken from the home folder, as a shell would
// take it; any other text as it is.
std::string KeyFilePath(std::string_view setting);

// Sets the item's FTPSecurity and SSHKeyFile from the settings.
void ApplyTransport(webcopy::TZandrelWebCopyItem& item, FtpTransport transport, std::string_view keyFile);

} // namespace zandrel::settings
