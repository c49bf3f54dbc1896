#include "mail/MailText.h"

#include "mail/Base64.h"

#include <QList>

namespace {

constexpr qsizetype kLineMax = 78;  // RFC 5322 2.1.1
constexpr qsizetype kWordMax = 75;  // RFC 2047 2

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

// Length in UTF-16 units of the character at text[i] (a surrogate pair stays whole).
qsizetype charLength(QStringView text, qsizetype i)
{
    return text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate() ? 2 : 1;
}

// The text in the charset; ISO-2022-JP is only asked for text that reads back through it.
QByteArray convert(QStringView text, MailCharset charset)
{
    QByteArray out;
    if (charset == MailCharset::Iso2022Jp)
        AppendIso2022Jp(out, text, false);
    else
        AppendUtf8(out, text, false);
    return out;
}

class WordWriter
{
public:
    explicit WordWriter(MailCharset charset)
        : m_charset(charset), m_open("=?" + CharsetName(charset) + "?B?")
    {
    }

    // Characters of an encoded word that can hold `bytes` converted bytes.
    qsizetype wordLength(qsizetype bytes) const { return m_open.size() + (bytes + 2) / 3 * 4 + 2; }

    // The longest run of whole characters from `from` whose word fits in `room` characters
    // (at least one character, whatever the room); its end in *end.
    QByteArray take(QStringView text, qsizetype from, qsizetype room, qsizetype *end) const
    {
        QByteArray best;
        qsizetype at = from;
        while (at < text.size()) {
            const qsizetype next = at + charLength(text, at);
            QByteArray bytes = convert(text.mid(from, next - from), m_charset);
            if (at > from && wordLength(bytes.size()) > room)
                break;
            best = std::move(bytes);
            at = next;
        }
        *end = at;
        return best;
    }

    QByteArray word(const QByteArray &bytes) const { return m_open + Base64Encode(bytes) + "?="; }

    // Writes text as encoded words at column *col of out's last line: the first word takes
    // the room left there, each further word starts a continuation line.
    void write(QByteArray &out, qsizetype *col, QStringView text) const
    {
        qsizetype from = 0;
        qsizetype room = qMin(kWordMax, kLineMax - *col);
        while (from < text.size()) {
            if (from > 0) {
                out += "\r\n ";
                *col = 1;
                room = kWordMax;
            }
            qsizetype end = 0;
            const QByteArray w = word(take(text, from, room, &end));
            out += w;
            *col += w.size();
            from = end;
        }
    }

private:
    MailCharset m_charset;
    QByteArray m_open;
};

// A word of a Subject that has to be encoded (RFC 2047 5: a plain word looking like an
// encoded word is encoded too).
bool needsEncoding(QStringView word)
{
    for (const QChar c : word)
        if (c.unicode() >= 0x7F || c.unicode() < 0x20)
            return true;
    return word.contains(u"=?");
}

struct Piece
{
    QStringView blanks; // before the word
    QStringView word;
};

} // namespace

EncodedBody EncodeMailBody(QStringView text, bool iso2022JpAllowed)
{
    QByteArray bytes;
    bytes.reserve(text.size() * 3 + 16);
    if (iso2022JpAllowed && AppendIso2022Jp(bytes, text, true))
        return {Base64Lines(bytes), MailCharset::Iso2022Jp};
    AppendUtf8(bytes, text, true);
    return {Base64Lines(bytes), MailCharset::Utf8};
}

QByteArray EncodeSubjectField(QByteArrayView name, QStringView text, MailCharset charset)
{
    if (!ReadsBackAsIso2022Jp(text))
        charset = MailCharset::Utf8;
    QList<Piece> pieces;
    for (qsizetype i = 0; i < text.size();) {
        qsizetype w = i;
        while (w < text.size() && isBlank(text[w]))
            ++w;
        qsizetype e = w;
        while (e < text.size() && !isBlank(text[e]))
            ++e;
        pieces += Piece{text.mid(i, w - i), text.mid(w, e - w)};
        i = e;
    }
    qsizetype first = -1;
    qsizetype last = -1;
    for (qsizetype k = 0; k < pieces.size(); ++k) {
        if (needsEncoding(pieces[k].word)) {
            if (first < 0)
                first = k;
            last = k;
        }
    }

    QByteArray out = name.toByteArray() + ": ";
    qsizetype col = out.size();
    bool content = false; // the field's first line holds part of the value
    const auto plain = [&](const Piece &p) {
        const QByteArray blanks = p.blanks.toLatin1();
        const QByteArray word = p.word.toLatin1();
        if (content && !blanks.isEmpty() && col + blanks.size() + word.size() > kLineMax) {
            out += "\r\n";
            col = 0;
        }
        out += blanks + word;
        col += blanks.size() + word.size();
        content = content || !word.isEmpty();
    };
    for (qsizetype k = 0; k < pieces.size(); ++k) {
        if (k < first || first < 0 || k > last) {
            plain(pieces[k]);
            continue;
        }
        // The stretch: from the first encoded word's start to the last one's end.
        const QStringView blanks = pieces[first].blanks;
        const QChar *begin = pieces[first].word.data();
        const QChar *end = pieces[last].word.data() + pieces[last].word.size();
        const QStringView stretch(begin, end - begin);
        const WordWriter writer(charset);
        const qsizetype one = writer.wordLength(convert(stretch.mid(0, charLength(stretch, 0)), charset).size());
        if (content && !blanks.isEmpty() && col + blanks.size() + one > kLineMax) {
            out += "\r\n";
            col = 0;
        }
        out += blanks.toLatin1();
        col += blanks.size();
        writer.write(out, &col, stretch);
        content = true;
        k = last;
    }
    return out;
}

QByteArray EncodeDisplayName(QStringView name, MailCharset charset)
{
    QString clean = name.toString();
    bool plain = true;
    for (QChar &c : clean) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = u' ';
        else if (c.unicode() > 0x7F)
            plain = false;
    }
    if (plain && !clean.contains(u"=?"))
        return clean.toLatin1();
    if (!ReadsBackAsIso2022Jp(clean))
        charset = MailCharset::Utf8;
    // One word, however long: readers that keep the blank between two encoded words of a
    // phrase (Python's email package does) would otherwise show one inside the name.
    return WordWriter(charset).word(convert(clean, charset));
}
