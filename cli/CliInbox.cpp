#include "cli/CliInbox.h"

#include "mail/InboxProcess.h"

#include <QCommandLineParser>

namespace Cli {

namespace {

int processInbox(bool keep)
{
    QString why;
    std::optional<InboxOptions> options = InboxOptionsFromStore(&why);
    if (!options) {
        say(why);
        return kNotStarted;
    }
    options->keep = keep;
    InboxSummary summary;
    {
        Progress progress(QStringLiteral("返信メール"));
        summary = ProcessInbox(
            *options, {}, [&progress](int done, int total) { progress.show(done, total); }, nullptr);
    }
    say(summary.text());
    const bool done = summary.end == InboxSummary::End::Done || summary.end == InboxSummary::End::Cancelled;
    return done ? kDone : kNotStarted;
}

} // namespace

void addInboxOptions(QCommandLineParser &p)
{
    p.addOption({QStringLiteral("keep"), QStringLiteral("メールボックスから何も削除しません。")});
}

CommandStart startInbox(const QCommandLineParser &p)
{
    const bool keep = p.isSet(QStringLiteral("keep"));
    return [keep] { return processInbox(keep); };
}

} // namespace Cli
