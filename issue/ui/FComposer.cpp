#include "issue/ui/FComposer.h"

#include "issue/ui/FColSetDlg.h"
#include "issue/UComposeText.h"
#include "issue/UTemplates.h"
#include "issue/UTextFile.h"
#include "members/CurrentMagazine.h"
#include "members/ui/MagazineGuard.h"
#include "members/USignName.h"
#include "widgets/FileDialog.h"
#include "widgets/MessageBox.h"

#include <QComboBox>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextEdit>

TComposer::TComposer(const CurrentMagazine &magazine, const QString &dataDir, const Widgets &w, QWidget *window)
    : QObject(window), m_magazine(magazine), m_dataDir(dataDir), m_w(w), m_window(window)
{
    // A narrow margin keeps the ruler's columns over the body's columns.
    m_w.bodyEdit->document()->setDocumentMargin(2);
    m_w.bodyEdit->setLineWrapMode(QTextEdit::WidgetWidth);
    // A long ruler is cut off at the panel's edge; it must not widen the window.
    m_w.rulerLabel->setMinimumWidth(1);
    // The ruler shows as much as fits; its full text must not widen the window or push
    // the magazine pane aside.
    m_w.rulerLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    connect(m_w.templateButton, &QPushButton::clicked, this, &TComposer::Button3Click);
    connect(m_w.bodyEdit, &QTextEdit::textChanged, this, &TComposer::RichEdit1Change);
    RichEdit1Change();
}

QString TComposer::subject() const
{
    return m_w.subjectEdit->text();
}

QString TComposer::body() const
{
    return ComposeText::WithCrLf(m_w.bodyEdit->toPlainText());
}

void TComposer::setMail(const QString &subject, const QString &body)
{
    m_w.subjectEdit->setText(subject);
    QString plain = body;
    plain.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    m_w.bodyEdit->setPlainText(plain);
}

int TComposer::insertAtCaret(const QString &text, bool moveCaret)
{
    QString plain = text;
    plain.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    plain.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QTextEdit *edit = m_w.bodyEdit;
    QTextCursor caret = edit->textCursor();
    const int p = caret.selectionStart();
    if (edit->document()->isEmpty()) {
        edit->setPlainText(plain);
        return 0;
    }
    // The body is written back as a whole: the text goes in at p, a selection stays.
    QString all = edit->toPlainText();
    all.insert(qMin<qsizetype>(p, all.size()), plain);
    edit->setPlainText(all);
    QTextCursor c = edit->textCursor();
    c.setPosition(moveCaret ? p + int(plain.size()) : p);
    edit->setTextCursor(c);
    return p;
}

void TComposer::Button3Click()
{
    const QString item = m_w.templateCombo->currentText();
    const int index = Templates::itemOf(item);
    if (index == Templates::Signature) {
        InsertSignature();
        return;
    }
    if (index == Templates::FromFile) {
        InsertTextFile();
        return;
    }
    const QString text = Templates::Text(index, clock());
    const bool wasEmpty = m_w.bodyEdit->document()->isEmpty();
    insertAtCaret(text, true);
    if (wasEmpty) {
        QTextCursor c = m_w.bodyEdit->textCursor();
        c.setPosition(int(text.size()));
        m_w.bodyEdit->setTextCursor(c);
    }
    m_w.bodyEdit->setFocus();
}

void TComposer::insertFile(const QString &path)
{
    QStringList lines;
    QString error;
    if (!TextFile::readLines(path, &lines, &error)) {
        MessageBox::error(m_window, error);
        return;
    }
    insertAtCaret(TextFile::joinCrLf(lines), false);
}

void TComposer::InsertTextFile()
{
    const QString path = FileDialog::open(m_window, QString(), QString(),
                                          QStringLiteral("テキストファイル(*.txt);;ファイル(*.*)"));
    if (path.isEmpty() || !QFileInfo::exists(path))
        return;
    insertFile(path);
}

void TComposer::InsertSignature()
{
    if (!RequireMagazine(m_window, m_magazine.CurMagIdx()))
        return;
    // A Sign value that is not a bare file name (a restored backup may hold any text) names
    // no signature: nothing is read.
    const QString path = SignaturePath(m_dataDir, m_magazine.MagSign());
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return;
    insertFile(path);
}

void TComposer::RichEdit1Change()
{
    if (m_w.StatusPanel)
        m_w.StatusPanel->setText(QStringLiteral("%1 文字").arg(ComposeText::ByteCount(m_w.bodyEdit->toPlainText())));
}

void TComposer::N34Click()
{
    m_w.subjectEdit->clear();
    m_w.bodyEdit->clear();
}

void TComposer::ApplyColumnSize()
{
    QTextEdit *edit = m_w.bodyEdit;
    m_w.rulerLabel->setText(ComposeText::Ruler(ColumnSize));
    // Ruler characters start where the body's text starts.
    const int textLeft = edit->frameWidth() + int(edit->document()->documentMargin());
    m_w.rulerLabel->setContentsMargins(textLeft, 0, 0, 0);

    const int w = QFontMetrics(edit->font()).horizontalAdvance(QLatin1Char('A'));
    const int wanted = w + w * 2 * qMax(0, ColumnSize);
    const int available = m_w.bodyPanel->contentsRect().width();
    // The body's client area is the viewport; the frame and the scroll bar come on top.
    const int chrome = 2 * edit->frameWidth() + edit->verticalScrollBar()->sizeHint().width();
    const int width = available < wanted + chrome ? available : wanted + chrome;
    edit->setMinimumWidth(0);
    edit->setMaximumWidth(qMax(1, width));
}

bool TComposer::K1Click()
{
    TColSetDlg dlg(m_window);
    if (dlg.exec() != QDialog::Accepted)
        return false;
    ColumnSize = dlg.value();
    ApplyColumnSize();
    return true;
}
