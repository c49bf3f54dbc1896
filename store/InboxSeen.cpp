#include "store/InboxSeen.h"

#include "store/PreparedStatement.h"
#include "store/Database.h"

#include <QDateTime>
#include <QSet>

namespace InboxSeen {

QHash<QByteArray, State> load(const QString &mailbox)
{
    QHash<QByteArray, State> out;
    PreparedStatement s(QStringLiteral("select Uidl, State from InboxSeen where Mailbox = ?"));
    s.run({mailbox});
    while (s.next()) {
        const qint64 state = s.value(1).toLongLong();
        if (state == qint64(State::Done) || state == qint64(State::Left) || state == qint64(State::Unreadable))
            out.insert(s.value(0).toString().toLatin1(), State(state));
    }
    s.finish();
    return out;
}

QList<SeenRow> rows(const QString &mailbox)
{
    QList<SeenRow> out;
    PreparedStatement s(QStringLiteral("select Uidl, State, SeenDate from InboxSeen where Mailbox = ?"));
    s.run({mailbox});
    while (s.next()) {
        const qint64 state = s.value(1).toLongLong();
        if (state == qint64(State::Done) || state == qint64(State::Left) || state == qint64(State::Unreadable))
            out += SeenRow{s.value(0).toString().toLatin1(), State(state), s.value(2).toString()};
    }
    s.finish();
    return out;
}


void mark(const QString &mailbox, const QByteArray &uidl, State state)
{
    PreparedStatement s(QStringLiteral("insert or replace into InboxSeen (Mailbox, Uidl, State, SeenDate) values (?, ?, ?, ?)"));
    s.run({mailbox, QString::fromLatin1(uidl), int(state),
           QDateTime::currentDateTime().toString(QStringLiteral("yyyy/MM/dd hh:mm"))});
}

void keepOnly(const QString &mailbox, const QList<QByteArray> &present)
{
    const QHash<QByteArray, State> stored = load(mailbox);
    const QSet<QByteArray> keep(present.begin(), present.end());
    Transaction t;
    PreparedStatement remove(QStringLiteral("delete from InboxSeen where Mailbox = ? and Uidl = ?"));
    for (auto it = stored.constBegin(); it != stored.constEnd(); ++it) {
        const qsizetype space = it.key().indexOf(' ');
        if (!keep.contains(space < 0 ? it.key() : it.key().left(space)))
            remove.run({mailbox, QString::fromLatin1(it.key())});
    }
    t.commit();
}

} // namespace InboxSeen
