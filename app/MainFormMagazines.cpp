// Magazine list and magazine commands.
#include "MainForm.h"

#include "HistoryPage.h"
#include "MagazineList.h"
#include "MemberList.h"
#include "issue/ui/FSendPage.h"
#include "members/CurrentMagazine.h"
#include "members/MagazineEntry.h"
#include "members/ui/FMagMailDlg.h"
#include "members/ui/FMagzineDlg.h"
#include "members/UMagazineChoice.h"
#include "members/UMemberRecord.h"
#include "store/Database.h"
#include "widgets/Command.h"
#include "widgets/MessageBox.h"
#include "widgets/WaitCursor.h"

#include <QLabel>
#include <QLineEdit>

void TMainForm::ShowMagazine(int magIdx)
{
    WaitCursor wait;
    Command::run(this, [this, magIdx] {
        const auto m = MagazineSql::load(magIdx);
        if (!m)
            return;
        Magazine->setTexts(m->fieldNames, m->sign);
    });
}

void TMainForm::wireMagazineDialog(TMagzineDlg &dlg)
{
    // The editor is modal over the magazine dialog, which lists the signatures again after it.
    connect(&dlg, &TMagzineDlg::SignatureEditRequested, this,
            [this, &dlg](const QString &fileName) { EditSignature(&dlg, fileName); }, Qt::DirectConnection);
}

void TMainForm::A2Click()
{
    {
        TMagzineDlg dlg(DataDir, this);
        wireMagazineDialog(dlg);
        dlg.setSave(MagazineEntry::save);
        dlg.exec();
    }
    Magazine->choose(MagazineChoice::None);
    MagNamePanel->clear();
    LoadMagazineList();
}

void TMainForm::E2Click()
{
    const auto selected = ListView1->selectedItems();
    if (selected.isEmpty())
        return;
    QTreeWidgetItem *item = selected.first();
    MagazineRecord stored;
    if (!Command::run(this, [&] { stored = MagazineEntry::stored(TMagazineList::magIdxOf(item)); }))
        return;
    TMagzineDlg dlg(DataDir, this);
    wireMagazineDialog(dlg);
    dlg.setRecord(stored);
    dlg.setSave(MagazineEntry::save);
    if (dlg.exec() != QDialog::Accepted)
        return;
    item->setText(0, dlg.record().name);
    if (TMagazineList::magIdxOf(item) == Magazine->CurMagIdx())
        MagNamePanel->setText(dlg.record().name);
    ShowMagazine(Magazine->CurMagIdx());
    BuildMemberColumns();
}

void TMainForm::D2Click()
{
    if (!HasMagazine())
        return;
    const int r = FindMagazineRow();
    const QString caption = r >= 0 ? ListView1->topLevelItem(r)->text(0) : QString();
    if (MessageBox::confirm(this, QStringLiteral("「%1」を削除します。よろしいですか？").arg(caption),
                            MessageBox::Buttons::YesNoCancel)
        != MessageBox::Answer::Yes)
        return;
    WaitCursor wait;
    const int magIdx = Magazine->CurMagIdx();
    const bool deleted = Command::run(this, [magIdx] { MagazineSql::removeWithMembers(magIdx); });
    if (!deleted)
        return;
    if (r >= 0)
        delete ListView1->takeTopLevelItem(r);
    // No magazine is current any more: member and send commands must not act on the
    // deleted one, so its name, columns and rows go too.
    Magazine->choose(MagazineChoice::None);
    MagNamePanel->clear();
    BuildMemberColumns();
    LoadMemberRows(-1);
    HistoryPage->clear();
}

void TMainForm::MailSettings1Click()
{
    if (!RequireMagazine())
        return;
    const int r = FindMagazineRow();
    TMagMailDlg dlg(Magazine->CurMagIdx(), r >= 0 ? ListView1->topLevelItem(r)->text(0) : QString(), this);
    dlg.exec();
}

void TMainForm::ListView1SelectItem()
{
    const auto selected = ListView1->selectedItems();
    if (selected.isEmpty())
        return;
    ListView2->saveColumnWidths();
    QTreeWidgetItem *item = selected.first();
    const int magIdx = TMagazineList::magIdxOf(item);
    if (magIdx == Magazine->CurMagIdx())
        return;
    ListView1->markCurrent(item);
    Magazine->choose(magIdx);
    MagNamePanel->setText(item->text(0));
    ShowMagazine(magIdx);
    BuildMemberColumns();
    LoadMemberRows(magIdx);
    HistoryPage->clear();
}
