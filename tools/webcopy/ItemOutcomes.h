#pragma once
// What became of each item of a run, judged from its results and from the events fired while it
// ran, and the exit status that follows. An item's Success alone is not enough: a multi-file
// transfer may report success with a file that failed or with no file at all.
#include <string>
#include <vector>

namespace zandrel::webcopy {
class TZandrelWebCopy;
}

namespace zandrel::tools {

enum class ItemStatus {
    Success,        // done, all of it
    NoNewVersion,   // nothing newer than the job's date: nothing needed doing
    Declined,       // a handler of the job answered "no" (OnCopyOverWrite, OnFileDateCheck)
    Failed,         // the item, or one of its files, failed
    NothingMatched, // a multi-file transfer found no file
    Cancelled,      // Cancel or Ctrl-C stopped it
    NotRun,         // the run stopped before it
    Inactive,       // "Active": false
};

const char* StatusName(ItemStatus status);
// Whether the job got what it asked for from an item with this status.
bool StatusIsDone(ItemStatus status);

struct ItemOutcome {
    ItemStatus status = ItemStatus::NotRun;
    std::string reason; // why it failed, when known
};

// Exit statuses of webcopy.
constexpr int kExitDone = 0;      // every active item done (Success, NoNewVersion or Declined)
constexpr int kExitFailed = 1;    // an active item failed, matched nothing, was cancelled or not run
constexpr int kExitBadJob = 2;    // usage error, or a job that cannot be read or is not valid
constexpr int kExitSignalBase = 128; // + the signal: Ctrl-C (SIGINT) gives 130, SIGTERM 143

class ItemOutcomes {
public:
    // Events, as the component fires them.
    void Started(int idx);
    void Problem(const std::string& why); // an error, a source not found, a failed removal
    void MultiFileDone();
    void HandlerDeclined();
    // An item ended without success: `why` (the component's reason, possibly empty) explains it
    // when no event did, as for a login the person cancelled.
    void EndedWithout(const std::string& why);

    // Each item's outcome once the run is over.
    std::vector<ItemOutcome> Judge(const webcopy::TZandrelWebCopy& wc) const;
    static int ExitStatus(const std::vector<ItemOutcome>& outcomes, int interruptSignal);

private:
    struct Seen {
        bool started = false;
        int problems = 0;
        std::string firstProblem;
        int multiFilesDone = 0;
        bool declined = false;
    };
    Seen& Current();
    std::vector<Seen> seen_;
    int current_ = -1;
};

} // namespace zandrel::tools
