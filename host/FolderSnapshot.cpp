#include "host/FolderSnapshot.h"

#include <sys/stat.h>

#include <filesystem>

namespace zandrel::host {

FolderSnapshot TakeSnapshot(const std::string& folder) {
    FolderSnapshot snapshot;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        struct stat st {};
        if (stat(it->path().c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        snapshot[it->path().filename().string()] = {static_cast<uint64_t>(st.st_size),
                                                    st.st_mtim.tv_sec * 1'000'000'000LL + st.st_mtim.tv_nsec,
                                                    static_cast<uint64_t>(st.st_ino)};
    }
    return snapshot;
}

std::vector<WrittenFile> WrittenFiles(const FolderSnapshot& before, const FolderSnapshot& after) {
    std::vector<WrittenFile> written;
    for (const auto& [name, stamp] : after) {
        const auto old = before.find(name);
        if (old == before.end() || !(old->second == stamp))
            written.push_back({name, stamp.size, old != before.end()});
    }
    return written;
}

} // namespace zandrel::host
