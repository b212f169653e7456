// FTP upload of one file and of every file matching a mask.

#include "platform/rtl/Clock.h"
#include "platform/rtl/FileSystem.h"
#include "platform/ui/Forms.h"
#include "webcopy/LocalFile.h"
#include "webcopy/TransferSupport.h"
#include "webcopy/Utilities.h"
#include "webcopy/ZandrelWebCopy.h"

namespace zandrel::webcopy {
namespace {

constexpr int kUploadClip = 258;
constexpr size_t kBlockSize = 4096;
constexpr int kMaxSendRounds = 8;

} // namespace

bool TZandrelWebCopy::FtpPutFile(int Index, const std::string& FTPUserID, const std::string& FTPPassword,
                                 const std::string& FTPHost, int32_t FTPPort, const std::string& URL,
                                 const std::string& TargetDir, const std::string& TargetFilename, bool CopyNewerOnly,
                                 TDateTime& FileDate, bool& NoNewVersion, bool KeepConnection) {
    NoNewVersion = false;
    PlayClip(kUploadClip);
    // The upload side always names the server.
    ShowFileLine(ExtractUrlFileName(URL), DlgToServerLabel, FTPHost, true);

    if (!PumpMessages()) return false;
    inet::HINTERNET connection = FtpConnect(FTPUserID, FTPPassword, FTPHost, FTPPort, true);
    if (!connection) return false;
    if (KeepConnection) FtpKeep(connection, FTPUserID, FTPPassword, FTPHost, FTPPort);
    const bool moved = !TargetDir.empty();
    std::string startDir;
    // Every end below goes through here, so a kept connection never stays in TargetDir.
    auto release = [&] { FtpRelease(connection, KeepConnection, moved, startDir); };

    const std::string remoteName = TargetFilename.empty() ? ExtractUrlFileName(URL) : TargetFilename;
    const std::string remotePath = JoinRemote(TargetDir, remoteName);
    if (!PumpMessages()) {
        release();
        return false;
    }
    if (!FtpEnterTargetDir(connection, TargetDir, KeepConnection, startDir)) {
        // The server refused the folder: that is the target that cannot be created, not a
        // missing local file.
        ReportInetFailure(errCreateTarget, kMsgCreateTarget + remotePath);
        release();
        return false;
    }
    if (!PumpMessages()) {
        release();
        return false;
    }

    if (CopyNewerOnly || OnFileDateCheck) {
        inet::WIN32_FIND_DATA found;
        inet::HINTERNET find = inet::FtpFindFirstFile(connection, remoteName, found, 0, 0);
        if (find) inet::InternetCloseHandle(find);
        if (!find && inet::GetLastError() != inet::ERROR_NO_MORE_FILES) {
            // Not knowing whether a newer file is there is no licence to overwrite it.
            ReportInetFailure(errCreateTarget, kMsgCreateTarget + remotePath);
            release();
            return false;
        }
        if (find) {
            bool allow = true;
            if (OnCopyOverWrite) OnCopyOverWrite(*this, remoteName, allow);
            if (!allow || FCancelled) {
                release();
                return false;
            }
            const TDateTime remoteDate = RemoteFileDate(connection, remoteName, found);
            if (FCancelled) {
                release();
                return false;
            }
            if (OnFileDateCheck) {
                allow = true;
                OnFileDateCheck(*this, Index, remoteDate, allow);
                FileDate = remoteDate;
                if (!allow || FCancelled) {
                    release();
                    return false;
                }
            } else if (IsLaterDate(remoteDate, FileDate)) {
                FileDate = remoteDate;
                NoNewVersion = true;
                if (OnNoNewFileFound) OnNoNewFileFound(*this, remoteName, FileDate, remoteDate);
                release();
                return false;
            } else {
                FileDate = remoteDate;
            }
        }
    }
    if (FCancelled) {
        release();
        return false;
    }

    // The source is opened before the remote file is created: a source that cannot be read must
    // not leave an existing remote file emptied.
    LocalFile source;
    if (!source.OpenRead(URL)) {
        FLastErrorReason = LocalFailureReason();
        ReportNotFound(URL);
        ReportError(errOpenSource, kMsgOpenSource + URL);
        release();
        return false;
    }
    FLastFile = URL;
    FLastDir = TargetDir;
    // Where the file goes, in the server's words: what cleaning up after a Cancel needs.
    std::string folder;
    if (!inet::FtpGetCurrentDirectory(connection, folder)) folder.clear();
    bool ok = false;
    try {
        ok = SendFile(connection, {FTPUserID, FTPPassword, FTPHost, FTPPort}, source, URL, folder, remoteName,
                      remotePath);
    } catch (...) {
        FtpDrop(connection);
        throw;
    }
    release();
    return ok;
}

bool TZandrelWebCopy::SendFile(inet::HINTERNET connection, const FtpAccount& account, LocalFile& source,
                               const std::string& URL, const std::string& folder, const std::string& remoteName,
                               const std::string& remotePath) {
    // What is learned about renaming holds for one account and folder.
    const std::string key = account.host + "\n" + account.user + "\n" + std::to_string(account.port) + "\n" +
                            (folder.empty() ? remotePath : folder);
    FPublishedName.clear();
    std::string finalName = remoteName;
    // The file goes up again only when the server refused renames or another upload took its
    // name meanwhile, and each round settles one of those: a few rounds are plenty.
    for (int round = 0; round < kMaxSendRounds; ++round) {
        if (round > 0 && !source.OpenRead(URL)) {
            FLastErrorReason = LocalFailureReason();
            ReportError(errOpenSource, kMsgOpenSource + URL);
            return false;
        }
        const auto known = FRenameWorks.find(key);
        const bool viaTemporary = known == FRenameWorks.end() || known->second;
        // Without a rename the final name is written directly: where no file may be replaced, it
        // must be free first.
        if (!viaTemporary && !FtpMayReplace() && !FtpFindFreeName(connection, finalName, remotePath)) return false;
        std::string storedName = viaTemporary ? FtpTemporaryName() : finalName;
        switch (FtpSendOnce(connection, account, source, URL, folder, storedName, remotePath, viaTemporary)) {
        case FtpSendOutcome::Sent: break;
        case FtpSendOutcome::NameRefused: FRenameWorks[key] = false; continue;
        case FtpSendOutcome::Cancelled:
        case FtpSendOutcome::Failed: return false;
        }
        if (!viaTemporary) {
            FPublishedName = finalName;
            return true;
        }
        switch (FtpPublish(connection, storedName, finalName)) {
        case FtpPublishOutcome::Published:
            FRenameWorks[key] = true;
            FPublishedName = finalName;
            return true;
        case FtpPublishOutcome::Lost:
            // Gone with the rename, as a rule; a server that only said it renamed still has it.
            FtpRemovePartial(connection, account, folder, storedName);
            if (FCancelled) return false;
            FRenameWorks[key] = true;
            continue; // up again, under the next free name
        case FtpPublishOutcome::RenameRefused:
            // This server takes files but does not rename them: the file goes under its final
            // name instead, now and for the rest of the run.
            FtpRemovePartial(connection, account, folder, storedName);
            if (FCancelled) return false;
            FRenameWorks[key] = false;
            continue;
        case FtpPublishOutcome::Failed:
            FtpRemovePartial(connection, account, folder, storedName);
            if (FCancelled) return false;
            ReportError(errWriteTarget, kMsgWriteTarget + remotePath);
            return false;
        }
    }
    FLastErrorReason = "after each rename, another file held the name";
    ReportError(errWriteTarget, kMsgWriteTarget + remotePath);
    return false;
}

TZandrelWebCopy::FtpSendOutcome TZandrelWebCopy::FtpSendOnce(inet::HINTERNET connection, const FtpAccount& account,
                                                             LocalFile& source, const std::string& URL,
                                                             const std::string& folder, const std::string& storedName,
                                                             const std::string& remotePath, bool viaTemporary) {
    ScopedInetHandle remote(
        inet::FtpOpenFile(connection, storedName, inet::GENERIC_WRITE, inet::FTP_TRANSFER_TYPE_BINARY, 0));
    if (!remote) {
        inet::DWORD status = 0;
        std::string reply;
        // 553 is "file name not allowed": the server will not take a dot file, not a sign of a
        // full disk or a missing right, so the final name may still do.
        if (viaTemporary && inet::GetLastError() == inet::ERROR_INTERNET_EXTENDED_ERROR &&
            inet::InternetGetLastResponseInfo(status, reply) && status == 553 && !FCancelled)
            return FtpSendOutcome::NameRefused;
        ReportInetFailure(errCreateTarget, kMsgCreateTarget + remotePath);
        return FCancelled || InetCallCancelled() ? FtpSendOutcome::Cancelled : FtpSendOutcome::Failed;
    }
    // From here on the server holds a file of ours: every way out that does not publish it
    // complete removes it, over this connection whenever it still answers.
    auto removePartial = [&] { FtpRemovePartial(connection, account, folder, storedName, remote.Release()); };

    const uint64_t total = source.Size();
    uint64_t sent = 0;
    const uint32_t start = rtl::GetTickCount();
    bool writeFailed = false;
    try {
        if (!PumpMessages()) {
            removePartial();
            return FtpSendOutcome::Cancelled;
        }
        for (;;) {
            const char* block = nullptr;
            const size_t got = source.ReadBlock(block, kBlockSize, URL);
            // The Internet layer sends a whole block or fails; a short count is sent on until the
            // block is through, so no byte is lost.
            size_t offset = 0;
            while (offset < got) {
                inet::DWORD written = 0;
                if (!inet::InternetWriteFile(remote.Get(), block + offset, static_cast<inet::DWORD>(got - offset),
                                             written) ||
                    written == 0) {
                    writeFailed = true;
                    break;
                }
                offset += written;
            }
            if (writeFailed) break;
            sent += got;
            const bool cancel = ProgressStep(sent, total, start, DlgUpload);
            if (got == 0 || cancel) break;
        }
    } catch (...) {
        // A local read error: the run ends, but not with a short file on the server.
        removePartial();
        throw;
    }
    if (writeFailed && !InetCallCancelled()) NoteInetFailure();
    source.Close();
    // Closing completes the file on the server, which confirms it or not. A write that broke down,
    // or a file the server did not confirm (disk full, quota, a dropped connection), fails.
    const bool confirmed = !writeFailed && !FCancelled && remote.Close();
    if (!confirmed && !writeFailed && !FCancelled) NoteInetFailure();
    if (confirmed) return FtpSendOutcome::Sent;
    removePartial();
    if (FCancelled) return FtpSendOutcome::Cancelled;
    ReportError(errWriteTarget, kMsgWriteTarget + remotePath);
    return FtpSendOutcome::Failed;
}

bool TZandrelWebCopy::MultiFtpPutFile(int Index, const std::string& FTPUserID, const std::string& FTPPassword,
                                      const std::string& FTPHost, int32_t FTPPort, const std::string& URL,
                                      const std::string& TargetDir, const std::string&, bool CopyNewerOnly,
                                      TDateTime& FileDate, bool& NoNewVersion, bool KeepConnection) {
    NoNewVersion = false;
    PlayClip(kUploadClip);
    // The upload side always names the server.
    ShowFileLine(ExtractUrlFileName(URL), DlgToServerLabel, FTPHost, true);

    if (!PumpMessages()) return false;
    FPrevTarget.clear();
    inet::HINTERNET connection = FtpConnect(FTPUserID, FTPPassword, FTPHost, FTPPort, false);
    if (!connection) return false;
    // Kept while the files go: each single upload below takes it over instead of logging in again.
    FtpKeep(connection, FTPUserID, FTPPassword, FTPHost, FTPPort);
    const bool moved = !TargetDir.empty();
    std::string startDir;
    // The multi-file upload leaves no connection behind, its own nor the one its files shared.
    auto release = [&] { FtpDrop(connection); };
    if (!PumpMessages()) {
        release();
        return false;
    }
    if (!FtpEnterTargetDir(connection, TargetDir, false, startDir)) {
        ReportInetFailure(errCreateTarget, kMsgCreateTarget + JoinRemote(TargetDir, ExtractUrlFileName(URL)));
        FtpDrop(connection);
        return false;
    }
    // The single uploads enter TargetDir themselves, from where the connection started.
    if (moved && (startDir.empty() || !inet::FtpSetCurrentDirectory(connection, startDir))) {
        FtpDrop(connection); // the first file logs in afresh
        connection = nullptr;
    }
    if (!PumpMessages()) {
        release();
        return false;
    }

    const std::string folder = rtl::ExtractFilePath(URL);
    const std::string mask = rtl::ExtractFileName(URL);
    bool allDone = true;
    int sent = 0;
    int notNewer = 0;
    for (const rtl::FoundFile& entry : rtl::FindFiles(folder.empty() ? "." : folder, mask, rtl::faAnyFile)) {
        // A mask picks files; a folder that happens to match is not one of them.
        if (entry.attributes & rtl::faDirectory) continue;
        // Every file is compared with the item's date, not with the date of the file before it.
        TDateTime fileDate = FileDate;
        bool skipped = false;
        const int failuresBefore = FReportedFailures;
        if (FtpPutFile(Index, FTPUserID, FTPPassword, FTPHost, FTPPort, folder + entry.name, TargetDir, entry.name,
                       CopyNewerOnly, fileDate, skipped, true))
            ++sent;
        if (FReportedFailures != failuresBefore) allDone = false;
        if (skipped) ++notNewer;
        if (FCancelled) break; // the files after a Cancel are not touched
        if (OnMultiFTPFileDone) OnMultiFTPFileDone(*this, entry.name);
    }
    release();
    if (FCancelled) return false;
    return MultiFileOutcome(allDone, sent, notNewer, NoNewVersion);
}

} // namespace zandrel::webcopy
