#pragma once
// The vendor's version list and the names it offers, read without touching the network or
// the store, so every odd line can be checked on its own.
#include <QByteArray>
#include <QList>
#include <QString>

namespace VersionList {

// One line of the list: version text, a second field kept as it is, the update file's name.
struct Line {
    QString version;
    QString note;
    QString fileName;
    bool operator==(const Line &other) const = default;
};

// The list body as text: UTF-8 when the bytes are valid UTF-8 (plain ASCII included), else
// the vendor's code page 932.
QString decode(const QByteArray &body);

// Splits the list body into lines (CR LF, LF or CR) and each line into its three fields.
// A field runs to the next TAB and the third one to the end of the line: a line without a
// TAB has an empty version and the whole line as file name, a line with one TAB an empty
// second field. A line break at the very end does not make an extra empty line.
QList<Line> parse(const QString &body);

// Six decimal digits, two for each of major, minor and release ("020006" for 2.0.6).
bool isVersionText(const QString &text);
QString versionText(int major, int minor, int release);

// Whether a listed version can follow the running one: its major number is at most one
// above the running major number (a program does not skip a whole major version). A
// version such as "999999" is not: it may be recorded, but it must not stand as the last
// version recorded, which would hide every real one that comes after it. When the running
// version is not a version text, every version text is plausible.
bool isPlausibleStep(const QString &version, const QString &running);

// A name the update folder can hold as a plain file of its own: refused are the empty name,
// "." and "..", anything with "/", "\" or "..", control characters and names too long
// for the file system. Such a name could point outside the folder.
bool isSafeFileName(const QString &name);

} // namespace VersionList
