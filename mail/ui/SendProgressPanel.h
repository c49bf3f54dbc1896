#pragma once
// The delivery progress panel of the main window's status bar (its third panel): a square
// that is blue while deliveries run, a blue bar for the share of recipients reported sent,
// and the percentage in white.
#include <QLabel>

class DeliveryProgress;
class QPainter;

class TSendProgressPanel : public QLabel
{
    Q_OBJECT

public:
    // Repaints itself whenever the progress changes.
    explicit TSendProgressPanel(const DeliveryProgress &progress, QWidget *parent = nullptr);

    // Draws into rect (right and bottom exclusive) what the counters say; nothing while no
    // delivery runs.
    static void StatusBar1DrawPanel(QPainter &painter, const QRect &rect, int SendingCount, bool SendFinished,
                                    int SentCount, int SendTotal, const QColor &buttonFace);
    // "32.5 %" for 13 of 40.
    static QString PercentText(int SentCount, int SendTotal);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    const DeliveryProgress &m_progress;
};
