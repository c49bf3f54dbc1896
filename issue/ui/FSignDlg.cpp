#include "issue/ui/FSignDlg.h"

#include "issue/UTextFile.h"
#include "members/USignName.h"
#include "widgets/FileDialog.h"
#include "widgets/MessageBox.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

TSignDlg::TSignDlg(const QString &dataDir, QWidget *parent) : QDialog(parent), m_dataDir(dataDir)
{
    setObjectName(QStringLiteral("SignDlg"));
    setWindowTitle(QStringLiteral("署名"));
    resize(480, 320);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto *bands = new QHBoxLayout;
    bands->setContentsMargins(2, 2, 2, 2);
    commandMenuBar = new QMenuBar(this);
    commandMenuBar->setObjectName(QStringLiteral("MenuBar1"));
    QMenu *menu = commandMenuBar->addMenu(QStringLiteral("操作(&S)"));
    QAction *open = menu->addAction(QStringLiteral("開く(&O)"));
    open->setObjectName(QStringLiteral("Open1"));
    QAction *saveAs = menu->addAction(QStringLiteral("名前を付けて保存(&A)"));
    saveAs->setObjectName(QStringLiteral("SaveAs1"));
    QAction *save = menu->addAction(QStringLiteral("上書き保存(&S)"));
    save->setObjectName(QStringLiteral("Save1"));
    menu->addSeparator();
    QAction *close = menu->addAction(QStringLiteral("閉じる(&X)"));
    close->setObjectName(QStringLiteral("Close1"));
    bands->addWidget(commandMenuBar);

    const auto tool = [this, bands](const char *name, const QString &hint, QStyle::StandardPixmap icon) {
        auto *b = new QToolButton(this);
        b->setObjectName(QString::fromLatin1(name));
        b->setToolTip(hint);
        b->setIcon(style()->standardIcon(icon));
        b->setAutoRaise(true);
        bands->addWidget(b);
        return b;
    };
    openButton = tool("ToolButton1", QStringLiteral("ファイルを開く"), QStyle::SP_DialogOpenButton);
    saveButton = tool("ToolButton2", QStringLiteral("上書き保存"), QStyle::SP_DialogSaveButton);
    closeButton = tool("ToolButton3", QStringLiteral("閉じる"), QStyle::SP_DialogCloseButton);
    FileNameBand = new QLabel(this);
    FileNameBand->setObjectName(QStringLiteral("FileNameBand"));
    FileNameBand->setContentsMargins(8, 0, 0, 0);
    bands->addWidget(FileNameBand, 1);
    layout->addLayout(bands);

    textMemo = new QPlainTextEdit(this);
    textMemo->setObjectName(QStringLiteral("Memo1"));
    layout->addWidget(textMemo, 1);

    connect(open, &QAction::triggered, this, &TSignDlg::Open1Click);
    connect(saveAs, &QAction::triggered, this, &TSignDlg::SaveAs1Click);
    connect(save, &QAction::triggered, this, &TSignDlg::Save1Click);
    connect(close, &QAction::triggered, this, &TSignDlg::Close1Click);
    connect(openButton, &QToolButton::clicked, this, &TSignDlg::Open1Click);
    connect(saveButton, &QToolButton::clicked, this, &TSignDlg::Save1Click);
    connect(closeButton, &QToolButton::clicked, this, &TSignDlg::Close1Click);
}

QString TSignDlg::signFolder() const
{
    return SignatureFolder(m_dataDir);
}

QString TSignDlg::fileOf(const QString &name)
{
    const QString path = SignaturePath(m_dataDir, name);
    if (path.isEmpty())
        MessageBox::error(this, QStringLiteral("署名のファイル名が正しくありません。"
                                               "署名フォルダ内のファイル名を指定してください。"));
    return path;
}

void TSignDlg::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    FormShow();
}

void TSignDlg::FormShow()
{
    textMemo->clear();
    FileNameBand->clear();
    // A name that is no bare file name names no signature: nothing is read, and saving
    // asks for a name.
    const QString path = SignaturePath(m_dataDir, SignFileName);
    if (path.isEmpty()) {
        SignFileName.clear();
        return;
    }
    QStringList lines;
    QString error;
    if (!TextFile::readLines(path, &lines, &error)) {
        MessageBox::error(this, error);
        return;
    }
    textMemo->setPlainText(lines.join(QLatin1Char('\n')));
    FileNameBand->setText(SignFileName);
}

void TSignDlg::Open1Click()
{
    const QString chosen = FileDialog::open(this, QString(), signFolder(), QStringLiteral("テキストファイル(*.txt)"));
    if (chosen.isEmpty())
        return;
    // Signatures live in the sign folder whatever folder the dialog was in.
    const QString name = QFileInfo(chosen).fileName();
    const QString path = fileOf(name);
    if (path.isEmpty())
        return;
    QStringList lines;
    QString error;
    if (!TextFile::readLines(path, &lines, &error)) {
        MessageBox::error(this, error);
        return;
    }
    textMemo->setPlainText(lines.join(QLatin1Char('\n')));
    SignFileName = name;
    FileNameBand->setText(name);
}

bool TSignDlg::writeTo(const QString &name)
{
    const QString path = fileOf(name);
    if (path.isEmpty())
        return false;
    QDir().mkpath(signFolder());
    QString error;
    if (!TextFile::writeLines(path, TextFile::splitLines(textMemo->toPlainText()), &error)) {
        MessageBox::error(this, error);
        return false;
    }
    return true;
}

void TSignDlg::SaveAs1Click()
{
    const QString chosen = FileDialog::save(this, QString(), signFolder(), QStringLiteral("テキストファイル(*.txt)"),
                                            QStringLiteral("txt"));
    if (chosen.isEmpty())
        return;
    const QString name = QFileInfo(chosen).fileName();
    const QString target = fileOf(name);
    if (target.isEmpty())
        return;
    // A file chosen outside the signature folder is written inside it: ask about that one.
    if (QFileInfo(target).absoluteFilePath() != QFileInfo(chosen).absoluteFilePath()
        && !FileDialog::confirmReplace(this, target))
        return;
    if (!writeTo(name))
        return;
    SignFileName = name;
    FileNameBand->setText(name);
}

void TSignDlg::Save1Click()
{
    if (SignFileName.isEmpty()) {
        SaveAs1Click();
        return;
    }
    writeTo(SignFileName);
}

void TSignDlg::Close1Click()
{
    reject();
}
