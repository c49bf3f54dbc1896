#include "cli/CliDevices.h"

#include "cli/CliCommon.h"
#include "store/Codec.h"

bool WatchedSaveFile::openForWriting()
{
    return open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

qint64 WatchedSaveFile::writeData(const char *data, qint64 len)
{
    const qint64 written = QSaveFile::writeData(data, len);
    if (written != len)
        m_writeFailed = true;
    return written;
}

StderrLogDevice::StderrLogDevice(std::function<void()> beforeLine) : m_beforeLine(std::move(beforeLine)) {}

qint64 StderrLogDevice::writeData(const char *data, qint64 len)
{
    // each write is one whole log line, so no character is cut between two writes
    QString text = Codec::fromCp932(QByteArray(data, len));
    text.remove(u'\r');
    if (text.endsWith(u'\n'))
        text.chop(1);
    if (m_beforeLine)
        m_beforeLine();
    Cli::say(text);
    return len;
}
