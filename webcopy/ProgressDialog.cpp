// The progress window: built at the start of every run, refreshed by the routines, finished by
// the driver, and closed by its buttons. Everything it shows comes from the Dlg... properties.
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

void TZandrelWebCopy::CreateForm() {
    DestroyForm();
    FRetiredForm.reset();

    const int extra = (ShowTime ? kLineHeight : 0) + (ShowElapsedTime ? kLineHeight : 0);
    FForm = ui::CreateForm(nullptr);
    ui::Form& form = *FForm;
    const int height = ui::CaptionHeight() + kBaseClientHeight + extra;
    form.SetBounds((ui::ScreenWidth() - kFormWidth) / 2, (ui::ScreenHeight() - height) / 2, kFormWidth, height);
    form.SetPosition(ui::FormPosition::ScreenCenter);
    form.SetBorder(ui::BorderStyle::Dialog);
    form.OnCloseQuery = [this](ui::Form& sender, bool& canClose) { FormCloseQuery(sender, canClose); };
    if (ShowDialogOnTop) form.SetStayOnTop(true);

    const int buttonRow = extra + (ShowFileName ? 140 : 120);
    const int lineWidth = form.Width() - 2 * kMargin;

    FFileLbl = &form.Add<ui::Label>();
    FFileLbl->SetAutoSize(false);
    FFileLbl->SetBounds(kMargin, 80, lineWidth, kFileLabelHeight);
    FFileLbl->SetCaption(DlgFileLabel);
    FFileLbl->SetVisible(ShowFileName);

    const int base = ShowFileName ? 80 : 60;
    auto addLine = [&](int top, const std::string& text, bool visible) {
        ui::Label& label = form.Add<ui::Label>();
        label.SetBounds(kMargin, top, lineWidth, kFileLabelHeight);
        label.SetCaption(text);
        label.SetVisible(visible);
        return &label;
    };
    FSizeLbl = addLine(base + 20, DlgProgressLabel, true);
    FRateLbl = addLine(base + 40, DlgRateLabel, true);
    FTimeLbl = addLine(base + 60, DlgTimeLabel, ShowTime);
    // Keeps its own row even when the time-left line is hidden.
    FElapsedTimeLbl = addLine(base + 80, DlgElapsedTimeLabel, ShowElapsedTime);

    FAnim = &form.Add<ui::Animate>();
    FAnim->SetLeft(kMargin);
    FAnim->SetTop(0);
    FAnim->SetClip(kDownloadClip); // a clip that cannot be loaded leaves the animation empty
    FAnim->SetActive(true);

    FCancelBtn = &form.Add<ui::Button>();
    const int buttonWidth = FCancelBtn->Width();
    FCancelBtn->SetTop(buttonRow);
    FCancelBtn->SetLeft(form.Width() - buttonWidth - kMargin);
    FCancelBtn->SetCaption(DlgCancel);
    FCancelBtn->SetCancel(true);
    FCancelBtn->OnClick = [this] { CancelClick(*FCancelBtn); };
    FCancelBtn->SetVisible(DlgShowCancel);
    FCancelIsClose = false;
    if (!DlgShowCancel) form.SetHeight(form.Height() - kLineHeight);

    const int openLeft = form.Width() - 2 * buttonWidth - 2 * kMargin;
    if (ShowOpenFolder) {
        FBtnShowFolder = &form.Add<ui::Button>();
        FBtnShowFolder->SetTop(buttonRow);
        FBtnShowFolder->SetLeft(openLeft);
        FBtnShowFolder->SetCaption(DlgOpenFolder);
        FBtnShowFolder->OnClick = [this] { OpenFolder(*FBtnShowFolder); };
        FBtnShowFolder->SetEnabled(false);
    }
    if (ShowOpenFile) {
        FBtnShowFile = &form.Add<ui::Button>();
        FBtnShowFile->SetTop(buttonRow);
        FBtnShowFile->SetLeft(ShowOpenFolder ? openLeft - buttonWidth - kMargin : openLeft);
        FBtnShowFile->SetCaption(DlgOpenFile);
        FBtnShowFile->OnClick = [this] { OpenFile(*FBtnShowFile); };
        FBtnShowFile->SetEnabled(false);
    }

    FProgress = &form.Add<ui::ProgressBar>();
    FProgress->SetBounds(kMargin, 60, lineWidth, 12);

    FFormClosed = false;
    if (!DlgShowCloseBtn) form.SetSystemMenu(false);
    form.SetCaption(DlgCaption + " ...");

    FCancelled = false;
    if (ShowDialog) {
        if (OnBeforeDialogShow) OnBeforeDialogShow(*this, form);
        // The handler may have run a nested message loop; the window is still ours.
        if (FForm) {
            FForm->Show();
            if (AlwaysOnTop) FForm->BringToFrontTopmost();
        }
    }
    FCancelled = false;
}

void TZandrelWebCopy::DestroyForm() {
    FAnim = nullptr;
    FProgress = nullptr;
    FFileLbl = FSizeLbl = FRateLbl = FTimeLbl = FElapsedTimeLbl = nullptr;
    FCancelBtn = FBtnShowFile = FBtnShowFolder = nullptr;
    FForm.reset();
}

void TZandrelWebCopy::CancelClick(ui::Button&) {
    if (OnCopyCancel) OnCopyCancel(*this);
    FCancelled = true;
    if (FForm) FForm->Close();
}

void TZandrelWebCopy::FormCloseQuery(ui::Form&, bool& CanClose) { CanClose = DlgShowCloseBtn || FCancelIsClose; }

// Whether the desktop could open it is not the transfer's concern: the window closes either way.
void TZandrelWebCopy::OpenFile(ui::Button&) {
    shell::OpenWithDesktop(FLastFile);
    RetireForm();
}

void TZandrelWebCopy::OpenFolder(ui::Button&) {
    shell::OpenWithDesktop(FLastDir);
    RetireForm();
}

void TZandrelWebCopy::RetireForm() {
    if (FForm) FForm->Close();
    ParkForm();
    FFormClosed = true;
}

void TZandrelWebCopy::ParkForm() {
    // We may be inside a click of one of the window's own buttons: hide the window and drop
    // every reference to it now, free it once that click is over.
    if (FForm) FForm->Hide();
    auto form = std::move(FForm);
    DestroyForm();
    if (form) FRetiredForm = std::move(form);
}

void TZandrelWebCopy::PlayClip(int ResourceId) {
    if (!FAnim) return;
    FAnim->SetClip(ResourceId);
    FAnim->SetActive(true);
}

} // namespace zandrel::webcopy
