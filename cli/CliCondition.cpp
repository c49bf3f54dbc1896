#include "cli/CliCondition.h"

#include "issue/UCondition.h"
#include "store/FreeClause.h"

#include <QCommandLineParser>

#include <cstdio>

namespace Cli {

namespace {

int checkCondition(const QString &magazine, const QString &text)
{
    const std::optional<MagazineRecord> m = magazineRecordNamed(magazine);
    if (!m)
        return kRefused;
    const QString clause = TranslateToSql(text, m->fieldNames);
    QString message;
    if (!CheckCondition(clause, m->fieldNames, &message)) {
        say(message);
        return kRefused;
    }
    const QByteArray out = (FreeClause::read(clause).sql() + u'\n').toUtf8();
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    return kDone;
}

} // namespace

CommandStart startCheckCondition(const QCommandLineParser &p)
{
    const QString magazine = p.value(QStringLiteral("magazine"));
    const QStringList text = p.positionalArguments();
    if (magazine.isEmpty() || text.size() != 1) {
        say(QStringLiteral("--magazine でマガジン名を、続けて条件式を一つ指定してください。"));
        return std::nullopt;
    }
    return [magazine, condition = text.first()] { return checkCondition(magazine, condition); };
}

} // namespace Cli
