#include "cli/CliCommon.h"

#include "mail/DeliveryManager.h"
#include "members/UAddress.h"
#include "store/Database.h"
#include "store/Folders.h"
#include "store/MagazineSql.h"
#include "store/SendStates.h"
#include "store/StoreFile.h"

#include <QCommandLineParser>
#include <QFileInfo>

#include <cstdio>
#include <limits>
#include <unistd.h>

namespace Cli {

void say(const QString &text)
{
    // The system's own messages break their lines with CR LF, as the window shows them.
    std::fputs(qPrintable(QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")) + u'\n'), stderr);
}

int storeUnreadable(const StoreError &e)
{
    say(QStringLiteral("データベースを読めません: ") + e.text());
    return kNotStarted;
}

bool openStore()
{
    const QString path = Folders::storeFile(Folders::dataDir());
    if (!QFileInfo::exists(path)) {
        say(QStringLiteral("データベースがありません: ") + path);
        return false;
    }
    QString why;
    if (!Store::open(path, &why)) {
        say(QStringLiteral("データベースを開けません: ") + why);
        return false;
    }
    return true;
}

bool refusedAsStore(const QString &file)
{
    if (!StoreFile::isStore(file, Folders::storeFile(Folders::dataDir())))
        return false;
    say(StoreFile::refusalText(file));
    return true;
}

std::optional<int> magazineNamed(const QString &name)
{
    const qint64 magIdx = MagazineSql::idByName(name);
    if (magIdx == 0) {
        say(QStringLiteral("マガジン「%1」はありません。").arg(name));
        return std::nullopt;
    }
    return int(magIdx);
}

std::optional<MagazineRecord> magazineRecordNamed(const QString &name)
{
    const std::optional<int> magIdx = magazineNamed(name);
    return magIdx ? MagazineSql::load(*magIdx) : std::nullopt;
}

Progress::Progress(QString label)
    : m_label(std::move(label))
    , m_terminal(isatty(2) == 1)
{
}

Progress::~Progress()
{
    breakLine();
}

void Progress::breakLine()
{
    if (m_shown)
        std::fputs("\n", stderr);
    m_shown = false;
}

void Progress::show(qint64 done, qint64 total)
{
    showText(QStringLiteral("%1 / %2").arg(done).arg(total));
}

void Progress::showText(const QString &text)
{
    if (!m_terminal)
        return;
    std::fputs(qPrintable(QStringLiteral("\r%1: %2   ").arg(m_label, text)), stderr);
    m_shown = true;
}

void addMagazineOption(QCommandLineParser &p)
{
    p.addOption({QStringLiteral("magazine"), QStringLiteral("マガジン名"), QStringLiteral("名前")});
}

void addRetryOption(QCommandLineParser &p)
{
    p.addOption({QStringLiteral("retry-schedule"), QStringLiteral("再送の間隔"), QStringLiteral("5s,30s,...")});
}

std::optional<TMailThread::Settings> deliverySettings(const QCommandLineParser &p)
{
    TMailThread::Settings settings;
    settings.isValidAddress = IsValidAddress;
    settings.DocDir = Folders::docDir();
    if (p.isSet(QStringLiteral("retry-schedule"))) {
        settings.retry = RetrySchedule::parse(p.value(QStringLiteral("retry-schedule")));
        if (!settings.retry) {
            say(QStringLiteral("--retry-schedule が正しくありません(例: 5s,30s,1m)。"));
            return std::nullopt;
        }
    }
    return settings;
}

DeliverySummary deliverIssue(const IssueStateRow &issue, const TMailThread::Settings &settings)
{
    const QString name = QStringLiteral("%1 第%2号").arg(issue.MagName).arg(issue.MagCnt);
    const qint64 total = issue.counts.open();
    qint64 done = 0;
    DeliverySummary summary{issue.MagIdx, issue.MagCnt, DeliveryEnd::NotStarted, issue.counts};
    {
        Progress progress(name);
        DeliveryManager deliveries;
        QObject::connect(&deliveries, &DeliveryManager::MailSent, [&](int count) {
            done += count;
            progress.show(done, total);
        });
        QObject::connect(&deliveries, &DeliveryManager::Waiting, [&](int, int, const QDateTime &until) {
            if (until.isValid())
                progress.showText(QStringLiteral("待機中 %1 まで").arg(until.toString(QStringLiteral("HH:mm"))));
        });
        QObject::connect(&deliveries, &DeliveryManager::ErrorBox, [&](const QString &text) {
            progress.breakLine();
            say(name + QStringLiteral(": ") + text);
        });
        QObject::connect(&deliveries, &DeliveryManager::Summary, [&](const DeliverySummary &s) { summary = s; });
        deliveries.start(issue.MagIdx, issue.MagCnt, int(total), settings);
        deliveries.waitForAll(std::numeric_limits<int>::max());
    }
    say(name + QStringLiteral(": ") + DeliverySummaryText(summary).replace(QStringLiteral("\r\n"), QStringLiteral(" ")));
    return summary;
}

} // namespace Cli
