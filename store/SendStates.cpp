#include "store/SendStates.h"

#include "store/AfterSendUpdate.h"
#include "store/Database.h"
#include "store/Schema.h"
#include "store/Sql.h"

#include <QDateTime>
#include <QFile>
#include <QSysInfo>

#include <unistd.h>

namespace {

bool isFinal(SendState s)
{
    return s == SendState::Sent || s == SendState::Skipped || s == SendState::Failed;
}

QVariant epochValue(const QDateTime &t)
{
    return t.isValid() ? QVariant(t.toSecsSinceEpoch()) : QVariant(QMetaType(QMetaType::LongLong));
}

QDateTime fromEpoch(const QVariant &v)
{
    return v.isNull() ? QDateTime() : QDateTime::fromSecsSinceEpoch(v.toLongLong());
}

SendState stateOf(qint64 n)
{
    return (n >= 0 && n <= 7) ? SendState(n) : SendState::Unknown;
}

int changeStates(const QString &sql, std::initializer_list<QVariant> values)
{
    Transaction t;
    PreparedStatement s(sql);
    s.run(values);
    const int n = s.rowsAffected();
    t.commit();
    return n;
}

QString settleText()
{
    return QStringLiteral("中断により結果不明");
}

QString rebootSettleText()
{
    return QStringLiteral("再起動または停電により結果不明");
}

// The rows a delivery left in flight or reserved, as settleInterrupted describes; runs in the
// caller's transaction.
int settleRows(int MagIdx, int MagCnt, bool sameBoot)
{
    PreparedStatement inFlight(QStringLiteral("update SendState set State = 6, Reply = ?, NextTry = null"
                                              " where MagIdx = ? and MagCnt = ? and State = 1"));
    inFlight.run({sameBoot ? settleText() : rebootSettleText(), MagIdx, MagCnt});
    int n = inFlight.rowsAffected();
    if (sameBoot) {
        PreparedStatement back(QStringLiteral("update SendState set State = case when NextTry is null then 0 else 3 end"
                                              " where MagIdx = ? and MagCnt = ? and State = 7"));
        back.run({MagIdx, MagCnt});
        n += back.rowsAffected();
    } else {
        PreparedStatement lost(QStringLiteral("update SendState set State = 6, Reply = ?, NextTry = null"
                                              " where MagIdx = ? and MagCnt = ? and State = 7"));
        lost.run({rebootSettleText(), MagIdx, MagCnt});
        n += lost.rowsAffected();
    }
    return n;
}

// The process start time in clock ticks since boot, from /proc/<pid>/stat (field 22): with
// the pid it names one process, so a pid reused after a kill is not taken for the old run.
qint64 processStart(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray stat = f.read(4096);
    const qsizetype close = stat.lastIndexOf(')');
    if (close < 0)
        return -1;
    // Fields after the command name start with field 3 (state); the start time is field 22.
    const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
    if (fields.size() < 20)
        return -1;
    bool ok = false;
    const qint64 start = fields.at(19).toLongLong(&ok);
    return ok ? start : -1;
}

QString hostName()
{
    return QSysInfo::machineHostName();
}

// Changes at every boot of the machine: a lock of this host with another boot id was taken
// before a reboot (or a power cut), whatever its pid says now.
QString bootId()
{
    static const QString id = [] {
        QFile f(QStringLiteral("/proc/sys/kernel/random/boot_id"));
        if (!f.open(QIODevice::ReadOnly))
            return QString();
        return QString::fromLatin1(f.read(64)).trimmed();
    }();
    return id;
}

struct LockRow {
    bool exists = false;
    QString host;
    qint64 pid = 0;
    qint64 started = 0;
    QString bootId;
    qint64 since = 0;      // 0: a row of an older build
    qint64 heartbeat = 0;  // 0: never beaten (an older build's row)
};

// A lock of this machine since its last boot is live while its process runs: that is exact,
// and a delivery that waits long between mails is never taken over. Any other lock (another
// machine, an earlier boot, an older build's row) is live only while its heartbeat is recent.
bool lockIsLive(const LockRow &lock)
{
    if (lock.host == hostName() && !lock.bootId.isEmpty() && lock.bootId == bootId()) {
        const qint64 started = processStart(lock.pid);
        return started >= 0 && started == lock.started;
    }
    if (lock.host == hostName() && !lock.bootId.isEmpty() && !bootId().isEmpty())
        return false;  // taken before this machine's last boot
    if (lock.host == hostName() && lock.bootId.isEmpty()) {
        // an older build's row: its process, if it still runs, has no heartbeat to show
        const qint64 started = processStart(lock.pid);
        if (started < 0 || started != lock.started)
            return false;
    }
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    return lock.heartbeat > 0 && now - lock.heartbeat <= kSendLockLeaseSecs;
}

// Whether the cheap commits of the lock's run are sure to be on the disk: its process ran on
// this machine since its last boot (a crash of the process alone loses nothing committed).
bool sameBootAs(const LockRow &lock)
{
    return lock.host == hostName() && !lock.bootId.isEmpty() && lock.bootId == bootId();
}

LockRow readLock(int MagIdx, int MagCnt)
{
    LockRow r;
    PreparedStatement s(QStringLiteral(
        "select Host,Pid,Started,BootId,Since,Heartbeat from SendLock where MagIdx = ? and MagCnt = ?"));
    s.run({MagIdx, MagCnt});
    if (s.next()) {
        r.exists = true;
        r.host = s.value(0).toString();
        r.pid = s.value(1).toLongLong();
        r.started = s.value(2).toLongLong();
        r.bootId = s.value(3).toString();
        r.since = s.value(4).toLongLong();
        r.heartbeat = s.value(5).toLongLong();
    }
    s.finish();
    return r;
}

SendLockHolder holderOf(const LockRow &lock)
{
    SendLockHolder h;
    h.host = lock.host;
    h.pid = lock.pid;
    if (lock.since > 0)
        h.since = QDateTime::fromSecsSinceEpoch(lock.since);
    if (lock.heartbeat > 0)
        h.heartbeat = QDateTime::fromSecsSinceEpoch(lock.heartbeat);
    return h;
}

QList<SendStateRow> readRows(int MagIdx, int MagCnt, const QList<SendState> *states)
{
    QString filter;
    QVariantList values{MagIdx, MagCnt};
    if (states) {
        if (states->isEmpty())
            return {};
        filter = QStringLiteral("and S.State in (") + Sql::marks(states->size()) + QStringLiteral(")");
        for (const SendState st : *states)
            values << int(st);
    }
    PreparedStatement s(Sql::lines({
        QStringLiteral("select S.MagUser,U.UserName,U.UserAdrs,S.State,S.Attempts,S.NextTry,S.Reply"),
        QStringLiteral("from SendState S left join MagUser U on U.MagIdx = S.MagIdx and U.UserIdx = S.MagUser"),
        QStringLiteral("where S.MagIdx = ? and S.MagCnt = ?"),
        filter,
        QStringLiteral("order by S.MagUser"),
    }));
    s.bindFrom(0, values);
    s.exec();
    QList<SendStateRow> out;
    while (s.next()) {
        SendStateRow r;
        r.MagUser = s.value(0).toLongLong();
        r.UserName = s.value(1).toString();
        r.UserAdrs = s.value(2).toString();
        r.state = stateOf(s.value(3).toLongLong());
        r.attempts = s.value(4).toInt();
        r.nextTry = fromEpoch(s.value(5));
        r.reply = s.value(6).toString();
        out << r;
    }
    return out;
}

IssueState stateOfIssue(const SendStateCounts &c, bool running)
{
    if (c.total() == 0)
        return IssueState::Legacy;
    if (running)
        return IssueState::Running;
    if (c.open() > 0)
        return IssueState::Stopped;
    if (c.failed + c.unknown > 0)
        return IssueState::Partial;
    return IssueState::Done;
}

} // namespace

SendState SendStateOf(qint64 stored)
{
    return stateOf(stored);
}

QString SendStateText(SendState state)
{
    switch (state) {
    case SendState::Waiting: return QStringLiteral("待機");
    case SendState::Sending: return QStringLiteral("送信中");
    case SendState::Sent: return QStringLiteral("送信済");
    case SendState::Deferred: return QStringLiteral("保留");
    case SendState::Failed: return QStringLiteral("失敗");
    case SendState::Skipped: return QStringLiteral("スキップ");
    case SendState::Unknown: return QStringLiteral("不明");
    case SendState::Reserved: return QStringLiteral("待機");
    }
    return QString();
}

QString SendStateName(SendState state)
{
    switch (state) {
    case SendState::Waiting: return QStringLiteral("waiting");
    case SendState::Sending: return QStringLiteral("sending");
    case SendState::Sent: return QStringLiteral("sent");
    case SendState::Deferred: return QStringLiteral("deferred");
    case SendState::Failed: return QStringLiteral("failed");
    case SendState::Skipped: return QStringLiteral("skipped");
    case SendState::Unknown: return QStringLiteral("unknown");
    case SendState::Reserved: return QStringLiteral("waiting");
    }
    return QString();
}

qint64 &SendStateCounts::of(SendState state)
{
    switch (state) {
    case SendState::Waiting: return waiting;
    case SendState::Sending: return sending;
    case SendState::Sent: return sent;
    case SendState::Deferred: return deferred;
    case SendState::Failed: return failed;
    case SendState::Skipped: return skipped;
    case SendState::Unknown: return unknown;
    case SendState::Reserved: return waiting;
    }
    return unknown;
}

QString IssueStateText(IssueState state)
{
    switch (state) {
    case IssueState::Legacy: return QString();
    case IssueState::Done: return QStringLiteral("完了");
    case IssueState::Partial: return QStringLiteral("一部失敗");
    case IssueState::Stopped: return QStringLiteral("中断");
    case IssueState::Running: return QStringLiteral("送信中");
    }
    return QString();
}

QString IssueStateName(IssueState state)
{
    switch (state) {
    case IssueState::Legacy: return QStringLiteral("legacy");
    case IssueState::Done: return QStringLiteral("done");
    case IssueState::Partial: return QStringLiteral("partial");
    case IssueState::Stopped: return QStringLiteral("stopped");
    case IssueState::Running: return QStringLiteral("running");
    }
    return QString();
}

namespace SendStates {

void ensureTable()
{
    QSqlDatabase db = Store::connection();
    Schema::ensureIndexes(db);
}

void seed(int MagIdx, int MagCnt)
{
    PreparedStatement s(Sql::lines({
        QStringLiteral("insert or ignore into SendState (MagIdx,MagCnt,MagUser,State,Attempts)"),
        QStringLiteral("select MagIdx, MagCnt, MagUser, case when SendComplete = 1 then 2 else 0 end, 0"),
        QStringLiteral("from MagHist where MagIdx = ? and MagCnt = ?"),
    }));
    s.run({MagIdx, MagCnt});
}

PendingCursor::PendingCursor(int MagIdx, int MagCnt, int pageSize)
    : m_magIdx(MagIdx), m_magCnt(MagCnt), m_pageSize(qMax(1, pageSize))
{
}

void PendingCursor::readPage()
{
    m_page.clear();
    m_at = 0;
    PreparedStatement page(Sql::lines({
        QStringLiteral("select U.UserAdrs,U.UserName,U.url,U.count1,U.count2,U.UserDate1,U.UserDate2,"
                       "S.MagUser,S.Attempts,S.NextTry,S.State,U.UserIdx"),
        QStringLiteral("from SendState S left join MagUser U on U.MagIdx = S.MagIdx and U.UserIdx = S.MagUser"),
        QStringLiteral("where S.MagIdx = ? and S.MagCnt = ? and S.State in (0, 3) and S.MagUser > ?"),
        QStringLiteral("order by S.MagUser limit ?"),
    }));
    page.run({m_magIdx, m_magCnt, m_after, m_pageSize});
    while (page.next()) {
        PendingRecipient row;
        row.member = DeliveryRecipientOf(page);
        row.attempts = page.value(8).toInt();
        row.nextTry = page.value(10).toLongLong() == int(SendState::Deferred) ? fromEpoch(page.value(9)) : QDateTime();
        row.deleted = page.value(11).isNull();
        m_page += row;
    }
    page.finish();
    if (m_page.size() < m_pageSize)
        m_done = true;
    if (!m_page.isEmpty())
        m_after = m_page.last().member.MagUser;
}

bool PendingCursor::next(PendingRecipient *row)
{
    if (m_at >= m_page.size()) {
        if (m_done)
            return false;
        readPage();
        if (m_page.isEmpty())
            return false;
    }
    *row = std::move(m_page[m_at++]);
    return true;
}

namespace {

// Sets the members' state, in one transaction.
void setStates(int MagIdx, int MagCnt, const QList<qint64> &members, SendState state)
{
    Transaction t;
    PreparedStatement s(QStringLiteral(
        "update SendState set State = ? where MagIdx = ? and MagCnt = ? and MagUser = ?"));
    s.bind(0, int(state));
    s.bind(1, MagIdx);
    s.bind(2, MagCnt);
    for (const qint64 m : members) {
        s.bind(3, m);
        s.exec();
    }
    t.commit();
}

} // namespace

void reserve(int MagIdx, int MagCnt, const QList<qint64> &members)
{
    // The one commit of a delivery that must survive a power cut: the unknowns after a reboot
    // are found through it. Every cheap commit before it reaches the disk with it.
    Store::SyncedCommits synced;
    setStates(MagIdx, MagCnt, members, SendState::Reserved);
}

void markSending(int MagIdx, int MagCnt, const QList<qint64> &members)
{
    setStates(MagIdx, MagCnt, members, SendState::Sending);
}

void release(int MagIdx, int MagCnt, const QList<qint64> &members)
{
    Transaction t;
    PreparedStatement s(QStringLiteral("update SendState set State = case when NextTry is null then 0 else 3 end"
                                       " where MagIdx = ? and MagCnt = ? and MagUser = ? and State in (1, 7)"));
    s.bind(0, MagIdx);
    s.bind(1, MagCnt);
    for (const qint64 m : members) {
        s.bind(2, m);
        s.exec();
    }
    t.commit();
}

void record(int MagIdx, int MagCnt, const QString &UpdateSQL, const QList<SendResult> &results)
{
    std::optional<AfterSendUpdate> chosen;
    if (!UpdateSQL.isEmpty()) {
        chosen = AfterSendUpdate::read(UpdateSQL);
        if (!chosen)
            throw StoreError(AfterSendUpdateRefusedText());
    }
    Transaction t;
    PreparedStatement write(QStringLiteral("update SendState set State = ?, Attempts = ?, NextTry = ?, Reply = ?"
                                           " where MagIdx = ? and MagCnt = ? and MagUser = ?"));
    QVariantList finals;
    for (const SendResult &r : results) {
        write.bindFrom(0, {int(r.state), r.attempts,
                           r.state == SendState::Deferred ? epochValue(r.nextTry) : epochValue(QDateTime()),
                           TextValue(r.reply.left(1000)), MagIdx, MagCnt, r.MagUser});
        write.exec();
        if (isFinal(r.state))
            finals << r.MagUser;
    }
    if (!finals.isEmpty()) {
        // SendComplete is what says a member's fate was settled before: a member queued again
        // after a failure, and sent now, keeps its single update.
        const QString newlyFinal = QStringLiteral("select MagUser from MagHist where MagIdx = ? and MagCnt = ?"
                                                  " and ifnull(SendComplete, 0) <> 1 and MagUser in (")
                                   + Sql::marks(finals.size()) + QStringLiteral(")");
        if (chosen && !chosen->isEmpty()) {
            PreparedStatement update(Sql::lines({QStringLiteral("update MagUser ") + chosen->setClause(),
                                                 QStringLiteral("where MagIdx = ? and UserIdx in (") + newlyFinal
                                                     + QStringLiteral(")")}));
            QVariantList values;
            for (int k = 0; k < chosen->dayMarks(); ++k)
                values << TextValue(chosen->day);
            values << MagIdx << MagIdx << MagCnt << finals;
            update.bindFrom(0, values);
            update.exec();
        }
        PreparedStatement complete(QStringLiteral("update MagHist set SendComplete = 1 where MagIdx = ? and MagCnt = ?"
                                                  " and ifnull(SendComplete, 0) <> 1 and MagUser in (")
                                   + Sql::marks(finals.size()) + QStringLiteral(")"));
        complete.bindFrom(0, QVariantList{MagIdx, MagCnt} + finals);
        complete.exec();
    }
    t.commit();
}

int settleInterrupted(int MagIdx, int MagCnt, bool sameBoot)
{
    Transaction t;
    const int n = settleRows(MagIdx, MagCnt, sameBoot);
    t.commit();
    return n;
}

int settleStale(int MagIdx, int MagCnt)
{
    Transaction t;
    const LockRow held = readLock(MagIdx, MagCnt);
    if (held.exists && lockIsLive(held))
        return 0;
    // Without a lock row the run ended in order (its release comes after its last record):
    // what it left reserved was never tried.
    const int n = settleRows(MagIdx, MagCnt, !held.exists || sameBootAs(held));
    if (held.exists) {
        PreparedStatement drop(QStringLiteral("delete from SendLock where MagIdx = ? and MagCnt = ?"));
        drop.run({MagIdx, MagCnt});
    }
    t.commit();
    return n;
}

int requeue(int MagIdx, int MagCnt, bool failed, bool unknown)
{
    if (!failed && !unknown)
        return 0;
    return changeStates(QStringLiteral("update SendState set State = 0, NextTry = null"
                                       " where MagIdx = ? and MagCnt = ? and State in (?, ?)"),
                        {MagIdx, MagCnt, failed ? int(SendState::Failed) : -1,
                         unknown ? int(SendState::Unknown) : -1});
}

int cancelOpen(int MagIdx, int MagCnt)
{
    // The cancelled members are final now; their SendComplete follows, without the
    // after-send update, since nothing was sent to them.
    Transaction t;
    PreparedStatement hist(Sql::lines({
        QStringLiteral("update MagHist set SendComplete = 1 where MagIdx = ? and MagCnt = ?"),
        QStringLiteral("and MagUser in (select MagUser from SendState where MagIdx = ? and MagCnt = ? and State in (0, 3))"),
    }));
    hist.run({MagIdx, MagCnt, MagIdx, MagCnt});
    PreparedStatement s(QStringLiteral("update SendState set State = 4, NextTry = null, Reply = ?"
                                       " where MagIdx = ? and MagCnt = ? and State in (0, 3)"));
    s.run({QStringLiteral("配信の中止"), MagIdx, MagCnt});
    const int n = s.rowsAffected();
    t.commit();
    return n;
}

SendStateCounts counts(int MagIdx, int MagCnt)
{
    SendStateCounts c;
    PreparedStatement s(QStringLiteral(
        "select State, count(*) from SendState where MagIdx = ? and MagCnt = ? group by State"));
    s.run({MagIdx, MagCnt});
    while (s.next())
        c.of(stateOf(s.value(0).toLongLong())) += s.value(1).toLongLong();
    return c;
}

QList<SendStateRow> rows(int MagIdx, int MagCnt)
{
    return readRows(MagIdx, MagCnt, nullptr);
}

QList<SendStateRow> rows(int MagIdx, int MagCnt, const QList<SendState> &states)
{
    return readRows(MagIdx, MagCnt, &states);
}

QList<IssueStateRow> issues(int MagIdx)
{
    // Counted first and named after, so the joins run once per issue and state, not per
    // recipient; one magazine's issues are read through the key alone.
    PreparedStatement s(Sql::lines({
        QStringLiteral("select G.MagIdx,G.MagCnt,M.MagName,I.Title,I.AddDate,G.State,G.N"),
        QStringLiteral("from (select MagIdx,MagCnt,State,count(*) as N from SendState")
            + (MagIdx > 0 ? QStringLiteral(" where MagIdx = ?") : QString())
            + QStringLiteral(" group by MagIdx,MagCnt,State) G"),
        QStringLiteral("left join Magzine M on M.MagIdx = G.MagIdx"),
        QStringLiteral("left join MagInfo I on I.MagIdx = G.MagIdx and I.MagCnt = G.MagCnt"),
        QStringLiteral("order by G.MagCnt desc,G.MagIdx"),
    }));
    if (MagIdx > 0)
        s.run({MagIdx});
    else
        s.run({});
    QList<IssueStateRow> out;
    QList<qsizetype> unsettled;  // issues with rows in flight or reserved
    while (s.next()) {
        const int idx = s.value(0).toInt();
        const int cnt = s.value(1).toInt();
        if (out.isEmpty() || out.last().MagIdx != idx || out.last().MagCnt != cnt) {
            IssueStateRow r;
            r.MagIdx = idx;
            r.MagCnt = cnt;
            r.MagName = s.value(2).toString();
            r.Title = s.value(3).toString();
            r.AddDate = s.value(4).toString();
            out << r;
        }
        const SendState state = stateOf(s.value(5).toLongLong());
        out.last().counts.of(state) += s.value(6).toLongLong();
        if ((state == SendState::Sending || state == SendState::Reserved)
            && (unsettled.isEmpty() || unsettled.last() != out.size() - 1))
            unsettled += out.size() - 1;
    }
    s.finish();
    // Rows that a delivery no longer running left in flight are settled as they are found, so
    // that no issue shows "送信中" for ever.
    for (const qsizetype i : std::as_const(unsettled)) {
        IssueStateRow &r = out[i];
        if (!SendLock::isHeld(r.MagIdx, r.MagCnt) && settleStale(r.MagIdx, r.MagCnt) > 0)
            r.counts = counts(r.MagIdx, r.MagCnt);
    }
    for (IssueStateRow &r : out)
        r.state = stateOfIssue(r.counts, SendLock::isHeld(r.MagIdx, r.MagCnt));
    return out;
}

QList<IssueStateRow> resumable()
{
    QList<IssueStateRow> out;
    for (const IssueStateRow &r : issues(0)) {
        if (r.state == IssueState::Stopped)
            out << r;
    }
    return out;
}

} // namespace SendStates

QString SendLockHolderText(const SendLockHolder &holder)
{
    QString text = QStringLiteral("ホスト %1 のプロセス %2").arg(holder.host).arg(holder.pid);
    if (holder.since.isValid())
        text += QStringLiteral(" (%1 から)").arg(holder.since.toString(QStringLiteral("yyyy/MM/dd HH:mm")));
    return text;
}

QString SendLockHeldText(const QString &holderText)
{
    const QString text = QStringLiteral("この号はほかの配信が送信中です。");
    return holderText.isEmpty() ? text : text + QStringLiteral("\r\n") + holderText;
}

namespace SendLock {

bool acquire(int MagIdx, int MagCnt, QString *holder)
{
    Transaction t;
    const LockRow held = readLock(MagIdx, MagCnt);
    if (held.exists && lockIsLive(held)) {
        if (holder)
            *holder = SendLockHolderText(holderOf(held));
        return false;
    }
    // Rows in flight or reserved without a lock row are a run that released in order; the
    // rows of a run that was killed are settled as its lock row tells.
    settleRows(MagIdx, MagCnt, !held.exists || sameBootAs(held));
    if (held.exists) {
        PreparedStatement drop(QStringLiteral("delete from SendLock where MagIdx = ? and MagCnt = ?"));
        drop.run({MagIdx, MagCnt});
    }
    const qint64 pid = qint64(::getpid());
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    PreparedStatement take(QStringLiteral("insert into SendLock (MagIdx,MagCnt,Host,Pid,Started,BootId,Since,Heartbeat)"
                                          " values(?,?,?,?,?,?,?,?)"));
    take.run({MagIdx, MagCnt, hostName(), pid, processStart(pid), bootId(), now, now});
    t.commit();
    return true;
}

void release(int MagIdx, int MagCnt)
{
    const qint64 pid = qint64(::getpid());
    changeStates(QStringLiteral("delete from SendLock where MagIdx = ? and MagCnt = ? and Host = ? and Pid = ?"),
                 {MagIdx, MagCnt, hostName(), pid});
}

bool beat(int MagIdx, int MagCnt)
{
    const qint64 pid = qint64(::getpid());
    return changeStates(QStringLiteral("update SendLock set Heartbeat = ? where MagIdx = ? and MagCnt = ?"
                                       " and Host = ? and Pid = ?"),
                        {QDateTime::currentSecsSinceEpoch(), MagIdx, MagCnt, hostName(), pid})
           > 0;
}

bool isHeld(int MagIdx, int MagCnt)
{
    return holder(MagIdx, MagCnt).has_value();
}

std::optional<SendLockHolder> holder(int MagIdx, int MagCnt)
{
    const LockRow held = readLock(MagIdx, MagCnt);
    if (!held.exists || !lockIsLive(held))
        return std::nullopt;
    return holderOf(held);
}

} // namespace SendLock
