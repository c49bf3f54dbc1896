#pragma once
// Cuts what a mail server sends into lines, for every transport (the TCP socket and the
// scripted one in tests alike). The buffer is bounded: the transport asks room() before it
// reads, so a server that floods us without a line break is refused with at most one
// line's worth in memory, never read into memory first.
#include <QByteArray>

class LineSplitter
{
public:
    // A server line longer than this without a line break is not a mail server talking.
    static constexpr qsizetype kMaxLine = 64 * 1024;

    enum class Result {
        Line,     // *line holds the next line, without its CR LF (or bare LF)
        NeedMore, // no full line yet: read at most room() bytes and append them
        TooLong,  // the line has no end within the bound; the connection is unusable
    };

    explicit LineSplitter(qsizetype maxLine = kMaxLine) : m_maxLine(maxLine) {}

    Result takeLine(QByteArray *line);
    // Takes what is buffered as it came, line ends included: at most maxBytes, and with
    // toLineEnd no further than the first LF. False when nothing is buffered.
    bool takeRaw(QByteArray *bytes, qsizetype maxBytes, bool toLineEnd);
    // How many bytes a read may add now; the line and its CR LF fit, nothing beyond.
    qsizetype room() const { return qMax<qsizetype>(0, m_maxLine + 2 - m_buffer.size()); }
    void append(const QByteArray &bytes) { m_buffer += bytes; }
    // Forgets what was received and not taken yet (a new connection, or the TLS upgrade).
    void clear() { m_buffer.clear(); }
    qsizetype buffered() const { return m_buffer.size(); }

private:
    QByteArray m_buffer;
    qsizetype m_maxLine;
};
