// Recording an issue on a store that refuses to write (read-only, locked by another writer,
// full), and an after-send record that cannot be written: the user is told in a box with
// the store's reason; an issue that was not recorded is not sent.
#include "mail/DeliveryProgress.h"
#include "members/CurrentMagazine.h"
#include "app/MainForm.h"
#include "fakes/MailServers.h"
#include "fakes/StoreFixture.h"
#include "fakes/TestEnv.h"
#include "issue/ui/FSendPage.h"
#include "issue/UIssue.h"
#include "mail/DeliveryManager.h"
#include "store/Database.h"
#include "store/Sql.h"
#include "widgets/MessageBox.h"

#include <QLineEdit>
#include <QSqlError>
#include <QSqlQuery>
#include <QTextEdit>
#include <QTreeWidget>
#include <QtTest>

namespace {

const QString kLocker = QStringLiteral("another writer");

// Runs a statement on this thread's connection as it is, past the dialect translation.
bool raw(const QString &sql)
{
    QSqlQuery q(Store::connection());
    if (q.exec(sql))
        return true;
    qWarning("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
    return false;
}

void fillMagazine()
{
    StoreFixture::insert("Magzine", {{"MagIdx", 1}, {"MagName", "ツバメ通信"}, {"Owner", "ツバメ出版"},
                                     {"Adrs", "owner@example.jp"}, {"Atena", "読者各位"}, {"UseUserName", 1}});
    StoreFixture::insert("MagUser", {{"MagIdx", 1}, {"UserIdx", 1}, {"UserName", "山田"}, {"UserAdrs", "taro@example.jp"}, {"Sleep", 0}});
    StoreFixture::insert("MagUser", {{"MagIdx", 1}, {"UserIdx", 2}, {"UserName", "鈴木"}, {"UserAdrs", "hanako@example.jp"}, {"Sleep", 0}});
}

// The magazine selected with its mail written, the server at the given port.
void composeFor(TMainForm &form, quint16 port)
{
    fillMagazine();
    Statement().exec(QStringLiteral("insert into CommonTBL values(100,1,%1,0,0,'127.0.0.1','','')").arg(port));
    form.RefreshConnInfo();
    form.LoadMagazineList();
    form.magazineList->setCurrentItem(form.magazineList->topLevelItem(0));
    form.subjectEdit->setText(QStringLiteral("お知らせ"));
    form.bodyEdit->setPlainText(QStringLiteral("本文です。"));
}

// How the store refuses: 0 read-only, 1 locked by another writer, 2 full.
void refuse(int how)
{
    if (how == 0) {
        QVERIFY(raw("pragma query_only = 1"));
    } else if (how == 1) {
        QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), kLocker);
        other.setDatabaseName(Store::path());
        QVERIFY(other.open());
        QVERIFY(QSqlQuery(other).exec("begin immediate"));
        QVERIFY(raw("pragma busy_timeout = 200"));
    } else {
        QSqlQuery q(Store::connection());
        QVERIFY(q.exec("pragma page_count") && q.next());
        QVERIFY(raw(QStringLiteral("pragma max_page_count = %1").arg(q.value(0).toLongLong())));
    }
}

void release()
{
    if (QSqlDatabase::contains(kLocker)) {
        {
            QSqlDatabase other = QSqlDatabase::database(kLocker);
            QSqlQuery(other).exec("rollback");
            other.close();
        }
        QSqlDatabase::removeDatabase(kLocker);
    }
}

} // namespace

class TestIssueRecordFailure : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestEnv> env;

    static qint64 count(const char *table) { return Statement().scalar(QStringLiteral("select count(*) from ") + table); }

private Q_SLOTS:
    void init() { env = std::make_unique<TestEnv>(); }
    void cleanup()
    {
        release();
        env.reset();
    }

    void refusedRecordIsReportedAndNothingStarts_data()
    {
        QTest::addColumn<int>("how");
        QTest::addColumn<QString>("reason");
        QTest::newRow("read-only") << 0 << "readonly";
        QTest::newRow("locked") << 1 << "locked";
        QTest::newRow("full") << 2 << "full";
    }
    void refusedRecordIsReportedAndNothingStarts()
    {
        QFETCH(int, how);
        QFETCH(QString, reason);
        env->openStore();
        fillMagazine();
        refuse(how);

        IssueDraft draft;
        draft.inputs.magIdx = 1;
        draft.title = QStringLiteral("お知らせ");
        // big enough to need pages the full store does not have
        draft.body = QString(200000, u'あ');
        draft.now = QDateTime(QDate(2024, 2, 3), QTime(4, 5, 6));
        bool started = false;
        QString text;
        try {
            DispatchIssue(draft, [&](int, int, int) { started = true; });
        } catch (const StoreError &e) {
            text = e.text();
        }
        QVERIFY2(text.startsWith(IssueNotRecordedText() + QStringLiteral("\r\n")), qPrintable(text));
        QVERIFY2(text.contains(reason), qPrintable(text));
        QVERIFY(!started);
        release();
        raw("pragma query_only = 0");
        raw("pragma max_page_count = 1073741823");
        QCOMPARE(count("MagInfo"), 0);
        QCOMPARE(count("MagHist"), 0);
    }

    // Through the window: the send command shows the error box, no delivery starts.
    void sendCommandShowsTheBox()
    {
        SmtpTestServer::Options o;
        o.tls = false;
        SmtpTestServer server;
        QVERIFY2(server.start(o), qPrintable(server.error()));
        TMainForm form;
        QVERIFY(form.startedOk());
        composeFor(form, server.port());
        QCOMPARE(form.Magazine->CurMagIdx(), 1);
        refuse(0);

        MessageBox::takeShown();
        MessageBox::queueAnswer(MessageBox::Answer::Yes);
        form.SendPage->Button1Click();
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 2);
        QCOMPARE(shown[0].kind, MessageBox::Kind::Confirm);
        QCOMPARE(shown[1].kind, MessageBox::Kind::Error);
        QVERIFY2(shown[1].text.startsWith(IssueNotRecordedText() + QStringLiteral("\r\n")), qPrintable(shown[1].text));
        QVERIFY(shown[1].text.contains(QStringLiteral("readonly")));
        QCOMPARE(form.Deliveries->running(), 0);
        QCOMPARE(form.Progress->SendTotal(), 0);
        QTest::qWait(300);
        QVERIFY(server.received().isEmpty());
        raw("pragma query_only = 0");
        QCOMPARE(count("MagInfo"), 0);
    }

    // Every mail went out but the after-send record is refused: the window shows a box.
    void completionFailureShowsABox()
    {
        SmtpTestServer::Options o;
        o.tls = false;
        SmtpTestServer server;
        QVERIFY2(server.start(o), qPrintable(server.error()));
        TMainForm form;
        QVERIFY(form.startedOk());
        composeFor(form, server.port());
        QCOMPARE(form.Magazine->CurMagIdx(), 1);
        QVERIFY(raw("create trigger refuse_completion before update on MagHist "
                    "begin select raise(abort, 'database or disk is full'); end"));

        MessageBox::takeShown();
        MessageBox::queueAnswer(MessageBox::Answer::Yes);
        form.SendPage->Button1Click();
        QList<MessageBox::Shown> shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);  // the confirmation
        QCOMPARE(count("MagInfo"), 1);
        // The first mail goes; its record fails, and nothing more is sent.
        QVERIFY(server.waitFor(1, 30000));
        QTRY_VERIFY_WITH_TIMEOUT(form.Deliveries->running() == 0, 30000);
        shown = MessageBox::takeShown();
        QVERIFY(!shown.isEmpty());
        QCOMPARE(shown[0].kind, MessageBox::Kind::Error);
        QVERIFY2(shown[0].text.startsWith(QStringLiteral("送信の記録を書けないため、配信を途中で止めました。")),
                 qPrintable(shown[0].text));
        QVERIFY(shown[0].text.contains(QStringLiteral("database or disk is full")));
        QCOMPARE(Statement().scalar("select count(*) from MagHist where SendComplete = 1"), 0);
    }
};

QTEST_MAIN(TestIssueRecordFailure)
#include "tst_issue_record_failure.moc"
