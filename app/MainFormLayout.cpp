// The main window's widgets, menus, toolbar and status bar.
#include "MainForm.h"

#include "HistoryPage.h"
#include "MagazineList.h"
#include "MemberList.h"
#include "mail/DeliveryManager.h"
#include "members/CurrentMagazine.h"
#include "members/MemberField.h"
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
    return memberList ? memberList->contextAction(name) : nullptr;
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
    for (const bool setOn : {true, false}) {
        for (const MemberField f : MemberFields::kFlags) {
            const int n = MemberFields::number(f);
            const int tag = MemberFields::menuTag(f) + (setOn ? 0 : MemberFields::kFlagOffTag);
            addCommand(setOn ? on : off, QStringLiteral("フラグ%1 (&%2)").arg(QChar(0xFF10 + n)).arg(n), "A4Click", tag,
                       [this, f, setOn] { memberList->A4Click(f, setOn); });
        }
    }
    QMenu *counters = change->addMenu(QStringLiteral("カウンタ値の変更(&C)"));
    for (const MemberField f : MemberFields::kCounters) {
        const int n = MemberFields::number(f);
        addCommand(counters, QStringLiteral("カウンタ%1 (&%2)...").arg(QChar(0xFF10 + n)).arg(n), "N15Click",
                   MemberFields::menuTag(f), [this, f] { memberList->N15Click(f); });
    }
    QMenu *dates = change->addMenu(QStringLiteral("日付の変更(&D)"));
    for (const MemberField f : MemberFields::kDates) {
        const int n = MemberFields::number(f);
        addCommand(dates, QStringLiteral("日付%1 (&%2)...").arg(QChar(0xFF10 + n)).arg(n), "N16Click",
                   MemberFields::menuTag(f), [this, f] { memberList->N16Click(f); });
    }
    QMenu *reset = members->addMenu(QStringLiteral("フラグのリセット(&T)"));
    const auto addReset = [&](const QString &caption, MemberField f) {
        addCommand(reset, caption, "OFF11Click", MemberFields::resetTag(f), [this, f] { memberList->OFF11Click(f); });
    };
    for (const MemberField f : MemberFields::kFlags) {
        const int n = MemberFields::number(f);
        addReset(QStringLiteral("フラグ%1をOFF(&%2)").arg(QChar(0xFF10 + n)).arg(n), f);
    }
    reset->addSeparator();
    addReset(QStringLiteral("カウンタ１をゼロ (&4)"), MemberField::Count1);
    addReset(QStringLiteral("カウンタ２をゼロ (&5)"), MemberField::Count2);
    reset->addSeparator();
    addReset(QStringLiteral("日付１をセット (&6)..."), MemberField::Date1);
    addReset(QStringLiteral("日付２をセット (&7)..."), MemberField::Date2);
    members->addSeparator();
    addCommand(members, QStringLiteral("休止、再開(&S)"), "S2Click", 0, [this] { S2Click(); });
    addCommand(members, QStringLiteral("ホームページ表示(&U)"), "U2Click", 0, [this] { U2Click(); });
    members->addSeparator();
    addCommand(members, QStringLiteral("メールアドレス検索(&F)..."), "Find1Click", 0, [this] { Find1Click(); });
    members->addSeparator();
    addCommand(members, QStringLiteral("表示設定(&O)..."), "O1Click", 0, [this] { O1Click(); });
    QAction *bounces = addCommand(members, QStringLiteral("不達の表示(&B)"), "Bounces1Click", 0,
                                  [this] { memberList->Bounces1Click(); });
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
    connect(Magazine, &CurrentMagazine::changed, MagNamePanel, [this] { MagNamePanel->setText(Magazine->name()); });
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
    memberList = new TMemberList(*Magazine, page);
    connect(memberList, &TMemberList::countChanged, this, &TMainForm::ShowMemberCount);
    connect(memberList, &TMemberList::showRequested, this, [this] { pages->setCurrentWidget(memberPage); });
    layout->addWidget(memberList);
    return page;
}

QWidget *TMainForm::createComposerPage()
{
    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    auto *row1 = new QHBoxLayout;
    auto *label1 = new QLabel(QStringLiteral("件名"), page);
    label1->setObjectName(QStringLiteral("Label1"));
    subjectEdit = new QLineEdit(page);
    subjectEdit->setObjectName(QStringLiteral("Edit1"));
    row1->addWidget(label1);
    row1->addWidget(subjectEdit, 1);
    layout->addLayout(row1);

    auto *row2 = new QHBoxLayout;
    auto *label3 = new QLabel(QStringLiteral("定型文挿入"), page);
    label3->setObjectName(QStringLiteral("Label3"));
    templateCombo = new QComboBox(page);
    templateCombo->setObjectName(QStringLiteral("ComboBox1"));
    templateCombo->setEditable(false);
    templateCombo->setFocusPolicy(Qt::ClickFocus);
    insertButton = new QPushButton(QStringLiteral("挿入"), page);
    insertButton->setObjectName(QStringLiteral("Button3"));
    insertButton->setFocusPolicy(Qt::ClickFocus);
    row2->addWidget(label3);
    row2->addWidget(templateCombo, 1);
    row2->addWidget(insertButton);
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
    ruler = new QLabel(panel2);
    ruler->setObjectName(QStringLiteral("Panel3"));
    ruler->setFont(fixed);
    ruler->setAutoFillBackground(true);
    QPalette rulerPal = ruler->palette();
    rulerPal.setColor(QPalette::Window, Qt::white);
    rulerPal.setColor(QPalette::WindowText, Qt::blue);
    ruler->setPalette(rulerPal);
    bodyEdit = new QTextEdit(panel2);
    bodyEdit->setObjectName(QStringLiteral("RichEdit1"));
    bodyEdit->setAcceptRichText(false);
    bodyEdit->setFont(fixed);
    bodyEdit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    panelLayout->addWidget(ruler, 0, Qt::AlignLeft);
    // The body keeps to the left; ApplyColumnSize caps its width, the stretch takes the rest.
    auto *bodyRow = new QHBoxLayout;
    bodyRow->setSpacing(0);
    bodyRow->addWidget(bodyEdit, 1);
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
    historyList = HistoryPage->historyList;
    historyPreview = HistoryPage->preview;
    connect(HistoryPage, &THistoryPage::loaded, this, [this] { pages->setCurrentWidget(HistoryPage); });
    connect(HistoryPage, &THistoryPage::startDelivery, this, &TMainForm::StartMailThread);
    connect(HistoryPage, &THistoryPage::commandsChanged, this, &TMainForm::updateHistoryCommands);
    // An ended delivery has changed its issue's state.
    connect(Deliveries, &DeliveryManager::Ended, HistoryPage, &THistoryPage::refreshStates);
    connect(HistoryPage, &THistoryPage::editIssue, this, [this](const QString &subject, const QString &body) {
        Composer->setMail(subject, body);
        pages->setCurrentWidget(mailPage);
    });
    return HistoryPage;
}

void TMainForm::createLayout()
{
    setWindowTitle(QStringLiteral("ツバメ便"));
    resize(731, 732);
    createMenus();
    createToolBar();

    mainSplitter = new QSplitter(Qt::Horizontal, this);
    mainSplitter->setObjectName(QStringLiteral("Splitter1"));
    magazineList = new TMagazineList(*Magazine, mainSplitter);
    connect(magazineList, &QTreeWidget::itemSelectionChanged, this, &TMainForm::ListView1SelectItem);
    connect(magazineList, &TMagazineList::editRequested, this, &TMainForm::E2Click);

    pages = new QTabWidget(mainSplitter);
    pages->setObjectName(QStringLiteral("PageControl1"));
    memberPage = createMemberPage();
    action(QStringLiteral("Bounces1Click"))->setChecked(memberList->ShowBounces());
    mailPage = createComposerPage();
    createSendPage();
    createHistoryPage();
    memberPage->setObjectName(QStringLiteral("TabSheet1"));
    mailPage->setObjectName(QStringLiteral("TabSheet2"));
    SendPage->setObjectName(QStringLiteral("TabSheet4"));
    HistoryPage->setObjectName(QStringLiteral("TabSheet5"));
    pages->addTab(memberPage, QStringLiteral("メンバー管理"));
    pages->addTab(mailPage, QStringLiteral("メール"));
    pages->addTab(SendPage, QStringLiteral("メール送信"));
    pages->addTab(HistoryPage, QStringLiteral("履歴"));

    mainSplitter->setStretchFactor(0, 0);
    mainSplitter->setStretchFactor(1, 1);
    mainSplitter->setSizes({177, 731 - 177});
    setCentralWidget(mainSplitter);
    createStatusBar();
    setupIssuePages();
}
