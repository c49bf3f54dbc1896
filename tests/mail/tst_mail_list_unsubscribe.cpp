// The List-Unsubscribe fields: each member's own signed token, the one-click URL only when it
// is https, the plain mailto for hidden recipients, and nothing from the settings able to
// leave the angle brackets or the header line.
#include "mail/ListUnsubscribe.h"
#include "mail/UnsubscribeToken.h"

#include <QtTest>

namespace {

const QByteArray kKey(32, 'k');

QByteArray unfolded(QByteArray fields)
{
    return fields.replace("\r\n ", " ");
}

} // namespace

class TestMailListUnsubscribe : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fields_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("url");
        QTest::addColumn<QByteArray>("member"); // unfolded, TOKEN for the member's token
        QTest::addColumn<QByteArray>("batch");
        const QByteArray mailto = "List-Unsubscribe: <mailto:stop@example.jp?subject=unsubscribe%20TOKEN>";
        const QByteArray plain = "List-Unsubscribe: <mailto:stop@example.jp?subject=unsubscribe>\r\n";
        const QByteArray post = "List-Unsubscribe-Post: List-Unsubscribe=One-Click\r\n";
        QTest::newRow("none") << "" << "" << QByteArray() << QByteArray();
        QTest::newRow("address only") << "stop@example.jp" << "" << mailto + "\r\n" << plain;
        QTest::newRow("with https url") << "stop@example.jp" << "https://example.jp/u"
                                        << mailto + ", <https://example.jp/u?t=TOKEN>\r\n" + post << plain;
        QTest::newRow("url with a query") << "stop@example.jp" << "https://example.jp/u?list=7"
                                          << mailto + ", <https://example.jp/u?list=7&t=TOKEN>\r\n" + post << plain;
        QTest::newRow("http url left out") << "stop@example.jp" << "http://example.jp/u" << mailto + "\r\n" << plain;
        QTest::newRow("url with an angle bracket") << "stop@example.jp" << "https://example.jp/u>, <mailto:x@evil.jp"
                                                   << mailto + "\r\n" << plain;
        QTest::newRow("url with a line break") << "stop@example.jp" << "https://example.jp/u\r\nBcc: x@evil.jp"
                                               << mailto + "\r\n" << plain;
        QTest::newRow("url with a blank") << "stop@example.jp" << "https://example.jp/a b" << mailto + "\r\n" << plain;
        QTest::newRow("address with an angle bracket") << "stop@example.jp>, <mailto:x@evil.jp" << "https://example.jp/u"
                                                       << QByteArray() << QByteArray();
        QTest::newRow("address with a line break") << "stop@example.jp\r\nBcc: x@evil.jp" << "" << QByteArray()
                                                   << QByteArray();
        QTest::newRow("plus percent-encoded") << "stop+news@example.jp" << ""
                                              << QByteArray("List-Unsubscribe: <mailto:stop%2Bnews@example.jp?subject=unsubscribe%20TOKEN>\r\n")
                                              << QByteArray("List-Unsubscribe: <mailto:stop%2Bnews@example.jp?subject=unsubscribe>\r\n");
    }
    void fields()
    {
        QFETCH(QString, address);
        QFETCH(QString, url);
        QFETCH(QByteArray, member);
        QFETCH(QByteArray, batch);
        const ListUnsubscribe u(address, url, kKey, 7);
        const QByteArray token = UnsubscribeToken::make(kKey, 7, 1234).toLatin1();
        const QByteArray got = u.memberFields(1234);
        QCOMPARE(unfolded(got), QByteArray(member).replace("TOKEN", token));
        QCOMPARE(unfolded(u.batchFields()), batch);
        for (const QByteArray &fields : {got, u.batchFields()}) {
            QByteArrayList lines = fields.split('\n');
            QVERIFY(lines.takeLast().isEmpty());
            for (const QByteArray &l : std::as_const(lines)) {
                QVERIFY(l.endsWith('\r') && l.count('\r') == 1);
                QVERIFY2(l.size() <= 998, l.constData());
                QVERIFY(l.startsWith("List-Unsubscribe") || l.startsWith(' '));
            }
        }
    }

    // The token in each member's field names that member, and only under the store's key.
    void tokensNameTheirMember()
    {
        const ListUnsubscribe u(QStringLiteral("stop@example.jp"), QStringLiteral("https://example.jp/u"), kKey, 7);
        for (int userIdx : {1, 42, 99999}) {
            const QByteArray f = unfolded(u.memberFields(userIdx));
            const qsizetype a = f.indexOf("unsubscribe%20") + 14;
            const QString fromMailto = QString::fromLatin1(f.mid(a, f.indexOf('>', a) - a));
            const qsizetype b = f.indexOf("?t=") + 3;
            const QString fromUrl = QString::fromLatin1(f.mid(b, f.indexOf('>', b) - b));
            QCOMPARE(fromMailto, fromUrl);
            const auto m = UnsubscribeToken::parse(kKey, fromMailto);
            QVERIFY(m.has_value());
            QCOMPARE(m->magIdx, 7);
            QCOMPARE(m->userIdx, userIdx);
            QVERIFY(!UnsubscribeToken::parse(QByteArray(32, 'x'), fromMailto).has_value());
        }
        QVERIFY(u.memberFields(1) != u.memberFields(2));
    }
};

QTEST_GUILESS_MAIN(TestMailListUnsubscribe)
#include "tst_mail_list_unsubscribe.moc"
