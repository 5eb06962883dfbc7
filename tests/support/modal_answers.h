// Answers the modal boxes and dialogs of a window under test, in order, as a user would, and records each
// one as "title|text" (a file dialog as "title|"). A box that nobody planned for is cancelled, so that a
// test never hangs on it. Header only, for the test executables of either window.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QTimer>
#include <deque>
#include <functional>
#include <vector>

namespace brindlecor::testing {

class ModalAnswers {
  public:
    using Answer = std::function<void(QWidget*)>;

    ModalAnswers() {
        // Polled rather than timed: a box can appear at any moment of the command under test.
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
        timer_.start();
    }
    void add(Answer answer) { pending_.push_back(std::move(answer)); }

    std::vector<QString> seen;
    std::vector<QMessageBox::Icon> icons;  // the icon of each message box, in the order seen

  private:
    void poll() {
        QWidget* modal = QApplication::activeModalWidget();
        // Boxes live on the stack and a new one may take the address of the last: mark each one seen.
        if (!modal || !modal->isVisible() || modal->property("answered").toBool()) return;
        modal->setProperty("answered", true);
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            seen.push_back(box->windowTitle() + "|" + box->text());
            icons.push_back(box->icon());
        } else if (auto* input = qobject_cast<QInputDialog*>(modal)) {
            seen.push_back(input->windowTitle() + "|" + input->labelText());
        } else {
            seen.push_back(modal->windowTitle() + "|");
        }
        if (pending_.empty()) {
            if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
            return;
        }
        Answer answer = std::move(pending_.front());
        pending_.pop_front();
        answer(modal);
    }

    QTimer timer_;
    std::deque<Answer> pending_;
};

// Presses a button of a message box.
inline ModalAnswers::Answer press(QMessageBox::StandardButton button) {
    return [button](QWidget* w) {
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->button(button))
            box->button(button)->click();
        else if (auto* dialog = qobject_cast<QDialog*>(w))
            dialog->reject();
    };
}

// Types a text into an input box and presses OK.
inline ModalAnswers::Answer type(const QString& text) {
    return [text](QWidget* w) {
        if (auto* input = qobject_cast<QInputDialog*>(w)) {
            input->setTextValue(text);
            input->accept();
        } else if (auto* dialog = qobject_cast<QDialog*>(w)) {
            dialog->reject();
        }
    };
}

// Chooses a file in a file dialog; `look` sees the dialog first.
inline ModalAnswers::Answer chooseFile(const QString& path, std::function<void(QFileDialog*)> look = {}) {
    return [path, look](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        if (!dialog) {
            if (auto* other = qobject_cast<QDialog*>(w)) other->reject();
            return;
        }
        if (look) look(dialog);
        dialog->selectFile(path);
        QMetaObject::invokeMethod(dialog, "accept");
    };
}

}  // namespace brindlecor::testing
