#pragma once
// "check-condition": a free condition written with a magazine's field names, checked as a send
// checks it, and the form it runs in printed on stdout; or why it is refused.
#include "cli/CliCommon.h"

class QCommandLineParser;

namespace Cli {

// Takes --magazine (addMagazineOption) and the condition. Exit status 0 a sound condition, 1 a condition in error or refused arguments, 2 the store
// could not be read.
CommandStart startCheckCondition(const QCommandLineParser &parser);

} // namespace Cli
