// The run: build the dialog, open the Internet root, hand each active item to the routine of
// its protocol, write the outcome back into the item, and finish the dialog.
#include "platform/inet/Inet.h"
#include "platform/ui/Application.h"
#include "platform/ui/Forms.h"
#include "webcopy/Protocols.h"
#include "webcopy/TransferSupport.h"
#include "webcopy/ZandrelWebCopy.h"

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

std::string ConnectionKey(const TZandrelWebCopyItem& item) {
    return FtpConnectionKey(item.FTPHost, item.FTPPort, item.FTPUserID, item.FTPPassword);
}

} // namespace

// While a run lasts, the Internet layer's waits keep the UI alive and let Cancel (or Ctrl-C)
// stop any wait: connecting, logging in, a command, a transfer. The previous hook comes back
// when the run ends, however it ends.
class TZandrelWebCopy::RunIdleHook {
public:
    explicit RunIdleHook(TZandrelWebCopy& owner)
        : previous_(inet::SetIdleHook([&owner] { return owner.PumpMessages(); })) {}
    ~RunIdleHook() { inet::SetIdleHook(std::move(previous_)); }
    RunIdleHook(const RunIdleHook&) = delete;
    RunIdleHook& operator=(const RunIdleHook&) = delete;

private:
    inet::IdleHook previous_;
};

void TZandrelWebCopy::Execute() { DoCopy(); }

bool TZandrelWebCopy::KeepConnectionFor(int idx) const {
    if (idx + 1 >= Items.Count()) return false;
    const TZandrelWebCopyItem& current = Items[idx];
    const TZandrelWebCopyItem& next = Items[idx + 1]; // whether it is active does not matter
    return KeepsFtpConnection(current.Protocol) && KeepsFtpConnection(next.Protocol) &&
           ConnectionKey(current) == ConnectionKey(next);
}

bool TZandrelWebCopy::Dispatch(int idx, TZandrelWebCopyItem& item, TDateTime& fileDate, bool& notNewer,
                               bool keepConnection) {
    // The routine gets the item's fields by value: event handlers it calls may change or even
    // delete the item meanwhile.
    TZandrelWebCopyItem in;
    in.Assign(item);
    const ProtocolTraits* protocol = Protocols::Find(in.Protocol);
    if (!protocol) return false; // an ordinal no protocol has: nothing to run
    return protocol->routine(*this, ProtocolCall{idx, in, fileDate, notNewer, keepConnection});
}

void TZandrelWebCopy::ForgetClosedConnection() {
    // Closing the root closed every connection under it, the kept one included; handing that
    // one out again would only fail.
    FFTPconnect = nullptr;
    FPrevConnect.clear();
}

void TZandrelWebCopy::FinishDialog() {
    if (FCancelBtn) FCancelBtn->SetCaption(DlgClose);
    FCancelIsClose = true;
    if (FAnim) FAnim->SetActive(false);
    if (FCancelled) return;
    if (ShowOpenFile && FBtnShowFile) FBtnShowFile->SetEnabled(true);
    if (ShowOpenFolder && FBtnShowFolder) FBtnShowFolder->SetEnabled(true);
}

void TZandrelWebCopy::DoCopy() {
    RunIdleHook idleHook(*this);
    CreateForm();
    FHinternet = nullptr;
    auto closeRoot = [this] {
        if (!FHinternet) return;
        inet::InternetCloseHandle(FHinternet);
        FHinternet = nullptr;
        ForgetClosedConnection();
    };
    try {
        if (NumInetItems() > 0) {
            // A failed open leaves no root; the routines then fail to connect and say so.
            if (!Proxy.empty())
                FHinternet = inet::InternetOpen(Agent, inet::INTERNET_OPEN_TYPE_PROXY, Proxy, "", 0);
            else
                FHinternet = inet::InternetOpen(Agent, inet::INTERNET_OPEN_TYPE_PRECONFIG, "", "", 0);
        }
        FFileNum = 0;
        FPrevTarget.clear();
        FRenameWorks.clear(); // servers change; what one run learned is not trusted in the next

        const int count = Items.Count();
        for (int idx = 0; idx < count; ++idx) {
            if (!Items[idx].Active) continue;
            ++FFileNum;
            FLastErrorReason.clear(); // a reason belongs to the item whose error it explains
            if (OnFileStart) OnFileStart(*this, idx);
            bool result = false;
            bool notNewer = false;

            TZandrelWebCopyItem& item = Items[idx];
            if (FForm) {
                if (const std::string* direction = CaptionWord(*this, item.Protocol))
                    FForm->SetCaption(*direction + " ...");
            }
            TDateTime fileDate = item.FileDate;
            const bool keepConnection = KeepConnectionFor(idx);
            result = Dispatch(idx, item, fileDate, notNewer, keepConnection);

            TZandrelWebCopyItem& done = Items[idx]; // looked up again: handlers may have changed the list
            done.NewFileDate = fileDate;
            SetItemResults(done, result && !FCancelled, FCancelled, notNewer);
            if (FCancelled) break;
            if (OnFileDone) OnFileDone(*this, idx);
        }
        closeRoot();
    } catch (...) {
        // The run ends here and the exception goes to the caller, but nothing of the run is left
        // behind: no open root handle, and no dialog that could no longer be closed.
        closeRoot();
        ParkForm();
        throw;
    }

    if (ShowOpenFile || ShowOpenFolder) {
        if (OnCopyDone) OnCopyDone(*this);
        FinishDialog(); // the user ends the dialog with Close, Open file or Open folder
        return;
    }
    if (FForm) FForm->Close();
    DestroyForm();
    if (OnCopyDone) OnCopyDone(*this);
}

} // namespace zandrel::webcopy
