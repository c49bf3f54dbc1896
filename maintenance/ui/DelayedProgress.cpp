#include "maintenance/ui/DelayedProgress.h"

namespace {

// The bar runs in thousandths: a count of rows can exceed what the bar holds.
constexpr int kBarSteps = 1000;

} // namespace

DelayedProgress::DelayedProgress(QWidget *parent, const QString &caption, int delayMs)
    : m_parent(parent), m_caption(caption), m_delayMs(delayMs)
{
    m_clock.start();
}

DelayedProgress::~DelayedProgress()
{
    if (m_window)
        m_window->close();
}

void DelayedProgress::operator()(qint64 done, qint64 total)
{
    if (!m_window) {
        if (m_clock.elapsed() < m_delayMs)
            return;
        m_window = std::make_unique<TProgressDlg>(m_parent.data());
        m_window->start(m_caption, kBarSteps);
    }
    m_window->setPosition(total > 0 ? int(qBound<qint64>(0, done, total) * kBarSteps / total) : 0);
}
