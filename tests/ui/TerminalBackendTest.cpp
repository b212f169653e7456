#include "platform/ui/Application.h"
#include "platform/ui/Interrupt.h"
#include "platform/ui/terminal/TerminalBackend.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>

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
    void SetUp() override {
        out_ = std::tmpfile();
        TerminalOptions options;
        options.out = out_;
        options.mode = TerminalOptions::Mode::Lines;
        InstallBackend(CreateTerminalBackend(options));
    }
    void TearDown() override {
        RemoveBackend();
        std::fclose(out_);
    }
    std::FILE* out_ = nullptr;
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

TEST_F(TerminalBackendTest, MessagesGoToTheStreamAndModalFormsEndCancelled) {
    ShowMessage("upload settings");
    auto form = CreateForm();
    form->SetCaption("Zandrel Options");
    EXPECT_EQ(form->ShowModal(), ModalResult::None);
    EXPECT_FALSE(form->Showing());
    const std::string text = ReadAll(out_);
    EXPECT_NE(text.find("upload settings\n"), std::string::npos);
    EXPECT_NE(text.find("\"Zandrel Options\" needs a display"), std::string::npos);
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
