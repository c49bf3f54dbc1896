// Bulk changes of member flags, counters and dates: for the selected members (the visible
// cells are patched in place) or for every member of the magazine (the list is reloaded).
#include "MainForm.h"

#include "MemberList.h"

#include "maintenance/ui/FCountDlg.h"
#include "maintenance/ui/FDateDlg.h"
#include "maintenance/UBulkUpdate.h"
#include "members/CurrentMagazine.h"
#include "members/MemberListModel.h"
#include "members/UMemberTable.h"
#include "widgets/Command.h"
#include "widgets/MessageBox.h"
#include "widgets/WaitCursor.h"

namespace {

// The selected member rows from top to bottom, and their members.
struct MemberSelection {
    TMemberListModel *model = nullptr;
    QList<int> rows;
    QList<int> userIdx;
};

MemberSelection selectedMembers(const TMemberList *list)
{
    MemberSelection sel;
    sel.model = list->memberModel();
    sel.rows = list->selectedRowNumbers();
    sel.userIdx.reserve(sel.rows.size());
    for (int row : sel.rows)
        sel.userIdx << sel.model->userIdx(row);
    return sel;
}

// Writes one text into the field's cell of every selected row, when the field is shown.
void patchCells(const MemberSelection &sel, int column, const QString &text)
{
    if (column < 0)
        return;
    for (int row : sel.rows)
        sel.model->setCell(row, column, text);
}

} // namespace

void TMainForm::A4Click(int tag)
{
    if (!RequireMagazine())
        return;
    if (!BulkUpdate::isFlagTag(tag))
        return;
    const MemberSelection sel = selectedMembers(ListView2);
    if (sel.rows.isEmpty())
        return;
    const int magIdx = Magazine->CurMagIdx();
    Command::run(this, [&] {
        WaitCursor wait;
        BulkUpdate::updateSelected(BulkUpdate::flagChange(tag), magIdx, sel.userIdx);
        patchCells(sel, ListView2->columnOf(BulkUpdate::flagField(tag)),
                   MemberCells::flag(BulkUpdate::flagTagSetsOn(tag)));
    });
}

void TMainForm::N15Click(int tag)
{
    if (!HasMagazine() || (tag != 1 && tag != 2))
        return;
    const MemberSelection sel = selectedMembers(ListView2);
    if (sel.rows.isEmpty())
        return;
    TCountDlg dlg(this);
    dlg.setFieldName(Magazine->MagFieldNames()[size_t(tag == 1 ? 3 : 4)]);
    if (dlg.exec() != QDialog::Accepted)
        return;
    const int mode = dlg.mode();
    const qint64 value = dlg.value();
    const int magIdx = Magazine->CurMagIdx();
    Command::run(this, [&] {
        WaitCursor wait;
        BulkUpdate::updateSelected(BulkUpdate::counterChange(tag, mode, value), magIdx, sel.userIdx);
        const int column = ListView2->columnOf(BulkUpdate::counterField(tag));
        if (column < 0)
            return;
        if (mode == BulkUpdate::SetValue) {
            patchCells(sel, column, MemberCells::count(value));
            return;
        }
        // After adding or subtracting, show what the store now holds: the cell may have
        // been out of date (a delivery counts its recipients up when it completes).
        const QHash<int, qint64> now = BulkUpdate::storedCounters(tag, magIdx, sel.userIdx);
        for (qsizetype i = 0; i < sel.rows.size(); ++i) {
            const auto it = now.constFind(sel.userIdx[i]);
            if (it != now.constEnd())
                sel.model->setCell(sel.rows[i], column, MemberCells::count(it.value()));
        }
    });
}

void TMainForm::N16Click(int tag)
{
    if (!HasMagazine() || (tag != 1 && tag != 2))
        return;
    const MemberSelection sel = selectedMembers(ListView2);
    if (sel.rows.isEmpty())
        return;
    TDateDlg dlg(this);
    dlg.setFieldName(Magazine->MagFieldNames()[size_t(tag == 1 ? 5 : 6)]);
    dlg.setDate(QDate::currentDate());
    if (dlg.exec() != QDialog::Accepted)
        return;
    const QDate day = dlg.date();
    const int magIdx = Magazine->CurMagIdx();
    Command::run(this, [&] {
        WaitCursor wait;
        BulkUpdate::updateSelected(BulkUpdate::dateChange(tag, day), magIdx, sel.userIdx);
        patchCells(sel, ListView2->columnOf(BulkUpdate::dateField(tag)),
                   MemberCells::date(day.toString(QStringLiteral("yyyyMMdd"))));
    });
}

void TMainForm::OFF11Click(int tag)
{
    if (!RequireMagazine())
        return;
    const auto target = BulkUpdate::resetTarget(tag);
    if (!target)
        return;
    const QString fieldName = Magazine->MagFieldNames()[size_t(target->nameIndex)];
    QDate day;
    if (target->needsDate) {
        TDateDlg dlg(this);
        dlg.setFieldName(fieldName);
        dlg.setDate(QDate::currentDate());
        if (dlg.exec() != QDialog::Accepted)
            return;
        day = dlg.date();
    }
    if (MessageBox::confirm(this, BulkUpdate::resetQuestion(fieldName), MessageBox::Buttons::YesNoCancel)
        != MessageBox::Answer::Yes)
        return;
    const int magIdx = Magazine->CurMagIdx();
    const bool done = Command::run(this, [&] {
        WaitCursor wait;
        BulkUpdate::resetAll(BulkUpdate::resetChange(*target, day), magIdx);
    });
    if (done)
        LoadMemberRows(magIdx);
}
