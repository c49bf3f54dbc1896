// Start-up, settings, closing, refresh, page switching and the help commands.
#include "MainForm.h"

#include "FVerDlg.h"
#include "HistoryPage.h"
#include "MagazineList.h"
#include "issue/ui/FComposer.h"
#include "MemberList.h"
#include "mail/DeliveryProgress.h"
#include "members/CurrentMagazine.h"
#include "issue/UTemplates.h"
#include "members/ui/MagazineGuard.h"
#include "store/AppSettings.h"
#include "store/Database.h"
#include "store/Folders.h"
#include "store/UpdateRows.h"
#include "update/UGetVersion.h"
#include "widgets/MessageBox.h"
#include "widgets/Shell.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QSplitter>
#include <QTabWidget>
#include <QTextEdit>
#include <QTreeWidget>

namespace {

QString vendorRoot()
{
    return TGetVersion::vendorBaseUrl().toString();
}

} // namespace

TMainForm::TMainForm(QWidget *parent)
    : QMainWindow(parent), Magazine(new CurrentMagazine(this)), DocDir(Folders::docDir()), DataDir(Folders::dataDir())
{
    setObjectName(QStringLiteral("MainForm"));
    // The status bar shows the deliveries' progress: it comes first.
    setupDeliveries();
    createLayout();
    FormCreate();
}

TMainForm::~TMainForm()
{
    stopUpdateCheck();
    // Closing has asked the deliveries to stop already; whatever still runs ends before
    // the window it reports to goes away.
    finishDeliveries();
}

TMainForm::Version TMainForm::programVersion()
{
    return {TSUBAME_VERSION_MAJOR, TSUBAME_VERSION_MINOR, TSUBAME_VERSION_PATCH, TSUBAME_BUILD_NUMBER};
}

QString TMainForm::versionText()
{
    const Version v = programVersion();
    return QString::asprintf("%.2d%.2d%.2d", v.major, v.minor, v.release);
}

void TMainForm::FormCreate()
{
    QDir().mkpath(DocDir);

    // A new machine has no store yet: make the folder and an empty store. A file that is
    // there but is not a store is left alone and the program ends.
    QDir().mkpath(DataDir);
    QString why;
    if (!Store::open(Folders::storeFile(DataDir), &why)) {
        MessageBox::warning(this, dbOpenErrorText(why));
        return;
    }

    bodyEdit->clear();
    bodyEdit->setCurrentFont(bodyEdit->font());
    subjectEdit->clear();

    pages->setCurrentWidget(mailPage);
    templateCombo->addItems(Templates::Items());
    // No template is chosen until the user picks one: "挿入" then inserts nothing.
    templateCombo->setCurrentIndex(-1);

    QDir().mkdir(DataDir + QStringLiteral("sign"));
    QDir().mkdir(DataDir + QStringLiteral("where"));

    markInstalledUpdates();
    LoadWindowSettings();
    RefreshConnInfo();

    connect(pages, &QTabWidget::currentChanged, this, &TMainForm::PageControl1Change);
    m_startedOk = true;
}

void TMainForm::markInstalledUpdates()
{
    try {
        Transaction t;
        UpdateRows::markInstalled(versionText());
        t.commit();
    } catch (const StoreError &) {
        // the guard has rolled back; start-up goes on without a word
    }
}

void TMainForm::LoadWindowSettings()
{
    const auto s = AppSettings::open();
    // "left" and "top" are where the frame goes, "Width" and "height" the inside size, exactly
    // as the close writes them: the same thing both ways, so a window manager's frame does not
    // shift the window at every start.
    QSize size = this->size();
    if (s->contains(QStringLiteral("Width")))
        size.setWidth(s->value(QStringLiteral("Width")).toInt());
    if (s->contains(QStringLiteral("height")))
        size.setHeight(s->value(QStringLiteral("height")).toInt());
    if (size != this->size())
        resize(size);
    QPoint at = pos();
    if (s->contains(QStringLiteral("left")))
        at.setX(s->value(QStringLiteral("left")).toInt());
    if (s->contains(QStringLiteral("top")))
        at.setY(s->value(QStringLiteral("top")).toInt());
    if (s->contains(QStringLiteral("left")) || s->contains(QStringLiteral("top")))
        move(at);

    Composer->ColumnSize = s->value(QStringLiteral("ColumnSize"), 40).toInt();
    ApplyColumnSize();

    if (s->contains(QStringLiteral("List1Width0"))) {
        const int w = s->value(QStringLiteral("List1Width0")).toInt();
        mainSplitter->setSizes({w, qMax(1, width() - w)});
    }
    magazineList->loadColumnWidths();

    BuildMemberColumns();

    HistoryPage->loadColumnWidths();
}

void TMainForm::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!m_shown && m_startedOk) {
        m_shown = true;
        FormShow();
    }
}

void TMainForm::FormShow()
{
    LoadMagazineList();
    offerResume();
    m_getVersion = TGetVersion::launch(versionText(), TGetVersion::vendorBaseUrl(), this);
}

bool TMainForm::FormCloseQuery()
{
    if (Progress->SendingCount() > 0) {
        const auto answer = MessageBox::confirm(this, QStringLiteral("送信中のメールがあります。中断して終了しますか？"),
                                                MessageBox::Buttons::YesNo);
        if (answer != MessageBox::Answer::Yes)
            return false;
    }
    return true;
}

void TMainForm::countWaitingUpdates()
{
    try {
        const qint64 waiting = UpdateRows::countWaiting();
        if (waiting > 0)
            MessageBox::info(this, QString::number(waiting)
                                       + QStringLiteral("個のアップデートファイルがあります\r\nマイドキュメント\\ツバメ便 "
                                                        "フォルダを確認してください\r\n"));
    } catch (const StoreError &e) {
        MessageBox::error(this, e.text());
    }
}

void TMainForm::saveWindowSettings()
{
    const auto s = AppSettings::open();
    // The frame's position (what move() takes at the next start) and the inside size (what
    // resize() takes); see LoadWindowSettings.
    s->setValue(QStringLiteral("Width"), width());
    s->setValue(QStringLiteral("height"), height());
    s->setValue(QStringLiteral("left"), pos().x());
    s->setValue(QStringLiteral("top"), pos().y());
    s->setValue(QStringLiteral("List1Width0"), mainSplitter->sizes().value(0));
    magazineList->saveColumnWidths();
    memberList->saveColumnWidths();
    HistoryPage->saveColumnWidths();
}

void TMainForm::FormClose()
{
    StopDeliveries();
    // A download in flight is abandoned at once rather than waited for.
    if (m_getVersion)
        m_getVersion->requestStop();
    countWaitingUpdates();
    saveWindowSettings();
    stopUpdateCheck();
    Store::close();
}

void TMainForm::stopUpdateCheck()
{
    if (!m_getVersion)
        return;
    TGetVersion *worker = m_getVersion;
    // A stop aborts the request in flight; the thread ends within moments.
    if (worker->stop(3000)) {
        delete worker;
    } else {
        // Still busy (a file system that does not answer): let it end with the process.
        // It touches the store no more, and a running thread must not be destroyed.
        worker->setParent(nullptr);
        m_getVersion = nullptr;
    }
}

void TMainForm::closeEvent(QCloseEvent *event)
{
    if (!m_startedOk || m_closing) {
        event->accept();
        return;
    }
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    m_closing = true;
    FormClose();
    event->accept();
}

void TMainForm::X2Click()
{
    close();
}

void TMainForm::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    if (m_startedOk)
        ApplyColumnSize();
}

QString TMainForm::dbOpenErrorText(const QString &reason)
{
    const QString text = QStringLiteral("Application Error! DB Open Error");
    return reason.isEmpty() ? text : text + QStringLiteral("\n\n") + reason;
}

bool TMainForm::HasMagazine() const
{
    return Magazine->isChosen();
}

bool TMainForm::RequireMagazine()
{
    return ::RequireMagazine(this, Magazine->CurMagIdx());
}

void TMainForm::PageControl1Change(int index)
{
    if (pages->widget(index) == HistoryPage)
        H1Click();
}

void TMainForm::Contents1Click()
{
    // The help page travels inside the program; the browser needs it as a file.
    const QString path = DataDir + QStringLiteral("help.html");
    QFile page(QStringLiteral(":/help/help.html"));
    QFile out(path);
    if (page.open(QIODevice::ReadOnly) && out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        out.write(page.readAll());
    out.close();
    Shell::open(QUrl::fromLocalFile(path));
}

void TMainForm::N37Click()
{
    Shell::open(QUrl(vendorRoot() + QStringLiteral("tsubame/update.php")));
}

void TMainForm::S6Click()
{
    Shell::open(QUrl(vendorRoot()));
}

void TMainForm::V1Click()
{
    TVerDlg dlg(this);
    dlg.exec();
}
