// Splitting CSV lines, the import's value rules, and the export's quoting undone by the
// splitter.
#include "maintenance/UCsv.h"
#include "members/UAddress.h"
#include "maintenance/UTextLines.h"
#include "store/Codec.h"

#include <QBuffer>
#include <QtTest>

class TestCsv : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void split_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QStringList>("fields");
        QTest::newRow("plain") << "a,b,c" << QStringList{"a", "b", "c"};
        QTest::newRow("two commas give an empty field") << "a,,b" << QStringList{"a", "", "b"};
        QTest::newRow("comma at the end adds nothing") << "a,b," << QStringList{"a", "b"};
        QTest::newRow("fields before a comma are trimmed") << "  a ,\tb\t,c" << QStringList{"a", "b", "c"};
        QTest::newRow("last field keeps its blanks") << "a,  b  " << QStringList{"a", "  b  "};
        QTest::newRow("quoted field with a comma") << "\"Yamada, Taro\",t@example.jp"
                                                   << QStringList{"Yamada, Taro", "t@example.jp"};
        QTest::newRow("quoted last field with a comma runs to the end")
            << "x,\"Yamada, Taro\"" << QStringList{"x", "Yamada, Taro"};
        QTest::newRow("unclosed quote runs to the end") << "\"a,b,c" << QStringList{"a,b,c"};
        QTest::newRow("single double quote is an empty value") << "\",b" << QStringList{"", "b"};
        QTest::newRow("single double quote between fields") << "a,\",b" << QStringList{"a", "", "b"};
        QTest::newRow("quoted lone comma") << "\",\",x" << QStringList{",", "x"};
        QTest::newRow("single double quote last") << "a,\"" << QStringList{"a", ""};
        QTest::newRow("doubled quote reads as one") << "\"say \"\"hi\"\"\",x" << QStringList{"say \"hi\"", "x"};
        QTest::newRow("doubled quote before a comma") << "\"a\"\",b\",c" << QStringList{"a\",b", "c"};
        QTest::newRow("quote only at the end") << "\"\"\"\",x" << QStringList{"\"", "x"};
        QTest::newRow("empty quoted") << "\"\",\"\"" << QStringList{"", ""};
        QTest::newRow("unquoted trailing quote dropped") << "abc\",d" << QStringList{"abc", "d"};
        QTest::newRow("blank after closing quote") << "\"a,b\"  ,c" << QStringList{"a,b", "c"};
        QTest::newRow("japanese") << "\"山田,①〜\",やまだ" << QStringList{"山田,①〜", "やまだ"};
        QTest::newRow("empty line") << "" << QStringList{};
    }
    void split()
    {
        QFETCH(QString, line);
        QFETCH(QStringList, fields);
        QCOMPARE(SplitCsvLine(line), fields);
    }

    // Lines of a few megabytes split in a time proportional to their length: each row
    // would take minutes to hours if every comma inside quotes rescanned the field.
    void longLinesSplit_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QStringList>("fields");
        const int pairs = 1 << 20; // "a," a million times: 2 MB
        QString commas;
        commas.reserve(2 * pairs);
        for (int i = 0; i < pairs; ++i)
            commas += QStringLiteral("a,");
        QTest::newRow("quoted field full of commas")
            << QStringLiteral("\"") + commas + QStringLiteral("\",x@example.jp") << QStringList{commas, "x@example.jp"};
        QTest::newRow("unclosed quoted field full of commas")
            << QStringLiteral("name,\"") + commas << QStringList{"name", commas};

        // Lone double quotes that nothing closes, each followed by a field whose quote keeps
        // the count odd: every one of them is an empty field of its own.
        QString lone;
        QStringList loneFields;
        for (int i = 0; i < 300000; ++i) {
            lone += QStringLiteral("\",a\"b,");
            loneFields << QString() << QStringLiteral("a\"b");
        }
        QTest::newRow("lone quotes never closed") << lone << loneFields;
    }
    void longLinesSplit()
    {
        QFETCH(QString, line);
        QFETCH(QStringList, fields);
        const QStringList got = SplitCsvLine(line);
        QCOMPARE(got.size(), fields.size());
        QVERIFY(got == fields);
    }

    void quoteRoundTrip_data()
    {
        QTest::addColumn<QStringList>("values");
        QTest::newRow("commas and quotes") << QStringList{"a,b", "\"", "x\"\",\"y", ",", "\",\"", ""};
        QTest::newRow("japanese") << QStringList{"山田 太郎", "①〜‖", "ｶﾀｶﾅ", "'single'"};
        QTest::newRow("blanks kept inside quotes") << QStringList{"  lead", "trail  ", " "};
    }
    void quoteRoundTrip()
    {
        QFETCH(QStringList, values);
        QStringList quoted;
        for (const QString &v : values)
            quoted << CsvQuote(v);
        QCOMPARE(SplitCsvLine(quoted.join(',')), values);
    }

    void flag_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::newRow("1") << "1" << "1";
        QTest::newRow("ON") << "ON" << "0";
        QTest::newRow("1 and a blank") << "1 " << "0";
        QTest::newRow("empty") << "" << "0";
        QTest::newRow("0") << "0" << "0";
    }
    void flag()
    {
        QFETCH(QString, field);
        QFETCH(QString, value);
        QCOMPARE(ToFlagValue(field), value);
    }

    void count_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("isNumber");
        QTest::newRow("7") << "7" << "7" << true;
        QTest::newRow("-3") << "-3" << "-3" << true;
        QTest::newRow("thousands") << "1,234" << "1234" << true;
        QTest::newRow("no digit") << "abc" << "0" << true;
        QTest::newRow("empty") << "" << "0" << true;
        QTest::newRow("digit but no number") << "12件" << "12件" << false;
        QTest::newRow("expression") << "1+1" << "1+1" << false;
        QTest::newRow("statement text") << "1) ; delete from MagUser" << "1) ; delete from MagUser" << false;
        QTest::newRow("beyond 32 bits") << "3000000000" << "3000000000" << false;
    }
    void count()
    {
        QFETCH(QString, field);
        QFETCH(QString, value);
        QFETCH(bool, isNumber);
        bool ok = !isNumber;
        QCOMPARE(ToCountValue(field, &ok), value);
        QCOMPARE(ok, isNumber);
    }

    void date_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::newRow("short month and day") << "2008/3/5" << "20080305";
        QTest::newRow("no such day") << "2008/02/30" << "20080230";
        QTest::newRow("eight digits as exported") << "20070115" << "20070115";
        QTest::newRow("empty is today") << "" << "20240601";
        QTest::newRow("other text is today") << "昨日" << "20240601";
        QTest::newRow("two-digit year is today") << "08/3/5" << "20240601";
        QTest::newRow("seven digits is today") << "2007011" << "20240601";
    }
    void date()
    {
        QFETCH(QString, field);
        QFETCH(QString, value);
        QCOMPARE(ToDateValue(field, QDate(2024, 6, 1)), value);
    }

    void address_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<bool>("ok");
        QTest::newRow("plain") << "taro@example.co.jp" << true;
        QTest::newRow("upper case") << "TARO@EXAMPLE.JP" << true;
        QTest::newRow("no dot after @") << "taro@localhost" << false;
        QTest::newRow("full-width letter") << "ｔaro@example.jp" << false;
        QTest::newRow("japanese name part") << "太郎@example.jp" << false;
        QTest::newRow("heading caption") << "メールアドレス" << false;
        // Single bytes in code page 932, but no ASCII: such an address cannot go on the wire.
        QTest::newRow("half-width katakana") << "ｶﾀｶﾅ@example.jp" << false;
    }
    void address()
    {
        QFETCH(QString, field);
        QFETCH(bool, ok);
        QCOMPARE(IsValidAddress(field), ok);
    }

    // A file's text is UTF-8 with a byte-order mark, UTF-8 when every byte is, or CP932.
    void fileText_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("cp932") << Codec::toCp932("山田 表示 ｶﾅ") << QStringLiteral("山田 表示 ｶﾅ");
        QTest::newRow("utf-8 with bom") << QByteArray("\xEF\xBB\xBF") + QString("髙橋😀").toUtf8() << QStringLiteral("髙橋😀");
        QTest::newRow("utf-8 without bom") << QString("髙橋 ①😀\r\n").toUtf8() << QStringLiteral("髙橋 ①😀\r\n");
        QTest::newRow("ascii") << QByteArray("plain\r\n") << QStringLiteral("plain\r\n");
        // Not UTF-8, so read as CP932: an overlong form, a surrogate, a lone continuation
        // byte and a sequence cut at the end.
        QTest::newRow("overlong") << QByteArray("a\xC0\xAF") << Codec::fromCp932("a\xC0\xAF");
        QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80") << Codec::fromCp932("\xED\xA0\x80");
        QTest::newRow("cp932 kana pair") << QByteArray("\x83\x41") << QStringLiteral("ア");
        QTest::newRow("cut at the end") << QByteArray("\xE8\xA1") << Codec::fromCp932("\xE8\xA1");
    }
    void fileText()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QCOMPARE(Codec::fromFileBytes(bytes), text);
    }
    void utf8CutAtBlockEnd()
    {
        const QByteArray cut = QString("表示").toUtf8().left(4);
        QVERIFY(!Codec::isUtf8Text(cut));
        QVERIFY(Codec::isUtf8Text(cut, true));
        QVERIFY(!Codec::isUtf8Text("ascii only", true));
    }

    void lineReader_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("crlf") << QByteArray("a\r\nb\r\n") << QStringList{"a", "b"};
        QTest::newRow("lf and no last end") << QByteArray("a\nb") << QStringList{"a", "b"};
        QTest::newRow("empty lines count") << QByteArray("a\r\n\r\nb\r\n") << QStringList{"a", "", "b"};
        QTest::newRow("cp932") << Codec::toCp932("山田,①〜\r\nｶﾅ\r\n") << QStringList{"山田,①～", "ｶﾅ"};
        QTest::newRow("utf-8 with bom") << QByteArray("\xEF\xBB\xBF") + QString("山田😀\r\nx").toUtf8()
                                        << QStringList{"山田😀", "x"};
        // Lines longer than the reader's block are read in pieces cut between characters:
        // an odd start puts the cuts where a cut inside a character would show.
        QString cp932Line = QStringLiteral("a");
        for (int i = 0; i < 700000; ++i)
            cp932Line += QStringLiteral("表ｶソ"); // trail bytes 0x5C, single bytes between
        QTest::newRow("cp932 line longer than a block")
            << Codec::toCp932(cp932Line + "\r\n次\r\n") << QStringList{cp932Line, "次"};
        QString utf8Line = QStringLiteral("a");
        for (int i = 0; i < 300000; ++i)
            utf8Line += QStringLiteral("表😀x");
        QTest::newRow("utf-8 line longer than a block")
            << QByteArray("\xEF\xBB\xBF") + (utf8Line + "\n次").toUtf8() << QStringList{utf8Line, "次"};
        // Without a byte-order mark: valid UTF-8 is UTF-8, as a whole file read at once is.
        QTest::newRow("utf-8 without bom") << QString("髙橋,\"①, \"\"〜\"\"\"\r\nx\r\n").toUtf8()
                                           << QStringList{"髙橋,\"①, \"\"〜\"\"\"", "x"};
        // The reader's first block ends after the first byte of 表: a character cut there is
        // still UTF-8 (the block is a part of the file, not the whole).
        const QString cutLine = QString((1 << 20) - 1, QLatin1Char('x')) + QStringLiteral("表");
        QTest::newRow("utf-8 without bom, first block cut inside a character")
            << (cutLine + "\n髙①\n").toUtf8() << QStringList{cutLine, "髙①"};
        // More than a block of ASCII first: the first block with more than ASCII decides.
        QStringList asciiFirst;
        QByteArray asciiFirstBytes;
        for (int i = 0; asciiFirstBytes.size() <= (1 << 20); ++i) {
            asciiFirst << QStringLiteral("member%1@example.jp").arg(i);
            asciiFirstBytes += asciiFirst.last().toLatin1() + "\r\n";
        }
        asciiFirst << QStringLiteral("髙橋①");
        QTest::newRow("utf-8 without bom after a block of ascii")
            << asciiFirstBytes + asciiFirst.last().toUtf8() << asciiFirst;
        // CP932 text whose first block holds more than ASCII stays CP932.
        QTest::newRow("cp932 after a block of ascii")
            << asciiFirstBytes + Codec::toCp932(asciiFirst.last()) << asciiFirst;
    }
    void lineReader()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, lines);
        QBuffer buffer(&bytes);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        QCOMPARE(CountTextLines(buffer), qint64(lines.size()));
        TextLineReader reader(buffer);
        QStringList got;
        QString line;
        while (reader.readLine(line))
            got << line;
        QCOMPARE(got, lines);
    }

    // A CR LF split over two blocks of the reader still ends one line.
    void lineReaderLongFile()
    {
        QByteArray bytes;
        QStringList expected;
        for (int i = 0; bytes.size() < (3 << 20); ++i) {
            const QString line = QStringLiteral("行%1,member%1@example.jp").arg(i);
            expected << line;
            bytes += Codec::toCp932(line) + "\r\n";
        }
        QBuffer buffer(&bytes);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        QCOMPARE(CountTextLines(buffer), qint64(expected.size()));
        TextLineReader reader(buffer);
        QString line;
        int n = 0;
        while (reader.readLine(line)) {
            QCOMPARE(line, expected.at(n));
            ++n;
        }
        QCOMPARE(n, expected.size());
    }
};

QTEST_GUILESS_MAIN(TestCsv)
#include "tst_maintenance_csv.moc"
