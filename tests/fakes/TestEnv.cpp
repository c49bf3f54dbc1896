#include "TestEnv.h"

#include "store/Database.h"
#include "store/Folders.h"
#include "update/UGetVersion.h"
#include "widgets/FileDialog.h"
#include "widgets/MessageBox.h"
#include "widgets/Shell.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>

TestEnv::TestEnv()
{
    const QString h = m_dir.path();
    qputenv("HOME", h.toUtf8());
    qputenv("XDG_DATA_HOME", (h + "/.local/share").toUtf8());
    qputenv("XDG_CONFIG_HOME", (h + "/.config").toUtf8());
    qputenv("XDG_CACHE_HOME", (h + "/.cache").toUtf8());
    qputenv("XDG_DOCUMENTS_DIR", (h + "/Documents").toUtf8());
    qputenv("XDG_RUNTIME_DIR", (h + "/.runtime").toUtf8());
    QDir().mkpath(h + "/.runtime");
    QFile::setPermissions(h + "/.runtime", QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QDir().mkpath(h + "/Documents");
    QDir().mkpath(h + "/.config");
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, h + "/.config");
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, h + "/.config");
    MessageBox::setTestMode(true);
    FileDialog::setTestMode(true);
    Shell::setTestMode(true);
    // No test talks to the real vendor: a main window shown in a test checks for updates
    // against a closed loopback port unless the test points it at a server of its own.
    qputenv("TSUBAME_VENDOR_URL", "http://127.0.0.1:1/");
    // A read left open while its connection writes fails the step at once, in this process
    // and in the programs it starts, rather than only when another writer comes by. A run
    // that sets it to 0 itself tells such a fault from another.
    if (!qEnvironmentVariableIsSet("TSUBAME_STRICT_READS"))
        qputenv("TSUBAME_STRICT_READS", "1");
}

TestEnv::~TestEnv()
{
    Store::close();
    MessageBox::setTestMode(true);
    FileDialog::setTestMode(true);
    Shell::setTestMode(true);
}

QString TestEnv::dataDir() const
{
    return Folders::dataDir();
}

QString TestEnv::docDir() const
{
    return Folders::docDir();
}

QString TestEnv::settingsFile() const
{
    return home() + "/.config/Brindlow/Quillpost2.conf";
}

void TestEnv::openStore()
{
    QDir().mkpath(dataDir());
    QString error;
    if (!Store::open(Folders::storeFile(dataDir()), &error))
        qFatal("cannot open test store: %s", qPrintable(error));
}

void TestEnv::closeStore()
{
    Store::close();
}
