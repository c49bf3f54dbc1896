#pragma once
// A read-only device that hands out its bytes and then fails, as a file on a damaged disk
// or a vanished network share does part-way: a reader must tell this from the end.
#include <QIODevice>

class FailingReadDevice : public QIODevice
{
public:
    explicit FailingReadDevice(const QByteArray &before) : m_bytes(before) {}
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *data, qint64 max) override
    {
        if (m_pos >= m_bytes.size()) {
            setErrorString(QStringLiteral("Input/output error"));
            return -1;
        }
        const qint64 n = qMin<qint64>(max, m_bytes.size() - m_pos);
        memcpy(data, m_bytes.constData() + m_pos, size_t(n));
        m_pos += n;
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray m_bytes;
    qint64 m_pos = 0;
};
