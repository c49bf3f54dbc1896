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
