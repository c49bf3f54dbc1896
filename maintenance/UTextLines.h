#pragma once
// Reading the text files members travel in (CSV, removal lists, backups): code page 932,
// or UTF-8 when the file starts with a byte-order mark or its first block with more than
// ASCII in it is valid UTF-8 throughout (as Codec::fromFileBytes decides for a whole
// file). The file is decoded a block at a time, so memory stays the same whatever the
// file's size.
#include <QByteArray>
#include <QString>

class QIODevice;

class TextLineReader
{
public:
    explicit TextLineReader(QIODevice &device);

    // The next line without its line end (CR LF, LF or a lone CR); false at the end.
    bool readLine(QString &line);

    // The next stretch of decoded text, line ends included; false at the end. A block ends
    // after a line end, or, inside a line longer than a block, between two characters; a
    // CR LF may be split across two blocks only as the CR ending one and the LF beginning
    // the next. Memory stays within a few blocks whatever the lines' length.
    bool readBlock(QString &block);

    // True when the device could not be read further (as opposed to a normal end).
    bool failed() const { return m_failed; }

    // How far the reader is into the device, in bytes taken from it, and the device's size
    // (0 when it has none, a pipe for instance): enough for a progress bar.
    qint64 bytesRead() const { return m_bytesRead; }
    qint64 deviceSize() const;

private:
    bool fill();

    QIODevice &m_device;
    bool m_utf8 = false;
    bool m_decided = false; // m_utf8 holds the file's encoding, not a guess from ASCII alone
    bool m_started = false;
    bool m_atEnd = false;
    bool m_failed = false;
    QByteArray m_pending;  // bytes read but not yet decoded (an unfinished last line)
    QString m_text;        // decoded text not yet handed out
    qsizetype m_pos = 0;
    bool m_skipLf = false; // the last line ended with CR; a following LF belongs to it
    qint64 m_bytesRead = 0;
};

// The number of lines of a file as a line reader would return them, counted on the raw
// bytes (a line end byte never occurs inside a CP932 or UTF-8 character). Rewinds the
// device to the start afterwards. -1 when it cannot be read.
qint64 CountTextLines(QIODevice &device);
