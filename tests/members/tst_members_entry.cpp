// A member and a magazine as their dialogs enter them, without a dialog: the records they
// start from, the checks of OK in their order, and the saves that number new rows. Then the
// dialogs over those records: a save that fails keeps the dialog open, and a dialog
// without a save writes nothing.
#include "fakes/TestEnv.h"
#include "members/ui/FMagzineDlg.h"
#include "members/ui/FUserDlg.h"
#include "members/MagazineEntry.h"
#include "members/MemberEntry.h"
#include "members/UMemberOrder.h"
#include "store/BackupScript.h"
#include "store/Database.h"
#include "widgets/MessageBox.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QtTest>

class TestMembersEntry : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;

    static qint64 scalar(const QString &sql) { return Statement().scalar(sql); }
    static QString today() { return QDate::currentDate().toString("yyyyMMdd"); }
    static MagazineRecord magazine(const QString &name)
    {
        MagazineRecord m = MagazineEntry::blank();
        m.name = name;
        m.owner = "発行者";
        m.adrs = "owner@example.jp";
        return m;
    }

private Q_SLOTS:
    void init()
    {
        env = std::make_unique<TestEnv>();
        env->openStore();
        MessageBox::takeShown();
    }
    void cleanup() { env.reset(); }

    void blankMember()
    {
        const MemberRecord m = MemberEntry::blank(4);
        QCOMPARE(m.magIdx, 4);
        QCOMPARE(m.userIdx, -1);
        QVERIFY(m.name.isEmpty() && m.address.isEmpty() && m.url.isEmpty() && m.addDate.isEmpty());
        QVERIFY(!m.sleep);
        QCOMPARE(m.flags, (std::array<bool, 3>{}));
        QCOMPARE(m.counts, (std::array<qint64, 2>{}));
        QCOMPARE(m.date1.value_or("<null>"), today());
        QCOMPARE(m.date2.value_or("<null>"), today());
    }

    void addressProblem_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("message");
        QTest::newRow("plain") << "taro@example.jp" << "";
        QTest::newRow("empty") << "" << "メールアドレスが未入力です。";
        QTest::newRow("blank only") << " " << "メールアドレスが間違っています。確認してください。";
        QTest::newRow("no domain dot") << "taro@localhost" << "メールアドレスが間違っています。確認してください。";
        QTest::newRow("full-width at") << "taro＠example.jp" << "メールアドレスが間違っています。確認してください。";
        QTest::newRow("two addresses") << "a@x.jp,b@x.jp" << "メールアドレスが間違っています。確認してください。";
    }
    void addressProblem()
    {
        QFETCH(QString, address);
        QFETCH(QString, message);
        QCOMPARE(MemberEntry::addressProblem(address), message);
    }

    void memberSaveNumbersPerMagazine()
    {
        MemberRecord a = MemberEntry::blank(1);
        a.address = "a@x.jp";
        MemberEntry::save(a);
        QCOMPARE(a.userIdx, 1);
        QCOMPARE(a.addDate, today());
        MemberRecord other = MemberEntry::blank(2);
        other.address = "a@x.jp";
        MemberEntry::save(other);
        QCOMPARE(other.userIdx, 1);
        // The highest index plus one, even with lower ones free.
        Statement().exec("update MagUser set UserIdx = 7 where MagIdx = 1");
        MemberRecord b = MemberEntry::blank(1);
        b.address = "b@x.jp";
        MemberEntry::save(b);
        QCOMPARE(b.userIdx, 8);
        QVERIFY(MemberEntry::addressTaken(b));
        MemberRecord c = MemberEntry::blank(3);
        c.address = "b@x.jp";
        QVERIFY(!MemberEntry::addressTaken(c));

        // An edit keeps the stored sign-up date whatever the record says.
        Statement().exec("update MagUser set AddDate = '20200101' where MagIdx = 1 and UserIdx = 8");
        MemberRecord edited = MemberEntry::stored(1, 8);
        QCOMPARE(edited.addDate, QString("20200101"));
        edited.name = "変えた";
        edited.addDate = "20991231";
        MemberEntry::save(edited);
        QCOMPARE(edited.userIdx, 8);
        const MemberRecord again = MemberEntry::stored(1, 8);
        QCOMPARE(again.name, QString("変えた"));
        QCOMPARE(again.addDate, QString("20200101"));
        QCOMPARE(scalar("select count(*) from MagUser"), 3);
    }

    void storedMemberGone()
    {
        // A member deleted meanwhile opens blank under its indexes; saving it writes no row.
        MemberRecord m = MemberEntry::stored(1, 5);
        QCOMPARE(m.magIdx, 1);
        QCOMPARE(m.userIdx, 5);
        QVERIFY(m.address.isEmpty());
        QCOMPARE(m.date1.value_or("<null>"), today());
        m.address = "x@x.jp";
        MemberEntry::save(m);
        QCOMPARE(scalar("select count(*) from MagUser"), 0);
    }

    void missingEntry_data()
    {
        QTest::addColumn<int>("emptied");  // 0 name, 1 owner, 2 address, 3.. field names
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("field");
        QTest::newRow("none") << -1 << "" << -1;
        QTest::newRow("name") << 0 << "マガジン名が未入力です。" << 0;
        QTest::newRow("owner") << 1 << "発行者名が未入力です。" << 1;
        QTest::newRow("address") << 2 << "メールアドレスが未入力です。" << 2;
        QTest::newRow("flag 1") << 3 << "フラグ１名称が未入力です。" << 3;
        QTest::newRow("counter 2 full-width") << 7 << "数字２名称が未入力です。" << 7;
        QTest::newRow("date 2") << 9 << "日付２名称が未入力です。" << 9;
    }
    void missingEntry()
    {
        QFETCH(int, emptied);
        QFETCH(QString, message);
        QFETCH(int, field);
        MagazineRecord m = magazine("週刊");
        // Everything after the emptied entry is empty too: only the first one is named.
        if (emptied >= 0) {
            for (int i = emptied; i < 10; ++i) {
                if (i == 0) m.name.clear();
                else if (i == 1) m.owner.clear();
                else if (i == 2) m.adrs.clear();
                else m.fieldNames[size_t(i - 3)].clear();
            }
        }
        m.atena.clear();  // never required
        const MagazineEntry::Problem p = MagazineEntry::missingEntry(m);
        QCOMPARE(p.message, message);
        QCOMPARE(p.field, field);
    }

    void magazineSaveAndNames()
    {
        MagazineRecord a = magazine("A");
        QVERIFY(MagazineEntry::nameProblem(a).isEmpty());
        MagazineEntry::save(a);
        QCOMPARE(a.magIdx, 1);
        QCOMPARE(MemberOrder::load(1).value_or(""), MemberOrder::defaultText());
        MagazineRecord b = magazine("B");
        MagazineEntry::save(b);
        QCOMPARE(b.magIdx, 2);

        // A name another magazine has is taken; a magazine's own name is not.
        MagazineRecord renamed = MagazineEntry::stored(1);
        QVERIFY(MagazineEntry::nameProblem(renamed).isEmpty());
        renamed.name = "B";
        QCOMPARE(MagazineEntry::nameProblem(renamed), QString("同じ名前のマガジン名がすでに存在します。"));
        QCOMPARE(MagazineEntry::nameProblem(magazine("B")), QString("同じ名前のマガジン名がすでに存在します。"));

        // An edit leaves the display settings as they are.
        MemberOrder::save(1, "A:1,");
        renamed.name = "C";
        MagazineEntry::save(renamed);
        QCOMPARE(renamed.magIdx, 1);
        QCOMPARE(MagazineEntry::stored(1).name, QString("C"));
        QCOMPARE(MemberOrder::load(1).value_or(""), QString("A:1,"));
        QCOMPARE(scalar("select count(*) from Magzine"), 2);
    }

    // A member whose row a backup could not carry is refused, naming the longest field;
    // one character less is saved.
    void lengthProblem_data()
    {
        QTest::addColumn<int>("field"); // 0 name, 1 address, 2 url
        QTest::addColumn<int>("over");
        QTest::addColumn<QString>("named");
        QTest::newRow("name fits") << 0 << 0 << QString();
        QTest::newRow("name one over") << 0 << 1 << "名前";
        QTest::newRow("url one over") << 2 << 1 << "url";
        QTest::newRow("address one over") << 1 << 1 << "アドレス";
    }
    void lengthProblem()
    {
        QFETCH(int, field);
        QFETCH(int, over);
        QFETCH(QString, named);
        MemberRecord m = MemberEntry::blank(1);
        m.name = "n";
        m.address = "a@x.jp";
        m.url = "u";
        QString *text = field == 0 ? &m.name : field == 1 ? &m.address : &m.url;
        const qsizetype room = kLongestBackupStatement - BackupScript::rowStatementLength("MagUser", MemberSql::columnValues(m));
        *text += QString(room + over, QLatin1Char('x'));
        const QString problem = MemberEntry::lengthProblem(m);
        if (named.isEmpty()) {
            QCOMPARE(problem, QString());
            return;
        }
        QVERIFY2(problem.startsWith("「" + named + "」が長すぎます"), qPrintable(problem.left(200)));
    }

    // The dialog refuses such a member before saving, and stays open.
    void dialogRefusesMemberTooLongForBackup()
    {
        TUserDlg member;
        member.setRecord(MemberEntry::blank(1));
        int saves = 0;
        member.setSave([&saves](MemberRecord &) { ++saves; });
        member.show();
        member.addressEdit->setText("a@x.jp");
        member.nameEdit->setText(QString(kLongestBackupStatement, QLatin1Char('n')));
        member.Button1Click();
        QCOMPARE(saves, 0);
        QVERIFY(member.isVisible());
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].text.startsWith("「名前」が長すぎます"), qPrintable(shown[0].text));
    }

    void failedSaveKeepsDialogOpen()
    {
        TUserDlg member;
        member.setRecord(MemberEntry::blank(1));
        int tries = 0;
        member.setSave([&tries](MemberRecord &) {
            ++tries;
            throw StoreError("database is locked");
        });
        member.show();
        member.addressEdit->setText("a@x.jp");
        member.Button1Click();
        QCOMPARE(tries, 1);
        QVERIFY(member.isVisible());
        QCOMPARE(member.UserIdx(), -1);
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].text, QString("database is locked"));

        TMagzineDlg mag(env->dataDir());
        mag.setSave([](MagazineRecord &) { throw StoreError("disk I/O error"); });
        mag.show();
        mag.nameEdit->setText("週刊");
        mag.ownerEdit->setText("発行者");
        mag.addressEdit->setText("a@b.jp");
        mag.Button1Click();
        QVERIFY(mag.isVisible());
        QCOMPARE(mag.MagIdx(), -1);
        QCOMPARE(MessageBox::takeShown().size(), 1);
        QCOMPARE(scalar("select count(*) from Magzine"), 0);
    }

    void dialogsReturnTheirRecords()
    {
        // Without a save, OK checks and gives the record back; nothing is written.
        MemberRecord start = MemberEntry::blank(2);
        start.name = "山田";
        start.address = "yamada@example.jp";
        TUserDlg member;
        member.setRecord(start);
        member.show();
        QCOMPARE(member.nameEdit->text(), QString("山田"));
        member.sleepCheck->setChecked(true);
        member.Button1Click();
        QCOMPARE(member.result(), int(QDialog::Accepted));
        const MemberRecord out = member.record();
        QCOMPARE(out.magIdx, 2);
        QCOMPARE(out.address, QString("yamada@example.jp"));
        QVERIFY(out.sleep);
        QCOMPARE(out.date1.value_or("<null>"), today());
        QCOMPARE(member.SleepValue(), 1);

        TMagzineDlg mag(env->dataDir());
        mag.setRecord(magazine("週刊"));
        mag.show();
        QVERIFY(!mag.EditMode());
        QCOMPARE(mag.count2NameEdit->text(), QString("数字2"));
        mag.Button1Click();
        QCOMPARE(mag.result(), int(QDialog::Accepted));
        QCOMPARE(mag.record().name, QString("週刊"));
        QCOMPARE(scalar("select count(*) from MagUser"), 0);
        QCOMPARE(scalar("select count(*) from Magzine"), 0);
        QVERIFY(MessageBox::takeShown().isEmpty());
    }
};

QTEST_MAIN(TestMembersEntry)
#include "tst_members_entry.moc"
