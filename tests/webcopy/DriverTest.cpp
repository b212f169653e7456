#include <algorithm>

#include <gtest/gtest.h>

#include "platform/rtl/Error.h"
#include "platform/rtl/Locale.h"
#include "platform/ui/Forms.h"
#include "webcopy/Formatting.h"
#include "RecordingWebCopy.h"
#include "platform/inet/Inet.h"

namespace zandrel::webcopy {
namespace {

using testing::AddItem;
using testing::RecordingWebCopy;
using testing::RoutineCall;
using Log = std::vector<std::string>;

TEST(WebCopyDriver, RunWithoutActiveItemsOnlyBuildsAndDestroysTheDialog) {
    for (bool withInactiveItem : {false, true}) {
        RecordingWebCopy wc;
        if (withInactiveItem) AddItem(wc, wpHttp, "http://h/f", "h", false);
        wc.Execute();
        EXPECT_EQ(wc.log, (Log{"beforeshow", "copydone without dialog"}));
        EXPECT_TRUE(wc.calls.empty());
    }
}

TEST(WebCopyDriver, ActiveItemsRunInOrderWithTheirEventsAndResults) {
    RecordingWebCopy wc;
    AddItem(wc, wpFtpUpload, "/src/a.zip");
    TZandrelWebCopyItem& skipped = AddItem(wc, wpHttp, "http://h/b", "h", false);
    WebCopyInternals::SetItemResults(skipped, true, true, true);
    skipped.NewFileDate = 77;
    AddItem(wc, wpFtpTest);
    AddItem(wc, wpHttpUpload, "http://h/post");
    wc.behaviour = [](const RoutineCall& call, TDateTime&, bool&) { return call.routine != "FtpTest"; };

    wc.Execute();

    EXPECT_EQ(wc.log, (Log{"beforeshow", "start 0", "FtpPutFile 0", "done 0", "start 2", "FtpTest 2", "done 2",
                           "start 3", "HttpPutFile 3", "done 3", "copydone without dialog"}));
    ASSERT_EQ(wc.calls.size(), 3u);
    // The file counter counts active items only.
    EXPECT_EQ(wc.calls[0].fileNum, 1);
    EXPECT_EQ(wc.calls[1].fileNum, 2);
    EXPECT_EQ(wc.calls[2].fileNum, 3);
    EXPECT_TRUE(wc.calls[0].hadRoot());
    EXPECT_TRUE(testing::HandleClosed(wc.calls[0].root));

    EXPECT_TRUE(wc.Items[0].Success());
    EXPECT_FALSE(wc.Items[2].Success());
    EXPECT_FALSE(wc.Items[2].Cancelled());
    EXPECT_TRUE(wc.Items[3].Success());
    // The inactive item keeps what an earlier run left.
    EXPECT_TRUE(skipped.Success());
    EXPECT_TRUE(skipped.Cancelled());
    EXPECT_EQ(skipped.NewFileDate, 77);
    EXPECT_EQ(wc.Items.SuccessCount(), 3);
}

TEST(WebCopyDriver, EachProtocolGoesToItsRoutine) {
    RecordingWebCopy wc;
    const std::vector<std::pair<TZandrelWebCopyProtocol, std::string>> table = {
        {wpHttp, "HttpGetFile"},          {wpFtp, "FtpGetFile"},           {wpFile, "FileGetFile"},
        {wpFtpUpload, "FtpPutFile"},      {wpHttpUpload, "HttpPutFile"},   {wpMultiFtp, "MultiFtpGetFile"},
        {wpMultiFtpUpload, "MultiFtpPutFile"}, {wpFtpDelete, "FtpRemoveFile"}, {wpFtpList, "MultiFtpGetList"},
        {wpFtpTest, "FtpTest"},
    };
    // Different hosts, so no item keeps its connection.
    for (size_t i = 0; i < table.size(); ++i) AddItem(wc, table[i].first, "u" + std::to_string(i), "h" + std::to_string(i));
    wc.Execute();
    ASSERT_EQ(wc.calls.size(), table.size());
    for (size_t i = 0; i < table.size(); ++i) {
        EXPECT_EQ(wc.calls[i].routine, table[i].second);
        if (table[i].first != wpFtpTest) {
            EXPECT_EQ(wc.calls[i].url, "u" + std::to_string(i));
        }
    }
}

TEST(WebCopyDriver, RootHandleOnlyWhenAnInternetItemIsActive) {
    RecordingWebCopy wc;
    AddItem(wc, wpFile, "/a");
    AddItem(wc, wpHttp, "http://h/b", "h", false);
    EXPECT_EQ(wc.NumInetItems(), 0);
    wc.Execute();
    ASSERT_EQ(wc.calls.size(), 1u);
    EXPECT_FALSE(wc.calls[0].hadRoot());

    AddItem(wc, wpFtpTest);
    EXPECT_EQ(wc.NumInetItems(), 1);
}

TEST(WebCopyDriver, EveryProtocolButTheFileCopyRunsWithTheRootHandle) {
    for (int ordinal = wpHttp; ordinal <= wpFtpTest; ++ordinal) {
        const auto protocol = static_cast<TZandrelWebCopyProtocol>(ordinal);
        RecordingWebCopy wc;
        AddItem(wc, protocol, "u");
        const bool internet = protocol != wpFile;
        EXPECT_EQ(wc.NumInetItems(), internet ? 1 : 0) << ordinal;
        wc.Execute();
        ASSERT_EQ(wc.calls.size(), 1u) << ordinal;
        EXPECT_EQ(wc.calls[0].hadRoot(), internet) << ordinal;
    }
}

TEST(WebCopyDriver, RoutineResultsOfDateAndNotNewerGoIntoTheItem) {
    RecordingWebCopy wc;
    AddItem(wc, wpFtp, "f1").FileDate = 100;
    AddItem(wc, wpHttpUpload, "u").FileDate = 200;
    AddItem(wc, wpFtpDelete, "d", "other").FileDate = 300;
    AddItem(wc, wpFtpTest, "", "third").FileDate = 400;
    wc.behaviour = [](const RoutineCall& call, TDateTime& fileDate, bool& notNewer) {
        if (call.routine == "FtpGetFile") {
            EXPECT_EQ(fileDate, 100);
            fileDate = 150;
            notNewer = true;
            return false;
        }
        return true;
    };
    wc.Execute();
    EXPECT_EQ(wc.Items[0].NewFileDate, 150);
    EXPECT_TRUE(wc.Items[0].NoNewVersion());
    EXPECT_FALSE(wc.Items[0].Success());
    for (int i = 1; i < 4; ++i) {
        EXPECT_EQ(wc.Items[i].NewFileDate, wc.Items[i].FileDate) << i;
        EXPECT_FALSE(wc.Items[i].NoNewVersion()) << i;
        EXPECT_TRUE(wc.Items[i].Success()) << i;
    }
}

TEST(WebCopyDriver, CaptionNamesTheDirectionOfEachItem) {
    RecordingWebCopy wc;
    wc.DlgCaption = "Start";
    wc.DlgCopying = "Copy";
    wc.DlgUpload = "Up";
    wc.DlgDwnload = "Down";
    for (auto protocol : {wpFtpTest, wpFile, wpFtpList, wpHttpUpload, wpFtp, wpMultiFtp, wpFtpUpload, wpHttp})
        AddItem(wc, protocol, "", "host" + std::to_string(wc.Items.Count()));
    std::vector<std::string> captions;
    wc.behaviour = [&](const RoutineCall&, TDateTime&, bool&) {
        captions.push_back(wc.ProgressForm()->Caption());
        return true;
    };
    wc.Execute();
    EXPECT_EQ(captions, (std::vector<std::string>{"Start ...", "Copy ...", "Copy ...", "Up ...", "Down ...",
                                                  "Down ...", "Up ...", "Down ..."}));
}

struct KeepCase {
    const char* name;
    TZandrelWebCopyProtocol first, second;
    const char* secondHost;
    const char* secondPassword;
    bool secondActive;
    bool expectedFirstKeeps;
    friend void PrintTo(const KeepCase& c, std::ostream* os) { *os << c.name; }
};

class WebCopyKeepConnection : public ::testing::TestWithParam<KeepCase> {};

TEST_P(WebCopyKeepConnection, FirstItemKeepsItsConnectionOnlyForTheSameAccountOverFtpFileTransfers) {
    const KeepCase& c = GetParam();
    RecordingWebCopy wc;
    AddItem(wc, c.first, "a");
    TZandrelWebCopyItem& second = AddItem(wc, c.second, "b", c.secondHost, c.secondActive);
    second.FTPPassword = c.secondPassword;
    wc.Execute();
    ASSERT_GE(wc.calls.size(), 1u);
    EXPECT_EQ(wc.calls[0].keepConnection, c.expectedFirstKeeps);
    if (wc.calls.size() > 1) {
        EXPECT_FALSE(wc.calls[1].keepConnection) << "the last item never keeps";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WebCopyKeepConnection,
    ::testing::Values(KeepCase{"TwoUploads", wpFtpUpload, wpFtpUpload, "host", "pw", true, true},
                      KeepCase{"NextInactive", wpFtpUpload, wpFtpUpload, "host", "pw", false, true},
                      KeepCase{"UploadThenDownload", wpFtpUpload, wpFtp, "host", "pw", true, true},
                      KeepCase{"UploadThenMultiUpload", wpFtpUpload, wpMultiFtpUpload, "host", "pw", true, false},
                      KeepCase{"ListThenUpload", wpFtpList, wpFtpUpload, "host", "pw", true, false},
                      KeepCase{"OtherPassword", wpFtpUpload, wpFtpUpload, "host", "pw2", true, false},
                      KeepCase{"HostCaseDiffers", wpFtp, wpFtp, "Host", "pw", true, false}),
    [](const ::testing::TestParamInfo<KeepCase>& info) { return std::string(info.param.name); });

TEST(WebCopyDriver, CancelDuringAnItemStopsTheRunThere) {
    RecordingWebCopy wc;
    AddItem(wc, wpFtpUpload, "a", "h1");
    AddItem(wc, wpFtpUpload, "b", "h2");
    TZandrelWebCopyItem& later = AddItem(wc, wpFtp, "c", "h3");
    WebCopyInternals::SetItemResults(later, true, false, true);
    wc.OnCopyProgress = [&](TZandrelWebCopy&, int fileidx, uint64_t size, uint64_t) {
        wc.Log("progress " + std::to_string(fileidx) + " " + std::to_string(size));
        if (fileidx == 2 && size == 8192) {
            wc.Dialog().cancelBtn->Click(); // the user presses Cancel
            EXPECT_TRUE(wc.ProgressForm()->Showing()) << "the window stays until the run has stopped";
        }
    };
    wc.behaviour = [&](const RoutineCall&, TDateTime&, bool&) { return wc.MoveBlocks(5, 5 * 4096); };

    wc.Execute();

    EXPECT_EQ(wc.log, (Log{"beforeshow", "start 0", "FtpPutFile 0", "progress 1 4096", "progress 1 8192",
                           "progress 1 12288", "progress 1 16384", "progress 1 20480", "done 0", "start 1",
                           "FtpPutFile 1", "progress 2 4096", "progress 2 8192", "cancel",
                           "copydone without dialog"}));
    EXPECT_TRUE(wc.Items[0].Success());
    EXPECT_FALSE(wc.Items[1].Success());
    EXPECT_TRUE(wc.Items[1].Cancelled());
    // Not reached: the previous results stay.
    EXPECT_TRUE(later.Success());
    EXPECT_TRUE(later.NoNewVersion());
    EXPECT_TRUE(testing::HandleClosed(wc.calls[1].root));
}

TEST(WebCopyDriver, CancelCopyTurnsASucceedingRoutineIntoACancelledItem) {
    RecordingWebCopy wc;
    AddItem(wc, wpFtpTest);
    AddItem(wc, wpFtpTest, "", "other");
    wc.behaviour = [&](const RoutineCall&, TDateTime&, bool&) {
        wc.CancelCopy();
        return true;
    };
    wc.Execute();
    EXPECT_FALSE(wc.Items[0].Success());
    EXPECT_TRUE(wc.Items[0].Cancelled());
    EXPECT_EQ(wc.calls.size(), 1u);
    EXPECT_EQ(std::count(wc.log.begin(), wc.log.end(), "cancel"), 0) << "CancelCopy fires no event";
}

TEST(WebCopyDriver, ANewRunStartsUncancelled) {
    RecordingWebCopy wc;
    AddItem(wc, wpFtpTest);
    wc.CancelCopy();
    wc.Execute();
    ASSERT_EQ(wc.calls.size(), 1u);
    EXPECT_FALSE(wc.calls[0].cancelledAtStart);
    EXPECT_TRUE(wc.Items[0].Success());
}

// An embedding program may cancel as soon as it sees the window; that Cancel is kept, not lost
// when the window is shown.
TEST(WebCopyDriver, ACancelBeforeTheWindowShowsStopsTheRunAtItsFirstItem) {
    RecordingWebCopy wc;
    AddItem(wc, wpFtpTest);
    AddItem(wc, wpFtpTest, "", "other");
    wc.OnBeforeDialogShow = [&](TZandrelWebCopy& sender, ui::Form&) { sender.CancelCopy(); };
    wc.Execute();
    ASSERT_EQ(wc.calls.size(), 1u);
    EXPECT_TRUE(wc.calls[0].cancelledAtStart);
    EXPECT_TRUE(wc.Items[0].Cancelled());
    EXPECT_FALSE(wc.Items[0].Success());
    EXPECT_FALSE(wc.Items[1].Success());
    EXPECT_FALSE(wc.Items[1].Cancelled());
}

TEST(WebCopyDriver, WithOpenButtonsTheRunEndsWithACloseButtonAndEnabledOpenButtons) {
    RecordingWebCopy wc;
    wc.ShowOpenFolder = true;
    wc.ShowOpenFile = true;
    AddItem(wc, wpFtpTest);
    std::string cancelCaptionAtDone;
    wc.OnCopyDone = [&](TZandrelWebCopy&) {
        wc.Log("copydone");
        cancelCaptionAtDone = wc.Dialog().cancelBtn->Caption();
        EXPECT_FALSE(wc.Dialog().btnShowFolder->Enabled());
    };
    wc.behaviour = [&](const RoutineCall&, TDateTime&, bool&) {
        EXPECT_FALSE(wc.Dialog().btnShowFile->Enabled());
        EXPECT_FALSE(wc.Dialog().btnShowFolder->Enabled());
        return true;
    };
    wc.Execute();
    EXPECT_EQ(cancelCaptionAtDone, "Cancel");
    ASSERT_NE(wc.ProgressForm(), nullptr);
    EXPECT_EQ(wc.Dialog().cancelBtn->Caption(), "Close");
    EXPECT_TRUE(wc.Dialog().CancelIsClose());
    EXPECT_FALSE(wc.Dialog().anim->Active());
    EXPECT_TRUE(wc.Dialog().btnShowFile->Enabled());
    EXPECT_TRUE(wc.Dialog().btnShowFolder->Enabled());

    // Close now closes: the window is hidden and stays the component's.
    wc.Dialog().cancelBtn->Click();
    EXPECT_FALSE(wc.ProgressForm()->Showing());
    EXPECT_FALSE(wc.FormClosed());
}

TEST(WebCopyDriver, ACancelledRunLeavesTheOpenButtonsDisabled) {
    RecordingWebCopy wc;
    wc.ShowOpenFolder = true;
    wc.ShowOpenFile = true;
    AddItem(wc, wpFtpTest);
    wc.behaviour = [&](const RoutineCall&, TDateTime&, bool&) {
        wc.Dialog().cancelBtn->Click();
        return true;
    };
    wc.Execute();
    EXPECT_EQ(wc.Dialog().cancelBtn->Caption(), "Close");
    EXPECT_FALSE(wc.Dialog().btnShowFile->Enabled());
    EXPECT_FALSE(wc.Dialog().btnShowFolder->Enabled());
}

TEST(WebCopyDriver, OpenFolderClosesAndDropsTheWindow) {
    RecordingWebCopy wc;
    wc.ShowOpenFolder = true;
    AddItem(wc, wpFtpTest);
    wc.Execute();
    wc.Dialog().lastDir = "/nonexistent-folder-for-the-test";
    wc.Dialog().btnShowFolder->Click();
    EXPECT_TRUE(wc.FormClosed());
    EXPECT_EQ(wc.ProgressForm(), nullptr);
    EXPECT_EQ(wc.Dialog().btnShowFolder, nullptr);

    // The next run builds a new window and clears the flag.
    wc.ShowOpenFolder = false;
    wc.Execute();
    EXPECT_FALSE(wc.FormClosed());
}

// A connection kept by the run's last item, whether the run ends normally or by an exception,
// is closed with the run.
TEST(WebCopyDriver, NothingOfARunStaysOpenAfterIt) {
    for (const bool throws : {false, true}) {
        SCOPED_TRACE(throws ? "an exception ends the run" : "the run ends normally");
        RecordingWebCopy wc;
        AddItem(wc, wpFtpUpload, "a");
        AddItem(wc, wpFtpUpload, "b", "host", false); // the first keeps for an item that never runs
        inet::HINTERNET kept = nullptr;
        wc.behaviour = [&](const RoutineCall& call, TDateTime&, bool&) -> bool {
            EXPECT_TRUE(call.keepConnection);
            // Any connection under the root will do: an HTTP one connects on its first request.
            TransferRun& run = wc.Run();
            kept = inet::InternetConnect(run.root, "127.0.0.1", 80, "", "", inet::INTERNET_SERVICE_HTTP, 0, 0);
            run.kept.handle = kept;
            run.kept.key = "host user pw";
            if (throws) throw rtl::Error("disk on fire");
            return true;
        };
        if (throws) {
            EXPECT_THROW(wc.Execute(), rtl::Error);
            EXPECT_EQ(wc.log, (Log{"beforeshow", "start 0", "FtpPutFile 0"})) << "no OnCopyDone after an exception";
        } else {
            wc.Execute();
        }
        EXPECT_EQ(wc.calls.size(), 1u);
        ASSERT_NE(kept, nullptr);
        EXPECT_TRUE(testing::HandleClosed(kept));
        EXPECT_TRUE(testing::HandleClosed(wc.calls[0].root));
        EXPECT_EQ(wc.ProgressForm(), nullptr);
    }
}

TEST(WebCopyDriver, HandlersMayEmptyTheListDuringARun) {
    RecordingWebCopy wc;
    AddItem(wc, wpFtpTest);
    AddItem(wc, wpFtpTest, "", "other");
    wc.OnFileStart = [&](TZandrelWebCopy&, int) { wc.Items.Clear(); };
    // The emptied list is noticed instead of writing into freed items.
    EXPECT_THROW(wc.Execute(), rtl::Error);
}

TEST(WebCopyDriver, FileCounterCountsActiveItemsOnlyWhenThereIsMoreThanOneItem) {
    RecordingWebCopy wc;
    wc.DlgFileOfLabel = "von";
    AddItem(wc, wpFtpTest, "", "a");
    std::vector<std::string> prefixes;
    wc.behaviour = [&](const RoutineCall&, TDateTime&, bool&) {
        prefixes.push_back(wc.Run().FileCounterPrefix());
        return true;
    };
    wc.Execute();
    AddItem(wc, wpFtpTest, "", "b", false);
    AddItem(wc, wpFtpTest, "", "c");
    wc.Execute();
    EXPECT_EQ(prefixes, (std::vector<std::string>{"", "1 von 2 : ", "2 von 2 : "}));
}

TEST(WebCopyDriver, ProgressStepWritesEveryLineAndReportsTheBlock) {
    RecordingWebCopy wc;
    wc.ShowCompletion = true;
    wc.ShowTime = true;
    wc.ShowElapsedTime = true;
    AddItem(wc, wpFtpUpload, "a");
    std::vector<std::string> progress;
    wc.OnCopyProgress = [&](TZandrelWebCopy&, int fileidx, uint64_t size, uint64_t totsize) {
        progress.push_back(std::to_string(fileidx) + ":" + std::to_string(size) + "/" + std::to_string(totsize));
    };
    const std::string sep = rtl::UserDecimalSeparator();
    wc.behaviour = [&](const RoutineCall&, TDateTime&, bool&) {
        const uint32_t start = rtl::GetTickCount();
        EXPECT_FALSE(wc.Run().ProgressStep(4096, 8192, start, "Uploading"));
        EXPECT_EQ(wc.ProgressBar()->Position(), 50);
        EXPECT_EQ(wc.ProgressSizeLabel()->Caption(), "Progress : 4" + sep + "10 Kb of 8" + sep + "19 Kb");
        EXPECT_EQ(wc.ProgressForm()->Caption(), "Uploading : 50% completed");
        EXPECT_EQ(wc.ProgressRateLabel()->Caption(), "Transfer rate : " + wc.RateStr());
        EXPECT_NE(wc.RateStr().find("/sec"), std::string::npos);
        EXPECT_EQ(wc.Dialog().timeLbl->Caption(), "Estimated time left : " + wc.TimeLeftStr());
        EXPECT_EQ(wc.Dialog().elapsedTimeLbl->Caption(), "Elapsed time : " + wc.ElapsedTimeStr());

        // Unknown total: the bar stays, the size line has no total.
        EXPECT_FALSE(wc.Run().ProgressStep(12288, 0, start, "Uploading"));
        EXPECT_EQ(wc.ProgressBar()->Position(), 50);
        EXPECT_EQ(wc.ProgressSizeLabel()->Caption(), "Progress : 12" + sep + "29 Kb");

        wc.CancelCopy();
        EXPECT_TRUE(wc.Run().ProgressStep(16384, 0, start, "Uploading"));
        return true;
    };
    wc.Execute();
    EXPECT_EQ(progress, (std::vector<std::string>{"1:4096/8192", "1:12288/0", "1:16384/0"}));
}

TEST(WebCopyDriver, ProgressStepCarriesFiguresBeyondFourGibibytes) {
    RecordingWebCopy wc;
    AddItem(wc, wpFtp, "big");
    std::vector<std::string> progress;
    wc.OnCopyProgress = [&](TZandrelWebCopy&, int, uint64_t size, uint64_t totsize) {
        progress.push_back(std::to_string(size) + "/" + std::to_string(totsize));
    };
    const std::string sep = rtl::UserDecimalSeparator();
    wc.behaviour = [&](const RoutineCall&, TDateTime&, bool&) {
        EXPECT_FALSE(wc.Run().ProgressStep(6000000000u, 8000000000u, rtl::GetTickCount(), "Downloading"));
        EXPECT_EQ(wc.ProgressBar()->Position(), 75);
        EXPECT_EQ(wc.ProgressSizeLabel()->Caption(), "Progress : 6000" + sep + "00 Mb of 8000" + sep + "00 Mb");
        return true;
    };
    wc.Execute();
    EXPECT_EQ(progress, (std::vector<std::string>{"6000000000/8000000000"}));
}

} // namespace
} // namespace zandrel::webcopy
