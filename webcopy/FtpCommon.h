#pragma once
// The steps every FTP routine shares: logging in (or taking over the connection the previous item
// kept), entering or creating a folder, the remote file's date, and letting a connection go when
// the routine ends, however it ends.
#include <cstdint>
#include <exception>
#include <string>

#include "platform/inet/Inet.h"
#include "platform/rtl/DateTime.h"
#include "webcopy/TransferRun.h"

namespace zandrel::webcopy {

// Who a routine logs in as, where and how: what a connection's key and a second login need.
struct FtpAccount {
    std::string user, password, host;
    int32_t port = 21;
    TZandrelWebCopyFtpSecurity security = fsNone;
    std::string keyFile;
    static FtpAccount Of(const TZandrelWebCopyItem& item) {
        return {item.FTPUserID, item.FTPPassword, item.FTPHost, item.FTPPort, item.FTPSecurity, item.SSHKeyFile};
    }
    // What tells two logins apart (see FtpConnectionKey).
    std::string Key() const;
};

// A new login for `account` (anonymous unless both user and password are given), over the
// transport its host or item names. Null when it cannot be made: `problem` says why when the
// account itself cannot be used (its host, port or transport), else the Internet layer does.
inet::HINTERNET OpenFtpConnection(TransferRun& run, const FtpAccount& account, std::string& problem);

// The kept connection when `useCache` and its key (host, port, user, password) matches and it is
// still alive, else a new login (anonymous unless both user and password are given). Null after
// reporting error 6 (or after a Cancel, reporting nothing).
inet::HINTERNET FtpConnect(TransferRun& run, const FtpAccount& account, bool useCache);
// Makes `connection` the kept connection under the key of `account`.
void FtpKeep(TransferRun& run, inet::HINTERNET connection, const FtpAccount& account);
// Closes `connection`, and the kept one when that is another: with its key gone it could never be
// taken over again.
void FtpDrop(TransferRun& run, inet::HINTERNET connection);
// Every end of a routine: a connection that is not kept is closed; a kept one that `moved` into
// another folder goes back to `startDir`, and is closed instead when that fails (or after a
// Cancel), so the next item never starts in the wrong folder.
void FtpRelease(TransferRun& run, inet::HINTERNET connection, bool keep, bool moved, const std::string& startDir);

// The upload's target folder: enters `targetDir`, creating missing levels below the current
// directory, and checks that each level was entered. `startDir` receives the directory the
// connection was in (empty when the server did not say). False when a level can be neither
// entered nor created.
bool FtpEnterTargetDir(TransferRun& run, inet::HINTERNET connection, const std::string& targetDir, bool keep,
                       std::string& startDir);
// Enters the remote folder of a download or listing (nothing to do for an empty `dir`), keeping
// in `startDir` where the connection was. False when the server refuses the folder, reported as
// the source `url` not found: the file is not there, and a file of the same name in the current
// folder is another file.
bool FtpEnterRemoteDir(TransferRun& run, inet::HINTERNET connection, const std::string& dir, std::string& startDir,
                       const std::string& url);
// The last-write time of a remote file as local date-time, as precise as the server can tell it;
// `entry` is its directory entry.
rtl::TDateTime RemoteFileDate(inet::HINTERNET connection, const std::string& name, const inet::WIN32_FIND_DATA& entry);

// The start of every routine that sends to the server or acts on it: the upload clip, and the file
// line with the server named (the upload side always names it).
void ShowSendingLine(TransferRun& run, const TZandrelWebCopyItem& item);

// The connection one routine works on. When the routine ends, however it ends, the connection is
// let go as FtpRelease says (or closed outright when an exception ends the routine, or when the
// routine asked for that with DropAtEnd).
class FtpConnectionUse {
public:
    FtpConnectionUse(TransferRun& run, inet::HINTERNET handle, bool keep)
        : run_(run), handle_(handle), keep_(keep), exceptions_(std::uncaught_exceptions()) {}
    ~FtpConnectionUse() {
        // Dropping closes the kept connection too, even when this one is already gone.
        if (drop_ || std::uncaught_exceptions() > exceptions_) FtpDrop(run_, handle_);
        else if (handle_) FtpRelease(run_, handle_, keep_, moved_, startDir_);
    }
    FtpConnectionUse(const FtpConnectionUse&) = delete;
    FtpConnectionUse& operator=(const FtpConnectionUse&) = delete;

    inet::HINTERNET Get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    // The routine leaves the login folder; `StartDir()` is where it goes back to.
    void SetMoved(bool moved) { moved_ = moved; }
    std::string& StartDir() { return startDir_; }
    // Closes the connection at the end instead of keeping it, and the kept one with it.
    void DropAtEnd() { drop_ = true; }
    // Closes it now (and the kept one); the routine goes on without one, or with `next`.
    void DropNow(inet::HINTERNET next = nullptr) {
        FtpDrop(run_, handle_);
        handle_ = next;
    }

private:
    TransferRun& run_;
    inet::HINTERNET handle_;
    bool keep_;
    bool moved_ = false;
    bool drop_ = false;
    std::string startDir_;
    int exceptions_;
};

} // namespace zandrel::webcopy
