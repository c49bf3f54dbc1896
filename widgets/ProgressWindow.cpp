#include "widgets/ProgressWindow.h"

namespace {
constexpr int kSteps = 1000;
}

ProgressWindow::ProgressWindow(QWidget *parent, const QString &caption, Cancel cancel)
    : m_dialog(caption, QStringLiteral("キャンセル"), 0, kSteps, parent)
{
    if (cancel == Cancel::NotOffered)
        m_dialog.setCancelButton(nullptr);
    m_dialog.setWindowTitle(caption);
    // while the step runs nothing else of the program may be used
    m_dialog.setWindowModality(Qt::ApplicationModal);
    m_dialog.setMinimumDuration(1000);
    m_dialog.setAutoClose(false);
    m_dialog.setAutoReset(false);
    m_dialog.setValue(0); // starts the clock the second is counted on
}

bool ProgressWindow::update(qint64 done, qint64 total)
{
    if (total > 0) {
        const int step = int(qBound(qint64(1), done * kSteps / total, qint64(kSteps - 1)));
        if (step != m_dialog.value())
            m_dialog.setValue(step);
    }
    return !m_dialog.wasCanceled();
}
