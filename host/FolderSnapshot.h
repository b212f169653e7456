#pragma once
// What a command wrote: the regular files of a folder before and after it ran.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace zandrel::host {

struct FileStamp {
    uint64_t size = 0;
    int64_t mtimeNs = 0;
    uint64_t inode = 0;
    bool operator==(const FileStamp&) const = default;
};

using FolderSnapshot = std::map<std::string, FileStamp>; // file name -> stamp

FolderSnapshot TakeSnapshot(const std::string& folder);

struct WrittenFile {
    std::string name;
    uint64_t size;
    bool replaced; // the name existed before
};

// Files that are new or changed in `after`.
std::vector<WrittenFile> WrittenFiles(const FolderSnapshot& before, const FolderSnapshot& after);

} // namespace zandrel::host
