#include "maintenance/CountedLineFile.h"

CountedLineFile::CountedLineFile(const QString &fileName) : m_file(fileName) {}

bool CountedLineFile::open()
{
    if (!m_file.open(QIODevice::ReadOnly))
        return false;
    m_lines = CountTextLines(m_file);
    return m_lines >= 0;
}
