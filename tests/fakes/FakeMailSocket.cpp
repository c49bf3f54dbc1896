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

bool FakeMailSocket::connectToHost(const QString &h, quint16 p, int timeoutMs, const TlsOptions &tlsOptions)
{
    host = h;
    port = p;
    connectTimeoutMs = timeoutMs;
    lastTls = tlsOptions;
    m_report = TlsReport();
    tls = false;
    ++connects;
    if (!m_refuse.isEmpty()) {
        m_error = m_refuse;
        m_refuse.clear();
        return false;
    }
    m_lines.clear();
    if (tlsOptions.implicit && !handshake(tlsOptions))
        return false;
    m_connected = true;
    return true;
}

bool FakeMailSocket::handshake(const TlsOptions &options)
{
    written += "[TLS]";
    m_lines.clear();
    m_report.peerName = options.peerName.isEmpty() ? host : options.peerName;
    m_report.errors = certificateErrors;
    if (m_tlsFails) {
        m_error = QStringLiteral("handshake failed");
        return false;
    }
    if (options.verify && !certificateErrors.isEmpty()) {
        m_error = CertificateFailureText(m_report);
        return false;
    }
    m_report.encrypted = true;
    m_report.verified = certificateErrors.isEmpty();
    tls = true;
    return true;
}

bool FakeMailSocket::readLine(QByteArray *line, int timeoutMs)
{
    readTimeoutMs = timeoutMs;
    for (;;) {
        const LineSplitter::Result got = m_lines.takeLine(line);
        if (got == LineSplitter::Result::Line)
            return true;
        if (got == LineSplitter::Result::TooLong) {
            m_error = MailSocketText::replyTooLong();
            return false;
        }
        if (!fill())
            return false;
    }
}

bool FakeMailSocket::readRaw(QByteArray *bytes, qint64 maxBytes, bool toLineEnd, int timeoutMs)
{
    readTimeoutMs = timeoutMs;
    const qsizetype most = qsizetype(qBound<qint64>(1, maxBytes, LineSplitter::kMaxLine));
    while (!m_lines.takeRaw(bytes, most, toLineEnd))
        if (!fill())
            return false;
    return true;
}

bool FakeMailSocket::fill()
{
    for (;;) {
        if (!m_connected) {
            m_error = MailSocketText::notConnected();
            return false;
        }
        if (m_chunks.isEmpty()) {
            timedOut = true;
            m_error = MailSocketText::readTimedOut();
            return false;
        }
        if (m_chunks.first().close) {
            m_chunks.removeFirst();
            m_connected = false;
            m_lines.clear();
            m_error = MailSocketText::closedByPeer();
            return false;
        }
        // Like the real socket, never more than the splitter has room for: the rest of a
        // chunk stays queued, as unread bytes would stay in the system's buffer.
        QByteArray &bytes = m_chunks.first().bytes;
        const qsizetype take = qMin(bytes.size(), m_lines.room());
        m_lines.append(bytes.left(take));
        bytes.remove(0, take);
        if (bytes.isEmpty())
            m_chunks.removeFirst();
        if (take > 0)
            return true;
    }
}

bool FakeMailSocket::write(const QByteArray &bytes, int)
{
    if (!m_connected) {
        m_error = MailSocketText::notConnected();
        return false;
    }
    if (!dropOnWriteOf.isEmpty() && bytes.contains(dropOnWriteOf)) {
        dropOnWriteOf.clear();
        close();
        m_error = MailSocketText::closedByPeer();
        return false;
    }
    written += bytes;
    return true;
}

bool FakeMailSocket::startTls(int, const TlsOptions &tlsOptions)
{
    lastTls = tlsOptions;
    m_report = TlsReport();
    return handshake(tlsOptions);
}

void FakeMailSocket::close()
{
    if (m_connected)
        ++closes;
    m_connected = false;
    m_lines.clear();
}
