// The login dialog as the Qt backend draws it (offscreen platform), worked through its widgets the
// way a person would, on its own and asked by an HTTP download from a server that wants Basic
// authentication.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fixtures/HttpServer.h"
#include "platform/ui/Application.h"
#include "platform/ui/Interrupt.h"
#include "platform/ui/qt/QtBackend.h"
#include "ui/ModalAnswers.h"
#include "ui/QtTestFixture.h"
#include "webcopy/FtpTestSupport.h"
#include "webcopy/Login.h"

namespace zandrel::webcopy {
namespace {

using ui::testing::ModalAnswers;

template <class W>
W* Child(QWidget* window, const char* name) {
    W* widget = window->findChild<W*>(name);
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

void TypeInto(QWidget* window, const char* name, const std::string& text) {
    auto* line = Child<QLineEdit>(window, name);
    if (!line) return;
    for (QChar c : QString::fromStdString(text)) {
        if (c.unicode() < 0x80) QTest::keyClick(line, c.toLatin1());
        else QTest::sendKeyEvent(QTest::Click, line, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

void Click(QWidget* window, const char* name) {
    if (auto* button = Child<QPushButton>(window, name)) QTest::mouseClick(button, Qt::LeftButton);
}

// Types the user name and the password and clicks OK.
ModalAnswers::Answer LogIn(const std::string& user, const std::string& password) {
    return [user, password](QWidget* window) {
        TypeInto(window, "Edit1", user);
        TypeInto(window, "Edit2", password);
        Click(window, "Button1");
    };
}

class LoginDialog : public ui::QtTestFixture {
protected:
    void SetUp() override {
        // A latch of its own, as in the programs, with no interrupt left over from other tests.
        ui::RemoveInterruptLatch();
        ui::InstallInterruptLatch();
        QtTestFixture::SetUp();
    }
    void TearDown() override {
        QtTestFixture::TearDown();
        ui::RemoveInterruptLatch();
    }
};

TEST_F(LoginDialog, ShowsTheServersNameTheBannerAndTwoEmptyFields) {
    struct Seen {
        QSize client, banner;
        QPoint bannerAt;
        QString label1, label2, user, password;
        bool buddies = false, masked = false;
        std::vector<std::string> tabs;
    } seen;
    ModalAnswers answers({[&seen](QWidget* window) {
        seen.client = window->size();
        if (auto* banner = Child<QLabel>(window, "Image1")) {
            seen.banner = banner->pixmap().isNull() ? QSize() : banner->pixmap().size();
            seen.bannerAt = banner->pos();
        }
        auto* label1 = Child<QLabel>(window, "Label1");
        auto* label2 = Child<QLabel>(window, "Label2");
        auto* edit1 = Child<QLineEdit>(window, "Edit1");
        auto* edit2 = Child<QLineEdit>(window, "Edit2");
        if (!label1 || !label2 || !edit1 || !edit2) return;
        seen.label1 = label1->text();
        seen.label2 = label2->text();
        seen.buddies = label1->buddy() == edit1 && label2->buddy() == edit2;
        seen.user = edit1->text();
        seen.password = edit2->text();
        seen.masked = edit2->echoMode() == QLineEdit::Password && edit1->echoMode() == QLineEdit::Normal;
        // Tab walks the fields, then OK, then Cancel, starting in the user name.
        for (int i = 0; i < 4; ++i) {
            seen.tabs.push_back(QApplication::focusWidget() ? QApplication::focusWidget()->objectName().toStdString()
                                                            : "");
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        Click(window, "Button2");
    }});
    std::string user = "kept", password = "kept too";
    EXPECT_FALSE(GetLogin("Connect to files.example.org", user, password));
    EXPECT_EQ(answers.Seen(), std::vector<std::string>{"Connect to files.example.org"});
    EXPECT_EQ(seen.client, QSize(312, 185));
    EXPECT_EQ(seen.banner, QSize(320, 60));
    EXPECT_EQ(seen.bannerAt, QPoint(0, 0));
    EXPECT_EQ(seen.label1, "&User name: ");
    EXPECT_EQ(seen.label2, "&Password:");
    EXPECT_TRUE(seen.buddies);
    EXPECT_TRUE(seen.masked);
    // What the caller passed in is not shown.
    EXPECT_EQ(seen.user, "");
    EXPECT_EQ(seen.password, "");
    EXPECT_EQ(seen.tabs, (std::vector<std::string>{"Edit1", "Edit2", "Button1", "Button2"}));
    EXPECT_EQ(user, "kept");
    EXPECT_EQ(password, "kept too");
}

TEST_F(LoginDialog, OkGivesWhatWasTypedAndEveryOtherWayOutLeavesTheCallersValues) {
    const auto typeBoth = [](QWidget* window) {
        TypeInto(window, "Edit1", "anna");
        TypeInto(window, "Edit2", "pa:ss wörd");
    };
    struct Case {
        const char* how;
        ModalAnswers::Answer answer;
        bool confirmed;
        std::string user, password;
    };
    const std::vector<Case> cases = {
        {"OK clicked", LogIn("anna", "pa:ss wörd"), true, "anna", "pa:ss wörd"},
        {"Enter in the password field",
         [typeBoth](QWidget* w) {
             typeBoth(w);
             QTest::keyClick(Child<QLineEdit>(w, "Edit2"), Qt::Key_Return);
         },
         true, "anna", "pa:ss wörd"},
        {"OK with both fields empty", [](QWidget* w) { Click(w, "Button1"); }, true, "", ""},
        {"Cancel clicked",
         [typeBoth](QWidget* w) {
             typeBoth(w);
             Click(w, "Button2");
         },
         false, "old", "old secret"},
        {"Escape",
         [typeBoth](QWidget* w) {
             typeBoth(w);
             QTest::keyClick(Child<QLineEdit>(w, "Edit1"), Qt::Key_Escape);
         },
         false, "old", "old secret"},
        {"window closed",
         [typeBoth](QWidget* w) {
             typeBoth(w);
             w->close();
         },
         false, "old", "old secret"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        ModalAnswers answers({c.answer});
        std::string user = "old", password = "old secret";
        EXPECT_EQ(GetLogin("Connect to 127.0.0.1", user, password), c.confirmed);
        EXPECT_EQ(answers.Answered(), 1u);
        EXPECT_EQ(answers.Seen().size(), 1u); // nothing left open at the time limit
        EXPECT_EQ(user, c.user);
        EXPECT_EQ(password, c.password);
    }
}

TEST_F(LoginDialog, NobodyIsAskedWithoutAWindowOrOnceCtrlCIsPending) {
    ModalAnswers answers({});
    std::string user = "u", password = "p";
    ui::RequestInterrupt();
    EXPECT_FALSE(GetLogin("Connect to 127.0.0.1", user, password));
    EXPECT_TRUE(ui::TakeInterrupt()); // still there for the run's Cancel

    ui::RemoveBackend();
    EXPECT_FALSE(GetLogin("Connect to 127.0.0.1", user, password));
    ui::InstallBackend(ui::CreateQtBackend());
    EXPECT_TRUE(answers.Seen().empty());
    EXPECT_EQ(user, "u");
    EXPECT_EQ(password, "p");
}

TEST_F(LoginDialog, CtrlCWhileItIsUpCancelsItAndIsKeptForTheRun) {
    // Ctrl-C reaches a window at the next processing of messages, where it presses the newest
    // Cancel button: the dialog's own. It still has to stop the run that asked.
    ModalAnswers answers({[](QWidget* window) {
        TypeInto(window, "Edit1", "anna");
        ui::RequestInterrupt();
        ui::ProcessMessages();
    }});
    std::string user = "u", password = "p";
    EXPECT_FALSE(GetLogin("Connect to 127.0.0.1", user, password));
    EXPECT_EQ(answers.Seen().size(), 1u);
    EXPECT_EQ(user, "u");
    EXPECT_TRUE(ui::InterruptPending());
}

TEST_F(LoginDialog, AnHttpDownloadAsksAgainAfterAWrongPasswordAndGetsTheFile) {
    test::HttpServer server;
    server.WriteFile("report.txt", "for alice only");
    const testing::fs::path local = testing::fs::temp_directory_path() / ("zandrel-login-" + std::to_string(::getpid()));
    testing::fs::remove_all(local);
    testing::fs::create_directories(local);
    const std::string caption = "Connect to 127.0.0.1:" + std::to_string(server.Port());
    {
        // Asked again, the dialog says why and keeps the user name: only the password is typed.
        struct Retry {
            QString user, note;
            bool noteShown = false;
        } retry;
        const auto second = [&retry](QWidget* window) {
            if (auto* user = Child<QLineEdit>(window, "Edit1")) retry.user = user->text();
            if (auto* note = Child<QLabel>(window, "Label3")) {
                retry.note = note->text();
                retry.noteShown = note->isVisible();
            }
            TypeInto(window, "Edit2", "secret");
            Click(window, "Button1");
        };
        bool firstNoteShown = true;
        const auto first = [&firstNoteShown](QWidget* window) {
            if (auto* note = Child<QLabel>(window, "Label3")) firstNoteShown = note->isVisible();
            LogIn("alice", "wrong")(window);
        };
        ModalAnswers answers({first, second});
        testing::FtpWebCopy wc;
        TZandrelWebCopyItem& item = wc.Items.Add();
        item.Protocol = wpHttp;
        item.URL = server.Base() + "/auth/report.txt";
        item.TargetDir = local.string();
        item.Authenticate = waAuto;
        wc.Execute();
        EXPECT_TRUE(wc.Items[0].Success()) << ::testing::PrintToString(wc.log);
        EXPECT_EQ(answers.Seen(),
                  (std::vector<std::string>{caption, caption + ": user name or password refused; try again"}));
        EXPECT_FALSE(firstNoteShown);
        EXPECT_EQ(retry.user, "alice");
        EXPECT_TRUE(retry.noteShown);
        EXPECT_EQ(retry.note, "user name or password refused; try again");
        EXPECT_EQ(testing::ReadLocal(local / "report.txt"), "for alice only");
    }
    {   // Cancelled: nothing is written and no error is raised.
        ModalAnswers answers({ModalAnswers::Reject()});
        testing::FtpWebCopy wc;
        TZandrelWebCopyItem& item = wc.Items.Add();
        item.Protocol = wpHttp;
        item.URL = server.Base() + "/auth/report.txt";
        item.TargetDir = local.string();
        item.TargetFilename = "cancelled.txt";
        item.Authenticate = waAuto;
        wc.Execute();
        EXPECT_FALSE(wc.Items[0].Success());
        EXPECT_EQ(answers.Seen(), std::vector<std::string>{caption});
        EXPECT_FALSE(testing::fs::exists(local / "cancelled.txt"));
        testing::fs::remove_all(local);
        for (const std::string& entry : wc.log) EXPECT_EQ(entry.find("error"), std::string::npos) << entry;
    }
    std::vector<std::string> sent;
    for (const auto& request : server.Requests()) sent.push_back(request.authorization);
    // No credentials at first, then each answer in turn ("alice:wrong", "alice:secret"), then for
    // the cancelled one only the first try.
    EXPECT_EQ(sent, (std::vector<std::string>{"", "Basic YWxpY2U6d3Jvbmc=", "Basic YWxpY2U6c2VjcmV0", ""}));
}

} // namespace
} // namespace zandrel::webcopy
