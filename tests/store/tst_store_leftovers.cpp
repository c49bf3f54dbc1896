// Opening the store as an ordinary user after a run that left read-only log and index files,
// and in a data folder the user cannot write.
//
// Permission bits do not stop root, and the tests run as root in CI: there each case runs in a
// child process of this program that has given up root for the "nobody" user, on files that
// user owns. Run by an ordinary user, the child simply keeps that user.
#include "store/Database.h"
#include "store/WalLeftovers.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <sqlite3.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr uid_t kNobody = 65534;
const char *const kChildVariable = "TSUBAME_STORE_LEFTOVERS_CHILD";

// The child: opens the store named by argv[1] and adds a row. Prints the number of rows of
// key1 = 77 after the insert, or the error, and exits 0 on success.
int childMain(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString path = QString::fromLocal8Bit(argv[1]);
    QTextStream out(stdout);
    QString error;
    if (!Store::open(path, &error)) {
        out << "open: " << error;
        return 2;
    }
    try {
        Statement s;
        s.exec(QStringLiteral("insert into CommonTBL (key1, key2) values (77, 2)"));
        out << s.scalar(QStringLiteral("select count(*) from CommonTBL where key1 = 77"));
    } catch (const StoreError &e) {
        out << "write: " << e.text();
        Store::close();
        return 3;
    }
    Store::close();
    return 0;
}

struct ChildResult {
    bool started = false;
    int exitCode = -1;
    QString output;
};

ChildResult runChild(const QString &storePath)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(kChildVariable), QStringLiteral("1"));
    p.setProcessEnvironment(env);
    if (::geteuid() == 0) {
        p.setChildProcessModifier([] {
            if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
                ::_exit(99);
        });
    }
    p.start(QCoreApplication::applicationFilePath(), {storePath});
    ChildResult r;
    r.started = p.waitForStarted(10000);
    if (!r.started)
        return r;
    p.waitForFinished(60000);
    r.exitCode = p.exitCode();
    r.output = QString::fromLocal8Bit(p.readAllStandardOutput() + p.readAllStandardError());
    return r;
}

// Hands a file to the user the child runs as (nothing to do when not root).
void giveToChild(const QString &path)
{
    if (::geteuid() == 0)
        QVERIFY(::chown(QFile::encodeName(path).constData(), kNobody, kNobody) == 0);
}

void setMode(const QString &path, mode_t mode)
{
    QVERIFY(::chmod(QFile::encodeName(path).constData(), mode) == 0);
}

// The file that `fd` has open is still the one at `path` (not removed, not replaced).
bool stillThere(int fd, const QString &path)
{
    struct stat open = {}, named = {};
    return ::fstat(fd, &open) == 0 && open.st_nlink > 0 && ::stat(QFile::encodeName(path).constData(), &named) == 0
        && named.st_ino == open.st_ino && named.st_dev == open.st_dev;
}

void sql(sqlite3 *db, const char *statement)
{
    char *message = nullptr;
    const int rc = sqlite3_exec(db, statement, nullptr, nullptr, &message);
    const QByteArray text = message ? QByteArray(message) : QByteArray();
    sqlite3_free(message);
    QVERIFY2(rc == SQLITE_OK, text.constData());
}

} // namespace

class TestStoreLeftovers : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir;
    QString store;

    // A store whose log holds one committed row (key1 = 77) that is not yet in the store file,
    // as a run that ended without folding its log back leaves it, with the log and the index
    // beside it.
    void makeStoreWithLog()
    {
        QString error;
        QVERIFY2(Store::open(store, &error), qPrintable(error));
        Store::close();
        sqlite3 *db = nullptr;
        QCOMPARE(sqlite3_open_v2(QFile::encodeName(store).constData(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
        sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
        sql(db, "pragma wal_autocheckpoint = 0");
        sql(db, "insert into CommonTBL (key1, key2) values (77, 1)");
        sqlite3_close(db);
        QVERIFY(QFileInfo(store + "-wal").size() > 0);
        QVERIFY(QFile::exists(store + "-shm"));
    }

private Q_SLOTS:
    void init()
    {
        // Under /tmp: the child must reach it after giving up root.
        dir = std::make_unique<QTemporaryDir>(QStringLiteral("/tmp/tsubame-leftovers-XXXXXX"));
        QVERIFY(dir->isValid());
        giveToChild(dir->path());
        store = dir->path() + "/Tsubame.db";
    }
    void cleanup()
    {
        Store::close();
        if (dir)
            setMode(dir->path(), 0700);
        dir.reset();
    }

    void readOnlyLeftoversNoLongerKeepTheStoreReadOnly_data()
    {
        QTest::addColumn<bool>("indexOfAnotherUser");
        QTest::newRow("log and index left read-only") << false;
        QTest::newRow("index of another user") << true;
    }
    void readOnlyLeftoversNoLongerKeepTheStoreReadOnly()
    {
        QFETCH(bool, indexOfAnotherUser);
        if (indexOfAnotherUser && ::geteuid() != 0)
            QSKIP("only root can leave a file of another user here");
        makeStoreWithLog();
        // The run on the read-only store gave both files the store's read-only permissions;
        // the store itself has been made writable again since.
        for (const QString &f : QStringList{store, store + "-wal", store + "-shm"})
            giveToChild(f);
        if (indexOfAnotherUser)
            QVERIFY(::chown(QFile::encodeName(store + "-shm").constData(), 0, 0) == 0);
        setMode(store + "-wal", 0444);
        setMode(store + "-shm", 0444);
        setMode(store, 0644);

        const ChildResult r = runChild(store);
        if (!r.started)
            QSKIP("this test program cannot be started as an unprivileged user here");
        // Both rows: the one the log held (so the log was kept) and the new one.
        QVERIFY2(r.exitCode == 0, qPrintable(r.output));
        QCOMPARE(r.output.trimmed(), QStringLiteral("2"));
    }

    void anIndexInUseIsLeftAlone()
    {
        QString error;
        QVERIFY2(Store::open(store, &error), qPrintable(error));
        Store::close();
        giveToChild(store);
        // Another process has the store open (this one, for the child).
        sqlite3 *db = nullptr;
        QCOMPARE(sqlite3_open_v2(QFile::encodeName(store).constData(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
        sql(db, "select count(*) from CommonTBL");
        const QString shm = store + "-shm", wal = store + "-wal";
        QVERIFY(QFile::exists(shm) && QFile::exists(wal));
        // Read-only for the child, as a run on a read-only store would have left them.
        setMode(shm, 0444);
        setMode(wal, 0444);
        const int shmFd = ::open(QFile::encodeName(shm).constData(), O_RDONLY);
        const int walFd = ::open(QFile::encodeName(wal).constData(), O_RDONLY);
        const auto permissions = QFile::permissions(shm);

        const ChildResult r = runChild(store);
        const bool shmKept = stillThere(shmFd, shm), walKept = stillThere(walFd, wal);
        ::close(shmFd);
        ::close(walFd);
        if (!r.started) {
            sqlite3_close(db);
            QSKIP("this test program cannot be started as an unprivileged user here");
        }
        QVERIFY(shmKept);
        QVERIFY(walKept);
        QCOMPARE(QFile::permissions(shm), permissions);
        // The other process goes on undisturbed.
        sql(db, "insert into CommonTBL (key1, key2) values (78, 1)");
        sqlite3_close(db);
        QVERIFY(!WalLeftovers::repair(store));
    }

    void readOnlyDataFolderSaysSo_data()
    {
        QTest::addColumn<bool>("storeExists");
        QTest::newRow("first start") << false;
        QTest::newRow("store already there") << true;
    }
    void readOnlyDataFolderSaysSo()
    {
        QFETCH(bool, storeExists);
        if (storeExists) {
            QString error;
            QVERIFY2(Store::open(store, &error), qPrintable(error));
            Store::close();
            giveToChild(store);
        }
        setMode(dir->path(), 0555);
        const ChildResult r = runChild(store);
        if (!r.started)
            QSKIP("this test program cannot be started as an unprivileged user here");
        QVERIFY2(r.exitCode != 0, qPrintable(r.output));
        QVERIFY2(r.output.contains(QStringLiteral("データフォルダに書き込めません: ") + dir->path()), qPrintable(r.output));
        QVERIFY2(r.output.contains(QStringLiteral("Tsubame.db: ")), qPrintable(r.output));
    }

    void nothingToMendIsNotTouched()
    {
        QString error;
        QVERIFY2(Store::open(store, &error), qPrintable(error));
        Store::close();
        QVERIFY(!WalLeftovers::repair(store));
        QVERIFY(!WalLeftovers::repair(dir->path() + "/missing.db"));
    }
};

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsSet(kChildVariable))
        return childMain(argc, argv);
    QCoreApplication app(argc, argv);
    TestStoreLeftovers test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_store_leftovers.moc"
