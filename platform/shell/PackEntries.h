#pragma once
// The list of archive entries that a set of items stands for: files as they are, folders as a
// folder entry followed by everything below them.
#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "platform/shell/ZipPacker.h"

namespace zandrel::shell {

struct PackEntry {
    std::string path;        // on disk
    std::string name;        // in the archive, "/"-separated; folders end in "/"
    bool isDirectory = false;
    uint64_t size = 0;
    time_t mtime = 0;
    mode_t mode = 0;
};

// An item, or something below a folder item, that cannot be examined is left out and named in
// `problems`. Anything that is neither a file nor a folder (pipe, device, socket) is left out
// without a word and never opened. The file at `skipPath` (the archive being written) is left out
// wherever it turns up.
std::vector<PackEntry> ExpandPackItems(const std::vector<PackItem>& items, const std::string& skipPath,
                                       std::vector<CopyProblem>& problems);

} // namespace zandrel::shell
