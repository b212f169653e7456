#pragma once
// What each protocol is, in one place: the routine an item of it is handed to, its name in job
// files and design streams, the dialog caption it shows, whether it may keep its FTP connection
// for the next item and whether it needs the run's Internet root. The copy driver, design
// streaming and the webcopy tool read this table and nothing else, so a new protocol is its
// enumerator, one row here and its routine.
#include <cstdint>
#include <span>
#include <string_view>

#include "webcopy/WebCopyTypes.h"

namespace zandrel::webcopy {

class TransferRun;
struct TransferItem;
struct TransferOutcome;

// Which caption the dialog shows while an item runs: the direction it moves a file in, or the
// one it already has.
enum class ProtocolCaption : uint8_t { Unchanged, Download, Copy, Upload };

struct ProtocolTraits {
    TZandrelWebCopyProtocol protocol;
    // Stored in job files and design streams: never change one.
    std::string_view name;
    ProtocolCaption caption = ProtocolCaption::Unchanged;
    // Its connection can stay open for a next item of the same account that keeps it too.
    bool keepsConnection = false;
    // Counted by NumInetItems: the run opens the Internet root when an active item needs it.
    bool needsInternetRoot = true;
    // Transfers every file that matches a mask, so it may match none.
    bool multiFile = false;
    // The item properties its routine reads besides Protocol and Active, blank-separated: what a
    // job may set for it. "Account" stands for FTPHost, FTPPort, FTPUserID, FTPPassword,
    // FTPSecurity and SSHKeyFile.
    std::string_view reads;
    // Runs one item.
    TransferOutcome (*routine)(TransferRun& run, const TransferItem& in) = nullptr;
};

class Protocols {
public:
    // Every protocol, ordered by ordinal: All()[n].protocol == n.
    static std::span<const ProtocolTraits> All();
    // Null for an ordinal no protocol has.
    static const ProtocolTraits* Find(TZandrelWebCopyProtocol protocol);
    // The names, ordered by ordinal, as design streaming lists an enumeration's values.
    static std::span<const std::string_view> Names();
    // Whether an item of `protocol` reads the property `name` (Protocol and Active: always).
    static bool Reads(TZandrelWebCopyProtocol protocol, std::string_view name);
};

} // namespace zandrel::webcopy
