#include "settings/OptionsDialog.h"

#include <exception>

#include "platform/ui/Application.h"
#include "settings/ApplyForwardSlash.h"
#include "settings/ItemTransport.h"
#include "webcopy/ZandrelWebCopy.h"

namespace zandrel::settings {
namespace {

constexpr int kClientWidth = 673;
constexpr int kClientHeight = 480;

// Form coordinates: labels in a column on the left of their group, fields beside them.
constexpr int kRowHeight = 21;
constexpr int kLabelDrop = 4; // a label's text sits level with the text of its field

const char* const kNewFilterCaption = "New Filter";
const char* const kNewFilterPrompt = "Please insert a new filter";
const char* const kConnectionSucceeded = "Connection succeeded";
const char* const kConnectionFailed = "Connection failed, please verify FTP settings";

// The transport button's caption says what it holds, so that it reads the same in a window and as
// a line of the terminal form, which shows a button by its caption alone.
std::string TransportCaption(FtpTransport transport) {
    switch (transport) {
    case FtpTransport::FtpsExplicit: return "Transport: FTPS (explicit)";
    case FtpTransport::FtpsImplicit: return "Transport: FTPS (implicit)";
    case FtpTransport::Sftp: return "Transport: SFTP";
    default: return "Transport: FTP";
    }
}

// The UI port has no drop-down list, so the button steps through the transports in this order.
FtpTransport NextTransport(FtpTransport transport) {
    switch (transport) {
    case FtpTransport::Ftp: return FtpTransport::FtpsExplicit;
    case FtpTransport::FtpsExplicit: return FtpTransport::FtpsImplicit;
    case FtpTransport::FtpsImplicit: return FtpTransport::Sftp;
    default: return FtpTransport::Ftp;
    }
}

template <class T>
T* Place(ui::Form& form, const char* name, ui::Control* parent, int left, int top, int width, int height) {
    T& control = form.Add<T>();
    control.SetName(name);
    control.SetParent(parent);
    control.SetBounds(left, top, width, height);
    return &control;
}

ui::Label* AddLabel(ui::Form& form, const char* name, ui::Control* parent, const char* caption, int left, int top,
                    ui::Control* names) {
    auto* label = Place<ui::Label>(form, name, parent, left, top + kLabelDrop, 0, 13);
    label->SetCaption(caption);
    label->SetFocusControl(names);
    return label;
}

ui::Edit* AddEdit(ui::Form& form, const char* name, ui::Control* parent, int left, int top, int width,
                  const char* hint) {
    auto* edit = Place<ui::Edit>(form, name, parent, left, top, width, kRowHeight);
    edit->SetHint(hint);
    return edit;
}

ui::Button* AddButton(ui::Form& form, const char* name, ui::Control* parent, const char* caption, int left, int top,
                      int width = 75) {
    auto* button = Place<ui::Button>(form, name, parent, left, top, width, 25);
    button->SetCaption(caption);
    return button;
}

ui::CheckBox* AddCheckBox(ui::Form& form, const char* name, ui::Control* parent, const char* caption, int left,
                          int top, int width) {
    auto* box = Place<ui::CheckBox>(form, name, parent, left, top, width, 17);
    box->SetCaption(caption);
    box->SetCaptionLeft(true);
    return box;
}

// Tab visits `controls` in the order given.
void SetTabOrder(std::initializer_list<ui::Control*> controls) {
    int order = 0;
    for (ui::Control* control : controls) control->SetTabOrder(order++);
}

} // namespace

TFTPUploaderConfigurationFrm::TFTPUploaderConfigurationFrm(ui::Form* owner) : form_(ui::CreateForm(owner)) {
    BuildForm();
}

TFTPUploaderConfigurationFrm::~TFTPUploaderConfigurationFrm() = default;

void TFTPUploaderConfigurationFrm::BuildForm() {
    ui::Form& f = *form_;
    f.SetName("FTPUploaderConfigurationFrm");
    f.SetCaption("Zandrel Options");
    f.SetBorder(ui::BorderStyle::Dialog);
    f.SetPosition(ui::FormPosition::ScreenCenter);
    f.SetBounds(0, 0, kClientWidth, kClientHeight + ui::CaptionHeight());

    // FTP connection.
    GroupBox1 = Place<ui::GroupBox>(f, "GroupBox1", nullptr, 8, 8, 320, 287);
    GroupBox1->SetCaption("FTP Options");
    constexpr int kFtpField = 108, kFtpFieldWidth = 202;
    host = AddEdit(f, "host", GroupBox1, kFtpField, 20, kFtpFieldWidth,
                   "The FTP/HTTP Host address to use when building project");
    Label12 = AddLabel(f, "Label12", GroupBox1, "Host :", 10, 20, host);
    ftpportspin = Place<ui::SpinEdit>(f, "ftpportspin", GroupBox1, kFtpField, 46, 80, kRowHeight);
    ftpportspin->SetRange(MinFTPPort, MaxFTPPort);
    ftpportspin->SetValue(DefaultFTPPort);
    ftpportspin->SetHint("The FTP/HTTP Port to use when building project");
    Label52 = AddLabel(f, "Label52", GroupBox1, "Port :", 10, 46, ftpportspin);
    // The transport, right under the port that follows it. The UI port offers no drop-down list,
    // so a button steps through the transports; like Test Connection, it carries its own caption.
    transportbtn = AddButton(f, "transportbtn", GroupBox1, TransportCaption(FtpTransport::Ftp).c_str(), kFtpField, 72,
                             kFtpFieldWidth);
    transportbtn->SetHeight(23);
    transportbtn->SetHint("How uploads reach the server; click for the next: FTP (not encrypted), FTPS asked for "
                          "with AUTH TLS (explicit), FTPS from the first byte (implicit, port 990), SFTP (SSH, port "
                          "22). A port still at the old transport's default moves to the new one's");
    userid = AddEdit(f, "userid", GroupBox1, kFtpField, 100, kFtpFieldWidth,
                     "The FTP/HTTP Username to login when building project");
    Label13 = AddLabel(f, "Label13", GroupBox1, "Username :", 10, 100, userid);
    passwd = AddEdit(f, "passwd", GroupBox1, kFtpField, 126, kFtpFieldWidth,
                     "The FTP/HTTP Password to login when building project");
    passwd->SetPassword(true);
    Label14 = AddLabel(f, "Label14", GroupBox1, "Password :", 10, 126, passwd);
    keyfile = AddEdit(f, "keyfile", GroupBox1, kFtpField, 152, kFtpFieldWidth,
                      "SFTP: the private key to log in with, as a full path (~/ for your home folder); empty for "
                      "the SSH agent and the usual keys in ~/.ssh. A passphrase is asked for when needed and never "
                      "saved");
    Label16 = AddLabel(f, "Label16", GroupBox1, "SSH key file :", 10, 152, keyfile);
    ftpdir = AddEdit(f, "ftpdir", GroupBox1, kFtpField, 178, kFtpFieldWidth,
                     "The FTP/HTTP Sub directory  to use when building project");
    Label15 = AddLabel(f, "Label15", GroupBox1, "Directory :", 10, 178, ftpdir);
    // The caption stands on the left, so the box lines up with the fields above it.
    CheckBox1 = AddCheckBox(f, "CheckBox1", GroupBox1, "FTP Passive", 10, 206, kFtpField - 10 + 13);
    baseurl = AddEdit(f, "baseurl", GroupBox1, kFtpField, 230, kFtpFieldWidth,
                      "The HTTP base URL necessary to tell Fennick where to download the new files");
    Label41 = AddLabel(f, "Label41", GroupBox1, "HTTP base URL :", 10, 230, baseurl);
    Button5 = AddButton(f, "Button5", GroupBox1, "Test Connection", kFtpField, 256, 100);
    SetTabOrder({ftpportspin, transportbtn, host, userid, passwd, keyfile, ftpdir, CheckBox1, baseurl, Button5});

    // What goes into the project's ZIP.
    GroupBox2 = Place<ui::GroupBox>(f, "GroupBox2", nullptr, 8, 301, 320, 138);
    GroupBox2->SetCaption("ZIP File Options");
    ListBox1 = Place<ui::ListBox>(f, "ListBox1", GroupBox2, 10, 37, 214, 92);
    ListBox1->SetMultiSelect(true);
    Label1 = Place<ui::Label>(f, "Label1", GroupBox2, 10, 20, 0, 13);
    Label1->SetCaption("File Filter:");
    Label1->SetFocusControl(ListBox1);
    Button3 = AddButton(f, "Button3", GroupBox2, "New", 234, 36);
    Button4 = AddButton(f, "Button4", GroupBox2, "Remove", 234, 68);
    SetTabOrder({ListBox1, Button3, Button4});

    // The e-mail that carries a project's ZIP.
    GroupBox3 = Place<ui::GroupBox>(f, "GroupBox3", nullptr, 334, 8, 331, 431);
    GroupBox3->SetCaption("Default Email Options");
    constexpr int kMailField = 70, kMailFieldWidth = 250;
    Edit1 = AddEdit(f, "Edit1", GroupBox3, kMailField, 20, kMailFieldWidth, "Enter");
    Label2 = AddLabel(f, "Label2", GroupBox3, "To:", 10, 20, Edit1);
    Edit2 = AddEdit(f, "Edit2", GroupBox3, kMailField, 47, kMailFieldWidth, "Enter");
    Label3 = AddLabel(f, "Label3", GroupBox3, "CC:", 10, 47, Edit2);
    Edit3 = AddEdit(f, "Edit3", GroupBox3, kMailField, 74, kMailFieldWidth, "Enter");
    Label4 = AddLabel(f, "Label4", GroupBox3, "BCC:", 10, 74, Edit3);
    Edit4 = AddEdit(f, "Edit4", GroupBox3, kMailField, 101, kMailFieldWidth, "Enter");
    Label5 = AddLabel(f, "Label5", GroupBox3, "Subject:", 10, 101, Edit4);
    Memo1 = Place<ui::Edit>(f, "Memo1", GroupBox3, kMailField, 128, kMailFieldWidth, 264);
    Memo1->SetMultiline(true);
    Label6 = AddLabel(f, "Label6", GroupBox3, "Body:", 10, 128, Memo1);
    CheckBox2 = AddCheckBox(f, "CheckBox2", GroupBox3, "Auto Send Email", 10, 402, kMailField - 10 + 13 + 40);
    SetTabOrder({Edit1, Edit2, Edit3, Edit4, Memo1, CheckBox2});

    // Enter is Ok; Escape is bound to no button.
    Button1 = AddButton(f, "Button1", nullptr, "Ok", 509, 448);
    Button1->SetDefault(true);
    Button2 = AddButton(f, "Button2", nullptr, "Cancel", 590, 448);
    SetTabOrder({Button1, Button2, GroupBox1, GroupBox2, GroupBox3});

    ShowValues(OptionsValues{});

    Button1->OnClick = [this] { Button1Click(); };
    Button2->OnClick = [this] { Button2Click(); };
    Button3->OnClick = [this] { Button3Click(); };
    Button4->OnClick = [this] { Button4Click(); };
    Button5->OnClick = [this] { Button5Click(); };
    transportbtn->OnClick = [this] { TransportClick(); };
}

ui::ModalResult TFTPUploaderConfigurationFrm::ShowModal() {
    FormShow();
    return form_->ShowModal();
}

void TFTPUploaderConfigurationFrm::FormShow() {
    OptionsValues values = ControlValues();
    try {
        LoadOptions(values);
    } catch (const std::exception& e) {
        // What was read before the fault is shown; the rest keeps its default. Ok would meet the
        // same fault, so the person learns now what stands in the way.
        ShowValues(values);
        ui::ShowMessage(std::string("The saved options cannot all be read: ") + e.what());
        return;
    }
    ShowValues(values);
}

void TFTPUploaderConfigurationFrm::Button1Click() {
    baseurl->SetCaption(ApplyForwardSlash(baseurl->Caption()));
    try {
        SaveOptions(ControlValues());
    } catch (const std::exception& e) {
        // The dialog stays open with what was typed, so nothing is lost.
        ui::ShowMessage(std::string("The options were not saved: ") + e.what());
        return;
    }
    form_->SetModalResult(ui::ModalResult::Ok);
}

void TFTPUploaderConfigurationFrm::Button2Click() { form_->SetModalResult(ui::ModalResult::Cancel); }

void TFTPUploaderConfigurationFrm::Button3Click() {
    const std::string filter = ui::InputBox(kNewFilterCaption, kNewFilterPrompt, "");
    if (!filter.empty()) ListBox1->AddItem(filter);
}

void TFTPUploaderConfigurationFrm::Button4Click() { ListBox1->DeleteSelected(); }

void TFTPUploaderConfigurationFrm::TransportClick() {
    const FtpTransport next = NextTransport(transport_);
    ftpportspin->SetValue(PortAfterTransportChange(ftpportspin->Value(), transport_, next));
    ShowTransport(next);
}

void TFTPUploaderConfigurationFrm::ShowTransport(FtpTransport transport) {
    transport_ = transport;
    transportbtn->SetCaption(TransportCaption(transport));
}

void TFTPUploaderConfigurationFrm::Button5Click() {
    // The test processes messages while it connects; a second click meanwhile is not a second test.
    if (testing_) return;
    testing_ = true;
    Button5->SetEnabled(false);
    const int cursor = ui::ScreenCursor();
    ui::SetScreenCursor(ui::crHourGlass);

    bool succeeded = false;
    std::string reason;
    try {
        auto copier = std::make_unique<webcopy::TZandrelWebCopy>();
        copier->ShowDialog = false;
        // The connection is tried the way uploads will make it: on the port, over the transport and
        // in the mode shown.
        copier->FTPPassive = CheckBox1->Checked();
        copier->OnError = [&reason](webcopy::TZandrelWebCopy& sender, int) { reason = sender.LastErrorReason(); };
        copier->Items.Clear();
        webcopy::TZandrelWebCopyItem& item = copier->Items.Add();
        item.Protocol = webcopy::wpFtpTest;
        item.FTPHost = host->Caption();
        item.FTPPort = ftpportspin->Value();
        item.FTPUserID = userid->Caption();
        item.FTPPassword = passwd->Caption();
        ApplyTransport(item, transport_, keyfile->Caption());
        copier->Execute();
        succeeded = item.Success();
    } catch (const std::exception& e) {
        reason = e.what();
    }

    ui::SetScreenCursor(cursor);
    Button5->SetEnabled(true);
    testing_ = false;
    if (succeeded)
        ui::ShowMessage(kConnectionSucceeded);
    else
        ui::ShowMessage(reason.empty() ? std::string(kConnectionFailed) : kConnectionFailed + ("\n\n" + reason));
}

std::string TFTPUploaderConfigurationFrm::ApplyForwardSlash(std::string_view text) {
    return settings::ApplyForwardSlash(text);
}

OptionsValues TFTPUploaderConfigurationFrm::ControlValues() const {
    OptionsValues values;
    values.userName = userid->Caption();
    values.password = passwd->Caption();
    values.port = ftpportspin->Value();
    values.transport = transport_;
    values.keyFile = keyfile->Caption();
    values.host = host->Caption();
    values.directory = ftpdir->Caption();
    values.passive = CheckBox1->Checked();
    values.baseUrl = baseurl->Caption();
    values.filters = ListBox1->Items();
    values.emailTo = Edit1->Caption();
    values.emailCC = Edit2->Caption();
    values.emailBCC = Edit3->Caption();
    values.emailSubject = Edit4->Caption();
    values.emailBody = Memo1->Caption();
    values.emailAuto = CheckBox2->Checked();
    return values;
}

void TFTPUploaderConfigurationFrm::ShowValues(const OptionsValues& values) {
    userid->SetCaption(values.userName);
    passwd->SetCaption(values.password);
    ftpportspin->SetValue(values.port);
    ShowTransport(values.transport);
    keyfile->SetCaption(values.keyFile);
    host->SetCaption(values.host);
    ftpdir->SetCaption(values.directory);
    CheckBox1->SetChecked(values.passive);
    baseurl->SetCaption(values.baseUrl);
    ListBox1->Clear();
    for (const std::string& filter : values.filters) ListBox1->AddItem(filter);
    Edit1->SetCaption(values.emailTo);
    Edit2->SetCaption(values.emailCC);
    Edit3->SetCaption(values.emailBCC);
    Edit4->SetCaption(values.emailSubject);
    Memo1->SetCaption(values.emailBody);
    CheckBox2->SetChecked(values.emailAuto);
}

} // namespace zandrel::settings
