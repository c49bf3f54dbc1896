// The exchange and address commands run in the main window, headless, through the file
// dialog and message box seams: what the store holds afterwards, what the list shows.
#include "app/MemberList.h"
#include "members/CurrentMagazine.h"
#include "app/MainForm.h"
#include "fakes/DamagedStore.h"
#include "fakes/ModalDialog.h"
#include "fakes/StoreFixture.h"
#include "fakes/TestEnv.h"
#include "maintenance/ui/FFindDlg.h"
#include "maintenance/ui/FImportDlg.h"
#include "members/ui/FUserDlg.h"
#include "members/MemberListModel.h"
#include "members/UMemberOrder.h"
#include "store/AppSettings.h"
#include "store/PreparedStatement.h"
#include "store/Codec.h"
#include "store/Database.h"
#include "store/Folders.h"
#include "store/Sql.h"
#include "widgets/FileDialog.h"
#include "widgets/MessageBox.h"
#include "widgets/ProgressWindow.h"
#include "widgets/Shell.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QSqlQuery>
#include <QTreeView>
#include <QTreeWidget>
#include "store/SendStates.h"

#include <QtTest>

namespace {

void exec(const QString &sql)
{
    Statement().exec(sql);
}
qint64 scalar(const QString &sql)
{
    return Statement().scalar(sql);
}

void addMagazine(int magIdx, const QString &name)
{
    StoreFixture::addMagazine(magIdx, name, StoreFixture::shopFieldNames());
}

void addMember(int magIdx, int userIdx, const QString &name, const QString &adrs, const QString &url = QString())
{
    StoreFixture::addMember(magIdx, userIdx, name, adrs,
                            {{"url", TextValue(url)}, {"Flg1", 1}, {"Flg2", 0}, {"Flg3", 1}, {"Sleep", 0},
                             {"Count1", 1234}, {"Count2", -5}, {"UserDate1", "20240102"}, {"UserDate2", "20240103"},
                             {"AddDate", "20240104"}});
}

QStringList memberValues(int magIdx)
{
    Statement s;
    s.open("select UserName, UserAdrs, url, Flg1, Flg2, Flg3, Sleep, Count1, Count2, UserDate1, UserDate2, AddDate "
           "from MagUser where MagIdx = "
           + QString::number(magIdx) + " order by UserIdx");
    QStringList rows;
    while (s.next()) {
        QStringList cells;
        for (int i = 0; i < 12; ++i)
            cells << (s.isNull(i) ? QStringLiteral("<null>") : s.text(i));
        rows << cells.join('|');
    }
    return rows;
}

QStringList dump()
{
    QStringList out;
    for (const char *t : {"Magzine", "CommonTBL", "MagInfo", "MagHist", "MagUser"}) {
        Statement s;
        s.open(QStringLiteral("select * from %1 order by 1, 2").arg(t));
        while (s.next()) {
            QStringList cells;
            for (int i = 0; i < s.fieldCount(); ++i)
                cells << (s.isNull(i) ? QStringLiteral("<null>") : s.text(i));
            out << QLatin1String(t) + ' ' + cells.join('|');
        }
    }
    return out;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Members enough for the member table to span many pages.
void addManyMembers(int magIdx, int count)
{
    StoreFixture::insertMany(QStringLiteral("MagUser"), count, [&](int n) {
        const int i = n + 1;
        return StoreFixture::memberRow(magIdx, i, QStringLiteral("会員%1").arg(i), QStringLiteral("member%1@example.jp").arg(i),
                                       StoreFixture::importedMemberColumns());
    });
}

} // namespace

class TestExchangeWindow : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<TMainForm> form;

    TMemberListModel *model() const { return qobject_cast<TMemberListModel *>(form->memberList->model()); }
    QString count(int magIdx) const
    {
        for (int i = 0; i < form->magazineList->topLevelItemCount(); ++i)
            if (form->magazineList->topLevelItem(i)->data(0, Qt::UserRole).toInt() == magIdx)
                return form->magazineList->topLevelItem(i)->text(1);
        return QString();
    }
    QList<int> selectedRows() const
    {
        QList<int> rows;
        for (const QModelIndex &i : form->memberList->selectionModel()->selectedRows())
            rows << i.row();
        std::sort(rows.begin(), rows.end());
        return rows;
    }
    static QString shown()
    {
        QStringList out;
        for (const auto &s : MessageBox::takeShown())
            out << s.text;
        return out.join('|');
    }
    void openWindow(int magIdx = 1)
    {
        form = std::make_unique<TMainForm>();
        form->show();
        if (magIdx < 0)
            return;
        for (int i = 0; i < form->magazineList->topLevelItemCount(); ++i)
            if (form->magazineList->topLevelItem(i)->data(0, Qt::UserRole).toInt() == magIdx)
                form->magazineList->setCurrentItem(form->magazineList->topLevelItem(i));
        QCOMPARE(form->Magazine->CurMagIdx(), magIdx);
    }
    static void acceptImportDialog(std::function<void(TImportDlg *)> adjust = {})
    {
        ModalDialog::whenShown<TImportDlg>([adjust](TImportDlg *d) {
            if (adjust)
                adjust(d);
            d->okButton->click();
        });
    }

private Q_SLOTS:
    void init()
    {
        env = std::make_unique<TestEnv>();
        env->openStore();
        addMagazine(1, "週刊ツバメ");
        addMagazine(2, "別マガジン");
        MemberOrder::save(1, MemberOrder::defaultText());
        MemberOrder::save(2, MemberOrder::defaultText());
        MessageBox::takeShown();
    }
    void cleanup()
    {
        if (form)
            form->close();
        form.reset();
        env.reset();
    }

    void commandsNeedAMagazine_data()
    {
        QTest::addColumn<QString>("handler");
        for (const char *h : {"C4Click", "Find1Click", "I1Click", "X1Click", "N39Click"})
            QTest::newRow(h) << h;
    }
    void commandsNeedAMagazine()
    {
        QFETCH(QString, handler);
        openWindow(-1);
        FileDialog::queueFileName(env->home() + "/x.csv");
        form->action(handler)->trigger();
        QCOMPARE(shown(), QStringLiteral("マガジン名を選択してください。"));
    }

    // ---- address check and search -------------------------------------------------

    void addressCheckStopsAtFirstBadRow()
    {
        addMember(1, 1, "a", "a@example.jp");
        addMember(1, 2, "b", "  spaced@example.jp");
        addMember(1, 3, "c", "c@localhost");
        addMember(1, 4, "d", "d@example.jp");
        addMember(1, 5, "e", "no-at-sign");
        openWindow();
        form->C4Click();
        QCOMPARE(shown(), QStringLiteral("エラーが見つかりました。"));
        // Blanks make no address: the second row is the first that fails.
        QCOMPARE(selectedRows(), QList<int>({1}));
        QCOMPARE(form->pages->currentWidget(), form->memberPage);
    }

    void addressCheckPasses()
    {
        addMember(1, 1, "a", "a@example.jp");
        addMember(1, 2, "b", "B@EXAMPLE.CO.JP");
        openWindow();
        form->C4Click();
        QCOMPARE(shown(), QStringLiteral("チェックは正常に終了しました。"));
        QVERIFY(selectedRows().isEmpty());
    }

    void addressCheckNeedsTheAddressColumn()
    {
        MemberOrder::save(1, "M:1,A:0,U:0,F1:0,F2:0,F3:0,C1:0,C2:0,D1:0,D2:0,S:0,");
        addMember(1, 1, "a", "bad");
        openWindow();
        form->C4Click();
        QCOMPARE(shown(), QStringLiteral("チェックを行なう前に表示設定でアドレスを表示してください。"));
    }

    void searchSelectsEveryMatchAndCloses()
    {
        addMember(1, 1, "a", "taro@example.jp");
        addMember(1, 2, "b", "hanako@other.jp");
        addMember(1, 3, "c", "jiro@example.jp");
        openWindow();
        form->Find1Click();
        QVERIFY(form->memberList->findDialog() && form->memberList->findDialog()->isVisible());
        QVERIFY(!form->memberList->findDialog()->isModal());
        form->memberList->findDialog()->findEdit->setText("example");
        form->memberList->findDialog()->findNextButton->click();
        QCOMPARE(shown(), QString());
        QCOMPARE(selectedRows(), QList<int>({0, 2}));
        QVERIFY(!form->memberList->findDialog()->isVisible());
    }

    void searchIsCaseSensitive()
    {
        addMember(1, 1, "a", "taro@example.jp");
        openWindow();
        form->Find1Click();
        form->memberList->findDialog()->findEdit->setText("EXAMPLE");
        form->memberList->findDialog()->findNextButton->click();
        QCOMPARE(shown(), QStringLiteral("指定されたアドレスは見つかりませんでした。"));
        QVERIFY(form->memberList->findDialog()->isVisible());
        QVERIFY(selectedRows().isEmpty());
        // an empty text matches nothing
        form->memberList->findDialog()->findEdit->clear();
        form->memberList->findDialog()->findNextButton->click();
        QCOMPARE(shown(), QStringLiteral("指定されたアドレスは見つかりませんでした。"));
    }

    // ---- home pages, logs, drop ------------------------------------------------------

    void homePagesOfSelectedMembers()
    {
        addMember(1, 1, "a", "a@example.jp", "http://a.example.jp/");
        addMember(1, 2, "b", "b@example.jp", "");
        addMember(1, 3, "c", "c@example.jp", "http://c.example.jp/");
        openWindow();
        Shell::takeOpened();
        QItemSelectionModel *sel = form->memberList->selectionModel();
        for (int r = 0; r < 3; ++r)
            sel->select(model()->index(r, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        form->U2Click();
        const QList<QUrl> opened = Shell::takeOpened();
        QCOMPARE(opened.size(), 2);
        QVERIFY(opened.contains(QUrl("http://a.example.jp/")));
        QVERIFY(opened.contains(QUrl("http://c.example.jp/")));
    }

    void logViewers()
    {
        openWindow();
        Shell::takeOpened();
        const QString doc = env->docDir();
        form->M3Click(); // no import log yet: nothing happens
        QVERIFY(Shell::takeOpened().isEmpty());
        writeFile(doc + "/ImportError.log", "line 1  x\r\n");
        form->M3Click();
        QCOMPARE(Shell::takeOpened(), QList<QUrl>({QUrl::fromLocalFile(doc + "/ImportError.log")}));

        form->N42Click(); // no delivery log yet: the folder
        QCOMPARE(Shell::takeOpened(), QList<QUrl>({QUrl::fromLocalFile(doc + "/エラーログ")}));
        writeFile(doc + "/エラーログ/2024-05-01 10-00-00エラー.txt", "x");
        writeFile(doc + "/エラーログ/2024-06-01 09-30-00エラー.txt", "y");
        writeFile(doc + "/エラーログ/2024-01-01 00-00-00エラー.txt", "z");
        form->N42Click();
        QCOMPARE(Shell::takeOpened(),
                 QList<QUrl>({QUrl::fromLocalFile(doc + "/エラーログ/2024-06-01 09-30-00エラー.txt")}));
    }

    void dropOpensMemberDialogWithAddress()
    {
        openWindow();
        QMimeData mime;
        mime.setText(QStringLiteral("  \t山田 <taro@example.jp>\r\n") + QChar(0) + "junk");
        QWidget *viewport = form->memberList->viewport();
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction | Qt::LinkAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(5, 5), Qt::LinkAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QString name, address;
        bool shownDialog = false;
        ModalDialog::whenShown<TUserDlg>([&](TUserDlg *d) {
            shownDialog = true;
            name = d->nameEdit->text();
            address = d->addressEdit->text();
            d->cancelButton->click();
        });
        QApplication::sendEvent(viewport, &drop);
        QVERIFY(drop.isAccepted());
        QCOMPARE(drop.dropAction(), Qt::LinkAction);
        QCOMPARE(form->memberList->DroppedText(), QStringLiteral("山田 <taro@example.jp>"));
        QVERIFY(!shownDialog); // not while the drop is still being delivered
        QTRY_VERIFY(shownDialog);
        QCOMPARE(name, QString());
        QCOMPARE(address, QStringLiteral("taro@example.jp"));
    }

    void dropWithoutMagazineWarns()
    {
        openWindow(-1);
        form->OleDropTarget1Drop("a@example.jp");
        QCOMPARE(shown(), QStringLiteral("マガジン名を選択してください。"));
    }

    // ---- import and export through the window -------------------------------------

    void importThroughWindow()
    {
        addMember(1, 1, "古い名前", "dup@example.jp");
        openWindow();
        const QString csv = env->home() + "/in.csv";
        writeFile(csv, Codec::toCp932("\"メンバー名\",\"メールアドレス\"\r\n新しい名前,dup@example.jp\r\n"
                                      "追加,new@example.jp\r\n全角,ｚ@example.jp\r\n"));
        FileDialog::queueFileName(csv);
        acceptImportDialog();
        MessageBox::queueAnswer(MessageBox::Answer::Ok);
        form->I1Click();
        const QString messages = shown();
        QVERIFY2(messages.startsWith("インポートを開始します。よろしいですか？|"), qPrintable(messages));
        QVERIFY2(messages.contains("ImportError.log"), qPrintable(messages));
        QCOMPARE(scalar("select count(*) from MagUser where MagIdx = 1"), 2);
        QCOMPARE(memberValues(1).value(0).section('|', 0, 1), QStringLiteral("新しい名前|dup@example.jp"));
        QCOMPARE(model()->rowCount(), 2);
        QCOMPARE(count(1), QStringLiteral("2"));
        QCOMPARE(Codec::fromCp932(readFile(env->docDir() + "/ImportError.log")),
                 QStringLiteral("line 3  ｚ@example.jp\r\n"));
    }

    void importCancelledChangesNothing()
    {
        openWindow();
        const QString csv = env->home() + "/in.csv";
        writeFile(csv, "a,a@example.jp\r\n");
        FileDialog::queueFileName(csv);
        acceptImportDialog();
        MessageBox::queueAnswer(MessageBox::Answer::Cancel);
        form->I1Click();
        QCOMPARE(shown(), QStringLiteral("インポートを開始します。よろしいですか？"));
        QCOMPARE(scalar("select count(*) from MagUser"), 0);
        QVERIFY(!QFile::exists(env->docDir() + "/ImportError.log"));
    }

    void importStoppedPartWayShowsWhatTheStoreHolds()
    {
        openWindow();
        const QString csv = env->home() + "/in.csv";
        // the seventh column is the first counter
        writeFile(csv, Codec::toCp932("h\r\na,a@example.jp,,0,0,0,1\r\nb,b@example.jp,,0,0,0,2\r\n"
                                      "c,c@example.jp,,0,0,0,12件\r\nd,d@example.jp,,0,0,0,4\r\n"));
        FileDialog::queueFileName(csv);
        acceptImportDialog();
        MessageBox::queueAnswer(MessageBox::Answer::Ok);
        form->I1Click();
        const auto boxes = MessageBox::takeShown();
        QCOMPARE(boxes.size(), 2);
        QCOMPARE(boxes.at(1).kind, MessageBox::Kind::Error);
        QVERIFY(boxes.at(1).text.contains("12件"));
        QCOMPARE(scalar("select count(*) from MagUser where MagIdx = 1"), 2);
        QCOMPARE(model()->rowCount(), 2);
        QCOMPARE(count(1), QStringLiteral("2"));
    }

    void exportThenImportGivesIdenticalMembers()
    {
        addMember(1, 1, "山田, \"太郎\"", "taro@example.jp", "http://x.jp/?a=1,2");
        addMember(1, 2, "①〜'\"", "hana@example.jp", "");
        addMember(1, 3, "  ,  ", "jiro@example.jp", "\"");
        openWindow();
        const QString csv = env->home() + "/members"; // typed without the extension
        FileDialog::queueFileName(csv);
        form->X1Click();
        QCOMPARE(shown(), QString());
        QVERIFY(QFile::exists(csv + ".csv"));

        // into the other magazine, the dialog left at its defaults
        form->magazineList->setCurrentItem(form->magazineList->topLevelItem(1));
        QCOMPARE(form->Magazine->CurMagIdx(), 2);
        FileDialog::queueFileName(csv + ".csv");
        acceptImportDialog();
        MessageBox::queueAnswer(MessageBox::Answer::Ok);
        form->I1Click();
        QCOMPARE(shown(), QStringLiteral("インポートを開始します。よろしいですか？"));
        // the file is CP932: the wave dash typed on Linux comes back in its Windows form
        QStringList expected = memberValues(1);
        expected[1].replace(QStringLiteral("〜"), QStringLiteral("～"));
        QCOMPARE(memberValues(2), expected);
        QCOMPARE(model()->rowCount(), 3);
        QCOMPARE(count(2), QStringLiteral("3"));
    }

    void exportToUncreatableFile()
    {
        openWindow();
        FileDialog::queueFileName(env->home() + "/no/such/folder/x.csv");
        form->X1Click();
        QCOMPARE(shown(), QStringLiteral("ファイル ") + env->home() + "/no/such/folder/x.csv" + QStringLiteral("　が開けません"));
    }

    // ---- removal by list -----------------------------------------------------------

    void removeByListThroughWindow()
    {
        for (int i = 1; i <= 5; ++i)
            addMember(1, i, QString("m%1").arg(i), QString("m%1@example.jp").arg(i));
        addMember(2, 1, "other", "m1@example.jp");
        openWindow();
        const QString list = env->home() + "/list.txt";
        writeFile(list, "m1@example.jp\r\n\r\nnobody@example.jp\r\nm4@example.jp\r\n");
        FileDialog::queueFileName(list);
        MessageBox::queueAnswer(MessageBox::Answer::Yes);
        form->N39Click();
        QCOMPARE(shown(), QStringLiteral("ファイルに書き込まれたユーザを削除します。よろしいですか？"));
        QCOMPARE(scalar("select count(*) from MagUser where MagIdx = 1"), 3);
        QCOMPARE(scalar("select count(*) from MagUser where MagIdx = 2"), 1);
        QCOMPARE(model()->rowCount(), 3);
        QCOMPARE(count(1), QStringLiteral("3"));

        FileDialog::queueFileName(list);
        MessageBox::queueAnswer(MessageBox::Answer::No);
        StoreFixture::insert("MagUser", {{"MagIdx", 1}, {"UserIdx", 9}, {"UserAdrs", "m1@example.jp"}});
        form->N39Click();
        shown();
        QCOMPARE(scalar("select count(*) from MagUser where MagIdx = 1"), 4);
    }

    // ---- backup and restore ----------------------------------------------------------

    // A long backup or restore shows its progress once it has run a second, and its cancel
    // button stops it; a short one shows nothing.
    void progressWindowPastASecond()
    {
        ProgressWindow progress(nullptr, QStringLiteral("バックアップ中"));
        QVERIFY(progress.update(10, 1000));
        QVERIFY(!progress.dialog().isVisible());
        QTest::qWait(1200);
        QVERIFY(progress.update(500, 1000));
        QVERIFY(progress.dialog().isVisible());
        QCOMPARE(progress.dialog().value(), 500);
        progress.dialog().cancel();
        QVERIFY(!progress.update(600, 1000));
    }

    void backupAndRestoreThroughWindow()
    {
        addMember(1, 1, "O'Reilly", "o@example.jp");
        StoreFixture::addIssue(1, 1,
                               {.addDate = "2024/06/01 10:00:00",
                                .sendCnt = 1,
                                .condition = "フラグ１がON;\r\nかつ\r\n登録日が今日;",
                                .title = "件名",
                                .body = "本文"});
        StoreFixture::addRecipient(1, 1, 1);
        const QStringList before = dump();
        openWindow();
        const QString bak = env->home() + "/store";
        FileDialog::queueFileName(bak);
        form->B1Click();
        QCOMPARE(shown(), QString());
        QVERIFY(QFile::exists(bak + ".bak"));
        QCOMPARE(AppSettings::readString("UserBackupDate"), QDate::currentDate().toString("yyyyMMdd"));

        exec("delete from MagUser");
        exec("update MagInfo set Condition = 'changed'");
        FileDialog::queueFileName(bak + ".bak");
        MessageBox::queueAnswer(MessageBox::Answer::Yes);
        form->N46Click();
        QCOMPARE(shown(), QStringLiteral("現在のデータをバックアップデータで書き換えます。よろしいですか？|ツバメ便を再起動してください"));
        QCOMPARE(dump(), before);
    }

    // A backup taken during a delivery: the restore's closing message says what it settled.
    void restoreOfMidDeliveryBackupSaysSo()
    {
        addMember(1, 1, "a", "a@example.jp");
        StoreFixture::addIssue(1, 1, {.addDate = "2024/06/01 10:00:00"});
        StoreFixture::addRecipient(1, 1, 1);
        StoreFixture::addSendStates(1, 1);
        // A delivery of this process holds the issue, so the window leaves its row in flight.
        QVERIFY(SendLock::acquire(1, 1));
        exec("update SendState set State = 1");
        openWindow();
        QCoreApplication::processEvents();
        MessageBox::takeShown(); // the start-up offer to resume the issue, declined
        const QString bak = env->home() + "/mid.bak";
        FileDialog::queueFileName(bak);
        form->B1Click();
        QCOMPARE(shown(), QString());
        FileDialog::queueFileName(bak);
        MessageBox::queueAnswer(MessageBox::Answer::Yes);
        form->N46Click();
        const QString text = shown();
        QVERIFY2(text.contains(QStringLiteral("送信中だった 1 人は結果が分からないため「不明」")), qPrintable(text));
        QVERIFY2(text.endsWith(QStringLiteral("ツバメ便を再起動してください")), qPrintable(text));
        QCOMPARE(SendStates::counts(1, 1).unknown, 1);
    }

    void restoreOfHostileFileChangesNothing()
    {
        addMember(1, 1, "kept", "k@example.jp");
        const QStringList before = dump();
        openWindow();
        const QString bak = env->home() + "/hostile.bak";
        writeFile(bak, "delete from Maguser;\r\ndelete from Magzine;\r\nattach database 'x.db' as x;\r\n");
        FileDialog::queueFileName(bak);
        MessageBox::queueAnswer(MessageBox::Answer::Yes);
        form->N46Click();
        const auto boxes = MessageBox::takeShown();
        QCOMPARE(boxes.size(), 2);
        QCOMPARE(boxes.at(1).kind, MessageBox::Kind::Error);
        QCOMPARE(boxes.at(1).text, QStringLiteral("エラー attach database 'x.db' as x;\r\nバックアップファイルの文ではありません。"));
        QCOMPARE(dump(), before);
        QVERIFY(!QFile::exists(env->home() + "/x.db"));
    }

    void restoreAnsweredNoChangesNothing()
    {
        addMember(1, 1, "kept", "k@example.jp");
        const QStringList before = dump();
        openWindow();
        const QString bak = env->home() + "/b.bak";
        writeFile(bak, "delete from Maguser;\r\n");
        FileDialog::queueFileName(bak);
        MessageBox::queueAnswer(MessageBox::Answer::No);
        form->N46Click();
        shown();
        QCOMPARE(dump(), before);
    }
    // ---- files that already exist ------------------------------------------------------

    // A name typed without its extension gets one; the question about replacing a file
    // is about that name, the one really written.
    void saveAsksAboutTheFileReallyWritten_data()
    {
        QTest::addColumn<QString>("handler");
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<bool>("replace");
        QTest::newRow("export kept") << "X1Click" << "csv" << false;
        QTest::newRow("export replaced") << "X1Click" << "csv" << true;
        QTest::newRow("backup kept") << "B1Click" << "bak" << false;
        QTest::newRow("backup replaced") << "B1Click" << "bak" << true;
    }
    void saveAsksAboutTheFileReallyWritten()
    {
        QFETCH(QString, handler);
        QFETCH(QString, suffix);
        QFETCH(bool, replace);
        addMember(1, 1, "a", "a@example.jp");
        openWindow();
        const QString typed = env->home() + "/members";
        const QString written = typed + "." + suffix;
        const QByteArray old = "old contents\r\n";
        writeFile(written, old);
        FileDialog::queueFileName(typed);
        MessageBox::queueAnswer(replace ? MessageBox::Answer::Yes : MessageBox::Answer::No);
        form->action(handler)->trigger();
        const auto boxes = MessageBox::takeShown();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.at(0).kind, MessageBox::Kind::Confirm);
        QVERIFY2(boxes.at(0).text.contains("members." + suffix), qPrintable(boxes.at(0).text));
        QCOMPARE(readFile(written) == old, !replace);
        QVERIFY(readFile(written).contains("a@example.jp") == replace);
        QVERIFY(!QFile::exists(typed));
        QCOMPARE(AppSettings::readString("UserBackupDate").isEmpty(), !(replace && suffix == "bak"));
    }

    // The store itself (or the engine's file beside it) chosen as the file to write or to
    // restore from is refused with a message, and the store stays byte for byte.
    void storeChosenAsFileIsRefused_data()
    {
        QTest::addColumn<QString>("handler");
        QTest::addColumn<QString>("suffix");
        QTest::newRow("export") << "X1Click" << "";
        QTest::newRow("backup") << "B1Click" << "";
        QTest::newRow("backup to -wal") << "B1Click" << "-wal";
        QTest::newRow("restore") << "N46Click" << "";
    }
    void storeChosenAsFileIsRefused()
    {
        QFETCH(QString, handler);
        QFETCH(QString, suffix);
        addMember(1, 1, "a", "a@example.jp");
        openWindow();
        const QString file = Store::path() + suffix;
        const QByteArray before = readFile(Store::path());
        FileDialog::queueFileName(file);
        form->action(handler)->trigger();
        const auto boxes = MessageBox::takeShown();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.last().kind, MessageBox::Kind::Error);
        QVERIFY2(boxes.last().text.contains(QStringLiteral("データベースのファイル")), qPrintable(boxes.last().text));
        QCOMPARE(readFile(Store::path()), before);
        QCOMPARE(memberValues(1).size() > 0, true);
    }

    // A member table with a damaged page: the export and the backup stop with the engine's
    // error, report no success and leave the file they would have replaced as it was.
    void readErrorLeavesTheOldFile_data()
    {
        QTest::addColumn<QString>("handler");
        QTest::addColumn<QString>("file");
        QTest::newRow("export") << "X1Click" << "members.csv";
        QTest::newRow("backup") << "B1Click" << "store.bak";
    }
    void readErrorLeavesTheOldFile()
    {
        QFETCH(QString, handler);
        QFETCH(QString, file);
        addManyMembers(1, 4000);
        env->closeStore();
        QVERIFY(DamageMemberTable(Folders::storeFile(env->dataDir())));
        env->openStore();
        openWindow();
        MessageBox::takeShown(); // the member list itself could not be read
        const QString path = env->home() + "/" + file;
        const QByteArray old = "the previous file\r\n";
        writeFile(path, old);
        AppSettings::writeString("UserBackupDate", "20000101");
        FileDialog::queueFileName(path);
        form->action(handler)->trigger();
        const auto boxes = MessageBox::takeShown();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.at(0).kind, MessageBox::Kind::Error);
        QVERIFY2(boxes.at(0).text.contains("malformed"), qPrintable(boxes.at(0).text));
        QCOMPARE(readFile(path), old);
        QCOMPARE(QDir(env->home()).entryList({file + "*"}, QDir::Files), QStringList{file});
        QCOMPARE(AppSettings::readString("UserBackupDate"), QStringLiteral("20000101"));
    }

    // A store that cannot be written: the restore says why, not only where it stopped.
    void restoreOnReadOnlyStoreShowsTheReason_data()
    {
        QTest::addColumn<bool>("readOnlyFile");
        QTest::addColumn<QString>("stoppedAt");
        // opened read-only, as a file without write permission is: the first statement fails
        QTest::newRow("read-only file") << true << "エラー delete from Magzine;";
        // refused before any statement: the transaction itself cannot begin
        QTest::newRow("no transaction") << false << "エラー ";
    }
    void restoreOnReadOnlyStoreShowsTheReason()
    {
        QFETCH(bool, readOnlyFile);
        QFETCH(QString, stoppedAt);
        addMember(1, 1, "kept", "k@example.jp");
        const QStringList before = dump();
        openWindow();
        const QString bak = env->home() + "/b.bak";
        writeFile(bak, "delete from Magzine;\r\ndelete from Maguser;\r\n");
        QSqlDatabase db = Store::connection();
        if (readOnlyFile) {
            db.close();
            db.setConnectOptions("QSQLITE_OPEN_READONLY");
            QVERIFY(db.open());
        } else {
            QSqlQuery(db).exec("pragma query_only = 1");
        }
        FileDialog::queueFileName(bak);
        MessageBox::queueAnswer(MessageBox::Answer::Yes);
        form->N46Click();
        const auto boxes = MessageBox::takeShown();
        QCOMPARE(boxes.size(), 2);
        QCOMPARE(boxes.at(1).kind, MessageBox::Kind::Error);
        const QString text = boxes.at(1).text;
        QVERIFY2(text.startsWith(stoppedAt), qPrintable(text));
        QVERIFY2(text.contains("attempt to write a readonly database"), qPrintable(text));
        QCOMPARE(dump(), before);
    }
};

QTEST_MAIN(TestExchangeWindow)
#include "tst_maintenance_exchange_window.moc"
