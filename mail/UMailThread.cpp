#include "mail/UMailThread.h"

#include "mail/DeliveryPlan.h"
#include "mail/DeliverySend.h"
#include "mail/LogLine.h"
#include "mail/SmtpClient.h"
#include "store/Codec.h"
#include "store/Database.h"
#include "store/DeliveryRecords.h"

#include <QDir>
#include <QFile>

namespace {

const QString kCompletionFailedLine = QStringLiteral("送信済みの記録に失敗 ");

// Error boxes of store failures; the store's own reason follows on the next line.
const QString kNotStarted = QStringLiteral("データベースを読めないため、配信できませんでした。");
const QString kReadFailed = QStringLiteral("データベースを読めないため、配信を途中で止めました。"
                                           "読めなかったメンバーは未送信のままです。");
const QString kCompletionFailed = QStringLiteral("メールは送信しましたが、送信済みの記録に失敗しました。");

// Quits the SMTP session on every way out of a delivery.
struct SessionGuard {
    SmtpClient &smtp;
    ~SessionGuard() { smtp.quit(); }
};

// Keeps the members whose fate became final, for the completion written after the send.
class CompletionJournal : public DeliveryJournal
{
public:
    void sending(const QList<qint64> &) override {}
    void record(const QList<SendResult> &results) override
    {
        for (const SendResult &r : results)
            if (r.state == SendState::Sent || r.state == SendState::Skipped || r.state == SendState::Failed)
                settled += r.MagUser;
    }
    QList<qint64> settled;
};

} // namespace

TMailThread::TMailThread(int MagIdx, int MagCnt, Settings settings, QObject *parent)
    : QThread(parent), m_magIdx(MagIdx), m_magCnt(MagCnt), m_settings(std::move(settings))
{
    if (!m_settings.isValidAddress)
        m_settings.isValidAddress = [](const QString &a) { return a.contains(u'@'); };
}

TMailThread::~TMailThread()
{
    wait();
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
    try {
        deliver();
    } catch (const StoreError &e) {
        // A read that failed before any mail went out: nothing is sent or marked complete,
        // and the user learns why instead of seeing a delivery that never starts.
        Q_EMIT ErrorBox(kNotStarted + QStringLiteral("\r\n") + e.text());
    }
    Q_EMIT Ended();
    Q_EMIT RepaintStatus();
    Store::releaseThreadConnection();
}

void TMailThread::report(int count)
{
    Q_EMIT MailSent(count);
    Q_EMIT RepaintStatus();
}

void TMailThread::deliver()
{
    DeliveryPlan plan = LoadDeliveryPlan(m_magIdx, m_magCnt);
    if (!plan.recipients)
        return;

    auto socket = m_settings.connect.socketFactory ? m_settings.connect.socketFactory() : makeTcpMailSocket();
    socket->setCancelFlag(&m_stop);
    SmtpClient smtp(*socket);
    ConnectOptions connect = m_settings.connect;
    connect.cancel = &m_stop;
    SessionGuard session{smtp};

    CompletionJournal journal;
    DeliverySendOptions options;
    options.isValidAddress = m_settings.isValidAddress;
    options.connect = [&connect](SmtpClient &c, QString *failure) { return ConnectServers(c, connect, failure); };
    options.stopRequested = [this] { return m_stop.load(); };
    options.report = [this](int count) { report(count); };
    options.journal = &journal;
    // No waiting inside this thread: a mail put off fails at once, and a lost session ends
    // the delivery, the members not reached staying unsent.
    options.retry.delaysSeconds.clear();
    DeliveryOutcome outcome = SendDelivery(smtp, plan, options);
    // The recipient rows are done with before the completion writes to the same tables.
    plan.recipients.reset();
    if (!outcome.connectFailure.isEmpty() && journal.settled.isEmpty()) {
        Q_EMIT ErrorBox(outcome.connectFailure);
        return;
    }

    bool completed = true;
    QString completionFailure;
    try {
        RecordDeliveryCompletion(m_magIdx, m_magCnt, plan.UpdateSQL, true, journal.settled);
    } catch (const StoreError &e) {
        // Rolled back: the mails are out but the issue is not marked complete, which the
        // user must hear of (a resend would reach everyone a second time).
        completed = false;
        completionFailure = e.text();
        outcome.log += kCompletionFailedLine + completionFailure;
    }
    report(outcome.unreported);
    if (!outcome.log.isEmpty())
        WriteErrorLog(m_settings.DocDir, outcome.log, QDateTime::currentDateTime());

    QStringList box;
    if (!outcome.readFailure.isEmpty())
        box << kReadFailed << outcome.readFailure;
    if (!outcome.connectFailure.isEmpty())
        box << outcome.connectFailure;
    if (!completed)
        box << kCompletionFailed << completionFailure;
    if (!box.isEmpty())
        Q_EMIT ErrorBox(box.join(QStringLiteral("\r\n")));
}
