#pragma once
// OpenSSH's posix-rename@openssh.com: a rename that replaces the target atomically, as rename(2)
// does, so a file is never missing under its final name. libssh 0.10 offers no call for it (nor
// for any extended request), so the request goes out on the session's SFTP channel here, between
// two of libssh's own requests, when no reply of libssh's is outstanding.
#include <string>

#include "platform/ssh/SessionImpl.h"

namespace zandrel::ssh::detail {

// On the session's thread. Throws with `what` in front of the server's reason.
void PosixRename(const SftpSession::Impl& s, const std::string& from, const std::string& to, const std::string& what);

} // namespace zandrel::ssh::detail
