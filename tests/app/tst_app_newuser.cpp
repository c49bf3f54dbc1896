// What a new user sees in the main window: Japanese standard buttons, shortcuts that act only
// where they belong, columns that show their text, no template chosen, and a start-up failure
// that says why.
#include "members/CurrentMagazine.h"
#include "app/MainForm.h"
#include "issue/ui/FSendPage.h"
#include "app/ListWidths.h"
#include "app/QtTranslations.h"
#include "fakes/StoreFixture.h"
#include "fakes/TestEnv.h"
#include "members/ui/FMagzineDlg.h"
#include "members/MemberListModel.h"
#include "members/UMemberOrder.h"
#include "store/AppSettings.h"
#include "store/Database.h"
#include "store/Folders.h"
#include "widgets/FileDialog.h"
#include "widgets/MessageBox.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTextEdit>
#include <QTreeView>
#include <QTreeWidget>
#include <QtTest>

class TestNewUser : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;

    static void exec(const QString &sql) { Statement().exec(sql); }
    static qint64 scalar(const QString &sql) { return Statement().scalar(sql); }

    // Magazine 1 with one member, shown with the name and address columns.
    void prepareMagazine(const QString &name)
    {
        env->openStore();
        StoreFixture::addMagazine(1, name, {"フラグ１", "フラグ２", "フラグ３", "数字１", "数字2", "日付１", "日付２"});
        StoreFixture::addMember(1, 1, "山田 太郎", "yamada.taro@example.co.jp", StoreFixture::blankMemberColumns());
        MemberOrder::save(1, QStringLiteral("M:1,A:1,U:0,F1:0,F2:0,F3:0,C1:0,C2:0,D1:0,D2:0,S:0,"));
        env->closeStore();
    }
    static void selectMagazine(TMainForm &form)
    {
        form.magazineList->setCurrentItem(form.magazineList->topLevelItem(0));
        QCOMPARE(form.Magazine->CurMagIdx(), 1);
    }
    // The text of a button without its mnemonic: "はい(&Y)" and "&Yes" read "はい" and "Yes".
    static QString plain(const QAbstractButton *button)
    {
        QString t = button->text();
        t.remove(QRegularExpression(QStringLiteral("\\(&.\\)")));
        t.remove(QLatin1Char('&'));
        return t;
    }

private Q_SLOTS:
    void init() { env = std::make_unique<TestEnv>(); }
    void cleanup() { env.reset(); }

    void standardButtonsReadJapanese()
    {
        QVERIFY2(QtTranslations::install(*qApp), "qt6-translations-l10n is not installed");
        QMessageBox box(QMessageBox::Question, QStringLiteral("ツバメ便"), QStringLiteral("よろしいですか？"),
                        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        QCOMPARE(plain(box.button(QMessageBox::Yes)), QStringLiteral("はい"));
        QCOMPARE(plain(box.button(QMessageBox::No)), QStringLiteral("いいえ"));
        QCOMPARE(plain(box.button(QMessageBox::Cancel)), QStringLiteral("キャンセル"));
        QMessageBox ok(QMessageBox::Warning, QStringLiteral("ツバメ便"), QStringLiteral("x"), QMessageBox::Ok);
        QCOMPARE(plain(ok.button(QMessageBox::Ok)), QStringLiteral("OK"));

        // Qt's own file dialog, as the program shows it where the desktop offers none.
        for (const auto mode : {QFileDialog::AcceptOpen, QFileDialog::AcceptSave}) {
            QFileDialog dialog;
            dialog.setOption(QFileDialog::DontUseNativeDialog);
            dialog.setAcceptMode(mode);
            auto *buttons = dialog.findChild<QDialogButtonBox *>();
            QVERIFY(buttons);
            QStringList texts;
            for (QAbstractButton *b : buttons->buttons())
                texts << plain(b);
            QStringList expected{mode == QFileDialog::AcceptOpen ? QStringLiteral("開く") : QStringLiteral("保存"),
                                 QStringLiteral("キャンセル")};
            texts.sort();
            expected.sort();
            QCOMPARE(texts, expected);
        }
    }

    void popupShortcutsActOnlyInTheMemberList()
    {
        prepareMagazine(QStringLiteral("ツバメ便ニュース"));
        TMainForm form;
        form.show();
        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        selectMagazine(form);
        form.memberList->selectionModel()->select(form.memberList->model()->index(0, 0),
                                                 QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);

        // Typing in the mail: the member list is on a hidden page.
        form.pages->setCurrentWidget(form.mailPage);
        form.bodyEdit->setFocus();
        QCOMPARE(QApplication::focusWidget(), form.bodyEdit);
        QTest::keyClick(form.bodyEdit, Qt::Key_F1, Qt::ControlModifier);
        QTest::keyClick(form.bodyEdit, Qt::Key_F2, Qt::ControlModifier);
        QCOMPARE(scalar("select Flg1 + Flg2 from MagUser where UserIdx = 1"), qint64(0));

        // On the send page too.
        form.pages->setCurrentWidget(form.SendPage);
        form.SendPage->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F1, Qt::ControlModifier);
        QCOMPARE(scalar("select Flg1 from MagUser where UserIdx = 1"), qint64(0));

        // In the member list the same keys do their work.
        form.pages->setCurrentWidget(form.memberPage);
        form.memberList->setFocus();
        QCOMPARE(QApplication::focusWidget(), form.memberList);
        QTest::keyClick(form.memberList, Qt::Key_F1, Qt::ControlModifier);
        QCOMPARE(scalar("select Flg1 from MagUser where UserIdx = 1"), qint64(1));
        QTest::keyClick(form.memberList, Qt::Key_F1, Qt::ShiftModifier);
        QCOMPARE(scalar("select Flg1 from MagUser where UserIdx = 1"), qint64(0));
        QVERIFY(MessageBox::takeShown().isEmpty());
    }

    void firstStartColumnsFitTypicalContent()
    {
        prepareMagazine(QStringLiteral("ツバメ便ニュース"));
        TMainForm form;
        form.show();
        selectMagazine(form);
        const QFontMetrics magazines = form.magazineList->fontMetrics();
        // Column 0 of every list also holds a mark.
        QVERIFY(form.magazineList->columnWidth(0) >= magazines.horizontalAdvance(QStringLiteral("ツバメ便ニュース")) + 16);
        QVERIFY(form.magazineList->columnWidth(1)
                >= form.magazineList->header()->fontMetrics().horizontalAdvance(QStringLiteral("参加人数")));
        const QFontMetrics members = form.memberList->fontMetrics();
        QVERIFY(form.memberList->columnWidth(0) >= members.horizontalAdvance(QStringLiteral("山田 太郎")) + 16);
        QVERIFY(form.memberList->columnWidth(1) >= members.horizontalAdvance(QStringLiteral("yamada.taro@example.co.jp")));
        const QFontMetrics history = form.historyList->fontMetrics();
        QVERIFY(form.historyList->columnWidth(0) >= history.horizontalAdvance(QStringLiteral("ツバメ便ニュース 第123号")));
        QVERIFY(form.historyList->columnWidth(2) >= history.horizontalAdvance(QStringLiteral("2024/01/05 12:34:56")));
        for (int c = 0; c < form.historyList->columnCount(); ++c)
            QVERIFY(form.historyList->columnWidth(c)
                    >= form.historyList->header()->fontMetrics().horizontalAdvance(form.historyList->headerItem()->text(c)));
    }

    void storedColumnWidthsStillWin()
    {
        prepareMagazine(QStringLiteral("ツバメ便ニュース"));
        {
            const auto s = AppSettings::open();
            s->setValue("List1Width1", 61);
            s->setValue("List2Width2", 62);
            s->setValue("List4Width1", 63);
        }
        TMainForm form;
        form.show();
        selectMagazine(form);
        QCOMPARE(form.magazineList->columnWidth(0), 61);
        QCOMPARE(form.memberList->columnWidth(1), 62);
        QCOMPARE(form.historyList->columnWidth(0), 63);
        // Positions without a stored width still fit their content.
        QVERIFY(form.memberList->columnWidth(0)
                >= form.memberList->fontMetrics().horizontalAdvance(QStringLiteral("山田 太郎")));
    }

    void memberColumnWidthFitsCaptionAndSample_data()
    {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("sample");
        QTest::newRow("sample wider") << "メールアドレス" << ListWidths::memberSample(1);
        QTest::newRow("caption wider") << "とても長いフラグの名前です" << ListWidths::memberSample(3);
        QTest::newRow("empty caption") << "" << ListWidths::memberSample(10);
    }
    void memberColumnWidthFitsCaptionAndSample()
    {
        QFETCH(QString, caption);
        QFETCH(QString, sample);
        const QFont font;
        const QFontMetrics fm(font);
        const ListWidths::Padding pad{10, 6, 20};
        const int w = ListWidths::fit(fm, fm, caption, sample, pad);
        QVERIFY(w >= fm.horizontalAdvance(caption) + 10);
        QVERIFY(w >= fm.horizontalAdvance(sample) + 26);
        QVERIFY(w == fm.horizontalAdvance(caption) + 10 || w == fm.horizontalAdvance(sample) + 26);
    }

    void magazineDialogShowsAWholeAddress()
    {
        env->openStore();
        TMagzineDlg dlg(env->dataDir());
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        const QString address = QStringLiteral("tsubame-news@mail.example.co.jp");
        QVERIFY2(dlg.addressEdit->width() >= dlg.addressEdit->fontMetrics().horizontalAdvance(address) + 8,
                 qPrintable(QString::number(dlg.addressEdit->width())));
        QVERIFY(dlg.nameEdit->width() >= dlg.nameEdit->fontMetrics().horizontalAdvance(QStringLiteral("ツバメ便ニュース")) + 8);
        dlg.reject();
    }

    void templateListStartsWithNothingChosen()
    {
        QDir().mkpath(env->dataDir());
        const QString file = env->home() + "/a.txt";
        {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("from a file\r\n");
        }
        TMainForm form;
        form.show();
        QCOMPARE(form.templateCombo->currentIndex(), -1);
        QCOMPARE(form.templateCombo->currentText(), QString());
        QCOMPARE(form.templateCombo->count(), 14);
        // Were "ファイルから" chosen, this answer would put the file into the body.
        FileDialog::queueFileName(file);
        form.bodyEdit->setPlainText(QStringLiteral("本文"));
        form.insertButton->click();
        QCOMPARE(form.bodyEdit->toPlainText(), QStringLiteral("本文"));
        QVERIFY(MessageBox::takeShown().isEmpty());
    }

    void storeThatCannotBeOpenedSaysWhy()
    {
        // A folder where the store file should be: the engine cannot open it, even as root.
        QDir().mkpath(Folders::storeFile(env->dataDir()));
        {
            TMainForm form;
            QVERIFY(!form.startedOk());
            form.close();
        }
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].kind, MessageBox::Kind::Warning);
        const QStringList lines = shown[0].text.split('\n');
        QCOMPARE(lines.value(0), QStringLiteral("Application Error! DB Open Error"));
        QCOMPARE(lines.value(1), QString());
        QVERIFY2(shown[0].text.contains(QStringLiteral("Tsubame.db: ")), qPrintable(shown[0].text));
        QVERIFY2(shown[0].text.contains(QStringLiteral("unable to open database file")), qPrintable(shown[0].text));
        QVERIFY(!QFile::exists(env->settingsFile()));
    }

    void dbOpenErrorText_data()
    {
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QString>("text");
        QTest::newRow("no reason") << "" << "Application Error! DB Open Error";
        QTest::newRow("engine's reason")
            << "/d/Tsubame.db: unable to open database file"
            << "Application Error! DB Open Error\n\n/d/Tsubame.db: unable to open database file";
        QTest::newRow("folder hint") << "データフォルダに書き込めません: /d\n/d/Tsubame.db: x"
                                     << "Application Error! DB Open Error\n\nデータフォルダに書き込めません: /d\n/d/Tsubame.db: x";
    }
    void dbOpenErrorText()
    {
        QFETCH(QString, reason);
        QFETCH(QString, text);
        QCOMPARE(TMainForm::dbOpenErrorText(reason), text);
    }
};

QTEST_MAIN(TestNewUser)
#include "tst_app_newuser.moc"
