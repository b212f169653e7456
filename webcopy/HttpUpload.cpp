// HTTP upload of one file with POST or PUT.
#include "platform/rtl/Clock.h"
#include "platform/rtl/FileSystem.h"
#include "webcopy/LocalFile.h"
#include "webcopy/Routines.h"
#include "webcopy/TransferSupport.h"
#include "webcopy/UrlHelpers.h"
#include "webcopy/Utilities.h"
#include "webcopy/ZandrelWebCopy.h"

namespace zandrel::webcopy {
namespace {

constexpr int kUploadClip = 258;
constexpr int kMaxRedirects = 10;

// The size of the pieces the body goes out in. Small pieces cost a copy into the request's
// buffer and a dialog refresh each, which on a fast link is most of the work the program does;
// large pieces on a slow link would leave the dialog standing still for seconds. So pieces start
// small, grow while the connection takes them quickly and shrink again when one is slow.
class PieceSize {
public:
    size_t Get() const { return size_; }
    void Took(uint32_t milliseconds) {
        if (milliseconds < kQuick && size_ < kLargest) size_ *= 2;
        else if (milliseconds > kSlow && size_ > kSmallest) size_ /= 2;
    }

private:
    static constexpr size_t kSmallest = 4096;
    static constexpr size_t kLargest = 256 * 1024;
    static constexpr uint32_t kQuick = 20;  // ms
    static constexpr uint32_t kSlow = 200;  // ms
    size_t size_ = kSmallest;
};

bool HasScheme(const std::string& url, const std::string& scheme) {
    if (url.size() < scheme.size()) return false;
    std::string start = url.substr(0, scheme.size());
    for (char& c : start) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return start == scheme;
}

bool IsHttpsUrl(const std::string& url) { return HasScheme(url, "https://"); }

enum class UploadOutcome { Sent, Failed, Redirected };


// The server's answer to an upload, when it is no acceptance: its status and text, and where a
// redirect led with why it was not followed (`Why`, empty when the answer is no redirect).
void ReportUploadAnswer(TransferRun& run, int Status, const std::string& StatusText, const std::string& Location,
                        const std::string& Why) {
    std::string reason = "the server answered " + std::to_string(Status) + (StatusText.empty() ? "" : " " + StatusText);
    if (!Location.empty()) reason += ", redirecting to " + Location;
    if (!Why.empty()) reason += ": " + Why;
    run.SetReason(reason);
    run.ReportError(Status, "Returned http error code " + std::to_string(Status));
}

// One pass of an upload: the file at `Path` sent whole to `URL`. Redirected: the server answered
// 307 or 308 and `Location` is where the file should go instead (nothing reported yet); otherwise
// the outcome has been reported.
UploadOutcome HttpPutOnce(TransferRun& run, const std::string& URL, const std::string& Path, const std::string& Folder,
                          TZandrelWebCopyHTTPCommand HTTPCommand, int& Status, std::string& StatusText,
                          std::string& Location) {
    TZandrelWebCopy& wc = run.component;
    // The server name keeps a port the URL gives ("server:81"), and an https URL goes over TLS:
    // the request reaches the server the URL names, the way the URL says.
    // ExtractServer keeps the user information of a URL without a path; the upload sends no
    // credentials, and the server's name goes into messages.
    std::string server = wc.ExtractServer(URL);
    server.erase(0, server.rfind('@') == std::string::npos ? 0 : server.rfind('@') + 1);
    const std::string object = wc.RemoveServer(URL);
    const bool tls = IsHttpsUrl(URL);
    ScopedInetHandle connection(inet::InternetConnect(run.root, server,
                                                      tls ? inet::INTERNET_DEFAULT_HTTPS_PORT : inet::INTERNET_DEFAULT_HTTP_PORT,
                                                      "", "", inet::INTERNET_SERVICE_HTTP, 0, 0));
    ScopedInetHandle request(connection ? inet::HttpOpenRequest(connection.Get(), HTTPCommand == hcPut ? "PUT" : "POST",
                                                                object, "", "",
                                                                inet::INTERNET_FLAG_NO_CACHE_WRITE |
                                                                    (tls ? inet::INTERNET_FLAG_SECURE : 0),
                                                                0)
                                        : nullptr);
    if (!request) {
        run.ReportInetFailure(errConnect, kMsgConnectServer + server);
        return UploadOutcome::Failed;
    }

    LocalFile source;
    if (!source.OpenRead(Path)) {
        run.SetReason(LocalFailureReason());
        run.ReportError(errOpenSource, kMsgOpenSource + Path);
        return UploadOutcome::Failed;
    }
    const uint64_t size = source.Size();
    run.display.SetLastTarget(Path, Folder);

    // The server's answer, when there is one: a redirect the caller may follow, or a refusal
    // (anything but 2xx) reported with its status and text. Unknown when the server gave none.
    enum class Answer { None, Accepted, Redirected, Refused };
    auto readAnswer = [&]() -> Answer {
        inet::DWORD status = 0;
        if (!inet::HttpQueryInfo(request.Get(), inet::HTTP_QUERY_STATUS_CODE | inet::HTTP_QUERY_FLAG_NUMBER, status))
            return Answer::None;
        if (status / 100 == 2) return Answer::Accepted;
        Status = static_cast<int>(status);
        StatusText.clear();
        inet::HttpQueryInfoText(request.Get(), inet::HTTP_QUERY_STATUS_TEXT, StatusText);
        Location.clear();
        if (status / 100 == 3) inet::HttpQueryInfoText(request.Get(), inet::HTTP_QUERY_LOCATION, Location);
        const bool followable = (status == 307 || status == 308) &&
                                (HasScheme(Location, "http://") || HasScheme(Location, "https://"));
        if (followable) return Answer::Redirected;
        ReportUploadAnswer(run, Status, StatusText, Location,
                           Location.empty() ? ""
                                            : "only 307 and 308 redirects keep an upload's method and body, so "
                                              "it was not followed");
        return Answer::Refused;
    };
    // Reports the Internet layer's failure with its code and text (a Cancel is no error). A
    // server that refused the upload before taking the whole body broke the connection for a
    // reason: its answer, when it gave one, is what the user needs to know.
    auto failure = [&]() -> UploadOutcome {
        if (run.InetCallCancelled()) return UploadOutcome::Failed;
        const inet::DWORD code = inet::GetLastError();
        const std::string reason = inet::InternetLastFailureReason();
        switch (readAnswer()) {
        case Answer::Redirected: return UploadOutcome::Redirected;
        case Answer::Refused: return UploadOutcome::Failed;
        default: break;
        }
        run.SetReason(reason);
        run.ReportError(static_cast<int>(code), InetErrorText(code));
        return UploadOutcome::Failed;
    };
    if (!inet::HttpSendRequestEx(request.Get(), size, inet::HSR_INITIATE, 0)) return failure();

    const uint32_t start = rtl::GetTickCount();
    uint64_t sent = 0;
    PieceSize piece;
    for (size_t n = piece.Get(), wanted = n; n == wanted && !run.cancelled;) {
        wanted = piece.Get();
        const char* data = nullptr;
        n = source.ReadBlock(data, wanted, Path);
        inet::DWORD written = 0;
        const uint32_t pieceStart = rtl::GetTickCount();
        if (!inet::InternetWriteFile(request.Get(), data, static_cast<inet::DWORD>(n), written)) {
            // The request is still ended: a body that fell short never reaches the server as a
            // complete one (the layer refuses to end it).
            const UploadOutcome outcome = failure();
            inet::HttpEndRequest(request.Get(), 0, 0);
            return outcome;
        }
        piece.Took(rtl::GetTickCount() - pieceStart);
        sent += n;
        if (run.ProgressStep(sent, size, start, wc.DlgUpload)) break;
    }
    const bool ended = inet::HttpEndRequest(request.Get(), 0, 0);
    if (run.cancelled || sent != size) return UploadOutcome::Failed;
    if (!ended) return failure();

    // Only the server's acceptance makes an upload: a refusal (401, 403, 413, 500 ...) is a failure.
    switch (readAnswer()) {
    case Answer::Accepted: return UploadOutcome::Sent;
    case Answer::Redirected: return UploadOutcome::Redirected;
    case Answer::Refused: return UploadOutcome::Failed;
    case Answer::None: break;
    }
    ReportUploadAnswer(run, 0, "", "", "");
    return UploadOutcome::Failed;
}

} // namespace

TransferOutcome HttpPutFile(TransferRun& run, const TransferItem& in) {
    const TZandrelWebCopyItem& item = in.values;
    const std::string& URL = item.URL;
    const std::string& TargetDir = item.TargetDir;
    const std::string& TargetFilename = item.TargetFilename;
    TransferOutcome out = TransferOutcome::From(item.FileDate);
    const auto reporting = run.ReportTo(out);
    TZandrelWebCopy& wc = run.component;
    run.PlayClip(kUploadClip);
    // Taken from the URL with its password masked: a URL without a path has the server, and
    // perhaps the credentials, where the name would be, and the name goes into messages.
    const std::string urlName = ExtractUrlFileName(MaskUrlPasswords(URL));
    const std::string url = wc.MakeProxyUrl(URL);
    run.ShowFileLine(urlName, wc.DlgToServerLabel, wc.ExtractServer(MaskUrlPasswords(url)), wc.ShowServer);

    const std::string path = JoinDirFile(TargetDir, TargetFilename.empty() ? urlName : TargetFilename);
    if (!rtl::FileExists(path)) {
        // Said, not just failed: nothing else would tell the user why the item did not run.
        run.SetReason(LocalFailureReason(ENOENT));
        run.ReportError(errOpenSource, kMsgOpenSource + path);
        return out;
    }
    if (!run.PumpMessages()) return out;

    // Each pass sends the whole file to `target`; a 307 or 308 answer names where it should have
    // gone instead, and the file (read afresh from the disk) goes there, a bounded number of
    // times and never from https to plain http. The upload sends no credentials of its own, so
    // none can reach another server on the way.
    std::string target = url;
    for (int redirects = 0;; ++redirects) {
        int status = 0;
        std::string statusText, location;
        const UploadOutcome outcome = HttpPutOnce(run, target, path, TargetDir, item.HTTPCommand, status, statusText, location);
        if (outcome == UploadOutcome::Sent) return out.Done();
        if (outcome == UploadOutcome::Failed) return out;
        if (redirects >= kMaxRedirects) {
            ReportUploadAnswer(run, status, statusText, location,
                               "more than " + std::to_string(kMaxRedirects) + " redirects, not followed");
            return out;
        }
        if (IsHttpsUrl(target) && !IsHttpsUrl(location)) {
            ReportUploadAnswer(run, status, statusText, location, "a redirect from https to http is not followed");
            return out;
        }
        target = location;
    }
}

} // namespace zandrel::webcopy
