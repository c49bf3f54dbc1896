#include "store/StoreFile.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace {

// Where a name leads: an existing file by its device and inode; one not there (or a link
// to nothing) by the path it would be created at.
struct Identity {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    QString path;
};

Identity identify(const QString &name)
{
    Identity id;
    struct stat st {};
    if (::stat(QFile::encodeName(name).constData(), &st) == 0) {
        id.exists = true;
        id.device = st.st_dev;
        id.inode = st.st_ino;
        return id;
    }
    // Writing through a link to nothing creates its target: follow the links by hand (a
    // bounded number, as the system does).
    QString path = QFileInfo(name).absoluteFilePath();
    for (int hop = 0; hop < 40; ++hop) {
        const QFileInfo link(path);
        if (!link.isSymLink())
            break;
        path = link.symLinkTarget();
    }
    const QFileInfo target(path);
    const QString folder = QFileInfo(target.absolutePath()).canonicalFilePath();
    id.path = (folder.isEmpty() ? target.absolutePath() : folder) + QLatin1Char('/') + target.fileName();
    return id;
}

} // namespace

namespace StoreFile {

bool isStore(const QString &file, const QString &storePath)
{
    if (file.isEmpty() || storePath.isEmpty())
        return false;
    const Identity named = identify(file);
    for (const char *suffix : {"", "-wal", "-shm", "-journal"}) {
        const Identity store = identify(storePath + QLatin1String(suffix));
        if (named.exists != store.exists)
            continue;
        if (named.exists ? named.device == store.device && named.inode == store.inode : named.path == store.path)
            return true;
    }
    return false;
}

QString refusalText(const QString &file)
{
    return QStringLiteral("%1 はデータベースのファイル(またはその作業ファイル)です。データベースを壊さないよう、"
                          "別のファイルを指定してください。")
        .arg(file);
}

} // namespace StoreFile
