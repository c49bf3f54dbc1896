// The issue history: list order, one-line conditions, decoded bodies, recipients and the
// deletion up to a day, on a private store.
#include "fakes/StoreFixture.h"
#include "fakes/TestEnv.h"
#include "issue/ui/FHistDlg.h"
#include "issue/UHistory.h"
#include "store/PreparedStatement.h"
#include "store/Database.h"
#include "store/HistoryRecords.h"
#include "store/Sql.h"

#include <QLabel>
#include <QtTest>

class TestHistory : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;

    // An issue row and its recipient rows, written as issue creation writes them.
    static void addIssue(int magIdx, int magCnt, const QString &addDate, const QString &title, const QString &body,
                         const QList<int> &recipients, const QString &condition = "無条件")
    {
        StoreFixture::addIssue(magIdx, magCnt,
                               {.addDate = addDate,
                                .sendCnt = int(recipients.size()),
                                .condition = condition,
                                .title = title,
                                .body = body});
        for (int u : recipients)
            StoreFixture::addRecipient(magIdx, magCnt, u);
    }
    static void addMember(int magIdx, int userIdx, const QString &name, const QString &address)
    {
        StoreFixture::addMember(magIdx, userIdx, name, address);
    }
    static qint64 count(const QString &sql)
    {
        Statement s;
        return s.scalar(sql);
    }

private Q_SLOTS:
    void init()
    {
        env = std::make_unique<TestEnv>();
        env->openStore();
    }
    void cleanup() { env.reset(); }

    void statementsAsWritten()
    {
        QCOMPARE(HistoryRecords::listStatement(),
                 QString("select MagCnt,AddDate,SendCnt,Condition,Title from MagInfo\r\nwhere MagIdx = ?\r\norder by AddDate desc"));
        QCOMPARE(HistoryRecords::issueStatement(),
                 QString("select MagCnt,AddDate,SendCnt,Condition,Title,Body from MagInfo where MagIdx = ?\r\nand MagCnt = ?"));
        QCOMPARE(HistoryRecords::removedIssues(), QString("select MagCnt from MagInfo where MagIdx = ? and AddDate <= ?"));
        QCOMPARE(HistoryRecords::removeRowsStatement("MagHist"),
                 QString("delete from MagHist where rowid in (\r\n"
                         "select rowid from MagHist where MagIdx = ? and MagCnt = ? limit ?)"));
        QCOMPARE(HistoryRecords::removeIssuesStatement(), QString("delete from maginfo \r\nwhere magidx = ? and adddate <= ?"));
        QCOMPARE(History::lastMomentOf(QDate(2024, 1, 15)), QString("2024/01/15 23:59:59"));
        QCOMPARE(History::deleteQuestion(QDate(2024, 1, 5)),
                 QString("2024/01/05以前の履歴データを削除します。よろしいですか？"));
    }

    void listIsNewestFirstWithConditionOnOneLine()
    {
        addIssue(1, 1, "2024/01/15 09:00:00", "first", "a", {});
        addIssue(2, 2, "2024/01/16 09:00:00", "other magazine", "b", {});
        addIssue(1, 3, "2024/02/01 10:30:00", "second", "c", {}, "日付１が\r\n2024/01/01以降の\r\nメンバー");
        addIssue(1, 4, "2024/01/20 08:00:00", "middle", "d", {});
        const auto rows = History::load(1);
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows[0].title, QString("second"));
        QCOMPARE(rows[0].magCnt, 3);
        QCOMPARE(rows[0].addDate, QString("2024/02/01 10:30:00"));
        QCOMPARE(rows[0].condition, QString("日付１が 2024/01/01以降の メンバー"));
        QCOMPARE(rows[1].title, QString("middle"));
        QCOMPARE(rows[2].title, QString("first"));
        QCOMPARE(History::conditionOnOneLine("a\nb\r\nc"), QString("a b c"));
    }

    void bodyComesBackWithEscapesReversed_data()
    {
        QTest::addColumn<QString>("body");
        QTest::newRow("apostrophe") << "It's";
        QTest::newRow("double quotes") << "say \"hi\"";
        QTest::newRow("both and lines") << "line 1 'a'\r\nline 2 \"b\"";
    }
    void bodyComesBackWithEscapesReversed()
    {
        QFETCH(QString, body);
        addIssue(1, 1, "2024/01/15 09:00:00", "subject's", body, {});
        const auto issue = History::readIssue(1, 1);
        QVERIFY(issue);
        QCOMPARE(issue->title, QString("subject's"));
        QCOMPARE(issue->body, body);
        QVERIFY(!History::readIssue(2, 1)); // another magazine's number reads nothing
    }

    void storedEscapesAreReversed()
    {
        // The body as stored, escapes and all: addIssue would escape it once more.
        StoreFixture::insert("MagInfo", {{"MagIdx", 1},
                                         {"MagCnt", 1},
                                         {"AddDate", "2024/01/15 09:00:00"},
                                         {"SendCnt", 0},
                                         {"Condition", TextValue("")},
                                         {"Title", "t"},
                                         {"Body", "a\\~b \\^c\\^"},
                                         {"UpdateSQL", TextValue("")}});
        QCOMPARE(History::readIssue(1, 1)->body, QString("a'b \"c\""));
    }

    void recipientsAsNameAndAddress()
    {
        addMember(1, 1, "山田太郎", "taro@example.jp");
        addMember(1, 2, "佐藤花子", "hanako@example.jp");
        addMember(1, 3, "削除予定", "gone@example.jp");
        addMember(2, 1, "別マガジン", "other@example.jp");
        addIssue(1, 5, "2024/03/01 12:00:00", "三月号", "本文", {1, 2, 3});
        Statement s;
        s.exec("delete from MagUser where MagIdx = 1 and UserIdx = 3");
        THistDlg dlg;
        dlg.ListMode = THistDlg::Mode::Recipients;
        dlg.ListMagIdx = 1;
        dlg.ListMagCnt = 5;
        dlg.FormShow();
        QCOMPARE(dlg.sentAtLabel->text(), QString("2024/03/01 12:00:00"));
        QCOMPARE(dlg.subjectLabel->text(), QString("三月号"));
        QStringList lines = dlg.lines();
        lines.sort();
        QCOMPARE(lines, (QStringList{"佐藤花子 <hanako@example.jp>", "山田太郎 <taro@example.jp>"}));
    }

    void recipientsOfAnIssueThatReachedNobody()
    {
        addIssue(1, 1, "2024/03/01 12:00:00", "empty", "x", {});
        THistDlg dlg;
        dlg.ListMode = THistDlg::Mode::Recipients;
        dlg.ListMagIdx = 1;
        dlg.ListMagCnt = 1;
        dlg.sentAtLabel->setText("stale");
        dlg.FormShow();
        QVERIFY(dlg.lines().isEmpty());
        QVERIFY(dlg.sentAtLabel->text().isEmpty());
        QVERIFY(dlg.subjectLabel->text().isEmpty());
    }

    // Deleting up to a day takes that whole day and spares every other magazine, even one
    // whose issues carry the very same dates.
    void deleteUpToADaySparesOtherMagazines()
    {
        const QDate today = QDate::currentDate();
        const QString t = today.toString("yyyy/MM/dd");
        const QString tomorrow = today.addDays(1).toString("yyyy/MM/dd");
        addIssue(1, 1, t + " 00:00:00", "a", "x", {1, 2});
        addIssue(2, 2, t + " 00:00:00", "b", "x", {1, 2});
        addIssue(1, 3, t + " 23:59:59", "c", "x", {1});
        addIssue(2, 4, t + " 23:59:59", "d", "x", {1});
        addIssue(1, 5, tomorrow + " 00:00:00", "e", "x", {1, 2, 3});
        History::deleteUpTo(1, today);
        QCOMPARE(count("select count(*) from MagInfo where MagIdx = 1"), qint64(1));
        QCOMPARE(count("select MagCnt from MagInfo where MagIdx = 1"), qint64(5));
        QCOMPARE(count("select count(*) from MagHist where MagIdx = 1"), qint64(3));
        QCOMPARE(count("select count(*) from MagInfo where MagIdx = 2"), qint64(2));
        QCOMPARE(count("select count(*) from MagHist where MagIdx = 2"), qint64(3));
    }

    // Issues of many recipients go a bounded number of rows at a time, with the progress
    // between; every row of the deleted issues goes, and nothing of the next issue or of
    // another magazine's issue with the same number.
    void deleteOfManyRowsInSteps_data()
    {
        QTest::addColumn<bool>("refused");
        QTest::newRow("deleted") << false;
        QTest::newRow("refused in a late step") << true;
    }
    void deleteOfManyRowsInSteps()
    {
        QFETCH(bool, refused);
        const int members = 60000;
        addIssue(1, 1, "2024/01/01 10:00:00", "a", "x", {});
        addIssue(1, 2, "2024/01/08 10:00:00", "b", "x", {});
        addIssue(1, 3, "2024/01/15 10:00:00", "c", "x", {});
        for (int magCnt : {1, 2, 3})
            StoreFixture::insertMany("MagHist", members, [magCnt](int i) {
                return StoreFixture::Row{{"MagIdx", 1}, {"MagCnt", magCnt}, {"MagUser", i + 1}};
            });
        StoreFixture::insertMany("MagHist", members, [](int i) {
            return StoreFixture::Row{{"MagIdx", 2}, {"MagCnt", 1}, {"MagUser", i + 1}};
        });
        StoreFixture::insertMany("SendState", members, [](int i) {
            return StoreFixture::Row{{"MagIdx", 1}, {"MagCnt", 2}, {"MagUser", i + 1}, {"State", 2}};
        });
        if (refused) {
            Statement s;
            s.exec("create temp trigger KeepLast before delete on SendState when old.MagUser = 59999"
                   " begin select raise(abort, 'locked'); end");
        }
        QList<qint64> done;
        qint64 total = -1;
        const auto remove = [&] {
            History::deleteUpTo(1, QDate(2024, 1, 8), [&](qint64 d, qint64 t) {
                done << d;
                total = t;
            });
        };
        if (refused) {
            QVERIFY_THROWS_EXCEPTION(StoreError, remove());
            QCOMPARE(count("select count(*) from MagHist"), qint64(4 * members));
            QCOMPARE(count("select count(*) from SendState"), qint64(members));
            QCOMPARE(count("select count(*) from MagInfo"), qint64(3));
            return;
        }
        remove();
        QCOMPARE(total, qint64(3 * members));
        QCOMPARE(done.constLast(), total);
        QVERIFY(done.size() > 3); // several steps an issue
        QVERIFY(std::is_sorted(done.cbegin(), done.cend()));
        QCOMPARE(count("select count(*) from MagHist where MagIdx = 1 and MagCnt in (1, 2)"), qint64(0));
        QCOMPARE(count("select count(*) from MagHist where MagIdx = 1 and MagCnt = 3"), qint64(members));
        QCOMPARE(count("select count(*) from MagHist where MagIdx = 2"), qint64(members));
        QCOMPARE(count("select count(*) from SendState"), qint64(0));
        QCOMPARE(count("select MagCnt from MagInfo"), qint64(3));
    }

    // Recipient rows and issues go together or not at all.
    void failedDeleteKeepsRecipients()
    {
        addIssue(1, 1, "2024/01/01 10:00:00", "a", "x", {1, 2});
        Statement s;
        s.exec("create temp trigger KeepIssues before delete on MagInfo begin select raise(abort, 'locked'); end");
        QVERIFY_THROWS_EXCEPTION(StoreError, History::deleteUpTo(1, QDate(2024, 1, 1)));
        QCOMPARE(count("select count(*) from MagHist"), qint64(2));
        QCOMPARE(count("select count(*) from MagInfo"), qint64(1));
    }
};

QTEST_MAIN(TestHistory)
#include "tst_issue_history.moc"
