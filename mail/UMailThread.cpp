#include "mail/UMailThread.h"

#include "mail/DeliveryPlan.h"
#include "mail/DeliverySend.h"
#include "mail/LogLine.h"
#include "mail/SmtpClient.h"
#include "store/AfterSendUpdate.h"
#include "store/Codec.h"
#include "store/Database.h"
#include "store/SendSettings.h"
#include "store/SendStates.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMutex>
#include <QWaitCondition>

#include <cstdio>

namespace {

// Error boxes of store failures; the store's own reason follows on the next line.
const QString kNotStarted = QStringLiteral("データベースを読めないため、配信できませんでした。");
const QString kReadFailed = QStringLiteral("データベースを読めないため、配信を途中で止めました。"
                                           "読めなかったメンバーは未送信のままです。");
const QString kRecordFailed = QStringLiteral("送信の記録を書けないため、配信を途中で止めました。"
                                             "残りのメンバーは未送信のままです。");
const QString kConnectionLost = QStringLiteral("メールサーバーに接続できなくなったため、配信を途中で止めました。"
                                               "残りのメンバーは未送信のままです。");
const QString kRecordFailedLine = QStringLiteral("送信の記録に失敗 ");

} // namespace

// The worker's time: waits sleep on a condition that a pause or a cancel wakes at once.
class TMailThread::Clock : public DeliveryClock
{
public:
    explicit Clock(const std::atomic<bool> &stop) : m_stop(stop) {}
    QDateTime now() override { return QDateTime::currentDateTime(); }
    bool waitUntil(const QDateTime &until) override
    {
        // Long waits (pacing, a retry's time) are cut into slices, so the delivery's lease
        // is renewed while it waits.
        constexpr qint64 kSliceMs = kSendLockLeaseSecs * 1000 / 6;
        while (!m_stop) {
            const qint64 left = QDateTime::currentDateTime().msecsTo(until);
            if (left <= 0)
                return true;
            {
                QMutexLocker lock(&m_mutex);
                if (m_stop)
                    break;
                m_wake.wait(&m_mutex, QDeadlineTimer(std::min(left, kSliceMs)));
            }
            if (m_idle)
                m_idle();
        }
        return false;
    }
    // Called between the slices of a wait.
    void setIdle(std::function<void()> idle) { m_idle = std::move(idle); }
    void wake()
    {
        QMutexLocker lock(&m_mutex);
        m_wake.wakeAll();
    }

private:
    const std::atomic<bool> &m_stop;
    QMutex m_mutex;
    QWaitCondition m_wake;
    std::function<void()> m_idle;
};

// What the send step learns goes straight into the records.
class TMailThread::Journal : public DeliveryJournal
{
public:
    Journal(int MagIdx, int MagCnt, QString UpdateSQL) : m_magIdx(MagIdx), m_magCnt(MagCnt), m_updateSql(std::move(UpdateSQL)) {}
    void reserve(const QList<qint64> &members) override { SendStates::reserve(m_magIdx, m_magCnt, members); }
    void sending(const QList<qint64> &members) override { SendStates::markSending(m_magIdx, m_magCnt, members); }
    void release(const QList<qint64> &members) override { SendStates::release(m_magIdx, m_magCnt, members); }
    void record(const QList<SendResult> &results) override
    {
        SendStates::record(m_magIdx, m_magCnt, m_updateSql, results);
        beat();
    }
    // The lock is a lease: renewed well within its term while the delivery runs.
    void beat()
    {
        if (m_beaten.isValid() && m_beaten.elapsed() < kSendLockLeaseSecs * 1000 / 6)
            return;
        try {
            SendLock::beat(m_magIdx, m_magCnt);
        } catch (const StoreError &) {
            // tried again at the next record; the lease has room for several misses
        }
        m_beaten.start();
    }

private:
    const int m_magIdx;
    const int m_magCnt;
    const QString m_updateSql;
    QElapsedTimer m_beaten;
};

TMailThread::TMailThread(int MagIdx, int MagCnt, Settings settings, QObject *parent)
    : QThread(parent), m_magIdx(MagIdx), m_magCnt(MagCnt), m_settings(std::move(settings)),
      m_clock(std::make_unique<Clock>(m_stop))
{
    if (!m_settings.isValidAddress)
        m_settings.isValidAddress = [](const QString &a) { return a.contains(u'@'); };
}

TMailThread::~TMailThread()
{
    wait();
}

void TMailThread::requestPause()
{
    m_stop = true;
    m_clock->wake();
}

void TMailThread::requestCancel()
{
    m_cancel = true;
    requestPause();
}

QString TMailThread::ErrorLogName(const QDateTime &when)
{
    return when.toString(QStringLiteral("yyyy-MM-dd HH-mm-ss")) + QStringLiteral("エラー.txt");
}

QString TMailThread::WriteErrorLog(const QString &DocDir, const QStringList &lines, const QDateTime &when)
{
    const QString folder = DocDir + QStringLiteral("/エラーログ");
    if (!QDir().mkpath(folder))
        return {};
    QByteArray bytes;
    for (const QString &line : lines)
        bytes += Codec::toCp932(LogLine::oneLine(line)) + "\r\n";
    const QString path = folder + u'/' + ErrorLogName(when);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        return {};
    return path;
}

void TMailThread::run()
{
    DeliverySummary summary{m_magIdx, m_magCnt, DeliveryEnd::NotStarted, {}};
    bool locked = false;
    try {
        QString holder;
        locked = m_settings.lockTaken || SendLock::acquire(m_magIdx, m_magCnt, &holder);
        if (!locked) {
            Q_EMIT ErrorBox(SendLockHeldText(holder));
        } else {
            if (m_settings.resendFailed || m_settings.resendUnknown)
                SendStates::requeue(m_magIdx, m_magCnt, m_settings.resendFailed, m_settings.resendUnknown);
            summary.end = deliver();
        }
    } catch (const StoreError &e) {
        // A read that failed before any mail went out: nothing is sent or recorded, and the
        // user learns why instead of seeing a delivery that never starts.
        Q_EMIT ErrorBox(kNotStarted + QStringLiteral("\r\n") + e.text());
    }
    if (locked) {
        try {
            if (m_cancel && summary.end != DeliveryEnd::NotStarted) {
                SendStates::cancelOpen(m_magIdx, m_magCnt);
                summary.end = DeliveryEnd::Cancelled;
            }
        } catch (const StoreError &e) {
            Q_EMIT ErrorBox(kRecordFailed + QStringLiteral("\r\n") + e.text());
        }
        try {
            SendLock::release(m_magIdx, m_magCnt);
        } catch (const StoreError &) {
            // The row names this process: once it has ended, the next delivery takes it over.
        }
    }
    try {
        summary.counts = SendStates::counts(m_magIdx, m_magCnt);
    } catch (const StoreError &) {
        // the summary shows no counts; the error box has said why already
    }
    Q_EMIT Summary(summary);
    Q_EMIT Ended();
    Q_EMIT RepaintStatus();
    Store::releaseThreadConnection();
}

void TMailThread::report(int count)
{
    if (count <= 0)
        return;
    m_reported.fetch_add(count);
    // Counted before the flag is looked at, and takeReports() clears the flag before it
    // takes the count: every count is either taken by a notice already under way or
    // announced by a new one, and reaches the receiver before whatever is emitted next.
    if (!m_reportWaiting.exchange(true))
        Q_EMIT ReportsWaiting();
}

qint64 TMailThread::takeReports()
{
    m_reportWaiting.store(false);
    return m_reported.exchange(0);
}

DeliveryEnd TMailThread::deliver()
{
    DeliveryPlan plan = LoadDeliveryPlan(m_magIdx, m_magCnt);
    if (!plan.recipients)
        return DeliveryEnd::Finished;
    // A refused after-send update would be found only after the first mails went out, each
    // recorded as sent and never counted: refused before anything is sent instead.
    if (!plan.UpdateSQL.isEmpty() && !AfterSendUpdate::read(plan.UpdateSQL)) {
        Q_EMIT ErrorBox(kNotStarted + QStringLiteral("\r\n") + AfterSendUpdateRefusedText());
        return DeliveryEnd::NotStarted;
    }
    const DeliverySettings stored = SendSettings::load();

    auto socket = m_settings.connect.socketFactory ? m_settings.connect.socketFactory() : makeTcpMailSocket();
    SmtpClient smtp(*socket);
    ConnectOptions connect = m_settings.connect;
    connect.cancel = &m_stop;
    Journal journal(m_magIdx, m_magCnt, plan.UpdateSQL);
    // Process-wide: exact when this is the only delivery of the process (the command line).
    const Store::CommitCounts commitsAtStart = Store::commitCounts();

    DeliverySendOptions options;
    options.isValidAddress = m_settings.isValidAddress;
    // A pause cuts a connection being opened, never a mail in flight: the mail's answer is
    // always awaited (within the reply timeout), so a pause never leaves it unknown.
    MailSocket *cuttable = socket.get();
    options.connect = [this, connect, cuttable](SmtpClient &client, QString *failure) {
        cuttable->setCancelFlag(&m_stop);
        const bool ok = ConnectServers(client, connect, failure);
        cuttable->setCancelFlag(nullptr);
        return ok;
    };
    options.stopRequested = [this] { return m_stop.load(); };
    options.report = [this](int count) { report(count); };
    options.waiting = [this](const QDateTime &until) {
        Q_EMIT Waiting(until);
        Q_EMIT RepaintStatus();
    };
    options.journal = &journal;
    m_clock->setIdle([&journal] { journal.beat(); });
    options.clock = m_clock.get();
    options.retry = m_settings.retry.value_or(stored.retry);
    options.pacing = stored.pacing;
    DeliveryOutcome outcome = SendDelivery(smtp, plan, options);
    m_clock->setIdle({});
    plan.recipients.reset();
    if (qEnvironmentVariableIntValue("TSUBAME_JOURNAL_STATS") == 1) {
        const Store::CommitCounts now = Store::commitCounts();
        const SendStateCounts &c = outcome.counts;
        fprintf(stderr, "journal: commits %lld syncs %lld recipients %lld\n",
                static_cast<long long>(now.commits - commitsAtStart.commits),
                static_cast<long long>(now.synced - commitsAtStart.synced),
                static_cast<long long>(c.sent + c.failed + c.skipped + c.unknown));
    }

    QStringList log = outcome.log;
    if (!outcome.journalFailure.isEmpty())
        log += kRecordFailedLine + outcome.journalFailure;
    if (!log.isEmpty())
        WriteErrorLog(m_settings.DocDir, log, QDateTime::currentDateTime());

    const bool started = outcome.counts.total() > 0;
    if (!started && !outcome.connectFailure.isEmpty()) {
        // The first connect failed: the box says why, as it always has, and every
        // recipient still waits.
        Q_EMIT ErrorBox(outcome.connectFailure);
        return DeliveryEnd::NotStarted;
    }
    report(outcome.unreported);
    QStringList box;
    if (!outcome.readFailure.isEmpty())
        box << kReadFailed << outcome.readFailure;
    if (!outcome.journalFailure.isEmpty())
        box << kRecordFailed << outcome.journalFailure;
    if (!outcome.connectFailure.isEmpty())
        box << kConnectionLost << outcome.connectFailure;
    if (!box.isEmpty()) {
        Q_EMIT ErrorBox(box.join(QStringLiteral("\r\n")));
        return DeliveryEnd::Interrupted;
    }
    return outcome.stopped ? DeliveryEnd::Paused : DeliveryEnd::Finished;
}
