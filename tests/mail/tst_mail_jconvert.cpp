// The mail text encoders: exact bytes for the cases that matter, then whole messages read
// back by independent decoders (Python's email package, glibc iconv).
#include "mail/UPlaceholders.h"
#include "mail/jconvert.h"
#include "store/Codec.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QtTest>

namespace {

QByteArray cp(const QString &s) { return Codec::toCp932(s); }
QByteArray hex(const char *h) { return QByteArray::fromHex(h); }

// What a recipient should read: the text as stored in CP932, with half-width katakana widened
// (and a following ﾞ or ﾟ merged where a full-width form exists, else ゛ ゜).
QString expectedText(const QString &input)
{
    const QString stored = Codec::fromCp932(Codec::toCp932(input));
    QString out;
    for (qsizetype i = 0; i < stored.size(); ++i) {
        const QChar c = stored.at(i);
        if (c.unicode() < 0xFF61 || c.unicode() > 0xFF9F) {
            out += c;
            continue;
        }
        if (c == QChar(0xFF9E)) {
            out += QChar(0x309B);
            continue;
        }
        if (c == QChar(0xFF9F)) {
            out += QChar(0x309C);
            continue;
        }
        char16_t full = QString(c).normalized(QString::NormalizationForm_KC).at(0).unicode();
        const QChar next = i + 1 < stored.size() ? stored.at(i + 1) : QChar();
        if (next == QChar(0xFF9E)) {
            if (full == u'ウ') {
                full = u'ヴ';
                ++i;
            } else if ((full >= u'カ' && full <= u'ト' && full != u'ッ') || (full >= u'ハ' && full <= u'ホ')) {
                full += 1;
                ++i;
            }
        } else if (next == QChar(0xFF9F) && full >= u'ハ' && full <= u'ホ') {
            full += 2;
            ++i;
        }
        out += QChar(full);
    }
    return out;
}

QString crlfLines(const QString &body)
{
    QString s = body;
    s.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(u'\r', u'\n');
    if (!s.isEmpty() && !s.endsWith(u'\n'))
        s += u'\n';
    return s.replace(QLatin1String("\n"), QLatin1String("\r\n"));
}

QByteArray run(const QString &program, const QStringList &args, const QByteArray &input)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForStarted(10000))
        return "<not started>";
    p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(30000);
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        qWarning() << program << args << p.readAllStandardError();
    return p.readAllStandardOutput();
}

// True when the text holds characters that CP932 keeps in the NEC-selected or IBM rows (髙):
// glibc's EUC-JP-MS puts those JIS rows (89-92) in the private-use area.
bool hasIbmRows(const QString &text)
{
    const QByteArray b = Codec::toCp932(text);
    for (qsizetype i = 0; i < b.size(); ++i) {
        const auto c = static_cast<unsigned char>(b.at(i));
        if (c == 0xED || c == 0xEE || c >= 0xFA)
            return true;
        if ((c >= 0x81 && c <= 0x9F) || c >= 0xE0)
            ++i;
    }
    return false;
}

// One decoded field, read four ways from the bytes Python's email package took off the wire:
//  - glibc iconv CP932 over the Shift_JIS re-framing, and glibc iconv EUC-JP-MS over the
//    EUC-JP re-framing, must give the expected text exactly;
//  - Python's iso2022_jp codec (where it knows every character) and the WHATWG decoder of
//    node's TextDecoder (what mail readers built on the Encoding Standard use) must give the
//    same text once stored back in CP932: they read JIS-Roman \ as ¥ and 21 41 as 〜.
void checkField(const QJsonObject &field, const QString &expected, const char *what)
{
    const auto bytes = [&](const char *key) { return QByteArray::fromHex(field.value(key).toString().toLatin1()); };
    const QString viaCp932 = QString::fromUtf8(run("iconv", {"-f", "CP932", "-t", "UTF-8"}, bytes("sjis")));
    if (viaCp932 != expected)
        qWarning() << what << "iconv CP932 read" << viaCp932 << "expected" << expected;
    QVERIFY2(viaCp932 == expected, what);
    if (!hasIbmRows(expected)) {
        const QString viaEuc = QString::fromUtf8(run("iconv", {"-f", "EUC-JP-MS", "-t", "UTF-8"}, bytes("euc")));
        if (viaEuc != expected)
            qWarning() << what << "iconv EUC-JP-MS read" << viaEuc << "expected" << expected;
        QVERIFY2(viaEuc == expected, what);
    }
    int lost = 0;
    const QJsonValue py = field.value("py");
    if (!py.isNull()) {
        QCOMPARE(Codec::toCp932(py.toString(), &lost), Codec::toCp932(expected));
        QCOMPARE(lost, 0);
    }
    if (QFile::exists("/usr/bin/node")) {
        // A header goes piece by piece (each encoded word is decoded on its own), a body whole.
        QJsonArray pieces = field.value("pieces").toArray();
        if (pieces.isEmpty())
            pieces.append(field.value("jis"));
        const QString whatwg = QString::fromUtf8(
            run("/usr/bin/node",
                {"-e", "let b=[];process.stdin.on('data',d=>b.push(d)).on('end',()=>process.stdout.write("
                       "JSON.parse(Buffer.concat(b)).map(h=>new TextDecoder('iso-2022-jp',{fatal:true})"
                       ".decode(Buffer.from(h,'hex'))).join('')))"},
                QJsonDocument(pieces).toJson()));
        QCOMPARE(Codec::toCp932(whatwg, &lost), Codec::toCp932(expected));
        QCOMPARE(lost, 0);
    }
}

// The message as Python's email package reads it; no rule of the wire may be broken.
void decodeMessage(const QByteArray &message, QJsonObject *result)
{
    const QByteArray json = run("/usr/bin/python3", {TSUBAME_TEST_FAKES "/mail_decode.py"}, message);
    *result = QJsonDocument::fromJson(json).object();
    QVERIFY2(!result->isEmpty(), json.constData());
    const QJsonArray violations = result->value("violations").toArray();
    for (const QJsonValue &v : violations)
        qWarning() << v.toString();
    QVERIFY(violations.isEmpty());
}

const QByteArray BodyHeader = "MIME-Version: 1.0\r\n"
                              "Content-Type: text/plain; charset=\"ISO-2022-JP\"\r\n"
                              "Content-Transfer-Encoding: BASE64\r\n"
                              "\r\n";

void checkWord(const QByteArray &word)
{
    QVERIFY2(word.size() <= 75, word.constData());
    QVERIFY(word.startsWith("=?ISO-2022-JP?B?") && word.endsWith("?="));
    const QByteArray jis = QByteArray::fromBase64(word.mid(16, word.size() - 18));
    // Whole characters, and back in ASCII at the end of every word.
    bool two = false;
    for (qsizetype i = 0; i < jis.size();) {
        if (jis.at(i) == '\x1B') {
            two = jis.mid(i, 3) == "\x1B$B";
            i += 3;
        } else {
            i += two ? 2 : 1;
            QVERIFY(i <= jis.size());
        }
    }
    QVERIFY(!two);
}

} // namespace

class TestJconvert : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sjisToJis_data()
    {
        QTest::addColumn<QByteArray>("sjis");
        QTest::addColumn<QByteArray>("jis");
        QTest::newRow("ascii unchanged") << QByteArray("Hello, world.\r\n~\\") << QByteArray("Hello, world.\r\n~\\");
        QTest::newRow("empty") << QByteArray() << QByteArray();
        QTest::newRow("日本") << cp("日本") << hex("1B2442 467C4B5C 1B2842");
        QTest::newRow("line ends in Japanese")
            << cp("a日\r\nb") << QByteArray("a\x1B$BF|\x1B(B\r\nb");
        QTest::newRow("line starts with Japanese") << cp("a\n日b") << QByteArray("a\n\x1B$BF|\x1B(Bb");
        QTest::newRow("lone LF after Japanese") << cp("日\n") << QByteArray("\x1B$BF|\x1B(B\n");
        // Back in ASCII, not JIS-Roman: a strict reader keeps \ and ~ as they are.
        QTest::newRow("backslash and tilde after Japanese") << cp("日\\~") << hex("1B2442 467C 1B2842 5C7E");
        QTest::newRow("ｶﾞ one character") << cp("ｶﾞ") << hex("1B2442 252C 1B2842");
        QTest::newRow("ﾊﾟ") << cp("ﾊﾟ") << hex("1B2442 2551 1B2842");
        QTest::newRow("ﾎﾞ") << cp("ﾎﾞ") << hex("1B2442 255C 1B2842");
        QTest::newRow("ﾄﾞ") << cp("ﾄﾞ") << hex("1B2442 2549 1B2842");
        QTest::newRow("ｳﾞ") << cp("ｳﾞ") << hex("1B2442 2574 1B2842");
        QTest::newRow("ｱﾞ not merged") << cp("ｱﾞ") << hex("1B2442 2522 212B 1B2842");
        QTest::newRow("ｶﾟ not merged") << cp("ｶﾟ") << hex("1B2442 252B 212C 1B2842");
        QTest::newRow("lone marks") << cp("ﾞﾟ") << hex("1B2442 212B 212C 1B2842");
        QTest::newRow("kana punctuation") << cp("｡｢｣､･ｰ") << hex("1B2442 2123 2156 2157 2122 2126 213C 1B2842");
        QTest::newRow("ｦﾝ") << cp("ｦﾝ") << hex("1B2442 2572 2573 1B2842");
        QTest::newRow("① NEC row 13") << cp("①") << hex("1B2442 2D21 1B2842");
        QTest::newRow("～ and 〜 alike") << cp("～〜") << hex("1B2442 2141 2141 1B2842");
        QTest::newRow("trail below 0x7F") << cp("ア") << hex("1B2442 2522 1B2842"); // 83 41
        QTest::newRow("trail from 0x9F") << cp("あ") << hex("1B2442 2422 1B2842"); // 82 A0
        QTest::newRow("trail above 0x7F") << cp("ム") << hex("1B2442 2560 1B2842");   // 83 80
        QTest::newRow("IBM extension as NEC-selected") << hex("FBFC") << hex("1B2442 7C62 1B2842"); // 髙
        QTest::newRow("IBM roman numeral as row 13") << hex("FA4A") << hex("1B2442 2D35 1B2842");  // Ⅰ
        QTest::newRow("IBM ¬ as JIS X 0208") << hex("FA54") << hex("1B2442 224C 1B2842");
        QTest::newRow("user-defined as geta") << hex("F040") << hex("1B2442 222E 1B2842");
        QTest::newRow("invalid start bytes") << hex("41 80 A0 FD FE FF") << QByteArray("A?????");
        QTest::newRow("lead byte at the end") << hex("41 88") << QByteArray("A?");
        QTest::newRow("lead byte before a line break") << hex("88 0D 0A 41") << QByteArray("?\r\nA");
        QTest::newRow("raw ESC SO SI") << hex("1B 0E 0F 41") << QByteArray("???A");
    }
    void sjisToJis()
    {
        QFETCH(QByteArray, sjis);
        QFETCH(QByteArray, jis);
        QCOMPARE(SjisToJis(sjis).toHex(' '), jis.toHex(' '));
    }

    void base64_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("empty") << QByteArray() << QByteArray();
        QTest::newRow("one byte") << QByteArray("a") << QByteArray("YQ==");
        QTest::newRow("two bytes") << QByteArray("ab") << QByteArray("YWI=");
        QTest::newRow("three bytes") << QByteArray("abc") << QByteArray("YWJj");
        QTest::newRow("high bits") << hex("00 FF FE FB EF") << QByteArray("AP/+++8=");
    }
    void base64()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, text);
        QCOMPARE(Base64Encode(bytes), text);
    }
    void base64AgreesWithQt()
    {
        auto *rng = QRandomGenerator::global();
        for (int len = 0; len < 200; ++len) {
            QByteArray b(len, Qt::Uninitialized);
            for (char &c : b)
                c = char(rng->bounded(256));
            QCOMPARE(Base64Encode(b), b.toBase64());
        }
    }

    void mimeHeader_data()
    {
        QTest::addColumn<QByteArray>("sjis");
        QTest::addColumn<QByteArray>("encoded");
        QTest::newRow("empty") << QByteArray() << QByteArray();
        QTest::newRow("ascii unchanged") << QByteArray("Taro Yamada") << QByteArray("Taro Yamada");
        QTest::newRow("日本") << cp("日本") << QByteArray("=?ISO-2022-JP?B?GyRCRnxLXBsoQg==?=");
        QTest::newRow("ABC 日本 DEF") << cp("ABC 日本 DEF") << QByteArray("ABC =?ISO-2022-JP?B?GyRCRnxLXBsoQg==?= DEF");
        QTest::newRow("ABC日本DEF") << cp("ABC日本DEF") << QByteArray("ABC=?ISO-2022-JP?B?GyRCRnxLXBsoQg==?=DEF");
        // Blanks between encoded words vanish when read; inside the word they survive.
        QTest::newRow("blank between Japanese runs") << cp("山田 太郎") << ("=?ISO-2022-JP?B?" + Base64Encode(SjisToJis(cp("山田 太郎"))) + "?=");
        QTest::newRow("letters between Japanese runs") << cp("山田 X 太郎") << ("=?ISO-2022-JP?B?" + Base64Encode(SjisToJis(cp("山田"))) + "?= X =?ISO-2022-JP?B?"
                                                      + Base64Encode(SjisToJis(cp("太郎"))) + "?=");
        QTest::newRow("half-width kana in the run") << cp("ｶﾞｲﾄﾞ")
                                                    << ("=?ISO-2022-JP?B?" + Base64Encode(hex("1B2442 252C 2524 2549 1B2842")) + "?=");
        const auto word = [](const char *text) -> QByteArray {
            return "=?ISO-2022-JP?B?" + Base64Encode(SjisToJis(cp(QString::fromUtf8(text)))) + "?=";
        };
        // Specials next to Japanese go inside the word: a comma would start another address,
        // parentheses a comment.
        QTest::newRow("parentheses") << cp("山田商事(株)") << word("山田商事(株)");
        QTest::newRow("comma") << cp("営業部, 山田 様") << word("営業部, 山田 様");
        QTest::newRow("specials apart") << cp("Tokyo <HQ> 山田") << word("Tokyo <HQ> 山田");
        QTest::newRow("dot stays plain") << cp("Dr. 山田") << ("Dr. " + word("山田"));
        QTest::newRow("ascii specials unchanged") << QByteArray("Eve, \"Bob\"") << QByteArray("Eve, \"Bob\"");
        QTest::newRow("CR LF cannot start a header") << QByteArray("Eve\r\nBcc: x@example.jp") << QByteArray("Eve  Bcc: x@example.jp");
        QTest::newRow("invalid byte") << hex("41 80 42") << QByteArray("A?B");
    }
    void mimeHeader()
    {
        QFETCH(QByteArray, sjis);
        QFETCH(QByteArray, encoded);
        QCOMPARE(MimeHeaderEncode(sjis), encoded);
    }
    void mimeHeaderLongNameIsOneWord()
    {
        const QString name = QString("あいうえおかきくけこ").repeated(4);
        const QByteArray e = MimeHeaderEncode(cp(name));
        QVERIFY(e.size() > 75);
        QVERIFY(e.startsWith("=?ISO-2022-JP?B?") && e.endsWith("?="));
        QCOMPARE(e.count("=?ISO-2022-JP?"), 1);
        QVERIFY(!e.contains('\r') && !e.contains('\n') && !e.contains(' '));
        QCOMPARE(QByteArray::fromBase64(e.mid(16, e.size() - 18)), SjisToJis(cp(name)));
    }

    void body_data()
    {
        QTest::addColumn<QByteArray>("sjis");
        QTest::addColumn<QByteArray>("wire"); // the converted text before Base64
        QTest::newRow("empty body has no lines") << QByteArray() << QByteArray();
        QTest::newRow("final break added") << QByteArray("abc") << QByteArray("abc\r\n");
        QTest::newRow("final break not doubled") << QByteArray("abc\r\n") << QByteArray("abc\r\n");
        QTest::newRow("lone LF and CR") << QByteArray("a\nb\rc") << QByteArray("a\r\nb\r\nc\r\n");
        QTest::newRow("CR CR LF") << QByteArray("a\r\r\nb") << QByteArray("a\r\n\r\nb\r\n");
        QTest::newRow("empty lines kept") << QByteArray("\n\n") << QByteArray("\r\n\r\n");
        QTest::newRow("Japanese line ends in single bytes") << cp("日本\n本")
                                                            << QByteArray("\x1B$BF|K\\\x1B(B\r\n\x1B$BK\\\x1B(B\r\n");
        QTest::newRow("line starting with a dot") << QByteArray(".\n..x") << QByteArray(".\r\n..x\r\n");
    }
    void body()
    {
        QFETCH(QByteArray, sjis);
        QFETCH(QByteArray, wire);
        const QByteArray encoded = MimeBodyEncode(sjis);
        QByteArray expected;
        for (qsizetype i = 0; i < wire.size(); i += 57)
            expected += wire.mid(i, 57).toBase64() + "\r\n";
        QCOMPARE(encoded, expected);
    }
    void bodyLines_data()
    {
        QTest::addColumn<int>("asciiBytes"); // before the CR LF the encoder adds
        QTest::addColumn<int>("lines");
        QTest::newRow("57 bytes, one line") << 55 << 1;
        QTest::newRow("58 bytes, two lines") << 56 << 2;
        QTest::newRow("114 bytes, two lines") << 112 << 2;
    }
    void bodyLines()
    {
        QFETCH(int, asciiBytes);
        QFETCH(int, lines);
        const QByteArray encoded = MimeBodyEncode(QByteArray(asciiBytes, 'x'));
        const QList<QByteArray> parts = encoded.split('\n');
        QCOMPARE(parts.size() - 1, lines);
        QCOMPARE(parts.last(), QByteArray());
        QCOMPARE(parts.first().size(), 77); // 76 characters and the CR
        QVERIFY(encoded.endsWith("\r\n"));
        QCOMPARE(QByteArray::fromBase64(encoded), QByteArray(asciiBytes, 'x') + "\r\n");
    }

    void subject_data()
    {
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QByteArray>("encoded");
        const auto word = [](const QString &s) -> QByteArray {
            return "=?ISO-2022-JP?B?" + Base64Encode(SjisToJis(cp(s)).replace("\x1B(B", "\x1B(B")) + "?=";
        };
        QTest::newRow("ascii unchanged") << QString("Hello  world") << QByteArray("Hello  world");
        QTest::newRow("empty") << QString() << QByteArray();
        QTest::newRow("plain words around") << QString("Re: 日本 news") << ("Re: " + word("日本") + " news");
        QTest::newRow("stretch keeps inner blanks") << QString("[No.1] 日本 and 東京 today")
                                                    << ("[No.1] " + word("日本 and 東京") + " today");
        QTest::newRow("Japanese glued to letters") << QString("abc日本") << word("abc日本");
        QTest::newRow("ESC ( B back to ASCII") << QString("日本") << QByteArray("=?ISO-2022-JP?B?GyRCRnxLXBsoQg==?=");
        QTest::newRow("looks like an encoded word") << QString("=?x?= hi") << (word("=?x?=") + " hi");
        // A line break never reaches the header as such: the word holding it is encoded.
        QTest::newRow("line break encoded") << QString("Hi\r\nBcc: x@example.jp")
                                            << ("=?ISO-2022-JP?B?" + Base64Encode("Hi\r\nBcc:") + "?= x@example.jp");
    }
    void subject()
    {
        QFETCH(QString, subject);
        QFETCH(QByteArray, encoded);
        QCOMPARE(EncodeSubjectText(subject), encoded);
    }
    void longSubject_data()
    {
        QTest::addColumn<QString>("subject");
        QTest::newRow("40 kanji") << QString("日本語のメールマガジン配信テスト").repeated(3).left(40);
        QTest::newRow("mixed") << QString("【重要】ツバメ便 2024年3月号 ｶﾞｲﾄﾞ ①～〜 お知らせ mixed English words and 漢字かな交じり文 end");
        QTest::newRow("ascii between kanji") << QString("漢 ") + QString("abcdefghij ").repeated(9) + QString("字");
    }
    void longSubject()
    {
        QFETCH(QString, subject);
        const QByteArray e = EncodeSubjectText(subject);
        const QList<QByteArray> lines = e.split('\n');
        QVERIFY(lines.size() > 1);
        for (qsizetype i = 0; i < lines.size(); ++i) {
            QByteArray line = lines[i];
            if (i + 1 < lines.size()) {
                QVERIFY(line.endsWith('\r'));
                line.chop(1);
            }
            if (i > 0) {
                QVERIFY(line.startsWith(' '));
                line = line.mid(1);
            }
            for (const QByteArray &w : line.split(' '))
                if (w.startsWith("=?"))
                    checkWord(w);
        }
    }

    // Whole messages as the delivery writes them, read back by Python's email package and iconv.
    void decodersAgree_data()
    {
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QString>("fromName");
        QTest::addColumn<QString>("toName");
        QTest::addColumn<QString>("body");
        QTest::newRow("plain ascii") << "Monthly news" << "Tsubame" << "Taro" << "Hello.\nBye.";
        QTest::newRow("mixed Japanese") << "Re: 日本のニュース vol.3" << "ツバメ便 編集部" << "山田 太郎 様"
                                        << "こんにちは、山田様。\r\n今月の①と～と〜をお届けします。\r\n\r\nEnd";
        QTest::newRow("half-width katakana") << "ｶﾞｲﾄﾞ ﾊﾟｰﾃｨｰ ｳﾞｧｲｵﾘﾝ ｱﾞ" << "ﾂﾊﾞﾒ" << "ﾔﾏﾀﾞ ﾀﾛｳ"
                                             << "ｶﾞｷﾞｸﾞｹﾞｺﾞ ﾊﾟﾋﾟﾌﾟﾍﾟﾎﾟ ｳﾞ ｱﾞ ﾞﾟ｡｢｣､･ｰ\n";
        QTest::newRow("long subject") << QString("【ツバメ便】") + QString("今月のお知らせと新商品のご案内です。").repeated(4)
                                             + " (No.12) " + QString("締切は3月5日～31日")
                                      << QString("あいうえおかきくけこ").repeated(4) << "To ABC日本DEF"
                                      << QString("長い行").repeated(60) + "\n" + QString("x").repeated(200);
        QTest::newRow("lines starting with a dot") << "dots ．" << "a" << "b"
                                                   << ".\n.日本\n..\n. end\n.";
        QTest::newRow("symbols and vendor characters") << QString("①②③ Ⅰ Ⅱ ㈱ № ∵ ¬ 髙 纊 ～〜 ‖ − ¢ £")
                                                       << QString("髙橋") << QString("①番")
                                                       << QString("￢∵≒≡∫∮√⊥∠∟⊿ ¥ \\ ~ 〒\t\ttab");
        QTest::newRow("specials in names") << QString("件名") << QString("ツバメ便(編集部)") << QString("営業部, 山田 様")
                                           << QString("x");
        QTest::newRow("escape-like ascii after Japanese") << QString("日本~\\") << "x" << "y"
                                                          << QString("日本\\100 ~ 本");
    }
    void decodersAgree()
    {
        QFETCH(QString, subject);
        QFETCH(QString, fromName);
        QFETCH(QString, toName);
        QFETCH(QString, body);
        int lost = 0;
        for (const QString &s : {subject, fromName, toName, body}) {
            Codec::toCp932(s, &lost);
            QCOMPARE(lost, 0);
        }
        const QByteArray message = "From: " + EncodeHeaderText(fromName) + " <from@example.jp>\r\n"
            "To: " + EncodeHeaderText(toName) + " <to@example.jp>\r\n"
            "Subject: " + EncodeSubjectText(subject) + "\r\n" + BodyHeader + EncodeBodyText(body);
        QJsonObject r;
        decodeMessage(message, &r);
        if (QTest::currentTestFailed())
            return;
        checkField(r.value("Subject").toObject(), expectedText(subject), "Subject");
        checkField(r.value("From").toObject(), expectedText(fromName) + " <from@example.jp>", "From");
        checkField(r.value("To").toObject(), expectedText(toName) + " <to@example.jp>", "To");
        checkField(r.value("body").toObject(), expectedText(crlfLines(body)), "body");
    }

    // The delivery's path for a personalised issue: placeholders filled in on CP932 bytes,
    // then encoded; the recipient must read the body the text path gives.
    void personalisedBodyDecodes()
    {
        const QString body = u"[member name]様（[url]）\n.ご購入 [count1 value] 回、登録 [user date1 yyyy/mm/dd]\n"
                             u"ｷｬﾝﾍﾟｰﾝ①～ [user date2 yyyy/mm/dd]"_qs;
        MemberValues m;
        m.UserName = u"ﾀﾞｲｽｹ 髙橋"_qs;
        m.url = QStringLiteral("https://example.jp/~a\\b");
        m.count1 = 1234567;
        m.UserDate1 = QStringLiteral("20240305");
        m.UserDate2 = QStringLiteral("2024-3-5");
        const QDate today(2026, 12, 10);
        const QByteArray message = "Subject: x\r\n" + BodyHeader
            + MimeBodyEncode(PersonalizeSjis(Codec::toCp932(body), m, today));
        QJsonObject r;
        decodeMessage(message, &r);
        if (QTest::currentTestFailed())
            return;
        const QString expected = Personalize(body, m, today);
        QVERIFY(expected.contains(u"1,234,567"_qs) && expected.contains(u"2024年3月5日"_qs));
        QVERIFY(expected.contains(QLatin1String("[user date2 yyyy/mm/dd]")));
        checkField(r.value("body").toObject(), expectedText(crlfLines(expected)), "body");
    }
};

QTEST_GUILESS_MAIN(TestJconvert)
#include "tst_mail_jconvert.moc"
