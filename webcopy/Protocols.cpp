#include "webcopy/Protocols.h"

#include <array>
#include <vector>

#include "webcopy/Routines.h"

namespace zandrel::webcopy {

std::span<const ProtocolTraits> Protocols::All() {
    // The keep-connection flag a routine gets is only ever true for protocols that keep one.
    static constexpr auto kTable = std::to_array<ProtocolTraits>({
        {.protocol = wpHttp, .name = "wpHttp", .caption = ProtocolCaption::Download, .routine = HttpGetFile},
        {.protocol = wpFtp, .name = "wpFtp", .caption = ProtocolCaption::Download, .keepsConnection = true,
         .routine = FtpGetFile},
        {.protocol = wpFile, .name = "wpFile", .caption = ProtocolCaption::Copy, .needsInternetRoot = false,
         .routine = FileGetFile},
        {.protocol = wpFtpUpload, .name = "wpFtpUpload", .caption = ProtocolCaption::Upload, .keepsConnection = true,
         .routine = FtpPutFile},
        {.protocol = wpHttpUpload, .name = "wpHttpUpload", .caption = ProtocolCaption::Upload, .routine = HttpPutFile},
        {.protocol = wpMultiFtp, .name = "wpMultiFtp", .multiFile = true, .routine = MultiFtpGetFile},
        {.protocol = wpMultiFtpUpload, .name = "wpMultiFtpUpload", .multiFile = true, .routine = MultiFtpPutFile},
        {.protocol = wpFtpDelete, .name = "wpFtpDelete", .routine = FtpRemoveFile},
        {.protocol = wpFtpList, .name = "wpFtpList", .routine = MultiFtpGetList},
        {.protocol = wpFtpTest, .name = "wpFtpTest", .routine = FtpTest},
    });
    // Rows are looked up by ordinal, and an ordinal is what items store.
    static_assert([] {
        for (size_t i = 0; i < kTable.size(); ++i)
            if (static_cast<size_t>(kTable[i].protocol) != i) return false;
        return true;
    }());
    return kTable;
}

const ProtocolTraits* Protocols::Find(TZandrelWebCopyProtocol protocol) {
    const auto table = All();
    const auto ordinal = static_cast<size_t>(protocol);
    return ordinal < table.size() ? &table[ordinal] : nullptr;
}

std::span<const std::string_view> Protocols::Names() {
    static const std::vector<std::string_view> kNames = [] {
        std::vector<std::string_view> names;
        for (const ProtocolTraits& traits : All()) names.push_back(traits.name);
        return names;
    }();
    return kNames;
}

} // namespace zandrel::webcopy
