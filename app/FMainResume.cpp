// Deliveries a closed or killed run left unfinished, offered for resumption at start.
#include "FMain.h"

#include "issue/DeliveryOffers.h"
#include "store/SendStates.h"
#include "widgets/Command.h"
#include "widgets/MessageBox.h"

void TMainForm::offerResume()
{
    QList<IssueStateRow> issues;
    if (!Command::run(this, [&issues] { issues = SendStates::resumable(); }) || issues.isEmpty())
        return;
    if (MessageBox::confirm(this, DeliveryOffers::resumeQuestion(issues), MessageBox::Buttons::YesNo)
        != MessageBox::Answer::Yes)
        return;
    // Each delivery takes its issue's lock when it starts; a killed run's "sending"
    // recipients are settled as unknown then, and are not among those it sends to.
    for (const IssueStateRow &issue : issues)
        StartMailThread(issue.MagIdx, issue.MagCnt, int(DeliveryOffers::resumeCount(issue.counts)));
}
