// The main window under a real window manager, which puts a frame around it: its place on the
// screen stays the same from one start to the next.
//
// The test starts a virtual X server and a window manager of its own, then starts this same
// program three times as a child that opens the main window there, waits for its frame, and
// closes it as the user would.
#include "app/MainForm.h"
#include "fakes/TestEnv.h"
#include "update/UGetVersion.h"
#include "widgets/FileDialog.h"
#include "widgets/MessageBox.h"
#include "widgets/Shell.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

namespace {

const char *const kChildVariable = "TSUBAME_WINDOW_MANAGER_CHILD";

// One start of the main window on the display in DISPLAY, with the HOME and XDG folders the
// test gave. Prints the frame's and the inside's geometry as the window closes.
int childMain(int argc, char *argv[])
{
    QApplication app(argc, argv);
    MessageBox::setTestMode(true);
    FileDialog::setTestMode(true);
    Shell::setTestMode(true);
    qputenv("TSUBAME_VENDOR_URL", "http://127.0.0.1:1/");
    TMainForm form;
    if (!form.startedOk())
        return 2;
    form.show();
    if (!QTest::qWaitForWindowExposed(&form, 10000))
        return 3;
    // The window manager frames the window soon after it is shown, and may still move it then.
    QElapsedTimer framed;
    framed.start();
    while (form.frameGeometry() == form.geometry() && framed.elapsed() < 10000)
        QTest::qWait(20);
    QTest::qWait(500);
    const QRect frame = form.frameGeometry();
    const QRect inside = form.geometry();
    std::printf("%d %d %d %d %d %d %d %d\n", frame.x(), frame.y(), frame.width(), frame.height(), inside.x(),
                inside.y(), inside.width(), inside.height());
    std::fflush(stdout);
    form.close();
    return 0;
}

struct Start {
    QRect frame, inside;
};

} // namespace

class TestWindowManager : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;
    QProcess server, manager;
    QString display;

    Start startOnce()
    {
        QProcess p;
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert(QString::fromLatin1(kChildVariable), QStringLiteral("1"));
        e.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        e.insert(QStringLiteral("DISPLAY"), display);
        e.remove(QStringLiteral("WAYLAND_DISPLAY"));
        e.remove(QStringLiteral("XAUTHORITY"));
        p.setProcessEnvironment(e);
        p.start(QCoreApplication::applicationFilePath(), {});
        if (!p.waitForFinished(60000))
            p.kill();
        const QList<QByteArray> n = p.readAllStandardOutput().trimmed().split(' ');
        if (p.exitCode() != 0 || n.size() != 8) {
            qWarning("child: exit %d, %s", p.exitCode(), p.readAllStandardError().constData());
            return {};
        }
        return {QRect(n[0].toInt(), n[1].toInt(), n[2].toInt(), n[3].toInt()),
                QRect(n[4].toInt(), n[5].toInt(), n[6].toInt(), n[7].toInt())};
    }

private Q_SLOTS:
    void init()
    {
        env = std::make_unique<TestEnv>();
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        const QString openbox = QStandardPaths::findExecutable(QStringLiteral("openbox"));
        if (xvfb.isEmpty() || openbox.isEmpty())
            QSKIP("Xvfb and openbox are needed (tools/setup installs them)");
        // The server picks a free display number and writes it to its standard output.
        server.start(xvfb, {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                            QStringLiteral("0"), QStringLiteral("1280x1024x24"), QStringLiteral("-nolisten"),
                            QStringLiteral("tcp")});
        QVERIFY(server.waitForStarted(10000));
        QElapsedTimer t;
        t.start();
        while (!server.canReadLine() && t.elapsed() < 20000)
            server.waitForReadyRead(200);
        const QByteArray number = server.readLine().trimmed();
        QVERIFY2(!number.isEmpty(), "Xvfb did not say its display");
        display = QStringLiteral(":") + QString::fromLatin1(number);
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert(QStringLiteral("DISPLAY"), display);
        manager.setProcessEnvironment(e);
        manager.start(openbox, {QStringLiteral("--sm-disable")});
        QVERIFY(manager.waitForStarted(10000));
        QTest::qWait(500);
    }
    void cleanup()
    {
        for (QProcess *p : {&manager, &server}) {
            if (p->state() == QProcess::NotRunning)
                continue;
            p->terminate();
            if (!p->waitForFinished(5000))
                p->kill();
            p->waitForFinished(5000);
        }
        env.reset();
    }

    void positionStaysOverThreeStarts()
    {
        QList<Start> starts;
        for (int i = 0; i < 3; ++i) {
            starts << startOnce();
            QVERIFY2(starts.last().frame.isValid(), "the window did not start");
        }
        // The manager did put a frame with a title bar around it, or this proves nothing.
        QVERIFY2(starts[0].inside.top() > starts[0].frame.top(), "the window manager did not frame the window");
        for (int i = 1; i < 3; ++i) {
            QCOMPARE(starts[i].frame.topLeft(), starts[0].frame.topLeft());
            QCOMPARE(starts[i].inside, starts[0].inside);
        }
    }
};

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsSet(kChildVariable))
        return childMain(argc, argv);
    QApplication app(argc, argv);
    TestWindowManager test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_app_window_manager.moc"
