// Per-member placeholders: detection, the fixed order of replacement, value formats, and the
// CP932 path the delivery uses agreeing with the text path.
#include "mail/UPlaceholders.h"
#include "store/Codec.h"

#include <QtTest>

Q_DECLARE_METATYPE(MemberValues)

namespace {

const QDate Today(2026, 12, 10);

MemberValues member(const QString &name = QString(), const QString &url = QString(), qint64 c1 = 0, qint64 c2 = 0,
                    const QString &d1 = QString(), const QString &d2 = QString())
{
    MemberValues m;
    m.UserName = name;
    m.url = url;
    m.count1 = c1;
    m.count2 = c2;
    m.UserDate1 = d1;
    m.UserDate2 = d2;
    return m;
}

} // namespace

class TestPlaceholders : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void hasPlaceholders_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<bool>("has");
        QTest::newRow("none") << QString("こんにちは\r\nまた来月") << false;
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("member name") << QString("[member name]様") << true;
        QTest::newRow("url") << QString("see [url]") << true;
        QTest::newRow("count1") << QString("[count1 value]") << true;
        QTest::newRow("count2") << QString("[count2 value]") << true;
        QTest::newRow("date1") << QString("[user date1 yyyy/mm/dd]") << true;
        QTest::newRow("date2") << QString("[user date2 yyyy/mm/dd]") << true;
        QTest::newRow("other case") << QString("[Member Name] [URL]") << false;
        QTest::newRow("incomplete") << QString("[member name [user date1]") << false;
        // ー is 81 5B: its trail byte is "[", which must not start a placeholder.
        QTest::newRow("after ー") << QString("ーurl]") << false;
        QTest::newRow("after ー then real") << QString("ー[url]") << true;
    }
    void hasPlaceholders()
    {
        QFETCH(QString, body);
        QFETCH(bool, has);
        QCOMPARE(HasPlaceholders(body), has);
    }

    void personalize_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<MemberValues>("values");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QStringList>("unformatted");
        QTest::newRow("no placeholders unchanged") << QString("本文\r\nです") << member(u"山田"_qs) << QString("本文\r\nです")
                                                 << QStringList();
        QTest::newRow("name three times") << QString("[member name]様 [member name]/[member name]")
                                          << member(u"山田 太郎"_qs) << QString("山田 太郎様 山田 太郎/山田 太郎") << QStringList();
        QTest::newRow("other case stays") << QString("[Member Name] [member name]") << member("Taro")
                                          << QString("[Member Name] Taro") << QStringList();
        QTest::newRow("NULL name disappears") << QString("こんにちは[member name]さん") << member()
                                              << QString("こんにちはさん") << QStringList();
        QTest::newRow("url") << QString("[url]") << member("", "https://example.jp/a?b=1") << QString("https://example.jp/a?b=1")
                             << QStringList();
        QTest::newRow("counters") << QString("[count1 value]/[count2 value]") << member("", "", 999999, 0)
                                  << QString("999,999/0") << QStringList();
        QTest::newRow("negative counter") << QString("[count1 value]|[count2 value]") << member("", "", -5, -1234567)
                                          << QString("-5|-1,234,567") << QStringList();
        QTest::newRow("thousand exactly") << QString("[count1 value]") << member("", "", 1000) << QString("1,000")
                                          << QStringList();
        QTest::newRow("large counter") << QString("[count2 value]") << member("", "", 0, 9223372036854775807LL)
                                       << QString("9,223,372,036,854,775,807") << QStringList();
        QTest::newRow("date") << QString("[user date1 yyyy/mm/dd]") << member("", "", 0, 0, "20240305")
                              << QString("2024年3月5日") << QStringList();
        QTest::newRow("date2 with zeros kept where needed") << QString("[user date2 yyyy/mm/dd]")
                                                            << member("", "", 0, 0, "", "19991031")
                                                            << QString("1999年10月31日") << QStringList();
        QTest::newRow("empty date is today") << QString("[user date1 yyyy/mm/dd]") << member()
                                             << QString("2026年12月10日") << QStringList();
        QTest::newRow("leap day") << QString("[user date1 yyyy/mm/dd]") << member("", "", 0, 0, "20240229")
                                  << QString("2024年2月29日") << QStringList();
        QTest::newRow("invalid date left as typed")
            << QString("A [user date1 yyyy/mm/dd] B [user date2 yyyy/mm/dd] [member name]")
            << member("Taro", "", 0, 0, "20230229", "2024/3/5")
            << QString("A [user date1 yyyy/mm/dd] B [user date2 yyyy/mm/dd] Taro")
            << QStringList{"[user date1 yyyy/mm/dd]", "[user date2 yyyy/mm/dd]"};
        QTest::newRow("letters in a date") << QString("[user date1 yyyy/mm/dd]") << member("", "", 0, 0, "2024O305")
                                           << QString("[user date1 yyyy/mm/dd]") << QStringList{"[user date1 yyyy/mm/dd]"};
        QTest::newRow("name holding [url] gets the url") << QString("[member name] [url]") << member("A[url]B", "U")
                                                         << QString("AUB U") << QStringList();
        QTest::newRow("name holding [url] without [url] in body") << QString("[member name]") << member("A[url]B", "U")
                                                                  << QString("A[url]B") << QStringList();
        QTest::newRow("url holding a counter placeholder") << QString("[url] [count1 value]")
                                                           << member("", "x[count1 value]", 7) << QString("x7 7")
                                                           << QStringList();
        QTest::newRow("later value not searched by earlier step") << QString("[url]") << member("N", "[member name]")
                                                                  << QString("[member name]") << QStringList();
        QTest::newRow("placeholder after ー") << QString("ー[member name]ー") << member(u"佐藤"_qs)
                                              << QString("ー佐藤ー") << QStringList();
    }
    void personalize()
    {
        QFETCH(QString, body);
        QFETCH(MemberValues, values);
        QFETCH(QString, expected);
        QFETCH(QStringList, unformatted);
        QStringList left;
        QCOMPARE(Personalize(body, values, Today, &left), expected);
        QCOMPARE(left, unformatted);
    }

    void formatUserDate_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::newRow("valid") << "20240305" << u"2024年3月5日"_qs << true;
        QTest::newRow("blanks around") << " 20240305 " << u"2024年3月5日"_qs << true;
        QTest::newRow("empty") << "" << u"2026年12月10日"_qs << true;
        QTest::newRow("null") << QString() << u"2026年12月10日"_qs << true;
        QTest::newRow("blank") << "  " << u"2026年12月10日"_qs << true;
        QTest::newRow("month 13") << "20241305" << QString() << false;
        QTest::newRow("seven digits") << "2024035" << QString() << false;
        QTest::newRow("slashes") << "2024/03/05" << QString() << false;
        QTest::newRow("full-width digits") << u"２０２４０３０５"_qs << QString() << false;
    }
    void formatUserDate()
    {
        QFETCH(QString, stored);
        QFETCH(QString, text);
        QFETCH(bool, ok);
        bool valid = !ok;
        QCOMPARE(FormatUserDate(stored, Today, &valid), text);
        QCOMPARE(valid, ok);
    }
};

QTEST_GUILESS_MAIN(TestPlaceholders)
#include "tst_mail_placeholders.moc"
