// The targets and recipients views and the member list at a million members, side by side
// with the sqlite3 tool selecting the same rows (output to /dev/null), medians of 3:
//   scale.targets_100k / scale.targets_1m   "対象者表示" of every member: the view opened
//                                            and its first screen shown
//   scale.recipients_1m                      issue 1 of the 1,000,000-member store (with
//                                            per-recipient records)
//   scale.recipients_100k                    issue 130 of the 100,000-member store of 260
//                                            issues (recipient rows only)
//   scale.select_magazine_1m                 the main window's member list loading the magazine
//   scale.memory_1m                          peak resident memory of a separate run of this
//                                            program ("memory") that opens the main window on
//                                            the 1,000,000-member store and selects the magazine
#include "ScaleStores.h"
#include "app/MainForm.h"
#include "fakes/TestEnv.h"
#include "issue/ui/FHistDlg.h"
#include "issue/ui/MemberLinesModel.h"
#include "members/CurrentMagazine.h"
#include "members/MemberListModel.h"
#include "members/UMemberOrder.h"
#include "store/Database.h"
#include "store/Folders.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTreeView>
#include <QTreeWidget>

#include <cstdio>

using ScaleStores::Kind;

namespace {

void report(const char *step, double ours, double sqlite)
{
    std::printf("scale.%s.time: %.3f s\n", step, ours);
    std::printf("ratio scale.%s_vs_sqlite3: %.3f\n", step, ours / sqlite);
    std::fprintf(stderr, "%s: sqlite3 %.3f s\n", step, sqlite);
    std::fflush(stdout);
}

// Opens the list as the window does and lets it show its first screen.
double openView(THistDlg::Mode mode, int magCnt, int expectRows)
{
    return ScaleStores::medianOf3([&] {
        THistDlg dlg;
        dlg.ListMode = mode;
        dlg.ListMagIdx = 1;
        dlg.ListMagCnt = magCnt;
        dlg.ListWhere = Recipients::all(1);
        dlg.FormShow();
        dlg.show();
        QApplication::processEvents();
        if (dlg.model()->rowCount() < std::min(expectRows, 20))
            qFatal("the view shows %d rows", dlg.model()->rowCount());
    });
}

double sqlite(const QString &store, const char *select)
{
    return ScaleStores::medianOf3([&] { ScaleStores::runSqlite3(store, QByteArray(select) + ";\n"); });
}

const char *const kTargets =
    "select U.UserName,U.UserAdrs from MagUser U where U.Sleep = 0 and U.MagIdx = 1 and U.MagIdx = 1";
const char *const kStateRecipients =
    "select S.MagUser,U.UserName,U.UserAdrs,S.State,S.Attempts,S.NextTry,S.Reply from SendState S"
    " left join MagUser U on U.MagIdx = S.MagIdx and U.UserIdx = S.MagUser where S.MagIdx = 1 and S.MagCnt = 1"
    " order by S.MagUser";
const char *const kRecipients =
    "select U.UserName,U.UserAdrs,I.AddDate,I.Title from MagHist H,MagUser U,MagInfo I where H.MagIdx = 1"
    " and H.MagCnt = 130 and U.MagIdx = H.MagIdx and U.UserIdx = H.MagUser and I.MagIdx = H.MagIdx"
    " and I.MagCnt = H.MagCnt";

void views()
{
    const QString history = ScaleStores::cached(Kind::History);
    const QString members = ScaleStores::cached(Kind::Members);
    TestEnv env;
    QString why;
    if (!Store::open(history, &why))
        qFatal("%s", qPrintable(why));
    report("targets_100k", openView(THistDlg::Mode::Targets, 0, 95000), sqlite(history, kTargets));
    report("recipients_100k", openView(THistDlg::Mode::Recipients, 130, 100000), sqlite(history, kRecipients));
    Store::close();
    if (!Store::open(members, &why))
        qFatal("%s", qPrintable(why));
    report("targets_1m", openView(THistDlg::Mode::Targets, 0, 950000), sqlite(members, kTargets));
    report("recipients_1m", openView(THistDlg::Mode::Recipients, 1, 1000000), sqlite(members, kStateRecipients));
    {
        // For the record: scrolling to the very end of a million lines.
        THistDlg dlg;
        dlg.ListMagIdx = 1;
        dlg.ListWhere = Recipients::all(1);
        dlg.FormShow();
        QElapsedTimer t;
        t.start();
        dlg.model()->fetchAll();
        std::fprintf(stderr, "targets_1m: all %d lines read in %.2f s, peak %.0f MB\n", dlg.model()->rowCount(),
                     double(t.nsecsElapsed()) / 1e9, ScaleStores::peakMemoryMb());
    }
    Store::close();
}

// The main window on the million-member store (through a link, so the store is not copied),
// with the name and address columns shown; returns the window with the magazine selected.
void selectMagazine(TMainForm &form, int row)
{
    form.magazineList->setCurrentItem(form.magazineList->topLevelItem(row));
    QApplication::processEvents();
}

std::unique_ptr<TMainForm> windowOnMillion(TestEnv &env)
{
    QDir().mkpath(env.dataDir());
    QFile::link(ScaleStores::cached(Kind::Members), Folders::storeFile(env.dataDir()));
    MemberOrder::save(1, MemberOrder::defaultText());
    auto form = std::make_unique<TMainForm>();
    form->resize(1000, 700);
    form->show();
    QApplication::processEvents();
    if (form->magazineList->topLevelItemCount() < 1)
        qFatal("magazine not listed");
    return form;
}

void checkListed(TMainForm &form)
{
    auto *model = qobject_cast<TMemberListModel *>(form.memberList->model());
    if (!model || model->rowCount() != 1000000)
        qFatal("the list does not show every member");
}

void memory()
{
    TestEnv env;
    auto form = windowOnMillion(env);
    selectMagazine(*form, 0);
    checkListed(*form);
    std::printf("scale.memory_1m: %.0f MB\n", ScaleStores::peakMemoryMb());
    std::fflush(stdout);
    form.reset();
    Store::close();
}

void selectMagazineTime()
{
    TestEnv env;
    auto form = windowOnMillion(env);
    const double ours = ScaleStores::medianOf3(
        [&] {
            selectMagazine(*form, 0);
            checkListed(*form);
        },
        [&] {
            // Away from the magazine first, so each run loads it again.
            form->magazineList->clearSelection();
            form->Magazine->choose(-1);
            QApplication::processEvents();
        });
    form.reset();
    Store::close();
    report("select_magazine_1m", ours,
           sqlite(ScaleStores::cached(Kind::Members), "select * from maguser where magidx = 1"));
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    // The private HOME of each step must not hide the cache of the stores.
    const QString members = ScaleStores::cached(Kind::Members);
    ScaleStores::cached(Kind::History);
    qputenv("TSUBAME_BENCH_CACHE", QFileInfo(members).absolutePath().toLocal8Bit());
    if (argc > 1 && qstrcmp(argv[1], "memory") == 0) {
        memory();
        return 0;
    }
    views();
    selectMagazineTime();
    // A process of its own, so that the steps above do not raise the peak.
    QProcess run;
    run.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    run.start(QCoreApplication::applicationFilePath(), {QStringLiteral("memory")});
    run.waitForFinished(-1);
    std::fputs(run.readAllStandardOutput().constData(), stdout);
    return run.exitCode();
}
