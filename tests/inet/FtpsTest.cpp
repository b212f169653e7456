// FTP over TLS against a real vsftpd that insists on TLS for the login and the data, on data
// connections that resume the control connection's session, and on uploads that end with
// close_notify: every FTP call works unchanged once the transport is chosen at connect time, the
// server is verified as for https, and nothing falls back to clear text.
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "fixtures/FtpServer.h"
#include "fixtures/SilentServer.h"
#include "fixtures/VsftpdServer.h"
#include "inet/InetTestSupport.h"

namespace zandrel::inet::testing {
namespace {

using Certificate = test::VsftpdOptions::Certificate;

#define SKIP_WITHOUT_VSFTPD()                                                                     \
    if (const std::string why = test::VsftpdServer::Unavailable(); !why.empty()) GTEST_SKIP() << why

DWORD TlsFlag(bool implicitTls) { return implicitTls ? INTERNET_FLAG_FTPS_IMPLICIT : INTERNET_FLAG_FTPS_EXPLICIT; }

// Anonymous: the server's only kind of account when it runs as whoever started it.
ScopedHandle ConnectFtps(HINTERNET root, const std::string& host, uint16_t port, bool implicitTls, bool passive) {
    return ScopedHandle(InternetConnect(root, host, port, "", "", INTERNET_SERVICE_FTP,
                                        TlsFlag(implicitTls) | (passive ? INTERNET_FLAG_PASSIVE : 0), 0));
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

bool AnyStartsWith(const std::vector<std::string>& lines, const std::string& prefix) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) { return line.rfind(prefix, 0) == 0; });
}

struct Transport {
    const char* name;
    bool implicitTls;
    bool passive;
};

class FtpsRoundTrip : public ::testing::TestWithParam<Transport> {};

// Every FTP call a transfer job makes, in the order an upload with a temporary name makes them,
// then a download, over each transport and data connection mode.
TEST_P(FtpsRoundTrip, EveryCallWorksOverTls) {
    SKIP_WITHOUT_VSFTPD();
    const Transport transport = GetParam();
    test::VsftpdServer server({transport.implicitTls});
    EnvScope trust("SSL_CERT_FILE", server.CaFile().string());
    ScopedHandle root = OpenRoot(10000);
    ScopedHandle connection =
        ConnectFtps(root.Get(), server.Host(), server.Port(), transport.implicitTls, transport.passive);
    ASSERT_TRUE(connection) << InternetLastFailureReason();

    ASSERT_TRUE(FtpCreateDirectory(connection.Get(), "drop")) << InternetLastFailureReason();
    // Several MiB: many TLS records, full socket buffers, and the end of the file in close_notify
    // (this server throws away an upload that ends without it).
    const std::string content = RandomBytes(3 << 20);
    ASSERT_TRUE(Upload(connection.Get(), "drop/up.tmp", content)) << InternetLastFailureReason();
    ASSERT_TRUE(FtpRenameFile(connection.Get(), "drop/up.tmp", "drop/up.bin")) << InternetLastFailureReason();
    EXPECT_TRUE(server.ReadFile("drop/up.bin") == content);

    // No data at all: the end of the file is the close_notify alone.
    ASSERT_TRUE(Upload(connection.Get(), "drop/empty.bin", "")) << InternetLastFailureReason();
    EXPECT_TRUE(std::filesystem::exists(server.Root() / "drop/empty.bin"));
    ASSERT_TRUE(FtpDeleteFile(connection.Get(), "drop/empty.bin")) << InternetLastFailureReason();

    FtpFileFacts facts;
    ASSERT_TRUE(FtpGetFileFacts(connection.Get(), "drop/up.bin", facts)) << InternetLastFailureReason();
    EXPECT_TRUE(facts.exists);
    EXPECT_EQ(facts.size, content.size());
    rtl::FILETIME modified;
    ASSERT_TRUE(FtpGetFileTime(connection.Get(), "drop/up.bin", modified)) << InternetLastFailureReason();
    struct stat onDisk {};
    ASSERT_EQ(stat((server.Root() / "drop/up.bin").c_str(), &onDisk), 0);
    constexpr uint64_t kUnixEpochTicks = 116444736000000000ull;
    EXPECT_EQ((modified.Ticks() - kUnixEpochTicks) / 10'000'000, static_cast<uint64_t>(onDisk.st_mtime));

    WIN32_FIND_DATA found;
    ScopedHandle find(FtpFindFirstFile(connection.Get(), "drop/*", found, 0, 0));
    ASSERT_TRUE(find) << InternetLastFailureReason();
    EXPECT_EQ(found.cFileName, "up.bin");
    EXPECT_EQ(found.FileSize(), content.size());
    EXPECT_FALSE(InternetFindNextFile(find.Get(), found));
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
    find.Reset();

    std::string back;
    ASSERT_TRUE(Download(connection.Get(), "drop/up.bin", back)) << InternetLastFailureReason();
    EXPECT_TRUE(back == content) << back.size() << " bytes came back";

    ASSERT_TRUE(FtpDeleteFile(connection.Get(), "drop/up.bin")) << InternetLastFailureReason();
    ASSERT_TRUE(FtpRemoveDirectory(connection.Get(), "drop")) << InternetLastFailureReason();
    EXPECT_FALSE(std::filesystem::exists(server.Root() / "drop"));
    EXPECT_TRUE(IsConnectionAlive(connection.Get()));
    connection.Reset();

    // Nothing but the request for TLS went out in clear, and the data was protected.
    const std::vector<std::string> commands = server.Commands();
    ASSERT_FALSE(commands.empty());
    if (!transport.implicitTls) {
        EXPECT_EQ(commands.front(), "AUTH TLS");
    }
    EXPECT_TRUE(Contains(commands, "PBSZ 0"));
    EXPECT_TRUE(Contains(commands, "PROT P"));
    EXPECT_TRUE(AnyStartsWith(commands, transport.passive ? "EPSV" : "PORT"));
    EXPECT_EQ(server.Log().find("session reuse required"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Transports, FtpsRoundTrip,
                         ::testing::Values(Transport{"ExplicitPassive", false, true},
                                           Transport{"ExplicitActive", false, false},
                                           Transport{"ImplicitPassive", true, true},
                                           Transport{"ImplicitActive", true, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// A server that cannot prove who it is gets no user name and no password.
TEST(Ftps, CertificateProblemsFailBeforeTheLogin) {
    SKIP_WITHOUT_VSFTPD();
    struct Case {
        Certificate certificate;
        bool implicitTls;
        std::string host;
        DWORD error; // ERROR_SUCCESS: the connection is made
        std::string reason;
    };
    const Case cases[] = {
        {Certificate::OtherName, false, "127.0.0.1", ERROR_INTERNET_SEC_CERT_ERRORS,
         "the server's certificate is not valid for the name 127.0.0.1"},
        {Certificate::OtherName, true, "localhost", ERROR_INTERNET_SEC_CERT_ERRORS,
         "the server's certificate is not valid for the name localhost"},
        {Certificate::Untrusted, false, "127.0.0.1", ERROR_INTERNET_SEC_CERT_ERRORS,
         "the server's certificate is not trusted: unable to get local issuer certificate"},
        {Certificate::Untrusted, true, "127.0.0.1", ERROR_INTERNET_SEC_CERT_ERRORS,
         "the server's certificate is not trusted: unable to get local issuer certificate"},
        {Certificate::Good, false, "localhost", ERROR_SUCCESS, ""}, // a DNS name, checked as such
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason.empty() ? c.host : c.reason);
        test::VsftpdServer server({c.implicitTls, c.certificate});
        EnvScope trust("SSL_CERT_FILE", server.CaFile().string());
        ScopedHandle root = OpenRoot(10000);
        ScopedHandle connection = ConnectFtps(root.Get(), c.host, server.Port(), c.implicitTls, true);
        if (c.error == ERROR_SUCCESS) {
            EXPECT_TRUE(connection) << InternetLastFailureReason();
            continue;
        }
        EXPECT_FALSE(connection);
        EXPECT_EQ(GetLastError(), c.error);
        EXPECT_EQ(InternetLastFailureReason(), c.reason);
        EXPECT_FALSE(AnyStartsWith(server.Commands(), "USER"));
    }
}

// A server that does not speak TLS fails the connect with its own words; the login never goes
// out in clear.
TEST(Ftps, NoFallbackToClearText) {
    SKIP_WITHOUT_VSFTPD();
    test::FtpServer plain;
    ScopedHandle root = OpenRoot(5000);
    {
        ScopedHandle connection = ConnectFtps(root.Get(), plain.Host(), plain.Port(), false, true);
        EXPECT_FALSE(connection);
        EXPECT_EQ(GetLastError(), ERROR_INTERNET_SECURITY_CHANNEL_ERROR);
        EXPECT_EQ(InternetLastFailureReason().rfind("the server refused TLS (AUTH TLS): 500 ", 0), 0u)
            << InternetLastFailureReason();
        DWORD status = 0;
        std::string reply;
        InternetGetLastResponseInfo(status, reply);
        EXPECT_EQ(status, 500u);
    }
    {
        // TLS expected from the first byte, a greeting in clear text came.
        ScopedHandle connection = ConnectFtps(root.Get(), plain.Host(), plain.Port(), true, true);
        EXPECT_FALSE(connection);
        EXPECT_EQ(GetLastError(), ERROR_INTERNET_SECURITY_CHANNEL_ERROR);
        EXPECT_EQ(InternetLastFailureReason().rfind(
                      "the server does not speak TLS on this port; it answered in clear text: 220", 0),
                  0u)
            << InternetLastFailureReason();
    }
    EXPECT_EQ(plain.CountCommands("USER"), 0);
    EXPECT_EQ(plain.CountCommands("PASS"), 0);
    EXPECT_EQ(plain.CountCommands("AUTH"), 1);

    // Text in clear right behind the 234 would otherwise be read as the first protected reply
    // (a man in the middle's "230 logged in").
    test::FtpServerOptions injecting;
    injecting.rules = {"AUTH reply 234 Proceed.\r\n230 Already logged in."};
    test::FtpServer injector(injecting);
    EXPECT_FALSE(ConnectFtps(root.Get(), injector.Host(), injector.Port(), false, true));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_SECURITY_CHANNEL_ERROR);
    EXPECT_EQ(InternetLastFailureReason(), "the server sent clear text after agreeing to TLS");
    EXPECT_EQ(injector.CountCommands("USER"), 0);

    EXPECT_FALSE(InternetConnect(root.Get(), plain.Host(), plain.Port(), "", "", INTERNET_SERVICE_FTP,
                                 INTERNET_FLAG_FTPS_EXPLICIT | INTERNET_FLAG_FTPS_IMPLICIT, 0));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

// A server that takes the connection (implicit), or agrees to AUTH TLS (explicit), and never
// starts its side of the handshake holds the caller no longer than the timeout, and a Cancel no
// longer than a slice.
TEST(Ftps, TheHandshakeIsBoundedAndCancellable) {
    struct Case {
        bool implicitTls;
        bool cancel;
        DWORD timeoutMs;
        DWORD error;
        std::string reason;
    };
    const Case cases[] = {
        {true, true, 30000, ERROR_INTERNET_OPERATION_CANCELLED, "cancelled"},
        {true, false, 600, ERROR_INTERNET_TIMEOUT, "no TLS handshake within 0.6 s"},
        {false, true, 30000, ERROR_INTERNET_OPERATION_CANCELLED, "cancelled"},
        {false, false, 600, ERROR_INTERNET_TIMEOUT, "no TLS handshake within 0.6 s"},
    };
    // pyftpdlib takes our hello for the start of a command line that never ends.
    test::FtpServerOptions agreeing;
    agreeing.rules = {"AUTH reply 234 Proceed with negotiation."};
    test::FtpServer plain(agreeing);
    for (const Case& c : cases) {
        SCOPED_TRACE((c.implicitTls ? "implicit: " : "explicit: ") + c.reason);
        test::SilentServer silent(test::SilentServer::Mode::Silent);
        ScopedHandle root = OpenRoot(c.timeoutMs);
        const auto start = std::chrono::steady_clock::now();
        constexpr double kCancelAt = 0.3;
        IdleHookScope hook([&] { return !c.cancel || SecondsSince(start) < kCancelAt; });
        ScopedHandle connection = ConnectFtps(root.Get(), "127.0.0.1", c.implicitTls ? silent.Port() : plain.Port(),
                                              c.implicitTls, true);
        const double took = SecondsSince(start);
        EXPECT_FALSE(connection);
        EXPECT_EQ(GetLastError(), c.error);
        EXPECT_EQ(InternetLastFailureReason(), c.reason);
        EXPECT_LT(took, c.cancel ? kCancelAt + 0.2 : 0.6 + 0.5);
    }
}

// An idle TLS session looks alive until the server says goodbye ("421 Timeout." and the close).
TEST(Ftps, IsConnectionAliveOverTls) {
    SKIP_WITHOUT_VSFTPD();
    test::VsftpdOptions options;
    options.implicitTls = true;
    options.idleTimeoutSeconds = 1;
    test::VsftpdServer server(options);
    EnvScope trust("SSL_CERT_FILE", server.CaFile().string());
    ScopedHandle root = OpenRoot(10000);
    ScopedHandle connection = ConnectFtps(root.Get(), server.Host(), server.Port(), true, true);
    ASSERT_TRUE(connection) << InternetLastFailureReason();
    EXPECT_TRUE(IsConnectionAlive(connection.Get()));
    std::string directory;
    EXPECT_TRUE(FtpGetCurrentDirectory(connection.Get(), directory)) << InternetLastFailureReason();
    EXPECT_TRUE(IsConnectionAlive(connection.Get()));
    const auto start = std::chrono::steady_clock::now();
    bool alive = true;
    while (alive && SecondsSince(start) < 5) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        alive = IsConnectionAlive(connection.Get());
    }
    EXPECT_FALSE(alive);
    EXPECT_GT(SecondsSince(start), 0.5);
}

// A Cancel stops a transfer within a slice in either direction. A cancelled upload leaves the
// control connection's TLS intact, so the partial file can be removed over it.
TEST(Ftps, CancelStopsATransferAndTheConnectionCleansUp) {
    SKIP_WITHOUT_VSFTPD();
    test::VsftpdOptions options;
    options.maxRate = 512 * 1024; // a transfer that takes seconds
    test::VsftpdServer server(options);
    server.WriteFile("big.bin", RandomBytes(4 << 20));
    EnvScope trust("SSL_CERT_FILE", server.CaFile().string());
    ScopedHandle root = OpenRoot(10000);
    ScopedHandle connection = ConnectFtps(root.Get(), server.Host(), server.Port(), false, true);
    ASSERT_TRUE(connection) << InternetLastFailureReason();
    constexpr double kCancelAt = 0.3;
    char block[4096] = {};
    {
        ScopedHandle file(FtpOpenFile(connection.Get(), "big.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0));
        ASSERT_TRUE(file) << InternetLastFailureReason();
        const auto start = std::chrono::steady_clock::now();
        IdleHookScope hook([&] { return SecondsSince(start) < kCancelAt; });
        DWORD read = 0;
        bool ok = true;
        for (int guard = 0; ok && guard < 100'000; ++guard) ok = InternetReadFile(file.Get(), block, sizeof block, read) && read > 0;
        EXPECT_FALSE(ok);
        EXPECT_EQ(GetLastError(), ERROR_INTERNET_OPERATION_CANCELLED);
        EXPECT_LT(SecondsSince(start), kCancelAt + 0.2);
    }
    // A cancelled read ends the session (the server is mid-transfer); a new one uploads.
    connection = ConnectFtps(root.Get(), server.Host(), server.Port(), false, true);
    ASSERT_TRUE(connection) << InternetLastFailureReason();
    HINTERNET file = FtpOpenFile(connection.Get(), "partial.bin", GENERIC_WRITE, FTP_TRANSFER_TYPE_BINARY, 0);
    ASSERT_TRUE(file) << InternetLastFailureReason();
    bool cancelled = false;
    {
        const auto start = std::chrono::steady_clock::now();
        IdleHookScope hook([&] { return SecondsSince(start) < kCancelAt; });
        DWORD written = 0;
        bool ok = true;
        for (int guard = 0; ok && guard < 1'000'000; ++guard) ok = InternetWriteFile(file, block, sizeof block, written);
        cancelled = !ok && GetLastError() == ERROR_INTERNET_OPERATION_CANCELLED;
        EXPECT_LT(SecondsSince(start), kCancelAt + 0.2);
    }
    EXPECT_TRUE(cancelled) << GetLastError() << " " << InternetLastFailureReason();
    EXPECT_FALSE(InternetCloseHandle(file));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_OPERATION_CANCELLED);
    EXPECT_TRUE(IsConnectionAlive(connection.Get()));
    EXPECT_TRUE(FtpDeleteFile(connection.Get(), "partial.bin")) << InternetLastFailureReason();
    EXPECT_FALSE(std::filesystem::exists(server.Root() / "partial.bin"));
}

} // namespace
} // namespace zandrel::inet::testing
