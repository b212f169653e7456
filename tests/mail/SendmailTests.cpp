// Sending through the system's sendmail: msmtp delivering to a local SMTP server, and stand-ins
// for sendmail programs that refuse, hang or die.
#include <unistd.h>

#include <chrono>
#include <thread>

#include "mail/MailTestSupport.h"
#include "platform/mail/MailError.h"
#include "platform/mail/Sendmail.h"
#include "platform/ui/Interrupt.h"

namespace zandrel::mail::testing {
namespace {

using automation::Variant;

TEST_F(MailLayer, SendDeliversTheWholeMessageThroughSendmail) {
    const automation::ObjectRef item = NewItem();
    item->SetProperty("To", Variant("a@x.org; Jürgen Weiß <j@x.org>"));
    item->SetProperty("Cc", Variant("c@x.org"));
    item->SetProperty("BCc", Variant("d@x.org, e@x.org"));
    const std::string subject = "Grüße: das Projekt Demo – eine ziemlich lange Betreffzeile, die umbrochen wird";
    item->SetProperty("Subject", Variant(subject + "\r\nBcc: evil@y.org"));
    const std::string body = "Hallo,\r\n.\r\nanbei das Archiv – größer als gedacht.\r\n";
    item->SetProperty("Body", Variant(body));
    item->Invoke("Attachments", {}).AsObject()->Invoke("Add", {Variant(archive_)});
    item->Invoke("Send", {});

    const auto messages = server_->Messages();
    ASSERT_EQ(messages.size(), 1u);
    const test::DeliveredMail& mail = messages[0];
    EXPECT_EQ(mail.mailFrom, "zandrel-test@example.org");
    EXPECT_EQ(mail.recipients, (std::vector<std::string>{"a@x.org", "j@x.org", "c@x.org", "d@x.org", "e@x.org"}));
    EXPECT_EQ(mail.headers.at("to"), "a@x.org, Jürgen Weiß <j@x.org>");
    EXPECT_EQ(mail.headers.at("cc"), "c@x.org");
    EXPECT_FALSE(mail.headers.count("bcc")) << "msmtp keeps Bcc in the envelope only";
    // The line break in the subject did not make a header of its own.
    EXPECT_EQ(mail.headers.at("subject"), subject + "  Bcc: evil@y.org");
    EXPECT_EQ(mail.raw.find("\nBcc: evil"), std::string::npos);
    EXPECT_TRUE(mail.headers.count("date"));
    EXPECT_EQ(mail.headers.at("message-id").front(), '<');
    EXPECT_EQ(mail.body, "Hallo,\n.\nanbei das Archiv – größer als gedacht.\n");
    ASSERT_EQ(mail.attachments.size(), 1u);
    EXPECT_EQ(mail.attachments[0].filename, "Demo.zip");
    EXPECT_EQ(mail.attachments[0].contentType, "application/zip");
    EXPECT_EQ(mail.attachments[0].bytes, ReadFile(archive_));
}

TEST_F(MailLayer, AnAttachmentNameBeyondAsciiArrivesIntact) {
    const std::string file = scratch_ / "project/Prüfung 2.zip";
    WriteFile(file, "PK\x05\x06 and more");
    Draft draft;
    draft.to = "a@x.org";
    draft.attachments = {file};
    SendWithSendmail(draft);
    const auto messages = server_->Messages();
    ASSERT_EQ(messages.size(), 1u);
    ASSERT_EQ(messages[0].attachments.size(), 1u);
    EXPECT_EQ(messages[0].attachments[0].filename, "Prüfung 2.zip");
    EXPECT_EQ(messages[0].attachments[0].bytes, ReadFile(file));
}

// What sendmail is given: the recipients come from the header fields (-t), a lone dot does not
// end the message (-oi), and lines end in LF as local text does.
TEST_F(MailLayer, SendmailGetsLocalTextAndTakesRecipientsFromTheHeader) {
    const std::string args = scratch_ / "args", input = scratch_ / "input";
    StandIn("sendmail", "printf '%s\\n' \"$@\" > '" + args + "'; cat > '" + input + "'");
    Draft draft;
    draft.to = "a@x.org";
    draft.bcc = "hidden@x.org";
    draft.subject = "s";
    draft.attachments = {archive_};
    SendWithSendmail(draft);
    EXPECT_EQ(ReadFile(args), "-t\n-oi\n");
    const std::string text = ReadFile(input);
    EXPECT_EQ(text.find('\r'), std::string::npos);
    EXPECT_NE(text.find("\nBcc: hidden@x.org\n"), std::string::npos) << text.substr(0, 600);
    EXPECT_GT(text.size(), ReadFile(archive_).size() * 4 / 3);
}

struct Refusal {
    const char* name;
    const char* script; // empty: the real msmtp
    std::vector<std::string> reasonHas;
};

TEST_F(MailLayer, SendFailsWithTheReasonWheneverSendmailDoesNotTakeTheMessage) {
    MailTimeouts quick;
    quick.sendmailStall = std::chrono::seconds(3);
    quick.sendmailFinish = std::chrono::seconds(3);
    SetMailTimeouts(quick);
    const Refusal cases[] = {
        {"refuses", "cat > /dev/null; echo 'sendmail: cannot reach the relay' >&2; exit 75",
         {"exit status 75", "cannot reach the relay"}},
        {"ends before reading", "echo 'sendmail: bad configuration' >&2; exit 78", {"exit status 78", "bad configuration"}},
        {"reads nothing", "exec sleep 30", {"took no part of the message for 3 seconds"}},
        {"never finishes", "cat > /dev/null; exec sleep 30", {"did not finish within 3 seconds"}},
        {"dies", "cat > /dev/null; kill -9 $$", {"ended by signal 9"}},
    };
    for (const Refusal& c : cases) {
        StandIn("sendmail", c.script);
        const automation::ObjectRef item = NewItem();
        item->SetProperty("To", Variant("a@x.org"));
        item->Invoke("Attachments", {}).AsObject()->Invoke("Add", {Variant(archive_)});
        const auto started = std::chrono::steady_clock::now();
        try {
            item->Invoke("Send", {});
            ADD_FAILURE() << c.name << ": Send succeeded";
        } catch (const automation::AutomationError& e) {
            for (const std::string& part : c.reasonHas)
                EXPECT_NE(std::string(e.what()).find(part), std::string::npos) << c.name << ": " << e.what();
        }
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20)) << c.name;
    }
    EXPECT_TRUE(server_->Messages().empty());
}

TEST_F(MailLayer, TheServersRefusalReachesTheCaller) {
    serverOptions_.rejectData = "554 5.7.1 Not today";
    SetUp();
    Draft draft;
    draft.to = "a@x.org";
    try {
        SendWithSendmail(draft);
        FAIL() << "sent";
    } catch (const MailError& e) {
        EXPECT_NE(std::string(e.what()).find("Not today"), std::string::npos) << e.what();
    }
}

TEST_F(MailLayer, NothingIsStartedForAMessageThatCannotGoOut) {
    const std::string ran = scratch_ / "ran";
    StandIn("sendmail", "touch '" + ran + "'; cat > /dev/null");
    auto draftOf = [](std::string to, std::string attachment) {
        Draft draft;
        draft.to = std::move(to);
        draft.attachments = {std::move(attachment)};
        return draft;
    };
    const std::pair<Draft, std::string> cases[] = {
        {draftOf(" ; ", archive_), "no recipient"},
        {draftOf("a@x.org", scratch_ / "missing.zip"), "missing.zip"},
        {draftOf("a@x.org", scratch_.path()), "is not a file"},
    };
    for (const auto& [draft, reason] : cases) {
        try {
            SendWithSendmail(draft);
            ADD_FAILURE() << reason << ": sent";
        } catch (const MailError& e) {
            EXPECT_NE(std::string(e.what()).find(reason), std::string::npos) << e.what();
        }
    }
    EXPECT_FALSE(std::filesystem::exists(ran));
}

// Ctrl-C while sendmail hangs ends the wait at once and sendmail with it, so nothing goes out.
TEST_F(MailLayer, CtrlCEndsAStuckSendmail) {
    const std::string pidFile = scratch_ / "pid";
    StandIn("sendmail", "echo $$ > '" + pidFile + "'; exec sleep 60");
    // Ctrl-C once sendmail runs.
    std::thread presser([&] {
        for (int i = 0; i < 200 && ReadFile(pidFile).empty(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ui::RequestInterrupt();
    });
    Draft draft;
    draft.to = "a@x.org";
    draft.attachments = {archive_};
    const auto started = std::chrono::steady_clock::now();
    EXPECT_THROW(SendWithSendmail(draft), MailStopped);
    presser.join();
    EXPECT_TRUE(ui::TakeInterrupt());
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    const std::string pid = ReadFile(pidFile);
    ASSERT_FALSE(pid.empty());
    EXPECT_FALSE(Alive(std::stoi(pid)));
}

TEST_F(MailLayer, TheMailApplicationRefusesWhatItCannotDo) {
    const automation::ObjectRef application = automation::CreateObject("Outlook.Application");
    EXPECT_THROW(application->Invoke("CreateItem", {Variant(1)}), automation::AutomationError);
    const automation::ObjectRef attachments = NewItem()->Invoke("Attachments", {}).AsObject();
    EXPECT_THROW(attachments->Invoke("Add", {Variant(scratch_ / "missing.zip")}), automation::AutomationError);
    EXPECT_THROW(attachments->Invoke("Add", {Variant(scratch_.path())}), automation::AutomationError);
    EXPECT_EQ(attachments->Invoke("Count", {}).AsInt32(), 0);
}

} // namespace
} // namespace zandrel::mail::testing
