#include "FakeHttpServer.h"

#include <QHash>
#include <QHostAddress>
#include <QMutex>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

class FakeHttpServer::Impl : public QObject
{
public:
    mutable QMutex lock;
    QHash<QString, Reply> replies;
    QStringList targets;
    QList<QByteArray> raw;
    QTcpServer *server = nullptr;
    quint16 port = 0;

    bool listen()
    {
        server = new QTcpServer(this);
        if (!server->listen(QHostAddress::LocalHost, 0))
            return false;
        port = server->serverPort();
        connect(server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *s = server->nextPendingConnection())
                serve(s);
        });
        return true;
    }

    void serve(QTcpSocket *socket)
    {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        auto buffer = std::make_shared<QByteArray>();
        auto answered = std::make_shared<bool>(false);
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer, answered] {
            if (*answered) {
                socket->readAll(); // one request per connection
                return;
            }
            buffer->append(socket->readAll());
            const qsizetype end = buffer->indexOf("\r\n\r\n");
            if (end < 0)
                return;
            const QByteArray request = buffer->left(end + 4);
            *answered = true;
            const QList<QByteArray> words = request.left(request.indexOf("\r\n")).split(' ');
            const QString target = QString::fromLatin1(words.value(1));
            Reply reply;
            bool known = false;
            {
                QMutexLocker l(&lock);
                targets << target;
                raw << request;
                const QString path = QUrl::fromPercentEncoding(target.section(QLatin1Char('?'), 0, 0).toLatin1());
                if (replies.contains(path)) {
                    reply = replies.value(path);
                    known = true;
                }
            }
            if (!known)
                reply = body("Not Found", 404);
            respond(socket, reply);
        });
    }

    static QByteArray head(int status, qint64 length)
    {
        QByteArray h = "HTTP/1.1 " + QByteArray::number(status) + (status == 200 ? " OK" : " Error") + "\r\n";
        h += "Content-Type: application/octet-stream\r\n";
        if (length >= 0)
            h += "Content-Length: " + QByteArray::number(length) + "\r\n";
        h += "Connection: close\r\n\r\n";
        return h;
    }

    void respond(QTcpSocket *socket, const Reply &reply)
    {
        switch (reply.kind) {
        case Reply::Body:
            socket->write(head(reply.status, reply.body.size()) + reply.body);
            socket->disconnectFromHost();
            break;
        case Reply::Hang:
            break;
        case Reply::Drop:
            socket->abort();
            socket->deleteLater();
            break;
        case Reply::Endless: {
            socket->write(head(200, reply.declaredLength));
            const QByteArray chunk(64 * 1024, 'x');
            const auto more = [socket, chunk] {
                while (socket->state() == QAbstractSocket::ConnectedState && socket->bytesToWrite() < 512 * 1024)
                    socket->write(chunk);
            };
            connect(socket, &QTcpSocket::bytesWritten, socket, more);
            more();
            break;
        }
        }
    }
};

FakeHttpServer::Reply FakeHttpServer::body(const QByteArray &bytes, int status)
{
    Reply r;
    r.kind = Reply::Body;
    r.status = status;
    r.body = bytes;
    return r;
}

FakeHttpServer::Reply FakeHttpServer::hang()
{
    Reply r;
    r.kind = Reply::Hang;
    return r;
}

FakeHttpServer::Reply FakeHttpServer::endless(qint64 declaredLength)
{
    Reply r;
    r.kind = Reply::Endless;
    r.declaredLength = declaredLength;
    return r;
}

FakeHttpServer::Reply FakeHttpServer::drop()
{
    Reply r;
    r.kind = Reply::Drop;
    return r;
}

FakeHttpServer::FakeHttpServer()
{
    m_thread.setObjectName(QStringLiteral("FakeHttpServer"));
    m_impl = new Impl;
    m_impl->moveToThread(&m_thread);
    m_thread.start();
}

FakeHttpServer::~FakeHttpServer()
{
    Impl *impl = m_impl;
    QMetaObject::invokeMethod(impl, [impl] { delete impl; }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

bool FakeHttpServer::listen()
{
    bool ok = false;
    Impl *impl = m_impl;
    QMetaObject::invokeMethod(impl, [impl, &ok] { ok = impl->listen(); }, Qt::BlockingQueuedConnection);
    return ok;
}

quint16 FakeHttpServer::port() const
{
    return m_impl->port;
}

QUrl FakeHttpServer::baseUrl() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(port()));
}

void FakeHttpServer::setReply(const QString &path, const Reply &reply)
{
    QMutexLocker l(&m_impl->lock);
    m_impl->replies.insert(path, reply);
}

void FakeHttpServer::removeReply(const QString &path)
{
    QMutexLocker l(&m_impl->lock);
    m_impl->replies.remove(path);
}

QStringList FakeHttpServer::requests() const
{
    QMutexLocker l(&m_impl->lock);
    return m_impl->targets;
}

QList<QByteArray> FakeHttpServer::rawRequests() const
{
    QMutexLocker l(&m_impl->lock);
    return m_impl->raw;
}

void FakeHttpServer::clearRequests()
{
    QMutexLocker l(&m_impl->lock);
    m_impl->targets.clear();
    m_impl->raw.clear();
}
