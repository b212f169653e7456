#include "webcopy/DownloadTarget.h"

#include <vector>

#include "platform/rtl/Clock.h"
#include "platform/rtl/FileSystem.h"
#include "webcopy/Routines.h"
#include "webcopy/TransferSupport.h"
#include "webcopy/Utilities.h"
#include "webcopy/ZandrelWebCopy.h"

namespace zandrel::webcopy {
namespace {

constexpr size_t kBlockSize = 4096;

} // namespace

bool OpenDownloadTarget(TransferRun& run, std::string& Path, LocalFile& Target, const std::string& CreateMessage) {
    TZandrelWebCopy& wc = run.component;
    const rtl::PathKind kind = rtl::KindOfPath(Path);
    if (kind == rtl::PathKind::Directory || kind == rtl::PathKind::Other) {
        // Only a file (or a link, which the download replaces) can take the download's place.
        run.SetReason(kind == rtl::PathKind::Directory ? Path + " is a folder"
                                                       : Path + " is not a regular file (a pipe, a device or a socket)");
        run.ReportError(errCreateTarget, CreateMessage + Path);
        return false;
    }
    // A link is asked about like a file, wherever it leads: the download takes its name.
    if (kind != rtl::PathKind::Missing) {
        bool allow = true;
        if (wc.OnCopyOverWrite) wc.OnCopyOverWrite(wc, Path, allow);
        if (!allow || run.cancelled) return false;
        if (wc.CreateUniqueFilenames) Path = MakeUniqueFileName(Path);
    }
    const std::string localDir = rtl::ExtractFileDir(Path);
    if (!localDir.empty()) ForceDirTree(localDir);
    if (!Target.CreateReplacing(Path)) {
        run.SetReason(LocalFailureReason());
        run.ReportError(errCreateTarget, CreateMessage + Path);
        return false;
    }
    return true;
}

bool ReceiveInto(TransferRun& run, inet::HINTERNET Source, LocalFile& Target, const std::string& Path, uint64_t Total,
                 uint64_t& Received, bool* WriteFailed) {
    Received = 0;
    const uint32_t start = rtl::GetTickCount();
    std::vector<char> block(kBlockSize);
    bool readFailed = false;
    try {
        while (!run.cancelled) {
            inet::DWORD got = 0;
            if (!inet::InternetReadFile(Source, block.data(), static_cast<inet::DWORD>(block.size()), got)) {
                readFailed = true;
                break;
            }
            if (got > 0) Target.Write(block.data(), got, Path);
            Received += got;
            const bool cancel = run.ProgressStep(Received, Total, start, run.component.DlgDwnload);
            if (got == 0 || cancel) break;
        }
        if (readFailed && !run.InetCallCancelled()) run.NoteInetFailure();
        Target.Finish(Path);
    } catch (const LocalFileError& e) {
        if (!WriteFailed) throw;
        // A full disk is this item's failure, told like any other, not the end of the run.
        *WriteFailed = true;
        run.SetReason(e.Reason());
        run.ReportError(errWriteTarget, kMsgWriteTarget + Path);
        return false;
    }
    return !readFailed;
}

void MultiFileOutcome(TransferOutcome& out, bool allDone, int transferred, int notNewer) {
    // Nothing newer anywhere is the newer-only answer, as for one file; some files newer is a
    // transfer. A file that failed fails the item: it did not do all it was asked.
    out.notNewer = allDone && transferred == 0 && notNewer > 0;
    out.done = allDone && !out.notNewer;
    out.failed = out.failed || !allDone;
}

} // namespace zandrel::webcopy
