#pragma once
// One transfer of the component: what to move where, by which protocol, and after a run what
// came of it. The published fields are what design-time streaming stores and what Assign
// copies; the results and the listing's lists exist at run time only.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/rtl/DateTime.h"
#include "platform/rtl/StringList.h"
#include "webcopy/FileDetailItems.h"
#include "webcopy/Persistent.h"
#include "webcopy/WebCopyTypes.h"

namespace zandrel::webcopy {

class TZandrelWebCopyItem : public TPersistent {
public:
    TZandrelWebCopyItem() = default;
    TZandrelWebCopyItem(const TZandrelWebCopyItem&) = delete;
    TZandrelWebCopyItem& operator=(const TZandrelWebCopyItem&) = delete;
    ~TZandrelWebCopyItem() override;

    // Published, in declaration order.
    std::string URL;
    std::string TargetDir;
    std::string TargetFilename;
    TZandrelWebCopyProtocol Protocol = wpHttp;
    TZandrelWebCopyHTTPCommand HTTPCommand = hcPost;
    std::string FTPHost;
    std::string FTPUserID;
    std::string FTPPassword;
    int32_t FTPPort = 21;
    bool Active = true;
    bool CopyNewerOnly = false;
    TDateTime FileDate = 0;
    TZandrelWebCopyAuthentication Authenticate = waNever;
    std::string HTTPUserID;
    std::string DisplayURL;
    std::string HTTPPassword;
    // FTP uploads (one file or many): what happens to a file of the same name on the server.
    // Stored only when it is not teReplace, so streams and jobs without it read as before (the
    // same holds for the properties after it).
    TZandrelWebCopyTargetExists WhenTargetExists = teReplace;
    // FTP items: the transport. FTPHost may name it instead, FileZilla's way: "sftp://host",
    // "ftps://host" (implicit TLS) or "ftpes://host" (explicit TLS); a prefix that disagrees with
    // a transport set here is an error. With the transport's own default port, an FTPPort of 21
    // (the property's default) means that port: 990 for implicit TLS, 22 for SFTP.
    TZandrelWebCopyFtpSecurity FTPSecurity = fsNone;
    // SFTP: the private key to log in with (after the ssh-agent's keys; before ~/.ssh/id_ed25519,
    // id_ecdsa and id_rsa, which are tried when it is empty).
    std::string SSHKeyFile;

    // Public, run time only.
    TDateTime NewFileDate = 0;
    uint32_t FileSize = 0;

    // Results of the last run that reached this item.
    bool Success() const { return FSuccess; }
    bool NoNewVersion() const { return FNoNewVersion; }
    bool Cancelled() const { return FCancelled; }
    // Where the last run put the file of a one-file item: an FTP upload's name on the server
    // (TargetFilename, or the free name taken instead with teNextFreeName); a download's or a
    // copy's local path (a unique name beside an existing file included). Empty when it stored
    // nothing, and for other kinds of item.
    const std::string& StoredFilename() const { return FStoredFilename; }
    // Absent (null) until an FTP listing fills them.
    const rtl::StringList* FileList() const { return FFileList.get(); }
    const TFileDetailItems* FileDetails() const { return FFileDetails.get(); }

    // Copies the published fields from another item; results and lists stay as they
    // are. Any other kind of source changes nothing.
    void Assign(const TPersistent& Source) override;

private:
    // The copy driver writes the results, the FTP listing replaces the lists.
    friend class WebCopyInternals;

    bool FSuccess = false;
    bool FNoNewVersion = false;
    bool FCancelled = false;
    std::string FStoredFilename;
    std::unique_ptr<rtl::StringList> FFileList;
    std::unique_ptr<TFileDetailItems> FFileDetails;
};

} // namespace zandrel::webcopy
