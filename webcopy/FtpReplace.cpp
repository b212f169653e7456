// How an upload replaces a file on the server without ever leaving a truncated one under its
// name, where a web server may already hand it out.
//
// The data goes to a temporary name in the same folder and is renamed to the final name only once
// the server has confirmed the whole file, so an existing file is replaced only by a complete
// one. Some upload-only servers take STOR but refuse renames; the first upload that finds this
// out (its rename refused) goes up again under its final name, and so do the later ones of the
// run to that account and folder, deleted again after a Cancel or a failure. A failed transfer
// says nothing about renames: it fails with the server's reason, and no file is touched.
//
// Where no file may be replaced (teNextFreeName), the final name is checked just before the rename
// and the file checked again after it, so that a name another upload took meanwhile is noticed.
#include "webcopy/FtpReplace.h"

#include <array>

#include "platform/inet/Inet.h"
#include "platform/rtl/FileSystem.h"
#include "webcopy/LocalFile.h"
#include "webcopy/Utilities.h"
#include "webcopy/ZandrelWebCopy.h"

namespace zandrel::webcopy {
namespace {

// Cleaning up must not wait as long as a transfer may.
constexpr inet::DWORD kCleanupTimeoutMs = 5000;

// Names tried before an upload gives up on finding a free one. The search starts at the file's
// own name and passes every earlier upload of it still in the folder (Demo_1.zip up to
// Demo_250.zip after a year of nightly builds), so the bound is there only to stop a server that
// calls every name taken.
constexpr int kMaxNameTries = 10000;
const std::string kNoFreeNameWithin =
    "the first " + std::to_string(kMaxNameTries) + " names tried are all taken on the server";

// While the work after a Cancel is done (removing what the cancelled upload left), the Internet
// layer's waits must not be cancelled again; short timeouts bound them instead, on the root (a
// second login) and on the connection in use alike. Everything comes back as it was afterwards.
class CleanupWaits {
public:
    CleanupWaits(inet::HINTERNET root, inet::HINTERNET connection)
        : handles_{root, connection}, previousHook_(inet::SetIdleHook([] { return true; })) {
        for (size_t h = 0; h < handles_.size(); ++h)
            for (size_t i = 0; i < kOptions.size(); ++i) {
                saved_[h][i] = handles_[h] && inet::InternetQueryOption(handles_[h], kOptions[i], previous_[h][i]);
                if (saved_[h][i]) inet::InternetSetOption(handles_[h], kOptions[i], kCleanupTimeoutMs);
            }
    }
    ~CleanupWaits() {
        for (size_t h = 0; h < handles_.size(); ++h)
            for (size_t i = 0; i < kOptions.size(); ++i)
                if (saved_[h][i]) inet::InternetSetOption(handles_[h], kOptions[i], previous_[h][i]);
        inet::SetIdleHook(std::move(previousHook_));
    }
    CleanupWaits(const CleanupWaits&) = delete;
    CleanupWaits& operator=(const CleanupWaits&) = delete;

private:
    static constexpr std::array<inet::DWORD, 3> kOptions{inet::INTERNET_OPTION_CONNECT_TIMEOUT,
                                                         inet::INTERNET_OPTION_SEND_TIMEOUT,
                                                         inet::INTERNET_OPTION_RECEIVE_TIMEOUT};
    std::array<inet::HINTERNET, 2> handles_;
    inet::IdleHook previousHook_;
    std::array<std::array<inet::DWORD, 3>, 2> previous_{};
    std::array<std::array<bool, 3>, 2> saved_{};
};

// While an upload that must not replace a file checks a name and renames onto it, it holds the
// name: a hidden folder made beside it (".Demo.zip.zandrel-lock"). Making a folder is the one
// step FTP offers that fails when the name exists, so of two uploads of this program after the
// same name only one goes on; the other takes the name as taken. A server that does not let us
// make folders gives no lock, and the checks before and after the rename are all there is.
// A lock that outlives its upload (the session broke) only makes the name look taken.
class NameLock {
public:
    NameLock(inet::HINTERNET connection, inet::HINTERNET root, const std::string& name)
        : connection_(connection), root_(root), lock_("." + name + ".zandrel-lock") {
        if (inet::FtpCreateDirectory(connection_, lock_)) {
            held_ = true;
            return;
        }
        if (!inet::IsConnectionAlive(connection_)) return;
        // Refused: because it exists (another upload holds the name), or not allowed here.
        inet::FtpFileFacts facts;
        if (inet::FtpGetFileFacts(connection_, lock_, facts) && facts.exists) {
            busy_ = true;
        } else if (inet::FtpSetCurrentDirectory(connection_, lock_)) {
            // Without MLST a folder shows only by entering it.
            busy_ = true;
            inet::FtpSetCurrentDirectory(connection_, "..");
        }
    }
    ~NameLock() {
        if (!held_ || !inet::IsConnectionAlive(connection_)) return;
        CleanupWaits waits(root_, connection_); // given back even after a Cancel
        inet::FtpRemoveDirectory(connection_, lock_);
    }
    NameLock(const NameLock&) = delete;
    NameLock& operator=(const NameLock&) = delete;

    bool Busy() const { return busy_; }

private:
    inet::HINTERNET connection_;
    inet::HINTERNET root_;
    std::string lock_;
    bool held_ = false;
    bool busy_ = false;
};

} // namespace

std::string FreeNames::After(const std::string& taken) {
    taken_.insert(taken);
    const std::string ext = rtl::ExtractFileExt(name_);
    const std::string base = name_.substr(0, name_.size() - ext.size());
    std::string candidate = name_;
    for (size_t counter = 1; taken_.count(candidate) != 0; ++counter)
        candidate = base + "_" + std::to_string(counter) + ext;
    return candidate;
}

std::string FtpNextName(TransferRun& run, inet::HINTERNET Connection, FreeNames& names, const std::string& Taken) {
    if (!names.listed && !run.cancelled) {
        names.listed = true;
        inet::WIN32_FIND_DATA found;
        if (inet::HINTERNET find = inet::FtpFindFirstFile(Connection, "*", found, 0, 0)) {
            do {
                names.After(found.cFileName);
            } while (!run.cancelled && inet::InternetFindNextFile(find, found));
            inet::InternetCloseHandle(find);
        }
        // A folder that cannot be listed (or lists nothing) gives no hint; the checks go on alone.
    }
    return names.After(Taken);
}

bool FtpFindFreeName(TransferRun& run, inet::HINTERNET Connection, FreeNames& names, std::string& Name,
                     const std::string& remotePath) {
    int tries = 0;
    for (; tries < kMaxNameTries && !Name.empty(); ++tries) {
        inet::FtpFileFacts facts;
        if (!inet::FtpGetFileFacts(Connection, Name, facts)) break;
        if (!facts.exists) return true;
        Name = FtpNextName(run, Connection, names, Name);
    }
    if (run.InetCallCancelled()) return false;
    if (Name.empty()) {
        run.SetReason("no free name is left");
    } else if (tries == kMaxNameTries) {
        run.SetReason(kNoFreeNameWithin);
    } else {
        run.NoteInetFailure(); // the server could not say whether the name is taken
    }
    run.ReportError(errCreateTarget, kMsgCreateTarget + remotePath);
    return false;
}

FtpPublishOutcome FtpPublish(TransferRun& run, inet::HINTERNET Connection, FreeNames* names, std::string& StoredName,
                             std::string& FinalName) {
    // After a refused rename onto the final name: whether the server renames at all (the file
    // takes another temporary name), or only not onto that name, which is then the failure.
    auto refusal = [&](const std::string& reason) {
        run.SetReason(reason);
        if (run.cancelled || !inet::IsConnectionAlive(Connection)) return FtpPublishOutcome::Failed;
        const std::string other = TransferTemporaryName();
        if (!inet::FtpRenameFile(Connection, StoredName, other)) return FtpPublishOutcome::RenameRefused;
        StoredName = other;
        return FtpPublishOutcome::Failed;
    };
    if (!names) {
        if (inet::FtpRenameFile(Connection, StoredName, FinalName)) return FtpPublishOutcome::Published;
        const std::string reason = inet::InternetLastFailureReason();
        // Servers on Windows do not rename onto an existing file. The old one steps aside under a
        // temporary name first and comes back if the new one still cannot take its place, so the
        // final name never goes missing.
        if (!run.cancelled && inet::IsConnectionAlive(Connection)) {
            const std::string aside = TransferTemporaryName();
            if (inet::FtpRenameFile(Connection, FinalName, aside)) {
                if (inet::FtpRenameFile(Connection, StoredName, FinalName)) {
                    inet::FtpDeleteFile(Connection, aside);
                    return FtpPublishOutcome::Published;
                }
                inet::FtpRenameFile(Connection, aside, FinalName);
            }
        }
        return refusal(reason);
    }

    // Never replacing: most servers rename over an existing file without a word, so the name is
    // checked just before, and the file just after: another upload may have renamed its own file
    // onto the name in between, which took ours away. Uploads of this program into the folder
    // also take turns at each name (see NameLock), which closes that gap between them.
    inet::FtpFileFacts ours;
    if (!inet::FtpGetFileFacts(Connection, StoredName, ours) || !ours.exists) {
        run.NoteInetFailure();
        return FtpPublishOutcome::Failed;
    }
    int tries = 0;
    for (; tries < kMaxNameTries && !FinalName.empty(); ++tries) {
        NameLock lock(Connection, run.root, FinalName);
        if (lock.Busy()) {
            FinalName = FtpNextName(run, Connection, *names, FinalName);
            continue;
        }
        if (run.cancelled) break;
        inet::FtpFileFacts there;
        if (!inet::FtpGetFileFacts(Connection, FinalName, there)) break;
        if (!there.exists) {
            if (!inet::FtpRenameFile(Connection, StoredName, FinalName)) {
                const std::string reason = inet::InternetLastFailureReason();
                if (run.cancelled || !inet::IsConnectionAlive(Connection)) break;
                // Taken in between (a server that does not rename onto a file says no): next name.
                if (inet::FtpGetFileFacts(Connection, FinalName, there) && there.exists) {
                    FinalName = FtpNextName(run, Connection, *names, FinalName);
                    continue;
                }
                return refusal(reason);
            }
            inet::FtpFileFacts now;
            if (!inet::FtpGetFileFacts(Connection, FinalName, now)) break;
            if (now.SameFileAs(ours)) return FtpPublishOutcome::Published;
            // Another upload's file holds the name now, and ours is gone with the one it replaced.
            FinalName = FtpNextName(run, Connection, *names, FinalName);
            return FinalName.empty() ? FtpPublishOutcome::Failed : FtpPublishOutcome::Lost;
        }
        FinalName = FtpNextName(run, Connection, *names, FinalName);
    }
    if (FinalName.empty()) {
        run.SetReason("no free name is left");
    } else if (tries == kMaxNameTries) {
        run.SetReason(kNoFreeNameWithin);
    } else {
        run.NoteInetFailure();
    }
    return FtpPublishOutcome::Failed;
}

void FtpRemovePartial(TransferRun& run, inet::HINTERNET Connection, const FtpAccount& Account,
                      const std::string& Folder, const std::string& Name, inet::HINTERNET Open) {
    CleanupWaits waits(run.root, Connection);
    // Closing ends the transfer; after a Cancel the server's closing reply is still waited for
    // (briefly), so the connection stays in step and can delete the file at once.
    if (Open) inet::InternetCloseHandle(Open);
    if (inet::IsConnectionAlive(Connection) && inet::FtpDeleteFile(Connection, Name)) return;
    // A refusal on a live connection (a server that does not delete) is its last word: a second
    // login would hear the same.
    if (inet::IsConnectionAlive(Connection)) return;
    // The session broke with the transfer: a short second login removes the file by its full path.
    if (Folder.empty()) return;
    std::string problem;
    inet::HINTERNET fresh = OpenFtpConnection(run, Account, problem);
    if (!fresh) return;
    inet::FtpDeleteFile(fresh, Folder + (Folder.back() == '/' ? "" : "/") + Name);
    inet::InternetCloseHandle(fresh);
}

} // namespace zandrel::webcopy
