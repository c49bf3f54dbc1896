// Deliveries seen from the main window: the mail-server settings and their dialog, starting
// delivery workers, the progress they report, and stopping them when the window closes.
#include "MainForm.h"

#include "mail/DeliveryManager.h"
#include "mail/DeliveryProgress.h"
#include "mail/ui/FConnDlg.h"
#include "mail/DeliverySummary.h"
#include "members/UAddress.h"
#include "store/Database.h"
#include "store/SendSettings.h"
#include "store/SendStates.h"
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
    // The user hears how a delivery ended unless it was paused (by the user, or by closing:
    // the next start offers the rest) or could not start (its error box has said why).
    connect(Deliveries, &DeliveryManager::Summary, this, [this](const DeliverySummary &summary) {
        if (m_closing || summary.end == DeliveryEnd::Paused || summary.end == DeliveryEnd::NotStarted)
            return;
        MessageBox::info(this, DeliverySummaryText(summary));
    });
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
    Deliveries->pauseAll(kStopWaitMs);
}

void TMainForm::PauseDelivery()
{
    Deliveries->pause(Progress->CurMagIdx(), Progress->CurMagCnt());
}

void TMainForm::ResumeDelivery()
{
    const int magIdx = Progress->CurMagIdx();
    const int magCnt = Progress->CurMagCnt();
    if (Deliveries->isRunning(magIdx, magCnt))
        return;
    qint64 open = 0;
    if (!Command::run(this, [&] { open = SendStates::counts(magIdx, magCnt).open(); }))
        return;
    StartMailThread(magIdx, magCnt, int(open));
}

void TMainForm::CancelDelivery()
{
    const int magIdx = Progress->CurMagIdx();
    const int magCnt = Progress->CurMagCnt();
    // A delivery that ends while the question is open has nothing left to cancel: the
    // question goes with it, unanswered.
    const auto answer = MessageBox::confirm(
        this,
        QStringLiteral("この号の配信を中止しますか？\r\n"
                       "まだ送っていないメンバーは失敗として記録されます。"),
        MessageBox::Buttons::YesNo, [this, magIdx, magCnt](const std::function<void()> &close) {
            return connect(Progress, &DeliveryProgress::deliveryEnded, this, [=](int endedIdx, int endedCnt) {
                if (endedIdx == magIdx && endedCnt == magCnt)
                    close();
            });
        });
    if (answer != MessageBox::Answer::Yes)
        return;
    if (Deliveries->isRunning(magIdx, magCnt)) {
        Deliveries->cancel(magIdx, magCnt);
        return;
    }
    Deliveries->cancelStopped(magIdx, magCnt);
}

void TMainForm::finishDeliveries()
{
    if (Deliveries->running() > 0)
        Deliveries->waitForAll(kStopWaitMs);
}
