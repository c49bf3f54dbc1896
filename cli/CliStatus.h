#pragma once
// What "status" prints: every issue with per-recipient records, its state and counts, who
// delivers it when a live delivery holds it, and its deferred, failed and unknown recipients
// with their last replies. The answer is written as it is read, the recipients a page at a
// time, so an issue with a million failures costs no more memory than one with ten.
#include "cli/CliCommon.h"
#include "store/SendStates.h"

#include <QByteArray>

#include <functional>
#include <optional>

struct StatusOptions {
    bool json = false;
    std::optional<qint64> limit;  // recipients listed per issue; the counts stay whole
};

// Receives the answer piece by piece, in order.
using StatusSink = std::function<void(const QByteArray &)>;

// Reads the issues of every magazine, newest first, and writes them to out:
// {"issues":[{"magazine","MagIdx","issue","title","date","state","holder","counts":{...},
//  "recipients":[{"address","name","state","attempts","nextTry","reply"}]}]}
// ("holder" is {"host","pid","since","heartbeat"} or null), or the same for people, one
// block per issue. Throws StoreError; what was written before stays written.
void WriteStatus(const StatusOptions &options, const StatusSink &out);

// The pieces of the JSON answer: an issue's object up to the opening of its recipient list,
// and one recipient's object, each compact and escaped by QJsonDocument.
QByteArray IssueJsonOpening(const IssueStateRow &issue, const std::optional<SendLockHolder> &holder);
QByteArray RecipientJson(const SendStateRow &row);

namespace Cli {

// "status": WriteStatus on stdout, with --json and --limit. Exit status 0 written, 2 the store
// could not be read (what was written stays), 1 refused arguments.
void addStatusOptions(QCommandLineParser &parser);
CommandStart startStatus(const QCommandLineParser &parser);

} // namespace Cli
