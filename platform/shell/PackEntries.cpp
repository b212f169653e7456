#include "platform/shell/PackEntries.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>


namespace zandrel::shell {
namespace {

namespace fs = std::filesystem;

struct FileId {
    dev_t device = 0;
    ino_t inode = 0;
    bool valid = false;
};

PackEntry Examine(const std::string& path, const std::string& name, const struct stat& st) {
    PackEntry entry;
    entry.path = path;
    entry.isDirectory = S_ISDIR(st.st_mode);
    entry.name = entry.isDirectory ? name + "/" : name;
    entry.size = entry.isDirectory ? 0 : static_cast<uint64_t>(st.st_size);
    entry.mtime = st.st_mtime;
    entry.mode = st.st_mode;
    return entry;
}

// `ancestors` are the folders being walked: a link back to one of them would never end.
void AddTree(const std::string& path, const std::string& name, const FileId& skip, std::vector<FileId>& ancestors,
             std::vector<PackEntry>& out, std::vector<CopyProblem>& problems) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        problems.push_back({path, std::strerror(errno)});
        return;
    }
    PackEntry entry = Examine(path, name, st);
    if (skip.valid && st.st_dev == skip.device && st.st_ino == skip.inode) return;
    if (!S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode)) return; // devices, sockets and pipes have no content to pack
    const bool isDirectory = entry.isDirectory;
    out.push_back(std::move(entry));
    if (!isDirectory) return;
    for (const auto& a : ancestors)
        if (a.device == st.st_dev && a.inode == st.st_ino) return;
    ancestors.push_back({st.st_dev, st.st_ino, true});

    std::error_code ec;
    std::vector<std::string> children;
    for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec))
        children.push_back(it->path().filename().string());
    if (ec) {
        problems.push_back({path, ec.message()});
        children.clear();
    }
    std::sort(children.begin(), children.end());
    for (const auto& child : children)
        AddTree(path + "/" + child, name + "/" + child, skip, ancestors, out, problems);
    ancestors.pop_back();
}

} // namespace

std::vector<PackEntry> ExpandPackItems(const std::vector<PackItem>& items, const std::string& skipPath,
                                       std::vector<CopyProblem>& problems) {
    FileId skip;
    struct stat st {};
    if (!skipPath.empty() && stat(skipPath.c_str(), &st) == 0) skip = {st.st_dev, st.st_ino, true};
    std::vector<PackEntry> entries;
    std::vector<FileId> ancestors;
    for (const auto& item : items) AddTree(item.path, item.name, skip, ancestors, entries, problems);
    return entries;
}

} // namespace zandrel::shell
