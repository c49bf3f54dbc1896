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

QByteArray dsnMail(const QByteArray &address, const QByteArray &status, const QByteArray &action = "failed")
{
    return crlf("Return-Path: <>\nFrom: MAILER-DAEMON@mx.example.org\nTo: news@example.jp\n"
                "Subject: Undelivered Mail Returned to Sender\n"
                "Content-Type: multipart/report; report-type=delivery-status; boundary=b\n\n"
                "--b\nContent-Type: text/plain\n\nCould not deliver.\n\n"
                "--b\nContent-Type: message/delivery-status\n\nReporting-MTA: dns; mx.example.org\n\n"
                "Final-Recipient: rfc822; " + address + "\nAction: " + action + "\nStatus: " + status + "\n"
                "Diagnostic-Code: smtp; " + status + " no such user\n\n--b--\n");
}

QByteArray plainBounce(const QByteArray &address)
{
    return crlf("From: MAILER-DAEMON@mail.example.net\nTo: news@example.jp\nSubject: failure notice\n\n"
                "Hi. This is the qmail-send program at mail.example.net.\n"
                "I'm afraid I wasn't able to deliver your message to the following addresses.\n"
                "This is a permanent error; I've given up. Sorry it didn't work out.\n\n<" + address
                + ">:\nSorry, no mailbox here by that name. (#5.1.1)\n\n"
                "--- Below this line is a copy of the message.\n\nTo: " + address + "\n");
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
            {"u-dsn", dsnMail("TARO@example.jp", "5.1.1")},  // local part differs: nobody
            {"u-dsn2", dsnMail("taro@EXAMPLE.jp", "5.1.1")}, // both of taro's memberships
            {"u-qmail", plainBounce("jiro@example.net")},
            {"u-soft", dsnMail("hana@example.jp", "4.2.2")},
            {"u-unsub", unsubscribeMail(token(1, 3))},
            {"u-unsub-del", unsubscribeMail(token(2, 4))},
            {"u-forged", unsubscribeMail(QStringLiteral("1-5-0123456789abcdef0123456789abcdef"))},
            {"u-unrelated", kUnrelated},
        };
        QList<std::pair<int, int>> progress;
        const InboxSummary s = ProcessInbox(box, options(), [&](int done, int total) { progress += {done, total}; }, nullptr);
        QCOMPARE(s.end, InboxSummary::End::Done);
        QCOMPARE(s.listed, 8);
        QCOMPARE(s.read, 8);
        QCOMPARE(s.unsubscribed, 1);
        QCOMPARE(s.removed, 1);
        QCOMPARE(s.bounces, 4);    // taro twice (two magazines), jiro, hana
        QCOMPARE(s.suspended, 0);
        QCOMPARE(s.unmatchedReports, 1);
        QCOMPARE(s.forged, 1);
        QCOMPARE(s.unknown, 1);
        QCOMPARE(s.deleted, 5);
        QCOMPARE(progress.size(), 8);
        QCOMPARE(progress.last(), (std::pair<int, int>{8, 8}));
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
            box.messages += {"r" + QByteArray::number(i),
                             dsnMail("taro@example.jp", delayed ? "5.0.0" : statuses[i], delayed ? "delayed" : "failed")};
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
        box.messages = {{"a", dsnMail("taro@example.jp", "5.1.1")}, {"b", dsnMail("hana@example.jp", "5.1.1")}};
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
        box.messages = {{"a", dsnMail("taro@example.jp", "5.1.1")}, {"b", unsubscribeMail(token(1, 3))}};
        InboxOptions keep = options();
        keep.keep = true;
        const InboxSummary first = ProcessInbox(box, keep, {}, nullptr);
        QCOMPARE(first.bounces, 2);
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
                        {"a", dsnMail("taro@example.jp", "5.1.1")},
                        {"b", dsnMail("hana@example.jp", "5.1.1")},
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
        box.messages = {{"a", unsubscribeMail(token(1, 3))}, {"b", dsnMail("taro@example.jp", "5.1.1")}, {"c", kUnrelated}};
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
        box.messages = {{"a", dsnMail("taro@example.jp", "5.1.1")},
                        {"poison", kUnrelated},
                        {"b", unsubscribeMail(token(1, 3))},
                        {"c", kUnrelated}};
        box.unreadableOf = "poison";
        box.unreadableBreaksSession = breaksSession;
        const InboxSummary s = ProcessInbox(box, options(), {}, nullptr);
        QVERIFY2(s.end == InboxSummary::End::Done, qPrintable(s.text()));
        QCOMPARE(s.unreadable, 1);
        QCOMPARE(s.bounces, 2);
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
            box.messages += {id, i % 3 == 0 ? kUnrelated + id : dsnMail("hana@example.jp", "4.2.2")};
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
        const QByteArray first = dsnMail("taro@example.jp", "5.1.1");
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
        const QByteArray first = dsnMail("taro@example.jp", "5.1.1");
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
        box.messages = {{"1", dsnMail("taro@example.jp", "5.1.1")}, {"2", kUnrelated}};
        InboxOptions keep = options();
        keep.keep = true;
        QCOMPARE(ProcessInbox(box, keep, {}, nullptr).bounces, 2);
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
        QCOMPARE(s.text(), QStringLiteral("メールボックスのメール 9 通のうち 8 通を読みました。\n"
                                          "配信停止 2 件\n削除 1 件\n不達 3 件 (うち停止 1 件)\n不明 1 通 (残した)\n"
                                          "偽の解除依頼 1 通 (残した)\nメールボックスから削除したメール 6 通"));
    }
};

QTEST_GUILESS_MAIN(TestMailInboxProcess)
#include "tst_mail_inbox_process.moc"
