// The desktop's mail composer, through xdg-email and a recording mail program: the mail item's
// Display and the Simple MAPI call.
#include <chrono>
#include <thread>

#include "mail/MailTestSupport.h"
#include "platform/mail/Composer.h"
#include "platform/mail/MailError.h"
#include "platform/mail/SimpleMapi.h"

namespace zandrel::mail::testing {
namespace {

using automation::Variant;

TEST_F(MailLayer, DisplayOpensTheComposerWithEveryFieldAndTheAttachment) {
    const automation::ObjectRef item = NewItem();
    item->SetProperty("To", Variant("a@x.org; b@y.org"));
    item->SetProperty("Cc", Variant("c@x.org"));
    item->SetProperty("BCc", Variant("d@x.org"));
    item->SetProperty("Subject", Variant("Projekt Demo & Co: 100%"));
    item->SetProperty("Body", Variant("Hallo,\r\nanbei das Archiv.\r\n"));
    item->Invoke("Attachments", {}).AsObject()->Invoke("Add", {Variant(archive_)});
    item->Invoke("Display", {});

    EXPECT_EQ(user_->Composed(), (std::vector<test::ComposedMail>{{{"a@x.org", "b@y.org"},
                                                                  {{"cc", {"c@x.org"}},
                                                                   {"bcc", {"d@x.org"}},
                                                                   {"subject", {"Projekt Demo & Co: 100%"}},
                                                                   {"body", {"Hallo,\r\nanbei das Archiv.\r\n"}},
                                                                   {"attach", {archive_}}}}}));
    EXPECT_TRUE(server_->Messages().empty()) << "displaying sends nothing";
}

// A mail program that stays in the foreground keeps xdg-email busy: after the hand-off limit the
// message counts as open there, and the program is left running for the person.
TEST_F(MailLayer, AComposerThatStaysOpenDoesNotHoldTheCallerUp) {
    MailTimeouts quick;
    quick.composerHandOff = std::chrono::seconds(2);
    SetMailTimeouts(quick);
    test::ScopedEnvironment lingering(std::map<std::string, std::string>{{"ZANDREL_TEST_COMPOSER_SLEEP", "20"}});
    Draft draft;
    draft.to = "a@x.org";
    const auto started = std::chrono::steady_clock::now();
    OpenComposer(draft);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    // The mail program got the message, even if only after we stopped waiting for it.
    for (int i = 0; i < 150 && user_->ComposedLinks().empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(user_->ComposedLinks().size(), 1u);
}

TEST_F(MailLayer, DisplayFailsWithTheReasonWhenNoComposerTakesTheMessage) {
    struct Case {
        const char* name;
        std::function<void()> arrange;
        const char* reasonHas;
    };
    const Case cases[] = {
        {"no xdg-email", [&] { EmptyPath(); }, "xdg-email was not found"},
        {"no mail program", [&] { user_->RemoveComposer(); }, "no mail program is set up for mailto: links"},
        {"the mail program fails",
         [&] { path_.reset(); path_ = std::make_unique<test::ScopedEnvironment>(std::map<std::string, std::string>{{"ZANDREL_TEST_COMPOSER_EXIT", "1"}}); },
         "did not take the message"},
        // Its one useful line comes last, after the traces of the browsers a script tried: the
        // line is kept whole, the traces are not.
        {"the mail program fails after noise",
         [&] {
             std::string noise;
             for (const char* program : {"www-browser", "links2", "elinks", "links", "lynx", "w3m", "netsurf"})
                 noise += std::string("/usr/bin/xdg-open: 882: ") + program + ": not found\\n";
             path_.reset();
             path_ = std::make_unique<test::ScopedEnvironment>(std::map<std::string, std::string>{
                 {"ZANDREL_TEST_COMPOSER_EXIT", "1"},
                 {"ZANDREL_TEST_COMPOSER_SAY", noise + noise + "mailer: the profile is locked by another instance\\n"}});
         },
         "did not take the message (xdg-email exit status 4): mailer: the profile is locked by another instance"},
    };
    for (const Case& c : cases) {
        SetUp();
        c.arrange();
        const automation::ObjectRef item = NewItem();
        item->SetProperty("To", Variant("a@x.org"));
        item->Invoke("Attachments", {}).AsObject()->Invoke("Add", {Variant(archive_)});
        try {
            item->Invoke("Display", {});
            ADD_FAILURE() << c.name << ": displayed";
        } catch (const automation::AutomationError& e) {
            EXPECT_NE(std::string(e.what()).find(c.reasonHas), std::string::npos) << c.name << ": " << e.what();
        }
        TearDown();
    }
}

// The records as a caller fills them: every recipient class, "SMTP:" addresses, an absent
// subject and text.
struct MapiRecords {
    std::vector<MapiRecipDesc> recipients;
    MapiFileDesc file{};
    MapiMessage message{};
    MapiRecords(const std::string& path, std::vector<MapiRecipDesc> recips) : recipients(std::move(recips)) {
        file = {0, 0, 0xFFFFFFFFu, path.c_str(), nullptr, nullptr};
        message.nRecipCount = static_cast<ULONG>(recipients.size());
        message.lpRecips = recipients.data();
        message.nFileCount = 1;
        message.lpFiles = &file;
    }
};

TEST_F(MailLayer, MapiSendMailOpensTheComposerWithTheRecords) {
    const auto library = SimpleMapiLibrary::Load();
    ASSERT_TRUE(library) << LastMapiError();
    EXPECT_EQ(library->FindEntry("MAPISendMailW"), nullptr);
    const MapiSendMailFunction send = library->FindEntry("MAPISendMail");
    ASSERT_NE(send, nullptr);
    MapiRecords records(archive_, {{0, MAPI_TO, "a@x.org", "SMTP:a@x.org", 0, nullptr},
                                   {0, MAPI_TO, "b@y.org", "SMTP:b@y.org", 0, nullptr},
                                   {0, MAPI_CC, "c@x.org", "SMTP:c@x.org", 0, nullptr},
                                   {0, MAPI_BCC, "", "SMTP:", 0, nullptr},
                                   {0, MAPI_BCC, "d@x.org", "SMTP:d@x.org", 0, nullptr}});
    ASSERT_EQ(send(0, 0, &records.message, MAPI_LOGON_UI | MAPI_DIALOG, 0), SUCCESS_SUCCESS) << LastMapiError();
    // No subject and no text: those fields are absent, not empty.
    EXPECT_EQ(user_->Composed(), (std::vector<test::ComposedMail>{{{"a@x.org", "b@y.org"},
                                                                  {{"cc", {"c@x.org"}},
                                                                   {"bcc", {"d@x.org"}},
                                                                   {"attach", {archive_}}}}}));

    // Without the dialog the message goes out at once.
    records.message.lpszSubject = "Demo";
    ASSERT_EQ(send(0, 0, &records.message, 0, 0), SUCCESS_SUCCESS) << LastMapiError();
    const auto messages = server_->Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].recipients, (std::vector<std::string>{"a@x.org", "b@y.org", "c@x.org", "d@x.org"}));
    EXPECT_EQ(messages[0].headers.at("subject"), "Demo");
    EXPECT_EQ(user_->ComposedLinks().size(), 1u);
}

TEST_F(MailLayer, MapiSendMailAnswersFailuresWithTheirCodes) {
    const MapiSendMailFunction send = SimpleMapiLibrary::Load()->FindEntry("MAPISendMail");
    {
        MapiRecords records(archive_, {{0, 7, "a@x.org", "SMTP:a@x.org", 0, nullptr}});
        EXPECT_EQ(send(0, 0, &records.message, MAPI_DIALOG, 0), MAPI_E_BAD_RECIPTYPE);
    }
    {
        const std::string missing = scratch_ / "missing.zip";
        MapiRecords records(missing, {{0, MAPI_TO, "a@x.org", "SMTP:a@x.org", 0, nullptr}});
        EXPECT_EQ(send(0, 0, &records.message, MAPI_DIALOG, 0), MAPI_E_ATTACHMENT_NOT_FOUND);
        EXPECT_NE(LastMapiError().find("missing.zip"), std::string::npos) << LastMapiError();
    }
    {
        user_->RemoveComposer();
        MapiRecords records(archive_, {{0, MAPI_TO, "a@x.org", "SMTP:a@x.org", 0, nullptr}});
        EXPECT_EQ(send(0, 0, &records.message, MAPI_DIALOG, 0), MAPI_E_FAILURE);
        EXPECT_NE(LastMapiError().find("no mail program is set up"), std::string::npos) << LastMapiError();
    }
    EXPECT_EQ(send(0, 0, nullptr, MAPI_DIALOG, 0), MAPI_E_INVALID_MESSAGE);
    EXPECT_TRUE(user_->ComposedLinks().empty());
}

TEST_F(MailLayer, WithoutAComposerTheLibraryDoesNotLoad) {
    EmptyPath();
    EXPECT_EQ(SimpleMapiLibrary::Load(), nullptr);
    EXPECT_NE(LastMapiError().find("xdg-email was not found"), std::string::npos) << LastMapiError();
}

} // namespace
} // namespace zandrel::mail::testing
