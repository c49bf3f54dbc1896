// What comes back to the sender, read without a store: delivery notices of each kind of mail
// server and each spelling of a report, complaints, requests, and mail that only looks like a
// report (replies, auto-replies, out-of-office notices, forged reports). Every sample is
// written here by hand after the RFCs (3461-3464, 3834, 5965) and the servers' documented
// wording; the addresses are example domains.
#include "mail/BounceSeverity.h"
#include "mail/InboundMail.h"
#include "mail/InboxMessage.h"
#include "mail/ReturnedToken.h"
#include "mail/TokenField.h"
#include "mail/UnsubscribeToken.h"

#include <QtTest>

namespace {

const QByteArray kKey(32, 'k');

QByteArray crlf(QByteArray text)
{
    return text.replace("\n", "\r\n");
}

QByteArray memberToken(int magIdx, int userIdx)
{
    return UnsubscribeToken::make(kKey, magIdx, userIdx).toLatin1();
}

// A plain-text notice from a mail system (null return path unless given).
QByteArray notice(const QByteArray &from, const QByteArray &subject, const QByteArray &body,
                  const QByteArray &returnPath = "<>")
{
    return crlf((returnPath.isEmpty() ? QByteArray() : "Return-Path: " + returnPath + "\n") + "From: " + from
                + "\nTo: news@example.jp\nSubject: " + subject + "\n\n" + body);
}

// The same with a UTF-8 body in Base64, as Japanese servers send it.
QByteArray japaneseNotice(const QByteArray &from, const QByteArray &subject, const QString &body)
{
    return crlf("Return-Path: <>\nFrom: " + from + "\nTo: news@example.jp\nSubject: " + subject
                + "\nMIME-Version: 1.0\nContent-Type: text/plain; charset=UTF-8\nContent-Transfer-Encoding: base64\n\n")
           + body.toUtf8().toBase64() + "\r\n";
}

// An RFC 3464 report with the given per-recipient text; original: the returned header block.
QByteArray report(const QByteArray &recipients, const QByteArray &original = "From: news@example.jp\n",
                  const QByteArray &from = "Mail Delivery System <MAILER-DAEMON@mx.example.net>")
{
    return crlf("Return-Path: <>\nFrom: " + from + "\nTo: news@example.jp\n"
                "Subject: Undelivered Mail Returned to Sender\nMIME-Version: 1.0\n"
                "Content-Type: multipart/report; report-type=delivery-status; boundary=\"R\"\n\n"
                "--R\nContent-Type: text/plain\n\nYour message could not be delivered.\n\n"
                "--R\nContent-Type: message/delivery-status\n\nReporting-MTA: dns; mx.example.net\n\n"
                + recipients + "\n--R\nContent-Type: text/rfc822-headers\n\n" + original + "Subject: issue\n\n--R--\n");
}

QString kindName(InboxVerdict::Kind kind)
{
    switch (kind) {
    case InboxVerdict::Kind::Unsubscribe:
        return QStringLiteral("unsubscribe");
    case InboxVerdict::Kind::ForgedRequest:
        return QStringLiteral("forged");
    case InboxVerdict::Kind::Bounce:
        return QStringLiteral("bounce");
    case InboxVerdict::Kind::Complaint:
        return QStringLiteral("complaint");
    case InboxVerdict::Kind::UnmatchedReport:
        return QStringLiteral("unmatched");
    case InboxVerdict::Kind::AddressUnsubscribe:
        return QStringLiteral("address");
    case InboxVerdict::Kind::Other:
        break;
    }
    return QStringLiteral("other");
}

// "member 1-3", "magazine 2" or "".
QString tokenName(const ReturnedToken &t)
{
    if (t.member)
        return QStringLiteral("member %1-%2").arg(t.member->magIdx).arg(t.member->userIdx);
    if (t.magazine)
        return QStringLiteral("magazine %1").arg(*t.magazine);
    return {};
}

} // namespace

class TestMailReturned : public QObject
{
    Q_OBJECT

    void addSample(const char *name, const QByteArray &message, const char *kind, const QStringList &touched,
                   const QString &token = {})
    {
        QTest::newRow(name) << message << QString::fromLatin1(kind) << touched << token;
    }

private Q_SLOTS:
    // Each sample: what it is, the addresses it names as failed ("address hard|soft"), and the
    // member or magazine its returned token names.
    void samples_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QStringList>("touched");
        QTest::addColumn<QString>("token");

        // RFC 3464 reports as servers really spell them.
        addSample("report: rfc822; without a blank, Action: failure",
                  report("Final-Recipient: rfc822;m1@example.jp\nAction: failure\nStatus: 5.1.1\n"), "bounce",
                  {"m1@example.jp hard"});
        addSample("report: bare SMTP code as Status",
                  report("Final-Recipient: RFC822; <m1@example.jp>\nAction: failed\nStatus: 553 mailbox name not allowed\n"),
                  "bounce", {"m1@example.jp hard"});
        addSample("report: bare 552 is storage",
                  report("Final-Recipient: rfc822; m1@example.jp\nAction: failed\nStatus: 552\n"), "bounce",
                  {"m1@example.jp soft"});
        addSample("report: Status in words, mailbox full",
                  report("Final-Recipient: rfc822; m1@example.jp\nAction: failed\nStatus: failed\n"
                         "Diagnostic-Code: X-Local; mailbox full\n"),
                  "bounce", {"m1@example.jp soft"});
        addSample("report: no Action, 5.2.1 disabled",
                  report("Final-Recipient: rfc822; m1@example.jp\nStatus: 5.2.1\n"), "bounce", {"m1@example.jp hard"});
        addSample("report: several recipients, each its own",
                  report("Final-Recipient: rfc822; m1@example.jp\nAction: failed\nStatus: 5.1.1\n\n"
                         "Final-Recipient: rfc822; m2@example.jp\nAction: failed\nStatus: 5.2.2\n\n"
                         "Final-Recipient: rfc822; m3@example.jp\nAction: delayed\nStatus: 4.4.1\n\n"
                         "Final-Recipient: rfc822; m4@example.jp\nAction: delivered\nStatus: 2.0.0\n\n"
                         "Final-Recipient: rfc822; m5@example.jp\nAction: failed\nStatus: 5.4.4\n\n"
                         "Final-Recipient: rfc822; m6@example.jp\nAction: failed\nStatus: 5.7.1\n"),
                  "bounce",
                  {"m1@example.jp hard", "m2@example.jp soft", "m3@example.jp soft", "m5@example.jp hard",
                   "m6@example.jp soft"});
        addSample("report: recipients run together",
                  report("Final-Recipient: rfc822; m1@example.jp\nAction: failed\nStatus: 5.1.1\n"
                         "Final-Recipient: rfc822; m2@example.jp\nAction: failed\nStatus: 4.2.2\n"),
                  "bounce", {"m1@example.jp hard", "m2@example.jp soft"});
        addSample("report: Original-Recipient is the address we sent to",
                  report("Original-Recipient: rfc822;m1@example.jp\nFinal-Recipient: rfc822; m1.inbox@mail.example.jp\n"
                         "Action: failed\nStatus: 5.1.1\n"),
                  "bounce", {"m1@example.jp hard"});
        addSample("report: X-Actual-Recipient for a pipe",
                  report("Final-Recipient: X-Unix; |/usr/bin/procmail\nX-Actual-Recipient: rfc822; m1@example.jp\n"
                         "Action: failed\nStatus: 5.0.0\nDiagnostic-Code: X-Unix; user unknown\n"),
                  "bounce", {"m1@example.jp hard"});
        addSample("report: unspecific 5.0.0, specific code in the diagnostic (SMTPSVC)",
                  report("Final-Recipient: rfc822;m1@example.jp\nAction: failed\nStatus: 5.0.0\n"
                         "Diagnostic-Code: smtp;550 5.2.2 mailbox full\n",
                         "From: news@example.jp\n", "postmaster@smtpsvc.example.com"),
                  "bounce", {"m1@example.jp soft"});
        addSample("report: 5.0.0 with user unknown",
                  report("Final-Recipient: rfc822;m1@example.jp\nAction: failed\nStatus: 5.0.0\n"
                         "Diagnostic-Code: smtp; 550 Requested action not taken: user unknown\n"),
                  "bounce", {"m1@example.jp hard"});
        addSample("report: delayed (a warning)",
                  report("Final-Recipient: rfc822; m1@example.jp\nAction: delayed\nStatus: 4.4.7\n"
                         "Will-Retry-Until: Fri, 13 Mar 2026 09:00:00 +0900\n"),
                  "bounce", {"m1@example.jp soft"});
        addSample("report of success only",
                  report("Final-Recipient: rfc822; m1@example.jp\nAction: delivered\nStatus: 2.0.0\n"), "unmatched", {});

        // Plain-text notices, by the kind of server.
        addSample("qmail, two addresses",
                  notice("MAILER-DAEMON@mail.example.net", "failure notice",
                         "Hi. This is the qmail-send program at mail.example.net.\n"
                         "I'm afraid I wasn't able to deliver your message to the following addresses.\n"
                         "This is a permanent error; I've given up. Sorry it didn't work out.\n\n"
                         "<m1@example.net>:\nSorry, no mailbox here by that name. (#5.1.1)\n\n"
                         "<m2@example.net>:\n192.0.2.9 does not like recipient.\nRemote host said: 552 5.2.2 Mailbox full\n\n"
                         "--- Below this line is a copy of the message.\n\nTo: m1@example.net, m2@example.net\n"),
                  "bounce", {"m1@example.net hard", "m2@example.net soft"});
        addSample("Exchange, older",
                  notice("System Administrator <postmaster@corp.example.com>", "Undeliverable: issue",
                         "Your message did not reach some or all of the intended recipients.\n\n"
                         "      Subject:\tissue\n      Sent:\t2026/03/05 9:00\n\n"
                         "The following recipient(s) could not be reached:\n\n"
                         "      m1@corp.example.com on 2026/03/05 9:00\n"
                         "            The e-mail address you entered couldn't be found.\n"
                         "            <mx.corp.example.com #5.1.1>\n",
                         {}),
                  "bounce", {"m1@corp.example.com hard"});
        addSample("Exchange, newer",
                  crlf("Return-Path: <>\nFrom: Microsoft Outlook <postmaster@outlook.example.com>\nTo: news@example.jp\n"
                       "Subject: Undeliverable: issue\nContent-Type: multipart/mixed; boundary=\"x\"\n\n"
                       "--x\nContent-Type: multipart/alternative; boundary=\"y\"\n\n"
                       "--y\nContent-Type: text/plain; charset=us-ascii\n\n"
                       "Delivery has failed to these recipients or groups:\n\nm1@outlook.example.com\n"
                       "The email address you entered couldn't be found. Please check the recipient's email address.\n\n"
                       "Diagnostic information for administrators:\n\nGenerating server: mx.outlook.example.com\n\n"
                       "m1@outlook.example.com\nRemote Server returned '550 5.1.10 RESOLVER.ADR.RecipientNotFound'\n\n"
                       "--y\nContent-Type: text/html\n\n<p>Delivery has failed</p>\n--y--\n"
                       "--x\nContent-Type: message/rfc822\n\nFrom: news@example.jp\nTo: m1@outlook.example.com\n\nhello\n--x--\n"),
                  "bounce", {"m1@outlook.example.com hard"});
        addSample("GroupWise",
                  notice("postmaster@gw.example.org", "Message status - undeliverable",
                         "The message that you sent was undeliverable to the following:\n"
                         "\tm1@gw.example.org (user not found)\n\n"
                         "Possible issues:\nThe address does not exist in the system.\n"),
                  "bounce", {"m1@gw.example.org hard"});
        addSample("Yahoo, older",
                  notice("MAILER-DAEMON@yahoo.example.com", "Failure Notice",
                         "Sorry, we were unable to deliver your message to the following address.\n\n"
                         "<m1@yahoo.example.com>:\nRemote host said: 554 delivery error: dd This user doesn't have a "
                         "yahoo.example.com account (m1@yahoo.example.com) [0] - mta.yahoo.example.com\n\n"
                         "--- Below this line is a copy of the message.\n"),
                  "bounce", {"m1@yahoo.example.com hard"});
        addSample("Yahoo, newer, reason in its own paragraph",
                  notice("Mail Delivery Subsystem <mailer-daemon@yahoo.example.com>", "Delivery Status Notification (Failure)",
                         "Message not delivered\n\nYour message to m1@yahoo.example.com couldn't be delivered.\n\n"
                         "The recipient's mailbox is full and can't accept messages now.\n"),
                  "bounce", {"m1@yahoo.example.com soft"});
        addSample("AOL (Sendmail kind)",
                  notice("Mail Delivery Subsystem <MAILER-DAEMON@aol.example.com>", "Returned mail: User unknown",
                         "The original message was received at Thu, 5 Mar 2026 09:00:00 -0500\n\n"
                         "   ----- The following addresses had permanent fatal errors -----\n<m1@aol.example.com>\n"
                         "    (reason: 550 MAILBOX NOT FOUND)\n"),
                  "bounce", {"m1@aol.example.com hard"});
        addSample("SMTP32",
                  notice("postmaster@smtp32.example.net", "Delivery failure",
                         "The following recipients did not receive this message:\n\n<m1@smtp32.example.net>\n\n"
                         "Delivery failed: user mailbox is not known here.\n"),
                  "bounce", {"m1@smtp32.example.net hard"});
        addSample("Netscape Messaging Server",
                  notice("Mail Delivery Subsystem <MAILER-DAEMON@nms.example.org>", "Delivery Notification: Delivery has failed",
                         "This Message was undeliverable due to the following reason:\n\n"
                         "Each of the following recipients was rejected by a remote mail server.\n\n"
                         "    Recipient: <m1@nms.example.org>\n    Reason:    5.1.1 <m1@nms.example.org>... User unknown\n"),
                  "bounce", {"m1@nms.example.org hard"});
        addSample("Sina (qmail kind, own wording)",
                  notice("MAILER-DAEMON@sina.example.cn", "failure notice",
                         "Hi. This is the deliver program at sina.example.cn.\n"
                         "I'm afraid I wasn't able to deliver your message to the following addresses.\n\n"
                         "<m1@sina.example.cn>:\nuser not exist\n"),
                  "bounce", {"m1@sina.example.cn hard"});
        addSample("Newmail (account disabled)",
                  notice("MAILER-DAEMON@newmail.example.ru", "Undelivered mail",
                         "This is the mail delivery agent at newmail.example.ru.\n\n"
                         "<m1@newmail.example.ru>: account disabled\n"),
                  "bounce", {"m1@newmail.example.ru hard"});
        addSample("university server: host unknown",
                  notice("MAILER-DAEMON@mail.uni.example.edu", "Returned mail: Host unknown",
                         "   ----- Transcript of session follows -----\n"
                         "m1@old.uni.example.edu... host unknown (Name server: old.uni.example.edu: host not found)\n"),
                  "bounce", {"m1@old.uni.example.edu hard"});
        addSample("ISP: mailbox unavailable",
                  notice("postmaster@isp.example.net", "Undelivered Mail",
                         "Delivery to the following recipient failed:\n\n    m1@isp.example.net: mailbox unavailable\n"),
                  "bounce", {"m1@isp.example.net hard"});
        addSample("Sendmail warning, delayed",
                  notice("Mail Delivery Subsystem <MAILER-DAEMON@mx.example.com>",
                         "Warning: could not send message for past 4 hours",
                         "    **********************************************\n"
                         "    **      THIS IS A WARNING MESSAGE ONLY      **\n"
                         "    **  YOU DO NOT NEED TO RESEND YOUR MESSAGE  **\n"
                         "    **********************************************\n\n"
                         "   ----- Transcript of session follows -----\n"
                         "<m1@example.com>... Deferred: Connection timed out with mx.example.com.\n"
                         "Warning: message still undelivered after 4 hours\n"
                         "Will keep trying until message is 5 days old\n"),
                  "bounce", {"m1@example.com soft"});
        addSample("Exim warning quoting a 550: still soft",
                  notice("Mail Delivery System <Mailer-Daemon@mx.example.com>", "Warning: message 1abc delayed 24 hours",
                         "This message was created automatically by mail delivery software.\n"
                         "A message that you sent has not yet been delivered to one or more of its\n"
                         "recipients after more than 24 hours on the queue on mx.example.com.\n\n"
                         "  m1@example.com\n    Delay reason: SMTP error from remote mail server after RCPT TO:<m1@example.com>:\n"
                         "    550 5.1.1 user unknown\n\n"
                         "No action is required on your part. Delivery attempts will continue for some time.\n"),
                  "bounce", {"m1@example.com soft"});
        addSample("still trying",
                  notice("postmaster@relay.example.org", "Delivery delayed",
                         "Your message to m1@example.org is still trying to be delivered.\n"),
                  "bounce", {"m1@example.org soft"});
        addSample("Japanese server: address does not exist",
                  japaneseNotice("postmaster@example.ne.jp", "=?UTF-8?B?6YWN5L+h5LiN6IO9?=",
                                 QStringLiteral("以下の宛先へのメールは配信できませんでした。\n\n"
                                                "宛先: m1@example.ne.jp\n理由: 宛先のメールアドレスが存在しません\n")),
                  "bounce", {"m1@example.ne.jp hard"});
        addSample("Japanese server: mailbox full",
                  japaneseNotice("postmaster@example.ne.jp", "Returned mail",
                                 QStringLiteral("宛先 m1@example.ne.jp のメールボックスの容量がいっぱいのため、"
                                                "配信できませんでした。\n")),
                  "bounce", {"m1@example.ne.jp soft"});
        addSample("mobile carrier A: unknown user",
                  notice("Mail Delivery Subsystem <MAILER-DAEMON@mobile-a.example.ne.jp>",
                         "Returned mail: see transcript for details",
                         "   ----- The following addresses had permanent fatal errors -----\n"
                         "<m1@mobile-a.example.ne.jp>\n    (reason: 550 Unknown user m1@mobile-a.example.ne.jp)\n"),
                  "bounce", {"m1@mobile-a.example.ne.jp hard"});
        addSample("mobile carrier B: invalid recipient",
                  notice("MAILER-DAEMON@mobile-b.example.ne.jp", "Mail System Error - Returned Mail",
                         "This message was created automatically by mail delivery software.\n\n"
                         "<m1@mobile-b.example.ne.jp>: 550 Invalid recipient\n"),
                  "bounce", {"m1@mobile-b.example.ne.jp hard"});
        addSample("mobile carrier C: refused by the reader's filter",
                  japaneseNotice("Postmaster@mobile-c.example.ne.jp", "=?UTF-8?B?6YWN5L+h5LiN6IO9?=",
                                 QStringLiteral("お客様が送信されたメールは、以下の理由により配信できませんでした。\n\n"
                                                "宛先: m1@mobile-c.example.ne.jp\n"
                                                "理由: 受信拒否設定により、メールを配信できませんでした。\n")),
                  "bounce", {"m1@mobile-c.example.ne.jp soft"});

        // Our token in what comes back names the member or the magazine.
        const QByteArray member = memberToken(1, 3);
        addSample("token: our field in the returned header",
                  report("Final-Recipient: rfc822; m1@example.jp\nAction: failed\nStatus: 5.1.1\n",
                         "From: news@example.jp\nX-Tsubame-Token: " + member + "\n"),
                  "bounce", {"m1@example.jp hard"}, "member 1-3");
        addSample("token: List-Unsubscribe of a returned message/rfc822",
                  crlf("From: MAILER-DAEMON@mx.example.net\nSubject: failure notice\n"
                       "Content-Type: multipart/mixed; boundary=q\n\n--q\n\n<m1@example.jp>: 550 user unknown\n"
                       "--q\nContent-Type: message/rfc822\n\nFrom: news@example.jp\n"
                       "List-Unsubscribe: <mailto:stop@example.jp?subject=unsubscribe%20" + member + ">\n\nbody\n--q--\n"),
                  "bounce", {"m1@example.jp hard"}, "member 1-3");
        addSample("token: quoted as text after the notice",
                  notice("MAILER-DAEMON@mail.example.net", "failure notice",
                         "<m1@example.net>:\nSorry, no mailbox here by that name. (#5.1.1)\n\n"
                         "--- Below this line is a copy of the message.\n\n> X-Tsubame-Token: " + member + "\n"),
                  "bounce", {"m1@example.net hard"}, "member 1-3");
        addSample("token: one-click URL quoted",
                  notice("MAILER-DAEMON@mail.example.net", "failure notice",
                         "<m1@example.net>: 550 5.1.1 no such user\n\n"
                         "--- Below this line is a copy of the message.\n\nList-Unsubscribe: <https://example.jp/u?t=" + member
                             + ">\n"),
                  "bounce", {"m1@example.net hard"}, "member 1-3");
        addSample("token: the plus address the notice came to",
                  crlf("Return-Path: <>\nDelivered-To: bounces+" + member + "@example.jp\n"
                       "From: MAILER-DAEMON@mx.example.net\nSubject: failure notice\n\nSomething went wrong.\n"),
                  "bounce", {}, "member 1-3");
        addSample("token: the plus address folded to capitals by the receiving server",
                  crlf("Return-Path: <>\nX-Original-To: \"Bounces\" <BOUNCES+" + member.toUpper() + "@EXAMPLE.JP>\n"
                       "From: MAILER-DAEMON@mx.example.net\nSubject: failure notice\n\nSomething went wrong.\n"),
                  "bounce", {}, "member 1-3");
        addSample("token: a magazine's, from a mail to hidden recipients",
                  report("Final-Recipient: rfc822; m1@example.jp\nAction: failed\nStatus: 5.1.1\n",
                         "From: news@example.jp\nX-Tsubame-Token: " + UnsubscribeToken::makeMagazine(kKey, 2).toLatin1() + "\n"),
                  "bounce", {"m1@example.jp hard"}, "magazine 2");
        addSample("token: altered signature counts for nothing",
                  report("Final-Recipient: rfc822; m1@example.jp\nAction: failed\nStatus: 5.1.1\n",
                         "X-Tsubame-Token: 1-3-0123456789abcdef01234567\n"),
                  "bounce", {"m1@example.jp hard"});
        addSample("token: another store's key counts for nothing",
                  report("Final-Recipient: rfc822; m1@example.jp\nAction: failed\nStatus: 5.1.1\n",
                         "X-Tsubame-Token: " + UnsubscribeToken::make(QByteArray(32, 'x'), 1, 3).toLatin1() + "\n"),
                  "bounce", {"m1@example.jp hard"});
        addSample("token: in the notice's own header counts for nothing",
                  crlf("Return-Path: <>\nFrom: MAILER-DAEMON@mx.example.net\nX-Tsubame-Token: " + member
                       + "\nSubject: failure notice\n\n<m1@example.jp>: 550 5.1.1 user unknown\n"),
                  "bounce", {"m1@example.jp hard"});
        addSample("token: returned by a relay that is no mail system, saying it failed",
                  crlf("From: Relay Service <relay-notices@relay.example.org>\nSubject: Message could not be delivered\n"
                       "Content-Type: multipart/mixed; boundary=q\n\n--q\n\nm9@elsewhere.example: 550 5.1.1 user unknown\n"
                       "--q\nContent-Type: message/rfc822\n\nFrom: news@example.jp\nX-Tsubame-Token: " + member
                       + "\n\nbody\n--q--\n"),
                  "bounce", {"m9@elsewhere.example hard"}, "member 1-3");

        // Complaints (RFC 5965).
        const QByteArray feedback =
            "From: fbl@isp.example.com\nSubject: complaint\nMIME-Version: 1.0\n"
            "Content-Type: multipart/report; report-type=feedback-report; boundary=\"f\"\n\n"
            "--f\nContent-Type: text/plain\n\nThis is an abuse report.\n\n"
            "--f\nContent-Type: message/feedback-report\n\nFeedback-Type: abuse\nUser-Agent: ExampleFBL/1.0\nVersion: 1\n"
            "Original-Rcpt-To: <m1@example.jp>\n\n--f\nContent-Type: message/rfc822\n\nFrom: news@example.jp\n";
        addSample("complaint returning a member's mail",
                  crlf(feedback + "X-Tsubame-Token: " + member + "\n\nbody\n--f--\n"), "complaint",
                  {"m1@example.jp soft"}, "member 1-3");
        addSample("complaint returning no token", crlf(feedback + "\nbody\n--f--\n"), "unmatched", {"m1@example.jp soft"});

        // Requests.
        addSample("request with a genuine token", crlf("From: m1@example.jp\nSubject: unsubscribe " + member + "\n\n"),
                  "unsubscribe", {}, "member 1-3");
        addSample("request with a forged token",
                  crlf("From: m1@example.jp\nSubject: unsubscribe 1-3-0123456789abcdef01234567\n\n"), "forged", {});
        addSample("unsubscribe without a token", crlf("From: m1@example.jp\nSubject: Unsubscribe\n\n"), "address", {});
        addSample("配信停止 without a token", crlf("From: m1@example.jp\nSubject: =?UTF-8?B?6YWN5L+h5YGc5q2i?=\n\n"), "address",
                  {});

        // No reports, however they look.
        addSample("a reader's reply about an error",
                  crlf("From: m2@example.jp\nSubject: =?UTF-8?B?UmU6IOS4jemBlOOBq+OBpOOBhOOBpg==?=\n"
                       "Content-Type: text/plain; charset=UTF-8\n\n")
                      + QStringLiteral("友人 m8@example.jp に届かないと言われました 550 だそうです。\n").toUtf8(),
                  "other", {});
        addSample("a reader's forward of our mail with its token",
                  crlf("From: m2@example.jp\nSubject: Fwd: issue\nContent-Type: multipart/mixed; boundary=q\n\n"
                       "--q\n\nm8@example.jp says 550 5.1.1 user unknown\n--q\nContent-Type: message/rfc822\n\n"
                       "From: news@example.jp\nX-Tsubame-Token: " + member + "\n\nbody\n--q--\n"),
                  "other", {});
        addSample("auto-reply (X-Autoreply)",
                  crlf("From: m2@example.jp\nX-Autoreply: yes\nSubject: Re: issue\n\nThanks, m8@example.jp 550.\n"), "other",
                  {});
        addSample("out of office from a null return path",
                  crlf("Return-Path: <>\nFrom: m2@example.jp\nAuto-Submitted: auto-replied\nSubject: Out of Office: issue\n\n"
                       "I am away until Monday; write to m8@example.jp, permanent error 550 aside.\n"),
                  "other", {});
        addSample("自動応答 subject",
                  crlf("Return-Path: <>\nFrom: m2@example.jp\nSubject: =?UTF-8?B?6Ieq5YuV5b+c562U?=\n\n"
                       "m8@example.jp user unknown\n"),
                  "other", {});
        addSample("forged report from an unrelated sender",
                  crlf("Return-Path: <mallory@example.org>\nFrom: mallory@example.org\nSubject: Undelivered Mail\n"
                       "Content-Type: multipart/report; report-type=delivery-status; boundary=b\n\n"
                       "--b\nContent-Type: message/delivery-status\n\nReporting-MTA: dns; evil.example.org\n\n"
                       "Final-Recipient: rfc822; m1@example.jp\nAction: failed\nStatus: 5.1.1\n\n--b--\n"),
                  "other", {});
        addSample("a person's mail with a failure subject",
                  crlf("From: m2@example.jp\nSubject: Undelivered Mail Returned to Sender\n\n"
                       "<m8@example.jp>: 550 5.1.1 user unknown\n"),
                  "other", {});
        addSample("read receipt",
                  crlf("From: m2@example.jp\nContent-Type: multipart/report; report-type=disposition-notification; boundary=b\n\n"
                       "--b\nContent-Type: message/disposition-notification\n\nFinal-Recipient: rfc822; m2@example.jp\n"
                       "Disposition: manual-action/MDN-sent-manually; displayed\n--b--\n"),
                  "other", {});
        addSample("empty", QByteArray(), "other", {});
    }
    void samples()
    {
        QFETCH(QByteArray, message);
        QFETCH(QString, kind);
        QFETCH(QStringList, touched);
        QFETCH(QString, token);
        const InboxVerdict v = InboxMessage::classify(InboundMail::parse(message), kKey);
        QCOMPARE(kindName(v.kind), kind);
        QStringList got;
        for (const BouncedRecipient &r : v.recipients)
            got += r.address + (r.hard ? QStringLiteral(" hard") : QStringLiteral(" soft"));
        if (v.kind == InboxVerdict::Kind::Other) {
            QVERIFY(touched.isEmpty());
        } else {
            QCOMPARE(got, touched);
        }
        QCOMPARE(tokenName(v.token), token);
    }

    // A notice that returns our member's token but names no address of its own is judged by
    // its words as a whole.
    void overallSeverity_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("severity");
        QTest::newRow("user unknown") << QByteArray("The recipient is unknown: user unknown.\n") << int(BounceSeverity::Hard);
        QTest::newRow("a code") << QByteArray("Remote said 550 5.1.1\n") << int(BounceSeverity::Hard);
        QTest::newRow("over quota") << QByteArray("Mailbox over quota.\n") << int(BounceSeverity::Soft);
        QTest::newRow("a warning") << QByteArray("Will retry for 5 days. 550 user unknown\n") << int(BounceSeverity::Soft);
        QTest::newRow("nothing said") << QByteArray("Something happened.\n") << int(BounceSeverity::Unknown);
    }
    void overallSeverity()
    {
        QFETCH(QByteArray, body);
        QFETCH(int, severity);
        const QByteArray m = notice("MAILER-DAEMON@mx.example.net", "notice",
                                    body + "\n--- Below this line is a copy of the message.\n\nX-Tsubame-Token: "
                                        + memberToken(4, 5) + "\n");
        const InboxVerdict v = InboxMessage::classify(InboundMail::parse(m), kKey);
        QCOMPARE(v.kind, InboxVerdict::Kind::Bounce);
        QCOMPARE(tokenName(v.token), QStringLiteral("member 4-5"));
        QCOMPARE(int(v.overall), severity);
    }

    // RFC 3463 section 3: which codes say the address is gone.
    void statusCodes_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<int>("severity");
        const int hard = int(BounceSeverity::Hard), soft = int(BounceSeverity::Soft), unknown = int(BounceSeverity::Unknown);
        QTest::newRow("5.1.1 bad mailbox") << "5.1.1" << hard;
        QTest::newRow("5.1.2 bad system") << "5.1.2" << hard;
        QTest::newRow("5.1.10 null MX") << "5.1.10" << hard;
        QTest::newRow("5.2.1 disabled") << "5.2.1" << hard;
        QTest::newRow("5.2.2 full") << "5.2.2" << soft;
        QTest::newRow("5.2.3 too big") << "5.2.3" << soft;
        QTest::newRow("5.3.2 not accepting") << "5.3.2" << soft;
        QTest::newRow("5.4.4 unable to route") << "5.4.4" << hard;
        QTest::newRow("5.4.7 delivery time expired") << "5.4.7" << soft;
        QTest::newRow("5.7.1 policy") << "5.7.1" << soft;
        QTest::newRow("5.7.26 authentication") << "5.7.26" << soft;
        QTest::newRow("4.2.2 transient") << "4.2.2" << soft;
        QTest::newRow("5.0.0 says nothing") << "5.0.0" << unknown;
        QTest::newRow("5.1.0 says nothing") << "5.1.0" << unknown;
        QTest::newRow("2.0.0 no failure") << "2.0.0" << unknown;
        QTest::newRow("garbage") << "5.x.1" << unknown;
    }
    void statusCodes()
    {
        QFETCH(QString, code);
        QFETCH(int, severity);
        QCOMPARE(int(BounceSeverityOf::status(code)), severity);
    }

    void plainUnsubscribe_data()
    {
        QTest::addColumn<QString>("subject");
        QTest::addColumn<bool>("is");
        QTest::newRow("unsubscribe") << "unsubscribe" << true;
        QTest::newRow("capitals and blanks") << "  UnSubscribe\t" << true;
        QTest::newRow("配信停止") << "配信停止" << true;
        QTest::newRow("解除") << " 解除 " << true;
        QTest::newRow("reply") << "Re: unsubscribe" << false;
        QTest::newRow("sentence") << "配信停止してください" << false;
        QTest::newRow("empty") << "" << false;
    }
    void plainUnsubscribe()
    {
        QFETCH(QString, subject);
        QFETCH(bool, is);
        QCOMPARE(InboxMessage::isPlainUnsubscribe(subject), is);
    }

    // The field every mail carries, and the magazine's token beside the member's: neither
    // passes for the other.
    void tokenField()
    {
        QCOMPARE(TokenField::member(kKey, 7, 1234), "X-Tsubame-Token: " + memberToken(7, 1234) + "\r\n");
        QCOMPARE(TokenField::batch(kKey, 7), "X-Tsubame-Token: " + UnsubscribeToken::makeMagazine(kKey, 7).toLatin1() + "\r\n");
        QVERIFY(TokenField::member({}, 7, 1).isEmpty());
        QVERIFY(TokenField::batch({}, 7).isEmpty());
        const QString magazine = UnsubscribeToken::makeMagazine(kKey, 7);
        QCOMPARE(UnsubscribeToken::parseMagazine(kKey, magazine), std::optional<int>(7));
        QVERIFY(!UnsubscribeToken::parse(kKey, magazine));
        QVERIFY(!UnsubscribeToken::parseMagazine(kKey, UnsubscribeToken::make(kKey, 7, 1)));
        QVERIFY(!UnsubscribeToken::parseMagazine(kKey, QStringLiteral("8-") + magazine.section(u'-', 1)));
        QVERIFY(!UnsubscribeToken::parseMagazine(QByteArray(32, 'x'), magazine));
    }
};

QTEST_GUILESS_MAIN(TestMailReturned)
#include "tst_mail_returned.moc"
