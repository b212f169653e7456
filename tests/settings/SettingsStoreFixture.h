#pragma once
// A private settings store for each test (see UserStoreTest), with the options key written by
// hand and read back as the program reads it.
#include <filesystem>
#include <string>

#include "platform/registry/Registry.h"
#include "registry/UserStoreFixture.h"
#include "settings/SettingNames.h"
#include "support/RunProcess.h"

namespace zandrel::settings::testing {

class SettingsStoreTest : public registry::testing::UserStoreTest {
protected:
    // Writes the store: the options key holding `values` (lines such as "FTPHost"="x"), private
    // to the user as the program leaves it.
    void Store(const std::string& values) {
        namespace fs = std::filesystem;
        fs::create_directories(StoreFolder());
        zandrel::testing::WriteFile(StorePath(), "Windows Registry Editor Version 5.00\n\n"
                                                 "[HKEY_CURRENT_USER\\Software\\QuillonSoftware\\"
                                                 "FTPUploaderIDEPlugin]\n" +
                                                     values);
        fs::permissions(StorePath(), fs::perms::owner_read | fs::perms::owner_write);
    }
    // The store's file as it is on disk; "(no file)" when there is none.
    std::string StoreText() const {
        return std::filesystem::exists(StorePath()) ? zandrel::testing::ReadFile(StorePath()) : "(no file)";
    }
    // The options key, for reading values back.
    static registry::TRegistry Key() {
        registry::TRegistry reg;
        reg.OpenKey(SettingsKeyPath, false);
        return reg;
    }
};

} // namespace zandrel::settings::testing
