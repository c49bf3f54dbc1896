// Member list and member commands.
#include "FMain.h"

#include "HeaderSort.h"
#include "ListWidths.h"
#include "members/ui/FDispOptDlg.h"
#include "members/ui/FUserDlg.h"
#include "members/MemberEntry.h"
#include "members/MemberListModel.h"
#include "members/UAddress.h"
#include "members/UMemberOrder.h"
#include "store/AppSettings.h"
#include "store/Database.h"
#include "widgets/Command.h"
#include "widgets/MessageBox.h"
#include "widgets/WaitCursor.h"

#include <QApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QTreeView>
#include <QTreeWidget>

#include <algorithm>

namespace {

// The member list's model, made on first use.
TMemberListModel *memberModel(QTreeView *view)
{
    if (auto *m = qobject_cast<TMemberListModel *>(view->model()))
        return m;
    auto *m = new TMemberListModel(view);
    m->setSleepIcon(view->style()->standardIcon(QStyle::SP_BrowserStop));
    view->setModel(m);
    return m;
}

// Selected member rows, top to bottom.
QList<int> selectedRows(QTreeView *view)
{
    QList<int> rows;
    if (!view->selectionModel())
        return rows;
    for (const QModelIndex &i : view->selectionModel()->selectedRows())
        rows << i.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

} // namespace

void TMainForm::BuildMemberColumns()
{
    TMemberListModel *model = memberModel(ListView2);
    ColumnMap.fill(-1);
    QHeaderView *header = ListView2->header();
    HeaderSort::clear(*header);
    const auto setting = MemberOrder::load(CurMagIdx);
    if (!setting) {
        model->setColumns({}, {});
        return;
    }
    const QList<int> fields = MemberOrder::shownColumns(*setting, int(ColumnMap.size()));
    const QStringList all =
        MemberOrder::captions(HasMagazine() ? MagFieldNames : MemberOrder::placeholderFieldNames());
    QStringList captions;
    for (int k = 0; k < fields.size(); ++k) {
        ColumnMap[size_t(k)] = fields[k];
        captions << all[fields[k]];
    }
    model->setColumns(fields, captions);
    const auto s = AppSettings::open();
    for (int n = 1; n <= fields.size(); ++n) {
        const QString name = QStringLiteral("List2Width%1").arg(n);
        header->resizeSection(n - 1, s->contains(name) ? s->value(name).toInt()
                                                        : ListWidths::fitColumn(ListView2, n - 1,
                                                                                ListWidths::memberSample(fields[n - 1])));
    }
}

void TMainForm::LoadMemberRows(int magIdx)
{
    TMemberListModel *model = memberModel(ListView2);
    WaitCursor wait;
    Command::run(this, [model, magIdx] { model->load(magIdx); });
}

void TMainForm::ListView2ColumnClick(int column)
{
    if (!HasMagazine())
        return;
    // The header's indicator changing sorts the rows, as after a click on the header itself.
    ListView2->header()->setSortIndicator(column, HeaderSort::nextOrder(*ListView2->header(), column));
}

void TMainForm::SortMembers(int column, Qt::SortOrder order)
{
    if (column < 0 || !HasMagazine())
        return;
    SortDescending = order == Qt::DescendingOrder;
    MemberSortColumn = column;
    ListView2->header()->setSortIndicatorShown(true);
    WaitCursor wait;
    memberModel(ListView2)->sortRows(column, SortDescending);
}

void TMainForm::O1Click()
{
    if (!RequireMagazine())
        return;
    TDispOptDlg dlg(CurMagIdx, MagFieldNames, this);
    if (dlg.exec() != QDialog::Accepted)
        return;
    BuildMemberColumns();
    LoadMemberRows(CurMagIdx);
}

void TMainForm::A1Click()
{
    if (!RequireMagazine())
        return;
    TUserDlg dlg(this);
    dlg.setRecord(MemberEntry::blank(CurMagIdx));
    dlg.setSave(MemberEntry::save);
    dlg.setFieldNames(MagFieldNames, true);
    if (dlg.exec() != QDialog::Accepted)
        return;
    TMemberListModel *model = memberModel(ListView2);
    model->appendRow(dlg.UserIdx(), dlg.SleepValue() == 1, MemberCells::cells(dlg.record(), model->fields()));
    ShowMemberCount();
}

void TMainForm::E3Click()
{
    if (!HasMagazine())
        return;
    const QList<int> rows = selectedRows(ListView2);
    if (rows.isEmpty())
        return;
    TMemberListModel *model = memberModel(ListView2);
    const int row = rows.first();
    MemberRecord stored;
    if (!Command::run(this, [&] { stored = MemberEntry::stored(CurMagIdx, model->userIdx(row)); }))
        return;
    TUserDlg dlg(this);
    dlg.setRecord(stored);
    dlg.setSave(MemberEntry::save);
    dlg.setFieldNames(MagFieldNames, true);
    if (dlg.exec() != QDialog::Accepted)
        return;
    const MemberRecord m = dlg.record();
    model->setRow(row, m.sleep, MemberCells::cells(m, model->fields()));
}

void TMainForm::yu1Click()
{
    if (!HasMagazine())
        return;
    const QList<int> rows = selectedRows(ListView2);
    if (rows.isEmpty())
        return;
    TMemberListModel *model = memberModel(ListView2);
    QString question;
    if (rows.size() > 1) {
        question = QStringLiteral("選択された複数のメンバーを削除します。よろしいですか？");
    } else {
        QString name = model->cell(rows.first(), 0);
        if (name.isEmpty())
            name = model->cell(rows.first(), 1);
        question = QStringLiteral("「%1」を削除します。よろしいですか？").arg(name);
    }
    if (MessageBox::confirm(this, question, MessageBox::Buttons::YesNoCancel) != MessageBox::Answer::Yes)
        return;
    WaitCursor wait;
    const int magIdx = CurMagIdx;
    Command::run(this, [&] {
        QList<int> userIdxs;
        for (int row : rows)
            userIdxs << model->userIdx(row);
        MemberSql::remove(magIdx, userIdxs);
        for (auto it = rows.crbegin(); it != rows.crend(); ++it)
            model->removeRow(*it);
    });
    ShowMemberCount();
}

void TMainForm::S2Click()
{
    if (!HasMagazine())
        return;
    const QList<int> rows = selectedRows(ListView2);
    if (rows.isEmpty())
        return;
    TMemberListModel *model = memberModel(ListView2);
    WaitCursor wait;
    const int magIdx = CurMagIdx;
    Command::run(this, [&] {
        QList<MemberSql::SleepChange> changes;
        for (int row : rows)
            changes.append({model->userIdx(row), !model->sleep(row)});
        MemberSql::setSleep(magIdx, changes);
        for (qsizetype i = 0; i < rows.size(); ++i)
            model->setSleep(rows[i], changes[i].sleep);
    });
}

void TMainForm::DroppedTextReady()
{
    const AddressText parsed = ParseAddressText(DroppedText);
    if (parsed.name.isEmpty() && parsed.address.isEmpty())
        return;
    // The drop target asks for a magazine first; should one be gone meanwhile, no member
    // may be written without one.
    if (!RequireMagazine())
        return;
    activateWindow();
    raise();
    MemberRecord added = MemberEntry::blank(CurMagIdx);
    added.name = parsed.name;
    added.address = parsed.address;
    TUserDlg dlg(this);
    dlg.setRecord(added);
    dlg.setSave(MemberEntry::save);
    dlg.setFieldNames(MagFieldNames, false);
    if (dlg.exec() != QDialog::Accepted)
        return;
    LoadMemberRows(CurMagIdx);
    ShowMemberCount();
}
