// The main window started headless on a private HOME: first start, settings, closing.
#include "issue/ui/FComposer.h"
#include "members/CurrentMagazine.h"
#include "app/HistoryPage.h"
#include "app/MainForm.h"
#include "app/FVerDlg.h"
#include "mail/DeliveryManager.h"
#include "mail/ui/DeliveryControls.h"
#include "fakes/TestEnv.h"
#include "store/Database.h"
#include "store/Folders.h"
#include "widgets/MessageBox.h"
#include "widgets/Shell.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QSettings>
#include <QSplitter>
#include <QToolButton>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

class TestMainForm : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;

    static QStringList menuCaptions(QMenu *menu)
    {
        QStringList out;
        for (QAction *a : menu->actions())
            out << (a->isSeparator() ? QStringLiteral("-") : a->text() + (a->isVisible() ? "" : " (hidden)"));
        return out;
    }
    QByteArray readFile(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private Q_SLOTS:
    void init() { env = std::make_unique<TestEnv>(); }
    void cleanup() { env.reset(); }

    void firstStartCreatesFoldersAndStore()
    {
        QVERIFY(!QDir(env->dataDir()).exists());
        {
            TMainForm form;
            QVERIFY(form.startedOk());
            form.show();
            QCOMPARE(form.windowTitle(), QString("ツバメ便"));
            QCOMPARE(form.Magazine->CurMagIdx(), -1);
            QCOMPARE(form.Composer->ColumnSize, 40);
            QVERIFY(QFile::exists(Folders::storeFile(env->dataDir())));
            QVERIFY(QDir(env->dataDir() + "sign").exists());
            QVERIFY(QDir(env->dataDir() + "where").exists());
            QVERIFY(QDir(env->home() + "/Documents/ツバメ便").exists());
            QCOMPARE(form.pages->count(), 4);
            QStringList tabs;
            for (int i = 0; i < 4; ++i)
                tabs << form.pages->tabText(i);
            QCOMPARE(tabs, (QStringList{"メンバー管理", "メール", "メール送信", "履歴"}));
            QCOMPARE(form.pages->currentWidget(), form.mailPage);
            QCOMPARE(form.mainSplitter->sizes().value(0), 177);
            form.close();
        }
        QVERIFY(MessageBox::takeShown().isEmpty());
    }

    void menusHoldEveryCommandInOrder()
    {
        TMainForm form;
        const auto menus = form.menuBar()->actions();
        QCOMPARE(menus.size(), 4);
        QCOMPARE(menus[0]->text(), QString("ファイル(&F)"));
        QCOMPARE(menuCaptions(menus[0]->menu()),
                 (QStringList{"マガジン追加(&A)...", "マガジン修正(&E)...", "マガジン削除(&D)",
                              "マガジンのメール設定(&G)...", "-", "新規メール(&N)",
                              "添付ファイルの挿入(&F) (hidden)", "-", "エラーログの表示(&L)", "インポート(&I)...",
                              "インポートログの表示(&M)", "エクスポート(&O)...", "-", "ユーザの削除・一括処理(&R)...",
                              "バックアップ(&B)...", "バックアップからの復元(&Y)...", "メール取込み(&T) (hidden)", "-",
                              "表示桁数設定(&K)...", "接続情報(&C)", "返信メールの処理(&P)...", "-", "終了(&X)"}));
        QCOMPARE(menuCaptions(menus[2]->menu()),
                 (QStringList{"履歴の表示(&H) (hidden)", "メールの内容の表示(&M)... (hidden)", "送信者の表示(&S)...",
                              "編集(&E)", "-", "再開(&R)", "失敗分の再送(&F)...", "-", "履歴の削除(&D)..."}));
        QCOMPARE(menuCaptions(menus[3]->menu()),
                 (QStringList{"目次(&I)", "-", "ツバメ便の最新情報(&N)", "ブリンドロウのホームページ(&S)", "-",
                              "バージョン(&V)..."}));
        QCOMPARE(form.action("N45Click")->shortcut(), QKeySequence(Qt::Key_F5));
        QCOMPARE(form.action("popup_A4Click", 2)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F2));
        QCOMPARE(form.action("popup_A4Click", 13)->shortcut(), QKeySequence(Qt::SHIFT | Qt::Key_F3));
        QCOMPARE(form.action("popup_N15Click", 2)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F7));
        QCOMPARE(form.action("popup_N16Click", 1)->shortcut(), QKeySequence(Qt::SHIFT | Qt::Key_F6));
        QCOMPARE(menuCaptions(form.memberList->contextMenu()),
                 (QStringList{"メンバー追加(&A)", "メンバー修正(&E)", "メンバー削除(&D)", "-", "フラグON(&N)",
                              "フラグOFF(&F)", "カウンタ設定(&C)", "日付設定(&H)", "-", "休止・再開(&S)"}));
    }

    void closeWritesSettingsAndRestartRestoresThem()
    {
        {
            TMainForm form;
            form.show();
            form.resize(800, 640);
            form.move(30, 40);
            form.mainSplitter->setSizes({210, 590});
            form.magazineList->setColumnWidth(0, 123);
            form.historyList->setColumnWidth(2, 77);
            QVERIFY(form.close());
        }
        QSettings s(env->settingsFile(), QSettings::NativeFormat);
        for (const char *name : {"Width", "height", "left", "top", "List1Width0", "List1Width1", "List1Width2",
                                 "List4Width1", "List4Width5"})
            QVERIFY2(s.contains(name), name);
        QCOMPARE(s.value("Width").toInt(), 800);
        QCOMPARE(s.value("height").toInt(), 640);
        QCOMPARE(s.value("List1Width1").toInt(), 123);
        QCOMPARE(s.value("List4Width3").toInt(), 77);
        QVERIFY(!s.contains("width"));
        {
            TMainForm form;
            form.show();
            QCOMPARE(form.width(), 800);
            QCOMPARE(form.height(), 640);
            QCOMPARE(form.mainSplitter->sizes().value(0), s.value("List1Width0").toInt());
            QCOMPARE(form.magazineList->columnWidth(0), 123);
            QCOMPARE(form.historyList->columnWidth(2), 77);
        }
    }

    void storeThatIsNotOursEndsTheStart()
    {
        QDir().mkpath(env->dataDir());
        const QString path = Folders::storeFile(env->dataDir());
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray("not a store ").repeated(500));
        }
        const QByteArray before = readFile(path);
        {
            TMainForm form;
            QVERIFY(!form.startedOk());
            form.close();
        }
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].kind, MessageBox::Kind::Warning);
        // The fixed line first, then the reason.
        QVERIFY2(shown[0].text.startsWith(QString("Application Error! DB Open Error\n\n")), qPrintable(shown[0].text));
        QVERIFY2(shown[0].text.contains("file is not a database"), qPrintable(shown[0].text));
        QCOMPARE(readFile(path), before);
        QVERIFY(!QFile::exists(env->settingsFile()));
    }

    void installedUpdatesAreMarkedAndWaitingOnesCounted()
    {
        env->openStore();
        Statement s;
        s.exec("insert into CommonTBL values(1000, 1, 0, 0, 0, '020005', 'a.exe', '')");
        s.exec("insert into CommonTBL values(1000, 2, 0, 0, 0, '020006', 'b.exe', '')");
        s.exec("insert into CommonTBL values(1000, 3, 0, 0, 0, '020007', 'c.exe', '')");
        env->closeStore();
        QCOMPARE(TMainForm::versionText(), QString("020006"));
        {
            TMainForm form;
            form.show();
            Statement q;
            q.open("select key2, int1 from CommonTBL where key1 = 1000 order by key2");
            QList<int> marks;
            while (q.next())
                marks << int(q.integer(1));
            q.close();
            QCOMPARE(marks, (QList<int>{1, 1, 0}));
            form.close();
        }
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].kind, MessageBox::Kind::Info);
        QCOMPARE(shown[0].text,
                 QString("1個のアップデートファイルがあります\r\nマイドキュメント\\ツバメ便 フォルダを確認してください\r\n"));
    }

    void closeQuestionWhileSending()
    {
        TMainForm form;
        form.show();
        Q_EMIT form.Deliveries->Started(3, 7);
        MessageBox::queueAnswer(MessageBox::Answer::No);
        QVERIFY(!form.close());
        QVERIFY(form.isVisible());
        QVERIFY(!QFile::exists(env->settingsFile()));
        MessageBox::queueAnswer(MessageBox::Answer::Yes);
        QVERIFY(form.close());
        Q_EMIT form.Deliveries->Ended(3, 7);
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 2);
        QCOMPARE(shown[0].text, QString("送信中のメールがあります。中断して終了しますか？"));
        QVERIFY(QFile::exists(env->settingsFile()));
    }

    // The progress area follows the delivery: 一時停止 while it runs, 再開 once paused with
    // recipients left, and a summary box when it ends (none for a pause).
    void deliveryButtonsAndSummary()
    {
        TMainForm form;
        form.show();
        MessageBox::takeShown();
        auto *buttons = form.findChild<TDeliveryControls *>(QStringLiteral("DeliveryButtons"));
        QVERIFY(buttons);
        QVERIFY(!buttons->pauseButton()->isVisibleTo(&form));
        Q_EMIT form.Deliveries->Started(3, 7);
        QVERIFY(buttons->pauseButton()->isVisibleTo(&form));
        QVERIFY(buttons->cancelButton()->isVisibleTo(&form));
        Q_EMIT form.Deliveries->Waiting(3, 7, QDateTime(QDate(2026, 12, 10), QTime(9, 5)));
        QCOMPARE(buttons->stateLabel()->text(), QStringLiteral("待機中 09:05 まで"));
        SendStateCounts counts;
        counts.waiting = 4;
        counts.sent = 5;
        Q_EMIT form.Deliveries->Summary({3, 7, DeliveryEnd::Paused, counts});
        Q_EMIT form.Deliveries->Ended(3, 7);
        QVERIFY(MessageBox::takeShown().isEmpty());
        QVERIFY(buttons->resumeButton()->isVisibleTo(&form));
        QVERIFY(!buttons->pauseButton()->isVisibleTo(&form));
        QCOMPARE(buttons->stateLabel()->text(), QStringLiteral("一時停止中"));

        Q_EMIT form.Deliveries->Started(3, 7);
        counts.waiting = 0;
        counts.sent = 8;
        counts.failed = 1;
        Q_EMIT form.Deliveries->Summary({3, 7, DeliveryEnd::Finished, counts});
        Q_EMIT form.Deliveries->Ended(3, 7);
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].kind, MessageBox::Kind::Info);
        QCOMPARE(shown[0].text, QStringLiteral("配信が終わりました。\r\n送信済 8 / 保留 0 / 失敗 1 / スキップ 0 / 不明 0"));
        QVERIFY(!buttons->resumeButton()->isVisibleTo(&form));
    }

    // The real box: a cancel question open when the delivery ends closes itself, and the
    // window goes on with nothing cancelled.
    void cancelQuestionClosesWithTheDelivery()
    {
        TMainForm form;
        form.show();
        MessageBox::takeShown();
        auto *buttons = form.findChild<TDeliveryControls *>(QStringLiteral("DeliveryButtons"));
        QVERIFY(buttons);
        Q_EMIT form.Deliveries->Started(3, 7);
        bool sawBox = false;
        bool rescued = false;
        SendStateCounts left;
        left.waiting = 4;
        QTimer::singleShot(300, &form, [&] {
            sawBox = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()) != nullptr;
            Q_EMIT form.Deliveries->Summary({3, 7, DeliveryEnd::Paused, left});
            Q_EMIT form.Deliveries->Ended(3, 7);
        });
        // Should the box stay, the test fails instead of waiting on it.
        QTimer rescue;
        rescue.setSingleShot(true);
        connect(&rescue, &QTimer::timeout, &form, [&] {
            if (auto *box = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
                rescued = true;
                box->done(0);
            }
        });
        rescue.start(10000);
        MessageBox::setTestMode(false);
        buttons->cancelButton()->click();
        MessageBox::setTestMode(true);
        rescue.stop();
        QVERIFY(sawBox);
        QVERIFY(!rescued);
        QVERIFY(!QApplication::activeModalWidget());
        QCOMPARE(buttons->stateLabel()->text(), QStringLiteral("一時停止中"));
        QVERIFY(buttons->resumeButton()->isVisibleTo(&form));
    }

    void historyPageWithoutMagazineWarns()
    {
        TMainForm form;
        form.show();
        form.pages->setCurrentWidget(form.HistoryPage);
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].text, QString("マガジン名を選択してください。"));
    }

    void helpAndWebPagesOpenThroughTheShell()
    {
        TMainForm form;
        form.action("Contents1Click")->trigger();
        form.action("N37Click")->trigger();
        form.action("S6Click")->trigger();
        const auto opened = Shell::takeOpened();
        QCOMPARE(opened.size(), 3);
        QVERIFY(opened[0].isLocalFile());
        QVERIFY(opened[0].toLocalFile().endsWith("/help.html"));
        QVERIFY(QFile::exists(opened[0].toLocalFile()));
        QCOMPARE(opened[1].path(), QString("/tsubame/update.php"));
        QCOMPARE(opened[2].path(), QString("/"));
    }

    void versionLine()
    {
        QCOMPARE(TVerDlg::versionLine(2, 0, 6, 451), QString("Ver 2.0.6 (451)"));
        TVerDlg dlg;
        QCOMPARE(dlg.windowTitle(), QString("バージョン"));
        QVERIFY(dlg.versionLabel->text().startsWith("Ver 2.0.6 ("));
    }
};

QTEST_MAIN(TestMainForm)
#include "tst_app_mainform.moc"
