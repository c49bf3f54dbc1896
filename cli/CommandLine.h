#pragma once
// The program run without a window: "deliver", "resume", "status", "inbox", "magazines",
// "members" or "check-condition" as the first argument, or "--help" alone.
// Messages go to stderr in Japanese; the status and the listings to stdout.
#include <optional>

// The exit status of the command given, or nullopt when the arguments name none (the
// window starts then). 0: every recipient ended sent or skipped; 3: some failed, are deferred
// or unknown; 2: could not start (store, server, lock); 1: refused arguments. "inbox": 0 the
// mailbox was processed; 2 the store or the server could not be reached; 1 refused arguments.
std::optional<int> RunCommandLine(int argc, char **argv);
