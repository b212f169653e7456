#include "webcopy/ZandrelWebCopy.h"

#include "platform/ui/Forms.h"
#include "webcopy/CopyThread.h"
#include "webcopy/Protocols.h"
#include "webcopy/UrlHelpers.h"
#include "webcopy/WebCopyInternals.h"

namespace zandrel::webcopy {
namespace {

constexpr int kVersionMajor = 2;
constexpr int kVersionMinor = 2;
constexpr int kVersionRelease = 3;
constexpr int kVersionBuild = 1;

} // namespace

TZandrelWebCopy::Private::Private(TZandrelWebCopy& owner)
    : dialog(owner,
             [this, &owner] {
                 if (run) run->Cancel(true);
                 else if (owner.OnCopyCancel) owner.OnCopyCancel(owner);
             }),
      threadLink(std::make_shared<CopyThreadLink>(&owner)) {}

TZandrelWebCopy::TZandrelWebCopy() : d(std::make_unique<Private>(*this)) {}

TZandrelWebCopy::~TZandrelWebCopy() {
    // A worker thread still waiting to hand its run over finds the component gone and ends.
    d->threadLink->Detach();
}

int32_t TZandrelWebCopy::GetVersionNr() const {
    return (kVersionMajor << 24) | (kVersionMinor << 16) | (kVersionRelease << 8) | kVersionBuild;
}

std::string TZandrelWebCopy::Version() const {
    const auto nr = static_cast<uint32_t>(GetVersionNr());
    return std::to_string(nr >> 24) + "." + std::to_string((nr >> 16) & 0xFF) + "." +
           std::to_string((nr >> 8) & 0xFF) + "." + std::to_string(nr & 0xFF);
}

void TZandrelWebCopy::CancelCopy() {
    if (d->run) d->run->Cancel(false);
}

int TZandrelWebCopy::NumInetItems() const {
    int n = 0;
    for (int i = 0; i < Items.Count(); ++i) {
        if (!Items[i].Active) continue;
        // An ordinal no protocol has runs nothing, but counts, as everything but a file copy does.
        const ProtocolTraits* protocol = Protocols::Find(Items[i].Protocol);
        if (!protocol || protocol->needsInternetRoot) ++n;
    }
    return n;
}

std::string TZandrelWebCopy::LastErrorReason() const {
    return MaskUrlPasswords(d->run ? d->run->Reason() : d->lastReason);
}

ui::Form* TZandrelWebCopy::ProgressForm() const { return d->dialog.form.get(); }
ui::ProgressBar* TZandrelWebCopy::ProgressBar() const { return d->dialog.progress; }
ui::Label* TZandrelWebCopy::ProgressFileLabel() const { return d->dialog.fileLbl; }
ui::Label* TZandrelWebCopy::ProgressSizeLabel() const { return d->dialog.sizeLbl; }
ui::Label* TZandrelWebCopy::ProgressRateLabel() const { return d->dialog.rateLbl; }
const std::string& TZandrelWebCopy::RateStr() const { return d->dialog.rateStr; }
const std::string& TZandrelWebCopy::TimeLeftStr() const { return d->dialog.timeLeftStr; }
const std::string& TZandrelWebCopy::ElapsedTimeStr() const { return d->dialog.elapsedTimeStr; }
bool TZandrelWebCopy::FormClosed() const { return d->dialog.formClosed; }
void TZandrelWebCopy::SetFormClosed(bool Value) { d->dialog.formClosed = Value; }

} // namespace zandrel::webcopy
