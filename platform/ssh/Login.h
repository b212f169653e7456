#pragma once
// Logging in as OpenSSH users expect: the agent first (when SSH_AUTH_SOCK names one), then a key
// file (the one named in the options, else ~/.ssh/id_ed25519, id_ecdsa and id_rsa, those that
// exist), asking for an encrypted key's passphrase, then the password. A refused login names
// every method tried and what the server accepts.
#include "platform/ssh/Connection.h"

namespace zandrel::ssh::detail {

// After the host key was accepted. Throws LoginRefused, Cancelled or TimedOut.
void LogIn(Connection& c);

} // namespace zandrel::ssh::detail
