#pragma once
// Signatures, condition files and inserted text files: CP932 text read as lines (CR LF, LF
// or CR end a line) and written with CR LF after every line.
#include <QString>
#include <QStringList>

namespace TextFile {

// The whole file as text: UTF-8 when it starts with a byte-order mark or is valid UTF-8,
// else CP932. False with *error set (the system's text) when the file cannot be read, or
// when it holds more than maxBytes (no bound when negative).
bool readText(const QString &path, QString *text, QString *error, qint64 maxBytes = -1);
// The same, as lines.
bool readLines(const QString &path, QStringList *lines, QString *error, qint64 maxBytes = -1);
// False with *error set when the file cannot be written, or when a character has no CP932
// code (the file is then left as it was rather than written with the character lost).
bool writeLines(const QString &path, const QStringList &lines, QString *error);

// The lines of a multi-line edit's text: a final line break ends the last line rather
// than starting an empty one.
QStringList splitLines(const QString &text);
// Each line followed by CR LF, as the composer inserts a file.
QString joinCrLf(const QStringList &lines);

} // namespace TextFile
