// The store against a real SQLite file: dialect translation, quoting, identifiers, guards.
#include "fakes/StoreFixture.h"
#include "fakes/TestEnv.h"
#include "store/Database.h"
#include "store/Folders.h"
#include "store/Schema.h"
#include "store/Sql.h"
#include "store/SqlDialect.h"

#include <QCryptographicHash>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QThread>
#include <QtTest>

class TestStore : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;

    static QString name(int magIdx)
    {
        Statement s;
        s.open("select MagName from Magzine where MagIdx = " + QString::number(magIdx));
        return s.next() ? s.text(0) : QStringLiteral("<none>");
    }
    static void addMagazine(int idx, const QString &mag)
    {
        Statement().exec(Sql::lines({"insert into Magzine (MagIdx, MagName) values(" + QString::number(idx) + ",",
                                     Sql::q(mag) + ")"}));
    }

private Q_SLOTS:
    void init()
    {
        env = std::make_unique<TestEnv>();
        env->openStore();
    }
    void cleanup() { env.reset(); }

    void translate_data()
    {
        QTest::addColumn<QString>("in");
        QTest::addColumn<QString>("out");
        QTest::newRow("double-quoted value") << "where MagName = \"MagName\"" << "where MagName = 'MagName'";
        QTest::newRow("single quote inside double") << "x = \"it's\"" << "x = 'it''s'";
        QTest::newRow("doubled double quote") << "x = \"a\"\"b\"" << "x = 'a\"b'";
        QTest::newRow("single-quoted kept") << "x = 'a\"b'" << "x = 'a\"b'";
        QTest::newRow("delete alias") << "delete from maghist H where exists (select 1)"
                                      << "delete from maghist AS H where exists (select 1)";
        QTest::newRow("delete no alias") << "delete from MagUser where MagIdx = 1" << "delete from MagUser where MagIdx = 1";
        QTest::newRow("update alias") << "update MagUser U set Flg1 = 1" << "update MagUser AS U set Flg1 = 1";
        QTest::newRow("update no alias") << "update MagUser set Flg1 = 1" << "update MagUser set Flg1 = 1";
        QTest::newRow("insert-select")
            << "insert into MagHist\r\nselect 3 as MagIdx, 7 As MagCnt, U.UserIdx As MagUser\r\nfrom maguser U where U.Sleep = 0"
            << "insert into MagHist\r\n(MagIdx,MagCnt,MagUser) select 3 as MagIdx, 7 As MagCnt, U.UserIdx As MagUser\r\nfrom maguser U where U.Sleep = 0";
        QTest::newRow("words in a literal untouched") << "update T set a = 'delete from x y'" << "update T set a = 'delete from x y'";
        // read as the engine reads them: quotes inside names and comments are not literals,
        // and a literal left open is not closed behind the writer's back
        QTest::newRow("unterminated literal stays open") << "x = 'abc" << "x = 'abc";
        QTest::newRow("unterminated double quote stays open") << "x = \"a'b" << "x = \"a'b";
        QTest::newRow("name in brackets kept whole") << "select [a\"b] from T where x = \"v\""
                                                     << "select [a\"b] from T where x = 'v'";
        QTest::newRow("name in backticks kept whole") << "select `a\"b` from T" << "select `a\"b` from T";
        QTest::newRow("block comment kept") << "x = 1 /* \"a\" */ and y = \"b\"" << "x = 1 /* \"a\" */ and y = 'b'";
        QTest::newRow("line comment kept") << "x = 1 -- \"a\"\r\nand y = \"b\"" << "x = 1 -- \"a\"\r\nand y = 'b'";
    }
    void translate()
    {
        QFETCH(QString, in);
        QFETCH(QString, out);
        QCOMPARE(SqlDialect::translate(in), out);
        // What a prepared statement runs is the same translation, the first time and when
        // it is kept.
        QCOMPARE(Store::preparedText(in), out);
        QCOMPARE(Store::preparedText(in), out);
    }

    void valueEqualToColumnNameIsNotAnIdentifier()
    {
        addMagazine(1, "MagName");
        addMagazine(2, "Other");
        Statement s;
        QCOMPARE(s.scalar("select count(*) from Magzine where MagName = " + Sql::dq("MagName")), 1);
    }

    void quotesRoundTrip_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("single quote") << "O'Reilly's";
        QTest::newRow("double quote") << "say \"hi\"";
        QTest::newRow("both and japanese") << "ツバメ'便\"①〜😀";
        QTest::newRow("injection attempt") << "x'); delete from Magzine; --";
    }
    void quotesRoundTrip()
    {
        QFETCH(QString, value);
        addMagazine(1, value);
        QCOMPARE(name(1), value);
        Statement s;
        QCOMPARE(s.scalar("select count(*) from Magzine where MagName = " + Sql::dq(value)), 1);
        QCOMPARE(s.scalar("select count(*) from Magzine where MagName = " + Sql::q(value)), 1);
    }

    void linesAreJoinedWithCrLf()
    {
        addMagazine(4, "a");
        Statement s;
        s.open(Sql::lines({"select *", "from magzine", "where magidx = 4"}));
        QVERIFY(s.next());
        QCOMPARE(s.text("MagName"), QString("a"));
        QCOMPARE(Sql::lines({"a", "b"}), QString("a\r\nb"));
    }

    void maxOverNoRowsIsZero()
    {
        Statement s;
        QCOMPARE(s.scalar("select max(MagIdx) from Magzine"), 0);
        s.open("select max(MagCnt) from MagInfo");
        QVERIFY(s.next());
        QVERIFY(s.isNull(0));
        QCOMPARE(s.integer(0), 0);
        QCOMPARE(s.text(0), QString());
    }

    void userIdxAssignedAcrossMagazines()
    {
        StoreFixture::insert("MagUser", {{"MagIdx", 1}, {"UserIdx", 1}, {"UserAdrs", "a@x"}});
        StoreFixture::insert("MagUser", {{"MagIdx", 2}, {"UserIdx", 1}, {"UserAdrs", "b@x"}});
        StoreFixture::insert("MagUser", {{"MagIdx", 2}, {"UserIdx", 5}, {"UserAdrs", "c@x"}});
        StoreFixture::insert("MagUser", {{"MagIdx", 1}, {"UserAdrs", "d@x"}});
        StoreFixture::insert("MagUser", {{"MagIdx", 2}, {"UserAdrs", "e@x"}});
        Statement s;
        QCOMPARE(s.scalar("select UserIdx from MagUser where UserAdrs = 'd@x'"), 6);
        QCOMPARE(s.scalar("select UserIdx from MagUser where UserAdrs = 'e@x'"), 7);
        QCOMPARE(s.scalar("select count(*) from MagUser where UserIdx = 1"), 2);
    }

    void insertSelectAndCorrelatedDelete()
    {
        for (int i = 1; i <= 3; ++i)
            StoreFixture::insert("MagUser", {{"MagIdx", 1}, {"UserIdx", i}, {"Sleep", int(i == 2)}});
        StoreFixture::insert("MagUser", {{"MagIdx", 2}, {"UserIdx", 9}});
        StoreFixture::insert("MagInfo", {{"MagIdx", 1}, {"MagCnt", 1}, {"AddDate", "2024/01/01 10:00:00"}});
        StoreFixture::insert("MagInfo", {{"MagIdx", 2}, {"MagCnt", 2}, {"AddDate", "2024/01/01 10:00:00"}});
        Statement s;
        s.exec(Sql::lines({"insert into MagHist", "select 1 as MagIdx, 1 As MagCnt, U.UserIdx As MagUser",
                           "from maguser U", "where U.MagIdx = 1 and U.Sleep = 0"}));
        s.exec(Sql::lines({"insert into MagHist", "select 2 as MagIdx, 2 As MagCnt, U.UserIdx As MagUser",
                           "from maguser U", "where U.MagIdx = 2"}));
        s.open("select MagUser, SendComplete from MagHist where MagCnt = 1 order by MagUser");
        QList<int> users;
        while (s.next()) {
            users << int(s.integer(0));
            QCOMPARE(s.integer(1), 0);
        }
        QCOMPARE(users, (QList<int>{1, 3}));
        s.exec(Sql::lines({"delete from maghist H where exists (select * from maginfo I",
                           "where I.MagIdx = 1 and I.AddDate <= " + Sql::dq("2024/01/01 23:59:59"),
                           "and H.MagIdx = I.MagIdx and H.MagCnt = I.MagCnt)"}));
        QCOMPARE(s.scalar("select count(*) from MagHist where MagIdx = 1"), 0);
        QCOMPARE(s.scalar("select count(*) from MagHist where MagIdx = 2"), 1);
    }

    void midCountsCharacters()
    {
        StoreFixture::insert("MagUser", {{"MagIdx", 1}, {"UserIdx", 1}, {"UserName", "日本語テキスト"}, {"UserDate1", "20240315"}});
        Statement s;
        s.open("select mid(UserDate1,5,4), Mid(UserDate1,1,4), mid(UserName,3,2) from MagUser");
        QVERIFY(s.next());
        QCOMPARE(s.text(0), QString("0315"));
        QCOMPARE(s.text(1), QString("2024"));
        QCOMPARE(s.text(2), QString("語テ"));
    }

    void bodyEscaping_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("readBack");
        QTest::newRow("apostrophe and quotes") << "it's \"fine\"" << "it\\~s \\^fine\\^" << "it's \"fine\"";
        QTest::newRow("plain") << "こんにちは" << "こんにちは" << "こんにちは";
        QTest::newRow("holds \\~ itself") << "a\\~b" << "a\\~b" << "a'b";
    }
    void bodyEscaping()
    {
        QFETCH(QString, body);
        QFETCH(QString, stored);
        QFETCH(QString, readBack);
        QCOMPARE(Sql::escapeBody(body), stored);
        Statement s;
        s.exec("insert into MagInfo (MagIdx, MagCnt, Body) values(1, 1, " + Sql::q(Sql::escapeBody(body)) + ")");
        s.open("select Body from MagInfo");
        QVERIFY(s.next());
        QCOMPARE(Sql::unescapeBody(s.text(0)), readBack);
    }

    void transactionRollsBackWhatItDidNotCommit()
    {
        {
            Transaction t;
            Statement().exec("insert into CommonTBL values(1000, 1, 0, 0, 0, '020007', 'a', 'b')");
        }
        QCOMPARE(Statement().scalar("select count(*) from CommonTBL"), 0);
        {
            Transaction t;
            Statement().exec("insert into CommonTBL values(1000, 1, 0, 0, 0, '020007', 'a', 'b')");
            t.commit();
        }
        QCOMPARE(Statement().scalar("select count(*) from CommonTBL"), 1);
    }

    void failedStatementThrowsEngineText()
    {
        try {
            Statement().exec("select * from NoSuchTable");
            QFAIL("no error");
        } catch (const StoreError &e) {
            QVERIFY(e.text().contains("NoSuchTable", Qt::CaseInsensitive));
        }
    }

    void newStoreHasTablesInColumnOrder()
    {
        for (const auto &t : Schema::tables()) {
            Statement s;
            s.open(QString("select * from %1").arg(t.name));
            QCOMPARE(s.fieldCount(), t.columns.size());
            for (int i = 0; i < t.columns.size(); ++i)
                QCOMPARE(s.query().record().fieldName(i), t.columns[i]);
        }
        QCOMPARE(Schema::tables()[1].columns[8], QString("Sleep"));
    }

    void foreignFileIsLeftUnchanged_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("garbage") << QByteArray("this is not a database\n").repeated(100);
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("other sqlite") << QByteArray(); // filled below with a foreign SQLite file
    }
    void foreignFileIsLeftUnchanged()
    {
        QFETCH(QByteArray, content);
        env->closeStore();
        const QString path = env->home() + "/foreign.db";
        if (QString(QTest::currentDataTag()) == "other sqlite") {
            {
                QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "foreign");
                db.setDatabaseName(path);
                QVERIFY(db.open());
                QSqlQuery(db).exec("create table t (a integer)");
                db.close();
            }
            QSqlDatabase::removeDatabase("foreign");
        } else {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(content);
        }
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray before = f.readAll();
        f.close();
        QString error;
        QVERIFY(!Store::open(path, &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
        QVERIFY(!QFile::exists(path + "-wal"));
    }

    // A store written before the recipient index existed gets it at start, and keeps its rows.
    void olderStoreGetsRecipientIndex()
    {
        StoreFixture::addRecipient(1, 7, 3);
        const QString path = Store::path();
        env->closeStore();
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "older");
            db.setDatabaseName(path);
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY2(q.exec("drop index MagHistRecipient"), qPrintable(q.lastError().text()));
            db.close();
        }
        QSqlDatabase::removeDatabase("older");
        env->openStore();
        Statement s;
        s.open("pragma index_info(MagHistRecipient)");
        QStringList columns;
        while (s.next())
            columns << s.text(2);
        s.close();
        QCOMPARE(columns, (QStringList{"MagIdx", "MagCnt", "MagUser"}));
        QCOMPARE(s.scalar("select count(*) from MagHist where MagCnt = 7 and MagUser = 3"), 1);
    }

    void otherThreadUsesItsOwnConnection()
    {
        Statement().exec("insert into CommonTBL values(100, 0, 1, 2, 3, 'a', 'b', 'c')");
        qint64 seen = -1;
        QThread *t = QThread::create([&] {
            seen = Statement().scalar("select int3 from CommonTBL where key1 = 100");
            Store::releaseThreadConnection();
        });
        t->start();
        QVERIFY(t->wait(10000));
        delete t;
        QCOMPARE(seen, 3);
    }
};

QTEST_MAIN(TestStore)
#include "tst_store.moc"
