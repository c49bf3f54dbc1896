#include "store/SqlTokens.h"

#include "store/Sql.h"

namespace SqlTokens {
namespace {

bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'_' || c == u'.' || c == u'$';
}

// From i (the opening quote) past the closing one; a doubled quote stays inside.
Token readQuoted(const QString &s, qsizetype &i)
{
    const qsizetype start = i;
    const QChar quote = s[i++];
    QString value;
    while (i < s.size()) {
        if (s[i] == quote) {
            if (i + 1 < s.size() && s[i + 1] == quote) {
                value += quote;
                i += 2;
                continue;
            }
            ++i;
            return {Kind::Text, s.mid(start, i - start), value, true};
        }
        value += s[i++];
    }
    return {Kind::Text, s.mid(start), value, false};
}

// [name] ends at the first "]"; `name` at a backtick that is not doubled.
Token readName(const QString &s, qsizetype &i)
{
    const qsizetype start = i;
    const QChar close = s[i] == u'[' ? QChar(u']') : QChar(u'`');
    ++i;
    while (i < s.size()) {
        if (s[i] == close) {
            if (close == u'`' && i + 1 < s.size() && s[i + 1] == close) {
                i += 2;
                continue;
            }
            ++i;
            return {Kind::Name, s.mid(start, i - start), QString(), true};
        }
        ++i;
    }
    return {Kind::Name, s.mid(start), QString(), false};
}

Token readBlockComment(const QString &s, qsizetype &i)
{
    const qsizetype start = i;
    const qsizetype end = s.indexOf(QLatin1String("*/"), i + 2);
    if (end < 0) {
        i = s.size();
        return {Kind::Comment, s.mid(start), QString(), false};
    }
    i = end + 2;
    return {Kind::Comment, s.mid(start, i - start), QString(), true};
}

qsizetype runEnd(const QString &s, qsizetype i, bool (*in)(QChar))
{
    while (i < s.size() && in(s[i]))
        ++i;
    return i;
}

} // namespace

std::vector<Token> read(const QString &s)
{
    std::vector<Token> out;
    qsizetype i = 0;
    while (i < s.size()) {
        const QChar c = s[i];
        const QChar next = i + 1 < s.size() ? s[i + 1] : QChar();
        if (c.isSpace()) {
            const qsizetype j = runEnd(s, i, [](QChar x) { return x.isSpace(); });
            out.push_back({Kind::Space, s.mid(i, j - i)});
            i = j;
        } else if (c == u'\'' || c == u'"') {
            out.push_back(readQuoted(s, i));
        } else if (c == u'[' || c == u'`') {
            out.push_back(readName(s, i));
        } else if (c == u'-' && next == u'-') {
            const qsizetype end = s.indexOf(u'\n', i);
            const qsizetype j = end < 0 ? s.size() : end;
            out.push_back({Kind::Comment, s.mid(i, j - i)});
            i = j;
        } else if (c == u'/' && next == u'*') {
            out.push_back(readBlockComment(s, i));
        } else if (isWordChar(c)) {
            const qsizetype j = runEnd(s, i, isWordChar);
            out.push_back({Kind::Word, s.mid(i, j - i)});
            i = j;
        } else {
            out.push_back({Kind::Punct, QString(c)});
            ++i;
        }
    }
    return out;
}

QString render(const Token &token)
{
    if (token.kind == Kind::Text && token.closed)
        return Sql::q(token.value);
    return token.text;
}

QString render(const std::vector<Token> &tokens)
{
    QString out;
    for (const Token &t : tokens)
        out += render(t);
    return out;
}

bool isWord(const Token &token, const char *word)
{
    return token.kind == Kind::Word && token.text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
}

bool isPunct(const Token &token, char c)
{
    return token.kind == Kind::Punct && token.text.size() == 1 && token.text[0] == QLatin1Char(c);
}

} // namespace SqlTokens
