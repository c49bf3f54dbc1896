// One pass over a mailbox (a scripted one here) and what it does to the members: requests
// and reports change them once, whatever breaks off when; only what was committed is
// deleted, and nothing unrecognised is.
#include "fakes/StoreFixture.h"
#include "fakes/TestEnv.h"
#include "mail/InboxProcess.h"
#include "mail/UnsubscribeToken.h"
#include "store/BackupScript.h"
#include "store/UnsubscribeKey.h"
#include "store/Database.h"
#include "store/InboxSeen.h"
#include "store/MagazineMailSettings.h"
#include "store/MemberBounces.h"

#include <QtTest>

namespace {

// A mailbox in memory that behaves as a POP3 server does: DELE marks, QUIT deletes.
class FakeMailbox : public Mailbox
{
public:
    struct Message {
        QByteArray uidl;
        QByteArray bytes;
    };
    QList<Message> messages;
    QByteArray failRetrieveOf;  // RETR of this id fails (the connection breaks)
    QByteArray unreadableOf;    // RETR of this id fails for the message's own sake
    bool unreadableBreaksSession = false;  // ... and the session cannot go on
    bool failClose = false;     // QUIT is never confirmed
    bool failOpen = false;
    QList<QByteArray> retrieved;
    QList<QByteArray> deletedUnread;  // deleted without having been retrieved in that session
    int sessions = 0;

    bool open(QString *error) override
    {
        ++sessions;
        m_marked.clear();
        m_read.clear();
        m_usable = true;
        if (failOpen) {
            *error = QStringLiteral("-ERR [AUTH] Authentication failed.");
            return false;
        }
        return true;
    }
    bool list(QList<MailboxEntry> *entries, QString *) override
    {
        entries->clear();
        for (int i = 0; i < messages.size(); ++i)
            entries->append({i + 1, messages[i].bytes.size(), messages[i].uidl});
        return true;
    }
    bool retrieve(const MailboxEntry &entry, QByteArray *message, QString *error) override
    {
        m_atFault = false;
        if (entry.uidl == failRetrieveOf) {
            *error = QStringLiteral("connection closed");
            m_usable = false;
            return false;
        }
        if (!unreadableOf.isEmpty() && entry.uidl == unreadableOf) {
            *error = QStringLiteral("too long");
            m_atFault = true;
            m_usable = !unreadableBreaksSession;
            return false;
        }
        retrieved += entry.uidl;
        m_read += entry.number;
        *message = messages[entry.number - 1].bytes;
        return true;
    }
    bool messageAtFault() const override { return m_atFault; }
    bool usable() const override { return m_usable; }
    bool remove(const MailboxEntry &entry, QString *) override
    {
        // By number, as POP3 deletes: the message there now is the one that goes.
        if (!m_read.contains(entry.number))
            deletedUnread += messages[entry.number - 1].uidl;
        m_marked += entry.number;
        return true;
    }
    bool close(QString *error) override
    {
        if (failClose) {
            *error = QStringLiteral("connection closed");
            return false;
        }
        QList<Message> kept;
        for (int i = 0; i < messages.size(); ++i)
            if (!m_marked.contains(i + 1))
                kept += messages[i];
        messages = kept;
        m_marked.clear();
        return true;
    }
    void abandon() override { m_marked.clear(); }
    QString identity() const override { return QStringLiteral("news@pop.example.jp:110"); }

    QList<QByteArray> ids() const
    {
        QList<QByteArray> out;
        for (const Message &m : messages)
            out += m.uidl;
        return out;
    }

private:
    QList<int> m_marked;
    QList<int> m_read;
    bool m_atFault = false;
    bool m_usable = true;
};

QByteArray crlf(QByteArray text)
{
    return text.replace("\n", "\r\n");
}

QByteArray unsubscribeMail(const QString &token)
{
    return crlf("From: reader@example.org\nTo: unsubscribe@example.jp\nSubject: unsubscribe " + token.toLatin1()
                + "\n\n\n");
}

// A report returning the original's header (with our token field when token is given).
QByteArray dsnMail(const QByteArray &address, const QByteArray &status, const QByteArray &action = "failed",
                   const QString &token = {})
{
    const QByteArray original = token.isEmpty() ? QByteArray() : "X-Tsubame-Token: " + token.toLatin1() + "\n";
    return crlf("Return-Path: <>\nFrom: MAILER-DAEMON@mx.example.org\nTo: news@example.jp\n"
                "Subject: Undelivered Mail Returned to Sender\n"
                "Content-Type: multipart/report; report-type=delivery-status; boundary=b\n\n"
                "--b\nContent-Type: text/plain\n\nCould not deliver.\n\n"
                "--b\nContent-Type: message/delivery-status\n\nReporting-MTA: dns; mx.example.org\n\n"
                "Final-Recipient: rfc822; " + address + "\nAction: " + action + "\nStatus: " + status + "\n"
                "Diagnostic-Code: smtp; " + status + " no such user\n\n"
                "--b\nContent-Type: text/rfc822-headers\n\nFrom: news@example.jp\nTo: " + address + "\n"
                + original + "Subject: issue\n\n--b--\n");
}

QByteArray plainBounce(const QByteArray &address, const QString &token = {})
{
    const QByteArray original = token.isEmpty() ? QByteArray() : "X-Tsubame-Token: " + token.toLatin1() + "\n";
    return crlf("From: MAILER-DAEMON@mail.example.net\nTo: news@example.jp\nSubject: failure notice\n\n"
                "Hi. This is the qmail-send program at mail.example.net.\n"
                "I'm afraid I wasn't able to deliver your message to the following addresses.\n"
                "This is a permanent error; I've given up. Sorry it didn't work out.\n\n<" + address
                + ">:\nSorry, no mailbox here by that name. (#5.1.1)\n\n"
                "--- Below this line is a copy of the message.\n\nTo: " + address + "\n" + original);
}

// RFC 5965: an abuse report returning the original's header.
QByteArray complaintMail(const QByteArray &originalHeaders, const QByteArray &rcptTo = {},
                         const QByteArray &feedbackType = "abuse")
{
    return crlf("From: feedback@isp.example.com\nTo: news@example.jp\nSubject: Abuse report\n"
                "MIME-Version: 1.0\n"
                "Content-Type: multipart/report; report-type=feedback-report; boundary=\"fb\"\n\n"
                "--fb\nContent-Type: text/plain\n\nA member of ours marked this mail as spam.\n\n"
                "--fb\nContent-Type: message/feedback-report\n\nFeedback-Type: " + feedbackType + "\n"
                "User-Agent: ExampleFBL/1.0\nVersion: 1\n"
                + (rcptTo.isEmpty() ? QByteArray() : "Original-Rcpt-To: " + rcptTo + "\n")
                + "\n--fb\nContent-Type: text/rfc822-headers\n\nFrom: news@example.jp\n" + originalHeaders
                + "Subject: issue\n\n--fb--\n");
}

QByteArray readerMail(const QByteArray &from, const QByteArray &subject, const QByteArray &body = "\n")
{
    return crlf("From: " + from + "\nTo: news@example.jp\nSubject: " + subject
                + "\nContent-Type: text/plain; charset=UTF-8\n\n" + body);
}

using Members = QList<std::pair<int, int>>;  // (MagIdx, UserIdx)

// MagInfo.AddDate of a moment days before now.
QString daysAgo(int days)
{
    return QDateTime::currentDateTime().addDays(-days).toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
}

const QByteArray kUnrelated = "From: friend@example.org\r\nSubject: Hello\r\n\r\nHow are you?\r\n";

bool sleeping(int magIdx, int userIdx)
{
    Statement s;
    return s.scalar(QStringLiteral("select Sleep from MagUser where MagIdx = %1 and UserIdx = %2").arg(magIdx).arg(userIdx)) != 0;
}

bool exists(int magIdx, int userIdx)
{
    Statement s;
    return s.scalar(QStringLiteral("select count(*) from MagUser where MagIdx = %1 and UserIdx = %2").arg(magIdx).arg(userIdx)) > 0;
}

int hardBounces(int magIdx, int userIdx)
{
    const std::optional<MemberBounce> b = MemberBounces::load(magIdx, userIdx);
    return b ? b->hardBounces : 0;
}

int allBounces(int magIdx, int userIdx)
{
    const std::optional<MemberBounce> b = MemberBounces::load(magIdx, userIdx);
    return b ? b->bounces : 0;
}

int complaintCount(int magIdx, int userIdx)
{
    const std::optional<MemberBounce> b = MemberBounces::load(magIdx, userIdx);
    return b ? b->complaints : 0;
}

} // namespace

class TestMailInboxProcess : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestEnv> env;
    QByteArray key;

    QString token(int magIdx, int userIdx) { return UnsubscribeToken::make(key, magIdx, userIdx); }

    InboxOptions options()
    {
        InboxOptions o;
        o.server.maxMessageBytes = 100000;
        return o;
    }

private Q_SLOTS:
    void init()
    {
        env = std::make_unique<TestEnv>();
        env->openStore();
        // Magazine 1 suspends on request; magazine 2 deletes, and suspends at 2 hard bounces.
        StoreFixture::addMagazine(1, QStringLiteral("週刊"));
        StoreFixture::addMagazine(2, QStringLiteral("月刊"));
        MagazineMailSettings deleting = MagazineMailSettings::load(2);
        deleting.unsubscribeAction = MagazineMailSettings::UnsubscribeAction::Delete;
        deleting.bounceLimit = 2;
        MagazineMailSettings::save(2, deleting);
        const StoreFixture::Row blank = StoreFixture::blankMemberColumns();
        StoreFixture::addMember(1, 1, QStringLiteral("太郎"), QStringLiteral("taro@Example.JP"), blank);
        StoreFixture::addMember(2, 2, QStringLiteral("太郎"), QStringLiteral("taro@example.jp"), blank);
        StoreFixture::addMember(1, 3, QStringLiteral("花子"), QStringLiteral("hana@example.jp"), blank);
        StoreFixture::addMember(2, 4, QStringLiteral("次郎"), QStringLiteral("jiro@example.net"), blank);
        StoreFixture::addMember(1, 5, QStringLiteral("大文字"), QStringLiteral("Upper@example.jp"), blank);
        key = UnsubscribeKey::load();
    }
    void cleanup() { env.reset(); }

    void mixedMailbox()
    {
        FakeMailbox box;
        box.messages = {
            {"u-dsn", dsnMail("TARO@example.jp", "5.1.1")},  // no token, nobody mailed lately: nobody
            {"u-dsn2", dsnMail("taro@EXAMPLE.jp", "5.1.1", "failed", token(1, 1))},
            {"u-dsn3", dsnMail("taro@EXAMPLE.jp", "5.1.1", "failed", token(2, 2))},
            {"u-qmail", plainBounce("jiro@example.net", token(2, 4))},
            {"u-soft", dsnMail("hana@example.jp", "4.2.2", "failed", token(1, 3))},
            {"u-unsub", unsubscribeMail(token(1, 3))},
            {"u-unsub-del", unsubscribeMail(token(2, 4))},
            {"u-forged", unsubscribeMail(QStringLiteral("1-5-0123456789abcdef0123456789abcdef"))},
            {"u-unrelated", kUnrelated},
        };
        QList<std::pair<int, int>> progress;
        const InboxSummary s = ProcessInbox(box, options(), [&](int done, int total) { progress += {done, total}; }, nullptr);
        QCOMPARE(s.end, InboxSummary::End::Done);
        QCOMPARE(s.listed, 9);
        QCOMPARE(s.read, 9);
        QCOMPARE(s.unsubscribed, 1);
        QCOMPARE(s.removed, 1);
        QCOMPARE(s.bounces, 4);    // taro twice (two magazines), jiro, hana
        QCOMPARE(s.hardBounces, 3);
        QCOMPARE(s.softBounces, 1);
        QCOMPARE(s.suspended, 0);
        QCOMPARE(s.unmatchedReports, 1);
        QCOMPARE(s.forged, 1);
        QCOMPARE(s.unknown, 1);
        QCOMPARE(s.deleted, 6);
        QCOMPARE(progress.size(), 9);
        QCOMPARE(progress.last(), (std::pair<int, int>{9, 9}));
        QCOMPARE(box.ids(), (QList<QByteArray>{"u-dsn", "u-forged", "u-unrelated"}));

        QCOMPARE(hardBounces(1, 1), 1);
        QCOMPARE(hardBounces(2, 2), 1);
        // jiro's bounce came before his request removed him: his counts went with him.
        QVERIFY(!exists(2, 4));
        QVERIFY(!MemberBounces::load(2, 4));
        QCOMPARE(allBounces(1, 3), 1);
        QCOMPARE(hardBounces(1, 3), 0);
        QVERIFY(sleeping(1, 3));
        QVERIFY(!sleeping(1, 1));
        QVERIFY(!sleeping(1, 5));
        QCOMPARE(MemberBounces::load(1, 1)->lastReason, QStringLiteral("5.1.1 no such user"));

        // A second pass reads nothing again and changes nothing.
        box.retrieved.clear();
        const InboxSummary again = ProcessInbox(box, options(), {}, nullptr);
        QCOMPARE(again.end, InboxSummary::End::Done);
        QCOMPARE(again.read, 0);
        QCOMPARE(again.deleted, 0);
        QCOMPARE(again.bounces + again.unsubscribed + again.forged + again.unknown, 0);
        QVERIFY(box.retrieved.isEmpty());
        QCOMPARE(hardBounces(1, 1), 1);
    }

    // The bounce limit counts hard bounces only; each magazine has its own.
    void suspensionAtTheLimit_data()
    {
        QTest::addColumn<QList<QByteArray>>("statuses");  // one report each, for taro
        QTest::addColumn<int>("hard1");
        QTest::addColumn<bool>("sleep1");  // magazine 1: limit 3 (the default)
        QTest::addColumn<bool>("sleep2");  // magazine 2: limit 2
        QTest::newRow("one hard") << QList<QByteArray>{"5.1.1"} << 1 << false << false;
        QTest::newRow("two hard") << QList<QByteArray>{"5.1.1", "5.2.1"} << 2 << false << true;
        QTest::newRow("three hard") << QList<QByteArray>{"5.1.1", "5.1.1", "5.1.1"} << 3 << true << true;
        QTest::newRow("soft ones do not count") << QList<QByteArray>{"4.2.2", "4.2.2", "4.2.2", "5.1.1"} << 1 << false
                                                << false;
        QTest::newRow("delayed is not hard") << QList<QByteArray>{"delayed", "delayed", "delayed"} << 0 << false << false;
    }
    void suspensionAtTheLimit()
    {
        QFETCH(QList<QByteArray>, statuses);
        QFETCH(int, hard1);
        QFETCH(bool, sleep1);
        QFETCH(bool, sleep2);
        FakeMailbox box;
        for (int i = 0; i < statuses.size(); ++i) {
            const bool delayed = statuses[i] == "delayed";
            // One report for each of taro's memberships, each returning that mail's token.
            for (const auto &[magIdx, userIdx] : {std::pair{1, 1}, std::pair{2, 2}})
                box.messages += {"r" + QByteArray::number(i) + '-' + QByteArray::number(magIdx),
                                 dsnMail("taro@example.jp", delayed ? "5.0.0" : statuses[i], delayed ? "delayed" : "failed",
                                         token(magIdx, userIdx))};
        }
        const InboxSummary s = ProcessInbox(box, options(), {}, nullptr);
        QCOMPARE(s.end, InboxSummary::End::Done);
        QCOMPARE(hardBounces(1, 1), hard1);
        QCOMPARE(allBounces(1, 1), statuses.size());
        QCOMPARE(sleeping(1, 1), sleep1);
        QCOMPARE(sleeping(2, 2), sleep2);
        QCOMPARE(s.suspended, int(sleep1) + int(sleep2));
    }

    // A pass that breaks off after its commits: the pass still ends a session so what was
    // applied is deleted where the server lets it; the next pass deletes whatever was
    // committed and is still there without counting it again (reading it only to make sure
    // it is the same message), and reads what was not.
    void breakOffAndResume_data()
    {
        QTest::addColumn<bool>("failClose");
        QTest::addColumn<QByteArray>("failRetrieveOf");
        QTest::addColumn<QList<QByteArray>>("leftAfterFirst");
        QTest::newRow("QUIT never confirmed") << true << QByteArray() << QList<QByteArray>{"a", "b"};
        // A new session deletes a; b, never read, stays.
        QTest::newRow("connection breaks while reading") << false << QByteArray("b") << QList<QByteArray>{"b"};
    }
    void breakOffAndResume()
    {
        QFETCH(bool, failClose);
        QFETCH(QByteArray, failRetrieveOf);
        QFETCH(QList<QByteArray>, leftAfterFirst);
        FakeMailbox box;
        box.messages = {{"a", dsnMail("taro@example.jp", "5.1.1", "failed", token(1, 1))},
                        {"b", dsnMail("hana@example.jp", "5.1.1", "failed", token(1, 3))}};
        box.failClose = failClose;
        box.failRetrieveOf = failRetrieveOf;
        const InboxSummary first = ProcessInbox(box, options(), {}, nullptr);
        QCOMPARE(first.end, InboxSummary::End::ServerFailed);
        QCOMPARE(first.deleted, 2 - int(leftAfterFirst.size()));
        QCOMPARE(box.ids(), leftAfterFirst);
        QCOMPARE(hardBounces(1, 1), 1);
        QCOMPARE(hardBounces(1, 3), failClose ? 1 : 0);

        box.failClose = false;
        box.failRetrieveOf.clear();
        box.retrieved.clear();
        const InboxSummary second = ProcessInbox(box, options(), {}, nullptr);
        QCOMPARE(second.end, InboxSummary::End::Done);
        QCOMPARE(second.bounces, failClose ? 0 : 1);
        QCOMPARE(box.messages.size(), 0);
        QVERIFY(box.deletedUnread.isEmpty());
        QCOMPARE(hardBounces(1, 1), 1);
        QCOMPARE(hardBounces(1, 3), 1);
    }

    // keep: the effects are applied once, nothing is deleted; a later pass without it
    // deletes them, still without counting again.
    void keepThenDelete()
    {
        FakeMailbox box;
        box.messages = {{"a", dsnMail("taro@example.jp", "5.1.1", "failed", token(1, 1))}, {"b", unsubscribeMail(token(1, 3))}};
        InboxOptions keep = options();
        keep.keep = true;
        const InboxSummary first = ProcessInbox(box, keep, {}, nullptr);
        QCOMPARE(first.bounces, 1);
        QCOMPARE(first.unsubscribed, 1);
        QCOMPARE(first.deleted, 0);
        QCOMPARE(box.messages.size(), 2);
        const InboxSummary second = ProcessInbox(box, options(), {}, nullptr);
        QCOMPARE(second.bounces + second.unsubscribed, 0);
        QCOMPARE(second.deleted, 2);
        QCOMPARE(box.messages.size(), 0);
        QCOMPARE(hardBounces(1, 1), 1);
    }

    // One pass takes the whole mailbox, in sessions whose deletions are made real as it goes;
    // the message above the size bound is never read; a cancel stops before the next message.
    void boundsAndCancel()
    {
        FakeMailbox box;
        box.messages = {{"big", kUnrelated + QByteArray(200000, 'x')},
                        {"a", dsnMail("taro@example.jp", "5.1.1", "failed", token(1, 1))},
                        {"b", dsnMail("hana@example.jp", "5.1.1", "failed", token(1, 3))},
                        {"c", kUnrelated}};
        InboxOptions o = options();
        o.chunkMessages = 2;
        const InboxSummary s = ProcessInbox(box, o, {}, nullptr);
        QCOMPARE(s.end, InboxSummary::End::Done);
        QCOMPARE(s.tooLarge, 1);
        QCOMPARE(s.read, 3);
        QCOMPARE(s.postponed, 0);
        QCOMPARE(s.deleted, 2);
        QCOMPARE(box.sessions, 2);  // a and b deleted by the first session's end
        QVERIFY(!box.retrieved.contains("big"));
        QCOMPARE(box.ids(), (QList<QByteArray>{"big", "c"}));

        std::atomic<bool> cancel{true};
        box.retrieved.clear();
        const InboxSummary cancelled = ProcessInbox(box, options(), {}, &cancel);
        QCOMPARE(cancelled.end, InboxSummary::End::Cancelled);
        QVERIFY(box.retrieved.isEmpty());
    }

    // The store refuses a message's effect: that message stays, what was committed before it
    // is still deleted, and the pass says why it stopped.
    void storeRefuses()
    {
        FakeMailbox box;
        box.messages = {{"a", unsubscribeMail(token(1, 3))},
                        {"b", dsnMail("taro@example.jp", "5.1.1", "failed", token(1, 1))},
                        {"c", kUnrelated}};
        Statement s;
        s.exec(QStringLiteral("drop table MemberBounce"));
        const InboxSummary summary = ProcessInbox(box, options(), {}, nullptr);
        QCOMPARE(summary.end, InboxSummary::End::StoreFailed);
        QVERIFY(!summary.error.isEmpty());
        QCOMPARE(summary.unsubscribed, 1);
        QCOMPARE(summary.deleted, 1);
        QCOMPARE(box.ids(), (QList<QByteArray>{"b", "c"}));
        QVERIFY(!box.retrieved.contains("c"));
        QVERIFY(InboxSeen::load(box.identity()).value("b", InboxSeen::State::New) == InboxSeen::State::New);
    }

    // A message that cannot be read is remembered and counted; the pass goes on (in a new
    // session when the old one is lost), everything else is processed, and nothing that was
    // not processed is deleted. Later passes do not try it again.
    void poisonMail_data()
    {
        QTest::addColumn<bool>("breaksSession");
        QTest::newRow("session goes on") << false;
        QTest::newRow("session lost") << true;
    }
    void poisonMail()
    {
        QFETCH(bool, breaksSession);
        FakeMailbox box;
        box.messages = {{"a", dsnMail("taro@example.jp", "5.1.1", "failed", token(1, 1))},
                        {"poison", kUnrelated},
                        {"b", unsubscribeMail(token(1, 3))},
                        {"c", kUnrelated}};
        box.unreadableOf = "poison";
        box.unreadableBreaksSession = breaksSession;
        const InboxSummary s = ProcessInbox(box, options(), {}, nullptr);
        QVERIFY2(s.end == InboxSummary::End::Done, qPrintable(s.text()));
        QCOMPARE(s.unreadable, 1);
        QCOMPARE(s.bounces, 1);
        QCOMPARE(s.unsubscribed, 1);
        QCOMPARE(s.unknown, 1);
        QCOMPARE(s.deleted, 2);
        QCOMPARE(box.ids(), (QList<QByteArray>{"poison", "c"}));
        QVERIFY(box.deletedUnread.isEmpty());
        QCOMPARE(box.sessions, breaksSession ? 2 : 1);
        QVERIFY(s.text().contains(QStringLiteral("読めないメール 1 通")));

        box.unreadableOf.clear();
        box.retrieved.clear();
        const InboxSummary again = ProcessInbox(box, options(), {}, nullptr);
        QCOMPARE(again.end, InboxSummary::End::Done);
        QCOMPARE(again.unreadable, 0);
        QVERIFY(box.retrieved.isEmpty());
        QCOMPARE(box.ids(), (QList<QByteArray>{"poison", "c"}));
        QCOMPARE(hardBounces(1, 1), 1);
    }

    // Thousands of messages in one pass: each session ends with its deletions made real,
    // and what is unrecognised stays.
    void hugeMailbox()
    {
        FakeMailbox box;
        const int n = 1200;
        const int chunk = 300;
        for (int i = 0; i < n; ++i) {
            const QByteArray id = "m" + QByteArray::number(i);
            box.messages += {id, i % 3 == 0 ? kUnrelated + id : dsnMail("hana@example.jp", "4.2.2", "failed", token(1, 3))};
        }
        InboxOptions o = options();
        o.chunkMessages = chunk;
        int lastDone = 0;
        int lastTotal = 0;
        const InboxSummary s = ProcessInbox(box, o, [&](int done, int total) { lastDone = done; lastTotal = total; }, nullptr);
        QVERIFY2(s.end == InboxSummary::End::Done, qPrintable(s.text()));
        QCOMPARE(s.listed, n);
        QCOMPARE(s.read, n);
        QCOMPARE(s.unknown, n / 3);
        QCOMPARE(s.bounces, n - n / 3);
        QCOMPARE(s.deleted, n - n / 3);
        QCOMPARE(int(box.messages.size()), n / 3);
        QCOMPARE(box.sessions, 1 + n / chunk);
        QVERIFY(box.deletedUnread.isEmpty());
        QCOMPARE(allBounces(1, 3), n - n / 3);
        QCOMPARE(lastDone, n);
        QCOMPARE(lastTotal, n);
    }

    // A server that gives one id to two messages (the same size, or another): the second is
    // read and dealt with on its own; a message that was not processed is never deleted.
    void repeatedIds_data()
    {
        QTest::addColumn<QByteArray>("second");
        QTest::addColumn<bool>("secondDeleted");
        // As long as the report with its real token.
        const QByteArray first = dsnMail("taro@example.jp", "5.1.1", "failed", QStringLiteral("1-1-000000000000000000000000"));
        QByteArray sameSize = kUnrelated;
        sameSize += QByteArray(first.size() - sameSize.size(), 'x');
        QTest::newRow("unrecognised, same size") << sameSize << false;
        QTest::newRow("unrecognised, other size") << kUnrelated << false;
        QTest::newRow("a request") << unsubscribeMail(QStringLiteral("@@TOKEN@@")) << true;
    }
    void repeatedIds()
    {
        QFETCH(QByteArray, second);
        QFETCH(bool, secondDeleted);
        second.replace("@@TOKEN@@", token(1, 3).toLatin1());
        const QByteArray first = dsnMail("taro@example.jp", "5.1.1", "failed", token(1, 1));
        FakeMailbox box;
        box.messages = {{"dup", first}, {"dup", second}, {"z", kUnrelated}};
        for (int pass = 0; pass < 2; ++pass) {
            const InboxSummary s = ProcessInbox(box, options(), {}, nullptr);
            QVERIFY2(s.end == InboxSummary::End::Done, qPrintable(s.text()));
            QVERIFY(box.deletedUnread.isEmpty());
        }
        QCOMPARE(hardBounces(1, 1), 1);
        QCOMPARE(sleeping(1, 3), secondDeleted);
        QList<QByteArray> left;
        for (const FakeMailbox::Message &m : std::as_const(box.messages))
            left += m.bytes;
        QCOMPARE(left.contains(second), !secondDeleted);
        QVERIFY(!left.contains(first));
        QVERIFY(left.contains(kUnrelated));
    }

    // Rows that name an id the server now gives to other mail (a table restored from an older
    // backup, a mailbox made anew, a store of an older build that keyed by the id alone) make
    // nothing look handled: the new mail is read and dealt with, never deleted unprocessed.
    void staleRows_data()
    {
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<int>("state");
        QTest::newRow("done, by the id alone") << QByteArray("x1") << int(InboxSeen::State::Done);
        QTest::newRow("done, another message")
            << "x1 " + QByteArray::number(kUnrelated.size()) + " 0123456789abcdef0123456789abcdef"
            << int(InboxSeen::State::Done);
        QTest::newRow("left, another message")
            << "x1 " + QByteArray::number(kUnrelated.size()) + " 0123456789abcdef0123456789abcdef"
            << int(InboxSeen::State::Left);
    }
    void staleRows()
    {
        QFETCH(QByteArray, key);
        QFETCH(int, state);
        FakeMailbox box;
        // The same size as the unrelated mail the old row was about.
        const QByteArray request = unsubscribeMail(token(1, 3));
        QByteArray unknown = kUnrelated;
        unknown[unknown.size() - 3] = '!';
        box.messages = {{"x1", unknown}, {"x2", request}};
        InboxSeen::mark(box.identity(), key, InboxSeen::State(state));
        const InboxSummary s = ProcessInbox(box, options(), {}, nullptr);
        QVERIFY2(s.end == InboxSummary::End::Done, qPrintable(s.text()));
        QVERIFY(box.deletedUnread.isEmpty());
        QCOMPARE(box.ids(), QList<QByteArray>{"x1"});
        QCOMPARE(s.unsubscribed, 1);
        // A left row of another message with the same id and size keeps it from being read
        // (it is left, never deleted); any other row is no reason to skip it.
        QCOMPARE(s.read, state == int(InboxSeen::State::Left) ? 1 : 2);
    }

    // A backup taken while a handled message was still in the mailbox, restored after the
    // mailbox was made anew with the same ids: the new mail is read and dealt with on its
    // own, and only what it asks for is deleted.
    void restoredBackup()
    {
        FakeMailbox box;
        box.messages = {{"1", dsnMail("taro@example.jp", "5.1.1", "failed", token(1, 1))}, {"2", kUnrelated}};
        InboxOptions keep = options();
        keep.keep = true;
        QCOMPARE(ProcessInbox(box, keep, {}, nullptr).bounces, 1);
        QStringList script;
        QVERIFY(BackupScript::write([&](const QString &statement) { script += statement; }));
        QVERIFY(script.join(u'\n').contains(QStringLiteral("InboxSeen")));

        {
            BackupScript::Restore restore;
            for (const QString &statement : std::as_const(script))
                QVERIFY2(restore.run(statement), qPrintable(statement));
            restore.commit();
        }
        QByteArray otherUnknown = kUnrelated;
        otherUnknown.replace("Hello", "Hallo");
        box.messages = {{"1", otherUnknown}, {"2", unsubscribeMail(token(1, 3))}};
        const InboxSummary s = ProcessInbox(box, options(), {}, nullptr);
        QVERIFY2(s.end == InboxSummary::End::Done, qPrintable(s.text()));
        QVERIFY(box.deletedUnread.isEmpty());
        QCOMPARE(s.read, 2);
        QCOMPARE(s.unknown, 1);
        QCOMPARE(s.unsubscribed, 1);
        QCOMPARE(s.bounces, 0);
        QCOMPARE(box.ids(), QList<QByteArray>{"1"});
        QVERIFY(sleeping(1, 3));
        QCOMPARE(hardBounces(1, 1), 1);
    }

    // Mail left alone goes after the chosen number of days from when it was first read (off
    // by default); what was never read, or is younger, stays.
    void unrecognisedDeletedWhenOld_data()
    {
        QTest::addColumn<int>("days");
        QTest::addColumn<int>("ageDays");
        QTest::addColumn<bool>("deleted");
        QTest::newRow("off") << 0 << 400 << false;
        QTest::newRow("older") << 30 << 31 << true;
        QTest::newRow("younger") << 30 << 29 << false;
    }
    void unrecognisedDeletedWhenOld()
    {
        QFETCH(int, days);
        QFETCH(int, ageDays);
        QFETCH(bool, deleted);
        FakeMailbox box;
        box.messages = {{"u", kUnrelated}, {"f", unsubscribeMail(QStringLiteral("1-5-0123456789abcdef0123456789abcdef"))}};
        QCOMPARE(ProcessInbox(box, options(), {}, nullptr).unknown, 1);
        Statement().exec(QStringLiteral("update InboxSeen set SeenDate = '%1'")
                             .arg(QDateTime::currentDateTime().addDays(-ageDays).toString(QStringLiteral("yyyy/MM/dd hh:mm"))));
        box.messages += {"new", kUnrelated + "new"};
        InboxOptions o = options();
        o.deleteUnknownAfterDays = days;
        const InboxSummary s = ProcessInbox(box, o, {}, nullptr);
        QCOMPARE(s.end, InboxSummary::End::Done);
        QCOMPARE(s.expired, deleted ? 2 : 0);
        QCOMPARE(s.unknown, 1);  // the new one, read now and left
        QCOMPARE(box.ids(), deleted ? QList<QByteArray>{"new"} : (QList<QByteArray>{"u", "f", "new"}));
        QVERIFY(box.deletedUnread.isEmpty());
    }

    void serverRefuses()
    {
        FakeMailbox box;
        box.failOpen = true;
        const InboxSummary s = ProcessInbox(box, options(), {}, nullptr);
        QCOMPARE(s.end, InboxSummary::End::ServerFailed);
        QCOMPARE(s.error, QStringLiteral("-ERR [AUTH] Authentication failed."));
        QVERIFY(s.text().contains(QStringLiteral("-ERR [AUTH] Authentication failed.")));
    }

    // A report without our token: soft at most, only for members a magazine mailed lately,
    // and never a suspension however many come; from a person's own return path, nothing.
    void unverifiedReports_data()
    {
        QTest::addColumn<int>("mailedDaysAgo");  // magazine 1's issue to taro; -1: none
        QTest::addColumn<bool>("fromPerson");     // the report comes with a person's return path
        QTest::addColumn<int>("reports");
        QTest::addColumn<int>("counted");         // taro's count in magazine 1
        QTest::newRow("mailed lately: soft") << 3 << false << 1 << 1;
        QTest::newRow("five never suspend") << 3 << false << 5 << 5;
        QTest::newRow("mailed long ago: nobody") << 40 << false << 1 << 0;
        QTest::newRow("never mailed: nobody") << -1 << false << 1 << 0;
        QTest::newRow("a person's report: nobody") << 3 << true << 3 << 0;
    }
    void unverifiedReports()
    {
        QFETCH(int, mailedDaysAgo);
        QFETCH(bool, fromPerson);
        QFETCH(int, reports);
        QFETCH(int, counted);
        if (mailedDaysAgo >= 0) {
            StoreFixture::addIssue(1, 10, {daysAgo(mailedDaysAgo), 1, {}, QStringLiteral("号"), QStringLiteral("本文")});
            StoreFixture::addRecipient(1, 10, 1);
        }
        FakeMailbox box;
        for (int i = 0; i < reports; ++i) {
            QByteArray m = dsnMail("taro@example.jp", "5.1.1");
            if (fromPerson)
                m.replace("Return-Path: <>\r\nFrom: MAILER-DAEMON@mx.example.org",
                          "Return-Path: <mallory@example.org>\r\nFrom: mallory@example.org");
            box.messages += {"r" + QByteArray::number(i), m};
        }
        const InboxSummary s = ProcessInbox(box, options(), {}, nullptr);
        QCOMPARE(s.end, InboxSummary::End::Done);
        QCOMPARE(allBounces(1, 1), counted);
        QCOMPARE(hardBounces(1, 1), 0);
        QCOMPARE(allBounces(2, 2), 0);  // magazine 2 never mailed taro
        QVERIFY(!sleeping(1, 1));
        QCOMPARE(s.softBounces, counted);
        QCOMPARE(s.hardBounces, 0);
        QCOMPARE(s.deleted, counted);
        QCOMPARE(box.messages.size(), reports - counted);
    }

    // A mail to hidden recipients returns its magazine's token: the addresses the report
    // names count in that magazine alone, as hard as reported.
    void magazineTokenReport()
    {
        FakeMailbox box;
        QByteArray report = dsnMail("taro@example.jp", "5.1.1");
        const QByteArray headers = "--b\r\nContent-Type: text/rfc822-headers\r\n\r\n";
        const QByteArray withToken =
            headers + "X-Tsubame-Token: " + UnsubscribeToken::makeMagazine(key, 2).toLatin1() + "\r\n";
        report.replace(headers, withToken);
        box.messages = {{"m", report}, {"h", dsnMail("hana@example.jp", "5.1.1")}};
        box.messages[1].bytes.replace(headers, withToken);
        const InboxSummary s = ProcessInbox(box, options(), {}, nullptr);
        QCOMPARE(hardBounces(2, 2), 1);
        QCOMPARE(allBounces(1, 1), 0);
        QCOMPARE(allBounces(1, 3), 0);  // hana is no member of magazine 2
        QCOMPARE(s.unmatchedReports, 1);
        QCOMPARE(box.ids(), QList<QByteArray>{"h"});
    }

    // A complaint suspends the member its returned token names at once, counted apart.
    void complaints_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<Members>("suspended");
        QTest::addColumn<bool>("deleted");
        // The store (and its key) opens per row: MEMBER and MAGAZINE stand for the tokens.
        const QByteArray own = "X-Tsubame-Token: MEMBER\n";
        const QByteArray list = "List-Unsubscribe: <mailto:stop@example.jp?subject=unsubscribe%20MEMBER>\n";
        const QByteArray magazine = "X-Tsubame-Token: MAGAZINE\n";
        QTest::newRow("member's token") << complaintMail(own) << Members{{1, 3}} << true;
        QTest::newRow("token in List-Unsubscribe") << complaintMail(list) << Members{{1, 3}} << true;
        QTest::newRow("magazine's token and Original-Rcpt-To") << complaintMail(magazine, "<taro@example.jp>")
                                                               << Members{{2, 2}} << true;
        QTest::newRow("magazine's token, no recipient") << complaintMail(magazine) << Members{} << false;
        QTest::newRow("no token") << complaintMail({}, "taro@example.jp") << Members{} << false;
        QTest::newRow("forged token") << complaintMail("X-Tsubame-Token: 1-3-0123456789abcdef01234567\n", "hana@example.jp")
                                      << Members{} << false;
        QTest::newRow("not an abuse report") << complaintMail(own, {}, "not-spam") << Members{} << false;
    }
    void complaints()
    {
        QFETCH(QByteArray, message);
        QFETCH(Members, suspended);
        QFETCH(bool, deleted);
        message.replace("MEMBER", token(1, 3).toLatin1());
        message.replace("MAGAZINE", UnsubscribeToken::makeMagazine(key, 2).toLatin1());
        FakeMailbox box;
        box.messages = {{"c", message}};
        const InboxSummary s = ProcessInbox(box, options(), {}, nullptr);
        QCOMPARE(s.end, InboxSummary::End::Done);
        for (const auto &[magIdx, userIdx] : {std::pair{1, 1}, std::pair{2, 2}, std::pair{1, 3}, std::pair{2, 4}}) {
            const bool named = suspended.contains({magIdx, userIdx});
            QCOMPARE(sleeping(magIdx, userIdx), named);
            QCOMPARE(complaintCount(magIdx, userIdx), named ? 1 : 0);
            QCOMPARE(allBounces(magIdx, userIdx), 0);
        }
        QCOMPARE(s.complaints, int(suspended.size()));
        QCOMPARE(s.complaintSuspended, int(suspended.size()));
        QCOMPARE(s.deleted, deleted ? 1 : 0);
        // Read again it counts once.
        if (deleted)
            return;
        const InboxSummary again = ProcessInbox(box, options(), {}, nullptr);
        QCOMPARE(again.read, 0);
    }

    // "unsubscribe" with no token from a member's own address: the member is suspended (never
    // deleted) in each magazine that mailed it to hidden recipients, and only there.
    void addressUnsubscribe_data()
    {
        QTest::addColumn<QByteArray>("from");
        QTest::addColumn<QByteArray>("subject");
        QTest::addColumn<QString>("body");    // of magazine 1's issue to taro
        QTest::addColumn<bool>("deleting");  // magazine 1 deletes on request
        QTest::addColumn<bool>("suspended");
        const QString plain = QStringLiteral("本文です。");
        QTest::newRow("unsubscribe") << QByteArray("taro@example.jp") << QByteArray("unsubscribe") << plain << false << true;
        QTest::newRow("capitals, blanks, display name") << QByteArray("Taro <taro@example.jp>") << QByteArray("  UNSUBSCRIBE ")
                                                        << plain << false << true;
        QTest::newRow("配信停止, encoded") << QByteArray("taro@example.jp") << QByteArray("=?UTF-8?B?6YWN5L+h5YGc5q2i?=")
                                           << plain << false << true;
        QTest::newRow("解除") << QByteArray("taro@example.jp") << QByteArray("解除") << plain << false << true;
        QTest::newRow("deleting magazine only suspends") << QByteArray("taro@example.jp") << QByteArray("unsubscribe")
                                                         << plain << true << true;
        QTest::newRow("a reply") << QByteArray("taro@example.jp") << QByteArray("Re: unsubscribe") << plain << false
                                 << false;
        QTest::newRow("more words") << QByteArray("taro@example.jp") << QByteArray("unsubscribe me") << plain << false
                                    << false;
        QTest::newRow("not a member's address") << QByteArray("mallory@example.org") << QByteArray("unsubscribe")
                                                << plain << false << false;
        QTest::newRow("local part differs") << QByteArray("TARO@example.jp") << QByteArray("unsubscribe") << plain
                                            << false << false;
        QTest::newRow("issue was personalised") << QByteArray("taro@example.jp") << QByteArray("unsubscribe")
                                                << QStringLiteral("[member name]様\r\n本文") << false << false;
    }
    void addressUnsubscribe()
    {
        QFETCH(QByteArray, from);
        QFETCH(QByteArray, subject);
        QFETCH(QString, body);
        QFETCH(bool, deleting);
        QFETCH(bool, suspended);
        // Magazine 1 mails to hidden recipients; magazine 2 one mail per member (with tokens).
        Statement st;
        st.exec(QStringLiteral("update Magzine set UseUserName = 1 where MagIdx = 2"));
        if (deleting) {
            MagazineMailSettings m = MagazineMailSettings::load(1);
            m.unsubscribeAction = MagazineMailSettings::UnsubscribeAction::Delete;
            MagazineMailSettings::save(1, m);
        }
        StoreFixture::addIssue(1, 10, {daysAgo(100), 1, {}, QStringLiteral("号"), body});
        StoreFixture::addRecipient(1, 10, 1);
        StoreFixture::addIssue(2, 11, {daysAgo(1), 1, {}, QStringLiteral("号"), QStringLiteral("本文")});
        StoreFixture::addRecipient(2, 11, 2);
        FakeMailbox box;
        box.messages = {{"u", readerMail(from, subject)}};
        const InboxSummary s = ProcessInbox(box, options(), {}, nullptr);
        QCOMPARE(s.end, InboxSummary::End::Done);
        QVERIFY(exists(1, 1));
        QCOMPARE(sleeping(1, 1), suspended);
        QVERIFY(!sleeping(2, 2));
        QVERIFY(!sleeping(1, 5));
        QCOMPARE(s.unsubscribed, suspended ? 1 : 0);
        QCOMPARE(s.addressUnsubscribed, suspended ? 1 : 0);
        QCOMPARE(s.removed, 0);
        QCOMPARE(s.unknown + s.forged, suspended ? 0 : 1);  // "unsubscribe me": a request with a bad token
        QCOMPARE(box.messages.isEmpty(), suspended);
        if (suspended)
            QVERIFY(s.text().contains(QStringLiteral("差出人のアドレスによる 1 件")));
    }

    // Mail that is no report touches nobody and stays, though taro was mailed yesterday.
    void notBouncesTouchNobody_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("a reader's reply about an error")
            << readerMail("hana@example.jp", "Re: 不達について",
                          "友人 taro@example.jp に届かないと言われました 550 だそうです。\n");
        QTest::newRow("out of office from a null return path")
            << crlf("Return-Path: <>\nFrom: Taro <taro@example.jp>\nTo: news@example.jp\nAuto-Submitted: auto-replied\n"
                    "Subject: Out of Office: issue\n\nI am away. Mail to taro@example.jp waits; 550 rooms booked.\n");
        QTest::newRow("report-shaped mail from a person")
            << crlf("Return-Path: <mallory@example.org>\nFrom: mallory@example.org\nTo: news@example.jp\n"
                    "Subject: Undelivered Mail Returned to Sender\n"
                    "Content-Type: multipart/report; report-type=delivery-status; boundary=b\n\n"
                    "--b\nContent-Type: message/delivery-status\n\nReporting-MTA: dns; evil.example.org\n\n"
                    "Final-Recipient: rfc822; taro@example.jp\nAction: failed\nStatus: 5.1.1\n\n--b--\n");
        QTest::newRow("forged token in a mail system's notice")
            << crlf("Return-Path: <>\nFrom: MAILER-DAEMON@mx.example.org\nSubject: failure notice\n\n"
                    "Something happened.\n\n--- Below this line is a copy of the message.\n\n"
                    "X-Tsubame-Token: 1-1-0123456789abcdef01234567\n");
    }
    void notBouncesTouchNobody()
    {
        QFETCH(QByteArray, message);
        StoreFixture::addIssue(1, 10, {daysAgo(1), 1, {}, QStringLiteral("号"), QStringLiteral("本文")});
        StoreFixture::addRecipient(1, 10, 1);
        FakeMailbox box;
        box.messages = {{"x", message}};
        const InboxSummary s = ProcessInbox(box, options(), {}, nullptr);
        QCOMPARE(s.end, InboxSummary::End::Done);
        QCOMPARE(s.bounces + s.unsubscribed + s.complaints, 0);
        for (const auto &[magIdx, userIdx] : {std::pair{1, 1}, std::pair{2, 2}, std::pair{1, 3}}) {
            QVERIFY(!MemberBounces::load(magIdx, userIdx).has_value());
            QVERIFY(!sleeping(magIdx, userIdx));
        }
        QCOMPARE(box.ids(), QList<QByteArray>{"x"});
    }

    void summaryText()
    {
        InboxSummary s;
        s.listed = 9;
        s.read = 8;
        s.unsubscribed = 2;
        s.removed = 1;
        s.bounces = 3;
        s.suspended = 1;
        s.unknown = 1;
        s.forged = 1;
        s.deleted = 6;
        s.hardBounces = 2;
        s.softBounces = 1;
        QCOMPARE(s.text(), QStringLiteral("メールボックスのメール 9 通のうち 8 通を読みました。\n"
                                          "配信停止 2 件\n削除 1 件\n不達 3 件 (宛先不明 2 件・一時的 1 件、うち停止 1 件)\n"
                                          "苦情 0 件 (うち停止 0 件)\n不明 1 通 (残した)\n"
                                          "偽の解除依頼 1 通 (残した)\nメールボックスから削除したメール 6 通"));
        s.addressUnsubscribed = 1;
        s.complaints = 2;
        s.complaintSuspended = 1;
        s.unmatchedReports = 3;
        const QStringList lines = s.text().split(u'\n');
        QVERIFY(lines.contains(QStringLiteral("配信停止 2 件 (うちトークンなしで差出人のアドレスによる 1 件)")));
        QVERIFY(lines.contains(QStringLiteral("苦情 2 件 (うち停止 1 件)")));
        QVERIFY(lines.contains(QStringLiteral("メンバーに該当しない不達通知・苦情 3 通 (残した)")));
    }
};

QTEST_GUILESS_MAIN(TestMailInboxProcess)
#include "tst_mail_inbox_process.moc"
