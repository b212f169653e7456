#include "platform/ui/Application.h"
#include "platform/ui/terminal/TerminalBackend.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

namespace zandrel::ui {
namespace {

TEST(Synchronize, WorkFromAnotherThreadRunsOnTheUiThread) {
    InstallBackend(CreateTerminalBackend({.handleInterrupt = false}));
    const auto uiThread = std::this_thread::get_id();
    std::thread::id ranOn;
    std::atomic<bool> finished{false};
    bool rethrown = false;
    std::thread worker([&] {
        Synchronize([&] { ranOn = std::this_thread::get_id(); });
        try {
            Synchronize([] { throw std::runtime_error("boom"); });
        } catch (const std::runtime_error&) {
            rethrown = true;
        }
        finished = true;
    });
    for (int i = 0; i < 5000 && !finished; ++i) {
        ProcessMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    worker.join();
    EXPECT_EQ(ranOn, uiThread);
    EXPECT_TRUE(rethrown);
    RemoveBackend();
}

} // namespace
} // namespace zandrel::ui
