#include "webcopy/ProgressDialog.h"

#include <utility>

#include "platform/shell/Shell.h"
#include "platform/ui/Application.h"
#include "platform/ui/Forms.h"
#include "webcopy/ZandrelWebCopy.h"

namespace zandrel::webcopy {
namespace {

constexpr int kFormWidth = 300;
constexpr int kBaseClientHeight = 188;
constexpr int kLineHeight = 20;
constexpr int kMargin = 10;
constexpr int kFileLabelHeight = 13;
constexpr int kDownloadClip = 257;

} // namespace

ProgressDialog::ProgressDialog(TZandrelWebCopy& owner, std::function<void()> cancel)
    : owner_(owner), cancel_(std::move(cancel)) {}

ProgressDialog::~ProgressDialog() = default;

void ProgressDialog::Create() {
    const TZandrelWebCopy& o = owner_;
    const bool ShowTime = o.ShowTime, ShowElapsedTime = o.ShowElapsedTime, ShowFileName = o.ShowFileName;
    const bool ShowOpenFile = o.ShowOpenFile, ShowOpenFolder = o.ShowOpenFolder;
    Destroy();
    retired_.reset();

    const int extra = (ShowTime ? kLineHeight : 0) + (ShowElapsedTime ? kLineHeight : 0);
    this->form = ui::CreateForm(nullptr);
    ui::Form& form = *this->form;
    const int height = ui::CaptionHeight() + kBaseClientHeight + extra;
    form.SetBounds((ui::ScreenWidth() - kFormWidth) / 2, (ui::ScreenHeight() - height) / 2, kFormWidth, height);
    form.SetPosition(ui::FormPosition::ScreenCenter);
    form.SetBorder(ui::BorderStyle::Dialog);
    form.OnCloseQuery = [this](ui::Form&, bool& canClose) { FormCloseQuery(canClose); };
    if (o.ShowDialogOnTop) form.SetStayOnTop(true);

    const int buttonRow = extra + (ShowFileName ? 140 : 120);
    const int lineWidth = form.Width() - 2 * kMargin;

    fileLbl = &form.Add<ui::Label>();
    fileLbl->SetAutoSize(false);
    fileLbl->SetBounds(kMargin, 80, lineWidth, kFileLabelHeight);
    fileLbl->SetCaption(o.DlgFileLabel);
    fileLbl->SetVisible(ShowFileName);

    const int base = ShowFileName ? 80 : 60;
    auto addLine = [&](int top, const std::string& text, bool visible) {
        ui::Label& label = form.Add<ui::Label>();
        label.SetBounds(kMargin, top, lineWidth, kFileLabelHeight);
        label.SetCaption(text);
        label.SetVisible(visible);
        return &label;
    };
    sizeLbl = addLine(base + 20, o.DlgProgressLabel, true);
    rateLbl = addLine(base + 40, o.DlgRateLabel, true);
    timeLbl = addLine(base + 60, o.DlgTimeLabel, ShowTime);
    // Keeps its own row even when the time-left line is hidden.
    elapsedTimeLbl = addLine(base + 80, o.DlgElapsedTimeLabel, ShowElapsedTime);

    anim = &form.Add<ui::Animate>();
    anim->SetLeft(kMargin);
    anim->SetTop(0);
    anim->SetClip(kDownloadClip); // a clip that cannot be loaded leaves the animation empty
    anim->SetActive(true);

    cancelBtn = &form.Add<ui::Button>();
    const int buttonWidth = cancelBtn->Width();
    cancelBtn->SetTop(buttonRow);
    cancelBtn->SetLeft(form.Width() - buttonWidth - kMargin);
    cancelBtn->SetCaption(o.DlgCancel);
    cancelBtn->SetCancel(true);
    cancelBtn->OnClick = [this] { CancelClick(); };
    cancelBtn->SetVisible(o.DlgShowCancel);
    cancelIsClose_ = false;
    if (!o.DlgShowCancel) form.SetHeight(form.Height() - kLineHeight);

    const int openLeft = form.Width() - 2 * buttonWidth - 2 * kMargin;
    if (ShowOpenFolder) {
        btnShowFolder = &form.Add<ui::Button>();
        btnShowFolder->SetTop(buttonRow);
        btnShowFolder->SetLeft(openLeft);
        btnShowFolder->SetCaption(o.DlgOpenFolder);
        btnShowFolder->OnClick = [this] { OpenFolder(); };
        btnShowFolder->SetEnabled(false);
    }
    if (ShowOpenFile) {
        btnShowFile = &form.Add<ui::Button>();
        btnShowFile->SetTop(buttonRow);
        btnShowFile->SetLeft(ShowOpenFolder ? openLeft - buttonWidth - kMargin : openLeft);
        btnShowFile->SetCaption(o.DlgOpenFile);
        btnShowFile->OnClick = [this] { OpenFile(); };
        btnShowFile->SetEnabled(false);
    }

    progress = &form.Add<ui::ProgressBar>();
    progress->SetBounds(kMargin, 60, lineWidth, 12);

    formClosed = false;
    if (!o.DlgShowCloseBtn) form.SetSystemMenu(false);
    form.SetCaption(o.DlgCaption + " ...");

    if (o.ShowDialog) {
        if (owner_.OnBeforeDialogShow) owner_.OnBeforeDialogShow(owner_, form);
        // The handler may have run a nested message loop; the window is still ours.
        if (this->form) {
            this->form->Show();
            if (o.AlwaysOnTop) this->form->BringToFrontTopmost();
        }
    }
}

void ProgressDialog::Destroy() {
    anim = nullptr;
    progress = nullptr;
    fileLbl = sizeLbl = rateLbl = timeLbl = elapsedTimeLbl = nullptr;
    cancelBtn = btnShowFile = btnShowFolder = nullptr;
    form.reset();
}

void ProgressDialog::Finish(bool cancelled) {
    if (cancelBtn) cancelBtn->SetCaption(owner_.DlgClose);
    cancelIsClose_ = true;
    if (anim) anim->SetActive(false);
    if (cancelled) return;
    if (owner_.ShowOpenFile && btnShowFile) btnShowFile->SetEnabled(true);
    if (owner_.ShowOpenFolder && btnShowFolder) btnShowFolder->SetEnabled(true);
}

void ProgressDialog::Close() {
    if (form) form->Close();
    Destroy();
}

void ProgressDialog::SetCaption(const std::string& caption) {
    if (form) form->SetCaption(caption);
}

void ProgressDialog::SetLastTarget(const std::string& file, const std::string& folder) {
    lastFile = file;
    lastDir = folder;
}

void ProgressDialog::CancelClick() {
    cancel_();
    if (form) form->Close();
}

void ProgressDialog::FormCloseQuery(bool& CanClose) const { CanClose = owner_.DlgShowCloseBtn || cancelIsClose_; }

// Whether the desktop could open it is not the transfer's concern: the window closes either way.
void ProgressDialog::OpenFile() {
    shell::OpenWithDesktop(lastFile);
    Retire();
}

void ProgressDialog::OpenFolder() {
    shell::OpenWithDesktop(lastDir);
    Retire();
}

void ProgressDialog::Retire() {
    if (form) form->Close();
    Park();
    formClosed = true;
}

void ProgressDialog::Park() {
    // We may be inside a click of one of the window's own buttons: hide the window and drop
    // every reference to it now, free it once that click is over.
    if (form) form->Hide();
    auto parked = std::move(form);
    Destroy();
    if (parked) retired_ = std::move(parked);
}

void ProgressDialog::PlayClip(int ResourceId) {
    if (!anim) return;
    anim->SetClip(ResourceId);
    anim->SetActive(true);
}

} // namespace zandrel::webcopy
