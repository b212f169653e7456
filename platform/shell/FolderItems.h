#pragma once
// FolderItems and FolderItem: the entries of a folder as automation objects, and the filter that
// keeps some of them by kind and by name pattern.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/automation/DispatchObject.h"
#include "platform/shell/ZipPacker.h"

namespace zandrel::shell {

// SHCONTF flags that Filter understands.
enum ContentFlags : int {
    kFolders = 0x20,       // SHCONTF_FOLDERS
    kNonFolders = 0x40,    // SHCONTF_NONFOLDERS
    kIncludeHidden = 0x80, // SHCONTF_INCLUDEHIDDEN
};

struct ShellEntry {
    std::string name;
    std::string path;
    bool isFolder = false;
    bool isHidden = false; // a name that begins with "."
    uint64_t size = 0;
};

// The folder's entries, hidden ones included, sorted by name; not recursive. Raises ShellError
// when the folder cannot be read.
std::vector<ShellEntry> ListFolder(const std::string& folder);

// Keeps an entry when its kind is asked for (folders 0x20, others 0x40), it is not hidden unless
// 0x80 is given, and its name matches one of the ";"-separated patterns ("*" and "?", letters of
// either case; an empty pattern takes every name).
bool PassesFilter(const ShellEntry& entry, int flags, std::string_view patterns);

class FolderItemObject : public automation::DispatchObject {
public:
    explicit FolderItemObject(ShellEntry entry);
    const ShellEntry& entry() const { return entry_; }

private:
    ShellEntry entry_;
};

class FolderItemsObject : public automation::DispatchObject {
public:
    explicit FolderItemsObject(std::vector<ShellEntry> entries);
    const std::vector<ShellEntry>& entries() const { return entries_; }

private:
    std::vector<ShellEntry> entries_;
};

// What CopyHere was given: a FolderItems, a FolderItem or a path. Raises TypeMismatch otherwise.
std::vector<PackItem> ItemsToCopy(const automation::Variant& items);

} // namespace zandrel::shell
