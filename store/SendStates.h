#pragma once
// Where each recipient of an issue stands, recorded as the delivery goes, in a table of our
// own (SendState; the five tables keep their columns). Every recipient of an issue recorded
// by this program has one row from the moment the issue is recorded; an issue of an older
// store has none, and is shown by its SendComplete flags as before.
//
// A delivery first reserves a window of recipients with one commit that reaches the disk, then
// marks each mail "sending" just before its attempt and records its outcome right after the
// server's reply (with SendComplete and the issue's after-send update for the members whose
// fate has just become final), each with a cheap commit that a process crash keeps but a power
// cut may lose. So after a kill at most the mail in flight (one batch) is "sending", and it
// becomes "unknown"; the reserved rows behind it were never tried and wait again. After a
// reboot the cheap commits since the last reservation may be gone, so the window's reserved
// rows become "unknown" too: a power cut costs at most one window of unknowns, never a double.
//
// Values are bound; every failure throws StoreError with the engine's text and leaves the
// rows as they were.
#include "store/DeliveryRecords.h"

#include <QDateTime>
#include <QList>
#include <optional>
#include <QString>

// Stored as these numbers: never renumber.
enum class SendState {
    Waiting = 0,   // not tried yet (or queued again for a resend)
    Sending = 1,   // in the group being sent; a kill leaves it here
    Sent = 2,      // the server accepted the mail; Reply holds its answer
    Deferred = 3,  // a temporary failure (4xx, a lost connection); tried again at NextTry
    Failed = 4,    // a permanent failure (5xx), the retries used up, or cancelled
    Skipped = 5,   // an address the address check refuses; nothing was sent
    Unknown = 6,   // the connection broke after the mail's final "." and before the answer
    Reserved = 7,  // in the window a running delivery has claimed; not tried yet (shown as waiting)
};

// "待機", "送信中", "送信済", "保留", "失敗", "スキップ", "不明" (reserved reads as waiting)
QString SendStateText(SendState state);
// A stored State value as the state it names; a value out of range reads as unknown.
SendState SendStateOf(qint64 stored);
// The English word used on the command line and in JSON: waiting, sending, sent, deferred,
// failed, skipped, unknown.
QString SendStateName(SendState state);

struct SendStateCounts {
    qint64 waiting = 0;
    qint64 sending = 0;
    qint64 sent = 0;
    qint64 deferred = 0;
    qint64 failed = 0;
    qint64 skipped = 0;
    qint64 unknown = 0;

    qint64 total() const { return waiting + sending + sent + deferred + failed + skipped + unknown; }
    // Recipients a resume would still send to (unknown ones only on request).
    qint64 open() const { return waiting + sending + deferred; }
    // Reserved counts as waiting: for everyone but the delivery holding it, it is still to send.
    qint64 &of(SendState state);
};

// What one recipient's mail came to, as the send step hands it to be recorded.
struct SendResult {
    qint64 MagUser = 0;
    SendState state = SendState::Sent;
    QString reply;       // the server's last answer (or the reason), one line
    int attempts = 0;    // tries so far, this one included (0 for skipped)
    QDateTime nextTry;   // deferred only: when to try again
};

// One recipient as the recipients view and the status command show it.
struct SendStateRow {
    qint64 MagUser = 0;
    QString UserName;    // empty when the member has been deleted since
    QString UserAdrs;
    SendState state = SendState::Waiting;
    int attempts = 0;
    QDateTime nextTry;   // deferred only
    QString reply;
};

// How an issue stands as a whole, for the history list and the status command.
enum class IssueState {
    Legacy,    // recorded before per-recipient records existed: no rows
    Done,      // "完了": every recipient sent or skipped
    Partial,   // "一部失敗": nothing left to send, some failed or unknown
    Stopped,   // "中断": recipients left to send and no delivery running
    Running,   // "送信中": a live delivery holds the issue's lock
};
QString IssueStateText(IssueState state);  // "" for Legacy, else the words above
QString IssueStateName(IssueState state);  // legacy, done, partial, stopped, running

struct IssueStateRow {
    int MagIdx = 0;
    int MagCnt = 0;
    QString MagName;
    QString Title;
    QString AddDate;
    SendStateCounts counts;
    IssueState state = IssueState::Legacy;
};

namespace SendStates {

// Creates the table and its index when the store lacks them (an older store opens
// unchanged otherwise). Called when the store is opened.
void ensureTable();

// A "waiting" row for every recipient row of the issue. Runs inside the caller's
// transaction (the issue insert), so an issue is never recorded without its rows.
void seed(int MagIdx, int MagCnt);

// The recipients a delivery of the issue still has to send to: waiting, and deferred (with
// their attempts and next try, due or not), joined with their member rows, in MagUser order.
// Members deleted since the issue was recorded do not come back (their rows stay as they
// are). Read as they are needed, so a large issue is never held in memory at once.
//
// Read a page at a time by key, each page one short statement finished before the caller
// goes on, so a delivery never holds a read open while it (or another process) writes. A
// member deleted since the issue was recorded comes back with `deleted` set, so that its row
// is settled rather than left open for ever.
struct PendingRecipient {
    DeliveryRecipientRecord member;
    int attempts = 0;
    QDateTime nextTry;  // invalid for waiting
    bool deleted = false;
};
class PendingCursor
{
public:
    PendingCursor(int MagIdx, int MagCnt, int pageSize = 512);
    // False after the last row; throws when a row cannot be read.
    bool next(PendingRecipient *row);
    void close() { m_page.clear(); m_done = true; }

private:
    void readPage();

    const int m_magIdx;
    const int m_magCnt;
    const int m_pageSize;
    qint64 m_after = -1;  // the last MagUser read
    QList<PendingRecipient> m_page;
    qsizetype m_at = 0;
    bool m_done = false;
};

// Reserves the members for the running delivery ("reserved"), in one transaction that is on
// the disk when this returns: the only commit of a delivery that waits for the disk.
void reserve(int MagIdx, int MagCnt, const QList<qint64> &members);

// Marks the members "sending", in one transaction, just before their mail goes out.
void markSending(int MagIdx, int MagCnt, const QList<qint64> &members);

// Members reserved or marked sending that no mail was tried for: waiting again, or deferred
// when they have a next try (their reply and attempts kept). One transaction.
void release(int MagIdx, int MagCnt, const QList<qint64> &members);

// Records a group's outcomes in one transaction. A member whose state becomes Sent, Skipped
// or Failed for the first time in this issue also gets SendComplete = 1 and the issue's
// after-send update (UpdateSQL, read through its gate; empty for none); a member already
// final is never updated a second time. A refused UpdateSQL throws with
// AfterSendUpdateRefusedText() and records nothing.
void record(int MagIdx, int MagCnt, const QString &UpdateSQL, const QList<SendResult> &results);

// Settles what a delivery that ended without recording left behind: its "sending" rows become
// "unknown" ("中断により結果不明"); its reserved rows wait again after a process crash
// (sameBoot), and become "unknown" after a reboot or a power cut, or when the run was on
// another machine (its last records may never have reached the disk). Returns how many
// rows changed. Call only while holding the issue's lock, or when no live lock holds it.
int settleInterrupted(int MagIdx, int MagCnt, bool sameBoot = true);

// Settles the rows of the issue left by a delivery that no longer runs (no live lock), as a
// read of the issue's state finds them; nothing while a live delivery holds it. Returns how
// many rows changed.
int settleStale(int MagIdx, int MagCnt);

// Queues the issue's failed recipients (and the unknown ones when asked) as waiting again,
// keeping their attempts, so the next delivery sends to them; returns how many.
int requeue(int MagIdx, int MagCnt, bool failed, bool unknown);

// Cancelling: every waiting and deferred recipient of the issue becomes failed with the
// reply "配信の中止". Returns how many.
int cancelOpen(int MagIdx, int MagCnt);

SendStateCounts counts(int MagIdx, int MagCnt);
// Every recipient of the issue with its state and last reply, in MagUser order.
QList<SendStateRow> rows(int MagIdx, int MagCnt);
// Only the recipients in the given states (for "status": deferred, failed, unknown).
QList<SendStateRow> rows(int MagIdx, int MagCnt, const QList<SendState> &states);

// The issues of one magazine (MagIdx > 0) or of all magazines (0) that have rows, with
// their counts and state (the lock decides Running), newest first.
QList<IssueStateRow> issues(int MagIdx = 0);
// The issues a start-up should offer to resume: recipients waiting, sending or deferred,
// and no live delivery holding them.
QList<IssueStateRow> resumable();

} // namespace SendStates

// Two deliveries of one issue never run at once, whether from the window or the command
// line, in this process or another: a row per running delivery in a table of our own
// (SendLock). The row is a lease: it names the host, process, its start and the machine's
// boot, and carries a heartbeat the delivery refreshes while it runs. A row whose heartbeat
// is older than kSendLockLeaseSecs is stale whatever host it names; one of this host whose
// process is gone (killed) is stale at once. A stale row is taken over.
constexpr int kSendLockLeaseSecs = 180;

// Who holds an issue's lock, as the window and "status" name it.
struct SendLockHolder {
    QString host;
    qint64 pid = 0;
    QDateTime since;      // when the delivery took the lock (invalid for a row of an older build)
    QDateTime heartbeat;  // its last sign of life
};
// "ホスト host のプロセス pid (yyyy/MM/dd hh:mm から)"
QString SendLockHolderText(const SendLockHolder &holder);
// The window's refusal when another delivery holds the issue: "この号はほかの配信が送信中です。"
// and, on a line of its own, who holds it (SendLockHolderText) when known.
QString SendLockHeldText(const QString &holderText);

namespace SendLock {

// Takes the issue's lock for this process; false (and who holds it, in *holder, as
// SendLockHolderText) when a live delivery holds it. Taking over a stale lock also settles the
// killed run's rows, in the same transaction.
bool acquire(int MagIdx, int MagCnt, QString *holder = nullptr);
void release(int MagIdx, int MagCnt);
// Refreshes this process's heartbeat on the issue's lock; false when the row is no longer ours.
bool beat(int MagIdx, int MagCnt);
// True when a live delivery (of this process or another) holds the issue.
bool isHeld(int MagIdx, int MagCnt);
// The live holder of the issue's lock; nullopt when none holds it.
std::optional<SendLockHolder> holder(int MagIdx, int MagCnt);

} // namespace SendLock
