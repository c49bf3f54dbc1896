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
    captionLabel = new QLabel(this);
    captionLabel->setObjectName(QStringLiteral("Label1"));
    captionLabel->setAlignment(Qt::AlignCenter);
    progressBar = new QProgressBar(this);
    progressBar->setObjectName(QStringLiteral("ProgressBar1"));
    progressBar->setMinimum(0);
    progressBar->setValue(0);
    progressBar->setMinimumWidth(280);
    waitLabel = new QLabel(QStringLiteral("しばらくお待ちください"), this);
    waitLabel->setObjectName(QStringLiteral("Label2"));
    waitLabel->setAlignment(Qt::AlignCenter);
    layout->addWidget(captionLabel);
    layout->addWidget(progressBar);
    layout->addWidget(waitLabel);
}

void TProgressDlg::start(const QString &caption, qint64 steps)
{
    captionLabel->setText(caption);
    progressBar->setMaximum(int(qMin<qint64>(steps, INT_MAX)));
    setPosition(0);
    show();
}

void TProgressDlg::setPosition(int position)
{
    const int maximum = progressBar->maximum();
    const int width = qMax(1, progressBar->width());
    const int shown = maximum > 0 ? int(qint64(qBound(0, position, maximum)) * width / maximum) : 0;
    if (shown == m_shown)
        return;
    // a bar that moves every few milliseconds looks no different repainted 30 times a second
    const bool last = position >= maximum;
    if (m_clock.isValid() && m_clock.elapsed() < 33 && !last)
        return;
    m_clock.start();
    m_shown = shown;
    progressBar->setValue(position);
    ++m_repaints;
    if (isVisible()) {
        repaint();
        // keep the other windows painted; the user's input waits until the work is done
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
}
