// Addresses typed into the member dialog or read from an imported file: only one plain
// address is taken, so nothing stored can later add a recipient, a header or an envelope
// parameter to a mail. An address refused by the dialog keeps the dialog open with nothing
// stored; one refused by the import is logged and its line not imported.
#include "fakes/TestEnv.h"
#include "maintenance/UCsv.h"
#include "maintenance/UImport.h"
#include "maintenance/UTextLines.h"
#include "members/ui/FUserDlg.h"
#include "members/MemberEntry.h"
#include "store/Codec.h"
#include "store/Database.h"
#include "widgets/MessageBox.h"

#include <QBuffer>
#include <QLineEdit>
#include <QtTest>

class TestMembersAddressEntry : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;

    static qint64 scalar(const QString &sql) { return Statement().scalar(sql); }
    static QString storedAddress()
    {
        Statement s;
        s.open("select UserAdrs from MagUser");
        return s.next() ? s.text(0) : QString("<none>");
    }

    static void table()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("accepted");
        // A CSV line ends at CR or LF, so an address holding one cannot come from a file.
        QTest::addColumn<bool>("fitsOneLine");
        QTest::newRow("plain") << "taro@example.jp" << true << true;
        QTest::newRow("plus, dot, hyphen, underscore, subdomains")
            << "taro.yamada+news_2024-01@mail.sub.example.co.jp" << true << true;
        QTest::newRow("upper case") << "TARO@EXAMPLE.JP" << true << true;
        QTest::newRow("apostrophe") << "o'brien@example.jp" << true << true;
        QTest::newRow("mobile with dots") << "taro..yamada.@docomo.ne.jp" << true << true;
        QTest::newRow("rcpt parameters") << "m2@example.jp> NOTIFY=SUCCESS ORCPT=rfc822;x@example.net" << false
                                         << true;
        QTest::newRow("two addresses in brackets") << "a@example.jp>,<b@example.net" << false << true;
        QTest::newRow("two addresses") << "a@example.jp,b@example.net" << false << true;
        QTest::newRow("name and brackets") << "Taro <taro@example.jp>" << false << true;
        QTest::newRow("blank inside") << "taro yamada@example.jp" << false << true;
        QTest::newRow("trailing blank") << "taro@example.jp " << false << true;
        QTest::newRow("empty local part") << "@example.jp" << false << true;
        QTest::newRow("two @") << "a@b@example.jp" << false << true;
        QTest::newRow("tab") << "taro\t@example.jp" << false << true;
        QTest::newRow("NUL") << QString("taro@example.jp") + QChar(0) + "x@example.net" << false << true;
        QTest::newRow("escape") << "taro\x1b@example.jp" << false << true;
        QTest::newRow("quoted local part") << "\"taro yamada\"@example.jp" << false << true;
        QTest::newRow("half-width katakana") << "ﾀﾛｳ@example.jp" << false << true;
        QTest::newRow("CR LF and a header") << "taro@example.jp\r\nBcc: x@example.net" << false << false;
        QTest::newRow("trailing LF") << "taro@example.jp\n" << false << false;
    }

private Q_SLOTS:
    void init()
    {
        env = std::make_unique<TestEnv>();
        env->openStore();
        MessageBox::takeShown();
    }
    void cleanup() { env.reset(); }

    void dialog_data() { table(); }
    void dialog()
    {
        QFETCH(QString, address);
        QFETCH(bool, accepted);
        TUserDlg dlg;
        dlg.setRecord(MemberEntry::blank(1));
        dlg.setSave(MemberEntry::save);
        dlg.FormShow();
        dlg.nameEdit->setText("太郎");
        dlg.addressEdit->setText(address);
        QCOMPARE(dlg.addressEdit->text(), address);
        dlg.Button1Click();
        const auto shown = MessageBox::takeShown();
        if (accepted) {
            QVERIFY(shown.isEmpty());
            QCOMPARE(dlg.result(), int(QDialog::Accepted));
            QCOMPARE(storedAddress(), address);
        } else {
            QCOMPARE(shown.size(), 1);
            QCOMPARE(shown[0].text, QString("メールアドレスが間違っています。確認してください。"));
            QCOMPARE(dlg.result(), int(QDialog::Rejected));
            QCOMPARE(scalar("select count(*) from MagUser"), 0);
        }
    }

    void import_data() { table(); }
    void import()
    {
        QFETCH(QString, address);
        QFETCH(bool, accepted);
        QFETCH(bool, fitsOneLine);
        if (!fitsOneLine)
            return;
        const QString line = "太郎," + CsvQuote(address);
        QCOMPARE(SplitCsvLine(line), QStringList({"太郎", address}));
        QByteArray data = Codec::toCp932(line + "\r\n");
        QBuffer in(&data);
        QVERIFY(in.open(QIODevice::ReadOnly));
        TextLineReader reader(in);
        QByteArray logBytes;
        QBuffer log(&logBytes);
        QVERIFY(log.open(QIODevice::WriteOnly));
        ImportSettings settings;
        settings.order = {0, 1};
        settings.heading = false;
        const ImportOutcome out = MemberImport(1, settings, QDate(2024, 6, 1)).run(reader, &log, {});
        QVERIFY2(!out.stopped, qPrintable(out.error));
        if (accepted) {
            QCOMPARE(out.inserted, 1);
            QCOMPARE(storedAddress(), address);
            QVERIFY(logBytes.isEmpty());
        } else {
            QCOMPARE(out.rejected, 1);
            QCOMPARE(out.inserted, 0);
            QCOMPARE(scalar("select count(*) from MagUser"), 0);
            QVERIFY(logBytes.startsWith("line 1  "));
        }
    }
};

QTEST_MAIN(TestMembersAddressEntry)
#include "tst_members_address_entry.moc"
