// Changing a field for 100,000 selected members from the main window, against one plain
// update of the same rows.
//
//   bulk.flag_selection      every row selected, "フラグ１" ON (A4Click): the store updated in
//                            chunks in one transaction and the changed rows read again, seconds
//                            (best of 3)
//   bulk.counter_selection   every row selected, counter 1 plus 1 (N15Click, dialog answered):
//                            the update and the cells rewritten from the store, seconds (best of 3)
//   bulk.single_update       "update MagUser set Flg1 = 1 where MagIdx = 1" through the store,
//                            seconds (best of 3)
//   ratio bulk.flag_selection_vs_single_update   bulk.single_update / bulk.flag_selection
#include "app/MainForm.h"
#include "members/CurrentMagazine.h"
#include "fakes/ModalDialog.h"
#include "fakes/TestEnv.h"
#include "maintenance/ui/FCountDlg.h"
#include "members/MemberListModel.h"
#include "members/UMemberOrder.h"
#include "store/Database.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QSqlQuery>
#include <QTreeView>
#include <QTreeWidget>

#include <cstdio>

namespace {

constexpr int kMembers = 100000;

void fillStore()
{
    Transaction t;
    QSqlQuery q(Store::connection());
    q.exec(QStringLiteral("insert into Magzine (MagIdx,MagName,Owner,Adrs,Atena,Flg1Name,Flg2Name,Flg3Name,"
                          "Count1Name,Count2Name,UserDate1Name,UserDate2Name,UseUserName) values "
                          "(1,'大きなマガジン','発行者','owner@example.jp','様','フラグ１','フラグ２','フラグ３',"
                          "'カウンタ１','カウンタ２','日付１','日付２',0)"));
    q.prepare(QStringLiteral("insert into MagUser (MagIdx,UserIdx,UserName,UserAdrs,Flg1,Flg2,Flg3,Sleep,Count1,"
                             "Count2,UserDate1,UserDate2,AddDate) values (1,?,?,?,0,0,0,0,?,0,'','','20240101')"));
    for (int i = 1; i <= kMembers; ++i) {
        q.addBindValue(i);
        q.addBindValue(QStringLiteral("会員%1").arg(i));
        q.addBindValue(QStringLiteral("user%1@example.jp").arg(i));
        q.addBindValue(i % 5000);
        if (!q.exec())
            qFatal("insert failed");
    }
    t.commit();
}

double seconds(const std::function<void()> &work)
{
    double best = 1e9;
    for (int round = 0; round < 3; ++round) {
        QElapsedTimer t;
        t.start();
        work();
        QApplication::processEvents();
        best = std::min(best, double(t.nsecsElapsed()) / 1e9);
    }
    return best;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    TestEnv env;
    env.openStore();
    fillStore();
    MemberOrder::save(1, QStringLiteral("M:1,A:1,F1:1,C1:1,U:0,F2:0,F3:0,C2:0,D1:0,D2:0,S:0,"));

    TMainForm form;
    form.resize(1000, 700);
    form.show();
    QApplication::processEvents();
    form.magazineList->setCurrentItem(form.magazineList->topLevelItem(0));
    QApplication::processEvents();
    auto *model = qobject_cast<TMemberListModel *>(form.memberList->model());
    if (form.Magazine->CurMagIdx() != 1 || !model || model->rowCount() != kMembers)
        qFatal("members not listed");
    form.memberList->selectAll();

    const double flag = seconds([&] {
        form.action("A4Click", 1)->trigger();
    });
    if (Statement().scalar(QStringLiteral("select count(*) from MagUser where Flg1 = 1")) != kMembers
        || model->cell(kMembers - 1, 2) != QStringLiteral("ON"))
        qFatal("flags not changed");

    const double counter = seconds([&] {
        ModalDialog::whenShown<TCountDlg>([](TCountDlg *d) {
            d->valueSpin->setValue(1);
            d->addRadio->setChecked(true);
            d->okButton->click();
        });
        form.action("N15Click", 1)->trigger();
    });
    if (Statement().scalar(QStringLiteral("select count(*) from MagUser where Count1 = UserIdx % 5000 + 3"))
        != kMembers)
        qFatal("counters not changed");

    const double single = seconds([] {
        Statement().exec(QStringLiteral("update MagUser set Flg1 = 1 where MagIdx = 1"));
    });

    std::printf("bulk.flag_selection: %.3f s\n", flag);
    std::printf("bulk.counter_selection: %.3f s\n", counter);
    std::printf("bulk.single_update: %.3f s\n", single);
    std::printf("ratio bulk.flag_selection_vs_single_update: %.3f\n", single / flag);
    form.close();
    return 0;
}
