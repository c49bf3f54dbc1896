#pragma once
// Writing a text file in code page 932 with a way out: when a line holds a character that
// has no CP932 code of its own (an emoji, or a yen sign that would come back as "\"), the
// writer reports it and the caller writes the file again as UTF-8 with a byte-order mark,
// which the readers of this program accept as well. Characters that a Windows user's text
// holds under a CP932 code (〜 ‖ − ¢ £ ¬ as a Linux keyboard types them) are written with
// that code, like every other.
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
    // mode for a character without a CP932 code of its own, StoreError on a write error.
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
