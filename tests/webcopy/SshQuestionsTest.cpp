// The questions of an SFTP login as the Qt backend draws them (offscreen platform), answered the
// way a person would, and what each answer gives the caller; and that nobody is asked when nobody
// can answer.
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/ui/Application.h"
#include "platform/ui/Interrupt.h"
#include "ui/ModalAnswers.h"
#include "ui/QtTestFixture.h"
#include "webcopy/SshQuestions.h"

namespace zandrel::webcopy {
namespace {

using ui::testing::ModalAnswers;

void Click(QWidget* window, const char* name) {
    auto* button = window->findChild<QPushButton*>(name);
    ASSERT_NE(button, nullptr) << name;
    QTest::mouseClick(button, Qt::LeftButton);
}

const HostKeyQuestion kQuestion{"sftp.example.org", 2222, "ssh-ed25519",
                                "SHA256:47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU", "/home/me/.ssh/known_hosts"};

class SshQuestions : public ui::QtTestFixture {};

TEST_F(SshQuestions, AnUnknownKeyIsShownWithItsFingerprintAndTheAnswerIsThePersonsChoice) {
    struct Case {
        const char* how;
        ModalAnswers::Answer answer;
        HostKeyAnswer expected;
    };
    std::vector<std::string> lines;
    const auto readLines = [&lines](QWidget* window) {
        lines.clear();
        for (const char* name : {"Label1", "Label2", "Label3", "CheckBox1"}) {
            if (auto* label = window->findChild<QLabel*>(name)) lines.push_back(label->text().toStdString());
            else if (auto* box = window->findChild<QCheckBox*>(name)) lines.push_back(box->text().toStdString());
        }
    };
    const std::vector<Case> cases{
        {"Accept", [&](QWidget* w) { readLines(w); Click(w, "Button1"); }, HostKeyAnswer::AcceptOnce},
        {"Remember, then Accept",
         [&](QWidget* w) {
             readLines(w);
             if (auto* box = w->findChild<QCheckBox*>("CheckBox1")) QTest::mouseClick(box, Qt::LeftButton);
             Click(w, "Button1");
         },
         HostKeyAnswer::AcceptAndRemember},
        {"Cancel", [&](QWidget* w) { readLines(w); Click(w, "Button2"); }, HostKeyAnswer::Refuse},
        // Enter must not trust a key by itself.
        {"Enter", [&](QWidget* w) { readLines(w); QTest::keyClick(w, Qt::Key_Return); }, HostKeyAnswer::Refuse},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        ModalAnswers answers({c.answer});
        EXPECT_EQ(AskAboutHostKey(kQuestion), c.expected);
        EXPECT_EQ(answers.Seen(), std::vector<std::string>{"Unknown server key"});
        ASSERT_EQ(lines.size(), 4u);
        EXPECT_NE(lines[0].find("sftp.example.org port 2222"), std::string::npos) << lines[0];
        EXPECT_NE(lines[1].find("ssh-ed25519"), std::string::npos) << lines[1];
        EXPECT_EQ(lines[2], kQuestion.fingerprint);
        EXPECT_NE(lines[3].find("/home/me/.ssh/known_hosts"), std::string::npos) << lines[3];
    }
}

TEST_F(SshQuestions, ThePassphraseIsTypedMaskedAndCancelLeavesTheCallersValue) {
    bool masked = false;
    std::string shownKey;
    ModalAnswers answers({[&](QWidget* w) {
                              auto* key = w->findChild<QLineEdit*>("Edit1");
                              auto* phrase = w->findChild<QLineEdit*>("Edit2");
                              ASSERT_NE(key, nullptr);
                              ASSERT_NE(phrase, nullptr);
                              shownKey = key->text().toStdString();
                              masked = phrase->echoMode() == QLineEdit::Password && !key->isEnabled();
                              QTest::keyClicks(phrase, "correct horse");
                              Click(w, "Button1");
                          },
                          [](QWidget* w) { Click(w, "Button2"); }});
    std::string passphrase = "unchanged";
    EXPECT_TRUE(AskPassphrase("/home/me/.ssh/id_ed25519", passphrase));
    EXPECT_EQ(passphrase, "correct horse");
    EXPECT_EQ(shownKey, "/home/me/.ssh/id_ed25519");
    EXPECT_TRUE(masked);
    passphrase = "unchanged";
    EXPECT_FALSE(AskPassphrase("/home/me/.ssh/id_ed25519", passphrase));
    EXPECT_EQ(passphrase, "unchanged");
    EXPECT_EQ(answers.Seen(), (std::vector<std::string>{"Passphrase for /home/me/.ssh/id_ed25519",
                                                        "Passphrase for /home/me/.ssh/id_ed25519"}));
}

// With no backend nothing can be shown: the caller hears so at once and can say how to go on.
TEST(SshQuestionsUnattended, NobodyIsAskedWithoutABackendAndHandlersAnswerInstead) {
    ASSERT_FALSE(ui::HasBackend());
    EXPECT_FALSE(CanAskAboutHostKeys());
    EXPECT_EQ(AskAboutHostKey(kQuestion), HostKeyAnswer::NobodyToAsk);
    std::string passphrase = "unchanged";
    EXPECT_FALSE(AskPassphrase("/k", passphrase));
    EXPECT_EQ(passphrase, "unchanged");

    SetHostKeyHandler([](const HostKeyQuestion& q) {
        return q.fingerprint == kQuestion.fingerprint ? HostKeyAnswer::AcceptOnce : HostKeyAnswer::Refuse;
    });
    SetPassphraseHandler([](const std::string&, std::string& answer) {
        answer = "from the handler";
        return true;
    });
    EXPECT_TRUE(CanAskAboutHostKeys());
    EXPECT_EQ(AskAboutHostKey(kQuestion), HostKeyAnswer::AcceptOnce);
    EXPECT_TRUE(AskPassphrase("/k", passphrase));
    EXPECT_EQ(passphrase, "from the handler");
    SetHostKeyHandler({});
    SetPassphraseHandler({});
    EXPECT_EQ(AskAboutHostKey(kQuestion), HostKeyAnswer::NobodyToAsk);
}

} // namespace
} // namespace zandrel::webcopy
