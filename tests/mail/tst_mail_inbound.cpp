// Reading what comes back: encoded words, MIME structure, delivery reports of each common
// kind, and unsubscribe requests. The fixtures are small and written for these tests.
#include "mail/BounceReport.h"
#include "mail/InboundMail.h"
#include "mail/UnsubscribeRequest.h"

#include <QtTest>

namespace {

QByteArray crlf(QByteArray text)
{
    return text.replace("\n", "\r\n");
}

// RFC 3464 report with one per-recipient group given as text.
QByteArray dsn(const QByteArray &recipientGroup, const QByteArray &reportType = "delivery-status")
{
    return crlf("Return-Path: <>\n"
                "From: Mail Delivery System <MAILER-DAEMON@mx.example.jp>\n"
                "To: news@example.jp\n"
                "Subject: Undelivered Mail Returned to Sender\n"
                "MIME-Version: 1.0\n"
                "Content-Type: multipart/report; report-type=" + reportType + ";\n"
                "\tboundary=\"B1/x.y\"\n"
                "\n"
                "This is a MIME-encapsulated message.\n"
                "\n"
                "--B1/x.y\n"
                "Content-Type: text/plain; charset=us-ascii\n"
                "\n"
                "I'm sorry to have to inform you that your message could not\n"
                "be delivered to one or more recipients.\n"
                "\n"
                "--B1/x.y\n"
                "Content-Type: message/delivery-status\n"
                "\n"
                "Reporting-MTA: dns; mx.example.jp\n"
                "Arrival-Date: Fri, 11 Dec 2026 01:00:00 +0900\n"
                "\n"
                + recipientGroup +
                "\n"
                "--B1/x.y\n"
                "Content-Type: message/rfc822\n"
                "\n"
                "From: news@example.jp\n"
                "To: other@example.net\n"
                "Subject: issue 3\n"
                "\n"
                "Hello other@example.net 550 5.1.1\n"
                "--B1/x.y--\n");
}

} // namespace

class TestMailInbound : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void encodedWords_data()
    {
        QTest::addColumn<QByteArray>("field");
        QTest::addColumn<QString>("text");
        QTest::newRow("plain") << QByteArray("unsubscribe 1-2-ab") << "unsubscribe 1-2-ab";
        QTest::newRow("utf-8 B") << QByteArray("=?UTF-8?B?44OG44K544OI?=") << "テスト";
        QTest::newRow("utf-8 Q with underscore") << QByteArray("=?utf-8?q?unsubscribe_1-2-ab?=") << "unsubscribe 1-2-ab";
        QTest::newRow("iso-2022-jp") << QByteArray("=?ISO-2022-JP?B?GyRCRnxLXBsoQg==?=") << "日本";
        QTest::newRow("space between words dropped")
            << QByteArray("=?UTF-8?B?44OG?= =?UTF-8?B?44K544OI?=") << "テスト";
        QTest::newRow("space to plain text kept") << QByteArray("Re: =?UTF-8?B?44OG44K544OI?= end") << "Re: テスト end";
        QTest::newRow("language tag") << QByteArray("=?US-ASCII*EN?Q?Keith_Moore?=") << "Keith Moore";
        QTest::newRow("latin-1") << QByteArray("=?ISO-8859-1?Q?Andr=E9?=") << "André";
        QTest::newRow("unknown charset read as utf-8") << QByteArray("=?x-unknown?B?YWJj?=") << "abc";
        QTest::newRow("not a word") << QByteArray("=?UTF-8?B?broken") << "=?UTF-8?B?broken";
    }
    void encodedWords()
    {
        QFETCH(QByteArray, field);
        QFETCH(QString, text);
        QCOMPARE(InboundMail::decodeWords(field), text);
    }

    void structure()
    {
        const InboundPart mail = InboundMail::parse(dsn("Final-Recipient: rfc822; a@example.jp\nAction: failed\nStatus: 5.1.1\n"));
        QCOMPARE(mail.type, QByteArray("multipart/report"));
        QCOMPARE(mail.reportType, QByteArray("delivery-status"));
        QCOMPARE(mail.boundary, QByteArray("B1/x.y"));
        QCOMPARE(mail.parts.size(), 3);
        QCOMPARE(mail.parts[1].type, QByteArray("message/delivery-status"));
        QCOMPARE(mail.parts[2].parts.size(), 1);
        QCOMPARE(mail.parts[2].parts[0].text("Subject"), QStringLiteral("issue 3"));
    }

    void transferEncodings_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QString>("body");
        QTest::newRow("base64 utf-8") << crlf("Content-Type: text/plain; charset=UTF-8\nContent-Transfer-Encoding: base64\n\n"
                                              "44OG44K544OI\n")
                                      << "テスト";
        QTest::newRow("quoted-printable soft break")
            << crlf("Content-Type: text/plain; charset=\"iso-8859-1\"\nContent-Transfer-Encoding: quoted-printable\n\n"
                    "Andr=E9 a=\nb\n")
            << "André ab\r\n";
        QTest::newRow("iso-2022-jp 7bit") << crlf("Content-Type: text/plain; charset=ISO-2022-JP\n\n\x1b$BF|K\\\x1b(B\n")
                                         << "日本\r\n";
        QTest::newRow("bare LF and no type") << QByteArray("Subject: x\n\nbody\n") << "body\n";
    }
    void transferEncodings()
    {
        QFETCH(QByteArray, message);
        QFETCH(QString, body);
        QCOMPARE(InboundMail::parse(message).bodyText(), body);
    }

    // Nesting and parts are bounded: a message built to recurse costs its size, no more.
    void hostileStructure()
    {
        QByteArray message;
        for (int i = 0; i < 1000; ++i)
            message += "Content-Type: multipart/mixed; boundary=b" + QByteArray::number(i) + "\r\n\r\n--b"
                       + QByteArray::number(i) + "\r\n";
        InboundPart mail = InboundMail::parse(message);
        int depth = 0;
        for (const InboundPart *p = &mail; !p->parts.isEmpty(); p = &p->parts[0])
            ++depth;
        QVERIFY(depth <= InboundMail::kMaxDepth);

        QByteArray many = "Content-Type: multipart/mixed; boundary=b\r\n\r\n";
        for (int i = 0; i < 10000; ++i)
            many += "--b\r\n\r\nx\r\n";
        QVERIFY(InboundMail::parse(many).parts.size() <= InboundMail::kMaxParts);
    }

    void reports_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QList<BouncedRecipient>>("recipients");

        QTest::newRow("dsn hard")
            << dsn("Final-Recipient: rfc822; Taro@Example.JP\nOriginal-Recipient: rfc822;taro@example.jp\n"
                   "Action: failed\nStatus: 5.1.1\nRemote-MTA: dns; mx.example.jp\n"
                   "Diagnostic-Code: smtp; 550 5.1.1 <taro@example.jp>:\n  Recipient address rejected: User unknown\n")
            << QList<BouncedRecipient>{{"taro@example.jp", true, "5.1.1",
                                        "550 5.1.1 <taro@example.jp>: Recipient address rejected: User unknown"}};
        QTest::newRow("dsn soft failure")
            << dsn("Final-Recipient: rfc822; hana@example.jp\nAction: failed\nStatus: 4.2.2\n"
                   "Diagnostic-Code: smtp; 452 4.2.2 Mailbox full\n")
            << QList<BouncedRecipient>{{"hana@example.jp", false, "4.2.2", "452 4.2.2 Mailbox full"}};
        QTest::newRow("dsn delayed is never hard")
            << dsn("Final-Recipient: rfc822; hana@example.jp\nAction: delayed\nStatus: 5.0.0\n")
            << QList<BouncedRecipient>{{"hana@example.jp", false, "5.0.0", "5.0.0"}};
        // A policy refusal (5.7.x) is no closed address: soft.
        QTest::newRow("dsn delivered and failed")
            << dsn("Final-Recipient: rfc822; ok@example.jp\nAction: delivered\nStatus: 2.0.0\n\n"
                   "Final-Recipient: rfc822;<bad@example.jp>\nAction: failed\nStatus: 5.7.1 (policy)\n")
            << QList<BouncedRecipient>{{"bad@example.jp", false, "5.7.1", "5.7.1"}};
        QTest::newRow("dsn of success only") << dsn("Final-Recipient: rfc822; ok@example.jp\nAction: delivered\nStatus: 2.0.0\n")
                                             << QList<BouncedRecipient>{};

        QTest::newRow("qmail")
            << crlf("Return-Path: <>\nFrom: MAILER-DAEMON@mail.example.net\nTo: news@example.jp\n"
                    "Subject: failure notice\n\n"
                    "Hi. This is the qmail-send program at mail.example.net.\n"
                    "I'm afraid I wasn't able to deliver your message to the following addresses.\n"
                    "This is a permanent error; I've given up. Sorry it didn't work out.\n\n"
                    "<jiro@example.net>:\nSorry, no mailbox here by that name. (#5.1.1)\n\n"
                    "--- Below this line is a copy of the message.\n\n"
                    "Return-Path: <news@example.jp>\nTo: jiro@example.net\nCc: someone@example.org\n")
            << QList<BouncedRecipient>{{"jiro@example.net", true, "5.1.1", "Sorry, no mailbox here by that name. (#5.1.1)"}};
        QTest::newRow("postfix plain text")
            << crlf("From: MAILER-DAEMON (Mail Delivery System)\nTo: news@example.jp\n"
                    "Subject: Undelivered Mail Returned to Sender\n\n"
                    "This is the mail system at host mx.example.org.\n\n"
                    "I'm sorry to have to inform you that your message could not\n"
                    "be delivered to one or more recipients.\n\n"
                    "                   The mail system\n\n"
                    "<saburo@example.org>: host mx.example.org[192.0.2.1] said: 550 5.1.1\n"
                    "    <saburo@example.org>: Recipient address rejected: User unknown (in reply to RCPT TO command)\n")
            << QList<BouncedRecipient>{
                   {"saburo@example.org", true, "5.1.1",
                    "host mx.example.org[192.0.2.1] said: 550 5.1.1 <saburo@example.org>: Recipient address rejected: "
                    "User unknown (in reply to RCPT TO command)"}};
        QTest::newRow("exim")
            << crlf("From: Mail Delivery System <Mailer-Daemon@mx.example.com>\nTo: news@example.jp\n"
                    "Subject: Mail delivery failed: returning message to sender\n\n"
                    "This message was created automatically by mail delivery software.\n\n"
                    "A message that you sent could not be delivered to one or more of its\n"
                    "recipients. This is a permanent error. The following address(es) failed:\n\n"
                    "  shiro@example.com\n    SMTP error from remote mail server after RCPT TO:<shiro@example.com>:\n"
                    "    550 No such user here\n\n"
                    "------ This is a copy of the message, including all the headers. ------\n\n"
                    "From: news@example.jp\nTo: shiro@example.com\n")
            << QList<BouncedRecipient>{{"shiro@example.com", true, QString(),
                                        "SMTP error from remote mail server after RCPT TO:<shiro@example.com>: 550 No "
                                        "such user here"}};
        QTest::newRow("sendmail temporary")
            << crlf("From: Mail Delivery Subsystem <MAILER-DAEMON@mx.example.com>\nTo: news@example.jp\n"
                    "Subject: Warning: could not send message for past 4 hours\n\n"
                    "   ----- Transcript of session follows -----\n"
                    "<goro@example.com>... Deferred: 451 Try again later\n")
            << QList<BouncedRecipient>{{"goro@example.com", false, QString(), "... Deferred: 451 Try again later"}};
        QTest::newRow("japanese subject bounce, base64 body")
            << crlf("From: postmaster@example.ne.jp\nTo: news@example.jp\n"
                    "Subject: =?UTF-8?B?6YWN5L+h5LiN6IO9?=\nContent-Type: text/plain; charset=UTF-8\n"
                    "Content-Transfer-Encoding: base64\n\n")
                   + QByteArray("宛先 <rokuro@example.ne.jp> は存在しません: 550 5.1.1 unknown user\n").toBase64() + "\r\n"
            << QList<BouncedRecipient>{{"rokuro@example.ne.jp", true, "5.1.1",
                                        "は存在しません: 550 5.1.1 unknown user"}};
    }
    void reports()
    {
        QFETCH(QByteArray, message);
        QFETCH(QList<BouncedRecipient>, recipients);
        const std::optional<QList<BouncedRecipient>> got = BounceReport::read(InboundMail::parse(message));
        QVERIFY(got.has_value());
        QCOMPARE(*got, recipients);
    }

    // Mail that is no delivery report, however much it looks like one in parts.
    void notReports_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("a reader's reply quoting an error")
            << crlf("From: taro@example.jp\nTo: news@example.jp\nSubject: Re: issue 3\n\n"
                    "My friend jiro@example.net said 550 5.1.1 when I forwarded it.\n");
        QTest::newRow("bounce-like sender without any address")
            << crlf("From: MAILER-DAEMON@mx.example.jp\nSubject: Delivery Status Notification\n\nAll went well.\n");
        QTest::newRow("unsubscribe") << crlf("From: taro@example.jp\nSubject: unsubscribe 1-2-abc\n\n\n");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("report of another kind")
            << crlf("Content-Type: multipart/report; report-type=disposition-notification; boundary=b\n\n"
                    "--b\nContent-Type: message/disposition-notification\n\nFinal-Recipient: rfc822; a@example.jp\n"
                    "Disposition: manual-action/MDN-sent-manually; displayed\n--b--\n");
    }
    void notReports()
    {
        QFETCH(QByteArray, message);
        QVERIFY(!BounceReport::read(InboundMail::parse(message)).has_value());
    }

    void unsubscribeRequests_data()
    {
        QTest::addColumn<QByteArray>("subject");
        QTest::addColumn<QString>("token");  // empty: no request
        QTest::newRow("as the mailto link makes it") << QByteArray("unsubscribe 12-345-0a1b2c") << "12-345-0a1b2c";
        QTest::newRow("capitals and spaces") << QByteArray("  UNSUBSCRIBE   12-345-0a1b2c ") << "12-345-0a1b2c";
        QTest::newRow("encoded word") << QByteArray("=?UTF-8?Q?unsubscribe_12-345-0a1b2c?=") << "12-345-0a1b2c";
        QTest::newRow("encoded in iso-2022-jp")
            << QByteArray("=?ISO-2022-JP?B?") + QByteArray("unsubscribe 7-8-ff").toBase64() + "?=" << "7-8-ff";
        QTest::newRow("reply") << QByteArray("Re: unsubscribe 12-345-0a1b2c") << QString();
        QTest::newRow("no token") << QByteArray("unsubscribe") << QString();
        QTest::newRow("two words") << QByteArray("unsubscribe 1-2-ab please") << QString();
        QTest::newRow("other characters") << QByteArray("unsubscribe 1-2-ab'; drop") << QString();
        QTest::newRow("line break injected") << QByteArray("=?UTF-8?B?") + QByteArray("unsubscribe 1-2-ab\r\nX").toBase64() + "?="
                                             << QString();
    }
    void unsubscribeRequests()
    {
        QFETCH(QByteArray, subject);
        QFETCH(QString, token);
        const InboundPart mail = InboundMail::parse(crlf("From: taro@example.jp\nSubject: ") + subject + "\r\n\r\n\r\n");
        const std::optional<QString> got = UnsubscribeRequest::token(mail);
        QCOMPARE(got.value_or(QString()), token);
        QCOMPARE(got.has_value(), !token.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestMailInbound)
#include "tst_mail_inbound.moc"
