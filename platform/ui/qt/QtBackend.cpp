#include "platform/ui/qt/QtBackend.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QDialog>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGroupBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QStyle>
#include <QTimer>

#include <algorithm>
#include <utility>
#include <vector>

#include "platform/rtl/Error.h"
#include "platform/ui/Application.h"
#include "platform/ui/Interrupt.h"
#include "platform/ui/LastingClipboard.h"
#include "platform/ui/qt/ClipAnimation.h"

namespace zandrel::ui {
namespace {

class QtControlPeer;

// Labels and progress bars can change thousands of times a second (a transfer updates them after
// every 4 KB block), and each new label text costs Qt a text layout. Their content reaches the
// widgets at most every kContentRefreshMs, by a timer the event loop runs; no one reads faster.
// Everything else (geometry, visibility, enabled state, other controls) is applied at once.
constexpr int kContentRefreshMs = 40;

// Forms are laid out in pixels for an 8-point dialog font, as the system's windows were designed:
// 13-pixel text lines, 75-pixel buttons. A larger font would cut the descenders off the lines and
// crowd the captions against the button edges. High-DPI screens scale pixels and font together.
constexpr qreal kFormFontPoints = 8.0;

struct PendingContent {
    std::vector<QtControlPeer*> peers;
    bool scheduled = false;
    QElapsedTimer sinceFlush;
};

PendingContent& Pending() {
    static PendingContent pending;
    return pending;
}

void FlushPendingContent();
// The widget that draws `control`; null when it has no Qt peer.
QWidget* ControlWidget(const Control& control);

class FormWindow : public QDialog {
public:
    FormWindow(Form& form, QWidget* parent) : QDialog(parent), form_(form) {}
    std::function<void()> onHidden;

protected:
    void closeEvent(QCloseEvent* event) override {
        // The user's close goes through the form's close query; the form hides us if allowed.
        event->ignore();
        if (form_.Showing()) form_.Close();
    }
    void hideEvent(QHideEvent* event) override {
        QDialog::hideEvent(event);
        if (onHidden) onHidden();
    }
    // Escape presses the Cancel button the window shows, as in any dialog; without one it asks
    // the window to close.
    void reject() override {
        if (Button* cancel = VisibleCancelButton(form_)) cancel->Click();
        else close();
    }

private:
    Form& form_;
};

class QtFormPeer : public FormPeer {
public:
    explicit QtFormPeer(Form& form) : form_(form) {
        QWidget* parent = form.Owner() ? QtWidgetOf(*form.Owner()) : nullptr;
        window_ = new FormWindow(form, parent);
        window_->setAttribute(Qt::WA_DeleteOnClose, false);
        QFont font = window_->font();
        font.setPointSizeF(kFormFontPoints);
        window_->setFont(font);
        window_->onHidden = [this] {
            if (form_.Showing()) NotifyHidden(form_);
            if (loop_) loop_->quit();
        };
    }
    ~QtFormPeer() override { delete window_; }

    void Update() override {
        window_->setWindowTitle(QString::fromStdString(form_.Caption()));
        const int clientHeight = std::max(0, form_.Height() - CaptionHeight());
        if (form_.Border() == BorderStyle::Dialog)
            window_->setFixedSize(form_.Width(), clientHeight);
        else
            window_->resize(form_.Width(), clientHeight);
        Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
        if (form_.SystemMenu()) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
        if (form_.StayOnTop()) flags |= Qt::WindowStaysOnTopHint;
        if (flags != window_->windowFlags()) {
            const bool visible = window_->isVisible();
            window_->setWindowFlags(flags);
            if (visible) window_->show();
        }
        Place();
    }
    void Show() override {
        FlushPendingContent(); // a window appears with its current content
        Place();
        ApplyTabOrder();
        window_->show();
    }
    void Hide() override { window_->hide(); }
    void RunModal() override {
        window_->setWindowModality(Qt::ApplicationModal);
        Show();
        QEventLoop loop;
        loop_ = &loop;
        // Ctrl-C reaches a program whose window waits for the person, too: it presses the form's
        // Cancel button, or, on a form without one, closes it as Cancel. The interrupt stays
        // noted, so the program then ends as Ctrl-C ends it.
        QTimer interruptWatch;
        QObject::connect(&interruptWatch, &QTimer::timeout, [this] {
            if (!InterruptPending() || !form_.Showing()) return;
            ui::ProcessMessages();
            if (!form_.Showing() || !InterruptPending()) return;
            form_.SetModalResult(ModalResult::Cancel);
            if (form_.Showing()) {
                NotifyHidden(form_);
                window_->hide();
            }
        });
        interruptWatch.start(50);
        if (window_->isVisible()) loop.exec();
        loop_ = nullptr;
        window_->setWindowModality(Qt::NonModal);
    }
    void MakeTopmost() override {
        window_->setWindowFlag(Qt::WindowStaysOnTopHint, true);
        window_->show();
        window_->raise();
    }
    QWidget* widget() const { return window_; }

private:
    // Tab follows the form's sequence; the window opens with the focus on the first control of it.
    void ApplyTabOrder() {
        QWidget* previous = nullptr;
        QWidget* first = nullptr;
        for (Control* control : TabSequence(form_)) {
            QWidget* widget = ControlWidget(*control);
            if (!widget) continue;
            if (previous) QWidget::setTabOrder(previous, widget);
            else first = widget;
            previous = widget;
        }
        QWidget* focused = window_->focusWidget();
        if (first && (!focused || focused == window_)) first->setFocus(Qt::OtherFocusReason);
    }

    void Place() {
        if (form_.Position() == FormPosition::ScreenCenter) {
            const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
            window_->move(screen.center() - QPoint(form_.Width() / 2, form_.Height() / 2));
        } else if (form_.Position() == FormPosition::Designed) {
            window_->move(form_.Left(), form_.Top());
        }
    }

    Form& form_;
    FormWindow* window_;
    QEventLoop* loop_ = nullptr;
};

QWidget* ParentWindow(Control& control) {
    auto* peer = control.Owner() ? dynamic_cast<QtFormPeer*>(control.Owner()->Peer()) : nullptr;
    return peer ? peer->widget() : nullptr;
}

class QtControlPeer : public ControlPeer {
public:
    QtControlPeer(Control& control, QWidget* widget, bool defersContent = false)
        : control_(control), widget_(widget), defersContent_(defersContent) {}
    ~QtControlPeer() override {
        if (pending_) std::erase(Pending().peers, this);
        delete widget_;
    }
    void Update() override {
        // A control in a group box is drawn inside the box, at a position relative to it.
        QWidget* parent = control_.Parent() ? ControlWidget(*control_.Parent()) : ParentWindow(control_);
        if (parent && widget_->parentWidget() != parent) widget_->setParent(parent);
        widget_->setGeometry(control_.Left(), control_.Top(), control_.Width(), control_.Height());
        widget_->setVisible(control_.Visible());
        widget_->setEnabled(control_.Enabled());
        widget_->setToolTip(QString::fromStdString(control_.Hint()));
        // The control's name, for accessibility tools and tests that look for a widget.
        widget_->setObjectName(QString::fromStdString(control_.Name()));
        if (defersContent_)
            Defer();
        else
            UpdateContent();
    }
    void ApplyPending() {
        pending_ = false;
        UpdateContent();
    }
    QWidget* widget() const { return widget_; }

protected:
    virtual void UpdateContent() {}
    Control& control_;
    QWidget* widget_;

private:
    void Defer() {
        if (pending_) return;
        pending_ = true;
        PendingContent& pending = Pending();
        pending.peers.push_back(this);
        if (pending.scheduled) return;
        pending.scheduled = true;
        const qint64 since = pending.sinceFlush.isValid() ? pending.sinceFlush.elapsed() : kContentRefreshMs;
        QTimer::singleShot(static_cast<int>(std::max<qint64>(0, kContentRefreshMs - since)), qApp, FlushPendingContent);
    }

    bool defersContent_;
    bool pending_ = false;
};

void FlushPendingContent() {
    PendingContent& pending = Pending();
    pending.scheduled = false;
    pending.sinceFlush.start();
    const std::vector<QtControlPeer*> peers = std::exchange(pending.peers, {});
    for (QtControlPeer* peer : peers) peer->ApplyPending();
}

// A fixed-size line too narrow for its text gives up its middle, not its end: a long file name
// keeps its start and its extension, and the server named after it stays in view. The end gets
// the larger share, since that is where the extension and the server are.
QString ShortenInTheMiddle(const QFontMetrics& metrics, const QString& text, int width) {
    if (metrics.horizontalAdvance(text) <= width) return text;
    const QString ellipsis(QChar(0x2026));
    const int room = std::max(0, width - metrics.horizontalAdvance(ellipsis));
    const auto whole = [&](qsizetype at) { return at <= 0 || at >= text.size() || !text.at(at).isLowSurrogate(); };
    qsizetype tail = 0;
    while (tail < text.size() && metrics.horizontalAdvance(text.right(tail + 1)) <= room * 3 / 5) ++tail;
    while (tail > 0 && !whole(text.size() - tail)) --tail;
    const int headRoom = room - metrics.horizontalAdvance(text.right(tail));
    qsizetype head = 0;
    while (head < text.size() - tail && metrics.horizontalAdvance(text.left(head + 1)) <= headRoom) ++head;
    while (head > 0 && !whole(head)) --head;
    return text.left(head) + ellipsis + text.right(tail);
}

class LabelPeer : public QtControlPeer {
public:
    LabelPeer(Label& label, QWidget* parent) : QtControlPeer(label, new QLabel(parent), true), label_(label) {
        static_cast<QLabel*>(widget_)->setTextFormat(Qt::PlainText);
    }
    void UpdateContent() override {
        auto* w = static_cast<QLabel*>(widget_);
        // Its accelerator, if the caption has one, moves the focus to the control it names.
        w->setBuddy(label_.FocusControl() ? ControlWidget(*label_.FocusControl()) : nullptr);
        const QString text = QString::fromStdString(label_.Caption());
        if (label_.AutoSize()) {
            w->setText(text);
            w->adjustSize();
            return;
        }
        const QString shown = ShortenInTheMiddle(w->fontMetrics(), text, w->width());
        w->setText(shown);
        w->setToolTip(shown == text ? QString::fromStdString(label_.Hint()) : text);
    }

private:
    Label& label_;
};

class ButtonPeer : public QtControlPeer {
public:
    ButtonPeer(Button& button, QWidget* parent) : QtControlPeer(button, new QPushButton(parent)), button_(button) {
        QObject::connect(static_cast<QPushButton*>(widget_), &QPushButton::clicked, [&button] { button.Click(); });
    }
    void UpdateContent() override {
        auto* w = static_cast<QPushButton*>(widget_);
        // The original captions mark accelerators with "&"; Qt does the same.
        w->setText(QString::fromStdString(control_.Caption()));
        // The dialog presses its default button on Enter.
        w->setDefault(button_.Default());
    }

private:
    Button& button_;
};

class ProgressPeer : public QtControlPeer {
public:
    ProgressPeer(ProgressBar& bar, QWidget* parent) : QtControlPeer(bar, new QProgressBar(parent), true), bar_(bar) {
        static_cast<QProgressBar*>(widget_)->setTextVisible(false);
    }
    void UpdateContent() override {
        auto* w = static_cast<QProgressBar*>(widget_);
        w->setRange(bar_.Min(), bar_.Max());
        w->setValue(bar_.Position());
    }

private:
    ProgressBar& bar_;
};

class AnimatePeer : public QtControlPeer {
public:
    AnimatePeer(Animate& anim, QWidget* parent) : QtControlPeer(anim, new ClipAnimation(parent)), anim_(anim) {}
    void UpdateContent() override {
        auto* w = static_cast<ClipAnimation*>(widget_);
        w->setClip(anim_.Clip());
        w->setActive(anim_.Active());
    }

private:
    Animate& anim_;
};

class CheckBoxPeer : public QtControlPeer {
public:
    CheckBoxPeer(CheckBox& box, QWidget* parent) : QtControlPeer(box, new QCheckBox(parent)), box_(box) {
        QObject::connect(static_cast<QCheckBox*>(widget_), &QCheckBox::toggled,
                         [&box](bool on) { box.UserSetChecked(on); });
    }
    void UpdateContent() override {
        auto* w = static_cast<QCheckBox*>(widget_);
        w->setText(QString::fromStdString(box_.Caption()));
        // Right to left puts the caption first and the box after it.
        w->setLayoutDirection(box_.CaptionLeft() ? Qt::RightToLeft : Qt::LeftToRight);
        const QSignalBlocker quiet(w);
        w->setChecked(box_.Checked());
    }

private:
    CheckBox& box_;
};

// A one-line field (QLineEdit, dots for a password) or a memo (QPlainTextEdit, lines "\n"). A field
// turned into a memo after it was made gets the other widget.
class EditPeer : public QtControlPeer {
public:
    EditPeer(Edit& edit, QWidget* parent) : QtControlPeer(edit, MakeWidget(edit, parent)), edit_(edit) {}
    void Update() override {
        if (edit_.Multiline() != (qobject_cast<QPlainTextEdit*>(widget_) != nullptr)) {
            QWidget* old = widget_;
            widget_ = MakeWidget(edit_, old->parentWidget());
            delete old;
        }
        QtControlPeer::Update();
    }
    void UpdateContent() override {
        const QString text = QString::fromStdString(edit_.Caption());
        const QSignalBlocker quiet(widget_);
        if (auto* line = qobject_cast<QLineEdit*>(widget_)) {
            line->setEchoMode(edit_.Password() ? QLineEdit::Password : QLineEdit::Normal);
            if (line->text() != text) line->setText(text);
        } else if (auto* memo = qobject_cast<QPlainTextEdit*>(widget_)) {
            if (memo->toPlainText() != text) memo->setPlainText(text);
        }
    }

private:
    static QWidget* MakeWidget(Edit& edit, QWidget* parent) {
        if (edit.Multiline()) {
            auto* memo = new QPlainTextEdit(parent);
            QObject::connect(memo, &QPlainTextEdit::textChanged,
                             [&edit, memo] { edit.UserSetText(memo->toPlainText().toStdString()); });
            return memo;
        }
        auto* line = new QLineEdit(parent);
        QObject::connect(line, &QLineEdit::textEdited, [&edit](const QString& t) { edit.UserSetText(t.toStdString()); });
        return line;
    }

    Edit& edit_;
};

// A framed box with a title; the controls placed in it become its child widgets.
class GroupBoxPeer : public QtControlPeer {
public:
    GroupBoxPeer(GroupBox& box, QWidget* parent) : QtControlPeer(box, new QGroupBox(parent)) {}
    ~GroupBoxPeer() override {
        // The controls inside outlive the box by a moment (each peer deletes its own widget): hand
        // their widgets back to the window so that deleting the box does not take them along.
        QWidget* outer = widget_->parentWidget();
        for (QWidget* child : widget_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) child->setParent(outer);
    }
    void UpdateContent() override {
        static_cast<QGroupBox*>(widget_)->setTitle(QString::fromStdString(control_.Caption()));
    }
};

class SpinEditPeer : public QtControlPeer {
public:
    SpinEditPeer(SpinEdit& spin, QWidget* parent) : QtControlPeer(spin, new QSpinBox(parent)), spin_(spin) {
        QObject::connect(static_cast<QSpinBox*>(widget_), &QSpinBox::valueChanged,
                         [&spin](int value) { spin.UserSetValue(value); });
    }
    void UpdateContent() override {
        auto* w = static_cast<QSpinBox*>(widget_);
        const QSignalBlocker quiet(w);
        w->setRange(spin_.MinValue(), spin_.MaxValue());
        w->setValue(spin_.Value());
    }

private:
    SpinEdit& spin_;
};

// Several lines can be selected with Shift and Ctrl when the list allows more than one.
class ListBoxPeer : public QtControlPeer {
public:
    ListBoxPeer(ListBox& list, QWidget* parent) : QtControlPeer(list, new QListWidget(parent)), list_(list) {
        auto* w = static_cast<QListWidget*>(widget_);
        QObject::connect(w, &QListWidget::itemSelectionChanged, [&list, w] {
            for (int row = 0; row < w->count(); ++row)
                list.UserSetSelected(static_cast<size_t>(row), w->item(row)->isSelected());
        });
    }
    void UpdateContent() override {
        auto* w = static_cast<QListWidget*>(widget_);
        const QSignalBlocker quiet(w);
        w->setSelectionMode(list_.MultiSelect() ? QAbstractItemView::ExtendedSelection
                                                : QAbstractItemView::SingleSelection);
        const std::vector<std::string>& items = list_.Items();
        bool same = static_cast<size_t>(w->count()) == items.size();
        for (size_t i = 0; same && i < items.size(); ++i)
            same = w->item(static_cast<int>(i))->text() == QString::fromStdString(items[i]);
        if (!same) {
            w->clear();
            for (const std::string& item : items) w->addItem(QString::fromStdString(item));
        }
        for (size_t i = 0; i < items.size(); ++i) w->item(static_cast<int>(i))->setSelected(list_.Selected(i));
    }

private:
    ListBox& list_;
};

// A picture from the Qt resources under ":/pictures/" (see platform/ui/qt/CMakeLists.txt); a name
// with no picture leaves the control empty.
class ImagePeer : public QtControlPeer {
public:
    ImagePeer(Image& image, QWidget* parent) : QtControlPeer(image, new QLabel(parent)), image_(image) {}
    void UpdateContent() override {
        auto* w = static_cast<QLabel*>(widget_);
        const QPixmap picture(":/pictures/" + QString::fromStdString(image_.Picture()) + ".png");
        w->setPixmap(picture);
        w->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        if (image_.AutoSize() && !picture.isNull()) w->resize(picture.deviceIndependentSize().toSize());
    }

private:
    Image& image_;
};

class QtBackend : public Backend {
public:
    QtBackend() {
        if (!qApp) throw rtl::Error("the Qt backend needs a QApplication");
    }
    std::unique_ptr<FormPeer> CreateFormPeer(Form& form) override { return std::make_unique<QtFormPeer>(form); }
    std::unique_ptr<ControlPeer> CreateControlPeer(Control& control) override {
        QWidget* parent = ParentWindow(control);
        if (auto* c = dynamic_cast<Label*>(&control)) return std::make_unique<LabelPeer>(*c, parent);
        if (auto* c = dynamic_cast<Button*>(&control)) return std::make_unique<ButtonPeer>(*c, parent);
        if (auto* c = dynamic_cast<ProgressBar*>(&control)) return std::make_unique<ProgressPeer>(*c, parent);
        if (auto* c = dynamic_cast<Animate*>(&control)) return std::make_unique<AnimatePeer>(*c, parent);
        if (auto* c = dynamic_cast<CheckBox*>(&control)) return std::make_unique<CheckBoxPeer>(*c, parent);
        if (auto* c = dynamic_cast<Edit*>(&control)) return std::make_unique<EditPeer>(*c, parent);
        if (auto* c = dynamic_cast<GroupBox*>(&control)) return std::make_unique<GroupBoxPeer>(*c, parent);
        if (auto* c = dynamic_cast<SpinEdit*>(&control)) return std::make_unique<SpinEditPeer>(*c, parent);
        if (auto* c = dynamic_cast<ListBox*>(&control)) return std::make_unique<ListBoxPeer>(*c, parent);
        if (auto* c = dynamic_cast<Image*>(&control)) return std::make_unique<ImagePeer>(*c, parent);
        return std::make_unique<QtControlPeer>(control, new QWidget(parent));
    }
    void ProcessMessages() override { QCoreApplication::processEvents(QEventLoop::AllEvents, 20); }
    void ShowMessage(const std::string& text) override {
        QMessageBox::information(QApplication::activeWindow(), QApplication::applicationDisplayName(),
                                 QString::fromStdString(text));
    }
    bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) override {
        bool ok = false;
        const QString text = QInputDialog::getText(QApplication::activeWindow(), QString::fromStdString(caption),
                                                   QString::fromStdString(prompt), QLineEdit::Normal,
                                                   QString::fromStdString(value), &ok);
        if (ok) value = text.toStdString();
        return ok;
    }
    void SetCursor(int cursor) override {
        while (QGuiApplication::overrideCursor()) QGuiApplication::restoreOverrideCursor();
        if (cursor == crHourGlass) QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    }
    // Text that Qt owns is gone when the program ends; on X11 and Wayland a clipboard tool keeps
    // offering it. Qt's own clipboard stands in where no tool takes it (other platforms).
    void SetClipboardText(const std::string& text) override {
        const QString platform = QGuiApplication::platformName();
        const DesktopSession session = platform == "xcb"                ? DesktopSession::X11
                                       : platform.startsWith("wayland") ? DesktopSession::Wayland
                                                                        : DesktopSession::None;
        if (session != DesktopSession::None && HandToClipboardOwner(text, session).ok) return;
        QGuiApplication::clipboard()->setText(QString::fromStdString(text));
    }
    std::string ClipboardText() override { return QGuiApplication::clipboard()->text().toStdString(); }
    void WakeUp() override {
        QMetaObject::invokeMethod(qApp, [] { ui::ProcessMessages(); }, Qt::QueuedConnection);
    }
    int CaptionHeight() const override { return QApplication::style()->pixelMetric(QStyle::PM_TitleBarHeight); }
    int ScreenWidth() const override { return QGuiApplication::primaryScreen()->geometry().width(); }
    int ScreenHeight() const override { return QGuiApplication::primaryScreen()->geometry().height(); }
};

QWidget* ControlWidget(const Control& control) {
    auto* peer = dynamic_cast<QtControlPeer*>(control.Peer());
    return peer ? peer->widget() : nullptr;
}

} // namespace

std::unique_ptr<Backend> CreateQtBackend() { return std::make_unique<QtBackend>(); }

QWidget* QtWidgetOf(const Control& control) {
    FlushPendingContent(); // whoever looks at a widget sees what its control holds
    if (auto* form = dynamic_cast<QtFormPeer*>(control.Peer())) return form->widget();
    if (auto* peer = dynamic_cast<QtControlPeer*>(control.Peer())) return peer->widget();
    return nullptr;
}

} // namespace zandrel::ui
