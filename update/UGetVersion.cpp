#include "update/UGetVersion.h"

#include "store/Database.h"
#include "store/UpdateRows.h"
#include "update/UVersionList.h"

#include <QBuffer>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSaveFile>
#include <QSet>
#include <QSqlDriver>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QTimer>

#include <memory>
#include <sqlite3.h>

namespace {

const QString kListPath = QStringLiteral("/tsubame/softver.php");
const QString kDownloadPath = QStringLiteral("/tsubame/Download/");

// Whole-request limits on top of the per-request silence limit: a server that trickles a
// byte now and then must not keep the worker for ever.
constexpr int kListDeadlineMs = 60 * 1000;
constexpr int kFileDeadlineMs = 30 * 60 * 1000;
// How often a request in flight looks for a stop request.
constexpr int kStopPollMs = 50;
// Longest wait for another connection's write lock (the store's own connections wait 15 s).
constexpr int kBusyWaitMs = 15000;
constexpr int kBusySleepMs = 10;
constexpr qint64 kReadBuffer = 64 * 1024;

} // namespace

TGetVersion::TGetVersion(const QString &programVersion, QObject *parent)
    : QThread(parent), m_programVersion(programVersion), m_baseUrl(vendorBaseUrl())
{
    setObjectName(QStringLiteral("TGetVersion"));
    m_freeSpace = [](const QString &folder) {
        QStorageInfo disk(folder);
        return disk.isValid() && disk.isReady() ? disk.bytesAvailable() : qint64(-1);
    };
}

TGetVersion::~TGetVersion()
{
    // Destroying a running thread would end the process; a stop takes effect within moments.
    requestStop();
    wait();
}

TGetVersion *TGetVersion::launch(const QString &programVersion, const QUrl &baseUrl, QObject *parent)
{
    auto *worker = new TGetVersion(programVersion, parent);
    worker->setBaseUrl(baseUrl);
    connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    worker->start(QThread::LowPriority);
    return worker;
}

QUrl TGetVersion::vendorBaseUrl()
{
    const QUrl chosen(qEnvironmentVariable("TSUBAME_VENDOR_URL"), QUrl::StrictMode);
    if (chosen.isValid() && !chosen.host().isEmpty()
        && (chosen.scheme() == QLatin1String("http") || chosen.scheme() == QLatin1String("https")))
        return chosen;
    return QUrl(QStringLiteral("http://") + QStringLiteral(TSUBAME_VENDOR_HOST) + QLatin1Char('/'));
}

QString TGetVersion::updateFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)
        + QStringLiteral("/ツバメ便 アップデートファイル");
}

void TGetVersion::requestStop()
{
    m_stop.store(true);
}

bool TGetVersion::stop(int graceMs)
{
    requestStop();
    return wait(QDeadlineTimer(graceMs));
}

// While the worker waits for another connection's write lock it keeps looking for a stop
// request, so closing the program never waits behind a lock.
int TGetVersion::busyHandler(void *self, int count)
{
    const auto *worker = static_cast<const TGetVersion *>(self);
    if (worker->stopRequested() || count * kBusySleepMs >= kBusyWaitMs)
        return 0;
    sqlite3_sleep(kBusySleepMs);
    return 1;
}

void TGetVersion::run()
{
    if (!Store::isOpen() || m_stop)
        return;
    {
        QNetworkAccessManager net;
        net.setProxy(QNetworkProxy::NoProxy);
        try {
            QSqlDatabase db = Store::connection();
            const QVariant handle = db.driver()->handle();
            if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0) {
                if (sqlite3 *h = *static_cast<sqlite3 *const *>(handle.data()))
                    sqlite3_busy_handler(h, &TGetVersion::busyHandler, this);
            }
            check(net);
        } catch (const std::exception &) {
            // a store that cannot be read or written: the check simply ends
        }
    }
    Store::releaseThreadConnection();
}

void TGetVersion::check(QNetworkAccessManager &net)
{
    QByteArray body;
    {
        QBuffer sink(&body);
        sink.open(QIODevice::WriteOnly);
        if (get(net, kListPath, m_listLimit, kListDeadlineMs, &sink) != Fetch::Ok)
            return;
    }
    if (m_stop)
        return;
    recordNewVersions(VersionList::decode(body));
    if (m_stop)
        return;
    downloadPending(net);
}

void TGetVersion::recordNewVersions(const QString &listText)
{
    const QList<VersionList::Line> lines = VersionList::parse(listText);
    if (lines.isEmpty())
        return;

    // The last row is read inside the write transaction, so its number cannot be taken by
    // another writer between reading it and inserting after it.
    Transaction t;
    const QList<UpdateRows::Known> known = UpdateRows::known();
    qint64 next = known.isEmpty() ? 0 : known.first().key2 + 1;
    bool lastFound = false;
    QString last;
    QSet<QString> recorded;
    for (const UpdateRows::Known &row : known) {
        recorded.insert(row.version);
        // The last version that counts is the newest row a real release could have written:
        // a recorded "999999" must not hide every later version for good.
        if (!lastFound && VersionList::isPlausibleStep(row.version, m_programVersion)) {
            last = row.version;
            lastFound = true;
        }
    }

    int taken = 0;
    for (const VersionList::Line &line : lines) {
        if (taken >= m_rowLimit)
            break;
        // Only six-digit version texts: anything else (an empty field, "2.0.9") would compare
        // above every real version and hide the later ones for good. A version already
        // recorded (an implausible one stays above the last) is not recorded twice.
        if (!VersionList::isVersionText(line.version) || line.version <= last || recorded.contains(line.version))
            continue;
        UpdateRows::add(next, line.version, line.note, line.fileName);
        recorded.insert(line.version);
        ++next;
        ++taken;
    }
    t.commit();
}

void TGetVersion::downloadPending(QNetworkAccessManager &net)
{
    // The names are read first: no read stays open on the store while files download.
    // Versions a real release could have are fetched before implausible ones, so those
    // never use up this check's allowance ahead of a real update.
    QStringList names;
    QStringList implausible;
    for (const UpdateRows::Waiting &row : UpdateRows::waitingNewerThan(m_programVersion))
        (VersionList::isPlausibleStep(row.version, m_programVersion) ? names : implausible) << row.fileName;
    names += implausible;
    if (names.isEmpty())
        return;

    const QString folder = updateFolder();
    if (!QDir().mkpath(folder))
        return;
    int files = 0;
    qint64 bytes = 0;
    for (const QString &name : names) {
        if (m_stop || files >= m_fileCountLimit)
            return;
        // A name that could leave the folder is never written; the other rows still count.
        if (!VersionList::isSafeFileName(name))
            continue;
        const QFileInfo target(folder + QLatin1Char('/') + name);
        if (target.exists() || target.isSymLink())
            continue;
        // Each file may use what is left of this check's allowance and of the disk above the
        // margin; a longer body fails the download and leaves nothing behind.
        const qint64 free = m_freeSpace ? m_freeSpace(folder) : qint64(-1);
        if (free < 0)
            return;
        const qint64 limit = qMin(qMin(m_fileLimit, m_totalLimit - bytes), free - m_freeSpaceMargin);
        if (limit <= 0)
            return;
        qint64 written = 0;
        if (download(net, name, folder, limit, &written) != Fetch::Ok)
            return;
        ++files;
        bytes += written;
    }
}

TGetVersion::Fetch TGetVersion::download(QNetworkAccessManager &net, const QString &fileName, const QString &folder,
                                         qint64 limit, qint64 *written)
{
    // Written beside the target and renamed when complete: a cut-off download never leaves
    // a partial file that would pass for a fetched one at the next start.
    QSaveFile file(folder + QLatin1Char('/') + fileName);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly))
        return Fetch::Failed;
    const Fetch result = get(net, kDownloadPath + fileName, limit, kFileDeadlineMs, &file);
    if (m_stop) {
        file.cancelWriting();
        return Fetch::Stopped;
    }
    // An empty body is no update file either.
    if (result != Fetch::Ok || file.pos() == 0) {
        file.cancelWriting();
        return Fetch::Failed;
    }
    *written = file.pos();
    return file.commit() ? Fetch::Ok : Fetch::Failed;
}

QUrl TGetVersion::urlFor(const QString &path) const
{
    QUrl url = m_baseUrl;
    url.setPath(path); // decoded mode: a "?", "#" or "%" in a file name stays part of the path
    url.setQuery(QString());
    url.setFragment(QString());
    return url;
}

TGetVersion::Fetch TGetVersion::get(QNetworkAccessManager &net, const QString &path, qint64 limit, int deadlineMs,
                                    QIODevice *sink)
{
    if (m_stop)
        return Fetch::Stopped;

    QNetworkRequest request(urlFor(path));
    request.setTransferTimeout(m_transferTimeoutMs);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);

    bool failed = false;
    qint64 received = 0;
    std::unique_ptr<QNetworkReply> reply(net.get(request));
    // Received bytes wait in a small buffer until drained here: a server that sends without
    // end then waits for us instead of keeping the network thread busy.
    reply->setReadBufferSize(kReadBuffer);
    QEventLoop loop;

    const auto fail = [&] {
        failed = true;
        reply->abort();
    };
    const auto drain = [&] {
        if (failed)
            return;
        const QByteArray chunk = reply->readAll();
        received += chunk.size();
        if (received > limit || sink->write(chunk) != chunk.size())
            fail();
    };
    QObject::connect(reply.get(), &QNetworkReply::metaDataChanged, &loop, [&] {
        // Refuse an error page or an announced oversize body before receiving it.
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if ((status.isValid() && (status.toInt() < 200 || status.toInt() > 299))
            || (length.isValid() && length.toLongLong() > limit))
            fail();
    });
    QObject::connect(reply.get(), &QNetworkReply::readyRead, &loop, drain);
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);

    QTimer stopPoll;
    stopPoll.setInterval(kStopPollMs);
    QObject::connect(&stopPoll, &QTimer::timeout, &loop, [&] {
        if (m_stop)
            reply->abort();
    });
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, fail);

    if (!reply->isFinished()) {
        stopPoll.start();
        deadline.start(deadlineMs);
        loop.exec();
    }
    stopPoll.stop();
    deadline.stop();

    if (m_stop)
        return Fetch::Stopped;
    drain();
    if (failed || reply->error() != QNetworkReply::NoError)
        return Fetch::Failed;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    return status >= 200 && status <= 299 ? Fetch::Ok : Fetch::Failed;
}
