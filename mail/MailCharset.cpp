#include "mail/MailCharset.h"

#include <array>
#include <cstring>
#include <iconv.h>
#include <memory>

namespace {

// Per UTF-16 code unit: the code it has in ISO-2022-JP, or None.
//   below 0x80        ASCII, the byte itself
//   Roman | byte      JIS X 0201 Roman (¥ as 0x5C, ‾ as 0x7E)
//   0x2121 - 0x7E7E   JIS X 0208, the two bytes
constexpr quint16 None = 0xFFFF;
constexpr quint16 Roman = 0x100;

using Table = std::array<quint16, 0x10000>;

// JIS X 0208 is read from glibc's strict ISO-2022-JP decoder (the same rows and the same
// Unicode mapping as other strict readers: 21 41 is 〜 U+301C, 21 40 is ＼ U+FF3C), so the
// table holds exactly what such a reader gives back.
void addJisX0208(Table &t)
{
    const iconv_t cd = iconv_open("UTF-16LE", "ISO-2022-JP");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return; // without the decoder every Japanese character goes out as UTF-8
    for (int j1 = 0x21; j1 <= 0x7E; ++j1) {
        for (int j2 = 0x21; j2 <= 0x7E; ++j2) {
            char in[] = {'\x1B', '$', 'B', char(j1), char(j2), '\x1B', '(', 'B'};
            char16_t outBuf[4] = {};
            char *src = in;
            size_t srcLeft = sizeof in;
            char *dst = reinterpret_cast<char *>(outBuf);
            size_t dstLeft = sizeof outBuf;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            const size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
            if (r == size_t(-1) || srcLeft != 0 || sizeof outBuf - dstLeft != 2)
                continue;
            const char16_t u = outBuf[0];
            if (u >= 0x80 && (u < 0xD800 || u > 0xDFFF) && t[u] == None)
                t[u] = quint16(j1 << 8 | j2);
        }
    }
    iconv_close(cd);
}

const Table &table()
{
    static const std::unique_ptr<Table> t = [] {
        auto t = std::make_unique<Table>();
        t->fill(None);
        for (char16_t c = 0; c < 0x80; ++c)
            (*t)[c] = c;
        // They would change the decoder's state instead of being read as text.
        (*t)[0x1B] = (*t)[0x0E] = (*t)[0x0F] = None;
        (*t)[0x00A5] = Roman | 0x5C; // ¥
        (*t)[0x203E] = Roman | 0x7E; // ‾
        addJisX0208(*t);
        return t;
    }();
    return *t;
}

enum class Set { Ascii, Roman, Jis };

const char *escapeTo(Set s)
{
    switch (s) {
    case Set::Ascii: return "\x1B(B";
    case Set::Roman: return "\x1B(J";
    case Set::Jis: break;
    }
    return "\x1B$B";
}

// The line break at text[i] (CR LF, CR or LF): its length, or 0.
inline qsizetype lineBreakAt(QStringView text, qsizetype i)
{
    const char16_t c = text[i].unicode();
    if (c == u'\n')
        return 1;
    if (c != u'\r')
        return 0;
    return i + 1 < text.size() && text[i + 1] == u'\n' ? 2 : 1;
}

} // namespace

bool ReadsBackAsIso2022Jp(QStringView text)
{
    const Table &t = table();
    for (const QChar c : text)
        if (t[c.unicode()] == None)
            return false;
    return true;
}

bool AppendIso2022Jp(QByteArray &out, QStringView text, bool normaliseLines)
{
    const Table &t = table();
    const qsizetype start = out.size();
    // Worst case per character: an escape and two bytes; a line break after Japanese takes
    // an escape and CR LF.
    out.resize(start + text.size() * 5 + 8);
    char *const begin = out.data() + start;
    char *d = begin;
    Set set = Set::Ascii;
    const auto switchTo = [&](Set s) {
        if (s != set) {
            memcpy(d, escapeTo(s), 3);
            d += 3;
            set = s;
        }
    };
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n;) {
        if (normaliseLines) {
            if (const qsizetype len = lineBreakAt(text, i)) {
                switchTo(Set::Ascii); // RFC 1468: every line ends in ASCII
                *d++ = '\r';
                *d++ = '\n';
                i += len;
                continue;
            }
        }
        const quint16 code = t[text[i].unicode()];
        ++i;
        if (code < 0x80) {
            switchTo(Set::Ascii);
            *d++ = char(code);
        } else if (code == None) {
            out.resize(start);
            return false;
        } else if (code >= 0x2121) {
            switchTo(Set::Jis);
            *d++ = char(code >> 8);
            *d++ = char(code & 0xFF);
        } else {
            switchTo(Set::Roman);
            *d++ = char(code & 0xFF);
        }
    }
    switchTo(Set::Ascii);
    if (normaliseLines && d > begin && d[-1] != '\n') {
        *d++ = '\r';
        *d++ = '\n';
    }
    out.resize(start + (d - begin));
    return true;
}

void AppendUtf8(QByteArray &out, QStringView text, bool normaliseLines)
{
    const qsizetype start = out.size();
    out.resize(start + text.size() * 3 + 2);
    char *const begin = out.data() + start;
    char *d = begin;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n;) {
        const char16_t c = text[i].unicode();
        if (c < 0x80) {
            if (normaliseLines) {
                if (const qsizetype len = lineBreakAt(text, i)) {
                    *d++ = '\r';
                    *d++ = '\n';
                    i += len;
                    continue;
                }
            }
            *d++ = char(c);
            ++i;
            continue;
        }
        ++i;
        char32_t u = c;
        if (QChar::isHighSurrogate(c) && i < n && text[i].isLowSurrogate()) {
            u = QChar::surrogateToUcs4(c, text[i].unicode());
            ++i;
        } else if (QChar::isSurrogate(c)) {
            *d++ = '?';
            continue;
        }
        if (u < 0x800) {
            *d++ = char(0xC0 | (u >> 6));
        } else if (u < 0x10000) {
            *d++ = char(0xE0 | (u >> 12));
            *d++ = char(0x80 | ((u >> 6) & 0x3F));
        } else {
            *d++ = char(0xF0 | (u >> 18));
            *d++ = char(0x80 | ((u >> 12) & 0x3F));
            *d++ = char(0x80 | ((u >> 6) & 0x3F));
        }
        *d++ = char(0x80 | (u & 0x3F));
    }
    if (normaliseLines && d > begin && d[-1] != '\n') {
        *d++ = '\r';
        *d++ = '\n';
    }
    out.resize(start + (d - begin));
}

QByteArray CharsetName(MailCharset charset)
{
    return charset == MailCharset::Utf8 ? QByteArrayLiteral("UTF-8") : QByteArrayLiteral("ISO-2022-JP");
}
