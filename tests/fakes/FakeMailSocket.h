#pragma once
// A scripted stand-in for the mail transport. The test queues what the server says, chunk
// by chunk as it would arrive, and afterwards reads every byte the client wrote. A chunk
// may hold several lines (or a part of one); startTls() writes "[TLS]" into the output so
// the test sees where the upgrade happened, and drops whatever was received but not read.
// An implicit-TLS connect writes "[TLS]" first of all.
// Lines are cut as the real socket cuts them, with the same bound on a line's length.
#include "mail/LineSplitter.h"
#include "mail/MailSocket.h"

#include <QList>
#include <QString>

class FakeMailSocket : public MailSocket
{
public:
    // The server's next chunk of bytes.
    FakeMailSocket &serverSends(const QByteArray &chunk);
    // After the chunks queued so far the server closes the connection.
    FakeMailSocket &serverCloses();
    // The next connect fails with this text.
    void refuseConnect(const QString &why) { m_refuse = why; }
    // The connection breaks during the first write that holds these bytes: nothing of it
    // arrives, the write fails and the socket is closed (once; cleared when it fires).
    QByteArray dropOnWriteOf;
    // The TLS handshake fails.
    void failTls() { m_tlsFails = true; }
    // What a real handshake would find wrong with the server's certificate: with verification
    // on, the handshake then fails; off, it passes and the report lists them.
    QStringList certificateErrors;

    using MailSocket::connectToHost;
    using MailSocket::startTls;
    bool connectToHost(const QString &host, quint16 port, int timeoutMs, const TlsOptions &tlsOptions) override;
    bool readLine(QByteArray *line, int timeoutMs) override;
    bool readRaw(QByteArray *bytes, qint64 maxBytes, bool toLineEnd, int timeoutMs) override;
    bool write(const QByteArray &bytes, int timeoutMs) override;
    bool startTls(int timeoutMs, const TlsOptions &tlsOptions) override;
    TlsReport tlsReport() const override { return m_report; }
    void close() override;
    bool isConnected() const override { return m_connected; }
    QString errorString() const override { return m_error; }

    QByteArray written;          // everything the client sent, with "[TLS]" markers
    QString host;                // of the last connect
    quint16 port = 0;
    int connectTimeoutMs = -1;   // as passed by the client
    int readTimeoutMs = -1;      // of the last readLine
    int connects = 0;
    int closes = 0;
    bool timedOut = false;       // a read waited for a reply that never came
    bool tls = false;
    TlsOptions lastTls;          // as passed to the last connect or startTls
    // Chunks not consumed yet (a test can check the client read no further).
    int pendingChunks() const { return int(m_chunks.size()); }

private:
    struct Chunk {
        QByteArray bytes;
        bool close = false;
    };
    QList<Chunk> m_chunks;
    LineSplitter m_lines;
    QString m_error;
    QString m_refuse;
    bool m_connected = false;
    bool m_tlsFails = false;
    TlsReport m_report;

    bool handshake(const TlsOptions &options);
    // Moves the next queued bytes into the line buffer; false (with the reason) when none.
    bool fill();
};
