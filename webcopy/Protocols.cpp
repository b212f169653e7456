#include "webcopy/Protocols.h"

#include <array>
#include <vector>

#include "webcopy/ZandrelWebCopy.h"

namespace zandrel::webcopy {
namespace {

using Call = ProtocolCall;
using WC = TZandrelWebCopy;

} // namespace

std::span<const ProtocolTraits> Protocols::All() {
    // The routines take the item's fields in the order their protocol's group has always used;
    // the keep-connection flag only ever reaches the routines of protocols that keep one.
    static constexpr auto kTable = std::to_array<ProtocolTraits>({
        {.protocol = wpHttp,
         .name = "wpHttp",
         .routine = [](WC& wc, const Call& c) {
             const auto& in = c.item;
             return wc.HttpGetFile(c.idx, in.URL, in.DisplayURL, in.TargetDir, in.TargetFilename, in.CopyNewerOnly,
                                   c.fileDate, c.notNewer, in.Authenticate, in.HTTPUserID, in.HTTPPassword);
         },
         .caption = ProtocolCaption::Download},
        {.protocol = wpFtp,
         .name = "wpFtp",
         .routine = [](WC& wc, const Call& c) {
             const auto& in = c.item;
             return wc.FtpGetFile(c.idx, in.FTPUserID, in.FTPPassword, in.FTPHost, in.FTPPort, in.URL, in.TargetDir,
                                  in.TargetFilename, in.CopyNewerOnly, c.fileDate, c.notNewer, c.keepConnection, true);
         },
         .caption = ProtocolCaption::Download,
         .keepsConnection = true},
        {.protocol = wpFile,
         .name = "wpFile",
         .routine = [](WC& wc, const Call& c) {
             const auto& in = c.item;
             return wc.FileGetFile(c.idx, in.FTPUserID, in.FTPPassword, in.FTPHost, in.FTPPort, in.URL, in.TargetDir,
                                   in.TargetFilename, in.CopyNewerOnly, c.fileDate, c.notNewer);
         },
         .caption = ProtocolCaption::Copy,
         .needsInternetRoot = false},
        {.protocol = wpFtpUpload,
         .name = "wpFtpUpload",
         .routine = [](WC& wc, const Call& c) {
             const auto& in = c.item;
             return wc.FtpPutFile(c.idx, in.FTPUserID, in.FTPPassword, in.FTPHost, in.FTPPort, in.URL, in.TargetDir,
                                  in.TargetFilename, in.CopyNewerOnly, c.fileDate, c.notNewer, c.keepConnection);
         },
         .caption = ProtocolCaption::Upload,
         .keepsConnection = true},
        {.protocol = wpHttpUpload,
         .name = "wpHttpUpload",
         .routine = [](WC& wc, const Call& c) {
             const auto& in = c.item;
             return wc.HttpPutFile(in.URL, in.TargetDir, in.TargetFilename, in.HTTPCommand);
         },
         .caption = ProtocolCaption::Upload},
        {.protocol = wpMultiFtp,
         .name = "wpMultiFtp",
         .routine = [](WC& wc, const Call& c) {
             const auto& in = c.item;
             return wc.MultiFtpGetFile(c.idx, in.FTPUserID, in.FTPPassword, in.FTPHost, in.FTPPort, in.URL,
                                       in.TargetDir, in.TargetFilename, in.CopyNewerOnly, c.fileDate, c.notNewer,
                                       c.keepConnection);
         },
         .multiFile = true},
        {.protocol = wpMultiFtpUpload,
         .name = "wpMultiFtpUpload",
         .routine = [](WC& wc, const Call& c) {
             const auto& in = c.item;
             return wc.MultiFtpPutFile(c.idx, in.FTPUserID, in.FTPPassword, in.FTPHost, in.FTPPort, in.URL,
                                       in.TargetDir, in.TargetFilename, in.CopyNewerOnly, c.fileDate, c.notNewer,
                                       c.keepConnection);
         },
         .multiFile = true},
        {.protocol = wpFtpDelete,
         .name = "wpFtpDelete",
         .routine = [](WC& wc, const Call& c) {
             const auto& in = c.item;
             return wc.FtpRemoveFile(c.idx, in.FTPUserID, in.FTPPassword, in.FTPHost, in.FTPPort, in.URL,
                                     in.TargetDir, in.TargetFilename, c.keepConnection);
         }},
        {.protocol = wpFtpList,
         .name = "wpFtpList",
         .routine = [](WC& wc, const Call& c) {
             const auto& in = c.item;
             return wc.MultiFtpGetList(c.idx, in.FTPUserID, in.FTPPassword, in.FTPHost, in.FTPPort, in.URL,
                                       in.TargetDir, in.TargetFilename, in.CopyNewerOnly, c.fileDate, c.notNewer,
                                       c.keepConnection);
         }},
        {.protocol = wpFtpTest,
         .name = "wpFtpTest",
         .routine = [](WC& wc, const Call& c) {
             const auto& in = c.item;
             return wc.FtpTest(c.idx, in.FTPUserID, in.FTPPassword, in.FTPHost, in.FTPPort);
         }},
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

const ProtocolTraits* Protocols::Find(std::string_view name) {
    for (const ProtocolTraits& traits : All())
        if (traits.name == name) return &traits;
    return nullptr;
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
