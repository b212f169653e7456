#include "webcopy/TransferRun.h"

#include <utility>

#include "platform/rtl/Clock.h"
#include "platform/ui/Application.h"
#include "platform/ui/Interrupt.h"
#include "webcopy/UrlHelpers.h"
#include "webcopy/Utilities.h"
#include "webcopy/ZandrelWebCopy.h"

namespace zandrel::webcopy {

TransferRun::TransferRun(TZandrelWebCopy& owner, TransferDisplay& shownOn) : component(owner), display(shownOn) {}

TransferRun::~TransferRun() { CloseRoot(); }

void TransferRun::OpenRoot() {
    // A failed open leaves no root; the routines then fail to connect and say so.
    if (!component.Proxy.empty())
        root = inet::InternetOpen(component.Agent, inet::INTERNET_OPEN_TYPE_PROXY, component.Proxy, "", 0);
    else
        root = inet::InternetOpen(component.Agent, inet::INTERNET_OPEN_TYPE_PRECONFIG, "", "", 0);
}

void TransferRun::CloseRoot() {
    if (!root) return;
    inet::InternetCloseHandle(std::exchange(root, nullptr));
    // Closing the root closed every connection under it, the kept one included; handing that one
    // out again would only fail.
    kept.Forget();
}

bool TransferRun::ProgressStep(uint64_t Done, uint64_t Total, uint32_t Start, const std::string& DirectionWord) {
    // The 32-bit tick counter wraps after about 49 days; the difference is right across a wrap.
    display.ShowProgress(Done, Total, rtl::GetTickCount() - Start, DirectionWord);
    if (component.OnCopyProgress) component.OnCopyProgress(component, fileNum, Done, Total);
    return !PumpMessages();
}

bool TransferRun::PumpMessages() {
    ui::ProcessMessages();
    // A shown dialog's Cancel button takes Ctrl-C while messages are processed; without one (no
    // dialog, or one without Cancel) nobody else would, and the run must stop all the same.
    if (!cancelled && ui::InterruptPending() && ui::TakeInterrupt()) Cancel(true);
    return !cancelled;
}

void TransferRun::Cancel(bool tell) {
    if (tell && component.OnCopyCancel) component.OnCopyCancel(component);
    cancelled = true;
}

std::string TransferRun::FileCounterPrefix() const {
    if (component.Items.Count() <= 1) return "";
    return std::to_string(fileNum) + " " + component.DlgFileOfLabel + " " +
           std::to_string(component.Items.ActiveItems()) + " : ";
}

void TransferRun::ShowFileLine(const std::string& fileName, const std::string& serverWord, const std::string& host,
                               bool showServer) {
    display.ShowFileLine(component.DlgFileLabel + " " + FileCounterPrefix() + fileName +
                         (showServer ? " " + serverWord + " " + host : std::string()));
}

void TransferRun::SetReason(std::string reason) { Current().reason = std::move(reason); }

const std::string& TransferRun::Reason() const { return Current().reason; }

void TransferRun::ReportError(int Code, const std::string& Info) {
    Current().failed = true;
    if (component.OnError) component.OnError(component, Code);
    if (component.OnErrorInfo) component.OnErrorInfo(component, Code, MaskUrlPasswords(Info));
}

void TransferRun::ReportNotFound(const std::string& url) {
    Current().failed = true;
    if (component.OnURLNotFound) component.OnURLNotFound(component, MaskUrlPasswords(url));
}

void TransferRun::NoteInetFailure() { SetReason(inet::InternetLastFailureReason()); }

void TransferRun::ReportInetFailure(int Code, const std::string& Info) {
    if (InetCallCancelled()) return;
    NoteInetFailure();
    ReportError(Code, Info);
}

void TransferRun::ReportInetNotFound(const std::string& url) {
    if (InetCallCancelled()) return;
    NoteInetFailure();
    ReportNotFound(url);
}

void TransferRun::ReportRemoteFailure(const std::string& url) {
    if (InetCallCancelled()) return;
    NoteInetFailure();
    // Only the server's own refusal ("550 No such file", "550 Permission denied") says the file
    // cannot be had; no answer, a dropped connection or a busy server say nothing about the file.
    inet::DWORD status = 0;
    std::string reply;
    inet::InternetGetLastResponseInfo(status, reply);
    if (inet::GetLastError() == inet::ERROR_INTERNET_EXTENDED_ERROR && status / 100 == 5)
        ReportNotFound(url);
    else
        ReportError(errReadSource, kMsgReadSource + url);
}

bool TransferRun::InetCallCancelled() const {
    return cancelled || inet::GetLastError() == inet::ERROR_INTERNET_OPERATION_CANCELLED;
}

} // namespace zandrel::webcopy
