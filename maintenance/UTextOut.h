#pragma once
// Writing a text file in code page 932 with a way out: when a line holds text that CP932
// cannot carry back unchanged (a character without a code, or one of two characters that
// share a code), the writer reports it and the caller writes the file again as UTF-8 with
// a byte-order mark, which the readers of this program accept as well.
#include <QByteArray>
#include <QString>

class QFileDevice;

class TextFileWriter
{
public:
    struct NeedsUtf8 {
    };

    TextFileWriter(QFileDevice &file, bool utf8);
    ~TextFileWriter();
    // Writes the text as it is (line ends are the caller's); throws NeedsUtf8 in CP932
    // mode for text that would not read back the same, StoreError on a write error.
    void write(const QString &text);
    void finish();

    // Writes the file with body(writer), first in CP932, again in UTF-8 when needed.
    // Returns true when it was written as UTF-8.
    template <typename Body>
    static bool writeFile(QFileDevice &file, Body body)
    {
        try {
            TextFileWriter w(file, false);
            body(w);
            w.finish();
            return false;
        } catch (const NeedsUtf8 &) {
        }
        rewind(file);
        TextFileWriter w(file, true);
        body(w);
        w.finish();
        return true;
    }

private:
    static void rewind(QFileDevice &file);
    void flushBuffer();

    QFileDevice &m_file;
    bool m_utf8;
    QByteArray m_buffer;
};
