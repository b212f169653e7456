#include "webcopy/Protocols.h"

#include <array>
#include <vector>

#include "webcopy/Routines.h"

namespace zandrel::webcopy {

std::span<const ProtocolTraits> Protocols::All() {
    // The keep-connection flag a routine gets is only ever true for protocols that keep one.
    static constexpr auto kTable = std::to_array<ProtocolTraits>({
        {.protocol = wpHttp, .name = "wpHttp", .caption = ProtocolCaption::Download,
         .reads = "URL DisplayURL TargetDir TargetFilename CopyNewerOnly FileDate Authenticate HTTPUserID HTTPPassword",
         .routine = HttpGetFile},
        {.protocol = wpFtp, .name = "wpFtp", .caption = ProtocolCaption::Download, .keepsConnection = true,
         .reads = "Account URL TargetDir TargetFilename CopyNewerOnly FileDate", .routine = FtpGetFile},
        {.protocol = wpFile, .name = "wpFile", .caption = ProtocolCaption::Copy, .needsInternetRoot = false,
         .reads = "FTPHost FTPUserID FTPPassword URL TargetDir TargetFilename CopyNewerOnly FileDate",
         .routine = FileGetFile},
        {.protocol = wpFtpUpload, .name = "wpFtpUpload", .caption = ProtocolCaption::Upload, .keepsConnection = true,
         .reads = "Account URL TargetDir TargetFilename CopyNewerOnly FileDate WhenTargetExists", .routine = FtpPutFile},
        {.protocol = wpHttpUpload, .name = "wpHttpUpload", .caption = ProtocolCaption::Upload,
         .reads = "URL TargetDir TargetFilename HTTPCommand", .routine = HttpPutFile},
        {.protocol = wpMultiFtp, .name = "wpMultiFtp", .multiFile = true,
         .reads = "Account URL TargetDir CopyNewerOnly FileDate", .routine = MultiFtpGetFile},
        {.protocol = wpMultiFtpUpload, .name = "wpMultiFtpUpload", .multiFile = true,
         .reads = "Account URL TargetDir CopyNewerOnly FileDate WhenTargetExists", .routine = MultiFtpPutFile},
        {.protocol = wpFtpDelete, .name = "wpFtpDelete", .reads = "Account URL TargetDir TargetFilename",
         .routine = FtpRemoveFile},
        {.protocol = wpFtpList, .name = "wpFtpList", .reads = "Account URL", .routine = MultiFtpGetList},
        {.protocol = wpFtpTest, .name = "wpFtpTest", .reads = "Account", .routine = FtpTest},
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

bool Protocols::Reads(TZandrelWebCopyProtocol protocol, std::string_view name) {
    if (name == "Protocol" || name == "Active") return true;
    const ProtocolTraits* traits = Find(protocol);
    if (!traits) return false;
    // Whether the blank-separated `list` holds `word`.
    const auto holds = [](std::string_view list, std::string_view word) {
        while (!list.empty()) {
            const size_t blank = list.find(' ');
            if (list.substr(0, blank) == word) return true;
            list.remove_prefix(blank == std::string_view::npos ? list.size() : blank + 1);
        }
        return false;
    };
    constexpr std::string_view kAccount = "FTPHost FTPPort FTPUserID FTPPassword FTPSecurity SSHKeyFile";
    return holds(traits->reads, name) || (holds(traits->reads, "Account") && holds(kAccount, name));
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
