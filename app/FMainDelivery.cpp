// Deliveries seen from the main window: the mail-server settings and their dialog, starting
// delivery workers, the progress they report, and stopping them when the window closes.
#include "FMain.h"

#include "mail/DeliveryManager.h"
#include "mail/DeliveryProgress.h"
#include "mail/ui/FConnDlg.h"
#include "members/UAddress.h"
#include "store/Database.h"
#include "store/SendSettings.h"
#include "store/ServerSettings.h"
#include "widgets/Command.h"
#include "widgets/MessageBox.h"
#include "widgets/WaitCursor.h"

#include <QStatusBar>

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
    if (dlg.exec() != QDialog::Accepted)
        return;
    {
        WaitCursor wait;
        try {
            ServerSettings::save(dlg.settings());
            SendSettings::save(dlg.deliverySettings());
        } catch (const StoreError &) {
            // Rolled back without a word; the copy below is read from the rows as they are.
        }
    }
    RefreshConnInfo();
}

void TMainForm::setupDeliveries()
{
    Deliveries = new DeliveryManager(this);
    Progress = new DeliveryProgress(*Deliveries, this);
    connect(Deliveries, &DeliveryManager::RepaintStatus, this, [this] { statusBar()->update(); });
    connect(Deliveries, &DeliveryManager::ErrorBox, this, [this](const QString &text) { MessageBox::error(this, text); });
}

void TMainForm::StartMailThread(int magIdx, int magCnt, int recipients)
{
    TMailThread::Settings settings;
    settings.isValidAddress = IsValidAddress;
    settings.DocDir = DocDir;
    Deliveries->start(magIdx, magCnt, recipients, settings);
}

void TMainForm::StopDeliveries()
{
    if (Deliveries->running() == 0)
        return;
    WaitCursor wait;
    Deliveries->stopAll();
    Deliveries->waitForAll(kStopWaitMs);
}

void TMainForm::finishDeliveries()
{
    if (Deliveries->running() > 0)
        Deliveries->waitForAll(kStopWaitMs);
}
