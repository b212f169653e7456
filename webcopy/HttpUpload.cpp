// HTTP upload of one file with POST or PUT.
#include "platform/rtl/Clock.h"
#include "platform/rtl/FileSystem.h"
#include "webcopy/FtpLocalFile.h"
#include "webcopy/FtpSupport.h"
#include "webcopy/Utilities.h"
#include "webcopy/ZandrelWebCopy.h"

namespace zandrel::webcopy {
namespace {

constexpr int kUploadClip = 258;

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

bool IsHttpsUrl(const std::string& url) {
    if (url.size() < 8) return false;
    std::string scheme = url.substr(0, 8);
    for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return scheme == "https://";
}

} // namespace

bool TZandrelWebCopy::HttpPutFile(const std::string& URL, const std::string& TargetDir,
                                  const std::string& TargetFilename, TZandrelWebCopyHTTPCommand HTTPCommand) {
    PlayClip(kUploadClip);
    const std::string urlName = ExtractUrlFileName(URL);
    const std::string url = MakeProxyUrl(URL);
    ShowFileLine(urlName, DlgToServerLabel, ExtractServer(url), ShowServer);

    const std::string path = JoinDirFile(TargetDir, TargetFilename.empty() ? urlName : TargetFilename);
    if (!rtl::FileExists(path)) {
        // Said, not just failed: nothing else would tell the user why the item did not run.
        FLastErrorReason = LocalFailureReason(ENOENT);
        ReportError(errOpenSource, kMsgOpenSource + path);
        return false;
    }
    if (!PumpMessages()) return false;

    // The server name keeps a port the URL gives ("server:81"), and an https URL goes over TLS:
    // the request reaches the server the URL names, the way the URL says.
    const std::string server = ExtractServer(url);
    const std::string object = RemoveServer(url);
    const bool tls = IsHttpsUrl(url);
    ScopedInetHandle connection(inet::InternetConnect(FHinternet, server,
                                                      tls ? inet::INTERNET_DEFAULT_HTTPS_PORT : inet::INTERNET_DEFAULT_HTTP_PORT,
                                                      "", "", inet::INTERNET_SERVICE_HTTP, 0, 0));
    ScopedInetHandle request(connection ? inet::HttpOpenRequest(connection.Get(), HTTPCommand == hcPut ? "PUT" : "POST",
                                                                object, "", "",
                                                                inet::INTERNET_FLAG_NO_CACHE_WRITE |
                                                                    (tls ? inet::INTERNET_FLAG_SECURE : 0),
                                                                0)
                                        : nullptr);
    if (!request) {
        ReportInetFailure(errConnect, kMsgConnectServer + server);
        return false;
    }

    LocalFile source;
    if (!source.OpenRead(path)) {
        FLastErrorReason = LocalFailureReason();
        ReportError(errOpenSource, kMsgOpenSource + path);
        return false;
    }
    const uint64_t size = source.Size();
    FLastFile = path;
    FLastDir = TargetDir;

    // A refusal by the server (any answer but 2xx) is reported with its status and text.
    auto reportAnswer = [this](inet::DWORD status, inet::HINTERNET request) {
        std::string reason;
        inet::HttpQueryInfoText(request, inet::HTTP_QUERY_STATUS_TEXT, reason);
        FLastErrorReason = "the server answered " + std::to_string(status) + (reason.empty() ? "" : " " + reason);
        ReportError(static_cast<int>(status), "Returned http error code " + std::to_string(status));
    };
    // Reports the Internet layer's failure with its code and text (a Cancel is no error). A
    // server that refused the upload before taking the whole body broke the connection for a
    // reason: its answer, when it gave one, is what the user needs to know.
    auto reportCall = [&] {
        if (InetCallCancelled()) return;
        const inet::DWORD code = inet::GetLastError();
        const std::string reason = inet::InternetLastFailureReason();
        inet::DWORD status = 0;
        if (inet::HttpQueryInfo(request.Get(), inet::HTTP_QUERY_STATUS_CODE | inet::HTTP_QUERY_FLAG_NUMBER, status) &&
            status / 100 != 2) {
            reportAnswer(status, request.Get());
            return;
        }
        FLastErrorReason = reason;
        ReportError(static_cast<int>(code), InetErrorText(code));
    };
    if (!inet::HttpSendRequestEx(request.Get(), size, inet::HSR_INITIATE, 0)) {
        reportCall();
        return false;
    }

    const uint32_t start = rtl::GetTickCount();
    uint64_t sent = 0;
    bool failed = false;
    PieceSize piece;
    for (size_t n = piece.Get(), wanted = n; n == wanted && !FCancelled;) {
        wanted = piece.Get();
        const char* data = nullptr;
        n = source.ReadBlock(data, wanted, path);
        inet::DWORD written = 0;
        const uint32_t pieceStart = rtl::GetTickCount();
        if (!inet::InternetWriteFile(request.Get(), data, static_cast<inet::DWORD>(n), written)) {
            reportCall();
            failed = true;
            break;
        }
        piece.Took(rtl::GetTickCount() - pieceStart);
        sent += n;
        if (ProgressStep(sent, size, start, DlgUpload)) break;
    }
    // The request is ended in every case; a body that fell short never reaches the server as a
    // complete one (the layer refuses to end it).
    const bool ended = inet::HttpEndRequest(request.Get(), 0, 0);
    if (!ended && !failed && sent == size) reportCall();
    if (!ended || failed || sent != size || FCancelled) return false;

    // Only the server's acceptance makes an upload: a refusal (401, 403, 413, 500 ...) is a failure.
    inet::DWORD status = 0;
    inet::HttpQueryInfo(request.Get(), inet::HTTP_QUERY_STATUS_CODE | inet::HTTP_QUERY_FLAG_NUMBER, status);
    if (status / 100 != 2) {
        reportAnswer(status, request.Get());
        return false;
    }
    return true;
}

} // namespace zandrel::webcopy
