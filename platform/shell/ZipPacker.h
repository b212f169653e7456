#pragma once
// Adds files and folders to a ZIP archive: the work behind copying items into a ZIP folder.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/shell/Shell.h"

namespace zandrel::shell {

struct PackItem {
    std::string path; // the file or folder on disk
    std::string name; // its name in the archive's top level (a folder's content goes below it)
};

struct PackOptions {
    // libdeflate level for text. Measured on a project-like folder against Info-ZIP's default: level
    // 6 is 1.4% smaller than level 5 on its source files for a quarter more work, which pays for
    // storing the incompressible files as they are (see DeflatePipeline) within 1% of Info-ZIP's size.
    int level = 6;
    int workers = 2; // compressing threads
    size_t window = 6; // entries read or deflated ahead of the writer, at most
    // Files larger than this are left to libzip, which streams them instead of holding them whole.
    uint64_t inMemoryLimit = 32ull << 20;
    // Deflated data waiting for the archive to be written stays in memory up to this much in all;
    // the rest waits in an unnamed temporary file beside the archive.
    uint64_t deflatedMemoryLimit = 96ull << 20;
    // Asked between entries and while the archive is written; true stops the packing.
    std::function<bool()> stopRequested;
};

// Adds the items to the archive at `archivePath`, replacing entries of the same name, with
// modification times (clamped to the 1980-2107 that the format can hold) and permission bits
// kept. Names are stored as the file system has them: flagged as UTF-8 where they are UTF-8,
// as raw bytes otherwise. The archive may be an existing ZIP, the empty-archive stub or an empty
// file. Items that cannot be read are left out and returned with the reason; the rest is packed.
// Raises ShellError when the archive cannot be written, CopyStopped when a stop was asked for; the
// archive is then as it was, because libzip writes a new file beside it and renames it only when
// all went well. An item that is the archive itself is passed over.
std::vector<CopyProblem> PackIntoZip(const std::string& archivePath, const std::vector<PackItem>& items,
                                     const PackOptions& options = {});

// True when the file holds a ZIP archive libzip can read (the stub included), or is an empty file
// named *.zip, which the shell also treats as an empty archive.
bool IsZipArchive(const std::string& path);

} // namespace zandrel::shell
