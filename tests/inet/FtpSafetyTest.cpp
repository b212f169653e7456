// Text with CR, LF or NUL never reaches the server: it would end the command line early and let
// the rest run as a command of its own.
#include <functional>

#include "InetTestSupport.h"

namespace zandrel::inet::testing {
namespace {

TEST(FtpSafety, LineBreaksAndNulInNamesAreRefusedBeforeAnythingIsSent) {
    test::FtpServer server;
    ScopedHandle root = OpenRoot();
    ScopedHandle connection = ConnectTo(root.Get(), server);
    ASSERT_TRUE(connection);
    const HINTERNET c = connection.Get();

    using Operation = std::function<bool(const std::string&)>;
    const std::pair<const char*, Operation> operations[] = {
        {"CWD", [&](const std::string& n) { return FtpSetCurrentDirectory(c, n); }},
        {"MKD", [&](const std::string& n) { return FtpCreateDirectory(c, n); }},
        {"DELE", [&](const std::string& n) { return FtpDeleteFile(c, n); }},
        {"find", [&](const std::string& n) {
             WIN32_FIND_DATA entry;
             HINTERNET find = FtpFindFirstFile(c, n, entry, 0, 0);
             if (find) InternetCloseHandle(find);
             return find != nullptr;
         }},
        {"read", [&](const std::string& n) {
             HINTERNET file = FtpOpenFile(c, n, GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0);
             if (file) InternetCloseHandle(file);
             return file != nullptr;
         }},
        {"write", [&](const std::string& n) {
             HINTERNET file = FtpOpenFile(c, n, GENERIC_WRITE, FTP_TRANSFER_TYPE_BINARY, 0);
             if (file) InternetCloseHandle(file);
             return file != nullptr;
         }},
    };
    const std::string badNames[] = {"evil\r\nDELE victim", "evil\nDELE victim", std::string("evil\0DELE victim", 16),
                                    "evil\r"};
    server.WriteFile("victim", "keep me");
    for (const auto& [what, operation] : operations) {
        for (const std::string& name : badNames) {
            SCOPED_TRACE(what);
            const size_t before = server.Commands().size();
            EXPECT_FALSE(operation(name));
            EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
            EXPECT_EQ(server.Commands().size(), before) << "something was sent";
        }
    }
    EXPECT_FALSE(server.AnyCommandContains("evil"));
    EXPECT_EQ(server.ReadFile("victim"), "keep me");
    EXPECT_TRUE(IsConnectionAlive(c));
}

TEST(FtpSafety, CredentialsWithLineBreaksNeverConnect) {
    test::FtpServer server;
    ScopedHandle root = OpenRoot();
    for (const auto& [user, password] : {std::pair<std::string, std::string>{"alice\r\nDELE x", "secret"},
                                         {"alice", "secret\nDELE x"},
                                         {"alice", std::string("se\0cret", 7)}}) {
        EXPECT_FALSE(ConnectTo(root.Get(), server, false, user, password));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    }
    EXPECT_TRUE(server.Commands().empty());
}

} // namespace
} // namespace zandrel::inet::testing
