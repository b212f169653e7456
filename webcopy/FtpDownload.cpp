// FTP download of one file and of every file matching a mask, and FTP listing.
#include <vector>

#include "platform/rtl/Clock.h"
#include "platform/rtl/FileSystem.h"
#include "webcopy/DownloadTarget.h"
#include "webcopy/FtpCommon.h"
#include "webcopy/LocalFile.h"
#include "webcopy/Routines.h"
#include "webcopy/WebCopyInternals.h"
#include "webcopy/TransferSupport.h"
#include "webcopy/Utilities.h"

namespace zandrel::webcopy {
namespace {

// The directory part of a remote path, up to and including its last "/"; empty without one.
std::string RemoteDirPart(const std::string& url) {
    const size_t slash = url.rfind('/');
    return slash == std::string::npos ? std::string() : url.substr(0, slash + 1);
}

// What the file line shows for a mask: the mask, or, when the URL names a whole folder (no mask:
// every entry), that folder followed by "*", so the line never reads as if a file had no name.
std::string MaskLabel(const std::string& url, const std::string& mask) {
    return mask.empty() ? RemoteDirPart(url) + "*" : mask;
}

// A name from a server's listing that may be used as a local file name inside the target folder.
bool IsPlainFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find_first_of("/\\") == std::string::npos &&
           name.find('\0') == std::string::npos;
}

// Whether the link `name` in the connection's folder `here` (as the server names it) leads to a
// folder: it is entered and left again. False when that could not be told, or the connection not
// brought back (the reason is the Internet layer's last failure).
bool RemoteLinkIsFolder(inet::HINTERNET connection, const std::string& here, const std::string& name, bool& folder) {
    folder = false;
    // Refused: a link to a file, or to nothing.
    if (!inet::FtpSetCurrentDirectory(connection, name))
        return inet::GetLastError() == inet::ERROR_INTERNET_EXTENDED_ERROR;
    folder = true;
    return inet::FtpSetCurrentDirectory(connection, here);
}

// The entry of a file the folder's listing does not show (servers hide dot files from LIST), with
// the date the server tells for it (MDTM). False, reported, when there is none.
bool UnlistedFileEntry(TransferRun& run, inet::HINTERNET connection, const std::string& remoteName,
                       const std::string& URL, inet::WIN32_FIND_DATA& entry) {
    rtl::FILETIME utc;
    if (inet::FtpGetFileTime(connection, remoteName, utc)) {
        entry = inet::WIN32_FIND_DATA{};
        entry.cFileName = remoteName;
        entry.ftLastWriteTime = utc;
        entry.exactTime = true;
        return true;
    }
    if (run.InetCallCancelled()) return false;
    if (inet::GetLastError() == inet::ERROR_NOT_SUPPORTED) {
        // Without a date a newer-only download cannot decide; fetching anyway would answer
        // "newer" for a file that may be the very one the caller has.
        run.SetReason("the server's listing does not show " + remoteName + " and the server tells no date (" +
                      inet::InternetLastFailureReason() + ")");
        run.ReportError(errReadSource, kMsgReadSource + URL);
        return false;
    }
    run.ReportRemoteFailure(URL); // "550 No such file": the file is not there after all
    return false;
}

// The download's transfer over `connection`, which is in the file's remote folder: date check,
// RETR into the local file, and the check that every announced byte arrived. `entry`: the file's
// directory entry, null when the listing did not have it. The date and not-newer go to `out`.
bool FetchFile(TransferRun& run, int Index, inet::HINTERNET connection, const std::string& URL,
               const std::string& remoteName, const std::string& TargetDir, const std::string& TargetFilename,
               bool CopyNewerOnly, TransferOutcome& out, const inet::WIN32_FIND_DATA* entry) {
    TZandrelWebCopy& wc = run.component;
    uint64_t total = entry ? entry->FileSize() : 0;
    if (entry && (CopyNewerOnly || wc.OnFileDateCheck)) {
        const TDateTime remoteDate = RemoteFileDate(connection, remoteName, *entry);
        if (run.cancelled) return false;
        if (wc.OnFileDateCheck) {
            bool allow = true;
            wc.OnFileDateCheck(wc, Index, remoteDate, allow);
            out.fileDate = remoteDate;
            if (!allow) return false;
        } else if (IsLaterDate(remoteDate, out.fileDate)) {
            out.fileDate = remoteDate;
        } else {
            out.notNewer = true;
            out.fileDate = remoteDate;
            if (wc.OnNoNewFileFound) wc.OnNoNewFileFound(wc, remoteName, out.fileDate, remoteDate);
            return false;
        }
    }

    if (!run.PumpMessages()) return false;
    ScopedInetHandle remote(
        inet::FtpOpenFile(connection, remoteName, inet::GENERIC_READ, inet::FTP_TRANSFER_TYPE_BINARY, 0));
    if (!remote) {
        run.ReportRemoteFailure(URL);
        return false;
    }
    // The size the server announces for this transfer (SIZE, or the 150 reply) is the one to
    // hold the data to; the listing's is older.
    uint64_t announced = 0;
    if (inet::FtpGetFileSize64(remote.Get(), announced)) total = announced;
    if (!run.PumpMessages()) return false;

    std::string localPath = JoinDirFile(TargetDir, TargetFilename.empty() ? remoteName : TargetFilename);
    run.display.SetLastTarget(localPath, TargetDir);
    LocalFile target;
    if (!OpenDownloadTarget(run, localPath, target, kMsgCreateTarget)) return false;
    uint64_t received = 0;
    bool writeFailed = false;
    const bool readFailed = !ReceiveInto(run, remote.Get(), target, localPath, total, received, &writeFailed);
    remote.Close();
    // What did not arrive whole never takes the file's name (see LocalFile::CreateReplacing).
    if (run.cancelled || writeFailed) return false;
    // A transfer that broke down, or that ended short of the size the server announced whatever
    // its final reply, is a failure, not a shorter success.
    if (readFailed || received < total) {
        if (!readFailed)
            run.SetReason("the transfer ended after " + std::to_string(received) + " of " + std::to_string(total) +
                          " bytes");
        run.ReportError(errReadSource, kMsgReadSource + URL);
        return false;
    }
    if (!target.Publish()) {
        run.SetReason(LocalFailureReason());
        run.ReportError(errWriteTarget, kMsgWriteTarget + localPath);
        return false;
    }
    out.storedName = localPath;
    return true;
}

} // namespace

TransferOutcome FtpGetFile(TransferRun& run, const TransferItem& in) {
    const TZandrelWebCopyItem& item = in.values;
    const std::string& URL = item.URL;
    TransferOutcome out = TransferOutcome::From(item.FileDate);
    const auto reporting = run.ReportTo(out);
    TZandrelWebCopy& wc = run.component;
    const std::string remoteName = ExtractUrlFileName(URL);
    run.ShowFileLine(remoteName, wc.DlgFromServerLabel, item.FTPHost, wc.ShowServer);

    if (!run.PumpMessages()) return out;
    const FtpAccount account = FtpAccount::Of(item);
    // Every end lets it go: a kept connection goes back where it was, or is given up.
    FtpConnectionUse connection(run, FtpConnect(run, account, true), in.keepConnection);
    if (!connection) return out;
    if (in.keepConnection) FtpKeep(run, connection.Get(), account);

    const std::string dirPart = RemoteDirPart(URL);
    connection.SetMoved(!dirPart.empty());
    if (!run.PumpMessages()) return out;
    // A folder that cannot be entered means the file is not there: a file of the same name in
    // the current folder is another file.
    if (!FtpEnterRemoteDir(run, connection.Get(), dirPart, connection.StartDir(), URL)) return out;

    const bool checkDate = item.CopyNewerOnly || wc.OnFileDateCheck;
    inet::WIN32_FIND_DATA found;
    inet::HINTERNET find = inet::FtpFindFirstFile(connection.Get(), remoteName, found, 0, 0);
    if (find) inet::InternetCloseHandle(find);
    bool listed = find != nullptr;
    if (!listed && inet::GetLastError() == inet::ERROR_NO_MORE_FILES && checkDate) {
        // Not in the listing, which need not mean it is not there: servers leave dot files out
        // of LIST. The date check cannot be skipped for that; the date is asked for directly.
        if (!UnlistedFileEntry(run, connection.Get(), remoteName, URL, found)) return out;
        listed = true;
    } else if (!listed && inet::GetLastError() != inet::ERROR_NO_MORE_FILES) {
        // The folder could not be listed. Its entry only gives the size and the date; without the
        // date a newer-only transfer cannot decide, anything else goes on without the listing,
        // as long as the session survived it.
        const bool cancelled = run.InetCallCancelled();
        if (!cancelled) run.NoteInetFailure();
        if (cancelled || checkDate || !inet::IsConnectionAlive(connection.Get())) {
            if (!cancelled) run.ReportError(errReadSource, kMsgReadSource + URL);
            return out;
        }
    }
    if (!FetchFile(run, in.idx, connection.Get(), URL, remoteName, item.TargetDir, item.TargetFilename,
                   item.CopyNewerOnly, out, listed ? &found : nullptr))
        return out;
    return out.Done();
}

TransferOutcome MultiFtpGetFile(TransferRun& run, const TransferItem& in) {
    const TZandrelWebCopyItem& item = in.values;
    const std::string& TargetDir = item.TargetDir;
    TransferOutcome out = TransferOutcome::From(item.FileDate);
    const auto reporting = run.ReportTo(out);
    TZandrelWebCopy& wc = run.component;
    const std::string url = ToForwardSlashes(item.URL);
    const std::string mask = ExtractUrlFileName(url);
    const std::string serverPart = wc.ShowServer ? " " + wc.DlgFromServerLabel + " " + item.FTPHost : std::string();
    run.ShowFileLine(MaskLabel(url, mask), wc.DlgFromServerLabel, item.FTPHost, wc.ShowServer);

    if (!run.PumpMessages()) return out;
    const FtpAccount account = FtpAccount::Of(item);
    // Kept whatever the caller asked, as a chain of single downloads would keep it.
    FtpConnectionUse connection(run, FtpConnect(run, account, false), true);
    if (!connection) return out;
    FtpKeep(run, connection.Get(), account);
    const std::string dirPart = RemoteDirPart(url);
    connection.SetMoved(!dirPart.empty());
    if (!run.PumpMessages()) return out;
    if (!FtpEnterRemoteDir(run, connection.Get(), dirPart, connection.StartDir(), item.URL)) return out;

    // One listing gives every name with its size and date; the files need no listing of their own.
    std::vector<inet::WIN32_FIND_DATA> entries;
    inet::WIN32_FIND_DATA found;
    if (inet::HINTERNET find = inet::FtpFindFirstFile(connection.Get(), mask, found, 0, 0)) {
        do {
            // A mask picks files; a folder that happens to match is not one of them.
            if (!(found.dwFileAttributes & inet::FILE_ATTRIBUTE_DIRECTORY)) entries.push_back(found);
        } while (inet::InternetFindNextFile(find, found));
        inet::InternetCloseHandle(find);
    } else if (inet::GetLastError() != inet::ERROR_NO_MORE_FILES) {
        run.ReportInetFailure(errReadSource, kMsgReadSource + item.URL);
        return out;
    }
    // A LIST line shows a link, not what it leads to; one that leads to a folder is a folder.
    std::string here;
    for (size_t i = 0; i < entries.size();) {
        if (!entries[i].isLink) {
            ++i;
            continue;
        }
        bool folder = false;
        if ((here.empty() && !inet::FtpGetCurrentDirectory(connection.Get(), here)) ||
            !RemoteLinkIsFolder(connection.Get(), here, entries[i].cFileName, folder)) {
            run.ReportInetFailure(errReadSource, kMsgReadSource + item.URL);
            connection.DropAtEnd();
            return out;
        }
        if (folder) entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(i));
        else ++i;
    }

    const int count = static_cast<int>(entries.size());
    bool allDone = true;
    int fetched = 0;
    int notNewer = 0;
    for (int i = 0; i < count && !run.cancelled; ++i) {
        const inet::WIN32_FIND_DATA& entry = entries[static_cast<size_t>(i)];
        const std::string& name = entry.cFileName;
        run.display.ShowFileLine(wc.DlgFileLabel + " " + std::to_string(i + 1) + " " + wc.DlgFileOfLabel + " " +
                                 std::to_string(count) + " : " + name + serverPart);
        // Every file is compared with the item's date, not with the date of the file before it.
        TransferOutcome one = TransferOutcome::From(item.FileDate);
        {
            const auto reportingFile = run.ReportTo(one);
            if (!IsPlainFileName(name)) {
                // The server named something outside the target folder: refused like any other
                // file that cannot be saved, with a reason of its own.
                run.SetReason("the server's listing names \"" + name + "\", which is no file name in " + TargetDir);
                run.ReportError(errCreateTarget, kMsgCreateTarget + name);
            } else if (FetchFile(run, i, connection.Get(), name, name, TargetDir, name, item.CopyNewerOnly, one,
                                 &entry)) {
                ++fetched;
            }
        }
        if (one.failed) {
            allDone = false;
            run.SetReason(one.reason);
        }
        if (one.notNewer) ++notNewer;
        if (run.cancelled) break; // the files after a Cancel are not touched
        if (wc.OnMultiFTPFileDone) wc.OnMultiFTPFileDone(wc, name);
        // A file whose transfer broke may have taken the session with it; the rest still go.
        if (i + 1 < count && !inet::IsConnectionAlive(connection.Get())) {
            connection.DropNow(FtpConnect(run, account, false));
            if (!connection) return out;
            FtpKeep(run, connection.Get(), account);
            if (!FtpEnterRemoteDir(run, connection.Get(), dirPart, connection.StartDir(), item.URL)) return out;
        }
    }
    if (run.cancelled) return out;
    MultiFileOutcome(out, allDone, fetched, notNewer);
    return out;
}

TransferOutcome MultiFtpGetList(TransferRun& run, const TransferItem& in) {
    const TZandrelWebCopyItem& values = in.values;
    TransferOutcome out = TransferOutcome::From(values.FileDate);
    const auto reporting = run.ReportTo(out);
    TZandrelWebCopy& wc = run.component;
    const std::string url = ToForwardSlashes(values.URL);
    const std::string mask = ExtractUrlFileName(url);
    run.ShowFileLine(MaskLabel(url, mask), wc.DlgFromServerLabel, values.FTPHost, wc.ShowServer);

    if (!run.PumpMessages()) return out;
    // The listing keeps no connection, its own nor the one kept before it.
    FtpConnectionUse connection(run, FtpConnect(run, FtpAccount::Of(values), false), false);
    if (!connection) return out;
    connection.DropAtEnd();
    if (!run.PumpMessages()) return out;
    // A folder that does not exist has no entries to list; listing the login folder instead
    // would answer another question.
    std::string startDir;
    if (!FtpEnterRemoteDir(run, connection.Get(), RemoteDirPart(url), startDir, values.URL)) return out;

    inet::WIN32_FIND_DATA found;
    inet::HINTERNET find = inet::FtpFindFirstFile(connection.Get(), mask, found, inet::INTERNET_FLAG_RELOAD, 0);
    if (!find && inet::GetLastError() != inet::ERROR_NO_MORE_FILES) {
        // A listing that did not arrive whole is no list: an empty one would tell the caller
        // that names are free which are not. The lists are left as they were.
        run.ReportInetFailure(errReadSource, kMsgReadSource + values.URL);
        return out;
    }
    // The lists go into the item in the component's list, which outlives the run.
    TZandrelWebCopyItem* item = in.idx >= 0 && in.idx < wc.Items.Count() ? &wc.Items[in.idx] : nullptr;
    if (item) WebCopyInternals::ResetItemLists(*item);
    if (find) {
        int number = 0;
        do {
            ++number;
            if (item) {
                WebCopyInternals::ItemFileList(*item).Add(found.cFileName);
                TFileDetailItem& detail = WebCopyInternals::ItemFileDetails(*item).Add();
                detail.Filename = found.cFileName;
                detail.FileAttributes = found.dwFileAttributes;
                detail.FileSizeLow = found.nFileSizeLow;
                detail.FileSizeHigh = found.nFileSizeHigh;
                detail.FileDate = found.ftLastWriteTime;
            }
            if (number > 1) run.display.ShowFileLine(std::to_string(number) + " " + found.cFileName);
        } while (inet::InternetFindNextFile(find, found));
        inet::InternetCloseHandle(find);
    }
    if (run.cancelled) return out;
    return out.Done();
}

} // namespace zandrel::webcopy
