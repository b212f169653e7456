#pragma once
// The progress window: built at the start of every run, refreshed by the routines through the
// run's display, finished by the driver, and closed by its buttons. Everything it shows comes
// from the component's Dlg... and Show... properties.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "webcopy/TransferRun.h"

namespace zandrel::ui {
class Form;
class Label;
class Button;
class ProgressBar;
class Animate;
} // namespace zandrel::ui

namespace zandrel::webcopy {

class TZandrelWebCopy;

class ProgressDialog final : public TransferDisplay {
public:
    // `cancel` is what the Cancel button (and Ctrl-C while the window has it) does.
    ProgressDialog(TZandrelWebCopy& owner, std::function<void()> cancel);
    ~ProgressDialog() override;
    ProgressDialog(const ProgressDialog&) = delete;
    ProgressDialog& operator=(const ProgressDialog&) = delete;

    // Builds the window (any earlier one goes) and, with ShowDialog, shows it after
    // OnBeforeDialogShow.
    void Create();
    void Destroy();
    // The run is over: Cancel becomes Close, and unless the run was cancelled the Open buttons
    // are offered.
    void Finish(bool cancelled);
    // Closes and frees the window.
    void Close();
    // Hides the window and drops every reference to it; it is freed at the next safe point (we
    // may be inside a click of one of its own buttons).
    void Park();
    void SetCaption(const std::string& caption);
    // The run is over and Cancel now means Close.
    bool CancelIsClose() const { return cancelIsClose_; }

    // ---- TransferDisplay ----
    void ShowFileLine(const std::string& line) override;
    void ShowProgress(uint64_t done, uint64_t total, uint32_t elapsedMs, const std::string& directionWord) override;
    void ShowBarFull() override;
    void PlayClip(int resourceId) override;
    void SetLastTarget(const std::string& file, const std::string& folder) override;

    // The window and its controls; null while there is no window.
    std::unique_ptr<ui::Form> form;
    ui::Animate* anim = nullptr;
    ui::ProgressBar* progress = nullptr;
    ui::Label* fileLbl = nullptr;
    ui::Label* sizeLbl = nullptr;
    ui::Label* rateLbl = nullptr;
    ui::Label* timeLbl = nullptr;
    ui::Label* elapsedTimeLbl = nullptr;
    ui::Button* cancelBtn = nullptr;
    ui::Button* btnShowFile = nullptr;
    ui::Button* btnShowFolder = nullptr;

    // The last texts the progress step formatted.
    std::string rateStr;
    std::string timeLeftStr;
    std::string elapsedTimeStr;
    // Set when the window was closed through Open file or Open folder.
    bool formClosed = false;
    // What Open file and Open folder open.
    std::string lastFile;
    std::string lastDir;

private:
    void CancelClick();
    void FormCloseQuery(bool& canClose) const;
    void OpenFile();
    void OpenFolder();
    void Retire();

    TZandrelWebCopy& owner_;
    std::function<void()> cancel_;
    bool cancelIsClose_ = false; // the run is over; Cancel now means Close
    // A window closed through an Open button is only hidden at first: it cannot be freed from
    // inside its own button's click. It is freed at the next safe point (next window, or the end
    // of the component).
    std::unique_ptr<ui::Form> retired_;
};

} // namespace zandrel::webcopy
