#pragma once
// The program run without a window: a command of the command table as the first argument
// (CommandTable.h), or "--help" alone. Messages go to stderr in Japanese; the status, the
// listings and the help to stdout.
#include <optional>

// The exit status of the command given, or nullopt when there is none and the window starts:
// no argument, or an option first (the toolkit's own options belong to the window). A first
// word that names no command prints the usage on stderr (exit 1). The exit statuses are the
// command line's (CliCommon.h): 0 done, 1 refused arguments, 2 could not start (the store,
// the server, a lock), 3 partly done.
std::optional<int> RunCommandLine(int argc, char **argv);
