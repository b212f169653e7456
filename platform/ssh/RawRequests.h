#pragma once
// SFTP requests libssh 0.10 has no call for, sent on the session's SFTP channel between libssh's
// own requests:
//  - OpenSSH's posix-rename@openssh.com, a rename that replaces its target atomically;
//  - writes kept in flight several at a time. libssh's sftp_write waits for each write's answer
//    before the next one goes out, so the link's round trip would bound every upload (252 KiB per
//    round trip: 5 MB/s at 50 ms).
// Only status replies come back to these, and every one is read before libssh makes its next
// request (the session's settle step), so libssh never meets a reply it did not ask for; and
// none goes out while libssh has requests of its own in flight (a download's reads).
#include <cstdint>
#include <string>

#include "platform/ssh/SessionImpl.h"

namespace zandrel::ssh::detail {

struct RawStatus {
    uint32_t id = 0;
    uint32_t code = 0;
    std::string message;
};

// On the session's thread. Each returns the request's id; a broken channel throws ConnectionLost
// with `what` in front.
uint32_t SendPosixRename(const SftpSession::Impl& s, const std::string& from, const std::string& to,
                         const std::string& what);
uint32_t SendWrite(const SftpSession::Impl& s, sftp_file file, uint64_t offset, const char* data, uint32_t size,
                   const std::string& what);
// The next reply on the channel, which must be a status.
RawStatus ReadStatus(const SftpSession::Impl& s, const std::string& what);
// The error a refusing status stands for.
SshError StatusError(const RawStatus& status, const std::string& what);

} // namespace zandrel::ssh::detail
