#pragma once
// What "magazines" and "members" print: the magazines with their member counts, and one
// magazine's members, for people (tab-separated), as CSV or as JSON. Output is UTF-8.
#include "cli/CliCommon.h"

#include <QByteArray>

enum class ListingFormat { Text, Csv, Json };

// Every magazine: MagIdx, name and number of members. Throws StoreError.
QByteArray MagazineListing(ListingFormat format);
// The members of a magazine in the order the store gives them (as the member list): UserIdx, name, address, url, suspended,
// the three flags, the two counters, the two dates and the sign-up date. Throws StoreError.
QByteArray MemberListing(int magIdx, ListingFormat format);

namespace Cli {

// "magazines" and "members": the listings on stdout in the --format asked for. Exit status 0
// written, 2 the store could not be read, 1 refused arguments (an unknown magazine too).
void addMagazinesOptions(QCommandLineParser &parser);
CommandStart startMagazines(const QCommandLineParser &parser);
void addMembersOptions(QCommandLineParser &parser);
CommandStart startMembers(const QCommandLineParser &parser);

} // namespace Cli
