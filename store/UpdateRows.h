#pragma once
// The update rows: CommonTBL rows with key1 = 1000, one per version the vendor's list has
// offered. key2 numbers them in the order they were recorded; int1 is 0 until the running
// program is that version or newer, then 1; int2 and int3 are 0; str1 is the version text
// (six digits, compared as text), str2 the list's note, str3 the update file's name.
// Values are bound, never pasted. Failures throw StoreError.
#include <QList>
#include <QString>

namespace UpdateRows {

struct Known {
    qint64 key2 = 0;
    QString version;
};

// Every recorded version, the last recorded (highest key2) first.
QList<Known> known();

// Records a version offered by the list, as not yet installed.
void add(qint64 key2, const QString &version, const QString &note, const QString &fileName);

// Marks every version up to and including this one as installed.
void markInstalled(const QString &programVersion);

// How many recorded versions are not installed yet.
qint64 countWaiting();

struct Waiting {
    QString fileName;
    QString version;
};

// The versions not installed yet that are newer than this one, with their file names.
QList<Waiting> waitingNewerThan(const QString &programVersion);

} // namespace UpdateRows
