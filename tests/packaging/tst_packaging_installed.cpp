// The Debian package as a user gets it: built with CPack from this build, unpacked into a
// private root as dpkg would install it, and the installed program run the way cron runs
// it (no display, a minimal PATH): it answers, finds its menu entry and icon beside it, and
// sends an issue that arrives.
#include "fakes/MailServers.h"
#include "fakes/StoreFixture.h"
#include "fakes/TestEnv.h"
#include "store/PreparedStatement.h"
#include "store/Database.h"
#include "store/ServerSettings.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Run {
    int code = -1;
    QString out;
    QString err;
};

Run run(const QString &program, const QStringList &args, const QString &workDir = {},
        const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment(), int timeoutMs = 300000)
{
    QProcess p;
    p.setProcessEnvironment(environment);
    if (!workDir.isEmpty())
        p.setWorkingDirectory(workDir);
    p.start(program, args);
    Run r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        r.err = QStringLiteral("<time-out>");
        return r;
    }
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

} // namespace

class TestPackagingInstalled : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_root;     // the unpacked package
    QString m_program;  // the installed binary

    QProcessEnvironment cron(const TestEnv &env) const
    {
        QProcessEnvironment e;
        e.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
        e.insert(QStringLiteral("HOME"), env.home());
        e.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
        return e;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        const Run pack = run(QStringLiteral("cpack"), {QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("-B"),
                                                        m_dir.path() + QStringLiteral("/out")},
                             QStringLiteral(TSUBAME_BUILD_DIR));
        QVERIFY2(pack.code == 0, qPrintable(pack.out + pack.err));
        const QStringList debs = QDir(m_dir.path() + QStringLiteral("/out")).entryList({QStringLiteral("tsubame_*_amd64.deb")});
        QCOMPARE(debs.size(), 1);
        m_root = m_dir.path() + QStringLiteral("/root");
        const Run unpack = run(QStringLiteral("dpkg"), {QStringLiteral("-x"), m_dir.path() + QStringLiteral("/out/") + debs.first(), m_root});
        QVERIFY2(unpack.code == 0, qPrintable(unpack.err));
        m_program = m_root + QStringLiteral("/usr/bin/tsubame");
        QVERIFY(QFileInfo(m_program).isExecutable());
    }

    // What the menu and the software centre need sits where the desktop looks for it.
    void desktopFilesInstalled_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("menu entry") << "/usr/share/applications/tsubame.desktop";
        QTest::newRow("scalable icon") << "/usr/share/icons/hicolor/scalable/apps/tsubame.svg";
        QTest::newRow("48 px icon") << "/usr/share/icons/hicolor/48x48/apps/tsubame.png";
        QTest::newRow("metainfo") << "/usr/share/metainfo/jp.brindlow.tsubame.metainfo.xml";
        QTest::newRow("help page") << "/usr/share/doc/tsubame/help.html";
        QTest::newRow("copyright") << "/usr/share/doc/tsubame/copyright";
        QTest::newRow("manual page") << "/usr/share/man/man1/tsubame.1.gz";
        QTest::newRow("hourly replies unit") << "/usr/lib/systemd/user/tsubame-inbox.timer";
        QTest::newRow("weekly send example") << "/usr/share/doc/tsubame/examples/tsubame-weekly-send.service";
    }
    void desktopFilesInstalled()
    {
        QFETCH(QString, path);
        QVERIFY2(QFileInfo(m_root + path).size() > 0, qPrintable(path));
    }

    void menuEntryNamesTheProgramAndIcon()
    {
        QFile entry(m_root + QStringLiteral("/usr/share/applications/tsubame.desktop"));
        QVERIFY(entry.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(entry.readAll());
        QVERIFY(text.contains(QStringLiteral("\nName=ツバメ便\n")));
        QVERIFY(text.contains(QStringLiteral("\nExec=tsubame")));
        QVERIFY(text.contains(QStringLiteral("\nIcon=tsubame\n")));
    }

    // The must-show of the package: installed, run as cron runs it, and the mail arrives.
    // A dry run first records nothing.
    void sendFromCron()
    {
        TestEnv env;
        env.openStore();
        SmtpTestServer::Options o;
        o.tls = false;
        o.auth = false;
        SmtpTestServer server;
        QVERIFY2(server.start(o), qPrintable(server.error()));
        {
            Transaction t;
            StoreFixture::addMagazine(1, QStringLiteral("週刊ツバメ"), StoreFixture::defaultFieldNames(),
                                      {{QStringLiteral("UseUserName"), 1}});
            StoreFixture::addMember(1, 1, QStringLiteral("会員一"), QStringLiteral("one@example.com"));
            StoreFixture::addMember(1, 2, QStringLiteral("会員二"), QStringLiteral("two@example.com"));
            t.commit();
        }
        ServerSettings smtp;
        smtp.SmtpHost = QStringLiteral("127.0.0.1");
        smtp.SmtpPort = server.port();
        ServerSettings::save(smtp);
        QFile body(env.home() + QStringLiteral("/body.txt"));
        QVERIFY(body.open(QIODevice::WriteOnly));
        body.write(QStringLiteral("今週のお知らせです。\n").toUtf8());
        body.close();
        const QStringList args{QStringLiteral("send"), QStringLiteral("--magazine"), QStringLiteral("週刊ツバメ"),
                               QStringLiteral("--subject"), QStringLiteral("第1号"), QStringLiteral("--body-file"),
                               body.fileName()};
        const auto issues = [] { return Statement().scalar(QStringLiteral("select count(*) from MagInfo")); };

        const Run dry = run(m_program, QStringList(args) << QStringLiteral("--dry-run"), {}, cron(env), 60000);
        QVERIFY2(dry.code == 0, qPrintable(dry.err));
        QVERIFY2(dry.out.startsWith(QStringLiteral("対象者数: 2\n")), qPrintable(dry.out));
        QCOMPARE(issues(), qint64(0));
        QCOMPARE(server.received().size(), 0);

        const Run sent = run(m_program, args, {}, cron(env), 120000);
        QVERIFY2(sent.code == 0, qPrintable(sent.err));
        QVERIFY(server.waitFor(2));
        QCOMPARE(issues(), qint64(1));
        QStringList to;
        for (const SmtpTestServer::Received &got : server.received()) {
            const QJsonObject mail = ReadMail(got.path);
            QCOMPARE(mail.value(QStringLiteral("subject")).toString(), QStringLiteral("第1号"));
            QVERIFY(mail.value(QStringLiteral("body")).toString().contains(QStringLiteral("今週のお知らせです。")));
            to += got.to;
        }
        to.sort();
        QCOMPARE(to, (QStringList{QStringLiteral("one@example.com"), QStringLiteral("two@example.com")}));
    }

    void versionFromCron()
    {
        TestEnv env;
        const Run r = run(m_program, {QStringLiteral("--version")}, {}, cron(env), 30000);
        QCOMPARE(r.code, 0);
        QVERIFY2(r.out.startsWith(QStringLiteral("ツバメ便 ")), qPrintable(r.out + r.err));
    }
};

QTEST_GUILESS_MAIN(TestPackagingInstalled)
#include "tst_packaging_installed.moc"
