#include "webcopy/SshQuestions.h"

#include <memory>
#include <utility>

#include "platform/ui/Application.h"
#include "platform/ui/Forms.h"
#include "platform/ui/Interrupt.h"
#include "webcopy/LoginForm.h"

namespace zandrel::webcopy {
namespace {

constexpr int kClientWidth = 440;
constexpr int kClientHeight = 190;

HostKeyHandler& HostKeys() {
    static HostKeyHandler handler;
    return handler;
}

PassphraseHandler& Passphrases() {
    static PassphraseHandler handler;
    return handler;
}

// Whether a form can be put to anyone now: a backend, someone to answer, and no Ctrl-C waiting
// to stop the run.
bool CanAsk() { return ui::HasBackend() && ui::CanAskUser() && !ui::InterruptPending(); }

// A Ctrl-C that cancelled the form was meant for the whole run: it stays pending for the run's
// own Cancel, as after the login dialog.
class KeepInterruptForTheRun {
public:
    KeepInterruptForTheRun() : before_(ui::InterruptSignal() != 0) {}
    void Cancelled() const {
        if (!before_ && ui::InterruptSignal() != 0 && !ui::InterruptPending()) ui::RequestInterrupt();
    }

private:
    bool before_;
};

ui::Label* AddLine(ui::Form& form, const char* name, int top, const std::string& text) {
    ui::Label& label = form.Add<ui::Label>();
    label.SetName(name);
    label.SetBounds(16, top, kClientWidth - 32, 13);
    label.SetCaption(text);
    return &label;
}

ui::Button* AddButton(ui::Form& form, const char* name, const char* caption, int left, ui::ModalResult result) {
    ui::Button& button = form.Add<ui::Button>();
    button.SetName(name);
    button.SetBounds(left, kClientHeight - 35, 75, 25);
    button.SetCaption(caption);
    button.SetModalResult(result);
    return &button;
}

HostKeyAnswer AskWithTheForm(const HostKeyQuestion& question) {
    if (!CanAsk()) return HostKeyAnswer::NobodyToAsk;
    std::unique_ptr<ui::Form> form = ui::CreateForm(nullptr);
    ui::Form& f = *form;
    f.SetName("WcHostKeyForm");
    f.SetCaption("Unknown server key");
    f.SetBorder(ui::BorderStyle::Dialog);
    f.SetPosition(ui::FormPosition::ScreenCenter);
    f.SetSystemMenu(true);
    f.SetBounds(0, 0, kClientWidth, kClientHeight + ui::CaptionHeight());
    const std::string server = question.host + (question.port != 22 ? " port " + std::to_string(question.port) : "");
    AddLine(f, "Label1", 16, "The server " + server + " is not known on this computer.");
    AddLine(f, "Label2", 40, "Its " + question.keyType + " key has the fingerprint");
    AddLine(f, "Label3", 60, question.fingerprint);
    AddLine(f, "Label4", 84, "Accept it only if the server's administrator gives you the same one.");
    ui::CheckBox& remember = f.Add<ui::CheckBox>();
    remember.SetName("CheckBox1");
    remember.SetBounds(16, 112, kClientWidth - 32, 17);
    remember.SetCaption("&Remember the key in " + question.rememberIn);
    ui::Button* accept = AddButton(f, "Button1", "&Accept", kClientWidth - 2 * 75 - 24, ui::ModalResult::Ok);
    ui::Button* cancel = AddButton(f, "Button2", "Cancel", kClientWidth - 75 - 16, ui::ModalResult::Cancel);
    cancel->SetDefault(true); // trusting a key must be a choice, never what Enter does
    cancel->SetCancel(true);
    int order = 0;
    for (ui::Control* control : {static_cast<ui::Control*>(&remember), static_cast<ui::Control*>(accept),
                                 static_cast<ui::Control*>(cancel)})
        control->SetTabOrder(order++);

    const KeepInterruptForTheRun interrupt;
    if (f.ShowModal() != ui::ModalResult::Ok) {
        interrupt.Cancelled();
        return HostKeyAnswer::Refuse;
    }
    return remember.Checked() ? HostKeyAnswer::AcceptAndRemember : HostKeyAnswer::AcceptOnce;
}

bool AskPassphraseWithTheForm(const std::string& keyFile, std::string& passphrase) {
    if (!CanAsk()) return false;
    // The login form, with the key where the user name goes: one way of asking for secrets.
    TWcLoginForm login;
    login.Form().SetCaption("Passphrase for " + keyFile);
    login.Label1->SetCaption("Key file:");
    login.Edit1->SetCaption(keyFile);
    login.Edit1->SetEnabled(false);
    login.Label2->SetCaption("&Passphrase:");
    const KeepInterruptForTheRun interrupt;
    if (login.Form().ShowModal() != ui::ModalResult::Ok) {
        interrupt.Cancelled();
        return false;
    }
    passphrase = login.Edit2->Caption();
    return true;
}

} // namespace

HostKeyAnswer AskAboutHostKey(const HostKeyQuestion& question) {
    if (const HostKeyHandler& handler = HostKeys()) return handler(question);
    return AskWithTheForm(question);
}

bool CanAskAboutHostKeys() { return static_cast<bool>(HostKeys()) || CanAsk(); }

HostKeyHandler SetHostKeyHandler(HostKeyHandler handler) { return std::exchange(HostKeys(), std::move(handler)); }

bool AskPassphrase(const std::string& keyFile, std::string& passphrase) {
    if (const PassphraseHandler& handler = Passphrases()) {
        std::string answer;
        if (!handler(keyFile, answer)) return false;
        passphrase = std::move(answer);
        return true;
    }
    return AskPassphraseWithTheForm(keyFile, passphrase);
}

PassphraseHandler SetPassphraseHandler(PassphraseHandler handler) {
    return std::exchange(Passphrases(), std::move(handler));
}

} // namespace zandrel::webcopy
