#pragma once
// A small HTTP/1.1 server on loopback for tests, running on a thread of its own so a test
// may block while a worker talks to it. Each path answers with a body and status, hangs
// without a word, streams an endless body, or drops the connection; other paths get 404.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QUrl>

class FakeHttpServer
{
public:
    struct Reply {
        enum Kind { Body, Hang, Endless, Drop };
        Kind kind = Body;
        int status = 200;
        QByteArray body;
        // Endless: the Content-Length to announce (-1: none, the body runs until closed).
        qint64 declaredLength = -1;
    };
    static Reply body(const QByteArray &bytes, int status = 200);
    static Reply hang();
    static Reply endless(qint64 declaredLength = -1);
    static Reply drop();

    FakeHttpServer();
    ~FakeHttpServer();
    FakeHttpServer(const FakeHttpServer &) = delete;
    FakeHttpServer &operator=(const FakeHttpServer &) = delete;

    // Listens on 127.0.0.1 on a free port; false when that fails.
    bool listen();
    quint16 port() const;
    QUrl baseUrl() const; // "http://127.0.0.1:<port>/"

    void setReply(const QString &path, const Reply &reply);
    void removeReply(const QString &path);

    // Request targets in the order received ("/tsubame/softver.php"), and the full requests.
    QStringList requests() const;
    QList<QByteArray> rawRequests() const;
    void clearRequests();

private:
    class Impl;
    QThread m_thread;
    Impl *m_impl = nullptr;
};
