#pragma once
// The buttons of the status bar's progress area for the delivery the progress follows:
// 一時停止 while it runs, 再開 once it has stopped with recipients left, 中止 in both cases,
// and beside them what it is doing ("待機中 hh:mm まで", a pause on its way, "一時停止中").
#include <QWidget>

class DeliveryProgress;
class QLabel;
class QToolButton;

class TDeliveryControls : public QWidget
{
    Q_OBJECT

public:
    explicit TDeliveryControls(const DeliveryProgress &progress, QWidget *parent = nullptr);

    QToolButton *pauseButton() const { return m_pause; }
    QToolButton *resumeButton() const { return m_resume; }
    QToolButton *cancelButton() const { return m_cancel; }
    QLabel *stateLabel() const { return m_state; }

Q_SIGNALS:
    void pauseClicked();
    void resumeClicked();
    void cancelClicked();

private:
    void follow();

    const DeliveryProgress &m_progress;
    QLabel *m_state;
    QToolButton *m_pause;
    QToolButton *m_resume;
    QToolButton *m_cancel;
};
