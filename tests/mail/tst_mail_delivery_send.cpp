// The send step of a delivery against a scripted server, with a journal and a clock of the
// test's own: no thread, no store. The exact bytes of each mode, the groups the journal
// sees, refusals, temporary failures and their retries, lost connections, pacing, a stop
// and an unreadable recipient.
#include "fakes/FakeMailSocket.h"
#include "mail/DeliverySend.h"
#include "mail/ReturnPath.h"
#include "mail/SmtpClient.h"
#include "store/Database.h"

#include <QTimeZone>
#include <QRegularExpression>
#include <QtTest>

#include <numeric>

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
    // The greeting and EHLO answer of a reopened connection.
    void greetAgain() { socket.serverSends("220 mail.example.jp ESMTP\r\n250 mail.example.jp\r\n"); }
};

const QByteArray kGreeting = "EHLO client.local\r\n";

// What the step handed to be recorded, call by call.
class FakeJournal : public DeliveryJournal
{
public:
    void reserve(const QList<qint64> &members) override { events += QStringLiteral("reserve ") + joined(members); }
    void sending(const QList<qint64> &members) override
    {
        if (failAt >= 0 && calls == failAt)
            throw StoreError(QStringLiteral("disk is full"));
        ++calls;
        groups += members;
        events += QStringLiteral("sending ") + joined(members);
    }
    void record(const QList<SendResult> &results) override
    {
        ++calls;
        QStringList outcome;
        for (const SendResult &r : results) {
            last[r.MagUser] = r;
            outcome += QStringLiteral("%1:%2").arg(r.MagUser).arg(SendStateName(r.state));
        }
        records += results.size();
        events += QStringLiteral("record ") + outcome.join(u',');
    }
    void release(const QList<qint64> &members) override { events += QStringLiteral("release ") + joined(members); }
    static QString joined(const QList<qint64> &members)
    {
        QStringList out;
        for (const qint64 m : members)
            out += QString::number(m);
        return out.join(u',');
    }
    QStringList events;
    SendState state(qint64 member) const { return last.value(member).state; }
    QList<QList<qint64>> groups;
    QList<qsizetype> records;
    QMap<qint64, SendResult> last;
    int calls = 0;
    int failAt = -1;  // the sending() call that throws
};

// Time that moves only when waited on; a wait may be refused (a stop meanwhile).
class FakeClock : public DeliveryClock
{
public:
    QDateTime now() override { return m_now; }
    bool waitUntil(const QDateTime &until) override
    {
        waits += until;
        if (refuseWaits)
            return false;
        if (until > m_now)
            m_now = until;
        return true;
    }
    void advance(qint64 ms) { m_now = m_now.addMSecs(ms); }
    QList<QDateTime> waits;
    bool refuseWaits = false;

private:
    QDateTime m_now = kNow;
};

struct Run {
    DeliveryOutcome outcome;
    QList<int> reports;
    FakeJournal journal;
    FakeClock clock;
    QList<QDateTime> mailStarts;  // the clock at each MAIL FROM written
};

void send(Session &s, DeliveryPlan &p, Run &run, DeliverySendOptions o = {})
{
    o.isValidAddress = [](const QString &a) { return a.contains(u'@'); };
    o.report = [&run](int n) { run.reports += n; };
    o.journal = &run.journal;
    o.clock = &run.clock;
    if (o.retry.delaysSeconds == RetrySchedule().delaysSeconds)
        o.retry.delaysSeconds = {60, 300};
    run.outcome = SendDelivery(s.smtp, p, o);
}

const QByteArray kHeaderTail = "Content-Type: text/plain; charset=\"ISO-2022-JP\"\r\n"
                               "MIME-Version: 1.0\r\n"
                               "Content-Transfer-Encoding: BASE64\r\n"
                               "Date: Thu, 05 Mar 2026 09:04:01 +0900\r\n"
                               "Message-ID: <ID>\r\n"
                               "\r\n";

// The written bytes with every Message-ID's value as <ID>, the ids in *ids.
QByteArray withoutIds(QByteArray written, QList<QByteArray> *ids)
{
    static const QRegularExpression id(QStringLiteral("\r\nMessage-ID: (<[^>\r\n]*>)\r\n"));
    QString text = QString::fromLatin1(written);
    for (auto it = id.globalMatch(text); it.hasNext();)
        *ids += it.next().captured(1).toLatin1();
    return text.replace(id, QStringLiteral("\r\nMessage-ID: <ID>\r\n")).toLatin1();
}

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
            << kGreeting + envelope({addr(0)}) + from + "To: \"Readers\" <m0@example.com>\r\n" + kHeaderTail + hello
                   + envelope({addr(1)}) + from + "To: \"Readers\" <m1@example.com>\r\n" + kHeaderTail + hello
                   + "QUIT\r\n";
        QTest::newRow("batch: one mail, every member in the envelope only")
            << int(DeliveryMode::Batch) << QStringLiteral("Hello\r\n")
            << kGreeting + envelope({addr(0), addr(1)}) + from + "To: \"Readers\" <>\r\n" + kHeaderTail + hello
                   + "QUIT\r\n";
        // "Hi [member name]\r\n" with each member's name put in.
        QTest::newRow("personalised: each member's own body")
            << int(DeliveryMode::Personalised) << QStringLiteral("Hi [member name]\r\n")
            << kGreeting + envelope({addr(0)}) + from + "To: \"Readers\" <m0@example.com>\r\n" + kHeaderTail
                   + "SGkgTmFtZTANCg==\r\n.\r\n" + envelope({addr(1)}) + from + "To: \"Readers\" <m1@example.com>\r\n"
                   + kHeaderTail + "SGkgTmFtZTENCg==\r\n.\r\n" + "QUIT\r\n";
    }
    void exactBytes()
    {
        QFETCH(int, mode);
        QFETCH(QString, body);
        QFETCH(QByteArray, expected);
        Session s;
        const bool batch = DeliveryMode(mode) == DeliveryMode::Batch;
        acceptMail(s.socket, batch ? 2 : 1);
        if (!batch)
            acceptMail(s.socket);
        s.socket.serverSends("221 bye\r\n");
        DeliveryPlan p = plan(DeliveryMode(mode), {addr(0), addr(1)}, body);
        Run run;
        send(s, p, run);
        QList<QByteArray> ids;
        QCOMPARE(withoutIds(s.socket.written, &ids), expected);
        // Each mail its own id, at the sender's domain.
        QCOMPARE(ids.size(), batch ? 1 : 2);
        for (const QByteArray &id : ids)
            QVERIFY2(id.endsWith("@example.jp>") && ids.count(id) == 1, id.constData());
        QCOMPARE(run.journal.state(100), SendState::Sent);
        QCOMPARE(run.journal.state(101), SendState::Sent);
        QCOMPARE(run.journal.last.value(100).reply, QStringLiteral("250 queued"));
        QCOMPARE(run.outcome.counts.sent, 2);
        QVERIFY(run.outcome.log.isEmpty());
        QVERIFY(!run.outcome.stopped);
        QCOMPARE(run.reports, (batch ? QList<int>{2} : QList<int>{1, 1}));
        QCOMPARE(run.outcome.unreported, 0);
    }

    // Each mail marked sending just before it goes and recorded right after its answer, the
    // recipients claimed first in one window; batches hold 51 valid addresses, the others
    // settled on the way; every recipient reported once.
    void journalPerMail_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("invalidEvery");  // every n-th address has no "@" (0: none)
        QTest::addColumn<QList<qsizetype>>("envelopes");
        QTest::newRow("60 individual") << int(DeliveryMode::Individual) << 60 << 0 << QList<qsizetype>(60, 1);
        QTest::newRow("120 in batches") << int(DeliveryMode::Batch) << 120 << 0 << QList<qsizetype>{51, 51, 18};
        // 120 of which 12 are skipped: 108 valid in envelopes of 51, 51 and 6.
        QTest::newRow("batches skip without a place") << int(DeliveryMode::Batch) << 120 << 10
                                                      << QList<qsizetype>{51, 51, 6};
    }
    void journalPerMail()
    {
        QFETCH(int, mode);
        QFETCH(int, count);
        QFETCH(int, invalidEvery);
        QFETCH(QList<qsizetype>, envelopes);
        Session s;
        for (const qsizetype size : envelopes)
            acceptMail(s.socket, int(size));
        QStringList addresses = numbered(count);
        for (int i = 0; invalidEvery > 0 && i < count; i += invalidEvery)
            addresses[i] = QStringLiteral("no-at-sign-%1").arg(i);
        DeliveryPlan p = plan(DeliveryMode(mode), addresses);
        Run run;
        send(s, p, run);
        QList<qsizetype> sizes;
        for (const auto &g : std::as_const(run.journal.groups))
            sizes += g.size();
        QCOMPARE(sizes, envelopes);
        // One window claims everyone before the first mail.
        QVERIFY(run.journal.events.first().startsWith(QStringLiteral("reserve 100,101,")));
        QList<qint64> everyone;
        for (int i = 0; i < count; ++i)
            everyone += 100 + i;
        QCOMPARE(run.journal.events.count(QStringLiteral("reserve ") + FakeJournal::joined(everyone)), 1);
        // sending, then its record, mail after mail.
        for (qsizetype i = 1; i < run.journal.events.size(); ++i)
            if (run.journal.events.at(i).startsWith(QStringLiteral("sending")))
                QVERIFY2(run.journal.events.value(i + 1).startsWith(QStringLiteral("record")),
                         qPrintable(run.journal.events.mid(i, 2).join(u'|')));
        QCOMPARE(std::accumulate(run.reports.begin(), run.reports.end(), 0), count);
        QCOMPARE(run.outcome.counts.sent + run.outcome.counts.skipped, count);
        QCOMPARE(run.outcome.counts.skipped, invalidEvery ? count / invalidEvery : 0);
        QVERIFY(run.outcome.log.isEmpty());
    }

    // Stopped after the first mail: the claimed recipients not reached are released, in one
    // step, and nothing is left marked sending.
    void stopReleasesTheClaimed()
    {
        Session s;
        acceptMail(s.socket);
        DeliveryPlan p = plan(DeliveryMode::Individual, numbered(3));
        Run run;
        DeliverySendOptions o;
        o.stopRequested = [&run] { return run.journal.records.size() == 1; };
        send(s, p, run, o);
        QCOMPARE(run.journal.events, (QStringList{QStringLiteral("reserve 100,101,102"), QStringLiteral("sending 100"),
                                                  QStringLiteral("record 100:sent"), QStringLiteral("release 101,102")}));
        QVERIFY(run.outcome.stopped);
    }

    // A member deleted since the issue was recorded: skipped with the reason, no mail.
    void deletedMemberSkipped()
    {
        Session s;
        acceptMail(s.socket);
        DeliveryPlan p = plan(DeliveryMode::Individual, numbered(2));
        QList<DeliveryRecipient> list = members(numbered(2));
        list[0].deleted = true;
        p.recipients = std::make_unique<ListRecipients>(list);
        Run run;
        send(s, p, run);
        QCOMPARE(run.journal.state(100), SendState::Skipped);
        QCOMPARE(run.journal.last.value(100).reply, QStringLiteral("メンバー削除"));
        QCOMPARE(run.journal.state(101), SendState::Sent);
        QVERIFY(!s.socket.written.contains("m0@"));
        QCOMPARE(std::accumulate(run.reports.begin(), run.reports.end(), 0), 2);
    }

    // One recipient's fate from the server's answers; the others of the run are sent.
    void fates_data()
    {
        QTest::addColumn<QByteArray>("answers");  // to the second member's mail
        QTest::addColumn<bool>("reopens");        // the session is reopened after it
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("reply");
        QTest::addColumn<int>("attempts");
        QTest::newRow("550 to RCPT: failed for good")
            << QByteArray(kAccept + kAccept + "550 5.1.1 no such user\r\n" + kAccept) << false
            << int(SendState::Failed) << QStringLiteral("550 5.1.1 no such user") << 1;
        QTest::newRow("554 after the text: failed for good")
            << QByteArray(kAccept + kAccept + kAccept + "354 go\r\n554 5.7.1 spam\r\n" + kAccept) << false
            << int(SendState::Failed) << QStringLiteral("554 5.7.1 spam") << 1;
        QTest::newRow("drop after the final dot: unknown, never resent")
            << QByteArray(kAccept + kAccept + kAccept + "354 go\r\n") << true << int(SendState::Unknown) << QString() << 1;
        QTest::newRow("drop before DATA: deferred")
            << QByteArray(kAccept + kAccept) << true << int(SendState::Deferred) << QString() << 1;
    }
    void fates()
    {
        QFETCH(QByteArray, answers);
        QFETCH(bool, reopens);
        QFETCH(int, state);
        QFETCH(QString, reply);
        QFETCH(int, attempts);
        Session s;
        acceptMail(s.socket);
        s.socket.serverSends(answers);
        if (reopens) {
            s.socket.serverCloses();
            s.greetAgain();
        }
        acceptMail(s.socket);
        if (SendState(state) == SendState::Deferred)
            acceptMail(s.socket);  // its retry, a minute later
        DeliveryPlan p = plan(DeliveryMode::Individual, numbered(3));
        Run run;
        send(s, p, run);
        QCOMPARE(run.journal.state(100), SendState::Sent);
        QCOMPARE(run.journal.state(102), SendState::Sent);
        const SendResult second = run.journal.last.value(101);
        if (SendState(state) == SendState::Deferred) {
            // Put off, then sent when its time came.
            QCOMPARE(second.state, SendState::Sent);
            QCOMPARE(second.attempts, 2);
            QVERIFY(run.clock.waits.contains(kNow.addSecs(60)));
        } else {
            QCOMPARE(int(second.state), state);
            QCOMPARE(second.attempts, attempts);
            if (!reply.isEmpty())
                QCOMPARE(second.reply, reply);
        }
        QCOMPARE(s.socket.connects, reopens ? 2 : 1);
        QCOMPARE(run.outcome.log, SendState(state) == SendState::Failed ? QStringList{addr(1)} : QStringList{});
        // Each recipient counted once, a deferred one when its retry ends.
        QCOMPARE(std::accumulate(run.reports.begin(), run.reports.end(), 0), 3);
    }

    // 451 and then accepted: the exact bytes of the retry, recorded deferred in between.
    void temporaryFailureRetried()
    {
        Session s;
        s.socket.serverSends(kAccept + kAccept + "451 4.7.1 try later\r\n" + kAccept);
        s.socket.serverSends("221 bye\r\n");  // closed while only the retry waits
        s.greetAgain();
        acceptMail(s.socket);
        DeliveryPlan p = plan(DeliveryMode::Individual, numbered(1));
        Run run;
        QList<SendState> seen;
        struct Watching : FakeJournal {
            QList<SendState> *seen;
            void record(const QList<SendResult> &results) override
            {
                for (const SendResult &r : results)
                    *seen += r.state;
                FakeJournal::record(results);
            }
        };
        Watching journal;
        journal.seen = &seen;
        DeliverySendOptions o;
        o.journal = &journal;
        o.clock = &run.clock;
        o.retry.delaysSeconds = {60, 300};
        QList<QDateTime> waiting;
        o.waiting = [&waiting](const QDateTime &until) { waiting += until; };
        run.outcome = SendDelivery(s.smtp, p, o);
        QCOMPARE(seen, (QList<SendState>{SendState::Deferred, SendState::Sent}));
        QCOMPARE(journal.last.value(100).attempts, 2);
        QCOMPARE(run.clock.waits, QList<QDateTime>{kNow.addSecs(60)});
        QCOMPARE(waiting, (QList<QDateTime>{kNow.addSecs(60), QDateTime()}));
        const QByteArray mail = "RSET\r\nMAIL FROM: <owner@example.jp>\r\nRCPT TO:<m0@example.com>\r\n";
        QCOMPARE(s.socket.written.left(kGreeting.size() + mail.size() + 6),
                 kGreeting + mail + "RSET\r\n");
        QCOMPARE(s.socket.written.count(mail), 2);
        QCOMPARE(s.socket.written.count("QUIT\r\n"), 2);
        QCOMPARE(run.outcome.counts.sent, 1);
        QCOMPARE(run.outcome.counts.deferred, 0);
    }

    // A server that keeps answering 4xx: the schedule's tries, then failed with the last reply.
    void scheduleUsedUp()
    {
        Session s;
        const QByteArray busy = kAccept + kAccept + "452 4.2.2 mailbox full\r\n" + kAccept;
        s.socket.serverSends(busy).serverSends("221 bye\r\n");
        s.greetAgain();
        s.socket.serverSends(busy).serverSends("221 bye\r\n");
        s.greetAgain();
        s.socket.serverSends(busy);
        DeliveryPlan p = plan(DeliveryMode::Individual, numbered(1));
        Run run;
        send(s, p, run);
        const SendResult r = run.journal.last.value(100);
        QCOMPARE(r.state, SendState::Failed);
        QCOMPARE(r.attempts, 3);
        QCOMPARE(r.reply, QStringLiteral("452 4.2.2 mailbox full"));
        QCOMPARE(run.clock.waits, (QList<QDateTime>{kNow.addSecs(60), kNow.addSecs(360)}));
        QCOMPARE(run.outcome.log, QStringList{addr(0)});
    }

    // 421 closes the session: the mail is put off and the session reopened for the rest.
    void serviceClosing()
    {
        Session s;
        s.socket.serverSends(kAccept + "421 4.3.2 shutting down\r\n");
        s.greetAgain();
        acceptMail(s.socket);
        acceptMail(s.socket);  // the first member's retry
        DeliveryPlan p = plan(DeliveryMode::Individual, numbered(2));
        Run run;
        send(s, p, run);
        // Reopened after the first wait, by when the put-off mail is due too.
        QCOMPARE(s.socket.connects, 2);
        QCOMPARE(run.clock.waits, QList<QDateTime>{kNow.addSecs(60)});
        QCOMPARE(run.journal.state(100), SendState::Sent);
        QCOMPARE(run.journal.last.value(100).attempts, 2);
        QCOMPARE(run.journal.state(101), SendState::Sent);
    }

    // The connection breaks while the text goes: the mail is put off, the rest goes over a
    // reopened session.
    void dropMidStream()
    {
        Session s;
        s.socket.dropOnWriteOf = "SGVsbG8NCg==";
        s.socket.serverSends(kAccept + kAccept + kAccept + "354 go\r\n");
        s.greetAgain();
        acceptMail(s.socket);
        acceptMail(s.socket);
        DeliveryPlan p = plan(DeliveryMode::Individual, numbered(2));
        Run run;
        send(s, p, run);
        QCOMPARE(run.journal.state(100), SendState::Sent);
        QCOMPARE(run.journal.last.value(100).attempts, 2);
        QCOMPARE(run.journal.state(101), SendState::Sent);
        QCOMPARE(s.socket.connects, 2);
    }

    // A batch whose server refuses one recipient goes to the others; refused for all, no text.
    void batchRefusals_data()
    {
        QTest::addColumn<QByteArray>("rcptAnswers");
        QTest::addColumn<QList<int>>("states");
        QTest::addColumn<bool>("dataSent");
        QTest::newRow("one refused") << QByteArray(kAccept + "550 5.1.1 unknown\r\n" + kAccept)
                                     << QList<int>{int(SendState::Sent), int(SendState::Failed), int(SendState::Sent)}
                                     << true;
        QTest::newRow("all refused") << QByteArray("550 5.1.1 unknown\r\n550 5.1.1 unknown\r\n550 5.1.1 unknown\r\n")
                                     << QList<int>{int(SendState::Failed), int(SendState::Failed), int(SendState::Failed)}
                                     << false;
    }
    void batchRefusals()
    {
        QFETCH(QByteArray, rcptAnswers);
        QFETCH(QList<int>, states);
        QFETCH(bool, dataSent);
        Session s;
        s.socket.serverSends(kAccept + kAccept + rcptAnswers);
        s.socket.serverSends(dataSent ? QByteArray("354 go\r\n250 queued\r\n") : kAccept);
        DeliveryPlan p = plan(DeliveryMode::Batch, numbered(3));
        Run run;
        send(s, p, run);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(int(run.journal.state(100 + i)), states.at(i));
        QCOMPARE(s.socket.written.contains("DATA\r\n"), dataSent);
        if (dataSent)
            QCOMPARE(run.journal.last.value(101).reply, QStringLiteral("550 5.1.1 unknown"));
    }

    // An address that fails the check is skipped; one the session would refuse fails on its
    // own, before anything is sent for it.
    void addressesThatCannotGo()
    {
        Session s;
        acceptMail(s.socket, 1);
        DeliveryPlan p = plan(DeliveryMode::Batch, {QStringLiteral("no-at-sign"), QStringLiteral("a b@example.com"), addr(2)});
        Run run;
        send(s, p, run);
        QCOMPARE(run.outcome.log, QStringList{QStringLiteral("a b@example.com")});
        QCOMPARE(run.journal.state(100), SendState::Skipped);
        QCOMPARE(run.journal.state(101), SendState::Failed);
        QCOMPARE(run.journal.state(102), SendState::Sent);
        QVERIFY(!s.socket.written.contains("a b@"));
    }

    // Pacing: 600 an hour spreads the mails 6 s apart; 2 to a connection reopens it.
    void pacing()
    {
        Session s;
        for (int i = 0; i < 3; ++i)
            acceptMail(s.socket);
        s.socket.serverSends("221 bye\r\n");
        s.greetAgain();
        acceptMail(s.socket);
        DeliveryPlan p = plan(DeliveryMode::Individual, numbered(4));
        Run run;
        DeliverySendOptions o;
        o.pacing.perHour = 600;
        o.pacing.perConnection = 3;
        send(s, p, run, o);
        QCOMPARE(run.clock.waits, (QList<QDateTime>{kNow.addSecs(6), kNow.addSecs(12), kNow.addSecs(18)}));
        QCOMPARE(s.socket.connects, 2);
        QCOMPARE(run.outcome.counts.sent, 4);
    }

    // A stop during a wait ends the run at once: the mail not tried stays as it was.
    void stopDuringWait()
    {
        Session s;
        acceptMail(s.socket);
        DeliveryPlan p = plan(DeliveryMode::Individual, numbered(3));
        Run run;
        run.clock.refuseWaits = true;
        DeliverySendOptions o;
        o.pacing.perMinute = 1;
        send(s, p, run, o);
        QVERIFY(run.outcome.stopped);
        QCOMPARE(run.journal.state(100), SendState::Sent);
        QVERIFY(!run.journal.last.contains(101));
        QCOMPARE(run.journal.events.mid(run.journal.events.size() - 2),
                 (QStringList{QStringLiteral("release 101"), QStringLiteral("release 102")}));
        QCOMPARE(run.outcome.counts.sent, 1);
        QCOMPARE(run.outcome.log, QStringList{QStringLiteral("アプリケーションの終了による中断")});
        QVERIFY(!s.socket.written.contains("m1@"));
        QVERIFY(s.socket.written.endsWith("QUIT\r\n"));
    }

    // A stop asked between mails: the group in hand is recorded, nothing more goes.
    void stopBetweenMails()
    {
        Session s;
        DeliveryPlan p = plan(DeliveryMode::Batch, numbered(60));
        acceptMail(s.socket, 51);
        Run run;
        DeliverySendOptions o;
        o.stopRequested = [&run] { return !run.journal.records.isEmpty(); };
        send(s, p, run, o);
        QVERIFY(run.outcome.stopped);
        QCOMPARE(run.outcome.counts.sent, 51);
        QVERIFY(!s.socket.written.contains("m51@"));
    }

    // The record cannot be written: nothing more is sent.
    void journalFailure()
    {
        Session s;
        for (int i = 0; i < 30; ++i)
            acceptMail(s.socket);
        DeliveryPlan p = plan(DeliveryMode::Individual, numbered(30));
        Run run;
        run.journal.failAt = 52;  // the 27th mail's "sending"
        send(s, p, run);
        QCOMPARE(run.outcome.journalFailure, QStringLiteral("disk is full"));
        QCOMPARE(run.outcome.counts.sent, 26);
        QVERIFY(!s.socket.written.contains("m26@"));
        // The claimed recipients not reached are released, the one whose mark failed with them.
        QCOMPARE(run.journal.events.mid(run.journal.events.size() - 2),
                 (QStringList{QStringLiteral("release 126"), QStringLiteral("release 127,128,129")}));
    }

    // The first connect fails: nothing recorded, the reason given.
    void firstConnectFails()
    {
        Session s;
        s.socket.refuseConnect(QStringLiteral("接続が拒否されました"));
        DeliveryPlan p = plan(DeliveryMode::Individual, numbered(2));
        Run run;
        send(s, p, run);
        QVERIFY(!run.outcome.connectFailure.isEmpty());
        QVERIFY(run.journal.groups.isEmpty());
        QCOMPARE(run.journal.calls, 0);
    }

    // A recipient that cannot be read ends the delivery like a stop, with the reason logged.
    void unreadableRecipient()
    {
        Session s;
        acceptMail(s.socket);
        DeliveryPlan p = plan(DeliveryMode::Individual, {});
        p.recipients = std::make_unique<ListRecipients>(members(numbered(3)), 1);
        Run run;
        send(s, p, run);
        QCOMPARE(run.outcome.readFailure, QStringLiteral("disk I/O error"));
        QCOMPARE(run.outcome.log, QStringList{QStringLiteral("データベースの読み込みエラーによる中断 disk I/O error")});
        QCOMPARE(run.journal.state(100), SendState::Sent);
        QVERIFY(!run.journal.last.contains(101));
    }
    // With a return path, each member's mail goes out from return+TOKEN, so a bounce to it
    // names that member; a batch names nobody and goes from the return path as it is. From
    // stays the magazine's address.
    void returnPathNamesTheMember_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("individual") << int(DeliveryMode::Individual);
        QTest::newRow("personalised") << int(DeliveryMode::Personalised);
        QTest::newRow("batch") << int(DeliveryMode::Batch);
    }
    void returnPathNamesTheMember()
    {
        QFETCH(int, mode);
        const bool batch = DeliveryMode(mode) == DeliveryMode::Batch;
        Session s;
        acceptMail(s.socket, batch ? 2 : 1);
        if (!batch)
            acceptMail(s.socket);
        s.socket.serverSends("221 bye\r\n");
        DeliveryPlan p = plan(DeliveryMode(mode), {addr(0), addr(1)});
        p.returnPath = QStringLiteral("bounce@example.jp");
        p.unsubscribeKey = "the store's key";
        Run run;
        send(s, p, run);
        QCOMPARE(run.outcome.counts.sent, 2);
        const QString written = QString::fromLatin1(s.socket.written);
        static const QRegularExpression mailFrom(QStringLiteral("\r\nMAIL FROM: <([^>]*)>\r\n"));
        QStringList senders;
        for (auto it = mailFrom.globalMatch(written); it.hasNext();)
            senders += it.next().captured(1);
        QCOMPARE(written.count(QStringLiteral("\r\nFrom: \"Owner\" <owner@example.jp>\r\n")), batch ? 1 : 2);
        if (batch) {
            QCOMPARE(senders, QStringList{QStringLiteral("bounce@example.jp")});
            return;
        }
        QCOMPARE(senders.size(), 2);
        for (int i = 0; i < 2; ++i) {
            QVERIFY2(senders.at(i).startsWith(QStringLiteral("bounce+")), qPrintable(senders.at(i)));
            const auto member = ReturnPath::memberOf(p.returnPath, p.unsubscribeKey, senders.at(i));
            QVERIFY(member);
            QCOMPARE(member->magIdx, 3);
            QCOMPARE(member->userIdx, 100 + i);
        }
    }
};

QTEST_MAIN(TestMailDeliverySend)
#include "tst_mail_delivery_send.moc"
