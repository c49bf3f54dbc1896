#pragma once
// Devices the exchange commands write through: a save file that remembers whether a write failed (to tell a full disk from
// a store error), and the import log written as lines on stderr.
#include <QIODevice>
#include <QSaveFile>

#include <functional>

// A save file whose writes go straight to the disk, so that a failed one is seen here.
class WatchedSaveFile : public QSaveFile
{
public:
    using QSaveFile::QSaveFile;
    // Opens for writing, unbuffered.
    bool openForWriting();
    bool writeFailed() const { return m_writeFailed; }

protected:
    qint64 writeData(const char *data, qint64 len) override;

private:
    bool m_writeFailed = false;
};

// Takes the import log's lines (CP932, CR LF) and says each on stderr; before each,
// beforeLine is called (to end a progress line).
class StderrLogDevice : public QIODevice
{
public:
    explicit StderrLogDevice(std::function<void()> beforeLine);
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 len) override;

private:
    std::function<void()> m_beforeLine;
};
