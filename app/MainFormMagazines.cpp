// Magazine list and magazine commands. Each command only says which magazine is current
// afterwards: the lists, the pages and the name beside the toolbar follow the change.
#include "MainForm.h"

#include "MagazineList.h"
#include "MemberList.h"
#include "members/CurrentMagazine.h"
#include "members/MagazineEntry.h"
#include "members/ui/FMagMailDlg.h"
#include "members/ui/FMagzineDlg.h"
#include "members/UMagazineChoice.h"
#include "store/MagazineSql.h"
#include "widgets/Command.h"
#include "widgets/MessageBox.h"
#include "widgets/WaitCursor.h"

void TMainForm::chooseMagazine(int magIdx)
{
    WaitCursor wait;
    Command::run(this, [this, magIdx] { Magazine->choose(magIdx); });
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
    // The list is read again with nothing selected, so no magazine stays current, as after a
    // deletion.
    chooseMagazine(MagazineChoice::None);
    LoadMagazineList();
}

void TMainForm::E2Click()
{
    const auto selected = magazineList->selectedItems();
    if (selected.isEmpty())
        return;
    QTreeWidgetItem *item = selected.first();
    const int magIdx = TMagazineList::magIdxOf(item);
    MagazineRecord stored;
    if (!Command::run(this, [&] { stored = MagazineEntry::stored(magIdx); }))
        return;
    TMagzineDlg dlg(DataDir, this);
    wireMagazineDialog(dlg);
    dlg.setRecord(stored);
    dlg.setSave(MagazineEntry::save);
    if (dlg.exec() != QDialog::Accepted)
        return;
    item->setText(0, dlg.record().name);
    if (magIdx == Magazine->CurMagIdx())
        chooseMagazine(magIdx);
}

void TMainForm::D2Click()
{
    if (!HasMagazine())
        return;
    const int r = FindMagazineRow();
    const QString caption = r >= 0 ? magazineList->topLevelItem(r)->text(0) : QString();
    if (MessageBox::confirm(this, QStringLiteral("「%1」を削除します。よろしいですか？").arg(caption),
                            MessageBox::Buttons::YesNoCancel)
        != MessageBox::Answer::Yes)
        return;
    WaitCursor wait;
    const int magIdx = Magazine->CurMagIdx();
    const bool deleted = Command::run(this, [magIdx] { MagazineSql::removeWithMembers(magIdx); });
    if (!deleted)
        return;
    // Nothing is selected once the row goes: the list would otherwise select its neighbour,
    // and choose that magazine, on the way to none.
    magazineList->setCurrentItem(nullptr);
    if (r >= 0)
        delete magazineList->takeTopLevelItem(r);
    // Member and send commands must not act on the deleted magazine.
    chooseMagazine(MagazineChoice::None);
}

void TMainForm::MailSettings1Click()
{
    if (!RequireMagazine())
        return;
    const int r = FindMagazineRow();
    TMagMailDlg dlg(Magazine->CurMagIdx(), r >= 0 ? magazineList->topLevelItem(r)->text(0) : QString(), this);
    dlg.exec();
}

void TMainForm::ListView1SelectItem()
{
    const auto selected = magazineList->selectedItems();
    if (selected.isEmpty())
        return;
    const int magIdx = TMagazineList::magIdxOf(selected.first());
    if (magIdx == Magazine->CurMagIdx())
        return;
    chooseMagazine(magIdx);
}
