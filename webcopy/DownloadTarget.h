#pragma once
// The local side every download shares: the guarded target file and the block loop into it.
#include <cstdint>
#include <string>

#include "platform/inet/Inet.h"
#include "webcopy/LocalFile.h"
#include "webcopy/TransferRun.h"

namespace zandrel::webcopy {

// Asks OnCopyOverWrite about an existing `path` (a unique name replaces it when
// CreateUniqueFilenames), creates the missing folders and opens `target` as a temporary file that
// takes `path`'s name only once published. False when the file is not to be written (the handler
// said no, or a Cancel), or cannot be: reported as error 3, `createMessage` + path.
bool OpenDownloadTarget(TransferRun& run, std::string& path, LocalFile& target, const std::string& createMessage);

// Reads `source` to its end into `target` in 4096-byte blocks, with the progress step after each,
// and finishes the file. False when a read failed (the reason noted, unless it was a Cancel);
// `received` counts the bytes that came. A local write failure (a full disk) raises
// LocalFileError, unless `writeFailed` is given: then it is reported as error 5 with the system's
// reason, `*writeFailed` becomes true and the result false.
bool ReceiveInto(TransferRun& run, inet::HINTERNET source, LocalFile& target, const std::string& path, uint64_t total,
                 uint64_t& received, bool* writeFailed = nullptr);

} // namespace zandrel::webcopy
