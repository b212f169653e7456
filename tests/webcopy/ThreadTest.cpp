#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "platform/rtl/Error.h"
#include "platform/ui/Application.h"
#include "RecordingWebCopy.h"

namespace zandrel::webcopy {
namespace {

using testing::AddItem;
using testing::RecordingWebCopy;
using testing::RoutineCall;

TEST(WebCopyThread, ThreadExecAndWaitRunsOnTheCallingThreadAndReturnsWhenAllIsDone) {
    RecordingWebCopy wc;
    AddItem(wc, wpFtpTest);
    std::thread::id ranOn;
    wc.behaviour = [&](const RoutineCall&, TDateTime&, bool&) {
        ranOn = std::this_thread::get_id();
        return true;
    };
    wc.ThreadExecAndWait();
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_EQ(wc.log, (std::vector<std::string>{"beforeshow", "start 0", "FtpTest 0", "done 0",
                                                "copydone without dialog"}));
    EXPECT_TRUE(wc.Items[0].Success());
}

TEST(WebCopyThread, AnExceptionOfTheThreadedRunReachesTheWaitingCaller) {
    RecordingWebCopy wc;
    AddItem(wc, wpFtpTest);
    wc.behaviour = [](const RoutineCall&, TDateTime&, bool&) -> bool { throw rtl::Error("lost"); };
    EXPECT_THROW(wc.ThreadExecAndWait(), rtl::Error);
    // The component is usable again afterwards.
    wc.behaviour = [](const RoutineCall&, TDateTime&, bool&) { return true; };
    wc.ThreadExecAndWait();
    EXPECT_TRUE(wc.Items[0].Success());
}

TEST(WebCopyThread, AComponentFreedBeforeItsThreadHandsOverIsNotTouched) {
    std::atomic<int> routineCalls{0};
    {
        RecordingWebCopy wc;
        AddItem(wc, wpFtpTest);
        wc.behaviour = [&](const RoutineCall&, TDateTime&, bool&) {
            ++routineCalls;
            return true;
        };
        wc.ThreadExecute(); // returns at once; the run waits for this thread's messages
    }
    // Let the orphaned thread hand over its work and end.
    for (int i = 0; i < 200; ++i) {
        ui::ProcessMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_EQ(routineCalls, 0);
}

} // namespace
} // namespace zandrel::webcopy
