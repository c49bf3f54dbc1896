#pragma once
// A member and a magazine as plain values, and the statements that read and write them.
// Every text value goes into a statement through the one quoting helper, so nothing a
// user types can change what a statement does.
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
QString duplicateAddressCount(int magIdx, const QString &address);
QString maxUserIdx(int magIdx);
QString insert(const MemberRecord &m);
QString update(const MemberRecord &m);
QString remove(int magIdx, int userIdx);
QString setSleep(int magIdx, int userIdx, bool sleep);
QString count(int magIdx);

// Reads a member; std::nullopt when there is no such row.
std::optional<MemberRecord> load(int magIdx, int userIdx);

} // namespace MemberSql

namespace MagazineSql {

QString list();
QString select(int magIdx);
QString selectByName(const QString &name);
QString countByName(const QString &name);
QString maxIdx();
QString insert(const MagazineRecord &m);
QString update(const MagazineRecord &m);
QString remove(int magIdx);
QString removeMembers(int magIdx);

// The default field names a new magazine starts with.
std::array<QString, 7> defaultFieldNames();

std::optional<MagazineRecord> load(int magIdx);
std::optional<MagazineRecord> loadByName(const QString &name);

} // namespace MagazineSql

// Captions (and hints) of the send page's seven after-send check boxes, from the field
// names: flags "をON", counters "を加算", dates "を今日の日付".
std::array<QString, 7> AfterSendCaptions(const std::array<QString, 7> &fieldNames);
