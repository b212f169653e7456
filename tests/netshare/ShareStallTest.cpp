// Share servers that keep a call waiting: a Cancel (or Ctrl-C) ends the copy at once, whatever
// the call waits for, and a server that stays silent fails the call with its timeout as the
// reason. The servers: one that never completes a connection, one that accepts and then says
// nothing (both need no smbd), and a real smbd stopped in the middle of a session.
#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "ShareCopyFixture.h"
#include "fixtures/SilentServer.h"
#include "platform/netshare/NetShare.h"
#include "platform/ui/Interrupt.h"

namespace zandrel::webcopy::testing {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The share calls of the component may each wait 30 s; a run that ends well inside that time
// was ended by the Cancel, not by the server.
constexpr auto kWellBeforeTheTimeout = std::chrono::seconds(10);

// Gives a Ctrl-C once `ready` says the client is waiting (and a little after, so that it is in
// its wait), from another thread, as the terminal would; bounded to 10 s.
class Canceller {
public:
    template <typename Ready>
    explicit Canceller(Ready ready)
        : thread_([this, ready] {
              for (int i = 0; i < 1000 && !stop_; ++i) {
                  if (ready()) {
                      std::this_thread::sleep_for(milliseconds(200));
                      ui::RequestInterrupt();
                      return;
                  }
                  std::this_thread::sleep_for(milliseconds(10));
              }
          }) {}
    ~Canceller() {
        stop_ = true;
        thread_.join();
        ui::TakeInterrupt();
    }

private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

TEST(ShareStall, ACancelWhileTheServerIsSilentEndsTheCopyAtOnce) {
    const fs::path out = test::MakeTestWorkDir("zandrel-sharestall-");
    for (const auto mode : {test::SilentServer::Mode::Unaccepting, test::SilentServer::Mode::Silent}) {
        const bool accepts = mode == test::SilentServer::Mode::Silent;
        SCOPED_TRACE(accepts ? "accepts, then silent" : "never accepts");
        test::SilentServer server(mode);
        WriteLocal(out / "f.txt", "old");
        FtpWebCopy wc;
        TZandrelWebCopyItem& item = wc.Items.Add();
        item.Protocol = wpFile;
        item.FTPHost = "smb://127.0.0.1:" + std::to_string(server.Port()) + "/files";
        item.FTPUserID = "user";
        item.FTPPassword = "password";
        item.URL = "f.txt";
        item.TargetDir = out.string();
        wc.OnConnectError = [&](TZandrelWebCopy&) { wc.log.push_back("connecterror " + wc.LastErrorReason()); };
        const auto start = Clock::now();
        {
            int polls = 0;
            Canceller canceller([&] { return accepts ? server.Accepted() > 0 : ++polls > 20; });
            wc.Execute();
        }
        EXPECT_LT(Clock::now() - start, kWellBeforeTheTimeout);
        EXPECT_TRUE(wc.Items[0].Cancelled());
        EXPECT_FALSE(wc.Items[0].Success());
        // A Cancel is no connection error.
        EXPECT_EQ(wc.log, Log({"start 0", "copydone"}));
        EXPECT_EQ(ReadLocal(out / "f.txt"), "old");
        EXPECT_EQ(Names(out), std::vector<std::string>{"f.txt"});
    }
    fs::remove_all(out);
}

TEST(ShareStall, ASilentServerFailsTheConnectionWithItsTimeout) {
    for (const auto mode : {test::SilentServer::Mode::Unaccepting, test::SilentServer::Mode::Silent}) {
        test::SilentServer server(mode);
        std::string why;
        auto share = netshare::ShareConnection::Connect("smb://127.0.0.1:" + std::to_string(server.Port()) + "/files",
                                                        "user", "password", 1000, why);
        EXPECT_EQ(share, nullptr);
        EXPECT_NE(why.find("did not answer within 1 s"), std::string::npos) << why;
    }
}

TEST_F(ShareCopy, AServerThatStopsAnsweringFailsTheCallWithItsTimeout) {
    WriteLocal(server_->Root() / "big.bin", Bytes(4 * 1024 * 1024));
    std::string why;
    auto share = netshare::ShareConnection::Connect(server_->ShareUrl(), server_->User(), server_->Password(), 1000,
                                                    why);
    ASSERT_NE(share, nullptr) << why;
    auto file = share->OpenRead("big.bin", why);
    ASSERT_NE(file, nullptr) << why;
    std::vector<char> block(256 * 1024);
    ASSERT_EQ(file->Read(block.data(), block.size(), why), static_cast<int64_t>(block.size())) << why;

    server_->Freeze();
    EXPECT_EQ(file->Read(block.data(), block.size(), why), -1);
    EXPECT_NE(why.find("did not answer within 1 s"), std::string::npos) << why;
    // The connection is given up: later calls fail at once, and closing tells nothing more.
    EXPECT_EQ(file->Read(block.data(), block.size(), why), -1);
    EXPECT_NE(why.find("closed"), std::string::npos) << why;
    file.reset();
    EXPECT_TRUE(share->Disconnect(why));
    share.reset();

    // A new connection to the stopped server times out too; once it answers again, it works.
    EXPECT_EQ(netshare::ShareConnection::Connect(server_->ShareUrl(), server_->User(), server_->Password(), 1000, why),
              nullptr);
    EXPECT_NE(why.find("did not answer within 1 s"), std::string::npos) << why;
    server_->Thaw();
    share = netshare::ShareConnection::Connect(server_->ShareUrl(), server_->User(), server_->Password(), 5000, why);
    ASSERT_NE(share, nullptr) << why;
    EXPECT_NE(share->OpenRead("big.bin", why), nullptr) << why;
}

TEST_F(ShareCopy, ACancelWhileAReadWaitsOnAStoppedServerKeepsTheOldFile) {
    const std::string content = Bytes(4 * 1024 * 1024);
    WriteLocal(server_->Root() / "big.bin", content);
    WriteLocal(local_ / "big.bin", "old");
    FtpWebCopy wc;
    wc.OnConnectError = [&](TZandrelWebCopy&) { wc.log.push_back("connecterror " + wc.LastErrorReason()); };
    std::atomic<bool> frozen{false};
    wc.OnCopyProgress = [&](TZandrelWebCopy&, int, uint64_t, uint64_t) {
        if (!frozen.exchange(true)) server_->Freeze(); // after the first block
    };
    Add(wc, server_->ShareUrl(), "big.bin", server_->Password());
    const auto start = Clock::now();
    {
        Canceller canceller([&] { return frozen.load(); });
        wc.Execute();
    }
    EXPECT_LT(Clock::now() - start, kWellBeforeTheTimeout);
    server_->Thaw();
    EXPECT_TRUE(wc.Items[0].Cancelled());
    EXPECT_FALSE(wc.Items[0].Success());
    EXPECT_EQ(wc.log, Log({"start 0", "copydone"}));
    EXPECT_EQ(ReadLocal(local_ / "big.bin"), "old");
    EXPECT_EQ(Names(local_), std::vector<std::string>{"big.bin"}); // no temporary file left

    // The call given up on leaves nothing in the way of the next copy.
    FtpWebCopy again;
    Add(again, server_->ShareUrl(), "big.bin", server_->Password());
    again.Execute();
    EXPECT_TRUE(again.Items[0].Success()) << ::testing::PrintToString(again.log);
    EXPECT_EQ(ReadLocal(local_ / "big.bin"), content);
}

} // namespace
} // namespace zandrel::webcopy::testing
