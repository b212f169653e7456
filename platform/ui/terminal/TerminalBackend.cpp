#include "platform/ui/terminal/TerminalBackend.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <utility>
#include <vector>

#include "platform/rtl/Clock.h"
#include "platform/ui/Application.h"
#include "platform/ui/Interrupt.h"
#include "platform/ui/LastingClipboard.h"
#include "platform/ui/terminal/TerminalConsole.h"
#include "platform/ui/terminal/TerminalForm.h"
#include "platform/ui/terminal/TerminalText.h"

namespace zandrel::ui {
namespace {

class TerminalBackend;

TerminalLineSource& LineSource() {
    static TerminalLineSource source;
    return source;
}

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
    static void CloseAsCancel(Form& form);

private:
    TerminalBackend& backend_;
    Form& form_;
};

class TerminalBackend : public Backend {
public:
    explicit TerminalBackend(TerminalOptions options) : options_(options), console_(options.out, options.in) {
        live_ = options_.mode == TerminalOptions::Mode::Live ||
                (options_.mode == TerminalOptions::Mode::Auto && isatty(fileno(options_.out)));
        silent_ = options_.mode == TerminalOptions::Mode::Silent;
        if (options_.handleInterrupt && !InterruptLatchInstalled()) {
            InstallInterruptLatch();
            ownsLatch_ = true;
        }
    }
    ~TerminalBackend() override {
        if (ownsLatch_) RemoveInterruptLatch();
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
    }

    void UnclaimedInterrupt() override {
        // Nothing to cancel, and no one who asked to hear of it: end as without us.
        if (!ownsLatch_) return;
        EndLine();
        const int signo = InterruptSignal() ? InterruptSignal() : SIGINT;
        RemoveInterruptLatch();
        std::raise(signo);
    }

    bool CanAskUser() const override { return console_.Interactive(); }

    // The message stays on the terminal; when a person is there, the program goes on once they
    // have read it and pressed Enter (or Ctrl-D, or Ctrl-C, which also stops what comes next).
    void ShowMessage(const std::string& text) override {
        EndLine();
        console_.Print(PrintableText(text, true) + "\n");
        if (!console_.Interactive()) return;
        std::string line;
        console_.Ask("(press Enter)", line);
    }

    // Ctrl-D and Ctrl-C are Cancel. Without a person nothing is asked and the answer is Cancel:
    // a script has no one to answer, and a default taken silently would be a guess.
    bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) override {
        EndLine();
        const std::string head =
            PrintableText(caption) + "\n" + PrintableText(prompt, true) + " [" + PrintableText(value) + "]";
        if (!console_.Interactive()) {
            console_.Print(head + ": cancelled, since answering needs a terminal.\n");
            return false;
        }
        std::string line;
        if (console_.Ask(head + " (Enter keeps it, Ctrl-D = Cancel): ", line) != Answer::Line) return false;
        if (!line.empty()) value = line;
        return true;
    }

    // See TerminalFormPeer::RunModal.
    void RunModal(TerminalFormPeer& peer) {
        Form& form = peer.form();
        EndLine();
        if (!console_.Interactive()) {
            console_.Print(TerminalFormListing(form));
            console_.Print("\"" + PrintableText(form.Caption()) +
                           "\" needs a terminal to be filled in; it was closed as Cancel.\n");
            TerminalFormPeer::CloseAsCancel(form);
            return;
        }
        if (WorkFormAtTerminal(form, console_) == FormEnd::Abandoned) TerminalFormPeer::CloseAsCancel(form);
    }

    void SetCursor(int) override {}
    // Kept here for ClipboardText, and handed on to what outlives the program: the desktop's
    // clipboard when a display is named, the terminal's own through OSC 52.
    void SetClipboardText(const std::string& text) override {
        clipboard_ = text;
        PublishClipboardFromTerminal(text);
    }
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
        if (shown_.empty() || silent_) return;
        const uint32_t now = rtl::GetTickCount();
        const uint32_t gap = live_ ? 100 : 1000;
        if (!force && now - lastDraw_ < gap) return;
        // One column is left free: a line that fills the last one makes some terminals wrap.
        const size_t width = live_ ? Columns() - 1 : 0;
        std::optional<std::string> own = LineSource() ? LineSource()(width) : std::nullopt;
        std::string line = own ? std::move(*own) : TerminalProgressLine(shown_.back()->form(), width);
        lastDraw_ = now;
        if (line == lastLine_) return;
        lastLine_ = std::move(line);
        if (live_) {
            std::fprintf(options_.out, "\r\033[K%s", lastLine_.c_str());
            lineOpen_ = !lastLine_.empty();
        } else if (!lastLine_.empty()) {
            std::fprintf(options_.out, "%s\n", lastLine_.c_str());
        }
        std::fflush(options_.out);
    }

    void ClearLine() {
        if (!lineOpen_) return;
        std::fputs("\r\033[K", options_.out);
        std::fflush(options_.out);
        lineOpen_ = false;
        lastLine_.clear();
    }
    bool ShowsLiveLine() const { return live_ && !silent_ && !shown_.empty(); }

private:
    void EndLine() {
        if (lineOpen_) std::fputc('\n', options_.out);
        lineOpen_ = false;
        lastLine_.clear();
    }

    size_t Columns() const {
        winsize size{};
        if (::ioctl(fileno(options_.out), TIOCGWINSZ, &size) == 0 && size.ws_col > 1) return size.ws_col;
        if (const char* columns = std::getenv("COLUMNS")) {
            const long n = std::strtol(columns, nullptr, 10);
            if (n > 1 && n < 10000) return static_cast<size_t>(n);
        }
        return 80;
    }

    TerminalOptions options_;
    TerminalConsole console_;
    bool live_ = false;
    bool silent_ = false;
    bool ownsLatch_ = false;
    bool lineOpen_ = false;
    std::string lastLine_;
    uint32_t lastDraw_ = 0; // or when the newest form was shown
    std::vector<TerminalFormPeer*> shown_;
    std::string clipboard_;
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
// A person works the form at the terminal until one of its buttons closes it. Ctrl-D, Ctrl-C or a
// terminal that went away close it as Cancel, as closing its window would; so does the lack of a
// person at all (input or output not a terminal), after the form has been listed once: nothing
// is read then, so a script never waits for an answer that cannot come.
void TerminalFormPeer::RunModal() { backend_.RunModal(*this); }

void TerminalFormPeer::CloseAsCancel(Form& form) {
    // The close is not the form's own choice: should its close handler refuse, the form is still
    // taken off the screen, since nobody is left to work it.
    form.SetModalResult(ModalResult::Cancel);
    if (form.Showing()) NotifyHidden(form);
}

} // namespace

namespace {

struct LinePart {
    std::string lead; // " | " before a label, empty for the caption and the bar
    std::string text;
    bool shortenable;
};

std::string Join(const std::vector<LinePart>& parts) {
    std::string line;
    for (const LinePart& part : parts) line += part.lead + part.text;
    return line;
}

} // namespace

std::string TerminalProgressLine(const Form& form, size_t width) {
    std::vector<LinePart> parts{{"", form.Caption(), false}};
    for (const auto& control : form.Controls()) {
        if (!control->Visible()) continue;
        if (auto* bar = dynamic_cast<const ProgressBar*>(control.get())) {
            // In 64 bits and clamped: the bar's figures may be byte counts near the limits of int.
            const int64_t span = std::max<int64_t>(1, int64_t{bar->Max()} - bar->Min());
            const auto percent =
                static_cast<int>(std::clamp<int64_t>((int64_t{bar->Position()} - bar->Min()) * 100 / span, 0, 100));
            const int filled = percent / 5;
            parts.push_back({" ", "[" + std::string(static_cast<size_t>(filled), '#') +
                                      std::string(static_cast<size_t>(20 - filled), '.') + "] " +
                                      std::to_string(percent) + "%",
                             false});
        } else if (dynamic_cast<const Label*>(control.get()) && !control->Caption().empty()) {
            parts.push_back({" | ", control->Caption(), true});
        }
    }
    std::string line = Join(parts);
    if (width == 0 || DisplayColumns(line) <= width) return line;

    // The longest label gives way first (down to a dozen columns), then the others in turn.
    constexpr size_t kShortest = 12;
    for (;;) {
        LinePart* longest = nullptr;
        for (LinePart& part : parts)
            if (part.shortenable && DisplayColumns(part.text) > kShortest &&
                (!longest || DisplayColumns(part.text) > DisplayColumns(longest->text)))
                longest = &part;
        if (!longest) break;
        const size_t excess = DisplayColumns(line) - width;
        const size_t have = DisplayColumns(longest->text);
        longest->text = ShortenInTheMiddle(longest->text, have > excess + kShortest ? have - excess : kShortest);
        longest->shortenable = false;
        line = Join(parts);
        if (DisplayColumns(line) <= width) return line;
    }
    return ShortenInTheMiddle(line, width);
}

void SetTerminalLineSource(TerminalLineSource source) { LineSource() = std::move(source); }

void ClearTerminalLine() {
    if (!HasBackend()) return;
    if (auto* terminal = dynamic_cast<TerminalBackend*>(&CurrentBackend())) terminal->ClearLine();
}

bool TerminalShowsLiveLine() {
    if (!HasBackend()) return false;
    auto* terminal = dynamic_cast<TerminalBackend*>(&CurrentBackend());
    return terminal && terminal->ShowsLiveLine();
}

std::unique_ptr<Backend> CreateTerminalBackend(TerminalOptions options) {
    return std::make_unique<TerminalBackend>(options);
}

} // namespace zandrel::ui
