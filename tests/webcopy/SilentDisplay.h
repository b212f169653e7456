#pragma once
// A display for runs made by tests outside Execute: it shows nothing.
#include "webcopy/TransferRun.h"

namespace zandrel::webcopy::testing {

class SilentDisplay final : public TransferDisplay {
public:
    void ShowFileLine(const std::string&) override {}
    void ShowProgress(uint64_t, uint64_t, uint32_t, const std::string&) override {}
    void ShowBarFull() override {}
    void PlayClip(int) override {}
    void SetLastTarget(const std::string&, const std::string&) override {}
};

} // namespace zandrel::webcopy::testing
