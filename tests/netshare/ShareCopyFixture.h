#pragma once
// A real smbd for the share tests, started once for a test suite (skipped with the reason when
// it cannot run here), and a local folder of each test's own for the copies.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "fixtures/ScriptProcess.h"
#include "fixtures/SmbServer.h"
#include "webcopy/FtpTestSupport.h"

namespace zandrel::webcopy::testing {

class ShareCopy : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!test::SmbServer::Unavailable().empty()) return;
        server_ = new test::SmbServer();
    }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }
    void SetUp() override {
        const std::string why = test::SmbServer::Unavailable();
        if (!why.empty()) GTEST_SKIP() << why;
        local_ = test::MakeTestWorkDir("zandrel-sharecopy-");
    }
    void TearDown() override {
        if (!local_.empty()) fs::remove_all(local_);
    }

    TZandrelWebCopyItem& Add(TZandrelWebCopy& wc, const std::string& share, const std::string& url,
                             const std::string& password) {
        TZandrelWebCopyItem& item = wc.Items.Add();
        item.Protocol = wpFile;
        item.FTPHost = share;
        item.FTPUserID = server_->User();
        item.FTPPassword = password;
        item.URL = url;
        item.TargetDir = local_.string();
        return item;
    }

    static inline test::SmbServer* server_ = nullptr;
    fs::path local_;
};

} // namespace zandrel::webcopy::testing
