#include "mail/ui/SendProgressPanel.h"

#include "mail/DeliveryProgress.h"

#include <QPainter>

TSendProgressPanel::TSendProgressPanel(const DeliveryProgress &progress, QWidget *parent)
    : QLabel(parent), m_progress(progress)
{
    connect(&progress, &DeliveryProgress::changed, this, qOverload<>(&QWidget::update));
}

QString TSendProgressPanel::PercentText(int SentCount, int SendTotal)
{
    const double ratio = SendTotal == 0 ? 0.0 : double(SentCount) / double(SendTotal);
    return QString::asprintf("%.1f %%", ratio * 100.0);
}

void TSendProgressPanel::StatusBar1DrawPanel(QPainter &painter, const QRect &rect, int SendingCount, bool SendFinished,
                                             int SentCount, int SendTotal, const QColor &buttonFace)
{
    if (SendingCount == 0)
        return;
    const int left = rect.left();
    const int top = rect.top();
    const int right = rect.left() + rect.width();
    const int bottom = rect.top() + rect.height();
    painter.fillRect(QRect(left, top + 2, 15, bottom - top - 2), SendFinished ? buttonFace : QColor(Qt::blue));
    if (SendTotal == 0)
        return;
    const double ratio = double(SentCount) / double(SendTotal);
    const int w = qRound((right - left) * ratio);
    painter.fillRect(QRect(left, top + 2, w, bottom - top - 2), QColor(Qt::blue));
    const QString text = PercentText(SentCount, SendTotal);
    const QFontMetrics fm(painter.font());
    painter.setPen(Qt::white);
    const int x = left + (right - left) / 2 - fm.horizontalAdvance(text) / 2;
    painter.drawText(x, top + 4 + fm.ascent(), text);
}

void TSendProgressPanel::paintEvent(QPaintEvent *event)
{
    QLabel::paintEvent(event);
    QPainter p(this);
    StatusBar1DrawPanel(p, rect(), m_progress.SendingCount(), m_progress.SendFinished(), m_progress.SentCount(),
                        m_progress.SendTotal(), palette().color(QPalette::Button));
}
