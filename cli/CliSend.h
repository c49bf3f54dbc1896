#pragma once
// "send": records an issue exactly as the send page does (the same checks and messages,
// the same condition, the same statements) and delivers it; with --dry-run it records
// nothing and shows the number of recipients and the first member's mail as it would go out.
#include "cli/CliCommon.h"

class QCommandLineParser;

namespace Cli {

// The options of "send", added to the parser before it parses.
void addSendOptions(QCommandLineParser &parser);

// Exit status: 0 all sent (or a dry run shown), 1 refused input (nothing recorded), 2 the
// store or the server could not be reached (the issue, when recorded, waits for "resume"),
// 3 some recipients failed. The files named are read before the store is opened.
CommandStart startSend(const QCommandLineParser &parser);

} // namespace Cli
