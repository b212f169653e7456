#include "platform/shell/FolderItems.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "platform/automation/Errors.h"
#include "platform/rtl/Wildcard.h"
#include "platform/shell/ShellError.h"

namespace zandrel::shell {

using automation::Variant;

std::vector<ShellEntry> ListFolder(const std::string& folder) {
    namespace fs = std::filesystem;
    std::vector<ShellEntry> entries;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        ShellEntry entry;
        entry.name = it->path().filename().string();
        entry.path = it->path().string();
        struct stat st {};
        // Links count as what they point to, as shortcuts to folders open as folders.
        if (stat(entry.path.c_str(), &st) == 0) {
            entry.isFolder = S_ISDIR(st.st_mode);
            entry.size = entry.isFolder ? 0 : static_cast<uint64_t>(st.st_size);
        }
        entry.isHidden = !entry.name.empty() && entry.name[0] == '.';
        entries.push_back(std::move(entry));
    }
    if (ec) throw ShellError("Cannot read the folder \"" + folder + "\": " + ec.message());
    std::sort(entries.begin(), entries.end(), [](const ShellEntry& a, const ShellEntry& b) { return a.name < b.name; });
    return entries;
}

bool PassesFilter(const ShellEntry& entry, int flags, std::string_view patterns) {
    if (!(flags & (entry.isFolder ? kFolders : kNonFolders))) return false;
    if (entry.isHidden && !(flags & kIncludeHidden)) return false;
    if (patterns.empty()) return true;
    size_t start = 0;
    while (start <= patterns.size()) {
        size_t end = patterns.find(';', start);
        if (end == std::string_view::npos) end = patterns.size();
        const std::string_view pattern = patterns.substr(start, end - start);
        if (!pattern.empty() && rtl::MatchesMask(entry.name, pattern)) return true;
        start = end + 1;
    }
    return false;
}

FolderItemObject::FolderItemObject(ShellEntry entry) : DispatchObject("FolderItem"), entry_(std::move(entry)) {
    AddMethod("Name", 0, 0, [this](auto&) { return Variant(entry_.name); });
    AddMethod("Path", 0, 0, [this](auto&) { return Variant(entry_.path); });
    AddMethod("IsFolder", 0, 0, [this](auto&) { return Variant(entry_.isFolder); });
    AddMethod("Size", 0, 0, [this](auto&) { return Variant(static_cast<int64_t>(entry_.size)); });
}

FolderItemsObject::FolderItemsObject(std::vector<ShellEntry> entries)
    : DispatchObject("FolderItems"), entries_(std::move(entries)) {
    AddMethod("Count", 0, 0, [this](auto&) { return Variant(static_cast<int64_t>(entries_.size())); });
    // Out of range gives nothing, as the shell's collection does.
    AddMethod("Item", 1, 1, [this](std::vector<Variant>& args) -> Variant {
        const int64_t index = args[0].AsInt64();
        if (index < 0 || static_cast<uint64_t>(index) >= entries_.size()) return {};
        return Variant(std::make_shared<FolderItemObject>(entries_[static_cast<size_t>(index)]));
    });
    // Narrows this collection in place; later calls narrow it further.
    AddMethod("Filter", 2, 2, [this](std::vector<Variant>& args) -> Variant {
        const int flags = args[0].AsInt32();
        const std::string& patterns = args[1].AsString();
        std::erase_if(entries_, [&](const ShellEntry& e) { return !PassesFilter(e, flags, patterns); });
        return {};
    });
}

std::vector<PackItem> ItemsToCopy(const Variant& items) {
    std::vector<PackItem> result;
    if (items.IsString()) {
        const std::string path = std::filesystem::absolute(items.AsString()).lexically_normal().string();
        std::string name = std::filesystem::path(path).filename().string();
        if (name.empty()) name = std::filesystem::path(path).parent_path().filename().string();
        result.push_back({path, name});
        return result;
    }
    const auto& object = items.AsObject();
    if (auto* collection = dynamic_cast<FolderItemsObject*>(object.get())) {
        for (const auto& e : collection->entries()) result.push_back({e.path, e.name});
        return result;
    }
    if (auto* item = dynamic_cast<FolderItemObject*>(object.get())) {
        result.push_back({item->entry().path, item->entry().name});
        return result;
    }
    throw automation::TypeMismatch("Type mismatch: expected FolderItems, a FolderItem or a path, got " +
                                   object->ClassName());
}

} // namespace zandrel::shell
