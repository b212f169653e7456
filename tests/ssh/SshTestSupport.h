#pragma once
// What the SFTP tests share: a real sshd that lets the current user in with a key of the test's
// own, and a private home folder per test (its ~/.ssh, its known_hosts), so that no test reads or
// writes the developer's keys, agent or known hosts.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

#include "fixtures/ScriptProcess.h"
#include "fixtures/SshServer.h"
#include "platform/ssh/Sftp.h"

namespace zandrel::ssh::testing {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

inline std::string RandomBytes(size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    uint32_t state = seed * 2654435761u + 1;
    for (char& ch : bytes) {
        state = state * 1664525u + 1013904223u;
        ch = static_cast<char>(state >> 24);
    }
    return bytes;
}

inline long long MillisSince(Clock::time_point start) {
    return std::chrono::duration_cast<milliseconds>(Clock::now() - start).count();
}

// Sets an environment variable for the life of the object, and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value) ::setenv(name, value, 1);
        else ::unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_) ::setenv(name_, old_->c_str(), 1);
        else ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

class SshTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string why = test::SshServer::Unavailable(); !why.empty()) GTEST_SKIP() << why;
        home_ = test::MakeTestWorkDir("zandrel-ssh-home-");
        homeEnv_ = std::make_unique<ScopedEnv>("HOME", home_.c_str());
        agentEnv_ = std::make_unique<ScopedEnv>("SSH_AUTH_SOCK", nullptr);
        fs::create_directories(SshFolder());
        fs::permissions(SshFolder(), fs::perms::owner_all);
        server_ = std::make_unique<test::SshServer>();
    }
    void TearDown() override {
        server_.reset();
        agentEnv_.reset();
        homeEnv_.reset();
        std::error_code ignored;
        if (!home_.empty()) fs::remove_all(home_, ignored);
    }

    fs::path SshFolder() const { return home_ / ".ssh"; }
    fs::path KnownHosts() const { return SshFolder() / "known_hosts"; }
    // The usual key, unencrypted and authorized, so the default login works.
    void GiveDefaultKey(const std::string& passphrase = "") {
        server_->Authorize(test::MakeSshKey(SshFolder() / "id_ed25519", passphrase));
    }
    // After ~/.ssh was removed: the same key put back.
    void GiveDefaultKeyAgain() {
        if (!fs::exists(SshFolder())) {
            fs::create_directories(SshFolder());
            fs::permissions(SshFolder(), fs::perms::owner_all);
        }
        GiveDefaultKey();
    }
    void TrustServer() { std::ofstream(KnownHosts(), std::ios::app) << server_->KnownHostsLine() << "\n"; }

    SessionOptions Options() const {
        SessionOptions o;
        o.host = "127.0.0.1";
        o.port = server_->Port();
        o.user = server_->User();
        // Never the machine's own list of hosts.
        o.globalKnownHosts = (home_ / "global_known_hosts").string();
        o.timeout = milliseconds(10000);
        return o;
    }
    // A session on the usual key and a trusted host key.
    std::unique_ptr<SftpSession> Connect() {
        GiveDefaultKey();
        TrustServer();
        return std::make_unique<SftpSession>(Options());
    }

    fs::path home_;
    std::unique_ptr<ScopedEnv> homeEnv_, agentEnv_;
    std::unique_ptr<test::SshServer> server_;
};

// The error a call throws; fails the test when it does not throw.
template <typename Call>
SshError ErrorOf(Call call) {
    try {
        call();
    } catch (const SshError& e) {
        return e;
    }
    ADD_FAILURE() << "the call did not fail";
    return SshError(SshErrorKind::Failed, "(no error)");
}

} // namespace zandrel::ssh::testing
