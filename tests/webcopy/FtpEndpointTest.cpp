// Where an FTP item connects and over which transport: FTPSecurity, a prefix of FTPHost the way
// FileZilla reads host names, and each transport's default port.
#include <gtest/gtest.h>

#include "FtpTestSupport.h"
#include "webcopy/FtpEndpoint.h"

namespace zandrel::webcopy {
namespace {

struct EndpointCase {
    std::string host;
    int32_t port;
    TZandrelWebCopyFtpSecurity security;
    // Expected: the host to connect to, the port and the transport; or the words of the problem.
    std::string wantHost;
    int32_t wantPort;
    TZandrelWebCopyFtpSecurity wantSecurity;
    std::string problemWords = {};
};

TEST(FtpEndpoint, TheTransportComesFromTheItemOrTheHostsPrefixAndBringsItsDefaultPort) {
    const std::vector<EndpointCase> cases{
        {"ftp.example.org", 21, fsNone, "ftp.example.org", 21, fsNone},
        {"ftp.example.org", 0, fsNone, "ftp.example.org", 21, fsNone},
        {"ftp.example.org", 21, fsSftp, "ftp.example.org", 22, fsSftp},
        {"ftp.example.org", 2222, fsSftp, "ftp.example.org", 2222, fsSftp},
        {"ftp.example.org", 21, fsFtpsImplicit, "ftp.example.org", 990, fsFtpsImplicit},
        {"ftp.example.org", 21, fsFtpsExplicit, "ftp.example.org", 21, fsFtpsExplicit},
        {"sftp://ftp.example.org", 21, fsNone, "ftp.example.org", 22, fsSftp},
        {"SFTP://ftp.example.org/", 0, fsNone, "ftp.example.org", 22, fsSftp},
        {"ftps://ftp.example.org", 21, fsNone, "ftp.example.org", 990, fsFtpsImplicit},
        {"ftps://ftp.example.org:2990", 21, fsNone, "ftp.example.org", 2990, fsFtpsImplicit},
        {"ftps://ftp.example.org:21", 21, fsNone, "ftp.example.org", 21, fsFtpsImplicit},
        {"ftpes://ftp.example.org", 21, fsNone, "ftp.example.org", 21, fsFtpsExplicit},
        {"sftp://ftp.example.org", 21, fsSftp, "ftp.example.org", 22, fsSftp},
        // A plain address says nothing against the item's own choice.
        {"ftp://ftp.example.org", 21, fsFtpsExplicit, "ftp.example.org", 21, fsFtpsExplicit},
        {"sftp://::1", 21, fsNone, "::1", 22, fsSftp},
        // What cannot be meant.
        {"sftp://ftp.example.org", 21, fsFtpsExplicit, "", 0, fsNone, "says SFTP, but FTPSecurity says FTPS (explicit"},
        {"ftpes://ftp.example.org", 21, fsSftp, "", 0, fsNone, "says FTPS (explicit TLS), but FTPSecurity says SFTP"},
        {"sftp://ftp.example.org:22", 2222, fsNone, "", 0, fsNone, "names port 22, but FTPPort is 2222"},
        {"sftp://me@ftp.example.org", 21, fsNone, "", 0, fsNone, "give the user as FTPUserID"},
        {"sftp://ftp.example.org/pub", 21, fsNone, "", 0, fsNone, "the folder in the item's URL"},
        {"ftps://ftp.example.org:ftp", 21, fsNone, "", 0, fsNone, "not a port number"},
    };
    for (const EndpointCase& c : cases) {
        SCOPED_TRACE(c.host + " port " + std::to_string(c.port) + " security " + std::to_string(c.security));
        std::string problem;
        const FtpEndpoint endpoint = ResolveFtpEndpoint(c.host, c.port, c.security, problem);
        if (!c.problemWords.empty()) {
            EXPECT_NE(problem.find(c.problemWords), std::string::npos) << problem;
            continue;
        }
        EXPECT_EQ(problem, "");
        EXPECT_EQ(endpoint.host, c.wantHost);
        EXPECT_EQ(endpoint.port, c.wantPort);
        EXPECT_EQ(endpoint.security, c.wantSecurity);
    }
}

// An item whose host and transport disagree fails before anything is sent, with the reason.
TEST(FtpEndpoint, AnItemWhoseHostAndTransportDisagreeFailsToConnectSayingWhy) {
    testing::FtpWebCopy wc;
    TZandrelWebCopyItem& item = wc.Items.Add();
    item.Protocol = wpFtpTest;
    item.FTPHost = "sftp://127.0.0.1";
    item.FTPSecurity = fsFtpsImplicit;
    wc.Execute();
    EXPECT_FALSE(wc.Items[0].Success());
    EXPECT_TRUE(testing::Logged(wc.log, "error 6"));
    ASSERT_EQ(wc.reasons.size(), 1u);
    EXPECT_NE(wc.reasons[0].find("says SFTP, but FTPSecurity says FTPS (implicit TLS)"), std::string::npos)
        << wc.reasons[0];
}

} // namespace
} // namespace zandrel::webcopy
