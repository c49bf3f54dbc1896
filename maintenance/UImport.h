#pragma once
// Adding the lines of a comma-separated file to a magazine as members, or updating the
// members that already have a line's address. Plain values in, an outcome out; the
// command around it shows the dialogs and the progress.
#include "maintenance/LineJobOutcome.h"

#include <QDate>
#include <QList>
#include <QString>

#include <functional>

class QIODevice;
class TextLineReader;

// What the import dialog gives back.
struct ImportSettings {
    QList<int> order;     // item codes (0 name ... 10 sign-up date), one per file column
    bool heading = true;  // the first line holds captions and is skipped
    bool replace = true;  // a line whose address a member already has updates that member
};

// Its lines are counted after the heading.
struct ImportOutcome : LineJobOutcome {
    int inserted = 0;
    int updated = 0;
    int rejected = 0;     // lines with an unusable address, written to the log
    int tooLong = 0;      // lines that would make a member too long for a backup, in the log too
};

// What the import says of the lines it left out for being too long, pointing to where they
// are listed.
QString TooLongLinesText(int lines, const QString &where);

class MemberImport
{
public:
    MemberImport(int magIdx, const ImportSettings &settings, const QDate &today);

    // Reads the lines to the end (dropping the heading line when set), writes each
    // rejected line to the log as "line N  address" (CP932, CR LF), or, for a line whose
    // member a backup could not carry, "line N  address  「item」が長すぎます…", and calls
    // progress with the line counter after each line. Lines are grouped into transactions for speed;
    // when a line fails, the lines before it are committed and the import stops.
    ImportOutcome run(TextLineReader &lines, QIODevice *log, const std::function<void(int)> &progress);

private:
    int m_magIdx;
    ImportSettings m_settings;
    QDate m_todayDate;
    QString m_today;
    int m_column[11]; // file column of each item code, -1 when not imported
};
