#pragma once
// What webcopy prints about a run: every event of the component, as one JSON line each or as
// readable lines, then a closing summary with each item's outcome.
//
// Progress (OnCopyProgress) comes after every block a transfer moves; by default it is printed
// at most every kProgressGapMs, and the last one before any other event is always printed, so the
// final figures are never lost.
//
// On a terminal the progress line is the tool's own (see ProgressLine.h): the name, the figures in
// binary units, its rate and the time left; in text mode each item that moved files ends with
// one line saying where they went, how much, how long it took and how fast.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <map>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "tools/webcopy/ItemOutcomes.h"
#include "tools/webcopy/JobInput.h"
#include "tools/webcopy/ProgressLine.h"

namespace zandrel::webcopy {
class TZandrelWebCopy;
}

namespace zandrel::tools {

struct ReportOptions {
    enum class Format { Json, Text } format = Format::Json;
    bool quiet = false;         // no events and no summary; failed items are told on `err`
    bool progress = true;       // OnCopyProgress printed at all
    bool everyProgress = false; // every OnCopyProgress, none skipped
    std::FILE* out = stdout;
    std::FILE* err = stderr;
};

constexpr uint32_t kProgressGapMs = 250;

class EventReport {
public:
    explicit EventReport(ReportOptions options) : options_(options) {}
    ~EventReport();
    EventReport(const EventReport&) = delete;
    EventReport& operator=(const EventReport&) = delete;

    // Sets every event handler of `wc`; the job's handlers decide what OnFileDateCheck and
    // OnCopyOverWrite answer. `wc` must outlive the run.
    void Attach(webcopy::TZandrelWebCopy& wc, const JobHandlers& handlers);

    // Prints the closing summary ("done" line) and returns webcopy's exit status.
    // `interruptSignal` is the signal that stopped the run (0 if none); `brokeOff` says that the
    // run ended with an exception instead of its own end.
    int Finish(const webcopy::TZandrelWebCopy& wc, int interruptSignal, bool brokeOff = false);

    // One progress event (public so that its figures can be checked beyond 32 bits).
    void Progress(int fileidx, uint64_t size, uint64_t totsize);

    // The progress line as the terminal shows it, in `width` columns (0: no limit). Before the
    // first item it leaves the line to the window (nullopt); in text mode an item that has ended
    // shows none, since its last line said it all.
    std::optional<std::string> LiveLine(size_t width) const;

private:
    void Emit(const nlohmann::ordered_json& json, const std::string& text);
    void FlushProgress();
    void WriteProgress();
    void WriteLine(const std::string& line);

    std::string ItemEndLine(const webcopy::TZandrelWebCopy& wc, int idx) const;
    double RateNow() const;

    ReportOptions options_;
    ItemOutcomes outcomes_;
    // The item running now: what the progress line and the line that ends it show.
    struct {
        int idx = -1;
        ProgressFigures figures;
        bool moving = false;            // a block of the current file has been reported
        bool ended = false;             // OnFileDone has come
        uint32_t firstTick = 0;         // when the current file's first block was reported
        uint64_t firstDone = 0;         // and how much it had moved by then
        uint64_t finishedBytes = 0;     // the files of this item already done (multi-file items)
        int filesDone = 0;
        double fileDate = 0;            // the item's FileDate as it started: what "newer" is measured by
        std::chrono::steady_clock::time_point started;
    } item_;
    // The two dates each item's "nothing newer" compared: the one it had and the other side's.
    std::map<int, std::pair<double, double>> compared_;
    bool finished_ = false;
    bool attached_ = false;
    struct {
        bool pending = false;
        int fileidx = 0;
        uint64_t size = 0, totsize = 0;
        bool everPrinted = false;
        uint32_t printedAt = 0;
        // The figures last written: a routine that reports the same figures again (its closing
        // empty block) adds no line.
        int writtenFileidx = -1;
        uint64_t writtenSize = 0, writtenTotsize = 0;
    } progress_;
};

} // namespace zandrel::tools
