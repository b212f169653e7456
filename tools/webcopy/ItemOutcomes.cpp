#include "tools/webcopy/ItemOutcomes.h"

#include "webcopy/Protocols.h"
#include "webcopy/UrlHelpers.h"
#include "webcopy/ZandrelWebCopy.h"

namespace zandrel::tools {

using webcopy::TZandrelWebCopy;

const char* StatusName(ItemStatus status) {
    switch (status) {
    case ItemStatus::Success: return "Success";
    case ItemStatus::NoNewVersion: return "NoNewVersion";
    case ItemStatus::Declined: return "Declined";
    case ItemStatus::Failed: return "Failed";
    case ItemStatus::NothingMatched: return "NothingMatched";
    case ItemStatus::Cancelled: return "Cancelled";
    case ItemStatus::NotRun: return "NotRun";
    case ItemStatus::Inactive: return "Inactive";
    }
    return "Failed";
}

bool StatusIsDone(ItemStatus status) {
    return status == ItemStatus::Success || status == ItemStatus::NoNewVersion || status == ItemStatus::Declined ||
           status == ItemStatus::Inactive;
}

ItemOutcomes::Seen& ItemOutcomes::Current() {
    // Events before the first item (none are expected) count towards a slot of their own.
    const size_t slot = current_ < 0 ? 0 : static_cast<size_t>(current_) + 1;
    if (seen_.size() <= slot) seen_.resize(slot + 1);
    return seen_[slot];
}

void ItemOutcomes::Started(int idx) {
    current_ = idx;
    Current().started = true;
}

void ItemOutcomes::Problem(const std::string& why) {
    Seen& seen = Current();
    if (seen.problems++ == 0) seen.firstProblem = why;
}

void ItemOutcomes::MultiFileDone() { ++Current().multiFilesDone; }

void ItemOutcomes::HandlerDeclined() { Current().declined = true; }

void ItemOutcomes::EndedWithout(const std::string& why) {
    Seen& seen = Current();
    if (seen.firstProblem.empty()) seen.firstProblem = why;
}

std::vector<ItemOutcome> ItemOutcomes::Judge(const TZandrelWebCopy& wc) const {
    std::vector<ItemOutcome> outcomes;
    for (int i = 0; i < wc.Items.Count(); ++i) {
        const auto& item = wc.Items[i];
        const size_t slot = static_cast<size_t>(i) + 1;
        const Seen seen = slot < seen_.size() ? seen_[slot] : Seen{};
        ItemOutcome outcome;
        outcome.reason = seen.firstProblem;
        const webcopy::ProtocolTraits* protocol = webcopy::Protocols::Find(item.Protocol);
        const bool multiFile = protocol && protocol->multiFile;
        if (!item.Active)
            outcome.status = ItemStatus::Inactive;
        else if (!seen.started)
            outcome.status = ItemStatus::NotRun;
        else if (item.Cancelled())
            outcome.status = ItemStatus::Cancelled;
        else if (seen.problems > 0)
            outcome.status = ItemStatus::Failed;
        else if (item.Success() && multiFile && seen.multiFilesDone == 0)
            outcome.status = ItemStatus::NothingMatched;
        else if (item.Success())
            outcome.status = ItemStatus::Success;
        else if (item.NoNewVersion())
            outcome.status = ItemStatus::NoNewVersion;
        else if (seen.declined)
            outcome.status = ItemStatus::Declined;
        else
            outcome.status = ItemStatus::Failed;
        if (outcome.status == ItemStatus::NothingMatched && outcome.reason.empty())
            outcome.reason = "no file matched " + webcopy::MaskUrlPasswords(item.URL);
        outcomes.push_back(std::move(outcome));
    }
    return outcomes;
}

int ItemOutcomes::ExitStatus(const std::vector<ItemOutcome>& outcomes, int interruptSignal) {
    if (interruptSignal > 0) return kExitSignalBase + interruptSignal;
    for (const ItemOutcome& outcome : outcomes)
        if (!StatusIsDone(outcome.status)) return kExitFailed;
    return kExitDone;
}

} // namespace zandrel::tools
