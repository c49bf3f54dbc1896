// Deliveries a closed or killed run left unfinished, offered for resumption at start.
#include "MainForm.h"

#include "issue/DeliveryOffers.h"
#include "store/SendStates.h"
#include "widgets/Command.h"
#include "widgets/MessageBox.h"

void TMainForm::offerResume()
{
    // One read of every issue's state serves both lists: the unfinished issues nobody
    // delivers (what resumable() gives), and those a live delivery holds, named with it.
    QList<IssueStateRow> issues;
    QList<DeliveryOffers::HeldIssue> held;
    const bool read = Command::run(this, [&issues, &held] {
        for (const IssueStateRow &issue : SendStates::issues()) {
            if (issue.state == IssueState::Stopped)
                issues << issue;
            else if (issue.state == IssueState::Running)
                if (const auto holder = SendLock::holder(issue.MagIdx, issue.MagCnt))
                    held << DeliveryOffers::HeldIssue{issue, *holder};
        }
    });
    if (!read || issues.isEmpty())
        return;
    if (MessageBox::confirm(this, DeliveryOffers::resumeQuestion(issues, held), MessageBox::Buttons::YesNo)
        != MessageBox::Answer::Yes)
        return;
    // Each delivery takes its issue's lock when it starts; a killed run's "sending"
    // recipients are settled as unknown then, and are not among those it sends to.
    for (const IssueStateRow &issue : issues)
        StartMailThread(issue.MagIdx, issue.MagCnt, int(DeliveryOffers::resumeCount(issue.counts)));
}
