// Logins as OpenSSH users expect: agent, named or usual key file, an encrypted key's passphrase
// asked for (and asked again when wrong), then the password; a refused login names what was
// tried and never shows a secret. Password logins that succeed would need a system user with a
// password, which tests never make: the password is tested on its refusal.
#include <signal.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "SshTestSupport.h"

namespace zandrel::ssh::testing {
namespace {

constexpr const char* kPassphrase = "correct horse 7";

class Logins : public SshTest {
protected:
    void SetUp() override {
        SshTest::SetUp();
        if (IsSkipped()) return;
        TrustServer();
    }
};

struct PassphraseLog {
    std::vector<PassphraseQuestion> asked;
};

std::function<bool(const PassphraseQuestion&, std::string&)> Giving(std::string passphrase, PassphraseLog& log) {
    return [passphrase, &log](const PassphraseQuestion& q, std::string& out) {
        log.asked.push_back(q);
        out = passphrase;
        return true;
    };
}

TEST_F(Logins, KeysLogInAndEncryptedOnesAskForTheirPassphrase) {
    const struct {
        const char* name;
        const char* keyName;     // in ~/.ssh, or elsewhere when `named`
        bool named;              // given in the options
        const char* passphrase;  // of the key; empty: unencrypted
        const char* answer;      // what the callback gives; nullptr: no callback
        int asked;
    } cases[] = {
        {"usual key", "id_ed25519", false, "", nullptr, 0},
        {"named key outside ~/.ssh", "../deploy_key", true, "", nullptr, 0},
        {"encrypted usual key", "id_ed25519", false, kPassphrase, kPassphrase, 1},
        {"encrypted named key", "../deploy_key", true, kPassphrase, kPassphrase, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path key = SshFolder() / c.keyName;
        server_->Authorize(test::MakeSshKey(key, c.passphrase));
        SessionOptions o = Options();
        if (c.named) o.keyFile = key.string();
        PassphraseLog log;
        if (c.answer) o.askPassphrase = Giving(c.answer, log);
        EXPECT_NO_THROW(SftpSession{o});
        ASSERT_EQ(static_cast<int>(log.asked.size()), c.asked);
        if (c.asked) {
            EXPECT_EQ(log.asked[0].keyFile, c.named ? "~/.ssh/../deploy_key" : "~/.ssh/id_ed25519") << "as shown";
            EXPECT_EQ(log.asked[0].attempt, 1);
        }
        fs::remove(key);
        fs::remove(key.string() + ".pub");
    }
}

TEST_F(Logins, ARefusedLoginNamesWhatWasTriedAndNoSecret) {
    const std::string password = "pw-never-shown-9";
    const struct {
        const char* name;
        const char* passphrase; // of ~/.ssh/id_ed25519; nullptr: no key file
        bool authorized;
        bool keepPublicHalf;     // id_ed25519.pub beside the key
        const char* answer;      // passphrase given; nullptr: no callback
        int asked;
        std::string tried;
    } cases[] = {
        {"no key, password refused", nullptr, false, true, nullptr, 0, "tried password; the server accepts publickey, password"},
        {"key not authorized: its passphrase is never asked", kPassphrase, false, true, kPassphrase, 0,
         "tried publickey (~/.ssh/id_ed25519), password"},
        {"wrong passphrase, three times", kPassphrase, true, false, "wrong guess", 3,
         "tried publickey (~/.ssh/id_ed25519 (wrong passphrase)), password"},
        {"encrypted, nobody to ask", kPassphrase, true, false, nullptr, 0,
         "publickey (~/.ssh/id_ed25519 (encrypted, and nobody to ask for its passphrase))"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path key = SshFolder() / "id_ed25519";
        fs::remove(key);
        fs::remove(key.string() + ".pub");
        if (c.passphrase) {
            const std::string line = test::MakeSshKey(key, c.passphrase);
            if (c.authorized) server_->Authorize(line);
            if (!c.keepPublicHalf) fs::remove(key.string() + ".pub");
        }
        SessionOptions o = Options();
        o.password = password;
        PassphraseLog log;
        if (c.answer) o.askPassphrase = Giving(c.answer, log);
        const SshError error = ErrorOf([&] { SftpSession{o}; });
        const std::string text = error.what();
        EXPECT_EQ(error.Kind(), SshErrorKind::LoginRefused) << text;
        EXPECT_NE(text.find(c.tried), std::string::npos) << text;
        EXPECT_NE(text.find("\"" + server_->User() + "\""), std::string::npos) << text;
        EXPECT_EQ(text.find(password), std::string::npos) << text;
        EXPECT_EQ(text.find(kPassphrase), std::string::npos) << text;
        EXPECT_EQ(text.find("wrong guess"), std::string::npos) << text;
        ASSERT_EQ(static_cast<int>(log.asked.size()), c.asked);
        for (int i = 0; i < c.asked; ++i) EXPECT_EQ(log.asked[static_cast<size_t>(i)].attempt, i + 1);
    }
}

// An ssh-agent of the test's own, holding an encrypted key that ssh-add loaded with the
// passphrase from an askpass program (never on a command line).
class Agent {
public:
    explicit Agent(const fs::path& dir) : socket_((dir / "agent.sock").string()) {
        pid_ = ::fork();
        if (pid_ == 0) {
            ::setpgid(0, 0);
            const int null = ::open("/dev/null", O_RDWR);
            ::dup2(null, 1);
            ::dup2(null, 2);
            ::execl("/usr/bin/ssh-agent", "ssh-agent", "-D", "-a", socket_.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        for (int i = 0; i < 200 && !fs::exists(socket_); ++i) std::this_thread::sleep_for(milliseconds(10));
    }
    ~Agent() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    const std::string& Socket() const { return socket_; }

    // True when ssh-add took the key.
    bool Add(const fs::path& key, const std::string& passphrase, const fs::path& dir) const {
        const fs::path secret = dir / "passphrase", askpass = dir / "askpass.sh";
        std::ofstream(secret) << passphrase << "\n";
        fs::permissions(secret, fs::perms::owner_read | fs::perms::owner_write);
        std::ofstream(askpass) << "#!/bin/sh\ncat '" << secret.string() << "'\n";
        fs::permissions(askpass, fs::perms::owner_all);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::setenv("SSH_AUTH_SOCK", socket_.c_str(), 1);
            ::setenv("SSH_ASKPASS", askpass.c_str(), 1);
            ::setenv("SSH_ASKPASS_REQUIRE", "force", 1);
            ::unsetenv("DISPLAY");
            const int null = ::open("/dev/null", O_RDWR);
            ::dup2(null, 0);
            ::dup2(null, 1);
            ::dup2(null, 2);
            ::execl("/usr/bin/ssh-add", "ssh-add", key.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        fs::remove(secret);
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

private:
    std::string socket_;
    pid_t pid_ = -1;
};

TEST_F(Logins, TheAgentComesFirstAndNeedsNoPassphrase) {
    if (::access("/usr/bin/ssh-agent", X_OK) != 0 || ::access("/usr/bin/ssh-add", X_OK) != 0)
        GTEST_SKIP() << "ssh-agent or ssh-add is not installed (Debian package openssh-client)";
    const fs::path keys = home_ / "keys";
    fs::create_directories(keys);
    server_->Authorize(test::MakeSshKey(keys / "agent_key", kPassphrase));
    Agent agent(home_);
    ASSERT_TRUE(fs::exists(agent.Socket()));
    ASSERT_TRUE(agent.Add(keys / "agent_key", kPassphrase, home_));
    // An unauthorized encrypted key in ~/.ssh would be asked about if the agent were not tried first.
    test::MakeSshKey(SshFolder() / "id_ed25519", "other");
    fs::remove(SshFolder() / "id_ed25519.pub");

    ScopedEnv agentSocket("SSH_AUTH_SOCK", agent.Socket().c_str());
    SessionOptions o = Options();
    PassphraseLog log;
    o.askPassphrase = Giving("other", log);
    EXPECT_NO_THROW(SftpSession{o});
    EXPECT_TRUE(log.asked.empty());

    // An agent without the key: listed among the methods tried.
    fs::remove_all(keys);
    fs::create_directories(home_ / "empty");
    Agent empty(home_ / "empty");
    ASSERT_TRUE(fs::exists(empty.Socket()));
    ScopedEnv emptySocket("SSH_AUTH_SOCK", empty.Socket().c_str());
    o.askPassphrase = nullptr;
    const SshError error = ErrorOf([&] { SftpSession{o}; });
    EXPECT_EQ(error.Kind(), SshErrorKind::LoginRefused);
    EXPECT_NE(std::string(error.what()).find("publickey (agent, ~/.ssh/id_ed25519"), std::string::npos) << error.what();
}

} // namespace
} // namespace zandrel::ssh::testing
