// The run: build the dialog, open the Internet root, hand each active item to the routine of
// its protocol, write the outcome back into the item, and finish the dialog.
#include "platform/inet/Inet.h"
#include "platform/ui/Forms.h"
#include "webcopy/FtpCommon.h"
#include "webcopy/Protocols.h"
#include "webcopy/TransferSupport.h"
#include "webcopy/WebCopyInternals.h"

namespace zandrel::webcopy {
namespace {

bool KeepsFtpConnection(TZandrelWebCopyProtocol protocol) {
    const ProtocolTraits* traits = Protocols::Find(protocol);
    return traits && traits->keepsConnection;
}

// The dialog text an item's caption starts with; null where its protocol leaves the caption as
// it is.
const std::string* CaptionWord(const TZandrelWebCopy& wc, TZandrelWebCopyProtocol protocol) {
    const ProtocolTraits* traits = Protocols::Find(protocol);
    switch (traits ? traits->caption : ProtocolCaption::Unchanged) {
    case ProtocolCaption::Download: return &wc.DlgDwnload;
    case ProtocolCaption::Copy: return &wc.DlgCopying;
    case ProtocolCaption::Upload: return &wc.DlgUpload;
    case ProtocolCaption::Unchanged: break;
    }
    return nullptr;
}

std::string ConnectionKey(const TZandrelWebCopyItem& item) { return FtpAccount::Of(item).Key(); }

// Whether an item may leave its FTP connection open for the one after it.
bool KeepConnectionFor(const TZandrelWebCopyItems& items, int idx) {
    if (idx + 1 >= items.Count()) return false;
    const TZandrelWebCopyItem& current = items[idx];
    const TZandrelWebCopyItem& next = items[idx + 1]; // whether it is active does not matter
    return KeepsFtpConnection(current.Protocol) && KeepsFtpConnection(next.Protocol) &&
           ConnectionKey(current) == ConnectionKey(next);
}

// While a run lasts, the Internet layer's waits keep the UI alive and let Cancel (or Ctrl-C)
// stop any wait: connecting, logging in, a command, a transfer. The previous hook comes back
// when the run ends, however it ends.
class RunIdleHook {
public:
    explicit RunIdleHook(TransferRun& run) : previous_(inet::SetIdleHook([&run] { return run.PumpMessages(); })) {}
    ~RunIdleHook() { inet::SetIdleHook(std::move(previous_)); }
    RunIdleHook(const RunIdleHook&) = delete;
    RunIdleHook& operator=(const RunIdleHook&) = delete;

private:
    inet::IdleHook previous_;
};

// The component's run in progress, for CancelCopy, LastErrorReason and the dialog's Cancel button;
// gone again when the run ends, however it ends.
class CurrentRun {
public:
    // `slot` holds the run while it lasts; `lastReason` keeps its last reason after it.
    CurrentRun(TransferRun*& slot, std::string& lastReason, TransferRun& run)
        : slot_(slot), lastReason_(lastReason) {
        slot = &run;
    }
    ~CurrentRun() {
        lastReason_ = slot_->Reason();
        slot_ = nullptr;
    }
    CurrentRun(const CurrentRun&) = delete;
    CurrentRun& operator=(const CurrentRun&) = delete;

private:
    TransferRun*& slot_;
    std::string& lastReason_;
};

} // namespace

void TZandrelWebCopy::Execute() { DoCopy(); }

void TZandrelWebCopy::DoCopy() {
    ProgressDialog& dialog = d->dialog;
    TransferRun run(*this, dialog);
    CurrentRun current(d->run, d->lastReason, run);
    RunIdleHook idleHook(run);
    dialog.Create();
    try {
        if (NumInetItems() > 0) run.OpenRoot();

        const int count = Items.Count();
        for (int idx = 0; idx < count; ++idx) {
            if (!Items[idx].Active) continue;
            ++run.fileNum;
            run.SetReason({}); // a reason belongs to the item whose error it explains
            if (OnFileStart) OnFileStart(*this, idx);

            TZandrelWebCopyItem& item = Items[idx];
            if (const std::string* direction = CaptionWord(*this, item.Protocol)) dialog.SetCaption(*direction + " ...");
            // The routine gets the item's fields by value: event handlers it calls may change or
            // even delete the item meanwhile.
            TZandrelWebCopyItem values;
            values.Assign(item);
            const TransferItem in{idx, values, KeepConnectionFor(Items, idx)};
            TransferOutcome out = TransferOutcome::From(values.FileDate);
            if (const ProtocolTraits* protocol = Protocols::Find(values.Protocol)) // else nothing to run
                out = d->routineOverride ? d->routineOverride(run, in) : protocol->routine(run, in);
            run.SetReason(out.reason); // for the handlers of OnFileDone and after the run

            TZandrelWebCopyItem& done = Items[idx]; // looked up again: handlers may have changed the list
            done.NewFileDate = out.fileDate;
            WebCopyInternals::SetItemResults(done, out.done && !run.cancelled, run.cancelled, out.notNewer);
            WebCopyInternals::SetStoredFilename(done, out.storedName);
            if (run.cancelled) break;
            if (OnFileDone) OnFileDone(*this, idx);
        }
        run.CloseRoot();
    } catch (...) {
        // The run ends here and the exception goes to the caller, but nothing of the run is left
        // behind: no open root handle (the run closes it), and no dialog that could no longer be
        // closed.
        dialog.Park();
        throw;
    }

    if (ShowOpenFile || ShowOpenFolder) {
        if (OnCopyDone) OnCopyDone(*this);
        dialog.Finish(run.cancelled); // the user ends the dialog with Close, Open file or Open folder
        return;
    }
    dialog.Close();
    if (OnCopyDone) OnCopyDone(*this);
}

} // namespace zandrel::webcopy
