#pragma once
// One entry of an FTP listing (name, attributes, size, last write time) and the list of them
// that a listing leaves in its item.
#include <cstdint>
#include <string>

#include "platform/rtl/DateTime.h"
#include "webcopy/Collection.h"
#include "webcopy/Persistent.h"

namespace zandrel::webcopy {

class TFileDetailItem : public TPersistent {
public:
    uint32_t FileAttributes = 0; // the Windows attribute bits (0x10: directory)
    std::string Filename;
    uint32_t FileSizeLow = 0;
    uint32_t FileSizeHigh = 0;
    rtl::FILETIME FileDate; // last write time, UTC as the server reports it

    uint64_t FileSize() const { return (uint64_t{FileSizeHigh} << 32) | FileSizeLow; }

    // Copies every field from another entry; any other kind of source changes nothing.
    void Assign(const TPersistent& Source) override;
};

class TFileDetailItems : public TOwnedCollection<TFileDetailItem> {};

} // namespace zandrel::webcopy
