#include "issue/UUnmappable.h"

#include "store/MagazineSql.h"

#include <QStringList>

namespace {

// A mail that ISO-2022-JP cannot carry goes out as UTF-8, which carries every character;
// only a lone surrogate (half of a pair, left by a broken paste or file) is no character at
// all, and is sent as "?".
int unmappableIn(const QString &text)
{
    int n = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        else if (text[i].isSurrogate())
            ++n;
    }
    return n;
}

// One character of text from i on (a surrogate pair stays whole).
QString characterAt(const QString &text, qsizetype i)
{
    if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
        return text.mid(i, 2);
    return text.mid(i, 1);
}

// Finds the characters of one line (or one-line field), up to what is still wanted.
void scanLine(const QString &field, const QString &line, int lineNo, int limit, QList<UnmappableChar> &out)
{
    if (unmappableIn(line) == 0)
        return;
    int column = 0;
    for (qsizetype i = 0; i < line.size() && out.size() < limit;) {
        const QString c = characterAt(line, i);
        ++column;
        if (unmappableIn(c) > 0)
            out.append({field, c, lineNo, column});
        i += c.size();
    }
}

void scanField(const QString &field, const QString &text, bool byLine, int limit, QList<UnmappableChar> &out)
{
    if (!byLine) {
        scanLine(field, text, 0, limit, out);
        return;
    }
    const QStringList lines = text.split(u'\n');
    for (qsizetype k = 0; k < lines.size() && out.size() < limit; ++k) {
        QString line = lines[k];
        if (line.endsWith(u'\r'))
            line.chop(1);
        scanLine(field, line, int(k + 1), limit, out);
    }
}

// Characters that would not show in the list (marks, spaces, format characters) by code.
QString shown(const QString &c)
{
    const char32_t u = c.size() == 2 ? QChar::surrogateToUcs4(c[0], c[1]) : c[0].unicode();
    const QChar::Category cat = QChar::category(u);
    const bool visible = QChar::isPrint(u) && !QChar::isSpace(u) && cat != QChar::Mark_NonSpacing
                      && cat != QChar::Mark_SpacingCombining && cat != QChar::Mark_Enclosing;
    if (visible)
        return c;
    return QStringLiteral("U+") + QString::number(uint(u), 16).toUpper().rightJustified(4, u'0');
}

} // namespace

QList<UnmappableChar> FindUnmappable(const MailTexts &texts, int limit, int *total)
{
    const struct {
        const char16_t *field;
        const QString *text;
        bool byLine;
    } fields[] = {
        {u"件名", &texts.subject, false},
        {u"本文", &texts.body, true},
        {u"発行者名", &texts.owner, false},
        {u"メール宛名", &texts.atena, false},
    };
    QList<UnmappableChar> out;
    int all = 0;
    for (const auto &f : fields) {
        // the whole text first: a text without such characters costs one conversion
        const int n = unmappableIn(*f.text);
        all += n;
        if (n > 0 && out.size() < limit)
            scanField(QString::fromUtf16(f.field), *f.text, f.byLine, limit, out);
    }
    if (total)
        *total = all;
    return out;
}

QString UnmappableQuestion(const QList<UnmappableChar> &found, int total)
{
    QString text = QStringLiteral("次の文字はメールの文字コードにないため、「?」に置き換えて送信されます。\r\n");
    for (const UnmappableChar &u : found) {
        const QString where = u.line > 0 ? QStringLiteral("%1行目 %2文字目").arg(u.line).arg(u.column)
                                         : QStringLiteral("%1文字目").arg(u.column);
        text += QStringLiteral("%1: %2 (%3)\r\n").arg(u.field, shown(u.character), where);
    }
    if (total > found.size())
        text += QStringLiteral("ほか %1 文字\r\n").arg(total - found.size());
    text += QStringLiteral("\r\nこのまま送信しますか？（「いいえ」で戻ります）");
    return text;
}

void ReadMagazineTexts(int magIdx, MailTexts *texts)
{
    if (const std::optional<MagazineRecord> m = MagazineSql::load(magIdx)) {
        texts->owner = m->owner;
        texts->atena = m->atena;
    }
}
