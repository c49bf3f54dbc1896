#include "mail/MailSocket.h"

#include "mail/LineSplitter.h"

#include <QDeadlineTimer>
#include <QSslConfiguration>
#include <QSslSocket>

namespace MailSocketText {
QString connectTimedOut() { return QStringLiteral("サーバに接続できません（時間切れ）"); }
QString readTimedOut() { return QStringLiteral("サーバからの応答がありません（時間切れ）"); }
QString closedByPeer() { return QStringLiteral("サーバが接続を切断しました"); }
QString notConnected() { return QStringLiteral("サーバに接続していません"); }
QString cancelled() { return QStringLiteral("アプリケーションの終了による中断"); }
QString replyTooLong() { return QStringLiteral("サーバの応答が長すぎます"); }
} // namespace MailSocketText

namespace {

// Waits are cut into slices so that a cancel request is noticed within this time.
constexpr int kSliceMs = 200;

class TcpMailSocket final : public MailSocket
{
public:
    bool connectToHost(const QString &host, quint16 port, int timeoutMs) override
    {
        m_lines.clear();
        m_error.clear();
        if (host.isEmpty()) {
            m_error = QStringLiteral("サーバ名が設定されていません");
            return false;
        }
        m_socket.abort();
        m_socket.connectToHost(host, port);
        if (!m_socket.waitForConnected(timeoutMs)) {
            m_error = m_socket.error() == QAbstractSocket::SocketTimeoutError ? MailSocketText::connectTimedOut()
                                                                              : m_socket.errorString();
            m_socket.abort();
            return false;
        }
        // Each command waits for its answer: without this, the last small write of a mail
        // sits in Nagle's buffer until the peer's delayed acknowledgement (~40 ms a mail).
        m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        return true;
    }

    bool readLine(QByteArray *line, int timeoutMs) override
    {
        const QDeadlineTimer deadline(timeoutMs);
        for (;;) {
            const LineSplitter::Result got = m_lines.takeLine(line);
            if (got == LineSplitter::Result::Line)
                return true;
            if (got == LineSplitter::Result::TooLong)
                return fail(MailSocketText::replyTooLong());
            if (m_socket.bytesAvailable() > 0) {
                m_lines.append(m_socket.read(m_lines.room()));
                continue;
            }
            if (m_socket.state() != QAbstractSocket::ConnectedState)
                return fail(MailSocketText::closedByPeer());
            if (deadline.hasExpired())
                return fail(MailSocketText::readTimedOut());
            const int slice = int(qMin<qint64>(kSliceMs, qMax<qint64>(1, deadline.remainingTime())));
            if (m_socket.waitForReadyRead(slice) || m_socket.bytesAvailable() > 0)
                continue;
            if (m_socket.error() != QAbstractSocket::SocketTimeoutError) {
                const bool closed = m_socket.error() == QAbstractSocket::RemoteHostClosedError
                                    || m_socket.state() != QAbstractSocket::ConnectedState;
                return fail(closed ? MailSocketText::closedByPeer() : m_socket.errorString());
            }
            // A server that answers at once is never cut short; one that has kept quiet for
            // a whole slice is given up when the program is closing.
            if (cancelled())
                return fail(MailSocketText::cancelled());
        }
    }

    bool write(const QByteArray &bytes, int timeoutMs) override
    {
        if (m_socket.state() != QAbstractSocket::ConnectedState)
            return fail(MailSocketText::notConnected());
        if (m_socket.write(bytes) != bytes.size())
            return fail(m_socket.errorString());
        const QDeadlineTimer deadline(timeoutMs);
        m_socket.flush();
        while (m_socket.bytesToWrite() > 0) {
            if (deadline.hasExpired())
                return fail(MailSocketText::readTimedOut());
            const int slice = int(qMin<qint64>(kSliceMs, qMax<qint64>(1, deadline.remainingTime())));
            if (m_socket.waitForBytesWritten(slice))
                continue;
            if (m_socket.error() != QAbstractSocket::SocketTimeoutError)
                return fail(m_socket.state() == QAbstractSocket::ConnectedState ? m_socket.errorString()
                                                                                 : MailSocketText::closedByPeer());
            if (cancelled())
                return fail(MailSocketText::cancelled());
        }
        return true;
    }

    bool startTls(int timeoutMs) override
    {
        // RFC 3207 section 4.2: nothing received before the handshake may be used after it.
        m_lines.clear();
        m_socket.readAll();
        QSslConfiguration config = m_socket.sslConfiguration();
        config.setPeerVerifyMode(QSslSocket::VerifyNone);
        m_socket.setSslConfiguration(config);
        m_socket.startClientEncryption();
        if (!m_socket.waitForEncrypted(timeoutMs)) {
            m_error = m_socket.errorString();
            return false;
        }
        return true;
    }

    void close() override
    {
        if (m_socket.state() == QAbstractSocket::UnconnectedState)
            return;
        m_socket.disconnectFromHost();
        if (m_socket.state() != QAbstractSocket::UnconnectedState)
            m_socket.waitForDisconnected(1000);
        m_socket.abort();
        m_lines.clear();
    }

    bool isConnected() const override { return m_socket.state() == QAbstractSocket::ConnectedState; }
    QString errorString() const override { return m_error; }

private:
    bool fail(const QString &why)
    {
        m_error = why;
        return false;
    }

    QSslSocket m_socket;
    LineSplitter m_lines;
    QString m_error;
};

} // namespace

std::unique_ptr<MailSocket> makeTcpMailSocket()
{
    return std::make_unique<TcpMailSocket>();
}
