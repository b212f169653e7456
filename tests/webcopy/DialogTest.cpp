// The progress window as the Qt backend draws it (offscreen platform).
#include <QApplication>
#include <QPushButton>
#include <QWidget>

#include <gtest/gtest.h>

#include "platform/ui/Application.h"
#include "platform/ui/Forms.h"
#include "platform/ui/qt/QtBackend.h"
#include "RecordingWebCopy.h"

namespace zandrel::webcopy {
namespace {

using testing::AddItem;
using testing::RecordingWebCopy;
using testing::RoutineCall;

using DialogWebCopy = RecordingWebCopy;

class WebCopyDialog : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "webcopy_tests";
        static char* argv[] = {name, nullptr};
        if (!qApp) new QApplication(argc, argv);
    }
    void SetUp() override { ui::InstallBackend(ui::CreateQtBackend()); }
    void TearDown() override { ui::RemoveBackend(); }

    static QRect Geometry(const ui::Control* control) { return ui::QtWidgetOf(*control)->geometry(); }
    static bool Shown(const ui::Control* control) { return ui::QtWidgetOf(*control)->isVisible(); }
};

TEST_F(WebCopyDialog, DefaultWindowLayout) {
    DialogWebCopy wc;
    wc.Dialog().Create();
    ui::Form* form = wc.ProgressForm();
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->Width(), 300);
    EXPECT_EQ(form->Height(), ui::CaptionHeight() + 188);
    EXPECT_EQ(ui::QtWidgetOf(*form)->size(), QSize(300, 188));
    EXPECT_TRUE(Shown(form));
    EXPECT_EQ(ui::QtWidgetOf(*form)->windowTitle(), "Downloading ...");
    EXPECT_FALSE(ui::QtWidgetOf(*form)->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_TRUE(ui::QtWidgetOf(*form)->windowFlags() & Qt::WindowStaysOnTopHint);

    EXPECT_EQ(Geometry(wc.Dialog().fileLbl), QRect(10, 80, 280, 13));
    EXPECT_TRUE(Shown(wc.Dialog().fileLbl));
    EXPECT_EQ(Geometry(wc.Dialog().sizeLbl).topLeft(), QPoint(10, 100));
    EXPECT_TRUE(Shown(wc.Dialog().sizeLbl));
    EXPECT_EQ(Geometry(wc.Dialog().rateLbl).topLeft(), QPoint(10, 120));
    EXPECT_TRUE(Shown(wc.Dialog().rateLbl));
    EXPECT_FALSE(Shown(wc.Dialog().timeLbl));
    EXPECT_FALSE(Shown(wc.Dialog().elapsedTimeLbl));
    EXPECT_EQ(Geometry(wc.Dialog().progress), QRect(10, 60, 280, 12));
    EXPECT_EQ(Geometry(wc.Dialog().cancelBtn), QRect(215, 140, 75, 25));
    EXPECT_TRUE(Shown(wc.Dialog().cancelBtn));
    EXPECT_EQ(ui::QtWidgetOf(*wc.Dialog().cancelBtn)->property("text").toString(), "Cancel");
    EXPECT_EQ(wc.Dialog().btnShowFile, nullptr);
    EXPECT_EQ(wc.Dialog().btnShowFolder, nullptr);
    EXPECT_EQ(wc.Dialog().anim->Clip(), 257);
    EXPECT_TRUE(wc.Dialog().anim->Active());
    wc.Dialog().Destroy();
    EXPECT_EQ(wc.ProgressForm(), nullptr);
}

TEST_F(WebCopyDialog, OptionalLinesMoveTheButtonRowAndGrowTheWindow) {
    struct Case {
        bool showTime, showElapsed, showFileName, showCancel;
        int clientHeight, buttonRow, sizeTop, elapsedTop;
    };
    const Case cases[] = {
        {true, true, true, true, 228, 180, 100, 160},
        {false, true, true, true, 208, 160, 100, 160}, // the elapsed line keeps its row
        {false, false, false, true, 188, 120, 80, 140},
        {false, false, true, false, 168, 140, 100, 160}, // no Cancel: 20 shorter
    };
    for (const Case& c : cases) {
        DialogWebCopy wc;
        wc.ShowTime = c.showTime;
        wc.ShowElapsedTime = c.showElapsed;
        wc.ShowFileName = c.showFileName;
        wc.DlgShowCancel = c.showCancel;
        wc.Dialog().Create();
        SCOPED_TRACE(c.clientHeight);
        EXPECT_EQ(wc.ProgressForm()->Height(), ui::CaptionHeight() + c.clientHeight);
        EXPECT_EQ(wc.Dialog().cancelBtn->Top(), c.buttonRow);
        EXPECT_EQ(Shown(wc.Dialog().cancelBtn), c.showCancel);
        EXPECT_EQ(Shown(wc.Dialog().fileLbl), c.showFileName);
        EXPECT_EQ(wc.Dialog().sizeLbl->Top(), c.sizeTop);
        EXPECT_EQ(wc.Dialog().elapsedTimeLbl->Top(), c.elapsedTop);
        EXPECT_EQ(Shown(wc.Dialog().timeLbl), c.showTime);
        EXPECT_EQ(Shown(wc.Dialog().elapsedTimeLbl), c.showElapsed);
    }
}

TEST_F(WebCopyDialog, OpenButtonsSitLeftOfCancelAndWaitForTheEndOfTheRun) {
    DialogWebCopy wc;
    wc.ShowOpenFile = true;
    wc.ShowOpenFolder = true;
    AddItem(wc, wpFtpTest);
    wc.behaviour = [&](const RoutineCall&, TDateTime&, bool&) {
        EXPECT_EQ(wc.Dialog().btnShowFile->Left(), 45);
        EXPECT_EQ(wc.Dialog().btnShowFolder->Left(), 130);
        EXPECT_EQ(wc.Dialog().cancelBtn->Left(), 215);
        EXPECT_FALSE(ui::QtWidgetOf(*wc.Dialog().btnShowFile)->isEnabled());
        EXPECT_FALSE(ui::QtWidgetOf(*wc.Dialog().btnShowFolder)->isEnabled());
        return true;
    };
    wc.Execute();
    EXPECT_TRUE(ui::QtWidgetOf(*wc.Dialog().btnShowFile)->isEnabled());
    EXPECT_TRUE(ui::QtWidgetOf(*wc.Dialog().btnShowFolder)->isEnabled());
    EXPECT_EQ(ui::QtWidgetOf(*wc.Dialog().cancelBtn)->property("text").toString(), "Close");

    // Open file, clicked as a user would: the window goes, and freeing it waits until the
    // click is over.
    wc.Dialog().lastFile = "/nonexistent-file-for-the-test";
    qobject_cast<QPushButton*>(ui::QtWidgetOf(*wc.Dialog().btnShowFile))->click();
    EXPECT_TRUE(wc.FormClosed());
    EXPECT_EQ(wc.ProgressForm(), nullptr);
    ui::ProcessMessages();
}

TEST_F(WebCopyDialog, OnlyOpenFolderSitsWhereOpenFileWouldBe) {
    DialogWebCopy wc;
    wc.ShowOpenFile = true;
    wc.Dialog().Create();
    EXPECT_EQ(wc.Dialog().btnShowFile->Left(), 130);
    EXPECT_EQ(wc.Dialog().btnShowFolder, nullptr);
}

TEST_F(WebCopyDialog, CancelDuringARunKeepsTheWindowUntilTheRunStops) {
    DialogWebCopy wc;
    AddItem(wc, wpFtpUpload, "a");
    bool visibleAfterClick = false;
    wc.behaviour = [&](const RoutineCall&, TDateTime&, bool&) {
        qobject_cast<QPushButton*>(ui::QtWidgetOf(*wc.Dialog().cancelBtn))->click();
        visibleAfterClick = ui::QtWidgetOf(*wc.ProgressForm())->isVisible();
        return true;
    };
    wc.Execute();
    EXPECT_TRUE(visibleAfterClick);
    EXPECT_TRUE(wc.Items[0].Cancelled());
    EXPECT_NE(std::find(wc.log.begin(), wc.log.end(), "cancel"), wc.log.end());
    EXPECT_EQ(wc.ProgressForm(), nullptr);
}

TEST_F(WebCopyDialog, TitleBarCloseOnlyWorksWhenAllowedAndNeverStopsTheRun) {
    for (bool closeButton : {false, true}) {
        DialogWebCopy wc;
        wc.DlgShowCloseBtn = closeButton;
        AddItem(wc, wpFtpTest, "", "a");
        AddItem(wc, wpFtpTest, "", "b");
        bool visibleAfterClose = true;
        wc.behaviour = [&](const RoutineCall& call, TDateTime&, bool&) {
            if (call.idx == 0) {
                EXPECT_EQ(bool(ui::QtWidgetOf(*wc.ProgressForm())->windowFlags() & Qt::WindowCloseButtonHint),
                          closeButton);
                ui::QtWidgetOf(*wc.ProgressForm())->close();
                visibleAfterClose = wc.ProgressForm()->Showing();
            }
            return true;
        };
        wc.Execute();
        EXPECT_EQ(visibleAfterClose, !closeButton);
        EXPECT_EQ(wc.calls.size(), 2u);
        EXPECT_TRUE(wc.Items[1].Success());
    }
}

TEST_F(WebCopyDialog, HiddenDialogIsBuiltButNeverShown) {
    DialogWebCopy wc;
    wc.ShowDialog = false;
    AddItem(wc, wpFtpTest);
    bool shown = true;
    wc.behaviour = [&](const RoutineCall&, TDateTime&, bool&) {
        shown = ui::QtWidgetOf(*wc.ProgressForm())->isVisible();
        return true;
    };
    wc.Execute();
    EXPECT_FALSE(shown);
    EXPECT_EQ(std::find(wc.log.begin(), wc.log.end(), "beforeshow"), wc.log.end());
}

} // namespace
} // namespace zandrel::webcopy
