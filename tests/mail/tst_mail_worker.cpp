// The delivery worker end to end: a real store, aiosmtpd (STARTTLS, AUTH LOGIN) and dovecot
// on loopback, the mails read back with Python's email package.
#include "fakes/DamagedStore.h"
#include "fakes/FakeMailSocket.h"
#include "fakes/MailServers.h"
#include "fakes/StoreFixture.h"
#include "fakes/TestEnv.h"
#include "mail/DeliveryManager.h"
#include "mail/DeliveryProgress.h"
#include "mail/UnsubscribeToken.h"
#include "members/UAddress.h"
#include "store/PreparedStatement.h"
#include "store/DeliveryRecords.h"
#include "store/Codec.h"
#include "store/SendSettings.h"
#include "store/SendStates.h"
#include "store/Database.h"
#include "store/MagazineMailSettings.h"
#include "store/UnsubscribeKey.h"
#include "store/Sql.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QSqlQuery>
#include <QtTest>

#include <numeric>

namespace {

// Stands for the main window: owns the delivery manager and the progress it feeds, and
// records what the workers report, on the test's own thread.
class Window : public QObject
{
    Q_OBJECT
public:
    DeliveryManager deliveries;
    int SendingCount = 0;
    bool SendFinished = false;
    QList<int> reports;
    QStringList boxes;
    int repaints = 0;
    std::function<void(int)> onReport;
    QList<DeliverySummary> summaries;
    Window()
    {
        connect(&deliveries, &DeliveryManager::Summary, this, [this](const DeliverySummary &s) { summaries += s; });
        connect(&deliveries, &DeliveryManager::Started, this, [this] { ++SendingCount; });
        connect(&deliveries, &DeliveryManager::Ended, this, [this] {
            SendFinished = true;
            --SendingCount;
        });
        connect(&deliveries, &DeliveryManager::MailSent, this, [this](int n) {
            reports += n;
            if (onReport)
                onReport(n);
        });
        connect(&deliveries, &DeliveryManager::RepaintStatus, this, [this] { ++repaints; });
        connect(&deliveries, &DeliveryManager::ErrorBox, this, [this](const QString &s) { boxes += s; });
    }
    ~Window() override { deliveries.waitForAll(60000); }
};

struct Magazine {
    QString Owner = QStringLiteral("ツバメ出版");
    QString Adrs = QStringLiteral("owner@example.jp");
    QString Atena = QStringLiteral("読者各位");
    int UseUserName = 1;
    QString Title = QStringLiteral("今週のお知らせ");
    QString Body = QStringLiteral("こんにちは。\r\n本文です。\r\n");
    QString UpdateSQL = QStringLiteral("set flg2 = 1,Count1 = Count1 + 1,UserDate1 = \"20240115\"");
};

const int kMag = 3;
const int kIssue = 7;

int sum(const QList<int> &counts)
{
    return std::accumulate(counts.begin(), counts.end(), 0);
}

QString addr(int i)
{
    return QStringLiteral("member%1@example.com").arg(i, 3, 10, QLatin1Char('0'));
}

} // namespace

class TestMailWorker : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestEnv> env;

    // names: the members' UserName, "会員<n>" when not given.
    void setUpIssue(const Magazine &m, const QStringList &addresses, const QStringList &names = {})
    {
        Transaction t;
        StoreFixture::insert("Magzine", {{"MagIdx", kMag}, {"MagName", "mag"}, {"Owner", TextValue(m.Owner)},
                                         {"Adrs", TextValue(m.Adrs)}, {"Atena", TextValue(m.Atena)},
                                         {"UseUserName", m.UseUserName}});
        // Another magazine's member with the same UserIdx range must not be picked up.
        StoreFixture::insert("Magzine", {{"MagIdx", 9}, {"MagName", "other"}});
        StoreFixture::insert("MagUser", {{"MagIdx", 9}, {"UserIdx", 9999}, {"UserName", "x"}, {"UserAdrs", "other@example.com"}});
        for (int i = 0; i < addresses.size(); ++i) {
            StoreFixture::insert("MagUser", {{"MagIdx", kMag},
                                             {"UserIdx", 100 + i},
                                             {"UserName", TextValue(i < names.size() ? names.at(i) : QStringLiteral("会員%1").arg(i))},
                                             {"UserAdrs", TextValue(addresses.at(i))},
                                             {"url", QString("http://example.com/" + QString::number(i))},
                                             {"Count1", 1000 * i},
                                             {"Count2", 0},
                                             {"UserDate1", "20240305"}});
            StoreFixture::addRecipient(kMag, kIssue, 100 + i, {{"SendComplete", 0}});
        }
        StoreFixture::addIssue(kMag, kIssue,
                               {.addDate = "2026/12/10 10:00:00",
                                .sendCnt = int(addresses.size()),
                                .title = m.Title,
                                .body = m.Body,
                                .updateSql = m.UpdateSQL});
        SendStates::seed(kMag, kIssue);
        t.commit();
    }

    static void setServers(quint16 smtpPort, bool auth, bool ssl, const QString &user, const QString &password,
                           quint16 popPort = 0, const QString &popPassword = {})
    {
        Statement s;
        s.exec("delete from CommonTBL where key1 = 100");
        s.exec("insert into CommonTBL values(100,1," + QString::number(smtpPort) + "," + (auth ? "1," : "0,")
               + (ssl ? "1," : "0,") + "'127.0.0.1'," + Sql::q(user) + "," + Sql::q(password) + ")");
        if (popPort)
            s.exec("insert into CommonTBL values(100,2," + QString::number(popPort) + ",1,0,'127.0.0.1','taro',"
                   + Sql::q(popPassword) + ")");
        else
            s.exec("insert into CommonTBL values(100,2,0,0,0,NULL,NULL,NULL)");
    }

    TMailThread::Settings settings(MailSocketFactory factory = {})
    {
        TMailThread::Settings st;
        st.isValidAddress = IsValidAddress;
        st.connect.connectTimeoutMs = 5000;
        st.connect.replyTimeoutMs = 10000;
        st.connect.socketFactory = std::move(factory);
        st.DocDir = env->docDir();
        return st;
    }

    // Runs one delivery to its end, taking its signals meanwhile.
    void deliver(Window &w, TMailThread::Settings st = {})
    {
        if (!st.isValidAddress)
            st = settings();
        w.deliveries.start(kMag, kIssue, 0, st);
        QCOMPARE(w.deliveries.running(), 1);
        QCOMPARE(w.SendingCount, 1);
        QVERIFY(w.deliveries.waitForAll(60000));
        QCOMPARE(w.SendingCount, 0);
        QVERIFY(w.SendFinished);
    }

    // Each recipient's delivery state, in member order.
    static QList<int> states()
    {
        QList<int> out;
        Statement s;
        s.open("select State from SendState where MagIdx = 3 and MagCnt = 7 order by MagUser");
        while (s.next())
            out += int(s.integer(0));
        return out;
    }
    static QList<int> completeFlags()
    {
        QList<int> out;
        Statement s;
        s.open("select SendComplete from MagHist where MagIdx = 3 and MagCnt = 7 order by MagUser");
        while (s.next())
            out += int(s.integer(0));
        return out;
    }
    static int updatedMembers()
    {
        return int(Statement().scalar("select count(*) from MagUser where MagIdx = 3 and Flg2 = 1 and UserDate1 = '20240115'"));
    }
    QStringList errorLogs() const
    {
        return QDir(env->docDir() + "/エラーログ").entryList(QDir::Files);
    }
    QStringList errorLogLines() const
    {
        const QStringList files = errorLogs();
        if (files.size() != 1)
            return {QStringLiteral("<%1 logs>").arg(files.size())};
        QFile f(env->docDir() + "/エラーログ/" + files.first());
        f.open(QIODevice::ReadOnly);
        const QByteArray bytes = f.readAll();
        if (!bytes.endsWith("\r\n"))
            return {QStringLiteral("<no final CR LF>")};
        return Codec::fromCp932(bytes.chopped(2)).split(QStringLiteral("\r\n"));
    }

private Q_SLOTS:
    void init()
    {
        env = std::make_unique<TestEnv>();
        env->openStore();
    }
    void cleanup() { env.reset(); }

    void japaneseMailOverStartTlsWithAuthLogin()
    {
        SmtpTestServer server;
        QVERIFY2(server.start(), qPrintable(server.error()));
        Magazine m;
        m.Title = QStringLiteral("【ツバメ通信】第7号 ｶﾞｲﾄﾞ 'quote' and \"dq\"");
        m.Body = QStringLiteral("[member name]様\r\nいつもありがとうございます。\r\n. 点で始まる行\r\n"
                                "It's \"quoted\".\r\n会員数 [count1 value] 人、日付 [user date1 yyyy/mm/dd]\r\n");
        setUpIssue(m, {"taro@example.com", "hanako@example.com"});
        setServers(server.port(), true, true, "user@example.jp", "pass'word");
        Window w;
        deliver(w);
        QVERIFY(w.boxes.isEmpty());
        QVERIFY(server.waitFor(2));
        const auto got = server.received();
        QCOMPARE(got.size(), 2);
        QCOMPARE(std::accumulate(w.reports.begin(), w.reports.end(), 0), 2);
        for (int i = 0; i < 2; ++i) {
            QVERIFY(got[i].tls);
            QCOMPARE(got[i].authUser, QStringLiteral("user@example.jp"));
            QCOMPARE(got[i].from, QStringLiteral("owner@example.jp"));
            const QJsonObject mail = ReadMail(got[i].path);
            QCOMPARE(mail["fields"].toArray().toVariantList(),
                     (QVariantList{"From", "Subject", "To", "Content-Type", "MIME-Version", "Content-Transfer-Encoding", "Date",
                                   "Message-ID", "X-Tsubame-Token"}));
            QCOMPARE(mail["from_name"].toString(), m.Owner);
            QCOMPARE(mail["from_addr"].toString(), m.Adrs);
            QCOMPARE(mail["to_name"].toString(), m.Atena);
            QCOMPARE(mail["to_addr"].toString(), got[i].to.first());
            // Half-width katakana would come back widened from ISO-2022-JP: the mail is UTF-8.
            QCOMPARE(mail["subject"].toString(), m.Title);
            QCOMPARE(mail["content_type"].toString(), QStringLiteral("text/plain"));
            QCOMPARE(mail["charset"].toString(), QStringLiteral("utf-8"));
            QCOMPARE(mail["cte"].toString(), QStringLiteral("BASE64"));
            QVERIFY(mail["body_7bit"].toBool());
            QVERIFY(mail["max_line"].toInt() <= 998);
            QVERIFY(!mail["date_parsed"].toString().isEmpty());
        }
        const QJsonObject first = ReadMail(got[0].path);
        const QString who = got[0].to.first() == "taro@example.com" ? "会員0" : "会員1";
        const QString count = got[0].to.first() == "taro@example.com" ? "0" : "1,000";
        QCOMPARE(first["body"].toString(),
                 who + "様\r\nいつもありがとうございます。\r\n. 点で始まる行\r\nIt's \"quoted\".\r\n会員数 " + count
                     + " 人、日付 2024年3月5日\r\n");
        QCOMPARE(completeFlags(), (QList<int>{1, 1}));
        QCOMPARE(updatedMembers(), 2);
        QCOMPARE(int(Statement().scalar("select Count1 from MagUser where UserIdx = 101")), 1001);
        QCOMPARE(int(Statement().scalar("select count(*) from MagUser where MagIdx = 9 and Flg2 = 1")), 0);
        QVERIFY(errorLogs().isEmpty());
    }

    // Subjects, names and bodies sent through the worker to aiosmtpd and read back exactly by
    // Python's email package with its default policy; each member's mail takes its own
    // charset: ISO-2022-JP where that reads back identically, UTF-8 otherwise.
    void textsReadBackExactly_data()
    {
        QTest::addColumn<QString>("owner");
        QTest::addColumn<QString>("atena");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("body");       // after "[member name]様" and a line break
        QTest::addColumn<QStringList>("names");  // one member each
        QTest::addColumn<QStringList>("charsets");
        const QString jp = QStringLiteral("iso-2022-jp");
        const QString u8 = QStringLiteral("utf-8");
        const QString longKanji = QString("先頭から漢字で始まるとても長い件名のテストです").repeated(3) + " ABC 中間 DEF 末尾";
        QTest::newRow("plain ascii") << "Tsubame Press" << "Dear reader" << "Monthly news" << "Hello.\r\nBye.\r\n"
                                     << QStringList{"Taro", "Hanako"} << QStringList{jp, jp};
        QTest::newRow("yen and a real backslash") << "ツバメ¥出版" << "読者 ¥ 様" << "価格は¥1,000 (C:\\dir\\) ~ ‾"
                                                  << "¥500 と \\ と ~ と ‾\r\n日本\\x\r\n" << QStringList{"山田¥", "a\\b"}
                                                  << QStringList{jp, jp};
        QTest::newRow("circled digits in the subject") << "ツバメ出版" << "読者各位" << "①②③のお知らせ" << "本文\r\n"
                                                       << QStringList{"山田", "佐藤"} << QStringList{u8, u8};
        QTest::newRow("髙 for one member only") << "ツバメ出版" << "読者各位" << "お知らせ" << "本文です。\r\n"
                                                << QStringList{"髙橋", "高橋"} << QStringList{u8, jp};
        QTest::newRow("﨑 for one member only") << "ツバメ出版" << "読者各位" << "お知らせ" << "本文です。\r\n"
                                               << QStringList{"山崎", "山﨑"} << QStringList{jp, u8};
        QTest::newRow("emoji in the body") << "ツバメ出版" << "読者各位" << "お知らせ" << "今日も元気😀👍🏽\r\n"
                                           << QStringList{"山田", "佐藤"} << QStringList{u8, u8};
        QTest::newRow("full-width tilde") << "ツバメ出版" << "読者各位" << "10時～12時" << "本文\r\n"
                                          << QStringList{"山田"} << QStringList{u8};
        QTest::newRow("wave dash stays ISO-2022-JP") << "ツバメ出版" << "読者各位" << "10時〜12時" << "‖ 〜\r\n"
                                                     << QStringList{"山田"} << QStringList{jp};
        QTest::newRow("parallel to") << "ツバメ出版" << "読者各位" << "お知らせ" << "a∥b\r\n" << QStringList{"山田"}
                                     << QStringList{u8};
        QTest::newRow("half-width katakana sender") << "ﾂﾊﾞﾒ便" << "ﾄﾞｸｼｬ" << "ｶﾞｲﾄﾞ" << "ﾊﾟｰﾃｨｰ\r\n"
                                                    << QStringList{"ﾔﾏﾀﾞ"} << QStringList{u8};
        QTest::newRow("long subject starting in kanji") << "ツバメ出版" << "読者各位" << longKanji << "本文\r\n"
                                                        << QStringList{"山田"} << QStringList{jp};
        QTest::newRow("long UTF-8 subject and names") << QString("髙橋出版").repeated(12) << QString("①読者").repeated(15)
                                                      << "髙" + longKanji << "本文\r\n" << QStringList{"山田"} << QStringList{u8};
        // (Python's reader makes a double blank inside a name's word one; the Subject keeps it.)
        QTest::newRow("spaces between Japanese runs") << "ツバメ 出版 社" << "読者 各位 様" << "日本 と 東京  の ニュース"
                                                      << "全角　空白\r\n" << QStringList{"山田 太郎"} << QStringList{jp};
        QTest::newRow("specials in names") << "ツバメ便(編集部)" << "営業部, 山田 様" << "件名 \"引用\" <x>" << "x\r\n"
                                           << QStringList{"山田"} << QStringList{jp};
        QTest::newRow("looks like an encoded word") << "=?UTF-8?B?QQ==?=" << "読者" << "=?UTF-8?B?QQ==?= と 日本"
                                                    << "x\r\n" << QStringList{"山田"} << QStringList{jp};
    }
    void textsReadBackExactly()
    {
        QFETCH(QString, owner);
        QFETCH(QString, atena);
        QFETCH(QString, title);
        QFETCH(QString, body);
        QFETCH(QStringList, names);
        QFETCH(QStringList, charsets);
        SmtpTestServer::Options o;
        o.tls = false;
        SmtpTestServer server;
        QVERIFY2(server.start(o), qPrintable(server.error()));
        Magazine m;
        m.Owner = owner;
        m.Atena = atena;
        m.Title = title;
        m.Body = QStringLiteral("[member name]様\r\n") + body;
        QStringList addresses;
        for (int i = 0; i < names.size(); ++i)
            addresses += addr(i);
        setUpIssue(m, addresses, names);
        setServers(server.port(), false, false, {}, {});
        Window w;
        deliver(w);
        QVERIFY(w.boxes.isEmpty());
        QVERIFY(server.waitFor(int(names.size())));
        const auto got = server.received();
        QCOMPARE(got.size(), names.size());
        static const QRegularExpression messageId(QStringLiteral("^<[A-Za-z0-9.]+@example\\.jp>$"));
        QSet<QString> ids;
        for (const auto &r : got) {
            const qsizetype i = addresses.indexOf(r.to.first());
            QVERIFY(i >= 0);
            const QJsonObject mail = ReadMail(r.path);
            const QJsonObject d = mail["default"].toObject();
            QCOMPARE(d["defects"].toArray(), QJsonArray());
            QCOMPARE(d["Subject"].toString(), title);
            QCOMPARE(d["from_names"].toArray(), QJsonArray{owner});
            QCOMPARE(d["from_addrs"].toArray(), QJsonArray{m.Adrs});
            QCOMPARE(d["to_names"].toArray(), QJsonArray{atena});
            QCOMPARE(d["to_addrs"].toArray(), QJsonArray{addresses.at(i)});
            QCOMPARE(d["body"].toString(), names.at(i) + QStringLiteral("様\r\n") + body);
            QCOMPARE(d["charset"].toString(), charsets.at(i));
            QVERIFY(mail["body_7bit"].toBool());
            // Within 78 characters, but for a name's one long word on its own.
            QVERIFY2(mail["max_line"].toInt() <= qMax(78, int(qMax(owner.toUtf8().size(), atena.toUtf8().size())) * 2),
                     qPrintable(QString::number(mail["max_line"].toInt())));
            const QString id = d["Message-ID"].toString();
            QVERIFY2(messageId.match(id).hasMatch(), qPrintable(id));
            QVERIFY(!ids.contains(id));
            ids.insert(id);
            QCOMPARE(mail["fields"].toArray().toVariantList(),
                     (QVariantList{"From", "Subject", "To", "Content-Type", "MIME-Version", "Content-Transfer-Encoding",
                                   "Date", "Message-ID", "X-Tsubame-Token"}));
        }
    }

    // The magazine's mail settings reach every mail: List-Unsubscribe with each member's own
    // token (the one-click URL only when set), the plain mailto for hidden recipients, and
    // UTF-8 for every mail when forced.
    void magazineMailSettings_data()
    {
        QTest::addColumn<int>("UseUserName");
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("forceUtf8");
        QTest::newRow("individual, mailto only") << 1 << "" << false;
        QTest::newRow("individual, one-click") << 1 << "https://example.jp/stop?list=3" << false;
        QTest::newRow("personalised, forced UTF-8") << 2 << "https://example.jp/stop" << true;
        QTest::newRow("batch") << 0 << "https://example.jp/stop" << false;
        QTest::newRow("batch, forced UTF-8") << 0 << "" << true;
    }
    void magazineMailSettings()
    {
        QFETCH(int, UseUserName);
        QFETCH(QString, url);
        QFETCH(bool, forceUtf8);
        SmtpTestServer::Options o;
        o.tls = false;
        SmtpTestServer server;
        QVERIFY2(server.start(o), qPrintable(server.error()));
        Magazine m;
        m.UseUserName = UseUserName == 0 ? 0 : 1;
        if (UseUserName == 2)
            m.Body = QStringLiteral("[member name]様\r\n本文です。\r\n");
        const QStringList addresses{addr(0), addr(1), addr(2)};
        setUpIssue(m, addresses);
        MagazineMailSettings settings;
        settings.forceUtf8 = forceUtf8;
        settings.unsubscribeAddress = QStringLiteral("stop@example.jp");
        settings.unsubscribeUrl = url;
        MagazineMailSettings::save(kMag, settings);
        setServers(server.port(), false, false, {}, {});
        Window w;
        deliver(w);
        QVERIFY(w.boxes.isEmpty());
        const bool batch = UseUserName == 0;
        QVERIFY(server.waitFor(batch ? 1 : 3));
        const auto got = server.received();
        QCOMPARE(got.size(), batch ? 1 : 3);
        const QByteArray key = UnsubscribeKey::load();
        QSet<QString> ids;
        for (const auto &r : got) {
            const QJsonObject mail = ReadMail(r.path);
            const QJsonObject d = mail["default"].toObject();
            // A batch's To has the salutation and the empty address "<>", as it always had.
            QCOMPARE(d["defects"].toArray(), batch ? QJsonArray{"To: null addr-spec in angle-addr"} : QJsonArray());
            QCOMPARE(d["charset"].toString(), forceUtf8 ? QStringLiteral("utf-8") : QStringLiteral("iso-2022-jp"));
            QCOMPARE(d["Subject"].toString(), m.Title);
            QCOMPARE(d["from_names"].toArray(), QJsonArray{m.Owner});
            ids.insert(d["Message-ID"].toString());
            const QString list = d["List-Unsubscribe"].toString();
            QVariantList fields{"From", "Subject", "To", "Content-Type", "MIME-Version", "Content-Transfer-Encoding",
                                "Date", "Message-ID", "List-Unsubscribe"};
            if (batch) {
                QCOMPARE(list, QStringLiteral("<mailto:stop@example.jp?subject=unsubscribe>"));
                QVERIFY(!d.contains("List-Unsubscribe-Post"));
                // Hidden recipients: the field names the magazine alone.
                QCOMPARE(UnsubscribeToken::parseMagazine(key, d["X-Tsubame-Token"].toString()), std::optional<int>(kMag));
                QCOMPARE(mail["fields"].toArray().toVariantList(), fields << "X-Tsubame-Token");
                continue;
            }
            const qsizetype i = addresses.indexOf(r.to.first());
            QVERIFY(i >= 0);
            const QString token = UnsubscribeToken::make(key, kMag, 100 + int(i));
            QString expected = "<mailto:stop@example.jp?subject=unsubscribe%20" + token + ">";
            if (!url.isEmpty()) {
                expected += ", <" + url + (url.contains(u'?') ? "&t=" : "?t=") + token + ">";
                fields += "List-Unsubscribe-Post";
                QCOMPARE(d["List-Unsubscribe-Post"].toString(), QStringLiteral("List-Unsubscribe=One-Click"));
            } else {
                QVERIFY(!d.contains("List-Unsubscribe-Post"));
            }
            QCOMPARE(list, expected);
            const auto member = UnsubscribeToken::parse(key, token);
            QVERIFY(member.has_value());
            QCOMPARE(member->userIdx, 100 + int(i));
            // The same token in a field of its own, for reports that return only the header.
            QCOMPARE(d["X-Tsubame-Token"].toString(), token);
            QCOMPARE(mail["fields"].toArray().toVariantList(), fields << "X-Tsubame-Token");
        }
        QCOMPARE(ids.size(), got.size());
    }

    void reportsAndBatches_data()
    {
        QTest::addColumn<int>("members");
        QTest::addColumn<int>("UseUserName");
        QTest::addColumn<QString>("body");
        QTest::addColumn<QList<int>>("envelopes");
        QTest::newRow("individual 60") << 60 << 1 << "本文\r\n" << QList<int>(60, 1);
        QTest::newRow("personalised 60") << 60 << 0 << "[member name]様\r\n" << QList<int>(60, 1);
        QTest::newRow("batches 120") << 120 << 0 << "本文\r\n" << QList<int>{51, 51, 18};
        QTest::newRow("batch exactly 51") << 51 << 0 << "本文\r\n" << QList<int>{51};
        QTest::newRow("individual 26") << 26 << 1 << "本文\r\n" << QList<int>(26, 1);
    }
    void reportsAndBatches()
    {
        QFETCH(int, members);
        QFETCH(int, UseUserName);
        QFETCH(QString, body);
        QFETCH(QList<int>, envelopes);
        SmtpTestServer::Options o;
        o.tls = false;
        SmtpTestServer server;
        QVERIFY2(server.start(o), qPrintable(server.error()));
        Magazine m;
        m.UseUserName = UseUserName;
        m.Body = body;
        QStringList addresses;
        for (int i = 0; i < members; ++i)
            addresses += addr(i);
        setUpIssue(m, addresses);
        setServers(server.port(), false, false, {}, {});
        Window w;
        deliver(w);
        // Every recipient counted once.
        QCOMPARE(std::accumulate(w.reports.begin(), w.reports.end(), 0), members);
        QVERIFY(server.waitFor(envelopes.size()));
        const auto got = server.received();
        QList<int> sizes;
        QStringList everyone;
        for (const auto &r : got) {
            sizes += int(r.to.size());
            everyone += r.to;
        }
        QCOMPARE(sizes, envelopes);
        everyone.sort();
        QCOMPARE(everyone, addresses);
        const QJsonObject mail = ReadMail(got.last().path);
        QCOMPARE(mail["to_name"].toString(), m.Atena);
        if (envelopes.first() > 1) {
            // Hidden recipients: the To field has the salutation and an empty address.
            QVERIFY(mail["raw"].toObject()["To"].toString().endsWith(" <>"));
            QCOMPARE(mail["to_addr"].toString(), QString());
            QVERIFY(!mail["fields"].toArray().contains("Cc"));
            QVERIFY(!mail["fields"].toArray().contains("Bcc"));
        }
        QCOMPARE(completeFlags(), QList<int>(members, 1));
        QVERIFY(errorLogs().isEmpty());
    }

    void rejectedAddressesGoToTheErrorLog_data()
    {
        QTest::addColumn<int>("UseUserName");
        QTest::addColumn<int>("logged");
        // Refused members count in the progress too: it reaches the whole.
        QTest::newRow("individual") << 1 << 2;
        // The batch that holds a refused address goes to the others.
        QTest::newRow("batch") << 0 << 2;
    }
    void rejectedAddressesGoToTheErrorLog()
    {
        QFETCH(int, UseUserName);
        QFETCH(int, logged);
        SmtpTestServer::Options o;
        o.tls = false;
        o.reject = {QStringLiteral("member060@"), QStringLiteral("member100@")};
        SmtpTestServer server;
        QVERIFY2(server.start(o), qPrintable(server.error()));
        Magazine m;
        m.UseUserName = UseUserName;
        QStringList addresses;
        for (int i = 0; i < 120; ++i)
            addresses += addr(i);
        setUpIssue(m, addresses);
        setServers(server.port(), false, false, {}, {});
        Window w;
        deliver(w);
        QCOMPARE(std::accumulate(w.reports.begin(), w.reports.end(), 0), 120);
        QStringList expected;
        if (logged == 2)
            expected = QStringList{addr(60), addr(100)};
        else
            expected = addresses.mid(51, 51);
        QCOMPARE(errorLogLines(), expected);
        QVERIFY(errorLogs().first().endsWith(QStringLiteral("エラー.txt")));
        QVERIFY(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d-\\d\\d-\\d\\dエラー\\.txt$"))
                    .match(errorLogs().first()).hasMatch());
        // Failed members are completed and updated like the others.
        QCOMPARE(completeFlags(), QList<int>(120, 1));
        QCOMPARE(updatedMembers(), 120);
    }

    void invalidAddressSkippedButUpdated()
    {
        SmtpTestServer::Options o;
        o.tls = false;
        SmtpTestServer server;
        QVERIFY2(server.start(o), qPrintable(server.error()));
        setUpIssue(Magazine(), {"taro@example.com", "not an address", "hanako@example.com"});
        setServers(server.port(), false, false, {}, {});
        Window w;
        deliver(w);
        QCOMPARE(std::accumulate(w.reports.begin(), w.reports.end(), 0), 3);
        QVERIFY(server.waitFor(2));
        QCOMPARE(server.received().size(), 2);
        QVERIFY(errorLogs().isEmpty());
        QCOMPARE(completeFlags(), (QList<int>{1, 1, 1}));
        QCOMPARE(updatedMembers(), 3);
    }

    void emptyUpdateSqlOnlyCompletes()
    {
        SmtpTestServer::Options o;
        o.tls = false;
        SmtpTestServer server;
        QVERIFY2(server.start(o), qPrintable(server.error()));
        Magazine m;
        m.UpdateSQL.clear();
        setUpIssue(m, {"taro@example.com"});
        setServers(server.port(), false, false, {}, {});
        Window w;
        deliver(w);
        QCOMPARE(completeFlags(), (QList<int>{1}));
        QCOMPARE(updatedMembers(), 0);
    }

    void popBeforeSmtp_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("box");
        QTest::newRow("right password") << "se'cret" << QString();
        QTest::newRow("wrong password") << "wrong" << "Pop3の接続エラー -ERR [AUTH] Authentication failed.";
    }
    void popBeforeSmtp()
    {
        QFETCH(QString, password);
        QFETCH(QString, box);
        Pop3TestServer pop;
        QVERIFY2(pop.start(QStringLiteral("taro"), QStringLiteral("se'cret")), qPrintable(pop.error()));
        SmtpTestServer server;
        QVERIFY2(server.start(), qPrintable(server.error()));
        setUpIssue(Magazine(), {"taro@example.com"});
        setServers(server.port(), false, false, {}, {}, pop.port(), password);
        Window w;
        deliver(w);
        if (box.isEmpty()) {
            QVERIFY(w.boxes.isEmpty());
            QVERIFY(server.waitFor(1));
            QVERIFY(!server.received().first().tls);
            QCOMPARE(completeFlags(), (QList<int>{1}));
            QVERIFY(pop.log().contains(QStringLiteral("Logged out")));
        } else {
            QCOMPARE(w.boxes, QStringList{box});
            QVERIFY(w.reports.isEmpty());
            QTest::qWait(300);
            QVERIFY(server.received().isEmpty());
            QCOMPARE(completeFlags(), (QList<int>{0}));
            QCOMPARE(updatedMembers(), 0);
            QVERIFY(errorLogs().isEmpty());
        }
    }

    void smtpConnectionFailures_data()
    {
        // 0 no rows, 1 nobody listening, 2 silent server, 3 endless EHLO answer, 4 trickled one
        QTest::addColumn<int>("how");
        QTest::addColumn<QString>("box");
        QTest::newRow("no settings rows") << 0 << "SMTPの接続エラー サーバ名が設定されていません";
        QTest::newRow("nobody listening") << 1 << "SMTPの接続エラー Connection refused";
        QTest::newRow("no greeting") << 2 << "SMTPの接続エラー " + MailSocketText::readTimedOut();
        QTest::newRow("endless EHLO answer") << 3 << "SMTPの接続エラー " + MailSocketText::replyTooLong();
        QTest::newRow("EHLO answer trickled") << 4 << "SMTPの接続エラー " + MailSocketText::readTimedOut();
    }
    void smtpConnectionFailures()
    {
        QFETCH(int, how);
        QFETCH(QString, box);
        SilentServer silent;
        HostileSmtpServer hostile;
        if (how == 3)
            QVERIFY2(hostile.startEndless(), qPrintable(hostile.error()));
        if (how == 4)
            QVERIFY2(hostile.startTrickle(0.3, 10), qPrintable(hostile.error()));
        setUpIssue(Magazine(), {"taro@example.com"});
        if (how == 1)
            setServers(FreeLoopbackPort(), false, false, {}, {});
        else if (how == 2)
            setServers(silent.port(), false, false, {}, {});
        else if (how >= 3)
            setServers(hostile.port(), false, false, {}, {});
        TMailThread::Settings st = settings();
        st.connect.replyTimeoutMs = 700;
        Window w;
        deliver(w, st);
        QCOMPARE(w.boxes, QStringList{box});
        QCOMPARE(completeFlags(), (QList<int>{0}));
        QVERIFY(errorLogs().isEmpty());
    }

    // Addresses that would add to the envelope or forge log lines: not one byte of them
    // reaches the server, the good members of the same batch still get their mail, and each
    // one is a single line of the error log.
    void hostileAddressesFailAloneOnOneLogLine_data()
    {
        QTest::addColumn<int>("UseUserName");
        QTest::addColumn<QList<int>>("envelopes");
        QTest::newRow("individual") << 1 << QList<int>{1, 1};
        QTest::newRow("batch") << 0 << QList<int>{2};
    }
    void hostileAddressesFailAloneOnOneLogLine()
    {
        QFETCH(int, UseUserName);
        QFETCH(QList<int>, envelopes);
        SmtpTestServer::Options o;
        o.tls = false;
        SmtpTestServer server;
        QVERIFY2(server.start(o), qPrintable(server.error()));
        Magazine m;
        m.UseUserName = UseUserName;
        setUpIssue(m, {"taro@example.com", "m2@example.jp> NOTIFY=SUCCESS ORCPT=rfc822;x@example.net",
                       "a@example.jp>,<b@example.net", "c@example.jp\r\nforged@example.net", "hanako@example.com"});
        setServers(server.port(), false, false, {}, {});
        // A check as loose as any a store may hold addresses from: the session must hold.
        TMailThread::Settings st = settings();
        st.isValidAddress = [](const QString &a) { return a.contains(u'@'); };
        Window w;
        deliver(w, st);
        QVERIFY(server.waitFor(envelopes.size()));
        QTest::qWait(200);
        const auto got = server.received();
        QList<int> sizes;
        QStringList everyone;
        for (const auto &r : got) {
            sizes += int(r.to.size());
            everyone += r.to;
        }
        QCOMPARE(sizes, envelopes);
        everyone.sort();
        QCOMPARE(everyone, (QStringList{"hanako@example.com", "taro@example.com"}));
        QCOMPARE(errorLogLines(), (QStringList{"m2@example.jp> NOTIFY=SUCCESS ORCPT=rfc822;x@example.net",
                                               "a@example.jp>,<b@example.net",
                                               "c@example.jp\\r\\nforged@example.net"}));
        QCOMPARE(completeFlags(), QList<int>(5, 1));
    }

    void errorLogLinesStayOneLine()
    {
        const QString path = TMailThread::WriteErrorLog(env->docDir(),
                                                        {QStringLiteral("a@example.jp\r\nforged"),
                                                         QStringLiteral("550 no\rmore\n"), QStringLiteral("tab\there")},
                                                        QDateTime::currentDateTime());
        QVERIFY(!path.isEmpty());
        QCOMPARE(errorLogLines(), (QStringList{"a@example.jp\\r\\nforged", "550 no\\rmore\\n", "tab\\x09here"}));
    }

    // The after-send record cannot be written once every mail has gone out: the user hears
    // of it in a box with the store's reason, and the error log says so too.
    void completionFailureIsReported()
    {
        SmtpTestServer::Options o;
        o.tls = false;
        SmtpTestServer server;
        QVERIFY2(server.start(o), qPrintable(server.error()));
        setUpIssue(Magazine(), {"taro@example.com", "hanako@example.com"});
        setServers(server.port(), false, false, {}, {});
        QSqlQuery q(Store::connection());
        QVERIFY(q.exec("create trigger refuse_completion before update on MagHist "
                       "begin select raise(abort, 'database or disk is full'); end"));
        Window w;
        deliver(w);
        // Nothing more is sent once a record has failed.
        QVERIFY(server.waitFor(1));
        QTest::qWait(200);
        QCOMPARE(server.received().size(), 1);
        QCOMPARE(w.boxes.size(), 1);
        QVERIFY2(w.boxes.first().startsWith(QStringLiteral("送信の記録を書けないため、配信を途中で止めました。")),
                 qPrintable(w.boxes.first()));
        QVERIFY(w.boxes.first().contains(QStringLiteral("database or disk is full")));
        QCOMPARE(errorLogLines().size(), 1);
        QVERIFY(errorLogLines().first().startsWith(QStringLiteral("送信の記録に失敗 database or disk is full")));
        QCOMPARE(completeFlags(), (QList<int>{0, 0}));
        QCOMPARE(updatedMembers(), 0);
        // The mail went out but its record did not: it stays "sending", which the next
        // delivery of the issue turns into unknown rather than sending it again; the member
        // never tried waits.
        QCOMPARE(states(), (QList<int>{1, 0}));
    }

    // A damaged page in the member table: the delivery stops at the row it cannot read, says
    // so in a box and in the error log, and marks as sent (and updates) only the members it
    // reached.
    void damagedMemberTableStopsTheDeliveryAndSaysSo_data()
    {
        QTest::addColumn<QString>("UpdateSQL");
        QTest::newRow("no after-send update") << QString();
        QTest::newRow("with an after-send update") << Magazine().UpdateSQL;
    }
    void damagedMemberTableStopsTheDeliveryAndSaysSo()
    {
        QFETCH(QString, UpdateSQL);
        SmtpTestServer::Options o;
        o.tls = false;
        SmtpTestServer server;
        QVERIFY2(server.start(o), qPrintable(server.error()));
        Magazine m;
        m.UseUserName = 0;
        m.UpdateSQL = UpdateSQL;
        QStringList addresses;
        for (int i = 0; i < 3000; ++i)
            addresses += QStringLiteral("member%1@example.com").arg(i, 4, 10, QLatin1Char('0'));
        setUpIssue(m, addresses);
        setServers(server.port(), false, false, {}, {});
        const QString path = Store::path();
        env->closeStore();
        QVERIFY(DamageMemberTable(path));
        env->openStore();

        Window w;
        deliver(w);
        QTest::qWait(300);
        QSet<QString> received;
        for (const auto &r : server.received())
            for (const QString &to : r.to)
                received.insert(to);
        QVERIFY2(!received.isEmpty(), "the rows before the damaged page are sent");
        QVERIFY(received.size() < addresses.size());

        QCOMPARE(w.boxes.size(), 1);
        const QString box = w.boxes.first();
        QVERIFY2(box.startsWith(QStringLiteral("データベースを読めないため、配信を途中で止めました。")), qPrintable(box));
        QVERIFY2(box.contains(QStringLiteral("malformed")), qPrintable(box));
        const QStringList log = errorLogLines();
        QVERIFY(log.size() >= 1);
        QVERIFY2(log.first().startsWith(QStringLiteral("データベースの読み込みエラーによる中断 ")), qPrintable(log.first()));

        // Marked as sent: exactly the members whose mail went out.
        QSet<QString> marked;
        Statement s;
        s.open("select MagUser from MagHist where MagIdx = 3 and MagCnt = 7 and SendComplete = 1");
        while (s.next())
            marked.insert(addresses.at(int(s.integer(0)) - 100));
        s.close();
        QCOMPARE(marked, received);
        QVERIFY(Statement().scalar("select count(*) from MagHist where SendComplete = 0") > 0);
    }

    // The recipients cannot be read at all: nothing is sent, and the user is told why.
    void unreadableRecipientsAreReported()
    {
        SmtpTestServer::Options o;
        o.tls = false;
        SmtpTestServer server;
        QVERIFY2(server.start(o), qPrintable(server.error()));
        setUpIssue(Magazine(), {"taro@example.com"});
        setServers(server.port(), false, false, {}, {});
        Statement().exec("alter table SendState rename to SendStateGone");
        Window w;
        deliver(w);
        QCOMPARE(w.boxes.size(), 1);
        QVERIFY2(w.boxes.first().startsWith(QStringLiteral("データベースを読めないため、配信できませんでした。\r\n")),
                 qPrintable(w.boxes.first()));
        QVERIFY(w.boxes.first().contains(QStringLiteral("SendState")));
        QTest::qWait(200);
        QVERIFY(server.received().isEmpty());
        QVERIFY(w.reports.isEmpty());
    }

    void earlyExitsWithoutAWord_data()
    {
        QTest::addColumn<int>("magIdx");
        QTest::addColumn<int>("magCnt");
        QTest::newRow("no magazine index") << 0 << kIssue;
        QTest::newRow("no issue number") << kMag << 0;
        QTest::newRow("no recipients") << kMag << 99;
    }
    void earlyExitsWithoutAWord()
    {
        QFETCH(int, magIdx);
        QFETCH(int, magCnt);
        setUpIssue(Magazine(), {"taro@example.com"});
        Window w;
        w.deliveries.start(magIdx, magCnt, 0, settings());
        QVERIFY(w.deliveries.waitForAll(10000));
        QVERIFY(w.boxes.isEmpty());
        QVERIFY(w.reports.isEmpty());
        QCOMPARE(w.repaints, 1);
        QCOMPARE(w.SendingCount, 0);
        QVERIFY(w.SendFinished);
        QCOMPARE(completeFlags(), (QList<int>{0}));
    }

    // A server that goes away after the first mail.
    void serverGoneAfterFirstMail()
    {
        setUpIssue(Magazine(), {addr(0), addr(1), addr(2), addr(3)});
        setServers(2525, false, false, {}, {});
        auto factory = [] {
            auto s = std::make_unique<FakeMailSocket>();
            s->serverSends("220 hi\r\n").serverSends("250 hello\r\n");
            s->serverSends("250 ok\r\n250 ok\r\n250 ok\r\n354 go\r\n250 queued\r\n");
            s->serverCloses();
            return std::unique_ptr<MailSocket>(std::move(s));
        };
        Window w;
        TMailThread::Settings st = settings(factory);
        st.connect.replyTimeoutMs = 500;
        st.retry = RetrySchedule{{1}};
        deliver(w, st);
        // The mail in hand is put off and the session cannot be reopened: the delivery
        // stops, telling why, and nobody but the first member is completed.
        QCOMPARE(completeFlags(), (QList<int>{1, 0, 0, 0}));
        QCOMPARE(states(), (QList<int>{int(SendState::Sent), int(SendState::Deferred), 0, 0}));
        QCOMPARE(w.boxes.size(), 1);
        QVERIFY2(w.boxes.first().startsWith(QStringLiteral("メールサーバーに接続できなくなったため")),
                 qPrintable(w.boxes.first()));
    }

    // Closing the program: the worker stops before its next member, logs why, and only the
    // members it reached are completed and updated.
    void stopRequestedDuringDelivery()
    {
        SmtpTestServer::Options o;
        o.tls = false;
        SmtpTestServer server;
        QVERIFY2(server.start(o), qPrintable(server.error()));
        QStringList addresses;
        for (int i = 0; i < 200; ++i)
            addresses += addr(i);
        setUpIssue(Magazine(), addresses);
        setServers(server.port(), false, false, {}, {});
        Window w;
        w.onReport = [&w](int) { w.deliveries.stopAll(); };
        deliver(w);
        QCOMPARE(errorLogLines(), QStringList{QStringLiteral("アプリケーションの終了による中断")});
        // Reached: completed and updated once; the rest untouched and waiting.
        const int reached = int(server.received().size());
        QVERIFY2(reached >= 1 && reached < 200, qPrintable(QString::number(reached)));
        QCOMPARE(sum(w.reports), reached);
        QCOMPARE(completeFlags(), QList<int>(reached, 1) + QList<int>(200 - reached, 0));
        QCOMPARE(updatedMembers(), reached);
        QCOMPARE(states(), QList<int>(reached, int(SendState::Sent)) + QList<int>(200 - reached, int(SendState::Waiting)));
    }

    void waitForAllServesTheWorkers()
    {
        SmtpTestServer::Options o;
        o.tls = false;
        SmtpTestServer server;
        QVERIFY2(server.start(o), qPrintable(server.error()));
        QStringList addresses;
        for (int i = 0; i < 200; ++i)
            addresses += addr(i);
        setUpIssue(Magazine(), addresses);
        setServers(server.port(), false, false, {}, {});
        Window w;
        w.deliveries.start(kMag, kIssue, 0, settings());
        QTRY_VERIFY(!w.reports.isEmpty());
        w.deliveries.stopAll();
        QVERIFY(w.deliveries.waitForAll(30000));
        QCOMPARE(w.deliveries.running(), 0);
        QCOMPARE(w.SendingCount, 0);
        QCOMPARE(errorLogLines().last(), QStringLiteral("アプリケーションの終了による中断"));
        QVERIFY(int(Statement().scalar("select count(*) from MagHist where SendComplete = 0")) > 0);
    }

    // Pausing stops after the mail in hand: the rest waits, a new worker for the same issue
    // sends it, and nobody gets the mail twice.
    void pauseThenResume()
    {
        SmtpSink sink;
        QVERIFY2(sink.start({}), qPrintable(sink.error()));
        QStringList addresses;
        for (int i = 0; i < 120; ++i)
            addresses += addr(i);
        setUpIssue(Magazine(), addresses);
        setServers(sink.port(), false, false, {}, {});
        Window w;
        w.onReport = [&w](int) { w.deliveries.pause(kMag, kIssue); };
        deliver(w);
        QCOMPARE(w.summaries.size(), 1);
        QCOMPARE(w.summaries[0].end, DeliveryEnd::Paused);
        const SendStateCounts paused = SendStates::counts(kMag, kIssue);
        QVERIFY(paused.sent > 0);
        QCOMPARE(paused.sent + paused.waiting, 120);
        QVERIFY(!SendLock::isHeld(kMag, kIssue));
        QCOMPARE(SendStates::resumable().size(), 1);

        w.onReport = nullptr;
        deliver(w);
        QCOMPARE(w.summaries.size(), 2);
        QCOMPARE(w.summaries[1].end, DeliveryEnd::Finished);
        QCOMPARE(w.summaries[1].counts.sent, 120);
        const QHash<QString, int> accepted = sink.acceptedCounts();
        QCOMPARE(accepted.size(), 120);
        for (int n : accepted)
            QCOMPARE(n, 1);
        QCOMPARE(updatedMembers(), 120);
    }

    // A pause while the server is still answering a mail: the answer is awaited and recorded;
    // the mail is never cut off nor left unknown, and the rest waits.
    void pauseWaitsForTheMailInFlight_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("pause") << false;
        QTest::newRow("cancel") << true;
    }
    void pauseWaitsForTheMailInFlight()
    {
        QFETCH(bool, cancel);
        SmtpSink::Options o;
        o.dataDelayMs = 1500;
        SmtpSink sink;
        QVERIFY2(sink.start(o), qPrintable(sink.error()));
        setUpIssue(Magazine(), {addr(0), addr(1), addr(2)});
        setServers(sink.port(), false, false, {}, {});
        Window w;
        w.deliveries.start(kMag, kIssue, 0, settings());
        // The first mail's text has gone and its answer is awaited.
        QTRY_COMPARE(int(Statement().scalar("select count(*) from SendState where MagIdx = 3 and MagCnt = 7 and State = 1")), 1);
        QTest::qWait(300);
        if (cancel)
            w.deliveries.cancel(kMag, kIssue);
        else
            w.deliveries.pause(kMag, kIssue);
        QVERIFY(w.deliveries.waitForAll(30000));
        QCOMPARE(sink.acceptedCounts().value(addr(0)), 1);
        const int rest = cancel ? int(SendState::Failed) : int(SendState::Waiting);
        QCOMPARE(states(), (QList<int>{int(SendState::Sent), rest, rest}));
        QCOMPARE(updatedMembers(), 1);
    }

    // An after-send update the gate refuses stops the delivery before the first mail.
    void refusedAfterSendUpdateSendsNothing()
    {
        SmtpSink sink;
        QVERIFY2(sink.start({}), qPrintable(sink.error()));
        Magazine m;
        m.UpdateSQL = QStringLiteral("set Flg1 = 1; drop table MagUser");
        setUpIssue(m, {addr(0), addr(1)});
        setServers(sink.port(), false, false, {}, {});
        Window w;
        deliver(w);
        QCOMPARE(w.boxes.size(), 1);
        QVERIFY2(w.boxes.first().contains(AfterSendUpdateRefusedText()), qPrintable(w.boxes.first()));
        QVERIFY(sink.entries().isEmpty());
        QCOMPARE(states(), (QList<int>{0, 0}));
        QCOMPARE(w.summaries.size(), 1);
        QCOMPARE(w.summaries[0].end, DeliveryEnd::NotStarted);
    }

    // A member deleted after the issue was recorded is settled as skipped, so the issue can
    // finish; nobody else is touched.
    void deletedMemberIsSettled()
    {
        SmtpSink sink;
        QVERIFY2(sink.start({}), qPrintable(sink.error()));
        setUpIssue(Magazine(), {addr(0), addr(1), addr(2)});
        setServers(sink.port(), false, false, {}, {});
        Statement().exec("delete from MagUser where MagIdx = 3 and UserIdx = 101");
        Window w;
        deliver(w);
        QCOMPARE(states(), (QList<int>{int(SendState::Sent), int(SendState::Skipped), int(SendState::Sent)}));
        QCOMPARE(Statement().scalar("select count(*) from SendState where MagUser = 101 and Reply = 'メンバー削除'"), 1);
        QCOMPARE(SendStates::issues(kMag).first().state, IssueState::Done);
        QCOMPARE(sink.acceptedCounts().size(), 2);
    }

    // Cancelling stops the same way, then the rest is failed with the reason.
    void cancelFailsTheRest()
    {
        SmtpSink sink;
        QVERIFY2(sink.start({}), qPrintable(sink.error()));
        QStringList addresses;
        for (int i = 0; i < 120; ++i)
            addresses += addr(i);
        setUpIssue(Magazine(), addresses);
        setServers(sink.port(), false, false, {}, {});
        Window w;
        w.onReport = [&w](int) { w.deliveries.cancel(kMag, kIssue); };
        deliver(w);
        QCOMPARE(w.summaries.size(), 1);
        QCOMPARE(w.summaries[0].end, DeliveryEnd::Cancelled);
        const SendStateCounts c = SendStates::counts(kMag, kIssue);
        QVERIFY(c.sent > 0 && c.failed > 0);
        QCOMPARE(c.sent + c.failed, 120);
        QCOMPARE(c.open(), 0);
        QCOMPARE(int(sink.acceptedCounts().size()), int(c.sent));
        for (const SendStateRow &row : SendStates::rows(kMag, kIssue, {SendState::Failed}))
            QCOMPARE(row.reply, QStringLiteral("配信の中止"));
        QVERIFY(SendStates::resumable().isEmpty());
    }

    // A stopped issue cancelled from the progress area: its rest fails, and the summary says so.
    void cancelStoppedIssue()
    {
        setUpIssue(Magazine(), {addr(0), addr(1)});
        Window w;
        w.deliveries.cancelStopped(kMag, kIssue);
        QCOMPARE(w.summaries.size(), 1);
        QCOMPARE(w.summaries[0].end, DeliveryEnd::Cancelled);
        QCOMPARE(w.summaries[0].counts.failed, 2);
    }

    // Another delivery holds the issue: nothing is sent and the user hears why.
    void heldIssueIsRefused()
    {
        SmtpSink sink;
        QVERIFY2(sink.start({}), qPrintable(sink.error()));
        setUpIssue(Magazine(), {addr(0), addr(1)});
        setServers(sink.port(), false, false, {}, {});
        QVERIFY(SendLock::acquire(kMag, kIssue));
        Window w;
        deliver(w);
        SendLock::release(kMag, kIssue);
        QCOMPARE(w.boxes.size(), 1);
        QVERIFY(w.boxes[0].startsWith(QStringLiteral("この号はほかの配信が送信中です。")));
        QCOMPARE(w.summaries.value(0).end, DeliveryEnd::NotStarted);
        QVERIFY(sink.entries().isEmpty());
        QCOMPARE(SendStates::counts(kMag, kIssue).waiting, 2);
    }

    // The worker never waits for the owner's thread: with that thread stuck in the first
    // progress slot, the whole delivery is sent and recorded; what was reported meanwhile
    // then comes in one report, before the summary.
    void workerNeverWaitsForTheOwner()
    {
        SmtpSink sink;
        QVERIFY2(sink.start({}), qPrintable(sink.error()));
        QStringList addresses;
        for (int i = 0; i < 200; ++i)
            addresses += addr(i);
        setUpIssue(Magazine(), addresses);
        setServers(sink.port(), false, false, {}, {});
        Window w;
        bool doneWhileStuck = false;
        w.onReport = [&](int) {
            if (w.reports.size() > 1)
                return;
            QDeadlineTimer deadline(60000);
            while (!deadline.hasExpired() && (sink.acceptedCounts().size() < 200 || SendLock::isHeld(kMag, kIssue)))
                QThread::msleep(20);
            doneWhileStuck = !SendLock::isHeld(kMag, kIssue);
        };
        int reportedAtSummary = -1;
        connect(&w.deliveries, &DeliveryManager::Summary, &w, [&] { reportedAtSummary = sum(w.reports); });
        deliver(w);
        QVERIFY(doneWhileStuck);
        QCOMPARE(w.reports.size(), 2);
        QCOMPARE(sum(w.reports), 200);
        QCOMPARE(reportedAtSummary, 200);
        QCOMPARE(SendStates::counts(kMag, kIssue).sent, 200);
    }

    // A slot that runs an event loop of its own (an error box) has returned before the
    // worker's next signal comes out: the summary follows the box, the end follows both.
    void signalsComeOutOneAfterTheOther()
    {
        setUpIssue(Magazine(), {addr(0), addr(1)});
        setServers(FreeLoopbackPort(), false, false, {}, {});
        Window w;
        QStringList events;
        connect(&w.deliveries, &DeliveryManager::ErrorBox, &w, [&] {
            events << QStringLiteral("box");
            QTest::qWait(300);
            events << QStringLiteral("box closed");
        });
        connect(&w.deliveries, &DeliveryManager::Summary, &w, [&] { events << QStringLiteral("summary"); });
        connect(&w.deliveries, &DeliveryManager::Ended, &w, [&] { events << QStringLiteral("ended"); });
        deliver(w);
        QCOMPARE(events, (QStringList{"box", "box closed", "summary", "ended"}));
        QCOMPARE(w.summaries.value(0).end, DeliveryEnd::NotStarted);
    }

    // Waiting for the workers: false once the time is over while one still runs, true as
    // soon as the last one has ended, without waiting out the time.
    void waitForAllTimesOutOrReturnsOnTheEnd()
    {
        SmtpSink sink;
        QVERIFY2(sink.start({}), qPrintable(sink.error()));
        setUpIssue(Magazine(), {addr(0), addr(1), addr(2)});
        setServers(sink.port(), false, false, {}, {});
        DeliverySettings paced;
        paced.pacing.perMinute = 1;  // a minute between mails: the delivery waits after the first
        SendSettings::save(paced);
        Window w;
        QVERIFY(w.deliveries.waitForAll(0));
        w.deliveries.start(kMag, kIssue, 3, settings());
        QVERIFY(sink.waitForAccepted(1, 20000));
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!w.deliveries.waitForAll(300));
        QVERIFY(timer.elapsed() >= 250);
        QCOMPARE(w.deliveries.running(), 1);
        QCOMPARE(w.SendingCount, 1);

        w.deliveries.stopAll();
        timer.restart();
        QVERIFY(w.deliveries.waitForAll(50000));
        QVERIFY2(timer.elapsed() < 40000, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(w.deliveries.running(), 0);
        QCOMPARE(w.SendingCount, 0);
        QCOMPARE(w.summaries.value(0).end, DeliveryEnd::Paused);
        QCOMPARE(SendStates::counts(kMag, kIssue).sent, 1);
    }

    // The window's bar over a real delivery with deferred and skipped recipients: never
    // above the whole on the way, and 100 % with the summary, exactly when it has ended.
    void progressReachesTheWholeAtTheEnd()
    {
        SmtpSink sink;
        QVERIFY2(sink.start({.deferTenth = true, .reject = {}}), qPrintable(sink.error()));
        QStringList addresses;
        for (int i = 0; i < 58; ++i)
            addresses += addr(i);
        addresses << QStringLiteral("not an address") << QStringLiteral("neither");
        setUpIssue(Magazine(), addresses);
        setServers(sink.port(), false, false, {}, {});
        Window w;
        DeliveryProgress progress(w.deliveries);
        int highest = 0;
        connect(&progress, &DeliveryProgress::changed, &w, [&] {
            if (progress.SendingCount() > 0 && progress.state() == DeliveryProgress::State::Running)
                highest = std::max(highest, progress.SentCount());
        });
        QList<int> atSummary;
        connect(&w.deliveries, &DeliveryManager::Summary, &w,
                [&] { atSummary = {progress.SentCount(), progress.SendTotal()}; });
        TMailThread::Settings st = settings();
        st.retry = RetrySchedule{{1}};
        w.deliveries.start(kMag, kIssue, 60, st);
        QVERIFY(w.deliveries.waitForAll(60000));
        QVERIFY(highest > 0);
        QVERIFY2(highest < 60, qPrintable(QString::number(highest)));
        QCOMPARE(atSummary, (QList<int>{60, 60}));
        const SendStateCounts c = SendStates::counts(kMag, kIssue);
        QCOMPARE(c.sent, 58);
        QCOMPARE(c.skipped, 2);
        QVERIFY(!sink.entries().isEmpty());
        bool deferred = false;
        for (const SmtpSink::Entry &e : sink.entries())
            deferred = deferred || e.kind == QStringLiteral("deferred");
        QVERIFY(deferred);
    }
};

QTEST_MAIN(TestMailWorker)
#include "tst_mail_worker.moc"
