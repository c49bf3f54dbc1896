// "tsubame inbox" end to end: the real binary against dovecot on loopback, with the inbox's
// own settings in the store; its summary on stderr and its exit status.
#include "fakes/MailServers.h"
#include "fakes/RunProgram.h"
#include "fakes/StoreFixture.h"
#include "fakes/TestEnv.h"
#include "mail/UnsubscribeToken.h"
#include "store/Database.h"
#include "store/InboxSettings.h"
#include "store/UnsubscribeKey.h"

#include <QtTest>

namespace {

const QString kUser = QStringLiteral("news");
const QString kPassword = QStringLiteral("secret");

QByteArray unsubscribeMail(const QString &token)
{
    return "From: reader@example.org\r\nSubject: unsubscribe " + token.toLatin1() + "\r\n\r\n\r\n";
}

int sleeping(int userIdx)
{
    Statement s;
    return int(s.scalar(QStringLiteral("select Sleep from MagUser where MagIdx = 1 and UserIdx = %1").arg(userIdx)));
}

} // namespace

class TestCliInbox : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestEnv> env;

    static void setInbox(quint16 port)
    {
        InboxSettings s;
        s.useOwn = true;
        s.host = QStringLiteral("127.0.0.1");
        s.port = port;
        s.user = kUser;
        s.password = kPassword;
        InboxSettings::save(s);
    }

private Q_SLOTS:
    void init()
    {
        env = std::make_unique<TestEnv>();
        env->openStore();
        StoreFixture::addMagazine(1, QStringLiteral("週刊"));
        const StoreFixture::Row blank = StoreFixture::blankMemberColumns();
        StoreFixture::addMember(1, 1, QStringLiteral("太郎"), QStringLiteral("taro@example.jp"), blank);
        StoreFixture::addMember(1, 2, QStringLiteral("花子"), QStringLiteral("hana@example.jp"), blank);
    }
    void cleanup() { env.reset(); }

    void keepThenProcess()
    {
        Pop3TestServer server;
        QVERIFY2(server.start(kUser, kPassword), qPrintable(server.error()));
        setInbox(server.port());
        const QByteArray key = UnsubscribeKey::load();
        QVERIFY(server.deliver(kUser, unsubscribeMail(UnsubscribeToken::make(key, 1, 2))));
        QVERIFY(server.deliver(kUser, "From: a@example.org\r\nSubject: hello\r\n\r\nhi\r\n"));

        const ProgramResult kept = RunProgram({QStringLiteral("inbox"), QStringLiteral("--keep")});
        QCOMPARE(kept.code, 0);
        QVERIFY2(kept.err.contains(QStringLiteral("配信停止 1 件")), qPrintable(kept.err));
        QVERIFY2(kept.err.contains(QStringLiteral("メールボックスから削除したメール 0 通")), qPrintable(kept.err));
        QCOMPARE(sleeping(2), 1);
        QCOMPARE(server.messageCount(kUser), 2);

        const ProgramResult processed = RunProgram({QStringLiteral("inbox")});
        QCOMPARE(processed.code, 0);
        QVERIFY2(processed.err.contains(QStringLiteral("配信停止 0 件")), qPrintable(processed.err));
        QVERIFY2(processed.err.contains(QStringLiteral("メールボックスから削除したメール 1 通")), qPrintable(processed.err));
        QTRY_COMPARE(server.messageCount(kUser), 1);
        QCOMPARE(sleeping(1), 0);
    }

    void refusedAndUnreachable_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("configured");
        QTest::addColumn<int>("code");
        QTest::newRow("unknown option") << QStringList{"inbox", "--bogus"} << true << 1;
        QTest::newRow("extra argument") << QStringList{"inbox", "now"} << true << 1;
        QTest::newRow("no server set") << QStringList{"inbox"} << false << 2;
        QTest::newRow("server unreachable") << QStringList{"inbox"} << true << 2;
    }
    void refusedAndUnreachable()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, configured);
        QFETCH(int, code);
        if (configured)
            setInbox(FreeLoopbackPort());
        const ProgramResult r = RunProgram(args);
        QCOMPARE(r.code, code);
        QVERIFY(!r.err.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestCliInbox)
#include "tst_cli_inbox.moc"
