// The seven member fields a command changes for many members: each goes by one place among
// the magazine's names, one list column, one store column and one menu tag, and these must
// name the same field everywhere.
#include "members/MemberField.h"
#include "members/UMemberOrder.h"
#include "store/BulkUpdateRecords.h"

#include <QtTest>

Q_DECLARE_METATYPE(MemberField)

class TestMemberField : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void conversions_data()
    {
        QTest::addColumn<MemberField>("field");
        QTest::addColumn<int>("nameIndex");
        QTest::addColumn<int>("listField");
        QTest::addColumn<QString>("column");
        QTest::addColumn<int>("number");
        QTest::addColumn<int>("resetTag");
        QTest::addColumn<QString>("kind");
        QTest::newRow("flag 1") << MemberField::Flag1 << 0 << int(MemberOrder::Flag1) << "Flg1" << 1 << 1 << "flag";
        QTest::newRow("flag 2") << MemberField::Flag2 << 1 << int(MemberOrder::Flag2) << "Flg2" << 2 << 2 << "flag";
        QTest::newRow("flag 3") << MemberField::Flag3 << 2 << int(MemberOrder::Flag3) << "Flg3" << 3 << 3 << "flag";
        QTest::newRow("counter 1") << MemberField::Count1 << 3 << int(MemberOrder::Count1) << "Count1" << 1 << 4
                                   << "counter";
        QTest::newRow("counter 2") << MemberField::Count2 << 4 << int(MemberOrder::Count2) << "Count2" << 2 << 5
                                   << "counter";
        QTest::newRow("date 1") << MemberField::Date1 << 5 << int(MemberOrder::Date1) << "UserDate1" << 1 << 6
                                << "date";
        QTest::newRow("date 2") << MemberField::Date2 << 6 << int(MemberOrder::Date2) << "UserDate2" << 2 << 7
                                << "date";
    }
    void conversions()
    {
        QFETCH(MemberField, field);
        QFETCH(int, nameIndex);
        QFETCH(int, listField);
        QFETCH(QString, column);
        QFETCH(int, number);
        QFETCH(int, resetTag);
        QFETCH(QString, kind);
        QCOMPARE(int(MemberFields::nameIndex(field)), nameIndex);
        QCOMPARE(MemberFields::listField(field), listField);
        QCOMPARE(BulkUpdateRecords::columnName(MemberFields::column(field)), column);
        QCOMPARE(MemberFields::number(field), number);
        QCOMPARE(MemberFields::menuTag(field), number);
        QCOMPARE(MemberFields::resetTag(field), resetTag);
        QCOMPARE(MemberFields::isFlag(field), kind == "flag");
        QCOMPARE(MemberFields::isCounter(field), kind == "counter");
        QCOMPARE(MemberFields::isDate(field), kind == "date");
        // the field is listed once, among its kind and among all seven
        QCOMPARE(std::count(MemberFields::kAll.begin(), MemberFields::kAll.end(), field), 1);
        const auto inKind = std::count(MemberFields::kFlags.begin(), MemberFields::kFlags.end(), field)
                          + std::count(MemberFields::kCounters.begin(), MemberFields::kCounters.end(), field)
                          + std::count(MemberFields::kDates.begin(), MemberFields::kDates.end(), field);
        QCOMPARE(inKind, 1);
    }
};

QTEST_MAIN(TestMemberField)
#include "tst_members_field.moc"
