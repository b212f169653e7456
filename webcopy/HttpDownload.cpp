// HTTP download of one file, with Basic authentication, the date check and unique names.
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/PercentEncoding.h"
#include "webcopy/Base64.h"
#include "webcopy/DownloadTarget.h"
#include "webcopy/LocalFile.h"
#include "webcopy/Login.h"
#include "webcopy/Routines.h"
#include "webcopy/TransferSupport.h"
#include "webcopy/UrlHelpers.h"
#include "webcopy/Utilities.h"
#include "webcopy/ZandrelWebCopy.h"

namespace zandrel::webcopy {
namespace {

// A login handler that always confirms (a script, a stored answer) would otherwise be asked for
// ever by a server that refuses what it gives.
constexpr int kMaxLogins = 20;

// "404 Not Found": the status and the server's text for it, or `usual` when it sent none.
std::string StatusText(inet::HINTERNET request, inet::DWORD status, const std::string& usual = {}) {
    std::string reason;
    inet::HttpQueryInfoText(request, inet::HTTP_QUERY_STATUS_TEXT, reason);
    if (reason.empty()) reason = usual;
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

// The failures of opening a URL that mean it leads nowhere: no such server, nobody listening,
// or a URL that is not one.
bool IsNotFound(inet::DWORD code) {
    switch (code) {
    case inet::ERROR_INTERNET_NAME_NOT_RESOLVED:
    case inet::ERROR_INTERNET_CANNOT_CONNECT:
    case inet::ERROR_INTERNET_UNRECOGNIZED_SCHEME:
    case inet::ERROR_INVALID_PARAMETER:
    case inet::ERROR_INVALID_HANDLE: return true;
    default: return false;
    }
}

// The name a file from `url` is saved under: the last segment of its path, without the query
// and the fragment, and with its percent-escapes decoded, as the server itself reads them
// ("my%20file.txt" is the file "my file.txt"). Empty when that cannot be a file in the target
// folder: nothing, "." or "..", or a name that decodes to a separator or a NUL.
std::string LocalNameFromUrl(const std::string& url) {
    std::string path = url.substr(0, url.find_first_of("?#"));
    // Only the path names a file: a URL that is nothing but a server (and perhaps a user and a
    // password) names none.
    if (const size_t scheme = path.find("://"); scheme != std::string::npos) {
        const size_t slash = path.find_first_of("/\\", scheme + 3);
        path.erase(0, slash == std::string::npos ? path.size() : slash);
    }
    const std::string name = rtl::PercentDecode(ExtractUrlFileName(path));
    const bool separatorOrNul = name.find_first_of(std::string_view("/\\\0", 3)) != std::string::npos;
    if (name.empty() || name == "." || name == ".." || separatorOrNul) return {};
    return name;
}

} // namespace

TransferOutcome HttpGetFile(TransferRun& run, const TransferItem& in) {
    const TZandrelWebCopyItem& item = in.values;
    const std::string& URL = item.URL;
    const std::string& TargetDir = item.TargetDir;
    const std::string& TargetFilename = item.TargetFilename;
    const int idx = in.idx;
    TransferOutcome out = TransferOutcome::From(item.FileDate);
    const auto reporting = run.ReportTo(out);
    TZandrelWebCopy& wc = run.component;
    // Taken from the URL with its password masked: a URL without a path has the server, and
    // perhaps the credentials, where the name would be.
    const std::string urlName = ExtractUrlFileName(MaskUrlPasswords(URL));
    const std::string localName = LocalNameFromUrl(URL);
    const std::string url = wc.MakeProxyUrl(URL);
    run.ShowFileLine(!item.DisplayURL.empty() ? item.DisplayURL : !localName.empty() ? localName : urlName, wc.DlgFromServerLabel,
                 wc.ExtractServer(MaskUrlPasswords(url)), wc.ShowServer);
    if (!run.PumpMessages()) return out;

    inet::DWORD flags = inet::INTERNET_FLAG_RELOAD | inet::INTERNET_FLAG_NO_CACHE_WRITE;
    if (wc.HTTPKeepAliveAuthentication) flags |= inet::INTERNET_FLAG_KEEP_CONNECTION;
    // The server as the URL names it; a password in the URL (the item's, or the proxy's put in
    // by MakeProxyUrl) is not shown.
    const std::string server = ExtractUrlHost(MaskUrlPasswords(url));
    const std::string caption = "Connect to " + server;
    std::string user = item.HTTPUserID;
    std::string password = item.HTTPPassword;
    // A cancelled login raises no event; the reason still says why the item did nothing.
    const std::string loginCancelled = "login cancelled: no user name and password were given for " + server;
    if (item.Authenticate == waAlways && (user.empty() || password.empty()) && !GetLogin(caption, user, password)) {
        run.SetReason(loginCancelled);
        return out;
    }

    ScopedInetHandle request;
    for (int logins = 0;; ++logins) {
        const std::string header = user.empty() && password.empty()
                                       ? std::string()
                                       : "Authorization: Basic " + Base64Encode(user + ":" + password) + "\r\n\r\n";
        request.Reset(inet::InternetOpenUrl(run.root, url, header, flags, 0));
        if (!request) {
            // A URL that names nothing reachable is not found (named as the user gave it: the
            // proxy credentials put into the URL stay out of events and messages). A server that
            // was reached but could not be trusted or understood, or stopped answering, is an
            // error with its own words: the file may well be there.
            const inet::DWORD code = inet::GetLastError();
            if (IsNotFound(code)) run.ReportInetNotFound(URL);
            else run.ReportInetFailure(static_cast<int>(code), InetErrorText(code));
            return out;
        }
        if (!run.PumpMessages()) return out;
        inet::DWORD status = 0;
        inet::HttpQueryInfo(request.Get(), inet::HTTP_QUERY_STATUS_CODE | inet::HTTP_QUERY_FLAG_NUMBER, status);
        if (status == 401 && item.Authenticate != waNever && logins < kMaxLogins) {
            // Credentials that went with the request were refused: the question says so, and
            // without an answer the refusal is the reason. Named is the server that asked, which
            // after a redirect is not the one in the URL.
            const bool refused = !user.empty() || !password.empty();
            std::string asking;
            constexpr inet::DWORD kHost = inet::HTTP_QUERY_HOST | inet::HTTP_QUERY_FLAG_REQUEST_HEADERS;
            if (!inet::HttpQueryInfoText(request.Get(), kHost, asking)) asking = server;
            // The question names the server the answer goes to: after a redirect to another
            // server, a caption with the URL's would have the user give that one's password to
            // this one.
            const size_t userInfoEnd = server.rfind('@');
            const std::string urlHost = userInfoEnd == std::string::npos ? server : server.substr(userInfoEnd + 1);
            if (!GetLogin(asking == urlHost ? caption : "Connect to " + asking, user, password, refused)) {
                run.SetReason(refused ? StatusText(request.Get(), status, "Unauthorized") + " from " + asking
                                           : "login cancelled: no user name and password were given for " + asking);
                return out;
            }
            continue;
        }
        if (status >= 300) {
            run.SetReason("the server answered " + StatusText(request.Get(), status));
            request.Close();
            run.ReportError(static_cast<int>(status), "Returned http error code " + std::to_string(status));
            return out;
        }
        break;
    }

    if (item.CopyNewerOnly || wc.OnFileDateCheck) {
        const TDateTime remote = ServerFileDate(request.Get());
        if (wc.OnFileDateCheck) {
            out.fileDate = remote;
            bool allow = true;
            wc.OnFileDateCheck(wc, idx, remote, allow);
            if (!allow) return out;
        } else if (IsLaterDate(remote, out.fileDate)) {
            out.fileDate = remote;
        } else {
            out.notNewer = true;
            out.fileDate = remote;
            request.Close();
            if (wc.OnNoNewFileFound) wc.OnNoNewFileFound(wc, urlName, out.fileDate, remote);
            return out;
        }
    }

    const std::string name = TargetFilename.empty() ? localName : TargetFilename;
    std::string path = JoinDirFile(TargetDir, name);
    run.display.SetLastTarget(path, TargetDir);
    if (TargetFilename.empty() && localName.empty()) {
        // "http://server/" or ".../.." names no file: writing there would mean the folder itself
        // or the one above it.
        run.SetReason("the URL names no file to save (\"" + urlName + "\")");
        run.ReportError(errCreateTarget, kMsgCreateFile + path);
        return out;
    }
    // The data goes to a temporary file beside the target, which takes the name only once the
    // whole body has arrived: an existing file is replaced by a complete one or not at all.
    LocalFile target;
    if (!OpenDownloadTarget(run, path, target, kMsgCreateFile)) return out;

    uint64_t size = 0;
    if (!inet::HttpQueryInfo64(request.Get(), inet::HTTP_QUERY_CONTENT_LENGTH | inet::HTTP_QUERY_FLAG_NUMBER, size))
        size = 0;
    if (size == 0 && idx >= 0 && idx < wc.Items.Count() && wc.Items[idx].FileSize > 0)
        size = static_cast<uint64_t>(wc.Items[idx].FileSize);

    uint64_t total = 0;
    bool writeFailed = false; // reported already, with the system's reason
    const bool readFailed = !ReceiveInto(run, request.Get(), target, path, size, total, &writeFailed);
    request.Close();
    if (run.cancelled || writeFailed) return out; // the temporary file goes; an existing file stays as it was
    if (readFailed) {
        // A body that broke off is no download, however much of it came.
        run.ReportError(errReadSource, kMsgReadSource + URL);
        return out;
    }
    if (!target.Publish()) {
        run.SetReason(LocalFailureReason());
        run.ReportError(errWriteTarget, kMsgWriteTarget + path);
        return out;
    }
    // An empty body, read to its end, is an empty file: as much a download as any other, and the
    // same as an FTP download of an empty file.
    out.storedName = path;
    return out.Done();
}

} // namespace zandrel::webcopy
