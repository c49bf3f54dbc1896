#pragma once
// The background update check: once per start it reads the vendor's version list, records
// the versions it has not seen yet (CommonTBL rows with key1 = 1000) and downloads the
// update file of every recorded version newer than the running program into the update
// folder. Every failure is silent; the program works on unchanged.
#include <QString>
#include <QThread>
#include <QUrl>

#include <atomic>
#include <functional>

class QNetworkAccessManager;
class QIODevice;

class TGetVersion : public QThread
{
    Q_OBJECT

public:
    // programVersion: the running program's version text, e.g. "020006" for 2.0.6.
    explicit TGetVersion(const QString &programVersion, QObject *parent = nullptr);
    ~TGetVersion() override;

    // Creates a worker fetching from baseUrl, starts it and lets it delete itself when it
    // has ended.
    static TGetVersion *launch(const QString &programVersion, const QUrl &baseUrl, QObject *parent = nullptr);

    // Where the list and the files are fetched from: "http://" + the vendor host, unless
    // TSUBAME_VENDOR_URL names another http or https server (a test's own, or a mirror).
    static QUrl vendorBaseUrl();

    // The folder the update files are saved in: "ツバメ便 アップデートファイル" in the documents folder.
    static QString updateFolder();

    // Per worker, before start(): the server, how long a request may go without receiving a
    // byte, and the largest list and file accepted (a longer body is cut off and fails).
    void setBaseUrl(const QUrl &url) { m_baseUrl = url; }
    void setTransferTimeout(int ms) { m_transferTimeoutMs = ms; }
    void setListLimit(qint64 bytes) { m_listLimit = bytes; }
    void setFileLimit(qint64 bytes) { m_fileLimit = bytes; }

    // What one check may take from a list that could be hostile: rows recorded from the
    // list, files downloaded, and bytes downloaded in all. Whatever is left over waits for
    // the next start. Downloads also leave at least the margin free on the folder's disk.
    void setRowLimit(int rows) { m_rowLimit = rows; }
    void setFileCountLimit(int files) { m_fileCountLimit = files; }
    void setTotalLimit(qint64 bytes) { m_totalLimit = bytes; }
    void setFreeSpaceMargin(qint64 bytes) { m_freeSpaceMargin = bytes; }
    // How the free space of the update folder's disk is read (tests stand in for the disk).
    using FreeSpaceProbe = std::function<qint64(const QString &folder)>;
    void setFreeSpaceProbe(FreeSpaceProbe probe) { m_freeSpace = std::move(probe); }

    static constexpr int kRowLimit = 100;
    static constexpr int kFileCountLimit = 5;
    static constexpr qint64 kTotalLimit = qint64(256) * 1024 * 1024;
    static constexpr qint64 kFreeSpaceMargin = qint64(512) * 1024 * 1024;

    // Asks the worker to end soon: a request in flight is aborted, a half-received file is
    // thrown away and the store is not touched again. Safe from any thread.
    void requestStop();
    bool stopRequested() const { return m_stop.load(); }
    // requestStop(), then waits up to graceMs for the thread to end; true once it has.
    bool stop(int graceMs);

protected:
    void run() override;

private:
    enum class Fetch { Ok, Failed, Stopped };

    void check(QNetworkAccessManager &net);
    void recordNewVersions(const QString &listText);
    void downloadPending(QNetworkAccessManager &net);
    Fetch download(QNetworkAccessManager &net, const QString &fileName, const QString &folder, qint64 limit,
                   qint64 *written);
    Fetch get(QNetworkAccessManager &net, const QString &path, qint64 limit, int deadlineMs, QIODevice *sink);
    QUrl urlFor(const QString &path) const;

    static int busyHandler(void *self, int count);

    const QString m_programVersion;
    QUrl m_baseUrl;
    int m_transferTimeoutMs = 15000;
    qint64 m_listLimit = 1024 * 1024;
    qint64 m_fileLimit = qint64(512) * 1024 * 1024;
    int m_rowLimit = kRowLimit;
    int m_fileCountLimit = kFileCountLimit;
    qint64 m_totalLimit = kTotalLimit;
    qint64 m_freeSpaceMargin = kFreeSpaceMargin;
    FreeSpaceProbe m_freeSpace;
    std::atomic_bool m_stop{false};
};
