#pragma once
// What the windows derive from a magazine's record.
#include "store/MemberSql.h"
#include "store/MagazineSql.h"

#include <QString>

#include <array>

// Captions (and hints) of the send page's seven after-send check boxes, from the field
// names: flags "をON", counters "を加算", dates "を今日の日付".
std::array<QString, 7> AfterSendCaptions(const std::array<QString, 7> &fieldNames);
