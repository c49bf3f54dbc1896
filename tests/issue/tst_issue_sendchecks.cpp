// What a send checks before anything is recorded: characters that the mail cannot carry,
// and a condition file that is not a condition that can be sent.
#include "fakes/StoreFixture.h"
#include "fakes/TestEnv.h"
#include "issue/ui/FSQLEditDlg.h"
#include "issue/ui/FSendPage.h"
#include "issue/ui/RadioGroup.h"
#include "issue/UUnmappable.h"
#include "store/Codec.h"
#include "store/Database.h"
#include "members/CurrentMagazine.h"
#include "widgets/FileDialog.h"
#include "widgets/MessageBox.h"

#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QtTest>

class TestIssueSendChecks : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;

    static std::array<QString, 7> names()
    {
        return {QStringLiteral("購読"), QStringLiteral("特典"), QStringLiteral("旗3"), QStringLiteral("ポイント"),
                QStringLiteral("回数"), QStringLiteral("誕生日"), QStringLiteral("記念日")};
    }
    static QStringList nameList()
    {
        const std::array<QString, 7> all = names();
        return QStringList(all.begin(), all.end());
    }

    static QString listed(const QList<UnmappableChar> &found)
    {
        QStringList out;
        for (const UnmappableChar &u : found)
            out << QStringLiteral("%1 %2 %3:%4").arg(u.field, u.character).arg(u.line).arg(u.column);
        return out.join(QStringLiteral(" | "));
    }

private Q_SLOTS:
    void init()
    {
        env = std::make_unique<TestEnv>();
        env->openStore();
        QDir().mkpath(env->dataDir() + "where");
    }
    void cleanup() { env.reset(); }

    void unmappable_data()
    {
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("owner");
        QTest::addColumn<QString>("atena");
        QTest::addColumn<QString>("found"); // field character line:column, in order
        QTest::addColumn<int>("total");
        // A mail that ISO-2022-JP cannot carry goes out as UTF-8: the characters a Windows user
        // types, NEC and IBM extensions, emoji, combining marks and format characters all go.
        QTest::newRow("all can be sent") << "ご案内〜‖−¢£¬😀" << "①②Ⅲ髙﨑\r\n～∥－￠￡￢🍣xe\u0301\u200B" << "発行者🐦"
                                         << "様\u2B50" << "" << 0;
        // Only half of a surrogate pair is no character at all.
        const QString hi(QChar(0xD83D));
        const QString lo(QChar(0xDE00));
        QTest::newRow("lone surrogate in the subject") << "お知らせ" + hi + "です" << "本文" << "" << ""
                                                       << "件名 " + hi + " 0:5" << 1;
        QTest::newRow("body lines and columns") << "s" << "一行目\r\n二行目🍣と" + lo + "\r\n\r\nx" + hi << "" << ""
                                                << "本文 " + lo + " 2:6 | 本文 " + hi + " 4:2" << 2;
        QTest::newRow("LF only") << "s" << "a\nb" + lo << "" << "" << "本文 " + lo + " 2:2" << 1;
        QTest::newRow("low before high") << "s" << lo + hi << "" << "" << "本文 " + lo + " 1:1 | 本文 " + hi + " 1:2" << 2;
        QTest::newRow("sender and salutation") << "s" << "b" << "ツバメ" + hi + "便" << "会員" + lo + "様"
                                               << "発行者名 " + hi + " 0:4 | メール宛名 " + lo + " 0:3" << 2;
        QTest::newRow("fields in order, ten listed")
            << hi << lo.repeated(12) << "" << hi << "件名 " + hi + " 0:1 | 本文 " + lo + " 1:1 | 本文 " + lo + " 1:2 | 本文 " + lo
                                                    + " 1:3 | 本文 " + lo + " 1:4 | 本文 " + lo + " 1:5 | 本文 " + lo + " 1:6 | 本文 "
                                                    + lo + " 1:7 | 本文 " + lo + " 1:8 | 本文 " + lo + " 1:9"
            << 14;
    }
    void unmappable()
    {
        QFETCH(QString, subject);
        QFETCH(QString, body);
        QFETCH(QString, owner);
        QFETCH(QString, atena);
        QFETCH(QString, found);
        QFETCH(int, total);
        int all = -1;
        const QList<UnmappableChar> got = FindUnmappable({subject, body, owner, atena}, 10, &all);
        QCOMPARE(all, total);
        // one-line fields carry line 0 and their character position as column
        QCOMPARE(listed(got), found);
        for (const UnmappableChar &u : got) {
            QCOMPARE(u.character.size(), 1);
            QVERIFY(u.character.at(0).isSurrogate());
        }
    }

    void questionNamesCharactersAndPlaces()
    {
        int total = 0;
        const QString hi(QChar(0xD83D));
        const auto found = FindUnmappable({"お知らせ😀" + hi, "a\r\nb\u200Bc" + hi, "", ""}, 10, &total);
        QCOMPARE(UnmappableQuestion(found, total),
                 QStringLiteral("次の文字はメールの文字コードにないため、「?」に置き換えて送信されます。\r\n"
                                "件名: U+D83D (6文字目)\r\n"
                                "本文: U+D83D (2行目 4文字目)\r\n"
                                "\r\nこのまま送信しますか？（「いいえ」で戻ります）"));
        const auto first = FindUnmappable({hi.repeated(30), "", "", ""}, 10, &total);
        QCOMPARE(total, 30);
        const QString many = UnmappableQuestion(first, total);
        QVERIFY2(many.contains(QStringLiteral("件名: U+D83D (10文字目)\r\nほか 20 文字\r\n")), qPrintable(many));
    }

    // The question comes after the checks and before the condition's confirmation; "No"
    // records nothing and goes back to the subject, "Yes" goes on to the usual question.
    void sendAsksAboutUnmappableFirst()
    {
        // Emoji go out as UTF-8 without a word; half a surrogate pair is asked about.
        StoreFixture::addMagazine(1, "m", nameList(),
                                  {{"Owner", "ツバメ🐦便"}, {"Adrs", "owner@example.jp"}, {"Atena", "様"}});
        StoreFixture::insert("MagUser", {{"MagIdx", 1}, {"UserIdx", 1}, {"UserName", "a"}, {"UserAdrs", "a@example.jp"}});
        CurrentMagazine magazine;
        magazine.choose(1);
        TSendPage page(magazine, env->dataDir());
        int composer = -1;
        int created = 0;
        TSendPage::Hooks hooks;
        hooks.smtpHost = [] { return QStringLiteral("localhost"); };
        hooks.subject = []() -> QString { return QStringLiteral("今月の😀ニュース") + QChar(0xD83D); };
        hooks.body = [] { return QStringLiteral("本文です"); };
        hooks.showComposer = [&](bool subject) { composer = subject ? 1 : 0; };
        hooks.issueCreated = [&](int, int, int) { ++created; };
        page.setHooks(hooks);

        MessageBox::queueAnswer(MessageBox::Answer::No);
        page.Button1Click();
        auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].kind, MessageBox::Kind::Confirm);
        QCOMPARE(shown[0].text, QStringLiteral("次の文字はメールの文字コードにないため、「?」に置き換えて送信されます。\r\n"
                                               "件名: U+D83D (9文字目)\r\n"
                                               "\r\nこのまま送信しますか？（「いいえ」で戻ります）"));
        QCOMPARE(composer, 1);
        QCOMPARE(Statement().scalar("select count(*) from MagInfo"), 0);

        MessageBox::queueAnswer(MessageBox::Answer::Yes);
        MessageBox::queueAnswer(MessageBox::Answer::Yes);
        page.Button1Click();
        shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 2);
        QCOMPARE(shown[1].text, QStringLiteral("無条件\r\n上記の条件でメールを送信します。よろしいですか？"));
        QCOMPARE(created, 1);
        QCOMPARE(Statement().scalar("select count(*) from MagInfo"), 1);
    }

    // A condition file is checked as soon as it is loaded, the same way as "チェック".
    void conditionFileCheckedWhenLoaded_data()
    {
        QTest::addColumn<QString>("content");
        QTest::addColumn<QString>("warning"); // "" when none; else its second line's start
        QTest::newRow("plain") << "特典 = OFF\r\nAND 誕生日(月日) = '0115'\r\n" << "";
        QTest::newRow("hides a quote in brackets")
            << "cast(1 as [\"]) = ' ) or 1=1 or ( ' = cast(1 as [\"])\r\n" << "条件式に [ ] や ` は使えません。";
        QTest::newRow("closes early") << "購読 = ON) or (1 = 1\r\n" << "括弧の対応が正しくありません。";
        QTest::newRow("comment") << "購読 = ON --\r\n" << "条件式に注釈は書けません。";
        QTest::newRow("another magazine's names") << "不明 = ON\r\n" << "no such column";
    }
    void conditionFileCheckedWhenLoaded()
    {
        QFETCH(QString, content);
        QFETCH(QString, warning);
        const QString path = env->dataDir() + "where/c.whr";
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(Codec::toCp932(content));
        }
        TSQLEditDlg dlg(env->dataDir());
        dlg.FieldNames = names();
        dlg.FormShow();
        FileDialog::queueFileName(path);
        dlg.SpeedButton1Click();
        const auto shown = MessageBox::takeShown();
        // the text is there to be corrected either way
        QCOMPARE(dlg.conditionText() + QStringLiteral("\r\n"), content);
        if (warning.isEmpty()) {
            QCOMPARE(shown.size(), 0);
            return;
        }
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].kind, MessageBox::Kind::Warning);
        QVERIFY2(shown[0].text.startsWith(QStringLiteral("条件式が間違っています。\r\n") + warning), qPrintable(shown[0].text));
        dlg.Button3Click();
        QCOMPARE(MessageBox::takeShown().size(), 1);
        QCOMPARE(dlg.result(), 0);
    }
};

QTEST_MAIN(TestIssueSendChecks)
#include "tst_issue_sendchecks.moc"
