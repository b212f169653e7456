#include "platform/ui/Application.h"
#include "platform/ui/Interrupt.h"
#include "platform/ui/qt/QtBackend.h"
#include "ui/QtTestFixture.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

namespace zandrel::ui {
namespace {

using QtBackendTest = QtTestFixture;

// A transfer changes its labels and bar after every block; the widgets take the content in at a
// steady pace instead of laying out text thousands of times a second, and always end up current.
TEST_F(QtBackendTest, RapidLabelAndBarChangesReachTheWidgetsWithoutAnyoneAsking) {
    auto form = CreateForm();
    auto& size = form->Add<Label>();
    auto& bar = form->Add<ProgressBar>();
    form->Show();
    auto* label = qobject_cast<QLabel*>(QtWidgetOf(size));
    auto* qbar = qobject_cast<QProgressBar*>(QtWidgetOf(bar));
    ASSERT_NE(label, nullptr);
    ASSERT_NE(qbar, nullptr);
    for (int block = 1; block <= 1000; ++block) {
        size.SetCaption("Progress : " + std::to_string(block * 4) + " Kb");
        bar.SetPosition(block / 10);
        ProcessMessages();
    }
    QElapsedTimer waited;
    waited.start();
    while (label->text() != "Progress : 4000 Kb" && waited.elapsed() < 2000) ProcessMessages();
    EXPECT_EQ(label->text(), "Progress : 4000 Kb");
    EXPECT_EQ(qbar->value(), 100);
}

TEST_F(QtBackendTest, ControlsAppearWhereTheFormPutsThem) {
    auto form = CreateForm();
    form->SetBorder(BorderStyle::Dialog);
    form->SetBounds(0, 0, 300, CaptionHeight() + 188);
    form->SetCaption("Downloading ...");
    auto& bar = form->Add<ProgressBar>();
    bar.SetBounds(10, 60, 280, 12);
    bar.SetPosition(40);
    form->Show();
    QWidget* window = QtWidgetOf(*form);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), "Downloading ...");
    EXPECT_EQ(window->size(), QSize(300, 188));
    auto* qbar = qobject_cast<QProgressBar*>(QtWidgetOf(bar));
    ASSERT_NE(qbar, nullptr);
    EXPECT_EQ(qbar->geometry(), QRect(10, 60, 280, 12));
    EXPECT_EQ(qbar->value(), 40);
    EXPECT_TRUE(window->isVisible());
}

TEST_F(QtBackendTest, CloseQueryDecidesWhetherTheWindowCloses) {
    auto form = CreateForm();
    bool allow = false;
    form->OnCloseQuery = [&](Form&, bool& canClose) { canClose = allow; };
    form->Show();
    QtWidgetOf(*form)->close(); // the title bar's close button
    EXPECT_TRUE(form->Showing());
    EXPECT_TRUE(QtWidgetOf(*form)->isVisible());
    allow = true;
    QtWidgetOf(*form)->close();
    EXPECT_FALSE(form->Showing());
    EXPECT_FALSE(QtWidgetOf(*form)->isVisible());
}

TEST_F(QtBackendTest, ModalFormEndsWithTheResultOfItsButton) {
    auto form = CreateForm();
    auto& ok = form->Add<Button>();
    ok.SetModalResult(ModalResult::Ok);
    int clicks = 0;
    ok.OnClick = [&] { ++clicks; };
    QTimer::singleShot(0, [&] { qobject_cast<QPushButton*>(QtWidgetOf(ok))->click(); });
    EXPECT_EQ(form->ShowModal(), ModalResult::Ok);
    EXPECT_EQ(clicks, 1);
    EXPECT_FALSE(form->Showing());
}

TEST_F(QtBackendTest, DisabledButtonsIgnoreClicks) {
    auto form = CreateForm();
    auto& b = form->Add<Button>();
    int clicks = 0;
    b.OnClick = [&] { ++clicks; };
    b.SetEnabled(false);
    b.Click();
    EXPECT_EQ(clicks, 0);
    EXPECT_FALSE(QtWidgetOf(b)->isEnabled());
}

// Ctrl-C reaches the work behind a window as its Cancel button, whether the window is shown or
// was built hidden; with nothing to cancel it waits for the program to look.
TEST_F(QtBackendTest, InterruptPressesTheCancelButtonShownOrHidden) {
    {
        RequestInterrupt();
        ProcessMessages();
        EXPECT_TRUE(TakeInterrupt());
    }
    for (bool show : {true, false}) {
        auto form = CreateForm();
        auto& cancel = form->Add<Button>();
        cancel.SetCancel(true);
        int clicks = 0;
        cancel.OnClick = [&] { ++clicks; };
        if (show) form->Show();
        RequestInterrupt();
        ProcessMessages();
        EXPECT_EQ(clicks, 1) << (show ? "shown" : "hidden");
        EXPECT_FALSE(InterruptPending());
    }
}

TEST_F(QtBackendTest, EscapePressesTheCancelButton) {
    auto form = CreateForm();
    form->OnCloseQuery = [](Form&, bool& canClose) { canClose = false; }; // a run in progress
    auto& cancel = form->Add<Button>();
    cancel.SetCancel(true);
    int clicks = 0;
    cancel.OnClick = [&] { ++clicks; };
    form->Show();
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(QtWidgetOf(*form), &escape);
    EXPECT_EQ(clicks, 1);
    EXPECT_TRUE(form->Showing());
}

TEST_F(QtBackendTest, ClipboardHoldsTheText) {
    SetClipboardText("http://example.org/Demo_1.zip");
    EXPECT_EQ(ClipboardText(), "http://example.org/Demo_1.zip");
}

} // namespace
} // namespace zandrel::ui
