#pragma once
#include <QString>

namespace Folders {

// The user's documents folder + "/ツバメ便" (no trailing separator).
QString docDir();
// The data folder that holds the store, "sign" and "where"; ends with "/".
QString dataDir();
// The store file inside dataDir().
QString storeFile(const QString &dataDir);

} // namespace Folders
