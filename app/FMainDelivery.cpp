// Deliveries seen from the main window: the mail-server settings and their dialog, and
// stopping running delivery workers when the window closes.
#include "FMain.h"

#include "mail/UMailThread.h"
#include "mail/ui/FConnDlg.h"
#include "widgets/Command.h"
#include "widgets/WaitCursor.h"

namespace {
// Closing waits this long at most for deliveries to wrap up (each gives up on a silent
// server within a fraction of a second once asked to stop).
constexpr int kStopWaitMs = 60000;
} // namespace

void TMainForm::RefreshConnInfo()
{
    Command::run(this, [this] { Conn = LoadConnInfo(); });
}

void TMainForm::C1Click()
{
    TConnDlg dlg(Conn, this);
    if (dlg.exec() == QDialog::Accepted)
        RefreshConnInfo();
}

void TMainForm::StopDeliveries()
{
    if (TMailThread::Running() == 0)
        return;
    WaitCursor wait;
    TMailThread::RequestStopAll();
    TMailThread::WaitForAll(kStopWaitMs);
}
