#include <sys/stat.h>

#include <filesystem>
#include <mutex>

#include "platform/automation/ClassRegistry.h"
#include "platform/automation/DispatchObject.h"
#include "platform/shell/Folders.h"
#include "platform/shell/Shell.h"
#include "platform/shell/ZipPacker.h"

namespace zandrel::shell {

using automation::Variant;

namespace {

class ShellApplicationObject : public automation::DispatchObject {
public:
    ShellApplicationObject() : DispatchObject("Shell.Application") {
        // A folder, a ZIP archive seen as a folder, or nothing for a path that is neither.
        AddMethod("NameSpace", 1, 1, [](std::vector<Variant>& args) -> Variant {
            const std::string& given = args[0].AsString();
            if (given.empty()) return {};
            // Fixed now, so the copy thread later does not depend on the working folder.
            std::error_code ec;
            std::string path = std::filesystem::absolute(given, ec).lexically_normal().string();
            if (ec) return {};
            while (path.size() > 1 && path.back() == '/') path.pop_back();
            struct stat st {};
            if (stat(path.c_str(), &st) != 0) return {};
            if (S_ISDIR(st.st_mode)) return Variant(std::make_shared<FolderObject>(path));
            if (IsZipArchive(path)) return Variant(std::make_shared<ZipFolderObject>(path));
            return {};
        });
    }
};

} // namespace

void RegisterShellApplication() {
    static std::once_flag once;
    std::call_once(once, [] {
        automation::RegisterClass("Shell.Application", [] { return std::make_shared<ShellApplicationObject>(); });
    });
}

} // namespace zandrel::shell
