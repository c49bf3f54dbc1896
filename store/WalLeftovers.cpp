#include "store/WalLeftovers.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

namespace {

bool writable(const QString &path)
{
    return ::access(QFile::encodeName(path).constData(), W_OK) == 0;
}

// Owner write permission first; a file of another user is copied into one of ours instead,
// with the permissions of the store, as SQLite would have made it. The copy replaces the old
// file only once it is complete, so a failure leaves the old one as it was.
bool makeWritable(const QString &path, const QString &storePath)
{
    QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::WriteOwner);
    if (writable(path))
        return true;
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    QTemporaryFile out(path + QStringLiteral(".XXXXXX"));
    if (!out.open())
        return false;
    char buffer[1 << 16];
    for (;;) {
        const qint64 n = in.read(buffer, sizeof buffer);
        if (n < 0)
            return false;
        if (n == 0)
            break;
        if (out.write(buffer, n) != n)
            return false;
    }
    if (!out.flush() || ::fsync(out.handle()) != 0)
        return false;
    out.setPermissions(QFile::permissions(storePath) | QFileDevice::WriteOwner);
    if (::rename(QFile::encodeName(out.fileName()).constData(), QFile::encodeName(path).constData()) != 0)
        return false;
    out.setAutoRemove(false);
    return writable(path);
}

// Some process other than this one holds a POSIX lock on bytes [start, start + length) of the
// file, or the file cannot be opened to tell. Locks of this process do not show, and closing
// the descriptor would drop them: the caller runs before this process opens the store.
bool locked(const QString &path, off_t start, off_t length)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return true;
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = start;
    lock.l_len = length;
    const bool busy = ::fcntl(fd, F_GETLK, &lock) != 0 || lock.l_type != F_UNLCK;
    ::close(fd);
    return busy;
}

} // namespace

namespace WalLeftovers {

bool inUse(const QString &shmPath)
{
    // The unix VFS of SQLite locks bytes 120 to 127 of the index while reading and writing, and
    // holds a read lock on byte 128 for as long as a connection has the index open.
    return locked(shmPath, 120, 9);
}

bool repair(const QString &storePath)
{
    if (!QFileInfo::exists(storePath) || !writable(storePath))
        return false;
    const QString shm = storePath + QStringLiteral("-shm");
    const QString wal = storePath + QStringLiteral("-wal");
    const bool shmExists = QFileInfo::exists(shm);
    const bool staleShm = shmExists && !writable(shm);
    const bool staleWal = QFileInfo::exists(wal) && !writable(wal);
    if (!staleShm && !staleWal)
        return false;
    // Without an index nobody has the store open in log mode; with one, its locks tell. A
    // connection in exclusive mode keeps no index but holds the store file's own lock.
    // (0x40000000 is SQLite's "pending byte", followed by its reserved and shared bytes.)
    if ((shmExists && inUse(shm)) || locked(storePath, 0x40000000, 512))
        return false;
    bool mended = false;
    if (staleWal) {
        if (!makeWritable(wal, storePath))
            return false; // the log stays as it was; the store opens read-only and says so
        mended = true;
    }
    if (staleShm) {
        QFile::setPermissions(shm, QFile::permissions(shm) | QFileDevice::WriteOwner);
        if (!writable(shm))
            QFile::remove(shm);
        mended = mended || !QFileInfo::exists(shm) || writable(shm);
    }
    return mended;
}

} // namespace WalLeftovers
