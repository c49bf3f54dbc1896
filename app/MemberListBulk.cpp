// One member field (a flag, a counter or a date) changed for the selected members, whose rows
// are then read again, or reset for every member of the magazine, whose list is reloaded.
#include "MemberList.h"

#include "maintenance/ui/FCountDlg.h"
#include "maintenance/ui/FDateDlg.h"
#include "maintenance/UBulkUpdate.h"
#include "members/CurrentMagazine.h"
#include "members/MemberListModel.h"
#include "members/ui/MagazineGuard.h"
#include "widgets/Command.h"
#include "widgets/MessageBox.h"
#include "widgets/WaitCursor.h"

void TMemberList::changeSelected(const QList<int> &members, const BulkUpdateRecords::Change &change)
{
    const int magIdx = m_magazine.CurMagIdx();
    Command::run(window(), [&] {
        WaitCursor wait;
        BulkUpdate::updateSelected(change, magIdx, members);
        m_model->refresh(magIdx, members);
    });
}

void TMemberList::A4Click(MemberField flag, bool on)
{
    if (!RequireMagazine(window(), m_magazine.CurMagIdx()))
        return;
    const QList<int> members = selectedMembers();
    if (!members.isEmpty())
        changeSelected(members, BulkUpdate::flagChange(flag, on));
}

void TMemberList::N15Click(MemberField counter)
{
    const QList<int> members = selectedMembers();
    if (members.isEmpty())
        return;
    TCountDlg dlg(window());
    dlg.setFieldName(m_magazine.MagFieldNames()[MemberFields::nameIndex(counter)]);
    if (dlg.exec() != QDialog::Accepted)
        return;
    // Adding or subtracting starts from what the store holds, which may be ahead of the cell
    // (a delivery counts its recipients up when it completes): the rows are read again.
    changeSelected(members, BulkUpdate::counterChange(counter, dlg.mode(), dlg.value()));
}

void TMemberList::N16Click(MemberField date)
{
    const QList<int> members = selectedMembers();
    if (members.isEmpty())
        return;
    TDateDlg dlg(window());
    dlg.setFieldName(m_magazine.MagFieldNames()[MemberFields::nameIndex(date)]);
    dlg.setDate(QDate::currentDate());
    if (dlg.exec() != QDialog::Accepted)
        return;
    changeSelected(members, BulkUpdate::dateChange(date, dlg.date()));
}

void TMemberList::OFF11Click(MemberField field)
{
    if (!RequireMagazine(window(), m_magazine.CurMagIdx()))
        return;
    const QString fieldName = m_magazine.MagFieldNames()[MemberFields::nameIndex(field)];
    QDate day;
    if (MemberFields::isDate(field)) {
        TDateDlg dlg(window());
        dlg.setFieldName(fieldName);
        dlg.setDate(QDate::currentDate());
        if (dlg.exec() != QDialog::Accepted)
            return;
        day = dlg.date();
    }
    if (MessageBox::confirm(window(), BulkUpdate::resetQuestion(fieldName), MessageBox::Buttons::YesNoCancel)
        != MessageBox::Answer::Yes)
        return;
    const int magIdx = m_magazine.CurMagIdx();
    const bool done = Command::run(window(), [&] {
        WaitCursor wait;
        BulkUpdate::resetAll(BulkUpdate::resetChange(field, day), magIdx);
    });
    if (done)
        LoadMemberRows(magIdx);
}
