#include "platform/ui/Forms.h"

#include <algorithm>

#include "platform/ui/Application.h"
#include "platform/ui/Backend.h"

namespace zandrel::ui {
namespace {

// Every form that exists, oldest first: Ctrl-C looks here for the work to cancel.
std::vector<Form*>& LiveForms() {
    static std::vector<Form*> forms;
    return forms;
}

Button* CancelButtonOf(const Form& form, bool mustBeVisible) {
    for (const auto& control : form.Controls()) {
        auto* button = dynamic_cast<Button*>(control.get());
        if (button && button->Cancel() && button->Enabled() && (!mustBeVisible || button->Visible())) return button;
    }
    return nullptr;
}

} // namespace

Control::Control(Form* owner) : owner_(owner) {}

Control::~Control() = default;

void Control::Changed() {
    if (peer_) peer_->Update();
}

void Control::SetBounds(int left, int top, int width, int height) {
    left_ = left;
    top_ = top;
    width_ = width;
    height_ = height;
    Changed();
}

void Control::SetCaption(std::string caption) {
    caption_ = std::move(caption);
    Changed();
}

void Control::SetVisible(bool visible) {
    visible_ = visible;
    Changed();
}

void Control::SetEnabled(bool enabled) {
    enabled_ = enabled;
    Changed();
}

void Control::SetHint(std::string hint) {
    hint_ = std::move(hint);
    Changed();
}

void Control::SetParent(Control* parent) {
    parent_ = parent;
    Changed();
}

void Control::SetTabOrder(int order) {
    tabOrder_ = order;
    Changed();
}

void SpinEdit::SetValue(int v) {
    value_ = std::clamp(v, min_, max_);
    Changed();
}

void SpinEdit::SetRange(int min, int max) {
    min_ = min;
    max_ = std::max(min, max);
    value_ = std::clamp(value_, min_, max_);
    Changed();
}

void SpinEdit::UserSetValue(int v) { value_ = std::clamp(v, min_, max_); }

void ListBox::SetMultiSelect(bool v) {
    multiSelect_ = v;
    if (!v) std::fill(selected_.begin(), selected_.end(), false);
    Changed();
}

void ListBox::AddItem(std::string item) {
    items_.push_back(std::move(item));
    selected_.push_back(false);
    Changed();
}

void ListBox::Clear() {
    items_.clear();
    selected_.clear();
    Changed();
}

void ListBox::Select(size_t index, bool selected) {
    if (index >= items_.size()) return;
    if (selected && !multiSelect_) std::fill(selected_.begin(), selected_.end(), false);
    selected_[index] = selected;
}

void ListBox::SetSelected(size_t index, bool selected) {
    Select(index, selected);
    Changed();
}

void ListBox::UserSetSelected(size_t index, bool selected) { Select(index, selected); }

void ListBox::DeleteSelected() {
    std::vector<std::string> kept;
    for (size_t i = 0; i < items_.size(); ++i)
        if (!selected_[i]) kept.push_back(std::move(items_[i]));
    items_ = std::move(kept);
    selected_.assign(items_.size(), false);
    Changed();
}

void Button::Click() {
    if (!Visible() || !Enabled()) return;
    if (Result() != ModalResult::None && Owner()) Owner()->SetModalResult(Result());
    if (OnClick) OnClick();
}

void Button::Press() {
    if (!Enabled()) return;
    if (Result() != ModalResult::None && Owner()) Owner()->SetModalResult(Result());
    if (OnClick) OnClick();
}

void ProgressBar::SetMax(int v) {
    max_ = std::max(v, min_);
    position_ = std::min(position_, max_);
    Changed();
}

void ProgressBar::SetPosition(int v) {
    position_ = std::clamp(v, min_, max_);
    Changed();
}

bool Animate::SetClip(int resourceId) {
    // Clip 257 plays while downloading, 258 while uploading.
    const bool known = resourceId == 257 || resourceId == 258;
    clip_ = known ? resourceId : 0;
    Changed();
    return known;
}

void Edit::UserSetText(std::string text) {
    SetCaptionSilently(std::move(text));
}

Form::Form(Form* owner) : Control(owner) {
    SetBounds(0, 0, 320, 240);
    SetVisible(false);
    LiveForms().push_back(this);
}

Form::~Form() {
    std::erase(LiveForms(), this);
    // A form still on screen is hidden first, while it is whole: a backend's last look at it (the
    // terminal's final progress line) must show all of it.
    if (showing_) Hide();
    // Children's peers go before the form's own window does, and the window goes while the form
    // is still whole, since its peer may look at the form on the way out.
    controls_.clear();
    peer_.reset();
}

FormPeer* Form::Peer() const { return static_cast<FormPeer*>(Control::Peer()); }

void Form::Adopt(std::unique_ptr<Control> control) {
    control->tabOrder_ = static_cast<int>(controls_.size());
    if (HasBackend()) control->peer_ = CurrentBackend().CreateControlPeer(*control);
    controls_.push_back(std::move(control));
    controls_.back()->Changed();
}

void Form::Show() {
    showing_ = true;
    if (Peer()) Peer()->Show();
}

void Form::Hide() {
    showing_ = false;
    if (Peer()) Peer()->Hide();
}

void Form::Close() {
    bool canClose = true;
    if (OnCloseQuery) OnCloseQuery(*this, canClose);
    if (!canClose) return;
    if (result_ == ModalResult::None) result_ = ModalResult::Cancel;
    Hide();
    if (OnClose) OnClose(*this);
}

ModalResult Form::ShowModal() {
    result_ = ModalResult::None;
    showing_ = true;
    if (Peer()) Peer()->RunModal();
    showing_ = false;
    return result_;
}

void Form::SetModalResult(ModalResult r) {
    result_ = r;
    if (r != ModalResult::None) Close();
}

void Form::BringToFrontTopmost() {
    if (Peer()) Peer()->MakeTopmost();
}

std::unique_ptr<Form> CreateForm(Form* owner) {
    auto form = std::make_unique<Form>(owner);
    if (HasBackend()) form->peer_ = CurrentBackend().CreateFormPeer(*form);
    form->Changed();
    return form;
}

std::vector<Control*> TabSequence(const Form& form) {
    auto childrenOf = [&](const Control* parent) {
        std::vector<Control*> children;
        for (const auto& c : form.Controls())
            if (c->Parent() == parent) children.push_back(c.get());
        std::stable_sort(children.begin(), children.end(),
                         [](const Control* a, const Control* b) { return a->TabOrder() < b->TabOrder(); });
        return children;
    };
    std::vector<Control*> sequence;
    // Group boxes inside group boxes are walked too; the depth bound guards against a loop of
    // parents set by mistake.
    auto walk = [&](auto& self, const Control* parent, int depth) -> void {
        if (depth > 8) return;
        for (Control* c : childrenOf(parent)) {
            if (dynamic_cast<GroupBox*>(c))
                self(self, c, depth + 1);
            else if (c->TabStop())
                sequence.push_back(c);
        }
    };
    walk(walk, nullptr, 0);
    return sequence;
}

Button* DefaultButton(const Form& form) {
    for (const auto& control : form.Controls()) {
        auto* button = dynamic_cast<Button*>(control.get());
        if (button && button->Default() && button->Enabled() && button->Visible()) return button;
    }
    return nullptr;
}

Button* VisibleCancelButton(const Form& form) { return CancelButtonOf(form, true); }

Button* NewestCancelButton() {
    const std::vector<Form*>& forms = LiveForms();
    for (auto it = forms.rbegin(); it != forms.rend(); ++it)
        if ((*it)->Showing())
            if (Button* button = CancelButtonOf(**it, false)) return button;
    for (auto it = forms.rbegin(); it != forms.rend(); ++it)
        if (Button* button = CancelButtonOf(**it, false)) return button;
    return nullptr;
}

} // namespace zandrel::ui
