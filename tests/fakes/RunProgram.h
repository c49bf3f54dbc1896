#pragma once
// The program itself run by a test as a user, a script or cron runs it: its exit status,
// stdout and stderr collected once it has ended.
#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <memory>

struct ProgramResult {
    int code = -1; // -1 when it crashed or did not end in time
    QString err;   // stderr read as UTF-8; "<time-out>" when it did not end in time
    QByteArray out;
};

// The program built beside the tests.
QString ProgramUnderTest();

// What cron gives a job: the test's HOME, a short PATH, no display and no Qt platform.
QProcessEnvironment CronEnvironment();

// Starts the program with these arguments in this environment (the test's own by default);
// the caller waits for it with FinishProgram.
std::unique_ptr<QProcess> StartProgram(const QStringList &args,
                                       const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment());

// Waits for a started process to end, killing it after timeoutMs, and collects what it left.
ProgramResult FinishProgram(QProcess &process, int timeoutMs = 120000);

// StartProgram, then FinishProgram.
ProgramResult RunProgram(const QStringList &args,
                         const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment(),
                         int timeoutMs = 120000);
