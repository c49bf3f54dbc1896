// How fast one member's mail is encoded, against how fast it is sent to an SMTP sink on
// loopback: personalising and encoding must never be what limits a delivery.
//
//   encode.personalised.rate  a 2 KB Japanese body with placeholders, personalised, its
//                             charset decided and encoded (Base64 lines) for 100,000
//                             members, one in ten of whom has a name only UTF-8 carries
//                             (髙), members per second
//   encode.utf8.rate          the same for a body that always needs UTF-8 (① ～ ﾊﾟｰﾃｨｰ),
//                             members per second
//   encode.message.rate       the mixed members with the whole message put together around
//                             each body (header fields with To, Date, Message-ID and
//                             List-Unsubscribe), members per second
//   encode.send.rate          complete mails of that kind sent one by one with the SMTP
//                             session to a sink on loopback (one connection; RSET, MAIL,
//                             RCPT, DATA per mail), mails per second
//   ratio encode_vs_send      encode.personalised.rate / encode.send.rate
//   ratio message_vs_send     encode.message.rate / encode.send.rate
#include "mail/MailFormat.h"
#include "mail/ListUnsubscribe.h"
#include "mail/MessageIdSource.h"
#include "mail/MailSocket.h"
#include "mail/SmtpClient.h"
#include "mail/UPlaceholders.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <cstdio>
#include <ctime>

namespace {

// CPU time of this thread, to tell the encoder's own cost from the machine's load.
double threadCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// The smallest SMTP server that accepts everything (RFC 5321 replies only), on its own thread.
class SmtpSink : public QObject
{
public:
    quint16 listen()
    {
        m_server = new QTcpServer(this);
        m_server->listen(QHostAddress::LocalHost, 0);
        connect(m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *s = m_server->nextPendingConnection())
                serve(s);
        });
        return m_server->serverPort();
    }
    int received() const { return m_received.loadRelaxed(); }

private:
    void serve(QTcpSocket *s)
    {
        s->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        s->write("220 sink ESMTP\r\n");
        auto inData = std::make_shared<bool>(false);
        connect(s, &QTcpSocket::readyRead, s, [this, s, inData] {
            while (s->canReadLine()) {
                const QByteArray line = s->readLine();
                if (*inData) {
                    if (line == ".\r\n") {
                        *inData = false;
                        m_received.fetchAndAddRelaxed(1);
                        s->write("250 2.0.0 queued\r\n");
                    }
                    continue;
                }
                const QByteArray verb = line.left(4).toUpper();
                if (verb == "EHLO")
                    s->write("250-sink\r\n250 8BITMIME\r\n");
                else if (verb == "DATA") {
                    *inData = true;
                    s->write("354 go ahead\r\n");
                } else if (verb == "QUIT") {
                    s->write("221 bye\r\n");
                    s->disconnectFromHost();
                } else
                    s->write("250 ok\r\n");
            }
        });
        connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
    }

    QTcpServer *m_server = nullptr;
    QAtomicInt m_received;
};

// utf8: the paragraph holds characters ISO-2022-JP cannot carry.
QString bodyText(bool utf8)
{
    const QString paragraph = utf8 ? QStringLiteral(
        "いつもツバメ便をご愛読いただきありがとうございます。今月は新商品のご案内と、\n"
        "会員様限定のキャンペーン（①～③）についてお知らせいたします。ﾊﾟｰﾃｨｰのご予約もどうぞ。\n"
        "詳しくはホームページをご覧ください。\n\n") : QStringLiteral(
        "いつもツバメ便をご愛読いただきありがとうございます。今月は新商品のご案内と、\n"
        "会員様限定のキャンペーン（１〜３）についてお知らせいたします。パーティーのご予約もどうぞ。\n"
        "詳しくはホームページをご覧ください。\n\n");
    QString body = QStringLiteral("[member name]様\n\nご登録日：[user date1 yyyy/mm/dd]\n"
                                  "ご購入回数：[count1 value]回\nあなたのページ：[url]\n\n");
    while (body.size() < 1000) // about 2 KB as ISO-2022-JP
        body += paragraph;
    return body + QStringLiteral("--\nツバメ便編集部 [member name]様専用\n");
}

QList<MemberValues> members(int n)
{
    const QStringList family = {u"山田"_qs, u"佐藤"_qs, u"鈴木"_qs, u"高橋"_qs, u"田中"_qs, u"渡辺"_qs, u"伊藤"_qs,
                                u"山田"_qs, u"佐藤"_qs, u"髙橋"_qs};
    const QStringList given = {u"太郎"_qs, u"花子"_qs, u"一郎"_qs, u"美咲"_qs, u"健太"_qs, u"さくら"_qs};
    QList<MemberValues> list;
    list.reserve(n);
    for (int i = 0; i < n; ++i) {
        MemberValues m;
        m.UserName = family.at(i % family.size()) + u' ' + given.at(i % given.size());
        m.url = QStringLiteral("https://example.jp/member/%1").arg(i);
        m.count1 = i * 37;
        m.count2 = i % 5;
        m.UserDate1 = i % 10 ? QStringLiteral("2024%1%2").arg(i % 12 + 1, 2, 10, QChar(u'0')).arg(i % 28 + 1, 2, 10, QChar(u'0'))
                             : QString();
        list.append(m);
    }
    return list;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int memberCount = 100000;
    const QString body = bodyText(false);
    const QString utf8Body = bodyText(true);
    const QList<MemberValues> list = members(memberCount);
    const MailFormat format(u"ツバメ便編集部"_qs, QStringLiteral("news@example.jp"), u"会員の皆様"_qs,
                            u"【ツバメ便】12月号 新商品のご案内とキャンペーンのお知らせ"_qs);
    MessageIdSource ids(format.sender());
    const ListUnsubscribe unsubscribe(QStringLiteral("unsubscribe@example.jp"),
                                      QStringLiteral("https://example.jp/unsubscribe"), QByteArray(32, 'k'), 1);
    const QDate today(2026, 12, 10);
    fprintf(stderr, "body: %lld characters, %d members\n", qlonglong(body.size()), memberCount);

    // Encoding, as the delivery does it for each member of a personalised issue.
    qint64 bytes = 0;
    int utf8 = 0;
    QElapsedTimer timer;
    timer.start();
    double cpu = threadCpuSeconds();
    for (const MemberValues &m : list) {
        const EncodedBody e = format.encodeBody(Personalize(body, m, today));
        bytes += e.lines.size();
        utf8 += e.charset == MailCharset::Utf8 ? 1 : 0;
    }
    const double encodeSeconds = timer.nsecsElapsed() / 1e9;
    const double encodeRate = memberCount / encodeSeconds;
    fprintf(stderr, "encoded %d bodies (%lld bytes, %d as UTF-8) in %.3f s (%.2f us CPU each)\n", memberCount,
            qlonglong(bytes), utf8, encodeSeconds, (threadCpuSeconds() - cpu) * 1e6 / memberCount);

    bytes = 0;
    timer.restart();
    cpu = threadCpuSeconds();
    for (const MemberValues &m : list)
        bytes += format.encodeBody(Personalize(utf8Body, m, today)).lines.size();
    const double utf8Seconds = timer.nsecsElapsed() / 1e9;
    const double utf8Rate = memberCount / utf8Seconds;
    fprintf(stderr, "encoded %d UTF-8 bodies (%lld bytes) in %.3f s (%.2f us CPU each)\n", memberCount,
            qlonglong(bytes), utf8Seconds, (threadCpuSeconds() - cpu) * 1e6 / memberCount);

    bytes = 0;
    timer.restart();
    cpu = threadCpuSeconds();
    for (int i = 0; i < memberCount; ++i) {
        const QByteArray mail = format.individual(QStringLiteral("member@example.jp"),
                                                  format.encodeBody(Personalize(body, list.at(i), today)),
                                                  QDateTime::currentDateTime(),
                                                  ids.nextField() + unsubscribe.memberFields(i + 1));
        bytes += mail.size();
    }
    const double messageSeconds = timer.nsecsElapsed() / 1e9;
    const double messageRate = memberCount / messageSeconds;
    fprintf(stderr, "put together %d messages (%lld bytes) in %.3f s (%.2f us CPU each)\n", memberCount,
            qlonglong(bytes), messageSeconds, (threadCpuSeconds() - cpu) * 1e6 / memberCount);

    // Sending the same kind of mail to a sink on loopback.
    QThread sinkThread;
    SmtpSink sink;
    sink.moveToThread(&sinkThread);
    sinkThread.start();
    quint16 port = 0;
    QMetaObject::invokeMethod(&sink, [&] { port = sink.listen(); }, Qt::BlockingQueuedConnection);

    std::unique_ptr<MailSocket> socket = makeTcpMailSocket();
    SmtpClient smtp(*socket);
    SmtpOptions options;
    options.host = QStringLiteral("127.0.0.1");
    options.port = port;
    options.heloName = QStringLiteral("bench.local");
    smtp.setOptions(options);
    if (!smtp.connectToServer()) {
        fprintf(stderr, "cannot connect to the sink: %s\n", qPrintable(smtp.errorString()));
        return 1;
    }
    const QByteArray mail = format.individual(QStringLiteral("member@example.jp"),
                                              format.encodeBody(Personalize(body, list.first(), today)),
                                              QDateTime::currentDateTime(),
                                              ids.nextField() + unsubscribe.memberFields(1));
    // Warm up, then send for a fixed count.
    for (int i = 0; i < 200; ++i)
        smtp.sendMail(format.sender(), {QStringLiteral("member@example.jp")}, mail);
    const int sendCount = 5000;
    timer.restart();
    cpu = threadCpuSeconds();
    int sent = 0;
    for (int i = 0; i < sendCount; ++i)
        sent += smtp.sendMail(format.sender(), {QStringLiteral("member%1@example.jp").arg(i)}, mail) ? 1 : 0;
    const double sendSeconds = timer.nsecsElapsed() / 1e9;
    smtp.quit();
    const double sendRate = sent / sendSeconds;
    fprintf(stderr, "sent %d of %d mails in %.3f s (%.2f us CPU each in the client; sink counted %d with warm-up)\n",
            sent, sendCount, sendSeconds, (threadCpuSeconds() - cpu) * 1e6 / sendCount, sink.received());
    sinkThread.quit();
    sinkThread.wait();
    if (sent != sendCount)
        return 1;

    printf("encode.personalised.rate: %.0f members/s\n", encodeRate);
    printf("encode.utf8.rate: %.0f members/s\n", utf8Rate);
    printf("encode.message.rate: %.0f members/s\n", messageRate);
    printf("encode.send.rate: %.0f mails/s\n", sendRate);
    printf("ratio encode_vs_send: %.1f\n", encodeRate / sendRate);
    printf("ratio message_vs_send: %.1f\n", messageRate / sendRate);
    return 0;
}
