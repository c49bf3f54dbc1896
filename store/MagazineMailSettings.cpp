#include "store/MagazineMailSettings.h"

#include "store/PreparedStatement.h"
#include "store/Database.h"
#include "store/MailAddress.h"

#include <QUrl>

namespace {

bool safeUrl(const QString &text)
{
    if (text.size() > MagazineMailSettings::kMaxUrlLength || !text.startsWith(QLatin1String("https://")))
        return false;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u <= 0x20 || u >= 0x7F || u == u'<' || u == u'>' || u == u'"' || u == u'\\' || u == u'`')
            return false;
    }
    const QUrl url(text, QUrl::StrictMode);
    return url.isValid() && !url.host().isEmpty() && url.userInfo().isEmpty() && !url.hasFragment();
}

} // namespace

bool MagazineMailSettings::isUnsubscribeUrl(const QString &url)
{
    return safeUrl(url);
}

QString MagazineMailSettings::problem() const
{
    if (!unsubscribeAddress.isEmpty() && !IsPlainAddress(unsubscribeAddress))
        return QStringLiteral("配信停止の受付アドレスが正しくありません");
    if (!unsubscribeUrl.isEmpty() && unsubscribeAddress.isEmpty())
        return QStringLiteral("配信停止のURLには受付アドレスも入力してください");
    if (!unsubscribeUrl.isEmpty() && !safeUrl(unsubscribeUrl))
        return QStringLiteral("配信停止のURLは https:// で始まる正しいURLを入力してください");
    if (!returnPath.isEmpty()) {
        if (!IsPlainAddress(returnPath))
            return QStringLiteral("不達メールの返送先が正しくありません");
        if (returnPath.indexOf(QLatin1Char('@')) > kMaxReturnPathLocal)
            return QStringLiteral("不達メールの返送先は、@ の前を %1 文字までにしてください"
                                  "(メンバーごとの識別子を付け足すため)")
                .arg(kMaxReturnPathLocal);
        if (returnPath.left(returnPath.indexOf(QLatin1Char('@'))).contains(QLatin1Char('+')))
            return QStringLiteral("不達メールの返送先には + を含まないアドレスを入力してください");
    }
    if (bounceLimit < 1 || bounceLimit > kMaxBounceLimit)
        return QStringLiteral("配信停止にする不達の回数は 1 から %1 までです").arg(kMaxBounceLimit);
    return {};
}

MagazineMailSettings MagazineMailSettings::load(int magIdx)
{
    MagazineMailSettings m;
    PreparedStatement s(QStringLiteral("select ForceUtf8, UnsubAddress, UnsubUrl, UnsubAction, BounceLimit,"
                                       " ReturnPath from MagMailSetting where MagIdx = ?"));
    s.run({magIdx});
    if (!s.next())
        return m;
    m.forceUtf8 = s.value(0).toLongLong() != 0;
    const QString address = s.value(1).toString();
    if (IsPlainAddress(address))
        m.unsubscribeAddress = address;
    const QString url = s.value(2).toString();
    if (!m.unsubscribeAddress.isEmpty() && safeUrl(url))
        m.unsubscribeUrl = url;
    m.unsubscribeAction = s.value(3).toLongLong() == 1 ? UnsubscribeAction::Delete : UnsubscribeAction::Suspend;
    const qint64 limit = s.value(4).toLongLong();
    if (limit >= 1 && limit <= kMaxBounceLimit)
        m.bounceLimit = int(limit);
    MagazineMailSettings returnPath;
    returnPath.returnPath = s.value(5).toString();
    if (returnPath.problem().isEmpty())
        m.returnPath = returnPath.returnPath;
    return m;
}

void MagazineMailSettings::save(int magIdx, const MagazineMailSettings &settings)
{
    const QString why = settings.problem();
    if (!why.isEmpty())
        throw StoreError(why);
    PreparedStatement s(QStringLiteral("insert or replace into MagMailSetting"
                                       " (MagIdx, ForceUtf8, UnsubAddress, UnsubUrl, UnsubAction, BounceLimit,"
                                       " ReturnPath) values(?, ?, ?, ?, ?, ?, ?)"));
    s.run({magIdx, FlagValue(settings.forceUtf8), TextValue(settings.unsubscribeAddress),
           TextValue(settings.unsubscribeUrl), int(settings.unsubscribeAction), settings.bounceLimit,
           TextValue(settings.returnPath)});
}

void MagazineMailSettings::remove(int magIdx)
{
    PreparedStatement(QStringLiteral("delete from MagMailSetting where MagIdx = ?")).run({magIdx});
}
