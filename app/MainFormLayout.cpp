// The main window's widgets, menus, toolbar and status bar.
#include "MainForm.h"

#include "HistoryPage.h"
#include "MagazineList.h"
#include "MemberList.h"
#include "mail/DeliveryManager.h"
#include "mail/ui/DeliveryControls.h"
#include "mail/ui/SendProgressPanel.h"

#include "issue/ui/FComposer.h"
#include "issue/ui/FSendPage.h"

#include <QAction>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTextEdit>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

QAction *TMainForm::addCommand(QMenu *menu, const QString &caption, const QString &handler, int tag,
                               const std::function<void()> &slot)
{
    auto *a = menu->addAction(caption);
    a->setObjectName(handler + QLatin1Char('_') + QString::number(tag));
    a->setData(tag);
    connect(a, &QAction::triggered, this, [slot] { slot(); });
    m_commands << a;
    return a;
}

QAction *TMainForm::action(const QString &handler, int tag) const
{
    const QString name = handler + QLatin1Char('_') + QString::number(tag);
    for (QAction *a : m_commands)
        if (a->objectName() == name)
            return a;
    return nullptr;
}

void TMainForm::createMenus()
{
    QMenuBar *bar = menuBar();

    QMenu *file = bar->addMenu(QStringLiteral("ファイル(&F)"));
    addCommand(file, QStringLiteral("マガジン追加(&A)..."), "A2Click", 0, [this] { A2Click(); });
    addCommand(file, QStringLiteral("マガジン修正(&E)..."), "E2Click", 0, [this] { E2Click(); });
    addCommand(file, QStringLiteral("マガジン削除(&D)"), "D2Click", 0, [this] { D2Click(); });
    addCommand(file, QStringLiteral("マガジンのメール設定(&G)..."), "MailSettings1Click", 0,
               [this] { MailSettings1Click(); });
    file->addSeparator();
    addCommand(file, QStringLiteral("新規メール(&N)"), "N34Click", 0, [this] { N34Click(); });
    addCommand(file, QStringLiteral("添付ファイルの挿入(&F)"), "F1Click", 0, [this] { F1Click(); })->setVisible(false);
    file->addSeparator();
    addCommand(file, QStringLiteral("エラーログの表示(&L)"), "N42Click", 0, [this] { N42Click(); });
    addCommand(file, QStringLiteral("インポート(&I)..."), "I1Click", 0, [this] { I1Click(); });
    addCommand(file, QStringLiteral("インポートログの表示(&M)"), "M3Click", 0, [this] { M3Click(); });
    addCommand(file, QStringLiteral("エクスポート(&O)..."), "X1Click", 0, [this] { X1Click(); });
    file->addSeparator();
    addCommand(file, QStringLiteral("ユーザの削除・一括処理(&R)..."), "N39Click", 0, [this] { N39Click(); });
    addCommand(file, QStringLiteral("バックアップ(&B)..."), "B1Click", 0, [this] { B1Click(); });
    addCommand(file, QStringLiteral("バックアップからの復元(&Y)..."), "N46Click", 0, [this] { N46Click(); });
    file->addAction(QStringLiteral("メール取込み(&T)"))->setVisible(false);
    file->addSeparator();
    addCommand(file, QStringLiteral("表示桁数設定(&K)..."), "K1Click", 0, [this] { K1Click(); });
    addCommand(file, QStringLiteral("接続情報(&C)"), "C1Click", 0, [this] { C1Click(); });
    addCommand(file, QStringLiteral("返信メールの処理(&P)..."), "Inbox1Click", 0, [this] { Inbox1Click(); });
    file->addSeparator();
    addCommand(file, QStringLiteral("終了(&X)"), "X2Click", 0, [this] { X2Click(); });

    QMenu *members = bar->addMenu(QStringLiteral("メンバー管理(&U)"));
    addCommand(members, QStringLiteral("メンバー追加(&A)..."), "A1Click", 0, [this] { A1Click(); });
    addCommand(members, QStringLiteral("メンバー修正(&E)..."), "E3Click", 0, [this] { E3Click(); });
    addCommand(members, QStringLiteral("メンバー削除(&D)"), "yu1Click", 0, [this] { yu1Click(); });
    addCommand(members, QStringLiteral("アドレスチェック(&C)"), "C4Click", 0, [this] { C4Click(); });
    members->addSeparator();
    QMenu *change = members->addMenu(QStringLiteral("フラグの変更(&M)"));
    QMenu *on = change->addMenu(QStringLiteral("フラグを ON (&Y)"));
    QMenu *off = change->addMenu(QStringLiteral("フラグをOFF (&Z)"));
    for (int i = 1; i <= 3; ++i) {
        const QString digit = QString(QChar(0xFF10 + i));
        addCommand(on, QStringLiteral("フラグ%1 (&%2)").arg(digit).arg(i), "A4Click", i, [this, i] { A4Click(i); });
    }
    for (int i = 1; i <= 3; ++i) {
        const QString digit = QString(QChar(0xFF10 + i));
        addCommand(off, QStringLiteral("フラグ%1 (&%2)").arg(digit).arg(i), "A4Click", 10 + i,
                   [this, i] { A4Click(10 + i); });
    }
    QMenu *counters = change->addMenu(QStringLiteral("カウンタ値の変更(&C)"));
    for (int i = 1; i <= 2; ++i)
        addCommand(counters, QStringLiteral("カウンタ%1 (&%2)...").arg(QChar(0xFF10 + i)).arg(i), "N15Click", i,
                   [this, i] { N15Click(i); });
    QMenu *dates = change->addMenu(QStringLiteral("日付の変更(&D)"));
    for (int i = 1; i <= 2; ++i)
        addCommand(dates, QStringLiteral("日付%1 (&%2)...").arg(QChar(0xFF10 + i)).arg(i), "N16Click", i,
                   [this, i] { N16Click(i); });
    QMenu *reset = members->addMenu(QStringLiteral("フラグのリセット(&T)"));
    for (int i = 1; i <= 3; ++i)
        addCommand(reset, QStringLiteral("フラグ%1をOFF(&%2)").arg(QChar(0xFF10 + i)).arg(i), "OFF11Click", i,
                   [this, i] { OFF11Click(i); });
    reset->addSeparator();
    addCommand(reset, QStringLiteral("カウンタ１をゼロ (&4)"), "OFF11Click", 4, [this] { OFF11Click(4); });
    addCommand(reset, QStringLiteral("カウンタ２をゼロ (&5)"), "OFF11Click", 5, [this] { OFF11Click(5); });
    reset->addSeparator();
    addCommand(reset, QStringLiteral("日付１をセット (&6)..."), "OFF11Click", 6, [this] { OFF11Click(6); });
    addCommand(reset, QStringLiteral("日付２をセット (&7)..."), "OFF11Click", 7, [this] { OFF11Click(7); });
    members->addSeparator();
    addCommand(members, QStringLiteral("休止、再開(&S)"), "S2Click", 0, [this] { S2Click(); });
    addCommand(members, QStringLiteral("ホームページ表示(&U)"), "U2Click", 0, [this] { U2Click(); });
    members->addSeparator();
    addCommand(members, QStringLiteral("メールアドレス検索(&F)..."), "Find1Click", 0, [this] { Find1Click(); });
    members->addSeparator();
    addCommand(members, QStringLiteral("表示設定(&O)..."), "O1Click", 0, [this] { O1Click(); });
    QAction *bounces = addCommand(members, QStringLiteral("不達の表示(&B)"), "Bounces1Click", 0,
                                  [this] { ListView2->Bounces1Click(); });
    bounces->setCheckable(true);  // checked as the list starts, once it is made
    members->addSeparator();
    addCommand(members, QStringLiteral("最新の情報に更新"), "N45Click", 0, [this] { N45Click(); })
        ->setShortcut(QKeySequence(Qt::Key_F5));

    QMenu *history = bar->addMenu(QStringLiteral("履歴(&I)"));
    addCommand(history, QStringLiteral("履歴の表示(&H)"), "H1Click", 0, [this] { H1Click(); })->setVisible(false);
    addCommand(history, QStringLiteral("メールの内容の表示(&M)..."), "M1Click", 0, [this] { M1Click(0); })
        ->setVisible(false);
    addCommand(history, QStringLiteral("送信者の表示(&S)..."), "M1Click", 1, [this] { M1Click(1); });
    addCommand(history, QStringLiteral("編集(&E)"), "E4Click", 0, [this] { E4Click(); });
    history->addSeparator();
    addCommand(history, QStringLiteral("再開(&R)"), "Resume1Click", 0, [this] { Resume1Click(); })->setEnabled(false);
    addCommand(history, QStringLiteral("失敗分の再送(&F)..."), "Resend1Click", 0, [this] { Resend1Click(); })
        ->setEnabled(false);
    history->addSeparator();
    addCommand(history, QStringLiteral("履歴の削除(&D)..."), "D4Click", 0, [this] { D4Click(); });

    QMenu *help = bar->addMenu(QStringLiteral("ヘルプ(&H)"));
    addCommand(help, QStringLiteral("目次(&I)"), "Contents1Click", 0, [this] { Contents1Click(); });
    help->addSeparator();
    addCommand(help, QStringLiteral("ツバメ便の最新情報(&N)"), "N37Click", 0, [this] { N37Click(); });
    addCommand(help, QStringLiteral("ブリンドロウのホームページ(&S)"), "S6Click", 0, [this] { S6Click(); });
    help->addSeparator();
    addCommand(help, QStringLiteral("バージョン(&V)..."), "V1Click", 0, [this] { V1Click(); });

    // The member list's context menu; its flag, counter and date items carry the shortcuts.
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    auto popup = [this](QMenu *m, const QString &caption, const QString &handler, int tag, QKeySequence key,
                        const std::function<void()> &slot) {
        QAction *a = addCommand(m, caption, QStringLiteral("popup_") + handler, tag, slot);
        if (!key.isEmpty()) {
            // The member list takes these actions on when it is made (createMemberPage).
            a->setShortcut(key);
            a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        }
        return a;
    };
    popup(PopupMenu1, QStringLiteral("メンバー追加(&A)"), "A1Click", 0, {}, [this] { A1Click(); });
    popup(PopupMenu1, QStringLiteral("メンバー修正(&E)"), "E3Click", 0, {}, [this] { E3Click(); });
    popup(PopupMenu1, QStringLiteral("メンバー削除(&D)"), "yu1Click", 0, {}, [this] { yu1Click(); });
    PopupMenu1->addSeparator();
    QMenu *pOn = PopupMenu1->addMenu(QStringLiteral("フラグON(&N)"));
    QMenu *pOff = PopupMenu1->addMenu(QStringLiteral("フラグOFF(&F)"));
    QMenu *pCount = PopupMenu1->addMenu(QStringLiteral("カウンタ設定(&C)"));
    QMenu *pDate = PopupMenu1->addMenu(QStringLiteral("日付設定(&H)"));
    const Qt::Key fkeys[] = {Qt::Key_F1, Qt::Key_F2, Qt::Key_F3};
    for (int i = 1; i <= 3; ++i) {
        const QString caption = QStringLiteral("フラグ%1").arg(QChar(0xFF10 + i));
        popup(pOn, caption, "A4Click", i, QKeySequence(Qt::CTRL | fkeys[i - 1]), [this, i] { A4Click(i); });
        popup(pOff, caption, "A4Click", 10 + i, QKeySequence(Qt::SHIFT | fkeys[i - 1]),
              [this, i] { A4Click(10 + i); });
    }
    const Qt::Key fkeys2[] = {Qt::Key_F6, Qt::Key_F7};
    for (int i = 1; i <= 2; ++i) {
        popup(pCount, QStringLiteral("カウンタ%1").arg(QChar(0xFF10 + i)), "N15Click", i,
              QKeySequence(Qt::CTRL | fkeys2[i - 1]), [this, i] { N15Click(i); });
        popup(pDate, QStringLiteral("日付%1").arg(QChar(0xFF10 + i)), "N16Click", i,
              QKeySequence(Qt::SHIFT | fkeys2[i - 1]), [this, i] { N16Click(i); });
    }
    PopupMenu1->addSeparator();
    popup(PopupMenu1, QStringLiteral("休止・再開(&S)"), "S2Click", 0, {}, [this] { S2Click(); });
}

void TMainForm::createToolBar()
{
    QToolBar *tools = addToolBar(QStringLiteral("ToolBar1"));
    tools->setObjectName(QStringLiteral("ToolBar1"));
    tools->setMovable(false);
    tools->setFloatable(false);
    struct Button {
        const char *name;
        const char16_t *hint;
        QStyle::StandardPixmap icon;
        std::function<void()> slot;
    };
    const Button buttons[] = {
        {"ToolButton1", u"新規メール", QStyle::SP_FileIcon, [this] { N34Click(); }},
        {"ToolButton2", u"メンバーの追加", QStyle::SP_FileDialogNewFolder, [this] { A1Click(); }},
        {"ToolButton4", u"メンバーの修正", QStyle::SP_FileDialogDetailedView, [this] { E3Click(); }},
        {"ToolButton3", u"履歴の表示", QStyle::SP_FileDialogContentsView, [this] { H1Click(); }},
        {"ToolButton5", u"アドレスを検索", QStyle::SP_FileDialogInfoView, [this] { Find1Click(); }},
        {"ToolButton6", u"ホームページ表示", QStyle::SP_DirHomeIcon, [this] { U2Click(); }},
    };
    for (const Button &b : buttons) {
        QAction *a = tools->addAction(style()->standardIcon(b.icon), QString::fromUtf16(b.hint));
        a->setToolTip(QString::fromUtf16(b.hint));
        a->setObjectName(QString::fromLatin1(b.name));
        auto slot = b.slot;
        connect(a, &QAction::triggered, this, [slot] { slot(); });
    }
    MagNamePanel = new QLabel(tools);
    MagNamePanel->setObjectName(QStringLiteral("Panel1"));
    MagNamePanel->setContentsMargins(12, 0, 0, 0);
    QFont f = MagNamePanel->font();
    f.setBold(true);
    MagNamePanel->setFont(f);
    tools->addWidget(MagNamePanel);
}

void TMainForm::createStatusBar()
{
    const int widths[4] = {80, 80, 300, 50};
    for (int i = 0; i < 4; ++i) {
        StatusPanels[i] = i == 2 ? new TSendProgressPanel(*Progress, this) : new QLabel(this);
        StatusPanels[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i + 1));
        StatusPanels[i]->setFixedWidth(widths[i]);
        statusBar()->addWidget(StatusPanels[i]);
    }
    DeliveryButtons = new TDeliveryControls(*Progress, this);
    DeliveryButtons->setObjectName(QStringLiteral("DeliveryButtons"));
    statusBar()->addWidget(DeliveryButtons);
    connect(DeliveryButtons, &TDeliveryControls::pauseClicked, this, &TMainForm::PauseDelivery);
    connect(DeliveryButtons, &TDeliveryControls::resumeClicked, this, &TMainForm::ResumeDelivery);
    connect(DeliveryButtons, &TDeliveryControls::cancelClicked, this, &TMainForm::CancelDelivery);
    statusBar()->setObjectName(QStringLiteral("StatusBar1"));
}

QWidget *TMainForm::createMemberPage()
{
    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    ListView2 = new TMemberList(*Magazine, page);
    ListView2->setContextMenu(PopupMenu1);
    connect(ListView2, &TMemberList::countChanged, this, &TMainForm::ShowMemberCount);
    layout->addWidget(ListView2);
    return page;
}

QWidget *TMainForm::createComposerPage()
{
    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    auto *row1 = new QHBoxLayout;
    auto *label1 = new QLabel(QStringLiteral("件名"), page);
    label1->setObjectName(QStringLiteral("Label1"));
    Edit1 = new QLineEdit(page);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    row1->addWidget(label1);
    row1->addWidget(Edit1, 1);
    layout->addLayout(row1);

    auto *row2 = new QHBoxLayout;
    auto *label3 = new QLabel(QStringLiteral("定型文挿入"), page);
    label3->setObjectName(QStringLiteral("Label3"));
    ComboBox1 = new QComboBox(page);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setEditable(false);
    ComboBox1->setFocusPolicy(Qt::ClickFocus);
    Button3 = new QPushButton(QStringLiteral("挿入"), page);
    Button3->setObjectName(QStringLiteral("Button3"));
    Button3->setFocusPolicy(Qt::ClickFocus);
    row2->addWidget(label3);
    row2->addWidget(ComboBox1, 1);
    row2->addWidget(Button3);
    layout->addLayout(row2);

    auto *panel2 = new QWidget(page);
    panel2->setObjectName(QStringLiteral("Panel2"));
    panel2->setAutoFillBackground(true);
    QPalette pal = panel2->palette();
    pal.setColor(QPalette::Window, QColor(223, 223, 223));
    panel2->setPalette(pal);
    auto *panelLayout = new QVBoxLayout(panel2);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    panelLayout->setSpacing(0);
    QFont fixed(QStringLiteral("IPAGothic"));
    fixed.setStyleHint(QFont::Monospace);
    fixed.setPixelSize(16);
    Panel3 = new QLabel(panel2);
    Panel3->setObjectName(QStringLiteral("Panel3"));
    Panel3->setFont(fixed);
    Panel3->setAutoFillBackground(true);
    QPalette rulerPal = Panel3->palette();
    rulerPal.setColor(QPalette::Window, Qt::white);
    rulerPal.setColor(QPalette::WindowText, Qt::blue);
    Panel3->setPalette(rulerPal);
    RichEdit1 = new QTextEdit(panel2);
    RichEdit1->setObjectName(QStringLiteral("RichEdit1"));
    RichEdit1->setAcceptRichText(false);
    RichEdit1->setFont(fixed);
    RichEdit1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    panelLayout->addWidget(Panel3, 0, Qt::AlignLeft);
    // The body keeps to the left; ApplyColumnSize caps its width, the stretch takes the rest.
    auto *bodyRow = new QHBoxLayout;
    bodyRow->setSpacing(0);
    bodyRow->addWidget(RichEdit1, 1);
    bodyRow->addStretch(0);
    panelLayout->addLayout(bodyRow, 1);
    layout->addWidget(panel2, 1);
    return page;
}

QWidget *TMainForm::createSendPage()
{
    SendPage = new TSendPage(*Magazine, DataDir);
    return SendPage;
}

QWidget *TMainForm::createHistoryPage()
{
    HistoryPage = new THistoryPage(*Magazine);
    Splitter3 = HistoryPage->Splitter3;
    ListView4 = HistoryPage->ListView4;
    Memo2 = HistoryPage->Memo2;
    connect(HistoryPage, &THistoryPage::loaded, this, [this] { PageControl1->setCurrentWidget(TabSheet5); });
    connect(HistoryPage, &THistoryPage::startDelivery, this, &TMainForm::StartMailThread);
    connect(HistoryPage, &THistoryPage::commandsChanged, this, &TMainForm::updateHistoryCommands);
    // An ended delivery has changed its issue's state.
    connect(Deliveries, &DeliveryManager::Ended, HistoryPage, &THistoryPage::refreshStates);
    connect(HistoryPage, &THistoryPage::editIssue, this, [this](const QString &subject, const QString &body) {
        Composer->setMail(subject, body);
        PageControl1->setCurrentWidget(TabSheet2);
    });
    return HistoryPage;
}

void TMainForm::createLayout()
{
    setWindowTitle(QStringLiteral("ツバメ便"));
    resize(731, 732);
    createMenus();
    createToolBar();

    Splitter1 = new QSplitter(Qt::Horizontal, this);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    ListView1 = new TMagazineList(*Magazine, Splitter1);
    connect(ListView1, &QTreeWidget::itemSelectionChanged, this, &TMainForm::ListView1SelectItem);
    connect(ListView1, &TMagazineList::editRequested, this, &TMainForm::E2Click);

    PageControl1 = new QTabWidget(Splitter1);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    TabSheet1 = createMemberPage();
    action(QStringLiteral("Bounces1Click"))->setChecked(ListView2->ShowBounces());
    TabSheet2 = createComposerPage();
    TabSheet4 = createSendPage();
    TabSheet5 = createHistoryPage();
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    TabSheet2->setObjectName(QStringLiteral("TabSheet2"));
    TabSheet4->setObjectName(QStringLiteral("TabSheet4"));
    TabSheet5->setObjectName(QStringLiteral("TabSheet5"));
    PageControl1->addTab(TabSheet1, QStringLiteral("メンバー管理"));
    PageControl1->addTab(TabSheet2, QStringLiteral("メール"));
    PageControl1->addTab(TabSheet4, QStringLiteral("メール送信"));
    PageControl1->addTab(TabSheet5, QStringLiteral("履歴"));

    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({177, 731 - 177});
    setCentralWidget(Splitter1);
    createStatusBar();
    setupIssuePages();
}
