// The window's commands and events on its lists: each list does the work itself.
#include "MainForm.h"

#include "HistoryPage.h"
#include "MagazineList.h"
#include "MemberList.h"
#include "members/MemberListModel.h"

#include <QTabWidget>

void TMainForm::LoadMagazineList()
{
    magazineList->LoadMagazineList();
}

int TMainForm::FindMagazineRow() const
{
    return magazineList->FindMagazineRow();
}

void TMainForm::ListView1ColumnClick(int column)
{
    magazineList->ListView1ColumnClick(column);
}

void TMainForm::ShowMemberCount()
{
    magazineList->ShowMemberCount(memberList->memberModel()->rowCount());
}

void TMainForm::BuildMemberColumns()
{
    memberList->BuildMemberColumns();
}

void TMainForm::LoadMemberRows(int magIdx)
{
    memberList->LoadMemberRows(magIdx);
}

void TMainForm::ListView2ColumnClick(int column)
{
    memberList->ListView2ColumnClick(column);
}

void TMainForm::O1Click()
{
    memberList->O1Click();
}

void TMainForm::A1Click()
{
    memberList->A1Click();
}

void TMainForm::E3Click()
{
    memberList->E3Click();
}

void TMainForm::yu1Click()
{
    memberList->yu1Click();
}

void TMainForm::S2Click()
{
    memberList->S2Click();
}

void TMainForm::OleDropTarget1Drop(const QString &text)
{
    memberList->OleDropTarget1Drop(text);
}

void TMainForm::N45Click()
{
    memberList->N45Click();
}

void TMainForm::C4Click()
{
    memberList->C4Click();
}

void TMainForm::Find1Click()
{
    memberList->Find1Click();
}

void TMainForm::U2Click()
{
    memberList->U2Click();
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
    if (HistoryPage->D4Click() && pages->currentWidget() == HistoryPage)
        LoadHistoryList();
}
