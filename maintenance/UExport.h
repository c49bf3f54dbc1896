#pragma once
// Writing the members of a magazine to a comma-separated file: a heading line of the
// eleven captions, then one line per member in the order the import reads by default.
#include <QString>

#include <array>

class QSaveFile;

struct ExportOutcome {
    bool ok = false;
    int members = 0;
    bool utf8 = false; // some text has no code in CP932: the file was written as UTF-8
    QString error;     // a read error of the store or a write error
};

// Text in code page 932 with CR LF line ends. Text values are quoted with inner quotes
// doubled, so commas and quotes come back unchanged through the import. When a value
// holds a character without a CP932 code, the whole file is written as UTF-8 with a
// byte-order mark instead, which the import reads as well, so nothing is lost.
// file is opened for writing; it is committed, replacing the file it names, only when
// every member was read and written. Otherwise that file stays as it was.
ExportOutcome ExportMembers(int magIdx, const std::array<QString, 7> &fieldNames, QSaveFile &file);
