#include "mail/jconvert.h"

#include "store/Codec.h"

#include <QHash>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace {

using uchar = unsigned char;

constexpr char EscJis[] = "\x1B$B";   // JIS X 0208-1983
constexpr char EscAscii[] = "\x1B(B"; // ASCII

// JIS X 0208 codes of the half-width katakana 0xA1-0xDF (the lone marks as ゛ and ゜).
constexpr std::array<quint16, 63> KanaJis = {
    0x2123, 0x2156, 0x2157, 0x2122, 0x2126, 0x2572, 0x2521, 0x2523, //
    0x2525, 0x2527, 0x2529, 0x2563, 0x2565, 0x2567, 0x2543, 0x213C, //
    0x2522, 0x2524, 0x2526, 0x2528, 0x252A, 0x252B, 0x252D, 0x252F, //
    0x2531, 0x2533, 0x2535, 0x2537, 0x2539, 0x253B, 0x253D, 0x253F, //
    0x2541, 0x2544, 0x2546, 0x2548, 0x254A, 0x254B, 0x254C, 0x254D, //
    0x254E, 0x254F, 0x2552, 0x2555, 0x2558, 0x255B, 0x255E, 0x255F, //
    0x2560, 0x2561, 0x2562, 0x2564, 0x2566, 0x2568, 0x2569, 0x256A, //
    0x256B, 0x256C, 0x256D, 0x256F, 0x2573, 0x212B, 0x212C,
};
constexpr quint16 Geta = 0x222E; // 〓, the usual mark for a character that cannot be sent

constexpr bool isLead(uchar b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
constexpr bool isTrail(uchar b) { return b >= 0x40 && b <= 0xFC && b != 0x7F; }
constexpr bool isKana(uchar b) { return b >= 0xA1 && b <= 0xDF; }

// Shift_JIS lead/trail to JIS X 0208 by arithmetic alone.
constexpr quint16 arithmeticJis(uchar c1, uchar c2)
{
    int j1 = ((c1 < 0xA0 ? c1 - 0x70 : c1 - 0xB0) * 2) & 0xFF;
    int j2;
    if (c2 < 0x9F) {
        j1 -= 1;
        j2 = c2 > 0x7F ? c2 - 0x20 : c2 - 0x1F;
    } else {
        j2 = c2 - 0x7E;
    }
    return quint16(((j1 & 0xFF) << 8) | (j2 & 0xFF));
}

// IBM extensions (0xFA40-0xFC4B) repeat characters that CP932 also has as NEC-selected IBM
// extensions (0xED/0xEE), NEC specials (0x87) or ordinary symbols (0x81). Windows and glibc
// encode these characters with the IBM codes, whose arithmetic JIS codes lie outside the 94
// rows; the equivalents convert into rows every mail decoder of the Windows flavour knows.
quint16 ibmEquivalent(uchar c1, uchar c2)
{
    static const QHash<quint16, quint16> table = [] {
        QHash<QString, quint16> byText;
        for (uchar lead : {uchar(0xEE), uchar(0xED), uchar(0x87), uchar(0x81)}) {
            for (int t = 0x40; t <= 0xFC; ++t) {
                if (!isTrail(uchar(t)))
                    continue;
                const char pair[2] = {char(lead), char(t)};
                const QString s = Codec::fromCp932(QByteArray(pair, 2));
                if (s.size() == 1 && s != QChar(0xFFFD))
                    byText.insert(s, quint16(lead << 8 | t)); // later rows win: 0x81 before 0x87
            }
        }
        QHash<quint16, quint16> map;
        for (int lead = 0xFA; lead <= 0xFC; ++lead) {
            for (int t = 0x40; t <= 0xFC; ++t) {
                if (!isTrail(uchar(t)))
                    continue;
                const char pair[2] = {char(lead), char(t)};
                const QString s = Codec::fromCp932(QByteArray(pair, 2));
                const auto it = byText.constFind(s);
                if (s.size() == 1 && it != byText.constEnd())
                    map.insert(quint16(lead << 8 | t), it.value());
            }
        }
        return map;
    }();
    const quint16 sjis = table.value(quint16(c1 << 8 | c2), 0);
    return sjis ? arithmeticJis(uchar(sjis >> 8), uchar(sjis & 0xFF)) : Geta;
}

// One character of CP932 text: a single byte (code < 0x80) or a JIS X 0208 code (wide).
struct Char
{
    quint16 code;
    bool wide;
    int length; // bytes of the text it takes
};

// The character at p[i] (i < n).
Q_ALWAYS_INLINE Char charAt(const uchar *p, qsizetype i, qsizetype n)
{
    const uchar b = p[i];
    if (b < 0x80) // ESC, SO and SI would change the decoder's state
        return {b == 0x1B || b == 0x0E || b == 0x0F ? quint16('?') : quint16(b), false, 1};
    if (isLead(b) && i + 1 < n && isTrail(p[i + 1])) {
        const uchar t = p[i + 1];
        if (b < 0xF0)
            return {arithmeticJis(b, t), true, 2};
        return {b >= 0xFA ? ibmEquivalent(b, t) : Geta, true, 2};
    }
    if (!isKana(b))
        return {quint16('?'), false, 1};
    quint16 code = KanaJis[b - 0xA1];
    if (i + 1 < n && (p[i + 1] == 0xDE || p[i + 1] == 0xDF)) {
        const bool voiced = p[i + 1] == 0xDE;
        if (b == 0xB3 && voiced)
            return {0x2574, true, 2}; // ｳﾞ -> ヴ
        if (b >= 0xB6 && b <= 0xC4 && voiced)
            return {quint16(code + 1), true, 2};
        if (b >= 0xCA && b <= 0xCE)
            return {quint16(code + (voiced ? 1 : 2)), true, 2};
    }
    return {code, true, 1};
}

// ISO-2022-JP appended to out, back to ASCII with ESC ( B: CP932's single bytes are ASCII
// (0x5C is a backslash), and a strict reader would show them as ¥ and ‾ after ESC ( J. With
// normaliseLines, CR LF, a lone CR and a lone LF all become CR LF, and the text ends with one.
void appendJis(QByteArray &out, const QByteArray &sjis, bool normaliseLines)
{
    const char *const back = EscAscii;
    const auto *p = reinterpret_cast<const uchar *>(sjis.constData());
    const qsizetype n = sjis.size();
    // Worst case per input byte: an escape and two bytes (half-width katakana), or a lone LF
    // after Japanese (escape, CR, LF).
    const qsizetype start = out.size();
    out.resize(start + n * 5 + 8);
    char *const begin = out.data() + start;
    char *d = begin; // kept in a local so the compiler need not reload it after each store
    bool jis = false;
    for (qsizetype i = 0; i < n;) {
        const uchar b = p[i];
        if (b < 0x80 && b != 0x1B && b != 0x0E && b != 0x0F) {
            if (jis) {
                memcpy(d, back, 3);
                d += 3;
                jis = false;
            }
            if (normaliseLines && (b == '\r' || b == '\n')) {
                i += (b == '\r' && i + 1 < n && p[i + 1] == '\n') ? 2 : 1;
                *d++ = '\r';
                *d++ = '\n';
                continue;
            }
            *d++ = char(b);
            ++i;
            continue;
        }
        if (jis && ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b < 0xF0)) && i + 1 < n && isTrail(p[i + 1])) {
            // The common case inside Japanese text: a double-byte character, set unchanged.
            const quint16 code = arithmeticJis(b, p[i + 1]);
            *d++ = char(code >> 8);
            *d++ = char(code & 0xFF);
            i += 2;
            continue;
        }
        const Char c = charAt(p, i, n);
        i += c.length;
        if (c.wide != jis) {
            memcpy(d, c.wide ? EscJis : back, 3);
            d += 3;
            jis = c.wide;
        }
        if (c.wide) {
            *d++ = char(c.code >> 8);
            *d++ = char(c.code & 0xFF);
        } else {
            *d++ = char(c.code);
        }
    }
    if (jis) {
        memcpy(d, back, 3);
        d += 3;
    }
    if (normaliseLines && d > begin && d[-1] != '\n') {
        *d++ = '\r';
        *d++ = '\n';
    }
    out.resize(start + (d - begin));
}

constexpr char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Base64 of [src, src+len) written at dst; returns the end.
char *base64(const uchar *src, qsizetype len, char *dst)
{
    qsizetype i = 0;
    for (; i + 3 <= len; i += 3) {
        const quint32 v = quint32(src[i]) << 16 | quint32(src[i + 1]) << 8 | src[i + 2];
        *dst++ = Alphabet[v >> 18];
        *dst++ = Alphabet[(v >> 12) & 63];
        *dst++ = Alphabet[(v >> 6) & 63];
        *dst++ = Alphabet[v & 63];
    }
    if (len - i == 1) {
        const quint32 v = quint32(src[i]) << 16;
        *dst++ = Alphabet[v >> 18];
        *dst++ = Alphabet[(v >> 12) & 63];
        *dst++ = '=';
        *dst++ = '=';
    } else if (len - i == 2) {
        const quint32 v = quint32(src[i]) << 16 | quint32(src[i + 1]) << 8;
        *dst++ = Alphabet[v >> 18];
        *dst++ = Alphabet[(v >> 12) & 63];
        *dst++ = Alphabet[(v >> 6) & 63];
        *dst++ = '=';
    }
    return dst;
}

void appendEncodedWord(QByteArray &out, const QByteArray &jis)
{
    out += "=?ISO-2022-JP?B?";
    const qsizetype start = out.size();
    out.resize(start + (jis.size() + 2) / 3 * 4);
    base64(reinterpret_cast<const uchar *>(jis.constData()), jis.size(), out.data() + start);
    out += "?=";
}

// One character of a Subject: a single byte, or a JIS X 0208 code when wide.
struct SubjectChar
{
    quint16 code;
    bool wide;
};

} // namespace

QByteArray SjisToJis(const QByteArray &sjis)
{
    QByteArray out;
    appendJis(out, sjis, false);
    return out;
}

QByteArray Base64Encode(const QByteArray &bytes)
{
    QByteArray out((bytes.size() + 2) / 3 * 4, Qt::Uninitialized);
    base64(reinterpret_cast<const uchar *>(bytes.constData()), bytes.size(), out.data());
    return out;
}

QByteArray MimeHeaderEncode(const QByteArray &sjis)
{
    // Alternating runs: Japanese characters (CP932 as they are) and plain text (made safe).
    struct Run
    {
        QByteArray bytes;
        bool japanese;
    };
    std::vector<Run> runs;
    const auto *p = reinterpret_cast<const uchar *>(sjis.constData());
    const qsizetype n = sjis.size();
    for (qsizetype i = 0; i < n;) {
        const uchar b = p[i];
        const qsizetype len = isKana(b) ? 1 : (isLead(b) && i + 1 < n && isTrail(p[i + 1])) ? 2 : 0;
        const bool japanese = len > 0;
        if (runs.empty() || runs.back().japanese != japanese)
            runs.push_back({QByteArray(), japanese});
        QByteArray &run = runs.back().bytes;
        if (japanese) {
            run.append(sjis.constData() + i, len);
            i += len;
            continue;
        }
        // RFC 5322 2.2: a header field may not hold a bare CR or LF; other controls are
        // invisible at best. 8-bit bytes that are not CP932 characters cannot be sent.
        if ((b < 0x20 && b != '\t') || b == 0x7F)
            run += ' ';
        else if (b >= 0x80)
            run += '?';
        else
            run += char(b);
        ++i;
    }
    if (runs.size() == 1 && !runs.front().japanese)
        return runs.front().bytes; // no Japanese: the caller quotes it as a whole if need be

    // Plain text that travels inside the encoded word next to it:
    //  - blanks between two Japanese runs, which a reader drops between two encoded words
    //    (RFC 2047 6.2), so "山田 太郎" keeps its space;
    //  - text holding RFC 5322 specials, which outside a word would change what a From or To
    //    field means (a comma starts another address, parentheses a comment, ...); a name with
    //    an encoded word cannot be quoted instead (RFC 2047 5).
    const auto encodeInside = [&](size_t i) {
        const QByteArray &t = runs[i].bytes;
        const bool between = i > 0 && i + 1 < runs.size();
        if (between && std::all_of(t.cbegin(), t.cend(), [](char c) { return c == ' ' || c == '\t'; }))
            return true;
        return std::any_of(t.cbegin(), t.cend(), [](char c) { return c != 0 && std::strchr("()<>[]:;@\\,\"", c); });
    };
    QByteArray out;
    QByteArray word; // CP932 of the encoded word being gathered
    for (size_t i = 0; i < runs.size(); ++i) {
        if (runs[i].japanese || encodeInside(i)) {
            word += runs[i].bytes;
            continue;
        }
        if (!word.isEmpty())
            appendEncodedWord(out, SjisToJis(word));
        word.clear();
        out += runs[i].bytes;
    }
    if (!word.isEmpty())
        appendEncodedWord(out, SjisToJis(word));
    return out;
}

QByteArray MimeBodyEncode(const QByteArray &sjis)
{
    QByteArray jis;
    appendJis(jis, sjis, true);
    return Base64Lines(jis);
}

QByteArray Base64Lines(const QByteArray &bytes)
{
    // RFC 2045 6.8: lines of at most 76 characters; 57 bytes make exactly 76.
    const qsizetype lines = (bytes.size() + 56) / 57;
    QByteArray out(lines * 78, Qt::Uninitialized);
    const auto *src = reinterpret_cast<const uchar *>(bytes.constData());
    char *d = out.data();
    for (qsizetype i = 0; i < bytes.size(); i += 57) {
        d = base64(src + i, qMin<qsizetype>(57, bytes.size() - i), d);
        *d++ = '\r';
        *d++ = '\n';
    }
    out.resize(d - out.constData());
    return out;
}

QByteArray MimeSubjectEncode(const QByteArray &sjis)
{
    std::vector<SubjectChar> chars;
    chars.reserve(size_t(sjis.size()));
    const auto *p = reinterpret_cast<const uchar *>(sjis.constData());
    for (qsizetype i = 0; i < sjis.size();) {
        const Char c = charAt(p, i, sjis.size());
        chars.push_back({c.code, c.wide});
        i += c.length;
    }

    // Words are separated by blanks; a word needs encoding when it holds Japanese or a
    // control character, or looks like an encoded word itself (RFC 2047 5).
    const auto blank = [](const SubjectChar &c) { return !c.wide && (c.code == ' ' || c.code == '\t'); };
    const qsizetype n = qsizetype(chars.size());
    qsizetype first = -1; // first char of the first word to encode
    qsizetype last = -1;  // one past the last char of the last word to encode
    for (qsizetype i = 0; i < n;) {
        if (blank(chars[size_t(i)])) {
            ++i;
            continue;
        }
        qsizetype end = i;
        bool encode = false;
        while (end < n && !blank(chars[size_t(end)])) {
            const SubjectChar &c = chars[size_t(end)];
            if (c.wide || c.code < 0x20 || c.code == 0x7F)
                encode = true;
            else if (c.code == '=' && end + 1 < n && !chars[size_t(end + 1)].wide && chars[size_t(end + 1)].code == '?')
                encode = true;
            ++end;
        }
        if (encode) {
            if (first < 0)
                first = i;
            last = end;
        }
        i = end;
    }

    QByteArray out;
    out.reserve(sjis.size() * 3 + 32);
    const auto appendPlain = [&](qsizetype from, qsizetype to) {
        for (qsizetype i = from; i < to; ++i)
            out += char(chars[size_t(i)].code);
    };
    if (first < 0) {
        appendPlain(0, n);
        return out;
    }
    appendPlain(0, first);

    // "=?ISO-2022-JP?B?" and "?=" leave 57 Base64 characters of 75: 14 groups, 42 bytes.
    constexpr qsizetype MaxWordBytes = 42;
    QByteArray word;
    bool jis = false;
    bool firstWord = true;
    const auto closeWord = [&] {
        if (jis)
            word += EscAscii;
        if (!firstWord)
            out += "\r\n ";
        appendEncodedWord(out, word);
        firstWord = false;
        word.clear();
        jis = false;
    };
    for (qsizetype i = first; i < last; ++i) {
        const SubjectChar &c = chars[size_t(i)];
        const qsizetype need = (c.wide != jis ? 3 : 0) + (c.wide ? 2 + 3 : 1);
        if (!word.isEmpty() && word.size() + need > MaxWordBytes)
            closeWord();
        if (c.wide != jis) {
            word += c.wide ? EscJis : EscAscii;
            jis = c.wide;
        }
        if (c.wide) {
            word += char(c.code >> 8);
            word += char(c.code & 0xFF);
        } else {
            word += char(c.code);
        }
    }
    closeWord();
    appendPlain(last, n);
    return out;
}

QByteArray EncodeHeaderText(const QString &text, int *unmappable)
{
    return MimeHeaderEncode(Codec::toCp932(text, unmappable));
}

QByteArray EncodeSubjectText(const QString &text, int *unmappable)
{
    return MimeSubjectEncode(Codec::toCp932(text, unmappable));
}

QByteArray EncodeBodyText(const QString &text, int *unmappable)
{
    return MimeBodyEncode(Codec::toCp932(text, unmappable));
}
