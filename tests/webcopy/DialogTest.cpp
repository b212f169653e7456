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

class DialogWebCopy : public RecordingWebCopy {
public:
    using TZandrelWebCopy::CreateForm;
    using TZandrelWebCopy::DestroyForm;
    using TZandrelWebCopy::FFileLbl;
    using TZandrelWebCopy::FProgress;
    using TZandrelWebCopy::FRateLbl;
    using TZandrelWebCopy::FSizeLbl;
};

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
    wc.CreateForm();
    ui::Form* form = wc.ProgressForm();
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->Width(), 300);
    EXPECT_EQ(form->Height(), ui::CaptionHeight() + 188);
    EXPECT_EQ(ui::QtWidgetOf(*form)->size(), QSize(300, 188));
    EXPECT_TRUE(Shown(form));
    EXPECT_EQ(ui::QtWidgetOf(*form)->windowTitle(), "Downloading ...");
    EXPECT_FALSE(ui::QtWidgetOf(*form)->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_TRUE(ui::QtWidgetOf(*form)->windowFlags() & Qt::WindowStaysOnTopHint);

    EXPECT_EQ(Geometry(wc.FFileLbl), QRect(10, 80, 280, 13));
    EXPECT_TRUE(Shown(wc.FFileLbl));
    EXPECT_EQ(Geometry(wc.FSizeLbl).topLeft(), QPoint(10, 100));
    EXPECT_TRUE(Shown(wc.FSizeLbl));
    EXPECT_EQ(Geometry(wc.FRateLbl).topLeft(), QPoint(10, 120));
    EXPECT_TRUE(Shown(wc.FRateLbl));
    EXPECT_FALSE(Shown(wc.FTimeLbl));
    EXPECT_FALSE(Shown(wc.FElapsedTimeLbl));
    EXPECT_EQ(Geometry(wc.FProgress), QRect(10, 60, 280, 12));
    EXPECT_EQ(Geometry(wc.FCancelBtn), QRect(215, 140, 75, 25));
    EXPECT_TRUE(Shown(wc.FCancelBtn));
    EXPECT_EQ(ui::QtWidgetOf(*wc.FCancelBtn)->property("text").toString(), "Cancel");
    EXPECT_EQ(wc.FBtnShowFile, nullptr);
    EXPECT_EQ(wc.FBtnShowFolder, nullptr);
    EXPECT_EQ(wc.FAnim->Clip(), 257);
    EXPECT_TRUE(wc.FAnim->Active());
    wc.DestroyForm();
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
        wc.CreateForm();
        SCOPED_TRACE(c.clientHeight);
        EXPECT_EQ(wc.ProgressForm()->Height(), ui::CaptionHeight() + c.clientHeight);
        EXPECT_EQ(wc.FCancelBtn->Top(), c.buttonRow);
        EXPECT_EQ(Shown(wc.FCancelBtn), c.showCancel);
        EXPECT_EQ(Shown(wc.FFileLbl), c.showFileName);
        EXPECT_EQ(wc.FSizeLbl->Top(), c.sizeTop);
        EXPECT_EQ(wc.FElapsedTimeLbl->Top(), c.elapsedTop);
        EXPECT_EQ(Shown(wc.FTimeLbl), c.showTime);
        EXPECT_EQ(Shown(wc.FElapsedTimeLbl), c.showElapsed);
    }
}

TEST_F(WebCopyDialog, OpenButtonsSitLeftOfCancelAndWaitForTheEndOfTheRun) {
    DialogWebCopy wc;
    wc.ShowOpenFile = true;
    wc.ShowOpenFolder = true;
    AddItem(wc, wpFtpTest);
    wc.behaviour = [&](const RoutineCall&, TDateTime&, bool&) {
        EXPECT_EQ(wc.FBtnShowFile->Left(), 45);
        EXPECT_EQ(wc.FBtnShowFolder->Left(), 130);
        EXPECT_EQ(wc.FCancelBtn->Left(), 215);
        EXPECT_FALSE(ui::QtWidgetOf(*wc.FBtnShowFile)->isEnabled());
        EXPECT_FALSE(ui::QtWidgetOf(*wc.FBtnShowFolder)->isEnabled());
        return true;
    };
    wc.Execute();
    EXPECT_TRUE(ui::QtWidgetOf(*wc.FBtnShowFile)->isEnabled());
    EXPECT_TRUE(ui::QtWidgetOf(*wc.FBtnShowFolder)->isEnabled());
    EXPECT_EQ(ui::QtWidgetOf(*wc.FCancelBtn)->property("text").toString(), "Close");

    // Open file, clicked as a user would: the window goes, and freeing it waits until the
    // click is over.
    wc.FLastFile = "/nonexistent-file-for-the-test";
    qobject_cast<QPushButton*>(ui::QtWidgetOf(*wc.FBtnShowFile))->click();
    EXPECT_TRUE(wc.FormClosed());
    EXPECT_EQ(wc.ProgressForm(), nullptr);
    ui::ProcessMessages();
}

TEST_F(WebCopyDialog, OnlyOpenFolderSitsWhereOpenFileWouldBe) {
    DialogWebCopy wc;
    wc.ShowOpenFile = true;
    wc.CreateForm();
    EXPECT_EQ(wc.FBtnShowFile->Left(), 130);
    EXPECT_EQ(wc.FBtnShowFolder, nullptr);
}

TEST_F(WebCopyDialog, CancelDuringARunKeepsTheWindowUntilTheRunStops) {
    DialogWebCopy wc;
    AddItem(wc, wpFtpUpload, "a");
    bool visibleAfterClick = false;
    wc.behaviour = [&](const RoutineCall&, TDateTime&, bool&) {
        qobject_cast<QPushButton*>(ui::QtWidgetOf(*wc.FCancelBtn))->click();
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
