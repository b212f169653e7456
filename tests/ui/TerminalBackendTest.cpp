#include "platform/ui/Application.h"
#include "platform/ui/Interrupt.h"
#include "platform/ui/terminal/TerminalBackend.h"
#include "platform/ui/terminal/TerminalForm.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <limits>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace zandrel::ui {
namespace {

std::string ReadAll(std::FILE* f) {
    std::fflush(f);
    std::rewind(f);
    std::string out;
    for (int c; (c = std::fgetc(f)) != EOF;) out += static_cast<char>(c);
    return out;
}

class TerminalBackendTest : public ::testing::Test {
protected:
    // The input is a pipe that stays open, with an answer waiting in it: a backend that read it
    // without a person at a terminal would take that answer, or wait forever for the next one.
    void SetUp() override {
        out_ = std::tmpfile();
        int fds[2];
        ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
        in_ = ::fdopen(fds[0], "r");
        inWriter_ = fds[1];
        ASSERT_EQ(::write(inWriter_, kWaitingAnswer, sizeof kWaitingAnswer - 1),
                  static_cast<ssize_t>(sizeof kWaitingAnswer - 1));
        TerminalOptions options;
        options.out = out_;
        options.in = in_;
        options.mode = TerminalOptions::Mode::Lines;
        InstallBackend(CreateTerminalBackend(options));
    }
    void TearDown() override {
        RemoveBackend();
        std::fclose(out_);
        std::fclose(in_);
        ::close(inWriter_);
    }
    // What is still waiting in the input pipe.
    std::string Unread() {
        const int fd = fileno(in_);
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        char buffer[256];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : "";
    }
    static constexpr char kWaitingAnswer[] = "typed answer\n";
    std::FILE* out_ = nullptr;
    std::FILE* in_ = nullptr;
    int inWriter_ = -1;
};

TEST_F(TerminalBackendTest, ShownFormBecomesAProgressLine) {
    auto form = CreateForm();
    form->SetCaption("Uploading ...");
    auto& file = form->Add<Label>();
    file.SetCaption("File: Demo.zip");
    auto& hidden = form->Add<Label>();
    hidden.SetCaption("not shown");
    hidden.SetVisible(false);
    auto& bar = form->Add<ProgressBar>();
    bar.SetPosition(50);
    form->Show();
    EXPECT_EQ(TerminalProgressLine(*form), "Uploading ... | File: Demo.zip [##########..........] 50%");
    form->Hide();
    EXPECT_NE(ReadAll(out_).find("File: Demo.zip [##########"), std::string::npos);
}

// The bar's line stays within 0..100 % whatever order its figures come in: a maximum lowered
// below the position, or figures near the limits of int, once made a line of negative length.
TEST_F(TerminalBackendTest, TheBarStaysWithinItsRangeWhateverItsFigures) {
    constexpr int kMaxInt = std::numeric_limits<int>::max();
    struct Case {
        int position, max;
        const char* line;
    } cases[] = {
        {80, 50, "[####################] 100%"},     // maximum lowered below the position
        {80, -5, "[....................] 0%"},       // maximum below the minimum
        {kMaxInt, kMaxInt, "[####################] 100%"}, // byte counts near the limit of int
        {kMaxInt / 2, kMaxInt, "[#########...........] 49%"},
    };
    for (const Case& c : cases) {
        auto form = CreateForm();
        auto& bar = form->Add<ProgressBar>();
        bar.SetMax(kMaxInt);
        bar.SetPosition(c.position);
        bar.SetMax(c.max);
        EXPECT_LE(bar.Position(), bar.Max()) << c.position << " of " << c.max;
        EXPECT_GE(bar.Position(), bar.Min()) << c.position << " of " << c.max;
        std::string line;
        EXPECT_NO_THROW(line = TerminalProgressLine(*form)) << c.position << " of " << c.max;
        EXPECT_NE(line.find(c.line), std::string::npos) << c.position << " of " << c.max << ": " << line;
    }
}

// Updates come faster than lines are drawn; the last state still reaches the terminal when the
// form goes away while shown, rather than what is left of it half torn down.
TEST_F(TerminalBackendTest, AFormFreedWhileShownLeavesItsLastStateAsTheFinalLine) {
    auto form = CreateForm();
    form->SetCaption("Uploading ...");
    auto& size = form->Add<Label>();
    auto& bar = form->Add<ProgressBar>();
    form->Show();
    for (int percent = 0; percent <= 100; ++percent) {
        size.SetCaption("Progress : " + std::to_string(percent) + " Kb");
        bar.SetPosition(percent);
    }
    form.reset();
    std::string out = ReadAll(out_);
    while (!out.empty() && out.back() == '\n') out.pop_back();
    EXPECT_EQ(out.substr(out.rfind('\n') + 1), "Uploading ... | Progress : 100 Kb [####################] 100%") << out;
}

// A form is usually filled in just after it is shown; its first line shows it filled in, and a
// form that then stays as it is still gets its line once the first gap has passed.
TEST_F(TerminalBackendTest, TheFirstLineWaitsForTheFormToBeFilledIn) {
    {
        auto form = CreateForm();
        form->SetCaption("Downloading ...");
        auto& file = form->Add<Label>();
        form->Show();
        form->SetCaption("Uploading ...");
        file.SetCaption("File : a.zip");
        form->Hide();
        EXPECT_EQ(ReadAll(out_), "Uploading ... | File : a.zip\n");
    }

    RemoveBackend();
    std::FILE* live = std::tmpfile();
    TerminalOptions options;
    options.out = live;
    options.mode = TerminalOptions::Mode::Live;
    InstallBackend(CreateTerminalBackend(options));
    auto form = CreateForm();
    form->SetCaption("Connecting ...");
    form->Show();
    EXPECT_EQ(ReadAll(live), "");
    std::this_thread::sleep_for(std::chrono::milliseconds(150)); // past the live line's 100 ms gap
    ProcessMessages();
    EXPECT_NE(ReadAll(live).find("Connecting ..."), std::string::npos);
    form.reset();
    std::fclose(live);
}

// A program that draws its own line gets the width to fit (none when the output is no terminal);
// no answer leaves the form's own line, an empty one shows none.
TEST_F(TerminalBackendTest, AProgramMayDrawTheLineItself) {
    std::vector<size_t> widths;
    std::optional<std::string> answer;
    SetTerminalLineSource([&](size_t width) {
        widths.push_back(width);
        return answer;
    });
    struct Case {
        std::optional<std::string> answer;
        bool sourceSet;
        std::string shown;
    };
    const std::vector<Case> cases{
        {"mine", true, "mine\n"},
        {std::nullopt, true, "Uploading ...\n"},
        {"", true, ""},
        {"mine", false, "Uploading ...\n"},
    };
    for (const Case& c : cases) {
        answer = c.answer;
        if (!c.sourceSet) SetTerminalLineSource(nullptr);
        RemoveBackend();
        std::fclose(out_);
        out_ = std::tmpfile();
        TerminalOptions options;
        options.out = out_;
        options.in = in_;
        options.mode = TerminalOptions::Mode::Lines;
        InstallBackend(CreateTerminalBackend(options));
        auto form = CreateForm();
        form->SetCaption("Uploading ...");
        form->Show();
        form->Hide();
        EXPECT_EQ(ReadAll(out_), c.shown) << c.answer.value_or("(no answer)");
    }
    EXPECT_EQ(widths, (std::vector<size_t>{0, 0, 0}));
}

TEST_F(TerminalBackendTest, InterruptPressesTheShownCancelButton) {
    auto form = CreateForm();
    auto& cancel = form->Add<Button>();
    cancel.SetCancel(true);
    int clicks = 0;
    cancel.OnClick = [&] { ++clicks; };
    form->Show();
    std::raise(SIGINT);
    ProcessMessages();
    EXPECT_EQ(clicks, 1);
    ProcessMessages(); // one press per Ctrl-C
    EXPECT_EQ(clicks, 1);
    form->Hide();
}

// A window built but not shown ("ShowDialog": false) still stands for its work: Ctrl-C presses
// its Cancel button, even when that button is hidden, and prefers a shown form's when there is one.
TEST_F(TerminalBackendTest, InterruptPressesTheCancelButtonOfAHiddenFormToo) {
    auto hidden = CreateForm();
    auto& hiddenCancel = hidden->Add<Button>();
    hiddenCancel.SetCancel(true);
    hiddenCancel.SetVisible(false);
    int hiddenClicks = 0;
    hiddenCancel.OnClick = [&] { ++hiddenClicks; };
    std::raise(SIGINT);
    ProcessMessages();
    EXPECT_EQ(hiddenClicks, 1);
    EXPECT_FALSE(InterruptPending());

    auto shown = CreateForm();
    auto& shownCancel = shown->Add<Button>();
    shownCancel.SetCancel(true);
    int shownClicks = 0;
    shownCancel.OnClick = [&] { ++shownClicks; };
    shown->Show();
    auto newerHidden = CreateForm(); // newer, but not on screen: the shown one's work comes first
    newerHidden->Add<Button>().SetCancel(true);
    RequestInterrupt(); // a second real signal would end the program, as it should
    ProcessMessages();
    EXPECT_EQ(shownClicks, 1);
    EXPECT_EQ(hiddenClicks, 1);
    shown->Hide();
}

// The fitted line keeps the start and the extension of a long file name, the server and the
// figures, and never exceeds the width.
TEST_F(TerminalBackendTest, TheLineIsFittedToTheWidthByShorteningTheLongestTextInTheMiddle) {
    auto form = CreateForm();
    form->SetCaption("Downloading ...");
    auto& file = form->Add<Label>();
    file.SetCaption("File : release-candidate-with-a-very-long-name-2026-12-10-final.tar.gz from 127.0.0.1");
    auto& size = form->Add<Label>();
    size.SetCaption("Progress : 1.50 Mb of 3.00 Mb");
    auto& bar = form->Add<ProgressBar>();
    bar.SetPosition(50);
    const std::string full = TerminalProgressLine(*form);
    EXPECT_EQ(TerminalProgressLine(*form, full.size()), full);
    auto columns = [](const std::string& text) {
        size_t n = 0;
        for (unsigned char c : text) n += (c & 0xC0) != 0x80;
        return n;
    };
    const std::string wide = TerminalProgressLine(*form, 120);
    EXPECT_EQ(columns(wide), 120u) << wide;
    EXPECT_NE(wide.find("File : release-candid\u2026tar.gz from 127.0.0.1 | Progress : 1.50 Mb of 3.00 Mb"),
              std::string::npos)
        << wide;
    for (size_t width : {80u, 60u, 20u}) {
        const std::string line = TerminalProgressLine(*form, width);
        EXPECT_LE(columns(line), width) << line;
        EXPECT_EQ(line.rfind("Downlo", 0), 0u) << line;
        EXPECT_EQ(line.substr(line.size() - 5), "] 50%") << line;
    }
}

// Without a person at a terminal nothing is read: the message box does not wait, the input box
// answers Cancel, and a modal form is listed once and closed as Cancel without any of its buttons.
TEST_F(TerminalBackendTest, WithoutATerminalNothingIsReadAndModalFormsCloseAsCancel) {
    ShowMessage("upload settings\nsecond line\x1b[2J");
    std::string value = "*.pas";
    EXPECT_FALSE(InputQuery("New Filter", "Please insert a new filter", value));
    EXPECT_EQ(value, "*.pas");
    EXPECT_EQ(InputBox("New Filter", "Please insert a new filter", "*.dpk"), "*.dpk");

    auto form = CreateForm();
    form->SetCaption("Zandrel Options");
    auto& host = form->Add<Edit>();
    host.SetCaption("ftp.example.org");
    host.SetName("host");
    auto& ok = form->Add<Button>();
    ok.SetCaption("Ok");
    ok.SetDefault(true);
    bool saved = false;
    ok.OnClick = [&] {
        saved = true;
        form->SetModalResult(ModalResult::Ok);
    };
    bool refused = false;
    form->OnCloseQuery = [&](Form&, bool& canClose) { canClose = refused = false; };
    EXPECT_EQ(form->ShowModal(), ModalResult::Cancel);
    EXPECT_FALSE(form->Showing()) << "a form that refuses to close still leaves, with nobody to work it";
    EXPECT_FALSE(saved);
    EXPECT_EQ(Unread(), kWaitingAnswer);

    const std::string text = ReadAll(out_);
    EXPECT_NE(text.find("upload settings\nsecond line?[2J\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Please insert a new filter [*.pas]: cancelled, since answering needs a terminal."),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Zandrel Options\n  1. host  ftp.example.org\n  2. [Ok] (Enter)\n"), std::string::npos)
        << text;
    EXPECT_NE(text.find("\"Zandrel Options\" needs a terminal to be filled in; it was closed as Cancel.\n"),
              std::string::npos)
        << text;
}

// The listing follows the Tab sequence, heads each group with its box's caption, names a control by
// the label that points at it, masks passwords, leaves hidden controls out and gives disabled ones
// no number. Text from outside (a stored setting, a server) cannot reach the terminal as control
// characters.
TEST_F(TerminalBackendTest, AFormIsListedInTabOrderUnderItsGroupCaptions) {
    auto form = CreateForm();
    form->SetCaption("Connect to \x1b]0;pwned\x07host");
    auto& cancel = form->Add<Button>();
    cancel.SetCaption("&Cancel");
    auto& outer = form->Add<GroupBox>();
    outer.SetCaption("Server");
    auto& inner = form->Add<GroupBox>();
    inner.SetCaption("Login");
    inner.SetParent(&outer);
    auto& userLabel = form->Add<Label>();
    userLabel.SetCaption("&User name: ");
    auto& user = form->Add<Edit>();
    user.SetParent(&inner);
    user.SetCaption("anna\x1b[2J");
    userLabel.SetFocusControl(&user);
    auto& password = form->Add<Edit>();
    password.SetParent(&inner);
    password.SetPassword(true);
    password.SetCaption("s\u00e9cret");
    password.SetHint("Password");
    auto& port = form->Add<SpinEdit>();
    port.SetParent(&outer);
    port.SetValue(21);
    port.SetTabOrder(0); // first among the box's own controls
    port.SetName("ftpportspin");
    auto& portLabel = form->Add<Label>();
    portLabel.SetCaption("Port :");
    portLabel.SetFocusControl(&port);
    auto& list = form->Add<ListBox>();
    list.SetParent(&outer);
    list.SetMultiSelect(true);
    for (const char* item : {"*.pas", "*.dpk", "a\nb"}) list.AddItem(item);
    list.SetSelected(1, true);
    auto& passive = form->Add<CheckBox>();
    passive.SetParent(&outer);
    passive.SetCaption("Passive");
    passive.SetChecked(true);
    passive.SetEnabled(false);
    auto& hiddenBox = form->Add<GroupBox>();
    hiddenBox.SetCaption("Hidden box");
    hiddenBox.SetVisible(false);
    form->Add<Edit>().SetParent(&hiddenBox);
    auto& ok = form->Add<Button>();
    ok.SetCaption("OK");
    ok.SetDefault(true);
    form->Add<ProgressBar>();

    EXPECT_EQ(TerminalFormListing(*form), "Connect to ?]0;pwned?host\n"
                                          "  1. [Cancel]\n"
                                          "  Server\n"
                                          "    2. Port       21\n"
                                          "    Login\n"
                                          "      3. User name  anna?[2J\n"
                                          "      4. Password   ********\n"
                                          "    5. List       *.pas, *.dpk, a?b  (selected: *.dpk)\n"
                                          "     - Passive    [x] (not available)\n"
                                          "  6. [OK] (Enter)\n");
}

TEST_F(TerminalBackendTest, CursorAndClipboardAreKept) {
    SetScreenCursor(crHourGlass);
    EXPECT_EQ(ScreenCursor(), crHourGlass);
    SetScreenCursor(crDefault);
    SetClipboardText("http://example.org/Demo.zip");
    EXPECT_EQ(ClipboardText(), "http://example.org/Demo.zip");
}

} // namespace
} // namespace zandrel::ui
