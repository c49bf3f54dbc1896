// Signature names stay inside the signature folder: a name that is not a bare file name
// (as a restored backup may hold in Sign) is ignored when the signature is inserted or
// opened, refused when a signature is saved, and never offered by the magazine dialog.
#include "fakes/StoreFixture.h"
#include "fakes/TestEnv.h"
#include "issue/ui/FComposer.h"
#include "issue/ui/FSignDlg.h"
#include "issue/UTemplates.h"
#include "members/ui/FMagzineDlg.h"
#include "members/USignName.h"
#include "store/Codec.h"
#include "store/PreparedStatement.h"
#include "members/CurrentMagazine.h"
#include "widgets/FileDialog.h"
#include "widgets/MessageBox.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextEdit>
#include <QtTest>

class TestIssueSignature : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;

    QString signDir() const { return env->dataDir() + "sign/"; }
    static void writeFile(const QString &path, const QByteArray &bytes)
    {
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    static QByteArray fileBytes(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    // Names a Sign value may hold ("<home>" stands for the test's private home); for each,
    // the file it would reach is made to exist, so that reading it would show.
    static void hostileNames()
    {
        QTest::addColumn<QString>("row");
        QTest::newRow("up and out") << "../../../../etc/hostname";
        QTest::newRow("up one") << "../secret.txt";
        QTest::newRow("into a subfolder") << "sub/secret.txt";
        QTest::newRow("absolute") << "<home>/secret.txt";
        QTest::newRow("backslash") << "..\\secret.txt";
        QTest::newRow("line break") << "secret\n.txt";
        QTest::newRow("control") << "secret\x01.txt";
    }
    QString hostileName(const QString &row) const
    {
        QString name = row;
        return name.replace("<home>", env->home());
    }
    // The file a name reaches when it is taken as a path below the signature folder.
    QString reachedBy(const QString &name) const { return name.startsWith('/') ? name : signDir() + name; }
    void plantSecret(const QString &name)
    {
        writeFile(reachedBy(name), "SECRET\r\n");
        QCOMPARE(fileBytes(reachedBy(name)), QByteArray("SECRET\r\n"));
    }

private Q_SLOTS:
    void init()
    {
        env = std::make_unique<TestEnv>();
        env->openStore();
        QDir().mkpath(signDir());
        MessageBox::takeShown();
    }
    void cleanup() { env.reset(); }

    void names_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("bare");
        QTest::newRow("plain") << "sig.txt" << true;
        QTest::newRow("japanese and blanks") << "ツバメ 便 署名.txt" << true;
        QTest::newRow("leading dot") << ".hidden.txt" << true;
        QTest::newRow("no extension") << "sig" << true;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("dot dot") << ".." << false;
        QTest::newRow("parent path") << "../../../../etc/hostname" << false;
        QTest::newRow("absolute") << "/etc/hostname" << false;
        QTest::newRow("subfolder") << "a/b.txt" << false;
        QTest::newRow("backslash") << "a\\b.txt" << false;
        QTest::newRow("dot dot inside") << "a..b.txt" << false;
        QTest::newRow("NUL") << QString("a.txt") + QChar(0) + "/../x" << false;
        QTest::newRow("line feed") << "a\n.txt" << false;
        QTest::newRow("carriage return") << "a\r.txt" << false;
        QTest::newRow("escape") << "a\x1b.txt" << false;
        QTest::newRow("line separator") << QString::fromUtf8("a\u2028.txt") << false;
    }
    void names()
    {
        QFETCH(QString, name);
        QFETCH(bool, bare);
        QCOMPARE(IsSignatureName(name), bare);
        QCOMPARE(SignaturePath("/d/", name), bare ? "/d/sign/" + name : QString());
    }

    void insertIgnoresHostileName_data() { hostileNames(); }
    void insertIgnoresHostileName()
    {
        QFETCH(QString, row);
        const QString name = hostileName(row);
        plantSecret(name);
        StoreFixture::addMagazine(1, "m", StoreFixture::defaultFieldNames(), {{"Sign", TextValue(name)}});
        StoreFixture::addMagazine(2, "n", StoreFixture::defaultFieldNames(), {{"Sign", "sig.txt"}});
        CurrentMagazine magazine;
        magazine.choose(1);
        QWidget window;
        auto *edit = new QLineEdit(&window);
        auto *combo = new QComboBox(&window);
        combo->addItems(Templates::Items());
        combo->setCurrentIndex(Templates::Signature);
        auto *button = new QPushButton(&window);
        auto *ruler = new QLabel(&window);
        auto *body = new QTextEdit(&window);
        auto *panel = new QWidget(&window);
        auto *status = new QLabel(&window);
        TComposer composer(magazine, env->dataDir(), {edit, combo, button, ruler, body, panel, status}, &window);
        body->setPlainText("本文");
        composer.Button3Click();
        QCOMPARE(body->toPlainText(), QString("本文"));
        QVERIFY(MessageBox::takeShown().isEmpty());

        // A bare name beside it is inserted as before.
        writeFile(signDir() + "sig.txt", Codec::toCp932("署名\r\n"));
        magazine.choose(2);
        composer.Button3Click();
        QVERIFY(body->toPlainText().contains("署名"));
    }

    void editorIgnoresHostileName_data() { hostileNames(); }
    void editorIgnoresHostileName()
    {
        QFETCH(QString, row);
        const QString name = hostileName(row);
        plantSecret(name);
        TSignDlg dlg(env->dataDir());
        dlg.SignFileName = name;
        dlg.FormShow();
        QVERIFY(dlg.textMemo->toPlainText().isEmpty());
        QVERIFY(dlg.FileNameBand->text().isEmpty());
        QVERIFY(dlg.SignFileName.isEmpty());

        // Saving then asks for a name instead of writing where the name pointed.
        dlg.textMemo->setPlainText("上書き");
        dlg.Save1Click();  // nothing queued: the save dialog is cancelled
        const QString reached = reachedBy(name);
        QCOMPARE(fileBytes(reached), QByteArray("SECRET\r\n"));

        // A name set after opening is refused when saved, with nothing written.
        dlg.SignFileName = name;
        dlg.Save1Click();
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].kind, MessageBox::Kind::Error);
        QCOMPARE(shown[0].text,
                 QString("署名のファイル名が正しくありません。署名フォルダ内のファイル名を指定してください。"));
        QCOMPARE(fileBytes(reached), QByteArray("SECRET\r\n"));
    }

    void editorRefusesNameFromFileDialog_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::newRow("line break") << "a\nb.txt";
        QTest::newRow("control") << "a\x01.txt";
    }
    void editorRefusesNameFromFileDialog()
    {
        // File dialogs hand back any name the folder holds; such a name cannot be a
        // magazine's signature, so it is neither opened nor written.
        QFETCH(QString, fileName);
        writeFile(signDir() + fileName, "SECRET\r\n");
        TSignDlg dlg(env->dataDir());
        dlg.FormShow();
        FileDialog::queueFileName(signDir() + fileName);
        dlg.Open1Click();
        QVERIFY(dlg.textMemo->toPlainText().isEmpty());
        QVERIFY(dlg.SignFileName.isEmpty());
        QCOMPARE(MessageBox::takeShown().size(), 1);

        QFile::remove(signDir() + fileName);
        dlg.textMemo->setPlainText("新しい署名");
        FileDialog::queueFileName(env->home() + "/" + fileName);
        dlg.SaveAs1Click();
        QCOMPARE(MessageBox::takeShown().size(), 1);
        QVERIFY(dlg.SignFileName.isEmpty());
        QCOMPARE(QDir(signDir()).entryList(QDir::Files), QStringList());
    }

    void magazineDialogOffersBareNamesOnly()
    {
        writeFile(signDir() + "a.txt", "a\r\n");
        writeFile(signDir() + "b\nc.txt", "b\r\n");
        TMagzineDlg dlg(env->dataDir());
        dlg.FormShow();
        QStringList offered;
        for (int i = 0; i < dlg.signatureCombo->count(); ++i)
            offered << dlg.signatureCombo->itemText(i);
        QCOMPARE(offered, QStringList({"", "a.txt"}));
    }
};

QTEST_MAIN(TestIssueSignature)
#include "tst_issue_signature.moc"
