// Address helpers: the validity check (one plain address and nothing else), the single-byte
// test and reading dropped text.
#include "members/UAddress.h"

#include <QtTest>

class TestMembersAddress : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void valid_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::newRow("plain") << "taro@example.jp" << true;
        QTest::newRow("upper case") << "TARO@EXAMPLE.CO.JP" << true;
        QTest::newRow("digits and hyphen in domain") << "a.b@mail-1.example2.com" << true;
        QTest::newRow("plus, dot, hyphen, underscore") << "taro.yamada+news_2024-01@mail.example.co.jp" << true;
        QTest::newRow("apostrophe and other atext") << "o'brien!#$%&*/=?^`{|}~@example.jp" << true;
        QTest::newRow("dots repeated and before @") << "taro..yamada.@docomo.ne.jp" << true;
        QTest::newRow("64 before @") << QString(64, 'a') + "@example.jp" << true;
        // Labels of at most 63 characters, as a host name's are.
        QTest::newRow("254 in all") << "a@" + QString(61, 'b') + "." + QString(61, 'b') + "." + QString(61, 'b') + "."
                                           + QString(63, 'b') + ".jp"
                                    << true;
        QTest::newRow("domain without dot") << "taro@localhost" << false;
        QTest::newRow("nothing before @") << "@example.jp" << false;
        QTest::newRow("no @") << "taro.example.jp" << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("tld with digits only") << "taro@example.123" << false;
        QTest::newRow("full-width domain") << "taro@ｅｘａｍｐｌｅ．ｊｐ" << false;
        QTest::newRow("hiragana local part") << "たろう@example.jp" << false;
        QTest::newRow("half-width katakana") << "ﾀﾛｳ@example.jp" << false;
        // Unicode case folding would read these as "k" and "s".
        QTest::newRow("kelvin sign") << QString::fromUtf8("K@example.jp") << false;
        QTest::newRow("long s in domain") << QString::fromUtf8("k@example.jſ") << false;
        QTest::newRow("name and angle brackets") << "山田 太郎 <taro@example.jp>" << false;
        QTest::newRow("rcpt parameters") << "m2@example.jp> NOTIFY=SUCCESS ORCPT=rfc822;x@example.net" << false;
        QTest::newRow("two addresses") << "a@example.jp>,<b@example.net" << false;
        QTest::newRow("comma") << "a@example.jp,b@example.net" << false;
        QTest::newRow("two @") << "a@b@example.jp" << false;
        QTest::newRow("blank before @") << "taro yamada@example.jp" << false;
        QTest::newRow("leading blank") << " taro@example.jp" << false;
        QTest::newRow("trailing blank") << "taro@example.jp " << false;
        QTest::newRow("trailing LF") << "taro@example.jp\n" << false;
        QTest::newRow("CR LF and a header") << "taro@example.jp\r\nBcc: x@example.net" << false;
        QTest::newRow("tab") << "taro\t@example.jp" << false;
        QTest::newRow("NUL") << QString("taro@example.jp") + QChar(0) + "x" << false;
        QTest::newRow("DEL") << "taro\x7f@example.jp" << false;
        QTest::newRow("quoted local part") << "\"taro yamada\"@example.jp" << false;
        QTest::newRow("address literal") << "taro@[192.0.2.1]" << false;
        QTest::newRow("angle brackets only") << "<taro@example.jp>" << false;
        QTest::newRow("mailto prefix") << "mailto:taro@example.jp" << false;
        QTest::newRow("empty label") << "taro@example..jp" << false;
        QTest::newRow("dot ends domain") << "taro@example.jp." << false;
        QTest::newRow("65 before @") << QString(65, 'a') + "@example.jp" << false;
        QTest::newRow("255 in all") << "a@" + QString(62, 'b') + "." + QString(61, 'b') + "." + QString(61, 'b') + "."
                                           + QString(63, 'b') + ".jp"
                                    << false;
    }
    void valid()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QCOMPARE(IsValidAddress(text), valid);
    }


    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("address");
        QTest::newRow("bare address") << "taro@example.jp" << "" << "taro@example.jp";
        QTest::newRow("name and brackets") << "山田 太郎 <taro@example.jp>" << "" << "taro@example.jp";
        QTest::newRow("mailto link") << "mailto:taro@example.jp" << "" << "taro@example.jp";
        QTest::newRow("square brackets") << "[taro@example.jp]" << "" << "taro@example.jp";
        QTest::newRow("name and blank join the address") << "Taro taro@example.jp" << "" << "Taro taro@example.jp";
        QTest::newRow("ends at last letter") << "taro@example.jp." << "" << "taro@example.jp";
        QTest::newRow("upper case") << "TARO@EXAMPLE.JP" << "" << "TARO@EXAMPLE.JP";
        QTest::newRow("just a name") << "山田 太郎" << "山田 太郎" << "";
        QTest::newRow("domain ending in digits") << "a@b.123" << "a@b.123" << "";
        QTest::newRow("empty") << "" << "" << "";
    }
    void parse()
    {
        QFETCH(QString, text);
        QFETCH(QString, name);
        QFETCH(QString, address);
        const AddressText r = ParseAddressText(text);
        QCOMPARE(r.name, name);
        QCOMPARE(r.address, address);
    }
};

QTEST_GUILESS_MAIN(TestMembersAddress)
#include "tst_members_address.moc"
