// The return path that names its member: the address a member's mail goes out from, the
// member read back from the address a bounce arrives at, and the setting's checks.
#include "mail/ReturnPath.h"
#include "mail/UnsubscribeToken.h"
#include "store/MagazineMailSettings.h"

#include <QtTest>

namespace {

const QByteArray kKey = "0123456789abcdef0123456789abcdef";

QString tokenOf(int magIdx, int userIdx)
{
    return UnsubscribeToken::make(kKey, magIdx, userIdx);
}

} // namespace

class TestMailReturnPath : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void forMember()
    {
        QCOMPARE(ReturnPath::forMember(QStringLiteral("bounce@example.jp"), kKey, 2, 41),
                 QStringLiteral("bounce+") + tokenOf(2, 41) + QStringLiteral("@example.jp"));
        // No key, or a local part that would pass 64 characters: the plain return path.
        QCOMPARE(ReturnPath::forMember(QStringLiteral("bounce@example.jp"), {}, 2, 41),
                 QStringLiteral("bounce@example.jp"));
        const QString longLocal = QString(40, QLatin1Char('b')) + QStringLiteral("@example.jp");
        QCOMPARE(ReturnPath::forMember(longLocal, kKey, 2147483647, 2147483647), longLocal);
    }

    void memberOf_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("userIdx");  // -1: nobody
        const QString token = tokenOf(2, 41);
        QTest::newRow("as sent") << "bounce+" + token + "@example.jp" << 41;
        QTest::newRow("letters folded by a server") << "BOUNCE+" + token.toUpper() + "@EXAMPLE.JP" << 41;
        QTest::newRow("another member's token") << "bounce+" + tokenOf(2, 42) + "@example.jp" << 42;
        QTest::newRow("hash altered") << "bounce+" + token.left(token.size() - 1) + "0@example.jp" << -1;
        QTest::newRow("another local part") << "other+" + token + "@example.jp" << -1;
        QTest::newRow("another domain") << "bounce+" + token + "@example.com" << -1;
        QTest::newRow("no token") << QStringLiteral("bounce@example.jp") << -1;
        QTest::newRow("empty token") << QStringLiteral("bounce+@example.jp") << -1;
        QTest::newRow("text after the token") << "bounce+" + token + "x@example.jp" << -1;
        QTest::newRow("no at sign") << "bounce+" + token << -1;
        QTest::newRow("over-long") << "bounce+" + token + QString(300, QLatin1Char('0')) + "@example.jp" << -1;
    }
    void memberOf()
    {
        QFETCH(QString, address);
        QFETCH(int, userIdx);
        const auto member = ReturnPath::memberOf(QStringLiteral("bounce@example.jp"), kKey, address);
        QCOMPARE(member.has_value(), userIdx >= 0);
        if (member) {
            QCOMPARE(member->magIdx, 2);
            QCOMPARE(member->userIdx, userIdx);
        }
        // Without a return path set, no address names anybody.
        QVERIFY(!ReturnPath::memberOf(QString(), kKey, address));
    }

    void settingChecked_data()
    {
        QTest::addColumn<QString>("returnPath");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("none") << QString() << true;
        QTest::newRow("plain") << QStringLiteral("bounce@example.jp") << true;
        QTest::newRow("17 before the at sign") << QStringLiteral("b234567890abcdefg@example.jp") << true;
        QTest::newRow("18 before the at sign") << QStringLiteral("b234567890abcdefgh@example.jp") << false;
        QTest::newRow("a plus already") << QStringLiteral("bounce+x@example.jp") << false;
        QTest::newRow("not an address") << QStringLiteral("bounce") << false;
        QTest::newRow("header break") << QStringLiteral("bounce@example.jp\r\nBcc: x@example.jp") << false;
    }
    void settingChecked()
    {
        QFETCH(QString, returnPath);
        QFETCH(bool, accepted);
        MagazineMailSettings m;
        m.returnPath = returnPath;
        QCOMPARE(m.problem().isEmpty(), accepted);
    }
};

QTEST_MAIN(TestMailReturnPath)
#include "tst_mail_return_path.moc"
