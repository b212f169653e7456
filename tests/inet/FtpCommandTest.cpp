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

// Whether a name is taken, and what the server says of the file, from whichever of MLST, SIZE
// and MDTM it offers; a name that is not there is an answer, not a failure.
TEST(FtpFileFacts, TellWhetherANameIsTakenWithWhatTheServerOffers) {
    struct Case {
        const char* what;
        bool mlsd, size, mdtm;
        bool seesFolders; // only MLST tells a folder from nothing
    };
    const Case cases[] = {
        {"MLST", true, true, true, true},
        {"SIZE and MDTM", false, true, true, false},
        {"MDTM only", false, false, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::FtpServerOptions options;
        options.mlsd = c.mlsd;
        options.size = c.size;
        options.mdtm = c.mdtm;
        test::FtpServer server(options);
        server.WriteFile("a.zip", "12345");
        server.WriteFile("b.zip", "12345");
        server.WriteFile("dir/x", "x");
        SetModified(server.Root() / "a.zip", 1'262'304'000, 0);
        SetModified(server.Root() / "b.zip", 1'262'304'000, 0);
        ScopedHandle root = OpenRoot();
        ScopedHandle connection = ConnectTo(root.Get(), server);

        FtpFileFacts a, b, missing, dir;
        ASSERT_TRUE(FtpGetFileFacts(connection.Get(), "a.zip", a)) << InternetLastFailureReason();
        ASSERT_TRUE(FtpGetFileFacts(connection.Get(), "b.zip", b)) << InternetLastFailureReason();
        ASSERT_TRUE(FtpGetFileFacts(connection.Get(), "missing.zip", missing)) << InternetLastFailureReason();
        ASSERT_TRUE(FtpGetFileFacts(connection.Get(), "dir", dir)) << InternetLastFailureReason();
        EXPECT_TRUE(a.exists);
        EXPECT_FALSE(missing.exists);
        EXPECT_EQ(dir.exists, c.seesFolders);
        if (c.size || c.mlsd) {
            EXPECT_EQ(a.size, std::optional<uint64_t>(5));
        }
        EXPECT_EQ(a.modified, "20100101000000");
        EXPECT_TRUE(a.SameFileAs(a));
        EXPECT_FALSE(a.SameFileAs(missing));
        // Two files alike in size and time tell apart only by MLST's "unique" fact.
        EXPECT_EQ(a.SameFileAs(b), !c.mlsd);
        EXPECT_TRUE(IsConnectionAlive(connection.Get()));
    }
}

} // namespace
} // namespace zandrel::inet::testing
