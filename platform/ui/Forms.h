#pragma once
// Forms and controls as the system code sees them: plain objects that hold their properties
// (position, size, caption, visibility ...) and tell a backend peer whenever one changes. The
// backend (Qt widgets, or the terminal) draws them; the system code never sees which.
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zandrel::ui {

class Form;
class ControlPeer;
std::unique_ptr<Form> CreateForm(Form* owner);

enum class ModalResult { None = 0, Ok = 1, Cancel = 2 };

class Control {
public:
    virtual ~Control();
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    int Left() const { return left_; }
    int Top() const { return top_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    const std::string& Caption() const { return caption_; }
    bool Visible() const { return visible_; }
    bool Enabled() const { return enabled_; }
    const std::string& Name() const { return name_; }
    // The help text shown when the pointer rests on the control (a tooltip); empty for none.
    const std::string& Hint() const { return hint_; }
    // The group box the control sits in (its position is then relative to the box); null when it
    // sits on the form itself.
    Control* Parent() const { return parent_; }
    // Where the control comes in the Tab sequence among the controls of its parent (or of the form).
    // Controls start in the order they were added.
    int TabOrder() const { return tabOrder_; }
    // Whether Tab stops at the control at all; labels and group boxes are passed over.
    virtual bool TabStop() const { return true; }

    void SetLeft(int v) { SetBounds(v, top_, width_, height_); }
    void SetTop(int v) { SetBounds(left_, v, width_, height_); }
    void SetWidth(int v) { SetBounds(left_, top_, v, height_); }
    void SetHeight(int v) { SetBounds(left_, top_, width_, v); }
    void SetBounds(int left, int top, int width, int height);
    void SetCaption(std::string caption);
    void SetVisible(bool visible);
    void SetEnabled(bool enabled);
    void SetName(std::string name) { name_ = std::move(name); }
    void SetHint(std::string hint);
    // `parent` must be a group box of the same form.
    void SetParent(Control* parent);
    void SetTabOrder(int order);

    Form* Owner() const { return owner_; }
    ControlPeer* Peer() const { return peer_.get(); }

protected:
    explicit Control(Form* owner);
    void Changed();
    // For changes the backend reports from the user's side: its peer already shows them.
    void SetCaptionSilently(std::string caption) { caption_ = std::move(caption); }
    friend class Form;
    friend std::unique_ptr<Form> CreateForm(Form* owner);

private:
    Form* owner_;
    std::unique_ptr<ControlPeer> peer_;
    int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    std::string caption_;
    bool visible_ = true;
    bool enabled_ = true;
    std::string name_;
    std::string hint_;
    Control* parent_ = nullptr;
    int tabOrder_ = 0;
};

class Label : public Control {
public:
    explicit Label(Form* owner) : Control(owner) {}
    bool TabStop() const override { return false; }
    // The control the label names (its caption is that control's caption in the terminal, and
    // its accelerator moves the focus there); null for a free-standing label.
    Control* FocusControl() const { return focusControl_; }
    void SetFocusControl(Control* control) {
        focusControl_ = control;
        Changed();
    }
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool v) {
        autoSize_ = v;
        Changed();
    }

private:
    bool autoSize_ = true;
    Control* focusControl_ = nullptr;
};

class Button : public Control {
public:
    explicit Button(Form* owner) : Control(owner) { SetBounds(0, 0, 75, 25); }
    std::function<void()> OnClick;
    // A Cancel button is what Escape (and, in the terminal, Ctrl-C) presses.
    bool Cancel() const { return cancel_; }
    void SetCancel(bool v) { cancel_ = v; }
    bool Default() const { return default_; }
    void SetDefault(bool v) { default_ = v; }
    ModalResult Result() const { return result_; }
    void SetModalResult(ModalResult r) { result_ = r; }
    // Presses the button as a user would: nothing happens while it is hidden or disabled.
    void Click();
    // Presses it on the person's behalf from outside the window (Ctrl-C): as Click, but also
    // while the button is hidden. A disabled button still does nothing.
    void Press();

private:
    bool cancel_ = false;
    bool default_ = false;
    ModalResult result_ = ModalResult::None;
};

class ProgressBar : public Control {
public:
    explicit ProgressBar(Form* owner) : Control(owner) { SetBounds(0, 0, 150, 16); }
    int Min() const { return min_; }
    int Max() const { return max_; }
    int Position() const { return position_; }
    // A maximum below the position takes the position down with it, and one below the minimum
    // counts as the minimum: the position always lies within [Min, Max].
    void SetMax(int v);
    void SetPosition(int v);

private:
    int min_ = 0, max_ = 100, position_ = 0;
};

// A short looping animation picked by resource number (the transfer window's clips).
class Animate : public Control {
public:
    explicit Animate(Form* owner) : Control(owner) { SetBounds(0, 0, 272, 60); }
    int Clip() const { return clip_; }
    // False, and no clip, when the number names no clip of ours.
    bool SetClip(int resourceId);
    bool Active() const { return active_; }
    void SetActive(bool v) {
        active_ = v;
        Changed();
    }

private:
    int clip_ = 0;
    bool active_ = false;
};

class CheckBox : public Control {
public:
    explicit CheckBox(Form* owner) : Control(owner) {}
    bool Checked() const { return checked_; }
    void SetChecked(bool v) {
        checked_ = v;
        Changed();
    }
    // Called by the backend when the user toggles it.
    void UserSetChecked(bool v) { checked_ = v; }
    // The caption stands left of the box instead of right of it.
    bool CaptionLeft() const { return captionLeft_; }
    void SetCaptionLeft(bool v) {
        captionLeft_ = v;
        Changed();
    }

private:
    bool checked_ = false;
    bool captionLeft_ = false;
};

// A framed box with a caption that holds other controls (see Control::SetParent).
class GroupBox : public Control {
public:
    explicit GroupBox(Form* owner) : Control(owner) { SetBounds(0, 0, 185, 105); }
    bool TabStop() const override { return false; }
};

// A number field with up and down arrows; the value always lies within [MinValue, MaxValue].
class SpinEdit : public Control {
public:
    explicit SpinEdit(Form* owner) : Control(owner) { SetBounds(0, 0, 121, 22); }
    int Value() const { return value_; }
    int MinValue() const { return min_; }
    int MaxValue() const { return max_; }
    void SetValue(int v);
    void SetRange(int min, int max);
    // Called by the backend when the user changes it; clamped like SetValue.
    void UserSetValue(int v);

private:
    int value_ = 0, min_ = 0, max_ = 100;
};

// A list of text lines; with MultiSelect several lines can be selected at once.
class ListBox : public Control {
public:
    explicit ListBox(Form* owner) : Control(owner) { SetBounds(0, 0, 121, 97); }
    const std::vector<std::string>& Items() const { return items_; }
    bool MultiSelect() const { return multiSelect_; }
    void SetMultiSelect(bool v);
    void AddItem(std::string item);
    void Clear();
    bool Selected(size_t index) const { return index < selected_.size() && selected_[index]; }
    void SetSelected(size_t index, bool selected);
    // Removes every selected line.
    void DeleteSelected();
    // Called by the backend when the user changes the selection; no peer update follows.
    void UserSetSelected(size_t index, bool selected);

private:
    void Select(size_t index, bool selected);
    std::vector<std::string> items_;
    std::vector<bool> selected_;
    bool multiSelect_ = false;
};

// A text field; Caption is its text. A multi-line one is a memo, its lines separated by "\n".
class Edit : public Control {
public:
    explicit Edit(Form* owner) : Control(owner) {}
    bool Password() const { return password_; }
    void SetPassword(bool v) {
        password_ = v;
        Changed();
    }
    bool Multiline() const { return multiline_; }
    void SetMultiline(bool v) {
        multiline_ = v;
        Changed();
    }
    void UserSetText(std::string text);

private:
    bool password_ = false;
    bool multiline_ = false;
};

// A picture from the program's own resources, named without folder or extension
// ("LoginBanner"). With AutoSize the control takes the size of its picture. Only windows show
// pictures; the terminal leaves them out.
class Image : public Control {
public:
    explicit Image(Form* owner) : Control(owner) { SetBounds(0, 0, 105, 105); }
    bool TabStop() const override { return false; }
    const std::string& Picture() const { return picture_; }
    void SetPicture(std::string name) {
        picture_ = std::move(name);
        Changed();
    }
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool v) {
        autoSize_ = v;
        Changed();
    }

private:
    std::string picture_;
    bool autoSize_ = false;
};

enum class BorderStyle { Sizeable, Dialog };
enum class FormPosition { Designed, ScreenCenter, OwnerCenter };

class FormPeer;

class Form : public Control {
public:
    // Use ui::CreateForm(); a form needs its backend peer from birth.
    explicit Form(Form* owner);
    ~Form() override;

    template <class T>
    T& Add() {
        auto control = std::make_unique<T>(this);
        T& ref = *control;
        Adopt(std::move(control));
        return ref;
    }
    const std::vector<std::unique_ptr<Control>>& Controls() const { return controls_; }

    BorderStyle Border() const { return border_; }
    void SetBorder(BorderStyle v) {
        border_ = v;
        Changed();
    }
    FormPosition Position() const { return position_; }
    void SetPosition(FormPosition v) {
        position_ = v;
        Changed();
    }
    bool StayOnTop() const { return stayOnTop_; }
    void SetStayOnTop(bool v) {
        stayOnTop_ = v;
        Changed();
    }
    // The title bar's system menu and close button.
    bool SystemMenu() const { return systemMenu_; }
    void SetSystemMenu(bool v) {
        systemMenu_ = v;
        Changed();
    }

    // Shows the form without blocking.
    void Show();
    void Hide();
    bool Showing() const { return showing_; }
    // Asks OnCloseQuery, then hides the form (and ends a modal loop) when allowed.
    void Close();
    // Shows the form and returns when it closes, with the result of the button that closed it.
    ModalResult ShowModal();
    ModalResult Result() const { return result_; }
    void SetModalResult(ModalResult r);
    // Places the form above every other window (stays there while shown).
    void BringToFrontTopmost();

    std::function<void(Form&, bool& canClose)> OnCloseQuery;
    std::function<void(Form&)> OnClose;

    FormPeer* Peer() const;

private:
    void Adopt(std::unique_ptr<Control> control);
    friend class FormPeer;
    void PeerClosed() { showing_ = false; }

    std::vector<std::unique_ptr<Control>> controls_;
    BorderStyle border_ = BorderStyle::Sizeable;
    FormPosition position_ = FormPosition::Designed;
    bool stayOnTop_ = false;
    bool systemMenu_ = true;
    bool showing_ = false;
    ModalResult result_ = ModalResult::None;
};

// The controls of `form` that Tab visits, in the order it visits them: the form's own controls by
// TabOrder, each group box replaced by its own controls by their TabOrder. Hidden and disabled
// controls are included; a backend passes over them.
std::vector<Control*> TabSequence(const Form& form);
// The button that Enter presses on `form`: its enabled, visible Default button; null when none.
Button* DefaultButton(const Form& form);

// Creates a top-level form (owned by `owner`'s window when given) with its backend peer.
std::unique_ptr<Form> CreateForm(Form* owner = nullptr);

// The enabled Cancel button of the newest shown form that has one, else of the newest hidden
// form (a window built but never shown still stands for the work it belongs to); null when no
// form has one.
Button* NewestCancelButton();
// The enabled Cancel button of `form` that the person can see; null when it has none.
Button* VisibleCancelButton(const Form& form);

} // namespace zandrel::ui
