// 接続情報: filling from the rows, enabling rules, validation, the settings it hands back and
// how they are saved, and the test mail with its protocol log against aiosmtpd and scripted
// servers.
#include "fakes/FakeMailSocket.h"
#include "fakes/MailServers.h"
#include "fakes/TestEnv.h"
#include "mail/ui/FConnDlg.h"
#include "store/Database.h"
#include "store/SendSettings.h"
#include "store/ServerSettings.h"
#include "widgets/MessageBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QRegularExpression>
#include <QtTest>

namespace {

QStringList rows()
{
    QStringList out;
    Statement s;
    s.open("select key1,key2,int1,int2,int3,str1,str2,str3 from CommonTBL order by key1,key2");
    while (s.next()) {
        QStringList r;
        for (int i = 0; i < 8; ++i)
            r += s.isNull(i) ? QStringLiteral("NULL") : s.value(i).toString();
        out += r.join(u'|');
    }
    return out;
}

void check(QCheckBox *box, bool on)
{
    box->setChecked(on);
}

// OK, then the save the main window does with what the dialog hands back.
void confirm(TConnDlg &dlg)
{
    dlg.Button1Click();
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    ServerSettings::save(dlg.settings());
}

// A socket handed to the dialog that leaves the scripted one with the test.
class SharedSocket : public MailSocket
{
public:
    explicit SharedSocket(std::shared_ptr<FakeMailSocket> fake) : m_fake(std::move(fake)) {}
    using MailSocket::connectToHost;
    using MailSocket::startTls;
    bool connectToHost(const QString &host, quint16 port, int timeoutMs, const TlsOptions &tls) override
    {
        return m_fake->connectToHost(host, port, timeoutMs, tls);
    }
    bool readLine(QByteArray *line, int timeoutMs) override { return m_fake->readLine(line, timeoutMs); }
    bool readRaw(QByteArray *bytes, qint64 maxBytes, bool toLineEnd, int timeoutMs) override
    {
        return m_fake->readRaw(bytes, maxBytes, toLineEnd, timeoutMs);
    }
    bool write(const QByteArray &bytes, int timeoutMs) override { return m_fake->write(bytes, timeoutMs); }
    bool startTls(int timeoutMs, const TlsOptions &tls) override { return m_fake->startTls(timeoutMs, tls); }
    TlsReport tlsReport() const override { return m_fake->tlsReport(); }
    void close() override { m_fake->close(); }
    bool isConnected() const override { return m_fake->isConnected(); }
    QString errorString() const override { return m_fake->errorString(); }

private:
    std::shared_ptr<FakeMailSocket> m_fake;
};

ServerSettings::Stored stored()
{
    ServerSettings::Stored rows;
    ServerSettings::load(&rows);
    return rows;
}

} // namespace

class TestMailConnDlg : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestEnv> env;

    std::unique_ptr<TConnDlg> open()
    {
        auto dlg = std::make_unique<TConnDlg>(ConnInfo());
        dlg->FormShow();
        return dlg;
    }

private Q_SLOTS:
    void init()
    {
        env = std::make_unique<TestEnv>();
        env->openStore();
    }
    void cleanup() { env.reset(); }

    void firstConfirmationInsertsBothRows()
    {
        auto dlg = open();
        QVERIFY(!stored().smtp);
        QVERIFY(!stored().pop);
        QCOMPARE(dlg->NumberSpin2->value(), 1);  // never below 1
        dlg->Edit4->setText("smtp.example.jp");
        dlg->NumberSpin2->setValue(587);
        check(dlg->CheckBox2, true);
        dlg->CheckBox2Click();
        dlg->Edit5->setText("taro");
        dlg->Edit6->setText("pa'ss\"word");
        dlg->Button1Click();
        QCOMPARE(dlg->result(), int(QDialog::Accepted));
        QVERIFY(rows().isEmpty());  // the dialog writes nothing itself
        const ServerSettings entered = dlg->settings();
        QCOMPARE(entered.SmtpHost, QStringLiteral("smtp.example.jp"));
        QCOMPARE(entered.SmtpPort, 587);
        QVERIFY(entered.SmtpAuth);
        QVERIFY(!entered.PopBeforeSmtp);
        ServerSettings::save(entered);
        QCOMPARE(rows(), (QStringList{"100|1|587|1|0|smtp.example.jp|taro|pa'ss\"word", "100|2|0|0|0|NULL|NULL|NULL",
                                      "100|3|0|0|0|NULL|NULL|NULL"}));
        QVERIFY(MessageBox::takeShown().isEmpty());

        auto again = open();
        QVERIFY(stored().smtp);
        QVERIFY(stored().pop);
        QCOMPARE(again->Edit6->text(), QStringLiteral("pa'ss\"word"));
        QCOMPARE(again->NumberSpin2->value(), 587);
        QVERIFY(again->CheckBox2->isChecked());
        QCOMPARE(LoadConnInfo().SmtpPassword, QStringLiteral("pa'ss\"word"));
    }

    void popRowOnThenOff()
    {
        auto dlg = open();
        dlg->Edit4->setText("smtp.example.jp");
        check(dlg->CheckBox1, true);
        dlg->CheckBox1Click();
        dlg->Edit1->setText("pop.example.jp");
        dlg->NumberSpin1->setValue(110);
        dlg->Edit2->setText("hanako");
        dlg->Edit3->setText("it's");
        confirm(*dlg);
        QCOMPARE(rows().at(1), QStringLiteral("100|2|110|1|0|pop.example.jp|hanako|it's"));
        const ConnInfo info = LoadConnInfo();
        QVERIFY(info.PopBeforeSmtp);
        QCOMPARE(info.PopPort, 110);

        auto again = open();
        QVERIFY(again->Edit1->isEnabled());
        check(again->CheckBox1, false);
        again->CheckBox1Click();
        confirm(*again);
        QCOMPARE(rows(), (QStringList{"100|1|1|0|0|smtp.example.jp||", "100|2|0|0|0|NULL|NULL|NULL",
                                      "100|3|0|0|0|NULL|NULL|NULL"}));
    }

    void enablingRules()
    {
        {
            Statement s;
            s.exec("insert into CommonTBL values(100,1,25,0,1,'smtp.example.jp','u','p')");
        }
        auto dlg = open();
        // Authentication off, SSL on: STARTTLS never applied to such a row, so the choice
        // shows what applies, and saving it keeps that.
        QCOMPARE(dlg->ComboBox1->currentIndex(), int(SmtpSecurity::None));
        QVERIFY(dlg->ComboBox1->isEnabled());
        QVERIFY(!dlg->CheckBox4->isEnabled());
        QVERIFY(!dlg->Edit5->isEnabled());
        QVERIFY(!dlg->Label9->isEnabled());
        QVERIFY(!dlg->Edit1->isEnabled());
        QVERIFY(!dlg->NumberSpin1->isEnabled());
        QVERIFY(!dlg->Label6->isEnabled());
        check(dlg->CheckBox2, true);
        dlg->CheckBox2Click();
        QVERIFY(dlg->Edit6->isEnabled());
        check(dlg->CheckBox2, false);
        dlg->CheckBox2Click();
        confirm(*dlg);
        QCOMPARE(rows().first(), QStringLiteral("100|1|25|0|0|smtp.example.jp|u|p"));
        QCOMPARE(rows().last(), QStringLiteral("100|3|0|0|0|NULL|NULL|NULL"));
        QCOMPARE(LoadConnInfo().smtpSecurity(), SmtpSecurity::None);
        QVERIFY(dlg->Edit7->text().isEmpty());
        QCOMPARE(dlg->Edit6->echoMode(), QLineEdit::Password);
        QVERIFY(!dlg->Edit4->testAttribute(Qt::WA_InputMethodEnabled));
    }

    // The connection's security as the dialog shows it for rows old and new, and what it
    // saves: the security row, and the SSL flag kept in step for builds that know only it.
    void securityChoice_data()
    {
        QTest::addColumn<QStringList>("inserts");
        QTest::addColumn<int>("shown");
        QTest::addColumn<bool>("verifyShown");
        QTest::addColumn<int>("chosen");
        QTest::addColumn<bool>("verify");
        QTest::addColumn<QStringList>("saved");
        const QString authSsl = "insert into CommonTBL values(100,1,587,1,1,'smtp.example.jp','u','p')";
        QTest::newRow("old row: auth and ssl, kept")
            << QStringList{authSsl} << int(SmtpSecurity::StartTls) << false << int(SmtpSecurity::StartTls) << false
            << QStringList{"100|1|587|1|1|smtp.example.jp|u|p", "100|3|1|0|0|NULL|NULL|NULL"};
        QTest::newRow("old row: auth without ssl")
            << QStringList{"insert into CommonTBL values(100,1,587,1,0,'smtp.example.jp','u','p')"} << int(SmtpSecurity::None)
            << false << int(SmtpSecurity::None) << false
            << QStringList{"100|1|587|1|0|smtp.example.jp|u|p", "100|3|0|0|0|NULL|NULL|NULL"};
        QTest::newRow("to SMTPS, verified")
            << QStringList{authSsl} << int(SmtpSecurity::StartTls) << false << int(SmtpSecurity::Implicit) << true
            << QStringList{"100|1|465|1|1|smtp.example.jp|u|p", "100|3|2|1|0|NULL|NULL|NULL"};
        QTest::newRow("stored SMTPS, verified")
            << QStringList{authSsl, "insert into CommonTBL values(100,3,2,1,0,NULL,NULL,NULL)"} << int(SmtpSecurity::Implicit)
            << true << int(SmtpSecurity::Implicit) << true
            << QStringList{"100|1|587|1|1|smtp.example.jp|u|p", "100|3|2|1|0|NULL|NULL|NULL"};
        QTest::newRow("to none") << QStringList{authSsl, "insert into CommonTBL values(100,3,1,1,0,NULL,NULL,NULL)"}
                                 << int(SmtpSecurity::StartTls) << true << int(SmtpSecurity::None) << true
                                 << QStringList{"100|1|587|1|0|smtp.example.jp|u|p", "100|3|0|1|0|NULL|NULL|NULL"};
    }
    void securityChoice()
    {
        QFETCH(QStringList, inserts);
        QFETCH(int, shown);
        QFETCH(bool, verifyShown);
        QFETCH(int, chosen);
        QFETCH(bool, verify);
        QFETCH(QStringList, saved);
        for (const QString &insert : inserts) {
            Statement s;
            s.exec(insert);
        }
        auto dlg = open();
        QCOMPARE(dlg->ComboBox1->currentIndex(), shown);
        QCOMPARE(dlg->CheckBox4->isChecked(), verifyShown);
        QCOMPARE(dlg->CheckBox4->isEnabled(), shown != int(SmtpSecurity::None));
        if (chosen != shown) {
            dlg->ComboBox1->setCurrentIndex(chosen);
            dlg->ComboBox1Change();
        }
        QCOMPARE(dlg->CheckBox4->isEnabled(), chosen != int(SmtpSecurity::None));
        check(dlg->CheckBox4, verify);
        confirm(*dlg);
        QStringList got = rows();
        got.removeAt(1);  // the POP row
        QCOMPARE(got, saved);
        const ServerSettings back = LoadConnInfo();
        QCOMPARE(int(back.smtpSecurity()), chosen);
        QCOMPARE(back.VerifyCertificate, verify);
    }

    // Whatever the fields hold is stored as it is, a NUL (pasted in) included.
    void anyTextIsSavedAsTyped()
    {
        const QString odd = QString::fromUtf16(u"pa\u0000ss'\"\r\n", 9);
        auto dlg = open();
        dlg->Edit4->setText("smtp.example.jp");
        check(dlg->CheckBox2, true);
        dlg->Edit5->setText(odd);
        dlg->Edit6->setText(odd);
        QCOMPARE(dlg->Edit6->text(), odd);
        confirm(*dlg);
        auto again = open();
        QCOMPARE(again->Edit5->text(), odd);
        QCOMPARE(again->Edit6->text(), odd);
    }

    // A row that is not stored leaves its fields as the main window's copy filled them.
    void missingRowKeepsTheCopy()
    {
        Statement().exec("insert into CommonTBL values(100,1,25,1,0,'smtp.example.jp','u','p')");
        ConnInfo copy;
        copy.SmtpHost = "copy.example.jp";
        copy.PopBeforeSmtp = true;
        copy.PopHost = "pop.example.jp";
        copy.PopPort = 995;
        TConnDlg dlg(copy);
        dlg.FormShow();
        QCOMPARE(dlg.Edit4->text(), QStringLiteral("smtp.example.jp"));
        QCOMPARE(dlg.NumberSpin2->value(), 25);
        QVERIFY(dlg.CheckBox1->isChecked());
        QVERIFY(dlg.Edit1->isEnabled());
        QCOMPARE(dlg.Edit1->text(), QStringLiteral("pop.example.jp"));
        QCOMPARE(dlg.NumberSpin1->value(), 995);
    }

    void validation_data()
    {
        QTest::addColumn<bool>("pop");
        QTest::addColumn<bool>("auth");
        QTest::addColumn<QStringList>("filled");  // edits given a value
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("focus");
        QTest::newRow("pop user") << true << false << QStringList{"Edit1", "Edit3"} << "ユーザ名を入力してください" << "Edit2";
        QTest::newRow("pop password") << true << false << QStringList{"Edit1", "Edit2"} << "パスワードを入力してください" << "Edit3";
        QTest::newRow("pop server") << true << false << QStringList{"Edit2", "Edit3"} << "POPサーバを入力してください" << "Edit1";
        QTest::newRow("smtp user") << false << true << QStringList{"Edit6"} << "ユーザ名を入力してください" << "Edit5";
        QTest::newRow("smtp password") << false << true << QStringList{"Edit5"} << "パスワードを入力してください" << "Edit6";
        QTest::newRow("pop checked first") << true << true << QStringList{"Edit2", "Edit3"} << "POPサーバを入力してください" << "Edit1";
    }
    void validation()
    {
        QFETCH(bool, pop);
        QFETCH(bool, auth);
        QFETCH(QStringList, filled);
        QFETCH(QString, message);
        QFETCH(QString, focus);
        auto dlg = open();
        dlg->show();
        check(dlg->CheckBox1, pop);
        check(dlg->CheckBox2, auth);
        dlg->CheckBox1Click();
        dlg->CheckBox2Click();
        for (const QString &name : filled)
            dlg->findChild<QLineEdit *>(name)->setText("x");
        dlg->Button1Click();
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().kind, MessageBox::Kind::Warning);
        QCOMPARE(shown.first().text, message);
        QCOMPARE(dlg->focusWidget()->objectName(), focus);
        QVERIFY(dlg->isVisible());
        QCOMPARE(dlg->result(), int(QDialog::Rejected));
        QVERIFY(rows().isEmpty());
    }

    // The delivery settings: the stored ones fill the fields, and what is entered comes back
    // from the dialog to be saved, a pause in whole seconds.
    void deliverySettingsRoundTrip()
    {
        DeliverySettings stored;
        stored.retry.delaysSeconds = {30, 600, 7200};
        stored.pacing = {10, 500, 100, 1500};
        SendSettings::save(stored);
        auto dlg = open();
        QCOMPARE(dlg->Edit8->text(), QString("30s,10m,2h"));
        QCOMPARE(dlg->NumberSpin3->value(), 10);
        QCOMPARE(dlg->NumberSpin4->value(), 500);
        QCOMPARE(dlg->NumberSpin5->value(), 100);
        QCOMPARE(dlg->NumberSpin6->value(), 2);  // 1.5 s, rounded up
        QCOMPARE(dlg->NumberSpin3->text(), QString("10"));
        dlg->NumberSpin3->setValue(0);
        QCOMPARE(dlg->NumberSpin3->text(), QString("制限なし"));
        dlg->Edit8->setText(" 5s,1h ");
        dlg->NumberSpin6->setValue(0);
        dlg->Button1Click();
        QCOMPARE(dlg->result(), int(QDialog::Accepted));
        QCOMPARE(MessageBox::takeShown().size(), 0);
        SendSettings::save(dlg->deliverySettings());
        DeliverySettings expected;
        expected.retry.delaysSeconds = {5, 3600};
        expected.pacing = {0, 500, 100, 0};
        QCOMPARE(SendSettings::load(), expected);
    }

    void refusedRetrySchedule_data()
    {
        QTest::addColumn<QString>("schedule");
        QTest::newRow("empty") << "";
        QTest::newRow("word") << "そのうち";
        QTest::newRow("zero") << "0s,1m";
        QTest::newRow("over a day") << "1m,25h";
        QTest::newRow("unknown unit") << "5d";
    }
    void refusedRetrySchedule()
    {
        QFETCH(QString, schedule);
        auto dlg = open();
        dlg->show();
        dlg->Edit8->setText(schedule);
        dlg->Button1Click();
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().kind, MessageBox::Kind::Warning);
        QCOMPARE(shown.first().text, TConnDlg::retryScheduleWarning());
        QCOMPARE(dlg->focusWidget(), dlg->Edit8);
        QCOMPARE(dlg->result(), int(QDialog::Rejected));
    }

    void testMailOverStartTlsThenWithoutAuth()
    {
        SmtpTestServer server;
        QVERIFY2(server.start(), qPrintable(server.error()));
        auto dlg = open();
        dlg->Edit4->setText("127.0.0.1");
        dlg->NumberSpin2->setValue(server.port());
        check(dlg->CheckBox2, true);
        dlg->ComboBox1->setCurrentIndex(int(SmtpSecurity::StartTls));
        dlg->Edit5->setText("user@example.jp");
        dlg->Edit6->setText("pass'word");
        dlg->Edit7->setText("tester@example.jp");
        dlg->Button3Click();
        // Over TLS the box also tells whether the certificate verified, against which name.
        const QString shown = MessageBox::takeShown().first().text;
        QVERIFY2(shown.startsWith(QStringLiteral("メールを送信しました。確認してください\n"
                                                 "サーバの証明書は検証できませんでした（名前: 127.0.0.1）: ")),
                 qPrintable(shown));
        QVERIFY(shown.contains(QStringLiteral("自己署名の証明書です")));
        QVERIFY(shown.contains(QStringLiteral("証明書の名前がサーバ名と一致しません")));
        const QStringList log = dlg->ProtocolLog;
        QCOMPARE(dlg->Memo1->toPlainText(), log.join(u'\n'));
        QVERIFY(log.first().startsWith("220 "));
        QVERIFY(log.contains("STARTTLS"));
        QVERIFY(log.contains("AUTH LOGIN"));
        QVERIFY(log.contains(QString::fromLatin1(QByteArray("user@example.jp").toBase64())));
        QVERIFY(log.contains("QUIT"));
        QVERIFY(!log.join(QString()).contains(u'\r'));
        QVERIFY(server.waitFor(1));
        const auto got = server.received();
        QVERIFY(got.first().tls);
        QCOMPARE(got.first().authUser, QStringLiteral("user@example.jp"));
        QCOMPARE(got.first().from, QStringLiteral("tester@example.jp"));
        QCOMPARE(got.first().to, QStringList{"tester@example.jp"});
        const QJsonObject mail = ReadMail(got.first().path);
        QCOMPARE(mail["subject"].toString(), QStringLiteral("ツバメ便送信テスト"));
        QCOMPARE(mail["body"].toString(), QStringLiteral("テストメールを送信しました\r\n"));
        QCOMPARE(mail["from_name"].toString(), QStringLiteral("tester@example.jp"));
        QCOMPARE(mail["raw"].toObject()["To"].toString(), QStringLiteral("tester@example.jp"));
        // A Message-ID at the sender's domain, as every delivery mail has.
        QVERIFY(QRegularExpression(QStringLiteral("^<[A-Za-z0-9.]+@example\\.jp>$"))
                    .match(mail["default"].toObject()["Message-ID"].toString())
                    .hasMatch());
        QVERIFY(rows().isEmpty());  // the test does not save anything

        check(dlg->CheckBox2, false);
        dlg->ComboBox1->setCurrentIndex(int(SmtpSecurity::None));
        dlg->Button3Click();
        QCOMPARE(MessageBox::takeShown().first().text, QStringLiteral("メールを送信しました。確認してください"));
        QVERIFY(!dlg->ProtocolLog.contains("AUTH LOGIN"));
        QVERIFY(!dlg->ProtocolLog.contains("STARTTLS"));
        QVERIFY(server.waitFor(2));
        QVERIFY(!server.received().at(1).tls);
    }

    void testMailRefusals_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("focus");
        QTest::newRow("no server") << "" << "a@example.jp" << "SMTPサーバをセットしてください" << "Edit4";
        QTest::newRow("no address") << "smtp.example.jp" << "" << "メールアドレスをセットしてください" << "Edit7";
    }
    void testMailRefusals()
    {
        QFETCH(QString, server);
        QFETCH(QString, address);
        QFETCH(QString, message);
        QFETCH(QString, focus);
        auto dlg = open();
        int connects = 0;
        dlg->SocketFactory = [&connects] {
            ++connects;
            return std::unique_ptr<MailSocket>(new FakeMailSocket);
        };
        dlg->Edit4->setText(server);
        dlg->Edit7->setText(address);
        dlg->Button3Click();
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().text, message);
        QCOMPARE(dlg->focusWidget()->objectName(), focus);
        QCOMPARE(connects, 0);
    }

    void testMailFailures_data()
    {
        QTest::addColumn<bool>("pop");
        QTest::addColumn<QList<QByteArray>>("script");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("log");
        QTest::newRow("pop refused")
            << true << QList<QByteArray>{"+OK hi\r\n", "-ERR no\r\n", "+OK\r\n", "-ERR [AUTH] Authentication failed.\r\n"}
            << "POPサーバの接続に失敗しました -ERR [AUTH] Authentication failed." << QStringList();
        QTest::newRow("starttls refused")
            << false << QList<QByteArray>{"220 hi\r\n", "250-x\r\n250 STARTTLS\r\n", "454 TLS not available\r\n"}
            << "送信テストに失敗しました Start SSL negotiation command failed."
            << QStringList{"220 hi", "EHLO " , "250-x250 STARTTLS", "STARTTLS", "454 TLS not available"};
        QTest::newRow("recipient refused")
            << false << QList<QByteArray>{"220 hi\r\n", "250 x\r\n", "250 ok\r\n", "250 ok\r\n", "550 no such user\r\n", "250 ok\r\n"}
            << "送信テストに失敗しました 550 no such user"
            << QStringList{"220 hi", "EHLO ", "250 x", "RSET", "250 ok", "MAIL FROM: <a@example.jp>", "250 ok",
                           "RCPT TO:<a@example.jp>", "550 no such user", "RSET", "250 ok"};
    }
    void testMailFailures()
    {
        QFETCH(bool, pop);
        QFETCH(QList<QByteArray>, script);
        QFETCH(QString, message);
        QFETCH(QStringList, log);
        auto dlg = open();
        dlg->SocketFactory = [script] {
            auto s = std::make_unique<FakeMailSocket>();
            for (const QByteArray &c : script)
                s->serverSends(c);
            return std::unique_ptr<MailSocket>(std::move(s));
        };
        dlg->Edit4->setText("smtp.example.jp");
        check(dlg->CheckBox1, pop);
        dlg->Edit1->setText("pop.example.jp");
        check(dlg->CheckBox2, true);
        dlg->ComboBox1->setCurrentIndex(int(SmtpSecurity::StartTls));
        dlg->Edit5->setText("u");
        dlg->Edit7->setText("a@example.jp");
        dlg->Button3Click();
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().kind, MessageBox::Kind::Warning);
        QCOMPARE(shown.first().text, message);
        QStringList got = dlg->ProtocolLog;
        for (QString &l : got)
            if (l.startsWith("EHLO "))
                l = "EHLO ";
        QCOMPARE(got, log);
        QCOMPARE(dlg->Memo1->toPlainText(), dlg->ProtocolLog.join(u'\n'));
    }

    // The test mail over TLS from the first byte against a self-signed certificate: with
    // "証明書を検証する" it is refused and the box names the fault; without, it is sent and
    // the box says the certificate did not verify, against which name.
    void testMailOverSmtpsAndTheCertificate_data()
    {
        QTest::addColumn<bool>("verify");
        QTest::addColumn<QString>("message");
        QTest::newRow("verified") << true
                                  << "送信テストに失敗しました サーバの証明書を検証できません（名前: localhost）: 自己署名の証明書です";
        QTest::newRow("not verified") << false
                                      << "メールを送信しました。確認してください\nサーバの証明書は検証できませんでした"
                                         "（名前: localhost）: 自己署名の証明書です";
    }
    void testMailOverSmtpsAndTheCertificate()
    {
        QFETCH(bool, verify);
        QFETCH(QString, message);
        SmtpTestServer::Options o;
        o.implicitTls = true;
        o.mechanisms = QStringList{QStringLiteral("PLAIN")};
        SmtpTestServer server;
        QVERIFY2(server.start(o), qPrintable(server.error()));
        auto dlg = open();
        dlg->Edit4->setText("localhost");
        dlg->ComboBox1->setCurrentIndex(int(SmtpSecurity::Implicit));
        dlg->ComboBox1Change();
        QCOMPARE(dlg->NumberSpin2->value(), 1);  // a port of one's own stays
        dlg->NumberSpin2->setValue(server.port());
        check(dlg->CheckBox4, verify);
        check(dlg->CheckBox2, true);
        dlg->Edit5->setText(o.user);
        dlg->Edit6->setText(o.password);
        dlg->Edit7->setText("tester@example.jp");
        dlg->Button3Click();
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().text, message);
        if (verify) {
            QCOMPARE(shown.first().kind, MessageBox::Kind::Warning);
            QTest::qWait(300);
            QVERIFY(server.received().isEmpty());
            return;
        }
        QVERIFY(dlg->ProtocolLog.first().startsWith("220 "));
        const QByteArray plain = QByteArray(1, '\0') + o.user.toUtf8() + QByteArray(1, '\0') + o.password.toUtf8();
        QVERIFY(dlg->ProtocolLog.contains("AUTH PLAIN " + QString::fromLatin1(plain.toBase64())));
        QVERIFY(server.waitFor(1));
        QVERIFY(server.received().first().tls);
        QCOMPARE(server.received().first().authUser, o.user);
    }

    // A certificate that verified: the box names the server it was checked against, and the
    // connection was made as chosen.
    void testMailReportsTheVerifiedName()
    {
        auto dlg = open();
        auto fake = std::make_shared<FakeMailSocket>();
        fake->serverSends("220 hi\r\n").serverSends("250 x\r\n");
        for (const char *reply : {"250 ok\r\n", "250 ok\r\n", "250 ok\r\n", "354 go\r\n", "250 queued\r\n", "221 bye\r\n"})
            fake->serverSends(reply);
        // The dialog owns and drops its socket; this one outlives the test mail.
        dlg->SocketFactory = [fake] { return std::unique_ptr<MailSocket>(new SharedSocket(fake)); };
        dlg->Edit4->setText("smtp.example.jp");
        dlg->ComboBox1->setCurrentIndex(int(SmtpSecurity::Implicit));
        dlg->ComboBox1Change();
        check(dlg->CheckBox4, true);
        dlg->Edit7->setText("a@example.jp");
        dlg->Button3Click();
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().text, QStringLiteral("メールを送信しました。確認してください\n"
                                                    "サーバの証明書を検証しました（名前: smtp.example.jp）"));
        QVERIFY(fake->lastTls.implicit);
        QVERIFY(fake->lastTls.verify);
        QVERIFY(fake->written.startsWith("[TLS]EHLO "));
    }

    void silentServerTimesOut()
    {
        SilentServer silent;
        auto dlg = open();
        dlg->TimeoutMs = 1000;
        dlg->Edit4->setText("127.0.0.1");
        dlg->NumberSpin2->setValue(silent.port());
        dlg->Edit7->setText("a@example.jp");
        QElapsedTimer t;
        t.start();
        dlg->Button3Click();
        QVERIFY(t.elapsed() >= 900);
        QCOMPARE(MessageBox::takeShown().first().text,
                 QStringLiteral("送信テストに失敗しました ") + MailSocketText::readTimedOut());
    }
};

QTEST_MAIN(TestMailConnDlg)
#include "tst_mail_conndlg.moc"
