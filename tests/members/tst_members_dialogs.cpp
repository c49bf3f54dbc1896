// The magazine, member and display-settings dialogs against a private store: checks in
// their order, duplicates, identifiers, ranges, and awkward text stored unchanged.
#include "fakes/StoreFixture.h"
#include "fakes/TestEnv.h"
#include "members/ui/FDispOptDlg.h"
#include "members/ui/FMagMailDlg.h"
#include "members/ui/FMagzineDlg.h"
#include "members/ui/FUserDlg.h"
#include "members/MagazineEntry.h"
#include "members/MemberEntry.h"
#include "members/UMemberOrder.h"
#include "store/PreparedStatement.h"
#include "store/Database.h"
#include "store/Folders.h"
#include "store/MagazineMailSettings.h"
#include "widgets/MessageBox.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QSpinBox>
#include <QtTest>

#include <climits>

class TestMembersDialogs : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;

    static QString warnings()
    {
        QStringList out;
        for (const auto &s : MessageBox::takeShown())
            out << s.text;
        return out.join('|');
    }
    static qint64 scalar(const QString &sql) { return Statement().scalar(sql); }
    static QString text(const QString &sql)
    {
        Statement s;
        s.open(sql);
        return s.next() ? (s.isNull(0) ? QString("<null>") : s.text(0)) : QString("<none>");
    }
    // Adds a magazine through the dialog with its defaults.
    static int addMagazine(const QString &name, const QString &owner = "発行者", const QString &adrs = "a@b.jp")
    {
        TMagzineDlg dlg(Folders_dataDir());
        dlg.setSave(MagazineEntry::save);
        dlg.FormShow();
        dlg.nameEdit->setText(name);
        dlg.ownerEdit->setText(owner);
        dlg.addressEdit->setText(adrs);
        dlg.Button1Click();
        return dlg.result() == QDialog::Accepted ? dlg.MagIdx() : -1;
    }
    static QString Folders_dataDir();
    static int addMember(int magIdx, const QString &address, const QString &name = QString())
    {
        TUserDlg dlg;
        dlg.setRecord(MemberEntry::blank(magIdx));
        dlg.setSave(MemberEntry::save);
        dlg.FormShow();
        dlg.nameEdit->setText(name);
        dlg.addressEdit->setText(address);
        dlg.Button1Click();
        return dlg.result() == QDialog::Accepted ? dlg.UserIdx() : -1;
    }

private Q_SLOTS:
    void init()
    {
        env = std::make_unique<TestEnv>();
        env->openStore();
        MessageBox::takeShown();
    }
    void cleanup() { env.reset(); }

    void magazineChecksInOrder_data()
    {
        QTest::addColumn<int>("emptied");
        QTest::addColumn<QString>("message");
        QTest::newRow("name") << 1 << "マガジン名が未入力です。";
        QTest::newRow("owner") << 2 << "発行者名が未入力です。";
        QTest::newRow("address") << 3 << "メールアドレスが未入力です。";
        QTest::newRow("flag 1") << 5 << "フラグ１名称が未入力です。";
        QTest::newRow("flag 2") << 6 << "フラグ２名称が未入力です。";
        QTest::newRow("flag 3") << 7 << "フラグ３名称が未入力です。";
        QTest::newRow("counter 1") << 8 << "数字１名称が未入力です。";
        QTest::newRow("counter 2 full-width") << 9 << "数字２名称が未入力です。";
        QTest::newRow("date 1") << 10 << "日付１名称が未入力です。";
        QTest::newRow("date 2") << 11 << "日付２名称が未入力です。";
    }
    void magazineChecksInOrder()
    {
        QFETCH(int, emptied);
        QFETCH(QString, message);
        TMagzineDlg dlg(env->dataDir());
        dlg.setSave(MagazineEntry::save);
        dlg.show();
        dlg.nameEdit->setText("週刊");
        dlg.ownerEdit->setText("発行者");
        dlg.addressEdit->setText("a@b.jp");
        // Everything after the emptied field is empty too: only the first failing check speaks.
        QLineEdit *edits[] = {dlg.nameEdit,       dlg.ownerEdit,     dlg.addressEdit,   dlg.salutationEdit,
                              dlg.flag1NameEdit,  dlg.flag2NameEdit, dlg.flag3NameEdit, dlg.count1NameEdit,
                              dlg.count2NameEdit, dlg.date1NameEdit, dlg.date2NameEdit};
        for (int i = emptied; i <= 11; ++i)
            if (i != 4)
                edits[i - 1]->clear();
        dlg.Button1Click();
        QCOMPARE(warnings(), message);
        QVERIFY(dlg.isVisible());
        QTRY_COMPARE(QApplication::focusWidget(), edits[emptied - 1]);
        QCOMPARE(scalar("select count(*) from Magzine"), 0);
    }

    void magazineAddDefaults()
    {
        TMagzineDlg dlg(env->dataDir());
        dlg.setSave(MagazineEntry::save);
        dlg.FormShow();
        QVERIFY(!dlg.EditMode());
        QCOMPARE(dlg.count2NameEdit->text(), QString("数字2"));
        QCOMPARE(dlg.signatureCombo->currentText(), QString());
        QCOMPARE(addMagazine("週刊ツバメ"), 1);
        QCOMPARE(addMagazine("月刊ツバメ"), 2);
        QCOMPARE(text("select Count2Name from Magzine where MagIdx = 1"), QString("数字2"));
        QCOMPARE(text("select Sign from Magzine where MagIdx = 1"), QString("<null>"));
        QCOMPARE(scalar("select UseUserName from Magzine where MagIdx = 1"), 0);
        QCOMPARE(MemberOrder::load(2).value_or(""), MemberOrder::defaultText());
        QVERIFY(warnings().isEmpty());
    }

    void magazineDuplicateNameRefused()
    {
        QCOMPARE(addMagazine("A"), 1);
        QCOMPARE(addMagazine("B"), 2);
        QCOMPARE(addMagazine("B"), -1);
        QCOMPARE(warnings(), QString("同じ名前のマガジン名がすでに存在します。"));
        QCOMPARE(scalar("select count(*) from Magzine"), 2);

        // Renaming A to B is refused the same way, and nothing changes.
        TMagzineDlg dlg(env->dataDir());
        dlg.setSave(MagazineEntry::save);
        dlg.setRecord(MagazineEntry::stored(1));
        dlg.show();
        QVERIFY(dlg.EditMode());
        QCOMPARE(dlg.nameEdit->text(), QString("A"));
        dlg.nameEdit->setText("B");
        dlg.ownerEdit->setText("変えた");
        dlg.Button1Click();
        QCOMPARE(warnings(), QString("同じ名前のマガジン名がすでに存在します。"));
        QVERIFY(dlg.isVisible());
        QCOMPARE(text("select MagName || '/' || Owner from Magzine where MagIdx = 1"), QString("A/発行者"));
        QCOMPARE(text("select MagName || '/' || Owner from Magzine where MagIdx = 2"), QString("B/発行者"));

        // A fresh name renames A's own row; keeping its own name is no duplicate either.
        dlg.nameEdit->setText("C");
        dlg.Button1Click();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(text("select MagName || '/' || Owner from Magzine where MagIdx = 1"), QString("C/変えた"));
        QCOMPARE(text("select MagName || '/' || Owner from Magzine where MagIdx = 2"), QString("B/発行者"));
        TMagzineDlg same(env->dataDir());
        same.setSave(MagazineEntry::save);
        same.setRecord(MagazineEntry::stored(2));
        same.FormShow();
        same.Button1Click();
        QCOMPARE(same.result(), int(QDialog::Accepted));
        QVERIFY(warnings().isEmpty());
    }

    void magazineEditFindsItsOwnRow()
    {
        // Two magazines of one name (a store written before renames were checked): the
        // dialog edits the one it was opened for.
        QCOMPARE(addMagazine("週刊"), 1);
        QCOMPARE(addMagazine("月刊", "二番目", "b@c.jp"), 2);
        Statement().exec("update Magzine set MagName = '週刊' where MagIdx = 2");
        TMagzineDlg dlg(env->dataDir());
        dlg.setSave(MagazineEntry::save);
        dlg.setRecord(MagazineEntry::stored(2));
        dlg.nameEdit->setText("週刊");
        dlg.FormShow();
        QCOMPARE(dlg.MagIdx(), 2);
        QCOMPARE(dlg.ownerEdit->text(), QString("二番目"));
        dlg.nameEdit->setText("月刊");
        dlg.salutationEdit->setText("読者各位");
        dlg.Button1Click();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(text("select MagName || '/' || Atena from Magzine where MagIdx = 2"), QString("月刊/読者各位"));
        QCOMPARE(text("select MagName || '/' || Atena from Magzine where MagIdx = 1"), QString("週刊/"));
    }

    void magazineAwkwardTextStoredUnchanged_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("single quote") << "O'Reilly's";
        QTest::newRow("double quote") << "The \"Best\" 便";
        QTest::newRow("both and semicolon") << "a'; drop table MagUser; --\"";
        QTest::newRow("circled, wave, emoji") << "①〜😀 ツバメ";
        QTest::newRow("column name") << "MagName";
    }
    void magazineAwkwardTextStoredUnchanged()
    {
        QFETCH(QString, name);
        QCOMPARE(addMagazine("先にある"), 1);
        QCOMPARE(addMagazine(name, name, name), 2);
        QCOMPARE(text("select MagName from Magzine where MagIdx = 2"), name);
        QCOMPARE(text("select Owner from Magzine where MagIdx = 2"), name);
        // The duplicate check finds exactly this magazine.
        QCOMPARE(addMagazine(name), -1);
        TMagzineDlg dlg(env->dataDir());
        dlg.setSave(MagazineEntry::save);
        dlg.setRecord(MagazineEntry::stored(2));
        dlg.FormShow();
        QCOMPARE(dlg.nameEdit->text(), name);
        QCOMPARE(dlg.MagIdx(), 2);
        QCOMPARE(dlg.ownerEdit->text(), name);
        dlg.flag1NameEdit->setText(name);
        dlg.Button1Click();
        QCOMPARE(text("select Flg1Name from Magzine where MagIdx = 2"), name);
        QCOMPARE(text("select MagName from Magzine where MagIdx = 1"), QString("先にある"));
        QCOMPARE(scalar("select count(*) from Magzine"), 2);
    }

    void magazineMissingSignatureSavesNull()
    {
        QDir().mkpath(env->dataDir() + "sign");
        QFile f(env->dataDir() + "sign/a.txt");
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        QCOMPARE(addMagazine("週刊"), 1);
        Statement().exec("update Magzine set Sign = 'gone.txt' where MagIdx = 1");
        TMagzineDlg dlg(env->dataDir());
        dlg.setSave(MagazineEntry::save);
        dlg.setRecord(MagazineEntry::stored(1));
        dlg.FormShow();
        QCOMPARE(dlg.signatureCombo->currentText(), QString());
        QVERIFY(dlg.signatureCombo->findText("a.txt") > 0);
        dlg.Button1Click();
        QCOMPARE(text("select Sign from Magzine where MagIdx = 1"), QString("<null>"));
        // Choosing a file stores its name.
        TMagzineDlg again(env->dataDir());
        again.setSave(MagazineEntry::save);
        again.setRecord(MagazineEntry::stored(1));
        again.FormShow();
        again.signatureCombo->setCurrentIndex(again.signatureCombo->findText("a.txt"));
        again.Button1Click();
        QCOMPARE(text("select Sign from Magzine where MagIdx = 1"), QString("a.txt"));
    }

    void memberAddressChecks_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty") << "" << "メールアドレスが未入力です。";
        QTest::newRow("no domain dot") << "taro@localhost" << "メールアドレスが間違っています。確認してください。";
        QTest::newRow("full-width domain") << "taro@ｅｘａｍｐｌｅ．ｊｐ" << "メールアドレスが間違っています。確認してください。";
        QTest::newRow("hiragana local part") << "たろう@example.jp" << "メールアドレスが間違っています。確認してください。";
        QTest::newRow("emoji") << "taro😀@example.jp" << "メールアドレスが間違っています。確認してください。";
    }
    void memberAddressChecks()
    {
        QFETCH(QString, address);
        QFETCH(QString, message);
        TUserDlg dlg;
        dlg.setSave(MemberEntry::save);
        dlg.setRecord(MemberEntry::blank(1));
        dlg.show();
        dlg.nameEdit->setText("太郎");
        dlg.addressEdit->setText(address);
        dlg.Button1Click();
        QCOMPARE(warnings(), message);
        QVERIFY(dlg.isVisible());
        QCOMPARE(dlg.nameEdit->text(), QString("太郎"));
        QCOMPARE(scalar("select count(*) from MagUser"), 0);
    }

    void memberUserIdxPerMagazine()
    {
        QCOMPARE(addMember(1, "a@x.jp"), 1);
        QCOMPARE(addMember(1, "b@x.jp"), 2);
        QCOMPARE(addMember(2, "c@x.jp"), 1);
        Statement().exec("delete from MagUser where MagIdx = 1 and UserIdx = 1");
        Statement().exec("update MagUser set UserIdx = 9 where MagIdx = 1 and UserIdx = 2");
        QCOMPARE(addMember(1, "d@x.jp"), 10);
        QCOMPARE(addMember(2, "e@x.jp"), 2);
        QCOMPARE(text("select AddDate from MagUser where MagIdx = 1 and UserIdx = 10"),
                 QDate::currentDate().toString("yyyyMMdd"));
    }

    void memberDuplicateAddressAsks()
    {
        QCOMPARE(addMember(1, "a@x.jp"), 1);
        QCOMPARE(addMember(2, "a@x.jp"), 1);  // another magazine is not looked at
        QVERIFY(warnings().isEmpty());

        TUserDlg dlg;
        dlg.setSave(MemberEntry::save);
        dlg.setRecord(MemberEntry::blank(1));
        dlg.show();
        dlg.nameEdit->setText("二人目");
        dlg.addressEdit->setText("a@x.jp");
        MessageBox::queueAnswer(MessageBox::Answer::No);
        dlg.Button1Click();
        QCOMPARE(warnings(), QString("同じメールアドレスが登録されています。追加しますか？"));
        QVERIFY(dlg.isVisible());
        QCOMPARE(dlg.nameEdit->text(), QString("二人目"));
        QCOMPARE(scalar("select count(*) from MagUser where MagIdx = 1"), 1);
        MessageBox::queueAnswer(MessageBox::Answer::Cancel);
        dlg.Button1Click();
        QCOMPARE(scalar("select count(*) from MagUser where MagIdx = 1"), 1);
        MessageBox::queueAnswer(MessageBox::Answer::Yes);
        dlg.Button1Click();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(dlg.UserIdx(), 2);
        QCOMPARE(scalar("select count(*) from MagUser where MagIdx = 1"), 2);
    }

    void memberAwkwardTextStoredUnchanged()
    {
        const QString name = "O'Brien \"ボブ\" ①〜😀; delete from MagUser";
        const QString url = "http://x.jp/?a='1'&b=\"2\"";
        TUserDlg dlg;
        dlg.setSave(MemberEntry::save);
        dlg.setRecord(MemberEntry::blank(3));
        dlg.FormShow();
        dlg.nameEdit->setText(name);
        dlg.addressEdit->setText("o'brien@x.jp");
        dlg.urlEdit->setText(url);
        dlg.sleepCheck->setChecked(true);
        dlg.flag2Check->setChecked(true);
        dlg.count1Spin->setValue(1234567);
        dlg.date1Picker->setDate(QDate(2024, 2, 29));
        dlg.Button1Click();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(dlg.SleepValue(), 1);
        const auto m = MemberSql::load(3, dlg.UserIdx());
        QVERIFY(m);
        QCOMPARE(m->name, name);
        QCOMPARE(m->address, QString("o'brien@x.jp"));
        QCOMPARE(m->url, url);
        QVERIFY(m->sleep);
        QCOMPARE(m->flags, (std::array<bool, 3>{false, true, false}));
        QCOMPARE(m->counts[0], 1234567);
        QCOMPARE(m->date1.value_or(""), QString("20240229"));
        QCOMPARE(m->date2.value_or(""), QDate::currentDate().toString("yyyyMMdd"));

        // Read back into the dialog and saved again without a change: nothing moves.
        TUserDlg edit;
        edit.setSave(MemberEntry::save);
        edit.setRecord(MemberEntry::stored(3, dlg.UserIdx()));
        edit.FormShow();
        QCOMPARE(edit.nameEdit->text(), name);
        QCOMPARE(edit.date1Picker->date(), QDate(2024, 2, 29));
        edit.Button1Click();
        QCOMPARE(edit.result(), int(QDialog::Accepted));
        const auto again = MemberSql::load(3, dlg.UserIdx());
        QCOMPARE(again->name, name);
        QCOMPARE(again->addDate, m->addDate);
        QCOMPARE(scalar("select count(*) from MagUser"), 1);
    }

    void memberRowTextSavedExactly_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("NUL") << QString("山田") + QChar(0) + "太郎";
        QTest::newRow("NUL only") << QString(QChar(0));
        QTest::newRow("controls") << "a\x01\x1b[31m\t\x7f\x0b\x0cz";
        QTest::newRow("CR LF and lone CR") << "一\r\n二\r三\n";
        QTest::newRow("quotes") << "'\"'; delete from MagUser; --\"";
        QTest::newRow("line separators") << QString::fromUtf8("a\u2028b\u2029c\u0085d");
        QTest::newRow("longer than a line edit's default") << QString(40000, QChar(0x3042));
    }
    void memberRowTextSavedExactly()
    {
        // Whatever an import or a restore can put into a member row, an edit that changes
        // nothing stores back unchanged.
        QFETCH(QString, value);
        StoreFixture::insert("MagUser", {{"MagIdx", 1},
                                         {"UserIdx", 1},
                                         {"UserName", value},
                                         {"UserAdrs", "a@x.jp"},
                                         {"url", value},
                                         {"UserDate1", value},
                                         {"AddDate", value}});
        TUserDlg dlg;
        dlg.setSave(MemberEntry::save);
        dlg.setRecord(MemberEntry::stored(1, 1));
        dlg.show();
        QCOMPARE(dlg.nameEdit->text(), value);
        dlg.Button1Click();
        QCOMPARE(warnings(), QString());
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        const auto m = MemberSql::load(1, 1);
        QVERIFY(m);
        QCOMPARE(m->name, value);
        QCOMPARE(m->url, value);
        QCOMPARE(m->date1.value_or("<null>"), value);
        QCOMPARE(m->addDate, value);
        QCOMPARE(dlg.AddDate(), value);

        // A new member with such text is stored exactly too.
        TUserDlg add;
        add.setSave(MemberEntry::save);
        add.setRecord(MemberEntry::blank(1));
        add.FormShow();
        add.nameEdit->setText(value);
        add.addressEdit->setText("b@x.jp");
        add.urlEdit->setText(value);
        add.Button1Click();
        QCOMPARE(add.result(), int(QDialog::Accepted));
        const auto added = MemberSql::load(1, add.UserIdx());
        QVERIFY(added);
        QCOMPARE(added->name, value);
        QCOMPARE(added->url, value);
    }

    void memberCountersClamped_data()
    {
        QTest::addColumn<qint64>("stored");
        QTest::addColumn<int>("shown");
        QTest::newRow("negative") << qint64(-5) << 0;
        QTest::newRow("above int range") << qint64(5000000000) << INT_MAX;
        QTest::newRow("in range") << qint64(42) << 42;
    }
    void memberCountersClamped()
    {
        QFETCH(qint64, stored);
        QFETCH(int, shown);
        StoreFixture::insert("MagUser",
                             {{"MagIdx", 1}, {"UserIdx", 1}, {"UserAdrs", "a@x.jp"}, {"Count1", stored}, {"Count2", 0}});
        TUserDlg dlg;
        dlg.setSave(MemberEntry::save);
        dlg.setRecord(MemberEntry::stored(1, 1));
        dlg.FormShow();
        QCOMPARE(dlg.count1Spin->value(), shown);
        dlg.Button1Click();
        QCOMPARE(scalar("select Count1 from MagUser where UserIdx = 1"), qint64(shown));
    }

    void memberBadStoredDateKept_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("null") << QString() << " ";
        QTest::newRow("empty") << "" << " ";
        QTest::newRow("slashes") << "2024/01/05" << "2024/01/05";
        QTest::newRow("no such day") << "20240231" << "20240231";
        QTest::newRow("japanese") << "令和六年" << "令和六年";
    }
    void memberBadStoredDateKept()
    {
        QFETCH(QString, stored);
        QFETCH(QString, shown);
        StoreFixture::insert("MagUser", {{"MagIdx", 1},
                                         {"UserIdx", 1},
                                         {"UserAdrs", "a@x.jp"},
                                         {"UserDate1", stored.isNull() ? QVariant() : TextValue(stored)},
                                         {"UserDate2", "20240105"}});
        TUserDlg dlg;
        dlg.setSave(MemberEntry::save);
        dlg.setRecord(MemberEntry::stored(1, 1));
        dlg.show();
        QCOMPARE(dlg.date1Picker->text(), shown);
        QCOMPARE(dlg.date2Picker->date(), QDate(2024, 1, 5));
        dlg.Button1Click();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(text("select UserDate1 from MagUser where UserIdx = 1"), stored.isNull() ? "<null>" : stored);
        // Picking a day replaces the stored text.
        TUserDlg again;
        again.setSave(MemberEntry::save);
        again.setRecord(MemberEntry::stored(1, 1));
        again.show();
        again.date1Picker->setDate(QDate(2025, 7, 1));
        again.Button1Click();
        QCOMPARE(text("select UserDate1 from MagUser where UserIdx = 1"), QString("20250701"));
    }

    void memberPaste_data()
    {
        QTest::addColumn<QString>("clip");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("url");
        QTest::newRow("http url") << "http://x.jp/a@b.jp" << "元の名前" << "old@x.jp" << "http://x.jp/a@b.jp";
        QTest::newRow("https goes to the parser") << "https://x.jp/" << "https://x.jp/" << "old@x.jp" << "";
        QTest::newRow("address in brackets") << "山田 <y@x.jp>" << "元の名前" << "y@x.jp" << "";
    }
    void memberPaste()
    {
        QFETCH(QString, clip);
        QFETCH(QString, name);
        QFETCH(QString, address);
        QFETCH(QString, url);
        TUserDlg dlg;
        dlg.setSave(MemberEntry::save);
        dlg.nameEdit->setText("元の名前");
        dlg.addressEdit->setText("old@x.jp");
        QApplication::clipboard()->setText(clip);
        dlg.Paste1Click();
        QCOMPARE(dlg.nameEdit->text(), name);
        QCOMPARE(dlg.addressEdit->text(), address);
        QCOMPARE(dlg.urlEdit->text(), url);
    }

    void dispOptReadsAndWrites()
    {
        const std::array<QString, 7> names{"会員", "会員", "フラグ３", "数字１", "数字2", "日付１", "日付２"};
        TDispOptDlg fresh(5, names);
        fresh.FormShow();
        QCOMPARE(fresh.fieldList->count(), 11);
        for (int i = 0; i < 11; ++i)
            QCOMPARE(fresh.fieldList->item(i)->checkState(), Qt::Checked);

        MemberOrder::save(5, "A:1,M:1,S:1,");
        TDispOptDlg dlg(5, names);
        dlg.FormShow();
        QCOMPARE(dlg.fieldList->item(0)->text(), QString("メールアドレス"));
        QCOMPARE(dlg.fieldList->item(2)->text(), QString("登録日"));
        QCOMPARE(dlg.fieldList->item(3)->checkState(), Qt::Unchecked);
        // Move "登録日" to the top and back down one; its check mark goes with it.
        dlg.fieldList->setCurrentRow(2);
        dlg.Button3Click();
        dlg.Button3Click();
        dlg.Button3Click();  // already first: stays
        QCOMPARE(dlg.fieldList->item(0)->text(), QString("登録日"));
        QCOMPARE(dlg.fieldList->item(0)->checkState(), Qt::Checked);
        dlg.fieldList->setCurrentRow(10);
        dlg.Button4Click();  // already last: stays
        QCOMPARE(dlg.fieldList->currentRow(), 10);
        dlg.fieldList->item(4)->setCheckState(Qt::Checked);  // one of the two "会員"
        dlg.Button1Click();
        QCOMPARE(MemberOrder::load(5).value_or(""), QString("S:1,A:1,M:1,F1:0,F1:1,F3:0,C1:0,C2:0,D1:0,D2:0,U:0,"));

        // Cancel writes nothing.
        TDispOptDlg cancelled(5, names);
        cancelled.FormShow();
        cancelled.fieldList->item(0)->setCheckState(Qt::Unchecked);
        cancelled.reject();
        QCOMPARE(MemberOrder::load(5).value_or(""), QString("S:1,A:1,M:1,F1:0,F1:1,F3:0,C1:0,C2:0,D1:0,D2:0,U:0,"));
    }

    void magazineMailSettingsRefusedOrSaved_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("returnPath");
        QTest::addColumn<QString>("warning");
        QTest::newRow("both set") << "stop@example.jp" << "https://example.jp/stop" << "" << "";
        QTest::newRow("nothing set") << "" << "" << "" << "";
        QTest::newRow("return path") << "" << "" << "bounce@example.jp" << "";
        QTest::newRow("return path with a plus") << "" << "" << "bounce+x@example.jp"
                                                 << "不達メールの返送先には + を含まないアドレスを入力してください";
        QTest::newRow("header in address") << "stop@example.jp\nBcc: all@example.jp" << "" << ""
                                           << "配信停止の受付アドレスが正しくありません";
        QTest::newRow("http url") << "stop@example.jp" << "http://example.jp/stop" << ""
                                  << "配信停止のURLは https:// で始まる正しいURLを入力してください";
    }

    void magazineMailSettingsRefusedOrSaved()
    {
        QFETCH(QString, address);
        QFETCH(QString, url);
        QFETCH(QString, returnPath);
        QFETCH(QString, warning);
        MagazineMailSettings before;
        before.bounceLimit = 4;
        MagazineMailSettings::save(2, before);
        TMagMailDlg dlg(2, "便り");
        dlg.FormShow();
        QCOMPARE(dlg.BounceSpin->value(), 4);
        QVERIFY(!dlg.Utf8Check->isChecked());
        dlg.Utf8Check->setChecked(true);
        dlg.AddressEdit->setText(address.replace("\\n", "\n"));
        dlg.UrlEdit->setText(url);
        dlg.ReturnPathEdit->setText(returnPath);
        dlg.ActionCombo->setCurrentIndex(1);
        dlg.OkButtonClick();
        QCOMPARE(warnings(), warning);
        if (!warning.isEmpty()) {
            QCOMPARE(dlg.result(), int(QDialog::Rejected));
            QCOMPARE(MagazineMailSettings::load(2), before);
            return;
        }
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        const MagazineMailSettings saved = MagazineMailSettings::load(2);
        QVERIFY(saved.forceUtf8);
        QCOMPARE(saved.unsubscribeAddress, address);
        QCOMPARE(saved.unsubscribeUrl, url);
        QCOMPARE(saved.unsubscribeAction, MagazineMailSettings::UnsubscribeAction::Delete);
        QCOMPARE(saved.bounceLimit, 4);
        QCOMPARE(saved.returnPath, returnPath);
    }
};

QString TestMembersDialogs::Folders_dataDir()
{
    return Folders::dataDir();
}

QTEST_MAIN(TestMembersDialogs)
#include "tst_members_dialogs.moc"
