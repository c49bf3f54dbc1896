#pragma once
// "deliver" and "resume": a recorded issue delivered, and the deliveries that stopped part-way
// gone on with, each on the delivery worker as the window runs it.
#include "cli/CliCommon.h"

class QCommandLineParser;

namespace Cli {

void addDeliverOptions(QCommandLineParser &parser);
// Exit status: 0 every recipient ended sent or skipped, 3 some failed, are deferred or unknown,
// 2 could not start (store, server, or the issue is delivered elsewhere), 1 refused arguments.
CommandStart startDeliver(const QCommandLineParser &parser);

void addResumeOptions(QCommandLineParser &parser);
// As deliver, over every open issue; 2 also when a live delivery elsewhere holds one of them
// (the others are resumed first).
CommandStart startResume(const QCommandLineParser &parser);

} // namespace Cli
