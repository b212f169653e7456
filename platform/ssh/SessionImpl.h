#pragma once
// The session's state, shared by the session and the files it opened (which keep it alive).
#include <optional>
#include <string>

#include "platform/ssh/LibsshLibrary.h"
#include "platform/ssh/Pacing.h"
#include "platform/ssh/SessionThread.h"
#include "platform/ssh/Sftp.h"

namespace zandrel::ssh {

struct SftpSession::Impl {
    const detail::Libssh* lib = nullptr;
    SessionOptions options;
    detail::Pacer pacer;
    ssh_session ssh = nullptr;
    sftp_session sftp = nullptr;
    detail::SessionThread thread;
    std::string home, cwd;
    size_t writeBlock = 32 * 1024;
    bool posixRename = false;
    bool dead = false;        // cancelled, timed out or cut: only closing is left
    std::string deadReason;   // why, for every later call
    // Requests still in flight on the SFTP channel, of a download (libssh's reads) or an upload
    // (our writes, RawRequests.h), belong to one owner at a time. libssh 0.10 loses the replies
    // to reads in flight when it makes another request meanwhile, and our writes' replies must
    // never reach libssh: so whoever needs the channel next first has the owner settle its own,
    // taking in (or dropping, for reads that are made again later) every reply still due.
    std::function<void()> settle;
    const void* settleOwner = nullptr;
    // Settles the channel's owner unless that is `caller`.
    void Settle(const void* caller);
    // `owner` has requests in flight; `settleThem` takes them in.
    void HoldChannel(const void* owner, std::function<void()> settleThem);
    void ReleaseChannel(const void* owner);

    explicit Impl(SessionOptions o);
    ~Impl();

    // Runs `work` on the session's thread within the timeout (see SessionThread). A call given up
    // on leaves the session dead. `during` ends the timeout's text ("while listing /x").
    // The channel's requests in flight are settled first, unless `owner` is theirs.
    void Call(const std::string& during, const std::function<void()>& work,
              std::optional<detail::Millis> bound = std::nullopt, const void* owner = nullptr);
    // Throws ConnectionLost when the session can no longer be used.
    void CheckAlive() const;
    // Shuts the connection down from another thread: a blocked call returns at once.
    void Cut();
    // `path` made absolute against the current directory; refuses NUL bytes, and an empty path
    // unless `emptyMeansHere` (a look at the current folder, never a change to it).
    std::string Resolve(const std::string& path, bool emptyMeansHere = false) const;
    // On the session's thread, after a failed SFTP call: the server's status as an error with
    // `what` ("could not remove /a") in front.
    [[noreturn]] void FailSftp(const std::string& what) const;
};

} // namespace zandrel::ssh
