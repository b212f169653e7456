#include "webcopy/Login.h"

#include <utility>

#include "platform/ui/Application.h"
#include "platform/ui/Interrupt.h"
#include "webcopy/LoginForm.h"

namespace zandrel::webcopy {
namespace {

LoginHandler& Handler() {
    static LoginHandler handler;
    return handler;
}

bool AskWithTheDialog(const std::string& Caption, std::string& UserName, std::string& Password, bool Refused) {
    if (!ui::HasBackend() || ui::InterruptPending()) return false;
    const bool interruptedBefore = ui::InterruptSignal() != 0;
    TWcLoginForm login;
    if (Refused) {
        // Asked again: the person sees why, and only has to correct what was wrong. The terminal
        // shows the caption above the fields, a window the line above the buttons.
        login.Form().SetCaption(Caption + ": " + kLoginRefused);
        login.Label3->SetCaption(kLoginRefused);
        login.Label3->SetVisible(true);
        login.Edit1->SetCaption(UserName);
    } else {
        login.Form().SetCaption(Caption);
    }
    const bool confirmed = login.Form().ShowModal() == ui::ModalResult::Ok;
    // A first Ctrl-C taken meanwhile pressed this dialog's Cancel; it was meant for the whole run,
    // whose own Cancel is pressed when the interrupt is pending again.
    if (!confirmed && !interruptedBefore && ui::InterruptSignal() != 0 && !ui::InterruptPending())
        ui::RequestInterrupt();
    if (!confirmed) return false;
    UserName = login.Edit1->Caption();
    Password = login.Edit2->Caption();
    return true;
}

} // namespace

bool GetLogin(const std::string& Caption, std::string& UserName, std::string& Password, bool Refused) {
    const LoginHandler& handler = Handler();
    if (!handler) return AskWithTheDialog(Caption, UserName, Password, Refused);
    std::string user = UserName;
    std::string password = Password;
    if (!handler(Caption, user, password)) return false;
    UserName = std::move(user);
    Password = std::move(password);
    return true;
}

LoginHandler SetLoginHandler(LoginHandler handler) { return std::exchange(Handler(), std::move(handler)); }

} // namespace zandrel::webcopy
