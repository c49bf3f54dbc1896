#include "mail/MailSocket.h"

#include "mail/LineSplitter.h"
#include "mail/TlsErrorText.h"

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
QString handshakeFailed() { return QStringLiteral("SSL/TLSで接続できません"); }
} // namespace MailSocketText

QString CertificateFailureText(const TlsReport &report)
{
    QString text = QStringLiteral("サーバの証明書を検証できません（名前: %1）").arg(report.peerName);
    if (!report.errors.isEmpty())
        text += QStringLiteral(": ") + report.errors.join(QStringLiteral("、"));
    return text;
}

QString CertificateReportText(const TlsReport &report)
{
    if (!report.encrypted)
        return QStringLiteral("暗号化されていない接続です");
    if (report.verified)
        return QStringLiteral("サーバの証明書を検証しました（名前: %1）").arg(report.peerName);
    QString text = QStringLiteral("サーバの証明書は検証できませんでした（名前: %1）").arg(report.peerName);
    if (!report.errors.isEmpty())
        text += QStringLiteral(": ") + report.errors.join(QStringLiteral("、"));
    return text;
}

namespace {

// Each reason once, in the order met: a chain can repeat one for every certificate in it.
QStringList errorTexts(const QList<QSslError> &errors)
{
    QStringList out;
    for (const QSslError &e : errors) {
        const QString text = TlsErrorText(e.error());
        if (!out.contains(text))
            out += text;
    }
    return out;
}

// Waits are cut into slices so that a cancel request is noticed within this time.
constexpr int kSliceMs = 200;

class TcpMailSocket final : public MailSocket
{
public:
    using MailSocket::connectToHost;
    using MailSocket::startTls;

    bool connectToHost(const QString &host, quint16 port, int timeoutMs, const TlsOptions &tls) override
    {
        m_lines.clear();
        m_error.clear();
        m_report = TlsReport();
        m_host = host;
        if (host.isEmpty()) {
            m_error = QStringLiteral("サーバ名が設定されていません");
            return false;
        }
        m_socket.abort();
        if (tls.implicit) {
            const QString name = prepareTls(tls);
            m_socket.connectToHostEncrypted(host, port, name);
            // One wait covers the connection and the handshake.
            if (!m_socket.waitForEncrypted(timeoutMs)) {
                handshakeFailed(tls, name, true);
                m_socket.abort();
                return false;
            }
            handshakeDone(tls, name);
        } else {
            m_socket.connectToHost(host, port);
            if (!m_socket.waitForConnected(timeoutMs)) {
                m_error = m_socket.error() == QAbstractSocket::SocketTimeoutError ? MailSocketText::connectTimedOut()
                                                                                  : m_socket.errorString();
                m_socket.abort();
                return false;
            }
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
            if (!fill(deadline))
                return false;
        }
    }

    bool readRaw(QByteArray *bytes, qint64 maxBytes, bool toLineEnd, int timeoutMs) override
    {
        const QDeadlineTimer deadline(timeoutMs);
        const qsizetype most = qsizetype(qBound<qint64>(1, maxBytes, LineSplitter::kMaxLine));
        while (!m_lines.takeRaw(bytes, most, toLineEnd))
            if (!fill(deadline))
                return false;
        return true;
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

    bool startTls(int timeoutMs, const TlsOptions &tls) override
    {
        // RFC 3207 section 4.2: nothing received before the handshake may be used after it.
        m_lines.clear();
        m_socket.readAll();
        m_report = TlsReport();
        const QString name = prepareTls(tls);
        m_socket.startClientEncryption();
        if (!m_socket.waitForEncrypted(timeoutMs)) {
            handshakeFailed(tls, name, false);
            return false;
        }
        handshakeDone(tls, name);
        return true;
    }

    TlsReport tlsReport() const override { return m_report; }

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
    // Waits for more bytes and adds them to the line buffer, never more than it has room for.
    bool fill(const QDeadlineTimer &deadline)
    {
        for (;;) {
            if (m_socket.bytesAvailable() > 0) {
                m_lines.append(m_socket.read(m_lines.room()));
                return true;
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

    bool fail(const QString &why)
    {
        m_error = why;
        return false;
    }

    // Sets the verification of the next handshake; returns the name the certificate is
    // checked against.
    QString prepareTls(const TlsOptions &tls)
    {
        const QString name = tls.peerName.isEmpty() ? m_host : tls.peerName;
        QSslConfiguration config = m_socket.sslConfiguration();
        config.setPeerVerifyMode(tls.verify ? QSslSocket::VerifyPeer : QSslSocket::VerifyNone);
        m_socket.setSslConfiguration(config);
        m_socket.setPeerVerifyName(name);
        return name;
    }

    void handshakeDone(const TlsOptions &tls, const QString &name)
    {
        m_report.encrypted = true;
        m_report.peerName = name;
        // Without verification the handshake took any certificate; the check is made here all
        // the same, so that the user can be told whether verification would pass.
        const QList<QSslError> errors = tls.verify
                                            ? m_socket.sslHandshakeErrors()
                                            : QSslCertificate::verify(m_socket.peerCertificateChain(), name);
        m_report.errors = errorTexts(errors);
        m_report.verified = errors.isEmpty();
    }

    void handshakeFailed(const TlsOptions &tls, const QString &name, bool connecting)
    {
        m_report.peerName = name;
        m_report.errors = errorTexts(m_socket.sslHandshakeErrors());
        if (tls.verify && !m_report.errors.isEmpty())
            m_error = CertificateFailureText(m_report);
        else if (connecting && m_socket.error() == QAbstractSocket::SocketTimeoutError)
            m_error = MailSocketText::connectTimedOut();
        else if (m_socket.error() == QAbstractSocket::SslHandshakeFailedError)
            // Most often a server that does not speak TLS at once on this port (STARTTLS or
            // plain text is expected there).
            m_error = MailSocketText::handshakeFailed() + QStringLiteral(" (") + m_socket.errorString() + u')';
        else
            m_error = m_socket.errorString();
    }

    QSslSocket m_socket;
    LineSplitter m_lines;
    QString m_error;
    QString m_host;
    TlsReport m_report;
};

} // namespace

std::unique_ptr<MailSocket> makeTcpMailSocket()
{
    return std::make_unique<TcpMailSocket>();
}
