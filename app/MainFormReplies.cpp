// What comes back to the sender: unsubscribe requests and delivery reports.
#include "MainForm.h"

#include "members/CurrentMagazine.h"
#include "mail/ui/FInboxDlg.h"

void TMainForm::Inbox1Click()
{
    TInboxDlg dlg(this);
    dlg.exec();
    if (!dlg.ran() || !HasMagazine())
        return;
    const InboxSummary &s = dlg.summary();
    // Members may have been suspended or removed: the list shows them as stored now.
    if (s.membersChanged()) {
        LoadMemberRows(Magazine->CurMagIdx());
        ShowMemberCount();
    }
}
