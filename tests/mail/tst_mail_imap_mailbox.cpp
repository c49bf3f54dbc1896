// The IMAP mailbox session against a scripted server: the exact bytes of a session, each
// way of logging in, literals in both directions, moving or deleting, and what a hostile or
// broken server can answer.
#include "fakes/FakeMailSocket.h"
#include "mail/ImapMailbox.h"

#include <QtTest>

namespace {

ImapMailboxOptions options(Pop3Tls tls = Pop3Tls::None)
{
    ImapMailboxOptions o;
    o.connection.host = QStringLiteral("IMAP.example.jp");
    o.connection.port = 143;
    o.connection.user = QStringLiteral("taro");
    o.connection.password = QStringLiteral("se\"c\\ret");
    o.connection.tls = tls;
    o.connection.connectTimeoutMs = 1000;
    o.connection.replyTimeoutMs = 2000;
    o.connection.maxMessageBytes = 1000;
    return o;
}

const QByteArray kGreeting = "* OK [CAPABILITY IMAP4rev1 LITERAL+ UIDPLUS MOVE] ready\r\n";
const QByteArray kLoggedIn = "T0001 OK [CAPABILITY IMAP4rev1 UIDPLUS MOVE] Logged in\r\n";
const QByteArray kSelected = "* 2 EXISTS\r\n* OK [UIDVALIDITY 1700] ok\r\nT0002 OK [READ-WRITE] Select completed\r\n";
const QByteArray kListed = "* 1 FETCH (UID 11 RFC822.SIZE 30)\r\n* 2 FETCH (RFC822.SIZE 25 UID 12 FLAGS (\\Seen))\r\n"
                           "T0003 OK Fetch completed\r\n";
// A body whose own lines look like IMAP: only the literal's count says where it ends.
const QByteArray kBody = "Subject: x\r\n\r\nT0004 OK fake\r\n{5}\r\n) a\r\n";

QByteArray fetched(const QByteArray &tag, const QByteArray &uid, const QByteArray &body)
{
    return "* 1 FETCH (UID " + uid + " BODY[] {" + QByteArray::number(body.size()) + "}\r\n" + body + ")\r\n" + tag
           + " OK Fetch completed\r\n";
}

// Logged in, the folder selected and listed.
void listedTwo(FakeMailSocket &s)
{
    s.serverSends(kGreeting).serverSends(kLoggedIn).serverSends(kSelected).serverSends(kListed);
}

} // namespace

class TestMailImapMailbox : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void wholeSession()
    {
        FakeMailSocket s;
        listedTwo(s);
        s.serverSends(fetched("T0004", "11", kBody));
        s.serverSends("T0005 OK Store completed\r\n");
        s.serverSends("* 1 EXPUNGE\r\nT0006 OK Expunge completed\r\n").serverSends("* BYE Logging out\r\nT0007 OK Logout\r\n");
        ImapMailbox box(s, options());
        QString error;
        QVERIFY2(box.open(&error), qPrintable(error));
        QCOMPARE(box.identity(), QStringLiteral("imap:taro@imap.example.jp:143/INBOX;1700"));
        QList<MailboxEntry> entries;
        QVERIFY2(box.list(&entries, &error), qPrintable(error));
        QCOMPARE(entries, (QList<MailboxEntry>{{1, 30, "11"}, {2, 25, "12"}}));
        QByteArray message;
        QVERIFY2(box.retrieve(entries[0], &message, &error), qPrintable(error));
        QCOMPARE(message, kBody);
        QVERIFY2(box.remove(entries[0], &error), qPrintable(error));
        QVERIFY2(box.close(&error), qPrintable(error));
        QCOMPARE(s.written, QByteArray("T0001 LOGIN \"taro\" \"se\\\"c\\\\ret\"\r\n"
                                       "T0002 SELECT \"INBOX\"\r\n"
                                       "T0003 FETCH 1:2 (UID RFC822.SIZE)\r\n"
                                       "T0004 UID FETCH 11 (UID BODY.PEEK[])\r\n"
                                       "T0005 UID STORE 11 +FLAGS.SILENT (\\Deleted)\r\n"
                                       "T0006 UID EXPUNGE 11\r\n"
                                       "T0007 LOGOUT\r\n"));
        QVERIFY(!s.isConnected());
    }

    // Each way in: the server's capabilities choose it; a non-ASCII password goes as a
    // literal (at once with LITERAL+, after the server's "+" otherwise).
    void login_data()
    {
        QTest::addColumn<QByteArray>("greeting");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QList<QByteArray>>("answers");  // after the greeting, up to SELECT
        QTest::addColumn<QByteArray>("written");         // up to SELECT
        QTest::addColumn<QByteArray>("selectTag");
        const QByteArray plain = "AHRhcm8AcGFzcw==";     // "\0taro\0pass"
        QTest::newRow("AUTHENTICATE PLAIN with SASL-IR")
            << QByteArray("* OK [CAPABILITY IMAP4rev1 AUTH=PLAIN SASL-IR] hi\r\n") << "pass"
            << QList<QByteArray>{"T0001 OK [CAPABILITY IMAP4rev1] in\r\n"}
            << QByteArray("T0001 AUTHENTICATE PLAIN " + plain + "\r\n") << QByteArray("T0002");
        QTest::newRow("AUTHENTICATE PLAIN after +")
            << QByteArray("* OK [CAPABILITY IMAP4rev1 AUTH=PLAIN] hi\r\n") << "pass"
            << QList<QByteArray>{"+ \r\n", "T0001 OK in\r\n", "* CAPABILITY IMAP4rev1 MOVE\r\nT0002 OK\r\n"}
            << QByteArray("T0001 AUTHENTICATE PLAIN\r\n" + plain + "\r\nT0002 CAPABILITY\r\n") << QByteArray("T0003");
        QTest::newRow("capabilities asked first")
            << QByteArray("* OK hi\r\n") << "pass"
            << QList<QByteArray>{"* CAPABILITY IMAP4rev1 AUTH=PLAIN SASL-IR\r\nT0001 OK\r\n",
                                 "T0002 OK [CAPABILITY IMAP4rev1] in\r\n"}
            << QByteArray("T0001 CAPABILITY\r\nT0002 AUTHENTICATE PLAIN " + plain + "\r\n") << QByteArray("T0003");
        QTest::newRow("LOGIN, non-ASCII password with LITERAL+")
            << QByteArray("* OK [CAPABILITY IMAP4rev1 LITERAL+] hi\r\n") << QStringLiteral("パス")
            << QList<QByteArray>{"T0001 OK [CAPABILITY IMAP4rev1] in\r\n"}
            << QByteArray("T0001 LOGIN \"taro\" {6+}\r\n\xe3\x83\x91\xe3\x82\xb9\r\n") << QByteArray("T0002");
        QTest::newRow("LOGIN, non-ASCII password, synchronizing")
            << QByteArray("* OK [CAPABILITY IMAP4rev1] hi\r\n") << QStringLiteral("パス")
            << QList<QByteArray>{"+ go ahead\r\n", "T0001 OK [CAPABILITY IMAP4rev1] in\r\n"}
            << QByteArray("T0001 LOGIN \"taro\" {6}\r\n\xe3\x83\x91\xe3\x82\xb9\r\n") << QByteArray("T0002");
    }
    void login()
    {
        QFETCH(QByteArray, greeting);
        QFETCH(QString, password);
        QFETCH(QList<QByteArray>, answers);
        QFETCH(QByteArray, written);
        QFETCH(QByteArray, selectTag);
        FakeMailSocket s;
        s.serverSends(greeting);
        for (const QByteArray &a : answers)
            s.serverSends(a);
        const QByteArray tag = selectTag;
        s.serverSends("* 0 EXISTS\r\n* OK [UIDVALIDITY 9] x\r\n" + tag + " OK selected\r\n");
        ImapMailboxOptions o = options();
        o.connection.password = password;
        ImapMailbox box(s, o);
        QString error;
        QVERIFY2(box.open(&error), qPrintable(error));
        QCOMPARE(s.written, written + tag + " SELECT \"INBOX\"\r\n");
        QList<MailboxEntry> entries;
        QVERIFY2(box.list(&entries, &error), qPrintable(error));
        QVERIFY(entries.isEmpty());
    }

    void startTls()
    {
        FakeMailSocket s;
        s.serverSends("* OK [CAPABILITY IMAP4rev1 STARTTLS LOGINDISABLED] hi\r\n")
            .serverSends("T0001 OK Begin TLS\r\n* OK injected before TLS\r\n")  // the rest is dropped
            .serverSends("* CAPABILITY IMAP4rev1 AUTH=PLAIN SASL-IR\r\nT0002 OK\r\n")
            .serverSends("T0003 OK [CAPABILITY IMAP4rev1] in\r\n")
            .serverSends("* 0 EXISTS\r\n* OK [UIDVALIDITY 9] x\r\nT0004 OK selected\r\n");
        ImapMailbox box(s, options(Pop3Tls::StartTls));
        QString error;
        QVERIFY2(box.open(&error), qPrintable(error));
        QCOMPARE(s.written, QByteArray("T0001 STARTTLS\r\n[TLS]T0002 CAPABILITY\r\nT0003 AUTHENTICATE PLAIN "
                                       "AHRhcm8Ac2UiY1xyZXQ=\r\nT0004 SELECT \"INBOX\"\r\n"));
    }

    // Refusals before a password is sent, and refusals of the server.
    void refusedLogin_data()
    {
        QTest::addColumn<int>("tls");
        QTest::addColumn<QList<QByteArray>>("script");
        QTest::addColumn<QString>("error");
        QTest::addColumn<bool>("passwordSent");
        QTest::newRow("STARTTLS not offered") << int(Pop3Tls::StartTls)
                                              << QList<QByteArray>{"* OK [CAPABILITY IMAP4rev1] hi\r\n", "* BYE\r\nT0001 OK\r\n"}
                                              << ImapMailboxText::noStartTls() << false;
        QTest::newRow("login disabled") << int(Pop3Tls::None)
                                        << QList<QByteArray>{"* OK [CAPABILITY IMAP4rev1 LOGINDISABLED] hi\r\n",
                                                             "* BYE\r\nT0001 OK\r\n"}
                                        << ImapMailboxText::loginDisabled() << false;
        QTest::newRow("wrong password") << int(Pop3Tls::None)
                                        << QList<QByteArray>{kGreeting, "T0001 NO [AUTHENTICATIONFAILED] Authentication failed.\r\n",
                                                             "* BYE\r\nT0002 OK\r\n"}
                                        << QStringLiteral("NO [AUTHENTICATIONFAILED] Authentication failed.") << true;
        QTest::newRow("BYE at once") << int(Pop3Tls::None) << QList<QByteArray>{"* BYE too busy\r\n"}
                                     << QStringLiteral("* BYE too busy") << false;
        QTest::newRow("folder missing") << int(Pop3Tls::None)
                                        << QList<QByteArray>{kGreeting, kLoggedIn, "T0002 NO Mailbox doesn't exist\r\n"}
                                        << QStringLiteral("NO Mailbox doesn't exist") << true;
        QTest::newRow("no UIDVALIDITY") << int(Pop3Tls::None)
                                        << QList<QByteArray>{kGreeting, kLoggedIn, "* 1 EXISTS\r\nT0002 OK\r\n"}
                                        << ImapMailboxText::noUidValidity() << true;
    }
    void refusedLogin()
    {
        QFETCH(int, tls);
        QFETCH(QList<QByteArray>, script);
        QFETCH(QString, error);
        QFETCH(bool, passwordSent);
        FakeMailSocket s;
        for (const QByteArray &chunk : script)
            s.serverSends(chunk);
        ImapMailbox box(s, options(Pop3Tls(tls)));
        QString got;
        QVERIFY(!box.open(&got));
        QCOMPARE(got, error);
        QCOMPARE(s.written.contains("se\\\"c"), passwordSent);
        QVERIFY(!s.isConnected());
    }

    void refusedArguments_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("folder");
        QTest::newRow("line break in user") << "taro\r\nT1 DELETE INBOX" << "x" << "INBOX";
        QTest::newRow("line break in password") << "taro" << "x\nT1 LOGOUT" << "INBOX";
        QTest::newRow("line break in the folder") << "taro" << "x" << "INBOX\r\nT1 DELETE INBOX";
    }
    void refusedArguments()
    {
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(QString, folder);
        FakeMailSocket s;
        ImapMailboxOptions o = options();
        o.connection.user = user;
        o.connection.password = password;
        o.folder = folder;
        ImapMailbox box(s, o);
        QString error;
        QVERIFY(!box.open(&error));
        QCOMPARE(error, ImapMailboxText::badArgument());
        QCOMPARE(s.connects, 0);
    }

    // Processed mail moved to a folder the user names, in modified UTF-7: with MOVE, or COPY
    // and \Deleted; a folder not there yet is made.
    void moveTo_data()
    {
        QTest::addColumn<QByteArray>("capabilities");
        QTest::addColumn<QList<QByteArray>>("answers");
        QTest::addColumn<QByteArray>("written");
        const QByteArray folder = "\"&UeZ0Bm4IMH8-\"";
        QTest::newRow("MOVE") << QByteArray("IMAP4rev1 MOVE UIDPLUS") << QList<QByteArray>{"T0004 OK moved\r\n", "* BYE\r\nT0005 OK\r\n"}
                              << QByteArray("T0004 UID MOVE 11 " + folder + "\r\nT0005 LOGOUT\r\n");
        QTest::newRow("COPY, no UIDPLUS")
            << QByteArray("IMAP4rev1") << QList<QByteArray>{"T0004 OK copied\r\n", "T0005 OK\r\n", "T0006 OK\r\n", "T0007 OK\r\n"}
            << QByteArray("T0004 UID COPY 11 " + folder + "\r\nT0005 UID STORE 11 +FLAGS.SILENT (\\Deleted)\r\n"
                          "T0006 EXPUNGE\r\nT0007 LOGOUT\r\n");
        QTest::newRow("folder made first")
            << QByteArray("IMAP4rev1 MOVE")
            << QList<QByteArray>{"T0004 NO [TRYCREATE] no such folder\r\n", "T0005 OK created\r\n", "T0006 OK moved\r\n",
                                 "T0007 OK\r\n"}
            << QByteArray("T0004 UID MOVE 11 " + folder + "\r\nT0005 CREATE " + folder + "\r\nT0006 UID MOVE 11 " + folder
                          + "\r\nT0007 LOGOUT\r\n");
    }
    void moveTo()
    {
        QFETCH(QByteArray, capabilities);
        QFETCH(QList<QByteArray>, answers);
        QFETCH(QByteArray, written);
        FakeMailSocket s;
        s.serverSends("* OK [CAPABILITY " + capabilities + "] hi\r\n")
            .serverSends("T0001 OK [CAPABILITY " + capabilities + "] in\r\n")
            .serverSends(kSelected)
            .serverSends(kListed);
        for (const QByteArray &a : answers)
            s.serverSends(a);
        ImapMailboxOptions o = options();
        o.moveTo = QStringLiteral("処理済み");
        ImapMailbox box(s, o);
        QString error;
        QVERIFY2(box.open(&error), qPrintable(error));
        QList<MailboxEntry> entries;
        QVERIFY2(box.list(&entries, &error), qPrintable(error));
        const qsizetype before = s.written.size();
        QVERIFY2(box.remove(entries[0], &error), qPrintable(error));
        QVERIFY2(box.close(&error), qPrintable(error));
        QCOMPARE(s.written.mid(before), written);
    }

    // What a hostile or broken server answers to a FETCH: the session refuses it without
    // reading it into memory, and says whether the message was at fault and whether the
    // session can go on.
    void hostileFetch_data()
    {
        QTest::addColumn<QList<QByteArray>>("answer");
        QTest::addColumn<QString>("error");
        QTest::addColumn<bool>("atFault");
        QTest::addColumn<bool>("usable");
        QTest::newRow("literal above the bound") << QList<QByteArray>{"* 1 FETCH (UID 11 BODY[] {99999999999}\r\n",
                                                                      QByteArray(5000, 'x')}
                                                 << ImapMailboxText::literalTooLarge() << true << false;
        QTest::newRow("line without end") << QList<QByteArray>{"* 1 FETCH (UID 11 ", QByteArray(70000, 'x')}
                                          << MailSocketText::replyTooLong() << false << false;
        QTest::newRow("wrong tag") << QList<QByteArray>{"T9999 OK\r\n"} << ImapMailboxText::badResponse() << false << false;
        QTest::newRow("no body") << QList<QByteArray>{"T0004 OK nothing\r\n"} << ImapMailboxText::messageGone() << true << true;
        QTest::newRow("another message's body")
            << QList<QByteArray>{"* 2 FETCH (UID 12 BODY[] {3}\r\nabc)\r\nT0004 OK\r\n"} << ImapMailboxText::messageGone()
            << true << true;
        QTest::newRow("refused") << QList<QByteArray>{"T0004 NO [SERVERBUG] broken\r\n"}
                                 << QStringLiteral("NO [SERVERBUG] broken") << true << true;
        QTest::newRow("BYE") << QList<QByteArray>{"* BYE shutting down\r\n"} << QStringLiteral("* BYE shutting down")
                             << false << false;
        QTest::newRow("closed inside the literal") << QList<QByteArray>{"* 1 FETCH (UID 11 BODY[] {100}\r\nabc"}
                                                   << MailSocketText::closedByPeer() << false << false;
    }
    void hostileFetch()
    {
        QFETCH(QList<QByteArray>, answer);
        QFETCH(QString, error);
        QFETCH(bool, atFault);
        QFETCH(bool, usable);
        FakeMailSocket s;
        listedTwo(s);
        for (const QByteArray &a : answer)
            s.serverSends(a);
        if (QTest::currentDataTag() == QByteArray("closed inside the literal"))
            s.serverCloses();
        ImapMailbox box(s, options());
        QString got;
        QVERIFY2(box.open(&got), qPrintable(got));
        QList<MailboxEntry> entries;
        QVERIFY2(box.list(&entries, &got), qPrintable(got));
        QByteArray message;
        QVERIFY(!box.retrieve(entries[0], &message, &got));
        QCOMPARE(got, error);
        QVERIFY(message.isEmpty());
        QCOMPARE(box.messageAtFault(), atFault);
        QCOMPARE(box.usable(), usable);
    }

    // Above the listed size no FETCH is sent; the listing refuses what is not one.
    void boundsOfTheListing()
    {
        {
            FakeMailSocket s;
            s.serverSends(kGreeting).serverSends(kLoggedIn).serverSends(kSelected);
            s.serverSends("* 1 FETCH (UID 11 RFC822.SIZE 5000)\r\n* 2 FETCH (UID 12 RFC822.SIZE 10)\r\nT0003 OK\r\n");
            ImapMailbox box(s, options());
            QString error;
            QVERIFY2(box.open(&error), qPrintable(error));
            QList<MailboxEntry> entries;
            QVERIFY2(box.list(&entries, &error), qPrintable(error));
            QByteArray message;
            QVERIFY(!box.retrieve(entries[0], &message, &error));
            QCOMPARE(error, Pop3MailboxText::messageTooLarge());
            QVERIFY(box.messageAtFault());
            QVERIFY(!s.written.contains("UID FETCH"));
        }
        {
            FakeMailSocket s;
            s.serverSends(kGreeting).serverSends(kLoggedIn).serverSends(kSelected);
            s.serverSends("* 1 FETCH (UID -3 RFC822.SIZE 5)\r\nT0003 OK\r\n");
            ImapMailbox box(s, options());
            QString error;
            QVERIFY2(box.open(&error), qPrintable(error));
            QList<MailboxEntry> entries;
            QVERIFY(!box.list(&entries, &error));
            QCOMPARE(error, Pop3MailboxText::badListing());
            QVERIFY(entries.isEmpty());
        }
    }

    // The listing comes in chunks of FETCH ranges, so no answer grows with the mailbox.
    void listingInChunks()
    {
        FakeMailSocket s;
        s.serverSends(kGreeting).serverSends(kLoggedIn);
        s.serverSends("* 5 EXISTS\r\n* OK [UIDVALIDITY 3] x\r\nT0002 OK\r\n");
        s.serverSends("* 1 FETCH (UID 1 RFC822.SIZE 1)\r\n* 2 FETCH (UID 2 RFC822.SIZE 2)\r\nT0003 OK\r\n");
        s.serverSends("* 3 FETCH (UID 5 RFC822.SIZE 3)\r\n* 4 FETCH (UID 6 RFC822.SIZE 4)\r\n* 6 EXISTS\r\nT0004 OK\r\n");
        s.serverSends("* 5 FETCH (UID 9 RFC822.SIZE 0)\r\nT0005 OK\r\n");
        ImapMailboxOptions o = options();
        o.listChunk = 2;
        ImapMailbox box(s, o);
        QString error;
        QVERIFY2(box.open(&error), qPrintable(error));
        QList<MailboxEntry> entries;
        QVERIFY2(box.list(&entries, &error), qPrintable(error));
        QCOMPARE(entries, (QList<MailboxEntry>{{1, 1, "1"}, {2, 2, "2"}, {3, 3, "5"}, {4, 4, "6"}, {5, 0, "9"}}));
        QVERIFY(s.written.contains("T0003 FETCH 1:2 (UID RFC822.SIZE)\r\nT0004 FETCH 3:4 (UID RFC822.SIZE)\r\n"
                                   "T0005 FETCH 5:5 (UID RFC822.SIZE)\r\n"));
    }

    void quoting_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("quoted");
        QTest::addColumn<QByteArray>("utf7");
        QTest::newRow("plain") << "INBOX" << QByteArray("\"INBOX\"") << QByteArray("INBOX");
        QTest::newRow("quote and backslash") << "a\"b\\c" << QByteArray("\"a\\\"b\\\\c\"") << QByteArray("a\"b\\c");
        QTest::newRow("ampersand") << "A&B" << QByteArray("\"A&B\"") << QByteArray("A&-B");
        QTest::newRow("Japanese") << "処理済み" << QByteArray() << QByteArray("&UeZ0Bm4IMH8-");
        QTest::newRow("mixed") << "Mail/返信 済" << QByteArray() << QByteArray("Mail/&j9RP4Q- &bgg-");
        QTest::newRow("beyond the BMP") << "x\U0001F600y" << QByteArray() << QByteArray("x&2D3eAA-y");
    }
    void quoting()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, quoted);
        QFETCH(QByteArray, utf7);
        if (!quoted.isEmpty())
            QCOMPARE(Imap::quoted(text.toUtf8()), quoted);
        QCOMPARE(Imap::modifiedUtf7(text), utf7);
    }
};

QTEST_GUILESS_MAIN(TestMailImapMailbox)
#include "tst_mail_imap_mailbox.moc"
