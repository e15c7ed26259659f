// The modal-window answering machine of the window tests.
#include "modalscript.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>

namespace guitest {

ModalScript::ModalScript(int deadlineMs) {
    connect(&poller_, &QTimer::timeout, this, &ModalScript::poll);
    poller_.start(5);
    deadline_.setSingleShot(true);
    connect(&deadline_, &QTimer::timeout, this, [this] { timedOut_ = true; });
    deadline_.start(deadlineMs);
}

void ModalScript::poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible()) return;
    if (timedOut_) {
        dismiss(modal);
        return;
    }
    if (modal == handled_) return;
    handled_ = modal;
    if (steps_.empty()) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        unexpected_ << (box ? box->text() : modal->objectName() + " " + modal->windowTitle());
        dismiss(modal);
        return;
    }
    Step step = std::move(steps_.front());
    steps_.pop_front();
    step(modal);
}

ModalScript::Step ModalScript::answerBox(int button, BoxSeen* seen) {
    return [button, seen](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box) {
            if (seen) seen->title = "not a message box: " + modal->objectName();
            dismiss(modal);
            return;
        }
        if (seen) {
            seen->title = box->windowTitle();
            seen->text = box->text();
            seen->icon = box->icon();
            for (QAbstractButton* b : box->buttons()) seen->buttons << b->text();
        }
        QAbstractButton* b = box->button(static_cast<QMessageBox::StandardButton>(button));
        if (b) {
            b->click();
        } else {
            dismiss(box);
        }
    };
}

void dismiss(QWidget* modal) {
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        QAbstractButton* b = box->escapeButton();
        if (!b && !box->buttons().isEmpty()) b = box->buttons().constFirst();
        if (b) b->click();
        return;
    }
    if (modal->objectName() == "Form2") {
        if (auto* list = modal->findChild<QListWidget*>("List1")) list->setCurrentRow(0);
        if (auto* choose = modal->findChild<QPushButton*>("Command1")) choose->click();
        return;
    }
    if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
}

}  // namespace guitest
