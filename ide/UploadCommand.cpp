// "Zip && Upload Project" after the archive exists: send the archive to the server's upload folder
// under the first name not taken there, and put its web address on the clipboard.
//
// The name is not chosen from a listing: a listing can be wrong (vsftpd lists a folder it may not
// read as empty) and is stale by the time the upload ends (two uploads of the same name at once).
// The component checks the name on the server just before the archive takes it, and the archive
// after it has, moving on to the next free name (Demo_1.zip, Demo_2.zip, ...) when it was taken.
// That is also one login for the whole command.
#include <memory>
#include <string>

#include "ide/ContextMenu.h"
#include "ide/HostMessages.h"
#include "ide/SettingVariables.h"
#include "platform/registry/HiveFile.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/PercentEncoding.h"
#include "platform/ui/Application.h"
#include "settings/ItemTransport.h"
#include "webcopy/ZandrelWebCopy.h"

namespace zandrel::ide {
namespace {

using toolsapi::TMessageKind;
using webcopy::TZandrelWebCopy;

// What the transfers reported while they ran, in words a person can act on.
struct TransferReports {
    std::string error;       // the first OnErrorInfo, with the reason behind it
    int errorCode = 0;       // its code
    std::string errorReason; // the reason alone
};

// What the upload's run reported, gathered from its component's events. One upload runs at a time
// (the command waits for it), so one record serves.
TransferReports gReports;

std::string WithReason(const std::string& text, const std::string& reason) {
    return reason.empty() ? text : text + ": " + reason;
}

// Starts gathering the component's reports into `reports` (cleared first).
void GatherReports(TZandrelWebCopy& copy, TransferReports& reports) {
    reports = {};
    copy.OnErrorInfo = [&reports](TZandrelWebCopy& sender, int code, const std::string& info) {
        if (!reports.error.empty()) return;
        reports.error = WithReason(info, sender.LastErrorReason());
        reports.errorCode = code;
        reports.errorReason = sender.LastErrorReason();
    };
}

// The upload folder, with "\" separators as "/", the way the server and the messages name it.
std::string RemoteFolder() {
    std::string dir = FTPDir;
    for (char& c : dir)
        if (c == '\\') c = '/';
    return dir;
}

// Where the upload goes, for messages: "127.0.0.1, folder uploads".
std::string ServerAndFolder() {
    const std::string folder = RemoteFolder();
    return FTPHt + (FTPprt != 21 ? ":" + std::to_string(FTPprt) : "") +
           (folder.empty() ? std::string() : ", folder " + folder);
}

// A file name as one segment of a web address: characters that would end the segment or change
// the address's meaning ("#", "?", "%", blanks, controls, non-ASCII bytes) are percent-encoded.
std::string AddressSegment(const std::string& name) {
    return rtl::PercentEncode(name, [](unsigned char c) {
        constexpr std::string_view kAlsoPlain = "!$&'()*+,;=:@";
        return rtl::IsUriUnreserved(c) || kAlsoPlain.find(static_cast<char>(c)) != std::string_view::npos;
    });
}

void FillAccount(webcopy::TZandrelWebCopyItem& item) {
    item.Active = true;
    item.FTPHost = FTPHt;
    item.FTPUserID = FTPUserName;
    item.FTPPassword = FTPPwd;
    item.FTPPort = FTPprt;
    // An unknown transport word throws here rather than falling back to plain FTP; the command
    // has refused it before packing already.
    settings::ApplyTransport(item, settings::StoredTransport(FTPSecurity), SSHKeyFile);
}

} // namespace

void TProjectContextMenu::FTPUploadFile(const std::string& ArchivePath) {
    auto copy = std::make_unique<TZandrelWebCopy>();
    // A server behind a firewall or NAT answers only in passive mode.
    copy->FTPPassive = FTPPas;
    copy->ShowDialog = true;
    webcopy::TZandrelWebCopyItem& item = copy->Items.Add();
    item.Protocol = webcopy::wpFtpUpload;
    FillAccount(item);
    item.URL = ArchivePath;
    item.TargetDir = RemoteFolder();
    item.TargetFilename = rtl::ExtractFileName(ArchivePath);
    // The archive never replaces a file on the server: a name found taken moves it on to the
    // next one, and the item says which it took.
    item.WhenTargetExists = webcopy::teNextFreeName;
    GatherReports(*copy, gReports);
    copy->OnCopyDone = [this](TZandrelWebCopy& sender) { CopyDone(sender); };
    // The component is freed when this returns, right after its last act, CopyDone.
    copy->Execute();
}

void TProjectContextMenu::CopyDone(webcopy::TZandrelWebCopy& Sender) {
    if (Sender.Items.Count() == 0) return;
    const webcopy::TZandrelWebCopyItem& item = Sender.Items[0];
    const std::string archive = rtl::ExtractFileName(item.URL);
    const std::string& name = item.StoredFilename();
    const std::string folder = RemoteFolder();
    const std::string remote = folder.empty() ? name : folder + (folder.back() == '/' ? "" : "/") + name;

    // The address goes on the clipboard only for an archive that is on the server, complete.
    if (item.Cancelled()) {
        TellHost(TMessageKind::mkStopped,
                 "Upload of " + archive + " to " + ServerAndFolder() + " stopped; the clipboard was left as it was");
        return;
    }
    if (!item.Success() || name.empty()) {
        const TransferReports& reports = gReports;
        // Not reaching the server, or not being let in, is what happened; the upload never began.
        if (reports.errorCode == webcopy::errConnect) {
            const bool refused = reports.errorReason.rfind("530", 0) == 0 || reports.errorReason.rfind("430", 0) == 0;
            TellHost(TMessageKind::mkError,
                     WithFate((refused ? "login refused by " : "cannot connect to ") + FTPHt + ": " +
                                  (reports.errorReason.empty() ? "no reason given" : reports.errorReason),
                              "nothing was uploaded and the clipboard was left as it was"));
            return;
        }
        const std::string why = !reports.error.empty() ? reports.error : "the server did not take it";
        TellHost(TMessageKind::mkError, WithFate("the upload of " + archive + " to " + ServerAndFolder() +
                                                     " failed: " + why,
                                                 "the clipboard was left as it was"));
        return;
    }

    const std::string text = FTPBaseUrl + AddressSegment(name);
    if (ui::HasBackend()) ui::SetClipboardText(text);
    if (FTPBaseUrl.empty()) {
        TellHost(TMessageKind::mkInfo, "Uploaded " + archive + " to " + FTPHt + " as " + remote);
        TellHost(TMessageKind::mkWarning, "no base URL is set, so the clipboard holds only the name " + text +
                                              "; set \"FTPBaseUrl\" in " + registry::UserHivePath() +
                                              " to the web address of the upload folder");
        return;
    }
    TellHost(TMessageKind::mkInfo, "Uploaded " + archive + " to " + FTPHt + " as " + remote + "; its web address is " +
                                       text);
}

} // namespace zandrel::ide
