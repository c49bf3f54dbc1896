// The mail composer: templates in Japanese forms whatever the locale, insertion at the
// caret, files and signatures, the byte count, the ruler and the line width.
#include "fakes/ModalDialog.h"
#include "fakes/StoreFixture.h"
#include "fakes/TestEnv.h"
#include "issue/ui/FColSetDlg.h"
#include "issue/ui/FComposer.h"
#include "issue/UComposeText.h"
#include "issue/UTemplates.h"
#include "members/CurrentMagazine.h"
#include "store/AppSettings.h"
#include "store/Codec.h"
#include "widgets/FileDialog.h"
#include "widgets/MessageBox.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTextEdit>
#include <QVBoxLayout>
#include <QtTest>

class TestIssueComposer : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<QWidget> window;
    std::unique_ptr<CurrentMagazine> magazine;
    QString dataDir;
    TComposer *composer = nullptr;
    QLineEdit *edit = nullptr;
    QComboBox *combo = nullptr;
    QLabel *rulerLabel = nullptr;
    QTextEdit *body = nullptr;
    QWidget *panel = nullptr;
    QLabel *status = nullptr;

    void choose(int item) { combo->setCurrentIndex(item); }
    void caretAt(int pos)
    {
        QTextCursor c = body->textCursor();
        c.setPosition(pos);
        body->setTextCursor(c);
    }
    static void writeCp932(const QString &path, const QByteArray &bytes)
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

private Q_SLOTS:
    void initTestCase()
    {
        // A process that is not Japanese at all.
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    void init()
    {
        env = std::make_unique<TestEnv>();
        env->openStore();
        magazine = std::make_unique<CurrentMagazine>();
        dataDir = env->dataDir();
        QDir().mkpath(dataDir + "sign");
        window = std::make_unique<QWidget>();
        auto *layout = new QVBoxLayout(window.get());
        edit = new QLineEdit(window.get());
        combo = new QComboBox(window.get());
        combo->addItems(Templates::Items());
        auto *button = new QPushButton(window.get());
        panel = new QWidget(window.get());
        auto *pl = new QVBoxLayout(panel);
        pl->setContentsMargins(0, 0, 0, 0);
        rulerLabel = new QLabel(panel);
        body = new QTextEdit(panel);
        body->setAcceptRichText(false);
        QFont fixed(QStringLiteral("IPAGothic"));
        fixed.setPixelSize(16);
        body->setFont(fixed);
        body->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        pl->addWidget(rulerLabel);
        auto *row = new QHBoxLayout;
        row->addWidget(body, 1);
        row->addStretch(0);
        pl->addLayout(row);
        status = new QLabel(window.get());
        layout->addWidget(edit);
        layout->addWidget(combo);
        layout->addWidget(button);
        layout->addWidget(panel, 1);
        layout->addWidget(status);
        composer = new TComposer(*magazine, dataDir, {edit, combo, button, rulerLabel, body, panel, status}, window.get());
        composer->clock = [] { return QDateTime(QDate(2024, 1, 5), QTime(9, 5, 30)); }; // a Friday
        window->resize(900, 600);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }
    void cleanup()
    {
        window.reset();
        env.reset();
    }

    void templates_data()
    {
        QTest::addColumn<int>("item");
        QTest::addColumn<QDateTime>("when");
        QTest::addColumn<QString>("text");
        const QDateTime fri(QDate(2024, 1, 5), QTime(9, 5, 30));
        QTest::newRow("date") << 2 << fri << "2024年1月5日";
        QTest::newRow("era") << 3 << fri << "令和06年1月5日";
        QTest::newRow("month day") << 4 << fri << "1月5日";
        QTest::newRow("weekday short") << 5 << fri << "(金)";
        QTest::newRow("weekday long") << 6 << fri << "金曜日";
        QTest::newRow("time") << 7 << fri << "9時05分";
        QTest::newRow("time afternoon") << 7 << QDateTime(QDate(2024, 1, 5), QTime(21, 0)) << "21時00分";
        QTest::newRow("monday") << 6 << QDateTime(QDate(2024, 1, 8), QTime(0, 0)) << "月曜日";
        QTest::newRow("sunday short") << 5 << QDateTime(QDate(2024, 1, 7), QTime(0, 0)) << "(日)";
        QTest::newRow("last heisei day") << 3 << QDateTime(QDate(2019, 4, 30), QTime()) << "平成31年4月30日";
        QTest::newRow("first reiwa day") << 3 << QDateTime(QDate(2019, 5, 1), QTime()) << "令和01年5月1日";
        QTest::newRow("last showa day") << 3 << QDateTime(QDate(1989, 1, 7), QTime()) << "昭和64年1月7日";
        QTest::newRow("first heisei day") << 3 << QDateTime(QDate(1989, 1, 8), QTime()) << "平成01年1月8日";
        QTest::newRow("member name") << 8 << fri << "[member name]";
        QTest::newRow("count1") << 9 << fri << "[count1 value]";
        QTest::newRow("count2") << 10 << fri << "[count2 value]";
        QTest::newRow("date1") << 11 << fri << "[user date1 yyyy/mm/dd]";
        QTest::newRow("date2") << 12 << fri << "[user date2 yyyy/mm/dd]";
        QTest::newRow("url") << 13 << fri << "[url]";
    }
    void templates()
    {
        QFETCH(int, item);
        QFETCH(QDateTime, when);
        QFETCH(QString, text);
        QCOMPARE(Templates::Text(item, when), text);
    }

    void insertAtCaretInsideWord()
    {
        body->setPlainText(QStringLiteral("Hello world"));
        caretAt(3);
        choose(Templates::MemberName);
        composer->Button3Click();
        QCOMPARE(body->toPlainText(), QStringLiteral("Hel[member name]lo world"));
        QCOMPARE(body->textCursor().position(), 3 + 13);
    }

    void insertIntoEmptyBody()
    {
        choose(Templates::DateFull);
        composer->Button3Click();
        QCOMPARE(body->toPlainText(), QStringLiteral("2024年1月5日"));
        QCOMPARE(body->textCursor().position(), 9);
    }

    void noTemplateChosenLeavesBody()
    {
        body->setPlainText(QStringLiteral("abc"));
        combo->setCurrentIndex(-1);
        composer->Button3Click();
        QCOMPARE(body->toPlainText(), QStringLiteral("abc"));
    }

    void textFileGetsLineBreakAndKeepsCaret()
    {
        const QString path = env->home() + "/one.txt";
        writeCp932(path, Codec::toCp932(QStringLiteral("一行だけ")));
        body->setPlainText(QStringLiteral("ab"));
        caretAt(1);
        FileDialog::queueFileName(path);
        choose(Templates::FromFile);
        composer->Button3Click();
        QCOMPARE(body->toPlainText(), QStringLiteral("a一行だけ\nb"));
        QCOMPARE(body->textCursor().position(), 1);
        QCOMPARE(composer->body(), QStringLiteral("a一行だけ\r\nb"));
    }

    void cancelledOrMissingFileDoesNothing()
    {
        body->setPlainText(QStringLiteral("ab"));
        choose(Templates::FromFile);
        composer->Button3Click(); // nothing queued: cancelled
        FileDialog::queueFileName(env->home() + "/missing.txt");
        composer->Button3Click();
        QCOMPARE(body->toPlainText(), QStringLiteral("ab"));
        QVERIFY(MessageBox::takeShown().isEmpty());
    }

    void signature()
    {
        choose(Templates::Signature);
        // no magazine: warning, nothing inserted
        composer->Button3Click();
        auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].text, QStringLiteral("マガジン名を選択してください。"));
        QVERIFY(body->toPlainText().isEmpty());

        // a magazine whose signature file is gone: silently nothing
        StoreFixture::addMagazine(1, QStringLiteral("m"), StoreFixture::defaultFieldNames(), {{"Sign", "gone.txt"}});
        StoreFixture::addMagazine(2, QStringLiteral("n"), StoreFixture::defaultFieldNames(), {{"Sign", "sig.txt"}});
        magazine->choose(1);
        composer->Button3Click();
        QVERIFY(MessageBox::takeShown().isEmpty());
        QVERIFY(body->toPlainText().isEmpty());

        // three lines with mixed line ends come in as three lines, each ending in a break
        writeCp932(dataDir + "sign/sig.txt", Codec::toCp932(QStringLiteral("――\r\nツバメ便\n〜発行者〜")));
        magazine->choose(2);
        body->setPlainText(QStringLiteral("本文"));
        caretAt(2);
        composer->Button3Click();
        QCOMPARE(composer->body(), QStringLiteral("本文――\r\nツバメ便\r\n～発行者～\r\n"));
    }

    void byteCount_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("bytes");
        QTest::newRow("full, ascii, break") << "あA\n" << 5;
        QTest::newRow("half-width katakana") << "ｱｲ" << 2;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("wave dash typed on linux") << "〜" << 2;
    }
    void byteCount()
    {
        QFETCH(QString, text);
        QFETCH(int, bytes);
        QCOMPARE(ComposeText::ByteCount(text), bytes);
        body->setPlainText(text);
        QCOMPARE(status->text(), QStringLiteral("%1 文字").arg(bytes));
    }

    void newMailClearsBoth()
    {
        edit->setText("s");
        body->setPlainText("b");
        composer->N34Click();
        QVERIFY(edit->text().isEmpty());
        QVERIFY(body->toPlainText().isEmpty());
    }

    void ruler()
    {
        QCOMPARE(ComposeText::Ruler(0), QString());
        QCOMPARE(ComposeText::Ruler(6), QStringLiteral("0---------1-"));
        const QString r = ComposeText::Ruler(55);
        QCOMPARE(r.size(), 110);
        QCOMPARE(r[90], QLatin1Char('9'));
        QCOMPARE(r[100], QLatin1Char('0'));
    }

    void columnSizeLaysOutBody()
    {
        const int w = QFontMetrics(body->font()).horizontalAdvance(QLatin1Char('A'));
        composer->ColumnSize = 20;
        composer->ApplyColumnSize();
        QTRY_COMPARE(body->viewport()->width(), w + w * 40);
        QCOMPARE(rulerLabel->text().size(), 40);

        composer->ColumnSize = 0; // an empty ruler and one column
        composer->ApplyColumnSize();
        QCOMPARE(rulerLabel->text(), QString());
        QTRY_COMPARE(body->viewport()->width(), w);

        composer->ColumnSize = 128; // wider than the panel: as wide as the panel
        composer->ApplyColumnSize();
        QTRY_COMPARE(body->width(), panel->contentsRect().width());
    }

    void lineWidthDialog()
    {
        {
            TColSetDlg dlg;
            QCOMPARE(dlg.value(), 80); // nothing stored yet
            dlg.columnSpin->setValue(30);
            dlg.Button1Click();
            QCOMPARE(dlg.result(), int(QDialog::Accepted));
        }
        QCOMPARE(AppSettings::readInt("ColumnSize", -1), 30);
        TColSetDlg again;
        QCOMPARE(again.value(), 30);
        again.columnSpin->setValue(99);
        again.cancelButton->click(); // cancel changes nothing
        QCOMPARE(AppSettings::readInt("ColumnSize", -1), 30);

        ModalDialog::answer<TColSetDlg>([](TColSetDlg *dlg) {
            dlg->columnSpin->setValue(12);
            dlg->okButton->click();
        });
        QVERIFY(composer->K1Click());
        QCOMPARE(composer->ColumnSize, 12);
        QCOMPARE(rulerLabel->text().size(), 24);
    }
};

QTEST_MAIN(TestIssueComposer)
#include "tst_issue_composer.moc"
