// FTP upload of one file and of every file matching a mask.
#include <optional>

#include "platform/rtl/Clock.h"
#include "platform/rtl/FileSystem.h"
#include "platform/ui/Forms.h"
#include "webcopy/FtpCommon.h"
#include "webcopy/FtpReplace.h"
#include "webcopy/LocalFile.h"
#include "webcopy/Routines.h"
#include "webcopy/TransferSupport.h"
#include "webcopy/Utilities.h"
#include "webcopy/ZandrelWebCopy.h"

namespace zandrel::webcopy {
namespace {

constexpr size_t kBlockSize = 4096;
constexpr int kMaxSendRounds = 8;

// How one transfer of the file ended: on the server complete (Sent), stopped by a Cancel, failed
// (reported), or refused outright under a temporary name (553: the server will not take such a
// name; nothing reported yet).
enum class FtpSendOutcome { Sent, Cancelled, Failed, NameRefused };

// One STOR of `source` as `storedName` in the current folder, confirmed by the server.
FtpSendOutcome FtpSendOnce(TransferRun& run, inet::HINTERNET connection, const FtpAccount& account, LocalFile& source,
                           const std::string& URL, const std::string& folder, const std::string& storedName,
                           const std::string& remotePath, bool viaTemporary) {
    ScopedInetHandle remote(
        inet::FtpOpenFile(connection, storedName, inet::GENERIC_WRITE, inet::FTP_TRANSFER_TYPE_BINARY, 0));
    if (!remote) {
        inet::DWORD status = 0;
        std::string reply;
        // 553 is "file name not allowed": the server will not take a dot file, not a sign of a
        // full disk or a missing right, so the final name may still do.
        if (viaTemporary && inet::GetLastError() == inet::ERROR_INTERNET_EXTENDED_ERROR &&
            inet::InternetGetLastResponseInfo(status, reply) && status == 553 && !run.cancelled)
            return FtpSendOutcome::NameRefused;
        run.ReportInetFailure(errCreateTarget, kMsgCreateTarget + remotePath);
        return run.InetCallCancelled() ? FtpSendOutcome::Cancelled : FtpSendOutcome::Failed;
    }
    // From here on the server holds a file of ours: every way out that does not publish it
    // complete removes it, over this connection whenever it still answers.
    auto removePartial = [&] { FtpRemovePartial(run, connection, account, folder, storedName, remote.Release()); };

    const uint64_t total = source.Size();
    uint64_t sent = 0;
    const uint32_t start = rtl::GetTickCount();
    bool writeFailed = false;
    try {
        if (!run.PumpMessages()) {
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
            const bool cancel = run.ProgressStep(sent, total, start, run.component.DlgUpload);
            if (got == 0 || cancel) break;
        }
    } catch (...) {
        // A local read error: the run ends, but not with a short file on the server.
        removePartial();
        throw;
    }
    if (writeFailed && !run.InetCallCancelled()) run.NoteInetFailure();
    source.Close();
    // Closing completes the file on the server, which confirms it or not. A write that broke down,
    // or a file the server did not confirm (disk full, quota, a dropped connection), fails.
    const bool confirmed = !writeFailed && !run.cancelled && remote.Close();
    if (!confirmed && !writeFailed && !run.cancelled) run.NoteInetFailure();
    if (confirmed) return FtpSendOutcome::Sent;
    removePartial();
    if (run.cancelled) return FtpSendOutcome::Cancelled;
    run.ReportError(errWriteTarget, kMsgWriteTarget + remotePath);
    return FtpSendOutcome::Failed;
}

// The upload's transfer into the current folder (`folder`, absolute, empty when the server did
// not say): `source` reaches the server under `remoteName` complete, or not at all. With
// teNextFreeName it may end under another name. The name it was stored under goes to
// `out.storedName`.
bool SendFile(TransferRun& run, inet::HINTERNET connection, const FtpAccount& account,
              TZandrelWebCopyTargetExists whenExists, LocalFile& source, const std::string& URL,
              const std::string& folder, const std::string& remoteName, const std::string& remotePath,
              TransferOutcome& out) {
    // What is learned about renaming holds for one account and folder.
    const std::string key = account.host + "\n" + account.user + "\n" + std::to_string(account.port) + "\n" +
                            (folder.empty() ? remotePath : folder);
    std::optional<FreeNames> freeNames;
    if (whenExists == teNextFreeName) freeNames.emplace(remoteName);
    FreeNames* names = freeNames ? &*freeNames : nullptr;
    std::string finalName = remoteName;
    // The file goes up again only when the server refused renames or another upload took its
    // name meanwhile, and each round settles one of those: a few rounds are plenty.
    for (int round = 0; round < kMaxSendRounds; ++round) {
        if (round > 0 && !source.OpenRead(URL)) {
            run.SetReason(LocalFailureReason());
            run.ReportError(errOpenSource, kMsgOpenSource + URL);
            return false;
        }
        const auto known = run.renameWorks.find(key);
        const bool viaTemporary = known == run.renameWorks.end() || known->second;
        // Without a rename the final name is written directly: where no file may be replaced, it
        // must be free first.
        if (!viaTemporary && names && !FtpFindFreeName(run, connection, *names, finalName, remotePath)) return false;
        std::string storedName = viaTemporary ? TransferTemporaryName() : finalName;
        switch (FtpSendOnce(run, connection, account, source, URL, folder, storedName, remotePath, viaTemporary)) {
        case FtpSendOutcome::Sent: break;
        case FtpSendOutcome::NameRefused: run.renameWorks[key] = false; continue;
        case FtpSendOutcome::Cancelled:
        case FtpSendOutcome::Failed: return false;
        }
        if (!viaTemporary) {
            out.storedName = finalName;
            return true;
        }
        switch (FtpPublish(run, connection, names, storedName, finalName)) {
        case FtpPublishOutcome::Published:
            run.renameWorks[key] = true;
            out.storedName = finalName;
            return true;
        case FtpPublishOutcome::Lost:
            // Gone with the rename, as a rule; a server that only said it renamed still has it.
            FtpRemovePartial(run, connection, account, folder, storedName);
            if (run.cancelled) return false;
            run.renameWorks[key] = true;
            continue; // up again, under the next free name
        case FtpPublishOutcome::RenameRefused:
            // This server takes files but does not rename them: the file goes under its final
            // name instead, now and for the rest of the run.
            FtpRemovePartial(run, connection, account, folder, storedName);
            if (run.cancelled) return false;
            run.renameWorks[key] = false;
            continue;
        case FtpPublishOutcome::Failed:
            FtpRemovePartial(run, connection, account, folder, storedName);
            if (run.cancelled) return false;
            run.ReportError(errWriteTarget, kMsgWriteTarget + remotePath);
            return false;
        }
    }
    run.SetReason("after each rename, another file held the name");
    run.ReportError(errWriteTarget, kMsgWriteTarget + remotePath);
    return false;
}

} // namespace

TransferOutcome FtpPutFile(TransferRun& run, const TransferItem& in) {
    const TZandrelWebCopyItem& item = in.values;
    const std::string& URL = item.URL;
    const std::string& TargetDir = item.TargetDir;
    TransferOutcome out = TransferOutcome::From(item.FileDate);
    const auto reporting = run.ReportTo(out);
    TZandrelWebCopy& wc = run.component;
    ShowSendingLine(run, item);

    if (!run.PumpMessages()) return out;
    const FtpAccount account = FtpAccount::Of(item);
    // Every end below lets it go, so a kept connection never stays in TargetDir.
    FtpConnectionUse connection(run, FtpConnect(run, account, true), in.keepConnection);
    if (!connection) return out;
    if (in.keepConnection) FtpKeep(run, connection.Get(), account);
    connection.SetMoved(!TargetDir.empty());

    const std::string remoteName = item.TargetFilename.empty() ? ExtractUrlFileName(URL) : item.TargetFilename;
    const std::string remotePath = JoinRemote(TargetDir, remoteName);
    if (!run.PumpMessages()) return out;
    if (!FtpEnterTargetDir(run, connection.Get(), TargetDir, in.keepConnection, connection.StartDir())) {
        // The server refused the folder: that is the target that cannot be created, not a
        // missing local file.
        run.ReportInetFailure(errCreateTarget, kMsgCreateTarget + remotePath);
        return out;
    }
    if (!run.PumpMessages()) return out;

    if (item.CopyNewerOnly || wc.OnFileDateCheck) {
        inet::WIN32_FIND_DATA found;
        inet::HINTERNET find = inet::FtpFindFirstFile(connection.Get(), remoteName, found, 0, 0);
        if (find) inet::InternetCloseHandle(find);
        if (!find && inet::GetLastError() != inet::ERROR_NO_MORE_FILES) {
            // Not knowing whether a newer file is there is no licence to overwrite it.
            run.ReportInetFailure(errCreateTarget, kMsgCreateTarget + remotePath);
            return out;
        }
        if (find) {
            bool allow = true;
            if (wc.OnCopyOverWrite) wc.OnCopyOverWrite(wc, remoteName, allow);
            if (!allow || run.cancelled) return out;
            const TDateTime remoteDate = RemoteFileDate(connection.Get(), remoteName, found);
            if (run.cancelled) return out;
            if (wc.OnFileDateCheck) {
                allow = true;
                wc.OnFileDateCheck(wc, in.idx, remoteDate, allow);
                out.fileDate = remoteDate;
                if (!allow || run.cancelled) return out;
            } else if (IsLaterDate(remoteDate, out.fileDate)) {
                out.fileDate = remoteDate;
                out.notNewer = true;
                if (wc.OnNoNewFileFound) wc.OnNoNewFileFound(wc, remoteName, out.fileDate, remoteDate);
                return out;
            } else {
                out.fileDate = remoteDate;
            }
        }
    }
    if (run.cancelled) return out;

    // The source is opened before the remote file is created: a source that cannot be read must
    // not leave an existing remote file emptied.
    LocalFile source;
    if (!source.OpenRead(URL)) {
        run.SetReason(LocalFailureReason());
        run.ReportNotFound(URL);
        run.ReportError(errOpenSource, kMsgOpenSource + URL);
        return out;
    }
    run.display.SetLastTarget(URL, TargetDir);
    // Where the file goes, in the server's words: what cleaning up after a Cancel needs.
    std::string folder;
    if (!inet::FtpGetCurrentDirectory(connection.Get(), folder)) folder.clear();
    if (!SendFile(run, connection.Get(), account, item.WhenTargetExists, source, URL, folder, remoteName, remotePath,
                  out))
        return out;
    return out.Done();
}

TransferOutcome MultiFtpPutFile(TransferRun& run, const TransferItem& in) {
    const TZandrelWebCopyItem& item = in.values;
    const std::string& URL = item.URL;
    const std::string& TargetDir = item.TargetDir;
    TransferOutcome out = TransferOutcome::From(item.FileDate);
    const auto reporting = run.ReportTo(out);
    TZandrelWebCopy& wc = run.component;
    ShowSendingLine(run, item);

    if (!run.PumpMessages()) return out;
    run.kept.folder.clear();
    const FtpAccount account = FtpAccount::Of(item);
    // The multi-file upload leaves no connection behind, its own nor the one its files shared.
    FtpConnectionUse connection(run, FtpConnect(run, account, false), false);
    if (!connection) return out;
    connection.DropAtEnd();
    // Kept while the files go: each single upload below takes it over instead of logging in again.
    FtpKeep(run, connection.Get(), account);
    if (!run.PumpMessages()) return out;
    std::string startDir;
    if (!FtpEnterTargetDir(run, connection.Get(), TargetDir, false, startDir)) {
        run.ReportInetFailure(errCreateTarget, kMsgCreateTarget + JoinRemote(TargetDir, ExtractUrlFileName(URL)));
        return out;
    }
    // The single uploads enter TargetDir themselves, from where the connection started.
    if (!TargetDir.empty() && (startDir.empty() || !inet::FtpSetCurrentDirectory(connection.Get(), startDir)))
        connection.DropNow(); // the first file logs in afresh
    if (!run.PumpMessages()) return out;

    const std::string folder = rtl::ExtractFilePath(URL);
    const std::string mask = rtl::ExtractFileName(URL);
    bool allDone = true;
    int sent = 0;
    int notNewer = 0;
    for (const rtl::FoundFile& entry : rtl::FindFiles(folder.empty() ? "." : folder, mask, rtl::faAnyFile)) {
        // A mask picks files; a folder that happens to match is not one of them.
        if (entry.attributes & rtl::faDirectory) continue;
        // Every file is compared with the item's date, not with the date of the file before it.
        TZandrelWebCopyItem file;
        file.Assign(item);
        file.URL = folder + entry.name;
        file.TargetFilename = entry.name;
        const TransferOutcome one = FtpPutFile(run, {in.idx, file, true});
        if (one.done) ++sent;
        if (one.failed) {
            allDone = false;
            run.SetReason(one.reason);
        }
        if (one.notNewer) ++notNewer;
        if (run.cancelled) break; // the files after a Cancel are not touched
        if (wc.OnMultiFTPFileDone) wc.OnMultiFTPFileDone(wc, entry.name);
    }
    if (run.cancelled) return out;
    MultiFileOutcome(out, allDone, sent, notNewer);
    return out;
}

} // namespace zandrel::webcopy
