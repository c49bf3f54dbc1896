#pragma once
// "inbox": the replies in the POP3 mailbox processed as the window processes them
// (unsubscribe requests and bounces), with the inbox settings kept in the store.
#include "cli/CliCommon.h"

class QCommandLineParser;

namespace Cli {

void addInboxOptions(QCommandLineParser &parser);
// Exit status 0 the mailbox was processed, 2 the store or the server could not be reached,
// 1 refused arguments.
CommandStart startInbox(const QCommandLineParser &parser);

} // namespace Cli
