#include "webcopy/LoginForm.h"

#include <initializer_list>

#include "platform/ui/Application.h"
#include "platform/ui/Forms.h"

namespace zandrel::webcopy {
namespace {

constexpr int kClientWidth = 312;
constexpr int kClientHeight = 185;

template <class T>
T* Place(ui::Form& form, const char* name, int left, int top, int width, int height) {
    T& control = form.Add<T>();
    control.SetName(name);
    control.SetBounds(left, top, width, height);
    return &control;
}

ui::Button* AddButton(ui::Form& form, const char* name, const char* caption, int left, ui::ModalResult result) {
    auto* button = Place<ui::Button>(form, name, left, 152, 75, 25);
    button->SetCaption(caption);
    button->SetModalResult(result);
    return button;
}

} // namespace

TWcLoginForm::TWcLoginForm(ui::Form* owner) : form_(ui::CreateForm(owner)) {
    ui::Form& f = *form_;
    f.SetName("WcLoginForm");
    f.SetBorder(ui::BorderStyle::Dialog);
    f.SetPosition(ui::FormPosition::ScreenCenter);
    f.SetSystemMenu(true);
    f.SetBounds(0, 0, kClientWidth, kClientHeight + ui::CaptionHeight());

    // The banner is a little wider than the dialog; its right edge is cut off.
    Image1 = Place<ui::Image>(f, "Image1", 0, 0, 320, 60);
    Image1->SetPicture("LoginBanner");
    Image1->SetAutoSize(true);

    Edit1 = Place<ui::Edit>(f, "Edit1", 104, 80, 193, 21);
    Label1 = Place<ui::Label>(f, "Label1", 16, 80, 57, 13);
    Label1->SetCaption("&User name: ");
    Label1->SetFocusControl(Edit1);

    Edit2 = Place<ui::Edit>(f, "Edit2", 104, 112, 193, 21);
    Edit2->SetPassword(true);
    Label2 = Place<ui::Label>(f, "Label2", 16, 112, 49, 13);
    Label2->SetCaption("&Password:");
    Label2->SetFocusControl(Edit2);

    Label3 = Place<ui::Label>(f, "Label3", 16, 136, 281, 13);
    Label3->SetVisible(false);

    Button1 = AddButton(f, "Button1", "OK", 144, ui::ModalResult::Ok);
    Button1->SetDefault(true);
    Button2 = AddButton(f, "Button2", "Cancel", 224, ui::ModalResult::Cancel);
    Button2->SetCancel(true); // Escape, and Ctrl-C at a terminal

    int order = 0;
    for (ui::Control* control : std::initializer_list<ui::Control*>{Edit1, Edit2, Button1, Button2})
        control->SetTabOrder(order++);
}

TWcLoginForm::~TWcLoginForm() = default;

} // namespace zandrel::webcopy
