#include "MailServers.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <unistd.h>

namespace {

QString fakesDir()
{
    return QStringLiteral(TSUBAME_TEST_FAKES);
}

void stopProcess(QProcess &p)
{
    if (p.state() == QProcess::NotRunning)
        return;
    p.closeWriteChannel();
    p.terminate();
    if (!p.waitForFinished(5000)) {
        p.kill();
        p.waitForFinished(2000);
    }
}

// Starts one of the Python servers in fakes/ and waits for its "READY <port>" line.
bool startPythonServer(QProcess &process, const QStringList &args, quint16 *port, QString *error)
{
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QStringLiteral("/usr/bin/python3"), args);
    if (!process.waitForStarted(10000)) {
        *error = process.errorString();
        return false;
    }
    const QDeadlineTimer deadline(30000);
    while (!deadline.hasExpired()) {
        if (process.canReadLine()) {
            const QByteArray line = process.readLine().trimmed();
            if (line.startsWith("READY ")) {
                *port = quint16(line.mid(6).toUInt());
                return true;
            }
            continue;
        }
        if (process.state() == QProcess::NotRunning)
            break;
        process.waitForReadyRead(200);
    }
    *error = args.value(0) + QStringLiteral(" did not start");
    stopProcess(process);
    return false;
}

} // namespace

quint16 FreeLoopbackPort()
{
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    return s.serverPort();
}

SmtpTestServer::~SmtpTestServer()
{
    stop();
}

bool SmtpTestServer::start(const Options &o)
{
    QStringList args{fakesDir() + QStringLiteral("/smtp_server.py"), QStringLiteral("--dir"), m_dir.path(),
                     QStringLiteral("--user"), o.user, QStringLiteral("--password"), o.password};
    if (!o.tls)
        args += QStringLiteral("--no-tls");
    if (!o.auth)
        args += QStringLiteral("--no-auth");
    if (o.authRequired)
        args += QStringLiteral("--auth-required");
    for (const QString &r : o.reject)
        args << QStringLiteral("--reject") << r;
    if (o.implicitTls)
        args += QStringLiteral("--implicit-tls");
    args << QStringLiteral("--mechanisms") << o.mechanisms.join(u',');
    args << QStringLiteral("--cert-name") << o.certificateName;
    return startPythonServer(m_process, args, &m_port, &m_error);
}

void SmtpTestServer::stop()
{
    stopProcess(m_process);
}

QList<SmtpTestServer::Received> SmtpTestServer::received() const
{
    QList<Received> out;
    const QStringList names = QDir(m_dir.path()).entryList({QStringLiteral("*.eml")}, QDir::Files, QDir::Name);
    for (const QString &n : names) {
        Received r;
        r.path = m_dir.filePath(n);
        QFile meta(m_dir.filePath(n.left(n.size() - 4) + QStringLiteral(".json")));
        if (meta.open(QIODevice::ReadOnly)) {
            const QJsonObject o = QJsonDocument::fromJson(meta.readAll()).object();
            r.from = o.value(QStringLiteral("from")).toString();
            for (const QJsonValue v : o.value(QStringLiteral("to")).toArray())
                r.to += v.toString();
            r.tls = o.value(QStringLiteral("tls")).toBool();
            r.authUser = o.value(QStringLiteral("auth")).toString();
        }
        out += r;
    }
    return out;
}

bool SmtpTestServer::waitFor(int n, int timeoutMs) const
{
    const QDeadlineTimer deadline(timeoutMs);
    while (received().size() < n) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(20);
    }
    return true;
}

Pop3TestServer::~Pop3TestServer()
{
    stop();
}

bool Pop3TestServer::start(const QString &user, const QString &password, bool tls, bool imap)
{
    // dovecot refuses to hand a mailbox to uid 0, so as root the mail user is nobody; as an
    // ordinary user everything runs under that user's own ids.
    const bool root = ::getuid() == 0;
    const QString dir = m_dir.path();
    QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                   | QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther
                                   | QFileDevice::ExeOther);
    QDir().mkpath(dir + QStringLiteral("/mail"));
    QFile::setPermissions(dir + QStringLiteral("/mail"), QFileDevice::Permissions(0x7777));
    {
        QFile pw(dir + QStringLiteral("/passwd"));
        if (!pw.open(QIODevice::WriteOnly)) {
            m_error = pw.errorString();
            return false;
        }
        pw.write(user.toUtf8() + ":{PLAIN}" + password.toUtf8() + "\n");
    }
    m_port = FreeLoopbackPort();
    const QString uid = root ? QStringLiteral("65534") : QString::number(::getuid());
    const QString gid = root ? QStringLiteral("65534") : QString::number(::getgid());
    QString conf = QStringLiteral(
                       "protocols = %5\n"
                       "listen = 127.0.0.1\n"
                       "base_dir = %1/run\n"
                       "state_dir = %1/state\n"
                       "log_path = %1/dovecot.log\n"
                       "info_log_path = %1/dovecot.log\n"
                       "disable_plaintext_auth = no\n"
                       "auth_mechanisms = plain login\n"
                       "auth_failure_delay = 0\n"
                       "first_valid_uid = 1\n"
                       "first_valid_gid = 1\n"
                       "mail_location = maildir:%1/mail/%u\n"
                       "passdb {\n  driver = passwd-file\n  args = scheme=PLAIN username_format=%u %1/passwd\n}\n"
                       "userdb {\n  driver = static\n  args = uid=%2 gid=%3 home=%1/mail/%u\n}\n"
                       "service pop3-login {\n  chroot =\n  inet_listener pop3 {\n    address = 127.0.0.1\n"
                       "    port = %4\n  }\n}\n"
                       "service imap-login {\n  chroot =\n}\n"
                       "service anvil {\n  chroot =\n}\n")
                       .arg(dir, uid, gid, QString::number(m_port), imap ? QStringLiteral("pop3 imap") : QStringLiteral("pop3"));
    if (imap) {
        m_imapPort = FreeLoopbackPort();
        conf += QStringLiteral("service imap-login {\n  inet_listener imap {\n    address = 127.0.0.1\n    port = %1\n  }\n"
                               "  inet_listener imaps {\n    port = 0\n  }\n}\n")
                    .arg(m_imapPort);
    }
    if (tls) {
        QProcess openssl;
        openssl.start(QStringLiteral("openssl"),
                      {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("rsa:2048"),
                       QStringLiteral("-nodes"), QStringLiteral("-keyout"), dir + QStringLiteral("/key.pem"),
                       QStringLiteral("-out"), dir + QStringLiteral("/cert.pem"), QStringLiteral("-days"),
                       QStringLiteral("2"), QStringLiteral("-subj"), QStringLiteral("/CN=localhost")});
        if (!openssl.waitForFinished(60000) || openssl.exitCode() != 0) {
            m_error = QStringLiteral("openssl failed: ") + QString::fromLocal8Bit(openssl.readAllStandardError());
            return false;
        }
        m_tlsPort = FreeLoopbackPort();
        conf += QStringLiteral("ssl = yes\nssl_cert = <%1/cert.pem\nssl_key = <%1/key.pem\n"
                               "service pop3-login {\n  inet_listener pop3s {\n    address = 127.0.0.1\n"
                               "    port = %2\n    ssl = yes\n  }\n}\n")
                    .arg(dir)
                    .arg(m_tlsPort);
        if (imap) {
            m_imapTlsPort = FreeLoopbackPort();
            conf += QStringLiteral("service imap-login {\n  inet_listener imaps {\n    address = 127.0.0.1\n"
                                   "    port = %1\n    ssl = yes\n  }\n}\n")
                        .arg(m_imapTlsPort);
        }
    } else {
        conf += QStringLiteral("ssl = no\n");
    }
    if (!root) {
        const QString me = QString::fromLocal8Bit(qgetenv("USER"));
        conf += QStringLiteral("default_login_user = %1\ndefault_internal_user = %1\n").arg(me);
    }
    {
        QFile f(dir + QStringLiteral("/dovecot.conf"));
        if (!f.open(QIODevice::WriteOnly)) {
            m_error = f.errorString();
            return false;
        }
        f.write(conf.toUtf8());
    }
    m_process.setProcessChannelMode(QProcess::ForwardedChannels);
    m_process.start(QStringLiteral("dovecot"), {QStringLiteral("-F"), QStringLiteral("-c"), dir + QStringLiteral("/dovecot.conf")});
    if (!m_process.waitForStarted(10000)) {
        m_error = m_process.errorString();
        return false;
    }
    // Ready when it greets.
    const QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired()) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, m_port);
        if (probe.waitForConnected(500) && probe.waitForReadyRead(2000) && probe.readAll().startsWith("+OK")) {
            probe.write("QUIT\r\n");
            probe.waitForBytesWritten(500);
            return true;
        }
        if (m_process.state() == QProcess::NotRunning)
            break;
        QThread::msleep(100);
    }
    m_error = QStringLiteral("dovecot did not start: ") + log();
    stopProcess(m_process);
    return false;
}

void Pop3TestServer::stop()
{
    stopProcess(m_process);
}

bool Pop3TestServer::deliver(const QString &user, const QByteArray &message)
{
    // Maildir: written under tmp/, then moved into new/ whole, so the server never sees half.
    const QString box = m_dir.path() + QStringLiteral("/mail/") + user;
    for (const char *sub : {"/tmp", "/new", "/cur"}) {
        QDir().mkpath(box + QLatin1String(sub));
        QFile::setPermissions(box + QLatin1String(sub), QFileDevice::Permissions(0x7777));
    }
    QFile::setPermissions(box, QFileDevice::Permissions(0x7777));
    const QString name = QStringLiteral("%1.M%2P%3.test").arg(QDateTime::currentSecsSinceEpoch()).arg(++m_delivered).arg(::getpid());
    QFile f(box + QStringLiteral("/tmp/") + name);
    if (!f.open(QIODevice::WriteOnly) || f.write(message) != message.size()) {
        m_error = f.errorString();
        return false;
    }
    f.close();
    f.setPermissions(QFileDevice::Permissions(0x6666));
    if (!QFile::rename(f.fileName(), box + QStringLiteral("/new/") + name)) {
        m_error = QStringLiteral("could not move the message into new/");
        return false;
    }
    return true;
}

int Pop3TestServer::messageCount(const QString &user, const QString &folder) const
{
    // Maildir++: a folder is a directory ".name" inside the mailbox.
    const QString box = m_dir.path() + QStringLiteral("/mail/") + user + (folder.isEmpty() ? QString() : QStringLiteral("/.") + folder);
    return int(QDir(box + QStringLiteral("/new")).entryList(QDir::Files).size()
               + QDir(box + QStringLiteral("/cur")).entryList(QDir::Files).size());
}

QString Pop3TestServer::log() const
{
    QFile f(m_dir.filePath(QStringLiteral("dovecot.log")));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

HostileSmtpServer::~HostileSmtpServer()
{
    stop();
}

bool HostileSmtpServer::startEndless(qint64 maxBytes)
{
    return startPythonServer(m_process,
                             {fakesDir() + QStringLiteral("/smtp_hostile.py"), QStringLiteral("--mode"),
                              QStringLiteral("endless"), QStringLiteral("--max-bytes"), QString::number(maxBytes)},
                             &m_port, &m_error);
}

bool HostileSmtpServer::startTrickle(double intervalSeconds, int lines)
{
    return startPythonServer(m_process,
                             {fakesDir() + QStringLiteral("/smtp_hostile.py"), QStringLiteral("--mode"),
                              QStringLiteral("trickle"), QStringLiteral("--interval"), QString::number(intervalSeconds),
                              QStringLiteral("--lines"), QString::number(lines)},
                             &m_port, &m_error);
}

void HostileSmtpServer::stop()
{
    stopProcess(m_process);
}

struct SilentServer::Impl {
    QThread thread;
    QTcpServer *server = nullptr;
    quint16 port = 0;
};

SilentServer::SilentServer() : d(std::make_unique<Impl>())
{
    // Its own thread accepts, so the test's blocking client still gets connected.
    d->server = new QTcpServer;
    d->server->listen(QHostAddress::LocalHost, 0);
    d->port = d->server->serverPort();
    d->server->moveToThread(&d->thread);
    QObject::connect(&d->thread, &QThread::finished, d->server, &QObject::deleteLater);
    d->thread.start();
}

SilentServer::~SilentServer()
{
    d->thread.quit();
    d->thread.wait();
}

quint16 SilentServer::port() const
{
    return d->port;
}

QJsonObject ReadMail(const QString &path)
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"), {fakesDir() + QStringLiteral("/mail_read.py"), path});
    p.waitForFinished(30000);
    const QByteArray out = p.readAllStandardOutput();
    const QJsonObject o = QJsonDocument::fromJson(out).object();
    if (o.isEmpty())
        qWarning("mail_read.py: %s", p.readAllStandardError().constData());
    return o;
}

SmtpSink::~SmtpSink()
{
    stop();
}

bool SmtpSink::start(const Options &o)
{
    QStringList args{fakesDir() + QStringLiteral("/smtp_sink.py"), QStringLiteral("--log"),
                     m_dir.filePath(QStringLiteral("sink.log"))};
    if (o.deferTenth)
        args += QStringLiteral("--defer-tenth");
    for (const QString &r : o.reject)
        args << QStringLiteral("--reject") << r;
    if (o.dataDelayMs > 0)
        args << QStringLiteral("--data-delay") << QString::number(o.dataDelayMs / 1000.0);
    return startPythonServer(m_process, args, &m_port, &m_error);
}

void SmtpSink::stop()
{
    stopProcess(m_process);
}

QList<SmtpSink::Entry> SmtpSink::entries() const
{
    QList<Entry> out;
    QFile f(m_dir.filePath(QStringLiteral("sink.log")));
    if (!f.open(QIODevice::ReadOnly))
        return out;
    while (!f.atEnd()) {
        const QByteArray line = f.readLine();
        if (!line.endsWith('\n'))
            break;  // being written
        const QList<QByteArray> parts = line.trimmed().split(' ');
        if (parts.size() != 3)
            continue;
        out += Entry{parts[0].toDouble(), QString::fromUtf8(parts[1]), QString::fromUtf8(parts[2])};
    }
    return out;
}

QHash<QString, int> SmtpSink::acceptedCounts() const
{
    QHash<QString, int> out;
    for (const Entry &e : entries())
        if (e.kind == QLatin1String("accepted"))
            out[e.address] += 1;
    return out;
}

bool SmtpSink::waitForAccepted(int n, int timeoutMs) const
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        int accepted = 0;
        for (const Entry &e : entries())
            accepted += e.kind == QLatin1String("accepted") ? 1 : 0;
        if (accepted >= n)
            return true;
        QThread::msleep(20);
    }
    return false;
}
