#include "mail/DeliverySend.h"

#include "mail/DeliveryMail.h"
#include "mail/SendGroup.h"
#include "mail/SendPacing.h"
#include "mail/SmtpClient.h"
#include "store/Database.h"
#include "store/MailAddress.h"

#include <QThread>
#include <QTimeZone>

#include <algorithm>
#include <deque>
#include <map>

namespace {

const QString kStopped = QStringLiteral("アプリケーションの終了による中断");
const QString kReadFailedLine = QStringLiteral("データベースの読み込みエラーによる中断 ");

// Without a clock of the caller's: real time, and waits that still end soon after a stop.
class SystemClock : public DeliveryClock
{
public:
    explicit SystemClock(const std::function<bool()> &stop) : m_stop(stop) {}
    QDateTime now() override { return QDateTime::currentDateTime(); }
    bool waitUntil(const QDateTime &until) override
    {
        for (;;) {
            if (m_stop && m_stop())
                return false;
            const qint64 left = QDateTime::currentDateTime().msecsTo(until);
            if (left <= 0)
                return true;
            QThread::msleep(quint64(std::min<qint64>(left, 100)));
        }
    }

private:
    const std::function<bool()> &m_stop;
};

// A recipient kept for another try, with the reply that put it off.
struct Retry {
    DeliveryRecipient recipient;
    QString reply;
};

class Sender
{
public:
    Sender(SmtpClient &smtp, DeliveryPlan &plan, const DeliverySendOptions &options, DeliveryOutcome &out)
        : m_smtp(smtp), m_plan(plan), m_options(options), m_out(out), m_systemClock(options.stopRequested),
          m_clock(options.clock ? options.clock : &m_systemClock), m_mail(plan),
          m_unitSize(plan.mode == DeliveryMode::Batch ? kDeliveryBatchSize : 1)
    {
    }

    void run()
    {
        m_today = m_clock->now().date();
        QString failure;
        if (!open(&failure)) {
            m_out.connectFailure = failure;
            return;
        }
        while (!m_halted && !stopRequested()) {
            const QList<Retry> unit = nextUnit();
            if (m_halted)
                break;
            if (unit.isEmpty()) {
                if (!flushSettled() || m_retries.empty() || m_readFailed)
                    break;
                // Only later tries are left: the session is closed meanwhile, since the
                // server would drop an idle one anyway.
                m_smtp.quit();
                m_lostSession = false;
                if (!wait(QDateTime::fromMSecsSinceEpoch(m_retries.begin()->first, m_clock->now().timeZone())))
                    break;
                continue;
            }
            sendUnit(unit);
            if (m_halted || m_readFailed)
                break;
            m_mailsInGroup += m_plan.mode == DeliveryMode::Batch ? kDeliveryReportEvery : 1;
            if (m_mailsInGroup >= kDeliveryReportEvery) {
                m_mailsInGroup = 0;
                if (m_options.pacing.pauseBetweenGroupsMs > 0 && moreToSend()
                    && !wait(m_clock->now().addMSecs(m_options.pacing.pauseBetweenGroupsMs)))
                    break;
            }
        }
        flushSettled();
        releaseClaimed();
        if (m_out.stopped)
            m_out.log += kStopped;
        m_out.counts.deferred = qint64(m_retries.size());
        m_smtp.quit();
    }

private:
    bool stopRequested()
    {
        if (!m_out.stopped && m_options.stopRequested && m_options.stopRequested())
            m_out.stopped = true;
        return m_out.stopped;
    }

    bool wait(const QDateTime &until)
    {
        if (m_options.waiting)
            m_options.waiting(until);
        const bool reached = m_clock->waitUntil(until);
        if (m_options.waiting)
            m_options.waiting(QDateTime());
        if (!reached)
            m_out.stopped = true;
        return reached;
    }

    bool open(QString *failure)
    {
        bool ok = false;
        if (m_options.connect) {
            ok = m_options.connect(m_smtp, failure);
        } else {
            ok = m_smtp.connectToServer();
            if (!ok)
                *failure = m_smtp.errorString();
        }
        m_onConnection = 0;
        return ok;
    }

    // Reopens the session: at once after a planned close, else after each of the retry
    // schedule's waits in turn, giving up when they are used up.
    bool reopen()
    {
        QString failure = m_lastLoss;
        if (!m_lostSession && open(&failure))
            return true;
        for (int attempt = 1;; ++attempt) {
            const std::optional<int> delay = m_options.retry.delayAfter(attempt);
            if (!delay) {
                m_out.connectFailure = failure;
                return false;
            }
            if (!wait(m_clock->now().addSecs(*delay)))
                return false;
            if (open(&failure)) {
                m_lostSession = false;
                return true;
            }
        }
    }

    template<typename Write>
    bool journal(Write write)
    {
        if (!m_options.journal)
            return true;
        try {
            write(*m_options.journal);
            return true;
        } catch (const StoreError &e) {
            if (m_out.journalFailure.isEmpty())
                m_out.journalFailure = e.text();
            m_halted = true;
            return false;
        }
    }

    // Reads the next window of the plan and claims the recipients due now; those an earlier
    // run deferred to a later moment join the retries (they stay deferred until then).
    void readAhead()
    {
        if (m_planDone || !m_plan.recipients)
            return;
        const qint64 now = m_clock->now().toMSecsSinceEpoch();
        QList<qint64> claimed;
        DeliveryRecipient r;
        while (claimed.size() < kDeliveryReserveWindow) {
            if (!m_plan.recipients->next(&r)) {
                m_planDone = true;
                if (!m_plan.recipients->failure().isEmpty()) {
                    m_out.readFailure = m_plan.recipients->failure();
                    m_out.log += kReadFailedLine + m_out.readFailure;
                    m_readFailed = true;
                }
                break;
            }
            if (r.nextTry.isValid() && r.nextTry.toMSecsSinceEpoch() > now) {
                m_retries.emplace(r.nextTry.toMSecsSinceEpoch(), Retry{r, {}});
                continue;
            }
            claimed += r.MagUser;
            m_ahead.push_back(Retry{r, {}});
        }
        if (!claimed.isEmpty() && !journal([&](DeliveryJournal &j) { j.reserve(claimed); }))
            m_ahead.clear();  // nothing claimed: the rows are as they were
    }

    // The retries that have come due, claimed together.
    void claimDueRetries()
    {
        const qint64 now = m_clock->now().toMSecsSinceEpoch();
        QList<qint64> claimed;
        while (claimed.size() < kDeliveryReserveWindow && !m_retries.empty() && m_retries.begin()->first <= now) {
            claimed += m_retries.begin()->second.recipient.MagUser;
            m_due.push_back(std::move(m_retries.begin()->second));
            m_retries.erase(m_retries.begin());
        }
        if (!claimed.isEmpty() && !journal([&](DeliveryJournal &j) { j.reserve(claimed); })) {
            m_due.clear();
        }
    }

    // The next claimed recipient: due retries first, then the plan's.
    std::optional<Retry> nextClaimed()
    {
        if (m_due.empty())
            claimDueRetries();
        if (!m_due.empty()) {
            Retry r = std::move(m_due.front());
            m_due.pop_front();
            return r;
        }
        if (m_ahead.empty() && !m_halted)
            readAhead();
        if (!m_ahead.empty()) {
            Retry r = std::move(m_ahead.front());
            m_ahead.pop_front();
            return r;
        }
        return std::nullopt;
    }

    bool moreToSend() const { return !m_due.empty() || !m_ahead.empty() || !m_retries.empty() || !m_planDone; }

    // The recipients of the next mail: one, or a batch of valid addresses. Recipients that get
    // no mail (deleted, or an address refused) are settled on the way.
    QList<Retry> nextUnit()
    {
        QList<Retry> unit;
        while (unit.size() < m_unitSize && !m_halted) {
            std::optional<Retry> g = nextClaimed();
            if (!g)
                break;
            if (settledWithoutMail(g->recipient))
                continue;
            unit += std::move(*g);
        }
        return unit;
    }

    void sendUnit(const QList<Retry> &unit)
    {
        if (!flushSettled()) {
            release(unit);
            return;
        }
        if (!readyForMail()) {
            release(unit);
            return;
        }
        QList<qint64> members;
        QStringList addresses;
        for (const Retry &g : unit) {
            members += g.recipient.MagUser;
            addresses += g.recipient.UserAdrs;
        }
        if (!journal([&](DeliveryJournal &j) { j.sending(members); })) {
            release(unit);
            return;
        }
        const SmtpTransaction t =
            m_plan.mode == DeliveryMode::Batch
                ? m_smtp.transact(m_mail.batchEnvelopeSender(), addresses, m_mail.batch(m_clock->now()))
                : m_smtp.transact(m_mail.envelopeSender(int(unit.first().recipient.MagUser)), addresses,
                                  m_mail.individual(unit.first().recipient, m_today, m_clock->now()));
        if (!afterMail(t)) {
            release(unit);
            return;
        }
        QList<SendResult> results;
        int finals = 0;
        for (qsizetype i = 0; i < unit.size(); ++i) {
            results += settle(unit.at(i), RecipientFateOf(t, i));
            if (results.last().state != SendState::Deferred)
                ++finals;
        }
        if (journal([&](DeliveryJournal &j) { j.record(results); }))
            reportSettled(finals);
    }

    void reportSettled(int count)
    {
        if (count > 0 && m_options.report)
            m_options.report(count);
    }

    // Writes the outcomes of recipients settled without a mail; false when the journal failed.
    bool flushSettled()
    {
        if (m_settled.isEmpty())
            return !m_halted || m_out.journalFailure.isEmpty();
        const QList<SendResult> results = std::exchange(m_settled, {});
        if (!journal([&](DeliveryJournal &j) { j.record(results); }))
            return false;
        reportSettled(int(results.size()));
        return true;
    }

    // Members no mail was tried for go back to what they were.
    void release(const QList<Retry> &unit)
    {
        QList<qint64> members;
        for (const Retry &g : unit) {
            members += g.recipient.MagUser;
            if (g.recipient.nextTry.isValid())
                m_retries.emplace(g.recipient.nextTry.toMSecsSinceEpoch(), g);
        }
        if (!members.isEmpty())
            journal([&](DeliveryJournal &j) { j.release(members); });
    }

    // At the end: the claimed recipients not reached wait again.
    void releaseClaimed()
    {
        QList<Retry> left(std::make_move_iterator(m_due.begin()), std::make_move_iterator(m_due.end()));
        left.append(QList<Retry>(std::make_move_iterator(m_ahead.begin()), std::make_move_iterator(m_ahead.end())));
        m_due.clear();
        m_ahead.clear();
        if (left.isEmpty())
            return;
        // Even after a failed record: a release that works leaves fewer rows to settle later.
        const bool halted = m_halted;
        m_halted = false;
        release(left);
        m_halted = halted || m_halted;
    }

    // Skipped (deleted, or the check refuses it) or failed (the session would refuse it)
    // without a mail: true then, the outcome waiting to be recorded.
    bool settledWithoutMail(const DeliveryRecipient &r)
    {
        if (r.deleted) {
            m_settled += SendResult{r.MagUser, SendState::Skipped, QStringLiteral("メンバー削除"), r.attempts, {}};
            ++m_out.counts.skipped;
            return true;
        }
        const bool valid =
            m_options.isValidAddress ? m_options.isValidAddress(r.UserAdrs) : r.UserAdrs.contains(u'@');
        if (!valid) {
            m_settled += SendResult{r.MagUser, SendState::Skipped, {}, r.attempts, {}};
            ++m_out.counts.skipped;
            return true;
        }
        // An address the SMTP session would refuse fails on its own, not with its batch.
        if (!IsPlainAddress(r.UserAdrs)) {
            m_settled += SendResult{r.MagUser, SendState::Failed,
                                    QStringLiteral("メールアドレスが正しくありません: ") + r.UserAdrs, r.attempts, {}};
            ++m_out.counts.failed;
            m_out.log += r.UserAdrs;
            return true;
        }
        return false;
    }

    // Before each mail: not stopped, the pace kept, the session open.
    bool readyForMail()
    {
        if (stopRequested()) {
            m_halted = true;
            return false;
        }
        const QDateTime next = NextMailStart(m_options.pacing, m_lastStart);
        if (next.isValid() && next > m_clock->now() && !wait(next)) {
            m_halted = true;
            return false;
        }
        if (!m_smtp.isConnected() && !reopen()) {
            m_halted = true;
            return false;
        }
        m_lastStart = m_clock->now();
        return true;
    }

    // After each mail; false when the mail was not tried at all (the session's own steps
    // failed, which no retry of the mail would mend).
    bool afterMail(const SmtpTransaction &t)
    {
        if (t.session) {
            m_out.connectFailure = t.reply;
            m_halted = true;
            m_smtp.close();
            return false;
        }
        if (!m_smtp.isConnected()) {
            m_lostSession = true;
            m_lastLoss = t.reply;
        } else if (m_options.pacing.perConnection > 0 && ++m_onConnection >= m_options.pacing.perConnection) {
            m_smtp.quit();  // reopened before the next mail
        }
        return true;
    }

    SendResult settle(const Retry &g, const RecipientFate &fate)
    {
        const DeliveryRecipient &r = g.recipient;
        SendResult result{r.MagUser, fate.state, fate.reply, r.attempts + 1, {}};
        if (fate.state == SendState::Deferred) {
            const std::optional<int> delay = m_options.retry.delayAfter(result.attempts);
            if (delay) {
                result.nextTry = m_clock->now().addSecs(*delay);
                DeliveryRecipient again = r;
                again.attempts = result.attempts;
                again.nextTry = result.nextTry;
                m_retries.emplace(result.nextTry.toMSecsSinceEpoch(), Retry{again, fate.reply});
                return result;
            }
            result.state = SendState::Failed;
        }
        switch (result.state) {
        case SendState::Sent: ++m_out.counts.sent; break;
        case SendState::Unknown: ++m_out.counts.unknown; break;
        case SendState::Failed:
            ++m_out.counts.failed;
            m_out.log += r.UserAdrs;
            break;
        default: break;
        }
        return result;
    }

    SmtpClient &m_smtp;
    DeliveryPlan &m_plan;
    const DeliverySendOptions &m_options;
    DeliveryOutcome &m_out;
    SystemClock m_systemClock;
    DeliveryClock *m_clock;
    DeliveryMail m_mail;
    const qsizetype m_unitSize;
    QDate m_today;          // the day personalisation speaks of
    std::multimap<qint64, Retry> m_retries;  // by the moment of their next try; not claimed
    std::deque<Retry> m_due;    // retries come due, claimed
    std::deque<Retry> m_ahead;  // the plan's recipients read ahead, claimed
    QList<SendResult> m_settled;  // settled without a mail, not recorded yet
    QDateTime m_lastStart;  // of the last mail, for the pace
    QString m_lastLoss;     // why the session was lost
    int m_onConnection = 0;
    int m_mailsInGroup = 0;
    bool m_lostSession = false;
    bool m_planDone = false;
    bool m_readFailed = false;
    bool m_halted = false;  // stopped, the session could not be reopened, or the journal failed
};

} // namespace

DeliveryOutcome SendDelivery(SmtpClient &smtp, DeliveryPlan &plan, const DeliverySendOptions &options)
{
    DeliveryOutcome out;
    Sender(smtp, plan, options, out).run();
    return out;
}
