// The one line splitter under both transports: lines with CR LF or a bare LF, lines cut
// across reads, and the bound that refuses a line without an end.
#include "fakes/FakeMailSocket.h"
#include "mail/LineSplitter.h"

#include <QtTest>

using Lines = QList<QByteArray>;

class TestMailLineSplitter : public QObject
{
    Q_OBJECT

    // Feeds the chunks the way a transport reads: never more than room() at a time.
    static Lines split(LineSplitter &splitter, QList<QByteArray> chunks, bool *tooLong)
    {
        Lines out;
        *tooLong = false;
        for (;;) {
            QByteArray line;
            const LineSplitter::Result got = splitter.takeLine(&line);
            if (got == LineSplitter::Result::Line) {
                out << line;
                continue;
            }
            if (got == LineSplitter::Result::TooLong) {
                *tooLong = true;
                return out;
            }
            if (chunks.isEmpty())
                return out;
            const qsizetype take = qMin(chunks.first().size(), splitter.room());
            splitter.append(chunks.first().left(take));
            chunks.first().remove(0, take);
            if (chunks.first().isEmpty())
                chunks.removeFirst();
        }
    }

private Q_SLOTS:
    void splits_data()
    {
        QTest::addColumn<int>("maxLine");
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<Lines>("lines");
        QTest::addColumn<bool>("tooLong");
        QTest::addColumn<qsizetype>("left");
        const int big = int(LineSplitter::kMaxLine);
        QTest::newRow("crlf lines in one chunk")
            << big << QList<QByteArray>{"250-a\r\n250 b\r\n"} << Lines{"250-a", "250 b"} << false << qsizetype(0);
        QTest::newRow("bare lf") << big << QList<QByteArray>{"+OK\n.\n"} << Lines{"+OK", "."} << false << qsizetype(0);
        QTest::newRow("cr inside a line is kept")
            << big << QList<QByteArray>{"a\rb\r\r\n"} << Lines{"a\rb\r"} << false << qsizetype(0);
        QTest::newRow("empty line") << big << QList<QByteArray>{"\r\n\n"} << Lines{"", ""} << false << qsizetype(0);
        QTest::newRow("cut across reads, even between cr and lf")
            << big << QList<QByteArray>{"25", "0 o", "k\r", "\n220"} << Lines{"250 ok"} << false << qsizetype(3);
        QTest::newRow("no end yet") << big << QList<QByteArray>{"250 partial"} << Lines{} << false << qsizetype(11);
        QTest::newRow("a line of the full length")
            << 8 << QList<QByteArray>{"12345678\r\nnext\r\n"} << Lines{"12345678", "next"} << false << qsizetype(0);
        QTest::newRow("one byte over, without an end")
            << 8 << QList<QByteArray>{"123456789"} << Lines{} << true << qsizetype(9);
        QTest::newRow("endless line after good ones")
            << 8 << QList<QByteArray>{"ok\r\n", QByteArray(100, 'x') + "\r\n"} << Lines{"ok"} << true << qsizetype(10);
        QTest::newRow("endless line at the real bound")
            << big << QList<QByteArray>{QByteArray(3 * big, 'x')} << Lines{} << true << qsizetype(big + 2);
    }
    void splits()
    {
        QFETCH(int, maxLine);
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(Lines, lines);
        QFETCH(bool, tooLong);
        QFETCH(qsizetype, left);
        LineSplitter splitter(maxLine);
        bool refused = false;
        QCOMPARE(split(splitter, chunks, &refused), lines);
        QCOMPARE(refused, tooLong);
        // The buffer never holds more than one line and its end.
        QCOMPARE(splitter.buffered(), left);
        QVERIFY(splitter.buffered() <= maxLine + 2);
    }

    void clearForgetsUnreadBytes()
    {
        LineSplitter splitter;
        splitter.append("injected\r\n250 half");
        splitter.clear();
        splitter.append("250 real\r\n");
        QByteArray line;
        QCOMPARE(splitter.takeLine(&line), LineSplitter::Result::Line);
        QCOMPARE(line, QByteArray("250 real"));
        QCOMPARE(splitter.takeLine(&line), LineSplitter::Result::NeedMore);
    }

    // The fake cuts lines with the same splitter, so a protocol test over it meets the same
    // bound as the real connection: an endless line is refused, not waited for.
    void fakeSocketRefusesAnEndlessLine()
    {
        FakeMailSocket s;
        s.serverSends("220 ready\r\n").serverSends(QByteArray(LineSplitter::kMaxLine + 10, 'x') + "\r\n");
        s.serverSends("250 never read\r\n");
        QVERIFY(s.connectToHost("mail.example.jp", 25, 1000));
        QByteArray line;
        QVERIFY(s.readLine(&line, 1000));
        QCOMPARE(line, QByteArray("220 ready"));
        QVERIFY(!s.readLine(&line, 1000));
        QCOMPARE(s.errorString(), MailSocketText::replyTooLong());
        QVERIFY(!s.timedOut);
        QCOMPARE(s.pendingChunks(), 2);
    }
};

QTEST_GUILESS_MAIN(TestMailLineSplitter)
#include "tst_mail_linesplitter.moc"
