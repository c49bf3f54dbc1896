#include "mail/Base64.h"

namespace {

using uchar = unsigned char;

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

} // namespace

QByteArray Base64Encode(const QByteArray &bytes)
{
    QByteArray out((bytes.size() + 2) / 3 * 4, Qt::Uninitialized);
    base64(reinterpret_cast<const uchar *>(bytes.constData()), bytes.size(), out.data());
    return out;
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
