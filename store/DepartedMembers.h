#pragma once
// A member deleted while an issue still has to reach them would keep that issue open for
// ever: a delivery reads its recipients joined with the member table, so the row is never
// read again and never becomes final. Every delete of members (the member list, removal by
// list, an unsubscribe that deletes) therefore settles the member's open rows (waiting,
// sending, deferred, reserved) in every issue as skipped with the reason "メンバー削除", in
// the delete's own transaction. The member's SendComplete follows as for any final state;
// the after-send update does not, since nothing was sent. Rows already final or unknown stay
// as they are: they tell what happened to a mail that was sent.
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>

class DepartedMembers
{
public:
    // Prepares the statements on the connection (this thread's by default). Throws
    // StoreError.
    explicit DepartedMembers(int magIdx);
    DepartedMembers(const QSqlDatabase &db, int magIdx);

    // Settles the member's open rows in every issue of the magazine and returns how many.
    // Runs inside the caller's transaction, beside the delete; throws StoreError.
    int settle(qint64 userIdx);

    // The reply a settled row gets.
    static QString reason();

    // Settles the open rows whose member is no longer in the magazine, in every magazine,
    // and returns how many; inside the caller's transaction. Reads only the open rows
    // (through their own index).
    static int settleGone(const QSqlDatabase &db);
    // The same when the store is opened: a store of an older build, or rows an older build
    // left, are settled in one transaction of their own, taken only when there is something
    // to settle.
    static void settleAtOpen(const QSqlDatabase &db);

    // The statements: SendComplete of the member's open issues, then its open rows
    // (values: magazine, member, magazine, member; then reason, magazine, member); and the
    // read of the open rows whose member is gone.
    static QStringList settleStatements();
    static QString goneStatement();

private:
    int m_magIdx;
    QSqlQuery m_complete;
    QSqlQuery m_skip;
};
