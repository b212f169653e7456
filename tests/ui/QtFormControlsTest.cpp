// The form controls of a settings dialog as Qt draws them: group boxes that hold other controls,
// spin boxes, multi-select lists, memos and password fields, and what the person does in them
// reaching the controls.
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include <gtest/gtest.h>

#include "platform/ui/Application.h"
#include "platform/ui/qt/QtBackend.h"
#include "ui/QtTestFixture.h"

namespace zandrel::ui {
namespace {

using QtFormControls = QtTestFixture;

template <class W>
W* WidgetOf(const Control& control) {
    return qobject_cast<W*>(QtWidgetOf(control));
}

TEST_F(QtFormControls, GroupBoxHoldsItsControlsAndGoesAwayBeforeThemSafely) {
    QPointer<QLineEdit> line;
    {
        auto form = CreateForm();
        auto& box = form->Add<GroupBox>(); // the box comes first, so it is also destroyed first
        box.SetCaption("FTP Options");
        box.SetBounds(8, 8, 320, 233);
        auto& edit = form->Add<Edit>();
        edit.SetParent(&box);
        edit.SetBounds(100, 20, 200, 21);
        form->Show();
        auto* group = WidgetOf<QGroupBox>(box);
        ASSERT_NE(group, nullptr);
        EXPECT_EQ(group->title(), "FTP Options");
        line = WidgetOf<QLineEdit>(edit);
        ASSERT_NE(line, nullptr);
        EXPECT_EQ(line->parentWidget(), group);
        EXPECT_EQ(line->geometry(), QRect(100, 20, 200, 21));
        EXPECT_EQ(line->mapTo(QtWidgetOf(*form), QPoint(0, 0)), QPoint(108, 28));
        // Out of the box again: back on the window itself.
        edit.SetParent(nullptr);
        EXPECT_EQ(line->parentWidget(), QtWidgetOf(*form));
        edit.SetParent(&box);
    }
    EXPECT_TRUE(line.isNull()); // deleted once, by its own control
}

TEST_F(QtFormControls, SpinEditKeepsItsRangeBothWays) {
    auto form = CreateForm();
    auto& spin = form->Add<SpinEdit>();
    spin.SetRange(0, 9999);
    spin.SetValue(21);
    form->Show();
    auto* box = WidgetOf<QSpinBox>(spin);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->minimum(), 0);
    EXPECT_EQ(box->maximum(), 9999);
    EXPECT_EQ(box->value(), 21);
    box->selectAll();
    QTest::keyClicks(box, "2121");
    EXPECT_EQ(spin.Value(), 2121);
    spin.SetValue(12345);
    EXPECT_EQ(box->value(), 9999);
}

TEST_F(QtFormControls, ListSelectionMadeWithCtrlReachesTheListAndRemovalReachesTheWidget) {
    auto form = CreateForm();
    auto& list = form->Add<ListBox>();
    list.SetBounds(10, 10, 200, 120);
    list.SetMultiSelect(true);
    for (const char* item : {"*.pas", "*.dpk", "*.dpr", "*.res"}) list.AddItem(item);
    form->Show();
    auto* widget = WidgetOf<QListWidget>(list);
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(widget->selectionMode(), QAbstractItemView::ExtendedSelection);
    auto click = [&](int row, Qt::KeyboardModifiers modifiers) {
        QTest::mouseClick(widget->viewport(), Qt::LeftButton, modifiers,
                          widget->visualItemRect(widget->item(row)).center());
    };
    click(1, Qt::NoModifier);
    click(3, Qt::ControlModifier);
    EXPECT_FALSE(list.Selected(0));
    EXPECT_TRUE(list.Selected(1));
    EXPECT_FALSE(list.Selected(2));
    EXPECT_TRUE(list.Selected(3));
    list.DeleteSelected();
    ASSERT_EQ(widget->count(), 2);
    EXPECT_EQ(widget->item(0)->text(), "*.pas");
    EXPECT_EQ(widget->item(1)->text(), "*.dpr");
    EXPECT_TRUE(widget->selectedItems().isEmpty());

    // Without multiple selection a Ctrl click moves the one selection.
    list.SetMultiSelect(false);
    click(0, Qt::NoModifier);
    click(1, Qt::ControlModifier);
    EXPECT_FALSE(list.Selected(0));
    EXPECT_TRUE(list.Selected(1));
}

TEST_F(QtFormControls, MemoAndPasswordFieldsTakeWhatIsTyped) {
    auto form = CreateForm();
    auto& memo = form->Add<Edit>();
    memo.SetBounds(10, 10, 200, 100);
    memo.SetMultiline(true); // after the control was made: the widget changes with it
    memo.SetCaption("Hello\nWorld");
    auto& password = form->Add<Edit>();
    password.SetPassword(true);
    password.SetHint("The FTP/HTTP Password to login when building project");
    form->Show();

    auto* text = WidgetOf<QPlainTextEdit>(memo);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->toPlainText(), "Hello\nWorld");
    EXPECT_EQ(text->geometry(), QRect(10, 10, 200, 100));
    EXPECT_TRUE(text->isVisibleTo(QtWidgetOf(*form)));
    text->moveCursor(QTextCursor::End);
    QTest::keyClick(text, Qt::Key_Return);
    QTest::keyClicks(text, "Bye");
    EXPECT_EQ(memo.Caption(), "Hello\nWorld\nBye");

    auto* line = WidgetOf<QLineEdit>(password);
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->echoMode(), QLineEdit::Password);
    EXPECT_EQ(line->toolTip(), "The FTP/HTTP Password to login when building project");
    QTest::keyClicks(line, "s3cret");
    EXPECT_EQ(password.Caption(), "s3cret");
}

TEST_F(QtFormControls, CheckBoxCaptionCanStandLeftOfTheBox) {
    auto form = CreateForm();
    auto& box = form->Add<CheckBox>();
    box.SetCaption("FTP Passive");
    box.SetCaptionLeft(true);
    box.SetBounds(10, 10, 120, 17);
    auto& plain = form->Add<CheckBox>();
    plain.SetCaption("Other");
    form->Show();
    EXPECT_EQ(WidgetOf<QCheckBox>(box)->layoutDirection(), Qt::RightToLeft);
    EXPECT_EQ(WidgetOf<QCheckBox>(plain)->layoutDirection(), Qt::LeftToRight);
    QTest::mouseClick(WidgetOf<QCheckBox>(box), Qt::LeftButton);
    EXPECT_TRUE(box.Checked());
}

// Tab goes through the form's own controls by their order, a group box's controls in place of the
// box; Enter in a field presses the default button.
TEST_F(QtFormControls, TabFollowsTheFormsSequenceAndEnterPressesTheDefaultButton) {
    auto form = CreateForm();
    auto& group = form->Add<GroupBox>();
    group.SetBounds(0, 0, 200, 100);
    auto& second = form->Add<Edit>();
    second.SetParent(&group);
    auto& first = form->Add<SpinEdit>();
    first.SetParent(&group);
    first.SetTabOrder(0);
    second.SetTabOrder(1);
    auto& ok = form->Add<Button>();
    ok.SetDefault(true);
    int presses = 0;
    ok.OnClick = [&] { ++presses; };
    auto& cancel = form->Add<Button>();
    ok.SetTabOrder(0);
    cancel.SetTabOrder(1);
    group.SetTabOrder(2);
    form->Show();

    std::vector<QWidget*> expected{QtWidgetOf(ok), QtWidgetOf(cancel), QtWidgetOf(first), QtWidgetOf(second)};
    // The focus chain, as Tab walks it, with the spin box's inner field standing for the box.
    std::vector<QWidget*> walked;
    QWidget* at = QtWidgetOf(ok);
    for (int step = 0; step < 40 && walked.size() < expected.size(); ++step, at = at->nextInFocusChain()) {
        QWidget* owner = at->focusProxy() ? at->focusProxy() : at;
        for (QWidget* w : expected)
            if ((owner == w || w->isAncestorOf(owner)) && owner->focusPolicy() & Qt::TabFocus &&
                (walked.empty() || walked.back() != w))
                walked.push_back(w);
    }
    EXPECT_EQ(walked, expected);

    EXPECT_TRUE(WidgetOf<QPushButton>(ok)->isDefault());
    EXPECT_FALSE(WidgetOf<QPushButton>(cancel)->isDefault());
    QTest::keyClick(WidgetOf<QLineEdit>(second), Qt::Key_Return);
    EXPECT_EQ(presses, 1);
}

} // namespace
} // namespace zandrel::ui
