#pragma once
// A private HOME, XDG folders, settings file and (optionally) store for one test, with
// message boxes and file dialogs answered through their seams instead of shown.
#include <QString>
#include <QTemporaryDir>

class TestEnv
{
public:
    TestEnv();
    ~TestEnv();

    QString home() const { return m_dir.path(); }
    QString dataDir() const;  // ends with "/"
    QString docDir() const;
    QString settingsFile() const;

    // Creates the data folder and opens (creating) the store in it.
    void openStore();
    void closeStore();

private:
    QTemporaryDir m_dir;
};
