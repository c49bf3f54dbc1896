// The member list's display setting, cell texts and the Shift-JIS sort rule.
#include "fakes/StoreFixture.h"
#include "fakes/TestEnv.h"
#include "members/UMemberOrder.h"
#include "members/UMemberTable.h"
#include "members/USjisKey.h"
#include "store/Database.h"

#include <QtTest>

using MemberOrder::Entry;

class TestMembersOrder : public QObject
{
    Q_OBJECT

private:
    static std::array<QString, 7> names(const QString &f1 = "会員", const QString &f2 = "特典")
    {
        return {f1, f2, "フラグ３", "数字１", "数字2", "日付１", "日付２"};
    }
    static QStringList texts(const QList<Entry> &entries)
    {
        QStringList out;
        for (const Entry &e : entries)
            out << e.caption + (e.checked ? "+" : "-");
        return out;
    }

private Q_SLOTS:
    void shownColumns_data()
    {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QList<int>>("fields");
        QTest::newRow("new magazine") << MemberOrder::defaultText() << QList<int>{0, 1};
        QTest::newRow("reordered") << "A:1,M:1,U:0,F1:1,F2:0,F3:0,C1:0,C2:0,D1:0,D2:0,S:1," << QList<int>{1, 0, 3, 10};
        QTest::newRow("all hidden") << "M:0,A:0,U:0,F1:0,F2:0,F3:0,C1:0,C2:0,D1:0,D2:0,S:0," << QList<int>{};
        QTest::newRow("unknown code skipped") << "X:1,M:1,Z9:1,A:1," << QList<int>{0, 1};
        QTest::newRow("last item without comma") << "M:1,A:1" << QList<int>{0, 1};
        QTest::newRow("value other than 1 hides") << "M:2,A:1," << QList<int>{1};
        QTest::newRow("a field twice") << "F1:1,F1:1," << QList<int>{3, 3};
        QTest::newRow("empty") << "" << QList<int>{};
    }
    void shownColumns()
    {
        QFETCH(QString, setting);
        QFETCH(QList<int>, fields);
        QCOMPARE(MemberOrder::shownColumns(setting), fields);
    }

    void shownColumnsCapped()
    {
        QString many;
        for (int i = 0; i < 40; ++i)
            many += "M:1,";
        QCOMPARE(MemberOrder::shownColumns(many, 32).size(), 32);
    }

    void readEntries_data()
    {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<bool>("exists");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("no setting: all checked")
            << "" << false
            << QStringList{"メンバー名+", "メールアドレス+", "url+", "会員+", "特典+", "フラグ３+",
                           "数字１+", "数字2+", "日付１+", "日付２+", "登録日+"};
        QTest::newRow("reordered, unnamed after, unchecked")
            << "A:1,M:0,S:1," << true
            << QStringList{"メールアドレス+", "メンバー名-", "登録日+", "会員-", "特典-", "フラグ３-",
                           "数字１-", "数字2-", "日付１-", "日付２-", "url-"};
        QTest::newRow("unknown item skipped") << "Q:1,M:1," << true
            << QStringList{"メンバー名+", "メールアドレス-", "url-", "会員-", "特典-", "フラグ３-",
                           "数字１-", "数字2-", "日付１-", "日付２-", "登録日-"};
    }
    void readEntries()
    {
        QFETCH(QString, setting);
        QFETCH(bool, exists);
        QFETCH(QStringList, expected);
        const auto captions = MemberOrder::captions(names());
        const auto entries = MemberOrder::readEntries(exists ? std::optional<QString>(setting) : std::nullopt, captions);
        QCOMPARE(texts(entries), expected);
    }

    void roundTrip()
    {
        const auto captions = MemberOrder::captions(names());
        const QString text = "A:1,M:1,S:1,U:0,F1:0,F2:0,F3:0,C1:0,C2:0,D1:0,D2:0,";
        QCOMPARE(MemberOrder::formatEntries(MemberOrder::readEntries(text, captions), captions), text);
    }

    // Two flags with one name: both entries are written with the first code.
    void duplicateCaptionsWriteFirstCode()
    {
        const auto captions = MemberOrder::captions(names("同じ", "同じ"));
        const auto entries = MemberOrder::readEntries(MemberOrder::defaultText(), captions);
        const QString written = MemberOrder::formatEntries(entries, captions);
        QCOMPARE(written, QString("M:1,A:1,U:0,F1:0,F1:0,F3:0,C1:0,C2:0,D1:0,D2:0,S:0,"));
        QList<Entry> shown = entries;
        shown[3].checked = shown[4].checked = true;
        QCOMPARE(MemberOrder::shownColumns(MemberOrder::formatEntries(shown, captions)), (QList<int>{0, 1, 3, 3}));
    }

    void flagNamedUrlWritesU()
    {
        const auto captions = MemberOrder::captions(names("url"));
        const auto entries = MemberOrder::readEntries(std::nullopt, captions);
        QCOMPARE(MemberOrder::formatEntries(entries, captions),
                 QString("M:1,A:1,U:1,U:1,F2:1,F3:1,C1:1,C2:1,D1:1,D2:1,S:1,"));
    }

    void settingStoredPerMagazine()
    {
        TestEnv env;
        QVERIFY(!MemberOrder::load(7));
        MemberOrder::save(7, "A:1,M:1,");
        QCOMPARE(MemberOrder::load(7).value_or("none"), QString("A:1,M:1,"));
        QVERIFY(!MemberOrder::load(8));
    }

    void cells_data()
    {
        QTest::addColumn<int>("field");
        QTest::addColumn<QString>("text");
        QTest::newRow("name") << 0 << "山田 \"太郎\" ①〜😀";
        QTest::newRow("flag on") << 3 << "ON";
        QTest::newRow("flag off") << 4 << "OFF";
        QTest::newRow("count grouped") << 6 << "1,234,567";
        QTest::newRow("negative count") << 7 << "-1,000";
        QTest::newRow("date cut") << 8 << "2024/03/05";
        QTest::newRow("empty date") << 9 << "";
        QTest::newRow("sign-up date") << 10 << "2023/12/31";
        QTest::newRow("no field") << -1 << "";
    }
    void cells()
    {
        QFETCH(int, field);
        QFETCH(QString, text);
        MemberRecord m;
        m.name = "山田 \"太郎\" ①〜😀";
        m.flags = {true, false, false};
        m.counts = {1234567, -1000};
        m.date1 = "20240305";
        m.date2 = "";
        m.addDate = "20231231";
        QCOMPARE(MemberCells::cell(m, field), text);
    }

    void badDateShownAsText_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("slashes") << "2024/01/05" << "2024/01/05";
        QTest::newRow("short") << "2024" << "2024";
        QTest::newRow("letters") << "abcdefgh" << "abcdefgh";
        QTest::newRow("japanese") << "令和六年" << "令和六年";
        QTest::newRow("eight digits not a day") << "20241399" << "2024/13/99";
    }
    void badDateShownAsText()
    {
        QFETCH(QString, stored);
        QFETCH(QString, shown);
        QCOMPARE(MemberCells::date(stored), shown);
    }

    void sjisOrder_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<int>("sign");
        QTest::newRow("case ignored") << "abc" << "ABC" << 0;
        QTest::newRow("letters before kana") << "zzz" << "あ" << -1;
        QTest::newRow("hiragana before katakana") << "あ" << "ア" << -1;
        QTest::newRow("half-width kana after kanji lead bytes") << "ｱ" << "あ" << 1;
        QTest::newRow("text numbers") << "10" << "9" << -1;
        QTest::newRow("OFF before ON") << "OFF" << "ON" << -1;
        QTest::newRow("shorter first") << "ab" << "abc" << -1;
        QTest::newRow("dates in date order") << "2023/12/31" << "2024/01/01" << -1;
        QTest::newRow("underscore after letters") << "a_" << "aa" << 1;
        QTest::newRow("no code after every code") << "😀" << "漢" << 1;
        QTest::newRow("wave dash as the Windows code") << "〜" << "～" << 0;
    }
    void sjisOrder()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(int, sign);
        const int c = SjisKey::compare(a, b);
        QCOMPARE((c > 0) - (c < 0), sign);
    }

    void tableSortsAndKeepsEqualOrder()
    {
        MemberTable t;
        t.setFields({0, 1});
        const QStringList names{"b", "A", "あ", "a", "B"};
        for (int i = 0; i < names.size(); ++i)
            t.appendRow(i + 1, false, {names[i], QString::number(i)});
        t.sort(0, false);
        QStringList got;
        for (int r = 0; r < t.rowCount(); ++r)
            got << t.cell(r, 0);
        QCOMPARE(got, (QStringList{"A", "a", "b", "B", "あ"}));
        t.sort(0, true);
        got.clear();
        for (int r = 0; r < t.rowCount(); ++r)
            got << t.cell(r, 0);
        QCOMPARE(got, (QStringList{"あ", "b", "B", "A", "a"}));
    }

    void tableLoadsByPosition()
    {
        TestEnv env;
        env.openStore();
        StoreFixture::insert("MagUser", {{"MagIdx", 1},         {"UserIdx", 5},     {"UserName", "O'Neil ①"},
                                         {"UserAdrs", "o@x.jp"}, {"url", QVariant()}, {"Flg1", 1},
                                         {"Flg2", 0},            {"Flg3", 7},        {"Sleep", 1},
                                         {"Count1", 1234567},    {"Count2", -5},     {"UserDate1", "20240102"},
                                         {"UserDate2", "bad"},   {"AddDate", QVariant()}});
        StoreFixture::insert("MagUser", {{"MagIdx", 2}, {"UserIdx", 6}, {"UserName", "other magazine"}});
        MemberTable t;
        t.setFields({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
        t.load(1);
        QCOMPARE(t.rowCount(), 1);
        QCOMPARE(t.userIdx(0), 5);
        QVERIFY(t.sleep(0));
        QStringList got;
        for (int c = 0; c < t.columnCount(); ++c)
            got << t.cell(0, c);
        QCOMPARE(got, (QStringList{"O'Neil ①", "o@x.jp", "", "ON", "OFF", "ON", "1,234,567", "-5", "2024/01/02",
                                   "bad", ""}));
        t.setCell(0, 0, "新しい名前");
        QCOMPARE(t.cell(0, 0), QString("新しい名前"));
        QCOMPARE(t.cell(0, 1), QString("o@x.jp"));
    }
};

QTEST_GUILESS_MAIN(TestMembersOrder)
#include "tst_members_order.moc"
