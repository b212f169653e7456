// FTP download of one file and of every file matching a mask, and FTP listing.
#include <vector>

#include "platform/rtl/Clock.h"
#include "platform/rtl/FileSystem.h"
#include "platform/ui/Forms.h"
#include "webcopy/LocalFile.h"
#include "webcopy/TransferSupport.h"
#include "webcopy/Utilities.h"
#include "webcopy/ZandrelWebCopy.h"

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

} // namespace

bool TZandrelWebCopy::UnlistedFileEntry(inet::HINTERNET connection, const std::string& remoteName,
                                        const std::string& URL, inet::WIN32_FIND_DATA& entry) {
    rtl::FILETIME utc;
    if (inet::FtpGetFileTime(connection, remoteName, utc)) {
        entry = inet::WIN32_FIND_DATA{};
        entry.cFileName = remoteName;
        entry.ftLastWriteTime = utc;
        entry.exactTime = true;
        return true;
    }
    if (InetCallCancelled()) return false;
    if (inet::GetLastError() == inet::ERROR_NOT_SUPPORTED) {
        // Without a date a newer-only download cannot decide; fetching anyway would answer
        // "newer" for a file that may be the very one the caller has.
        FLastErrorReason = "the server's listing does not show " + remoteName + " and the server tells no date (" +
                           inet::InternetLastFailureReason() + ")";
        ReportError(errReadSource, kMsgReadSource + URL);
        return false;
    }
    ReportRemoteFailure(URL); // "550 No such file": the file is not there after all
    return false;
}

bool TZandrelWebCopy::FtpGetFile(int Index, const std::string& FTPUserID, const std::string& FTPPassword,
                                 const std::string& FTPHost, int32_t FTPPort, const std::string& URL,
                                 const std::string& TargetDir, const std::string& TargetFilename, bool CopyNewerOnly,
                                 TDateTime& FileDate, bool& NoNewVersion, bool KeepConnection, bool ShowLabels) {
    NoNewVersion = false;
    const std::string remoteName = ExtractUrlFileName(URL);
    if (ShowLabels) ShowFileLine(remoteName, DlgFromServerLabel, FTPHost, ShowServer);

    if (!PumpMessages()) return false;
    inet::HINTERNET connection = FtpConnect(FTPUserID, FTPPassword, FTPHost, FTPPort, true);
    if (!connection) return false;
    if (KeepConnection) FtpKeep(connection, FTPUserID, FTPPassword, FTPHost, FTPPort);

    const std::string dirPart = RemoteDirPart(URL);
    std::string startDir;
    // Every end goes through here: a kept connection goes back where it was, or is given up.
    auto release = [&] { FtpRelease(connection, KeepConnection, !dirPart.empty(), startDir); };
    if (!PumpMessages()) {
        release();
        return false;
    }
    // A folder that cannot be entered means the file is not there: a file of the same name in
    // the current folder is another file.
    if (!FtpEnterRemoteDir(connection, dirPart, startDir, URL)) {
        release();
        return false;
    }

    inet::WIN32_FIND_DATA found;
    inet::HINTERNET find = inet::FtpFindFirstFile(connection, remoteName, found, 0, 0);
    if (find) inet::InternetCloseHandle(find);
    bool listed = find != nullptr;
    if (!listed && inet::GetLastError() == inet::ERROR_NO_MORE_FILES && (CopyNewerOnly || OnFileDateCheck)) {
        // Not in the listing, which need not mean it is not there: servers leave dot files out
        // of LIST. The date check cannot be skipped for that; the date is asked for directly.
        if (!UnlistedFileEntry(connection, remoteName, URL, found)) {
            release();
            return false;
        }
        listed = true;
    } else if (!listed && inet::GetLastError() != inet::ERROR_NO_MORE_FILES) {
        // The folder could not be listed. Its entry only gives the size and the date; without the
        // date a newer-only transfer cannot decide, anything else goes on without the listing,
        // as long as the session survived it.
        const bool cancelled = InetCallCancelled();
        if (!cancelled) NoteInetFailure();
        if (cancelled || CopyNewerOnly || OnFileDateCheck || !inet::IsConnectionAlive(connection)) {
            if (!cancelled) ReportError(errReadSource, kMsgReadSource + URL);
            release();
            return false;
        }
    }
    bool ok = false;
    try {
        ok = FetchFile(Index, connection, URL, remoteName, TargetDir, TargetFilename, CopyNewerOnly, FileDate,
                       NoNewVersion, listed ? &found : nullptr);
    } catch (...) {
        FtpDrop(connection);
        throw;
    }
    release();
    return ok;
}

bool TZandrelWebCopy::FetchFile(int Index, inet::HINTERNET connection, const std::string& URL,
                                const std::string& remoteName, const std::string& TargetDir,
                                const std::string& TargetFilename, bool CopyNewerOnly, TDateTime& FileDate,
                                bool& NoNewVersion, const inet::WIN32_FIND_DATA* entry) {
    uint64_t total = entry ? entry->FileSize() : 0;
    if (entry && (CopyNewerOnly || OnFileDateCheck)) {
        const TDateTime remoteDate = RemoteFileDate(connection, remoteName, *entry);
        if (FCancelled) return false;
        if (OnFileDateCheck) {
            bool allow = true;
            OnFileDateCheck(*this, Index, remoteDate, allow);
            FileDate = remoteDate;
            if (!allow) return false;
        } else if (IsLaterDate(remoteDate, FileDate)) {
            FileDate = remoteDate;
        } else {
            NoNewVersion = true;
            FileDate = remoteDate;
            if (OnNoNewFileFound) OnNoNewFileFound(*this, remoteName, FileDate, remoteDate);
            return false;
        }
    }

    if (!PumpMessages()) return false;
    ScopedInetHandle remote(
        inet::FtpOpenFile(connection, remoteName, inet::GENERIC_READ, inet::FTP_TRANSFER_TYPE_BINARY, 0));
    if (!remote) {
        ReportRemoteFailure(URL);
        return false;
    }
    // The size the server announces for this transfer (SIZE, or the 150 reply) is the one to
    // hold the data to; the listing's is older.
    uint64_t announced = 0;
    if (inet::FtpGetFileSize64(remote.Get(), announced)) total = announced;
    if (!PumpMessages()) return false;

    std::string localPath = JoinDirFile(TargetDir, TargetFilename.empty() ? remoteName : TargetFilename);
    FLastFile = localPath;
    FLastDir = TargetDir;
    LocalFile target;
    if (!OpenDownloadTarget(localPath, target, kMsgCreateTarget)) return false;
    uint64_t received = 0;
    bool writeFailed = false;
    const bool readFailed = !ReceiveInto(remote.Get(), target, localPath, total, received, &writeFailed);
    remote.Close();
    // What did not arrive whole never takes the file's name (see LocalFile::CreateReplacing).
    if (FCancelled || writeFailed) return false;
    // A transfer that broke down, or that ended short of the size the server announced whatever
    // its final reply, is a failure, not a shorter success.
    if (readFailed || received < total) {
        if (!readFailed)
            FLastErrorReason = "the transfer ended after " + std::to_string(received) + " of " +
                               std::to_string(total) + " bytes";
        ReportError(errReadSource, kMsgReadSource + URL);
        return false;
    }
    if (!target.Publish()) {
        FLastErrorReason = LocalFailureReason();
        ReportError(errWriteTarget, kMsgWriteTarget + localPath);
        return false;
    }
    return true;
}

bool TZandrelWebCopy::MultiFtpGetFile(int, const std::string& FTPUserID, const std::string& FTPPassword,
                                      const std::string& FTPHost, int32_t FTPPort, const std::string& URL,
                                      const std::string& TargetDir, const std::string&, bool CopyNewerOnly,
                                      TDateTime& FileDate, bool& NoNewVersion, bool) {
    NoNewVersion = false;
    const std::string url = ToForwardSlashes(URL);
    const std::string mask = ExtractUrlFileName(url);
    const std::string serverPart = ShowServer ? " " + DlgFromServerLabel + " " + FTPHost : std::string();
    ShowFileLine(MaskLabel(url, mask), DlgFromServerLabel, FTPHost, ShowServer);

    if (!PumpMessages()) return false;
    inet::HINTERNET connection = FtpConnect(FTPUserID, FTPPassword, FTPHost, FTPPort, false);
    if (!connection) return false;
    // Kept whatever the caller asked, as a chain of single downloads would keep it.
    FtpKeep(connection, FTPUserID, FTPPassword, FTPHost, FTPPort);
    const std::string dirPart = RemoteDirPart(url);
    std::string startDir;
    auto release = [&] { FtpRelease(connection, true, !dirPart.empty(), startDir); };
    if (!PumpMessages()) {
        release();
        return false;
    }
    if (!FtpEnterRemoteDir(connection, dirPart, startDir, URL)) {
        release();
        return false;
    }

    // One listing gives every name with its size and date; the files need no listing of their own.
    std::vector<inet::WIN32_FIND_DATA> entries;
    inet::WIN32_FIND_DATA found;
    if (inet::HINTERNET find = inet::FtpFindFirstFile(connection, mask, found, 0, 0)) {
        do {
            // A mask picks files; a folder that happens to match is not one of them.
            if (!(found.dwFileAttributes & inet::FILE_ATTRIBUTE_DIRECTORY)) entries.push_back(found);
        } while (inet::InternetFindNextFile(find, found));
        inet::InternetCloseHandle(find);
    } else if (inet::GetLastError() != inet::ERROR_NO_MORE_FILES) {
        ReportInetFailure(errReadSource, kMsgReadSource + URL);
        release();
        return false;
    }
    // A LIST line shows a link, not what it leads to; one that leads to a folder is a folder.
    std::string here;
    for (size_t i = 0; i < entries.size();) {
        if (!entries[i].isLink) {
            ++i;
            continue;
        }
        bool folder = false;
        if ((here.empty() && !inet::FtpGetCurrentDirectory(connection, here)) ||
            !RemoteLinkIsFolder(connection, here, entries[i].cFileName, folder)) {
            ReportInetFailure(errReadSource, kMsgReadSource + URL);
            FtpDrop(connection);
            return false;
        }
        if (folder) entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(i));
        else ++i;
    }

    const int count = static_cast<int>(entries.size());
    bool allDone = true;
    int fetched = 0;
    int notNewer = 0;
    for (int i = 0; i < count && !FCancelled; ++i) {
        const inet::WIN32_FIND_DATA& entry = entries[static_cast<size_t>(i)];
        const std::string& name = entry.cFileName;
        if (FFileLbl)
            FFileLbl->SetCaption(DlgFileLabel + " " + std::to_string(i + 1) + " " + DlgFileOfLabel + " " +
                                 std::to_string(count) + " : " + name + serverPart);
        const int failuresBefore = FReportedFailures;
        bool skipped = false;
        if (!IsPlainFileName(name)) {
            // The server named something outside the target folder: refused like any other
            // file that cannot be saved, with a reason of its own.
            FLastErrorReason = "the server's listing names \"" + name + "\", which is no file name in " + TargetDir;
            ReportError(errCreateTarget, kMsgCreateTarget + name);
        } else {
            // Every file is compared with the item's date, not with the date of the file before it.
            TDateTime fileDate = FileDate;
            try {
                if (FetchFile(i, connection, name, name, TargetDir, name, CopyNewerOnly, fileDate, skipped, &entry))
                    ++fetched;
            } catch (...) {
                FtpDrop(connection);
                throw;
            }
        }
        if (FReportedFailures != failuresBefore) allDone = false;
        if (skipped) ++notNewer;
        if (FCancelled) break; // the files after a Cancel are not touched
        if (OnMultiFTPFileDone) OnMultiFTPFileDone(*this, name);
        // A file whose transfer broke may have taken the session with it; the rest still go.
        if (i + 1 < count && !inet::IsConnectionAlive(connection)) {
            FtpDrop(connection);
            connection = FtpConnect(FTPUserID, FTPPassword, FTPHost, FTPPort, false);
            if (!connection) return false;
            FtpKeep(connection, FTPUserID, FTPPassword, FTPHost, FTPPort);
            if (!FtpEnterRemoteDir(connection, dirPart, startDir, URL)) {
                release();
                return false;
            }
        }
    }
    release();
    if (FCancelled) return false;
    return MultiFileOutcome(allDone, fetched, notNewer, NoNewVersion);
}

bool TZandrelWebCopy::MultiFtpGetList(int Index, const std::string& FTPUserID, const std::string& FTPPassword,
                                      const std::string& FTPHost, int32_t FTPPort, const std::string& URL,
                                      const std::string&, const std::string&, bool, TDateTime&, bool& NoNewVersion,
                                      bool) {
    NoNewVersion = false;
    const std::string url = ToForwardSlashes(URL);
    const std::string mask = ExtractUrlFileName(url);
    ShowFileLine(MaskLabel(url, mask), DlgFromServerLabel, FTPHost, ShowServer);

    if (!PumpMessages()) return false;
    inet::HINTERNET connection = FtpConnect(FTPUserID, FTPPassword, FTPHost, FTPPort, false);
    if (!connection) return false;
    if (!PumpMessages()) {
        FtpDrop(connection);
        return false;
    }
    // A folder that does not exist has no entries to list; listing the login folder instead
    // would answer another question.
    std::string startDir;
    if (!FtpEnterRemoteDir(connection, RemoteDirPart(url), startDir, URL)) {
        FtpDrop(connection);
        return false;
    }

    inet::WIN32_FIND_DATA found;
    inet::HINTERNET find = inet::FtpFindFirstFile(connection, mask, found, inet::INTERNET_FLAG_RELOAD, 0);
    if (!find && inet::GetLastError() != inet::ERROR_NO_MORE_FILES) {
        // A listing that did not arrive whole is no list: an empty one would tell the caller
        // that names are free which are not. The lists are left as they were.
        ReportInetFailure(errReadSource, kMsgReadSource + URL);
        FtpDrop(connection);
        return false;
    }
    TZandrelWebCopyItem* item = Index >= 0 && Index < Items.Count() ? &Items[Index] : nullptr;
    if (item) ResetItemLists(*item);
    if (find) {
        int number = 0;
        do {
            ++number;
            if (item) {
                ItemFileList(*item).Add(found.cFileName);
                TFileDetailItem& detail = ItemFileDetails(*item).Add();
                detail.Filename = found.cFileName;
                detail.FileAttributes = found.dwFileAttributes;
                detail.FileSizeLow = found.nFileSizeLow;
                detail.FileSizeHigh = found.nFileSizeHigh;
                detail.FileDate = found.ftLastWriteTime;
            }
            if (number > 1 && FFileLbl) FFileLbl->SetCaption(std::to_string(number) + " " + found.cFileName);
        } while (inet::InternetFindNextFile(find, found));
        inet::InternetCloseHandle(find);
    }
    FtpDrop(connection);
    return !FCancelled;
}

} // namespace zandrel::webcopy
