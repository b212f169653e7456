#include "webcopy/Protocols.h"

#include <array>
#include <vector>

#include "webcopy/ZandrelWebCopy.h"

namespace zandrel::webcopy {
namespace {

using Call = ProtocolCall;
using WC = TZandrelWebCopy;

// The FTP routines that move or list files all take an item's fields in one order.
template <auto Routine>
bool FtpTransfer(WC& wc, const Call& c) {
    const auto& in = c.item;
    return (wc.*Routine)(c.idx, in.FTPUserID, in.FTPPassword, in.FTPHost, in.FTPPort, in.URL, in.TargetDir,
                         in.TargetFilename, in.CopyNewerOnly, c.fileDate, c.notNewer, c.keepConnection);
}

} // namespace

std::span<const ProtocolTraits> Protocols::All() {
    // The keep-connection flag a routine gets is only ever true for protocols that keep one.
    static constexpr auto kTable = std::to_array<ProtocolTraits>({
        {.protocol = wpHttp, .name = "wpHttp", .caption = ProtocolCaption::Download,
         .routine = [](WC& wc, const Call& c) {
             const auto& in = c.item;
             return wc.HttpGetFile(c.idx, in.URL, in.DisplayURL, in.TargetDir, in.TargetFilename, in.CopyNewerOnly,
                                   c.fileDate, c.notNewer, in.Authenticate, in.HTTPUserID, in.HTTPPassword);
         }},
        {.protocol = wpFtp, .name = "wpFtp", .caption = ProtocolCaption::Download, .keepsConnection = true,
         .routine = [](WC& wc, const Call& c) {
             const auto& in = c.item;
             return wc.FtpGetFile(c.idx, in.FTPUserID, in.FTPPassword, in.FTPHost, in.FTPPort, in.URL, in.TargetDir,
                                  in.TargetFilename, in.CopyNewerOnly, c.fileDate, c.notNewer, c.keepConnection, true);
         }},
        {.protocol = wpFile, .name = "wpFile", .caption = ProtocolCaption::Copy, .needsInternetRoot = false,
         .routine = [](WC& wc, const Call& c) {
             const auto& in = c.item;
             return wc.FileGetFile(c.idx, in.FTPUserID, in.FTPPassword, in.FTPHost, in.FTPPort, in.URL, in.TargetDir,
                                   in.TargetFilename, in.CopyNewerOnly, c.fileDate, c.notNewer);
         }},
        {.protocol = wpFtpUpload, .name = "wpFtpUpload", .caption = ProtocolCaption::Upload, .keepsConnection = true,
         .routine = FtpTransfer<&WC::FtpPutFile>},
        {.protocol = wpHttpUpload, .name = "wpHttpUpload", .caption = ProtocolCaption::Upload,
         .routine = [](WC& wc, const Call& c) {
             return wc.HttpPutFile(c.item.URL, c.item.TargetDir, c.item.TargetFilename, c.item.HTTPCommand);
         }},
        {.protocol = wpMultiFtp, .name = "wpMultiFtp", .multiFile = true, .routine = FtpTransfer<&WC::MultiFtpGetFile>},
        {.protocol = wpMultiFtpUpload, .name = "wpMultiFtpUpload", .multiFile = true,
         .routine = FtpTransfer<&WC::MultiFtpPutFile>},
        {.protocol = wpFtpDelete, .name = "wpFtpDelete",
         .routine = [](WC& wc, const Call& c) {
             const auto& in = c.item;
             return wc.FtpRemoveFile(c.idx, in.FTPUserID, in.FTPPassword, in.FTPHost, in.FTPPort, in.URL,
                                     in.TargetDir, in.TargetFilename, c.keepConnection);
         }},
        {.protocol = wpFtpList, .name = "wpFtpList", .routine = FtpTransfer<&WC::MultiFtpGetList>},
        {.protocol = wpFtpTest, .name = "wpFtpTest",
         .routine = [](WC& wc, const Call& c) {
             return wc.FtpTest(c.idx, c.item.FTPUserID, c.item.FTPPassword, c.item.FTPHost, c.item.FTPPort);
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

std::span<const std::string_view> Protocols::Names() {
    static const std::vector<std::string_view> kNames = [] {
        std::vector<std::string_view> names;
        for (const ProtocolTraits& traits : All()) names.push_back(traits.name);
        return names;
    }();
    return kNames;
}

} // namespace zandrel::webcopy
