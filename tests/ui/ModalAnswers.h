#pragma once
// Answers the modal windows (message boxes, input boxes, modal forms) that open while a test
// drives the Qt backend, the way a person at the screen would, and notes what each one said.
#include <QApplication>
#include <QElapsedTimer>
#include <QInputDialog>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <string>
#include <vector>

namespace zandrel::ui::testing {

// While it lives, every modal window that opens is handed to the next answer in turn (from the
// event loop, so an answer may open further modal windows). A window with no answer left is
// closed and noted as unexpected; so is one still open after `limitMs`, so that a test never hangs.
class ModalAnswers {
public:
    using Answer = std::function<void(QWidget*)>;

    explicit ModalAnswers(std::vector<Answer> answers, int limitMs = 30000)
        : answers_(std::move(answers)), limitMs_(limitMs) {
        clock_.start();
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
        timer_.start();
    }

    // What each window showed, in order: a message box's text, an input box's label text, a
    // form's title.
    const std::vector<std::string>& Seen() const { return seen_; }
    size_t Answered() const { return next_; }

    // Answers for the common windows.
    static Answer Accept() {
        return [](QWidget* w) {
            if (auto* box = qobject_cast<QMessageBox*>(w)) box->accept();
            else if (auto* dialog = qobject_cast<QDialog*>(w)) dialog->accept();
        };
    }
    static Answer Type(const std::string& text) {
        return [text](QWidget* w) {
            auto* input = qobject_cast<QInputDialog*>(w);
            if (!input) {
                if (auto* dialog = qobject_cast<QDialog*>(w)) dialog->reject();
                return;
            }
            input->setTextValue(QString::fromStdString(text));
            input->accept();
        };
    }
    static Answer Reject() {
        return [](QWidget* w) {
            if (auto* dialog = qobject_cast<QDialog*>(w)) dialog->reject();
        };
    }

private:
    static std::string Describe(QWidget* w) {
        if (auto* box = qobject_cast<QMessageBox*>(w)) return box->text().toStdString();
        if (auto* input = qobject_cast<QInputDialog*>(w))
            return w->windowTitle().toStdString() + ": " + input->labelText().toStdString();
        return w->windowTitle().toStdString();
    }

    void Poll() {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible()) return;
        if (modal == current_) {
            if (clock_.elapsed() > limitMs_) Close(modal, "still open at the time limit: ");
            return;
        }
        current_ = modal;
        if (next_ >= answers_.size()) return Close(modal, "unexpected: ");
        seen_.push_back(Describe(modal));
        Answer answer = answers_[next_++];
        QPointer<QWidget> target(modal);
        QTimer::singleShot(0, [answer, target] {
            if (target) answer(target);
        });
    }

    void Close(QWidget* modal, const char* why) {
        seen_.push_back(why + Describe(modal));
        if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
        else modal->close();
    }

    std::vector<Answer> answers_;
    std::vector<std::string> seen_;
    size_t next_ = 0;
    int limitMs_;
    QElapsedTimer clock_;
    QTimer timer_;
    QPointer<QWidget> current_;
};

} // namespace zandrel::ui::testing
