#include "mail/ImapMailbox.h"

#include "mail/Base64.h"
#include "mail/LineSplitter.h"
#include "mail/LogLine.h"

#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QSet>

namespace ImapMailboxText {
QString noStartTls() { return QStringLiteral("サーバが STARTTLS (暗号化) に対応していません"); }
QString loginDisabled() { return QStringLiteral("サーバがこの接続でのログインを受け付けません"); }
QString badArgument() { return QStringLiteral("ユーザ名、パスワードまたはフォルダ名に改行が含まれています"); }
QString badResponse() { return QStringLiteral("サーバの応答が不正です"); }
QString literalTooLarge() { return QStringLiteral("サーバの応答が大きすぎます"); }
QString noUidValidity() { return QStringLiteral("フォルダの UIDVALIDITY がわかりません"); }
QString messageGone() { return QStringLiteral("メールを取り出せませんでした"); }
} // namespace ImapMailboxText

namespace Imap {

QByteArray quoted(const QByteArray &text)
{
    QByteArray out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + '"';
}

QByteArray modifiedUtf7(const QString &name)
{
    QByteArray out;
    QString run;  // characters waiting to be encoded
    const auto flush = [&] {
        if (run.isEmpty())
            return;
        QByteArray utf16;
        for (QChar c : std::as_const(run)) {
            utf16 += char(c.unicode() >> 8);
            utf16 += char(c.unicode() & 0xff);
        }
        QByteArray b64 = Base64Encode(utf16);
        while (b64.endsWith('='))
            b64.chop(1);
        b64.replace('/', ',');
        out += '&' + b64 + '-';
        run.clear();
    };
    for (QChar c : name) {
        const ushort u = c.unicode();
        if (u >= 0x20 && u <= 0x7e) {
            flush();
            out += u == '&' ? QByteArray("&-") : QByteArray(1, char(u));
        } else {
            run += c;
        }
    }
    flush();
    return out;
}

} // namespace Imap

namespace {

constexpr qint64 kMaxControlLiteral = 64 * 1024;  // a literal in anything but a message
constexpr int kMaxLiterals = 64;                   // per answer
constexpr qsizetype kMaxResponseText = 1024 * 1024;
constexpr int kUidsPerCommand = 500;

bool safeArgument(const QString &text)
{
    return !text.contains(u'\r') && !text.contains(u'\n') && !text.contains(u'\0');
}

bool ascii(const QByteArray &text)
{
    for (char c : text)
        if (uchar(c) < 0x20 || uchar(c) > 0x7e)
            return false;
    return true;
}

// The tokens of an answer's text: atoms, strings (quoted, literal, NIL) and parentheses.
class Tokens
{
public:
    enum class Kind { Atom, String, Open, Close, End };
    struct Token {
        Kind kind = Kind::End;
        QByteArray value;
    };

    Tokens(const ImapResponse &response, qsizetype from) : m_r(response), m_i(from) {}

    Token next()
    {
        const QByteArray &s = m_r.text;
        while (m_i < s.size() && s[m_i] == ' ')
            ++m_i;
        if (m_i >= s.size())
            return {};
        const char c = s[m_i];
        if (c == '(' || c == ')') {
            ++m_i;
            return {c == '(' ? Kind::Open : Kind::Close, {}};
        }
        if (c == '"') {
            QByteArray value;
            for (++m_i; m_i < s.size(); ++m_i) {
                if (s[m_i] == '\\' && m_i + 1 < s.size()) {
                    value += s[++m_i];
                } else if (s[m_i] == '"') {
                    ++m_i;
                    return {Kind::String, value};
                } else {
                    value += s[m_i];
                }
            }
            return {};  // no closing quote
        }
        if (c == '{') {
            const qsizetype close = s.indexOf('}', m_i);
            if (close < 0 || m_literal >= m_r.literals.size())
                return {};
            m_i = close + 1;
            return {Kind::String, m_r.literals[m_literal++]};
        }
        const qsizetype b = m_i;
        int depth = 0;  // BODY[...] keeps its brackets
        while (m_i < s.size()) {
            const char d = s[m_i];
            if (d == '[')
                ++depth;
            else if (d == ']')
                --depth;
            else if (depth <= 0 && (d == ' ' || d == '(' || d == ')'))
                break;
            ++m_i;
        }
        const QByteArray atom = s.mid(b, m_i - b);
        if (atom.compare("NIL", Qt::CaseInsensitive) == 0)
            return {Kind::String, {}};
        return {Kind::Atom, atom};
    }

private:
    const ImapResponse &m_r;
    qsizetype m_i;
    int m_literal = 0;
};

// "* n FETCH (...)": the message number and each item's value (a list is skipped whole).
bool fetchItems(const ImapResponse &r, qint64 *number, QHash<QByteArray, QByteArray> *items)
{
    static const QRegularExpression head(QStringLiteral("^\\* (\\d+) FETCH \\("), QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = head.match(QString::fromLatin1(r.text.left(64)));
    if (!m.hasMatch())
        return false;
    *number = m.captured(1).toLongLong();
    // The literals before the list (none in a FETCH head) are not counted by Tokens: it
    // starts after the head.
    Tokens t(r, m.capturedLength());
    for (;;) {
        Tokens::Token name = t.next();
        if (name.kind == Tokens::Kind::Close)
            return true;
        if (name.kind != Tokens::Kind::Atom)
            return false;
        Tokens::Token value = t.next();
        if (value.kind == Tokens::Kind::Open) {
            for (int depth = 1; depth > 0;) {
                const Tokens::Token inner = t.next();
                if (inner.kind == Tokens::Kind::End)
                    return false;
                depth += inner.kind == Tokens::Kind::Open ? 1 : inner.kind == Tokens::Kind::Close ? -1 : 0;
            }
            continue;
        }
        if (value.kind != Tokens::Kind::Atom && value.kind != Tokens::Kind::String)
            return false;
        items->insert(name.value.toUpper(), value.value);
    }
}

bool positiveNumber(const QByteArray &text, qint64 *value)
{
    if (text.isEmpty() || text.size() > 18)
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    *value = text.toLongLong();
    return *value > 0;
}

// A set of UIDs as IMAP writes it, runs joined: "3:5,9".
QByteArray uidSet(QList<qint64> uids)
{
    std::sort(uids.begin(), uids.end());
    QByteArray out;
    for (qsizetype i = 0; i < uids.size();) {
        qsizetype j = i;
        while (j + 1 < uids.size() && uids[j + 1] <= uids[j] + 1)
            ++j;
        if (!out.isEmpty())
            out += ',';
        out += QByteArray::number(uids[i]);
        if (uids[j] != uids[i])
            out += ':' + QByteArray::number(uids[j]);
        i = j + 1;
    }
    return out;
}

} // namespace

ImapMailbox::ImapMailbox(MailSocket &socket, const ImapMailboxOptions &options) : m_socket(socket), m_options(options)
{
    if (m_options.folder.isEmpty())
        m_options.folder = QStringLiteral("INBOX");
}

QString ImapMailbox::identity() const
{
    const Pop3MailboxOptions &c = m_options.connection;
    return QStringLiteral("imap:%1@%2:%3/%4;%5")
        .arg(c.user, c.host.toLower())
        .arg(c.port)
        .arg(m_options.folder, QString::fromLatin1(m_uidValidity));
}

bool ImapMailbox::usable() const
{
    return !m_broken && m_socket.isConnected();
}

bool ImapMailbox::has(const char *capability) const
{
    return m_capabilities.contains(QLatin1String(capability), Qt::CaseInsensitive);
}

void ImapMailbox::noteCapabilities(const QByteArray &text)
{
    // "* CAPABILITY a b" or "[CAPABILITY a b]" in a status answer.
    const qsizetype at = text.toUpper().indexOf("CAPABILITY ");
    if (at < 0)
        return;
    QByteArray list = text.mid(at + 11);
    const qsizetype end = list.indexOf(']');
    if (end >= 0)
        list.truncate(end);
    m_capabilities.clear();
    ++m_capabilityNotes;
    for (const QByteArray &c : list.split(' '))
        if (!c.isEmpty())
            m_capabilities += QString::fromLatin1(c).toUpper();
}

QByteArray ImapMailbox::folderName(const QString &folder) const
{
    // An IMAP4rev2-only server takes UTF-8 names; all others, modified UTF-7.
    if (has("IMAP4REV2") && !has("IMAP4REV1"))
        return Imap::quoted(folder.toUtf8());
    return Imap::quoted(Imap::modifiedUtf7(folder));
}

// One answer: a line, and where it ends in "{n}", the n bytes of the literal and the rest
// of the answer after it. The literal's size is checked before any of it is read.
bool ImapMailbox::readResponse(ImapResponse *response, qint64 maxLiteral, QString *error)
{
    const int timeout = m_options.connection.replyTimeoutMs;
    const QDeadlineTimer deadline(qint64(timeout) * 2);
    response->text.clear();
    response->literals.clear();
    static const QRegularExpression literalAtEnd(QStringLiteral("\\{(\\d{1,18})\\+?\\}$"));
    const auto fail = [&](const QString &why) {
        broken();
        *error = why;
        return false;
    };
    for (;;) {
        QByteArray line;
        QByteArray piece;
        while (!line.endsWith('\n')) {
            if (deadline.hasExpired())
                return fail(MailSocketText::readTimedOut());
            const int wait = int(qMin<qint64>(timeout, qMax<qint64>(1, deadline.remainingTime())));
            if (!m_socket.readRaw(&piece, LineSplitter::kMaxLine, true, wait))
                return fail(m_socket.errorString());
            line += piece;
            if (line.size() > LineSplitter::kMaxLine + 2)
                return fail(MailSocketText::replyTooLong());
        }
        line.chop(line.endsWith("\r\n") ? 2 : 1);
        response->text += line;
        if (response->text.size() > kMaxResponseText)
            return fail(MailSocketText::replyTooLong());
        const QRegularExpressionMatch m = literalAtEnd.match(QString::fromLatin1(line.right(24)));
        if (!m.hasMatch())
            return true;
        const qint64 size = m.captured(1).toLongLong();
        if (size > qMax(maxLiteral, kMaxControlLiteral) || response->literals.size() >= kMaxLiterals)
            return fail(ImapMailboxText::literalTooLarge());
        QByteArray literal;
        literal.reserve(size);
        while (literal.size() < size) {
            if (deadline.hasExpired())
                return fail(MailSocketText::readTimedOut());
            const int wait = int(qMin<qint64>(timeout, qMax<qint64>(1, deadline.remainingTime())));
            if (!m_socket.readRaw(&piece, size - literal.size(), false, wait))
                return fail(m_socket.errorString());
            literal += piece;
        }
        response->literals += literal;
    }
}

bool ImapMailbox::send(const QByteArray &bytes, QString *error)
{
    if (!m_socket.write(bytes, m_options.connection.replyTimeoutMs)) {
        broken();
        *error = m_socket.errorString();
        return false;
    }
    return true;
}

QByteArray ImapMailbox::nextTag()
{
    return "T" + QByteArray::number(++m_tag).rightJustified(4, '0');
}

// The server's "+" before more of a command; false (with its words) on anything else.
bool ImapMailbox::continuation(const QByteArray &tag, QString *error)
{
    ImapResponse r;
    if (!readResponse(&r, 0, error))
        return false;
    if (r.text.startsWith('+'))
        return true;
    *error = LogLine::oneLine(QString::fromUtf8(r.text));
    if (!r.text.startsWith(QByteArray(tag + ' ')))
        broken();
    return false;
}

bool ImapMailbox::command(const QList<QByteArray> &parts, const Untagged &each, QString *error, qint64 maxLiteral)
{
    const QByteArray tag = nextTag();
    // A literal the server has to accept first: "{n}", then its "+" before the bytes; with
    // LITERAL+ (RFC 7888) "{n+}" and the bytes at once.
    QByteArray pending = tag + ' ';
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (i % 2 == 0) {
            pending += parts[i];
            continue;
        }
        const bool plus = has("LITERAL+") || (has("LITERAL-") && parts[i].size() <= 4096);
        pending += '{' + QByteArray::number(parts[i].size()) + (plus ? "+}\r\n" : "}\r\n");
        if (!send(pending, error))
            return false;
        if (!plus && !continuation(tag, error))
            return false;
        pending = parts[i];
    }
    if (!send(pending + "\r\n", error))
        return false;
    return tagged(tag, parts.first().startsWith("LOGOUT"), each, error, maxLiteral);
}

bool ImapMailbox::tagged(const QByteArray &tag, bool loggingOut, const Untagged &each, QString *error, qint64 maxLiteral)
{
    ImapResponse r;
    for (;;) {
        if (!readResponse(&r, maxLiteral, error))
            return false;
        if (r.text.startsWith("* ")) {
            // BYE: the server is closing; only LOGOUT still gets its tagged answer.
            if (r.text.mid(2, 4).compare("BYE ", Qt::CaseInsensitive) == 0 && !loggingOut) {
                broken();
                *error = LogLine::oneLine(QString::fromUtf8(r.text));
                return false;
            }
            if (each && !each(r))
                return false;
            continue;
        }
        if (!r.text.startsWith(QByteArray(tag + ' '))) {
            broken();
            *error = ImapMailboxText::badResponse();
            return false;
        }
        const QByteArray status = r.text.mid(tag.size() + 1);
        const qsizetype space = status.indexOf(' ');
        const QByteArray word = (space < 0 ? status : status.left(space)).toUpper();
        if (word == "OK") {
            if (status.contains(']'))
                noteCapabilities(status.left(status.indexOf(']') + 1));
            return true;
        }
        m_lastNoTryCreate = status.toUpper().contains("[TRYCREATE]");
        if (word != "NO" && word != "BAD")
            broken();
        *error = LogLine::oneLine(QString::fromUtf8(status));
        return false;
    }
}

bool ImapMailbox::capability(QString *error)
{
    return command("CAPABILITY",
                   [this](const ImapResponse &r) {
                       if (r.text.toUpper().startsWith("* CAPABILITY "))
                           noteCapabilities(r.text);
                       return true;
                   },
                   error);
}

bool ImapMailbox::open(QString *error)
{
    const Pop3MailboxOptions &c = m_options.connection;
    m_broken = false;
    m_messageAtFault = false;
    m_marked.clear();
    m_capabilities.clear();
    m_uidValidity.clear();
    if (!safeArgument(c.user) || !safeArgument(c.password) || !safeArgument(m_options.folder)
        || !safeArgument(m_options.moveTo)) {
        *error = ImapMailboxText::badArgument();
        return false;
    }
    TlsOptions tls;
    tls.implicit = c.tls == Pop3Tls::Implicit;
    tls.verify = c.verifyCertificate && c.tls != Pop3Tls::None;
    if (!m_socket.connectToHost(c.host, c.port, c.connectTimeoutMs, tls)) {
        *error = m_socket.errorString();
        return false;
    }
    const auto fail = [&] {
        abandon();
        return false;
    };
    ImapResponse greeting;
    if (!readResponse(&greeting, 0, error))
        return fail();
    const QByteArray upper = greeting.text.toUpper();
    if (!upper.startsWith("* OK") && !upper.startsWith("* PREAUTH")) {
        *error = greeting.text.isEmpty() ? ImapMailboxText::badResponse() : LogLine::oneLine(QString::fromUtf8(greeting.text));
        return fail();
    }
    const bool preauth = upper.startsWith("* PREAUTH");
    noteCapabilities(greeting.text.left(greeting.text.indexOf(']') + 1));
    if (m_capabilities.isEmpty() && !capability(error))
        return fail();
    if (c.tls == Pop3Tls::StartTls && !preauth) {
        if (!has("STARTTLS")) {
            QString ignored;
            command("LOGOUT", {}, &ignored);
            *error = ImapMailboxText::noStartTls();
            return fail();
        }
        if (!command("STARTTLS", {}, error))
            return fail();
        if (!m_socket.startTls(c.connectTimeoutMs, tls)) {
            *error = m_socket.errorString();
            return fail();
        }
        // RFC 3501 section 6.2.1: what was said before TLS is forgotten.
        m_capabilities.clear();
        if (!capability(error))
            return fail();
    }
    if (!preauth && !login(error)) {
        if (m_socket.isConnected() && !m_broken) {
            QString ignored;
            command("LOGOUT", {}, &ignored);
        }
        return fail();
    }
    if (!select(error))
        return fail();
    return true;
}

bool ImapMailbox::login(QString *error)
{
    const Pop3MailboxOptions &c = m_options.connection;
    const QByteArray user = c.user.toUtf8();
    const QByteArray password = c.password.toUtf8();
    const bool plainOffered = has("AUTH=PLAIN");
    const bool saslIr = has("SASL-IR");
    const bool loginDisabled = has("LOGINDISABLED");
    // The capabilities may grow with the login; its answer names them, or they are asked.
    const int noted = m_capabilityNotes;
    if (plainOffered) {
        // RFC 4616: authorization id (empty), user, password, NUL between.
        const QByteArray plain = Base64Encode(QByteArray() + '\0' + user + '\0' + password);
        if (saslIr) {
            if (!command("AUTHENTICATE PLAIN " + plain, {}, error))
                return false;
        } else {
            // RFC 3501 section 6.2.2: the response follows the server's "+".
            const QByteArray tag = nextTag();
            if (!send(tag + " AUTHENTICATE PLAIN\r\n", error) || !continuation(tag, error) || !send(plain + "\r\n", error)
                || !tagged(tag, false, {}, error, 0))
                return false;
        }
    } else {
        if (loginDisabled) {
            *error = ImapMailboxText::loginDisabled();
            return false;
        }
        QList<QByteArray> parts{"LOGIN "};
        for (const QByteArray *arg : {&user, &password}) {
            if (arg != &user)
                parts.last() += ' ';
            if (ascii(*arg)) {
                parts.last() += Imap::quoted(*arg);
            } else {
                parts += *arg;
                parts += QByteArray();
            }
        }
        if (!command(parts, {}, error))
            return false;
    }
    return m_capabilityNotes != noted || capability(error);
}

bool ImapMailbox::select(QString *error)
{
    m_exists = 0;
    m_uidValidity.clear();
    static const QRegularExpression validity(QStringLiteral("\\[UIDVALIDITY (\\d{1,10})\\]"),
                                             QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression exists(QStringLiteral("^\\* (\\d{1,10}) EXISTS$"), QRegularExpression::CaseInsensitiveOption);
    const bool ok = command("SELECT " + folderName(m_options.folder),
                            [&](const ImapResponse &r) {
                                const QString text = QString::fromLatin1(r.text.left(256));
                                QRegularExpressionMatch m = validity.match(text);
                                if (m.hasMatch())
                                    m_uidValidity = m.captured(1).toLatin1();
                                m = exists.match(text);
                                if (m.hasMatch())
                                    m_exists = m.captured(1).toLongLong();
                                return true;
                            },
                            error);
    if (!ok)
        return false;
    if (m_uidValidity.isEmpty()) {
        *error = ImapMailboxText::noUidValidity();
        return false;
    }
    return true;
}

bool ImapMailbox::list(QList<MailboxEntry> *entries, QString *error)
{
    entries->clear();
    QList<MailboxEntry> found;
    QSet<qint64> listed;
    const qint64 total = m_exists;
    const int chunk = qMax(1, m_options.listChunk);
    for (qint64 from = 1; from <= total && found.size() < m_options.connection.maxListEntries; from += chunk) {
        const qint64 to = qMin(total, from + chunk - 1);
        const bool ok = command("FETCH " + QByteArray::number(from) + ':' + QByteArray::number(to) + " (UID RFC822.SIZE)",
                                [&](const ImapResponse &r) {
                                    qint64 number = 0;
                                    QHash<QByteArray, QByteArray> items;
                                    // EXISTS, EXPUNGE, a FETCH of flags another client changed:
                                    // nothing for the listing.
                                    if (!fetchItems(r, &number, &items) || !items.contains("UID")
                                        || !items.contains("RFC822.SIZE") || number < from || number > to
                                        || listed.contains(number))
                                        return true;
                                    qint64 uid = 0;
                                    qint64 size = 0;
                                    const QByteArray sizeText = items.value("RFC822.SIZE");
                                    if (!positiveNumber(items.value("UID"), &uid) || uid > 0xffffffffLL
                                        || (sizeText != "0" && !positiveNumber(sizeText, &size))) {
                                        *error = Pop3MailboxText::badListing();
                                        broken();
                                        return false;
                                    }
                                    listed.insert(number);
                                    if (found.size() < m_options.connection.maxListEntries)
                                        found += MailboxEntry{int(number), size, QByteArray::number(uid)};
                                    return true;
                                },
                                error);
        if (!ok)
            return false;
    }
    *entries = found;
    return true;
}

bool ImapMailbox::retrieve(const MailboxEntry &entry, QByteArray *message, QString *error)
{
    message->clear();
    m_messageAtFault = false;
    const qint64 max = m_options.connection.maxMessageBytes;
    if (entry.size > max) {
        m_messageAtFault = true;
        *error = Pop3MailboxText::messageTooLarge();
        return false;
    }
    bool got = false;
    const bool ok = command("UID FETCH " + entry.uidl + " (UID BODY.PEEK[])",
                            [&](const ImapResponse &r) {
                                qint64 number = 0;
                                QHash<QByteArray, QByteArray> items;
                                if (!fetchItems(r, &number, &items) || items.value("UID") != entry.uidl
                                    || !items.contains("BODY[]"))
                                    return true;
                                *message = items.value("BODY[]");
                                got = true;
                                return true;
                            },
                            error, max);
    if (!ok) {
        // A literal above the bound: the message's fault, and the session cannot go on (its
        // bytes were never read). A NO: the server's word on this message.
        m_messageAtFault = *error == ImapMailboxText::literalTooLarge() || (usable() && m_socket.isConnected());
        return false;
    }
    if (!got) {
        m_messageAtFault = true;
        *error = ImapMailboxText::messageGone();
        return false;
    }
    return true;
}

bool ImapMailbox::remove(const MailboxEntry &entry, QString *error)
{
    if (!m_options.moveTo.isEmpty()) {
        const QByteArray target = folderName(m_options.moveTo);
        const auto moveOrCopy = [&] {
            return command((has("MOVE") ? "UID MOVE " : "UID COPY ") + entry.uidl + ' ' + target, {}, error);
        };
        bool moved = moveOrCopy();
        if (!moved && m_lastNoTryCreate && usable()) {
            // RFC 3501 section 6.4.7: the folder does not exist yet.
            if (!command("CREATE " + target, {}, error))
                return false;
            moved = moveOrCopy();
        }
        if (!moved)
            return false;
        if (has("MOVE"))
            return true;
    }
    if (!command("UID STORE " + entry.uidl + " +FLAGS.SILENT (\\Deleted)", {}, error))
        return false;
    m_marked += entry.uidl;
    return true;
}

bool ImapMailbox::expungeMarked(QString *error)
{
    if (m_marked.isEmpty())
        return true;
    if (has("UIDPLUS")) {
        // Only what this session flagged, not what another client flagged.
        for (qsizetype i = 0; i < m_marked.size(); i += kUidsPerCommand) {
            QList<qint64> uids;
            for (const QByteArray &u : m_marked.mid(i, kUidsPerCommand))
                uids += u.toLongLong();
            if (!command("UID EXPUNGE " + uidSet(uids), {}, error))
                return false;
        }
    } else if (!command("EXPUNGE", {}, error)) {
        return false;
    }
    m_marked.clear();
    return true;
}

bool ImapMailbox::flush(QString *error)
{
    // The listing is taken anew after this: SELECT gives the new count.
    return expungeMarked(error) && select(error);
}

bool ImapMailbox::close(QString *error)
{
    const bool ok = expungeMarked(error);
    QString ignored;
    if (usable())
        command("LOGOUT", {}, ok ? error : &ignored);
    m_socket.close();
    return ok;
}

void ImapMailbox::abandon()
{
    m_marked.clear();
    m_socket.close();
}
