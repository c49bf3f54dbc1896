#include "maintenance/UTextLines.h"

#include "store/Codec.h"

#include <QIODevice>

namespace {

constexpr qint64 kBlockSize = 1 << 20;

// How many of the bytes hold whole characters: a line longer than a block is decoded a
// block at a time, so it must be cut between two characters, never inside one.
qsizetype wholeCharacters(const QByteArray &bytes, bool utf8)
{
    const auto *b = reinterpret_cast<const unsigned char *>(bytes.constData());
    const qsizetype n = bytes.size();
    if (utf8) {
        qsizetype lead = n;
        while (lead > 0 && (b[lead - 1] & 0xC0) == 0x80)
            --lead;
        if (lead == 0)
            return n; // no lead byte at all: not UTF-8, nothing to keep whole
        const unsigned char c = b[lead - 1];
        const qsizetype length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        return lead - 1 + length <= n ? n : lead - 1;
    }
    // CP932: a lead byte takes the byte after it, whatever that is
    qsizetype i = 0;
    while (i < n) {
        const unsigned char c = b[i];
        const qsizetype length = ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) ? 2 : 1;
        if (i + length > n)
            break;
        i += length;
    }
    return i;
}

bool isAscii(const QByteArray &bytes)
{
    for (const char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

} // namespace

TextLineReader::TextLineReader(QIODevice &device) : m_device(device) {}

bool TextLineReader::fill()
{
    while (!m_atEnd) {
        const qsizetype had = m_pending.size();
        m_pending.resize(had + kBlockSize);
        const qint64 got = m_device.read(m_pending.data() + had, kBlockSize);
        m_pending.resize(had + qMax<qint64>(0, got));
        m_bytesRead += qMax<qint64>(0, got);
        if (got <= 0) {
            m_failed = got < 0;
            m_atEnd = true;
        }
        if (!m_started && (m_pending.size() >= 3 || m_atEnd)) {
            m_started = true;
            if (m_pending.startsWith("\xEF\xBB\xBF")) {
                m_utf8 = true;
                m_decided = true;
                m_pending.remove(0, 3);
            }
        }
        if (!m_started)
            continue;
        if (!m_decided && !isAscii(m_pending)) {
            // Without a byte-order mark the first block that holds more than ASCII decides,
            // as a whole file read at once would be decided: text that is valid UTF-8
            // throughout is UTF-8, anything else CP932. ASCII before it reads the same in
            // both. A short read (a pipe) waits for a whole block, unless the file ends.
            if (m_pending.size() < kBlockSize && !m_atEnd)
                continue;
            m_utf8 = Codec::isUtf8Text(m_pending, /*mayBeCut*/ !m_atEnd);
            m_decided = true;
        }
        // Decode up to the last line end; the rest waits for more bytes. A line longer than
        // that is handed out in pieces, so no line makes the reader hold more than a block.
        qsizetype cut = m_pending.size();
        if (!m_atEnd) {
            const qsizetype lf = m_pending.lastIndexOf('\n');
            const qsizetype cr = m_pending.lastIndexOf('\r');
            cut = qMax(lf, cr) + 1;
            if (cut == 0)
                cut = wholeCharacters(m_pending, m_utf8);
            if (cut == 0)
                continue;
        }
        if (cut == 0)
            return false;
        const QByteArray bytes = m_pending.left(cut);
        m_pending.remove(0, cut);
        m_text = m_utf8 ? QString::fromUtf8(bytes) : Codec::fromCp932(bytes);
        m_pos = 0;
        return true;
    }
    return false;
}

qint64 TextLineReader::deviceSize() const
{
    return m_device.isSequential() ? 0 : m_device.size();
}

bool TextLineReader::readBlock(QString &block)
{
    if (m_pos >= m_text.size() && !fill())
        return false;
    block = m_pos == 0 ? m_text : m_text.mid(m_pos);
    m_text.clear();
    m_pos = 0;
    return true;
}

bool TextLineReader::readLine(QString &line)
{
    line.clear();
    bool started = false; // part of the line was taken from an earlier piece
    for (;;) {
        if (m_pos >= m_text.size() && !fill())
            return started;
        if (m_skipLf) {
            m_skipLf = false;
            if (m_text.at(m_pos) == QLatin1Char('\n')) {
                ++m_pos;
                continue;
            }
        }
        qsizetype end = m_pos;
        const qsizetype size = m_text.size();
        const QChar *data = m_text.constData();
        while (end < size && data[end] != QLatin1Char('\n') && data[end] != QLatin1Char('\r'))
            ++end;
        line += QStringView(m_text).mid(m_pos, end - m_pos);
        started = true;
        if (end == size) {
            // the piece ended inside the line (or the file ended): the rest comes next
            m_pos = end;
            continue;
        }
        if (data[end] == QLatin1Char('\r')) {
            if (end + 1 < size) {
                if (data[end + 1] == QLatin1Char('\n'))
                    ++end;
            } else {
                m_skipLf = true;
            }
        }
        m_pos = end + 1;
        return true;
    }
}

qint64 CountTextLines(QIODevice &device)
{
    if (!device.seek(0))
        return -1;
    qint64 lines = 0;
    bool open = false; // bytes seen after the last line end
    char last = 0;
    for (;;) {
        const QByteArray chunk = device.read(kBlockSize);
        if (chunk.isEmpty())
            break;
        for (const char c : chunk) {
            if (c == '\n') {
                if (last != '\r')
                    ++lines;
                open = false;
            } else if (c == '\r') {
                ++lines;
                open = false;
            } else {
                open = true;
            }
            last = c;
        }
    }
    if (open)
        ++lines;
    if (!device.seek(0))
        return -1;
    return lines;
}
