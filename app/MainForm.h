#pragma once
// The main window: it owns the current magazine and the delivery progress, holds the lists
// and pages, and routes each command to the list, page, unit or dialog that does the work.
// Handlers of one concern live in a file of their own (MainForm*.cpp).
#include "MagazineList.h"
#include "MemberList.h"
#include "mail/ConnInfo.h"

#include <QMainWindow>
#include <QPointer>

#include <functional>

class QAction;
class QLabel;
class QLineEdit;
class QComboBox;
class QMenu;
class QPushButton;
class QPlainTextEdit;
class QSplitter;
class QTabWidget;
class QTextEdit;
class QToolButton;
class QTreeView;
class QTreeWidget;
class QTreeWidgetItem;
class TGetVersion;
class TMagzineDlg;
class TComposer;
class CurrentMagazine;
class DeliveryProgress;
class TDeliveryControls;
class TSendPage;
class THistoryPage;
class DeliveryManager;

class TMainForm : public QMainWindow
{
    Q_OBJECT

public:
    explicit TMainForm(QWidget *parent = nullptr);
    ~TMainForm() override;

    // False when the store could not be opened; the program then ends.
    bool startedOk() const { return m_startedOk; }

    // Program version as major, minor, release, build.
    struct Version {
        int major, minor, release, build;
    };
    static Version programVersion();
    // "%.2d%.2d%.2d" of the version, as the update rows compare it (2.0.6 -> "020006").
    static QString versionText();

    // Operations other parts call.
    void LoadWindowSettings();
    void LoadMagazineList();
    // Makes the magazine (or none) current, read from the store; a failed read is shown.
    void chooseMagazine(int magIdx);
    int FindMagazineRow() const;
    void BuildMemberColumns();
    void LoadMemberRows(int magIdx);
    void ApplyColumnSize();
    void LoadHistoryList();
    // The current magazine's member count in the magazine list, from the member list.
    void ShowMemberCount();
    // The warning when the store cannot be opened, with the reason below the fixed first line.
    static QString dbOpenErrorText(const QString &reason);
    // True when a magazine is selected.
    bool HasMagazine() const;
    // The guard of every command that needs a magazine: warns when none is selected.
    bool RequireMagazine();
    // LoadConnInfo of the main window: the mail-server settings rows into Conn.
    void RefreshConnInfo();
    ConnInfo Conn;  // the main window's copy of the mail-server settings
    // StartMailThread: sends a committed issue to its recipients on a delivery worker of its own.
    void StartMailThread(int magIdx, int magCnt, int recipients);
    // The deliveries under way, and their progress that follows the manager's signals.
    DeliveryManager *Deliveries = nullptr;
    DeliveryProgress *Progress = nullptr;
    // The magazine selected in the magazine list.
    CurrentMagazine *Magazine = nullptr;
    // The documents folder + "/ツバメ便" (no trailing separator) and the data folder (ends
    // with "/"), fixed for the program's run.
    const QString DocDir;
    const QString DataDir;

    // Controls; each keeps its old name as its objectName, for look-ups by name.
    TMagazineList *magazineList = nullptr;    // ListView1
    TMemberList *memberList = nullptr;        // ListView2, with its own context menu
    QTreeWidget *historyList = nullptr;       // ListView4, on the history page
    QTabWidget *pages = nullptr;              // PageControl1
    QWidget *memberPage = nullptr;            // TabSheet1: the member list
    QWidget *mailPage = nullptr;              // TabSheet2: subject, templates, ruler and body
    QSplitter *mainSplitter = nullptr;        // Splitter1: magazine pane | pages
    QLabel *MagNamePanel = nullptr;           // name of the selected magazine, beside the toolbar
    QLineEdit *subjectEdit = nullptr;         // Edit1
    QComboBox *templateCombo = nullptr;       // ComboBox1
    QPushButton *insertButton = nullptr;      // Button3: "挿入"
    QLabel *ruler = nullptr;                  // Panel3: the column ruler over the body
    QTextEdit *bodyEdit = nullptr;            // RichEdit1
    QPlainTextEdit *historyPreview = nullptr; // Memo2: the selected issue's body
    QLabel *StatusPanels[4] = {};      // status bar panels 80, 80, 300, 50 pixels
    TDeliveryControls *DeliveryButtons = nullptr; // 一時停止 / 再開 / 中止 beside the progress
    TComposer *Composer = nullptr;     // the mail tab's behaviour
    TSendPage *SendPage = nullptr;     // TabSheet4: send conditions and the send command
    THistoryPage *HistoryPage = nullptr; // TabSheet5: the history list and its preview

    // Finds a menu action by its handler name and tag, the member list's context menu
    // ("popup_" handler) included (tests and the toolbar use it).
    QAction *action(const QString &handler, int tag = 0) const;

public Q_SLOTS:
    // ファイル
    void A2Click();
    void E2Click();
    void D2Click();
    void MailSettings1Click();
    void N34Click();
    void F1Click();
    void N42Click();
    void I1Click();
    void M3Click();
    void X1Click();
    void N39Click();
    void B1Click();
    void N46Click();
    void K1Click();
    void C1Click();
    void Inbox1Click();
    void X2Click();
    // メンバー管理
    void A1Click();
    void E3Click();
    void yu1Click();
    void C4Click();
    void S2Click();
    void U2Click();
    void Find1Click();
    void O1Click();
    void N45Click();
    // 履歴
    void H1Click();
    void M1Click(int tag);
    void E4Click();
    void D4Click();
    void Resume1Click();
    void Resend1Click();
    // ヘルプ
    void Contents1Click();
    void N37Click();
    void S6Click();
    void V1Click();

    // List and page events.
    void ListView1SelectItem();
    void ListView1ColumnClick(int column);
    void ListView2ColumnClick(int column);
    void ListView4SelectItem();
    void PageControl1Change(int index);
    // Text dropped on the member list: the list opens the member dialog once the drop has
    // returned to its source.
    void OleDropTarget1Drop(const QString &text);

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void FormCreate();
    void FormShow();
    bool FormCloseQuery();
    void FormClose();
    void markInstalledUpdates();
    void saveWindowSettings();
    void countWaitingUpdates();
    // MainFormDelivery.cpp: the delivery manager and the progress it feeds; stopping on close.
    void setupDeliveries();
    void StopDeliveries();  // asks running deliveries to stop, waits for them
    void finishDeliveries();  // waits for running deliveries to end
    // The progress area's buttons, for the delivery the progress follows.
    void PauseDelivery();
    void ResumeDelivery();
    void CancelDelivery();
    void stopUpdateCheck();
    // MainFormResume.cpp: at start, offers to resume the deliveries a closed or killed run left.
    void offerResume();
    // The history menu's commands on the selected issue follow what its state allows.
    void updateHistoryCommands();

    // Layout (MainFormLayout.cpp)
    void createLayout();
    void createMenus();
    void createToolBar();
    void createStatusBar();
    QWidget *createMemberPage();
    QWidget *createComposerPage();
    QWidget *createSendPage();
    void setupIssuePages(); // MainFormCompose.cpp
    QWidget *createHistoryPage();
    // The magazine dialog, with its signature link leading to the signature editor.
    void wireMagazineDialog(TMagzineDlg &dlg);
    void EditSignature(QWidget *parent, const QString &fileName);
    QAction *addCommand(QMenu *menu, const QString &caption, const QString &handler, int tag,
                        const std::function<void()> &slot);

    bool m_startedOk = false;
    bool m_shown = false;
    bool m_closing = false;
    QList<QAction *> m_commands;
    // The background update check while it runs; it deletes itself when it ends.
    QPointer<TGetVersion> m_getVersion;
};
