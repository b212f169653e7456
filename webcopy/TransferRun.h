#pragma once
// One run of the component: what a single Execute needs and nothing that outlives it. The
// driver makes a TransferRun, hands each active item to its protocol's routine with the run, and
// writes the outcome the routine returns back into the item.
//
// The run owns the Internet root, the FTP connection kept for the next item, what uploads learned
// about renaming, the cancel flag and the file counter. Routines report through it (the events
// go to the component the run belongs to) and show their progress on its display. Nothing a
// routine decides travels through the component: its result is the TransferOutcome it returns.
#include <cstdint>
#include <map>
#include <string>

#include "platform/inet/Inet.h"
#include "platform/rtl/DateTime.h"
#include "webcopy/WebCopyItem.h"

namespace zandrel::webcopy {

class TZandrelWebCopy;

// What a routine is handed for one item.
struct TransferItem {
    int idx = -1;
    // The item's published fields, copied: event handlers the routine fires may change the item
    // in the list, or delete it.
    const TZandrelWebCopyItem& values;
    // Keep the FTP connection for the next item, which uses the same account.
    bool keepConnection = false;
};

// How one item (or one file of a multi-file item) ended.
struct TransferOutcome {
    bool done = false;     // it did what the item asks
    bool notNewer = false; // skipped: the file already there was not older
    // An error or a missing source was reported. Not set by a Cancel, nor where an event
    // handler declined the transfer: those end without done and without a failure.
    bool failed = false;
    rtl::TDateTime fileDate = 0; // the date of the file the routine found (the item's, when none)
    std::string reason;          // why it failed, in words a person can act on ("" when unknown)
    std::string storedName;      // where the file went: an upload's name, a download's local path

    // The outcome before anything happened: not done, with the date the item gave.
    static TransferOutcome From(rtl::TDateTime itemDate) {
        TransferOutcome out;
        out.fileDate = itemDate;
        return out;
    }
    // Ends the routine as done.
    TransferOutcome& Done() {
        done = true;
        return *this;
    }
};

// What the routines show while they run, behind an interface: the component's progress window is
// one, and a run that shows nothing (the tests' runs outside Execute) is another.
class TransferDisplay {
public:
    virtual ~TransferDisplay() = default;
    // The file line: label, counter and name, already joined.
    virtual void ShowFileLine(const std::string& line) = 0;
    // The lines after a block moved: bar, size, caption (led by `directionWord`), rate and times.
    virtual void ShowProgress(uint64_t done, uint64_t total, uint32_t elapsedMs, const std::string& directionWord) = 0;
    // The bar at its end, for a transfer whole at once (an empty file).
    virtual void ShowBarFull() = 0;
    // Switches the animation to another clip (uploads use 258).
    virtual void PlayClip(int resourceId) = 0;
    // What Open file and Open folder open once the run is over.
    virtual void SetLastTarget(const std::string& file, const std::string& folder) = 0;
};

// The FTP connection one item leaves open for the next one of the same account.
struct KeptFtpConnection {
    inet::HINTERNET handle = nullptr;
    std::string key;    // FtpConnectionKey of its account; empty: nothing kept
    std::string folder; // the directory it was last sent to; empty: unknown
    void Forget() {
        handle = nullptr;
        key.clear();
        folder.clear();
    }
};

class TransferRun {
public:
    TransferRun(TZandrelWebCopy& component, TransferDisplay& display);
    TransferRun(const TransferRun&) = delete;
    TransferRun& operator=(const TransferRun&) = delete;
    // Closes the root and with it every connection still open.
    ~TransferRun();

    // The component whose properties the routines read and whose events they fire.
    TZandrelWebCopy& component;
    TransferDisplay& display;

    // ---- run state -----------------------------------------------------------------------------
    inet::HINTERNET root = nullptr; // the Internet root of the run (null when none is needed)
    KeptFtpConnection kept;
    // Per account and folder, whether the server renamed an upload's temporary file; learned from
    // the uploads themselves, one run long (servers change between runs).
    std::map<std::string, bool> renameWorks;
    bool cancelled = false;
    int32_t fileNum = 0; // 1-based number of the active item being run

    // Opens the root (direct, through the component's Proxy, or as the environment says).
    void OpenRoot();
    // Closes the root, which closes the kept connection too.
    void CloseRoot();

    // While it lives, reports (errors, missing sources, reasons) go to `out`: a routine makes one
    // for its own outcome, a multi-file routine one for each file. The one before comes back after.
    class Reporting {
    public:
        Reporting(TransferRun& run, TransferOutcome& out) : run_(run), previous_(run.current_) { run.current_ = &out; }
        ~Reporting() { run_.current_ = previous_; }
        Reporting(const Reporting&) = delete;
        Reporting& operator=(const Reporting&) = delete;

    private:
        TransferRun& run_;
        TransferOutcome* previous_;
    };
    [[nodiscard]] Reporting ReportTo(TransferOutcome& out) { return Reporting(*this, out); }

    // ---- the frame every routine shares --------------------------------------------------------
    // The refresh after each block: the display, then OnCopyProgress, then one round of pending
    // messages. `Start` is the tick count taken before the block loop. True when a cancel has
    // been requested, so the routine stops after this block.
    bool ProgressStep(uint64_t Done, uint64_t Total, uint32_t Start, const std::string& DirectionWord);
    // One round of pending messages (where the dialog's Cancel button is clicked); a Ctrl-C that
    // no window took is a Cancel too. False once the run is cancelled.
    bool PumpMessages();
    // Marks the run cancelled, telling OnCopyCancel first unless it already is.
    void Cancel(bool tell);
    // "2 of 3 : " when the list holds more than one item, else empty.
    std::string FileCounterPrefix() const;
    // The window's file line: label, file counter, file name and, when asked, "to"/"from" and
    // the server.
    void ShowFileLine(const std::string& fileName, const std::string& serverWord, const std::string& host,
                      bool showServer);
    void PlayClip(int ResourceId) { display.PlayClip(ResourceId); }

    // ---- reporting -----------------------------------------------------------------------------
    // The reason of the failure about to be reported (see LastErrorReason).
    void SetReason(std::string reason);
    const std::string& Reason() const;
    // OnError(Code), then OnErrorInfo(Code, Info); the outcome failed.
    void ReportError(int Code, const std::string& Info);
    // OnURLNotFound(url): a source that does not exist; the outcome failed.
    void ReportNotFound(const std::string& url);
    // The reason from the Internet layer's last failure.
    void NoteInetFailure();
    // After an Internet call failed: ReportError (or ReportNotFound) with the layer's reason,
    // unless the call was stopped by a Cancel, which is no error.
    void ReportInetFailure(int Code, const std::string& Info);
    void ReportInetNotFound(const std::string& url);
    // After a call on a remote file or folder failed: OnURLNotFound(url) when the server refused
    // it (a 5xx reply), else error 4, "Error reading source file " + url; nothing after a Cancel.
    void ReportRemoteFailure(const std::string& url);
    // Whether the Internet call that just failed was stopped by a Cancel (no error to report).
    bool InetCallCancelled() const;

private:
    TransferOutcome* current_ = nullptr;
    TransferOutcome between_; // where reports outside any routine go
    TransferOutcome& Current() { return current_ ? *current_ : between_; }
    const TransferOutcome& Current() const { return current_ ? *current_ : between_; }
};

} // namespace zandrel::webcopy
