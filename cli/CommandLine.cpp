#include "cli/CommandLine.h"

#include "cli/CliCommon.h"
#include "cli/CommandTable.h"
#include "store/Database.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QRegularExpression>

#include <cstdio>

namespace {

using namespace Cli;

// Why the parser refused the arguments, in Japanese: the options it does not know, as they
// were written, else its own reason (a value missing or given where none is taken).
QString refusalText(const QCommandLineParser &p, const QStringList &args)
{
    if (!p.unknownOptionNames().isEmpty()) {
        QStringList written;
        for (const QString &name : p.unknownOptionNames()) {
            QString option = (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
            for (const QString &arg : args)
                if (const QString given = arg.section(u'=', 0, 0);
                    given == QStringLiteral("-") + name || given == QStringLiteral("--") + name)
                    option = given;
            written << option;
        }
        return QStringLiteral("%1 というオプションはありません。").arg(written.join(QStringLiteral("、")));
    }
    const QString text = p.errorText();
    static const QRegularExpression missing(QStringLiteral("^Missing value after '(.*)'\\.$"));
    static const QRegularExpression unexpected(QStringLiteral("^Unexpected value after '(.*)'\\.$"));
    if (const QRegularExpressionMatch m = missing.match(text); m.hasMatch())
        return QStringLiteral("%1 には値を指定してください。").arg(m.captured(1));
    if (const QRegularExpressionMatch m = unexpected.match(text); m.hasMatch())
        return QStringLiteral("%1 に値は指定できません。").arg(m.captured(1));
    return QStringLiteral("引数が正しくありません: ") + text;
}

// Runs the work, on the open store when the command needs one: the one place where the store
// is opened for a command and where its failure becomes the exit status.
int runWork(const CommandRow &row, const CommandWork &work)
{
    if (!row.needsStore)
        return work();
    if (!openStore())
        return kNotStarted;
    try {
        return work();
    } catch (const StoreError &e) {
        // what the command wrote on stdout comes before the reason it stopped
        std::fflush(stdout);
        return storeUnreadable(e);
    }
}

int runCommand(const CommandRow &row, int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser p;
    p.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("この説明を表示します。"));
    p.addOption(help);
    if (row.addOptions)
        row.addOptions(p);
    QStringList args = QCoreApplication::arguments();
    args.removeAt(1);
    if (!p.parse(args)) {
        say(refusalText(p, args));
        std::fputs(qPrintable(CommandTable::usage(row)), stderr);
        return kRefused;
    }
    if (p.isSet(help)) {
        std::fputs(qPrintable(CommandTable::usage(row)), stdout);
        return kDone;
    }
    if (!row.takesArguments && !p.positionalArguments().isEmpty()) {
        say(QStringLiteral("余分な引数があります: ") + p.positionalArguments().join(u' '));
        return kRefused;
    }
    const CommandStart work = row.start(p);
    return work ? runWork(row, *work) : kRefused;
}

} // namespace

std::optional<int> RunCommandLine(int argc, char **argv)
{
    if (argc < 2)
        return std::nullopt;
    const QString first = QString::fromLocal8Bit(argv[1]);
    if (argc == 2 && (first == QLatin1String("--help") || first == QLatin1String("-h"))) {
        std::fputs(qPrintable(CommandTable::usage()), stdout);
        return kDone;
    }
    if (first.startsWith(u'-'))
        return std::nullopt;
    const CommandRow *row = CommandTable::find(first);
    if (!row) {
        sayUnknownCommand(first);
        return kRefused;
    }
    return runCommand(*row, argc, argv);
}
