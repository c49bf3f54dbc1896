#pragma once
// Acting on a modal dialog that a command opens with exec(): the action runs once a dialog
// of the given class is the active modal widget. Gives up after a few seconds, so a dialog
// that never comes does not leave a watcher behind for the next test.
#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <QWidget>

#include <functional>

namespace ModalDialog {

template <class Dialog>
void whenShown(std::function<void(Dialog *)> act, int timeoutMs = 5000)
{
    auto *timer = new QTimer;
    auto *left = new int(timeoutMs / 10);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, left, act] {
        auto *dlg = qobject_cast<Dialog *>(QApplication::activeModalWidget());
        if (dlg || --*left <= 0) {
            timer->stop();
            timer->deleteLater();
            delete left;
            if (dlg)
                act(dlg);
        }
    });
    timer->start();
}

// For a command that must open this dialog: acts on it, then cancels it if it is still open
// (an action whose check failed half-way leaves it open). A different modal widget in its
// place is closed with a warning, so the test fails instead of waiting on it.
template <class Dialog>
void answer(std::function<void(Dialog *)> act, int timeoutMs = 5000)
{
    auto *timer = new QTimer;
    auto *left = new int(timeoutMs / 10);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, left, act] {
        QWidget *modal = QApplication::activeModalWidget();
        auto *dlg = qobject_cast<Dialog *>(modal);
        if (!modal && --*left > 0)
            return;
        timer->stop();
        timer->deleteLater();
        delete left;
        if (!dlg) {
            qWarning("the expected dialog did not open");
            if (modal)
                modal->close();
            return;
        }
        act(dlg);
        if (dlg->isVisible())
            dlg->reject();
    });
    timer->start();
}

} // namespace ModalDialog
