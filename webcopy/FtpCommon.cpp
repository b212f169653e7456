// The steps every FTP routine shares: logging in (or taking over the connection kept by the
// previous item), entering or creating the upload's target directory, and letting a connection go.
//
// The kept connection is described by three fields: FFTPconnect, its key FPrevConnect (host,
// port, user and password, see FtpConnectionKey; empty: nothing kept) and FPrevTarget (the
// directory it was last sent to; empty: unknown). FPrevTarget is either true or empty, never
// stale, because a delete skips its directory change when the record matches.
#include "webcopy/TransferSupport.h"
#include "webcopy/UrlHelpers.h"
#include "webcopy/Utilities.h"
#include "webcopy/ZandrelWebCopy.h"

namespace zandrel::webcopy {

// Newer-only transfers compare the remote file's time with the caller's date, so the time must be
// as precise as the server can give it: a LIST line has no seconds, and no time of day at all
// for files older than about six months. MLSD times (exact) come first, then MDTM where the
// server offers it, and the LIST time only when neither is there.
//
// Both are UTC, while the component's dates (FileDate, NewFileDate, the events' dates) are local
// time, as everywhere else in it: the remote time is converted to local time once, here, so the
// comparison is made in one basis and a NewFileDate handed back as the next FileDate compares
// equal. A LIST time carries no zone; it is taken as UTC too, as most servers write it.
TDateTime TZandrelWebCopy::RemoteFileDate(inet::HINTERNET Connection, const std::string& Name,
                                          const inet::WIN32_FIND_DATA& Entry) {
    rtl::FILETIME utc = Entry.ftLastWriteTime;
    if (!Entry.exactTime) {
        rtl::FILETIME exact;
        if (inet::FtpGetFileTime(Connection, Name, exact)) utc = exact;
    }
    rtl::FILETIME local;
    if (!rtl::FileTimeToLocalFileTime(utc, local)) local = utc;
    return FileTimeToDate(local);
}

void TZandrelWebCopy::ReportNotFound(const std::string& url) {
    ++FReportedFailures;
    if (OnURLNotFound) OnURLNotFound(*this, MaskUrlPasswords(url));
}

bool TZandrelWebCopy::MultiFileOutcome(bool allDone, int transferred, int notNewer, bool& NoNewVersion) {
    // Nothing newer anywhere is the newer-only answer, as for one file; some files newer is a
    // transfer. A file that failed fails the item: it did not do all it was asked.
    NoNewVersion = allDone && transferred == 0 && notNewer > 0;
    return allDone && !NoNewVersion;
}

void TZandrelWebCopy::ReportInetFailure(int Code, const std::string& Info) {
    if (InetCallCancelled()) return;
    NoteInetFailure();
    ReportError(Code, Info);
}

void TZandrelWebCopy::ReportInetNotFound(const std::string& url) {
    if (InetCallCancelled()) return;
    NoteInetFailure();
    ReportNotFound(url);
}

void TZandrelWebCopy::ReportRemoteFailure(const std::string& url) {
    if (InetCallCancelled()) return;
    NoteInetFailure();
    // Only the server's own refusal ("550 No such file", "550 Permission denied") says the file
    // cannot be had; no answer, a dropped connection or a busy server say nothing about the file.
    inet::DWORD status = 0;
    std::string reply;
    inet::InternetGetLastResponseInfo(status, reply);
    if (inet::GetLastError() == inet::ERROR_INTERNET_EXTENDED_ERROR && status / 100 == 5)
        ReportNotFound(url);
    else
        ReportError(errReadSource, kMsgReadSource + url);
}

void TZandrelWebCopy::NoteInetFailure() { FLastErrorReason = inet::InternetLastFailureReason(); }

bool TZandrelWebCopy::InetCallCancelled() const {
    return FCancelled || inet::GetLastError() == inet::ERROR_INTERNET_OPERATION_CANCELLED;
}

inet::HINTERNET TZandrelWebCopy::FtpConnect(const std::string& FTPUserID, const std::string& FTPPassword,
                                            const std::string& FTPHost, int32_t FTPPort, bool UseCache) {
    if (FCancelled) return nullptr;
    const std::string key = FtpConnectionKey(FTPHost, FTPPort, FTPUserID, FTPPassword);
    if (UseCache && !FPrevConnect.empty() && key == FPrevConnect && FFTPconnect) {
        if (inet::IsConnectionAlive(FFTPconnect)) return FFTPconnect;
        // Closed under us (end of an earlier run, a test that closed it, a server that hung up):
        // never hand that one out.
        inet::InternetCloseHandle(FFTPconnect);
        FFTPconnect = nullptr;
        FPrevConnect.clear();
        FPrevTarget.clear();
    }
    // A port beyond 16 bits would quietly become another port (70000 is 4464): no server there.
    if (FTPPort < 0 || FTPPort > 65535) {
        FLastErrorReason = "port " + std::to_string(FTPPort) + " is not a port number (1 to 65535)";
        ReportError(errConnect, kMsgConnectFtp + FTPHost);
        return nullptr;
    }
    const bool withCredentials = !FTPUserID.empty() && !FTPPassword.empty();
    inet::HINTERNET connection =
        inet::InternetConnect(FHinternet, FTPHost, static_cast<inet::INTERNET_PORT>(FTPPort),
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
                              const std::string& FTPPassword, const std::string& FTPHost, int32_t FTPPort) {
    if (FFTPconnect && FFTPconnect != Connection) {
        // The one kept before is replaced; nothing could take it over any more.
        inet::InternetCloseHandle(FFTPconnect);
        FPrevTarget.clear();
    }
    FFTPconnect = Connection;
    FPrevConnect = FtpConnectionKey(FTPHost, FTPPort, FTPUserID, FTPPassword);
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

bool TZandrelWebCopy::FtpEnterRemoteDir(inet::HINTERNET Connection, const std::string& Dir, std::string& StartDir,
                                        const std::string& URL) {
    StartDir.clear();
    if (Dir.empty()) return true;
    // The way back is needed before leaving: without it a kept connection could not return.
    if (!inet::FtpGetCurrentDirectory(Connection, StartDir)) StartDir.clear();
    if (inet::FtpSetCurrentDirectory(Connection, Dir)) return true;
    ReportRemoteFailure(URL);
    return false;
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
        const std::string enterReason = inet::InternetLastFailureReason();
        if (!inet::FtpCreateDirectory(Connection, part)) {
            // A folder that is there but cannot be entered is refused again by MKD ("File
            // exists"); that answer alone would hide the one that tells why (no permission).
            if (!InetCallCancelled())
                inet::InternetSetLastFailureReason("cannot enter " + part + " (" + enterReason + ") nor create it (" +
                                                   inet::InternetLastFailureReason() + ")");
            return false;
        }
        // Entered after creating it, and checked: a file must never land one level too high.
        if (!inet::FtpSetCurrentDirectory(Connection, part)) return false;
    }
    return true;
}

} // namespace zandrel::webcopy
