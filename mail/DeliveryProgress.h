#pragma once
// The progress of the deliveries under way, as the status bar shows it. The main window
// owns it; only the delivery manager's signals change it, all on the user-interface thread.
#include <QObject>

class DeliveryManager;

class DeliveryProgress : public QObject
{
    Q_OBJECT

public:
    explicit DeliveryProgress(const DeliveryManager &deliveries, QObject *parent = nullptr);

    int SendingCount() const { return m_sendingCount; }   // delivery workers running
    int SendTotal() const { return m_sendTotal; }         // recipients of the deliveries in progress
    int SentCount() const { return m_sentCount; }         // mails reported sent of SendTotal
    bool SendFinished() const { return m_sendFinished; }  // any delivery has ended; never cleared

Q_SIGNALS:
    void changed();

private:
    void dispatched(int recipients);
    void started();
    void mailSent(int count);
    void ended();

    int m_sendingCount = 0;
    int m_sendTotal = 0;
    int m_sentCount = 0;
    bool m_sendFinished = false;
};
