#pragma once
// The commands of the command line, one row each: its name, its part of the usage text, its
// options, how it starts and whether it works on the store. This table is the only list of
// them: the dispatch, the usage and the help of every command are read from it.
#include "cli/CliCommon.h"

#include <QList>
#include <QString>

class QCommandLineParser;

namespace Cli {

struct CommandRow {
    QString name;
    // Its part of the usage: the synopsis line, then its explanation, every line ending with
    // a line break.
    QString usage;
    // Adds its options to the parser (-h/--help is there already); null when it has none.
    void (*addOptions)(QCommandLineParser &);
    // Checks the parsed arguments and returns the work, or nullopt having said why.
    CommandStart (*start)(const QCommandLineParser &);
    // The work runs on the store the window uses, opened first; a StoreError it throws ends
    // it with exit status 2.
    bool needsStore;
    // Arguments after the options (a file, a condition); without, any is refused.
    bool takesArguments;
};

class CommandTable
{
public:
    static const QList<CommandRow> &rows();
    // The row named exactly this; null when there is none.
    static const CommandRow *find(const QString &name);

    // "使い方:", the usage of every command and the exit statuses.
    static QString usage();
    // "使い方:", the usage of this command and the exit statuses.
    static QString usage(const CommandRow &row);
};

// Says on stderr that no command has this name, then the usage.
void sayUnknownCommand(const QString &name);

} // namespace Cli
