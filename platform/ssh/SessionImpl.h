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
    int filesWithRequestsOut = 0; // readers with reads in flight (see RenameReplacing)

    explicit Impl(SessionOptions o);
    ~Impl();

    // Runs `work` on the session's thread within the timeout (see SessionThread). A call given up
    // on leaves the session dead. `during` ends the timeout's text ("while listing /x").
    void Call(const std::string& during, const std::function<void()>& work,
              std::optional<detail::Millis> bound = std::nullopt);
    // Throws ConnectionLost when the session can no longer be used.
    void CheckAlive() const;
    // Shuts the connection down from another thread: a blocked call returns at once.
    void Cut();
    // `path` made absolute against the current directory; refuses NUL bytes.
    std::string Resolve(const std::string& path) const;
    // On the session's thread, after a failed SFTP call: the server's status as an error with
    // `what` ("could not remove /a") in front.
    [[noreturn]] void FailSftp(const std::string& what) const;
};

} // namespace zandrel::ssh
