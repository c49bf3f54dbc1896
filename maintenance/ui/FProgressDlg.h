#pragma once
// The progress window of long member work (import, removal by list): a caption, a bar
// and "しばらくお待ちください". It stays on top, does not block and has no buttons.
#include <QDialog>
#include <QElapsedTimer>

class QLabel;
class QProgressBar;

class TProgressDlg : public QDialog
{
    Q_OBJECT

public:
    explicit TProgressDlg(QWidget *parent = nullptr);

    // Sets the bar's position. The window is repainted, and waiting paint and timer
    // events of the other windows are handled, only when the drawn bar changes (and at
    // most about 30 times a second), so a hundred thousand steps cost a few dozen
    // repaints rather than one each.
    void setPosition(int position);
    // Shows the window with its caption line and a bar running from 0 to `steps`.
    void start(const QString &caption, qint64 steps);
    // How often the drawn bar changed (the benchmark reports it).
    int repaints() const { return m_repaints; }

    QLabel *captionLabel = nullptr;
    QProgressBar *progressBar = nullptr;
    QLabel *waitLabel = nullptr;

private:
    int m_shown = -1;
    int m_repaints = 0;
    QElapsedTimer m_clock;
};
