// What every transfer routine shows in the dialog: the file counter of its file line and the
// refresh after each block it moves. One implementation, so the dialog reads the same whatever
// the protocol.
#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "platform/rtl/Clock.h"
#include "platform/ui/Application.h"
#include "platform/ui/Forms.h"
#include "platform/ui/Interrupt.h"
#include "webcopy/Formatting.h"
#include "webcopy/ZandrelWebCopy.h"

namespace zandrel::webcopy {
namespace {

// Milliseconds since `start` on the 32-bit tick counter, which wraps after about 49 days.
uint32_t TicksSince(uint32_t start) { return rtl::GetTickCount() - start; }

// Sets the control's caption to the parts joined, unless it already reads so. The step runs
// after every 4 KB block while most lines change only now and then (the times once a second), so
// an unchanged line costs a comparison instead of a new string and a redraw request.
void SetCaptionParts(ui::Control* control, std::initializer_list<std::string_view> parts) {
    if (!control) return;
    size_t length = 0;
    for (std::string_view part : parts) length += part.size();
    const std::string& current = control->Caption();
    if (current.size() == length) {
        size_t at = 0;
        bool same = true;
        for (std::string_view part : parts) {
            if (current.compare(at, part.size(), part) != 0) {
                same = false;
                break;
            }
            at += part.size();
        }
        if (same) return;
    }
    std::string text;
    text.reserve(length);
    for (std::string_view part : parts) text += part;
    control->SetCaption(std::move(text));
}


} // namespace

void TZandrelWebCopy::ShowFileLine(const std::string& fileName, const std::string& serverWord,
                                   const std::string& host, bool showServer) {
    if (FFileLbl)
        FFileLbl->SetCaption(DlgFileLabel + " " + FileCounterPrefix() + fileName +
                             (showServer ? " " + serverWord + " " + host : std::string()));
}

std::string TZandrelWebCopy::FileCounterPrefix() const {
    if (Items.Count() <= 1) return "";
    return std::to_string(FFileNum) + " " + DlgFileOfLabel + " " + std::to_string(Items.ActiveItems()) + " : ";
}

bool TZandrelWebCopy::ProgressStep(uint64_t Done, uint64_t Total, uint32_t Start, const std::string& DirectionWord) {
    if (Total > 0) {
        const auto percent = rtl::RoundHalfEven(static_cast<double>(Done) / static_cast<double>(Total) * 100.0);
        if (FProgress) FProgress->SetPosition(static_cast<int>(std::min<int64_t>(percent, 100)));
        if (FSizeLbl)
            SetCaptionParts(FSizeLbl, {DlgProgressLabel, " ", FileSizeFmt(Done), " ", DlgFileOfLabel, " ", FileSizeFmt(Total)});
    } else if (FSizeLbl) {
        SetCaptionParts(FSizeLbl, {DlgProgressLabel, " ", FileSizeFmt(Done)});
    }
    if (ShowCompletion && FForm && FProgress)
        SetCaptionParts(FForm.get(), {DirectionWord, " : ", std::to_string(FProgress->Position()), "% ", DlgCompleted});

    // One reading of the clock serves the rate and both times: they describe the same moment.
    const uint32_t elapsed = TicksSince(Start);
    // The +1 keeps the first block (0 ms) from dividing by zero; 64 bits keep it from wrapping.
    const double elapsedForRate = static_cast<double>(uint64_t{elapsed} + 1);
    const int64_t rate = rtl::RoundHalfEven(static_cast<double>(Done) / elapsedForRate * 1000.0);
    FRateStr = FileSizeFmtSpeed(rate);
    SetCaptionParts(FRateLbl, {DlgRateLabel, " ", FRateStr});

    FTimeLeftStr = TimeFmt(elapsed, Done, Total);
    SetCaptionParts(FTimeLbl, {DlgTimeLabel, " ", FTimeLeftStr});

    FElapsedTimeStr = TimeFmt(elapsed, 0, Total);
    SetCaptionParts(FElapsedTimeLbl, {DlgElapsedTimeLabel, " ", FElapsedTimeStr});

    if (OnCopyProgress) OnCopyProgress(*this, FFileNum, Done, Total);
    return !PumpMessages();
}

bool TZandrelWebCopy::PumpMessages() {
    ui::ProcessMessages();
    // A shown dialog's Cancel button takes Ctrl-C while messages are processed; without one (no
    // dialog, or one without Cancel) nobody else would, and the run must stop all the same.
    if (!FCancelled && ui::InterruptPending() && ui::TakeInterrupt()) {
        if (OnCopyCancel) OnCopyCancel(*this);
        FCancelled = true;
    }
    return !FCancelled;
}

} // namespace zandrel::webcopy
