// Import, export, removal by list, backup and restore against a real store file.
#include "fakes/FailingReadDevice.h"
#include "fakes/FailingSaveFile.h"
#include "fakes/StoreFixture.h"
#include "fakes/TestEnv.h"
#include "maintenance/UBackup.h"
#include "maintenance/UCsv.h"
#include "maintenance/UExport.h"
#include "maintenance/UImport.h"
#include "maintenance/URemoveList.h"
#include "maintenance/UTextLines.h"
#include "store/Codec.h"
#include "store/PreparedStatement.h"
#include "store/Database.h"
#include "store/MemberNumbers.h"
#include "store/MemberSql.h"
#include "store/SendSettings.h"
#include "store/Schema.h"
#include "store/SendStates.h"
#include "store/Sql.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QtTest>

#include <limits>

#include <sqlite3.h>

namespace {

const QDate kToday(2024, 6, 1);

// Every column of every member of a magazine, one text per row, in UserIdx order.
QStringList members(int magIdx)
{
    Statement s;
    s.open("select UserIdx, UserName, UserAdrs, url, Flg1, Flg2, Flg3, Sleep, Count1, Count2, UserDate1, UserDate2, "
           "AddDate, typeof(UserName), typeof(url) from MagUser where MagIdx = "
           + QString::number(magIdx) + " order by UserIdx");
    QStringList rows;
    while (s.next()) {
        QStringList cells;
        for (int i = 0; i < 15; ++i)
            cells << (s.isNull(i) ? QStringLiteral("<null>") : s.text(i));
        rows << cells.join('|');
    }
    return rows;
}

// The same without UserIdx, for comparing members across magazines.
QStringList memberValues(int magIdx)
{
    QStringList rows = members(magIdx);
    for (QString &r : rows)
        r = r.section('|', 1);
    return rows;
}

// Every row of every table, as the store holds them.
QStringList dump()
{
    QStringList out;
    for (const char *t : {"Magzine", "CommonTBL", "MagInfo", "MagHist", "MagUser"}) {
        Statement s;
        s.open(QStringLiteral("select * from %1 order by 1, 2").arg(t));
        while (s.next()) {
            QStringList cells;
            for (int i = 0; i < s.fieldCount(); ++i)
                cells << (s.isNull(i) ? QStringLiteral("<null>")
                                      : QString::fromLatin1(s.value(i).metaType().name()) + ':' + s.text(i));
            out << QLatin1String(t) + ' ' + cells.join('|');
        }
    }
    return out;
}

// Every row of our own delivery tables, with each value's type, in key order.
QStringList ownDump()
{
    QStringList out;
    for (const char *sql : {"select * from SendState order by MagIdx, MagCnt, MagUser", "select * from SendSetting order by Name"}) {
        Statement s;
        s.open(QLatin1String(sql));
        while (s.next()) {
            QStringList cells;
            for (int i = 0; i < s.fieldCount(); ++i)
                cells << (s.isNull(i) ? QStringLiteral("<null>")
                                      : QString::fromLatin1(s.value(i).metaType().name()) + ':' + s.text(i));
            out << cells.join('|');
        }
    }
    return out;
}

// Every row of every table a backup carries, each value with its kind, sorted.
QStringList everyTable()
{
    QStringList out;
    for (const Schema::Table &t : Schema::tables() + Schema::carriedTables()) {
        Statement s;
        s.open(QStringLiteral("select * from %1").arg(QLatin1String(t.name)));
        while (s.next()) {
            QStringList cells;
            for (int i = 0; i < s.fieldCount(); ++i)
                cells << (s.isNull(i) ? QStringLiteral("<null>")
                                      : QString::fromLatin1(s.value(i).metaType().name()) + ':' + s.text(i));
            out << QLatin1String(t.name) + ' ' + cells.join('|');
        }
    }
    out.sort();
    return out;
}

// Texts that a script must carry whole: quotes, ";" at line ends, line breaks, control
// characters, a value that looks like the rows after it, and, when asked, characters
// without a CP932 code.
QStringList hostileTexts(bool beyondCp932)
{
    QString controls;
    for (char16_t c = 1; c < 0x20; ++c)
        controls += QChar(c);
    controls += QChar(0x7F);
    QStringList texts = {QStringLiteral("O'Reilly ''x'' '"),
                         QStringLiteral("行末;\r\n次;\r\n"),
                         QStringLiteral("\n;\n"),
                         QStringLiteral(";\r\n\r\n;"),
                         controls,
                         QStringLiteral("'),(1,2,3);\r\ndrop table MagUser;--"),
                         QStringLiteral("")};
    if (beyondCp932)
        texts << QStringLiteral("絵文字😀 ¥ —");
    return texts;
}

// Fills every table a backup carries with rows of every kind of value: integers in the
// integer columns, the hostile texts, empty texts and NULL in the others.
void fillEveryTable(bool beyondCp932, int rowsPerTable)
{
    const QStringList texts = hostileTexts(beyondCp932);
    Transaction t;
    for (const Schema::Table &table : Schema::tables() + Schema::carriedTables()) {
        const QString name = QLatin1String(table.name);
        Statement().exec("delete from " + name);
        QStringList integers;
        QStringList required;
        Statement info;
        info.open("pragma table_info(" + name + ")");
        while (info.next()) {
            if (info.text("type").contains("int", Qt::CaseInsensitive))
                integers << info.text("name");
            if (info.integer("notnull"))
                required << info.text("name");
        }
        const int rows = name == "MagHist" ? 2500 : rowsPerTable;
        for (int r = 1; r <= rows; ++r) {
            StoreFixture::Row row;
            for (const QString &column : table.columns) {
                const bool null = !required.contains(column, Qt::CaseInsensitive);
                if (integers.contains(column, Qt::CaseInsensitive))
                    row.append({column, null && r % 7 == 0 ? QVariant() : QVariant(r == 2 ? -r : r)});
                else if (null && r % 11 == 0)
                    row.append({column, QVariant()});
                else
                    row.append({column, QString(texts[r % texts.size()] + QString::number(r))});
            }
            StoreFixture::insert(name, row);
        }
    }
    // The delivery rows as deliveries leave them, each naming an issue and a member that
    // are there (a restore refuses or settles any other), and marks that cover every member
    // number the rows name (a restore raises them to that).
    Statement().exec("delete from SendState where MagUser % 7 = 0");
    Statement().exec("update SendState set State = abs(MagUser) % 3 * 2");
    MemberNumbers::raiseAfterRestore({}, false);
    t.commit();
}

RestoreOutcome restoreFrom(const QString &path, const BackupScript::Progress &progress = {})
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    TextLineReader reader(file);
    return RestoreBackup(reader, progress);
}

// Issue 1 of magazine 1 to members 1..3, recorded with its delivery rows: 1 sent, 2 deferred
// (a reply with quotes and a semicolon), 3 still waiting.
void deliveredInPart()
{
    for (int i = 1; i <= 3; ++i)
        StoreFixture::addMember(1, i, QStringLiteral("会員%1").arg(i), QStringLiteral("m%1@example.jp").arg(i));
    StoreFixture::addIssue(1, 1, {.addDate = "2024/06/01 10:00:00", .sendCnt = 3, .title = "件名"});
    for (int i = 1; i <= 3; ++i)
        StoreFixture::addRecipient(1, 1, i);
    SendStates::seed(1, 1);
    SendResult sent;
    sent.MagUser = 1;
    sent.state = SendState::Sent;
    sent.reply = QStringLiteral("250 2.0.0 Ok: queued as 4Xyz");
    sent.attempts = 1;
    SendResult deferred;
    deferred.MagUser = 2;
    deferred.state = SendState::Deferred;
    deferred.reply = QStringLiteral("451 4.7.1 'greylisted'; 後ほど");
    deferred.attempts = 2;
    deferred.nextTry = QDateTime::fromSecsSinceEpoch(2000000000);
    SendStates::record(1, 1, QString(), {sent, deferred});
}

void addMagazine(int idx, const QString &name)
{
    StoreFixture::addMagazine(idx, name, {"フラグ１", "フラグ２", "フラグ３", "数字１", "数字2", "日付１", "日付２"},
                              {{"Adrs", "owner@example.jp"}, {"Sign", QVariant()}});
}

void addMember(int magIdx, int userIdx, const QString &name, const QString &adrs)
{
    StoreFixture::addMember(magIdx, userIdx, name, adrs, StoreFixture::importedMemberColumns());
}

struct Run {
    ImportOutcome outcome;
    QString log;
    QList<int> progress;
};

Run import(int magIdx, const QByteArray &bytes, const ImportSettings &settings)
{
    Run run;
    QByteArray data = bytes;
    QBuffer in(&data);
    in.open(QIODevice::ReadOnly);
    TextLineReader reader(in);
    QByteArray logBytes;
    QBuffer log(&logBytes);
    log.open(QIODevice::WriteOnly);
    run.outcome = MemberImport(magIdx, settings, kToday).run(reader, &log, [&](int n) { run.progress << n; });
    run.log = Codec::fromCp932(logBytes);
    return run;
}

ImportSettings allColumns(bool heading = true, bool replace = true)
{
    ImportSettings s;
    s.order = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    s.heading = heading;
    s.replace = replace;
    return s;
}

QByteArray cp932Lines(const QStringList &lines)
{
    return Codec::toCp932(lines.join("\r\n") + "\r\n");
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

ExportOutcome exportTo(const QString &path, int magIdx, const std::array<QString, 7> &names)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    return ExportMembers(magIdx, names, file);
}

BackupOutcome backupTo(const QString &path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    return WriteBackup(file);
}

// A script as long as asked for, made on the fly: a head, then a piece repeated. It
// counts what was read from it, so a test sees how far a reader went.
class GeneratedScript : public QIODevice
{
public:
    GeneratedScript(const QByteArray &head, const QByteArray &piece, qint64 size)
        : m_head(head), m_piece(piece), m_size(size)
    {
        open(QIODevice::ReadOnly);
    }
    bool isSequential() const override { return true; }
    qint64 served() const { return m_pos; }

protected:
    qint64 readData(char *data, qint64 max) override
    {
        qint64 n = 0;
        while (n < max && m_pos < m_size) {
            data[n++] = m_pos < m_head.size() ? m_head[m_pos] : m_piece[(m_pos - m_head.size()) % m_piece.size()];
            ++m_pos;
        }
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray m_head;
    QByteArray m_piece;
    qint64 m_size;
    qint64 m_pos = 0;
};

} // namespace

class TestExchange : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;

private Q_SLOTS:
    void init()
    {
        env = std::make_unique<TestEnv>();
        env->openStore();
        addMagazine(1, "マガジン");
        addMagazine(2, "Other");
    }
    void cleanup() { env.reset(); }

    // ---- import ---------------------------------------------------------------------

    void importInsertsWithDefaults()
    {
        ImportSettings s;
        s.order = {0, 1};
        s.heading = false;
        const Run run = import(1, cp932Lines({"山田 太郎,taro@example.jp", "花子,hanako@example.jp"}), s);
        QVERIFY(!run.outcome.stopped);
        QCOMPARE(run.outcome.inserted, 2);
        QCOMPARE(members(1),
                 QStringList({"1|山田 太郎|taro@example.jp|<null>|0|0|0|0|0|0|20240601|20240601|20240601|text|null",
                              "2|花子|hanako@example.jp|<null>|0|0|0|0|0|0|20240601|20240601|20240601|text|null"}));
    }

    void importAssignsUserIdxAboveWholeTable()
    {
        addMember(2, 40, "other", "o@example.jp");
        ImportSettings s;
        s.order = {1};
        s.heading = false;
        import(1, cp932Lines({"a@example.jp"}), s);
        QCOMPARE(members(1).value(0).section('|', 0, 0), QStringLiteral("41"));
    }

    void importValueRules()
    {
        const Run run = import(1,
                               cp932Lines({"\"h\",\"h\"", // heading
                                           "\"Yamada, Taro\",t@example.jp,http://x.jp/,1,ON,,\"1,234\",-3,2008/3/5,2008/02/30,"
                                           "20070115"}),
                               allColumns());
        QCOMPARE(run.outcome.inserted, 1);
        QCOMPARE(members(1), QStringList({"1|Yamada, Taro|t@example.jp|http://x.jp/|1|0|0|0|1234|-3|20080305|20080230|"
                                          "20070115|text|text"}));
    }

    void importShortLines()
    {
        // a line ending before the address column is inserted without an address
        ImportSettings s;
        s.order = {0, 1, 6};
        s.heading = false;
        const Run run = import(1, cp932Lines({"only name", "n2,b@example.jp"}), s);
        QCOMPARE(run.outcome.inserted, 2);
        QCOMPARE(run.outcome.rejected, 0);
        QCOMPARE(members(1).value(0).section('|', 1, 3), QStringLiteral("only name|<null>|<null>"));
        QCOMPARE(members(1).value(1).section('|', 8, 8), QStringLiteral("0"));
    }

    void importLogsBadAddresses()
    {
        const Run run = import(1,
                               cp932Lines({"\"メンバー名\",\"メールアドレス\"", "a,a@example.jp", "b,ｂ@example.jp", "",
                                           "c,c@localhost", "d,d@example.jp"}),
                               [] {
                                   ImportSettings s;
                                   s.order = {0, 1};
                                   s.heading = false;
                                   return s;
                               }());
        QCOMPARE(run.outcome.inserted, 2);
        QCOMPARE(run.outcome.rejected, 3);
        QCOMPARE(run.outcome.lines, 6);
        QCOMPARE(run.progress, QList<int>({1, 2, 3, 4, 5, 6}));
        QCOMPARE(run.log, QStringLiteral("line 1  メールアドレス\r\nline 3  ｂ@example.jp\r\nline 5  c@localhost\r\n"));
    }

    void importDuplicates_data()
    {
        QTest::addColumn<bool>("replace");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("replace") << true
                                 << QStringList{"5|second|dup@example.jp", "6|new|new@example.jp"};
        QTest::newRow("add") << false
                             << QStringList{"5|old|dup@example.jp", "6|first|dup@example.jp", "7|second|dup@example.jp",
                                            "8|new|new@example.jp"};
    }
    void importDuplicates()
    {
        QFETCH(bool, replace);
        QFETCH(QStringList, expected);
        addMember(1, 5, "old", "dup@example.jp");
        ImportSettings s;
        s.order = {0, 1};
        s.heading = false;
        s.replace = replace;
        // the second line updates the member the first line matched (or added)
        import(1, cp932Lines({"first,dup@example.jp", "second,dup@example.jp", "new,new@example.jp"}), s);
        QStringList got = members(1);
        for (QString &r : got)
            r = r.section('|', 0, 2);
        QCOMPARE(got, expected);
    }

    void importUpdateKeepsColumnsNotImported()
    {
        StoreFixture::addMember(1, 3, "old", "k@example.jp",
                                {{"url", "http://keep/"}, {"Flg1", 1}, {"Count1", 9}, {"UserDate1", "20200101"},
                                 {"AddDate", "20200101"}});
        ImportSettings s;
        s.order = {1, 0};
        s.heading = false;
        import(1, cp932Lines({"k@example.jp,renamed"}), s);
        QCOMPARE(members(1).value(0).section('|', 0, 10), QStringLiteral("3|renamed|k@example.jp|http://keep/|1|0|0|0|9|0|20200101"));
    }

    // Nothing in a field can change what a statement does.
    void importHostileFieldsAreValues()
    {
        ImportSettings s;
        s.order = {0, 1, 2};
        s.heading = false;
        import(1,
               cp932Lines({"\"x\"\", Flg1 = \"\"1\",a@example.jp,'); delete from MagUser; --",
                           "Robert\"); drop table MagUser;--,b@example.jp,\"u\"\"rl\""}),
               s);
        QStringList got = members(1);
        for (QString &r : got)
            r = r.section('|', 1, 4);
        QCOMPARE(got, QStringList({"x\", Flg1 = \"1|a@example.jp|'); delete from MagUser; --|0",
                                   "Robert\"); drop table MagUser;--|b@example.jp|u\"rl|0"}));
    }

    // A counter that holds a digit but is no number stops the import at its line; the
    // lines before it stay imported and nothing after it is read.
    void importStopsAtBadCounterKeepingEarlierLines()
    {
        ImportSettings s;
        s.order = {0, 1, 6};
        s.heading = false;
        QStringList lines;
        for (int i = 1; i <= 7000; ++i) // more than one transaction group
            lines << QStringLiteral("m%1,m%1@example.jp,%1").arg(i);
        lines << "bad,bad@example.jp,12件" << "after,after@example.jp,1";
        const Run run = import(1, cp932Lines(lines), s);
        QVERIFY(run.outcome.stopped);
        QCOMPARE(run.outcome.errorLine, 7001);
        QVERIFY2(run.outcome.error.contains("12件"), qPrintable(run.outcome.error));
        QCOMPARE(Statement().scalar("select count(*) from MagUser where MagIdx = 1"), 7000);
        QCOMPARE(Statement().scalar("select count(*) from MagUser where UserAdrs = 'after@example.jp'"), 0);
    }

    void importUtf8WithBom()
    {
        ImportSettings s;
        s.order = {0, 1};
        s.heading = false;
        import(1, QByteArray("\xEF\xBB\xBF") + QString("絵文字😀,e@example.jp\r\n").toUtf8(), s);
        QCOMPARE(members(1).value(0).section('|', 1, 2), QStringLiteral("絵文字😀|e@example.jp"));
    }

    // ---- export and the round trip ----------------------------------------------------

    void exportFormat()
    {
        StoreFixture::addMember(1, 1, "山田, \"太郎\"", "t@example.jp",
                                {{"url", QVariant()}, {"Flg1", 1}, {"Flg2", 0}, {"Flg3", 1}, {"Sleep", 1},
                                 {"Count1", 1234567}, {"Count2", -2}, {"UserDate1", "20080305"},
                                 {"UserDate2", TextValue("")}});
        StoreFixture::insert("MagUser", {{"MagIdx", 1}, {"UserIdx", 2}, {"UserName", QVariant()},
                                         {"UserAdrs", "n@example.jp"}, {"Count1", QVariant()}});
        QTemporaryDir dir;
        const ExportOutcome out = exportTo(dir.filePath("out.csv"), 1, {"F1", "F2", "F3", "C1", "C2", "D1", "D2"});
        QVERIFY(out.ok);
        QCOMPARE(out.members, 2);
        QVERIFY(!out.utf8);
        const QByteArray bytes = readFile(dir.filePath("out.csv"));
        QCOMPARE(Codec::fromCp932(bytes),
                 QStringLiteral("\"メンバー名\",\"メールアドレス\",\"url\",\"F1\",\"F2\",\"F3\",\"C1\",\"C2\",\"D1\",\"D2\",\"登録日\"\r\n"
                                "\"山田, \"\"太郎\"\"\",\"t@example.jp\",\"\",1,0,1,1234567,-2,\"20080305\",\"\",\"20240101\"\r\n"
                                "\"\",\"n@example.jp\",\"\",0,0,0,,0,\"\",\"\",\"\"\r\n"));
        // and an independent decoder reads the bytes as the same text
        QProcess iconv;
        iconv.start("iconv", {"-f", "CP932", "-t", "UTF-8"});
        iconv.write(bytes);
        iconv.closeWriteChannel();
        QVERIFY(iconv.waitForFinished());
        QVERIFY(QString::fromUtf8(iconv.readAllStandardOutput()).contains("\"山田, \"\"太郎\"\"\""));
    }

    void exportImportRoundTrip_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("utf8");
        QTest::addColumn<QString>("nameBack"); // the name as the import reads it back
        QTest::newRow("comma") << "Yamada, Taro" << "http://a.jp/?a=1,2" << false << "Yamada, Taro";
        QTest::newRow("double quotes") << "say \"hi\", \"" << "\"" << false << "say \"hi\", \"";
        QTest::newRow("japanese") << "山田 太郎①" << "ｶﾀｶﾅ" << false << "山田 太郎①";
        // typed on Linux, these have the CP932 codes of their Windows forms: the file stays
        // CP932 and reads back in the Windows forms
        QTest::newRow("wave dash") << "〜から～まで" << "" << false << "～から～まで";
        QTest::newRow("typed forms") << "〜‖−¢£¬" << "" << false << "～∥－￠￡￢";
        QTest::newRow("single quote") << "O'Reilly" << "'" << false << "O'Reilly";
        QTest::newRow("blanks around") << "  spaced  " << " " << false << "  spaced  ";
        // without a code of their own: no CP932 code, or one that reads back as another character
        QTest::newRow("emoji") << "😀" << "" << true << "😀";
        QTest::newRow("yen sign") << "¥100" << "" << true << "¥100";
        QTest::newRow("em dash") << "a—b" << "" << true << "a—b";
    }
    void exportImportRoundTrip()
    {
        QFETCH(QString, name);
        QFETCH(QString, url);
        QFETCH(bool, utf8);
        QFETCH(QString, nameBack);
        StoreFixture::addMember(1, 1, name, "r@example.jp",
                                {{"url", TextValue(url)}, {"Flg1", 1}, {"Flg2", 0}, {"Flg3", 1}, {"Sleep", 0},
                                 {"Count1", 2147483647}, {"Count2", qint64(-2147483648LL)}, {"UserDate1", "20080305"},
                                 {"UserDate2", "20231231"}});
        StoreFixture::addMember(1, 2, "plain", "p@example.jp",
                                {{"url", TextValue("")}, {"Flg1", 0}, {"Flg2", 1}, {"Flg3", 0}, {"Sleep", 0},
                                 {"Count1", 0}, {"Count2", 7}, {"UserDate1", "20000101"}, {"UserDate2", "20000102"},
                                 {"AddDate", "20000103"}});
        QTemporaryDir dir;
        const ExportOutcome out = exportTo(dir.filePath("round.csv"), 1, {"a", "b", "c", "d", "e", "f", "g"});
        QVERIFY(out.ok);
        QCOMPARE(out.utf8, utf8);
        const QByteArray bytes = readFile(dir.filePath("round.csv"));
        QCOMPARE(bytes.startsWith("\xEF\xBB\xBF"), utf8);
        if (!utf8) {
            // an independent decoder reads the file as CP932 and finds the name
            QProcess iconv;
            iconv.start("iconv", {"-f", "CP932", "-t", "UTF-8"});
            iconv.write(bytes);
            iconv.closeWriteChannel();
            QVERIFY(iconv.waitForFinished());
            QCOMPARE(iconv.exitCode(), 0);
            QVERIFY(QString::fromUtf8(iconv.readAllStandardOutput()).contains(CsvQuote(nameBack)));
        }
        const Run run = import(2, bytes, allColumns());
        QCOMPARE(run.outcome.inserted, 2);
        QCOMPARE(run.log, QString());
        QStringList expected = memberValues(1);
        expected[0] = nameBack + expected[0].mid(name.size());
        QCOMPARE(memberValues(2), expected);
    }

    // A write that fails part-way (a disk that fills up): no success, and the file of the
    // same name that was there before is exactly as it was.
    void writeFailureKeepsTheOldFile_data()
    {
        QTest::addColumn<bool>("backup");
        QTest::addColumn<qint64>("failAfter");
        QTest::newRow("export, first write") << false << qint64(0);
        QTest::newRow("export, part-way") << false << qint64(100000);
        QTest::newRow("backup, first write") << true << qint64(0);
        QTest::newRow("backup, part-way") << true << qint64(100000);
    }
    void writeFailureKeepsTheOldFile()
    {
        QFETCH(bool, backup);
        QFETCH(qint64, failAfter);
        {
            Transaction t;
            for (int i = 1; i <= 3000; ++i)
                addMember(1, i, QStringLiteral("会員%1").arg(i), QStringLiteral("m%1@example.jp").arg(i));
            t.commit();
        }
        QTemporaryDir dir;
        const QString path = dir.filePath(backup ? "members.bak" : "members.csv");
        const QByteArray old = "the previous file, still needed\r\n";
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(old);
        }
        FailingSaveFile file(path, failAfter);
        QVERIFY(file.open(QIODevice::WriteOnly));
        bool ok = true;
        QString error;
        if (backup) {
            const BackupOutcome out = WriteBackup(file);
            ok = out.ok;
            error = out.error;
        } else {
            const ExportOutcome out = ExportMembers(1, {"a", "b", "c", "d", "e", "f", "g"}, file);
            ok = out.ok;
            error = out.error;
        }
        QVERIFY(!ok);
        QVERIFY2(error.contains("No space left on device"), qPrintable(error));
        QCOMPARE(readFile(path), old);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QFileInfo(path).fileName()});
    }

    // A file that cannot be read to its end is not a file that ended there.
    void importReadErrorStops()
    {
        ImportSettings s;
        s.order = {0, 1};
        s.heading = false;
        FailingReadDevice in(cp932Lines({"a,a@example.jp", "b,b@example.jp"}));
        QVERIFY(in.open(QIODevice::ReadOnly));
        TextLineReader reader(in);
        const ImportOutcome out = MemberImport(1, s, kToday).run(reader, nullptr, {});
        QVERIFY(out.stopped);
        QCOMPARE(out.inserted, 2);
        QVERIFY2(!out.error.isEmpty(), qPrintable(out.error));
    }

    // ---- removal by list --------------------------------------------------------------

    // The store refuses the commit of the job's last group: the job stops where the work that
    // group lost begins, never at line 0, and the store and the job's counts hold exactly what
    // the lines before that line did.
    void lostLastGroupStopsWhereItsWorkBegins_data()
    {
        QTest::addColumn<bool>("removal");
        QTest::addColumn<int>("total");
        QTest::addColumn<bool>("groupCommittedBefore");
        QTest::newRow("import, one group") << false << 20 << false;
        QTest::newRow("import, after a full group") << false << 5200 << true;
        QTest::newRow("remove-list, one group") << true << 20 << false;
        QTest::newRow("remove-list, after a full group") << true << 5200 << true;
    }
    void lostLastGroupStopsWhereItsWorkBegins()
    {
        QFETCH(bool, removal);
        QFETCH(int, total);
        QFETCH(bool, groupCommittedBefore);
        QStringList lines;
        for (int i = 1; i <= total; ++i)
            lines << QStringLiteral("m%1@example.jp").arg(i);
        if (removal)
            StoreFixture::insertMany("MagUser", total, [&](int i) {
                return StoreFixture::memberRow(1, i + 1, QStringLiteral("m"), lines.at(i));
            });
        QByteArray bytes = cp932Lines(lines);
        QBuffer in(&bytes);
        in.open(QIODevice::ReadOnly);
        TextLineReader reader(in);

        // every commit from the last line's on is turned into a rollback
        bool refusing = false;
        sqlite3 *db = Store::handle(Store::connection());
        sqlite3_commit_hook(db, [](void *on) { return *static_cast<bool *>(on) ? 1 : 0; }, &refusing);
        const auto progress = [&](int line) { refusing = refusing || line == total; };
        LineJobOutcome out;
        int counted = 0; // members removed or added, as the job counts them
        if (removal) {
            const RemoveOutcome removed = RemoveListedMembers(1, reader, progress);
            out = removed;
            counted = removed.removed;
        } else {
            ImportSettings s;
            s.order = {1};
            s.heading = false;
            const ImportOutcome imported = MemberImport(1, s, kToday).run(reader, nullptr, progress);
            out = imported;
            counted = imported.inserted + imported.updated;
        }
        sqlite3_commit_hook(db, nullptr, nullptr);

        QVERIFY(out.stopped);
        QVERIFY(out.storeFailed);
        QVERIFY2(!out.error.isEmpty(), qPrintable(out.error));
        QVERIFY2(out.errorLine >= 1 && out.errorLine <= total, qPrintable(QString::number(out.errorLine)));
        QCOMPARE(out.errorLine > 1, groupCommittedBefore);
        const int done = out.errorLine - 1;
        QCOMPARE(counted, done);
        QCOMPARE(Statement().scalar("select count(*) from MagUser where MagIdx = 1"), qint64(removal ? total - done : done));
    }

    void removeByList()
    {
        addMember(1, 1, "a", "a@example.jp");
        addMember(1, 2, "b", "b@example.jp");
        addMember(1, 3, "c", "c\"q@example.jp");
        addMember(1, 4, "d", " d@example.jp");
        addMember(2, 1, "other magazine", "a@example.jp");
        QByteArray bytes = cp932Lines({"a@example.jp", "", "nobody@example.jp", "c\"q@example.jp", "d@example.jp"});
        QBuffer in(&bytes);
        in.open(QIODevice::ReadOnly);
        TextLineReader reader(in);
        QList<int> progress;
        const RemoveOutcome out = RemoveListedMembers(1, reader, [&](int n) { progress << n; });
        QVERIFY(!out.stopped);
        QCOMPARE(out.lines, 5);
        QCOMPARE(out.removed, 2);
        QCOMPARE(progress, QList<int>({1, 2, 3, 4, 5}));
        QStringList left = members(1);
        for (QString &r : left)
            r = r.section('|', 1, 2);
        // lines are used exactly as read: " d@example.jp" is not "d@example.jp"
        QCOMPARE(left, QStringList({"b|b@example.jp", "d| d@example.jp"}));
        QCOMPARE(members(2).size(), 1);
    }

    // ---- backup and restore -----------------------------------------------------------

    // Many rows to a statement, the column list written once for them.
    void backupFormat()
    {
        addMember(1, 1, "O'Reilly", "o@example.jp");
        addMember(1, 2, "B;", "b@example.jp");
        Statement().exec("insert into CommonTBL values(100,1,25,0,0,'smtp.example.jp',NULL,'')");
        Statement().exec("insert into CommonTBL values(1000,0,1,0,0,'020100',NULL,NULL)");
        QTemporaryDir dir;
        QVERIFY(backupTo(dir.filePath("b.bak")).ok);
        const QStringList lines = Codec::fromCp932(readFile(dir.filePath("b.bak"))).split("\r\n");
        QCOMPARE(lines.value(0), QStringLiteral("delete from Magzine;"));
        QCOMPARE(lines.value(1), QStringLiteral("insert into Magzine (MagIdx,MagName,Owner,Adrs,Atena,Sign,Flg1Name,Flg2Name,"
                                                "Flg3Name,Count1Name,Count2Name,UserDate1Name,UserDate2Name,UseUserName) "
                                                "values(1,'マガジン','発行者','owner@example.jp','様',NULL,'フラグ１','フラグ２',"
                                                "'フラグ３','数字１','数字2','日付１','日付２',0),"
                                                "(2,'Other','発行者','owner@example.jp','様',NULL,'フラグ１','フラグ２',"
                                                "'フラグ３','数字１','数字2','日付１','日付２',0);"));
        QCOMPARE(lines.value(2), QStringLiteral("delete from CommonTBL;"));
        QCOMPARE(lines.value(3), QStringLiteral("insert into CommonTBL (key1,key2,int1,int2,int3,str1,str2,str3) "
                                                "values(100,1,25,0,0,'smtp.example.jp',NULL,''),(1000,0,1,0,0,'020100',NULL,NULL);"));
        QVERIFY(lines.contains("delete from MagInfo;"));
        QVERIFY(lines.contains("delete from MagHist;"));
        QVERIFY(lines.contains("delete from Maguser;"));
        QVERIFY(lines.contains("insert into MagUser (MagIdx,UserIdx,UserName,UserAdrs,url,Flg1,Flg2,Flg3,Sleep,Count1,Count2,"
                               "UserDate1,UserDate2,AddDate) values(1,1,'O''Reilly','o@example.jp','',0,0,0,0,0,0,"
                               "'20240101','20240101','20240101'),(1,2,'B;','b@example.jp','',0,0,0,0,0,0,"
                               "'20240101','20240101','20240101');"));
        QCOMPARE(lines.filter("insert into MagUser ").size(), 1);
        QCOMPARE(lines.last(), QString()); // the file ends with CR LF
    }

    void backupRestoresExactly()
    {
        addMember(1, 1, "O'Reilly \"Bob\"", "o@example.jp");
        addMember(1, 2, "山田①ｶﾅ", "y@example.jp");
        StoreFixture::addIssue(1, 1,
                               {.addDate = "2024/06/01 10:00:00",
                                .sendCnt = 2,
                                .condition = "条件:\r\n  フラグ１がON;\r\nかつ;\n",
                                .title = "件名;",
                                .body = "本文 'a' \"b\"\r\n;\r\n"});
        StoreFixture::addRecipient(1, 1, 1, {{"SendComplete", 1}});
        StoreFixture::addRecipient(1, 1, 2);
        Statement().exec("insert into CommonTBL values(100,1,25,0,1,'smtp.example.jp','user','pass;')");
        Statement().exec("insert into CommonTBL values(1000,1,0,NULL,NULL,'020100',NULL,NULL)");
        const QStringList before = dump();

        QTemporaryDir dir;
        const BackupOutcome written = backupTo(dir.filePath("b.bak"));
        QVERIFY(written.ok);
        QVERIFY(!written.utf8);

        // the store changes after the backup; the restore brings back exactly the backup
        Statement().exec("delete from MagUser where UserIdx = 2");
        addMember(2, 9, "later", "later@example.jp");
        Statement().exec("update Magzine set MagName = 'renamed'");
        StoreFixture::addIssue(2, 2, {.addDate = "2024/06/02 10:00:00"});

        QFile file(dir.filePath("b.bak"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        TextLineReader reader(file);
        const RestoreOutcome restored = RestoreBackup(reader);
        QVERIFY2(restored.ok, qPrintable(restored.error + " / " + restored.buffer));
        QCOMPARE(dump(), before);
    }

    // The delivery records and settings go into the backup and come back exactly, so a
    // restored store resumes an issue where it stood when the backup was made.
    void backupCarriesDeliveryRecords()
    {
        deliveredInPart();
        DeliverySettings settings;
        settings.retry = *RetrySchedule::parse(QStringLiteral("5s,30s,2m"));
        settings.pacing.perMinute = 30;
        settings.pacing.perConnection = 100;
        SendSettings::save(settings);
        const QStringList before = dump();
        const QStringList ownBefore = ownDump();
        QVERIFY(ownBefore.size() > 3); // three recipients and the settings

        QTemporaryDir dir;
        QVERIFY(backupTo(dir.filePath("b.bak")).ok);
        const QStringList lines = Codec::fromCp932(readFile(dir.filePath("b.bak"))).split("\r\n");
        QVERIFY(lines.contains("delete from SendState;"));
        QVERIFY(lines.contains("delete from SendSetting;"));
        QVERIFY(!lines.join('\n').contains("SendLock"));

        // what happens after the backup is undone by the restore
        SendStates::cancelOpen(1, 1);
        StoreFixture::addIssue(1, 2, {.addDate = "2024/06/02 10:00:00"});
        StoreFixture::addRecipient(1, 2, 1);
        SendStates::seed(1, 2);
        SendSettings::save(DeliverySettings());

        QFile file(dir.filePath("b.bak"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        TextLineReader reader(file);
        const RestoreOutcome restored = RestoreBackup(reader);
        QVERIFY2(restored.ok, qPrintable(restored.error + " / " + restored.buffer));
        QCOMPARE(dump(), before);
        QCOMPARE(ownDump(), ownBefore);
        QCOMPARE(SendSettings::load(), settings);
        const SendStateCounts c = SendStates::counts(1, 1);
        QCOMPARE(c.sent, 1);
        QCOMPARE(c.deferred, 1);
        QCOMPARE(c.waiting, 1);
        SendStates::PendingCursor pending(1, 1);
        SendStates::PendingRecipient row;
        QVERIFY(pending.next(&row));
        QCOMPARE(row.member.MagUser, 2);
        QCOMPARE(row.attempts, 2);
        QCOMPARE(row.nextTry, QDateTime::fromSecsSinceEpoch(2000000000));
        QVERIFY(pending.next(&row));
        QCOMPARE(row.member.MagUser, 3);
        QVERIFY(!pending.next(&row));
    }

    // A backup made before the delivery records existed holds the five tables only. Its
    // issues come back as recorded without them: no rows left from the store it replaced,
    // so nothing is offered for resume against members the rows were not made for.
    void restoreOfOlderBackupLeavesNoDeliveryRecords()
    {
        deliveredInPart();
        QTemporaryDir dir;
        QVERIFY(backupTo(dir.filePath("b.bak")).ok);
        QStringList older;
        for (const QString &line : Codec::fromCp932(readFile(dir.filePath("b.bak"))).split("\r\n"))
            if (!line.contains("SendState") && !line.contains("SendSetting"))
                older << line;
        const QStringList before = dump();
        QVERIFY(!SendStates::resumable().isEmpty());

        QByteArray bytes = Codec::toCp932(older.join("\r\n"));
        QBuffer in(&bytes);
        in.open(QIODevice::ReadOnly);
        TextLineReader reader(in);
        const RestoreOutcome restored = RestoreBackup(reader);
        QVERIFY2(restored.ok, qPrintable(restored.error + " / " + restored.buffer));
        QCOMPARE(dump(), before);
        QCOMPARE(Statement().scalar("select count(*) from SendState"), 0);
        QCOMPARE(SendStates::counts(1, 1).total(), 0);
        QVERIFY(SendStates::issues(1).isEmpty()); // read as Legacy
        QVERIFY(SendStates::resumable().isEmpty());
    }

    // Every table, hostile texts in every text column, through the script and back; the
    // rows go many to a statement, split by count and by size.
    void backupRoundTripOfEveryTable_data()
    {
        QTest::addColumn<bool>("beyondCp932");
        QTest::newRow("CP932") << false;
        QTest::newRow("UTF-8") << true;
    }
    void backupRoundTripOfEveryTable()
    {
        QFETCH(bool, beyondCp932);
        fillEveryTable(beyondCp932, 1200);
        // three issue bodies of 150,000 characters, 200,000 as written: one to a statement
        Statement().exec("update MagInfo set Body = replace(hex(zeroblob(50000)), '00', 'b'';') where MagCnt <= 3");
        const QStringList before = everyTable();
        QTemporaryDir dir;
        const BackupOutcome written = backupTo(dir.filePath("b.bak"));
        QVERIFY2(written.ok, qPrintable(written.error));
        QCOMPARE(written.utf8, beyondCp932);
        const QByteArray bytes = readFile(dir.filePath("b.bak"));
        const QString text = beyondCp932 ? QString::fromUtf8(bytes.mid(3)) : Codec::fromCp932(bytes);
        QCOMPARE(text.count("insert into MagHist (MagIdx,MagCnt,MagUser,SendComplete) values("), 3);
        QCOMPARE(text.count("\r\ninsert into MagUser ("), 2);
        QVERIFY(text.count("\r\ninsert into MagInfo (") >= 3);

        fillEveryTable(!beyondCp932, 3);
        QVERIFY(everyTable() != before);
        const RestoreOutcome restored = restoreFrom(dir.filePath("b.bak"));
        QVERIFY2(restored.ok, qPrintable(restored.error + " / " + restored.buffer.left(300)));
        QCOMPARE(everyTable(), before);
    }

    // A backup of an older build holds one row to a statement: it restores as ever.
    void olderBackupStillRestores()
    {
        const QByteArray bytes = Codec::toCp932(
            "delete from Magzine;\r\n"
            "insert into Magzine (MagIdx,MagName,Owner,Adrs,Atena,Sign,Flg1Name,Flg2Name,Flg3Name,Count1Name,Count2Name,"
            "UserDate1Name,UserDate2Name,UseUserName) values(3,'旧号','発行者','o@example.jp','様',NULL,'a','b','c','d','e',"
            "'f','g',1);\r\n"
            "delete from CommonTBL;\r\n"
            "insert into CommonTBL (key1,key2,int1,int2,int3,str1,str2,str3) values(100,1,25,0,0,'smtp.example.jp',NULL,'');\r\n"
            "delete from MagInfo;\r\n"
            "delete from MagHist;\r\n"
            "delete from Maguser;\r\n"
            "insert into MagUser (MagIdx,UserIdx,UserName,UserAdrs,url,Flg1,Flg2,Flg3,Sleep,Count1,Count2,UserDate1,UserDate2,"
            "AddDate) values(3,1,'O''Reilly','a@example.jp','',1,0,0,0,2,0,'20240101',NULL,'20240101');\r\n"
            "insert into MagUser (MagIdx,UserIdx,UserName,UserAdrs,url,Flg1,Flg2,Flg3,Sleep,Count1,Count2,UserDate1,UserDate2,"
            "AddDate) values(3,2,'二行;\r\nの名前','b@example.jp',NULL,0,0,0,0,0,0,'20240101','20240102','20240103');\r\n");
        QTemporaryDir dir;
        {
            QFile f(dir.filePath("old.bak"));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(bytes);
        }
        const RestoreOutcome out = restoreFrom(dir.filePath("old.bak"));
        QVERIFY2(out.ok, qPrintable(out.error + " / " + out.buffer));
        QCOMPARE(out.statements, 9);
        QCOMPARE(Statement().scalar("select count(*) from Magzine"), 1);
        QCOMPARE(members(3), QStringList({"1|O'Reilly|a@example.jp||1|0|0|0|2|0|20240101|<null>|20240101|text|text",
                                          "2|二行;\r\nの名前|b@example.jp|<null>|0|0|0|0|0|0|20240101|20240102|20240103|"
                                          "text|null"}));
    }

    // A restore stopped from its progress window undoes what it had done; the progress
    // counts the file's bytes up to its size.
    void cancelledRestoreLeavesTheStore()
    {
        fillEveryTable(false, 1200);
        QTemporaryDir dir;
        QVERIFY(backupTo(dir.filePath("b.bak")).ok);
        const qint64 size = QFileInfo(dir.filePath("b.bak")).size();
        fillEveryTable(false, 3);
        const QStringList before = everyTable();

        int calls = 0;
        qint64 seenTotal = 0;
        const RestoreOutcome stopped = restoreFrom(dir.filePath("b.bak"), [&](qint64, qint64 total) {
            seenTotal = total;
            return ++calls < 12;
        });
        QVERIFY(!stopped.ok);
        QVERIFY(stopped.cancelled);
        QCOMPARE(calls, 12);
        QCOMPARE(seenTotal, size);
        QCOMPARE(everyTable(), before);

        qint64 last = 0;
        bool rising = true;
        const RestoreOutcome whole = restoreFrom(dir.filePath("b.bak"), [&](qint64 done, qint64) {
            rising = rising && done >= last;
            last = done;
            return true;
        });
        QVERIFY2(whole.ok, qPrintable(whole.error));
        QVERIFY(!whole.cancelled);
        QVERIFY(rising);
        QCOMPARE(last, size);
        QVERIFY(everyTable() != before);
    }

    // A backup stopped from its progress window leaves the file it would have replaced.
    void cancelledBackupLeavesTheOldFile()
    {
        fillEveryTable(false, 1200);
        QTemporaryDir dir;
        const QString path = dir.filePath("b.bak");
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("the previous backup");
        }
        qint64 seenTotal = 0;
        int calls = 0;
        {
            QSaveFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            const BackupOutcome out = WriteBackup(file, [&](qint64, qint64 total) {
                seenTotal = total;
                return ++calls < 3;
            });
            QVERIFY(!out.ok);
            QVERIFY(out.cancelled);
        }
        QCOMPARE(readFile(path), QByteArray("the previous backup"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"b.bak"});
        QCOMPARE(seenTotal, Statement().scalar("select (select count(*) from Magzine) + (select count(*) from CommonTBL)"
                                               " + (select count(*) from MagInfo) + (select count(*) from MagHist)"
                                               " + (select count(*) from MagUser) + (select count(*) from SendState)"
                                               " + (select count(*) from SendSetting) + (select count(*) from MagMailSetting)"
                                               " + (select count(*) from MemberBounce) + (select count(*) from InboxSeen)"
                                               " + (select count(*) from MemberNumber)"));

        // unstopped, the progress reaches every row
        qint64 done = 0;
        QSaveFile again(path);
        QVERIFY(again.open(QIODevice::WriteOnly));
        QVERIFY(WriteBackup(again, [&](qint64 d, qint64) {
                    done = d;
                    return true;
                }).ok);
        QCOMPARE(done, seenTotal);
    }

    void backupOfTextWithoutCp932CodeIsUtf8()
    {
        addMember(1, 1, "絵文字😀 and ～ and 〜", "e@example.jp");
        const QStringList before = dump();
        QTemporaryDir dir;
        const BackupOutcome written = backupTo(dir.filePath("b.bak"));
        QVERIFY(written.ok);
        QVERIFY(written.utf8);
        Statement().exec("delete from MagUser");
        QFile file(dir.filePath("b.bak"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        TextLineReader reader(file);
        QVERIFY(RestoreBackup(reader).ok);
        QCOMPARE(dump(), before);
    }

    void restoreRefusesForeignStatements_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("refused");
        const QString ok = "delete from Maguser;\r\ninsert into MagUser (MagIdx,UserIdx,UserName) values(1,77,'x');\r\n";
        QTest::newRow("drop table") << ok + "drop table MagUser;\r\n" << "drop table MagUser;";
        QTest::newRow("update") << ok + "update MagUser set Flg1 = 1;\r\n" << "update MagUser set Flg1 = 1;";
        QTest::newRow("attach") << "attach database '/tmp/x.db' as x;\r\n" + ok << "attach database '/tmp/x.db' as x;";
        QTest::newRow("pragma") << ok + "pragma writable_schema = 1;\r\n" << "pragma writable_schema = 1;";
        QTest::newRow("other table") << ok + "delete from sqlite_master;\r\n" << "delete from sqlite_master;";
        QTest::newRow("delete with where") << ok + "delete from MagUser where 1;\r\n" << "delete from MagUser where 1;";
        QTest::newRow("insert select") << ok + "insert into MagUser (MagIdx) select MagIdx from Magzine;\r\n"
                                       << "insert into MagUser (MagIdx) select MagIdx from Magzine;";
        QTest::newRow("expression value") << ok + "insert into MagUser (MagIdx,UserName) values(1,(select 1));\r\n"
                                          << "insert into MagUser (MagIdx,UserName) values(1,(select 1));";
        QTest::newRow("double-quoted value") << ok + "insert into MagUser (MagIdx,UserName) values(1,\"x\");\r\n"
                                             << "insert into MagUser (MagIdx,UserName) values(1,\"x\");";
        QTest::newRow("two statements on a line") << ok + "delete from Magzine; delete from MagInfo;\r\n"
                                                  << "delete from Magzine; delete from MagInfo;";
        QTest::newRow("statement after a value")
            << ok + "insert into MagUser (MagIdx,UserName) values(1,'x');drop table Magzine;\r\n"
            << "insert into MagUser (MagIdx,UserName) values(1,'x');drop table Magzine;";
        QTest::newRow("quoted table") << ok + "delete from \"Magzine\";\r\n" << "delete from \"Magzine\";";
        QTest::newRow("unknown column") << ok + "insert into MagUser (MagIdx,Nope) values(1,2);\r\n"
                                        << "insert into MagUser (MagIdx,Nope) values(1,2);";
        QTest::newRow("delivery record with unknown column")
            << ok + "delete from SendState;\r\ninsert into SendState (MagIdx,MagCnt,MagUser,Nope) values(1,1,77,2);\r\n"
            << "insert into SendState (MagIdx,MagCnt,MagUser,Nope) values(1,1,77,2);";
        QTest::newRow("delivery lock") << ok + "insert into SendLock (MagIdx,MagCnt,Host,Pid) values(1,1,'h',1);\r\n"
                                       << "insert into SendLock (MagIdx,MagCnt,Host,Pid) values(1,1,'h',1);";
        QTest::newRow("cut short") << ok + "insert into MagUser (MagIdx,UserName) values(1,'never\r\nended"
                                   << "insert into MagUser (MagIdx,UserName) values(1,'never\r\nended";
        QTest::newRow("rows cut in the middle")
            << ok + "insert into MagUser (MagIdx,UserIdx,UserName) values(1,5,'a'),(1,6,'b'),(1,7,"
            << "insert into MagUser (MagIdx,UserIdx,UserName) values(1,5,'a'),(1,6,'b'),(1,7,";
        QTest::newRow("rows cut after a comma")
            << ok + "insert into MagUser (MagIdx,UserIdx,UserName) values(1,5,'a'),\r\n"
            << "insert into MagUser (MagIdx,UserIdx,UserName) values(1,5,'a'),\r\n";
        QTest::newRow("row with a value too few")
            << ok + "insert into MagUser (MagIdx,UserIdx,UserName) values(1,5,'a'),(1,6);\r\n"
            << "insert into MagUser (MagIdx,UserIdx,UserName) values(1,5,'a'),(1,6);";
        QTest::newRow("row with a value too many")
            << ok + "insert into MagUser (MagIdx,UserIdx,UserName) values(1,5,'a'),(1,6,'b',7);\r\n"
            << "insert into MagUser (MagIdx,UserIdx,UserName) values(1,5,'a'),(1,6,'b',7);";
        QTest::newRow("expression in a later row")
            << ok + "insert into MagUser (MagIdx,UserIdx,UserName) values(1,5,'a'),(1,6,'b'||'c');\r\n"
            << "insert into MagUser (MagIdx,UserIdx,UserName) values(1,5,'a'),(1,6,'b'||'c');";
        QTest::newRow("sub-select in a later row")
            << ok + "insert into MagUser (MagIdx,UserIdx,UserName) values(1,5,'a'),(1,6,(select MagName from Magzine));\r\n"
            << "insert into MagUser (MagIdx,UserIdx,UserName) values(1,5,'a'),(1,6,(select MagName from Magzine));";
        QTest::newRow("rows into a table not carried")
            << ok + "insert into SendLock (MagIdx,MagCnt,Host,Pid) values(1,1,'h',1),(1,2,'h',2);\r\n"
            << "insert into SendLock (MagIdx,MagCnt,Host,Pid) values(1,1,'h',1),(1,2,'h',2);";
        QTest::newRow("rows into the schema")
            << ok + "insert into sqlite_master (type,name) values('table','x'),('index','y');\r\n"
            << "insert into sqlite_master (type,name) values('table','x'),('index','y');";
        QTest::newRow("no backup at all") << "just some text\r\nwithout statements\r\n"
                                          << "just some text\r\nwithout statements\r\n";
        QTest::newRow("value line ending in ; cut by hand")
            << "insert into MagUser (MagIdx,UserName) values(1,'a;\r\nb');\r\ninsert into MagUser (MagIdx,UserName) values(1,'c\r\n;\r\nd\r\n"
            << "insert into MagUser (MagIdx,UserName) values(1,'c\r\n;\r\nd\r\n";
    }
    void restoreRefusesForeignStatements()
    {
        QFETCH(QString, script);
        QFETCH(QString, refused);
        addMember(1, 1, "kept", "kept@example.jp");
        Statement().exec("insert into SendState (MagIdx,MagCnt,MagUser,State) values(1,1,1,3)");
        const QStringList before = dump();
        const QStringList ownBefore = ownDump();
        QByteArray bytes = Codec::toCp932(script);
        QBuffer in(&bytes);
        in.open(QIODevice::ReadOnly);
        TextLineReader reader(in);
        const RestoreOutcome out = RestoreBackup(reader);
        QVERIFY(!out.ok);
        QCOMPARE(out.buffer.trimmed(), refused.trimmed());
        QCOMPARE(dump(), before);
        QCOMPARE(ownDump(), ownBefore);
    }

    // Text typed on Linux with CP932 codes of their own keeps the backup in CP932; the
    // restore brings them back in their Windows forms.
    void backupOfTypedFormsIsCp932()
    {
        addMember(1, 1, "〜‖−¢£¬", "t@example.jp");
        QTemporaryDir dir;
        const BackupOutcome written = backupTo(dir.filePath("b.bak"));
        QVERIFY(written.ok);
        QVERIFY(!written.utf8);
        QVERIFY(readFile(dir.filePath("b.bak")).contains("'\x81\x60\x81\x61\x81\x7C\x81\x91\x81\x92\x81\xCA'"));
        QFile file(dir.filePath("b.bak"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        TextLineReader reader(file);
        QVERIFY(RestoreBackup(reader).ok);
        QCOMPARE(members(1).value(0).section('|', 1, 1), QStringLiteral("～∥－￠￡￢"));
    }

    // A statement longer than any a backup writes is refused as soon as it is read that
    // far: the rest of the file is never buffered, and the whole restore is undone.
    void restoreRefusesOverlongStatementEarly_data()
    {
        QTest::addColumn<QByteArray>("piece");
        QTest::newRow("one line without end") << QByteArray("xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx");
        QTest::newRow("lines without ;") << QByteArray("some text of a line\r\n");
        QTest::newRow("; at line ends inside quotes") << QByteArray("a value that goes on;\r\n");
    }
    void restoreRefusesOverlongStatementEarly()
    {
        QFETCH(QByteArray, piece);
        addMember(1, 1, "kept", "kept@example.jp");
        const QStringList before = dump();
        const QByteArray head = "delete from Maguser;\r\ninsert into MagUser (MagIdx,UserIdx,UserName) values(1,2,'";
        GeneratedScript in(head, piece, kLongestBackupStatement + (48 << 20));
        TextLineReader reader(in);
        const RestoreOutcome out = RestoreBackup(reader);
        QVERIFY(!out.ok);
        QCOMPARE(out.error, QStringLiteral("バックアップファイルの文としては長すぎます。"));
        QVERIFY(out.buffer.startsWith("insert into MagUser (MagIdx,UserIdx,UserName) values(1,2,'"));
        QVERIFY(out.buffer.size() <= kLongestBackupStatement);
        QVERIFY2(in.served() < kLongestBackupStatement + (8 << 20), qPrintable(QString::number(in.served())));
        QCOMPARE(dump(), before);
    }

    // The backup never writes what its restore would refuse: a row too long for that
    // fails the backup, and the file it would replace stays.
    void backupRefusesRowLongerThanRestoreTakes()
    {
        StoreFixture::insert("MagUser", {{"MagIdx", 1},
                                         {"UserIdx", 5},
                                         {"UserAdrs", "long@example.jp"},
                                         {"UserName", QString(kLongestBackupStatement, QLatin1Char('x'))}});
        QTemporaryDir dir;
        const QString path = dir.filePath("b.bak");
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("old");
        }
        const BackupOutcome out = backupTo(path);
        QVERIFY(!out.ok);
        QVERIFY2(out.error.contains("MagUser"), qPrintable(out.error));
        // the member, so that it can be found and shortened
        QVERIFY2(out.error.contains(QStringLiteral("マガジン番号 1、メンバー番号 5、アドレス long@example.jp")),
                 qPrintable(out.error));
        QCOMPARE(readFile(path), QByteArray("old"));
    }

    // What the paths that bring values in measure is the statement the backup writes for
    // the row, to the character: quotes doubled, NULL, negative numbers.
    void rowLengthIsTheBackupStatement()
    {
        StoreFixture::addMember(1, 7, "O'Reilly ''; x", "o'@example.jp",
                                {{"url", "u'"}, {"Flg2", 1}, {"Count1", -12}, {"Count2", 3}, {"UserDate1", "20240101"}});
        QTemporaryDir dir;
        QVERIFY(backupTo(dir.filePath("b.bak")).ok);
        const QStringList inserts =
            Codec::fromCp932(readFile(dir.filePath("b.bak"))).split("\r\n").filter("insert into MagUser (");
        QCOMPARE(inserts.size(), 1);
        const std::optional<MemberRecord> m = MemberSql::load(1, 7);
        QVERIFY(m);
        QCOMPARE(BackupScript::rowStatementLength("MagUser", MemberSql::columnValues(*m)), inserts.first().size());
    }

    // A line whose member a backup could not carry is left out and named in the log, as a
    // line with a bad address is; one character less goes in. An update counts what the
    // member already holds.
    void importRefusesWhatBackupCannotCarry_data()
    {
        QTest::addColumn<int>("over");     // characters beyond the longest name that fits
        QTest::addColumn<int>("storedUrl"); // the url the member holds already; -1: no member yet
        QTest::addColumn<QString>("named"); // the item the log names; empty: imported
        QTest::newRow("new member, fits") << 0 << -1 << "";
        QTest::newRow("new member, one over") << 1 << -1 << "メンバー名";
        QTest::newRow("update, alone fits") << 0 - (20 << 20) << 0 << "";
        QTest::newRow("update, over with the stored url") << 0 - (20 << 20) << (20 << 20) + 100 << "url";
    }
    void importRefusesWhatBackupCannotCarry()
    {
        QFETCH(int, over);
        QFETCH(int, storedUrl);
        QFETCH(QString, named);
        const QString address = QStringLiteral("a@example.jp");
        if (storedUrl >= 0)
            StoreFixture::addMember(1, 1, "before", address, {{"url", QString(storedUrl, QLatin1Char('u'))}});
        const QString today = kToday.toString("yyyyMMdd");
        const QVariantList base{1, std::numeric_limits<qint64>::max(), "", address, QVariant(), 0, 0, 0, 0, 0, 0,
                                today, today, today};
        const qsizetype fits = kLongestBackupStatement - BackupScript::rowStatementLength("MagUser", base);
        const QString name(fits + over, QLatin1Char('n'));
        ImportSettings s;
        s.order = {0, 1};
        s.heading = false;
        const Run run = import(1, name.toLatin1() + "," + address.toLatin1() + "\r\n", s);
        const bool refused = !named.isEmpty();
        QCOMPARE(run.outcome.tooLong, refused ? 1 : 0);
        QCOMPARE(run.outcome.rejected, 0);
        QVERIFY(!run.outcome.stopped);
        QCOMPARE(run.log, refused ? QStringLiteral("line 1  a@example.jp  「%1」が長すぎます(バックアップできない長さです)\r\n").arg(named)
                                  : QString());
        const std::optional<MemberRecord> m = MemberSql::load(1, 1);
        QCOMPARE(m.has_value(), !(refused && storedUrl < 0));
        if (m)
            QCOMPARE(m->name.size(), refused ? 6 : name.size());
        QTemporaryDir dir;
        const BackupOutcome backup = backupTo(dir.filePath("b.bak"));
        QVERIFY2(backup.ok, qPrintable(backup.error));
    }

    // A backup taken while a delivery ran: its mail in doubt becomes unknown, its reserved
    // recipients wait again, a departed member's open row is skipped, and rows that name no
    // issue or member or hold a state never written are not restored; the outcome counts
    // each. A restore that fails leaves every row as it was.
    void restoreSettlesMidDeliveryBackup()
    {
        for (int i = 1; i <= 6; ++i)
            addMember(1, i, QStringLiteral("会員%1").arg(i), QStringLiteral("m%1@example.jp").arg(i));
        StoreFixture::addIssue(1, 1, {.addDate = "2024/06/01 10:00:00"});
        StoreFixture::addIssue(1, 2, {.addDate = "2024/06/02 10:00:00"});
        for (int i = 1; i <= 7; ++i) // 7 has left since
            StoreFixture::addRecipient(1, 1, i);
        StoreFixture::addRecipient(1, 2, 1);
        SendStates::seed(1, 1);
        SendStates::seed(1, 2);
        const auto set = [](int cnt, int member, int state, const QVariant &nextTry) {
            PreparedStatement u(QStringLiteral("update SendState set State = ?, NextTry = ?, Reply = 'r'"
                                               " where MagIdx = 1 and MagCnt = ? and MagUser = ?"));
            u.run({state, nextTry, cnt, member});
        };
        set(1, 1, 1, {});
        set(1, 2, 7, {});
        set(1, 3, 7, 2000000000);
        set(1, 4, 2, {});
        set(1, 6, 3, 2000000000);
        set(2, 1, 12, {});
        Statement().exec("insert into SendState (MagIdx,MagCnt,MagUser,State) values (1,1,8,0),(1,9,1,0)");
        const auto rows = [] {
            QStringList out;
            Statement st;
            st.open("select MagCnt,MagUser,State,ifnull(Reply,''),ifnull(NextTry,'') from SendState order by 1,2");
            while (st.next())
                out << QStringList{st.text(0), st.text(1), st.text(2), st.text(3), st.text(4)}.join('|');
            return out;
        };
        const QStringList asTaken = rows();
        QTemporaryDir dir;
        QVERIFY(backupTo(dir.filePath("b.bak")).ok);

        // a failed restore changes nothing
        QFile broken(dir.filePath("broken.bak"));
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write(readFile(dir.filePath("b.bak")) + "insert into MagUser (MagIdx,UserIdx,UserIdx) values(1,2,3);\r\n");
        broken.close();
        QVERIFY(!restoreFrom(broken.fileName()).ok);
        QCOMPARE(rows(), asTaken);

        SendStates::cancelOpen(1, 1);
        const RestoreOutcome out = restoreFrom(dir.filePath("b.bak"));
        QVERIFY2(out.ok, qPrintable(out.error + " / " + out.buffer));
        QCOMPARE(rows(), QStringList({"1|1|6|中断により結果不明|", "1|2|0|r|", "1|3|3|r|2000000000", "1|4|2|r|",
                                      "1|5|0||", "1|6|3|r|2000000000", "1|7|5|メンバー削除|"}));
        QCOMPARE(out.settlement.interrupted, 1);
        QCOMPARE(out.settlement.reserved, 2);
        QCOMPARE(out.settlement.departed, 1);
        QCOMPARE(out.settlement.dropped, 3);
        const QString text = RestoreSettlementText(out.settlement);
        for (const QString &part : {QStringLiteral("送信中だった 1 人"), QStringLiteral("予約されていた 2 人"),
                                    QStringLiteral("「スキップ」"), QStringLiteral("3 件は復元しませんでした")})
            QVERIFY2(text.contains(part), qPrintable(text));
        QCOMPARE(Statement().scalar("select SendComplete from MagHist where MagIdx = 1 and MagCnt = 1 and MagUser = 7"), 1);

        // a backup of a store at rest has nothing to say
        QVERIFY(backupTo(dir.filePath("c.bak")).ok);
        const RestoreOutcome again = restoreFrom(dir.filePath("c.bak"));
        QVERIFY(again.ok);
        QVERIFY(!again.settlement.any());
        QVERIFY(RestoreSettlementText(again.settlement).isEmpty());
    }

    void restoreRollsBackOnEngineError()
    {
        addMember(1, 1, "kept", "kept@example.jp");
        const QStringList before = dump();
        // the second insert names a column twice, which the engine rejects
        QByteArray bytes = Codec::toCp932("delete from Maguser;\r\ninsert into MagUser (MagIdx,UserIdx) values(1,2);\r\n"
                                          "insert into MagUser (MagIdx,UserIdx,UserIdx) values(1,3,4);\r\n");
        QBuffer in(&bytes);
        in.open(QIODevice::ReadOnly);
        TextLineReader reader(in);
        const RestoreOutcome out = RestoreBackup(reader);
        QVERIFY(!out.ok);
        QCOMPARE(dump(), before);
    }

    void restoreLeavesEmptyLinesHarmless()
    {
        QByteArray bytes = Codec::toCp932("\r\n\r\ndelete from Maguser;\r\n\r\n\r\ninsert into MagUser (MagIdx,UserIdx,UserName) "
                                          "values(1,5,'a\r\n\r\nb');\r\n\r\n");
        addMember(1, 1, "gone", "g@example.jp");
        QBuffer in(&bytes);
        in.open(QIODevice::ReadOnly);
        TextLineReader reader(in);
        const RestoreOutcome out = RestoreBackup(reader);
        QVERIFY2(out.ok, qPrintable(out.error));
        QCOMPARE(out.statements, 2);
        QCOMPARE(Statement().scalar("select count(*) from MagUser"), 1);
        Statement s;
        s.open("select UserName from MagUser");
        QVERIFY(s.next());
        QCOMPARE(s.text(0), QStringLiteral("a\r\n\r\nb"));
    }

    void isBackupStatement_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::newRow("delete") << "delete from Maguser;" << true;
        QTest::newRow("delete any case") << "\r\nDELETE FROM magzine;" << true;
        QTest::newRow("insert") << "insert into CommonTBL (key1,key2,str1) values(100,-1,'a''b');" << true;
        QTest::newRow("insert real") << "insert into CommonTBL (key1,int1) values(1,2.5e3);" << true;
        QTest::newRow("null") << "insert into CommonTBL (key1,str1) values(1,NULL);" << true;
        QTest::newRow("count mismatch") << "insert into CommonTBL (key1,str1) values(1);" << false;
        QTest::newRow("no semicolon") << "delete from Maguser" << false;
        QTest::newRow("comment") << "delete from Maguser; -- x" << false;
        QTest::newRow("function value") << "insert into CommonTBL (key1) values(abs(1));" << false;
        QTest::newRow("no column list") << "insert into CommonTBL values(1,2,3,4,5,'a','b','c');" << false;
        QTest::newRow("statement after a value") << "insert into CommonTBL (key1,str1) values(1,'a');drop table MagUser;"
                                                 << false;
        QTest::newRow("statement after a text's end") << "insert into CommonTBL (str1) values('a'); delete from MagUser;"
                                                      << false;
        QTest::newRow("sub-select value") << "insert into CommonTBL (key1) values((select max(UserIdx) from MagUser));"
                                          << false;
        QTest::newRow("joined texts") << "insert into CommonTBL (str1) values('a'||'b');" << false;
        QTest::newRow("blob value") << "insert into CommonTBL (str1) values(x'00');" << false;
        QTest::newRow("sum value") << "insert into CommonTBL (key1) values(1+1);" << false;
        QTest::newRow("two rows") << "insert into CommonTBL (key1) values(1),(2);" << true;
        QTest::newRow("two rows across lines") << "insert into CommonTBL (key1,str1) values(1,'a;\r\n'),\r\n(2,'b');" << true;
        QTest::newRow("second row short") << "insert into CommonTBL (key1,str1) values(1,'a'),(2);" << false;
        QTest::newRow("second row long") << "insert into CommonTBL (key1) values(1),(2,3);" << false;
        QTest::newRow("rows without comma") << "insert into CommonTBL (key1) values(1)(2);" << false;
        QTest::newRow("row left open") << "insert into CommonTBL (key1) values(1),(2;" << false;
        QTest::newRow("comma after the last row") << "insert into CommonTBL (key1) values(1),;" << false;
        QTest::newRow("sub-select in a later row")
            << "insert into CommonTBL (key1) values(1),((select max(UserIdx) from MagUser));" << false;
        QTest::newRow("expression in a later row") << "insert into CommonTBL (key1) values(1),(-1-1);" << false;
        QTest::newRow("select after the rows") << "insert into CommonTBL (key1) values(1) select 1;" << false;
        QTest::newRow("lowest integer") << "insert into CommonTBL (key1) values(-9223372036854775808);" << true;
        QTest::newRow("integer below the lowest") << "insert into CommonTBL (key1) values(-9223372036854775809);" << false;
        QTest::newRow("sign alone") << "insert into CommonTBL (key1) values(-);" << false;
        QTest::newRow("hexadecimal") << "insert into CommonTBL (key1) values(0x10);" << false;
        QTest::newRow("double-quoted table") << "delete from \"MagUser\";" << false;
        QTest::newRow("single-quoted table") << "delete from 'MagUser';" << false;
        QTest::newRow("bracketed table") << "insert into [MagUser] (MagIdx) values(1);" << false;
        QTest::newRow("quoted column") << "insert into MagUser (\"MagIdx\") values(1);" << false;
        QTest::newRow("schema table") << "delete from main.MagUser;" << false;
        QTest::newRow("block comment") << "delete from MagUser /* x */;" << false;
        QTest::newRow("text left open") << "insert into CommonTBL (str1) values('a);" << false;
        QTest::newRow("number too large") << "insert into CommonTBL (key1) values(99999999999999999999);" << false;
    }
    void isBackupStatement()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QCOMPARE(BackupScript::isStatement(text), ok);
    }
};

QTEST_GUILESS_MAIN(TestExchange)
#include "tst_maintenance_exchange.moc"
