// The condition editor, the signature editor, the targets list and the send page's rules.
#include "fakes/StoreFixture.h"
#include "fakes/TestEnv.h"
#include "issue/ui/FHistDlg.h"
#include "issue/ui/FSQLEditDlg.h"
#include "issue/ui/FSendPage.h"
#include "issue/ui/FSignDlg.h"
#include "issue/ui/RadioGroup.h"
#include "members/UMemberRecord.h"
#include "store/Codec.h"
#include "store/Database.h"
#include "members/CurrentMagazine.h"
#include "widgets/FileDialog.h"
#include "widgets/MessageBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QtTest>

class TestIssueDialogs : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;

    static std::array<QString, 7> names()
    {
        return {QStringLiteral("購読"), QStringLiteral("特典"), QStringLiteral("旗3"), QStringLiteral("ポイント"),
                QStringLiteral("回数"), QStringLiteral("誕生日"), QStringLiteral("記念日")};
    }
    static QStringList nameList()
    {
        const std::array<QString, 7> all = names();
        return QStringList(all.begin(), all.end());
    }
    static QByteArray fileBytes(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    static void writeFile(const QString &path, const QByteArray &bytes)
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    static QStringList warnings()
    {
        QStringList out;
        for (const auto &s : MessageBox::takeShown())
            out << s.text;
        return out;
    }

private Q_SLOTS:
    void init()
    {
        env = std::make_unique<TestEnv>();
        env->openStore();
        QDir().mkpath(env->dataDir() + "where");
        QDir().mkpath(env->dataDir() + "sign");
    }
    void cleanup() { env.reset(); }

    void editorBuildsAndChecks()
    {
        TSQLEditDlg dlg(env->dataDir());
        dlg.FieldNames = names();
        dlg.ConditionSql = QString();
        dlg.FormShow();
        QCOMPARE(dlg.fieldCombo->count(), 7);

        dlg.Button5Click(); // empty memo: no connector
        QVERIFY(dlg.conditionMemo->toPlainText().isEmpty());

        dlg.fieldCombo->setCurrentIndex(0);
        QCOMPARE(dlg.operatorCombo->count(), 2);
        dlg.valueCombo->setCurrentIndex(1); // ON
        dlg.Button1Click();
        QCOMPARE(dlg.conditionMemo->toPlainText(), QStringLiteral("購読 = ON \n"));
        QCOMPARE(dlg.conditionMemo->toolTip(), QStringLiteral("さらに条件を続けるには、and(かつ) or(または)を入力してください。"));

        dlg.Button5Click(); // no connector chosen: only a space and a break
        QCOMPARE(dlg.conditionMemo->toPlainText(), QStringLiteral("購読 = ON \n \n"));
        dlg.joinCombo->setCurrentIndex(1);
        dlg.Button5Click();
        dlg.fieldCombo->setCurrentIndex(3); // a counter: value 0
        QCOMPARE(dlg.valueCombo->currentText(), QStringLiteral("数字"));
        dlg.operatorCombo->setCurrentIndex(2);
        dlg.Button1Click();
        QCOMPARE(dlg.conditionMemo->toPlainText(), QStringLiteral("購読 = ON \n \n OR  \nポイント >= 0 \n"));

        dlg.Button2Click();
        QCOMPARE(warnings(), QStringList{"エラーはありません。"});
        dlg.Button3Click();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(dlg.ConditionSql, QStringLiteral("U.Flg1 = 1 \r\n \r\n OR  \r\nU.Count1 >= 0 \r\n"));
        QCOMPARE(dlg.conditionText(), QStringLiteral("購読 = ON \r\n \r\n OR  \r\nポイント >= 0 \r\n"));
    }

    void editorEmptyCheckAndRefusals()
    {
        TSQLEditDlg dlg(env->dataDir());
        dlg.FieldNames = names();
        dlg.FormShow();
        dlg.Button2Click();
        QCOMPARE(warnings(), QStringList{"エラーはありません。"});

        dlg.conditionMemo->setPlainText(QStringLiteral("購読 = ON) or (1 = 1"));
        dlg.Button3Click();
        const QStringList w = warnings();
        QCOMPARE(w.size(), 1);
        QVERIFY(w[0].startsWith(QStringLiteral("条件式が間違っています。\r\n")));
        QCOMPARE(dlg.result(), 0); // stays open
        QCOMPARE(dlg.ConditionSql, QString());

        dlg.conditionMemo->setPlainText(QStringLiteral("不明 = ON"));
        dlg.Button2Click();
        const QStringList w2 = warnings();
        QCOMPARE(w2.size(), 1);
        QVERIFY(w2[0].startsWith(QStringLiteral("条件式が間違っています。\r\n")));
    }

    void conditionFilesAreCp932()
    {
        TSQLEditDlg dlg(env->dataDir());
        dlg.FieldNames = names();
        dlg.ConditionSql = QStringLiteral("誕生日(月日) = '0115' \r\n AND 購読 = ON");
        dlg.FormShow();
        QCOMPARE(dlg.conditionMemo->toPlainText(), QStringLiteral("誕生日(月日) = '0115' \n AND 購読 = ON"));
        FileDialog::queueFileName(env->dataDir() + "where/birthday"); // no extension given
        dlg.SpeedButton2Click();
        const QByteArray expected = Codec::toCp932(QStringLiteral("誕生日(月日) = '0115' \r\n AND 購読 = ON\r\n"));
        QCOMPARE(fileBytes(env->dataDir() + "where/birthday.whr"), expected);

        writeFile(env->dataDir() + "where/other.whr", Codec::toCp932(QStringLiteral("特典 = OFF\r\n")));
        FileDialog::queueFileName(env->dataDir() + "where/other.whr");
        dlg.SpeedButton1Click();
        QCOMPARE(dlg.conditionMemo->toPlainText(), QStringLiteral("特典 = OFF"));

        // a file that cannot be read: the memo is emptied and the error shown
        FileDialog::queueFileName(env->dataDir() + "where/none.whr");
        dlg.SpeedButton1Click();
        QVERIFY(dlg.conditionMemo->toPlainText().isEmpty());
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].kind, MessageBox::Kind::Error);
    }

    void signatureEditor()
    {
        const QString sign = env->dataDir() + "sign/";
        writeFile(sign + "a.txt", Codec::toCp932(QStringLiteral("署名Ａ\r\n二行目\r\n")));
        QDir().mkpath(env->home() + "/elsewhere");
        writeFile(env->home() + "/elsewhere/a.txt", "not this one\r\n");

        TSignDlg dlg(env->dataDir());
        dlg.SignFileName = QString();
        dlg.FormShow();
        QVERIFY(dlg.textMemo->toPlainText().isEmpty());
        QVERIFY(dlg.FileNameBand->text().isEmpty());

        // opened from another folder: the file of that name in the sign folder is read
        FileDialog::queueFileName(env->home() + "/elsewhere/a.txt");
        dlg.Open1Click();
        QCOMPARE(dlg.textMemo->toPlainText(), QStringLiteral("署名Ａ\n二行目"));
        QCOMPARE(dlg.SignFileName, QStringLiteral("a.txt"));
        QCOMPARE(dlg.FileNameBand->text(), QStringLiteral("a.txt"));

        // a name with no file in the sign folder: error, the name stays
        writeFile(env->home() + "/elsewhere/b.txt", "x");
        FileDialog::queueFileName(env->home() + "/elsewhere/b.txt");
        dlg.Open1Click();
        QCOMPARE(dlg.SignFileName, QStringLiteral("a.txt"));
        QCOMPARE(MessageBox::takeShown().size(), 1);

        // overwrite
        dlg.textMemo->setPlainText(QStringLiteral("一\n二\n三"));
        dlg.Save1Click();
        QCOMPARE(fileBytes(sign + "a.txt"), Codec::toCp932(QStringLiteral("一\r\n二\r\n三\r\n")));

        // a new signature: save asks for a name first; no extension gets ".txt"
        TSignDlg fresh(env->dataDir());
        fresh.FormShow();
        fresh.textMemo->setPlainText(QStringLiteral("新しい署名"));
        FileDialog::queueFileName(env->home() + "/elsewhere/new");
        fresh.Save1Click();
        QCOMPARE(fresh.SignFileName, QStringLiteral("new.txt"));
        QCOMPARE(fileBytes(sign + "new.txt"), Codec::toCp932(QStringLiteral("新しい署名\r\n")));
        QVERIFY(!QFile::exists(env->home() + "/elsewhere/new.txt"));

        // reopening with a name reloads it
        TSignDlg again(env->dataDir());
        again.SignFileName = QStringLiteral("new.txt");
        again.FormShow();
        QCOMPARE(again.textMemo->toPlainText(), QStringLiteral("新しい署名"));
        QCOMPARE(again.FileNameBand->text(), QStringLiteral("new.txt"));

        // a character with no Shift-JIS code is not silently lost
        again.textMemo->setPlainText(QStringLiteral("絵文字😀"));
        again.Save1Click();
        QCOMPARE(MessageBox::takeShown().size(), 1);
        QCOMPARE(fileBytes(sign + "new.txt"), Codec::toCp932(QStringLiteral("新しい署名\r\n")));
    }

    void targetsList()
    {
        StoreFixture::insert("MagUser", {{"MagIdx", 1}, {"UserIdx", 1}, {"UserName", "山田"}, {"UserAdrs", "y@example.jp"}, {"Sleep", 0}});
        StoreFixture::insert("MagUser", {{"MagIdx", 1}, {"UserIdx", 2}, {"UserName", "休止"}, {"UserAdrs", "s@example.jp"}, {"Sleep", 1}});
        StoreFixture::insert("MagUser", {{"MagIdx", 2}, {"UserIdx", 3}, {"UserName", "他誌"}, {"UserAdrs", "o@example.jp"}, {"Sleep", 0}});
        THistDlg dlg;
        dlg.ListMode = THistDlg::Mode::Targets;
        dlg.ListMagIdx = 1;
        dlg.ListWhere = Recipients::all(1);
        dlg.FormShow();
        QCOMPARE(dlg.windowTitle(), QStringLiteral("対象者一覧"));
        QCOMPARE(dlg.headingLabel->text(), QStringLiteral("対象者一覧"));
        QVERIFY(dlg.subjectCaptionLabel->text().isEmpty());
        QCOMPARE(dlg.lines(), QStringList{"山田 <y@example.jp>"});
        QCOMPARE(dlg.memberList->contextMenuPolicy(), Qt::NoContextMenu);

        dlg.ListWhere = Recipients::flag(1, MemberColumn::Flg1, true);
        dlg.FormShow();
        QVERIFY(dlg.lines().isEmpty());
        QCOMPARE(dlg.windowTitle(), QStringLiteral("対象者一覧"));
    }

    void sendPageRules()
    {
        StoreFixture::addMagazine(1, "m", nameList());
        CurrentMagazine magazine;
        TSendPage page(magazine, env->dataDir());
        page.show();
        QCOMPARE(page.conditionGroup->itemIndex(), 0);
        QVERIFY(page.wholeDateRadio->isChecked());
        QCOMPARE(page.datePicker->date(), QDate::currentDate());
        QCOMPARE(page.datePicker->displayFormat(), QStringLiteral("yyyy'年'M'月'd'日'"));

        // no magazine: back to item 0 with the warning
        page.conditionGroup->setItemIndex(3);
        page.RadioGroup3Click(3);
        QCOMPARE(page.conditionGroup->itemIndex(), 0);
        QCOMPARE(warnings(), QStringList{"マガジン名を選択してください。"});
        QVERIFY(page.fieldGroup->isHidden());

        magazine.choose(1);
        page.conditionGroup->setItemIndex(3);
        page.RadioGroup3Click(3);
        QVERIFY(page.fieldGroup->isVisible());
        QCOMPARE(page.fieldGroup->title(), QStringLiteral("フラグの選択"));
        QCOMPARE(page.fieldGroup->items(), (QStringList{"購読", "特典", "旗3"}));
        QCOMPARE(page.fieldGroup->itemIndex(), -1);
        QVERIFY(page.datePicker->isHidden());
        QVERIFY(page.valueSpin->isHidden());

        page.conditionGroup->setItemIndex(8);
        page.RadioGroup3Click(8);
        QCOMPARE(page.fieldGroup->title(), QStringLiteral("カウンタの選択"));
        QCOMPARE(page.fieldGroup->items(), (QStringList{"ポイント", "回数"}));
        QVERIFY(page.valueSpin->isVisible());
        QCOMPARE(page.valueLabel->text(), QStringLiteral("カウンタ値"));

        page.conditionGroup->setItemIndex(12);
        page.RadioGroup3Click(12);
        QVERIFY(page.monthDayRadio->isVisible());
        page.monthDayRadio->setChecked(true);
        QCOMPARE(page.datePicker->displayFormat(), QStringLiteral("M'月'd'日'"));

        // 10 and 11 compare whole dates: 年月日 checked, both choices hidden
        page.conditionGroup->setItemIndex(10);
        page.RadioGroup3Click(10);
        QVERIFY(page.wholeDateRadio->isChecked());
        QVERIFY(page.wholeDateRadio->isHidden());
        QVERIFY(page.monthDayRadio->isHidden());
        QCOMPARE(page.datePicker->displayFormat(), QStringLiteral("yyyy'年'M'月'd'日'"));
        QVERIFY(page.datePicker->isVisible());

        page.conditionGroup->setItemIndex(5);
        page.RadioGroup3Click(5);
        QCOMPARE(page.valueLabel->text(), QStringLiteral("発行番号"));
        QVERIFY(page.fieldGroup->isHidden());

        page.conditionGroup->setItemIndex(13);
        page.RadioGroup3Click(13);
        QVERIFY(page.detailsButton->isVisible());
        QVERIFY(page.valueSpin->isHidden());

        page.SetAfterSendCaptions(AfterSendCaptions(names()));
        QCOMPARE(page.CheckBoxes[6]->text(), QStringLiteral("記念日を今日の日付"));
        QCOMPARE(page.CheckBoxes[6]->toolTip(), QStringLiteral("記念日を今日の日付"));
        QCOMPARE(page.CheckBoxes[3]->text(), QStringLiteral("ポイントを加算"));
        QCOMPARE(page.CheckBoxes[0]->text(), QStringLiteral("購読をON"));
    }

    void sendStopsUntilFlagChosen()
    {
        StoreFixture::addMagazine(1, "m", nameList());
        CurrentMagazine magazine;
        magazine.choose(1);
        TSendPage page(magazine, env->dataDir());
        bool composerShown = false;
        TSendPage::Hooks hooks;
        hooks.smtpHost = [] { return QStringLiteral("localhost"); };
        hooks.subject = [] { return QStringLiteral("s"); };
        hooks.body = [] { return QStringLiteral("b"); };
        hooks.showComposer = [&](bool) { composerShown = true; };
        page.setHooks(hooks);
        page.conditionGroup->setItemIndex(3);
        page.RadioGroup3Click(3);
        page.Button1Click();
        QCOMPARE(warnings(), QStringList{"フラグが選択されていません。"});
        QVERIFY(!composerShown);
        QCOMPARE(Statement().scalar("select count(*) from MagInfo"), 0);

        // a No in the confirmation writes nothing
        page.fieldGroup->setItemIndex(0);
        MessageBox::queueAnswer(MessageBox::Answer::No);
        page.Button1Click();
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].text, QStringLiteral("購読がONのメンバー\r\n上記の条件でメールを送信します。よろしいですか？"));
        QCOMPARE(Statement().scalar("select count(*) from MagInfo"), 0);
    }
};

QTEST_MAIN(TestIssueDialogs)
#include "tst_issue_dialogs.moc"
