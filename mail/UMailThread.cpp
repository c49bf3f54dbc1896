#include "mail/UMailThread.h"

#include "mail/LogLine.h"
#include "mail/MailFormat.h"
#include "mail/SmtpClient.h"
#include "mail/UPlaceholders.h"
#include "mail/jconvert.h"
#include "store/Codec.h"
#include "store/Database.h"
#include "store/MainState.h"
#include "store/Sql.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QMutex>
#include <QSet>

namespace {

QMutex g_runningLock;
QSet<TMailThread *> g_running;

QString num(qint64 v)
{
    return QString::number(v);
}

// Lines of the stopped delivery's error log and of its completion.
const QString kStopped = QStringLiteral("アプリケーションの終了による中断");
const QString kReadFailedLine = QStringLiteral("データベースの読み込みエラーによる中断 ");
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

} // namespace

TMailThread::TMailThread(int MagIdx, int MagCnt, MainState &state, Settings settings, QObject *parent)
    : QThread(parent), m_magIdx(MagIdx), m_magCnt(MagCnt), m_state(state), m_settings(std::move(settings))
{
    if (!m_settings.isValidAddress)
        m_settings.isValidAddress = [](const QString &a) { return a.contains(u'@'); };
}

TMailThread::~TMailThread()
{
    wait();
}

void TMailThread::Start()
{
    m_started = true;
    m_state.SendingCount += 1;
    {
        QMutexLocker lock(&g_runningLock);
        g_running.insert(this);
    }
    start();
}

void TMailThread::RequestStopAll()
{
    QMutexLocker lock(&g_runningLock);
    for (TMailThread *t : std::as_const(g_running))
        t->m_stop = true;
}

int TMailThread::Running()
{
    QMutexLocker lock(&g_runningLock);
    return int(g_running.size());
}

bool TMailThread::WaitForAll(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (Running() > 0 && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return Running() == 0;
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
    wrapUp();
}

void TMailThread::report(int &pending)
{
    Q_EMIT MailSent(pending);
    Q_EMIT RepaintStatus();
    pending = 0;
}

void TMailThread::deliver()
{
    if (m_magIdx == 0 || m_magCnt == 0)
        return;
    const QString idx = num(m_magIdx);
    const QString cnt = num(m_magCnt);

    Statement recipients;
    recipients.open(Sql::lines({QStringLiteral("select U.UserAdrs,U.UserName,U.url,U.count1,U.count2,U.UserDate1,"
                                               "U.UserDate2,H.MagUser"),
                                QStringLiteral("From MagUser U,MagHist H"),
                                QStringLiteral("where H.MagUser = U.userIdx and H.Magidx = U.MagIdx"),
                                QStringLiteral("and H.MagCnt =") + cnt, QStringLiteral("and H.MagIdx =") + idx}));
    if (!recipients.next())
        return;

    auto socket = m_settings.connect.socketFactory ? m_settings.connect.socketFactory() : makeTcpMailSocket();
    socket->setCancelFlag(&m_stop);
    SmtpClient smtp(*socket);
    ConnectOptions connect = m_settings.connect;
    connect.cancel = &m_stop;
    QString failure;
    if (!ConnectServers(smtp, connect, &failure)) {
        Q_EMIT ErrorBox(failure);
        return;
    }
    SessionGuard session{smtp};

    Statement other;
    other.open(QStringLiteral("select Owner,Adrs,Atena,UseUserName from Magzine where MagIdx = ") + idx);
    if (!other.next())
        return;
    const QString Owner = other.text(0);
    const QString Adrs = other.text(1);
    const QString Atena = other.text(2);
    const bool useUserName = other.integer(3) == 1;
    other.open(Sql::lines({QStringLiteral("select * from MagInfo where MagIdx = ") + idx,
                           QStringLiteral("and MagCnt = ") + cnt}));
    QString Title, Body, UpdateSQL;
    if (other.next()) {
        Title = other.text(QStringLiteral("Title"));
        Body = other.text(QStringLiteral("Body"));
        UpdateSQL = other.text(QStringLiteral("UpdateSQL"));
    }
    other.close();
    Body = Sql::unescapeBody(Body);

    const Mode mode = HasPlaceholders(Body) ? Mode::Personalised : useUserName ? Mode::Individual : Mode::Batch;
    const MailFormat format(Owner, Adrs, Atena, Title);
    const QByteArray sjisBody = Codec::toCp932(Body);
    const QByteArray sameBody = mode == Mode::Personalised ? QByteArray() : MimeBodyEncode(sjisBody);
    const QDate today = QDate::currentDate();

    int pending = 0;
    QStringList errors;
    QStringList batch;
    QList<qint64> reached;
    bool interrupted = false;
    // A recipient row that cannot be read ends the loop like a stop: the members reached
    // so far are completed, the others keep SendComplete 0 and the user is told.
    bool readFailed = false;
    QString readFailure;
    const auto nextRecipient = [&] {
        try {
            return recipients.next();
        } catch (const StoreError &e) {
            readFailed = true;
            readFailure = e.text();
            return false;
        }
    };
    auto sendBatch = [&]() {
        return smtp.sendMail(format.sender(), batch, format.batch(sameBody, QDateTime::currentDateTime()));
    };

    do {
        if (m_stop) {
            errors += kStopped;
            interrupted = true;
            break;
        }
        const QString UserAdrs = recipients.text(0);
        reached += recipients.integer(7);
        if (!m_settings.isValidAddress(UserAdrs))
            continue;
        // An address the SMTP session would refuse fails on its own, not with its batch.
        if (!SmtpClient::isPlainAddress(UserAdrs)) {
            errors += UserAdrs;
            continue;
        }
        if (mode == Mode::Batch) {
            batch += UserAdrs;
            if (++pending >= kBatchSize) {
                if (sendBatch())
                    report(pending);
                else
                    errors += batch;
                batch.clear();
                pending = 0;
            }
            continue;
        }
        QByteArray body = sameBody;
        if (mode == Mode::Personalised) {
            MemberValues member;
            member.UserName = recipients.text(1);
            member.url = recipients.text(2);
            member.count1 = recipients.integer(3);
            member.count2 = recipients.integer(4);
            member.UserDate1 = recipients.text(5);
            member.UserDate2 = recipients.text(6);
            body = MimeBodyEncode(PersonalizeSjis(sjisBody, member, today));
        }
        if (smtp.sendMail(format.sender(), {UserAdrs}, format.individual(UserAdrs, body, QDateTime::currentDateTime()))) {
            if (++pending >= kReportEvery)
                report(pending);
        } else {
            errors += UserAdrs;
        }
    } while (nextRecipient());
    recipients.close();
    if (readFailed) {
        errors += kReadFailedLine + readFailure;
        interrupted = true;
    }

    if (!batch.isEmpty()) {
        if (sendBatch()) {
            pending = int(batch.size());
        } else {
            errors += batch;
            pending = 0;
        }
        batch.clear();
    }
    smtp.quit();

    QString completionFailure;
    const bool completed = complete(UpdateSQL, interrupted, reached, &completionFailure);
    if (!completed)
        errors += kCompletionFailedLine + completionFailure;
    report(pending);
    if (!errors.isEmpty())
        WriteErrorLog(m_settings.DocDir, errors, QDateTime::currentDateTime());

    QStringList box;
    if (readFailed)
        box << kReadFailed << readFailure;
    if (!completed)
        box << kCompletionFailed << completionFailure;
    if (!box.isEmpty())
        Q_EMIT ErrorBox(box.join(QStringLiteral("\r\n")));
}

bool TMailThread::complete(const QString &UpdateSQL, bool interrupted, const QList<qint64> &reached, QString *failure)
{
    const QString idx = num(m_magIdx);
    const QString cnt = num(m_magCnt);
    try {
        Transaction t;
        Statement s;
        if (!interrupted) {
            s.exec(Sql::lines({QStringLiteral("update MagHist set SendComplete = 1"),
                               QStringLiteral("where MagIdx = ") + idx, QStringLiteral("and MagCnt = ") + cnt}));
        } else {
            // Only the members the delivery reached are done; the others keep SendComplete 0
            // so the history shows who was not sent to.
            constexpr qsizetype kChunk = 500;
            for (qsizetype from = 0; from < reached.size(); from += kChunk) {
                QStringList ids;
                for (qsizetype i = from; i < qMin(reached.size(), from + kChunk); ++i)
                    ids += num(reached.at(i));
                s.exec(Sql::lines({QStringLiteral("update MagHist set SendComplete = 1"),
                                   QStringLiteral("where MagIdx = ") + idx, QStringLiteral("and MagCnt = ") + cnt,
                                   QStringLiteral("and MagUser in (") + ids.join(u',') + u')'}));
            }
        }
        if (!UpdateSQL.isEmpty())
            s.exec(Sql::lines({QStringLiteral("update MagUser ") + UpdateSQL, QStringLiteral("where MagIdx = ") + idx,
                               QStringLiteral("and UserIdx in (select MagUser from MagHist where MagIdx=") + idx,
                               QStringLiteral("and MagCnt = ") + cnt
                                   + (interrupted ? QStringLiteral(" and SendComplete = 1)") : QStringLiteral(")"))}));
        t.commit();
    } catch (const StoreError &e) {
        // Rolled back by the guard: the mails are out but the issue is not marked complete,
        // which the user must hear of (a resend would reach everyone a second time).
        *failure = e.text();
        return false;
    }
    return true;
}

void TMailThread::wrapUp()
{
    m_state.SendFinished = true;
    Q_EMIT RepaintStatus();
    if (m_started)
        m_state.SendingCount -= 1;
    Store::releaseThreadConnection();
    QMutexLocker lock(&g_runningLock);
    g_running.remove(this);
}
