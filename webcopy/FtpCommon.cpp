// The steps every FTP routine shares: logging in (or taking over the connection kept by the
// previous item), entering or creating the upload's target directory, and letting a connection go.
//
// The kept connection is described by three fields: FFTPconnect, its key FPrevConnect (host +
// user + password; empty: nothing kept) and FPrevTarget (the directory it was last sent to; empty:
// unknown). FPrevTarget is either true or empty, never stale, because a delete skips its
// directory change when the record matches.
#include "platform/ui/Application.h"
#include "webcopy/Utilities.h"
#include "webcopy/ZandrelWebCopy.h"

namespace zandrel::webcopy {
namespace {

// Why the Internet layer's last call failed: the server's reply when it gave one, else the
// layer's text for its error code.
std::string InetFailureReason() {
    inet::DWORD status = 0;
    std::string reply;
    if (inet::GetLastError() == inet::ERROR_INTERNET_EXTENDED_ERROR && inet::InternetGetLastResponseInfo(status, reply) &&
        !reply.empty()) {
        while (!reply.empty() && (reply.back() == '\n' || reply.back() == '\r')) reply.pop_back();
        return reply;
    }
    std::string text = inet::InternetErrorMessage(inet::GetLastError());
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

} // namespace

TDateTime TZandrelWebCopy::RemoteFileDate(inet::HINTERNET, const std::string&, const inet::WIN32_FIND_DATA& Entry) {
    // Servers give times in UTC; the component's dates are local time.
    rtl::FILETIME local;
    if (!rtl::FileTimeToLocalFileTime(Entry.ftLastWriteTime, local)) local = Entry.ftLastWriteTime;
    return FileTimeToDate(local);
}

void TZandrelWebCopy::ReportNotFound(const std::string& url) {
    ++FReportedFailures;
    if (OnURLNotFound) OnURLNotFound(*this, url);
}

void TZandrelWebCopy::NoteInetFailure() { FLastErrorReason = InetFailureReason(); }

bool TZandrelWebCopy::InetCallCancelled() const {
    return FCancelled || inet::GetLastError() == inet::ERROR_INTERNET_OPERATION_CANCELLED;
}

inet::HINTERNET TZandrelWebCopy::FtpConnect(const std::string& FTPUserID, const std::string& FTPPassword,
                                            const std::string& FTPHost, int32_t FTPPort, bool UseCache) {
    if (FCancelled) return nullptr;
    const std::string key = FTPHost + FTPUserID + FTPPassword;
    if (UseCache && !FPrevConnect.empty() && key == FPrevConnect && FFTPconnect) {
        if (inet::IsConnectionAlive(FFTPconnect)) return FFTPconnect;
        // Closed under us (end of an earlier run, a test that closed it, a server that hung up):
        // never hand that one out.
        inet::InternetCloseHandle(FFTPconnect);
        FFTPconnect = nullptr;
        FPrevConnect.clear();
        FPrevTarget.clear();
    }
    const bool withCredentials = !FTPUserID.empty() && !FTPPassword.empty();
    inet::HINTERNET connection =
        inet::InternetConnect(FHinternet, FTPHost, static_cast<inet::INTERNET_PORT>(FTPPort & 0xFFFF),
                              withCredentials ? FTPUserID : std::string(), withCredentials ? FTPPassword : std::string(),
                              inet::INTERNET_SERVICE_FTP, FTPPassive ? inet::INTERNET_FLAG_PASSIVE : 0, 0);
    if (!connection) {
        // A Cancel during the connect or the login is no connection error: the run just stops.
        if (InetCallCancelled()) return nullptr;
        NoteInetFailure();
        ReportError(errConnect, kMsgConnectFtp + FTPHost);
        return nullptr;
    }
    // The record describes the kept connection; a fresh one starts elsewhere (its login directory).
    FPrevTarget.clear();
    return connection;
}

void TZandrelWebCopy::FtpKeep(inet::HINTERNET Connection, const std::string& FTPUserID,
                              const std::string& FTPPassword, const std::string& FTPHost) {
    if (FFTPconnect && FFTPconnect != Connection) {
        // The one kept before is replaced; nothing could take it over any more.
        inet::InternetCloseHandle(FFTPconnect);
        FPrevTarget.clear();
    }
    FFTPconnect = Connection;
    FPrevConnect = FTPHost + FTPUserID + FTPPassword;
}

void TZandrelWebCopy::FtpDrop(inet::HINTERNET Connection) {
    if (Connection) inet::InternetCloseHandle(Connection);
    // With its key gone the kept connection could never be taken over again: close it as well.
    if (FFTPconnect && FFTPconnect != Connection) inet::InternetCloseHandle(FFTPconnect);
    FFTPconnect = nullptr;
    FPrevConnect.clear();
    FPrevTarget.clear();
}

void TZandrelWebCopy::FtpRelease(inet::HINTERNET Connection, bool KeepConnection, bool Moved,
                                  const std::string& StartDir) {
    if (!Connection) return;
    // A kept connection must be found by the next item exactly where this one found it; when it
    // cannot be sent back (the server refuses, the session broke, the run was cancelled), it is
    // given up instead, and the next item logs in afresh.
    if (!KeepConnection || FCancelled || !inet::IsConnectionAlive(Connection) ||
        (Moved && (StartDir.empty() || !inet::FtpSetCurrentDirectory(Connection, StartDir)))) {
        FtpDrop(Connection);
        return;
    }
    if (Moved) FPrevTarget.clear(); // back where it started, no longer in the target folder
}

bool TZandrelWebCopy::FtpEnterRemoteDir(inet::HINTERNET Connection, const std::string& Dir, std::string& StartDir) {
    StartDir.clear();
    if (Dir.empty()) return true;
    // The way back is needed before leaving: without it a kept connection could not return.
    if (!inet::FtpGetCurrentDirectory(Connection, StartDir)) StartDir.clear();
    return inet::FtpSetCurrentDirectory(Connection, Dir);
}

bool TZandrelWebCopy::FtpEnterTargetDir(inet::HINTERNET Connection, const std::string& TargetDir,
                                        bool KeepConnection, std::string& StartDir) {
    FPrevTarget = KeepConnection ? TargetDir : std::string();
    StartDir.clear();
    if (!inet::FtpGetCurrentDirectory(Connection, StartDir)) StartDir.clear();
    if (!TargetDir.empty() && inet::FtpSetCurrentDirectory(Connection, TargetDir)) return true;
    if (FCancelled) return false;

    // Level by level from where the connection is now; missing levels are created. A leading
    // "/" does not lead back to the root: every part is taken relative to the current directory.
    FPrevTarget.clear();
    const std::string path = ToForwardSlashes(TargetDir);
    size_t begin = 0;
    while (begin <= path.size()) {
        size_t end = path.find('/', begin);
        if (end == std::string::npos) end = path.size();
        const std::string part = path.substr(begin, end - begin);
        begin = end + 1;
        if (part.empty()) continue;
        if (inet::FtpSetCurrentDirectory(Connection, part)) continue;
        if (FCancelled) return false;
        // Entered after creating it, and checked: a file must never land one level too high.
        if (!inet::FtpCreateDirectory(Connection, part) || !inet::FtpSetCurrentDirectory(Connection, part))
            return false;
    }
    return true;
}

} // namespace zandrel::webcopy
