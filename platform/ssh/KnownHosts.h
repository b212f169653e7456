#pragma once
// The server's host key, checked as OpenSSH checks it: against the user's and the system's
// known_hosts. A key that differs from the one known for the host is always refused, naming the
// file and line that hold the known key (libssh tells only that it differs). A key not known at
// all is put to the user when someone can be asked, and remembered in the user's file on request.
#include <optional>
#include <string>
#include <vector>

#include "platform/ssh/Connection.h"

namespace zandrel::ssh::detail {

// After the key exchange: returns when the key may be used, else throws (HostKeyChanged,
// HostKeyUnknown, HostKeyRejected, Cancelled).
void VerifyHostKey(Connection& c);

// The host as known_hosts names it: "host" on port 22, "[host]:port" elsewhere.
std::string KnownHostsName(const std::string& host, uint16_t port);

struct KnownHostLine {
    std::string file;
    int line = 0;
};
// The first line of `files` for `hostName` whose key is of the same type as `key` but another
// key (sameType), or of another type (!sameType). Hashed host names are matched too.
std::optional<KnownHostLine> FindConflictingLine(const Libssh& lib, const std::vector<std::string>& files,
                                                 const std::string& hostName, ssh_key key, bool sameType);

// Appends `entry` (one known_hosts line) to `file`, creating its folder with mode 0700 when it
// is missing, and starting on a line of its own. Throws Failed with the system's reason.
void AppendKnownHost(const std::string& file, const std::string& entry);

} // namespace zandrel::ssh::detail
