#pragma once
// The progress window of one long step of the main window (a backup, a restore, a large
// delete): a bar, and a cancel button where the step can be undone. It appears only once
// the step has run a second and looks like running on; before that, and for a short step,
// nothing is shown.
#include <QProgressDialog>

class ProgressWindow
{
public:
    enum class Cancel { Offered, NotOffered };
    ProgressWindow(QWidget *parent, const QString &caption, Cancel cancel = Cancel::Offered);
    ProgressWindow(const ProgressWindow &) = delete;
    ProgressWindow &operator=(const ProgressWindow &) = delete;

    // Moves the bar to done out of total (total 0: unknown, the bar stays where it is); counts
    // beyond what a bar holds are fine.
    // Returns false once the user asked to cancel. Waiting events are handled only when the
    // drawn bar moves, so millions of steps cost a thousand repaints at most.
    bool update(qint64 done, qint64 total);

    QProgressDialog &dialog() { return m_dialog; }

private:
    QProgressDialog m_dialog;
};
