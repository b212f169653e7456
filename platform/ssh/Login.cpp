#include "platform/ssh/Login.h"

#include <string.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <vector>

namespace zandrel::ssh::detail {
namespace {

// How many times a passphrase is asked for before the key is given up, as ssh does.
constexpr int kPassphraseAttempts = 3;

using KeyPtr = std::unique_ptr<ssh_key_struct, void (*)(ssh_key)>;

// A passphrase's buffer: room for any passphrase a person types without reallocating (so no copy
// of it is left behind in freed memory), wiped when it goes.
class SecretText {
public:
    SecretText() { text_.reserve(1024); }
    ~SecretText() { Wipe(); }
    SecretText(const SecretText&) = delete;
    SecretText& operator=(const SecretText&) = delete;
    std::string& Text() { return text_; }
    void Wipe() {
        ::explicit_bzero(text_.data(), text_.capacity());
        text_.clear();
    }

private:
    std::string text_;
};

// Passed to libssh's key import without a passphrase: notes that the key asked for one.
int NoteEncrypted(const char*, char*, size_t, int, int, void* userdata) {
    *static_cast<bool*>(userdata) = true;
    return -1;
}

struct Attempts {
    std::vector<std::string> publickey; // "agent", "~/.ssh/id_ed25519 (wrong passphrase)"...
    bool password = false;
    bool keyboardInteractive = false;
};

class Login {
public:
    explicit Login(Connection& c) : c_(c), lib_(c.lib) {}

    void Run() {
        int rc = Auth([&] { return lib_.sshUserauthNone(c_.ssh, nullptr); });
        if (rc == SSH_AUTH_SUCCESS) return;
        const int methods = lib_.sshUserauthList(c_.ssh, nullptr);
        if (methods & SSH_AUTH_METHOD_PUBLICKEY) {
            if (TryAgent()) return;
            for (const std::string& file : KeyFiles())
                if (TryKeyFile(file)) return;
        }
        if (!c_.options.password.empty()) {
            if ((methods & SSH_AUTH_METHOD_PASSWORD) && TryPassword()) return;
            if (!(methods & SSH_AUTH_METHOD_PASSWORD) && (methods & SSH_AUTH_METHOD_INTERACTIVE) &&
                TryKeyboardInteractive())
                return;
        }
        Refuse(methods);
    }

private:
    int Auth(const std::function<int()>& step) {
        const int rc = c_.Pump(step, SSH_AUTH_AGAIN, "during the login");
        if (rc == SSH_AUTH_ERROR)
            Fail(SshErrorKind::ConnectionLost, "the login to " + c_.Where() + " failed: " + c_.LibError());
        return rc;
    }

    bool TryAgent() {
        const char* socket = std::getenv("SSH_AUTH_SOCK");
        if (!socket || !*socket) return false;
        attempts_.publickey.push_back("agent");
        return Auth([&] { return lib_.sshUserauthAgent(c_.ssh, nullptr); }) == SSH_AUTH_SUCCESS;
    }

    std::vector<std::string> KeyFiles() const {
        if (!c_.options.keyFile.empty()) return {c_.options.keyFile};
        std::vector<std::string> files;
        for (const char* name : {"id_ed25519", "id_ecdsa", "id_rsa"}) {
            const std::string path = HomeFolder() + "/.ssh/" + name;
            if (::access(path.c_str(), F_OK) == 0) files.push_back(path);
        }
        return files;
    }

    bool TryKeyFile(const std::string& file) {
        const std::string shown = Tilde(file);
        // The public half, where it lies beside the key, tells whether the server would take the
        // key at all, before anyone is asked for a passphrase.
        ssh_key rawPublic = nullptr;
        if (lib_.sshPkiImportPubkeyFile((file + ".pub").c_str(), &rawPublic) == SSH_OK && rawPublic) {
            KeyPtr publicKey(rawPublic, lib_.sshKeyFree);
            if (Auth([&] { return lib_.sshUserauthTryPublickey(c_.ssh, nullptr, publicKey.get()); }) !=
                SSH_AUTH_SUCCESS) {
                attempts_.publickey.push_back(shown);
                return false;
            }
        }
        bool encrypted = false;
        ssh_key raw = nullptr;
        int rc = lib_.sshPkiImportPrivkeyFile(file.c_str(), nullptr, NoteEncrypted, &encrypted, &raw);
        if (rc != SSH_OK && !encrypted) {
            attempts_.publickey.push_back(shown + (::access(file.c_str(), R_OK) == 0 ? " (not a key libssh reads)"
                                                                                      : " (cannot be read)"));
            return false;
        }
        if (rc != SSH_OK) {
            if (!c_.options.askPassphrase) {
                attempts_.publickey.push_back(shown + " (encrypted, and nobody to ask for its passphrase)");
                return false;
            }
            SecretText passphrase;
            for (int attempt = 1; rc != SSH_OK; ++attempt) {
                if (attempt > kPassphraseAttempts) {
                    attempts_.publickey.push_back(shown + " (wrong passphrase)");
                    return false;
                }
                passphrase.Wipe();
                const bool given = c_.options.askPassphrase(PassphraseQuestion{shown, attempt}, passphrase.Text());
                if (!given) {
                    passphrase.Wipe();
                    attempts_.publickey.push_back(shown + " (no passphrase given)");
                    return false;
                }
                rc = lib_.sshPkiImportPrivkeyFile(file.c_str(), passphrase.Text().c_str(), nullptr, nullptr, &raw);
                passphrase.Wipe();
            }
        }
        KeyPtr key(raw, lib_.sshKeyFree);
        attempts_.publickey.push_back(shown);
        return Auth([&] { return lib_.sshUserauthPublickey(c_.ssh, nullptr, key.get()); }) == SSH_AUTH_SUCCESS;
    }

    bool TryPassword() {
        attempts_.password = true;
        return Auth([&] { return lib_.sshUserauthPassword(c_.ssh, nullptr, c_.options.password.c_str()); }) ==
               SSH_AUTH_SUCCESS;
    }

    // Servers that take passwords only through PAM's conversation ask one hidden question.
    bool TryKeyboardInteractive() {
        attempts_.keyboardInteractive = true;
        int rc = Auth([&] { return lib_.sshUserauthKbdint(c_.ssh, nullptr, nullptr); });
        for (int round = 0; rc == SSH_AUTH_INFO && round < 5; ++round) {
            const int prompts = lib_.sshUserauthKbdintGetnprompts(c_.ssh);
            if (prompts == 1) {
                char echo = 1;
                lib_.sshUserauthKbdintGetprompt(c_.ssh, 0, &echo);
                if (echo) return false; // a question that is not the password
                if (lib_.sshUserauthKbdintSetanswer(c_.ssh, 0, c_.options.password.c_str()) < 0) return false;
            } else if (prompts != 0) {
                return false;
            }
            rc = Auth([&] { return lib_.sshUserauthKbdint(c_.ssh, nullptr, nullptr); });
        }
        return rc == SSH_AUTH_SUCCESS;
    }

    [[noreturn]] void Refuse(int methods) const {
        std::vector<std::string> tried;
        if (!attempts_.publickey.empty()) {
            std::string keys;
            for (const std::string& key : attempts_.publickey) keys += (keys.empty() ? "" : ", ") + key;
            tried.push_back("publickey (" + keys + ")");
        }
        if (attempts_.password) tried.push_back("password");
        if (attempts_.keyboardInteractive) tried.push_back("keyboard-interactive (password)");
        std::vector<std::string> offered;
        if (methods & SSH_AUTH_METHOD_PUBLICKEY) offered.push_back("publickey");
        if (methods & SSH_AUTH_METHOD_PASSWORD) offered.push_back("password");
        if (methods & SSH_AUTH_METHOD_INTERACTIVE) offered.push_back("keyboard-interactive");
        if (methods & SSH_AUTH_METHOD_GSSAPI_MIC) offered.push_back("gssapi-with-mic");
        const auto join = [](const std::vector<std::string>& parts) {
            std::string text;
            for (const std::string& part : parts) text += (text.empty() ? "" : ", ") + part;
            return text;
        };
        std::string reason = c_.Where() + " refused the login of " +
                             (c_.options.user.empty() ? std::string("the current user") : "\"" + c_.options.user + "\"");
        reason += tried.empty() ? "; no login method could be tried" : "; tried " + join(tried);
        reason += offered.empty() ? "" : "; the server accepts " + join(offered);
        if (c_.options.password.empty() && (methods & (SSH_AUTH_METHOD_PASSWORD | SSH_AUTH_METHOD_INTERACTIVE)))
            reason += " (no password was given)";
        Fail(SshErrorKind::LoginRefused, reason);
    }

    Connection& c_;
    const Libssh& lib_;
    Attempts attempts_;
};

} // namespace

void LogIn(Connection& c) { Login(c).Run(); }

} // namespace zandrel::ssh::detail
