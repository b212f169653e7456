// Uploads and downloads through real data connections, active and passive.
#include <fcntl.h>
#include <unistd.h>

#include "InetTestSupport.h"

namespace zandrel::inet::testing {
namespace {

enum class Mode { Active, Passive };

class FtpTransfer : public ::testing::TestWithParam<Mode> {
protected:
    FtpTransfer() {
        root_ = OpenRoot();
        connection_ = ConnectTo(root_.Get(), server_, GetParam() == Mode::Passive);
    }
    HINTERNET Connection() const { return connection_.Get(); }

    test::FtpServer server_;
    ScopedHandle root_;
    ScopedHandle connection_;
};

TEST_P(FtpTransfer, MultiMegabyteFilesArriveByteForByte) {
    ASSERT_TRUE(connection_) << GetLastError();
    const std::string content = RandomBytes(8u << 20 | 1234);
    ASSERT_TRUE(Upload(Connection(), "up.bin", content)) << GetLastError();
    EXPECT_TRUE(server_.ReadFile("up.bin") == content);

    ScopedHandle file(FtpOpenFile(Connection(), "up.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0));
    ASSERT_TRUE(file) << GetLastError();
    DWORD high = 99;
    EXPECT_EQ(FtpGetFileSize(file.Get(), &high), content.size());
    EXPECT_EQ(high, 0u);
    file.Reset();

    std::string downloaded;
    ASSERT_TRUE(Download(Connection(), "up.bin", downloaded)) << GetLastError();
    EXPECT_TRUE(downloaded == content);
    EXPECT_EQ(server_.CountCommands(GetParam() == Mode::Passive ? "EPSV" : "PORT"), 3);
    EXPECT_TRUE(IsConnectionAlive(Connection()));
}

TEST_P(FtpTransfer, EmptyFilesTravelToo) {
    ASSERT_TRUE(Upload(Connection(), "empty.txt", ""));
    EXPECT_TRUE(std::filesystem::exists(server_.Root() / "empty.txt"));
    std::string downloaded = "x";
    ASSERT_TRUE(Download(Connection(), "empty.txt", downloaded));
    EXPECT_EQ(downloaded, "");
}

TEST_P(FtpTransfer, ClosingAReadEarlyKeepsTheSessionInStep) {
    const std::string content = RandomBytes(6u << 20);
    server_.WriteFile("big.bin", content);
    for (int round = 0; round < 2; ++round) {
        ScopedHandle file(FtpOpenFile(Connection(), "big.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0));
        ASSERT_TRUE(file);
        char block[4096];
        DWORD read = 0;
        ASSERT_TRUE(InternetReadFile(file.Get(), block, sizeof block, read));
        EXPECT_GT(read, 0u);
        EXPECT_TRUE(InternetCloseHandle(file.Release()));
    }
    std::string directory;
    EXPECT_TRUE(FtpGetCurrentDirectory(Connection(), directory));
    EXPECT_EQ(directory, "/");
    server_.WriteFile("small.txt", "small");
    std::string downloaded;
    ASSERT_TRUE(Download(Connection(), "small.txt", downloaded));
    EXPECT_EQ(downloaded, "small");
}

// Small writes are collected and sent in runs, so an upload's last bytes leave only when the file
// is closed; a server that is gone by then must make the close fail, not confirm a short file.
TEST_P(FtpTransfer, ClosingAnUploadFailsWhenItsLastBytesCannotArrive) {
    ScopedHandle file(FtpOpenFile(Connection(), "late.bin", GENERIC_WRITE, FTP_TRANSFER_TYPE_BINARY, 0));
    ASSERT_TRUE(file);
    const std::string block = RandomBytes(4096);
    for (int i = 0; i < 3; ++i) {
        DWORD written = 0;
        ASSERT_TRUE(InternetWriteFile(file.Get(), block.data(), static_cast<DWORD>(block.size()), written));
        EXPECT_EQ(written, block.size());
    }
    server_.Stop();
    EXPECT_FALSE(InternetCloseHandle(file.Release()));
    EXPECT_NE(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
}

TEST_P(FtpTransfer, OneTransferAtATimePerConnection) {
    ScopedHandle file(FtpOpenFile(Connection(), "busy.bin", GENERIC_WRITE, FTP_TRANSFER_TYPE_BINARY, 0));
    ASSERT_TRUE(file);
    EXPECT_FALSE(FtpSetCurrentDirectory(Connection(), "/"));
    EXPECT_EQ(GetLastError(), ERROR_FTP_TRANSFER_IN_PROGRESS);
    EXPECT_EQ(FtpOpenFile(Connection(), "other.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_FTP_TRANSFER_IN_PROGRESS);
    DWORD read = 0;
    char block[16];
    EXPECT_FALSE(InternetReadFile(file.Get(), block, sizeof block, read));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    ASSERT_TRUE(InternetCloseHandle(file.Release()));
    EXPECT_TRUE(FtpSetCurrentDirectory(Connection(), "/"));
}

TEST_P(FtpTransfer, MissingFilesAndDeletes) {
    EXPECT_EQ(FtpOpenFile(Connection(), "missing.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
    DWORD status = 0;
    std::string reply;
    InternetGetLastResponseInfo(status, reply);
    EXPECT_EQ(status, 550u);

    server_.WriteFile("gone.txt", "x");
    EXPECT_TRUE(FtpDeleteFile(Connection(), "gone.txt"));
    EXPECT_FALSE(std::filesystem::exists(server_.Root() / "gone.txt"));
    EXPECT_FALSE(FtpDeleteFile(Connection(), "gone.txt"));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
    EXPECT_TRUE(IsConnectionAlive(Connection()));
}

TEST_P(FtpTransfer, SizesBeyondFourGigabytesKeepTheHighPart) {
    const std::filesystem::path big = server_.Root() / "huge.bin";
    const int fd = open(big.c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, (4ll << 30) + 123), 0);
    close(fd);
    ScopedHandle file(FtpOpenFile(Connection(), "huge.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0));
    ASSERT_TRUE(file);
    DWORD high = 0;
    EXPECT_EQ(FtpGetFileSize(file.Get(), &high), 123u);
    EXPECT_EQ(high, 1u);
    uint64_t size = 0;
    EXPECT_TRUE(FtpGetFileSize64(file.Get(), size));
    EXPECT_EQ(size, (4ull << 30) + 123);
}

INSTANTIATE_TEST_SUITE_P(Modes, FtpTransfer, ::testing::Values(Mode::Active, Mode::Passive),
                         [](const auto& info) { return info.param == Mode::Active ? "Active" : "Passive"; });

// The server announces an address we cannot reach (it listens on 127.0.0.1 only) and offers no
// EPSV, so only a data connection aimed at the control connection's peer can work.
TEST(FtpPassiveAddress, DataGoesToTheControlPeerNotTheAnnouncedAddress) {
    test::FtpServerOptions options;
    options.epsv = false;
    options.masqueradeAddress = "127.0.0.2";
    test::FtpServer server(options);
    ScopedHandle root = OpenRoot(5000);
    ScopedHandle connection = ConnectTo(root.Get(), server, true);
    ASSERT_TRUE(connection);

    const std::string content = RandomBytes(1u << 20, 3);
    ASSERT_TRUE(Upload(connection.Get(), "p.bin", content)) << GetLastError();
    std::string downloaded;
    ASSERT_TRUE(Download(connection.Get(), "p.bin", downloaded)) << GetLastError();
    EXPECT_TRUE(downloaded == content);
    EXPECT_EQ(server.CountCommands("PASV"), 2);
    EXPECT_EQ(server.CountCommands("EPSV"), 1); // asked once, refused, not asked again
}

} // namespace
} // namespace zandrel::inet::testing
