// The command line as one table of commands, end to end on the real binary run as cron runs
// it (no display, no Qt platform): every command's help, "help COMMAND", a first word that
// names no command, misspelt options, and the store opened for each command that needs it.
#include "fakes/RunProgram.h"
#include "fakes/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QtTest>

namespace {

// The commands the README and the manual page name.
const QStringList kCommands = {"send",  "deliver", "resume", "status",      "magazines", "members", "check-condition",
                               "inbox", "import",  "export", "remove-list", "backup",    "restore", "help"};

// The names of the synopsis lines ("  tsubame NAME ...") of a usage text, in order.
QStringList synopsisNames(const QString &usage)
{
    static const QRegularExpression synopsis(QStringLiteral("^  tsubame ([^ ]+)"), QRegularExpression::MultilineOption);
    QStringList names;
    for (QRegularExpressionMatchIterator it = synopsis.globalMatch(usage); it.hasNext();)
        names << it.next().captured(1);
    return names;
}

ProgramResult runAsCron(const QStringList &args)
{
    return RunProgram(args, CronEnvironment());
}

} // namespace

class TestCliCommands : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestEnv> env;

    QString file(const QString &name, const QByteArray &bytes)
    {
        const QString path = env->home() + "/" + name;
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

private Q_SLOTS:
    // No store: a command that opened it would say so and exit 2.
    void init() { env = std::make_unique<TestEnv>(); }
    void cleanup() { env.reset(); }

    // The usage lists every command once, in the table's order, and says how the window starts.
    void usageListsEveryCommand()
    {
        const ProgramResult r = runAsCron({"--help"});
        QCOMPARE(r.code, 0);
        const QString usage = QString::fromUtf8(r.out);
        QCOMPARE(synopsisNames(usage), kCommands);
        QVERIFY(usage.contains(QStringLiteral("終了コード:")));
        QVERIFY(usage.contains(QStringLiteral("引数なしで起動すると画面が開きます")));
        QVERIFY2(r.err.isEmpty(), qPrintable(r.err));
    }

    // "COMMAND --help", "COMMAND -h" and "help COMMAND" print that command's usage alone on
    // stdout, with the exit statuses, without the store.
    void commandHelp_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QStringList>("args");
        for (const QString &command : kCommands) {
            QTest::addRow("%s --help", qPrintable(command)) << command << QStringList{command, "--help"};
            QTest::addRow("%s -h", qPrintable(command)) << command << QStringList{command, "-h"};
            QTest::addRow("help %s", qPrintable(command)) << command << QStringList{"help", command};
        }
    }
    void commandHelp()
    {
        QFETCH(QString, command);
        QFETCH(QStringList, args);
        const ProgramResult r = runAsCron(args);
        QVERIFY2(r.code == 0, qPrintable(r.err));
        const QString usage = QString::fromUtf8(r.out);
        QVERIFY2(usage.startsWith(QStringLiteral("使い方:\n  tsubame ") + command), qPrintable(usage));
        QCOMPARE(synopsisNames(usage), QStringList{command});
        QVERIFY(usage.contains(QStringLiteral("終了コード:")));
        QVERIFY2(r.err.isEmpty(), qPrintable(r.err));
    }

    // A first word that names no command prints the usage on stderr and exits 1 without a
    // window (without a display a window would end with status 2). An option first, or no
    // argument at all, is still the window's.
    void firstWord_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        QTest::newRow("misspelt command")
            << QStringList{"sned", "--magazine", "x"} << 1 << QStringLiteral("「sned」というコマンドはありません。");
        QTest::newRow("command in capitals")
            << QStringList{"STATUS"} << 1 << QStringLiteral("「STATUS」というコマンドはありません。");
        QTest::newRow("a file name first")
            << QStringList{"members.csv"} << 1 << QStringLiteral("「members.csv」というコマンドはありません。");
        QTest::newRow("help for no command")
            << QStringList{"help", "sned"} << 1 << QStringLiteral("「sned」というコマンドはありません。");
        QTest::newRow("no argument") << QStringList{} << 2 << QStringLiteral("画面(ディスプレイ)がありません");
        QTest::newRow("a window option") << QStringList{"-style", "fusion"} << 2
                                         << QStringLiteral("画面(ディスプレイ)がありません");
    }
    void firstWord()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, message);
        const ProgramResult r = runAsCron(args);
        QCOMPARE(r.code, code);
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
        QCOMPARE(r.out, QByteArray());
        // the usage comes with a refusal, never with the window's own message
        QCOMPARE(r.err.contains(QStringLiteral("使い方:\n")), code == 1);
        if (code == 1)
            QCOMPARE(synopsisNames(r.err), kCommands);
    }

    // An option the command does not take, or one without its value, is refused by name in
    // Japanese with that command's usage, before the store is opened.
    void refusedOptions_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("usageOf");
        const QStringList none;
        QTest::newRow("status --jsn") << QStringList{"status", "--jsn"}
                                      << QStringLiteral("--jsn というオプションはありません。")
                                      << QStringList{"status"};
        QTest::newRow("import --magzine")
            << QStringList{"import", "--magzine", "週刊ツバメ", "in.csv"}
            << QStringLiteral("--magzine というオプションはありません。") << QStringList{"import"};
        QTest::newRow("single dash word")
            << QStringList{"resume", "-al"} << QStringLiteral("-al というオプションはありません。")
            << QStringList{"resume"};
        QTest::newRow("one letter") << QStringList{"magazines", "-x"}
                                    << QStringLiteral("-x というオプションはありません。") << QStringList{"magazines"};
        QTest::newRow("another command's option")
            << QStringList{"backup", "--yes", "out.bak"} << QStringLiteral("--yes というオプションはありません。")
            << QStringList{"backup"};
        QTest::newRow("value missing") << QStringList{"deliver", "--issue", "1", "--magazine"}
                                       << QStringLiteral("--magazine には値を指定してください。")
                                       << QStringList{"deliver"};
        QTest::newRow("value to a switch") << QStringList{"inbox", "--keep=yes"}
                                           << QStringLiteral("--keep に値は指定できません。") << QStringList{"inbox"};
        QTest::newRow("argument to a command without")
            << QStringList{"status", "extra"} << QStringLiteral("余分な引数があります: extra") << none;
        QTest::newRow("help for two commands")
            << QStringList{"help", "send", "status"} << QStringLiteral("コマンド名を一つ指定してください。") << none;
    }
    void refusedOptions()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        QFETCH(QStringList, usageOf);
        const ProgramResult r = runAsCron(args);
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.startsWith(message + u'\n'), qPrintable(r.err));
        QCOMPARE(synopsisNames(r.err), usageOf);
        QVERIFY2(!r.err.contains(QStringLiteral("データベースがありません")), qPrintable(r.err));
        QCOMPARE(r.out, QByteArray());
    }

    // Every command that works on the store, its arguments accepted, opens it in the one
    // place that answers a missing store: the same message and exit status 2 for each.
    void missingStoreForEveryStoreCommand_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("send") << QStringList{"send", "--magazine",  "週刊ツバメ", "--subject",
                                             "件名", "--body-file", "@body.txt"};
        QTest::newRow("deliver") << QStringList{"deliver", "--magazine", "週刊ツバメ", "--issue", "1"};
        QTest::newRow("resume") << QStringList{"resume", "--all"};
        QTest::newRow("status") << QStringList{"status", "--json"};
        QTest::newRow("magazines") << QStringList{"magazines"};
        QTest::newRow("members") << QStringList{"members", "--magazine", "週刊ツバメ"};
        QTest::newRow("check-condition") << QStringList{"check-condition", "--magazine", "週刊ツバメ", "[購読中] = 1"};
        QTest::newRow("inbox") << QStringList{"inbox"};
        QTest::newRow("import") << QStringList{"import", "--magazine", "週刊ツバメ", "@in.csv"};
        QTest::newRow("export") << QStringList{"export", "--magazine", "週刊ツバメ", "@out.csv"};
        QTest::newRow("remove-list") << QStringList{"remove-list", "--magazine", "週刊ツバメ", "@list.txt"};
        QTest::newRow("backup") << QStringList{"backup", "@out.bak"};
        QTest::newRow("restore") << QStringList{"restore", "@in.bak", "--yes"};
    }
    void missingStoreForEveryStoreCommand()
    {
        QFETCH(QStringList, args);
        file("body.txt", "本文\n");
        file("in.csv", "名前,a@example.jp\n");
        file("list.txt", "a@example.jp\n");
        file("in.bak", "delete from Magzine;\n");
        for (QString &arg : args)
            if (arg.startsWith(u'@'))
                arg = env->home() + "/" + arg.mid(1);
        const ProgramResult r = runAsCron(args);
        QVERIFY2(r.code == 2, qPrintable(r.err));
        QVERIFY2(r.err.startsWith(QStringLiteral("データベースがありません: ")), qPrintable(r.err));
        QVERIFY(!QFileInfo::exists(env->home() + "/out.csv"));
        QVERIFY(!QFileInfo::exists(env->home() + "/out.bak"));
    }
};

QTEST_MAIN(TestCliCommands)
#include "tst_cli_commands.moc"
