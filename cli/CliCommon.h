#pragma once
// What every command of the command line shares: its exit statuses and the form of its
// work, its messages on stderr, opening the store, finding a magazine by name, a progress line
// on a terminal, and the settings and the run of one issue's delivery.
#include "mail/DeliverySummary.h"
#include "mail/UMailThread.h"
#include "store/MagazineSql.h"

#include <QString>

#include <functional>
#include <optional>

class QCommandLineParser;
struct IssueStateRow;
class StoreError;

namespace Cli {

constexpr int kDone = 0;
constexpr int kRefused = 1;    // the arguments or the input files were refused
constexpr int kNotStarted = 2; // the store or the server could not be reached, or was locked
constexpr int kSomeLeft = 3;   // partly done: some recipients or lines failed

// What a command does once its arguments were accepted; returns its exit status. It runs on
// the open store when the command needs one, and a StoreError it throws is answered there.
using CommandWork = std::function<int()>;
// A command's start: its arguments checked (and whatever else can be refused before the store
// is opened), then the work, or nullopt having said why the arguments were refused (exit 1).
using CommandStart = std::optional<CommandWork>;

// One message on stderr, its CR LF line breaks written as the terminal's.
void say(const QString &text);

// Says that the store could not be read, and why; returns kNotStarted.
int storeUnreadable(const StoreError &e);

// Opens the store the window uses, with the same checks, but never makes a new one.
// False, having said why, when there is none or it cannot be opened.
bool openStore();

// True, having said so, when the file is the store the commands use or one of the engine's
// files beside it (StoreFile::isStore): a command never writes over the store, nor reads it
// as its input. Checked before anything is opened.
bool refusedAsStore(const QString &file);

// The MagIdx of the magazine named; nullopt, having said so, when there is none.
std::optional<int> magazineNamed(const QString &name);
// The whole magazine named (its field names with it); nullopt, having said so, when there is none.
std::optional<MagazineRecord> magazineRecordNamed(const QString &name);

// A progress line rewritten in place on stderr, only when stderr is a terminal: under cron
// or in a pipe nothing is written.
class Progress
{
public:
    explicit Progress(QString label);
    ~Progress();
    void show(qint64 done, qint64 total);
    void showText(const QString &text);
    // Ends the progress line, so that a message said next starts on a line of its own.
    void breakLine();

private:
    QString m_label;
    bool m_terminal;
    bool m_shown = false;
};

// --magazine NAME, taken by the commands about one magazine.
void addMagazineOption(QCommandLineParser &parser);

// --retry-schedule, taken by the commands that deliver.
void addRetryOption(QCommandLineParser &parser);
// The delivery settings of a command that delivers, with its --retry-schedule; nullopt,
// having said so, when that is no schedule.
std::optional<TMailThread::Settings> deliverySettings(const QCommandLineParser &parser);

// Runs one issue's delivery on the delivery worker, serving its reports here, and returns
// its summary (also said on stderr).
DeliverySummary deliverIssue(const IssueStateRow &issue, const TMailThread::Settings &settings);

} // namespace Cli
