#pragma once
// A file a command writes (an export, a backup, an import's log) or a restore reads must not
// be the store itself: writing it would replace or cut the store under every process that
// has it open. The same file may be named in many ways (a symbolic link, a hard link, a
// relative path), and the engine's own files beside it (-wal, -shm, -journal) are the store
// as much as the main file.
#include <QString>

namespace StoreFile {

// True when the file is the store at storePath or one of the engine's files beside it:
// compared by device and inode when both exist, and otherwise by the path each leads to
// (symbolic links followed, the folder's canonical path), so that a file not there yet
// counts too.
bool isStore(const QString &file, const QString &storePath);

// What a command says when it refuses such a file.
QString refusalText(const QString &file);

} // namespace StoreFile
