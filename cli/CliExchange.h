#pragma once
// The commands that move members and the whole store in and out of files: import,
// export, remove-list, backup and restore. Each runs the unit the window runs, with the
// same options, and answers with the command line's exit statuses. Their input files are
// opened (and a line file counted) before the store is.
#include "cli/CliCommon.h"

class QCommandLineParser;

namespace Cli {

// export and remove-list take --magazine alone (addMagazineOption), backup no option.
void addImportOptions(QCommandLineParser &parser);
CommandStart startImport(const QCommandLineParser &parser);
CommandStart startExport(const QCommandLineParser &parser);
CommandStart startRemoveList(const QCommandLineParser &parser);
CommandStart startBackup(const QCommandLineParser &parser);
void addRestoreOptions(QCommandLineParser &parser);
CommandStart startRestore(const QCommandLineParser &parser);

} // namespace Cli
