// The transfer window's text fits its controls: whole lines (descenders included), long file
// names shortened in the middle with the server still in view, and button captions clear of the
// button edges. Run at the default 96 dpi and again with QT_FONT_DPI=144 (see CMakeLists.txt).
// With ZANDREL_SCREENSHOT=FILE.png the window is also saved there, for a look by eye (under Xvfb,
// for instance).
#include <QApplication>
#include <QFontMetricsF>
#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/ui/Application.h"
#include "platform/ui/Forms.h"
#include "platform/ui/qt/QtBackend.h"
#include "ui/QtTestFixture.h"
#include "webcopy/WebCopyInternals.h"

namespace zandrel::ui {
namespace {

// The window with every line and button it can have, filled as a long transfer fills it.
class FullWindow : public webcopy::TZandrelWebCopy {
public:
    FullWindow() : dialog_(webcopy::WebCopyInternals::Of(*this).dialog) {
        ShowTime = ShowElapsedTime = ShowOpenFile = ShowOpenFolder = true;
        dialog_.Create();
        dialog_.fileLbl->SetCaption("File : 2 of 3 : release-candidate-with-a-rather-long-name-2026-12-10.tar.gz from "
                                    "ftp.example.org");
        dialog_.sizeLbl->SetCaption("Progress : 1000.00 Mb of 1000.00 Mb");
        dialog_.rateLbl->SetCaption("Transfer rate : 999.99 Kb/sec");
        dialog_.timeLbl->SetCaption("Estimated time left : 1h 59");
        dialog_.elapsedTimeLbl->SetCaption("Elapsed time : 59 minutes");
    }
    std::vector<Label*> Lines() const {
        return {dialog_.fileLbl, dialog_.sizeLbl, dialog_.rateLbl, dialog_.timeLbl, dialog_.elapsedTimeLbl};
    }
    std::vector<Button*> Buttons() const { return {dialog_.cancelBtn, dialog_.btnShowFolder, dialog_.btnShowFile}; }
    Label* FileLine() const { return dialog_.fileLbl; }

private:
    webcopy::ProgressDialog& dialog_;
};

using ProgressWindowText = QtTestFixture;

TEST_F(ProgressWindowText, FitsItsControls) {
    // The run at 144 dpi must really be scaled, or it proves nothing.
    if (const char* dpi = std::getenv("QT_FONT_DPI")) {
        EXPECT_DOUBLE_EQ(qApp->devicePixelRatio(), std::atof(dpi) / 96.0);
    }

    FullWindow wc;
    QWidget* window = QtWidgetOf(*wc.ProgressForm());
    if (const char* screenshot = std::getenv("ZANDREL_SCREENSHOT")) {
        for (int i = 0; i < 20; ++i) ProcessMessages();
        EXPECT_TRUE(window->grab().save(screenshot)) << screenshot;
    }
    for (Label* line : wc.Lines()) {
        auto* label = qobject_cast<QLabel*>(QtWidgetOf(*line));
        ASSERT_NE(label, nullptr);
        SCOPED_TRACE(label->text().toStdString());
        const QFontMetricsF metrics(label->font(), label);
        EXPECT_LE(metrics.ascent() + metrics.descent(), label->height()); // "tar.gz", not "tar.qz"
        EXPECT_LE(metrics.horizontalAdvance(label->text()), label->width());
        EXPECT_LE(label->geometry().right(), window->width() - 1);
        EXPECT_LE(label->geometry().bottom(), QtWidgetOf(*wc.Buttons()[0])->geometry().top());
    }
    const QString file = qobject_cast<QLabel*>(QtWidgetOf(*wc.FileLine()))->text();
    EXPECT_TRUE(file.startsWith("File : 2 of 3 : re")) << file.toStdString();
    EXPECT_TRUE(file.endsWith(".tar.gz from ftp.example.org")) << file.toStdString();
    EXPECT_TRUE(file.contains(QChar(0x2026))) << file.toStdString();

    for (Button* control : wc.Buttons()) {
        auto* button = qobject_cast<QPushButton*>(QtWidgetOf(*control));
        ASSERT_NE(button, nullptr);
        SCOPED_TRACE(button->text().toStdString());
        const QFontMetricsF metrics(button->font(), button);
        constexpr qreal kClearance = 4; // between the caption and each edge of the button
        EXPECT_LE(metrics.horizontalAdvance(button->text()) + 2 * kClearance, button->width());
        EXPECT_LE(metrics.ascent() + metrics.descent() + 2 * kClearance, button->height());
        EXPECT_GE(button->geometry().left(), 0);
    }
}

} // namespace
} // namespace zandrel::ui
