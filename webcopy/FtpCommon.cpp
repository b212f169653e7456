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

inet::HINTERNET TZandrelWebCopy::FtpConnect(const std::string& FTPUserID, const std::string& FTPPassword,
                                            const std::string& FTPHost, int32_t FTPPort, bool UseCache) {
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

bool TZandrelWebCopy::FtpEnterTargetDir(inet::HINTERNET Connection, const std::string& TargetDir,
                                        bool KeepConnection, std::string& StartDir) {
    FPrevTarget = KeepConnection ? TargetDir : std::string();
    StartDir.clear();
    inet::FtpGetCurrentDirectory(Connection, StartDir);
    if (inet::FtpSetCurrentDirectory(Connection, TargetDir)) return true;

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
        if (!inet::FtpCreateDirectory(Connection, part)) return false;
        inet::FtpSetCurrentDirectory(Connection, part);
    }
    return true;
}

} // namespace zandrel::webcopy
