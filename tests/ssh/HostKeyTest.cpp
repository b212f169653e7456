// The server's host key, checked as OpenSSH does: a known key connects without a question, an
// unknown one is asked about (or refused with the way to add it when nobody can be asked), and a
// changed one is refused, naming the file and line of the key it contradicts.
#include "SshTestSupport.h"

namespace zandrel::ssh::testing {
namespace {

class HostKeys : public SshTest {
protected:
    void SetUp() override {
        SshTest::SetUp();
        if (IsSkipped()) return;
        GiveDefaultKey();
    }
    // Another ed25519 key for the server's name: what known_hosts holds when the key changed.
    std::string ImpostorLine() {
        const std::string other = test::MakeSshKey(home_ / "other_host_key", "");
        return "[127.0.0.1]:" + std::to_string(server_->Port()) + " " + other.substr(0, other.rfind(' '));
    }
    // A key of another type for the server's name: the server (ed25519 only) cannot show it.
    std::string OtherTypeLine() {
        const fs::path key = home_ / "ecdsa_host_key";
        fs::remove(key);
        fs::remove(key.string() + ".pub");
        EXPECT_EQ(std::system(("ssh-keygen -q -t ecdsa -N '' -f '" + key.string() + "' >/dev/null 2>&1").c_str()), 0);
        const std::string line = test::ReadWholeFile(key.string() + ".pub");
        return "[127.0.0.1]:" + std::to_string(server_->Port()) + " " + line.substr(0, line.rfind(' '));
    }
};

struct Asked {
    int count = 0;
    HostKeyQuestion question;
};

std::function<HostKeyAnswer(const HostKeyQuestion&)> Answering(HostKeyAnswer answer, Asked& asked) {
    return [answer, &asked](const HostKeyQuestion& q) {
        ++asked.count;
        asked.question = q;
        return answer;
    };
}

TEST_F(HostKeys, AKnownKeyConnectsWithoutAQuestionFromEitherFile) {
    for (const bool global : {false, true}) {
        SCOPED_TRACE(global ? "system file" : "user file");
        fs::remove(KnownHosts());
        SessionOptions o = Options();
        std::ofstream(global ? fs::path(o.globalKnownHosts) : KnownHosts())
            << "# hosts\nother.example ssh-ed25519 AAAAC3NzaC1lZDI1NTE5AAAAIOMqqnkVzrm0SdG6UOoqKLsabgH5C9okWi0dh2l9GKJl\n"
            << server_->KnownHostsLine() << "\n";
        Asked asked;
        o.askHostKey = Answering(HostKeyAnswer::Cancel, asked);
        EXPECT_NO_THROW(SftpSession{o});
        EXPECT_EQ(asked.count, 0);
        fs::remove(o.globalKnownHosts);
    }
}

TEST_F(HostKeys, AnUnknownKeyIsAskedAboutOrRefusedWithTheWayToAddIt) {
    const std::string name = "[127.0.0.1]:" + std::to_string(server_->Port());
    const struct {
        const char* name;
        std::optional<HostKeyAnswer> answer; // nullopt: nobody to ask
        std::optional<SshErrorKind> failure;
        bool remembered;
    } cases[] = {
        {"nobody to ask", std::nullopt, SshErrorKind::HostKeyUnknown, false},
        {"cancel", HostKeyAnswer::Cancel, SshErrorKind::HostKeyRejected, false},
        {"accept once", HostKeyAnswer::AcceptOnce, std::nullopt, false},
        {"accept and remember", HostKeyAnswer::AcceptAndRemember, std::nullopt, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(SshFolder()); // remembering makes the folder too
        GiveDefaultKeyAgain();
        fs::remove(KnownHosts());
        SessionOptions o = Options();
        Asked asked;
        if (c.answer) o.askHostKey = Answering(*c.answer, asked);
        if (c.failure) {
            const SshError error = ErrorOf([&] { SftpSession{o}; });
            EXPECT_EQ(error.Kind(), *c.failure) << error.what();
            EXPECT_NE(std::string(error.what()).find(server_->Fingerprint()), std::string::npos) << error.what();
            if (!c.answer) {
                const std::string how = "ssh-keyscan -p " + std::to_string(server_->Port()) + " 127.0.0.1 >> ~/.ssh/known_hosts";
                EXPECT_NE(std::string(error.what()).find(how), std::string::npos) << error.what();
            }
        } else {
            SftpSession session(o);
            EXPECT_FALSE(session.HomeDirectory().empty());
        }
        if (c.answer) {
            EXPECT_EQ(asked.count, 1);
            EXPECT_EQ(asked.question.host, name);
            EXPECT_EQ(asked.question.keyType, "ssh-ed25519");
            EXPECT_EQ(asked.question.fingerprint, server_->Fingerprint());
            EXPECT_EQ(asked.question.knownHostsFile, KnownHosts().string());
        }
        EXPECT_EQ(fs::exists(KnownHosts()), c.remembered);
        if (c.remembered) {
            EXPECT_EQ(fs::status(SshFolder()).permissions() & fs::perms::all, fs::perms::owner_all);
            // The next connect knows the key and asks nothing.
            Asked again;
            o.askHostKey = Answering(HostKeyAnswer::Cancel, again);
            EXPECT_NO_THROW(SftpSession{o});
            EXPECT_EQ(again.count, 0);
        }
    }
}

TEST_F(HostKeys, RememberingAppendsOnALineOfItsOwn) {
    // A known_hosts whose last line has no line end, as hand-edited files often have.
    std::ofstream(KnownHosts()) << "# my hosts";
    SessionOptions o = Options();
    Asked asked;
    o.askHostKey = Answering(HostKeyAnswer::AcceptAndRemember, asked);
    SftpSession{o};
    const std::string text = test::ReadWholeFile(KnownHosts());
    EXPECT_EQ(text.rfind("# my hosts\n[127.0.0.1]:", 0), 0u) << text;
    o.askHostKey = nullptr;
    EXPECT_NO_THROW(SftpSession{o}) << "the remembered line is read back";
}

TEST_F(HostKeys, AChangedKeyIsRefusedNamingTheFileAndLine) {
    const struct {
        const char* name;
        bool global;
        bool hashed;
        bool otherType; // the known key is of a type the server does not offer
        std::string expectedPlace;
    } cases[] = {
        {"user file", false, false, false, "~/.ssh/known_hosts line 3"},
        {"system file, hashed names", true, true, false, "~/global_known_hosts line 3"},
        {"only a key of another type known", false, false, true, "~/.ssh/known_hosts line 3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SessionOptions o = Options();
        const fs::path file = c.global ? fs::path(o.globalKnownHosts) : KnownHosts();
        fs::remove(KnownHosts());
        fs::remove(o.globalKnownHosts);
        std::ofstream(file) << "# hosts\n"
                            << "other.example ssh-ed25519 AAAAC3NzaC1lZDI1NTE5AAAAIOMqqnkVzrm0SdG6UOoqKLsabgH5C9okWi0dh2l9GKJl\n"
                            << (c.otherType ? OtherTypeLine() : ImpostorLine()) << "\n";
        if (c.hashed) {
            ASSERT_EQ(std::system(("ssh-keygen -q -H -f '" + file.string() + "' >/dev/null 2>&1").c_str()), 0);
            ASSERT_EQ(test::ReadWholeFile(file).find("[127.0.0.1]"), std::string::npos) << "names hashed";
        }
        Asked asked;
        o.askHostKey = Answering(HostKeyAnswer::AcceptAndRemember, asked);
        const SshError error = ErrorOf([&] { SftpSession{o}; });
        EXPECT_EQ(error.Kind(), SshErrorKind::HostKeyChanged) << error.what();
        const std::string text = error.what();
        EXPECT_NE(text.find(c.expectedPlace), std::string::npos) << text;
        EXPECT_NE(text.find(server_->Fingerprint()), std::string::npos) << text;
        EXPECT_NE(text.find("ssh-keygen -R '[127.0.0.1]:" + std::to_string(server_->Port()) + "'"), std::string::npos)
            << text;
        EXPECT_EQ(asked.count, 0) << "a changed key is never put to the user";
    }
}

} // namespace
} // namespace zandrel::ssh::testing
