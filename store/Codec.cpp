#include "store/Codec.h"

#include <cerrno>
#include <iconv.h>

namespace Codec {
namespace {

// U+301C and friends: what Windows maps to these CP932 codes, glibc maps from the
// full-width forms. Normalise first so both spellings land on the same code.
QString windowsForms(const QString &text)
{
    QString out = text;
    for (QChar &c : out) {
        switch (c.unicode()) {
        case 0x301C: c = QChar(0xFF5E); break; // 〜 -> ～ (0x8160)
        case 0x2016: c = QChar(0x2225); break; // ‖ -> ∥ (0x8161)
        case 0x2212: c = QChar(0xFF0D); break; // − -> － (0x817C)
        case 0x00A2: c = QChar(0xFFE0); break; // ¢ -> ￠ (0x8191)
        case 0x00A3: c = QChar(0xFFE1); break; // £ -> ￡ (0x8192)
        case 0x00AC: c = QChar(0xFFE2); break; // ¬ -> ￢ (0x81CA)
        default: break;
        }
    }
    return out;
}

class Iconv
{
public:
    Iconv(const char *to, const char *from) : m_cd(iconv_open(to, from)) {}
    ~Iconv()
    {
        if (m_cd != reinterpret_cast<iconv_t>(-1))
            iconv_close(m_cd);
    }
    bool valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return m_cd; }

private:
    iconv_t m_cd;
};

} // namespace

QByteArray toCp932(const QString &text, int *unmappable)
{
    if (unmappable)
        *unmappable = 0;
    const QString normal = windowsForms(text);
    Iconv cd("CP932", "UTF-8");
    QByteArray out;
    if (!cd.valid())
        return normal.toLatin1();
    out.reserve(normal.size() * 2);
    // Convert one character at a time only where iconv refuses one, so the rest stays fast.
    QByteArray in = normal.toUtf8();
    char *src = in.data();
    size_t srcLeft = size_t(in.size());
    QByteArray buf(4096, Qt::Uninitialized);
    while (srcLeft > 0) {
        char *dst = buf.data();
        size_t dstLeft = size_t(buf.size());
        const size_t r = iconv(cd.get(), &src, &srcLeft, &dst, &dstLeft);
        out.append(buf.constData(), buf.size() - qsizetype(dstLeft));
        if (r == size_t(-1) && errno == EILSEQ) {
            // skip one UTF-8 character
            int len = 1;
            const auto lead = static_cast<unsigned char>(*src);
            if (lead >= 0xF0)
                len = 4;
            else if (lead >= 0xE0)
                len = 3;
            else if (lead >= 0xC0)
                len = 2;
            len = int(qMin<size_t>(size_t(len), srcLeft));
            src += len;
            srcLeft -= size_t(len);
            out.append('?');
            if (unmappable)
                ++*unmappable;
        } else if (r == size_t(-1) && errno == EINVAL) {
            break;
        }
    }
    return out;
}

QString fromCp932(const QByteArray &bytes)
{
    Iconv cd("UTF-8", "CP932");
    if (!cd.valid())
        return QString::fromLatin1(bytes);
    QByteArray in = bytes;
    char *src = in.data();
    size_t srcLeft = size_t(in.size());
    QByteArray out;
    out.reserve(bytes.size() * 3 / 2 + 16);
    QByteArray buf(8192, Qt::Uninitialized);
    while (srcLeft > 0) {
        char *dst = buf.data();
        size_t dstLeft = size_t(buf.size());
        const size_t r = iconv(cd.get(), &src, &srcLeft, &dst, &dstLeft);
        out.append(buf.constData(), buf.size() - qsizetype(dstLeft));
        if (r == size_t(-1) && (errno == EILSEQ || errno == EINVAL)) {
            out.append("\xEF\xBF\xBD");
            ++src;
            --srcLeft;
        }
    }
    return QString::fromUtf8(out);
}

QString fromFileBytes(const QByteArray &bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(bytes.mid(3));
    if (isUtf8Text(bytes))
        return QString::fromUtf8(bytes);
    return fromCp932(bytes);
}

bool isUtf8Text(const QByteArray &bytes, bool mayBeCut)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.constData());
    const qsizetype n = bytes.size();
    bool wide = false;
    for (qsizetype i = 0; i < n;) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        wide = true;
        int more = 0;
        unsigned lowest = 0; // the smallest second byte allowed, against overlong forms and surrogates
        unsigned highest = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            more = 1;
            lowest = 0x80;
        } else if (c >= 0xE0 && c <= 0xEF) {
            more = 2;
            lowest = c == 0xE0 ? 0xA0 : 0x80;
            highest = c == 0xED ? 0x9F : 0xBF;
        } else if (c >= 0xF0 && c <= 0xF4) {
            more = 3;
            lowest = c == 0xF0 ? 0x90 : 0x80;
            highest = c == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        for (int k = 1; k <= more; ++k) {
            if (i + k >= n)
                return mayBeCut && wide;
            const unsigned b = p[i + k];
            if (k == 1 ? (b < lowest || b > highest) : (b < 0x80 || b > 0xBF))
                return false;
        }
        i += 1 + more;
    }
    return wide;
}

} // namespace Codec
