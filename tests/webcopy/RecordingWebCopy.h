#pragma once
// A TZandrelWebCopy whose transfer routines are fakes: each call is recorded, and what a call
// does (its result, touching the by-reference locals, reporting progress, cancelling) is up to
// the test. Events are logged as short texts in the order they fire.
#include <functional>
#include <string>
#include <vector>

#include "platform/rtl/Clock.h"
#include "webcopy/ZandrelWebCopy.h"

namespace zandrel::webcopy::testing {

struct RoutineCall {
    std::string routine;
    int idx = -1; // -1 for routines that are not given the index
    std::string url;
    bool keepConnection = false;
    int fileNum = 0;
    bool hadRoot = false;
    bool cancelledAtStart = false;
};

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
    }

    // What the fake routine of a call does; returns the routine's result. The default succeeds.
    std::function<bool(const RoutineCall&, TDateTime& fileDate, bool& notNewer)> behaviour =
        [](const RoutineCall&, TDateTime&, bool&) { return true; };

    std::vector<RoutineCall> calls;
    std::vector<std::string> log;
    void Log(std::string entry) { log.push_back(std::move(entry)); }

    // Exposed run state and frame for the tests.
    using TZandrelWebCopy::FCancelBtn;
    using TZandrelWebCopy::FCancelIsClose;
    using TZandrelWebCopy::FCancelled;
    using TZandrelWebCopy::FBtnShowFile;
    using TZandrelWebCopy::FBtnShowFolder;
    using TZandrelWebCopy::FAnim;
    using TZandrelWebCopy::FElapsedTimeLbl;
    using TZandrelWebCopy::FFTPconnect;
    using TZandrelWebCopy::FFileNum;
    using TZandrelWebCopy::FHinternet;
    using TZandrelWebCopy::FLastDir;
    using TZandrelWebCopy::FLastFile;
    using TZandrelWebCopy::FPrevConnect;
    using TZandrelWebCopy::FTimeLbl;
    using TZandrelWebCopy::FileCounterPrefix;
    using TZandrelWebCopy::ProgressStep;
    using TZandrelWebCopy::SetItemResults;

    // Moves `blocks` blocks of 4096 bytes of `total` through the common progress step, stopping
    // after the block in which a cancel is found, as every transfer routine does.
    bool MoveBlocks(int blocks, uint64_t total) {
        const uint32_t start = rtl::GetTickCount();
        uint64_t done = 0;
        for (int i = 0; i < blocks; ++i) {
            done += 4096;
            if (ProgressStep(done, total, start, DlgUpload)) break;
        }
        return true;
    }

protected:
    bool Fake(RoutineCall call, TDateTime& fileDate, bool& notNewer) {
        call.fileNum = FFileNum;
        call.hadRoot = FHinternet != nullptr;
        call.cancelledAtStart = FCancelled;
        calls.push_back(call);
        Log(call.routine + " " + std::to_string(call.idx));
        return behaviour(calls.back(), fileDate, notNewer);
    }

    bool FtpPutFile(int Index, const std::string&, const std::string&, const std::string&, int32_t,
                    const std::string& URL, const std::string&, const std::string&, bool, TDateTime& FileDate,
                    bool& NoNewVersion, bool KeepConnection) override {
        return Fake({"FtpPutFile", Index, URL, KeepConnection}, FileDate, NoNewVersion);
    }
    bool MultiFtpPutFile(int Index, const std::string&, const std::string&, const std::string&, int32_t,
                         const std::string& URL, const std::string&, const std::string&, bool, TDateTime& FileDate,
                         bool& NoNewVersion, bool KeepConnection) override {
        return Fake({"MultiFtpPutFile", Index, URL, KeepConnection}, FileDate, NoNewVersion);
    }
    bool FtpGetFile(int Index, const std::string&, const std::string&, const std::string&, int32_t,
                    const std::string& URL, const std::string&, const std::string&, bool, TDateTime& FileDate,
                    bool& NoNewVersion, bool KeepConnection, bool) override {
        return Fake({"FtpGetFile", Index, URL, KeepConnection}, FileDate, NoNewVersion);
    }
    bool MultiFtpGetFile(int Index, const std::string&, const std::string&, const std::string&, int32_t,
                         const std::string& URL, const std::string&, const std::string&, bool, TDateTime& FileDate,
                         bool& NoNewVersion, bool KeepConnection) override {
        return Fake({"MultiFtpGetFile", Index, URL, KeepConnection}, FileDate, NoNewVersion);
    }
    bool MultiFtpGetList(int Index, const std::string&, const std::string&, const std::string&, int32_t,
                         const std::string& URL, const std::string&, const std::string&, bool, TDateTime& FileDate,
                         bool& NoNewVersion, bool KeepConnection) override {
        return Fake({"MultiFtpGetList", Index, URL, KeepConnection}, FileDate, NoNewVersion);
    }
    bool FtpTest(int Index, const std::string&, const std::string&, const std::string&, int32_t) override {
        TDateTime unusedDate = 0;
        bool unusedFlag = false;
        return Fake({"FtpTest", Index, "", false}, unusedDate, unusedFlag);
    }
    bool FtpRemoveFile(int Index, const std::string&, const std::string&, const std::string&, int32_t,
                       const std::string& URL, const std::string&, const std::string&, bool KeepConnection) override {
        TDateTime unusedDate = 0;
        bool unusedFlag = false;
        return Fake({"FtpRemoveFile", Index, URL, KeepConnection}, unusedDate, unusedFlag);
    }
    bool HttpGetFile(int idx, const std::string& URL, const std::string&, const std::string&, const std::string&, bool,
                     TDateTime& FileDate, bool& NoNewVersion, TZandrelWebCopyAuthentication, const std::string&,
                     const std::string&) override {
        return Fake({"HttpGetFile", idx, URL, false}, FileDate, NoNewVersion);
    }
    bool HttpPutFile(const std::string& URL, const std::string&, const std::string&,
                     TZandrelWebCopyHTTPCommand) override {
        TDateTime unusedDate = 0;
        bool unusedFlag = false;
        return Fake({"HttpPutFile", -1, URL, false}, unusedDate, unusedFlag);
    }
    bool FileGetFile(int idx, const std::string&, const std::string&, const std::string&, int32_t,
                     const std::string& URL, const std::string&, const std::string&, bool, TDateTime& FileDate,
                     bool& NoNewVersion) override {
        return Fake({"FileGetFile", idx, URL, false}, FileDate, NoNewVersion);
    }
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
