#pragma once
// A magazine as a plain value, and the statements that read and write magazines.
// Text values are bound to the statements, never pasted into them. Failures throw StoreError.
#include <QList>
#include <QString>

#include <array>
#include <optional>

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

namespace MagazineSql {

struct ListEntry {
    int magIdx = -1;
    QString name;
    qint64 members = 0;
};
// Every magazine with a MagIdx, in MagIdx order, with its number of members.
QList<ListEntry> list();
// The magazines named exactly this, other than exceptMagIdx (-1 to count them all).
qint64 countByName(const QString &name, int exceptMagIdx = -1);
// The MagIdx of the magazine named exactly this; 0 when there is none.
qint64 idByName(const QString &name);
// The highest MagIdx; 0 when there is no magazine.
qint64 maxIdx();
// Writes a new magazine row; an empty sign is stored as NULL.
void insert(const MagazineRecord &m);
// Writes the magazine under the highest MagIdx plus 1 (1 for the first) and returns that
// index, in one transaction like MemberSql::insertNew.
int insertNew(const MagazineRecord &m);
// Rewrites the magazine m.magIdx from the record.
void update(const MagazineRecord &m);
// Deletes the magazine and its members together, or nothing when the store refuses.
void removeWithMembers(int magIdx);

// The default field names a new magazine starts with.
std::array<QString, 7> defaultFieldNames();

std::optional<MagazineRecord> load(int magIdx);

} // namespace MagazineSql
