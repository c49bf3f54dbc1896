// The window's commands and events on its lists: each list does the work itself.
#include "MainForm.h"

#include "HistoryPage.h"
#include "MagazineList.h"
#include "MemberList.h"
#include "members/MemberListModel.h"

#include <QTabWidget>

void TMainForm::LoadMagazineList()
{
    ListView1->LoadMagazineList();
}

int TMainForm::FindMagazineRow() const
{
    return ListView1->FindMagazineRow();
}

void TMainForm::ListView1ColumnClick(int column)
{
    ListView1->ListView1ColumnClick(column);
}

void TMainForm::ShowMemberCount()
{
    ListView1->ShowMemberCount(ListView2->memberModel()->rowCount());
}

void TMainForm::BuildMemberColumns()
{
    ListView2->BuildMemberColumns();
}

void TMainForm::LoadMemberRows(int magIdx)
{
    ListView2->LoadMemberRows(magIdx);
}

void TMainForm::ListView2ColumnClick(int column)
{
    ListView2->ListView2ColumnClick(column);
}

void TMainForm::O1Click()
{
    ListView2->O1Click();
}

void TMainForm::A1Click()
{
    ListView2->A1Click();
}

void TMainForm::E3Click()
{
    ListView2->E3Click();
}

void TMainForm::yu1Click()
{
    ListView2->yu1Click();
}

void TMainForm::S2Click()
{
    ListView2->S2Click();
}

void TMainForm::DroppedTextReady()
{
    ListView2->DroppedTextReady();
}

void TMainForm::OleDropTarget1Drop(const QString &text)
{
    ListView2->OleDropTarget1Drop(text);
}

void TMainForm::H1Click()
{
    HistoryPage->H1Click();
}

void TMainForm::LoadHistoryList()
{
    HistoryPage->LoadHistoryList();
}

void TMainForm::ListView4SelectItem()
{
    HistoryPage->ListView4SelectItem();
}

void TMainForm::E4Click()
{
    HistoryPage->E4Click();
}

void TMainForm::M1Click(int tag)
{
    HistoryPage->M1Click(tag);
}

void TMainForm::Resume1Click()
{
    HistoryPage->Resume1Click();
}

void TMainForm::Resend1Click()
{
    HistoryPage->Resend1Click();
}

void TMainForm::updateHistoryCommands()
{
    action(QStringLiteral("Resume1Click"))->setEnabled(HistoryPage->canResumeSelected());
    action(QStringLiteral("Resend1Click"))->setEnabled(HistoryPage->canResendSelected());
}

void TMainForm::D4Click()
{
    // Show what is left rather than issues that no longer exist.
    if (HistoryPage->D4Click() && PageControl1->currentWidget() == TabSheet5)
        LoadHistoryList();
}
