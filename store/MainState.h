#pragma once
// The state the main window shares with every dialog and command, under the names the
// rest of the program knows it by. The main window owns the one instance.
#include <QString>

#include <array>

struct MainState {
    int CurMagIdx = -1;                    // selected magazine, -1 when none
    std::array<QString, 7> MagFieldNames;  // Flg1..3, Count1..2, UserDate1..2 display names
    QString MagSign;                       // signature file name of the selected magazine
    std::array<int, 32> ColumnMap;         // column code per member-list column, -1 beyond the last
    int ColumnSize = 40;                   // composer line width in full-width characters
    int MagSortColumn = 0;
    int MemberSortColumn = 0;
    bool SortDescending = false;
    // Delivery progress: changed on the user-interface thread only, from the workers' signals.
    int SendingCount = 0;                  // delivery workers running
    int SendTotal = 0;                     // recipients of the deliveries in progress
    int SentCount = 0;                     // mails reported sent of SendTotal
    bool SendFinished = false;             // any delivery has ended; never cleared
    QString CustomCondSql;                 // free condition as a where-clause
    QString CustomCondText;                // free condition as the user wrote it
    QString DroppedText;                   // text dropped on the member list, trimmed
    QString DocDir;                        // documents folder + "/ツバメ便", no trailing separator
    QString DataDir;                       // data folder, ends with "/"

    MainState() { ColumnMap.fill(-1); }
};
