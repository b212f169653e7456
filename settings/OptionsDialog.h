#pragma once
// The "Zandrel Options" dialog: the FTP connection used for uploads (with a connection test), the
// file filters that decide what goes into a project ZIP, and the default e-mail fields. It loads
// the store when shown and writes it back on Ok; Cancel writes nothing. Built on the UI port, so
// any backend can draw it.
#include <memory>
#include <string>
#include <string_view>

#include "platform/ui/Forms.h"
#include "settings/OptionsStore.h"

namespace zandrel::settings {

class TFTPUploaderConfigurationFrm {
public:
    // Builds the form (owned by `owner`'s window when given) with every control at its default.
    explicit TFTPUploaderConfigurationFrm(ui::Form* owner = nullptr);
    ~TFTPUploaderConfigurationFrm();
    TFTPUploaderConfigurationFrm(const TFTPUploaderConfigurationFrm&) = delete;
    TFTPUploaderConfigurationFrm& operator=(const TFTPUploaderConfigurationFrm&) = delete;

    // Loads the store into the controls (FormShow), then shows the dialog and returns when Ok or
    // Cancel closed it.
    ui::ModalResult ShowModal();

    // The dialog's handlers.
    void FormShow();     // the store into the controls
    void Button1Click(); // Ok: the controls into the store, then close
    void Button2Click(); // Cancel: close, writing nothing
    void Button3Click(); // New: ask for a filter and add it
    void Button4Click(); // Remove: drop the selected filters
    void Button5Click(); // Test Connection
    // The transport button: the next transport, and the port with it while the port is still the
    // old transport's default.
    void TransportClick();

    static std::string ApplyForwardSlash(std::string_view text);

    // What the controls hold, as the store would take it.
    OptionsValues ControlValues() const;
    // Puts `values` into the controls.
    void ShowValues(const OptionsValues& values);

    ui::Form& Form() const { return *form_; }

    ui::GroupBox* GroupBox1;
    ui::Label* Label12;
    ui::Edit* host;
    ui::Label* Label52;
    ui::SpinEdit* ftpportspin;
    ui::Button* transportbtn;
    ui::Label* Label13;
    ui::Edit* userid;
    ui::Label* Label14;
    ui::Edit* passwd;
    ui::Label* Label16;
    ui::Edit* keyfile;
    ui::Label* Label15;
    ui::Edit* ftpdir;
    ui::CheckBox* CheckBox1;
    ui::Label* Label41;
    ui::Edit* baseurl;
    ui::Button* Button5;

    ui::GroupBox* GroupBox2;
    ui::Label* Label1;
    ui::ListBox* ListBox1;
    ui::Button* Button3;
    ui::Button* Button4;

    ui::GroupBox* GroupBox3;
    ui::Label* Label2;
    ui::Edit* Edit1;
    ui::Label* Label3;
    ui::Edit* Edit2;
    ui::Label* Label4;
    ui::Edit* Edit3;
    ui::Label* Label5;
    ui::Edit* Edit4;
    ui::Label* Label6;
    ui::Edit* Memo1;
    ui::CheckBox* CheckBox2;

    ui::Button* Button1;
    ui::Button* Button2;

private:
    void BuildForm();
    void ShowTransport(FtpTransport transport);

    std::unique_ptr<ui::Form> form_;
    bool testing_ = false;
    FtpTransport transport_ = FtpTransport::Ftp; // what the transport button shows
};

} // namespace zandrel::settings
