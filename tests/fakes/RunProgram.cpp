#include "RunProgram.h"

QString ProgramUnderTest()
{
    return QStringLiteral(TSUBAME_PROGRAM);
}

QProcessEnvironment CronEnvironment()
{
    QProcessEnvironment env;
    env.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
    env.insert(QStringLiteral("HOME"), qEnvironmentVariable("HOME"));
    return env;
}

std::unique_ptr<QProcess> StartProgram(const QStringList &args, const QProcessEnvironment &env)
{
    auto p = std::make_unique<QProcess>();
    p->setProcessEnvironment(env);
    p->start(ProgramUnderTest(), args);
    p->waitForStarted(10000);
    return p;
}

ProgramResult FinishProgram(QProcess &process, int timeoutMs)
{
    ProgramResult r;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        r.err = QStringLiteral("<time-out>");
        return r;
    }
    r.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    r.err = QString::fromUtf8(process.readAllStandardError());
    r.out = process.readAllStandardOutput();
    return r;
}

ProgramResult RunProgram(const QStringList &args, const QProcessEnvironment &env, int timeoutMs)
{
    const std::unique_ptr<QProcess> p = StartProgram(args, env);
    return FinishProgram(*p, timeoutMs);
}
