// The options dialog driven through its Qt widgets as a person would (typing, clicking, answering
// the boxes it opens), and the settings store read back afterwards, both raw and as the project
// commands load it.
#include <QApplication>
#include <QCheckBox>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "fixtures/FtpServer.h"
#include "host/HostProject.h"
#include "ide/ContextMenu.h"
#include "ide/Registration.h"
#include "ide/SettingVariables.h"
#include "platform/registry/Registry.h"
#include "platform/ui/Application.h"
#include "platform/ui/qt/QtBackend.h"
#include "settings/ItemTransport.h"
#include "settings/OptionsDialog.h"
#include "settings/Scramble.h"
#include "settings/SettingNames.h"
#include "settings/SettingsStoreFixture.h"
#include "support/RunProcess.h"
#include "ui/ModalAnswers.h"
#include "webcopy/WebCopyItem.h"

namespace zandrel::settings {
namespace {

namespace fs = std::filesystem;
using ui::QtWidgetOf;
using ui::testing::ModalAnswers;
using zandrel::testing::WriteFile;

template <class W>
W* WidgetOf(const ui::Control* control) {
    W* widget = qobject_cast<W*>(QtWidgetOf(*control));
    EXPECT_NE(widget, nullptr) << control->Name();
    return widget;
}

// Key presses for `text`, letters beyond ASCII included (as a keyboard layout would send them).
void KeyClicks(QWidget* widget, const QString& text) {
    for (const QChar c : text) {
        if (c.unicode() < 0x80) QTest::keyClick(widget, c.toLatin1());
        else QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

void Type(const ui::Edit* edit, const std::string& text) {
    if (edit->Multiline()) {
        auto* memo = WidgetOf<QPlainTextEdit>(edit);
        memo->selectAll();
        QTest::keyClick(memo, Qt::Key_Delete);
        bool firstLine = true;
        for (const QString& line : QString::fromStdString(text).split('\n')) {
            if (!firstLine) QTest::keyClick(memo, Qt::Key_Return);
            KeyClicks(memo, line);
            firstLine = false;
        }
        return;
    }
    auto* line = WidgetOf<QLineEdit>(edit);
    line->selectAll();
    QTest::keyClick(line, Qt::Key_Delete);
    KeyClicks(line, QString::fromStdString(text));
}

void SetPort(const ui::SpinEdit* spin, int port) {
    auto* box = WidgetOf<QSpinBox>(spin);
    box->selectAll();
    QTest::keyClicks(box, QString::number(port));
}

void Click(const ui::Control* control) {
    QWidget* widget = QtWidgetOf(*control);
    ASSERT_NE(widget, nullptr);
    QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, widget->rect().center());
}

// Clicks rows of the filter list, the first plainly and the others with Ctrl held.
void SelectFilters(const ui::ListBox* list, std::initializer_list<int> rows) {
    auto* widget = WidgetOf<QListWidget>(list);
    bool first = true;
    for (int row : rows) {
        QTest::mouseClick(widget->viewport(), Qt::LeftButton, first ? Qt::NoModifier : Qt::ControlModifier,
                          widget->visualItemRect(widget->item(row)).center());
        first = false;
    }
}

std::vector<std::string> ShownFilters(const ui::ListBox* list) {
    std::vector<std::string> shown;
    auto* widget = WidgetOf<QListWidget>(list);
    for (int row = 0; row < widget->count(); ++row) shown.push_back(widget->item(row)->text().toStdString());
    return shown;
}

// A port that is held bound but not listening: a connection there is refused.
class RefusingPort {
public:
    RefusingPort() {
        for (uint16_t port = 9999; port > 1024 && port_ == 0; --port) {
            fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            address.sin_port = htons(port);
            if (bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) port_ = port;
            else close(fd_);
        }
    }
    ~RefusingPort() {
        if (port_) close(fd_);
    }
    uint16_t Port() const { return port_; }

private:
    int fd_ = -1;
    uint16_t port_ = 0;
};

class OptionsDialog : public testing::SettingsStoreTest {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "settings_dialog_tests";
        static char* argv[] = {name, nullptr};
        if (!qApp) new QApplication(argc, argv);
    }
    void SetUp() override {
        SettingsStoreTest::SetUp();
        ui::InstallBackend(ui::CreateQtBackend());
    }
    void TearDown() override {
        ui::RemoveBackend();
        SettingsStoreTest::TearDown();
    }

    // A dialog loaded and on screen as the wizard shows it, without a modal loop of its own.
    static std::unique_ptr<TFTPUploaderConfigurationFrm> Open() {
        auto dialog = std::make_unique<TFTPUploaderConfigurationFrm>();
        dialog->FormShow();
        dialog->Form().Show();
        return dialog;
    }

};

TEST_F(OptionsDialog, FirstOpeningShowsTheBuiltInDefaults) {
    auto dialog = Open();
    EXPECT_EQ(WidgetOf<QSpinBox>(dialog->ftpportspin)->value(), 21);
    EXPECT_EQ(ShownFilters(dialog->ListBox1),
              (std::vector<std::string>{"*.pas", "*.dpk", "*.dpr", "*.res", "*.dfm"}));
    for (const ui::Edit* edit : {dialog->host, dialog->userid, dialog->passwd, dialog->ftpdir, dialog->baseurl,
                                 dialog->Edit1, dialog->Edit2, dialog->Edit3, dialog->Edit4})
        EXPECT_EQ(WidgetOf<QLineEdit>(edit)->text(), "") << edit->Name();
    EXPECT_EQ(WidgetOf<QPlainTextEdit>(dialog->Memo1)->toPlainText(), "");
    EXPECT_FALSE(WidgetOf<QCheckBox>(dialog->CheckBox1)->isChecked());
    EXPECT_FALSE(WidgetOf<QCheckBox>(dialog->CheckBox2)->isChecked());
}

TEST_F(OptionsDialog, TheFormIsLaidOutAsDesigned) {
    auto dialog = Open();
    QWidget* window = QtWidgetOf(dialog->Form());
    EXPECT_EQ(window->windowTitle(), "Zandrel Options");
    EXPECT_EQ(window->size(), QSize(673, 480));
    EXPECT_EQ(window->minimumSize(), window->maximumSize()); // a fixed border

    struct Expected {
        const ui::Control* control;
        const char* group; // the group box it sits in; null for the form itself
        const char* text;  // the caption, or the caption of the label that names it
        const char* hint;
    };
    const auto& d = *dialog;
    const Expected table[] = {
        {d.host, "FTP Options", "Host :", "The FTP/HTTP Host address to use when building project"},
        {d.ftpportspin, "FTP Options", "Port :", "The FTP/HTTP Port to use when building project"},
        {d.transportbtn, "FTP Options", "Transport: FTP",
         "How uploads reach the server; click for the next: FTP (not encrypted), FTPS asked for with AUTH TLS "
         "(explicit), FTPS from the first byte (implicit, port 990), SFTP (SSH, port 22). A port still at the old "
         "transport's default moves to the new one's"},
        {d.userid, "FTP Options", "Username :", "The FTP/HTTP Username to login when building project"},
        {d.passwd, "FTP Options", "Password :", "The FTP/HTTP Password to login when building project"},
        {d.keyfile, "FTP Options", "SSH key file :",
         "SFTP: the private key to log in with, as a full path (~/ for your home folder); empty for the SSH agent "
         "and the usual keys in ~/.ssh. A passphrase is asked for when needed and never saved"},
        {d.ftpdir, "FTP Options", "Directory :", "The FTP/HTTP Sub directory  to use when building project"},
        {d.CheckBox1, "FTP Options", "FTP Passive", ""},
        {d.baseurl, "FTP Options", "HTTP base URL :",
         "The HTTP base URL necessary to tell Fennick where to download the new files"},
        {d.Button5, "FTP Options", "Test Connection", ""},
        {d.ListBox1, "ZIP File Options", "File Filter:", ""},
        {d.Button3, "ZIP File Options", "New", ""},
        {d.Button4, "ZIP File Options", "Remove", ""},
        {d.Edit1, "Default Email Options", "To:", "Enter"},
        {d.Edit2, "Default Email Options", "CC:", "Enter"},
        {d.Edit3, "Default Email Options", "BCC:", "Enter"},
        {d.Edit4, "Default Email Options", "Subject:", "Enter"},
        {d.Memo1, "Default Email Options", "Body:", ""},
        {d.CheckBox2, "Default Email Options", "Auto Send Email", ""},
        {d.Button1, nullptr, "Ok", ""},
        {d.Button2, nullptr, "Cancel", ""},
    };
    for (const Expected& e : table) {
        SCOPED_TRACE(e.control->Name());
        QWidget* widget = QtWidgetOf(*e.control);
        ASSERT_NE(widget, nullptr);
        auto* group = qobject_cast<QGroupBox*>(widget->parentWidget());
        EXPECT_EQ(group ? group->title().toStdString() : std::string(), e.group ? e.group : "");
        EXPECT_EQ(widget->toolTip().toStdString(), e.hint);
        // The text is the control's own (buttons, check boxes) or that of the label naming it.
        std::string text;
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) text = button->text().toStdString();
        for (QLabel* label : window->findChildren<QLabel*>())
            if (label->buddy() == widget) text = label->text().toStdString();
        EXPECT_EQ(text, e.text);
        // Inside its group, and clear of the label that names it.
        if (group) {
            EXPECT_TRUE(group->rect().contains(widget->geometry()));
        }
        for (QLabel* label : window->findChildren<QLabel*>()) {
            if (label->buddy() == widget) {
                EXPECT_FALSE(label->geometry().intersects(widget->geometry()));
            }
        }
    }
    EXPECT_EQ(WidgetOf<QCheckBox>(d.CheckBox1)->layoutDirection(), Qt::RightToLeft); // caption left
    EXPECT_EQ(WidgetOf<QLineEdit>(d.passwd)->echoMode(), QLineEdit::Password);
    EXPECT_EQ(WidgetOf<QListWidget>(d.ListBox1)->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_EQ(WidgetOf<QSpinBox>(d.ftpportspin)->maximum(), 65535);
    EXPECT_TRUE(WidgetOf<QPushButton>(d.Button1)->isDefault());
    EXPECT_FALSE(d.Button2->Cancel());

    std::vector<std::string> tabs;
    for (const ui::Control* c : ui::TabSequence(d.Form())) tabs.push_back(c->Name());
    EXPECT_EQ(tabs, (std::vector<std::string>{"Button1", "Button2", "ftpportspin", "transportbtn", "host", "userid",
                                              "passwd", "keyfile", "ftpdir", "CheckBox1", "baseurl", "Button5",
                                              "ListBox1", "Button3", "Button4", "Edit1", "Edit2", "Edit3", "Edit4",
                                              "Memo1", "CheckBox2"}));

    // No control covers another: the rows added to the FTP group pushed the rest down, not over.
    std::vector<QWidget*> widgets;
    for (const auto& control : d.Form().Controls())
        if (QWidget* widget = QtWidgetOf(*control)) widgets.push_back(widget);
    for (size_t i = 0; i < widgets.size(); ++i) {
        for (size_t j = i + 1; j < widgets.size(); ++j) {
            if (widgets[i]->parentWidget() != widgets[j]->parentWidget()) continue;
            EXPECT_FALSE(widgets[i]->geometry().intersects(widgets[j]->geometry()))
                << widgets[i]->objectName().toStdString() << " and " << widgets[j]->objectName().toStdString();
        }
        EXPECT_TRUE(window->rect().contains(QRect(widgets[i]->mapTo(window, QPoint(0, 0)), widgets[i]->size())))
            << widgets[i]->objectName().toStdString();
    }
}

// Every caption the dialog can show fits its control, the transport button's for each transport
// (run at 144 dpi as well, see CMakeLists.txt).
TEST_F(OptionsDialog, TextFitsItsControlsForEveryTransport) {
    auto dialog = Open();
    QWidget* window = QtWidgetOf(dialog->Form());
    for (int step = 0; step < 4; ++step) {
        SCOPED_TRACE(dialog->transportbtn->Caption());
        for (QPushButton* button : window->findChildren<QPushButton*>()) {
            SCOPED_TRACE(button->text().toStdString());
            const QFontMetricsF metrics(button->font(), button);
            constexpr qreal kClearance = 4; // between the caption and each edge of the button
            EXPECT_LE(metrics.horizontalAdvance(button->text()) + 2 * kClearance, button->width());
            EXPECT_LE(metrics.ascent() + metrics.descent(), button->height());
        }
        for (QLabel* label : window->findChildren<QLabel*>()) {
            SCOPED_TRACE(label->text().toStdString());
            const QFontMetricsF metrics(label->font(), label);
            EXPECT_LE(metrics.horizontalAdvance(label->text()), label->width());
        }
        Click(dialog->transportbtn);
    }
    EXPECT_EQ(dialog->transportbtn->Caption(), "Transport: FTP"); // round again
}

// The transport button steps through the transports; the port goes with them only while it is
// still the default of the transport being left (0 counts as one: older settings hold it).
TEST_F(OptionsDialog, ThePortFollowsTheTransportOnlyWhileItIsADefault) {
    struct Case {
        const char* what;
        int typed;                  // the port typed before the first click
        std::vector<int> afterEach; // the port after each click
    };
    const Case cases[] = {
        {"the default", 21, {21, 990, 22, 21}},
        {"0, the old default", 0, {21, 990, 22, 21}},
        {"a port of the user's", 2121, {2121, 2121, 2121, 2121}},
        {"990 typed for plain FTP", 990, {990, 990, 22, 21}},
    };
    const char* const captions[] = {"Transport: FTPS (explicit)", "Transport: FTPS (implicit)", "Transport: SFTP",
                                    "Transport: FTP"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto dialog = Open();
        SetPort(dialog->ftpportspin, c.typed);
        for (size_t i = 0; i < 4; ++i) {
            Click(dialog->transportbtn);
            EXPECT_EQ(WidgetOf<QPushButton>(dialog->transportbtn)->text(), captions[i]);
            EXPECT_EQ(WidgetOf<QSpinBox>(dialog->ftpportspin)->value(), c.afterEach[i]) << captions[i];
        }
    }
    // A port typed after a step is the user's from then on.
    auto dialog = Open();
    Click(dialog->transportbtn);
    Click(dialog->transportbtn);
    SetPort(dialog->ftpportspin, 8990);
    Click(dialog->transportbtn);
    EXPECT_EQ(WidgetOf<QSpinBox>(dialog->ftpportspin)->value(), 8990);
}

// Opened on settings with a transport, the dialog shows it; Ok saves what the button and the key
// file field show, where the project commands read it.
TEST_F(OptionsDialog, TheTransportAndKeyFileAreShownAndSavedByOk) {
    Store("\"FTPHost\"=\"files.example.org\"\n\"FTPPort\"=dword:00000016\n\"FTPSecurity\"=\"sftp\"\n"
          "\"SSHKeyFile\"=\"~/.ssh/deploy_ed25519\"\n");
    auto dialog = Open();
    EXPECT_EQ(WidgetOf<QPushButton>(dialog->transportbtn)->text(), "Transport: SFTP");
    EXPECT_EQ(WidgetOf<QSpinBox>(dialog->ftpportspin)->value(), 22);
    EXPECT_EQ(WidgetOf<QLineEdit>(dialog->keyfile)->text(), "~/.ssh/deploy_ed25519");
    Click(dialog->transportbtn); // on to plain FTP, and port 21
    Type(dialog->keyfile, "/etc/zandrel/deploy_ed25519");
    Click(dialog->Button1);

    registry::TRegistry reg = Key();
    EXPECT_EQ(reg.ReadString(ValueFTPSecurity), "none"); // written over the transport that was there
    EXPECT_EQ(reg.ReadInteger(ValueFTPPort), 21);
    EXPECT_EQ(reg.ReadString(ValueSSHKeyFile), "/etc/zandrel/deploy_ed25519");
    ide::TProjectContextMenu().ReadRegistryValues();
    EXPECT_EQ(ide::FTPSecurity, "none");
    EXPECT_EQ(ide::SSHKeyFile, "/etc/zandrel/deploy_ed25519");
    ide::ReleaseSettingVariables();
}

// A transport word this version does not know is reported when the dialog opens, with every other
// setting shown as stored, so that Ok does not blank them.
TEST_F(OptionsDialog, AnUnknownStoredTransportIsReportedAndTheRestIsShown) {
    Store("\"FTPHost\"=\"files.example.org\"\n\"FTPSecurity\"=\"tls\"\n\"FTPDirectory\"=\"pub\"\n");
    TFTPUploaderConfigurationFrm dialog;
    ModalAnswers answers({ModalAnswers::Accept()});
    dialog.FormShow();
    ASSERT_EQ(answers.Seen().size(), 1u);
    EXPECT_NE(answers.Seen()[0].find("cannot all be read"), std::string::npos) << answers.Seen()[0];
    EXPECT_NE(answers.Seen()[0].find("holds \"tls\""), std::string::npos) << answers.Seen()[0];
    EXPECT_EQ(dialog.host->Caption(), "files.example.org");
    EXPECT_EQ(dialog.ftpdir->Caption(), "pub");
}

TEST(ItemTransport, TheSettingsReachTheItemWithTheHomeFolderSpelledOut) {
    const std::string home = std::getenv("HOME");
    struct Case {
        FtpTransport transport;
        const char* keyFile;
        webcopy::TZandrelWebCopyFtpSecurity security;
        std::string onItem;
    };
    const Case cases[] = {
        {FtpTransport::Ftp, "", webcopy::fsNone, ""},
        {FtpTransport::FtpsExplicit, "", webcopy::fsFtpsExplicit, ""},
        {FtpTransport::FtpsImplicit, "", webcopy::fsFtpsImplicit, ""},
        {FtpTransport::Sftp, "/etc/zandrel/key", webcopy::fsSftp, "/etc/zandrel/key"},
        {FtpTransport::Sftp, "~/.ssh/deploy", webcopy::fsSftp, home + "/.ssh/deploy"},
        {FtpTransport::Sftp, "~other/.ssh/deploy", webcopy::fsSftp, "~other/.ssh/deploy"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keyFile);
        webcopy::TZandrelWebCopyItem item;
        ApplyTransport(item, c.transport, c.keyFile);
        EXPECT_EQ(item.FTPSecurity, c.security);
        EXPECT_EQ(item.SSHKeyFile, c.onItem);
    }
}

TEST_F(OptionsDialog, OkStoresWhatWasTypedTheWayTheCommandsReadIt) {
    auto dialog = Open();
    Type(dialog->host, "ftp.example.org");
    SetPort(dialog->ftpportspin, 2121);
    Type(dialog->userid, "alice");
    Type(dialog->passwd, "s\xc3\xa9" "cret"); // é is within what the scrambling carries
    Type(dialog->ftpdir, "/pub/builds");
    Click(dialog->CheckBox1);
    Type(dialog->baseurl, "http://example.org/builds");
    {
        ModalAnswers answers({ModalAnswers::Type("*.inc")});
        Click(dialog->Button3);
        EXPECT_EQ(answers.Seen(), std::vector<std::string>{"New Filter: Please insert a new filter"});
    }
    EXPECT_EQ(ShownFilters(dialog->ListBox1).back(), "*.inc"); // as typed until saved
    SelectFilters(dialog->ListBox1, {1, 3});                   // *.dpk and *.res
    Click(dialog->Button4);
    Type(dialog->Edit1, "a@example.org; b@example.org");
    Type(dialog->Edit2, "cc@example.org");
    Type(dialog->Edit3, "bcc@example.org");
    Type(dialog->Edit4, "New build");
    Type(dialog->Memo1, "Hello,\n\nthe build is attached.");
    Click(dialog->CheckBox2);
    Click(dialog->Button1);

    EXPECT_FALSE(dialog->Form().Showing());
    EXPECT_EQ(dialog->Form().Result(), ui::ModalResult::Ok);
    EXPECT_EQ(WidgetOf<QLineEdit>(dialog->baseurl)->text(), "http://example.org/builds/");

    registry::TRegistry reg = Key();
    EXPECT_NE(reg.ReadString(ValueFTPpwd), "s\xc3\xa9" "cret"); // not in plain text
    EXPECT_EQ(Decrypt(reg.ReadString(ValueFTPpwd), ScrambleKey), "s\xc3\xa9" "cret");
    EXPECT_EQ(Decrypt(reg.ReadString(ValueFTPUserName), ScrambleKey), "alice");
    EXPECT_EQ(reg.ReadInteger(ValueFTPPort), 2121);
    EXPECT_EQ(reg.ReadString(ValueFTPHost), "ftp.example.org");
    EXPECT_EQ(reg.ReadString(ValueFTPDirectory), "/pub/builds");
    EXPECT_TRUE(reg.ReadBool(ValueFTPPassive));
    EXPECT_EQ(reg.ReadString(ValueFTPBaseUrl), "http://example.org/builds/");
    EXPECT_EQ(reg.ReadString(ValueZIPFilter), "*.PAS;*.DPR;*.DFM;*.INC");
    EXPECT_EQ(reg.ReadString(ValueEMAILTo), "a@example.org; b@example.org");
    EXPECT_EQ(reg.ReadString(ValueEMAILBody), "Hello,\r\n\r\nthe build is attached.\r\n");
    EXPECT_TRUE(reg.ReadBool(ValueEMAILAuto));
    EXPECT_EQ(reg.GetValueNames(),
              (std::vector<std::string>{"FTPUserName", "FTPpwd", "FTPPort", "FTPHost", "FTPDirectory", "FTPPassive",
                                        "FTPBaseUrl", "ZIPFilter", "EMAILTo", "EMAILCC", "EMAILBCC", "EMAILSubject",
                                        "EMAILBody", "EMAILAuto"}));

    // The project commands see the same settings.
    ide::TProjectContextMenu().ReadRegistryValues();
    EXPECT_EQ(ide::FTPHt, "ftp.example.org");
    EXPECT_EQ(ide::FTPprt, 2121);
    EXPECT_EQ(ide::FTPUserName, "alice");
    EXPECT_EQ(ide::FTPPwd, "s\xc3\xa9" "cret");
    EXPECT_TRUE(ide::FTPPas);
    EXPECT_EQ(ide::ZipStr, "*.PAS;*.DPR;*.DFM;*.INC");
    ide::ReleaseSettingVariables();

    // Opened again: everything as saved, the filters upper-cased.
    auto again = Open();
    EXPECT_EQ(WidgetOf<QLineEdit>(again->host)->text(), "ftp.example.org");
    EXPECT_EQ(WidgetOf<QSpinBox>(again->ftpportspin)->value(), 2121);
    EXPECT_EQ(WidgetOf<QLineEdit>(again->passwd)->text(), QString::fromUtf8("s\xc3\xa9" "cret"));
    EXPECT_TRUE(WidgetOf<QCheckBox>(again->CheckBox1)->isChecked());
    EXPECT_EQ(ShownFilters(again->ListBox1), (std::vector<std::string>{"*.PAS", "*.DPR", "*.DFM", "*.INC"}));
    EXPECT_EQ(WidgetOf<QPlainTextEdit>(again->Memo1)->toPlainText(), "Hello,\n\nthe build is attached.");
    EXPECT_TRUE(WidgetOf<QCheckBox>(again->CheckBox2)->isChecked());
}

TEST_F(OptionsDialog, NewAddsAFilterOnlyWhenOneIsGiven) {
    struct Case {
        const char* what;
        ModalAnswers::Answer answer;
        std::vector<std::string> expected;
    };
    const std::vector<std::string> builtIn{"*.pas", "*.dpk", "*.dpr", "*.res", "*.dfm"};
    std::vector<std::string> withInc = builtIn;
    withInc.push_back("*.inc");
    std::vector<std::string> twice = withInc;
    twice.push_back("*.inc");
    const Case cases[] = {
        {"typed", ModalAnswers::Type("*.inc"), withInc},
        {"empty answer", ModalAnswers::Type(""), builtIn},
        {"box cancelled", ModalAnswers::Reject(), builtIn},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto dialog = Open();
        ModalAnswers answers({c.answer});
        Click(dialog->Button3);
        EXPECT_EQ(answers.Answered(), 1u);
        EXPECT_EQ(ShownFilters(dialog->ListBox1), c.expected);
        EXPECT_EQ(dialog->ListBox1->Items(), c.expected);
    }
    // No check for duplicates: a filter given twice is there twice.
    auto dialog = Open();
    ModalAnswers answers({ModalAnswers::Type("*.inc"), ModalAnswers::Type("*.inc")});
    Click(dialog->Button3);
    Click(dialog->Button3);
    EXPECT_EQ(dialog->ListBox1->Items(), twice);
}

TEST_F(OptionsDialog, RemovingEveryFilterKeepsTheStoredOnesAndAnEmptyBaseUrlBecomesASlash) {
    Store("\"ZIPFilter\"=\"*.PAS;*.DFM\"\n\"FTPBaseUrl\"=\"http://old.example.org/\"\n");
    auto dialog = Open();
    EXPECT_EQ(ShownFilters(dialog->ListBox1), (std::vector<std::string>{"*.PAS", "*.DFM"}));
    EXPECT_EQ(WidgetOf<QLineEdit>(dialog->baseurl)->text(), "http://old.example.org/");
    Click(dialog->Button4); // nothing selected: nothing happens
    EXPECT_EQ(dialog->ListBox1->Items().size(), 2u);
    SelectFilters(dialog->ListBox1, {0, 1});
    Click(dialog->Button4);
    EXPECT_TRUE(ShownFilters(dialog->ListBox1).empty());
    Type(dialog->baseurl, "");
    Click(dialog->Button1);

    EXPECT_EQ(WidgetOf<QLineEdit>(dialog->baseurl)->text(), "/");
    EXPECT_EQ(Key().ReadString(ValueFTPBaseUrl), "/");
    EXPECT_EQ(Key().ReadString(ValueZIPFilter), "*.PAS;*.DFM");
    EXPECT_EQ(ShownFilters(Open()->ListBox1), (std::vector<std::string>{"*.PAS", "*.DFM"}));
}

TEST_F(OptionsDialog, CancelAfterEditingWritesNothing) {
    Store("\"FTPHost\"=\"ftp.example.org\"\n\"ZIPFilter\"=\"*.PAS\"\n");
    const std::string before = StoreText();
    auto dialog = Open();
    Type(dialog->host, "other.example.org");
    SetPort(dialog->ftpportspin, 990);
    SelectFilters(dialog->ListBox1, {0});
    Click(dialog->Button4);
    Click(dialog->CheckBox2);
    Click(dialog->Button2);
    EXPECT_FALSE(dialog->Form().Showing());
    EXPECT_EQ(dialog->Form().Result(), ui::ModalResult::Cancel);
    EXPECT_EQ(StoreText(), before);
}

TEST_F(OptionsDialog, AValueTheStoreCannotTakeKeepsTheDialogOpenAndWritesNothing) {
    Store("\"FTPUserName\"=\"\"\n");
    auto dialog = Open();
    const std::string before = StoreText();
    Type(dialog->userid, "alice");
    Type(dialog->passwd, "pr\xe2\x82\xac" "ce"); // the euro sign lies outside the scrambling
    ModalAnswers answers({ModalAnswers::Accept()});
    Click(dialog->Button1);
    ASSERT_EQ(answers.Seen().size(), 1u);
    EXPECT_NE(answers.Seen()[0].find("not saved"), std::string::npos) << answers.Seen()[0];
    EXPECT_NE(answers.Seen()[0].find("U+20AC"), std::string::npos) << answers.Seen()[0];
    EXPECT_TRUE(dialog->Form().Showing());
    EXPECT_EQ(WidgetOf<QLineEdit>(dialog->userid)->text(), "alice"); // still there to correct
    EXPECT_EQ(StoreText(), before); // not even the user name
}

// A host pasted with its port, or a key file named from no folder in particular, would only fail
// at upload time.
TEST_F(OptionsDialog, AHostWithAPortOrARelativeKeyFileKeepsTheDialogOpenAndWritesNothing) {
    struct Case {
        ui::Edit* TFTPUploaderConfigurationFrm::*field;
        const char* typed;
        const char* says;
    };
    const Case cases[] = {
        {&TFTPUploaderConfigurationFrm::host, "127.0.0.1:9121", "holds a port"},
        {&TFTPUploaderConfigurationFrm::host, "sftp://files.example.org", "security=sftp"},
        {&TFTPUploaderConfigurationFrm::keyfile, "id_ed25519", "is not a full path"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        auto dialog = Open();
        const std::string before = StoreText();
        Type((*dialog).*c.field, c.typed);
        ModalAnswers answers({ModalAnswers::Accept()});
        Click(dialog->Button1);
        ASSERT_EQ(answers.Seen().size(), 1u);
        EXPECT_NE(answers.Seen()[0].find(c.says), std::string::npos) << answers.Seen()[0];
        EXPECT_TRUE(dialog->Form().Showing());
        EXPECT_EQ(StoreText(), before);
    }
}

TEST_F(OptionsDialog, EnterInAFieldSavesAsOkDoes) {
    auto dialog = Open();
    Type(dialog->host, "ftp.example.org");
    QTest::keyClick(WidgetOf<QLineEdit>(dialog->host), Qt::Key_Return);
    EXPECT_FALSE(dialog->Form().Showing());
    EXPECT_EQ(Key().ReadString(ValueFTPHost), "ftp.example.org");
}

// The test logs in on the port and in the mode the dialog shows, with the name and password as
// typed, and saves nothing.
TEST_F(OptionsDialog, TestConnectionUsesThePortAndModeShown) {
    // The server gets a port from the system's ephemeral range, far above the four digits that
    // once were all the port box offered.
    test::FtpServer server;
    ASSERT_GT(server.Port(), 9999);
    const RefusingPort refusing;
    ASSERT_NE(refusing.Port(), 0);
    const uint16_t closed = refusing.Port();
    struct Case {
        const char* what;
        bool passive;
        uint16_t port;
        const char* password;
        bool succeeds;
    };
    const Case cases[] = {
        {"active, the server's port", false, server.Port(), "secret", true},
        {"passive, the server's port", true, server.Port(), "secret", true},
        {"a port where nothing listens", false, closed, "secret", false},
        {"a wrong password", true, server.Port(), "wrong", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto dialog = Open();
        const std::string before = StoreText();
        Type(dialog->host, server.Host());
        SetPort(dialog->ftpportspin, c.port);
        Type(dialog->userid, server.Options().user);
        Type(dialog->passwd, c.password);
        if (c.passive) Click(dialog->CheckBox1);
        ModalAnswers answers({ModalAnswers::Accept()});
        Click(dialog->Button5);
        ASSERT_EQ(answers.Seen().size(), 1u);
        const std::string& message = answers.Seen()[0];
        if (c.succeeds) {
            EXPECT_EQ(message, "Connection succeeded");
        } else {
            EXPECT_EQ(message.rfind("Connection failed, please verify FTP settings", 0), 0u) << message;
            // And why, in words a person can act on.
            EXPECT_GT(message.size(), std::string("Connection failed, please verify FTP settings").size());
        }
        EXPECT_TRUE(dialog->Form().Showing());
        EXPECT_TRUE(dialog->Button5->Enabled());
        EXPECT_EQ(StoreText(), before);
    }
    EXPECT_GE(server.CountCommands("PASS"), 3);
}

// Over a secure transport the test never logs in in clear text: against a server that speaks only
// plain FTP it fails, saying why, and the server never sees the user name or the password.
TEST_F(OptionsDialog, TestConnectionGoesOverTheTransportShown) {
    test::FtpServer server;
    struct Case {
        const char* transport;
        int clicks; // on the transport button
        bool succeeds;
    };
    const Case cases[] = {
        {"FTPS (explicit)", 1, false},
        {"FTPS (implicit)", 2, false},
        {"SFTP", 3, false},
        {"FTP, round again", 4, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.transport);
        auto dialog = Open();
        Type(dialog->host, server.Host());
        SetPort(dialog->ftpportspin, server.Port());
        Type(dialog->userid, server.Options().user);
        Type(dialog->passwd, server.Options().password);
        for (int i = 0; i < c.clicks; ++i) Click(dialog->transportbtn);
        EXPECT_EQ(WidgetOf<QSpinBox>(dialog->ftpportspin)->value(), server.Port()); // the user's port stays
        ModalAnswers answers({ModalAnswers::Accept()});
        Click(dialog->Button5);
        ASSERT_EQ(answers.Seen().size(), 1u);
        const std::string& message = answers.Seen()[0];
        if (c.succeeds) {
            EXPECT_EQ(message, "Connection succeeded");
        } else {
            EXPECT_EQ(message.rfind("Connection failed, please verify FTP settings\n\n", 0), 0u) << message;
            EXPECT_EQ(server.CountCommands("USER"), 0);
            EXPECT_EQ(server.CountCommands("PASS"), 0);
        }
    }
    EXPECT_EQ(server.CountCommands("PASS"), 1);
}

// The wizard and an upload without a host both open a fresh dialog modally.
TEST_F(OptionsDialog, TheWizardOpensAFreshDialogEachTime) {
    auto typeHostAndOk = [](QWidget* window) {
        auto* host = window->findChild<QLineEdit*>("host");
        ASSERT_NE(host, nullptr);
        QTest::keyClicks(host, "ftp.example.org");
        window->findChild<QPushButton*>("Button1")->click();
    };
    std::string shownHost;
    auto lookAndCancel = [&](QWidget* window) {
        shownHost = window->findChild<QLineEdit*>("host")->text().toStdString();
        window->findChild<QPushButton*>("Button2")->click();
    };
    ModalAnswers answers({typeHostAndOk, lookAndCancel});
    toolsapi::ComPtr<ide::TProjectFTPUploaderOptions> wizard(new ide::TProjectFTPUploaderOptions);
    wizard->Execute();
    EXPECT_EQ(Key().ReadString(ValueFTPHost), "ftp.example.org");
    wizard->Execute();
    EXPECT_EQ(answers.Seen(), (std::vector<std::string>{"Zandrel Options", "Zandrel Options"}));
    EXPECT_EQ(shownHost, "ftp.example.org");
}

TEST_F(OptionsDialog, UploadWithoutAHostShowsTheDialogThenAsksForSettings) {
    Store("\"ZIPFilter\"=\"*.PAS\"\n");
    zandrel::testing::TempDir project("options-upload");
    WriteFile(project / "Demo.prj", "program Demo;");
    WriteFile(project / "Unit1.pas", "unit Unit1;");
    auto cancel = [](QWidget* window) { window->findChild<QPushButton*>("Button2")->click(); };
    ModalAnswers answers({cancel, ModalAnswers::Accept()});
    toolsapi::ComPtr<toolsapi::IOTAProject> node(new host::THostProject(project / "Demo.prj"));
    ide::TProjectContextMenu().ProcessProject(node, 1);
    EXPECT_EQ(answers.Seen(), (std::vector<std::string>{"Zandrel Options", "upload settings"}));
    EXPECT_FALSE(fs::exists(project / "Demo.zip"));
    EXPECT_FALSE(fs::exists(project / "Demooutput"));
    ide::ReleaseSettingVariables();
}

} // namespace
} // namespace zandrel::settings
