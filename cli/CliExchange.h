#pragma once
// The commands that move members and the whole store in and out of files: import,
// export, remove-list, backup and restore. Each runs the unit the window runs, with the
// same options, and answers with the command line's exit statuses.
#include <QString>

class QCommandLineParser;

namespace Cli {

bool isExchangeCommand(const QString &command);
// Adds the options and the file argument of the command to the parser.
void addExchangeOptions(const QString &command, QCommandLineParser &parser);
// Runs the command with the parsed arguments; returns its exit status.
int runExchange(const QString &command, const QCommandLineParser &parser);

} // namespace Cli
