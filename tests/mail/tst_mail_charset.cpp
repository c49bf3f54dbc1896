// The charset of a mail and its text encoders, without sockets: which characters read back
// identically through strict ISO-2022-JP (checked against Python's codec for every character),
// the exact bytes where they matter (¥, a real backslash, the first encoded word of a Subject),
// and the Message-ID.
#include "mail/MailCharset.h"
#include "mail/MailFormat.h"
#include "mail/MailText.h"
#include "mail/MessageIdSource.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QtTest>

namespace {

QByteArray python(const QByteArray &script, const QByteArray &input = {})
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QString::fromUtf8(script)});
    if (!p.waitForStarted(10000))
        return {};
    p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(60000);
    if (p.exitCode() != 0)
        qWarning() << p.readAllStandardError();
    return p.readAllStandardOutput();
}

QByteArray jis(const QString &text, bool lines = false)
{
    QByteArray out;
    if (!AppendIso2022Jp(out, text, lines))
        return "<refused>";
    return out;
}

// The value of a header field as Python's email package reads it with its default policy.
QString readBack(const QByteArray &field)
{
    const QByteArray out = python("import email,email.policy,sys,json\n"
                                  "m=email.message_from_bytes(sys.stdin.buffer.read(),policy=email.policy.default)\n"
                                  "h=m['Subject']\n"
                                  "print(json.dumps({'v':str(h),'d':[str(d) for d in h.defects]}))",
                                  field + "\r\n\r\n");
    const QJsonObject o = QJsonDocument::fromJson(out).object();
    if (!o.value("d").toArray().isEmpty())
        return QStringLiteral("<defects: %1>").arg(QString::fromUtf8(QJsonDocument(o.value("d").toArray()).toJson()));
    return o.value("v").toString();
}

} // namespace

class TestMailCharset : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Every character of the Basic Multilingual Plane: ours says "reads back identically"
    // exactly where Python's strict codec gives the same character back, with the same bytes.
    void tableAgreesWithPythonsStrictCodec()
    {
        const QByteArray out = python(
            "import json\n"
            "r={}\n"
            "for u in range(0x10000):\n"
            "  if 0xD800<=u<=0xDFFF or u in (0x0E,0x0F,0x1B): continue\n"
            "  c=chr(u)\n"
            "  try:\n"
            "    b=c.encode('iso2022_jp')\n"
            "    if b.decode('iso2022_jp')==c: r[u]=b.hex()\n"
            "  except Exception: pass\n"
            "print(json.dumps(r))");
        const QJsonObject strict = QJsonDocument::fromJson(out).object();
        QVERIFY(strict.size() > 6000);
        int agreed = 0;
        for (char32_t u = 0; u < 0x10000; ++u) {
            if ((u >= 0xD800 && u <= 0xDFFF) || u == 0x0E || u == 0x0F || u == 0x1B)
                continue;
            const QString c{QChar(char16_t(u))};
            const QString key = QString::number(uint(u));
            const bool ours = ReadsBackAsIso2022Jp(c);
            QVERIFY2(ours == strict.contains(key), qPrintable(QStringLiteral("U+%1").arg(uint(u), 4, 16, QChar(u'0'))));
            if (ours) {
                QCOMPARE(jis(c).toHex(), strict.value(key).toString().toLatin1());
                ++agreed;
            }
        }
        QCOMPARE(agreed, strict.size());
    }

    void readsBack_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("iso2022jp");
        QTest::newRow("ascii") << "Hello, world ~\\" << true;
        QTest::newRow("kanji and kana") << "日本語のメール、ひらがな カタカナ" << true;
        QTest::newRow("yen and overline") << "¥100 ‾" << true;
        QTest::newRow("wave dash as JIS reads it") << "〜" << true;
        QTest::newRow("full-width tilde") << "～" << false;
        QTest::newRow("circled digit") << "①" << false;
        QTest::newRow("IBM extension") << "髙橋" << false;
        QTest::newRow("IBM extension 2") << "山﨑" << false;
        QTest::newRow("emoji") << "😀" << false;
        QTest::newRow("half-width katakana") << "ｶﾀｶﾅ" << false;
        QTest::newRow("parallel as CP932 has it") << "∥" << false;
        QTest::newRow("double vertical line") << "‖" << true;
        QTest::newRow("escape") << "a\x1B(Bb" << false;
        QTest::newRow("lone surrogate") << QString(QChar(0xD800)) << false;
        QTest::newRow("empty") << "" << true;
    }
    void readsBack()
    {
        QFETCH(QString, text);
        QFETCH(bool, iso2022jp);
        QCOMPARE(ReadsBackAsIso2022Jp(text), iso2022jp);
        QCOMPARE(EncodeMailBody(text, true).charset, iso2022jp ? MailCharset::Iso2022Jp : MailCharset::Utf8);
        QCOMPARE(EncodeMailBody(text, false).charset, MailCharset::Utf8);
    }

    // ASCII stays ASCII (a real backslash is a backslash, a tilde a tilde); only ¥ and ‾ take
    // JIS-Roman; every line and the text end in ASCII.
    void iso2022JpBytes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("lines");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("ascii unchanged") << "a\\b~c" << false << QByteArray("a\\b~c");
        QTest::newRow("yen") << "¥100" << false << QByteArray("\x1B(J\\\x1B(B100");
        QTest::newRow("yen then backslash") << "¥\\" << false << QByteArray("\x1B(J\\\x1B(B\\");
        QTest::newRow("overline then tilde") << "‾~" << false << QByteArray("\x1B(J~\x1B(B~");
        QTest::newRow("yen yen") << "¥¥" << false << QByteArray("\x1B(J\\\\\x1B(B");
        QTest::newRow("kanji then backslash") << "日\\" << false << QByteArray("\x1B$BF|\x1B(B\\");
        QTest::newRow("kanji then yen") << "日¥" << false << QByteArray("\x1B$BF|\x1B(J\\\x1B(B");
        QTest::newRow("日本") << "日本" << false << QByteArray("\x1B$BF|K\\\x1B(B");
        QTest::newRow("line ends in ascii") << "日\n¥\r\nb" << true
                                            << QByteArray("\x1B$BF|\x1B(B\r\n\x1B(J\\\x1B(B\r\nb\r\n");
        QTest::newRow("lone CR") << "a\rb" << true << QByteArray("a\r\nb\r\n");
        QTest::newRow("final break not doubled") << "a\r\n" << true << QByteArray("a\r\n");
        QTest::newRow("empty has no lines") << "" << true << QByteArray();
        QTest::newRow("refused") << "日①" << false << QByteArray("<refused>");
    }
    void iso2022JpBytes()
    {
        QFETCH(QString, text);
        QFETCH(bool, lines);
        QFETCH(QByteArray, bytes);
        QCOMPARE(jis(text, lines).toHex(' '), bytes.toHex(' '));
    }

    void utf8Bytes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("ascii and lines") << "a\rb\nc" << QByteArray("a\r\nb\r\nc\r\n");
        QTest::newRow("two, three and four bytes") << "é髙😀" << QByteArray("\xC3\xA9\xE9\xAB\x99\xF0\x9F\x98\x80\r\n");
        QTest::newRow("lone surrogates as ?") << QString(QChar(0xD83D)) + "x" + QChar(0xDE00) << QByteArray("?x?\r\n");
    }
    void utf8Bytes()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QByteArray out;
        AppendUtf8(out, text, true);
        QCOMPARE(out, bytes);
        QCOMPARE(QByteArray::fromBase64(EncodeMailBody(text, true).lines), bytes);
    }

    // The first encoded word goes on the "Subject: " line; nothing folds right after the name.
    void subjectField_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("charset");
        QTest::addColumn<QByteArray>("field");
        const int jp = int(MailCharset::Iso2022Jp);
        const int u8 = int(MailCharset::Utf8);
        QTest::newRow("ascii") << "Hello  world" << jp << QByteArray("Subject: Hello  world");
        QTest::newRow("日本") << "日本" << jp << QByteArray("Subject: =?ISO-2022-JP?B?GyRCRnxLXBsoQg==?=");
        QTest::newRow("yen") << "¥" << jp << QByteArray("Subject: =?ISO-2022-JP?B?GyhKXBsoQg==?=");
        QTest::newRow("backslash stays plain") << "a\\b" << jp << QByteArray("Subject: a\\b");
        QTest::newRow("plain words around") << "Re: 日本 news" << jp << QByteArray("Subject: Re: =?ISO-2022-JP?B?GyRCRnxLXBsoQg==?= news");
        QTest::newRow("utf-8") << "髙橋" << u8 << QByteArray("Subject: =?UTF-8?B?6auZ5qmL?=");
        // 36 bytes of ISO-2022-JP make the longest word that fits after "Subject: " (69).
        QTest::newRow("first word fits on the line") << QString(16, QChar(0x65E5)) + "本" << jp
            << QByteArray("Subject: =?ISO-2022-JP?B?" + QByteArray("\x1B$B" + QByteArray("F|").repeated(15) + "\x1B(B").toBase64()
                          + "?=\r\n =?ISO-2022-JP?B?" + QByteArray("\x1B$BF|K\\\x1B(B").toBase64() + "?=");
        // A long plain word first: the stretch starts on a continuation line at its blank.
        QTest::newRow("fold at the blank before") << QString(70, u'x') + " 日本" << jp
            << QByteArray("Subject: " + QByteArray(70, 'x') + "\r\n =?ISO-2022-JP?B?GyRCRnxLXBsoQg==?=");
    }
    void subjectField()
    {
        QFETCH(QString, text);
        QFETCH(int, charset);
        QFETCH(QByteArray, field);
        QCOMPARE(EncodeSubjectField("Subject", text, MailCharset(charset)), field);
    }

    // Long subjects in both charsets: lines within 78, words within 75 holding whole
    // characters, the value's first word on the name's line, and Python reads it back exactly.
    void longSubjects_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("charset");
        const QStringList texts = {
            QString("先頭から漢字で始まるとても長い件名のテストです。").repeated(3) + " ABC 中間 DEF 末尾",
            QString("【ツバメ便】12月号 新商品のご案内とキャンペーンのお知らせ ¥1,000 OFF \\ 本当"),
            QString("髙橋様へ ①②③ のご案内 😀😀😀 ～ ｶﾞｲﾄﾞ 山﨑").repeated(2),
            QString("Monthly news from Tsubame with a rather long English prefix 日本語 and more words here"),
            QString("日本 ") + QString("abcdefghij ").repeated(9) + QString("字"),
        };
        for (int i = 0; i < texts.size(); ++i) {
            if (ReadsBackAsIso2022Jp(texts[i]))
                QTest::addRow("%d iso-2022-jp", i) << texts[i] << int(MailCharset::Iso2022Jp);
            QTest::addRow("%d utf-8", i) << texts[i] << int(MailCharset::Utf8);
        }
    }
    void longSubjects()
    {
        QFETCH(QString, text);
        QFETCH(int, charset);
        const QByteArray field = EncodeSubjectField("Subject", text, MailCharset(charset));
        const QByteArrayList lines = field.split('\n');
        QVERIFY(lines.size() > 1);
        QVERIFY2(!lines[0].startsWith("Subject:\r") && lines[0].size() > 10, field.constData());
        for (QByteArray l : lines) {
            l.chop(l.endsWith('\r') ? 1 : 0);
            QVERIFY2(l.size() <= 78, l.constData());
        }
        static const QRegularExpression word(QStringLiteral("=\\?[^?]+\\?B\\?[^?]*\\?="));
        auto it = word.globalMatch(QString::fromLatin1(field));
        while (it.hasNext())
            QVERIFY(it.next().capturedLength() <= 75);
        QCOMPARE(readBack(field), text);
    }

    void displayName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("charset");
        QTest::addColumn<QByteArray>("encoded");
        const int jp = int(MailCharset::Iso2022Jp);
        const int u8 = int(MailCharset::Utf8);
        QTest::newRow("plain") << "Tsubame Press" << jp << QByteArray("Tsubame Press");
        QTest::newRow("controls become blanks") << "a\x01" "b" << jp << QByteArray("a b");
        QTest::newRow("blank kept inside the word") << "山田 太郎" << jp
                                                    << QByteArray("=?ISO-2022-JP?B?" + QByteArray("\x1B$B;3ED\x1B(B \x1B$BB@O:\x1B(B").toBase64() + "?=");
        QTest::newRow("specials inside the word") << "営業部, 山田" << u8
                                                  << QByteArray("=?UTF-8?B?" + QByteArray("営業部, 山田").toBase64() + "?=");
        QTest::newRow("yen") << "¥" << jp << QByteArray("=?ISO-2022-JP?B?GyhKXBsoQg==?=");
        QTest::newRow("looks encoded") << "=?x?=" << jp << QByteArray("=?ISO-2022-JP?B?PT94Pz0=?=");
    }
    void displayName()
    {
        QFETCH(QString, name);
        QFETCH(int, charset);
        QFETCH(QByteArray, encoded);
        QCOMPARE(EncodeDisplayName(name, MailCharset(charset)), encoded);
    }

    // The whole header of one mail follows its body's charset.
    void headerFollowsTheBody_data()
    {
        QTest::addColumn<QString>("owner");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("body");
        QTest::addColumn<bool>("forceUtf8");
        QTest::addColumn<QByteArray>("charset");
        QTest::newRow("all JIS") << "ツバメ出版" << "お知らせ" << "本文です¥" << false << QByteArray("ISO-2022-JP");
        QTest::newRow("body needs UTF-8") << "ツバメ出版" << "お知らせ" << "髙橋様" << false << QByteArray("UTF-8");
        QTest::newRow("subject needs UTF-8") << "ツバメ出版" << "①お知らせ" << "本文" << false << QByteArray("UTF-8");
        QTest::newRow("sender needs UTF-8") << "ﾂﾊﾞﾒ" << "お知らせ" << "本文" << false << QByteArray("UTF-8");
        QTest::newRow("forced") << "ツバメ出版" << "お知らせ" << "本文" << true << QByteArray("UTF-8");
    }
    void headerFollowsTheBody()
    {
        QFETCH(QString, owner);
        QFETCH(QString, title);
        QFETCH(QString, body);
        QFETCH(bool, forceUtf8);
        QFETCH(QByteArray, charset);
        const MailFormat f(owner, QStringLiteral("owner@example.jp"), QStringLiteral("読者"), title, forceUtf8);
        const QByteArray mail = f.individual(QStringLiteral("a@example.jp"), f.encodeBody(body), QDateTime::currentDateTime());
        const QByteArray head = mail.left(mail.indexOf("\r\n\r\n"));
        QVERIFY2(head.contains(QByteArray("Content-Type: text/plain; charset=\"" + charset + "\"\r\n")), head.constData());
        const QByteArray other = charset == "UTF-8" ? "=?ISO-2022-JP?" : "=?UTF-8?";
        QVERIFY2(!head.contains(other), head.constData());
        QVERIFY(head.contains(QByteArray("=?" + charset + "?B?")));
    }

    void messageIdDomain_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QByteArray>("domain"); // empty: the fall-back
        QTest::newRow("plain") << "news@example.jp" << QByteArray("example.jp");
        QTest::newRow("international") << "news@例え.jp" << QByteArray("xn--r8jz45g.jp");
        QTest::newRow("underscore") << "news@bad_host.jp" << QByteArray();
        QTest::newRow("no domain") << "news" << QByteArray();
        QTest::newRow("literal") << "news@[127.0.0.1]" << QByteArray();
        QTest::newRow("hyphen first") << "news@-x.jp" << QByteArray();
        QTest::newRow("angle bracket") << "news@x.jp>" << QByteArray();
        QTest::newRow("empty label") << "news@x..jp" << QByteArray();
    }
    void messageIdDomain()
    {
        QFETCH(QString, address);
        QFETCH(QByteArray, domain);
        const QByteArray got = MessageIdSource::DomainFor(address);
        if (!domain.isEmpty()) {
            QCOMPARE(got, domain);
            return;
        }
        // The host name or "localhost.localdomain": a host name either way, never the input's.
        static const QRegularExpression host(QStringLiteral("^[A-Za-z0-9]([A-Za-z0-9-]*[A-Za-z0-9])?(\\.[A-Za-z0-9]([A-Za-z0-9-]*[A-Za-z0-9])?)*$"));
        QVERIFY2(host.match(QString::fromLatin1(got)).hasMatch(), got.constData());
        QVERIFY(!address.contains(QString::fromLatin1(got)) || got == "localhost.localdomain");
    }

    void messageIdsAreWellFormedAndDistinct()
    {
        static const QRegularExpression id(QStringLiteral("^<[A-Za-z0-9.]+@example\\.jp>$"));
        QSet<QByteArray> seen;
        MessageIdSource a(QStringLiteral("news@example.jp"));
        MessageIdSource b(QStringLiteral("news@example.jp"));
        for (int i = 0; i < 1000; ++i) {
            for (MessageIdSource *s : {&a, &b}) {
                const QByteArray v = s->next();
                QVERIFY2(id.match(QString::fromLatin1(v)).hasMatch(), v.constData());
                QVERIFY(!v.contains("..") && !v.startsWith("<.") && !v.contains(".@"));
                QVERIFY(!seen.contains(v));
                seen.insert(v);
            }
        }
        QVERIFY(a.nextField().startsWith("Message-ID: <"));
        QVERIFY(a.nextField().endsWith("@example.jp>\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestMailCharset)
#include "tst_mail_charset.moc"
