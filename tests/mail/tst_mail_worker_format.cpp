// The header of a delivery mail: fields, order, quoting, folding, dates, and no way for a
// name, subject or address to smuggle a header line of its own.
#include "mail/MailFormat.h"

#include <QTimeZone>
#include <QtTest>

namespace {
const QByteArray kBody = "GyRCJUYlOSVIGyhKDQo=\r\n";
const EncodedBody kJisBody{kBody, MailCharset::Iso2022Jp};
const QByteArray kTail = "Content-Type: text/plain; charset=\"ISO-2022-JP\"\r\n"
                         "MIME-Version: 1.0\r\n"
                         "Content-Transfer-Encoding: BASE64\r\n"
                         "Date: Thu, 05 Mar 2026 09:04:01 +0900\r\n"
                         "\r\n"
                         + kBody;

QDateTime when()
{
    return QDateTime(QDate(2026, 3, 5), QTime(9, 4, 1), QTimeZone(9 * 3600));
}

QByteArray header(const QByteArray &mail)
{
    return mail.left(mail.indexOf("\r\n\r\n") + 2);
}
} // namespace

class TestMailWorkerFormat : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fields_data()
    {
        QTest::addColumn<QString>("owner");
        QTest::addColumn<QString>("atena");
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("batch");
        QTest::addColumn<QByteArray>("head");
        QTest::newRow("individual") << "Tsubame Press" << "Dear reader" << "Hello" << false
                                    << QByteArray("From: \"Tsubame Press\" <owner@example.jp>\r\nSubject: Hello\r\n"
                                                  "To: \"Dear reader\" <taro@example.com>\r\n");
        QTest::newRow("batch") << "Tsubame Press" << "Dear reader" << "Hello" << true
                               << QByteArray("From: \"Tsubame Press\" <owner@example.jp>\r\nSubject: Hello\r\n"
                                             "To: \"Dear reader\" <>\r\n");
        QTest::newRow("no owner, no title, no salutation") << "" << "" << "" << false
                                                            << QByteArray("From: \"owner@example.jp\" <owner@example.jp>\r\n"
                                                                          "To: taro@example.com\r\n");
        QTest::newRow("batch without salutation") << "P" << "" << "Hi" << true
                                                  << QByteArray("From: \"P\" <owner@example.jp>\r\nSubject: Hi\r\n");
        QTest::newRow("quotes and backslashes") << "a\"b\\c" << "x" << "t" << false
                                                << QByteArray("From: \"a\\\"b\\\\c\" <owner@example.jp>\r\nSubject: t\r\n"
                                                              "To: \"x\" <taro@example.com>\r\n");
        QTest::newRow("japanese names as encoded words")
            << "日本" << "読者" << "t" << false
            << QByteArray("From: =?ISO-2022-JP?B?GyRCRnxLXBsoQg==?= <owner@example.jp>\r\nSubject: t\r\n"
                          "To: " + EncodeDisplayName(u"読者", MailCharset::Iso2022Jp) + " <taro@example.com>\r\n");
    }
    void fields()
    {
        QFETCH(QString, owner);
        QFETCH(QString, atena);
        QFETCH(QString, title);
        QFETCH(bool, batch);
        QFETCH(QByteArray, head);
        const MailFormat f(owner, QStringLiteral("owner@example.jp"), atena, title);
        const QByteArray mail = batch ? f.batch(kJisBody, when()) : f.individual(QStringLiteral("taro@example.com"), kJisBody, when());
        QCOMPARE(mail, head + kTail);
    }

    void noHeaderInjection_data()
    {
        QTest::addColumn<QString>("owner");
        QTest::addColumn<QString>("adrs");
        QTest::addColumn<QString>("atena");
        QTest::addColumn<QString>("title");
        QTest::newRow("owner") << "Evil\r\nBcc: victim@example.com" << "owner@example.jp" << "a" << "t";
        QTest::newRow("address") << "o" << "owner@example.jp\r\nBcc: victim@example.com" << "a" << "t";
        QTest::newRow("salutation") << "o" << "owner@example.jp" << "x\nBcc: victim@example.com" << "t";
        QTest::newRow("subject") << "o" << "owner@example.jp" << "a" << "Hi\r\nBcc: victim@example.com";
        QTest::newRow("japanese subject") << "o" << "owner@example.jp" << "a" << "件名\r\nBcc: victim@example.com";
        QTest::newRow("japanese owner") << "出版\rBcc: victim@example.com" << "owner@example.jp" << "a" << "t";
    }
    void noHeaderInjection()
    {
        QFETCH(QString, owner);
        QFETCH(QString, adrs);
        QFETCH(QString, atena);
        QFETCH(QString, title);
        const MailFormat f(owner, adrs, atena, title);
        QVERIFY(!f.sender().contains(u'\r') && !f.sender().contains(u'\n'));
        for (const QByteArray &mail : {f.individual(QStringLiteral("taro@example.com"), kJisBody, when()), f.batch(kJisBody, when())}) {
            const QByteArrayList lines = header(mail).split('\n');
            for (QByteArray l : lines) {
                QVERIFY2(!l.startsWith("Bcc"), l.constData());
                l.chop(l.endsWith('\r') ? 1 : 0);
                QVERIFY2(!l.contains('\r'), l.constData());
            }
        }
    }

    void folding_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("folded");
        const QByteArray word(70, 'x');
        QTest::newRow("short") << QByteArray("To: a@b.jp") << QByteArray("To: a@b.jp");
        QTest::newRow("at the last space") << QByteArray("From: " + word + " <a@b.jp>") << QByteArray("From: " + word + "\r\n <a@b.jp>");
        QTest::newRow("after a comma") << QByteArray("X: " + word + ",yyyyyyyyyy") << QByteArray("X: " + word + ",\r\n yyyyyyyyyy");
        QTest::newRow("nowhere to fold") << QByteArray("X: " + QByteArray(90, 'z')) << QByteArray("X: " + QByteArray(90, 'z'));
        // A fold straight after the name would leave a blank in front of the value.
        QTest::newRow("not after the name") << QByteArray("Subject: " + QByteArray(75, 'q')) << QByteArray("Subject: " + QByteArray(75, 'q'));
        QTest::newRow("first word stays") << QByteArray("Subject: " + QByteArray(75, 'q') + " r") << QByteArray("Subject: " + QByteArray(75, 'q') + "\r\n r");
        QTest::newRow("continuation folds anywhere") << QByteArray("Subject: a\r\n " + QByteArray(77, 'q') + " r") << QByteArray("Subject: a\r\n " + QByteArray(77, 'q') + "\r\n r");
        QTest::newRow("long word then space") << QByteArray("X: " + QByteArray(80, 'z') + " tail") << QByteArray("X: " + QByteArray(80, 'z') + "\r\n tail");
        QTest::newRow("folds kept") << QByteArray("Subject: a\r\n b") << QByteArray("Subject: a\r\n b");
        QTest::newRow("twice") << QByteArray("X: " + word + " " + word + " end") << QByteArray("X: " + word + "\r\n " + word + " end");
    }
    void folding()
    {
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, folded);
        QCOMPARE(MailFormat::fold(line), folded);
    }

    void everyHeaderLineWithinLimit()
    {
        // A long Japanese name is one encoded word that cannot be split; everything around
        // it still folds, so no line grows past 78 characters unless the word alone does.
        const QString owner = QString(20, QChar(0x65E5));
        const MailFormat f(owner, QStringLiteral("owner@example.jp"), QStringLiteral("読者の皆さま"),
                           QStringLiteral("とても長い件名がここに入ります。とても長い件名がここに入ります。"));
        const QByteArrayList lines = header(f.individual(QStringLiteral("taro@example.com"), kJisBody, when())).split('\n');
        const QByteArray word = EncodeDisplayName(owner, MailCharset::Iso2022Jp);
        for (QByteArray l : lines) {
            l.chop(l.endsWith('\r') ? 1 : 0);
            QVERIFY2(l.size() <= 78 || l == "From: " + word, l.constData());
        }
        QVERIFY(lines.contains(" <owner@example.jp>\r"));
    }

    void dates_data()
    {
        QTest::addColumn<QDateTime>("when");
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("tokyo") << when() << QByteArray("Thu, 05 Mar 2026 09:04:01 +0900");
        QTest::newRow("west of greenwich") << QDateTime(QDate(2025, 12, 28), QTime(23, 59, 59), QTimeZone(-(3 * 3600 + 1800)))
                                           << QByteArray("Sun, 28 Dec 2025 23:59:59 -0330");
        QTest::newRow("utc") << QDateTime(QDate(2024, 2, 29), QTime(0, 0, 0), QTimeZone(0)) << QByteArray("Thu, 29 Feb 2024 00:00:00 +0000");
    }
    void dates()
    {
        QFETCH(QDateTime, when);
        QFETCH(QByteArray, text);
        QCOMPARE(MailFormat::dateField(when), text);
    }
};

QTEST_GUILESS_MAIN(TestMailWorkerFormat)
#include "tst_mail_worker_format.moc"
