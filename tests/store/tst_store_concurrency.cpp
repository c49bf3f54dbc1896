// Several writers on one store: other processes writing side by side with this one, a write
// that has to wait for another connection's, the retry of refusals the engine gives at once,
// the strict check that finds a read left open while its connection writes, and the
// write-ahead journal staying small.
#include "fakes/TestEnv.h"
#include "store/PreparedStatement.h"
#include "store/Database.h"
#include "store/EngineStatement.h"
#include "store/Folders.h"
#include "store/RowCursor.h"
#include "store/WriteTurn.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QtTest>

#include <sqlite3.h>

#include <memory>
#include <thread>

namespace {

const char *const kWriterVariable = "TSUBAME_STORE_WRITER";

// Writes rows keyed `key` into CommonTBL for `millis`, every way the program writes, with
// short reads in between. Returns the number of rows written; a failure throws StoreError.
qint64 writeForAWhile(int key, qint64 millis)
{
    QElapsedTimer clock;
    clock.start();
    qint64 rows = 0;
    PreparedStatement insert(QStringLiteral("insert into CommonTBL (key1, key2, str1) values (?, ?, ?)"));
    PreparedStatement count(QStringLiteral("select count(*) from CommonTBL where key1 = ?"));
    PreparedStatement touch(QStringLiteral("update CommonTBL set int1 = coalesce(int1, 0) + 1 where key1 = ? and key2 = ?"));
    const QString text(200, u'字');
    for (int round = 0; clock.elapsed() < millis; ++round) {
        switch (round % 4) {
        case 0: {
            // a transaction that reads inside the write lock, as recording an issue does
            Transaction t;
            const qint64 before = Statement().scalar(QStringLiteral("select count(*) from CommonTBL where key1 = %1").arg(key));
            insert.run({key, before, text});
            t.commit();
            ++rows;
            break;
        }
        case 1:
            // a write of its own, outside a transaction
            insert.run({key, -round, text});
            ++rows;
            break;
        case 2: {
            TransactionGroups groups;
            for (int i = 0; i < 20; ++i) {
                groups.beginRow();
                insert.run({key, 1000000 + round * 100 + i, text});
                groups.endRow();
                ++rows;
            }
            groups.commit();
            break;
        }
        case 3: {
            // a read for display, finished, then writes on the same connection
            RowCursor cursor(QStringLiteral("select key2 from CommonTBL where key1 = ? order by key2 limit 5"));
            cursor.bind(0, key);
            QList<qint64> seen;
            while (cursor.next())
                seen.append(cursor.integer(0));
            for (qint64 k : seen)
                touch.run({key, k});
            EngineStatement engine(QStringLiteral("insert into CommonTBL (key1, key2) values (?, ?)"));
            engine.bindInteger(0, key);
            engine.bindInteger(1, 2000000 + round);
            engine.run();
            ++rows;
            break;
        }
        }
        if (count.scalar({key}) != rows)
            throw StoreError(QStringLiteral("rows lost"));
    }
    return rows;
}

// The child: argv[1] the store, argv[2] the key, argv[3] how long. Prints the rows written.
int writerMain(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QString error;
    if (argc < 4 || !Store::open(QString::fromLocal8Bit(argv[1]), &error)) {
        out << "open: " << error;
        return 2;
    }
    try {
        out << writeForAWhile(QByteArray(argv[2]).toInt(), QByteArray(argv[3]).toLongLong());
    } catch (const StoreError &e) {
        out << "write: " << e.text();
        Store::close();
        return 3;
    }
    Store::close();
    return 0;
}

// A second connection to the store, outside the program's own.
struct OtherConnection {
    explicit OtherConnection(const QString &path)
    {
        sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_busy_timeout(db, 15000);
    }
    ~OtherConnection() { sqlite3_close_v2(db); }
    int exec(const char *sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }
    sqlite3 *db = nullptr;
};

qint64 walSize()
{
    return QFileInfo(Store::path() + QStringLiteral("-wal")).size();
}

} // namespace

class TestStoreConcurrency : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_env = std::make_unique<TestEnv>();
        m_env->openStore();
    }
    void cleanup() { m_env.reset(); }

    void writersInOtherProcesses()
    {
        constexpr qint64 kMillis = 3000;
        std::vector<std::unique_ptr<QProcess>> children;
        for (int key : {2, 3}) {
            auto p = std::make_unique<QProcess>();
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QString::fromLatin1(kWriterVariable), QStringLiteral("1"));
            p->setProcessEnvironment(env);
            p->start(QCoreApplication::applicationFilePath(),
                     {Store::path(), QString::number(key), QString::number(kMillis)});
            QVERIFY(p->waitForStarted(10000));
            children.push_back(std::move(p));
        }
        qint64 mine = 0;
        try {
            mine = writeForAWhile(1, kMillis);
        } catch (const StoreError &e) {
            QFAIL(qPrintable(e.text()));
        }
        QVERIFY(mine > 0);
        for (int key : {2, 3}) {
            QProcess &p = *children[size_t(key - 2)];
            QVERIFY(p.waitForFinished(60000));
            const QString out = QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
            QVERIFY2(p.exitCode() == 0, qPrintable(out));
            QCOMPARE(Statement().scalar(QStringLiteral("select count(*) from CommonTBL where key1 = %1").arg(key)),
                     out.trimmed().toLongLong());
        }
        QCOMPARE(Statement().scalar(QStringLiteral("select count(*) from CommonTBL where key1 = 1")), mine);
    }

    // This connection has read; another commits and holds the store a while longer; this
    // one's write then waits for its turn instead of failing.
    void writeWaitsForAnotherWriter()
    {
        Statement().exec(QStringLiteral("insert into CommonTBL (key1, key2) values (1, 1)"));
        QCOMPARE(Statement().scalar(QStringLiteral("select count(*) from CommonTBL")), 1);
        OtherConnection other(Store::path());
        QCOMPARE(other.exec("insert into CommonTBL (key1, key2) values (2, 1)"), SQLITE_OK);
        QCOMPARE(other.exec("begin immediate"), SQLITE_OK);
        QCOMPARE(other.exec("insert into CommonTBL (key1, key2) values (2, 2)"), SQLITE_OK);
        std::thread committer([&other] {
            std::this_thread::sleep_for(std::chrono::milliseconds(400));
            other.exec("commit");
        });
        QElapsedTimer clock;
        clock.start();
        try {
            Transaction t;
            Statement().exec(QStringLiteral("insert into CommonTBL (key1, key2) values (1, 2)"));
            t.commit();
            Statement().exec(QStringLiteral("insert into CommonTBL (key1, key2) values (1, 3)"));
        } catch (const StoreError &e) {
            committer.join();
            QFAIL(qPrintable(e.text()));
        }
        committer.join();
        QVERIFY(clock.elapsed() >= 300);
        QCOMPARE(Statement().scalar(QStringLiteral("select count(*) from CommonTBL")), 5);
    }

    void refusalsTriedAgain_data()
    {
        QTest::addColumn<QList<int>>("codes");
        QTest::addColumn<QString>("around");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("attempts");
        QTest::newRow("overtaken snapshot, then done")
            << QList<int>{SQLITE_BUSY_SNAPSHOT, SQLITE_BUSY_SNAPSHOT, SQLITE_BUSY_SNAPSHOT, SQLITE_OK} << "" << SQLITE_OK
            << 4;
        QTest::newRow("recovery, then done")
            << QList<int>{SQLITE_BUSY_RECOVERY, SQLITE_BUSY_RECOVERY, SQLITE_OK} << "" << SQLITE_OK << 3;
        QTest::newRow("another failure is not tried again")
            << QList<int>{SQLITE_CONSTRAINT, SQLITE_OK} << "" << SQLITE_CONSTRAINT << 1;
        // the busy handler has waited, or was told to stop waiting
        QTest::newRow("busy after the engine's wait") << QList<int>{SQLITE_BUSY, SQLITE_OK} << "" << SQLITE_BUSY << 1;
        // waiting cannot end a read of the same thread, nor mend a transaction
        QTest::newRow("a read open") << QList<int>{SQLITE_BUSY_SNAPSHOT, SQLITE_OK} << "read" << SQLITE_BUSY_SNAPSHOT << 1;
        QTest::newRow("inside a transaction")
            << QList<int>{SQLITE_BUSY_SNAPSHOT, SQLITE_OK} << "transaction" << SQLITE_BUSY_SNAPSHOT << 1;
    }
    void refusalsTriedAgain()
    {
        QFETCH(QList<int>, codes);
        QFETCH(QString, around);
        QFETCH(int, result);
        QFETCH(int, attempts);
        Statement().exec(QStringLiteral("insert into CommonTBL (key1) values (1),(2)"));
        sqlite3 *db = Store::handle(Store::connection());
        std::unique_ptr<RowCursor> read;
        if (around == QLatin1String("read")) {
            read = std::make_unique<RowCursor>(QStringLiteral("select key1 from CommonTBL"));
            QVERIFY(read->next());
        }
        std::unique_ptr<Transaction> t;
        if (around == QLatin1String("transaction"))
            t = std::make_unique<Transaction>();
        int tried = 0;
        QElapsedTimer clock;
        clock.start();
        const int rc = WriteTurn::run(db, nullptr, [&] { return codes.value(tried++, SQLITE_OK); });
        QCOMPARE(rc, result);
        QCOMPARE(tried, attempts);
        QVERIFY(clock.elapsed() < 2000);
    }

    // In strict runs a write that starts while a read of its connection is still open fails
    // at once and names the read, whoever else writes.
    void readLeftOpenIsLoud_data()
    {
        QTest::addColumn<QString>("reader");
        QTest::addColumn<QString>("writer");
        for (const char *reader : {"prepared", "statement", "cursor", "engine"})
            for (const char *writer : {"transaction", "statement", "prepared", "engine", "groups"})
                QTest::addRow("%s read, %s write", reader, writer) << reader << writer;
    }
    void readLeftOpenIsLoud()
    {
        QFETCH(QString, reader);
        QFETCH(QString, writer);
        qputenv("TSUBAME_STRICT_READS", "1");
        Statement().exec(QStringLiteral("insert into CommonTBL (key1, key2) values (1, 1),(1, 2)"));
        const QString readText = QStringLiteral("select key2 from CommonTBL where key1 = 1");
        const auto write = [&] {
            if (writer == QLatin1String("transaction")) {
                Transaction t;
                t.commit();
            } else if (writer == QLatin1String("statement")) {
                Statement().exec(QStringLiteral("insert into CommonTBL (key1) values (9)"));
            } else if (writer == QLatin1String("prepared")) {
                PreparedStatement(QStringLiteral("insert into CommonTBL (key1) values (?)")).run({9});
            } else if (writer == QLatin1String("engine")) {
                EngineStatement(QStringLiteral("insert into CommonTBL (key1) values (9)")).run();
            } else {
                TransactionGroups groups;
                groups.beginRow();
                groups.endRow();
                groups.commit();
            }
        };
        const auto open = [&]() -> std::shared_ptr<void> {
            if (reader == QLatin1String("prepared")) {
                auto s = std::make_shared<PreparedStatement>(readText);
                s->exec();
                return s;
            }
            if (reader == QLatin1String("statement")) {
                auto s = std::make_shared<Statement>();
                s->open(readText);
                return s;
            }
            if (reader == QLatin1String("cursor")) {
                auto s = std::make_shared<RowCursor>(readText);
                s->next();
                return s;
            }
            auto s = std::make_shared<EngineStatement>(readText);
            s->next();
            return s;
        };
        {
            const std::shared_ptr<void> read = open();
            try {
                write();
                QFAIL("the write went ahead with a read open");
            } catch (const StoreError &e) {
                QVERIFY2(e.text().contains(readText), qPrintable(e.text()));
            }
        }
        // the same read, finished first, lets the write through
        {
            const std::shared_ptr<void> read = open();
            if (reader == QLatin1String("prepared"))
                static_cast<PreparedStatement *>(read.get())->finish();
            else if (reader == QLatin1String("statement"))
                static_cast<Statement *>(read.get())->close();
            else if (reader == QLatin1String("cursor"))
                while (static_cast<RowCursor *>(read.get())->next()) {
                }
            else
                while (static_cast<EngineStatement *>(read.get())->next()) {
                }
            write();
        }
    }

    // Outside strict runs, the open read is what makes the engine refuse the write once
    // another connection has committed: the refusal comes at once, not after the busy time.
    void overtakenReadRefusedAtOnce()
    {
        Statement().exec(QStringLiteral("insert into CommonTBL (key1, key2) values (1, 1),(1, 2)"));
        qputenv("TSUBAME_STRICT_READS", "0");
        PreparedStatement read(QStringLiteral("select key2 from CommonTBL"));
        read.exec();
        OtherConnection other(Store::path());
        QCOMPARE(other.exec("insert into CommonTBL (key1, key2) values (2, 1)"), SQLITE_OK);
        QElapsedTimer clock;
        clock.start();
        QVERIFY_THROWS_EXCEPTION(StoreError, Transaction());
        QVERIFY(clock.elapsed() < 2000);
        read.finish();
        qputenv("TSUBAME_STRICT_READS", "1");
        Transaction t;
        t.commit();
    }

    // Checkpoints run while nobody holds a read open, so the journal stays near the size at
    // which they start; a burst larger than the bound is cut back once the journal restarts.
    void journalStaysSmall()
    {
        constexpr qint64 kBound = qint64(16) * 1024 * 1024;
        const QString text(50000, u'字'); // 150 kB a row
        PreparedStatement insert(QStringLiteral("insert into CommonTBL (key1, key2, str1) values (?, ?, ?)"));
        qint64 peak = 0;
        for (int i = 0; i < 300; ++i) {
            Transaction t;
            insert.run({1, i, text});
            t.commit();
            QCOMPARE(Statement().scalar(QStringLiteral("select count(*) from CommonTBL where key1 = 1")), i + 1);
            peak = qMax(peak, walSize());
        }
        QVERIFY2(peak < kBound, qPrintable(QString::number(peak)));

        {
            Transaction t;
            for (int i = 0; i < 250; ++i)
                insert.run({2, i, text});
            t.commit();
        }
        QVERIFY(walSize() > 2 * kBound);
        for (int i = 0; i < 3; ++i)
            insert.run({3, i, QStringLiteral("x")});
        QVERIFY2(walSize() <= kBound, qPrintable(QString::number(walSize())));
    }

private:
    std::unique_ptr<TestEnv> m_env;
};

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsSet(kWriterVariable))
        return writerMain(argc, argv);
    QCoreApplication app(argc, argv);
    TestStoreConcurrency test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_store_concurrency.moc"
