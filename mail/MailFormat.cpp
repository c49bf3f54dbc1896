#include "mail/MailFormat.h"


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

bool blank(char c)
{
    return c == ' ' || c == '\t';
}

// Folds one physical line (no CR LF inside). The line is cut into pieces, each starting at
// a run of blanks or right after a comma, and the pieces are packed greedily into lines of
// at most 78 characters. A fold goes before a piece only when that piece then fits on its
// own line: a fold in front of an unbreakable long word would shorten nothing. On the
// field's first line the value's first word stays after the name: a reader keeps the blank
// a fold there leaves in front of the value.
QByteArray foldLine(const QByteArray &line, bool fieldLine)
{
    if (line.size() <= kFoldAt)
        return line;
    // Never fold inside the field name: the first place is after "Name:".
    const qsizetype colon = fieldLine ? line.indexOf(':') : -1;
    QList<qsizetype> starts{0};
    for (qsizetype i = qMax<qsizetype>(1, colon + 1); i < line.size(); ++i) {
        const bool atBlank = blank(line.at(i)) && !blank(line.at(i - 1));
        const bool afterComma = line.at(i - 1) == ',' && !blank(line.at(i));
        if ((atBlank || afterComma) && i > starts.last())
            starts += i;
    }
    QByteArray out = line.left(starts.size() > 1 ? starts.at(1) : line.size());
    qsizetype width = out.size();
    for (qsizetype k = 1; k < starts.size(); ++k) {
        const qsizetype end = k + 1 < starts.size() ? starts.at(k + 1) : line.size();
        const QByteArray piece = line.mid(starts.at(k), end - starts.at(k));
        const bool needsBlank = !blank(piece.at(0));  // after a comma the fold adds its own
        const qsizetype own = piece.size() + (needsBlank ? 1 : 0);
        const bool firstWord = fieldLine && k == 1;
        if (width + piece.size() > kFoldAt && own <= kFoldAt && !piece.trimmed().isEmpty() && !firstWord) {
            out += needsBlank ? QByteArray("\r\n ") : QByteArray("\r\n");
            out += piece;
            width = own;
        } else {
            out += piece;
            width += piece.size();
        }
    }
    return out;
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
        out += foldLine(p, i == 0);
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

MailFormat::MailFormat(const QString &Owner, const QString &Adrs, const QString &Atena, const QString &Title,
                       bool forceUtf8)
    : m_sender(cleanAddress(Adrs))
{
    const QString owner = oneLine(Owner);
    const QString title = oneLine(Title);
    const QString atena = oneLine(Atena);
    m_iso2022Jp = !forceUtf8 && ReadsBackAsIso2022Jp(owner) && ReadsBackAsIso2022Jp(title)
                  && ReadsBackAsIso2022Jp(atena);
    if (m_iso2022Jp)
        m_jis = lines(MailCharset::Iso2022Jp, owner, atena, title);
    m_utf8 = lines(MailCharset::Utf8, owner, atena, title);
}

MailFormat::Lines MailFormat::lines(MailCharset charset, const QString &owner, const QString &atena,
                                    const QString &title) const
{
    Lines l;
    const QByteArray address = m_sender.toUtf8();
    const QByteArray display = owner.isEmpty() ? address : EncodeDisplayName(owner, charset);
    l.from = fold("From: " + addressField(display, address)) + "\r\n";
    if (!title.isEmpty())
        l.subject = EncodeSubjectField("Subject", title, charset) + "\r\n";
    if (!atena.isEmpty()) {
        l.atena = EncodeDisplayName(atena, charset);
        l.batchTo = fold("To: " + addressField(l.atena, QByteArray())) + "\r\n";
    }
    return l;
}

QByteArray MailFormat::message(const Lines &l, const QByteArray &toLine, const EncodedBody &body,
                               const QDateTime &now, const QByteArray &extraFields) const
{
    QByteArray m;
    m.reserve(l.from.size() + l.subject.size() + toLine.size() + 160 + extraFields.size() + body.lines.size());
    m += l.from;
    m += l.subject;
    m += toLine;
    m += body.charset == MailCharset::Utf8 ? "Content-Type: text/plain; charset=\"UTF-8\"\r\n"
                                           : "Content-Type: text/plain; charset=\"ISO-2022-JP\"\r\n";
    m += "MIME-Version: 1.0\r\n"
         "Content-Transfer-Encoding: BASE64\r\n";
    m += "Date: " + dateField(now) + "\r\n";
    m += extraFields;
    m += "\r\n";
    m += body.lines;
    return m;
}

QByteArray MailFormat::individual(const QString &address, const EncodedBody &body, const QDateTime &now,
                                  const QByteArray &extraFields) const
{
    const Lines &l = linesFor(body);
    const QByteArray to = cleanAddress(address).toUtf8();
    const QByteArray line = l.atena.isEmpty() ? "To: " + to : fold("To: " + addressField(l.atena, to));
    return message(l, line + "\r\n", body, now, extraFields);
}

QByteArray MailFormat::batch(const EncodedBody &body, const QDateTime &now, const QByteArray &extraFields) const
{
    const Lines &l = linesFor(body);
    return message(l, l.batchTo, body, now, extraFields);
}
