#include "members/UMagazineChoice.h"

QString MagazineChoice::missingText()
{
    return QStringLiteral("マガジン名を選択してください。");
}
