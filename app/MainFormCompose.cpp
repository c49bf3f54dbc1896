// The mail tab and the send tab: their behaviour lives in issue/ (TComposer, TSendPage);
// the main window hands them its widgets and what they need of it.
#include "MainForm.h"

#include "issue/ui/FComposer.h"
#include "issue/ui/FSendPage.h"
#include "issue/ui/FSignDlg.h"
#include "widgets/MessageBox.h"

#include <QLineEdit>
#include <QTabWidget>
#include <QTextEdit>

void TMainForm::setupIssuePages()
{
    Composer = new TComposer(*Magazine, DataDir,
                             {subjectEdit, templateCombo, insertButton, ruler, bodyEdit,
                              mailPage->findChild<QWidget *>(QStringLiteral("Panel2")), StatusPanels[0]},
                             this);
    TSendPage::Hooks hooks;
    hooks.smtpHost = [this] { return Conn.SmtpHost; };
    hooks.subject = [this] { return Composer->subject(); };
    hooks.body = [this] { return Composer->body(); };
    hooks.showComposer = [this](bool subject) {
        pages->setCurrentWidget(mailPage);
        if (subject)
            subjectEdit->setFocus();
        else
            bodyEdit->setFocus();
    };
    hooks.showPage = [this] { pages->setCurrentWidget(SendPage); };
    hooks.issueCreated = [this](int magIdx, int magCnt, int recipients) {
        LoadMemberRows(magIdx);
        StartMailThread(magIdx, magCnt, recipients);
    };
    SendPage->setHooks(hooks);
}

void TMainForm::EditSignature(QWidget *parent, const QString &fileName)
{
    TSignDlg dlg(DataDir, parent);
    dlg.SignFileName = fileName;
    dlg.exec();
}

void TMainForm::N34Click()
{
    Composer->N34Click();
}

void TMainForm::ApplyColumnSize()
{
    if (Composer)
        Composer->ApplyColumnSize();
}

void TMainForm::K1Click()
{
    Composer->K1Click();
}

// Attachments are not offered; the command stays hidden.
void TMainForm::F1Click() {}
