#include "platform/ui/terminal/TerminalBackend.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <vector>

#include "platform/rtl/Clock.h"

namespace zandrel::ui {
namespace {

std::atomic<bool> g_interrupted{false};

extern "C" void OnInterrupt(int) { g_interrupted = true; }

class TerminalBackend;

class TerminalControlPeer : public ControlPeer {
public:
    TerminalControlPeer(TerminalBackend& backend, Control& control) : backend_(backend), control_(control) {}
    void Update() override;

private:
    TerminalBackend& backend_;
    Control& control_;
};

class TerminalFormPeer : public FormPeer {
public:
    TerminalFormPeer(TerminalBackend& backend, Form& form) : backend_(backend), form_(form) {}
    ~TerminalFormPeer() override;
    void Update() override;
    void Show() override;
    void Hide() override;
    void RunModal() override;
    void MakeTopmost() override {}
    Form& form() { return form_; }

private:
    TerminalBackend& backend_;
    Form& form_;
};

class TerminalBackend : public Backend {
public:
    explicit TerminalBackend(TerminalOptions options) : options_(options) {
        live_ = options_.mode == TerminalOptions::Mode::Live ||
                (options_.mode == TerminalOptions::Mode::Auto && isatty(fileno(options_.out)));
        if (options_.handleInterrupt) {
            struct sigaction sa {};
            sa.sa_handler = OnInterrupt;
            sigemptyset(&sa.sa_mask);
            sigaction(SIGINT, &sa, &previous_);
        }
    }
    ~TerminalBackend() override {
        if (options_.handleInterrupt) sigaction(SIGINT, &previous_, nullptr);
    }

    std::unique_ptr<FormPeer> CreateFormPeer(Form& form) override {
        return std::make_unique<TerminalFormPeer>(*this, form);
    }
    std::unique_ptr<ControlPeer> CreateControlPeer(Control& control) override {
        return std::make_unique<TerminalControlPeer>(*this, control);
    }

    void ProcessMessages() override {
        // A shown form that stays as it is still gets its line once the first gap has passed.
        Redraw(false);
        if (!g_interrupted.exchange(false)) return;
        // Ctrl-C presses Cancel on the newest shown form that has one; with nothing to cancel it
        // ends the program as it would have without us.
        for (auto it = shown_.rbegin(); it != shown_.rend(); ++it) {
            for (const auto& control : (*it)->form().Controls()) {
                auto* button = dynamic_cast<Button*>(control.get());
                if (button && button->Cancel() && button->Visible() && button->Enabled()) {
                    button->Click();
                    return;
                }
            }
        }
        EndLine();
        std::signal(SIGINT, SIG_DFL);
        std::raise(SIGINT);
    }

    void ShowMessage(const std::string& text) override {
        EndLine();
        std::fprintf(options_.out, "%s\n", text.c_str());
        std::fflush(options_.out);
    }

    bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) override {
        EndLine();
        std::fprintf(options_.out, "%s\n%s [%s]: ", caption.c_str(), prompt.c_str(), value.c_str());
        std::fflush(options_.out);
        std::string line;
        for (int c; (c = std::fgetc(options_.in)) != EOF && c != '\n';) line += static_cast<char>(c);
        if (std::feof(options_.in) && line.empty()) return false;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) value = line;
        return true;
    }

    void SetCursor(int) override {}
    void SetClipboardText(const std::string& text) override { clipboard_ = text; }
    std::string ClipboardText() override { return clipboard_; }
    int CaptionHeight() const override { return 23; }
    int ScreenWidth() const override { return 1024; }
    int ScreenHeight() const override { return 768; }

    // The first line waits for the first gap (or the form's end): a form is usually filled in
    // just after it is shown, and its first look is rarely what it is about to show.
    void Shown(TerminalFormPeer* peer) {
        if (std::find(shown_.begin(), shown_.end(), peer) == shown_.end()) shown_.push_back(peer);
        lastDraw_ = rtl::GetTickCount();
    }
    void Hidden(TerminalFormPeer* peer) {
        const auto it = std::find(shown_.begin(), shown_.end(), peer);
        if (it == shown_.end()) return;
        Redraw(true);
        EndLine();
        shown_.erase(it);
    }

    // Every control change asks for a redraw (a transfer makes several per 4 KB block), so the
    // time is checked before the line is built, on the coarse clock, which costs a memory read.
    void Redraw(bool force) {
        if (shown_.empty()) return;
        const uint32_t now = rtl::GetTickCount();
        const uint32_t gap = live_ ? 100 : 1000;
        if (!force && now - lastDraw_ < gap) return;
        std::string line = TerminalProgressLine(shown_.back()->form());
        lastDraw_ = now;
        if (line == lastLine_) return;
        lastLine_ = std::move(line);
        if (live_) {
            std::fprintf(options_.out, "\r\033[K%s", lastLine_.c_str());
            lineOpen_ = true;
        } else {
            std::fprintf(options_.out, "%s\n", lastLine_.c_str());
        }
        std::fflush(options_.out);
    }

private:
    void EndLine() {
        if (lineOpen_) std::fputc('\n', options_.out);
        lineOpen_ = false;
        lastLine_.clear();
    }

    TerminalOptions options_;
    bool live_ = false;
    bool lineOpen_ = false;
    std::string lastLine_;
    uint32_t lastDraw_ = 0; // or when the newest form was shown
    std::vector<TerminalFormPeer*> shown_;
    std::string clipboard_;
    struct sigaction previous_ {};
};

void TerminalControlPeer::Update() {
    if (control_.Owner() && control_.Owner()->Showing()) backend_.Redraw(false);
}

TerminalFormPeer::~TerminalFormPeer() { backend_.Hidden(this); }
void TerminalFormPeer::Update() {
    if (form_.Showing()) backend_.Redraw(false);
}
void TerminalFormPeer::Show() { backend_.Shown(this); }
void TerminalFormPeer::Hide() { backend_.Hidden(this); }
void TerminalFormPeer::RunModal() {
    // Arbitrary forms cannot be drawn as text; a modal form here ends at once as cancelled.
    backend_.ShowMessage("\"" + form_.Caption() + "\" needs a display; nothing was changed.");
    NotifyHidden(form_);
}

} // namespace

std::string TerminalProgressLine(const Form& form) {
    std::string line = form.Caption();
    for (const auto& control : form.Controls()) {
        if (!control->Visible()) continue;
        if (auto* bar = dynamic_cast<const ProgressBar*>(control.get())) {
            const int span = std::max(1, bar->Max() - bar->Min());
            const int percent = (bar->Position() - bar->Min()) * 100 / span;
            const int filled = percent / 5;
            line += " [" + std::string(static_cast<size_t>(filled), '#') +
                    std::string(static_cast<size_t>(20 - filled), '.') + "] " + std::to_string(percent) + "%";
        } else if (dynamic_cast<const Label*>(control.get()) && !control->Caption().empty()) {
            line += " | " + control->Caption();
        }
    }
    return line;
}

std::unique_ptr<Backend> CreateTerminalBackend(TerminalOptions options) {
    return std::make_unique<TerminalBackend>(options);
}

} // namespace zandrel::ui
