// A server that stops answering must neither hang the caller nor hold back a Cancel.
#include "InetTestSupport.h"

namespace zandrel::inet::testing {
namespace {

class IdleHookScope {
public:
    explicit IdleHookScope(IdleHook hook) : previous_(SetIdleHook(std::move(hook))) {}
    ~IdleHookScope() { SetIdleHook(std::move(previous_)); }

private:
    IdleHook previous_;
};

struct StalledWrite {
    bool failed = false;
    DWORD error = 0;
    double secondsAfterLastWrite = 0; // how long the failing write took to give up
};

// Writes 64 KB blocks until one fails. The kernel's buffers take some megabytes before the writes
// to a stopped server stall; 1 GiB bounds the loop.
StalledWrite WriteUntilItFails(HINTERNET file) {
    const std::string block = RandomBytes(1u << 16);
    StalledWrite result;
    auto lastSuccess = std::chrono::steady_clock::now();
    for (int i = 0; i < (1 << 14) && !result.failed; ++i) {
        DWORD written = 0;
        if (InternetWriteFile(file, block.data(), static_cast<DWORD>(block.size()), written))
            lastSuccess = std::chrono::steady_clock::now();
        else
            result.failed = true;
    }
    result.error = GetLastError();
    result.secondsAfterLastWrite = SecondsSince(lastSuccess);
    return result;
}

test::FtpServerOptions Stalling() {
    test::FtpServerOptions options;
    options.stallRetr = true;
    return options;
}

TEST(FtpStall, ReadGivesUpAfterTheTimeoutAndTheSessionIsDropped) {
    test::FtpServer server(Stalling());
    server.WriteFile("f.bin", "data");
    ScopedHandle root = OpenRoot(800);
    ScopedHandle connection = ConnectTo(root.Get(), server, true);
    ScopedHandle file(FtpOpenFile(connection.Get(), "f.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0));
    ASSERT_TRUE(file) << GetLastError();

    const auto start = std::chrono::steady_clock::now();
    char block[4096];
    DWORD read = 0;
    EXPECT_FALSE(InternetReadFile(file.Get(), block, sizeof block, read));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_TIMEOUT);
    EXPECT_GE(SecondsSince(start), 0.7);
    EXPECT_LT(SecondsSince(start), 3.0);

    EXPECT_FALSE(IsConnectionAlive(connection.Get()));
    const auto closing = std::chrono::steady_clock::now();
    file.Reset();
    EXPECT_LT(SecondsSince(closing), 0.5);
    std::string directory;
    EXPECT_FALSE(FtpGetCurrentDirectory(connection.Get(), directory));
}

TEST(FtpStall, IdleHookKeepsRunningAndCancelsAStalledRead) {
    test::FtpServer server(Stalling());
    server.WriteFile("f.bin", "data");
    ScopedHandle root = OpenRoot(); // the 30 s default: Cancel must not wait for it
    ScopedHandle connection = ConnectTo(root.Get(), server);
    ScopedHandle file(FtpOpenFile(connection.Get(), "f.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0));
    ASSERT_TRUE(file) << GetLastError();

    const auto start = std::chrono::steady_clock::now();
    int calls = 0;
    IdleHookScope hook([&] {
        ++calls;
        return SecondsSince(start) < 0.3; // the user presses Cancel after 0.3 s
    });
    char block[4096];
    DWORD read = 0;
    EXPECT_FALSE(InternetReadFile(file.Get(), block, sizeof block, read));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_OPERATION_CANCELLED);
    EXPECT_LT(SecondsSince(start), 0.6);
    EXPECT_GE(calls, 4);

    // A cancelled file handle only closes; closing does not wait the full timeout either.
    EXPECT_FALSE(InternetReadFile(file.Get(), block, sizeof block, read));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    const auto closing = std::chrono::steady_clock::now();
    file.Reset();
    EXPECT_LT(SecondsSince(closing), 1.5);
}

TEST(FtpStall, WriteToAFrozenServerTimesOut) {
    test::FtpServer server;
    ScopedHandle root = OpenRoot(800);
    ScopedHandle connection = ConnectTo(root.Get(), server, true);
    ScopedHandle file(FtpOpenFile(connection.Get(), "w.bin", GENERIC_WRITE, FTP_TRANSFER_TYPE_BINARY, 0));
    ASSERT_TRUE(file);
    server.Pause();
    const StalledWrite stall = WriteUntilItFails(file.Get());
    server.Resume();
    ASSERT_TRUE(stall.failed);
    EXPECT_EQ(stall.error, ERROR_INTERNET_TIMEOUT);
    EXPECT_LT(stall.secondsAfterLastWrite, 3.0);
    EXPECT_FALSE(IsConnectionAlive(connection.Get()));
}

TEST(FtpStall, CancelReachesAStalledWriteAtOnce) {
    test::FtpServer server;
    ScopedHandle root = OpenRoot(); // 30 s: only the Cancel can end this soon
    ScopedHandle connection = ConnectTo(root.Get(), server);
    ScopedHandle file(FtpOpenFile(connection.Get(), "w.bin", GENERIC_WRITE, FTP_TRANSFER_TYPE_BINARY, 0));
    ASSERT_TRUE(file);
    server.Pause();
    // The hook only runs once a write has to wait, and then the user has already pressed Cancel.
    IdleHookScope hook([] { return false; });
    const StalledWrite stall = WriteUntilItFails(file.Get());
    server.Resume();
    ASSERT_TRUE(stall.failed);
    EXPECT_EQ(stall.error, ERROR_INTERNET_OPERATION_CANCELLED);
    EXPECT_LT(stall.secondsAfterLastWrite, 0.5);
}

TEST(FtpStall, CommandsToAFrozenServerTimeOut) {
    test::FtpServer server;
    ScopedHandle root = OpenRoot(800);
    ScopedHandle connection = ConnectTo(root.Get(), server);
    ASSERT_TRUE(connection);
    server.Pause();
    int calls = 0;
    IdleHookScope hook([&] {
        ++calls;
        return true; // the UI keeps breathing while the command waits
    });
    const auto start = std::chrono::steady_clock::now();
    std::string directory;
    EXPECT_FALSE(FtpGetCurrentDirectory(connection.Get(), directory));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_TIMEOUT);
    EXPECT_EQ(InternetLastFailureReason(), "no answer within 0.8 s");
    EXPECT_LT(SecondsSince(start), 3.0);
    EXPECT_GE(calls, 4);
    server.Resume();
    EXPECT_FALSE(IsConnectionAlive(connection.Get()));
}

TEST(FtpStall, ConnectToAFrozenServerTimesOut) {
    test::FtpServer server;
    server.Pause(); // the kernel still completes the TCP handshake; the greeting never comes
    ScopedHandle root = OpenRoot(800);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(ConnectTo(root.Get(), server));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_TIMEOUT);
    EXPECT_LT(SecondsSince(start), 3.0);
    server.Resume();
}

} // namespace
} // namespace zandrel::inet::testing
