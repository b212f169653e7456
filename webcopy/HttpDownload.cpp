// HTTP download of one file, with Basic authentication, the date check and unique names.
#include "platform/rtl/FileSystem.h"
#include "webcopy/Base64.h"
#include "webcopy/FtpLocalFile.h"
#include "webcopy/FtpSupport.h"
#include "webcopy/Login.h"
#include "webcopy/UrlHelpers.h"
#include "webcopy/Utilities.h"
#include "webcopy/ZandrelWebCopy.h"

namespace zandrel::webcopy {
namespace {

// A login handler that always confirms (a script, a stored answer) would otherwise be asked for
// ever by a server that refuses what it gives.
constexpr int kMaxLogins = 20;

std::string StatusText(inet::HINTERNET request, inet::DWORD status) {
    std::string reason;
    inet::HttpQueryInfoText(request, inet::HTTP_QUERY_STATUS_TEXT, reason);
    return std::to_string(status) + (reason.empty() ? "" : " " + reason);
}

// The server's Last-Modified as local date-time, like every date of the component; without a
// readable one, the current time (the file then counts as new).
TDateTime ServerFileDate(inet::HINTERNET request) {
    rtl::SYSTEMTIME st{};
    rtl::FILETIME utc, local;
    if (inet::HttpQueryInfo(request, inet::HTTP_QUERY_LAST_MODIFIED | inet::HTTP_QUERY_FLAG_SYSTEMTIME, st) &&
        rtl::SystemTimeToFileTime(st, utc) && rtl::FileTimeToLocalFileTime(utc, local))
        return FileTimeToDate(local);
    return SystemTimeToDate(rtl::SYSTEMTIME{});
}

// A name the URL gives that can be a file in the target folder: not empty, not "." or "..".
// (ExtractUrlFileName already took it from after the last "/" or "\".)
bool IsUsableName(const std::string& name) { return !name.empty() && name != "." && name != ".."; }

} // namespace

bool TZandrelWebCopy::HttpGetFile(int idx, const std::string& URL, const std::string& DisplayURL,
                                  const std::string& TargetDir, const std::string& TargetFilename, bool CopyNewerOnly,
                                  TDateTime& FileDate, bool& NoNewVersion, TZandrelWebCopyAuthentication Authenticate,
                                  const std::string& HTTPUserID, const std::string& HTTPPassword) {
    NoNewVersion = false;
    const std::string urlName = ExtractUrlFileName(URL);
    const std::string url = MakeProxyUrl(URL);
    ShowFileLine(DisplayURL.empty() ? urlName : DisplayURL, DlgFromServerLabel, ExtractServer(url), ShowServer);
    if (!PumpMessages()) return false;

    inet::DWORD flags = inet::INTERNET_FLAG_RELOAD | inet::INTERNET_FLAG_NO_CACHE_WRITE;
    if (HTTPKeepAliveAuthentication) flags |= inet::INTERNET_FLAG_KEEP_CONNECTION;
    const std::string caption = "Connect to " + ExtractUrlHost(url);
    std::string user = HTTPUserID;
    std::string password = HTTPPassword;
    // A cancelled login raises no event; the reason still says why the item did nothing.
    const std::string loginCancelled = "login cancelled: no user name and password were given for " + ExtractUrlHost(url);
    if (Authenticate == waAlways && (user.empty() || password.empty()) && !GetLogin(caption, user, password)) {
        FLastErrorReason = loginCancelled;
        return false;
    }

    ScopedInetHandle request;
    for (int logins = 0;; ++logins) {
        const std::string header = user.empty() && password.empty()
                                       ? std::string()
                                       : "Authorization: Basic " + Base64Encode(user + ":" + password) + "\r\n\r\n";
        request.Reset(inet::InternetOpenUrl(FHinternet, url, header, flags, 0));
        if (!request) {
            // Named as the user gave it: the proxy credentials put into the URL stay out of
            // events and messages.
            ReportInetNotFound(URL);
            return false;
        }
        if (!PumpMessages()) return false;
        inet::DWORD status = 0;
        inet::HttpQueryInfo(request.Get(), inet::HTTP_QUERY_STATUS_CODE | inet::HTTP_QUERY_FLAG_NUMBER, status);
        if (status == 401 && Authenticate != waNever && logins < kMaxLogins) {
            if (!GetLogin(caption, user, password)) {
                FLastErrorReason = loginCancelled;
                return false;
            }
            continue;
        }
        if (status >= 300) {
            FLastErrorReason = "the server answered " + StatusText(request.Get(), status);
            request.Close();
            ReportError(static_cast<int>(status), "Returned http error code " + std::to_string(status));
            return false;
        }
        break;
    }

    if (CopyNewerOnly || OnFileDateCheck) {
        const TDateTime remote = ServerFileDate(request.Get());
        if (OnFileDateCheck) {
            FileDate = remote;
            bool allow = true;
            OnFileDateCheck(*this, idx, remote, allow);
            if (!allow) return false;
        } else if (IsLaterDate(remote, FileDate)) {
            FileDate = remote;
        } else {
            NoNewVersion = true;
            FileDate = remote;
            request.Close();
            if (OnNoNewFileFound) OnNoNewFileFound(*this, urlName, FileDate, remote);
            return false;
        }
    }

    const std::string name = TargetFilename.empty() ? urlName : TargetFilename;
    std::string path = JoinDirFile(TargetDir, name);
    FLastFile = path;
    FLastDir = TargetDir;
    if (TargetFilename.empty() && !IsUsableName(urlName)) {
        // "http://server/" or ".../.." names no file: writing there would mean the folder itself
        // or the one above it.
        FLastErrorReason = "the URL names no file to save (\"" + urlName + "\")";
        ReportError(errCreateTarget, kMsgCreateFile + path);
        return false;
    }
    // The data goes to a temporary file beside the target, which takes the name only once the
    // whole body has arrived: an existing file is replaced by a complete one or not at all.
    LocalFile target;
    if (!OpenDownloadTarget(path, target, kMsgCreateFile)) return false;

    uint64_t size = 0;
    if (!inet::HttpQueryInfo64(request.Get(), inet::HTTP_QUERY_CONTENT_LENGTH | inet::HTTP_QUERY_FLAG_NUMBER, size))
        size = 0;
    if (size == 0 && idx >= 0 && idx < Items.Count() && Items[idx].FileSize > 0)
        size = static_cast<uint64_t>(Items[idx].FileSize);

    uint64_t total = 0;
    bool writeFailed = false; // reported already, with the system's reason
    const bool readFailed = !ReceiveInto(request.Get(), target, path, size, total, &writeFailed);
    request.Close();
    if (FCancelled || writeFailed) return false; // the temporary file goes; an existing file stays as it was
    if (readFailed) {
        // A body that broke off is no download, however much of it came.
        ReportError(errReadSource, kMsgReadSource + URL);
        return false;
    }
    if (!target.Publish()) {
        FLastErrorReason = LocalFailureReason();
        ReportError(errWriteTarget, kMsgWriteTarget + path);
        return false;
    }
    // An empty body leaves an empty file, but no data arrived: not counted as a download.
    return total > 0;
}

} // namespace zandrel::webcopy
