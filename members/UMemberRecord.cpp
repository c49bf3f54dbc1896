#include "members/UMemberRecord.h"

std::array<QString, 7> AfterSendCaptions(const std::array<QString, 7> &fieldNames)
{
    std::array<QString, 7> out;
    for (size_t i = 0; i < 7; ++i) {
        const QString suffix = i < 3 ? QStringLiteral("をON") : i < 5 ? QStringLiteral("を加算") : QStringLiteral("を今日の日付");
        out[i] = fieldNames[i] + suffix;
    }
    return out;
}
