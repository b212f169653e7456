// Bounded and cancellable at every stage: a server that never answers the handshake, one that
// freezes after the login, and transfers cancelled while data flows or while the server is frozen
// all end within 100 ms of the hook saying stop, or right after the timeout, with a reason.
#include "SshTestSupport.h"
#include "fixtures/FtpServer.h"
#include "fixtures/SilentServer.h"

namespace zandrel::ssh::testing {
namespace {

constexpr long long kCancelBoundMs = 100;

// A keepGoing hook that says stop from a given moment on, and keeps the figures a test checks.
class CancelAt {
public:
    explicit CancelAt(milliseconds after, std::function<void()> onCall = nullptr)
        : start_(Clock::now()), at_(start_ + after), onCall_(std::move(onCall)) {}
    std::function<bool()> Hook() {
        return [this] {
            const Clock::time_point now = Clock::now();
            if (last_ != Clock::time_point{} && !said_) longestGap_ = std::max(longestGap_, now - last_);
            last_ = now;
            if (onCall_) onCall_();
            if (now < at_) return true;
            if (!said_) saidAt_ = now;
            said_ = true;
            return false;
        };
    }
    bool Said() const { return said_; }
    long long SinceSaid() const { return MillisSince(saidAt_); }
    long long LongestGapMs() const { return std::chrono::duration_cast<milliseconds>(longestGap_).count(); }
    Clock::time_point Start() const { return start_; }

private:
    Clock::time_point start_, at_, last_{}, saidAt_{};
    Clock::duration longestGap_{};
    bool said_ = false;
    std::function<void()> onCall_;
};

class Bounds : public SshTest {};

TEST_F(Bounds, AHandshakeThatNeverComesIsCancelledOrTimesOut) {
    const struct {
        const char* name;
        test::SilentServer::Mode mode;
        bool cancel; // else: the timeout ends it
    } cases[] = {
        {"silent server, cancelled", test::SilentServer::Mode::Silent, true},
        {"silent server, timed out", test::SilentServer::Mode::Silent, false},
        {"connect never accepted, cancelled", test::SilentServer::Mode::Unaccepting, true},
        {"connect never accepted, timed out", test::SilentServer::Mode::Unaccepting, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::SilentServer silent(c.mode);
        SessionOptions o = Options();
        o.port = silent.Port();
        o.timeout = milliseconds(1000);
        CancelAt cancel(milliseconds(300));
        if (c.cancel) o.keepGoing = cancel.Hook();
        const Clock::time_point start = Clock::now();
        const SshError error = ErrorOf([&] { SftpSession{o}; });
        if (c.cancel) {
            EXPECT_EQ(error.Kind(), SshErrorKind::Cancelled) << error.what();
            ASSERT_TRUE(cancel.Said());
            EXPECT_LE(cancel.SinceSaid(), kCancelBoundMs);
            EXPECT_LE(cancel.LongestGapMs(), kCancelBoundMs) << "the hook ran at least every 50 ms";
        } else {
            EXPECT_EQ(error.Kind(), SshErrorKind::TimedOut) << error.what();
            EXPECT_NE(std::string(error.what()).find("no answer within 1 s while connecting to 127.0.0.1:"),
                      std::string::npos) << error.what();
            EXPECT_GE(MillisSince(start), 1000);
            EXPECT_LE(MillisSince(start), 1000 + kCancelBoundMs);
        }
    }
}

TEST_F(Bounds, ARefusedConnectionOrABadHostSaysWhyAtOnce) {
    const uint16_t closedPort = server_->Port();
    server_.reset(); // nobody listens there any more
    const struct {
        const char* name;
        std::string host;
        uint16_t port;
        SshErrorKind kind;
        const char* words;
    } cases[] = {
        {"refused", "127.0.0.1", closedPort, SshErrorKind::CannotConnect, "Connection refused"},
        {"no such name", "no-such-host.invalid", 22, SshErrorKind::NameNotResolved, "Failed to resolve hostname"},
        {"empty host", "", 22, SshErrorKind::InvalidArgument, "no host name"},
        {"user in the host", "root@127.0.0.1", 22, SshErrorKind::InvalidArgument, "root@127.0.0.1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SessionOptions o;
        o.host = c.host;
        o.port = c.port;
        o.timeout = milliseconds(5000);
        const Clock::time_point start = Clock::now();
        const SshError error = ErrorOf([&] { SftpSession{o}; });
        EXPECT_EQ(error.Kind(), c.kind) << error.what();
        EXPECT_NE(std::string(error.what()).find(c.words), std::string::npos) << error.what();
        // The resolver's own time is the system's; the rest answers at once.
        if (c.kind != SshErrorKind::NameNotResolved) {
            EXPECT_LE(MillisSince(start), 1000);
        }
    }
}

// SFTP chosen for a port where an FTP server answers (a port left from another transport): the
// greeting of the other protocol ends the connect at once, saying what answered, instead of a
// wait for an SSH banner that never comes.
TEST_F(Bounds, AServerThatGreetsInAnotherProtocolIsNamedAtOnce) {
    test::FtpServer ftp;
    for (int round = 0; round < 5; ++round) {
        SessionOptions o;
        o.host = "127.0.0.1";
        o.port = ftp.Port();
        o.timeout = milliseconds(10000);
        const Clock::time_point start = Clock::now();
        const SshError error = ErrorOf([&] { SftpSession{o}; });
        EXPECT_EQ(error.Kind(), SshErrorKind::CannotConnect) << error.what();
        EXPECT_NE(std::string(error.what()).find("answered \"220 "), std::string::npos) << error.what();
        EXPECT_NE(std::string(error.what()).find("which is no SSH server"), std::string::npos) << error.what();
        EXPECT_LE(MillisSince(start), 2000);
    }
}

TEST_F(Bounds, AServerThatFreezesDuringTheLoginIsCancelledOrTimesOut) {
    GiveDefaultKey();
    for (const bool cancelIt : {true, false}) {
        SCOPED_TRACE(cancelIt ? "cancelled" : "timed out");
        SessionOptions o = Options();
        o.timeout = milliseconds(1000);
        // The question about the (unknown) host key comes between the key exchange and the
        // login: the server stops there, and the login waits for an answer that never comes.
        o.askHostKey = [&](const HostKeyQuestion&) {
            server_->Freeze();
            return HostKeyAnswer::AcceptOnce;
        };
        CancelAt cancel(milliseconds(300));
        if (cancelIt) o.keepGoing = cancel.Hook();
        const Clock::time_point start = Clock::now();
        const SshError error = ErrorOf([&] { SftpSession{o}; });
        if (cancelIt) {
            EXPECT_EQ(error.Kind(), SshErrorKind::Cancelled) << error.what();
            EXPECT_LE(cancel.SinceSaid(), kCancelBoundMs);
        } else {
            EXPECT_EQ(error.Kind(), SshErrorKind::TimedOut) << error.what();
            EXPECT_NE(std::string(error.what()).find("no answer within 1 s during the login"), std::string::npos)
                << error.what();
            EXPECT_LE(MillisSince(start), 1000 + kCancelBoundMs);
        }
        server_->Thaw();
    }
}

TEST_F(Bounds, AServerFrozenAfterTheLoginTimesOutAndTheSessionEnds) {
    GiveDefaultKey();
    TrustServer();
    SessionOptions o = Options();
    o.timeout = milliseconds(1000);
    auto session = std::make_unique<SftpSession>(o);
    const std::string folder = server_->Files().string();
    server_->Freeze();
    const Clock::time_point start = Clock::now();
    const SshError error = ErrorOf([&] { session->List(folder); });
    EXPECT_EQ(error.Kind(), SshErrorKind::TimedOut) << error.what();
    EXPECT_NE(std::string(error.what()).find("no answer within 1 s while opening " + folder), std::string::npos)
        << error.what();
    EXPECT_GE(MillisSince(start), 1000);
    EXPECT_LE(MillisSince(start), 1000 + kCancelBoundMs);
    EXPECT_FALSE(session->Alive());
    const SshError later = ErrorOf([&] { session->Stat(folder); });
    EXPECT_EQ(later.Kind(), SshErrorKind::ConnectionLost);
    EXPECT_NE(std::string(later.what()).find("no answer within 1 s"), std::string::npos) << later.what();
    const Clock::time_point closing = Clock::now();
    session.reset();
    EXPECT_LE(MillisSince(closing), kCancelBoundMs) << "closing waits for nobody";
    server_->Thaw();
}

TEST_F(Bounds, ATransferIsCancelledWithin100MsWhetherDataFlowsOrTheServerIsFrozen) {
    GiveDefaultKey();
    TrustServer();
    const fs::path big = server_->Files() / "big", up = server_->Files() / "up";
    { std::ofstream(big) << ""; }
    fs::resize_file(big, uint64_t{8} << 30); // sparse: reads fast, costs no disk
    const struct {
        const char* name;
        bool upload;
        bool freeze;
    } cases[] = {
        {"download, data flowing", false, false},
        {"download, server frozen", false, true},
        {"upload, data flowing", true, false},
        {"upload, server frozen", true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        bool frozen = false;
        Clock::time_point freezeAt;
        CancelAt cancel(milliseconds(c.freeze ? 600 : 300), [&] {
            if (c.freeze && !frozen && Clock::now() >= freezeAt) {
                server_->Freeze();
                frozen = true;
            }
        });
        freezeAt = cancel.Start() + milliseconds(150);
        bool cleaningUp = false; // the hook lets the clean-up after the Cancel run
        SessionOptions o = Options();
        o.keepGoing = [&cleaningUp, hook = cancel.Hook()] { return cleaningUp || hook(); };
        auto session = std::make_unique<SftpSession>(o);
        std::unique_ptr<SftpWriter> writer;
        std::unique_ptr<SftpReader> reader;
        uint64_t moved = 0;
        const SshError error = ErrorOf([&] {
            std::vector<char> buffer(1 << 20);
            if (c.upload) {
                writer = session->OpenWrite(up.string());
                for (int i = 0; i < 8192; ++i) { // bounded: 8 GiB at most
                    writer->Write(buffer.data(), buffer.size());
                    moved += buffer.size();
                }
            } else {
                reader = session->OpenRead(big.string());
                while (const size_t n = reader->Read(buffer.data(), buffer.size())) moved += n;
            }
        });
        const long long sinceSaid = cancel.SinceSaid();
        EXPECT_EQ(error.Kind(), SshErrorKind::Cancelled) << error.what();
        EXPECT_TRUE(cancel.Said());
        EXPECT_LE(sinceSaid, kCancelBoundMs);
        EXPECT_LE(cancel.LongestGapMs(), kCancelBoundMs) << "the hook ran at least every 50 ms";
        EXPECT_GT(moved, 0u) << "the transfer was under way";
        if (c.freeze) {
            EXPECT_FALSE(session->Alive()) << "a frozen server's connection is cut";
        } else {
            // A server that answers keeps the session: the partial upload goes over it.
            EXPECT_TRUE(session->Alive());
            cleaningUp = true;
            if (session->Alive()) {
                if (writer) writer->Close();
                if (reader) reader->Close();
                if (c.upload) {
                    EXPECT_TRUE(fs::exists(up));
                    session->Remove(up.string());
                    EXPECT_FALSE(fs::exists(up));
                }
                EXPECT_EQ(session->Stat(big.string()).size, uint64_t{8} << 30);
            }
        }
        cleaningUp = false;
        const Clock::time_point closing = Clock::now();
        writer.reset();
        reader.reset();
        session.reset();
        EXPECT_LE(MillisSince(closing), kCancelBoundMs);
        if (frozen) server_->Thaw();
        fs::remove(up);
    }
}

} // namespace
} // namespace zandrel::ssh::testing
