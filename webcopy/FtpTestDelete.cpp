// FTP connection test and removal of one remote file.
#include "webcopy/FtpCommon.h"
#include "webcopy/Routines.h"
#include "webcopy/Utilities.h"
#include "webcopy/ZandrelWebCopy.h"

namespace zandrel::webcopy {
namespace {

constexpr int kUploadClip = 258;

} // namespace

TransferOutcome FtpTest(TransferRun& run, const TransferItem& in) {
    TransferOutcome out = TransferOutcome::From(in.values.FileDate);
    const auto reporting = run.ReportTo(out);
    run.PlayClip(kUploadClip);
    if (!run.PumpMessages()) return out;
    // Logging in is the test: the connection step sends nothing further.
    inet::HINTERNET connection = FtpConnect(run, FtpAccount::Of(in.values), true);
    if (!connection) return out;
    inet::InternetCloseHandle(connection);
    // When it was the kept connection, nothing may take it over now that it is closed.
    if (connection == run.kept.handle) run.kept.Forget();
    return out.Done();
}

TransferOutcome FtpRemoveFile(TransferRun& run, const TransferItem& in) {
    const TZandrelWebCopyItem& item = in.values;
    TransferOutcome out = TransferOutcome::From(item.FileDate);
    const auto reporting = run.ReportTo(out);
    ShowSendingLine(run, item);

    if (!run.PumpMessages()) return out;
    const FtpAccount account = FtpAccount::Of(item);
    FtpConnectionUse connection(run, FtpConnect(run, account, true), in.keepConnection);
    if (!connection) return out;
    if (in.keepConnection) FtpKeep(run, connection.Get(), account);
    if (!run.PumpMessages()) return out;

    // A kept connection already in TargetDir (as recorded) is not sent there again.
    if (!item.TargetDir.empty() && item.TargetDir != run.kept.folder) {
        run.kept.folder = in.keepConnection ? item.TargetDir : std::string();
        if (!inet::FtpSetCurrentDirectory(connection.Get(), item.TargetDir)) {
            // No event for this end, but the reason is there for whoever reports the item.
            if (!run.InetCallCancelled()) run.NoteInetFailure();
            run.kept.folder.clear();
            return out;
        }
    }
    if (!run.PumpMessages()) return out;

    const std::string name = item.TargetFilename.empty() ? ExtractUrlFileName(item.URL) : item.TargetFilename;
    if (inet::FtpDeleteFile(connection.Get(), name)) {
        if (run.component.OnRemovedFile) run.component.OnRemovedFile(run.component, in.idx);
    } else if (run.InetCallCancelled()) {
        return out;
    } else {
        run.NoteInetFailure();
        if (run.component.OnRemovedFileFailed) run.component.OnRemovedFileFailed(run.component, in.idx);
    }
    run.PumpMessages();
    return out.Done();
}

} // namespace zandrel::webcopy
