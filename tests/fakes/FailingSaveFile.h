#pragma once
// A save file whose writes fail once a given number of bytes went through, as on a disk
// that fills up part-way: whatever writes through it sees the failure, and the file it
// would replace must stay as it was.
#include <QSaveFile>

class FailingSaveFile : public QSaveFile
{
public:
    FailingSaveFile(const QString &name, qint64 failAfter) : QSaveFile(name), m_left(failAfter) {}

protected:
    qint64 writeData(const char *data, qint64 len) override
    {
        if (len > m_left) {
            setErrorString(QStringLiteral("No space left on device"));
            return -1;
        }
        m_left -= len;
        return QSaveFile::writeData(data, len);
    }

private:
    qint64 m_left;
};
