#include "platform/ssh/Pacing.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace zandrel::ssh::detail {

bool Pacer::StopRequested() {
    if (!keepGoing_) return false;
    const Clock::time_point now = Clock::now();
    if (now - lastHook_ < kSlice) return false;
    lastHook_ = now;
    const bool goOn = keepGoing_();
    lastHook_ = Clock::now();
    return !goOn;
}

Clock::time_point Pacer::NextHook() const {
    return keepGoing_ ? lastHook_ + kSlice : Clock::time_point::max();
}

std::string Pacer::NoAnswer() const {
    char text[64];
    if (timeout_.count() % 1000 == 0)
        std::snprintf(text, sizeof text, "no answer within %lld s", static_cast<long long>(timeout_.count() / 1000));
    else
        std::snprintf(text, sizeof text, "no answer within %.1f s", static_cast<double>(timeout_.count()) / 1000.0);
    return text;
}

void Pacer::WaitSocket(int fd, short events, Clock::time_point deadline, const std::string& during) {
    if (StopRequested()) Fail(SshErrorKind::Cancelled, "cancelled");
    const Clock::time_point now = Clock::now();
    if (now >= deadline) Fail(SshErrorKind::TimedOut, NoAnswer() + " " + during);
    const auto until = std::min({deadline, NextHook(), now + kSlice});
    const int ms = static_cast<int>(std::clamp<long long>(
        std::chrono::ceil<Millis>(until - now).count(), 0, kSlice.count()));
    pollfd p{fd, events, 0};
    int rc;
    do {
        rc = ::poll(&p, 1, ms);
    } while (rc < 0 && errno == EINTR);
}

} // namespace zandrel::ssh::detail
