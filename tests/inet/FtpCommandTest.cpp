// Rename, the server's features and exact file times, against a real server.
#include <fcntl.h>
#include <sys/stat.h>

#include <ctime>

#include "InetTestSupport.h"

namespace zandrel::inet::testing {
namespace {

TEST(FtpRename, MovesTheFileAndReportsARefusalWithTheReply) {
    test::FtpServer server;
    server.WriteFile("part.tmp", "whole");
    server.WriteFile("sub/keep", "");
    ScopedHandle root = OpenRoot();
    ScopedHandle connection = ConnectTo(root.Get(), server);
    ASSERT_TRUE(connection);

    ASSERT_TRUE(FtpRenameFile(connection.Get(), "part.tmp", "sub/final.zip")) << InternetLastFailureReason();
    EXPECT_EQ(server.ReadFile("sub/final.zip"), "whole");
    EXPECT_FALSE(std::filesystem::exists(server.Root() / "part.tmp"));

    EXPECT_FALSE(FtpRenameFile(connection.Get(), "missing.tmp", "other"));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
    DWORD status = 0;
    std::string reply;
    InternetGetLastResponseInfo(status, reply);
    EXPECT_EQ(status, 550u);
    EXPECT_EQ(InternetLastFailureReason(), reply);
    EXPECT_EQ(InternetLastFailureReason().substr(0, 4), "550 ");
    EXPECT_EQ(server.CountCommands("RNTO"), 1); // the refused RNFR is not followed by RNTO
    EXPECT_TRUE(IsConnectionAlive(connection.Get()));
}

TEST(FtpRename, RefusedWithoutTheRightToRename) {
    test::FtpServerOptions options;
    options.userPermissions = "elradmw"; // may store and delete, not rename
    test::FtpServer server(options);
    server.WriteFile("a.tmp", "x");
    ScopedHandle root = OpenRoot();
    ScopedHandle connection = ConnectTo(root.Get(), server);
    EXPECT_FALSE(FtpRenameFile(connection.Get(), "a.tmp", "a.zip"));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
    EXPECT_EQ(InternetLastFailureReason().substr(0, 4), "550 ");
    EXPECT_TRUE(std::filesystem::exists(server.Root() / "a.tmp"));
}

TEST(FtpFeatures, AskedOnceAndAnsweredFromTheCache) {
    test::FtpServerOptions options;
    options.mdtm = false;
    test::FtpServer server(options);
    ScopedHandle root = OpenRoot();
    ScopedHandle connection = ConnectTo(root.Get(), server);
    EXPECT_TRUE(FtpHasFeature(connection.Get(), "SIZE"));
    EXPECT_TRUE(FtpHasFeature(connection.Get(), "mlst"));
    EXPECT_TRUE(FtpHasFeature(connection.Get(), "MLSD")); // announced through MLST
    EXPECT_FALSE(FtpHasFeature(connection.Get(), "MDTM"));
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    EXPECT_FALSE(FtpHasFeature(connection.Get(), "MLS"));
    EXPECT_EQ(server.CountCommands("FEAT"), 1);
}

void SetModified(const std::filesystem::path& path, std::time_t seconds, long nanoseconds) {
    const timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

TEST(FtpFileTime, MdtmGivesTheUtcTimeToTheSecond) {
    test::FtpServer server;
    server.WriteFile("old.zip", "x");
    const std::time_t when = 1'262'304'000 + 13 * 3600 + 45 * 60 + 30; // 2010-01-01 13:45:30 UTC
    SetModified(server.Root() / "old.zip", when, 0);
    ScopedHandle root = OpenRoot();
    ScopedHandle connection = ConnectTo(root.Get(), server);

    rtl::FILETIME time;
    ASSERT_TRUE(FtpGetFileTime(connection.Get(), "old.zip", time)) << InternetLastFailureReason();
    EXPECT_EQ(time.Ticks(), rtl::UnixToFileTime(when).Ticks());

    EXPECT_FALSE(FtpGetFileTime(connection.Get(), "missing.zip", time));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
    EXPECT_EQ(InternetLastFailureReason().substr(0, 4), "550 ");
}

TEST(FtpFileTime, NotAskedWhenTheServerDoesNotOfferIt) {
    test::FtpServerOptions options;
    options.mdtm = false;
    test::FtpServer server(options);
    server.WriteFile("a.zip", "x");
    ScopedHandle root = OpenRoot();
    ScopedHandle connection = ConnectTo(root.Get(), server);
    rtl::FILETIME time;
    EXPECT_FALSE(FtpGetFileTime(connection.Get(), "a.zip", time));
    EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
    EXPECT_EQ(server.CountCommands("MDTM"), 0);
    EXPECT_TRUE(IsConnectionAlive(connection.Get()));
}

} // namespace
} // namespace zandrel::inet::testing
