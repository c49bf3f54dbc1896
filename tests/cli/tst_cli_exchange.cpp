// The member files and the whole store through the command line, end to end: the real
// binary with a private HOME, its CSV read back by Python's csv module, input files in
// CP932 made by iconv, and the store read back row by row.
#include "fakes/RunProgram.h"
#include "fakes/StoreFixture.h"
#include "fakes/TestEnv.h"
#include "store/BackupScript.h"
#include "store/Database.h"
#include "store/MemberNumbers.h"
#include "store/SendStates.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QtTest>

#include <memory>

#include <unistd.h>

namespace {

const int kMagA = 3;
const int kMagB = 4;
const QString kNameA = QStringLiteral("週刊ツバメ");
const QString kNameB = QStringLiteral("月刊カモメ");
const QString kLocker = QStringLiteral("locker");

// Text in CP932 as another program writes it.
QByteArray iconvCp932(const QString &text)
{
    QProcess p;
    p.start(QStringLiteral("iconv"),
            {QStringLiteral("-f"), QStringLiteral("UTF-8"), QStringLiteral("-t"), QStringLiteral("CP932")});
    p.write(text.toUtf8());
    p.closeWriteChannel();
    p.waitForFinished(30000);
    return p.exitCode() == 0 ? p.readAllStandardOutput() : QByteArray();
}

// CSV rows as Python's csv module reads them.
QList<QStringList> pythonCsv(const QByteArray &bytes)
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"),
            {QStringLiteral("-c"),
             QStringLiteral("import csv, io, json, sys\n"
                            "text = sys.stdin.buffer.read().decode('utf-8')\n"
                            "print(json.dumps(list(csv.reader(io.StringIO(text, newline='')))))")});
    p.write(bytes);
    p.closeWriteChannel();
    p.waitForFinished(30000);
    QList<QStringList> rows;
    for (const QJsonValue row : QJsonDocument::fromJson(p.readAllStandardOutput()).array()) {
        QStringList cells;
        for (const QJsonValue cell : row.toArray())
            cells << cell.toString();
        rows << cells;
    }
    return rows;
}

// A member with its number marked as given, as the window's paths leave it (a member
// without would have its mark raised by the next program that opens the store).
void addMemberAsTheWindowDoes(int magIdx, int userIdx)
{
    StoreFixture::addMember(magIdx, userIdx, QStringLiteral("会員"), QStringLiteral("a@example.jp"));
    MemberNumbers::raise(magIdx, userIdx);
}

// A magazine's members as "members --format csv" lists them, without the heading and the
// UserIdx: name, address, url, three flags, sleep, two counters, two dates, sign-up date.
QList<QStringList> listedMembers(const QString &magazine)
{
    const ProgramResult r = RunProgram({"members", "--magazine", magazine, "--format", "csv"});
    if (r.code != 0)
        return {};
    QList<QStringList> rows = pythonCsv(r.out);
    if (!rows.isEmpty())
        rows.removeFirst();
    for (QStringList &row : rows)
        row.removeFirst();
    return rows;
}

// Every row of every table of the store, each as its values joined, in a fixed order.
QStringList storeRows()
{
    QStringList rows;
    const QSqlDatabase db = Store::connection();
    for (const QString &table : db.tables()) {
        if (table.startsWith(QLatin1String("sqlite_")))
            continue;
        QSqlQuery q(db);
        q.exec(QStringLiteral("select * from ") + table);
        while (q.next()) {
            QStringList values{table};
            for (int i = 0; i < q.record().count(); ++i)
                values << (q.isNull(i) ? QStringLiteral("NULL") : q.value(i).toString());
            rows << values.join(u'|');
        }
    }
    rows.sort();
    return rows;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// The members the import files hold, as the listing shows them back.
const QList<QStringList> kMembers = {
    {"髙橋 一郎", "taka@example.jp", "http://example.jp/a", "1", "0", "1", "0", "5", "12", "20240101", "20240102",
     "20240103"},
    {"①番, 田中", "tanaka@example.jp", "", "0", "1", "0", "0", "0", "3", "20231231", "20240228", "20200101"},
    {"\"引用\" 佐藤, 花子", "sato@example.co.jp", "http://example.jp/?a=1,b=2", "0", "0", "0", "0", "7", "0",
     "20240301", "20240302", "20240303"},
};

// The members as an export writes them: a heading, then text quoted with inner quotes
// doubled, flags and counters bare.
QString membersCsv()
{
    auto q = [](const QString &s) -> QString { return u'"' + QString(s).replace(u'"', QStringLiteral("\"\"")) + u'"'; };
    QString text = QStringLiteral(
        "\"メンバー名\",\"メールアドレス\",\"url\",\"F1\",\"F2\",\"F3\",\"C1\",\"C2\",\"D1\",\"D2\",\"登録日\"\r\n");
    for (const QStringList &m : kMembers)
        text +=
            QStringList{q(m[0]), q(m[1]), q(m[2]), m[3], m[4], m[5], m[7], m[8], q(m[9]), q(m[10]), q(m[11])}.join(u',')
            + QStringLiteral("\r\n");
    return text;
}

} // namespace

class TestCliExchange : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestEnv> env;

    QString path(const QString &name) const { return env->home() + u'/' + name; }

    void lockStore()
    {
        QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), kLocker);
        other.setDatabaseName(Store::path());
        QVERIFY(other.open());
        QVERIFY(QSqlQuery(other).exec("begin immediate"));
    }

    static void releaseStore()
    {
        if (!QSqlDatabase::contains(kLocker))
            return;
        {
            QSqlDatabase other = QSqlDatabase::database(kLocker);
            QSqlQuery(other).exec("rollback");
            other.close();
        }
        QSqlDatabase::removeDatabase(kLocker);
    }

private Q_SLOTS:
    void init()
    {
        env = std::make_unique<TestEnv>();
        env->openStore();
        StoreFixture::addMagazine(kMagA, kNameA);
        StoreFixture::addMagazine(kMagB, kNameB);
    }
    void cleanup()
    {
        releaseStore();
        env.reset();
    }

    // A file another program wrote, in each encoding the window reads, comes back exactly;
    // under cron (stderr a pipe) no progress line is drawn.
    void importThenMembers_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("cp932") << iconvCp932(membersCsv());
        QTest::newRow("utf-8 with bom") << QByteArray("\xEF\xBB\xBF") + membersCsv().toUtf8();
        QTest::newRow("utf-8 without bom") << membersCsv().toUtf8();
    }
    void importThenMembers()
    {
        QFETCH(QByteArray, bytes);
        QVERIFY(!bytes.isEmpty());
        QVERIFY(writeFile(path("members.csv"), bytes));
        const ProgramResult r = RunProgram({"import", "--magazine", kNameA, path("members.csv")});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QVERIFY(!r.err.contains(u'\r'));
        QCOMPARE(listedMembers(kNameA), kMembers);
        // Importing it again replaces, by address, rather than adding.
        QCOMPARE(RunProgram({"import", "--magazine", kNameA, path("members.csv")}).code, 0);
        QCOMPARE(listedMembers(kNameA), kMembers);
    }

    // What one magazine exports, another imports unchanged; "-" writes the same to stdout.
    void exportThenImport()
    {
        QVERIFY(writeFile(path("in.csv"), membersCsv().toUtf8()));
        QCOMPARE(RunProgram({"import", "--magazine", kNameA, path("in.csv")}).code, 0);
        StoreFixture::addMember(kMagA, 900, QStringLiteral("絵文字😀さん"), QStringLiteral("emoji@example.jp"),
                                StoreFixture::importedMemberColumns());
        const QList<QStringList> members = listedMembers(kNameA);
        QCOMPARE(members.size(), 4);

        const ProgramResult toFile = RunProgram({"export", "--magazine", kNameA, path("out.csv")});
        QVERIFY2(toFile.code == 0, qPrintable(toFile.err));
        const ProgramResult toStdout = RunProgram({"export", "--magazine", kNameA, "-"});
        QCOMPARE(toStdout.code, 0);
        QFile written(path("out.csv"));
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(toStdout.out, written.readAll());

        const ProgramResult in = RunProgram({"import", "--magazine", kNameB, path("out.csv")});
        QVERIFY2(in.code == 0, qPrintable(in.err));
        QCOMPARE(listedMembers(kNameB), members);
    }

    // Exactly the listed addresses go, as written (no trimming); stdout tells how many.
    void removeList()
    {
        QVERIFY(writeFile(path("in.csv"), membersCsv().toUtf8()));
        QCOMPARE(RunProgram({"import", "--magazine", kNameA, path("in.csv")}).code, 0);
        QCOMPARE(RunProgram({"import", "--magazine", kNameB, path("in.csv")}).code, 0);
        QVERIFY(writeFile(path("list.txt"), iconvCp932("taka@example.jp\r\n\r\n sato@example.co.jp\r\n"
                                                       "nobody@example.jp\r\ntanaka@example.jp")));
        const ProgramResult r = RunProgram({"remove-list", "--magazine", kNameA, path("list.txt")});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QVERIFY(QString::fromUtf8(r.out).contains(QStringLiteral("2 人")));
        QVERIFY(!r.err.contains(u'\r'));
        QCOMPARE(listedMembers(kNameA), QList<QStringList>{kMembers.at(2)});
        QCOMPARE(listedMembers(kNameB), kMembers); // another magazine's members stay
    }

    // A restore gives back exactly the backup's rows.
    void backupThenRestore()
    {
        QVERIFY(writeFile(path("in.csv"), membersCsv().toUtf8()));
        QCOMPARE(RunProgram({"import", "--magazine", kNameA, path("in.csv")}).code, 0);
        StoreFixture::addIssue(kMagA, 7,
                               {.addDate = "2026/12/10 10:00:00",
                                .sendCnt = 1,
                                .condition = "全員\r\n(条件;)",
                                .title = "お知らせ",
                                .body = "こんにちは。\r\n'引用';\r\n",
                                .updateSql = ""});
        StoreFixture::addRecipient(kMagA, 7, 1);
        const QStringList before = storeRows();

        const ProgramResult backup = RunProgram({"backup", path("store.bak")});
        QVERIFY2(backup.code == 0, qPrintable(backup.err));
        Statement().exec("delete from MagUser where UserAdrs = 'taka@example.jp'");
        Statement().exec("update Magzine set MagName = '別名' where MagIdx = 4");
        StoreFixture::addMagazine(9, QStringLiteral("新しいマガジン"));
        QVERIFY(storeRows() != before);

        const ProgramResult restore = RunProgram({"restore", path("store.bak"), "--yes"});
        QVERIFY2(restore.code == 0, qPrintable(restore.err));
        QVERIFY(!restore.err.contains(u'\r'));
        QCOMPARE(storeRows(), before);
    }

    // A restore that does not go through leaves the store exactly as it was.
    void restoreRefused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<int>("code");
        QTest::newRow("without --yes") << QByteArray("delete from MagUser;\r\n") << QStringList{} << 1;
        QTest::newRow("a statement no backup holds")
            << QByteArray("delete from MagUser;\r\ndrop table Magzine;\r\n") << QStringList{"--yes"} << 1;
        QTest::newRow("a backup cut short")
            << QByteArray("delete from MagUser;\r\ninsert into Magzine (MagIdx,MagName) values(5,'x'")
            << QStringList{"--yes"} << 1;
        QTest::newRow("no statement at all") << QByteArray("\r\n\r\n") << QStringList{"--yes"} << 1;
    }
    void restoreRefused()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, extra);
        QFETCH(int, code);
        addMemberAsTheWindowDoes(kMagA, 1);
        const QStringList before = storeRows();
        QVERIFY(writeFile(path("hostile.bak"), bytes));
        const ProgramResult r = RunProgram(QStringList{"restore", path("hostile.bak")} + extra);
        QCOMPARE(r.code, code);
        QVERIFY(!r.err.isEmpty());
        QCOMPARE(storeRows(), before);
    }

    void exitStatuses_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("said");
        const QString csv = QStringLiteral("@HOME@/in.csv");
        QTest::newRow("import: unknown magazine") << QStringList{"import", "--magazine", "ない", csv} << 1 << "ない";
        QTest::newRow("import: missing file")
            << QStringList{"import", "--magazine", kNameA, "@HOME@/none.csv"} << 1 << "none.csv";
        QTest::newRow("import: no file") << QStringList{"import", "--magazine", kNameA} << 1 << "";
        QTest::newRow("import: columns without the address")
            << QStringList{"import", "--magazine", kNameA, "--columns", "0,2", csv} << 1 << "メールアドレス";
        QTest::newRow("import: a column twice")
            << QStringList{"import", "--magazine", kNameA, "--columns", "0,1,1", csv} << 1 << "--columns";
        QTest::newRow("import: a column out of range")
            << QStringList{"import", "--magazine", kNameA, "--columns", "1,11", csv} << 1 << "--columns";
        QTest::newRow("export: unknown magazine") << QStringList{"export", "--magazine", "ない", "-"} << 1 << "ない";
        QTest::newRow("export: a folder that is not there")
            << QStringList{"export", "--magazine", kNameA, "@HOME@/none/out.csv"} << 1 << "out.csv";
        QTest::newRow("remove-list: missing file")
            << QStringList{"remove-list", "--magazine", kNameA, "@HOME@/none.txt"} << 1 << "none.txt";
        QTest::newRow("restore: missing file") << QStringList{"restore", "@HOME@/none.bak", "--yes"} << 1 << "none.bak";
        QTest::newRow("backup: two files") << QStringList{"backup", "@HOME@/a.bak", "@HOME@/b.bak"} << 1 << "";
    }
    void exitStatuses()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, said);
        QVERIFY(writeFile(path("in.csv"), membersCsv().toUtf8()));
        args.replaceInStrings(QStringLiteral("@HOME@"), env->home());
        const QStringList before = storeRows();
        const ProgramResult r = RunProgram(args);
        QCOMPARE(r.code, code);
        QVERIFY(r.err.contains(said));
        QVERIFY(r.out.isEmpty());
        QCOMPARE(storeRows(), before);
    }

    // Lines with an unusable address are left out and listed (on stderr when the window's
    // folder is not there, else in its log or the one named); the rest go in; status 3.
    void rejectedLines_data()
    {
        QTest::addColumn<bool>("windowFolder");
        QTest::addColumn<bool>("namedLog");
        QTest::newRow("stderr") << false << false;
        QTest::newRow("the window's log") << true << false;
        QTest::newRow("a log named") << true << true;
    }
    void rejectedLines()
    {
        QFETCH(bool, windowFolder);
        QFETCH(bool, namedLog);
        if (windowFolder)
            QVERIFY(QDir().mkpath(env->docDir()));
        QVERIFY(writeFile(path("in.csv"), iconvCp932("山田,yamada@example.jp\r\n全角,ｚｅｎ@example.jp\r\n"
                                                     "点なし,nodot@example\r\n川,kawa@example.jp\r\n")));
        QStringList args{"import", "--magazine", kNameA, "--columns", "0,1", "--no-heading", path("in.csv")};
        if (namedLog)
            args << "--log" << path("named.log");
        const ProgramResult r = RunProgram(args);
        QCOMPARE(r.code, 3);
        QCOMPARE(listedMembers(kNameA).size(), 2);
        const QString lines = QStringLiteral("line 2  ｚｅｎ@example.jp\nline 3  nodot@example\n");
        if (!windowFolder) {
            QVERIFY2(r.err.contains(lines), qPrintable(r.err));
            return;
        }
        QFile log(namedLog ? path("named.log") : env->docDir() + "/ImportError.log");
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(log.readAll(), iconvCp932(QString(lines).replace("\n", "\r\n")));
        QVERIFY(r.err.contains(log.fileName()));
    }

    // A line the store cannot take stops the import there, as in the window: the lines
    // before it stay, status 3.
    void importStoppedPartWay()
    {
        QVERIFY(writeFile(path("in.csv"), QStringLiteral("一,one@example.jp,7\r\n二,two@example.jp,12件\r\n"
                                                         "三,three@example.jp,1\r\n")
                                              .toUtf8()));
        const ProgramResult r =
            RunProgram({"import", "--magazine", kNameA, "--columns", "0,1,6", "--no-heading", path("in.csv")});
        QCOMPARE(r.code, 3);
        QVERIFY2(r.err.contains(QStringLiteral("2 行目")), qPrintable(r.err));
        const QList<QStringList> members = listedMembers(kNameA);
        QCOMPARE(members.size(), 1);
        QCOMPARE(members.first().mid(0, 2), (QStringList{"一", "one@example.jp"}));
    }

    // A file a command would write, or restore from, that is the store itself (by any
    // name: a link of either kind, or the engine's files beside it) is refused before
    // anything is opened: status 1, and the store's files stay byte for byte.
    void storeAsOutputRefused_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("name");
        const QList<std::pair<const char *, QStringList>> commands = {
            {"export", {"export", "--magazine", kNameA, "@FILE@"}},
            {"backup", {"backup", "@FILE@"}},
            {"import --log", {"import", "--magazine", kNameA, "@HOME@/in.csv", "--log", "@FILE@"}},
            {"restore input", {"restore", "@FILE@", "--yes"}},
        };
        for (const auto &[command, args] : commands)
            for (const char *name : {"store", "symbolic link", "hard link", "-wal", "-journal (not there)",
                                     "link to -shm"})
                QTest::addRow("%s, %s", command, name) << args << QString::fromLatin1(name);
    }
    void storeAsOutputRefused()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, name);
        StoreFixture::addMember(kMagA, 1, QStringLiteral("会員"), QStringLiteral("a@example.jp"));
        QVERIFY(writeFile(path("in.csv"), membersCsv().toUtf8()));
        const QString store = Store::path();
        QVERIFY(QFileInfo::exists(store + "-wal"));
        QString file = store;
        if (name == "symbolic link") {
            file = path("link.db");
            QVERIFY(QFile::link(store, file));
        } else if (name == "hard link") {
            file = path("hard.db");
            QCOMPARE(::link(QFile::encodeName(store).constData(), QFile::encodeName(file).constData()), 0);
        } else if (name == "-wal") {
            file = store + "-wal";
        } else if (name == "-journal (not there)") {
            file = store + "-journal";
            QVERIFY(!QFileInfo::exists(file));
        } else if (name == "link to -shm") {
            file = path("shm-link");
            QVERIFY(QFile::link(store + "-shm", file));
        }
        const auto bytes = [&store] {
            QByteArray all;
            for (const char *suffix : {"", "-wal", "-shm"}) {
                QFile f(store + suffix);
                all += f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
            }
            return all;
        };
        const QByteArray before = bytes();
        args.replaceInStrings(QStringLiteral("@FILE@"), file);
        args.replaceInStrings(QStringLiteral("@HOME@"), env->home());
        const ProgramResult r = RunProgram(args);
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(QStringLiteral("データベースのファイル")), qPrintable(r.err));
        QCOMPARE(bytes(), before);
        QVERIFY(!QFileInfo::exists(store + "-journal"));
        QCOMPARE(listedMembers(kNameA).size(), 1);
    }

    // A file beside the store, or named like it elsewhere, is no store file.
    void nearStoreFilesAreWritten()
    {
        StoreFixture::addMember(kMagA, 1, QStringLiteral("会員"), QStringLiteral("a@example.jp"));
        const QString store = Store::path();
        for (const QString &file : QStringList{store + ".bak", path(QFileInfo(store).fileName())}) {
            const ProgramResult r = RunProgram({"backup", file});
            QVERIFY2(r.code == 0, qPrintable(r.err));
            QVERIFY(QFileInfo(file).size() > 0);
        }
    }

    // A restore of a backup taken during a delivery says what it settled.
    void restoreOfMidDeliveryBackupSaysSo()
    {
        for (int i = 1; i <= 3; ++i)
            StoreFixture::addMember(kMagA, i, QStringLiteral("会員"), QStringLiteral("m%1@example.jp").arg(i));
        StoreFixture::addIssue(kMagA, 1, {.addDate = "2026/12/10 10:00:00"});
        for (int i = 1; i <= 3; ++i)
            StoreFixture::addRecipient(kMagA, 1, i);
        StoreFixture::addSendStates(kMagA, 1);
        Statement().exec("update SendState set State = 1 where MagUser = 1");
        Statement().exec("update SendState set State = 7 where MagUser in (2, 3)");
        QCOMPARE(RunProgram({"backup", path("store.bak")}).code, 0);
        const ProgramResult r = RunProgram({"restore", path("store.bak"), "--yes"});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QVERIFY2(r.err.contains(QStringLiteral("送信中だった 1 人は結果が分からないため「不明」")), qPrintable(r.err));
        QVERIFY2(r.err.contains(QStringLiteral("予約されていた 2 人は「待機」")), qPrintable(r.err));
        QCOMPARE(SendStates::counts(kMagA, 1).unknown, 1);
        QCOMPARE(SendStates::counts(kMagA, 1).waiting, 2);
    }

    // A field no backup could carry is left out as a rejected line is: status 3, the line
    // named in the log, and the backup afterwards goes through.
    void importOfValueTooLongForBackup()
    {
        QByteArray csv = "a,a@example.jp\r\n" + QByteArray(kLongestBackupStatement + 10, 'x') + ",b@example.jp\r\n";
        QVERIFY(writeFile(path("in.csv"), csv));
        csv.clear();
        const ProgramResult r = RunProgram({"import", "--magazine", kNameA, "--columns", "0,1", "--no-heading", path("in.csv"),
                                  "--log", path("import.log")});
        QCOMPARE(r.code, 3);
        QVERIFY2(r.err.contains(QStringLiteral("バックアップできないほど長い値のある行が 1 件")), qPrintable(r.err));
        QFile log(path("import.log"));
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(log.readAll(), iconvCp932(QStringLiteral("line 2  b@example.jp  「メンバー名」が長すぎます(バックアップできない長さです)\r\n")));
        QCOMPARE(listedMembers(kNameA).size(), 1);
        const ProgramResult backup = RunProgram({"backup", path("after.bak")});
        QVERIFY2(backup.code == 0, qPrintable(backup.err));
    }

    // Another writer holds the store: nothing is written, status 2.
    void lockedStore_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("import") << QStringList{"import", "--magazine", kNameA, "@HOME@/in.csv"};
        QTest::newRow("restore") << QStringList{"restore", "@HOME@/store.bak", "--yes"};
    }
    void lockedStore()
    {
        QFETCH(QStringList, args);
        QVERIFY(writeFile(path("in.csv"), membersCsv().toUtf8()));
        QCOMPARE(RunProgram({"backup", path("store.bak")}).code, 0);
        addMemberAsTheWindowDoes(kMagA, 1);
        const QStringList before = storeRows();
        lockStore();
        args.replaceInStrings(QStringLiteral("@HOME@"), env->home());
        const ProgramResult r = RunProgram(args);
        releaseStore();
        QCOMPARE(r.code, 2);
        QVERIFY(!r.err.isEmpty());
        QCOMPARE(storeRows(), before);
    }
};

QTEST_GUILESS_MAIN(TestCliExchange)
#include "tst_cli_exchange.moc"
