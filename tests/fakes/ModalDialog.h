#pragma once
// Acting on a modal dialog that a command opens with exec(): the action runs once a dialog
// of the given class is the active modal widget. Gives up after a few seconds, so a dialog
// that never comes does not leave a watcher behind for the next test.
#include <QApplication>
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

} // namespace ModalDialog
