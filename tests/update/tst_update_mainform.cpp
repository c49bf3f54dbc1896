// The real main window, started and closed headless against a version server on loopback:
// the check runs after the first showing, installed versions are marked at the next start,
// waiting files are counted at close, and closing never waits for a server that hangs.
#include "app/MainForm.h"
#include "fakes/FakeHttpServer.h"
#include "fakes/TestEnv.h"
#include "store/Database.h"
#include "update/UGetVersion.h"
#include "widgets/MessageBox.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QtTest>

namespace {

const QString kList = QStringLiteral("/tsubame/softver.php");
QString dl(const QString &name)
{
    return QStringLiteral("/tsubame/Download/") + name;
}
QString waitingMessage(int n)
{
    return QString::number(n)
        + QStringLiteral("個のアップデートファイルがあります\r\nマイドキュメント\\ツバメ便 フォルダを確認してください\r\n");
}

} // namespace

class TestUpdateMainForm : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<FakeHttpServer> server;

    static QStringList rows()
    {
        QStringList out;
        Statement s;
        s.open("select key2,int1,str1,str3 from CommonTBL where key1 = 1000 order by key2");
        while (s.next())
            out << QStringLiteral("%1|%2|%3|%4").arg(s.integer(0)).arg(s.integer(1)).arg(s.text(2), s.text(3));
        return out;
    }
    static QStringList folderEntries()
    {
        return QDir(TGetVersion::updateFolder())
            .entryList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }
    static void waitForCheck(TMainForm &form)
    {
        QTRY_VERIFY_WITH_TIMEOUT(!form.findChild<TGetVersion *>(), 20000);
    }
    static QStringList infoTexts(const QList<MessageBox::Shown> &shown)
    {
        QStringList out;
        for (const auto &s : shown)
            out << QString::number(int(s.kind)) + QLatin1Char(':') + s.text;
        return out;
    }
    void serveThreeFiles()
    {
        server->setReply(kList, FakeHttpServer::body("020005\tfix 5\tTsubame205.exe\r\n"
                                                     "020007\tfix 7\tTsubame207.exe\r\n"
                                                     "020008\tfix 8\tTsubame208.exe\r\n"));
        server->setReply(dl("Tsubame205.exe"), FakeHttpServer::body("file 205"));
        server->setReply(dl("Tsubame207.exe"), FakeHttpServer::body("file 207"));
        server->setReply(dl("Tsubame208.exe"), FakeHttpServer::body("file 208"));
    }

private Q_SLOTS:
    void init()
    {
        env = std::make_unique<TestEnv>();
        server = std::make_unique<FakeHttpServer>();
        QVERIFY(server->listen());
        qputenv("TSUBAME_VENDOR_URL", server->baseUrl().toString().toUtf8());
        MessageBox::takeShown();
    }
    void cleanup()
    {
        server.reset();
        env.reset();
    }

    void firstStartThenNextStart()
    {
        QCOMPARE(TMainForm::versionText(), QString("020006"));
        serveThreeFiles();
        {
            TMainForm form;
            QVERIFY(form.startedOk());
            QVERIFY(server->requests().isEmpty()); // not before the first showing
            form.show();
            waitForCheck(form);
            QCOMPARE(rows(), (QStringList{"0|0|020005|Tsubame205.exe", "1|0|020007|Tsubame207.exe",
                                          "2|0|020008|Tsubame208.exe"}));
            QCOMPARE(folderEntries(), (QStringList{"Tsubame207.exe", "Tsubame208.exe"}));
            QVERIFY(MessageBox::takeShown().isEmpty());
            form.close();
            QCOMPARE(infoTexts(MessageBox::takeShown()),
                     QStringList{QString::number(int(MessageBox::Kind::Info)) + ":" + waitingMessage(3)});
        }
        QCOMPARE(server->requests(), (QStringList{kList, dl("Tsubame207.exe"), dl("Tsubame208.exe")}));
        server->clearRequests();

        {
            TMainForm form;
            QVERIFY(form.startedOk());
            // 020005 is not above the running 020006: marked as installed at start.
            QCOMPARE(rows(), (QStringList{"0|1|020005|Tsubame205.exe", "1|0|020007|Tsubame207.exe",
                                          "2|0|020008|Tsubame208.exe"}));
            form.show();
            waitForCheck(form);
            QCOMPARE(server->requests(), QStringList{kList});
            QCOMPARE(rows().size(), 3);
            form.close();
            QCOMPARE(infoTexts(MessageBox::takeShown()),
                     QStringList{QString::number(int(MessageBox::Kind::Info)) + ":" + waitingMessage(2)});
        }
    }

    void unreachableServerShowsNothing()
    {
        qputenv("TSUBAME_VENDOR_URL", "http://127.0.0.1:1/");
        {
            TMainForm form;
            form.show();
            waitForCheck(form);
            form.close();
        }
        QVERIFY(MessageBox::takeShown().isEmpty());
        env->openStore();
        QCOMPARE(rows(), QStringList{});
        QVERIFY(!QDir(TGetVersion::updateFolder()).exists());
    }

    void closingDoesNotWaitForAHangingServer_data()
    {
        QTest::addColumn<QString>("hanging");
        QTest::addColumn<int>("waiting");
        QTest::newRow("version list") << kList << 0;
        QTest::newRow("update file") << dl("Tsubame207.exe") << 3;
    }
    void closingDoesNotWaitForAHangingServer()
    {
        QFETCH(QString, hanging);
        QFETCH(int, waiting);
        serveThreeFiles();
        server->setReply(hanging, FakeHttpServer::hang());
        {
            TMainForm form;
            form.show();
            QTRY_VERIFY_WITH_TIMEOUT(server->requests().contains(hanging), 10000);
            QElapsedTimer clock;
            clock.start();
            form.close();
            QVERIFY2(clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));
            QVERIFY(!form.findChild<TGetVersion *>());
            QVERIFY(!Store::isOpen());
        }
        const auto shown = MessageBox::takeShown();
        if (waiting == 0)
            QVERIFY(shown.isEmpty());
        else
            QCOMPARE(shown.value(0).text, waitingMessage(waiting));
        // The abandoned download leaves nothing behind.
        QCOMPARE(folderEntries(), QStringList{});
    }

    void destroyingTheWindowStopsTheCheck()
    {
        serveThreeFiles();
        server->setReply(kList, FakeHttpServer::endless());
        QElapsedTimer clock;
        {
            TMainForm form;
            form.show();
            QTRY_VERIFY_WITH_TIMEOUT(server->requests().contains(kList), 10000);
            clock.start();
        }
        QVERIFY2(clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));
    }

    void nameLeavingTheUpdateFolderIsRefused()
    {
        server->setReply(kList, FakeHttpServer::body("020007\tx\t../../evil.sh\r\n020008\ty\tTsubame208.exe\r\n"));
        server->setReply("/evil.sh", FakeHttpServer::body("evil"));
        server->setReply("/tsubame/evil.sh", FakeHttpServer::body("evil"));
        server->setReply(dl("Tsubame208.exe"), FakeHttpServer::body("file 208"));
        {
            TMainForm form;
            form.show();
            waitForCheck(form);
            form.close();
        }
        QCOMPARE(server->requests(), (QStringList{kList, dl("Tsubame208.exe")}));
        QCOMPARE(folderEntries(), QStringList{"Tsubame208.exe"});
        QVERIFY(!QFile::exists(env->home() + "/evil.sh"));
        QVERIFY(!QFile::exists(env->home() + "/Documents/evil.sh"));
        QCOMPARE(MessageBox::takeShown().value(0).text, waitingMessage(2));
    }
};

QTEST_MAIN(TestUpdateMainForm)
#include "tst_update_mainform.moc"
