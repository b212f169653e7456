// Servers that stall, trickle, flood, refuse or cut transfers short: every call ends within its
// bounds, fails with a code the caller can act on, and says why.
#include <algorithm>
#include <functional>
#include <optional>
#include <vector>

#include "InetTestSupport.h"

namespace zandrel::inet::testing {
namespace {

// What a case does once connected; the connect itself is one of the steps too.
enum class Step {
    Connect, Cwd, Pwd, FileTime, ListLs, ListMlsd, ListMissingFolder, Download, Upload, Rename, CommandNotTaken
};

const char* StepName(Step step) {
    switch (step) {
    case Step::Connect: return "connect";
    case Step::Cwd: return "CWD";
    case Step::Pwd: return "PWD";
    case Step::FileTime: return "MDTM";
    case Step::ListLs: return "LIST";
    case Step::ListMlsd: return "MLSD";
    case Step::ListMissingFolder: return "LIST of a missing folder";
    case Step::Download: return "download";
    case Step::Upload: return "upload";
    case Step::Rename: return "rename";
    case Step::CommandNotTaken: return "a command the server does not read";
    }
    return "?";
}

const std::string kContent = RandomBytes(100'000, 11);

// With a server that stopped reading after PWD ("PWD deaf"), a folder name far larger than the
// socket buffers on both sides cannot go out whole: the command's send has to wait.
bool SendCommandNotTaken(HINTERNET c) {
    std::string directory;
    return FtpGetCurrentDirectory(c, directory) && FtpSetCurrentDirectory(c, std::string(64u << 20, 'x'));
}

// Runs the step against the server; returns whether the call succeeded. The connection is left
// in `connection` for the caller to look at.
bool RunStep(Step step, HINTERNET root, const test::FtpServer& server, ScopedHandle& connection) {
    connection = ConnectTo(root, server, true);
    if (step == Step::Connect || !connection) return static_cast<bool>(connection);
    const HINTERNET c = connection.Get();
    switch (step) {
    case Step::Connect: break;
    case Step::Cwd: return FtpSetCurrentDirectory(c, "sub");
    case Step::Pwd: {
        std::string directory;
        return FtpGetCurrentDirectory(c, directory);
    }
    case Step::FileTime: {
        rtl::FILETIME time;
        return FtpGetFileTime(c, "f.bin", time);
    }
    case Step::ListLs:
    case Step::ListMlsd:
    case Step::ListMissingFolder: {
        WIN32_FIND_DATA entry;
        ScopedHandle find(FtpFindFirstFile(c, step == Step::ListMissingFolder ? "missing/*" : "", entry, 0, 0));
        return static_cast<bool>(find);
    }
    case Step::Download: {
        std::string content;
        return Download(c, "f.bin", content) && content == kContent;
    }
    case Step::Upload: return Upload(c, "up.bin", kContent);
    case Step::Rename: return FtpRenameFile(c, "f.bin", "g.bin");
    case Step::CommandNotTaken: return SendCommandNotTaken(c);
    }
    return false;
}

struct Misbehaviour {
    const char* name;
    std::vector<std::string> rules;
    Step step;
    DWORD error;
    const char* reason; // a part of InternetLastFailureReason()
    bool mlsd = false;  // whether the server offers MLSD
    std::vector<std::string> listLines = {};
};

test::FtpServerOptions OptionsFor(const Misbehaviour& m) {
    test::FtpServerOptions options;
    options.rules = m.rules;
    options.mlsd = m.mlsd;
    options.listLines = m.listLines;
    return options;
}

void Populate(const test::FtpServer& server) {
    server.WriteFile("f.bin", kContent);
    server.WriteFile("sub/x.txt", "x");
}

TEST(FtpHostile, EachMisbehaviourFailsWithItsCodeAndReason) {
    const Misbehaviour cases[] = {
        {"silent greeting", {"greeting stall"}, Step::Connect, ERROR_INTERNET_TIMEOUT, "no answer within 1 s"},
        {"silent after USER", {"USER stall"}, Step::Connect, ERROR_INTERNET_TIMEOUT, "no answer within 1 s"},
        {"silent after PASS", {"PASS stall"}, Step::Connect, ERROR_INTERNET_TIMEOUT, "no answer within 1 s"},
        {"silent after CWD", {"CWD stall"}, Step::Cwd, ERROR_INTERNET_TIMEOUT, "no answer within 1 s"},
        {"silent after MDTM", {"MDTM stall"}, Step::FileTime, ERROR_INTERNET_TIMEOUT, "no answer within 1 s"},
        {"silent after SIZE", {"SIZE stall"}, Step::Download, ERROR_INTERNET_TIMEOUT, "no answer within 1 s"},
        {"silent after LIST", {"LIST stall"}, Step::ListLs, ERROR_INTERNET_TIMEOUT, "no answer within 1 s"},
        {"listing data never comes", {"LIST stalldata"}, Step::ListLs, ERROR_INTERNET_TIMEOUT, "listing stalled"},
        {"download data never comes", {"RETR stalldata"}, Step::Download, ERROR_INTERNET_TIMEOUT, "stalled"},
        {"dripping greeting", {"greeting drip 0.05"}, Step::Connect, ERROR_INTERNET_TIMEOUT,
         "no complete answer within 1 s"},
        {"dripping CWD reply", {"CWD drip 0.05"}, Step::Cwd, ERROR_INTERNET_TIMEOUT, "no complete answer within 1 s"},
        {"flooding greeting", {"greeting flood"}, Step::Connect, ERROR_INTERNET_CONNECTION_ABORTED,
         "reply longer than 64 KiB"},
        {"flooding PWD reply", {"PWD flood"}, Step::Pwd, ERROR_INTERNET_CONNECTION_ABORTED, "reply longer than 64 KiB"},
        {"endless reply line", {"PWD longline"}, Step::Pwd, ERROR_INTERNET_CONNECTION_ABORTED,
         "reply line longer than 8 KiB"},
        {"listing refused with 450", {"LIST reply 450 No files found."}, Step::ListLs,
         ERROR_INTERNET_EXTENDED_ERROR, "450 No files found."},
        {"listing refused with 425", {"LIST reply 425 Can't open data connection."}, Step::ListLs,
         ERROR_INTERNET_EXTENDED_ERROR, "425 Can't open data connection."},
        {"listing ends in 451", {"LIST enddata 451 Local error in processing."}, Step::ListLs,
         ERROR_INTERNET_EXTENDED_ERROR, "451 Local error in processing."},
        {"MLSD ends in 426", {"MLSD enddata 426 Connection closed; transfer aborted."}, Step::ListMlsd,
         ERROR_INTERNET_EXTENDED_ERROR, "426 Connection closed", true},
        {"listing connection reset", {"LIST break 40"}, Step::ListLs, ERROR_INTERNET_CONNECTION_ABORTED,
         "data connection broke"},
        {"MLSD connection reset", {"MLSD break 40"}, Step::ListMlsd, ERROR_INTERNET_CONNECTION_ABORTED,
         "data connection broke", true},
        {"missing folder listed as empty", {"LIST empty"}, Step::ListMissingFolder, ERROR_INTERNET_EXTENDED_ERROR,
         "550 "},
        {"unreadable folder listed as empty, as vsftpd does",
         {"LIST empty", "LIST enddata 226 Transfer done (but failed to open directory)."}, Step::ListLs,
         ERROR_INTERNET_EXTENDED_ERROR, "226 Transfer done (but failed to open directory)."},
        {"listing line beyond the bound", {}, Step::ListLs, ERROR_INTERNET_CONNECTION_ABORTED,
         "line longer than 64 KiB", false, {std::string(70'000, 'x')}},
        {"short download announced by 150", {"SIZE reply 502 No.", "RETR short 1000", "RETR announce"},
         Step::Download, ERROR_INTERNET_CONNECTION_ABORTED, "ended after 1000 of 100000 bytes"},
        {"short download announced by SIZE", {"RETR short 1000"}, Step::Download, ERROR_INTERNET_CONNECTION_ABORTED,
         "ended after 1000 of 100000 bytes"},
        {"download connection reset", {"RETR break 1000"}, Step::Download, ERROR_INTERNET_CONNECTION_ABORTED, ""},
        {"STOR refused", {"STOR reply 553 Could not create file."}, Step::Upload, ERROR_INTERNET_EXTENDED_ERROR,
         "553 Could not create file."},
        {"STOR not confirmed", {"STOR enddata 552 Exceeded storage allocation."}, Step::Upload,
         ERROR_INTERNET_EXTENDED_ERROR, "552 Exceeded storage allocation."},
        {"RNFR refused", {"RNFR reply 502 Command not implemented."}, Step::Rename, ERROR_INTERNET_EXTENDED_ERROR,
         "502 Command not implemented."},
        {"RNTO refused", {"RNTO reply 553 Not allowed."}, Step::Rename, ERROR_INTERNET_EXTENDED_ERROR,
         "553 Not allowed."},
        {"commands no longer read", {"PWD deaf"}, Step::CommandNotTaken, ERROR_INTERNET_TIMEOUT,
         "the server took no command within 1 s"},
    };
    for (const Misbehaviour& m : cases) {
        SCOPED_TRACE(m.name);
        test::FtpServer server(OptionsFor(m));
        Populate(server);
        ScopedHandle root = OpenRoot(1000);
        ScopedHandle connection;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(RunStep(m.step, root.Get(), server, connection)) << StepName(m.step);
        SCOPED_TRACE(InternetLastFailureReason());
        EXPECT_EQ(GetLastError(), m.error) << InternetLastFailureReason();
        EXPECT_NE(InternetLastFailureReason().find(m.reason), std::string::npos) << InternetLastFailureReason();
        EXPECT_LT(SecondsSince(start), 10.0); // bounded by the 1 s timeouts, whatever the server does
    }
}

// Every wait honours a Cancel, with the default 30 s timeouts in place: the call ends cancelled,
// and the session is gone, so nothing later can get out of step.
TEST(FtpHostile, CancelStopsEveryWait) {
    const Misbehaviour cases[] = {
        {"silent greeting", {"greeting stall"}, Step::Connect, 0, ""},
        {"dripping greeting", {"greeting drip 0.01"}, Step::Connect, 0, ""},
        {"silent after USER", {"USER stall"}, Step::Connect, 0, ""},
        {"silent after PASS", {"PASS stall"}, Step::Connect, 0, ""},
        {"silent after CWD", {"CWD stall"}, Step::Cwd, 0, ""},
        {"dripping CWD reply", {"CWD drip 0.01"}, Step::Cwd, 0, ""},
        {"silent after MDTM", {"MDTM stall"}, Step::FileTime, 0, ""},
        {"silent after SIZE", {"SIZE stall"}, Step::Download, 0, ""},
        {"silent after LIST", {"LIST stall"}, Step::ListLs, 0, ""},
        {"listing data never comes", {"LIST stalldata"}, Step::ListLs, 0, ""},
        {"MLSD data never comes", {"MLSD stalldata"}, Step::ListMlsd, 0, "", true},
        {"download data never comes", {"RETR stalldata"}, Step::Download, 0, ""},
        {"silent after RNFR", {"RNFR stall"}, Step::Rename, 0, ""},
        {"commands no longer read", {"PWD deaf"}, Step::CommandNotTaken, 0, ""},
    };
    for (const Misbehaviour& m : cases) {
        SCOPED_TRACE(m.name);
        test::FtpServer server(OptionsFor(m));
        Populate(server);
        ScopedHandle root = OpenRoot(); // 30 s: only the Cancel can end these soon
        // Connecting is not what is cancelled here, except where the connect is the step.
        std::chrono::steady_clock::time_point start;
        bool cancelling = false;
        IdleHookScope hook([&] { return !cancelling || SecondsSince(start) < 0.2; });
        ScopedHandle connection;
        if (m.step != Step::Connect) {
            connection = ConnectTo(root.Get(), server, true);
            ASSERT_TRUE(connection) << InternetLastFailureReason();
        }
        start = std::chrono::steady_clock::now();
        cancelling = true;
        bool ok = false;
        if (m.step == Step::Connect) {
            connection = ConnectTo(root.Get(), server, true);
            ok = static_cast<bool>(connection);
        } else {
            const HINTERNET c = connection.Get();
            switch (m.step) {
            case Step::Cwd: ok = FtpSetCurrentDirectory(c, "sub"); break;
            case Step::FileTime: {
                rtl::FILETIME time;
                ok = FtpGetFileTime(c, "f.bin", time);
                break;
            }
            case Step::Download: {
                std::string content;
                ok = Download(c, "f.bin", content);
                break;
            }
            case Step::ListLs:
            case Step::ListMlsd: {
                WIN32_FIND_DATA entry;
                ScopedHandle find(FtpFindFirstFile(c, "", entry, 0, 0));
                ok = static_cast<bool>(find);
                break;
            }
            case Step::Rename: ok = FtpRenameFile(c, "f.bin", "g.bin"); break;
            case Step::CommandNotTaken: ok = SendCommandNotTaken(c); break;
            default: FAIL();
            }
        }
        EXPECT_FALSE(ok);
        EXPECT_EQ(GetLastError(), ERROR_INTERNET_OPERATION_CANCELLED) << InternetLastFailureReason();
        EXPECT_EQ(InternetLastFailureReason(), "cancelled");
        EXPECT_LT(SecondsSince(start), 5.0); // far from the 30 s timeout
        if (connection) {
            EXPECT_FALSE(IsConnectionAlive(connection.Get()));
        }
        const auto closing = std::chrono::steady_clock::now();
        connection.Reset();
        EXPECT_LT(SecondsSince(closing), 5.0); // a cancelled connection only closes
    }
}

// Data that keeps flowing never makes a read wait, and a Cancel must still get through.
TEST(FtpHostile, CancelStopsATransferThatNeverWaits) {
    test::FtpServer server;
    const std::string big = RandomBytes(32u << 20, 3);
    server.WriteFile("big.bin", big);
    ScopedHandle root = OpenRoot();
    ScopedHandle connection = ConnectTo(root.Get(), server, true);
    ScopedHandle file(FtpOpenFile(connection.Get(), "big.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0));
    ASSERT_TRUE(file);
    IdleHookScope hook([] { return false; }); // Cancel was pressed
    std::vector<char> block(4096);
    uint64_t total = 0;
    DWORD read = 0;
    for (int guard = 0; guard < 1'000'000; ++guard) {
        if (!InternetReadFile(file.Get(), block.data(), static_cast<DWORD>(block.size()), read) || read == 0) break;
        total += read;
    }
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_OPERATION_CANCELLED);
    EXPECT_LT(total, big.size());
    EXPECT_FALSE(IsConnectionAlive(connection.Get()));
}

TEST(FtpHostile, AnEmptyListingOfAnExistingFolderIsStillEmpty) {
    test::FtpServerOptions options;
    options.mlsd = false;
    options.rules = {"LIST empty"};
    test::FtpServer server(options);
    Populate(server);
    ScopedHandle root = OpenRoot();
    ScopedHandle connection = ConnectTo(root.Get(), server, true);
    WIN32_FIND_DATA entry;
    EXPECT_EQ(FtpFindFirstFile(connection.Get(), "sub/*", entry, 0, 0), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
    // The check that the folder exists leaves the connection where it was.
    std::string directory;
    EXPECT_TRUE(FtpGetCurrentDirectory(connection.Get(), directory));
    EXPECT_EQ(directory, "/");
}

TEST(FtpHostile, NegativeOrMalformedSizeIsUnknownAndThe150ReplyStandsIn) {
    struct Case {
        const char* sizeReply;
        bool announce;
        std::optional<uint64_t> expected;
    };
    const Case cases[] = {
        {"213 -1", true, kContent.size()},
        {"213 -1", false, std::nullopt},
        {"213 12 bytes", false, std::nullopt},
        {"213 99999999999999999999999", false, std::nullopt},
        {"550 Not a plain file.", true, kContent.size()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sizeReply);
        test::FtpServerOptions options;
        options.rules = {std::string("SIZE reply ") + c.sizeReply};
        if (c.announce) options.rules.push_back("RETR announce");
        test::FtpServer server(options);
        Populate(server);
        ScopedHandle root = OpenRoot();
        ScopedHandle connection = ConnectTo(root.Get(), server, true);
        ScopedHandle file(FtpOpenFile(connection.Get(), "f.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0));
        ASSERT_TRUE(file) << InternetLastFailureReason();
        uint64_t size = 0;
        EXPECT_EQ(FtpGetFileSize64(file.Get(), size), c.expected.has_value());
        if (c.expected) {
            EXPECT_EQ(size, *c.expected);
        }
        file.Reset();
        std::string content;
        EXPECT_TRUE(Download(connection.Get(), "f.bin", content)) << InternetLastFailureReason();
        EXPECT_TRUE(content == kContent);
    }
}

// Entries a listing may hold that are not plain files, and names a careless parser would bend.
class FtpOddListing : public ::testing::TestWithParam<bool> {};

TEST_P(FtpOddListing, DevicesAreLeftOutAndNamesKeepTheirBytes) {
    const bool mlsd = GetParam();
    test::FtpServerOptions options;
    options.mlsd = mlsd;
    options.listLines = {"crw-rw-rw-   1 root     root       1,   3 Jan 01  2020 null",
                         "brw-rw----   1 root     disk       8,   0 Jan 01  2020 sda",
                         "prw-r--r--   1 owner    group          0 Jan 01  2020 fifo",
                         "srwxr-xr-x   1 owner    group          0 Jan 01  2020 socket"};
    options.mlsdLines = {"type=OS.unix=chr-1/3;modify=20200101000000;perm=r; null",
                         "type=OS.unix=blk-8/0;modify=20200101000000;perm=r; sda",
                         "type=cdir;modify=20200101000000;perm=el; ."};
    test::FtpServer server(options);
    const std::string latin1 = "caf\xe9.txt"; // not UTF-8
    server.WriteFile("trailing ", "t");
    server.WriteFile(latin1, "l");
    server.WriteFile("plain.txt", "p");
    ScopedHandle root = OpenRoot();
    ScopedHandle connection = ConnectTo(root.Get(), server, true);

    std::vector<std::string> names;
    WIN32_FIND_DATA entry;
    ScopedHandle find(FtpFindFirstFile(connection.Get(), "", entry, 0, 0));
    ASSERT_TRUE(find) << InternetLastFailureReason();
    do {
        names.push_back(entry.cFileName);
        EXPECT_EQ(entry.dwFileAttributes, FILE_ATTRIBUTE_NORMAL) << entry.cFileName;
    } while (names.size() < 100 && InternetFindNextFile(find.Get(), entry));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{latin1, "plain.txt", "trailing "}));
    // A mask matches such a name, and the entry keeps the server's bytes.
    ScopedHandle masked(FtpFindFirstFile(connection.Get(), "caf?.txt", entry, 0, 0));
    ASSERT_TRUE(masked) << InternetLastFailureReason();
    EXPECT_EQ(entry.cFileName, latin1);

    // The names from the listing fetch the files they name.
    std::string content;
    EXPECT_TRUE(Download(connection.Get(), "trailing ", content));
    EXPECT_EQ(content, "t");
    EXPECT_TRUE(Download(connection.Get(), latin1, content));
    EXPECT_EQ(content, "l");
}

INSTANTIATE_TEST_SUITE_P(Styles, FtpOddListing, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Mlsd" : "List"; });

} // namespace
} // namespace zandrel::inet::testing
