#include "mail/ui/DeliveryControls.h"

#include "mail/DeliveryProgress.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>

namespace {

QToolButton *button(const QString &text, const QString &name, QWidget *parent)
{
    auto *b = new QToolButton(parent);
    b->setText(text);
    b->setObjectName(name);
    b->setAutoRaise(true);
    return b;
}

} // namespace

TDeliveryControls::TDeliveryControls(const DeliveryProgress &progress, QWidget *parent)
    : QWidget(parent), m_progress(progress), m_state(new QLabel(this)),
      m_pause(button(QStringLiteral("一時停止"), QStringLiteral("PauseButton"), this)),
      m_resume(button(QStringLiteral("再開"), QStringLiteral("ResumeButton"), this)),
      m_cancel(button(QStringLiteral("中止"), QStringLiteral("CancelButton"), this))
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_state->setObjectName(QStringLiteral("DeliveryState"));
    layout->addWidget(m_state);
    layout->addWidget(m_pause);
    layout->addWidget(m_resume);
    layout->addWidget(m_cancel);
    connect(m_pause, &QToolButton::clicked, this, &TDeliveryControls::pauseClicked);
    connect(m_resume, &QToolButton::clicked, this, &TDeliveryControls::resumeClicked);
    connect(m_cancel, &QToolButton::clicked, this, &TDeliveryControls::cancelClicked);
    connect(&progress, &DeliveryProgress::changed, this, &TDeliveryControls::follow);
    follow();
}

void TDeliveryControls::follow()
{
    const DeliveryProgress::State state = m_progress.state();
    m_state->setText(m_progress.stateText());
    m_pause->setVisible(state == DeliveryProgress::State::Running);
    // Asked once, the pause waits for the mail in flight; a cancel may still follow it.
    m_pause->setEnabled(m_progress.stopping() == DeliveryProgress::Stopping::No);
    m_cancel->setEnabled(m_progress.stopping() != DeliveryProgress::Stopping::Cancel);
    m_resume->setVisible(state == DeliveryProgress::State::Stopped);
    m_cancel->setVisible(state != DeliveryProgress::State::Idle);
}
