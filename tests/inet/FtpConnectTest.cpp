// Logging in, the simple commands, and what a connection handle says about itself.
#include <thread>

#include "InetTestSupport.h"

namespace zandrel::inet::testing {
namespace {

TEST(FtpConnect, LogsInWithUserAndPassword) {
    test::FtpServer server;
    ScopedHandle root = OpenRoot();
    ScopedHandle connection = ConnectTo(root.Get(), server);
    ASSERT_TRUE(connection) << GetLastError();
    EXPECT_TRUE(IsConnectionAlive(connection.Get()));
    EXPECT_EQ(server.CountCommands("USER"), 1);
    EXPECT_EQ(server.CountCommands("PASS"), 1);
    EXPECT_TRUE(server.AnyCommandContains("USER alice"));
}

TEST(FtpConnect, RefusedLoginsGiveNoHandleAndTheirCode) {
    test::FtpServerOptions noAnonymous;
    noAnonymous.anonymousPermissions.clear();
    test::FtpServer server(noAnonymous);
    ScopedHandle root = OpenRoot();

    ScopedHandle wrongPassword = ConnectTo(root.Get(), server, false, "alice", "wrong");
    EXPECT_FALSE(wrongPassword);
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_INCORRECT_PASSWORD);
    DWORD status = 0;
    std::string reply;
    InternetGetLastResponseInfo(status, reply);
    EXPECT_EQ(status, 530u);
    EXPECT_EQ(InternetLastFailureReason(), "530 Authentication failed.");

    ScopedHandle anonymous = ConnectTo(root.Get(), server, false, "", "");
    EXPECT_FALSE(anonymous);
    EXPECT_NE(GetLastError(), ERROR_SUCCESS);
    EXPECT_TRUE(server.AnyCommandContains("USER anonymous"));
}

TEST(FtpConnect, EmptyUserLogsInAnonymously) {
    test::FtpServer server;
    ScopedHandle root = OpenRoot();
    ScopedHandle connection = ConnectTo(root.Get(), server, false, "", "");
    ASSERT_TRUE(connection) << GetLastError();
    EXPECT_TRUE(server.AnyCommandContains("USER anonymous"));
    std::string directory;
    EXPECT_TRUE(FtpGetCurrentDirectory(connection.Get(), directory));
    EXPECT_EQ(directory, "/");
}

TEST(FtpConnect, UnreachablePortFailsFast) {
    ScopedHandle root = OpenRoot();
    const auto start = std::chrono::steady_clock::now();
    HINTERNET connection = InternetConnect(root.Get(), "127.0.0.1", test::UnusedLocalPort(), "alice", "secret",
                                           INTERNET_SERVICE_FTP, 0, 0);
    EXPECT_EQ(connection, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_CANNOT_CONNECT);
    EXPECT_EQ(InternetLastFailureReason(), "Connection refused");
    EXPECT_LT(SecondsSince(start), 2.0);
}

TEST(FtpConnect, RootAndHttpHandlesAreNotFtpConnections) {
    ScopedHandle root = OpenRoot();
    ScopedHandle http(InternetConnect(root.Get(), "127.0.0.1", 80, "", "", INTERNET_SERVICE_HTTP, 0, 0));
    ASSERT_TRUE(http);
    std::string directory;
    EXPECT_FALSE(FtpGetCurrentDirectory(http.Get(), directory));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    EXPECT_FALSE(FtpOpenFile(http.Get(), "f", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    EXPECT_FALSE(IsConnectionAlive(http.Get()));

    EXPECT_FALSE(FtpGetCurrentDirectory(root.Get(), directory));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    EXPECT_FALSE(IsConnectionAlive(root.Get()));
}

TEST(FtpConnect, RootCarriesTimeoutsAndProxySettings) {
    ScopedHandle root(InternetOpen("agent", INTERNET_OPEN_TYPE_PRECONFIG, "", "", 0));
    ASSERT_TRUE(root);
    DWORD value = 0;
    ASSERT_TRUE(InternetQueryOption(root.Get(), INTERNET_OPTION_RECEIVE_TIMEOUT, value));
    EXPECT_EQ(value, kDefaultTimeoutMs);
    ASSERT_TRUE(InternetSetOption(root.Get(), INTERNET_OPTION_CONNECT_TIMEOUT, 1500));
    ASSERT_TRUE(InternetQueryOption(root.Get(), INTERNET_OPTION_CONNECT_TIMEOUT, value));
    EXPECT_EQ(value, 1500u);
    EXPECT_FALSE(InternetSetOption(root.Get(), 9999, 1));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_INVALID_OPTION);

    ScopedHandle named(InternetOpen("agent", INTERNET_OPEN_TYPE_PROXY, "proxy.example:3128", "<local>", 0));
    EXPECT_TRUE(named);
    EXPECT_EQ(InternetOpen("agent", INTERNET_OPEN_TYPE_PROXY, "", "", 0), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(FtpConnect, DirectoryCommands) {
    test::FtpServer server;
    ScopedHandle root = OpenRoot();
    ScopedHandle connection = ConnectTo(root.Get(), server);
    ASSERT_TRUE(connection);
    HINTERNET c = connection.Get();

    EXPECT_TRUE(FtpCreateDirectory(c, "made"));
    EXPECT_TRUE(std::filesystem::is_directory(server.Root() / "made"));
    EXPECT_FALSE(FtpCreateDirectory(c, "made"));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);

    EXPECT_TRUE(FtpSetCurrentDirectory(c, "made"));
    std::string directory;
    EXPECT_TRUE(FtpGetCurrentDirectory(c, directory));
    EXPECT_EQ(directory, "/made");

    EXPECT_FALSE(FtpSetCurrentDirectory(c, "/no/such/place"));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
    DWORD status = 0;
    std::string reply;
    InternetGetLastResponseInfo(status, reply);
    EXPECT_EQ(status, 550u);
    // A refused command leaves the session in step.
    EXPECT_TRUE(FtpGetCurrentDirectory(c, directory));
    EXPECT_EQ(directory, "/made");
    EXPECT_TRUE(IsConnectionAlive(c));
}

TEST(FtpConnect, DirectoryNamesWithQuotesComeBackWhole) {
    test::FtpServer server;
    ScopedHandle root = OpenRoot();
    ScopedHandle connection = ConnectTo(root.Get(), server);
    // PWD doubles each quote inside the quoted name: the ones at either end are the hard part.
    for (const char* name : {"say \"hi\"", "\"quoted\"", "ends in \""}) {
        SCOPED_TRACE(name);
        std::filesystem::create_directories(server.Root() / name);
        ASSERT_TRUE(FtpSetCurrentDirectory(connection.Get(), std::string("/") + name));
        std::string directory;
        ASSERT_TRUE(FtpGetCurrentDirectory(connection.Get(), directory));
        EXPECT_EQ(directory, std::string("/") + name);
    }
}

TEST(FtpConnect, ClosedHandlesAreRecognisedAndRefused) {
    test::FtpServer server;
    ScopedHandle root = OpenRoot();
    HINTERNET connection = ConnectTo(root.Get(), server).Release();
    ASSERT_NE(connection, nullptr);
    ASSERT_TRUE(InternetCloseHandle(connection));
    EXPECT_FALSE(IsConnectionAlive(connection));
    EXPECT_FALSE(FtpSetCurrentDirectory(connection, "/"));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(InternetCloseHandle(connection));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(server.CountCommands("QUIT"), 1);
}

TEST(FtpConnect, ClosingTheRootClosesItsConnections) {
    test::FtpServer server;
    HINTERNET root = OpenRoot().Release();
    HINTERNET first = ConnectTo(root, server).Release();
    HINTERNET second = ConnectTo(root, server, true).Release();
    ASSERT_TRUE(first && second);
    ASSERT_TRUE(InternetCloseHandle(root));
    EXPECT_FALSE(IsConnectionAlive(first));
    EXPECT_FALSE(IsConnectionAlive(second));
    EXPECT_EQ(server.CountCommands("QUIT"), 2);
}

TEST(FtpConnect, ConnectionIsNotAliveOnceTheServerIsGone) {
    test::FtpServer server;
    ScopedHandle root = OpenRoot();
    ScopedHandle connection = ConnectTo(root.Get(), server);
    ASSERT_TRUE(IsConnectionAlive(connection.Get()));
    server.Stop();
    bool alive = true;
    for (int i = 0; i < 100 && alive; ++i) {
        alive = IsConnectionAlive(connection.Get());
        if (alive) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_FALSE(alive);
    std::string directory;
    EXPECT_FALSE(FtpGetCurrentDirectory(connection.Get(), directory));
    EXPECT_EQ(GetLastError(), ERROR_FTP_DROPPED);
}

TEST(FtpConnect, ErrorTextsEndLikeMessageTableTexts) {
    for (DWORD code : {ERROR_INTERNET_TIMEOUT, ERROR_INTERNET_EXTENDED_ERROR, ERROR_INTERNET_NAME_NOT_RESOLVED,
                       ERROR_INTERNET_INCORRECT_PASSWORD, ERROR_INTERNET_CANNOT_CONNECT,
                       ERROR_INTERNET_OPERATION_CANCELLED, ERROR_FTP_DROPPED}) {
        const std::string text = InternetErrorMessage(code);
        EXPECT_GT(text.size(), 10u) << code;
        EXPECT_EQ(text.substr(text.size() - 2), "\r\n") << code;
    }
    EXPECT_EQ(InternetErrorMessage(424242), "");
}

} // namespace
} // namespace zandrel::inet::testing
