// A program for the terminal form tests: it builds a form with the UI port, shows it modally with
// the terminal backend, and prints what the form's Ok handler saved, the way the options dialog
// and the login dialog use their forms.
//
//   terminal_form_fixture options   group boxes, edits, a password, a spin edit, a multi-select
//                                   list with New and Remove, check boxes, a button with a
//                                   message box, a button whose handler fails, Ok (Enter) and
//                                   Cancel
//   terminal_form_fixture login     user name and password with OK (Enter) and Cancel (Esc)
//   ... nolatch                     as above, without installing the interrupt latch
//
// Ctrl-C reaches it through the interrupt latch, as in the host: the form closes as Cancel and the
// program then ends with 128 + the signal.
#include <csignal>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/ui/Application.h"
#include "platform/ui/Interrupt.h"
#include "platform/ui/terminal/TerminalBackend.h"

namespace {

using namespace zandrel::ui;

// One line per value; line ends inside a value are shown as "\n" so each value stays on its line.
void PrintValue(const std::string& name, const std::string& value) {
    std::string shown;
    for (char c : value) shown += c == '\n' ? std::string("\\n") : std::string(1, c);
    std::printf("%s=%s\n", name.c_str(), shown.c_str());
}

void PrintResult(ModalResult result) {
    std::printf("== results ==\nresult=%s\n",
                result == ModalResult::Ok ? "Ok" : result == ModalResult::Cancel ? "Cancel" : "None");
}

template <class T>
T& Labelled(Form& form, Control* group, const std::string& caption) {
    auto& label = form.Add<Label>();
    label.SetCaption(caption);
    label.SetParent(group);
    auto& control = form.Add<T>();
    control.SetParent(group);
    label.SetFocusControl(&control);
    return control;
}

int RunOptions() {
    auto form = CreateForm();
    form->SetCaption("Zandrel Options");
    auto& ok = form->Add<Button>();
    ok.SetCaption("Ok");
    ok.SetDefault(true);
    auto& cancel = form->Add<Button>();
    cancel.SetCaption("Cancel"); // not bound to Escape, as in the options dialog

    auto& ftp = form->Add<GroupBox>();
    ftp.SetCaption("FTP Options");
    auto& host = Labelled<Edit>(*form, &ftp, "Host :");
    host.SetCaption("ftp.example.org");
    host.SetHint("The FTP/HTTP Host address to use when building project");
    auto& port = Labelled<SpinEdit>(*form, &ftp, "Port :");
    port.SetRange(0, 65535);
    port.SetValue(21);
    port.SetTabOrder(host.TabOrder() - 1); // the port comes first in the Tab sequence
    auto& user = Labelled<Edit>(*form, &ftp, "Username :");
    user.SetCaption("anna");
    auto& password = Labelled<Edit>(*form, &ftp, "Password :");
    password.SetPassword(true);
    password.SetCaption("old-secret");
    auto& passive = form->Add<CheckBox>();
    passive.SetCaption("FTP Passive");
    passive.SetCaptionLeft(true);
    passive.SetParent(&ftp);
    auto& test = form->Add<Button>();
    test.SetCaption("Test Connection");
    test.SetParent(&ftp);
    test.OnClick = [] { ShowMessage("Connection failed, please verify FTP settings"); };

    auto& zip = form->Add<GroupBox>();
    zip.SetCaption("ZIP File Options");
    auto& filters = Labelled<ListBox>(*form, &zip, "File Filter:");
    filters.SetMultiSelect(true);
    for (const char* f : {"*.pas", "*.dpk", "*.dpr"}) filters.AddItem(f);
    auto& add = form->Add<Button>();
    add.SetCaption("New");
    add.SetParent(&zip);
    add.OnClick = [&] {
        std::string filter;
        if (InputQuery("New Filter", "Please insert a new filter", filter) && !filter.empty()) filters.AddItem(filter);
    };
    auto& remove = form->Add<Button>();
    remove.SetCaption("Remove");
    remove.SetParent(&zip);
    remove.OnClick = [&] { filters.DeleteSelected(); };

    auto& mail = form->Add<GroupBox>();
    mail.SetCaption("Default Email Options");
    auto& subject = Labelled<Edit>(*form, &mail, "Subject:");
    subject.SetCaption("Weekly build");
    auto& body = Labelled<Edit>(*form, &mail, "Body:");
    body.SetMultiline(true);
    body.SetCaption("Hello,\nthe build.");
    auto& autoSend = form->Add<CheckBox>();
    autoSend.SetCaption("Auto Send Email");
    autoSend.SetParent(&mail);
    autoSend.SetEnabled(false);
    auto& hidden = Labelled<Edit>(*form, &mail, "Hidden:");
    hidden.SetVisible(false);
    // A handler that fails, as saving does when the settings cannot be written.
    auto& failing = form->Add<Button>();
    failing.SetCaption("Save a copy");
    failing.SetParent(&mail);
    failing.OnClick = [] { throw std::runtime_error("the settings file is read-only"); };

    // What Ok saves; printed once the form is gone, so that nothing typed shows up as output while
    // the person works the form.
    std::vector<std::pair<std::string, std::string>> saved;
    auto Save = [&saved](const std::string& name, const std::string& value) { saved.emplace_back(name, value); };
    ok.OnClick = [&] {
        Save("host", host.Caption());
        Save("port", std::to_string(port.Value()));
        Save("user", user.Caption());
        Save("password", password.Caption());
        Save("passive", passive.Checked() ? "1" : "0");
        std::string list;
        for (const auto& f : filters.Items()) list += (list.empty() ? "" : ",") + f;
        Save("filters", list);
        Save("subject", subject.Caption());
        Save("body", body.Caption());
        form->SetModalResult(ModalResult::Ok);
    };
    cancel.OnClick = [&] { form->Close(); };

    const ModalResult result = form->ShowModal();
    PrintResult(result);
    std::printf("saved=%d\n", saved.empty() ? 0 : 1);
    for (const auto& [name, value] : saved) PrintValue(name, value);
    return 0;
}

int RunLogin() {
    auto form = CreateForm();
    form->SetCaption("Connect to 127.0.0.1");
    auto& user = Labelled<Edit>(*form, nullptr, "&User name: ");
    auto& password = Labelled<Edit>(*form, nullptr, "&Password:");
    password.SetPassword(true);
    auto& ok = form->Add<Button>();
    ok.SetCaption("OK");
    ok.SetDefault(true);
    ok.SetModalResult(ModalResult::Ok);
    auto& cancel = form->Add<Button>();
    cancel.SetCaption("Cancel");
    cancel.SetCancel(true);
    cancel.SetModalResult(ModalResult::Cancel);
    const ModalResult result = form->ShowModal();
    PrintResult(result);
    if (result == ModalResult::Ok) {
        PrintValue("user", user.Caption());
        PrintValue("password", password.Caption());
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string which = argc > 1 ? argv[1] : "";
    if (which != "options" && which != "login") {
        std::fprintf(stderr, "usage: terminal_form_fixture options|login\n");
        return 2;
    }
    InstallBackend(CreateTerminalBackend({.handleInterrupt = false}));
    // "nolatch": a program that left Ctrl-C to its default action.
    if (argc < 3 || std::string(argv[2]) != "nolatch") InstallInterruptLatch();
    const int status = which == "options" ? RunOptions() : RunLogin();
    std::fflush(stdout);
    RemoveBackend();
    return InterruptSignal() != 0 ? 128 + InterruptSignal() : status;
}
