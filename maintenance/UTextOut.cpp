#include "maintenance/UTextOut.h"

#include "store/Codec.h"
#include "store/Database.h"

#include <QFileDevice>

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
            if (unmappable > 0 || Codec::fromCp932(bytes) != text)
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
