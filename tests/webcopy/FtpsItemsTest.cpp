// The FTP items over FTP with TLS against a real vsftpd that insists on TLS: explicit and
// implicit, passive and active, through the same routines as plain FTP; and a server whose
// certificate is not to be trusted, which gets nothing.
#include <gtest/gtest.h>

#include <cstdlib>

#include "FtpTestSupport.h"
#include "fixtures/ScriptProcess.h"
#include "fixtures/VsftpdServer.h"

namespace zandrel::webcopy {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using testing::FtpWebCopy;
using testing::Logged;
using testing::ReadLocal;
using testing::WriteLocal;

// The test CA trusted for the test's life, as SSL_CERT_FILE is read by every new TLS context.
class TrustedCa {
public:
    explicit TrustedCa(const fs::path& caFile) {
        if (const char* old = std::getenv("SSL_CERT_FILE")) previous_ = old, had_ = true;
        setenv("SSL_CERT_FILE", caFile.c_str(), 1);
    }
    ~TrustedCa() {
        if (had_) setenv("SSL_CERT_FILE", previous_.c_str(), 1);
        else unsetenv("SSL_CERT_FILE");
    }

private:
    std::string previous_;
    bool had_ = false;
};

class FtpsItems : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string why = test::VsftpdServer::Unavailable(); !why.empty()) GTEST_SKIP() << why;
        local_ = test::MakeTestWorkDir("zandrel-ftps-items-");
    }
    void TearDown() override {
        std::error_code ignored;
        if (!local_.empty()) fs::remove_all(local_, ignored);
    }
    static TZandrelWebCopyItem& Add(TZandrelWebCopy& wc, const test::VsftpdServer& server,
                                    TZandrelWebCopyFtpSecurity security, TZandrelWebCopyProtocol protocol,
                                    const std::string& url, const std::string& targetDir = "",
                                    const std::string& targetName = "") {
        TZandrelWebCopyItem& item = wc.Items.Add();
        item.Protocol = protocol;
        item.URL = url;
        item.TargetDir = targetDir;
        item.TargetFilename = targetName;
        item.FTPHost = server.Host();
        item.FTPPort = server.Port();
        item.FTPSecurity = security;
        return item;
    }
    std::string Local(const std::string& name) const { return (local_ / name).string(); }
    fs::path local_;
};

TEST_F(FtpsItems, EveryFtpItemWorksOverTlsExplicitAndImplicitPassiveAndActive) {
    for (const bool implicit : {false, true})
        for (const bool passive : {true, false}) {
            SCOPED_TRACE(std::string(implicit ? "implicit" : "explicit") + (passive ? ", passive" : ", active"));
            test::VsftpdServer server({.implicitTls = implicit});
            const TrustedCa ca(server.CaFile());
            const TZandrelWebCopyFtpSecurity security = implicit ? fsFtpsImplicit : fsFtpsExplicit;
            fs::remove_all(local_);
            WriteLocal(local_ / "up/a.bin", Bytes(200000, 5));
            WriteLocal(local_ / "up/b.txt", "b");
            server.WriteFile("pub/keep.txt", "kept");
            server.WriteFile("pub/gone.txt", "to delete");
            FtpWebCopy wc;
            wc.FTPPassive = passive;
            Add(wc, server, security, wpFtpTest, "");
            Add(wc, server, security, wpFtpUpload, Local("up/a.bin"), "pub");
            Add(wc, server, security, wpMultiFtpUpload, Local("up/*.txt"), "pub/many");
            Add(wc, server, security, wpFtp, "pub/a.bin", Local("back"));
            Add(wc, server, security, wpMultiFtp, "pub/many/*.txt", Local("back/many"));
            Add(wc, server, security, wpFtpList, "pub/*.txt");
            Add(wc, server, security, wpFtpDelete, "", "pub", "gone.txt");
            wc.Execute();
            for (int i = 0; i < wc.Items.Count(); ++i)
                EXPECT_TRUE(wc.Items[i].Success()) << "item " << i << ": " << ::testing::PrintToString(wc.reasons);
            EXPECT_TRUE(ReadLocal(local_ / "back/a.bin") == Bytes(200000, 5));
            EXPECT_EQ(ReadLocal(local_ / "back/many/b.txt"), "b");
            ASSERT_NE(wc.Items[5].FileList(), nullptr);
            EXPECT_EQ(wc.Items[5].FileList()->Items(), (std::vector<std::string>{"gone.txt", "keep.txt"}));
            EXPECT_FALSE(fs::exists(server.Root() / "pub/gone.txt"));
            // The data connections were protected; nothing went in clear.
            const std::vector<std::string> commands = server.Commands();
            EXPECT_NE(std::find(commands.begin(), commands.end(), "PROT P"), commands.end());
        }
}

TEST_F(FtpsItems, AServerWhoseCertificateIsNotToBeTrustedGetsNothing) {
    struct Case {
        const char* what;
        test::VsftpdOptions::Certificate certificate;
        const char* reasonWords;
    };
    const std::vector<Case> cases{
        {"another host's certificate", test::VsftpdOptions::Certificate::OtherName, "certificate"},
        {"an unknown issuer", test::VsftpdOptions::Certificate::Untrusted, "not trusted"},
    };
    WriteLocal(local_ / "secret.txt", "for the right server only");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::VsftpdServer server({.certificate = c.certificate});
        const TrustedCa ca(server.CaFile());
        FtpWebCopy wc;
        Add(wc, server, fsFtpsExplicit, wpFtpUpload, Local("secret.txt"), "pub");
        wc.Execute();
        EXPECT_FALSE(wc.Items[0].Success());
        EXPECT_TRUE(Logged(wc.log, "error 6"));
        ASSERT_EQ(wc.reasons.size(), 1u);
        EXPECT_NE(wc.reasons[0].find(c.reasonWords), std::string::npos) << wc.reasons[0];
        EXPECT_FALSE(fs::exists(server.Root() / "pub/secret.txt"));
        const std::vector<std::string> commands = server.Commands();
        EXPECT_EQ(std::find_if(commands.begin(), commands.end(),
                               [](const std::string& line) { return line.rfind("USER", 0) == 0; }),
                  commands.end())
            << "the login went to a server that was not trusted";
    }
}

} // namespace
} // namespace zandrel::webcopy
