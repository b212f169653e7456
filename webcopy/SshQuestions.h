#pragma once
// The questions an SFTP login may have to put to a person: whether to trust a server's key the
// first time it is met, and the passphrase of an encrypted private key. A form asks them, in a
// window or at the terminal, whichever backend the program installed. With nobody to answer (no
// backend, or input that is no terminal) nothing is shown and the caller is told so, so that an
// unattended run fails at once with a reason instead of waiting. Handlers installed here answer
// instead of the form (an embedding program, stored answers, tests).
#include <functional>
#include <string>

namespace zandrel::webcopy {

struct HostKeyQuestion {
    std::string host;
    int port = 22;
    std::string keyType;     // "ssh-ed25519", "ecdsa-sha2-nistp256", ...
    std::string fingerprint; // "SHA256:..."
    std::string rememberIn;  // the known-hosts file an accepted and remembered key goes to
};

enum class HostKeyAnswer {
    AcceptOnce,        // trusted for this connection only
    AcceptAndRemember, // trusted, and written to the known-hosts file
    Refuse,            // the person said no (or cancelled)
    NobodyToAsk,       // no one could be asked
};

// Asks the installed handler, or shows the question.
HostKeyAnswer AskAboutHostKey(const HostKeyQuestion& question);
// Whether AskAboutHostKey can get an answer now: a handler is installed, or someone is there to
// answer the form.
bool CanAskAboutHostKeys();
using HostKeyHandler = std::function<HostKeyAnswer(const HostKeyQuestion&)>;
// Installs `handler` for the process and returns the previous one; an empty one brings the form
// back.
HostKeyHandler SetHostKeyHandler(HostKeyHandler handler);

// Asks for the passphrase of the private key in `keyFile`. False when the person cancelled or
// nobody can be asked (`passphrase` then unchanged). The answer is not kept anywhere.
bool AskPassphrase(const std::string& keyFile, std::string& passphrase);
using PassphraseHandler = std::function<bool(const std::string& keyFile, std::string& passphrase)>;
PassphraseHandler SetPassphraseHandler(PassphraseHandler handler);

} // namespace zandrel::webcopy
