#pragma once
// Every registry test gets a private XDG config folder, so the store it works on is its own file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "support/RunProcess.h"

namespace zandrel::registry::testing {

inline constexpr const char* kSettingsKey = "\\Software\\QuillonSoftware\\FTPUploaderIDEPlugin";

class UserStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* old = std::getenv("XDG_CONFIG_HOME")) oldConfigHome_ = old;
        dir_ = std::make_unique<zandrel::testing::TempDir>("registry");
        setenv("XDG_CONFIG_HOME", dir_->path().c_str(), 1);
    }
    void TearDown() override {
        if (oldConfigHome_) setenv("XDG_CONFIG_HOME", oldConfigHome_->c_str(), 1);
        else unsetenv("XDG_CONFIG_HOME");
        dir_.reset();
    }
    std::string ConfigHome() const { return dir_->path(); }
    std::string StoreFolder() const { return dir_->path() + "/zandrel"; }
    std::string StorePath() const { return StoreFolder() + "/user.reg"; }

private:
    std::unique_ptr<zandrel::testing::TempDir> dir_;
    std::optional<std::string> oldConfigHome_;
};

} // namespace zandrel::registry::testing
