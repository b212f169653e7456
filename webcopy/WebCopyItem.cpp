#include "webcopy/WebCopyItem.h"

namespace zandrel::webcopy {

TZandrelWebCopyItem::~TZandrelWebCopyItem() = default;

void TZandrelWebCopyItem::Assign(const TPersistent& Source) {
    const auto* other = dynamic_cast<const TZandrelWebCopyItem*>(&Source);
    if (!other || other == this) return;
    Active = other->Active;
    Authenticate = other->Authenticate;
    CopyNewerOnly = other->CopyNewerOnly;
    DisplayURL = other->DisplayURL;
    FileDate = other->FileDate;
    FTPHost = other->FTPHost;
    FTPUserID = other->FTPUserID;
    FTPPassword = other->FTPPassword;
    FTPPort = other->FTPPort;
    HTTPCommand = other->HTTPCommand;
    Protocol = other->Protocol;
    TargetDir = other->TargetDir;
    TargetFilename = other->TargetFilename;
    URL = other->URL;
    HTTPUserID = other->HTTPUserID;
    HTTPPassword = other->HTTPPassword;
    WhenTargetExists = other->WhenTargetExists;
    FTPSecurity = other->FTPSecurity;
    SSHKeyFile = other->SSHKeyFile;
}

} // namespace zandrel::webcopy
