#pragma once
// A TZandrelWebCopy whose items run through a fake routine: each call is recorded, and what a
// call does (its result, the date and not-newer it hands back, reporting progress, cancelling)
// is up to the test, through the run the call belongs to. Events are logged as short texts in the
// order they fire.
#include <functional>
#include <string>
#include <vector>

#include "platform/inet/Inet.h"
#include "platform/rtl/Clock.h"
#include "webcopy/Protocols.h"
#include "webcopy/WebCopyInternals.h"

namespace zandrel::webcopy::testing {

struct RoutineCall {
    std::string routine; // the name of the protocol's routine
    int idx = -1;
    std::string url;
    bool keepConnection = false;
    int fileNum = 0;
    inet::HINTERNET root = nullptr; // the run's Internet root (null when it needs none)
    bool cancelledAtStart = false;
    bool hadRoot() const { return root != nullptr; }
};

// Whether `handle` is closed (closing it again is refused).
inline bool HandleClosed(inet::HINTERNET handle) {
    return !inet::InternetCloseHandle(handle) && inet::GetLastError() == inet::ERROR_INVALID_HANDLE;
}

// The name of each protocol's routine, as the component calls them.
inline std::string RoutineName(TZandrelWebCopyProtocol protocol) {
    static const char* const kNames[] = {"HttpGetFile",     "FtpGetFile",      "FileGetFile",   "FtpPutFile",
                                         "HttpPutFile",     "MultiFtpGetFile", "MultiFtpPutFile", "FtpRemoveFile",
                                         "MultiFtpGetList", "FtpTest"};
    return kNames[protocol];
}

class RecordingWebCopy : public TZandrelWebCopy {
public:
    RecordingWebCopy() {
        OnFileStart = [this](TZandrelWebCopy&, int idx) { Log("start " + std::to_string(idx)); };
        OnFileDone = [this](TZandrelWebCopy&, int idx) { Log("done " + std::to_string(idx)); };
        OnCopyDone = [this](TZandrelWebCopy&) {
            Log(std::string("copydone") + (ProgressForm() ? " with dialog" : " without dialog"));
        };
        OnCopyCancel = [this](TZandrelWebCopy&) { Log("cancel"); };
        OnBeforeDialogShow = [this](TZandrelWebCopy&, ui::Form&) { Log("beforeshow"); };
        WebCopyInternals::Of(*this).routineOverride = [this](TransferRun& run, const TransferItem& in) {
            return Fake(run, in);
        };
    }

    // What the fake routine of a call does; returns whether the item was done. The default
    // succeeds.
    std::function<bool(const RoutineCall&, TDateTime& fileDate, bool& notNewer)> behaviour =
        [](const RoutineCall&, TDateTime&, bool&) { return true; };

    std::vector<RoutineCall> calls;
    std::vector<std::string> log;
    void Log(std::string entry) { log.push_back(std::move(entry)); }

    ProgressDialog& Dialog() { return WebCopyInternals::Of(*this).dialog; }
    // The run of the call being made (inside a behaviour only).
    TransferRun& Run() { return *run_; }

    // Moves `blocks` blocks of 4096 bytes of `total` through the common progress step, stopping
    // after the block in which a cancel is found, as every transfer routine does.
    bool MoveBlocks(int blocks, uint64_t total) {
        const uint32_t start = rtl::GetTickCount();
        uint64_t done = 0;
        for (int i = 0; i < blocks; ++i) {
            done += 4096;
            if (Run().ProgressStep(done, total, start, DlgUpload)) break;
        }
        return true;
    }

private:
    TransferOutcome Fake(TransferRun& run, const TransferItem& in) {
        RoutineCall call{RoutineName(in.values.Protocol), in.idx, in.values.URL, in.keepConnection, run.fileNum,
                         run.root, run.cancelled};
        calls.push_back(call);
        Log(call.routine + " " + std::to_string(call.idx));
        TransferOutcome out = TransferOutcome::From(in.values.FileDate);
        run_ = &run;
        out.done = behaviour(calls.back(), out.fileDate, out.notNewer);
        run_ = nullptr;
        return out;
    }
    TransferRun* run_ = nullptr;
};

inline TZandrelWebCopyItem& AddItem(TZandrelWebCopy& wc, TZandrelWebCopyProtocol protocol, std::string url = "",
                                    std::string host = "host", bool active = true) {
    TZandrelWebCopyItem& item = wc.Items.Add();
    item.Protocol = protocol;
    item.URL = std::move(url);
    item.FTPHost = std::move(host);
    item.FTPUserID = "user";
    item.FTPPassword = "pw";
    item.Active = active;
    return item;
}

} // namespace zandrel::webcopy::testing
