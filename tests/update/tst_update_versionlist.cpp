// Reading the vendor's version list and judging the names it offers.
#include "store/Codec.h"
#include "update/UVersionList.h"

#include <QtTest>

using VersionList::Line;

Q_DECLARE_METATYPE(QList<Line>)

namespace QTest {
template <>
char *toString(const Line &l)
{
    return qstrdup(qPrintable(QStringLiteral("[%1|%2|%3]").arg(l.version, l.note, l.fileName)));
}
} // namespace QTest

class TestVersionList : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parse_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QList<Line>>("lines");

        QTest::newRow("empty body") << QString() << QList<Line>{};
        QTest::newRow("three fields") << "020007\tfix\tTsubame207.exe"
                                      << QList<Line>{{"020007", "fix", "Tsubame207.exe"}};
        QTest::newRow("CR LF, LF and CR all break")
            << "020005\ta\tf5\r\n020007\tb\tf7\n020008\tc\tf8\r020009\td\tf9"
            << QList<Line>{{"020005", "a", "f5"}, {"020007", "b", "f7"}, {"020008", "c", "f8"}, {"020009", "d", "f9"}};
        QTest::newRow("final break makes no extra line") << "020007\tb\tf7\r\n" << QList<Line>{{"020007", "b", "f7"}};
        QTest::newRow("empty line in between") << "020007\tb\tf7\n\n020008\tc\tf8"
                                               << QList<Line>{{"020007", "b", "f7"}, {}, {"020008", "c", "f8"}};
        QTest::newRow("no TAB: empty version") << "020007" << QList<Line>{{"", "", "020007"}};
        QTest::newRow("one TAB: empty second field") << "020007\tf7" << QList<Line>{{"020007", "", "f7"}};
        QTest::newRow("only one TAB") << "\t" << QList<Line>{{"", "", ""}};
        QTest::newRow("only two TABs") << "\t\t" << QList<Line>{{"", "", ""}};
        QTest::newRow("third field keeps later TABs") << "020007\tb\tf\t7" << QList<Line>{{"020007", "b", "f\t7"}};
        QTest::newRow("Japanese second field") << "020007\t不具合の修正\tf7" << QList<Line>{{"020007", "不具合の修正", "f7"}};
    }
    void parse()
    {
        QFETCH(QString, body);
        QFETCH(QList<Line>, lines);
        QCOMPARE(VersionList::parse(body), lines);
    }

    void decodesUtf8AndCodePage932()
    {
        const QString text = QStringLiteral("020007\t不具合の修正 ～①\tTsubame207.exe\r\n");
        QCOMPARE(VersionList::decode(text.toUtf8()), text);
        QCOMPARE(VersionList::decode("\xEF\xBB\xBF" + text.toUtf8()), text);
        QCOMPARE(VersionList::decode(Codec::toCp932(text)), Codec::fromCp932(Codec::toCp932(text)));
        QVERIFY(VersionList::decode(Codec::toCp932(text)).contains(QStringLiteral("不具合の修正")));
        QCOMPARE(VersionList::decode(QByteArray()), QString());
    }

    void versionText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::newRow("020006") << "020006" << true;
        QTest::newRow("999999") << "999999" << true;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("dotted") << "2.0.6" << false;
        QTest::newRow("five digits") << "20006" << false;
        QTest::newRow("seven digits") << "0200060" << false;
        QTest::newRow("letters") << "02000a" << false;
        QTest::newRow("full-width digits") << "０２０００６" << false;
    }
    void versionText()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QCOMPARE(VersionList::isVersionText(text), ok);
    }

    void formatsVersion()
    {
        QCOMPARE(VersionList::versionText(2, 0, 6), QString("020006"));
        QCOMPARE(VersionList::versionText(12, 34, 56), QString("123456"));
    }

    void safeFileName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("ok");
        QTest::newRow("plain") << "Tsubame207.exe" << true;
        QTest::newRow("blank and Japanese") << "ツバメ便 2.0.7.zip" << true;
        QTest::newRow("dots inside") << "a.b.c" << true;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("dot") << "." << false;
        QTest::newRow("dot dot") << ".." << false;
        QTest::newRow("parent") << "../evil.exe" << false;
        QTest::newRow("deeper parent") << "../../.bashrc" << false;
        QTest::newRow("slash") << "sub/file.exe" << false;
        QTest::newRow("absolute") << "/etc/passwd" << false;
        QTest::newRow("backslash parent") << "..\\evil.exe" << false;
        QTest::newRow("backslash") << "sub\\file.exe" << false;
        QTest::newRow("dot dot inside") << "a..b" << false;
        QTest::newRow("control character") << "a\x01" "b" << false;
        QTest::newRow("too long") << QString(256, QLatin1Char('a')) << false;
        QTest::newRow("longest") << QString(255, QLatin1Char('a')) << true;
    }
    void safeFileName()
    {
        QFETCH(QString, name);
        QFETCH(bool, ok);
        QCOMPARE(VersionList::isSafeFileName(name), ok);
    }

    void plausibleStep_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("running");
        QTest::addColumn<bool>("plausible");
        QTest::newRow("next release") << "020007" << "020006" << true;
        QTest::newRow("next minor") << "021500" << "020006" << true;
        QTest::newRow("next major") << "030000" << "020006" << true;
        QTest::newRow("last of the next major") << "039999" << "020006" << true;
        QTest::newRow("older") << "010000" << "020006" << true;
        QTest::newRow("two majors on") << "040000" << "020006" << false;
        QTest::newRow("all nines") << "999999" << "020006" << false;
        QTest::newRow("not a version") << "2.0.9" << "020006" << false;
        QTest::newRow("running version unknown") << "999999" << "" << true;
    }
    void plausibleStep()
    {
        QFETCH(QString, version);
        QFETCH(QString, running);
        QFETCH(bool, plausible);
        QCOMPARE(VersionList::isPlausibleStep(version, running), plausible);
    }
};

QTEST_APPLESS_MAIN(TestVersionList)
#include "tst_update_versionlist.moc"
