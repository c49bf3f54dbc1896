// Start-up, settings, closing, refresh, page switching and the help commands.
#include "FMain.h"

#include "FVerDlg.h"
#include "issue/UTemplates.h"
#include "members/ui/MagazineGuard.h"
#include "members/UMagazineChoice.h"
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
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSplitter>
#include <QTabWidget>
#include <QTextEdit>
#include <QTreeView>
#include <QTreeWidget>

namespace {

QString vendorRoot()
{
    return QStringLiteral("http://") + QStringLiteral(TSUBAME_VENDOR_HOST) + QLatin1Char('/');
}

} // namespace

TMainForm::TMainForm(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("MainForm"));
    createLayout();
    setupDeliveries();
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
    DocDir = Folders::docDir();
    QDir().mkpath(DocDir);
    DataDir = Folders::dataDir();

    MagSortColumn = 0;
    MemberSortColumn = 0;
    CurMagIdx = MagazineChoice::None;
    CustomCondSql.clear();
    SendingCount = 0;
    ColumnMap.fill(-1);

    // A new machine has no store yet: make the folder and an empty store. A file that is
    // there but is not a store is left alone and the program ends.
    QDir().mkpath(DataDir);
    QString why;
    if (!Store::open(Folders::storeFile(DataDir), &why)) {
        MessageBox::warning(this, dbOpenErrorText(why));
        return;
    }

    SendTotal = 0;
    SentCount = 0;

    RichEdit1->clear();
    RichEdit1->setCurrentFont(RichEdit1->font());
    Edit1->clear();

    PageControl1->setCurrentWidget(TabSheet2);
    ComboBox1->addItems(Templates::Items());
    // No template is chosen until the user picks one: "挿入" then inserts nothing.
    ComboBox1->setCurrentIndex(-1);

    QDir().mkdir(DataDir + QStringLiteral("sign"));
    QDir().mkdir(DataDir + QStringLiteral("where"));

    markInstalledUpdates();
    LoadWindowSettings();
    RefreshConnInfo();

    connect(PageControl1, &QTabWidget::currentChanged, this, &TMainForm::PageControl1Change);
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

    ColumnSize = s->value(QStringLiteral("ColumnSize"), 40).toInt();
    ApplyColumnSize();

    if (s->contains(QStringLiteral("List1Width0"))) {
        const int w = s->value(QStringLiteral("List1Width0")).toInt();
        Splitter1->setSizes({w, qMax(1, width() - w)});
    }
    for (int i = 0; i < 2; ++i) {
        const QString name = QStringLiteral("List1Width%1").arg(i + 1);
        if (s->contains(name))
            ListView1->setColumnWidth(i, s->value(name).toInt());
    }

    BuildMemberColumns();

    for (int i = 0; i < ListView4->columnCount(); ++i) {
        const QString name = QStringLiteral("List4Width%1").arg(i + 1);
        if (s->contains(name))
            ListView4->setColumnWidth(i, s->value(name).toInt());
    }
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
    m_getVersion = TGetVersion::launch(versionText(), this);
}

bool TMainForm::FormCloseQuery()
{
    if (SendingCount > 0) {
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

void TMainForm::saveMemberColumnWidths()
{
    const auto s = AppSettings::open();
    const int n = ListView2->header()->count();
    for (int i = 0; i < n; ++i)
        s->setValue(QStringLiteral("List2Width%1").arg(i + 1), ListView2->header()->sectionSize(i));
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
    s->setValue(QStringLiteral("List1Width0"), Splitter1->sizes().value(0));
    s->setValue(QStringLiteral("List1Width1"), ListView1->columnWidth(0));
    s->setValue(QStringLiteral("List1Width2"), ListView1->columnWidth(1));
    saveMemberColumnWidths();
    for (int i = 0; i < ListView4->columnCount(); ++i)
        s->setValue(QStringLiteral("List4Width%1").arg(i + 1), ListView4->columnWidth(i));
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

bool TMainForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ListView2 && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Delete && key->modifiers() == Qt::NoModifier) {
            yu1Click();
            return true;
        }
        if (key->key() == Qt::Key_Insert && key->modifiers() == Qt::NoModifier) {
            A1Click();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

QString TMainForm::dbOpenErrorText(const QString &reason)
{
    const QString text = QStringLiteral("Application Error! DB Open Error");
    return reason.isEmpty() ? text : text + QStringLiteral("\n\n") + reason;
}

bool TMainForm::HasMagazine() const
{
    return MagazineChoice::isChosen(CurMagIdx);
}

bool TMainForm::RequireMagazine()
{
    return ::RequireMagazine(this, CurMagIdx);
}

void TMainForm::ShowMemberCount()
{
    const int row = FindMagazineRow();
    if (row < 0 || row >= ListView1->topLevelItemCount())
        return;
    const int count = ListView2->model() ? ListView2->model()->rowCount() : 0;
    ListView1->topLevelItem(row)->setText(1, QString::number(count));
}

void TMainForm::N45Click()
{
    LoadMemberRows(CurMagIdx);
}

void TMainForm::PageControl1Change(int index)
{
    if (PageControl1->widget(index) == TabSheet5)
        H1Click();
}

void TMainForm::MailSent(int count)
{
    SentCount += count;
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
