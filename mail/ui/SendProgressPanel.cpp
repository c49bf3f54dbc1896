#include "mail/ui/SendProgressPanel.h"

#include "mail/DeliveryProgress.h"

#include <QPainter>

#include <algorithm>

TSendProgressPanel::TSendProgressPanel(const DeliveryProgress &progress, QWidget *parent)
    : QLabel(parent), m_progress(progress)
{
    connect(&progress, &DeliveryProgress::changed, this, qOverload<>(&QWidget::update));
}

QString TSendProgressPanel::PercentText(int SentCount, int SendTotal)
{
    if (SendTotal <= 0)
        return QStringLiteral("0.0 %");
    const qint64 tenths = qint64(std::clamp(SentCount, 0, SendTotal)) * 1000 / SendTotal;
    return QStringLiteral("%1.%2 %").arg(tenths / 10).arg(tenths % 10);
}

QString TSendProgressPanel::CountText(int SentCount, int SendTotal)
{
    return QStringLiteral("%1 / %2 通").arg(SentCount).arg(SendTotal);
}

void TSendProgressPanel::StatusBar1DrawPanel(QPainter &painter, const QRect &rect, bool shown, bool SendFinished,
                                             int SentCount, int SendTotal, const QColor &buttonFace)
{
    if (!shown)
        return;
    const int left = rect.left();
    const int top = rect.top();
    const int right = rect.left() + rect.width();
    const int bottom = rect.top() + rect.height();
    painter.fillRect(QRect(left, top + 2, 15, bottom - top - 2), SendFinished ? buttonFace : QColor(Qt::blue));
    if (SendTotal <= 0)
        return;
    // Cut like the percentage: the bar is whole only when everything is.
    const int w = int(qint64(right - left) * std::clamp(SentCount, 0, SendTotal) / SendTotal);
    painter.fillRect(QRect(left, top + 2, w, bottom - top - 2), QColor(Qt::blue));
    const QString text = CountText(SentCount, SendTotal) + QStringLiteral("  ") + PercentText(SentCount, SendTotal);
    const QFontMetrics fm(painter.font());
    painter.setPen(Qt::white);
    const int x = left + (right - left) / 2 - fm.horizontalAdvance(text) / 2;
    painter.drawText(x, top + 4 + fm.ascent(), text);
}

void TSendProgressPanel::paintEvent(QPaintEvent *event)
{
    QLabel::paintEvent(event);
    QPainter p(this);
    StatusBar1DrawPanel(p, rect(), m_progress.barShown(), m_progress.SendFinished(), m_progress.SentCount(),
                        m_progress.SendTotal(), palette().color(QPalette::Button));
}
