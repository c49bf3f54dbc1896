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
          m_clock(options.clock ? options.clock : &m_systemClock),
          m_mail(plan), m_groupSize(plan.mode == DeliveryMode::Batch ? kDeliveryBatchSize : kDeliveryReportEvery)
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
        while (!m_halted) {
            if (stopRequested())
                break;
            const QList<Retry> group = nextGroup();
            if (group.isEmpty()) {
                if (m_retries.empty() || m_readFailed)
                    break;
                // Only later tries are left: the session is closed meanwhile, since the
                // server would drop an idle one anyway.
                m_smtp.quit();
                m_lostSession = false;
                if (!wait(QDateTime::fromMSecsSinceEpoch(m_retries.begin()->first, m_clock->now().timeZone())))
                    break;
                continue;
            }
            sendGroup(group);
            if (m_halted || m_readFailed)
                break;
            if (m_options.pacing.pauseBetweenGroupsMs > 0 && moreToSend()
                && !wait(m_clock->now().addMSecs(m_options.pacing.pauseBetweenGroupsMs)))
                break;
        }
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

    // The next recipient of the plan; false after the last or when one cannot be read.
    bool fromPlan(DeliveryRecipient *r)
    {
        if (m_planDone)
            return false;
        if (m_peeked) {
            *r = *m_peeked;
            m_peeked.reset();
            return true;
        }
        if (m_plan.recipients && m_plan.recipients->next(r))
            return true;
        m_planDone = true;
        if (m_plan.recipients && !m_plan.recipients->failure().isEmpty()) {
            m_out.readFailure = m_plan.recipients->failure();
            m_out.log += kReadFailedLine + m_out.readFailure;
            m_readFailed = true;
        }
        return false;
    }

    bool moreToSend()
    {
        if (!m_retries.empty() || m_peeked)
            return true;
        DeliveryRecipient r;
        if (!fromPlan(&r))
            return false;
        m_peeked = r;
        return true;
    }

    // Retries that are due come first; then the plan's recipients, of which those deferred
    // to a later moment by an earlier run join the retries.
    QList<Retry> nextGroup()
    {
        QList<Retry> group;
        const qint64 now = m_clock->now().toMSecsSinceEpoch();
        while (group.size() < m_groupSize && !m_retries.empty() && m_retries.begin()->first <= now) {
            group += m_retries.begin()->second;
            m_retries.erase(m_retries.begin());
        }
        DeliveryRecipient r;
        while (group.size() < m_groupSize && fromPlan(&r)) {
            if (r.nextTry.isValid() && r.nextTry.toMSecsSinceEpoch() > now)
                m_retries.emplace(r.nextTry.toMSecsSinceEpoch(), Retry{r, {}});
            else
                group += Retry{r, {}};
        }
        return group;
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
            m_out.journalFailure = e.text();
            m_halted = true;
            return false;
        }
    }

    void sendGroup(const QList<Retry> &group)
    {
        QList<qint64> members;
        for (const Retry &g : group)
            members += g.recipient.MagUser;
        if (!journal([&](DeliveryJournal &j) { j.sending(members); }))
            return;
        QList<SendResult> results;
        int settled = 0;
        auto add = [&](const SendResult &result) {
            results += result;
            ++settled;
        };
        QStringList addresses;
        QList<const Retry *> enveloped;
        for (const Retry &g : group) {
            const DeliveryRecipient &r = g.recipient;
            if (!checkAddress(r, add))
                continue;
            if (m_plan.mode == DeliveryMode::Batch) {
                addresses += r.UserAdrs;
                enveloped += &g;
                continue;
            }
            if (m_halted || !readyForMail()) {
                results += putBack(g);
                continue;
            }
            const SmtpTransaction t =
                m_smtp.transact(m_mail.sender(), {r.UserAdrs}, m_mail.individual(r, m_today, m_clock->now()));
            if (afterMail(t))
                add(settle(g, RecipientFateOf(t, 0)));
            else
                results += putBack(g);
        }
        if (!enveloped.isEmpty()) {
            if (m_halted || !readyForMail()) {
                for (const Retry *g : std::as_const(enveloped))
                    results += putBack(*g);
            } else {
                const SmtpTransaction t = m_smtp.transact(m_mail.sender(), addresses, m_mail.batch(m_clock->now()));
                const bool settles = afterMail(t);
                for (qsizetype i = 0; i < enveloped.size(); ++i)
                    if (settles)
                        add(settle(*enveloped.at(i), RecipientFateOf(t, i)));
                    else
                        results += putBack(*enveloped.at(i));
            }
        }
        if (!journal([&](DeliveryJournal &j) { j.record(results); }))
            return;
        m_out.unreported += settled;
        if (m_out.unreported >= m_groupSize) {
            if (m_options.report)
                m_options.report(m_out.unreported);
            m_out.unreported = 0;
        }
    }

    // Skipped (the check refuses it) or failed (the session would refuse it) without a mail;
    // false then.
    template<typename Add>
    bool checkAddress(const DeliveryRecipient &r, Add add)
    {
        const bool valid =
            m_options.isValidAddress ? m_options.isValidAddress(r.UserAdrs) : r.UserAdrs.contains(u'@');
        if (!valid) {
            add(SendResult{r.MagUser, SendState::Skipped, {}, r.attempts, {}});
            ++m_out.counts.skipped;
            return false;
        }
        // An address the SMTP session would refuse fails on its own, not with its batch.
        if (!IsPlainAddress(r.UserAdrs)) {
            add(SendResult{r.MagUser, SendState::Failed,
                           QStringLiteral("メールアドレスが正しくありません: ") + r.UserAdrs, r.attempts, {}});
            ++m_out.counts.failed;
            m_out.log += r.UserAdrs;
            return false;
        }
        return true;
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

    // A member of the group that no mail was tried for: as it was before the group.
    SendResult putBack(const Retry &g)
    {
        const DeliveryRecipient &r = g.recipient;
        if (!r.nextTry.isValid())
            return SendResult{r.MagUser, SendState::Waiting, {}, r.attempts, {}};
        m_retries.emplace(r.nextTry.toMSecsSinceEpoch(), g);
        return SendResult{r.MagUser, SendState::Deferred, g.reply, r.attempts, r.nextTry};
    }

    SmtpClient &m_smtp;
    DeliveryPlan &m_plan;
    const DeliverySendOptions &m_options;
    DeliveryOutcome &m_out;
    SystemClock m_systemClock;
    DeliveryClock *m_clock;
    DeliveryMail m_mail;
    const qsizetype m_groupSize;
    QDate m_today;          // the day personalisation speaks of
    std::multimap<qint64, Retry> m_retries;  // by the moment of their next try
    std::optional<DeliveryRecipient> m_peeked;
    QDateTime m_lastStart;  // of the last mail, for the pace
    QString m_lastLoss;     // why the session was lost
    int m_onConnection = 0;
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
