#include "maintenance/ui/FProgressDlg.h"

#include <climits>

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

TProgressDlg::TProgressDlg(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("ProgressDlg"));
    setWindowTitle(QStringLiteral("進行状況"));
    setModal(false);
    auto *layout = new QVBoxLayout(this);
    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setAlignment(Qt::AlignCenter);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setMinimum(0);
    ProgressBar1->setValue(0);
    ProgressBar1->setMinimumWidth(280);
    Label2 = new QLabel(QStringLiteral("しばらくお待ちください"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setAlignment(Qt::AlignCenter);
    layout->addWidget(Label1);
    layout->addWidget(ProgressBar1);
    layout->addWidget(Label2);
}

void TProgressDlg::start(const QString &caption, qint64 steps)
{
    Label1->setText(caption);
    ProgressBar1->setMaximum(int(qMin<qint64>(steps, INT_MAX)));
    setPosition(0);
    show();
}

void TProgressDlg::setPosition(int position)
{
    const int maximum = ProgressBar1->maximum();
    const int width = qMax(1, ProgressBar1->width());
    const int shown = maximum > 0 ? int(qint64(qBound(0, position, maximum)) * width / maximum) : 0;
    if (shown == m_shown)
        return;
    // a bar that moves every few milliseconds looks no different repainted 30 times a second
    const bool last = position >= maximum;
    if (m_clock.isValid() && m_clock.elapsed() < 33 && !last)
        return;
    m_clock.start();
    m_shown = shown;
    ProgressBar1->setValue(position);
    ++m_repaints;
    if (isVisible()) {
        repaint();
        // keep the other windows painted; the user's input waits until the work is done
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
}
