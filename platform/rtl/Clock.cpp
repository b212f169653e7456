#include "platform/rtl/Clock.h"

#include <time.h>

#include <chrono>
#include <thread>

namespace zandrel::rtl {

uint32_t GetTickCount() {
    // The coarse clock has the tick count's few-millisecond resolution and costs a memory read
    // instead of a clock-source read; transfers ask for it after every 4 KB block.
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000u +
                                 static_cast<uint64_t>(now.tv_nsec) / 1000000u);
}

void Sleep(uint32_t milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

} // namespace zandrel::rtl
