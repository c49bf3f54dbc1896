// The after-send update an issue stores: written in the few forms the send page offers,
// and applied after a delivery only when the stored text is exactly one of them, so a store
// edited by hand cannot run a statement of its own.
#include "fakes/StoreFixture.h"
#include "fakes/TestEnv.h"
#include "store/AfterSendUpdate.h"
#include "store/Database.h"
#include "store/DeliveryRecords.h"
#include "store/SendStates.h"

#include <QtTest>

// Both recipients of issue 7 sent, as a delivery records them.
void completeRecipients()
{
    SendResult a;
    a.MagUser = 1;
    a.attempts = 1;
    SendResult b = a;
    b.MagUser = 2;
    SendStates::record(1, 7, ReadDeliveryIssue(1, 7).UpdateSQL, {a, b});
}

class TestAfterSendUpdate : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;

    // Members 1 and 2 of magazine 1 received issue 7; member 3 did not. Member 4 of
    // magazine 2 shares nothing with them.
    static void fill(const QString &updateSql)
    {
        StoreFixture::addMagazine(1, QStringLiteral("週刊"));
        const StoreFixture::Row blank = StoreFixture::blankMemberColumns();
        for (int u : {1, 2, 3})
            StoreFixture::addMember(1, u, QStringLiteral("m%1").arg(u), QStringLiteral("m%1@example.jp").arg(u), blank);
        StoreFixture::addMember(2, 4, QStringLiteral("m4"), QStringLiteral("m4@example.jp"), blank);
        StoreFixture::addIssue(1, 7,
                               {.addDate = "2024/01/15 10:00:00",
                                .sendCnt = 2,
                                .condition = "無条件",
                                .title = "t",
                                .body = "b",
                                .updateSql = updateSql});
        for (int u : {1, 2})
            StoreFixture::addRecipient(1, 7, u);
    }

    // Every member column the update may touch, and more, for every member, as one text.
    static QString members()
    {
        Statement s;
        s.open(QStringLiteral("select MagIdx,UserIdx,UserName,UserAdrs,Sleep,Flg1,Flg2,Flg3,Count1,Count2,"
                              "UserDate1,UserDate2 from MagUser order by MagIdx,UserIdx"));
        QStringList rows;
        while (s.next()) {
            QStringList cells;
            for (int i = 0; i < s.fieldCount(); ++i)
                cells << s.text(i);
            rows << cells.join(u'|');
        }
        return rows.join(u'\n');
    }

private Q_SLOTS:
    void init()
    {
        env = std::make_unique<TestEnv>();
        env->openStore();
    }
    void cleanup() { env.reset(); }

    // Every choice of check boxes reads back as itself.
    void everyWrittenFormReadsBack()
    {
        const QDate day(2024, 1, 15);
        for (int mask = 0; mask < 128; ++mask) {
            std::array<bool, 7> pieces{};
            for (size_t i = 0; i < 7; ++i)
                pieces[i] = (mask >> i) & 1;
            const QString text = AfterSendUpdate::text(pieces, day);
            const std::optional<AfterSendUpdate> read = AfterSendUpdate::read(text);
            QVERIFY2(read, qPrintable(text));
            QCOMPARE(read->pieces, pieces);
            QCOMPARE(read->isEmpty(), mask == 0);
            QCOMPARE(read->day, (pieces[5] || pieces[6]) ? QStringLiteral("20240115") : QString());
        }
    }

    void applied_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("expected"); // members() afterwards
        const QString untouched = QStringLiteral("1|1|m1|m1@example.jp|0|0|0|0|0|0||\n1|2|m2|m2@example.jp|0|0|0|0|0|0||\n"
                                                 "1|3|m3|m3@example.jp|0|0|0|0|0|0||\n2|4|m4|m4@example.jp|0|0|0|0|0|0||");
        QTest::newRow("none") << "" << untouched;
        QTest::newRow("flag, counter and date")
            << "set flg2 = 1,Count1 = Count1 + 1,UserDate1 = \"20240115\""
            << "1|1|m1|m1@example.jp|0|0|1|0|1|0|20240115|\n1|2|m2|m2@example.jp|0|0|1|0|1|0|20240115|\n"
               "1|3|m3|m3@example.jp|0|0|0|0|0|0||\n2|4|m4|m4@example.jp|0|0|0|0|0|0||";
        QTest::newRow("all seven")
            << "set flg1 = 1,flg2 = 1,flg3 = 1,Count1 = Count1 + 1,Count2 = Count2 + 1,UserDate1 = \"20240115\","
               "UserDate2 = \"20240115\""
            << "1|1|m1|m1@example.jp|0|1|1|1|1|1|20240115|20240115\n1|2|m2|m2@example.jp|0|1|1|1|1|1|20240115|20240115\n"
               "1|3|m3|m3@example.jp|0|0|0|0|0|0||\n2|4|m4|m4@example.jp|0|0|0|0|0|0||";
    }
    void applied()
    {
        QFETCH(QString, stored);
        QFETCH(QString, expected);
        fill(stored);
        completeRecipients();
        QCOMPARE(members(), expected);
        QCOMPARE(Statement().scalar(QStringLiteral("select count(*) from MagHist where SendComplete = 1")), 2);
    }

    // Texts a hand-edited store might hold, run before as "update MagUser " + text. None is
    // one the program writes, so the completion is refused as a whole and nothing changes,
    // the recipients' marks included.
    void hostileStoredTextRefused_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::newRow("another column") << "set Sleep = 1";
        QTest::newRow("address rewritten") << "set UserAdrs = 'x@evil.example'";
        QTest::newRow("known piece, another value") << "set flg1 = 0";
        QTest::newRow("counter set outright") << "set Count1 = 100";
        QTest::newRow("where widened") << "set flg1 = 1 where 1 = 1 or MagIdx = ?";
        QTest::newRow("trailing text") << "set flg1 = 1 ";
        QTest::newRow("second statement") << "set flg1 = 1; delete from MagUser";
        QTest::newRow("comment") << "set flg1 = 1 --";
        QTest::newRow("sub-select as date") << "set UserDate1 = (select UserAdrs from MagUser)";
        QTest::newRow("date not a day") << "set UserDate1 = \"20241399\"";
        QTest::newRow("date of letters") << "set UserDate1 = \"2024011x\"";
        QTest::newRow("date quote doubled") << "set UserDate1 = \"2024\"\"0115\"";
        QTest::newRow("single-quoted date") << "set UserDate1 = '20240115'";
        QTest::newRow("two days") << "set UserDate1 = \"20240115\",UserDate2 = \"20240116\"";
        QTest::newRow("piece twice") << "set flg1 = 1,flg1 = 1";
        QTest::newRow("out of order") << "set flg2 = 1,flg1 = 1";
        QTest::newRow("no set") << "flg1 = 1";
        QTest::newRow("set alone") << "set ";
        QTest::newRow("upper-case SET") << "SET flg1 = 1";
        QTest::newRow("empty piece") << "set flg1 = 1,";
        QTest::newRow("line break") << "set flg1 = 1\r\n,flg2 = 1";
        QTest::newRow("NUL after a piece") << QStringLiteral("set flg1 = 1") + QChar(0) + QStringLiteral(",Sleep = 1");
    }
    void hostileStoredTextRefused()
    {
        QFETCH(QString, stored);
        QVERIFY(!AfterSendUpdate::read(stored));
        fill(stored);
        const QString before = members();
        try {
            completeRecipients();
            QFAIL("applied");
        } catch (const StoreError &e) {
            QCOMPARE(e.text(), AfterSendUpdateRefusedText());
        }
        QCOMPARE(members(), before);
        QCOMPARE(Statement().scalar(QStringLiteral("select count(*) from MagHist where SendComplete = 1")), 0);
        QCOMPARE(Statement().scalar(QStringLiteral("select count(*) from MagUser")), 4);
    }
};

QTEST_GUILESS_MAIN(TestAfterSendUpdate)
#include "tst_store_after_send_update.moc"
