#pragma once
// What the mail tests share: a person's mail set-up (msmtp to a local SMTP server, a recording
// composer) in the environment of the test process, and a way to put stand-in programs on PATH.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <string>

#include "fixtures/MailUser.h"
#include "fixtures/SmtpServer.h"
#include "platform/automation/Automation.h"
#include "platform/mail/Mail.h"
#include "support/RunProcess.h"

namespace zandrel::mail::testing {

using zandrel::testing::ReadFile;
using zandrel::testing::TempDir;
using zandrel::testing::WriteFile;

// Bytes that would suffer from any text handling on the way: every byte value, CR LF pairs, lone
// CRs and LFs, lines holding only a dot.
inline std::string AwkwardBytes(size_t size) {
    std::string bytes;
    for (size_t i = 0; bytes.size() < size; ++i) {
        bytes += static_cast<char>(i % 256);
        if (i % 97 == 0) bytes += "\r\n.\r\n";
        if (i % 89 == 0) bytes += "\r";
    }
    bytes.resize(size);
    return bytes;
}

class MailLayer : public ::testing::Test {
protected:
    void SetUp() override {
        // Variables are put back in the reverse order of setting them.
        path_.reset();
        environment_.reset();
        server_ = std::make_unique<test::SmtpServer>(serverOptions_);
        user_ = std::make_unique<test::MailUser>(scratch_.path(), server_->Port());
        environment_ = std::make_unique<test::ScopedEnvironment>(user_->Environment());
        archive_ = scratch_ / "project/Demo.zip";
        WriteFile(archive_, AwkwardBytes(300 * 1024));
    }
    void TearDown() override {
        path_.reset();
        environment_.reset();
        SetMailTimeouts({});
    }

    // A program of that name on PATH before the system's, running `script` with /bin/sh.
    void StandIn(const std::string& name, const std::string& script) {
        const std::string path = scratch_ / ("bin/" + name);
        WriteFile(path, "#!/bin/sh\n" + script + "\n");
        chmod(path.c_str(), 0755);
        path_.reset();
        path_ = std::make_unique<test::ScopedEnvironment>(
            std::map<std::string, std::string>{{"PATH", (scratch_ / "bin") + ":/usr/bin:/bin"}});
    }
    // PATH with nothing on it.
    void EmptyPath() {
        path_.reset();
        path_ = std::make_unique<test::ScopedEnvironment>(
            std::map<std::string, std::string>{{"PATH", scratch_ / "nothing-here"}});
    }

    automation::ObjectRef NewItem() {
        const automation::ObjectRef application = automation::CreateObject("Outlook.Application");
        return application->Invoke("CreateItem", {automation::Variant(0)}).AsObject();
    }

    static bool Alive(pid_t pid) { return pid > 0 && kill(pid, 0) == 0; }

    test::SmtpServerOptions serverOptions_;
    TempDir scratch_{"mail"};
    std::unique_ptr<test::SmtpServer> server_;
    std::unique_ptr<test::MailUser> user_;
    std::unique_ptr<test::ScopedEnvironment> environment_;
    std::unique_ptr<test::ScopedEnvironment> path_;
    std::string archive_;
};

} // namespace zandrel::mail::testing
