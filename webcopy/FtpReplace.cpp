// How an upload replaces a file on the server without ever leaving a truncated one under its
// name, where a web server may already hand it out.
//
// The data goes to a temporary name in the same folder and is renamed to the final name only once
// the server has confirmed the whole file, so an existing file is replaced only by a complete
// one. Some upload-only servers take STOR but refuse renames; a cheap probe (an empty file stored,
// renamed and deleted under temporary names) finds that out before the transfer, once per
// account and folder in a run, and the file then goes under its final name, deleted again after a
// Cancel or a failure.
#include <array>

#include "platform/inet/Inet.h"
#include "webcopy/FtpLocalFile.h"
#include "webcopy/ZandrelWebCopy.h"

namespace zandrel::webcopy {
namespace {

// Cleaning up must not wait as long as a transfer may.
constexpr inet::DWORD kCleanupTimeoutMs = 5000;

// While the work after a Cancel is done (removing what the cancelled upload left), the Internet
// layer's waits must not be cancelled again; short timeouts bound them instead. Everything comes
// back as it was afterwards.
class CleanupWaits {
public:
    explicit CleanupWaits(inet::HINTERNET root) : root_(root), previousHook_(inet::SetIdleHook([] { return true; })) {
        for (size_t i = 0; i < kOptions.size(); ++i) {
            saved_[i] = root_ && inet::InternetQueryOption(root_, kOptions[i], previous_[i]);
            if (saved_[i]) inet::InternetSetOption(root_, kOptions[i], kCleanupTimeoutMs);
        }
    }
    ~CleanupWaits() {
        for (size_t i = 0; i < kOptions.size(); ++i)
            if (saved_[i]) inet::InternetSetOption(root_, kOptions[i], previous_[i]);
        inet::SetIdleHook(std::move(previousHook_));
    }
    CleanupWaits(const CleanupWaits&) = delete;
    CleanupWaits& operator=(const CleanupWaits&) = delete;

private:
    static constexpr std::array<inet::DWORD, 3> kOptions{inet::INTERNET_OPTION_CONNECT_TIMEOUT,
                                                         inet::INTERNET_OPTION_SEND_TIMEOUT,
                                                         inet::INTERNET_OPTION_RECEIVE_TIMEOUT};
    inet::HINTERNET root_;
    inet::IdleHook previousHook_;
    std::array<inet::DWORD, 3> previous_{};
    std::array<bool, 3> saved_{};
};

} // namespace

std::string TZandrelWebCopy::FtpTemporaryName() { return TransferTemporaryName(); }

TZandrelWebCopy::FtpStoreMode TZandrelWebCopy::FtpChooseStoreMode(inet::HINTERNET Connection,
                                                                  const std::string& ProbeKey) {
    if (const auto known = FRenameWorks.find(ProbeKey); known != FRenameWorks.end())
        return known->second ? FtpStoreMode::ViaTemporaryName : FtpStoreMode::UnderFinalName;
    const std::string first = TransferTemporaryName();
    const std::string second = TransferTemporaryName();
    bool renames = false;
    if (inet::HINTERNET probe =
            inet::FtpOpenFile(Connection, first, inet::GENERIC_WRITE, inet::FTP_TRANSFER_TYPE_BINARY, 0)) {
        if (!inet::InternetCloseHandle(probe)) {
            inet::FtpDeleteFile(Connection, first);
        } else if (inet::FtpRenameFile(Connection, first, second)) {
            renames = true;
            inet::FtpDeleteFile(Connection, second);
        } else {
            inet::FtpDeleteFile(Connection, first);
        }
    }
    // A probe the user cancelled, or one that took the session with it, decides nothing.
    if (FCancelled) return FtpStoreMode::Cancelled;
    if (!inet::IsConnectionAlive(Connection)) return FtpStoreMode::UnderFinalName;
    FRenameWorks[ProbeKey] = renames;
    return renames ? FtpStoreMode::ViaTemporaryName : FtpStoreMode::UnderFinalName;
}

bool TZandrelWebCopy::FtpPublish(inet::HINTERNET Connection, const std::string& StoredName,
                                 const std::string& FinalName) {
    if (inet::FtpRenameFile(Connection, StoredName, FinalName)) return true;
    const std::string reason = inet::InternetLastFailureReason();
    // Servers on Windows do not rename onto an existing file. The old one steps aside under a
    // temporary name first and comes back if the new one still cannot take its place, so the
    // final name never goes missing.
    if (!FCancelled && inet::IsConnectionAlive(Connection)) {
        const std::string aside = TransferTemporaryName();
        if (inet::FtpRenameFile(Connection, FinalName, aside)) {
            if (inet::FtpRenameFile(Connection, StoredName, FinalName)) {
                inet::FtpDeleteFile(Connection, aside);
                return true;
            }
            inet::FtpRenameFile(Connection, aside, FinalName);
        }
    }
    FLastErrorReason = reason;
    return false;
}

void TZandrelWebCopy::FtpRemovePartial(inet::HINTERNET Connection, const FtpAccount& Account,
                                       const std::string& Folder, const std::string& Name) {
    CleanupWaits waits(FHinternet);
    if (!FCancelled && inet::IsConnectionAlive(Connection) && inet::FtpDeleteFile(Connection, Name)) return;
    // After a Cancel, or a failure that took the session along, the layer has discarded the
    // session: a short second login removes the file by its full path.
    if (Folder.empty()) return;
    const bool withCredentials = !Account.user.empty() && !Account.password.empty();
    inet::HINTERNET fresh = inet::InternetConnect(
        FHinternet, Account.host, static_cast<inet::INTERNET_PORT>(Account.port & 0xFFFF),
        withCredentials ? Account.user : std::string(), withCredentials ? Account.password : std::string(),
        inet::INTERNET_SERVICE_FTP, FTPPassive ? inet::INTERNET_FLAG_PASSIVE : 0, 0);
    if (!fresh) return;
    inet::FtpDeleteFile(fresh, Folder + (Folder.back() == '/' ? "" : "/") + Name);
    inet::InternetCloseHandle(fresh);
}

} // namespace zandrel::webcopy
