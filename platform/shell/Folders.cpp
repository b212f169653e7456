#include "platform/shell/Folders.h"

#include <filesystem>
#include <mutex>

#include "platform/rtl/FileSystem.h"
#include "platform/ui/Interrupt.h"
#include "platform/shell/CopyThreads.h"
#include "platform/shell/FolderItems.h"
#include "platform/shell/ShellError.h"
#include "platform/shell/ZipPacker.h"

namespace zandrel::shell {

using automation::Variant;

namespace {

// Copies into archives run one after another: two writers of the same archive would each rename
// their own new file into place, and one of them would be lost.
std::mutex& ArchiveWriters() {
    static std::mutex* lock = new std::mutex;
    return *lock;
}

std::string LastName(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

void CopyIntoFolder(const std::vector<PackItem>& items, const std::string& folder) {
    namespace fs = std::filesystem;
    for (const auto& item : items) {
        const std::string target = folder + "/" + item.name;
        std::error_code ec;
        if (fs::is_directory(item.path, ec)) {
            fs::copy(item.path, target, fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
            if (ec) throw ShellError("Cannot copy \"" + item.path + "\": " + ec.message());
        } else if (!rtl::CopyFile(item.path, target, false)) {
            throw ShellError("Cannot copy \"" + item.path + "\" to \"" + folder + "\"");
        }
    }
}

} // namespace

FolderObject::FolderObject(std::string path) : DispatchObject("Folder"), path_(std::move(path)) {
    AddMethod("Title", 0, 0, [this](auto&) { return Variant(LastName(path_)); });
    AddMethod("Items", 0, 0, [this](auto&) { return Variant(std::make_shared<FolderItemsObject>(ListFolder(path_))); });
    // The options (progress window, confirmations) have no meaning without a shell window.
    AddMethod("CopyHere", 1, 2, [this](std::vector<Variant>& args) -> Variant {
        auto items = ItemsToCopy(args[0]);
        StartCopyThread([items = std::move(items), folder = path_] {
            CopyIntoFolder(items, folder);
            return CopyReport{};
        });
        return {};
    });
}

ZipFolderObject::ZipFolderObject(std::string archivePath)
    : DispatchObject("Folder"), archivePath_(std::move(archivePath)) {
    AddMethod("Title", 0, 0, [this](auto&) { return Variant(LastName(archivePath_)); });
    AddMethod("CopyHere", 1, 2, [this](std::vector<Variant>& args) -> Variant {
        auto items = ItemsToCopy(args[0]);
        StartCopyThread([items = std::move(items), archive = archivePath_] {
            std::lock_guard guard(ArchiveWriters());
            PackOptions options;
            // The shell's progress window has a Cancel button; Ctrl-C is that button here.
            options.stopRequested = [] { return ui::InterruptPending(); };
            CopyReport report;
            report.leftOut = PackIntoZip(archive, items, options);
            return report;
        });
        return {};
    });
}

} // namespace zandrel::shell
