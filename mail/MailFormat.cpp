#include "mail/MailFormat.h"

#include "mail/jconvert.h"

namespace {

// A header value never carries a line break of its own into the header: a magazine's name,
// salutation or subject with a CR or LF in it becomes one line.
QString oneLine(const QString &text)
{
    QString out = text;
    for (QChar &c : out)
        if (c == u'\r' || c == u'\n' || c == u'\0')
            c = u' ';
    return out;
}

// Addresses lose line breaks and other control characters altogether.
QString cleanAddress(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text)
        if (c.unicode() >= 0x20 && c.unicode() != 0x7F)
            out += c;
    return out.trimmed();
}

constexpr qsizetype kFoldAt = 78;

bool foldPoint(char c)
{
    return c == ' ' || c == '\t' || c == ',';
}

// Folds one physical line (no CR LF inside).
QByteArray foldLine(const QByteArray &line)
{
    QByteArray out;
    QByteArray rest = line;
    // Never fold inside the field name: the first place is after "Name:".
    qsizetype minPos = rest.indexOf(':');
    minPos = minPos < 0 ? 0 : minPos + 1;
    while (rest.size() > kFoldAt) {
        // Where to cut: before a space or tab (it starts the continuation), after a comma
        // (a space is added). The last such place that keeps this line within the limit,
        // else the first one past it.
        qsizetype cut = -1;
        for (qsizetype i = qMin(kFoldAt, rest.size() - 1); i >= minPos; --i) {
            if (!foldPoint(rest.at(i)))
                continue;
            const qsizetype end = rest.at(i) == ',' ? i + 1 : i;
            if (end <= kFoldAt && end > 0) {
                cut = i;
                break;
            }
        }
        if (cut < 0)
            for (qsizetype i = kFoldAt; i < rest.size(); ++i)
                if (foldPoint(rest.at(i)) && i >= minPos) {
                    cut = i;
                    break;
                }
        if (cut < 0)
            break;
        const bool comma = rest.at(cut) == ',';
        const qsizetype end = comma ? cut + 1 : cut;
        // A cut that leaves nothing but white space behind would fold for nothing.
        const QByteArray tail = rest.mid(end);
        if (tail.trimmed().isEmpty() || rest.left(end).trimmed().isEmpty())
            break;
        out += rest.left(end) + "\r\n";
        rest = comma ? " " + tail : tail;
        minPos = 1;
    }
    return out + rest;
}

const char *const kDays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
const char *const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

} // namespace

QByteArray MailFormat::fold(const QByteArray &line)
{
    QByteArray out;
    const QByteArrayList parts = line.split('\n');
    for (qsizetype i = 0; i < parts.size(); ++i) {
        QByteArray p = parts.at(i);
        if (p.endsWith('\r'))
            p.chop(1);
        if (i > 0)
            out += "\r\n";
        out += foldLine(p);
    }
    return out;
}

QByteArray MailFormat::addressField(const QByteArray &display, const QByteArray &address)
{
    if (display.contains("=?"))
        return display + " <" + address + ">";
    QByteArray quoted = "\"";
    for (const char c : display) {
        if (c == '\\' || c == '"')
            quoted += '\\';
        quoted += c;
    }
    return quoted + "\" <" + address + ">";
}

QByteArray MailFormat::dateField(const QDateTime &local)
{
    const QDate d = local.date();
    const QTime t = local.time();
    const int offset = local.offsetFromUtc();
    const int mins = qAbs(offset) / 60;
    return QByteArray(kDays[d.dayOfWeek() - 1]) + ", "
           + QByteArray::number(d.day()).rightJustified(2, '0') + ' ' + kMonths[d.month() - 1] + ' '
           + QByteArray::number(d.year()) + ' ' + t.toString(QStringLiteral("HH:mm:ss")).toLatin1() + ' '
           + (offset < 0 ? '-' : '+') + QByteArray::number(mins / 60).rightJustified(2, '0')
           + QByteArray::number(mins % 60).rightJustified(2, '0');
}

MailFormat::MailFormat(const QString &Owner, const QString &Adrs, const QString &Atena, const QString &Title)
    : m_sender(cleanAddress(Adrs))
{
    const QByteArray address = m_sender.toUtf8();
    const QString owner = oneLine(Owner);
    const QByteArray display = owner.isEmpty() ? address : EncodeHeaderText(owner);
    m_from = fold("From: " + addressField(display, address)) + "\r\n";
    const QString title = oneLine(Title);
    if (!title.isEmpty())
        m_subject = fold("Subject: " + EncodeSubjectText(title)) + "\r\n";
    const QString atena = oneLine(Atena);
    if (!atena.isEmpty()) {
        m_atena = EncodeHeaderText(atena);
        m_batchTo = fold("To: " + addressField(m_atena, QByteArray())) + "\r\n";
    }
}

QByteArray MailFormat::message(const QByteArray &toLine, const QByteArray &encodedBody, const QDateTime &now) const
{
    QByteArray m;
    m.reserve(m_from.size() + m_subject.size() + toLine.size() + 160 + encodedBody.size());
    m += m_from;
    m += m_subject;
    m += toLine;
    m += "Content-Type: text/plain; charset=\"ISO-2022-JP\"\r\n"
         "MIME-Version: 1.0\r\n"
         "Content-Transfer-Encoding: BASE64\r\n";
    m += "Date: " + dateField(now) + "\r\n";
    m += "\r\n";
    m += encodedBody;
    return m;
}

QByteArray MailFormat::individual(const QString &address, const QByteArray &encodedBody, const QDateTime &now) const
{
    const QByteArray to = cleanAddress(address).toUtf8();
    const QByteArray line = m_atena.isEmpty() ? "To: " + to : fold("To: " + addressField(m_atena, to));
    return message(line + "\r\n", encodedBody, now);
}

QByteArray MailFormat::batch(const QByteArray &encodedBody, const QDateTime &now) const
{
    return message(m_batchTo, encodedBody, now);
}
