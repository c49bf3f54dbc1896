#pragma once
// A member and a magazine as plain values, and the statements that read and write them.
// Text values are bound to the statements, never pasted into them, so any text a row can
// hold (quotes, NUL and other control characters included) is stored and read back exactly
// and cannot change what a statement does. Failures throw StoreError.
#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

struct MemberRecord {
    int magIdx = -1;
    int userIdx = -1;
    QString name;
    QString address;
    QString url;
    bool sleep = false;
    std::array<bool, 3> flags{};
    std::array<qint64, 2> counts{};
    // "yyyymmdd" texts; std::nullopt for a NULL column.
    std::optional<QString> date1;
    std::optional<QString> date2;
    QString addDate;
};

struct MagazineRecord {
    int magIdx = -1;
    QString name;
    QString owner;   // 発行者名
    QString adrs;    // sender address
    QString atena;   // メール宛名
    QString sign;    // signature file name; empty when none
    std::array<QString, 7> fieldNames;
    bool useUserName = false;
};

namespace MemberSql {

QString list(int magIdx);
QString select(int magIdx, int userIdx);
// The members of the magazine with exactly this address.
qint64 countAddress(int magIdx, const QString &address);
QString maxUserIdx(int magIdx);
// Writes a new member row; every column comes from the record.
void insert(const MemberRecord &m);
// Writes the member under the magazine's highest UserIdx plus 1 (1 for its first member)
// and returns that index. Reading the highest and writing the row are one transaction, so
// two writers never take one index.
int insertNew(const MemberRecord &m);
// Rewrites the member (MagIdx, UserIdx) from the record; AddDate is left as stored.
void update(const MemberRecord &m);
QString remove(int magIdx, int userIdx);
QString setSleep(int magIdx, int userIdx, bool sleep);
QString count(int magIdx);

// Reads a member; std::nullopt when there is no such row.
std::optional<MemberRecord> load(int magIdx, int userIdx);

} // namespace MemberSql

namespace MagazineSql {

QString list();
QString select(int magIdx);
// The magazines named exactly this, other than exceptMagIdx (-1 to count them all).
qint64 countByName(const QString &name, int exceptMagIdx = -1);
QString maxIdx();
// Writes a new magazine row; an empty sign is stored as NULL.
void insert(const MagazineRecord &m);
// Writes the magazine under the highest MagIdx plus 1 (1 for the first) and returns that
// index, in one transaction like MemberSql::insertNew.
int insertNew(const MagazineRecord &m);
// Rewrites the magazine m.magIdx from the record.
void update(const MagazineRecord &m);
QString remove(int magIdx);
QString removeMembers(int magIdx);

// The default field names a new magazine starts with.
std::array<QString, 7> defaultFieldNames();

std::optional<MagazineRecord> load(int magIdx);

} // namespace MagazineSql
