#include "mail/DeliverySend.h"

#include "mail/MailFormat.h"
#include "mail/SmtpClient.h"
#include "mail/jconvert.h"
#include "store/Codec.h"
#include "store/MailAddress.h"

namespace {

const QString kStopped = QStringLiteral("アプリケーションの終了による中断");
const QString kReadFailedLine = QStringLiteral("データベースの読み込みエラーによる中断 ");

class Sender
{
public:
    Sender(SmtpClient &smtp, DeliveryPlan &plan, const DeliverySendOptions &options, DeliveryOutcome &out)
        : m_smtp(smtp), m_plan(plan), m_options(options), m_out(out),
          m_format(plan.Owner, plan.Adrs, plan.Atena, plan.Title)
    {
    }

    void run()
    {
        const DeliveryMode mode = m_plan.mode;
        const QByteArray sjisBody = Codec::toCp932(m_plan.Body);
        m_sameBody = mode == DeliveryMode::Personalised ? QByteArray() : MimeBodyEncode(sjisBody);
        const QDate today = now().date();

        DeliveryRecipient r;
        while (m_plan.recipients && m_plan.recipients->next(&r)) {
            if (m_options.cancel && *m_options.cancel) {
                m_out.log += kStopped;
                m_out.interrupted = true;
                break;
            }
            m_out.reached += r.MagUser;
            if (m_options.isValidAddress ? !m_options.isValidAddress(r.UserAdrs) : !r.UserAdrs.contains(u'@'))
                continue;
            // An address the SMTP session would refuse fails on its own, not with its batch.
            if (!IsPlainAddress(r.UserAdrs)) {
                fail(r.UserAdrs, {});
                continue;
            }
            if (mode == DeliveryMode::Batch) {
                m_batch += r.UserAdrs;
                m_batchMembers += r.MagUser;
                if (++m_out.unreported >= kDeliveryBatchSize) {
                    if (sendBatch())
                        report();
                    m_out.unreported = 0;
                }
                continue;
            }
            const QByteArray body = mode == DeliveryMode::Personalised
                                        ? MimeBodyEncode(PersonalizeSjis(sjisBody, r.values, today))
                                        : m_sameBody;
            if (m_smtp.sendMail(m_format.sender(), {r.UserAdrs}, m_format.individual(r.UserAdrs, body, now()))) {
                m_out.sent += r.MagUser;
                if (++m_out.unreported >= kDeliveryReportEvery)
                    report();
            } else {
                fail(r.UserAdrs, m_smtp.errorString());
            }
        }
        // A recipient row that cannot be read ends the loop like a stop: the members reached
        // so far are completed, the others are not.
        if (m_plan.recipients && !m_plan.recipients->failure().isEmpty()) {
            m_out.readFailure = m_plan.recipients->failure();
            m_out.log += kReadFailedLine + m_out.readFailure;
            m_out.interrupted = true;
        }
        if (!m_batch.isEmpty()) {
            const int size = int(m_batch.size());
            m_out.unreported = sendBatch() ? size : 0;
        }
        m_smtp.quit();
    }

private:
    QDateTime now() const { return m_options.now ? m_options.now() : QDateTime::currentDateTime(); }

    // One mail to the collected addresses; on failure all of them are logged. Empties the batch.
    bool sendBatch()
    {
        const bool ok = m_smtp.sendMail(m_format.sender(), m_batch, m_format.batch(m_sameBody, now()));
        if (ok) {
            m_out.sent += m_batchMembers;
        } else {
            const QString reply = m_smtp.errorString();
            for (const QString &a : std::as_const(m_batch))
                fail(a, reply);
        }
        m_batch.clear();
        m_batchMembers.clear();
        return ok;
    }

    void report()
    {
        if (m_options.report)
            m_options.report(m_out.unreported);
        m_out.unreported = 0;
    }

    void fail(const QString &address, const QString &reply)
    {
        m_out.failed += {address, reply};
        m_out.log += address;
    }

    SmtpClient &m_smtp;
    DeliveryPlan &m_plan;
    const DeliverySendOptions &m_options;
    DeliveryOutcome &m_out;
    const MailFormat m_format;
    QStringList m_batch;
    QList<qint64> m_batchMembers;
    QByteArray m_sameBody;  // the encoded body of every mail, unless personalised
};

} // namespace

DeliveryOutcome SendDelivery(SmtpClient &smtp, DeliveryPlan &plan, const DeliverySendOptions &options)
{
    DeliveryOutcome out;
    Sender(smtp, plan, options, out).run();
    return out;
}
