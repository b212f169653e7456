#pragma once
// The login dialog of the HTTP download: a banner, the user name, the password (masked) and OK or
// Cancel. Its caption names the server that asks; when the server refused what was given, a line
// above the buttons says so. Built on the UI port, so a window or the
// terminal shows it, whichever backend the program installed.
#include <memory>

#include "platform/ui/Forms.h"

namespace zandrel::webcopy {

class TWcLoginForm {
public:
    // Builds the form (owned by `owner`'s window when given) with both fields empty and no caption.
    explicit TWcLoginForm(ui::Form* owner = nullptr);
    ~TWcLoginForm();
    TWcLoginForm(const TWcLoginForm&) = delete;
    TWcLoginForm& operator=(const TWcLoginForm&) = delete;

    ui::Form& Form() const { return *form_; }

    ui::Image* Image1;
    ui::Label* Label1;
    ui::Edit* Edit1; // user name
    ui::Label* Label2;
    ui::Edit* Edit2; // password
    ui::Button* Button1; // OK
    ui::Button* Button2; // Cancel
    ui::Label* Label3;   // why the dialog asks again; hidden on the first question

private:
    std::unique_ptr<ui::Form> form_;
};

} // namespace zandrel::webcopy
