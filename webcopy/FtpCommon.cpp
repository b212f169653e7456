// The steps every FTP routine shares: logging in (or taking over the connection kept by the
// previous item), entering or creating the upload's target directory, and letting a connection go.
//
// The kept connection is the run's `kept`: its handle, its key (host, port, user and password,
// see FtpConnectionKey; empty: nothing kept) and its folder (the directory it was last sent to;
// empty: unknown). The folder is either true or empty, never stale, because a delete skips its
// directory change when the record matches.
#include "webcopy/FtpCommon.h"

#include "webcopy/FtpEndpoint.h"
#include "webcopy/SshQuestions.h"
#include "webcopy/TransferSupport.h"
#include "webcopy/UrlHelpers.h"
#include "webcopy/Utilities.h"
#include "webcopy/ZandrelWebCopy.h"

namespace zandrel::webcopy {
namespace {

constexpr int kUploadClip = 258;

// While an SFTP login is made: the item's key file, and the person asked about an unknown host
// key or a key's passphrase when someone can answer. With nobody to ask no question is offered,
// so that an unknown key fails saying how to add it instead of counting as refused.
class SshLoginScope {
public:
    explicit SshLoginScope(const std::string& keyFile) {
        inet::SshLogin login;
        login.keyFile = keyFile;
        login.askHostKey = [](const ssh::HostKeyQuestion& q) {
            HostKeyQuestion question;
            // known_hosts writes "[host]:port" for ports other than 22.
            question.host = q.host;
            if (question.host.size() > 2 && question.host.front() == '[') {
                const size_t close = question.host.find("]:");
                if (close != std::string::npos) {
                    question.port = std::atoi(question.host.c_str() + close + 2);
                    question.host = question.host.substr(1, close - 1);
                }
            }
            question.keyType = q.keyType;
            question.fingerprint = q.fingerprint;
            question.rememberIn = q.knownHostsFile;
            switch (AskAboutHostKey(question)) {
            case HostKeyAnswer::AcceptOnce: return ssh::HostKeyAnswer::AcceptOnce;
            case HostKeyAnswer::AcceptAndRemember: return ssh::HostKeyAnswer::AcceptAndRemember;
            default: return ssh::HostKeyAnswer::Cancel;
            }
        };
        login.askPassphrase = [](const ssh::PassphraseQuestion& q, std::string& passphrase) {
            return AskPassphrase(q.keyFile, passphrase);
        };
        if (!CanAskAboutHostKeys()) login.askHostKey = nullptr;
        previous_ = inet::SetSshLogin(std::move(login));
    }
    ~SshLoginScope() { inet::SetSshLogin(std::move(previous_)); }
    SshLoginScope(const SshLoginScope&) = delete;
    SshLoginScope& operator=(const SshLoginScope&) = delete;

private:
    inet::SshLogin previous_;
};

inet::DWORD TransportFlags(TZandrelWebCopyFtpSecurity security) {
    switch (security) {
    case fsFtpsExplicit: return inet::INTERNET_FLAG_FTPS_EXPLICIT;
    case fsFtpsImplicit: return inet::INTERNET_FLAG_FTPS_IMPLICIT;
    case fsSftp: return inet::INTERNET_FLAG_SFTP;
    case fsNone: break;
    }
    return 0;
}

} // namespace

void ShowSendingLine(TransferRun& run, const TZandrelWebCopyItem& item) {
    run.PlayClip(kUploadClip);
    run.ShowFileLine(ExtractUrlFileName(item.URL), run.component.DlgToServerLabel, item.FTPHost, true);
}

// Newer-only transfers compare the remote file's time with the caller's date, so the time must be
// as precise as the server can give it: a LIST line has no seconds, and no time of day at all
// for files older than about six months. MLSD times (exact) come first, then MDTM where the
// server offers it, and the LIST time only when neither is there.
//
// Both are UTC, while the component's dates (FileDate, NewFileDate, the events' dates) are local
// time, as everywhere else in it: the remote time is converted to local time once, here, so the
// comparison is made in one basis and a NewFileDate handed back as the next FileDate compares
// equal. A LIST time carries no zone; it is taken as UTC too, as most servers write it.
TDateTime RemoteFileDate(inet::HINTERNET Connection, const std::string& Name, const inet::WIN32_FIND_DATA& Entry) {
    rtl::FILETIME utc = Entry.ftLastWriteTime;
    if (!Entry.exactTime) {
        rtl::FILETIME exact;
        if (inet::FtpGetFileTime(Connection, Name, exact)) utc = exact;
    }
    rtl::FILETIME local;
    if (!rtl::FileTimeToLocalFileTime(utc, local)) local = utc;
    return FileTimeToDate(local);
}

std::string FtpAccount::Key() const {
    return FtpConnectionKey(host, port, user, password) + '\0' + std::to_string(security) + '\0' + keyFile;
}

inet::HINTERNET OpenFtpConnection(TransferRun& run, const FtpAccount& account, std::string& problem) {
    const FtpEndpoint endpoint = ResolveFtpEndpoint(account.host, account.port, account.security, problem);
    // A port beyond 16 bits would quietly become another port (70000 is 4464): no server there.
    if (problem.empty() && (endpoint.port < 0 || endpoint.port > 65535))
        problem = "port " + std::to_string(endpoint.port) + " is not a port number (1 to 65535)";
    if (!problem.empty()) return nullptr;
    // FTP logs in anonymously unless both are given; SFTP always logs in as a user, with the
    // password only as the last of its ways.
    const bool sftp = endpoint.security == fsSftp;
    const bool withCredentials = !account.user.empty() && (sftp || !account.password.empty());
    const SshLoginScope sshLogin(account.keyFile);
    inet::HINTERNET connection = inet::InternetConnect(
        run.root, endpoint.host, static_cast<inet::INTERNET_PORT>(endpoint.port),
        withCredentials ? account.user : std::string(), withCredentials ? account.password : std::string(),
        inet::INTERNET_SERVICE_FTP,
        (run.component.FTPPassive ? inet::INTERNET_FLAG_PASSIVE : 0) | TransportFlags(endpoint.security), 0);
    return connection;
}

inet::HINTERNET FtpConnect(TransferRun& run, const FtpAccount& account, bool UseCache) {
    if (run.cancelled) return nullptr;
    const std::string key = account.Key();
    KeptFtpConnection& kept = run.kept;
    if (UseCache && !kept.key.empty() && key == kept.key && kept.handle) {
        if (inet::IsConnectionAlive(kept.handle)) return kept.handle;
        // Closed under us (a server that hung up, a test that closed it): never hand that one out.
        inet::InternetCloseHandle(kept.handle);
        kept.Forget();
    }
    std::string problem;
    inet::HINTERNET connection = OpenFtpConnection(run, account, problem);
    if (!connection) {
        if (!problem.empty()) {
            run.SetReason(problem);
        } else {
            // A Cancel during the connect or the login is no connection error: the run just stops.
            if (run.InetCallCancelled()) return nullptr;
            run.NoteInetFailure();
        }
        run.ReportError(errConnect, kMsgConnectFtp + account.host);
        return nullptr;
    }
    // The record describes the kept connection; a fresh one starts elsewhere (its login directory).
    kept.folder.clear();
    return connection;
}

void FtpKeep(TransferRun& run, inet::HINTERNET Connection, const FtpAccount& account) {
    KeptFtpConnection& kept = run.kept;
    if (kept.handle && kept.handle != Connection) {
        // The one kept before is replaced; nothing could take it over any more.
        inet::InternetCloseHandle(kept.handle);
        kept.folder.clear();
    }
    kept.handle = Connection;
    kept.key = account.Key();
}

void FtpDrop(TransferRun& run, inet::HINTERNET Connection) {
    if (Connection) inet::InternetCloseHandle(Connection);
    // With its key gone the kept connection could never be taken over again: close it as well.
    if (run.kept.handle && run.kept.handle != Connection) inet::InternetCloseHandle(run.kept.handle);
    run.kept.Forget();
}

void FtpRelease(TransferRun& run, inet::HINTERNET Connection, bool KeepConnection, bool Moved,
                const std::string& StartDir) {
    if (!Connection) return;
    // A kept connection must be found by the next item exactly where this one found it; when it
    // cannot be sent back (the server refuses, the session broke, the run was cancelled), it is
    // given up instead, and the next item logs in afresh.
    if (!KeepConnection || run.cancelled || !inet::IsConnectionAlive(Connection) ||
        (Moved && (StartDir.empty() || !inet::FtpSetCurrentDirectory(Connection, StartDir)))) {
        FtpDrop(run, Connection);
        return;
    }
    if (Moved) run.kept.folder.clear(); // back where it started, no longer in the target folder
}

bool FtpEnterRemoteDir(TransferRun& run, inet::HINTERNET Connection, const std::string& Dir, std::string& StartDir,
                       const std::string& URL) {
    StartDir.clear();
    if (Dir.empty()) return true;
    // The way back is needed before leaving: without it a kept connection could not return.
    if (!inet::FtpGetCurrentDirectory(Connection, StartDir)) StartDir.clear();
    if (inet::FtpSetCurrentDirectory(Connection, Dir)) return true;
    run.ReportRemoteFailure(URL);
    return false;
}

bool FtpEnterTargetDir(TransferRun& run, inet::HINTERNET Connection, const std::string& TargetDir, bool KeepConnection,
                       std::string& StartDir) {
    run.kept.folder = KeepConnection ? TargetDir : std::string();
    StartDir.clear();
    if (!inet::FtpGetCurrentDirectory(Connection, StartDir)) StartDir.clear();
    if (!TargetDir.empty() && inet::FtpSetCurrentDirectory(Connection, TargetDir)) return true;
    if (run.cancelled) return false;

    // Level by level from where the connection is now; missing levels are created. A leading
    // "/" does not lead back to the root: every part is taken relative to the current directory.
    run.kept.folder.clear();
    const std::string path = ToForwardSlashes(TargetDir);
    size_t begin = 0;
    while (begin <= path.size()) {
        size_t end = path.find('/', begin);
        if (end == std::string::npos) end = path.size();
        const std::string part = path.substr(begin, end - begin);
        begin = end + 1;
        if (part.empty()) continue;
        if (inet::FtpSetCurrentDirectory(Connection, part)) continue;
        if (run.cancelled) return false;
        const std::string enterReason = inet::InternetLastFailureReason();
        if (!inet::FtpCreateDirectory(Connection, part)) {
            // A folder that is there but cannot be entered is refused again by MKD ("File
            // exists"); that answer alone would hide the one that tells why (no permission).
            if (!run.InetCallCancelled())
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
