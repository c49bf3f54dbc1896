#include "mail/FeedbackReport.h"

#include "mail/LogLine.h"

namespace {

const InboundPart *feedbackPart(const InboundPart &part, int depth = 0)
{
    if (part.type == "message/feedback-report")
        return &part;
    if (depth > InboundMail::kMaxDepth || part.type == "message/rfc822")
        return nullptr;
    for (const InboundPart &child : part.parts)
        if (const InboundPart *found = feedbackPart(child, depth + 1))
            return found;
    return nullptr;
}

} // namespace

std::optional<FeedbackReport> FeedbackReport::read(const InboundPart &mail)
{
    if (mail.type != "multipart/report" || mail.reportType != "feedback-report")
        return std::nullopt;
    const InboundPart *part = feedbackPart(mail);
    if (!part)
        return std::nullopt;
    // Section 3.1: the part's body is a block of header-like fields.
    const InboundPart fields = InboundMail::parse(part->body + "\r\n\r\n");
    FeedbackReport report;
    report.type = fields.field("Feedback-Type").trimmed().toLower();
    if (report.type.isEmpty())
        return std::nullopt;
    for (const auto &[name, value] : fields.headers) {
        if (name.compare("Original-Rcpt-To", Qt::CaseInsensitive) != 0 || report.recipients.size() >= 10)
            continue;
        QString address = QString::fromUtf8(value).trimmed();
        if (address.startsWith(u'<') && address.endsWith(u'>'))
            address = address.mid(1, address.size() - 2).trimmed();
        if (!address.isEmpty())
            report.recipients += address;
    }
    QString reporter = QString::fromUtf8(fields.field("Reporting-MTA")).trimmed();
    if (reporter.isEmpty())
        reporter = QString::fromUtf8(fields.field("User-Agent")).trimmed();
    report.reason = QStringLiteral("苦情 (%1)").arg(QString::fromLatin1(report.type));
    if (!reporter.isEmpty())
        report.reason += u' ' + reporter.left(100);
    report.reason = LogLine::oneLine(report.reason);
    return report;
}
