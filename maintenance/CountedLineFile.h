#pragma once
// A file of lines for a job that shows its progress against the whole (an import, a removal
// by list): its lines are counted first, on the raw bytes, then read from the first through a
// TextLineReader while the job tells which line it is at.
#include "maintenance/UTextLines.h"

#include <QFile>

#include <functional>
#include <utility>

class CountedLineFile
{
public:
    explicit CountedLineFile(const QString &fileName);

    // Opens the file and counts its lines; false when it cannot be opened or read through
    // (errorString() says why).
    bool open();
    QString fileName() const { return m_file.fileName(); }
    QString errorString() const { return m_file.errorString(); }
    // The lines a reader will return, once open.
    qint64 lines() const { return m_lines; }

    // Runs job(reader, lineDone) over the lines from the first, where the job calls lineDone
    // with the line counter after each line; progress is told that counter and the count.
    // The file is closed after. Returns what the job returns.
    template <typename Job>
    auto read(Job &&job, const std::function<void(qint64 line, qint64 lines)> &progress)
    {
        TextLineReader reader(m_file);
        const std::function<void(int)> lineDone = [&](int line) {
            if (progress)
                progress(line, m_lines);
        };
        auto outcome = std::forward<Job>(job)(reader, lineDone);
        m_file.close();
        return outcome;
    }

private:
    QFile m_file;
    qint64 m_lines = -1;
};
