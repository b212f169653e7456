// `zandrel email` driven as a user would: the real package, msmtp as the system's sendmail
// delivering to a local SMTP server, and a recording mail program as the desktop's composer.
#include <gtest/gtest.h>

#include <signal.h>

#include <cstdio>
#include <filesystem>

#include "fixtures/MailUser.h"
#include "fixtures/SmtpServer.h"
#include "platform/rtl/Utf16.h"
#include "support/RunProcess.h"

namespace zandrel::testing {
namespace {

namespace fs = std::filesystem;

const std::string kSettingsKey = "[HKEY_CURRENT_USER\\Software\\QuillonSoftware\\FTPUploaderIDEPlugin]";
const std::string kSubject = "Projekt Demo – Stand von heute";
const std::string kBody = "Hallo,\r\nanbei das Archiv.\r\nGrüße\r\n";

// A string value as the store writes text that does not fit in quotes (line breaks).
std::string TextValue(const std::string& text) {
    std::string value = "hex(1):";
    for (char16_t unit : rtl::ToUtf16(text) + u'\0') {
        char pair[16];
        std::snprintf(pair, sizeof pair, "%02x,%02x,", unit & 0xff, unit >> 8);
        value += pair;
    }
    value.pop_back();
    return value;
}

class EmailCommand : public ::testing::Test {
protected:
    void SetUp() override {
        fs::copy(fs::path(ZANDREL_SOURCE_DIR) / "examples/Demo", project_.path(), fs::copy_options::recursive);
        fs::remove(Archive());
    }

    // The e-mail settings, with auto-send on or off.
    void SetEmailSettings(bool autoSend) {
        WriteFile(home_ / "config/zandrel/user.reg",
                  "Windows Registry Editor Version 5.00\r\n\r\n" + kSettingsKey +
                      "\r\n\"ZIPFilter\"=\"*.PAS;*.DPR\"\r\n"
                      "\"EMAILTo\"=\"a@x.org; b@y.org\"\r\n"
                      "\"EMAILCC\"=\"c@x.org\"\r\n"
                      "\"EMAILBCC\"=\"d@x.org\"\r\n"
                      "\"EMAILSubject\"=\"" +
                      kSubject + "\"\r\n\"EMAILBody\"=" + TextValue(kBody) + "\r\n\"EMAILAuto\"=dword:0000000" +
                      (autoSend ? "1" : "0") + "\r\n");
    }

    ProcessResult Email(std::map<std::string, std::string> extra = {}) {
        std::map<std::string, std::string> env = user_->Environment();
        for (auto& [name, value] : extra) env[name] = value;
        return RunProcess({ZANDREL_EXE, "--ui=terminal", "email", project_ / "Demo.prj"}, env);
    }

    std::string Archive() const { return project_ / "Demo.zip"; }

    TempDir home_{"email-home"};
    TempDir project_{"email-project"};
    std::unique_ptr<test::SmtpServer> server_ = std::make_unique<test::SmtpServer>();
    std::unique_ptr<test::MailUser> user_ = std::make_unique<test::MailUser>(home_.path(), server_->Port());
};

TEST_F(EmailCommand, AutoSendMailsTheArchive) {
    SetEmailSettings(true);
    const ProcessResult run = Email();
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("Sent " + Archive() + " by e-mail to a@x.org; b@y.org"), std::string::npos) << run.err;
    EXPECT_EQ(run.out, Archive() + "\n"); // the result alone
    const auto messages = server_->Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].recipients, (std::vector<std::string>{"a@x.org", "b@y.org", "c@x.org", "d@x.org"}));
    EXPECT_EQ(messages[0].headers.at("to"), "a@x.org, b@y.org");
    EXPECT_EQ(messages[0].headers.at("subject"), kSubject);
    EXPECT_EQ(messages[0].body, "Hallo,\nanbei das Archiv.\nGrüße\n");
    ASSERT_EQ(messages[0].attachments.size(), 1u);
    EXPECT_EQ(messages[0].attachments[0].filename, "Demo.zip");
    EXPECT_EQ(messages[0].attachments[0].bytes, ReadFile(Archive()));
    EXPECT_TRUE(user_->ComposedLinks().empty());
}

TEST_F(EmailCommand, WithoutAutoSendTheComposerOpens) {
    SetEmailSettings(false);
    const ProcessResult run = Email();
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("Opened the mail composer with " + Archive()), std::string::npos) << run.err;
    EXPECT_EQ(user_->Composed(), (std::vector<test::ComposedMail>{{{"a@x.org", "b@y.org"},
                                                                  {{"cc", {"c@x.org"}},
                                                                   {"bcc", {"d@x.org"}},
                                                                   {"subject", {kSubject}},
                                                                   {"body", {kBody}},
                                                                   {"attach", {Archive()}}}}}));
    EXPECT_TRUE(server_->Messages().empty());
}

// sendmail that cannot send (no account set up): the desktop's mail program takes the message,
// and the person learns why it did not go out by itself.
TEST_F(EmailCommand, WhenSendingFailsTheComposerTakesOver) {
    user_ = std::make_unique<test::MailUser>(home_.path(), 0);
    fs::remove(home_ / "home/.msmtprc");
    SetEmailSettings(true);
    const ProcessResult run = Email();
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("warning: the message could not be sent by itself"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("Opened the mail composer with " + Archive()), std::string::npos) << run.err;
    const auto links = user_->ComposedLinks();
    ASSERT_EQ(links.size(), 1u);
    const test::ComposedMail mail = test::ParseMailto(links[0]);
    EXPECT_EQ(mail.to, (std::vector<std::string>{"a@x.org", "b@y.org"}));
    EXPECT_EQ(mail.First("subject"), kSubject);
    EXPECT_EQ(mail.fields.at("attach"), std::vector<std::string>{Archive()});
}

TEST_F(EmailCommand, WithNoMailProgramTheCommandSaysWhyAndFails) {
    struct Case {
        bool autoSend;
        std::string sendReason;
    };
    const Case cases[] = {
        {false, "xdg-email was not found on PATH"},
        {true, "did not accept the message"},
    };
    fs::remove(home_ / "home/.msmtprc");
    for (const Case& c : cases) {
        SetEmailSettings(c.autoSend);
        const ProcessResult run = Email({{"PATH", home_ / "empty-path"}});
        EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
        EXPECT_NE(run.err.find("no mail program could take the message"), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("The mail application: " + std::string(c.autoSend ? "" : "the desktop's mail composer ")),
                  std::string::npos)
            << run.err;
        EXPECT_NE(run.err.find(c.sendReason), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("The desktop's mail program: there is no desktop mail program"), std::string::npos)
            << run.err;
        EXPECT_NE(run.err.find("The archive is " + Archive()), std::string::npos) << run.err;
        EXPECT_TRUE(fs::is_regular_file(Archive()));
        EXPECT_TRUE(server_->Messages().empty());
    }
}

// Ctrl-C while sendmail hangs stops the command: nothing is sent, no composer opens instead, and
// the status says it was stopped.
TEST_F(EmailCommand, CtrlCStopsAHangingSend) {
    SetEmailSettings(true);
    const std::string pidFile = home_ / "sendmail.pid";
    WriteFile(home_ / "bin/sendmail", "#!/bin/sh\necho $$ > '" + pidFile + "'\nexec sleep 60\n");
    fs::permissions(home_ / "bin/sendmail", fs::perms(0755));
    std::map<std::string, std::string> env = user_->Environment();
    env["PATH"] = (home_ / "bin") + ":/usr/bin:/bin";
    const ProcessResult run = RunProcess({.argv = {ZANDREL_EXE, "--ui=terminal", "email", project_ / "Demo.prj"},
                                          .env = env,
                                          .signalWhen = [&](const std::string&) { return !ReadFile(pidFile).empty(); },
                                          .signal = SIGINT,
                                          .timeoutSeconds = 60});
    EXPECT_TRUE(run.signalled);
    EXPECT_EQ(run.exitCode, 130) << run.err;
    EXPECT_NE(run.err.find("Zip & Email Project stopped; no message was sent"), std::string::npos) << run.err;
    EXPECT_TRUE(user_->ComposedLinks().empty());
    EXPECT_NE(kill(std::stoi(ReadFile(pidFile)), 0), 0) << "sendmail was ended";
}

} // namespace
} // namespace zandrel::testing
