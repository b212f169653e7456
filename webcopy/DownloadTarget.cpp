// The local side every download shares: the guarded target file and the block loop into it.
#include <vector>

#include "platform/rtl/Clock.h"
#include "platform/rtl/FileSystem.h"
#include "webcopy/LocalFile.h"
#include "webcopy/TransferSupport.h"
#include "webcopy/Utilities.h"
#include "webcopy/ZandrelWebCopy.h"

namespace zandrel::webcopy {
namespace {

constexpr size_t kBlockSize = 4096;

} // namespace

bool TZandrelWebCopy::OpenDownloadTarget(std::string& Path, LocalFile& Target, const std::string& CreateMessage) {
    const rtl::PathKind kind = rtl::KindOfPath(Path);
    if (kind == rtl::PathKind::Directory || kind == rtl::PathKind::Other) {
        // Only a file (or a link, which the download replaces) can take the download's place.
        FLastErrorReason = kind == rtl::PathKind::Directory
                               ? Path + " is a folder"
                               : Path + " is not a regular file (a pipe, a device or a socket)";
        ReportError(errCreateTarget, CreateMessage + Path);
        return false;
    }
    // A link is asked about like a file, wherever it leads: the download takes its name.
    if (kind != rtl::PathKind::Missing) {
        bool allow = true;
        if (OnCopyOverWrite) OnCopyOverWrite(*this, Path, allow);
        if (!allow || FCancelled) return false;
        if (CreateUniqueFilenames) Path = MakeUniqueFileName(Path);
    }
    const std::string localDir = rtl::ExtractFileDir(Path);
    if (!localDir.empty()) ForceDirTree(localDir);
    if (!Target.CreateReplacing(Path)) {
        FLastErrorReason = LocalFailureReason();
        ReportError(errCreateTarget, CreateMessage + Path);
        return false;
    }
    return true;
}

bool TZandrelWebCopy::ReceiveInto(inet::HINTERNET Source, LocalFile& Target, const std::string& Path, uint64_t Total,
                                  uint64_t& Received, bool* WriteFailed) {
    Received = 0;
    const uint32_t start = rtl::GetTickCount();
    std::vector<char> block(kBlockSize);
    bool readFailed = false;
    try {
        while (!FCancelled) {
            inet::DWORD got = 0;
            if (!inet::InternetReadFile(Source, block.data(), static_cast<inet::DWORD>(block.size()), got)) {
                readFailed = true;
                break;
            }
            if (got > 0) Target.Write(block.data(), got, Path);
            Received += got;
            const bool cancel = ProgressStep(Received, Total, start, DlgDwnload);
            if (got == 0 || cancel) break;
        }
        if (readFailed && !InetCallCancelled()) NoteInetFailure();
        Target.Finish(Path);
    } catch (const LocalFileError& e) {
        if (!WriteFailed) throw;
        // A full disk is this item's failure, told like any other, not the end of the run.
        *WriteFailed = true;
        FLastErrorReason = e.Reason();
        ReportError(errWriteTarget, kMsgWriteTarget + Path);
        return false;
    }
    return !readFailed;
}

} // namespace zandrel::webcopy
