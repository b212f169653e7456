#include "shell/ShellEnvironment.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "support/RunProcess.h"

namespace zandrel::shell::testing {
namespace {

namespace fs = std::filesystem;

std::string& Root() {
    static std::string root =
        std::string(ZANDREL_BINARY_DIR) + "/test-scratch/shell-desktop-" + std::to_string(getpid());
    return root;
}

class DesktopEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        fs::remove_all(Root());
        const std::string data = Root() + "/data", config = Root() + "/config";
        fs::create_directories(data + "/applications");
        fs::create_directories(data + "/mime/packages");
        fs::create_directories(config);
        // GLib uses the home trash only for files on the home folder's disk, so home is here too.
        setenv("HOME", Root().c_str(), 1);
        setenv("XDG_DATA_HOME", data.c_str(), 1);
        setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        // No session bus: launching must not wait on one.
        setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/zandrel-test-bus", 1);

        const std::string script = Root() + "/open-handler.sh";
        zandrel::testing::WriteFile(script, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\" >> '" +
                                                OpenMarkerFile() + "'; done\n");
        chmod(script.c_str(), 0755);
        zandrel::testing::WriteFile(data + "/applications/zandrel-test-open.desktop",
                                    "[Desktop Entry]\nType=Application\nName=Zandrel test opener\nExec=" + script +
                                        " %u\nMimeType=inode/directory;application/x-zandrel-test;\n");
        zandrel::testing::WriteFile(config + "/mimeapps.list",
                                    "[Default Applications]\ninode/directory=zandrel-test-open.desktop\n"
                                    "application/x-zandrel-test=zandrel-test-open.desktop\n");
        // The made-up type, known by its extension through the shared MIME database.
        zandrel::testing::WriteFile(data + "/mime/packages/zandrel-test.xml",
                                    "<?xml version=\"1.0\"?>\n<mime-info "
                                    "xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
                                    "<mime-type type=\"application/x-zandrel-test\"><glob pattern=\"*" +
                                        std::string(kHandledExtension) + "\"/></mime-type>\n</mime-info>\n");
        zandrel::testing::RunProcess({"/usr/bin/update-mime-database", data + "/mime"}, {}, 60);
    }
    void TearDown() override { fs::remove_all(Root()); }
};

[[maybe_unused]] ::testing::Environment* const kDesktop = ::testing::AddGlobalTestEnvironment(new DesktopEnvironment);

} // namespace

const std::string& XdgDataHome() {
    static const std::string path = Root() + "/data";
    return path;
}

const std::string& OpenMarkerFile() {
    static const std::string path = Root() + "/opened.txt";
    return path;
}

} // namespace zandrel::shell::testing
