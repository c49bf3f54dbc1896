#pragma once
// The progress window of work that usually ends at once (deleting members or history): it
// appears only once the work has taken longer than a second, and then follows it. The work
// calls it between its steps, on this thread; the window is closed when this ends.
#include "maintenance/ui/FprogressDlg.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QString>

#include <memory>

class DelayedProgress
{
public:
    explicit DelayedProgress(QWidget *parent, const QString &caption, int delayMs = 1000);
    ~DelayedProgress();
    DelayedProgress(const DelayedProgress &) = delete;
    DelayedProgress &operator=(const DelayedProgress &) = delete;

    // done of total steps are behind.
    void operator()(qint64 done, qint64 total);

    // The window once shown; nullptr while the work is still short.
    TProgressDlg *window() const { return m_window.get(); }

private:
    QPointer<QWidget> m_parent;
    QString m_caption;
    int m_delayMs;
    QElapsedTimer m_clock;
    std::unique_ptr<TProgressDlg> m_window;
};
