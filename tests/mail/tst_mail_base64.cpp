// Base64 as mail carries it: padding, high bits, agreement with Qt's own encoder, and the
// body's lines of 76 characters.
#include "mail/Base64.h"

#include <QRandomGenerator>
#include <QtTest>

class TestBase64 : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void encode_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("empty") << QByteArray() << QByteArray();
        QTest::newRow("one byte") << QByteArray("a") << QByteArray("YQ==");
        QTest::newRow("two bytes") << QByteArray("ab") << QByteArray("YWI=");
        QTest::newRow("three bytes") << QByteArray("abc") << QByteArray("YWJj");
        QTest::newRow("high bits") << QByteArray::fromHex("00FFFEFBEF") << QByteArray("AP/+++8=");
    }
    void encode()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, text);
        QCOMPARE(Base64Encode(bytes), text);
    }

    void agreesWithQt()
    {
        auto *rng = QRandomGenerator::global();
        for (int len = 0; len < 200; ++len) {
            QByteArray b(len, Qt::Uninitialized);
            for (char &c : b)
                c = char(rng->bounded(256));
            QCOMPARE(Base64Encode(b), b.toBase64());
        }
    }

    void lines_data()
    {
        QTest::addColumn<int>("bytes");
        QTest::addColumn<int>("lines");
        QTest::newRow("none") << 0 << 0;
        QTest::newRow("57 bytes, one line") << 57 << 1;
        QTest::newRow("58 bytes, two lines") << 58 << 2;
        QTest::newRow("114 bytes, two lines") << 114 << 2;
    }
    void lines()
    {
        QFETCH(int, bytes);
        QFETCH(int, lines);
        const QByteArray data(bytes, 'x');
        const QByteArray encoded = Base64Lines(data);
        const QList<QByteArray> parts = encoded.split('\n');
        QCOMPARE(parts.size() - 1, lines);
        QCOMPARE(parts.last(), QByteArray());
        if (lines > 0) {
            QCOMPARE(parts.first().size(), bytes >= 57 ? 77 : 4 * ((bytes + 2) / 3) + 1);  // and the CR
            QVERIFY(encoded.endsWith("\r\n"));
        }
        QCOMPARE(QByteArray::fromBase64(encoded), data);
    }
};

QTEST_GUILESS_MAIN(TestBase64)
#include "tst_mail_base64.moc"
