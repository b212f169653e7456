#include "webcopy/ZandrelWebCopy.h"

#include "platform/ui/Forms.h"
#include "webcopy/CopyThread.h"
#include "webcopy/Protocols.h"
#include "webcopy/UrlHelpers.h"

namespace zandrel::webcopy {
namespace {

constexpr int kVersionMajor = 2;
constexpr int kVersionMinor = 2;
constexpr int kVersionRelease = 3;
constexpr int kVersionBuild = 1;

} // namespace

TZandrelWebCopy::TZandrelWebCopy() : FThreadLink(std::make_shared<CopyThreadLink>(this)) {}

TZandrelWebCopy::~TZandrelWebCopy() {
    // A worker thread still waiting to hand its run over finds the component gone and ends.
    FThreadLink->Detach();
}

int32_t TZandrelWebCopy::GetVersionNr() const {
    return (kVersionMajor << 24) | (kVersionMinor << 16) | (kVersionRelease << 8) | kVersionBuild;
}

std::string TZandrelWebCopy::Version() const {
    const auto nr = static_cast<uint32_t>(GetVersionNr());
    return std::to_string(nr >> 24) + "." + std::to_string((nr >> 16) & 0xFF) + "." +
           std::to_string((nr >> 8) & 0xFF) + "." + std::to_string(nr & 0xFF);
}

void TZandrelWebCopy::CancelCopy() { FCancelled = true; }

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

std::string TZandrelWebCopy::LastErrorReason() const { return MaskUrlPasswords(FLastErrorReason); }

void TZandrelWebCopy::ReportError(int Code, const std::string& Info) {
    ++FReportedFailures;
    if (OnError) OnError(*this, Code);
    if (OnErrorInfo) OnErrorInfo(*this, Code, MaskUrlPasswords(Info));
}

void TZandrelWebCopy::SetItemResults(TZandrelWebCopyItem& Item, bool Success, bool Cancelled, bool NoNewVersion) {
    Item.FSuccess = Success;
    Item.FCancelled = Cancelled;
    Item.FNoNewVersion = NoNewVersion;
}

void TZandrelWebCopy::ResetItemLists(TZandrelWebCopyItem& Item) {
    Item.FFileList = std::make_unique<rtl::StringList>();
    Item.FFileDetails = std::make_unique<TFileDetailItems>();
}

} // namespace zandrel::webcopy
