#pragma once
// The component's private side, for its own implementation files and its tests: the window, the
// run in progress, the worker thread's link, and the item results only a run writes.
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "webcopy/CopyThread.h"
#include "webcopy/ProgressDialog.h"
#include "webcopy/TransferRun.h"
#include "webcopy/ZandrelWebCopy.h"

namespace zandrel::webcopy {

// What runs an item: a protocol's routine, or a test's stand-in for every protocol.
using TransferRoutine = std::function<TransferOutcome(TransferRun&, const TransferItem&)>;

struct TZandrelWebCopy::Private {
    explicit Private(TZandrelWebCopy& owner);

    ProgressDialog dialog;
    TransferRun* run = nullptr; // the run in progress; null between runs
    std::string lastReason;     // LastErrorReason once the run is over
    bool copyCompleted = false; // the worker thread has finished
    // Shared with worker threads, which must not touch a component that is gone.
    std::shared_ptr<CopyThreadLink> threadLink;
    std::exception_ptr threadError;
    // When set, runs every item in place of its protocol's routine (tests of the driver).
    TransferRoutine routineOverride;
};

class WebCopyInternals {
public:
    static TZandrelWebCopy::Private& Of(TZandrelWebCopy& wc) { return *wc.d; }
    static const TZandrelWebCopy::Private& Of(const TZandrelWebCopy& wc) { return *wc.d; }

    // Results of an item, written by the driver after its routine returned.
    static void SetItemResults(TZandrelWebCopyItem& Item, bool Success, bool Cancelled, bool NoNewVersion) {
        Item.FSuccess = Success;
        Item.FCancelled = Cancelled;
        Item.FNoNewVersion = NoNewVersion;
    }
    static void SetStoredFilename(TZandrelWebCopyItem& Item, std::string Name) { Item.FStoredFilename = std::move(Name); }
    // Gives an item a fresh (empty) pair of listing lists, replacing any earlier pair.
    static void ResetItemLists(TZandrelWebCopyItem& Item) {
        Item.FFileList = std::make_unique<rtl::StringList>();
        Item.FFileDetails = std::make_unique<TFileDetailItems>();
    }
    static rtl::StringList& ItemFileList(TZandrelWebCopyItem& Item) { return *Item.FFileList; }
    static TFileDetailItems& ItemFileDetails(TZandrelWebCopyItem& Item) { return *Item.FFileDetails; }
};

} // namespace zandrel::webcopy
