#include "mail/LineSplitter.h"

LineSplitter::Result LineSplitter::takeLine(QByteArray *line)
{
    const qsizetype nl = m_buffer.indexOf('\n');
    if (nl < 0)
        return m_buffer.size() > m_maxLine ? Result::TooLong : Result::NeedMore;
    qsizetype end = nl;
    if (end > 0 && m_buffer.at(end - 1) == '\r')
        --end;
    *line = m_buffer.left(end);
    m_buffer.remove(0, nl + 1);
    return Result::Line;
}

bool LineSplitter::takeRaw(QByteArray *bytes, qsizetype maxBytes, bool toLineEnd)
{
    if (m_buffer.isEmpty() || maxBytes <= 0)
        return false;
    qsizetype n = qMin(maxBytes, m_buffer.size());
    if (toLineEnd) {
        const qsizetype nl = m_buffer.indexOf('\n');
        if (nl >= 0)
            n = qMin(n, nl + 1);
    }
    *bytes = m_buffer.left(n);
    m_buffer.remove(0, n);
    return true;
}
