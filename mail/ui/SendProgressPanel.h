#pragma once
// The delivery progress panel of the main window's status bar (its third panel): a square
// that is blue while deliveries run, a blue bar for the share of recipients at their final
// state, and over it in white the count and the percentage ("13 / 40 通  32.5 %").
#include <QLabel>

class DeliveryProgress;
class QPainter;

class TSendProgressPanel : public QLabel
{
    Q_OBJECT

public:
    // Repaints itself whenever the progress changes.
    explicit TSendProgressPanel(const DeliveryProgress &progress, QWidget *parent = nullptr);

    // Draws into rect (right and bottom exclusive) what the counters say; nothing unless
    // shown (a delivery runs or has stopped with recipients left).
    static void StatusBar1DrawPanel(QPainter &painter, const QRect &rect, bool shown, bool SendFinished,
                                    int SentCount, int SendTotal, const QColor &buttonFace);
    // "32.5 %" for 13 of 40; cut, never rounded up, so "100.0 %" means all of them.
    static QString PercentText(int SentCount, int SendTotal);
    // "13 / 40 通"
    static QString CountText(int SentCount, int SendTotal);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    const DeliveryProgress &m_progress;
};
