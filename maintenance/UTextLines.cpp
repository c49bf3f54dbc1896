#include "maintenance/UTextLines.h"

#include "store/Codec.h"

#include <QIODevice>

namespace {

constexpr qint64 kBlockSize = 1 << 20;

} // namespace

TextLineReader::TextLineReader(QIODevice &device) : m_device(device) {}

bool TextLineReader::fill()
{
    while (!m_atEnd) {
        const qsizetype had = m_pending.size();
        m_pending.resize(had + kBlockSize);
        const qint64 got = m_device.read(m_pending.data() + had, kBlockSize);
        m_pending.resize(had + qMax<qint64>(0, got));
        if (got <= 0) {
            m_failed = got < 0;
            m_atEnd = true;
        }
        if (!m_started && (m_pending.size() >= 3 || m_atEnd)) {
            m_started = true;
            if (m_pending.startsWith("\xEF\xBB\xBF")) {
                m_utf8 = true;
                m_pending.remove(0, 3);
            }
        }
        if (!m_started)
            continue;
        // Decode up to the last line end; the rest waits for more bytes.
        qsizetype cut = m_pending.size();
        if (!m_atEnd) {
            const qsizetype lf = m_pending.lastIndexOf('\n');
            const qsizetype cr = m_pending.lastIndexOf('\r');
            cut = qMax(lf, cr) + 1;
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
    for (;;) {
        if (m_pos >= m_text.size() && !fill())
            return false;
        if (m_skipLf) {
            m_skipLf = false;
            if (m_text.at(m_pos) == QLatin1Char('\n')) {
                ++m_pos;
                continue;
            }
        }
        // a block always ends after a line end, except the very last one
        qsizetype end = m_pos;
        const qsizetype size = m_text.size();
        const QChar *data = m_text.constData();
        while (end < size && data[end] != QLatin1Char('\n') && data[end] != QLatin1Char('\r'))
            ++end;
        line = m_text.mid(m_pos, end - m_pos);
        if (end < size) {
            if (data[end] == QLatin1Char('\r')) {
                if (end + 1 < size) {
                    if (data[end + 1] == QLatin1Char('\n'))
                        ++end;
                } else {
                    m_skipLf = true;
                }
            }
            m_pos = end + 1;
        } else {
            m_pos = end;
        }
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
