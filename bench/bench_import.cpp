// Importing 100,000 CSV lines (all eleven columns, replace-duplicates on) into a magazine
// that already holds 100,000 members, and removing 10,000 members by list, against the
// sqlite3 command-line tool importing the same file.
//
//   import.time              our import as the command runs it: counting the lines, the
//                            progress window shown and repainted, the log, every line looked
//                            up and inserted or updated, seconds
//   sqlite3.import.time      `sqlite3` on a copy of the same store: `.import` of the file into
//                            a staging table and `insert … select` into the indexed member
//                            table, in one transaction, seconds
//   ratio import_vs_sqlite3  sqlite3.import.time / import.time (the goal is at least 0.33)
//   import.repaints          how often the progress window was repainted
//   import.memory_growth     resident memory at its highest during the import minus before, MB
//   remove.time              removing 10,000 members listed in a file, progress included, seconds
//   split.long_line_256k.time   splitting one line whose quoted name of 256 KB is full of
//                            commas, milliseconds (best of ten)
//   split.long_line_2m.time  the same with a name of 2 MB
//   ratio split_2m_vs_256k   the second time divided by the first: near 8 when the work is
//                            proportional to the line's length, near 64 if it were quadratic
//   import.long_line_256k.time, import.long_line_2m.time, ratio import_long_line_2m_vs_256k
//                            the same lines through the whole import (read, split, stored);
//                            storing a value of megabytes adds the store's own cost, which
//                            grows faster once the value outgrows the store's page cache
//
// Of the 100,000 lines, every tenth repeats the address of an existing member (an update);
// the others are new members (a lookup that finds nothing, then an insert).
#include "fakes/TestEnv.h"
#include "maintenance/ui/FProgressDlg.h"
#include "store/PreparedStatement.h"
#include "maintenance/UCsv.h"
#include "maintenance/UImport.h"
#include "maintenance/URemoveList.h"
#include "maintenance/UTextLines.h"
#include "store/Codec.h"
#include "store/Database.h"
#include "store/Folders.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QProgressBar>

#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr int kMembers = 100000;
constexpr int kLines = 100000;
constexpr int kRemove = 10000;

double residentMB()
{
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> parts = f.readAll().split(' ');
    return parts.size() > 1 ? parts[1].toDouble() * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0) : 0;
}

QString existingAddress(int i)
{
    return QStringLiteral("member%1@example.jp").arg(i);
}

void fillStore()
{
    Statement().exec(QStringLiteral("insert into Magzine (MagIdx,MagName,Owner,Adrs,Atena,Flg1Name,Flg2Name,Flg3Name,"
                                    "Count1Name,Count2Name,UserDate1Name,UserDate2Name,UseUserName) values "
                                    "(1,'大きなマガジン','発行者','owner@example.jp','様','フラグ１','フラグ２','フラグ３',"
                                    "'数字１','数字2','日付１','日付２',0)"));
    Transaction t;
    PreparedStatement insert(QStringLiteral("insert into MagUser (MagIdx,UserIdx,UserName,UserAdrs,url,Flg1,Flg2,Flg3,Sleep,"
                                            "Count1,Count2,UserDate1,UserDate2,AddDate) values (1,?,?,?,'',0,0,0,0,0,0,"
                                            "'20240101','20240101','20240101')"));
    for (int i = 1; i <= kMembers; ++i) {
        insert.bind(0, i);
        insert.bind(1, QStringLiteral("既存 会員%1").arg(i));
        insert.bind(2, existingAddress(i));
        insert.exec();
    }
    t.commit();
}

// The CSV as the export writes it: a heading, then eleven columns, CP932, CR LF.
void writeCsv(const QString &path)
{
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    QByteArray out = Codec::toCp932(QStringLiteral("\"メンバー名\",\"メールアドレス\",\"url\",\"フラグ１\",\"フラグ２\",\"フラグ３\","
                                                   "\"数字１\",\"数字2\",\"日付１\",\"日付２\",\"登録日\"\r\n"));
    const QStringList family{"山田", "佐藤", "鈴木", "高橋", "田中", "Smith", "伊藤", "渡辺", "中村", "小林"};
    for (int i = 1; i <= kLines; ++i) {
        const quint32 h = quint32(i) * 2654435761u;
        const QString address = i % 10 == 0 ? existingAddress(i) : QStringLiteral("new%1@example.co.jp").arg(i);
        const QString line = CsvQuote(family[int(h % 10)] + QStringLiteral(", 会員") + QString::number(i)) + QLatin1Char(',')
            + CsvQuote(address) + QLatin1Char(',') + CsvQuote(QStringLiteral("http://example.jp/~m%1").arg(i))
            + QStringLiteral(",%1,%2,%3,%4,%5,").arg(h & 1).arg((h >> 1) & 1).arg((h >> 2) & 1).arg(h % 1000).arg(i)
            + QStringLiteral("\"20240105\",\"2023/3/%1\",\"20200101\"").arg(1 + i % 28);
        out += Codec::toCp932(line);
        out += "\r\n";
    }
    f.write(out);
}

// A line of a quoted name of `bytes` characters full of commas, and an address.
QString longLine(int bytes)
{
    QString name;
    name.reserve(bytes);
    while (name.size() < bytes)
        name += QStringLiteral("a,");
    return CsvQuote(name) + QStringLiteral(",long@example.jp");
}

// Splits the line; the best time of ten, milliseconds.
double splitLongLine(int bytes)
{
    const QString line = longLine(bytes);
    double best = 1e9;
    for (int run = 0; run < 10; ++run) {
        QElapsedTimer clock;
        clock.start();
        const QStringList fields = SplitCsvLine(line);
        best = qMin(best, clock.nsecsElapsed() / 1e6);
        if (fields.size() != 2)
            std::fprintf(stderr, "long line split into %lld fields\n", qint64(fields.size()));
    }
    return best;
}

// Imports the line into magazine 2; the best time of three, seconds.
double importLongLine(int bytes)
{
    const QByteArray line = Codec::toCp932(longLine(bytes) + QStringLiteral("\r\n"));
    ImportSettings settings;
    settings.order = {0, 1};
    settings.heading = false;
    double best = 1e9;
    for (int run = 0; run < 3; ++run) {
        QByteArray data = line;
        QBuffer in(&data);
        in.open(QIODevice::ReadOnly);
        TextLineReader reader(in);
        QElapsedTimer clock;
        clock.start();
        const ImportOutcome outcome = MemberImport(2, settings, QDate::currentDate()).run(reader, nullptr, {});
        best = qMin(best, clock.nsecsElapsed() / 1e9);
        if (outcome.inserted + outcome.updated != 1)
            std::fprintf(stderr, "long line not imported: %s\n", qPrintable(outcome.error));
    }
    return best;
}

double cpuSeconds(int who)
{
    rusage u{};
    getrusage(who, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void print(const char *name, double value, const char *unit)
{
    std::printf("%s: %.3f %s\n", name, value, unit);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    TestEnv env;
    env.openStore();
    fillStore();
    const QString dir = env.home();
    const QString csv = dir + QStringLiteral("/members.csv");
    writeCsv(csv);

    // the reference gets a copy of the store as it is before our import
    const QString storeFile = Folders::storeFile(env.dataDir());
    Statement().exec(QStringLiteral("pragma wal_checkpoint(truncate)"));
    const QString copy = dir + QStringLiteral("/reference.db");
    QFile::copy(storeFile, copy);

    // ours, as the import command runs it once the dialogs are answered
    const double memoryBefore = residentMB();
    double memoryPeak = memoryBefore;
    QElapsedTimer clock;
    const double cpuBefore = cpuSeconds(RUSAGE_SELF);
    clock.start();
    QFile file(csv);
    file.open(QIODevice::ReadOnly);
    const qint64 lines = CountTextLines(file);
    TProgressDlg progress;
    progress.captionLabel->setText(QStringLiteral("インポート中"));
    progress.progressBar->setMaximum(int(lines));
    progress.setPosition(0);
    progress.show();
    QFile log(dir + QStringLiteral("/ImportError.log"));
    log.open(QIODevice::WriteOnly | QIODevice::Truncate);
    TextLineReader reader(file);
    ImportSettings settings;
    settings.order = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    const ImportOutcome outcome =
        MemberImport(1, settings, QDate::currentDate()).run(reader, &log, [&](int line) {
            progress.setPosition(line);
            if (line % 5000 == 0)
                memoryPeak = qMax(memoryPeak, residentMB());
        });
    progress.close();
    const double ours = clock.elapsed() / 1000.0;
    std::fprintf(stderr, "import cpu: %.3f s\n", cpuSeconds(RUSAGE_SELF) - cpuBefore);
    memoryPeak = qMax(memoryPeak, residentMB());
    std::fprintf(stderr, "imported %d, updated %d, rejected %d, stopped %d %s\n", outcome.inserted, outcome.updated,
                 outcome.rejected, int(outcome.stopped), qPrintable(outcome.error));
    const qint64 stored = Statement().scalar(QStringLiteral("select count(*) from MagUser where MagIdx = 1"));
    if (outcome.stopped || stored != kMembers + kLines - kLines / 10) {
        std::fprintf(stderr, "unexpected result: %lld members\n", stored);
        return 1;
    }

    // the reference
    const QString script = QStringLiteral(
                               ".bail on\n"
                               "create table staging(UserName,UserAdrs,url,Flg1,Flg2,Flg3,Count1,Count2,UserDate1,UserDate2,AddDate);\n"
                               "begin;\n"
                               ".import --csv --skip 1 '%1' staging\n"
                               "insert into MagUser (MagIdx,UserIdx,UserName,UserAdrs,url,Flg1,Flg2,Flg3,Sleep,Count1,Count2,"
                               "UserDate1,UserDate2,AddDate) select 1, rowid + %2, UserName,UserAdrs,url,Flg1,Flg2,Flg3,0,"
                               "Count1,Count2,UserDate1,UserDate2,AddDate from staging;\n"
                               "commit;\n")
                               .arg(csv)
                               .arg(kMembers);
    QProcess sqlite;
    clock.restart();
    sqlite.start(QStringLiteral("sqlite3"), {copy});
    sqlite.write(script.toUtf8());
    sqlite.closeWriteChannel();
    sqlite.waitForFinished(-1);
    const double reference = clock.elapsed() / 1000.0;
    std::fprintf(stderr, "sqlite3 cpu: %.3f s\n", cpuSeconds(RUSAGE_CHILDREN));
    if (sqlite.exitCode() != 0) {
        std::fprintf(stderr, "sqlite3 failed: %s\n", sqlite.readAllStandardError().constData());
        return 1;
    }

    print("import.time", ours, "s");
    print("sqlite3.import.time", reference, "s");
    std::printf("ratio import_vs_sqlite3: %.3f\n", reference / ours);
    std::printf("import.repaints: %d count\n", progress.repaints());
    print("import.memory_growth", memoryPeak - memoryBefore, "MB");
    std::fflush(stdout);

    // removal of 10,000 members listed in a file
    const QString list = dir + QStringLiteral("/remove.txt");
    {
        QFile f(list);
        f.open(QIODevice::WriteOnly);
        QByteArray out;
        for (int i = 1; i <= kRemove; ++i)
            out += existingAddress(i * 7).toLatin1() + "\r\n";
        f.write(out);
    }
    clock.restart();
    QFile listFile(list);
    listFile.open(QIODevice::ReadOnly);
    TProgressDlg removal;
    removal.captionLabel->setText(QStringLiteral("削除中"));
    removal.progressBar->setMaximum(int(CountTextLines(listFile)));
    removal.setPosition(0);
    removal.show();
    TextLineReader listReader(listFile);
    const RemoveOutcome removed = RemoveListedMembers(1, listReader, [&](int line) { removal.setPosition(line); });
    removal.close();
    const double removeTime = clock.elapsed() / 1000.0;
    if (removed.stopped || removed.removed != kRemove) {
        std::fprintf(stderr, "removal removed %d: %s\n", removed.removed, qPrintable(removed.error));
        return 1;
    }
    print("remove.time", removeTime, "s");

    const double splitSmall = splitLongLine(256 * 1024);
    const double splitLarge = splitLongLine(2 * 1024 * 1024);
    print("split.long_line_256k.time", splitSmall, "ms");
    print("split.long_line_2m.time", splitLarge, "ms");
    std::printf("ratio split_2m_vs_256k: %.3f\n", splitLarge / splitSmall);
    const double importSmall = importLongLine(256 * 1024);
    const double importLarge = importLongLine(2 * 1024 * 1024);
    print("import.long_line_256k.time", importSmall, "s");
    print("import.long_line_2m.time", importLarge, "s");
    std::printf("ratio import_long_line_2m_vs_256k: %.3f\n", importLarge / importSmall);
    return 0;
}
