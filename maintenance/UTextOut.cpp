#include "maintenance/UTextOut.h"

#include "store/Codec.h"
#include "store/Database.h"

#include <QFileDevice>

namespace {

// 〜 ‖ − ¢ £ ¬ as a Linux keyboard types them: the codec writes each with the CP932 code a
// Windows user's text holds for it, and reads that code back in the Windows form.
bool typedFormOfCp932Code(QChar c)
{
    switch (c.unicode()) {
    case 0x301C:
    case 0x2016:
    case 0x2212:
    case 0x00A2:
    case 0x00A3:
    case 0x00AC:
        return true;
    default:
        return false;
    }
}

// True when every character of text has a code of its own in CP932: bytes read back as
// text, apart from the typed forms above. A character without a code is either
// unmappable or written under a code of another character (¥ as "\\", an em dash as
// the horizontal bar), and is then lost.
bool allHaveCodes(const QString &text, const QByteArray &bytes, int unmappable)
{
    if (unmappable > 0)
        return false;
    const QString back = Codec::fromCp932(bytes);
    if (back == text)
        return true;
    // every character was mapped, so each is one BMP character that reads back as one
    if (back.size() != text.size())
        return false;
    for (qsizetype i = 0; i < text.size(); ++i)
        if (back[i] != text[i] && !typedFormOfCp932Code(text[i]))
            return false;
    return true;
}

} // namespace

TextFileWriter::TextFileWriter(QFileDevice &file, bool utf8) : m_file(file), m_utf8(utf8)
{
    if (m_utf8)
        m_buffer = "\xEF\xBB\xBF";
}

TextFileWriter::~TextFileWriter() = default;

void TextFileWriter::write(const QString &text)
{
    if (m_utf8) {
        m_buffer += text.toUtf8();
    } else {
        bool ascii = true;
        for (const QChar c : text)
            if (c.unicode() >= 0x80) {
                ascii = false;
                break;
            }
        if (ascii) {
            m_buffer += text.toLatin1();
        } else {
            int unmappable = 0;
            const QByteArray bytes = Codec::toCp932(text, &unmappable);
            if (!allHaveCodes(text, bytes, unmappable))
                throw NeedsUtf8();
            m_buffer += bytes;
        }
    }
    if (m_buffer.size() >= (1 << 16))
        flushBuffer();
}

void TextFileWriter::flushBuffer()
{
    if (m_buffer.isEmpty())
        return;
    if (m_file.write(m_buffer) != m_buffer.size())
        throw StoreError(m_file.errorString());
    m_buffer.clear();
}

void TextFileWriter::finish()
{
    flushBuffer();
    if (!m_file.flush())
        throw StoreError(m_file.errorString());
}

void TextFileWriter::rewind(QFileDevice &file)
{
    if (!file.seek(0) || !file.resize(0))
        throw StoreError(file.errorString());
}
