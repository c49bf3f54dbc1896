// The update-check worker against a real HTTP server on loopback: what it records in the
// store, what it downloads, and how it meets servers that fail, hang or never stop talking.
#include "fakes/FakeHttpServer.h"
#include "fakes/TestEnv.h"
#include "store/Database.h"
#include "store/Sql.h"
#include "update/UGetVersion.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTcpServer>
#include <QtTest>

Q_DECLARE_METATYPE(FakeHttpServer::Reply)

namespace {

const QString kList = QStringLiteral("/tsubame/softver.php");
QString dl(const QString &name)
{
    return QStringLiteral("/tsubame/Download/") + name;
}

const QByteArray kThreeLines = "020005\t2.0.5 の修正\tTsubame205.exe\r\n"
                               "020007\t2.0.7 の修正\tTsubame207.exe\r\n"
                               "020008\t2.0.8 の修正\tTsubame208.exe\r\n";

} // namespace

class TestGetVersion : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<FakeHttpServer> server;

    // One run of the worker, as one start of the program would do it.
    void runCheck(int transferTimeoutMs = 15000, qint64 fileLimit = -1,
                  const std::function<void(TGetVersion &)> &configure = {})
    {
        TGetVersion worker(QStringLiteral("020006"));
        worker.setBaseUrl(server->baseUrl());
        worker.setTransferTimeout(transferTimeoutMs);
        if (fileLimit >= 0)
            worker.setFileLimit(fileLimit);
        if (configure)
            configure(worker);
        worker.start();
        QVERIFY2(worker.wait(30000), "the worker did not end");
    }

    static QStringList rows()
    {
        QStringList out;
        Statement s;
        s.open("select key2,int1,int2,int3,str1,str2,str3 from CommonTBL where key1 = 1000 order by key2");
        while (s.next())
            out << QStringLiteral("%1|%2|%3|%4|%5|%6|%7")
                       .arg(s.integer(0))
                       .arg(s.integer(1))
                       .arg(s.integer(2))
                       .arg(s.integer(3))
                       .arg(s.text(4), s.text(5), s.text(6));
        return out;
    }

    static QStringList folderEntries()
    {
        return QDir(TGetVersion::updateFolder())
            .entryList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    }

    static QByteArray readFile(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    void serveThreeFiles()
    {
        server->setReply(kList, FakeHttpServer::body(kThreeLines));
        server->setReply(dl("Tsubame205.exe"), FakeHttpServer::body("file 205"));
        server->setReply(dl("Tsubame207.exe"), FakeHttpServer::body("file 207"));
        server->setReply(dl("Tsubame208.exe"), FakeHttpServer::body("file 208"));
    }

    static quint16 closedPort()
    {
        QTcpServer s;
        s.listen(QHostAddress::LocalHost, 0);
        const quint16 port = s.serverPort();
        s.close();
        return port;
    }

private Q_SLOTS:
    void init()
    {
        env = std::make_unique<TestEnv>();
        env->openStore();
        server = std::make_unique<FakeHttpServer>();
        QVERIFY(server->listen());
    }
    void cleanup()
    {
        server.reset();
        env.reset();
    }

    void firstStartRecordsNewVersionsAndFetchesNewerFiles()
    {
        serveThreeFiles();
        runCheck();

        QCOMPARE(rows(), (QStringList{"0|0|0|0|020005|2.0.5 の修正|Tsubame205.exe",
                                      "1|0|0|0|020007|2.0.7 の修正|Tsubame207.exe",
                                      "2|0|0|0|020008|2.0.8 の修正|Tsubame208.exe"}));
        QCOMPARE(server->requests(), (QStringList{kList, dl("Tsubame207.exe"), dl("Tsubame208.exe")}));
        QCOMPARE(folderEntries(), (QStringList{"Tsubame207.exe", "Tsubame208.exe"}));
        QCOMPARE(readFile(TGetVersion::updateFolder() + "/Tsubame207.exe"), QByteArray("file 207"));
        QCOMPARE(readFile(TGetVersion::updateFolder() + "/Tsubame208.exe"), QByteArray("file 208"));
        QVERIFY(TGetVersion::updateFolder().endsWith("/Documents/ツバメ便 アップデートファイル"));

        // A plain GET of the list path, addressed to the server's host.
        const QByteArray first = server->rawRequests().value(0);
        QVERIFY2(first.startsWith("GET /tsubame/softver.php HTTP/1.1\r\n"), first.constData());
        const QByteArray host = "\r\nHost: 127.0.0.1:" + QByteArray::number(server->port()) + "\r\n";
        QVERIFY(first.contains(host));

        // Counted at close: all three rows wait, 020005 included.
        Statement s;
        QCOMPARE(s.scalar("select count(*) from CommonTBL where key1 = 1000 and int1 = 0"), 3);
    }

    void secondStartWithSameListFetchesNothing()
    {
        serveThreeFiles();
        runCheck();
        const QStringList before = rows();
        server->clearRequests();

        runCheck();
        QCOMPARE(rows(), before);
        QCOMPARE(server->requests(), QStringList{kList});
        QCOMPARE(folderEntries(), (QStringList{"Tsubame207.exe", "Tsubame208.exe"}));
    }

    void unorderedListInsertsEveryLineAboveTheLastRecordedVersion()
    {
        Statement s;
        s.exec("insert into CommonTBL values(1000,4,1,0,0,'020005','old','Tsubame205.exe')");
        server->setReply(kList, FakeHttpServer::body("020008\tb\tf8\n020006\tc\tf6\n020004\td\tf4\n"
                                                     "020007\te\tf7\n020005\tf\tf5x\n"));
        server->setReply(dl("f7"), FakeHttpServer::body("7"));
        server->setReply(dl("f8"), FakeHttpServer::body("8"));
        runCheck();

        // Compared with the version that was last when the pass began, not the one just added.
        QCOMPARE(rows(), (QStringList{"4|1|0|0|020005|old|Tsubame205.exe", "5|0|0|0|020008|b|f8",
                                      "6|0|0|0|020006|c|f6", "7|0|0|0|020007|e|f7"}));
        QCOMPARE(folderEntries(), (QStringList{"f7", "f8"}));
        QVERIFY(!server->requests().contains(dl("f6")));
    }

    void deletedFileIsFetchedAgain()
    {
        serveThreeFiles();
        runCheck();
        QVERIFY(QFile::remove(TGetVersion::updateFolder() + "/Tsubame208.exe"));
        server->clearRequests();

        runCheck();
        QCOMPARE(server->requests(), (QStringList{kList, dl("Tsubame208.exe")}));
        QCOMPARE(readFile(TGetVersion::updateFolder() + "/Tsubame208.exe"), QByteArray("file 208"));
        QCOMPARE(rows().size(), 3);
    }

    void quotesInFieldsAreStoredAsSent()
    {
        server->setReply(kList, FakeHttpServer::body("020007\tit's \"new\"\tf'7 \"x\".exe\n"));
        server->setReply(dl("f'7 \"x\".exe"), FakeHttpServer::body("7"));
        runCheck();
        QCOMPARE(rows(), QStringList{"0|0|0|0|020007|it's \"new\"|f'7 \"x\".exe"});
        QCOMPARE(folderEntries(), QStringList{"f'7 \"x\".exe"});
    }

    void linesWithoutAVersionAreSkipped()
    {
        server->setReply(kList, FakeHttpServer::body("2.0.9\tdotted\tbad.exe\n999\tshort\tbad.exe\n"
                                                     "020007\tok\tf7\nzzzzzz\tletters\tbad.exe\n"));
        server->setReply(dl("f7"), FakeHttpServer::body("7"));
        runCheck();
        QCOMPARE(rows(), QStringList{"0|0|0|0|020007|ok|f7"});
    }

    void listThatGivesNothing_data()
    {
        QTest::addColumn<FakeHttpServer::Reply>("reply");
        QTest::newRow("empty body") << FakeHttpServer::body("");
        QTest::newRow("lines of TABs") << FakeHttpServer::body("\t\r\n\t\t\r\n\t\t\t\r\n");
        QTest::newRow("lines without TABs") << FakeHttpServer::body("020007\r\n020008 Tsubame208.exe\r\n");
        QTest::newRow("404") << FakeHttpServer::body(kThreeLines, 404);
        QTest::newRow("500") << FakeHttpServer::body(kThreeLines, 500);
        QTest::newRow("connection dropped") << FakeHttpServer::drop();
        QTest::newRow("never answers") << FakeHttpServer::hang();
        QTest::newRow("endless body") << FakeHttpServer::endless();
        QTest::newRow("announced huge body") << FakeHttpServer::endless(qint64(10) * 1024 * 1024 * 1024);
        QByteArray big = kThreeLines;
        while (big.size() <= 1024 * 1024)
            big += "\r\n";
        QTest::newRow("list over 1 MiB") << FakeHttpServer::body(big);
    }
    void listThatGivesNothing()
    {
        QFETCH(FakeHttpServer::Reply, reply);
        server->setReply(kList, reply);
        server->setReply(dl("Tsubame207.exe"), FakeHttpServer::body("file 207"));
        QElapsedTimer clock;
        clock.start();
        runCheck(500);
        QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(rows(), QStringList{});
        QVERIFY(!QDir(TGetVersion::updateFolder()).exists());
        // (the client may repeat a GET once when the connection drops)
        QStringList requests = server->requests();
        requests.removeDuplicates();
        QCOMPARE(requests, QStringList{kList});
    }

    void unreachableServerLeavesNoTrace()
    {
        TGetVersion worker(QStringLiteral("020006"));
        worker.setBaseUrl(QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(closedPort())));
        worker.start();
        QVERIFY(worker.wait(10000));
        QCOMPARE(rows(), QStringList{});
        QVERIFY(!QDir(TGetVersion::updateFolder()).exists());
    }

    void failedDownloadEndsTheDownloadsAndKeepsTheRows_data()
    {
        QTest::addColumn<FakeHttpServer::Reply>("reply");
        QTest::newRow("404") << FakeHttpServer::body("Not here", 404);
        QTest::newRow("empty body") << FakeHttpServer::body("");
        QTest::newRow("connection dropped") << FakeHttpServer::drop();
        QTest::newRow("never answers") << FakeHttpServer::hang();
        QTest::newRow("endless body") << FakeHttpServer::endless();
        QTest::newRow("announced huge body") << FakeHttpServer::endless(qint64(10) * 1024 * 1024 * 1024);
    }
    void failedDownloadEndsTheDownloadsAndKeepsTheRows()
    {
        QFETCH(FakeHttpServer::Reply, reply);
        serveThreeFiles();
        server->setReply(dl("Tsubame207.exe"), reply);
        runCheck(500, 1024 * 1024);

        QCOMPARE(rows().size(), 3);
        QStringList requests = server->requests();
        requests.removeDuplicates();
        QCOMPARE(requests, (QStringList{kList, dl("Tsubame207.exe")}));
        // Nothing half-written stays behind to pass for a fetched file.
        QCOMPARE(folderEntries(), QStringList{});

        // The next start tries again and gets both.
        serveThreeFiles();
        server->clearRequests();
        runCheck();
        QCOMPARE(server->requests(), (QStringList{kList, dl("Tsubame207.exe"), dl("Tsubame208.exe")}));
        QCOMPARE(folderEntries(), (QStringList{"Tsubame207.exe", "Tsubame208.exe"}));
    }

    void namesThatLeaveTheFolderAreRefused()
    {
        server->setReply(kList, FakeHttpServer::body("020007\ta\t../evil.exe\n"
                                                     "020008\tb\t..\n"
                                                     "020009\tc\tsub/evil.exe\n"
                                                     "020010\td\t..\\evil.exe\n"
                                                     "020011\te\t\n"
                                                     "020012\tf\t/tmp/evil.exe\n"
                                                     "020013\tg\tgood.exe\n"));
        for (const char *p : {"/tsubame/evil.exe", "/tsubame/Download/sub/evil.exe", "/tmp/evil.exe",
                                 "/tsubame/Download/", "/tsubame/"})
            server->setReply(QString::fromLatin1(p), FakeHttpServer::body("evil"));
        server->setReply(dl("good.exe"), FakeHttpServer::body("good"));
        runCheck();

        // The rows are recorded as offered; only the harmless name is fetched.
        QCOMPARE(rows().size(), 7);
        QCOMPARE(server->requests(), (QStringList{kList, dl("good.exe")}));
        QCOMPARE(folderEntries(), QStringList{"good.exe"});
        const QString docs = env->home() + "/Documents";
        QCOMPARE(QDir(docs).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{"ツバメ便 アップデートファイル"});
    }

    void stopEndsAHangingRequestAtOnce_data()
    {
        QTest::addColumn<bool>("hangOnList");
        QTest::newRow("list") << true;
        QTest::newRow("file") << false;
    }
    void stopEndsAHangingRequestAtOnce()
    {
        QFETCH(bool, hangOnList);
        serveThreeFiles();
        const QString hanging = hangOnList ? kList : dl("Tsubame207.exe");
        server->setReply(hanging, FakeHttpServer::hang());

        TGetVersion worker(QStringLiteral("020006"));
        worker.setBaseUrl(server->baseUrl());
        worker.start();
        QTRY_VERIFY_WITH_TIMEOUT(server->requests().contains(hanging), 10000);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(worker.stop(2000));
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(rows().size(), hangOnList ? 0 : 3);
        QCOMPARE(folderEntries(), QStringList{});
    }

    void stopEndsAWaitForTheStoreLock()
    {
        serveThreeFiles();
        TGetVersion worker(QStringLiteral("020006"));
        worker.setBaseUrl(server->baseUrl());
        {
            Transaction hold; // another writer keeps the store locked
            worker.start();
            QTRY_VERIFY_WITH_TIMEOUT(server->requests().contains(kList), 10000);
            QTest::qWait(300);
            QVERIFY(worker.isRunning());
            QElapsedTimer clock;
            clock.start();
            QVERIFY(worker.stop(2000));
            QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
        }
        QCOMPARE(rows(), QStringList{});
    }

    void closedStoreEndsTheWorkerBeforeAnyRequest()
    {
        serveThreeFiles();
        Store::close();
        TGetVersion worker(QStringLiteral("020006"));
        worker.setBaseUrl(server->baseUrl());
        worker.start();
        QVERIFY(worker.wait(5000));
        QCOMPARE(server->requests(), QStringList{});
        QVERIFY(!QDir(TGetVersion::updateFolder()).exists());
    }

    // The same first start against Python's own file server: the request path, including a
    // name with a blank and Japanese letters, is read by a server that is not ours.
    void firstStartAgainstPythonFileServer()
    {
        QTemporaryDir root;
        QDir().mkpath(root.path() + "/tsubame/Download");
        const auto put = [&](const QString &rel, const QByteArray &bytes) {
            QFile f(root.path() + rel);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(bytes);
        };
        put("/tsubame/softver.php", "020005\ta\tTsubame205.exe\r\n020007\tb\tツバメ便 2.0.7.zip\r\n"
                                    "020008\tc\tTsubame208.exe\r\n");
        put("/tsubame/Download/Tsubame205.exe", "file 205");
        put("/tsubame/Download/ツバメ便 2.0.7.zip", "file 207");
        put("/tsubame/Download/Tsubame208.exe", "file 208");

        const quint16 port = closedPort();
        QProcess python;
        python.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        python.start("/usr/bin/python3", {"-m", "http.server", "--bind", "127.0.0.1", "--directory", root.path(),
                                          QString::number(port)});
        QVERIFY(python.waitForStarted(5000));
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                QTcpSocket probe;
                probe.connectToHost(QHostAddress::LocalHost, port);
                return probe.waitForConnected(200);
            }(),
            10000);

        TGetVersion worker(QStringLiteral("020006"));
        worker.setBaseUrl(QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(port)));
        worker.start();
        QVERIFY(worker.wait(30000));
        python.terminate();
        python.waitForFinished(5000);

        QCOMPARE(rows(), (QStringList{"0|0|0|0|020005|a|Tsubame205.exe", "1|0|0|0|020007|b|ツバメ便 2.0.7.zip",
                                      "2|0|0|0|020008|c|Tsubame208.exe"}));
        QCOMPARE(folderEntries(), (QStringList{"Tsubame208.exe", "ツバメ便 2.0.7.zip"}));
        QCOMPARE(readFile(TGetVersion::updateFolder() + "/ツバメ便 2.0.7.zip"), QByteArray("file 207"));
    }

    // A hostile list of 3,000 versions with big files: one check records at most the row
    // allowance and downloads at most the file allowance; the rest waits for later starts.
    void hugeListIsTakenWithinTheAllowances()
    {
        QByteArray list;
        for (int i = 0; i < 3000; ++i)
            list += QString::asprintf("%06d\tv\tf%04d.bin\r\n", 20007 + i, i).toLatin1();
        server->setReply(kList, FakeHttpServer::body(list));
        const QByteArray big(5 * 1024 * 1024, 'u');
        for (int i = 0; i < 20; ++i)
            server->setReply(dl(QString::asprintf("f%04d.bin", i)), FakeHttpServer::body(big));
        runCheck(15000, -1, [](TGetVersion &w) {
            w.setFreeSpaceProbe([](const QString &) { return qint64(100) * 1024 * 1024 * 1024; });
        });

        QCOMPARE(rows().size(), TGetVersion::kRowLimit);
        QCOMPARE(rows().last(), QStringLiteral("99|0|0|0|020106|v|f0099.bin"));
        QCOMPARE(server->requests().size(), 1 + TGetVersion::kFileCountLimit);
        QCOMPARE(folderEntries(), (QStringList{"f0000.bin", "f0001.bin", "f0002.bin", "f0003.bin", "f0004.bin"}));
        QVERIFY(qint64(TGetVersion::kFileCountLimit) * big.size() <= TGetVersion::kTotalLimit);
    }

    // Downloads stop before the check's byte allowance or the disk's free-space margin would
    // be passed; the file that would pass it leaves nothing behind.
    void downloadsStopAtTheByteAllowanceAndTheMargin_data()
    {
        QTest::addColumn<int>("how");  // 0 byte allowance, 1 free-space margin, 2 no room at all
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<int>("fileRequests");
        QTest::newRow("byte allowance") << 0 << QStringList{"f0.bin", "f1.bin"} << 3;
        QTest::newRow("free-space margin") << 1 << QStringList{"f0.bin", "f1.bin"} << 3;
        QTest::newRow("disk already at the margin") << 2 << QStringList{} << 0;
    }
    void downloadsStopAtTheByteAllowanceAndTheMargin()
    {
        QFETCH(int, how);
        QFETCH(QStringList, files);
        QFETCH(int, fileRequests);
        constexpr qint64 kMiB = 1024 * 1024;
        QByteArray list;
        for (int i = 0; i < 5; ++i) {
            list += QString::asprintf("%06d\tv\tf%d.bin\n", 20007 + i, i).toLatin1();
            server->setReply(dl(QString::asprintf("f%d.bin", i)), FakeHttpServer::body(QByteArray(kMiB, 'u')));
        }
        server->setReply(kList, FakeHttpServer::body(list));
        // The disk of the update folder as the worker sees it: 3.5 MiB free before the
        // downloads, less whatever they have written.
        const auto used = [] {
            qint64 n = 0;
            for (const QFileInfo &f : QDir(TGetVersion::updateFolder()).entryInfoList(QDir::Files | QDir::Hidden))
                n += f.size();
            return n;
        };
        runCheck(15000, -1, [&](TGetVersion &w) {
            if (how == 0) {
                w.setTotalLimit(kMiB * 5 / 2);
                w.setFreeSpaceProbe([](const QString &) { return qint64(100) * 1024 * 1024 * 1024; });
            } else {
                w.setFreeSpaceMargin(kMiB);
                const qint64 free = how == 1 ? kMiB * 7 / 2 : kMiB;
                w.setFreeSpaceProbe([=](const QString &) { return free - used(); });
            }
        });
        QCOMPARE(rows().size(), 5);
        QCOMPARE(server->requests().size(), 1 + fileRequests);
        QCOMPARE(folderEntries(), files);
    }

    // "999999" is recorded once, but a real version listed later is still recorded and
    // fetched, and real versions are fetched before it.
    void implausibleVersionDoesNotMaskLaterOnes()
    {
        server->setReply(kList, FakeHttpServer::body("999999\tx\tf999\n"));
        server->setReply(dl("f999"), FakeHttpServer::body("999"));
        runCheck();
        QCOMPARE(rows(), QStringList{"0|0|0|0|999999|x|f999"});
        QCOMPARE(folderEntries(), QStringList{"f999"});

        QVERIFY(QFile::remove(TGetVersion::updateFolder() + "/f999"));
        server->setReply(kList, FakeHttpServer::body("999999\tx\tf999\n020007\tb\tf7\n"));
        server->setReply(dl("f7"), FakeHttpServer::body("7"));
        runCheck(15000, -1, [](TGetVersion &w) { w.setFileCountLimit(1); });
        QCOMPARE(rows(), (QStringList{"0|0|0|0|999999|x|f999", "1|0|0|0|020007|b|f7"}));
        QCOMPARE(folderEntries(), QStringList{"f7"});

        server->setReply(kList, FakeHttpServer::body("999999\tx\tf999\n020007\tb\tf7\n020008\tc\tf8\n"));
        server->setReply(dl("f8"), FakeHttpServer::body("8"));
        runCheck();
        QCOMPARE(rows(), (QStringList{"0|0|0|0|999999|x|f999", "1|0|0|0|020007|b|f7", "2|0|0|0|020008|c|f8"}));
        QCOMPARE(folderEntries(), (QStringList{"f7", "f8", "f999"}));
    }

    // Only an http or https server with a host replaces the vendor's; anything else named in
    // the environment is ignored.
    void vendorUrlFromEnvironment_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<bool>("taken");
        QTest::newRow("http") << QByteArray("http://127.0.0.1:8080/") << true;
        QTest::newRow("https") << QByteArray("https://mirror.example/") << true;
        QTest::newRow("file") << QByteArray("file:///etc/") << false;
        QTest::newRow("ftp") << QByteArray("ftp://host/") << false;
        QTest::newRow("no host") << QByteArray("http:///x") << false;
        QTest::newRow("garbage") << QByteArray("::not a url::") << false;
        QTest::newRow("empty") << QByteArray("") << false;
    }
    void vendorUrlFromEnvironment()
    {
        QFETCH(QByteArray, value);
        QFETCH(bool, taken);
        const QByteArray before = qgetenv("TSUBAME_VENDOR_URL");
        qputenv("TSUBAME_VENDOR_URL", value);
        const QUrl url = TGetVersion::vendorBaseUrl();
        qputenv("TSUBAME_VENDOR_URL", before);
        if (taken)
            QCOMPARE(url, QUrl(QString::fromUtf8(value)));
        else
            QCOMPARE(url.scheme(), QStringLiteral("http"));
        QVERIFY(taken || url.host() == QStringLiteral(TSUBAME_VENDOR_HOST));
    }

    void launchedWorkerDeletesItself()
    {
        serveThreeFiles();
        QPointer<TGetVersion> worker = TGetVersion::launch(QStringLiteral("020006"), server->baseUrl());
        QTRY_VERIFY_WITH_TIMEOUT(worker.isNull(), 10000);
        QCOMPARE(folderEntries(), (QStringList{"Tsubame207.exe", "Tsubame208.exe"}));
    }
};

QTEST_GUILESS_MAIN(TestGetVersion)
#include "tst_update_getversion.moc"
