// "Zip && Upload Project" after the archive exists: list the server's upload folder, send the
// archive there under the first name not taken, and put its web address on the clipboard.
#include <memory>
#include <string>
#include <unordered_set>

#include "ide/ContextMenu.h"
#include "ide/HostMessages.h"
#include "ide/SettingVariables.h"
#include "platform/registry/HiveFile.h"
#include "platform/rtl/FileSystem.h"
#include "platform/ui/Application.h"
#include "webcopy/ZandrelWebCopy.h"

namespace zandrel::ide {
namespace {

using toolsapi::TMessageKind;
using webcopy::TZandrelWebCopy;

// What the transfers reported while they ran, in words a person can act on.
struct TransferReports {
    std::string error;       // the first OnErrorInfo, with the reason behind it
    bool notFound = false;   // OnURLNotFound came
    std::string notFoundWhy; // the reason given with it
};

// The component of one upload, with what its runs reported.
class UploadCopy : public TZandrelWebCopy {
public:
    std::string archivePath;
    TransferReports reports;
};

std::string WithReason(const std::string& text, const std::string& reason) {
    return reason.empty() ? text : text + ": " + reason;
}

// A reason followed by what became of the command: one sentence, or two when the reason (a
// server's reply) already ends as one.
std::string ThenFate(const std::string& reason, const std::string& fate) {
    if (reason.empty() || reason.back() != '.') return reason + "; " + fate;
    std::string sentence = fate;
    if (sentence[0] >= 'a' && sentence[0] <= 'z') sentence[0] = static_cast<char>(sentence[0] - 'a' + 'A');
    return reason + " " + sentence + ".";
}

// Starts gathering the component's reports into `reports` (cleared first).
void GatherReports(TZandrelWebCopy& copy, TransferReports& reports) {
    reports = {};
    copy.OnErrorInfo = [&reports](TZandrelWebCopy& sender, int, const std::string& info) {
        if (reports.error.empty()) reports.error = WithReason(info, sender.LastErrorReason());
    };
    copy.OnURLNotFound = [&reports](TZandrelWebCopy& sender, const std::string&) {
        reports.notFound = true;
        if (reports.notFoundWhy.empty()) reports.notFoundWhy = sender.LastErrorReason();
    };
}

// The upload folder as both runs name it. "\" separators become "/" for both alike, so that the
// listing and the upload enter the same folder by the same words.
std::string RemoteFolder() {
    std::string dir = FTPDir;
    for (char& c : dir)
        if (c == '\\') c = '/';
    return dir;
}

// The listing's URL for the upload folder: the folder with one "/" after it (its entries, every
// one), or empty for the login folder.
std::string ListingUrl(const std::string& folder) {
    std::string dir = folder;
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    if (dir.empty() || dir == "/") return dir;
    return dir + "/";
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
    static const char* const kHex = "0123456789ABCDEF";
    std::string out;
    for (const char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                           std::string_view("-._~!$&'()*+,;=:@").find(static_cast<char>(c)) != std::string_view::npos;
        if (plain) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        }
    }
    return out;
}

void FillAccount(webcopy::TZandrelWebCopyItem& item) {
    item.Active = true;
    item.FTPHost = FTPHt;
    item.FTPUserID = FTPUserName;
    item.FTPPassword = FTPPwd;
    item.FTPPort = FTPprt;
}

} // namespace

void TProjectContextMenu::FTPUploadFile(const std::string& ArchivePath) {
    auto copy = std::make_unique<UploadCopy>();
    copy->archivePath = ArchivePath;
    // The stored passive setting holds for both runs: a server behind a firewall or NAT answers
    // only in passive mode.
    copy->FTPPassive = FTPPas;
    std::string remoteName;
    GetFileName(*copy, ArchivePath, remoteName);
    // An empty name: the listing failed or was stopped, and said so.
    if (remoteName.empty()) return;

    copy->ShowDialog = true;
    webcopy::TZandrelWebCopyItem& item = copy->Items.Add();
    item.Protocol = webcopy::wpFtpUpload;
    FillAccount(item);
    item.URL = ArchivePath;
    item.TargetDir = RemoteFolder();
    item.TargetFilename = remoteName;
    GatherReports(*copy, copy->reports);
    copy->OnCopyDone = [this](TZandrelWebCopy& sender) { CopyDone(sender); };
    // The component is freed when this returns, right after its last act, CopyDone.
    copy->Execute();
}

void TProjectContextMenu::GetFileName(webcopy::TZandrelWebCopy& Copy, const std::string& ArchivePath,
                                      std::string& RemoteName) {
    const std::string name = rtl::ExtractFileName(ArchivePath);
    const std::string ext = rtl::ExtractFileExt(name);
    const std::string base = name.substr(0, name.size() - ext.size());
    RemoteName.clear();

    webcopy::TZandrelWebCopyItem& item = Copy.Items.Add();
    item.Protocol = webcopy::wpFtpList;
    FillAccount(item);
    // The folder the upload goes into: a name taken in the login folder does not clash there.
    item.URL = ListingUrl(RemoteFolder());
    TransferReports reports;
    GatherReports(Copy, reports);
    Copy.Execute();
    Copy.OnErrorInfo = nullptr;
    Copy.OnURLNotFound = nullptr;

    std::unordered_set<std::string> taken;
    bool listed = false;
    if (item.Cancelled()) {
        TellHost(TMessageKind::mkStopped, "Upload stopped while listing " + ServerAndFolder() +
                                              "; nothing was uploaded and the clipboard was left as it was");
    } else if (item.Success() && item.FileList()) {
        taken.insert(item.FileList()->Items().begin(), item.FileList()->Items().end());
        listed = true;
    } else if (reports.error.empty() && reports.notFound) {
        // The folder is not there yet; the upload creates it, and an empty folder takes any name.
        listed = true;
    } else {
        const std::string why = !reports.error.empty() ? reports.error
                                : reports.notFound     ? WithReason("the folder cannot be listed", reports.notFoundWhy)
                                                       : "the listing did not succeed";
        TellHost(TMessageKind::mkError,
                 ThenFate("cannot find a free name on " + ServerAndFolder() + ": " + why,
                          "nothing was uploaded and the clipboard was left as it was"));
    }
    Copy.Items.Clear();
    if (!listed) return;

    // Demo.zip, then Demo_1.zip, Demo_2.zip, ...: the first one no entry equals, letter case
    // counted. Each candidate that is taken is one entry, so this ends within the listing's size.
    std::string candidate = name;
    for (size_t counter = 1; taken.count(candidate) != 0; ++counter)
        candidate = base + "_" + std::to_string(counter) + ext;
    RemoteName = candidate;
}

void TProjectContextMenu::CopyDone(webcopy::TZandrelWebCopy& Sender) {
    const auto* upload = dynamic_cast<const UploadCopy*>(&Sender);
    if (Sender.Items.Count() == 0) return;
    const webcopy::TZandrelWebCopyItem& item = Sender.Items[0];
    const std::string archive = upload ? rtl::ExtractFileName(upload->archivePath) : item.URL;
    const std::string folder = RemoteFolder();
    const std::string remote =
        folder.empty() ? item.TargetFilename : folder + (folder.back() == '/' ? "" : "/") + item.TargetFilename;

    // The address goes on the clipboard only for an archive that is on the server, complete.
    if (item.Cancelled()) {
        TellHost(TMessageKind::mkStopped,
                 "Upload of " + archive + " to " + ServerAndFolder() + " stopped; the clipboard was left as it was");
        return;
    }
    if (!item.Success()) {
        const std::string why = upload && !upload->reports.error.empty() ? upload->reports.error
                                                                         : "the server did not take it";
        TellHost(TMessageKind::mkError, ThenFate("the upload of " + archive + " to " + ServerAndFolder() +
                                                     " failed: " + why,
                                                 "the clipboard was left as it was"));
        return;
    }

    const std::string text = FTPBaseUrl + AddressSegment(item.TargetFilename);
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
