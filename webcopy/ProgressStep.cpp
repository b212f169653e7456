// What the window shows of a transfer: the file line and the refresh after each block a routine
// moves. One implementation, so the window reads the same whatever the protocol.
#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "platform/ui/Forms.h"
#include "webcopy/Formatting.h"
#include "webcopy/ProgressDialog.h"
#include "webcopy/ZandrelWebCopy.h"

namespace zandrel::webcopy {
namespace {

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

void ProgressDialog::ShowFileLine(const std::string& line) {
    if (fileLbl) fileLbl->SetCaption(line);
}

void ProgressDialog::ShowBarFull() {
    if (progress) progress->SetPosition(100);
}

void ProgressDialog::ShowProgress(uint64_t Done, uint64_t Total, uint32_t elapsed, const std::string& DirectionWord) {
    const TZandrelWebCopy& o = owner_;
    if (Total > 0) {
        const auto percent = rtl::RoundHalfEven(static_cast<double>(Done) / static_cast<double>(Total) * 100.0);
        if (progress) progress->SetPosition(static_cast<int>(std::min<int64_t>(percent, 100)));
        if (sizeLbl)
            SetCaptionParts(sizeLbl,
                            {o.DlgProgressLabel, " ", FileSizeFmt(Done), " ", o.DlgFileOfLabel, " ", FileSizeFmt(Total)});
    } else if (sizeLbl) {
        SetCaptionParts(sizeLbl, {o.DlgProgressLabel, " ", FileSizeFmt(Done)});
    }
    if (o.ShowCompletion && form && progress)
        SetCaptionParts(form.get(),
                        {DirectionWord, " : ", std::to_string(progress->Position()), "% ", o.DlgCompleted});

    // One reading of the clock serves the rate and both times: they describe the same moment.
    // The +1 keeps the first block (0 ms) from dividing by zero; 64 bits keep it from wrapping.
    const double elapsedForRate = static_cast<double>(uint64_t{elapsed} + 1);
    const int64_t rate = rtl::RoundHalfEven(static_cast<double>(Done) / elapsedForRate * 1000.0);
    rateStr = FileSizeFmtSpeed(rate);
    SetCaptionParts(rateLbl, {o.DlgRateLabel, " ", rateStr});

    timeLeftStr = TimeFmt(elapsed, Done, Total);
    SetCaptionParts(timeLbl, {o.DlgTimeLabel, " ", timeLeftStr});

    elapsedTimeStr = TimeFmt(elapsed, 0, Total);
    SetCaptionParts(elapsedTimeLbl, {o.DlgElapsedTimeLabel, " ", elapsedTimeStr});
}

} // namespace zandrel::webcopy
