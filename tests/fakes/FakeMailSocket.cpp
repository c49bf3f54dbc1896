#include "FakeMailSocket.h"

FakeMailSocket &FakeMailSocket::serverSends(const QByteArray &chunk)
{
    m_chunks.append({chunk, false});
    return *this;
}

FakeMailSocket &FakeMailSocket::serverCloses()
{
    m_chunks.append({QByteArray(), true});
    return *this;
}

bool FakeMailSocket::connectToHost(const QString &h, quint16 p, int timeoutMs)
{
    host = h;
    port = p;
    connectTimeoutMs = timeoutMs;
    ++connects;
    if (!m_refuse.isEmpty()) {
        m_error = m_refuse;
        m_refuse.clear();
        return false;
    }
    m_connected = true;
    m_buffer.clear();
    return true;
}

bool FakeMailSocket::readLine(QByteArray *line, int timeoutMs)
{
    readTimeoutMs = timeoutMs;
    for (;;) {
        const qsizetype nl = m_buffer.indexOf('\n');
        if (nl >= 0) {
            qsizetype end = nl;
            if (end > 0 && m_buffer.at(end - 1) == '\r')
                --end;
            *line = m_buffer.left(end);
            m_buffer.remove(0, nl + 1);
            return true;
        }
        if (!m_connected) {
            m_error = MailSocketText::notConnected();
            return false;
        }
        if (m_chunks.isEmpty()) {
            timedOut = true;
            m_error = MailSocketText::readTimedOut();
            return false;
        }
        const Chunk c = m_chunks.takeFirst();
        if (c.close) {
            m_connected = false;
            m_buffer.clear();
            m_error = MailSocketText::closedByPeer();
            return false;
        }
        m_buffer += c.bytes;
    }
}

bool FakeMailSocket::write(const QByteArray &bytes, int)
{
    if (!m_connected) {
        m_error = MailSocketText::notConnected();
        return false;
    }
    written += bytes;
    return true;
}

bool FakeMailSocket::startTls(int)
{
    written += "[TLS]";
    m_buffer.clear();
    if (m_tlsFails) {
        m_error = QStringLiteral("handshake failed");
        return false;
    }
    tls = true;
    return true;
}

void FakeMailSocket::close()
{
    if (m_connected)
        ++closes;
    m_connected = false;
    m_buffer.clear();
}
