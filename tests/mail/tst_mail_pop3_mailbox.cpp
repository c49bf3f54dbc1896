// The POP3 mailbox session against a scripted server: the exact bytes of a session, STLS,
// and every way a hostile or broken server can answer.
#include "fakes/FakeMailSocket.h"
#include "mail/Pop3Mailbox.h"

#include <QtTest>

namespace {

Pop3MailboxOptions options(Pop3Tls tls = Pop3Tls::None)
{
    Pop3MailboxOptions o;
    o.host = QStringLiteral("POP.example.jp");
    o.port = 110;
    o.user = QStringLiteral("taro");
    o.password = QStringLiteral("se'cret");
    o.tls = tls;
    o.connectTimeoutMs = 1000;
    o.replyTimeoutMs = 2000;
    o.maxMessageBytes = 1000;
    o.maxListEntries = 5;
    return o;
}

const QByteArray kGreeting = "+OK Dovecot ready.\r\n";
const QByteArray kCapa = "+OK\r\nUSER\r\nUIDL\r\n.\r\n";
const QByteArray kLogin = "+OK\r\n+OK Logged in.\r\n";

// A server that is logged in and has answered UIDL and LIST for two messages.
void loggedInWithTwo(FakeMailSocket &s)
{
    s.serverSends(kGreeting).serverSends(kCapa).serverSends(kLogin);
    s.serverSends("+OK\r\n1 uid-a\r\n2 uid-b\r\n.\r\n").serverSends("+OK 2 messages\r\n1 120\r\n2 80\r\n.\r\n");
}

} // namespace

class TestMailPop3Mailbox : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void wholeSession()
    {
        FakeMailSocket s;
        loggedInWithTwo(s);
        // RFC 1939 section 3: a line starting with "." arrives with one more "."; the lone
        // "." ends the message.
        s.serverSends("+OK 120 octets\r\nSubject: x\r\n\r\n..hidden dot\r\n...\r\nlast\r\n.\r\n");
        s.serverSends("+OK marked\r\n").serverSends("+OK bye\r\n");
        Pop3Mailbox box(s, options());
        QString error;
        QVERIFY2(box.open(&error), qPrintable(error));
        QList<MailboxEntry> entries;
        QVERIFY2(box.list(&entries, &error), qPrintable(error));
        QCOMPARE(entries, (QList<MailboxEntry>{{1, 120, "uid-a"}, {2, 80, "uid-b"}}));
        QByteArray message;
        QVERIFY2(box.retrieve(entries[0], &message, &error), qPrintable(error));
        QCOMPARE(message, QByteArray("Subject: x\r\n\r\n.hidden dot\r\n..\r\nlast\r\n"));
        QVERIFY2(box.remove(entries[0], &error), qPrintable(error));
        QVERIFY2(box.close(&error), qPrintable(error));
        QCOMPARE(s.written, QByteArray("CAPA\r\nUSER taro\r\nPASS se'cret\r\nUIDL\r\nLIST\r\nRETR 1\r\nDELE 1\r\nQUIT\r\n"));
        QVERIFY(!s.tls);
        QVERIFY(!s.isConnected());
        QCOMPARE(s.pendingChunks(), 0);
        QCOMPARE(box.identity(), QStringLiteral("taro@pop.example.jp:110"));
    }

    void startTls()
    {
        FakeMailSocket s;
        s.serverSends(kGreeting).serverSends("+OK\r\nSTLS\r\nUSER\r\n.\r\n");
        // Injected after the STLS answer in clear text: it must not count as an answer.
        s.serverSends("+OK Begin TLS\r\n+OK injected\r\n");
        s.serverSends(kLogin);
        Pop3Mailbox box(s, options(Pop3Tls::StartTls));
        QString error;
        QVERIFY2(box.open(&error), qPrintable(error));
        QCOMPARE(s.written, QByteArray("CAPA\r\nSTLS\r\n[TLS]USER taro\r\nPASS se'cret\r\n"));
        QVERIFY(s.tls);
    }

    // TLS from the first byte (port 995): the handshake comes before the greeting; the
    // certificate is checked only when asked, on either way into TLS.
    void tlsWays_data()
    {
        QTest::addColumn<Pop3Tls>("tls");
        QTest::addColumn<bool>("verify");
        QTest::addColumn<QStringList>("certificateErrors");
        QTest::addColumn<bool>("opens");
        QTest::addColumn<QByteArray>("written");
        const QStringList selfSigned{QStringLiteral("自己署名の証明書です")};
        QTest::newRow("implicit") << Pop3Tls::Implicit << false << selfSigned << true
                                  << QByteArray("[TLS]CAPA\r\nUSER taro\r\nPASS se'cret\r\n");
        QTest::newRow("implicit, verified") << Pop3Tls::Implicit << true << QStringList() << true
                                            << QByteArray("[TLS]CAPA\r\nUSER taro\r\nPASS se'cret\r\n");
        QTest::newRow("implicit, refused certificate") << Pop3Tls::Implicit << true << selfSigned << false
                                                       << QByteArray("[TLS]");
        QTest::newRow("STLS, refused certificate") << Pop3Tls::StartTls << true << selfSigned << false
                                                   << QByteArray("CAPA\r\nSTLS\r\n[TLS]");
        QTest::newRow("no TLS: nothing to verify") << Pop3Tls::None << true << selfSigned << true
                                                   << QByteArray("CAPA\r\nUSER taro\r\nPASS se'cret\r\n");
    }
    void tlsWays()
    {
        QFETCH(Pop3Tls, tls);
        QFETCH(bool, verify);
        QFETCH(QStringList, certificateErrors);
        QFETCH(bool, opens);
        QFETCH(QByteArray, written);
        FakeMailSocket s;
        s.certificateErrors = certificateErrors;
        s.serverSends(kGreeting).serverSends("+OK\r\nSTLS\r\n.\r\n");
        if (tls == Pop3Tls::StartTls)
            s.serverSends("+OK\r\n");
        s.serverSends(kLogin);
        Pop3MailboxOptions o = options(tls);
        o.verifyCertificate = verify;
        Pop3Mailbox box(s, o);
        QString error;
        QCOMPARE(box.open(&error), opens);
        QCOMPARE(s.written, written);
        QCOMPARE(s.lastTls.implicit, tls == Pop3Tls::Implicit);
        if (!opens)
            QVERIFY2(error.contains(certificateErrors.first()), qPrintable(error));
    }

    void startTlsRefused_data()
    {
        QTest::addColumn<QByteArray>("capa");
        QTest::addColumn<QByteArray>("stlsReply");
        QTest::addColumn<bool>("handshakeFails");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("not offered") << kCapa << QByteArray() << false << Pop3MailboxText::noStls()
                                     << QByteArray("CAPA\r\nQUIT\r\n");
        QTest::newRow("no capa at all") << QByteArray("-ERR unknown\r\n") << QByteArray() << false
                                        << Pop3MailboxText::noStls() << QByteArray("CAPA\r\nQUIT\r\n");
        QTest::newRow("stls refused") << QByteArray("+OK\r\nSTLS\r\n.\r\n") << QByteArray("-ERR not now\r\n") << false
                                      << "-ERR not now" << QByteArray("CAPA\r\nSTLS\r\n");
        QTest::newRow("handshake fails") << QByteArray("+OK\r\nSTLS\r\n.\r\n") << QByteArray("+OK\r\n") << true
                                         << "handshake failed" << QByteArray("CAPA\r\nSTLS\r\n[TLS]");
    }
    void startTlsRefused()
    {
        QFETCH(QByteArray, capa);
        QFETCH(QByteArray, stlsReply);
        QFETCH(bool, handshakeFails);
        QFETCH(QString, error);
        QFETCH(QByteArray, written);
        FakeMailSocket s;
        s.serverSends(kGreeting).serverSends(capa);
        if (!stlsReply.isEmpty())
            s.serverSends(stlsReply);
        else
            s.serverSends("+OK bye\r\n");
        if (handshakeFails)
            s.failTls();
        Pop3Mailbox box(s, options(Pop3Tls::StartTls));
        QString got;
        QVERIFY(!box.open(&got));
        QCOMPARE(got, error);
        // The password never goes out in clear text when TLS was asked for.
        QCOMPARE(s.written, written);
        QVERIFY(!s.isConnected());
    }

    // -ERR (or a broken connection) at each step fails that step with the server's words.
    void errorAtEachStep_data()
    {
        QTest::addColumn<QList<QByteArray>>("script");
        QTest::addColumn<int>("failingStep");  // 0 open, 1 list, 2 retrieve, 3 remove, 4 close
        QTest::addColumn<QString>("error");
        const QByteArray uidl = "+OK\r\n1 uid-a\r\n.\r\n";
        const QByteArray list = "+OK\r\n1 10\r\n.\r\n";
        QTest::newRow("greeting") << QList<QByteArray>{"-ERR go away\r\n"} << 0 << "-ERR go away";
        QTest::newRow("user") << QList<QByteArray>{kGreeting, kCapa, "-ERR who\r\n"} << 0 << "-ERR who";
        QTest::newRow("pass") << QList<QByteArray>{kGreeting, kCapa, "+OK\r\n-ERR [AUTH] no\r\n"} << 0 << "-ERR [AUTH] no";
        QTest::newRow("uidl") << QList<QByteArray>{kGreeting, kCapa, kLogin, "-ERR no uidl\r\n"} << 1 << "-ERR no uidl";
        QTest::newRow("list") << QList<QByteArray>{kGreeting, kCapa, kLogin, uidl, "-ERR no list\r\n"} << 1 << "-ERR no list";
        QTest::newRow("retr") << QList<QByteArray>{kGreeting, kCapa, kLogin, uidl, list, "-ERR gone\r\n"} << 2 << "-ERR gone";
        QTest::newRow("dele") << QList<QByteArray>{kGreeting, kCapa, kLogin, uidl, list, "+OK\r\nx\r\n.\r\n", "-ERR locked\r\n"}
                              << 3 << "-ERR locked";
        QTest::newRow("quit") << QList<QByteArray>{kGreeting, kCapa, kLogin, uidl, list, "+OK\r\nx\r\n.\r\n", "+OK\r\n",
                                                   "-ERR could not delete\r\n"}
                              << 4 << "-ERR could not delete";
        QTest::newRow("control characters in the answer")
            << QList<QByteArray>{kGreeting, kCapa, "-ERR a\x1b[2Jb\r\n"} << 0 << "-ERR a\\x1b[2Jb";
        QTest::newRow("silence") << QList<QByteArray>{kGreeting, kCapa, kLogin} << 1 << MailSocketText::readTimedOut();
    }
    void errorAtEachStep()
    {
        QFETCH(QList<QByteArray>, script);
        QFETCH(int, failingStep);
        QFETCH(QString, error);
        FakeMailSocket s;
        for (const QByteArray &chunk : script)
            s.serverSends(chunk);
        Pop3Mailbox box(s, options());
        QString got;
        QList<MailboxEntry> entries;
        QByteArray message;
        const bool steps[] = {
            box.open(&got),
            failingStep >= 1 && box.list(&entries, &got),
            failingStep >= 2 && box.retrieve(entries.value(0), &message, &got),
            failingStep >= 3 && box.remove(entries.value(0), &got),
            failingStep >= 4 && box.close(&got),
        };
        for (int i = 0; i < failingStep; ++i)
            QVERIFY2(steps[i], qPrintable(QStringLiteral("step %1: %2").arg(i).arg(got)));
        QVERIFY(!steps[failingStep]);
        QCOMPARE(got, error);
    }

    // What the server lists or sends beyond the bounds is refused, never read into memory.
    void hostileAnswers_data()
    {
        QTest::addColumn<QByteArray>("uidl");
        QTest::addColumn<QByteArray>("list");
        QTest::addColumn<QByteArray>("retr");  // empty: no RETR may be sent
        QTest::addColumn<bool>("closes");
        QTest::addColumn<int>("failingStep");  // 1 list, 2 retrieve
        QTest::addColumn<QString>("error");
        const QByteArray uidl = "+OK\r\n1 uid-a\r\n.\r\n";
        const QByteArray list = "+OK\r\n1 10\r\n.\r\n";
        QTest::newRow("not a number") << QByteArray("+OK\r\nx uid-a\r\n.\r\n") << QByteArray() << QByteArray() << false << 1
                                      << Pop3MailboxText::badListing();
        QTest::newRow("id with a control character")
            << QByteArray("+OK\r\n1 uid\x01\r\n.\r\n") << QByteArray() << QByteArray() << false << 1
            << Pop3MailboxText::badListing();
        QTest::newRow("id too long") << QByteArray("+OK\r\n1 " + QByteArray(71, 'u') + "\r\n.\r\n") << QByteArray()
                                     << QByteArray() << false << 1 << Pop3MailboxText::badListing();
        QTest::newRow("number twice") << QByteArray("+OK\r\n1 a\r\n1 b\r\n.\r\n") << QByteArray() << QByteArray() << false
                                      << 1 << Pop3MailboxText::badListing();
        QTest::newRow("negative size") << uidl << QByteArray("+OK\r\n1 -5\r\n.\r\n") << QByteArray() << false << 1
                                       << Pop3MailboxText::badListing();
        QTest::newRow("listing without end") << QByteArray("+OK\r\n1 a\r\n") << QByteArray() << QByteArray() << true << 1
                                             << Pop3MailboxText::notTerminated();
        QTest::newRow("huge size: never retrieved") << uidl << QByteArray("+OK\r\n1 99999999999999\r\n.\r\n")
                                                    << QByteArray() << false << 2 << Pop3MailboxText::messageTooLarge();
        QTest::newRow("larger than listed") << uidl << list << QByteArray("+OK\r\n" + QByteArray(600, 'a') + "\r\n"
                                                                          + QByteArray(600, 'b') + "\r\n.\r\n")
                                            << false << 2 << Pop3MailboxText::messageTooLarge();
        // Read past as far as it goes (see unreadableMessages), never kept.
        QTest::newRow("line without end") << uidl << list << QByteArray("+OK\r\n" + QByteArray(70000, 'a')) << false << 2
                                          << MailSocketText::readTimedOut();
        QTest::newRow("message without end") << uidl << list << QByteArray("+OK\r\nSubject: x\r\n\r\nbody\r\n") << true
                                             << 2 << Pop3MailboxText::notTerminated();
    }
    void hostileAnswers()
    {
        QFETCH(QByteArray, uidl);
        QFETCH(QByteArray, list);
        QFETCH(QByteArray, retr);
        QFETCH(bool, closes);
        QFETCH(int, failingStep);
        QFETCH(QString, error);
        FakeMailSocket s;
        s.serverSends(kGreeting).serverSends(kCapa).serverSends(kLogin).serverSends(uidl);
        if (!list.isEmpty())
            s.serverSends(list);
        if (!retr.isEmpty())
            s.serverSends(retr);
        if (closes)
            s.serverCloses();
        Pop3Mailbox box(s, options());
        QString got;
        QVERIFY2(box.open(&got), qPrintable(got));
        QList<MailboxEntry> entries;
        const bool listed = box.list(&entries, &got);
        if (failingStep == 1) {
            QVERIFY(!listed);
            QVERIFY(entries.isEmpty());
            QCOMPARE(got, error);
            return;
        }
        QVERIFY2(listed, qPrintable(got));
        QByteArray message;
        QVERIFY(!box.retrieve(entries.value(0), &message, &got));
        QCOMPARE(got, error);
        QVERIFY(message.isEmpty());
        QCOMPARE(s.written.contains("RETR"), !retr.isEmpty());
    }

    // A listing longer than the bound is read to its end; its first entries are kept and the
    // session goes on.
    void longListingKeepsItsFirstEntries()
    {
        FakeMailSocket s;
        s.serverSends(kGreeting).serverSends(kCapa).serverSends(kLogin);
        s.serverSends("+OK\r\n1 a\r\n2 b\r\n3 c\r\n4 d\r\n5 e\r\n6 f\r\n7 g\r\n.\r\n");
        s.serverSends("+OK\r\n1 1\r\n2 2\r\n3 3\r\n4 4\r\n5 5\r\n6 6\r\n7 7\r\n.\r\n").serverSends("+OK bye\r\n");
        Pop3Mailbox box(s, options());
        QString error;
        QVERIFY2(box.open(&error), qPrintable(error));
        QList<MailboxEntry> entries;
        QVERIFY2(box.list(&entries, &error), qPrintable(error));
        QCOMPARE(entries.size(), 5);
        QCOMPARE(entries.last(), (MailboxEntry{5, 5, "e"}));
        QVERIFY(box.usable());
        QVERIFY2(box.close(&error), qPrintable(error));
    }

    // A message that cannot be read says whether it was the message's fault (so the pass
    // remembers it and goes on) and whether the session can go on. A mail's own lines may be
    // as long as the mail.
    void unreadableMessages_data()
    {
        QTest::addColumn<qint64>("maxBytes");
        QTest::addColumn<QByteArray>("retr");   // empty: no RETR may be sent
        QTest::addColumn<bool>("closes");
        QTest::addColumn<QByteArray>("message");  // read whole; empty: refused
        QTest::addColumn<QString>("error");
        QTest::addColumn<bool>("atFault");
        QTest::addColumn<bool>("usable");
        const QByteArray longLine(100000, 'a');
        QTest::newRow("a line of 100 KB within the bound")
            << qint64(200000) << QByteArray("+OK\r\nSubject: x\r\n\r\n" + longLine + "\r\n..\r\n.\r\n") << false
            << QByteArray("Subject: x\r\n\r\n" + longLine + "\r\n.\r\n") << QString() << false << true;
        QTest::newRow("bigger than listed: read past")
            << qint64(1000) << QByteArray("+OK\r\n" + QByteArray(600, 'a') + "\r\n" + QByteArray(600, 'b') + "\r\n.\r\n")
            << false << QByteArray() << Pop3MailboxText::messageTooLarge() << true << true;
        QTest::newRow("one line bigger than the bound: read past")
            << qint64(1000) << QByteArray("+OK\r\n" + QByteArray(2500, 'a') + "\r\n.\r\n") << false << QByteArray()
            << Pop3MailboxText::messageTooLarge() << true << true;
        QTest::newRow("without end") << qint64(1000) << QByteArray("+OK\r\n" + QByteArray(3000, 'a') + "\r\n").repeated(10)
                                     << false << QByteArray() << Pop3MailboxText::messageWithoutEnd() << true << false;
        QTest::newRow("refused by the server") << qint64(1000) << QByteArray("-ERR message is broken\r\n") << false
                                               << QByteArray() << QStringLiteral("-ERR message is broken") << true << true;
        QTest::newRow("too big as listed") << qint64(5) << QByteArray() << false << QByteArray()
                                           << Pop3MailboxText::messageTooLarge() << true << true;
        QTest::newRow("connection ends inside") << qint64(1000) << QByteArray("+OK\r\nSubject: x\r\n") << true
                                                << QByteArray() << Pop3MailboxText::notTerminated() << false << false;
    }
    void unreadableMessages()
    {
        QFETCH(qint64, maxBytes);
        QFETCH(QByteArray, retr);
        QFETCH(bool, closes);
        QFETCH(QByteArray, message);
        QFETCH(QString, error);
        QFETCH(bool, atFault);
        QFETCH(bool, usable);
        FakeMailSocket s;
        s.serverSends(kGreeting).serverSends(kCapa).serverSends(kLogin);
        s.serverSends("+OK\r\n1 uid-a\r\n.\r\n").serverSends("+OK\r\n1 10\r\n.\r\n");
        if (!retr.isEmpty())
            s.serverSends(retr);
        if (closes)
            s.serverCloses();
        else
            s.serverSends("+OK marked\r\n");
        Pop3MailboxOptions o = options();
        o.maxMessageBytes = maxBytes;
        o.maxSkipBytes = 2000;
        Pop3Mailbox box(s, o);
        QString got;
        QVERIFY2(box.open(&got), qPrintable(got));
        QList<MailboxEntry> entries;
        QVERIFY2(box.list(&entries, &got), qPrintable(got));
        QByteArray read;
        QCOMPARE(box.retrieve(entries.value(0), &read, &got), !message.isEmpty());
        QCOMPARE(read, message);
        QCOMPARE(s.written.contains("RETR"), !retr.isEmpty());
        if (message.isEmpty()) {
            QCOMPARE(got, error);
            QCOMPARE(box.messageAtFault(), atFault);
        }
        QCOMPARE(box.usable(), usable);
        if (usable) {
            // In step: the next command gets its own answer.
            QVERIFY2(box.remove(entries.value(0), &got), qPrintable(got));
            QVERIFY(s.written.endsWith("DELE 1\r\n"));
        }
    }

    void refusedArguments_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::newRow("line break in user") << "taro\r\nDELE 1" << "x";
        QTest::newRow("line break in password") << "taro" << "x\nDELE 1";
    }
    void refusedArguments()
    {
        QFETCH(QString, user);
        QFETCH(QString, password);
        FakeMailSocket s;
        Pop3MailboxOptions o = options();
        o.user = user;
        o.password = password;
        Pop3Mailbox box(s, o);
        QString error;
        QVERIFY(!box.open(&error));
        QCOMPARE(s.connects, 0);
        QVERIFY(s.written.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestMailPop3Mailbox)
#include "tst_mail_pop3_mailbox.moc"
