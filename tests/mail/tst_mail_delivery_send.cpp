// The send step of a delivery against a scripted server: no thread, no store. The exact
// bytes of each mode, refusals, a dropped connection, a stop and an unreadable recipient.
#include "fakes/FakeMailSocket.h"
#include "mail/DeliverySend.h"
#include "mail/SmtpClient.h"

#include <QTimeZone>
#include <QtTest>

namespace {

const QDateTime kNow(QDate(2026, 3, 5), QTime(9, 4, 1), QTimeZone(9 * 3600));

// Recipients from a list; may fail to read one (failAt) and may run a hook before each.
class ListRecipients : public RecipientSource
{
public:
    explicit ListRecipients(QList<DeliveryRecipient> list, int failAt = -1) : m_list(std::move(list)), m_failAt(failAt) {}
    bool next(DeliveryRecipient *r) override
    {
        if (m_at == m_failAt) {
            m_failure = QStringLiteral("disk I/O error");
            return false;
        }
        if (m_at >= m_list.size())
            return false;
        if (beforeEach)
            beforeEach(m_at);
        *r = m_list.at(m_at++);
        return true;
    }
    QString failure() const override { return m_failure; }
    std::function<void(int)> beforeEach;

private:
    QList<DeliveryRecipient> m_list;
    int m_failAt;
    int m_at = 0;
    QString m_failure;
};

QString addr(int i)
{
    return QStringLiteral("m%1@example.com").arg(i);
}

QList<DeliveryRecipient> members(const QStringList &addresses)
{
    QList<DeliveryRecipient> out;
    for (int i = 0; i < addresses.size(); ++i) {
        DeliveryRecipient r;
        r.MagUser = 100 + i;
        r.UserAdrs = addresses.at(i);
        r.values.UserName = QStringLiteral("Name%1").arg(i);
        out += r;
    }
    return out;
}

QStringList numbered(int n)
{
    QStringList out;
    for (int i = 0; i < n; ++i)
        out += addr(i);
    return out;
}

DeliveryPlan plan(DeliveryMode mode, const QStringList &addresses, const QString &body = QStringLiteral("Hello\r\n"))
{
    DeliveryPlan p;
    p.MagIdx = 3;
    p.MagCnt = 7;
    p.Owner = QStringLiteral("Owner");
    p.Adrs = QStringLiteral("owner@example.jp");
    p.Atena = QStringLiteral("Readers");
    p.Title = QStringLiteral("News");
    p.Body = body;
    p.mode = mode;
    p.recipients = std::make_unique<ListRecipients>(members(addresses));
    return p;
}

const QByteArray kAccept = "250 ok\r\n";

// The server's answers to one mail with `rcpts` recipients, all accepted.
void acceptMail(FakeMailSocket &s, int rcpts = 1)
{
    QByteArray answers = kAccept + kAccept;  // RSET, MAIL FROM
    for (int i = 0; i < rcpts; ++i)
        answers += kAccept;
    s.serverSends(answers + "354 go\r\n250 queued\r\n");
}

// A client connected to the fake server, with the greeting and EHLO already read and
// their bytes cleared from the transcript.
struct Session {
    FakeMailSocket socket;
    SmtpClient smtp{socket};
    Session()
    {
        socket.serverSends("220 mail.example.jp ESMTP\r\n").serverSends("250 mail.example.jp\r\n");
        SmtpOptions o;
        o.host = QStringLiteral("mail.example.jp");
        o.heloName = QStringLiteral("client.local");
        o.replyTimeoutMs = 2000;
        smtp.setOptions(o);
    }
    bool connect()
    {
        const bool ok = smtp.connectToServer();
        socket.written.clear();
        return ok;
    }
};

struct Run {
    DeliveryOutcome outcome;
    QList<int> reports;
};

Run send(Session &s, DeliveryPlan &p, const std::atomic<bool> *cancel = nullptr)
{
    Run run;
    DeliverySendOptions o;
    o.isValidAddress = [](const QString &a) { return a.contains(u'@'); };
    o.cancel = cancel;
    o.report = [&run](int n) { run.reports += n; };
    o.now = [] { return kNow; };
    run.outcome = SendDelivery(s.smtp, p, o);
    return run;
}

const QByteArray kHeaderTail = "Content-Type: text/plain; charset=\"ISO-2022-JP\"\r\n"
                               "MIME-Version: 1.0\r\n"
                               "Content-Transfer-Encoding: BASE64\r\n"
                               "Date: Thu, 05 Mar 2026 09:04:01 +0900\r\n"
                               "\r\n";

QByteArray envelope(const QStringList &to)
{
    QByteArray out = "RSET\r\nMAIL FROM: <owner@example.jp>\r\n";
    for (const QString &a : to)
        out += "RCPT TO:<" + a.toLatin1() + ">\r\n";
    return out + "DATA\r\n";
}

} // namespace

class TestMailDeliverySend : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void exactBytes_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("body");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray from = "From: \"Owner\" <owner@example.jp>\r\nSubject: News\r\n";
        const QByteArray hello = "SGVsbG8NCg==\r\n.\r\n";  // "Hello\r\n"
        QTest::newRow("individual: one mail per member, To the member")
            << int(DeliveryMode::Individual) << QStringLiteral("Hello\r\n")
            << envelope({addr(0)}) + from + "To: \"Readers\" <m0@example.com>\r\n" + kHeaderTail + hello
                   + envelope({addr(1)}) + from + "To: \"Readers\" <m1@example.com>\r\n" + kHeaderTail + hello
                   + "QUIT\r\n";
        QTest::newRow("batch: one mail, every member in the envelope only")
            << int(DeliveryMode::Batch) << QStringLiteral("Hello\r\n")
            << envelope({addr(0), addr(1)}) + from + "To: \"Readers\" <>\r\n" + kHeaderTail + hello + "QUIT\r\n";
        // "Hi [member name]\r\n" with each member's name put in.
        QTest::newRow("personalised: each member's own body")
            << int(DeliveryMode::Personalised) << QStringLiteral("Hi [member name]\r\n")
            << envelope({addr(0)}) + from + "To: \"Readers\" <m0@example.com>\r\n" + kHeaderTail + "SGkgTmFtZTANCg==\r\n.\r\n"
                   + envelope({addr(1)}) + from + "To: \"Readers\" <m1@example.com>\r\n" + kHeaderTail
                   + "SGkgTmFtZTENCg==\r\n.\r\n" + "QUIT\r\n";
    }
    void exactBytes()
    {
        QFETCH(int, mode);
        QFETCH(QString, body);
        QFETCH(QByteArray, expected);
        Session s;
        QVERIFY(s.connect());
        const bool batch = DeliveryMode(mode) == DeliveryMode::Batch;
        acceptMail(s.socket, batch ? 2 : 1);
        if (!batch)
            acceptMail(s.socket);
        s.socket.serverSends("221 bye\r\n");
        DeliveryPlan p = plan(DeliveryMode(mode), {addr(0), addr(1)}, body);
        const Run run = send(s, p);
        QCOMPARE(s.socket.written, expected);
        QCOMPARE(run.outcome.sent, (QList<qint64>{100, 101}));
        QCOMPARE(run.outcome.reached, (QList<qint64>{100, 101}));
        QVERIFY(run.outcome.failed.isEmpty());
        QVERIFY(run.outcome.log.isEmpty());
        QVERIFY(!run.outcome.interrupted);
        QVERIFY(run.reports.isEmpty());
        QCOMPARE(run.outcome.unreported, 2);
        QCOMPARE(s.socket.closes, 1);
    }

    // Reports every 26 mails, or after each full batch of 51; the rest is left for the
    // report after the completion.
    void progressReports_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("count");
        QTest::addColumn<QList<int>>("reports");
        QTest::addColumn<int>("unreported");
        QTest::newRow("60 individual") << int(DeliveryMode::Individual) << 60 << QList<int>{26, 26} << 8;
        QTest::newRow("120 in batches") << int(DeliveryMode::Batch) << 120 << QList<int>{51, 51} << 18;
    }
    void progressReports()
    {
        QFETCH(int, mode);
        QFETCH(int, count);
        QFETCH(QList<int>, reports);
        QFETCH(int, unreported);
        Session s;
        QVERIFY(s.connect());
        if (DeliveryMode(mode) == DeliveryMode::Batch) {
            for (const int size : {51, 51, 18})
                acceptMail(s.socket, size);
        } else {
            for (int i = 0; i < count; ++i)
                acceptMail(s.socket);
        }
        DeliveryPlan p = plan(DeliveryMode(mode), numbered(count));
        const Run run = send(s, p);
        QCOMPARE(run.reports, reports);
        QCOMPARE(run.outcome.unreported, unreported);
        QCOMPARE(run.outcome.sent.size(), count);
        QVERIFY(run.outcome.log.isEmpty());
    }

    // A refused recipient fails its own mail, or the whole batch that carries it, with
    // the server's reply; the delivery goes on.
    void refusedRecipient_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QStringList>("failed");
        QTest::addColumn<QList<qint64>>("sent");
        QTest::newRow("individual") << int(DeliveryMode::Individual) << QStringList{addr(1)} << QList<qint64>{100, 102};
        QTest::newRow("batch") << int(DeliveryMode::Batch) << QStringList{addr(0), addr(1), addr(2)} << QList<qint64>{};
    }
    void refusedRecipient()
    {
        QFETCH(int, mode);
        QFETCH(QStringList, failed);
        QFETCH(QList<qint64>, sent);
        Session s;
        QVERIFY(s.connect());
        if (DeliveryMode(mode) == DeliveryMode::Batch) {
            s.socket.serverSends(kAccept + kAccept + kAccept + "550 5.1.1 no such user\r\n");
        } else {
            acceptMail(s.socket);
            s.socket.serverSends(kAccept + kAccept + "550 5.1.1 no such user\r\n");
            s.socket.serverSends(kAccept);  // the RSET after the failed reply
            acceptMail(s.socket);
        }
        s.socket.serverSends(kAccept);
        DeliveryPlan p = plan(DeliveryMode(mode), numbered(3));
        const Run run = send(s, p);
        QCOMPARE(run.outcome.log, failed);
        QCOMPARE(run.outcome.failed.size(), failed.size());
        for (const auto &f : run.outcome.failed)
            QVERIFY2(f.reply.contains(QStringLiteral("550 5.1.1 no such user")), qPrintable(f.reply));
        QCOMPARE(run.outcome.sent, sent);
        QCOMPARE(run.outcome.reached, (QList<qint64>{100, 101, 102}));
        QVERIFY(!run.outcome.interrupted);
    }

    // An address that fails the check is skipped without a word; one the session would
    // refuse fails on its own, before anything is sent for it.
    void addressesThatCannotGo()
    {
        Session s;
        QVERIFY(s.connect());
        acceptMail(s.socket, 1);
        DeliveryPlan p = plan(DeliveryMode::Batch, {QStringLiteral("no-at-sign"), QStringLiteral("a b@example.com"), addr(2)});
        const Run run = send(s, p);
        QCOMPARE(run.outcome.log, QStringList{QStringLiteral("a b@example.com")});
        QCOMPARE(run.outcome.failed.first().reply, QString());
        QCOMPARE(run.outcome.sent, QList<qint64>{102});
        QCOMPARE(run.outcome.reached, (QList<qint64>{100, 101, 102}));
        QVERIFY(!s.socket.written.contains("a b@"));
    }

    // The server goes away after the first mail: every later one fails in turn and is logged.
    void droppedConnection()
    {
        Session s;
        QVERIFY(s.connect());
        acceptMail(s.socket);
        s.socket.serverCloses();
        DeliveryPlan p = plan(DeliveryMode::Individual, numbered(4));
        const Run run = send(s, p);
        QCOMPARE(run.outcome.sent, QList<qint64>{100});
        QCOMPARE(run.outcome.log, (QStringList{addr(1), addr(2), addr(3)}));
        QCOMPARE(run.outcome.reached, (QList<qint64>{100, 101, 102, 103}));
        QCOMPARE(run.outcome.unreported, 1);
        QVERIFY(!run.outcome.interrupted);
    }

    // Stopping before the third member: the batch collected so far still goes out, the
    // stop is logged and only the members reached count.
    void cancel()
    {
        Session s;
        QVERIFY(s.connect());
        acceptMail(s.socket, 2);
        std::atomic<bool> stop{false};
        DeliveryPlan p = plan(DeliveryMode::Batch, numbered(5));
        static_cast<ListRecipients *>(p.recipients.get())->beforeEach = [&stop](int i) {
            if (i == 2)
                stop = true;
        };
        const Run run = send(s, p, &stop);
        QCOMPARE(run.outcome.log, QStringList{QStringLiteral("アプリケーションの終了による中断")});
        QVERIFY(run.outcome.interrupted);
        QCOMPARE(run.outcome.reached, (QList<qint64>{100, 101}));
        QCOMPARE(run.outcome.sent, (QList<qint64>{100, 101}));
        QCOMPARE(run.outcome.unreported, 2);
        QVERIFY(s.socket.written.endsWith("QUIT\r\n"));
        QVERIFY(!s.socket.written.contains("m2@"));
    }

    // A recipient that cannot be read ends the delivery like a stop, with the reason logged.
    void unreadableRecipient()
    {
        Session s;
        QVERIFY(s.connect());
        acceptMail(s.socket);
        DeliveryPlan p = plan(DeliveryMode::Individual, {});
        p.recipients = std::make_unique<ListRecipients>(members(numbered(3)), 1);
        const Run run = send(s, p);
        QCOMPARE(run.outcome.readFailure, QStringLiteral("disk I/O error"));
        QCOMPARE(run.outcome.log, QStringList{QStringLiteral("データベースの読み込みエラーによる中断 disk I/O error")});
        QVERIFY(run.outcome.interrupted);
        QCOMPARE(run.outcome.reached, QList<qint64>{100});
        QCOMPARE(run.outcome.sent, QList<qint64>{100});
    }
};

QTEST_MAIN(TestMailDeliverySend)
#include "tst_mail_delivery_send.moc"
