// The thread that makes the share library's calls: a caller gets its answer, or gives the call
// up through its hook or its deadline; work given up on is cut short and never holds up the
// calls after it, and work given up on before it started never runs.
#include "platform/netshare/CallThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

namespace zandrel::netshare::detail {
namespace {

using std::chrono::milliseconds;
using Counter = std::shared_ptr<std::atomic<int>>;

Counter NewCounter() { return std::make_shared<std::atomic<int>>(0); }

// Work that keeps the thread until it has been cut `cuts` times (a blocked library call whose
// first cut may come before it opened its connection).
std::function<void()> Blocked(const Counter& cut, int cuts = 1) {
    return [cut, cuts] {
        while (*cut < cuts) std::this_thread::sleep_for(milliseconds(1));
    };
}
std::function<void()> Cutting(const Counter& cut) {
    return [cut] { ++*cut; };
}

const auto kLong = std::chrono::seconds(30);

class CallThreadTest : public ::testing::Test {
protected:
    CallThreadTest() { ConnectionOpened(); }
    ~CallThreadTest() override { ConnectionClosed(); }
};

TEST_F(CallThreadTest, TheCallerGetsTheAnswerOrGivesUpThroughItsHookOrItsDeadline) {
    const Counter done = NewCounter();
    EXPECT_EQ(RunCall([done] { ++*done; }, {}, Clock::now() + kLong, [] { return true; }), CallOutcome::Done);
    EXPECT_EQ(*done, 1);

    const Counter cancelCut = NewCounter();
    int hooks = 0;
    EXPECT_EQ(RunCall(Blocked(cancelCut), Cutting(cancelCut), Clock::now() + kLong, [&] { return ++hooks < 3; }),
              CallOutcome::Cancelled);
    EXPECT_EQ(hooks, 3);
    EXPECT_EQ(*cancelCut, 1);

    const Counter timeoutCut = NewCounter();
    EXPECT_EQ(RunCall(Blocked(timeoutCut), Cutting(timeoutCut), Clock::now() + milliseconds(100), {}),
              CallOutcome::TimedOut);
    EXPECT_EQ(*timeoutCut, 1);

    // Neither keeps the thread from the next call.
    EXPECT_EQ(RunCall([done] { ++*done; }, {}, Clock::now() + kLong, {}), CallOutcome::Done);
    EXPECT_EQ(*done, 2);
}

TEST_F(CallThreadTest, WorkGivenUpBeforeItStartedNeverRuns) {
    const Counter cut = NewCounter();
    const Counter ran = NewCounter();
    std::thread blocker([&] { RunCall(Blocked(cut), Cutting(cut), Clock::now() + kLong, {}); });
    std::this_thread::sleep_for(milliseconds(50)); // the blocked work holds the thread
    EXPECT_EQ(RunCall([ran] { ++*ran; }, {}, Clock::now() + kLong, [] { return false; }), CallOutcome::Cancelled);
    ++*cut; // lets the blocked work end
    blocker.join();
    EXPECT_EQ(RunCall([] {}, {}, Clock::now() + kLong, {}), CallOutcome::Done); // everything queued has run
    EXPECT_EQ(*ran, 0);
}

TEST_F(CallThreadTest, WorkGivenUpIsCutAgainWhileCallsWaitBehindIt) {
    const Counter cut = NewCounter();
    EXPECT_EQ(RunCall(Blocked(cut, 3), Cutting(cut), Clock::now() + milliseconds(50), {}), CallOutcome::TimedOut);
    const Counter done = NewCounter();
    EXPECT_EQ(RunCall([done] { ++*done; }, {}, Clock::now() + kLong, {}), CallOutcome::Done);
    EXPECT_GE(*cut, 3);
    EXPECT_EQ(*done, 1);
}

TEST_F(CallThreadTest, PostedWorkRunsInTurn) {
    const Counter order = NewCounter();
    int seen[3] = {};
    for (int i = 0; i < 3; ++i) PostCall([order, &seen, i] { seen[i] = ++*order; });
    EXPECT_EQ(RunCall([] {}, {}, Clock::now() + kLong, {}), CallOutcome::Done);
    EXPECT_EQ(seen[0], 1);
    EXPECT_EQ(seen[1], 2);
    EXPECT_EQ(seen[2], 3);
}

} // namespace
} // namespace zandrel::netshare::detail
