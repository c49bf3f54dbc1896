#include "store/Folders.h"

#include <QStandardPaths>

namespace Folders {

QString docDir()
{
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + QStringLiteral("/ツバメ便");
}

QString dataDir()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + QStringLiteral("/Brindlow/Tsubame2/");
}

QString storeFile(const QString &dataDir)
{
    return dataDir + QStringLiteral("Tsubame.db");
}

} // namespace Folders
