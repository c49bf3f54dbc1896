#pragma once
// Removing from a magazine every member whose address is listed in a text file, one
// address per line.
#include "maintenance/LineJobOutcome.h"

#include <QString>

#include <functional>

class TextLineReader;

struct RemoveOutcome : LineJobOutcome {
    int removed = 0;      // members deleted
};

// Each non-empty line is an address, used exactly as read (no trimming); the store's
// text comparison decides whether it matches. progress gets the line counter after each
// line. Lines are grouped into transactions; on a failure what the lines before it did
// is kept and the removal stops.
RemoveOutcome RemoveListedMembers(int magIdx, TextLineReader &lines, const std::function<void(int)> &progress);
