#pragma once
// Replacing a file's contents without ever writing through a symbolic link.
#include <QByteArray>
#include <QString>

namespace tessaly {

enum class ReplaceOutcome {
    Done,
    IsLink,  // the name is a symbolic link: nothing written
    Failed,  // *err holds the errno
};

// Now: the bytes are on the disk before the name is replaced. Later: no sync, for files
// a reader checks and makes again (the poster cache).
enum class FileSync { Now, Later };

// What the other hard links of an old file see afterwards. SeeNew: the new bytes (a page
// or picture of a site that is linked elsewhere). KeepOld: the old file, untouched; only
// this name is replaced (a new library must never empty a library kept under another name).
enum class OtherLinks { SeeNew, KeepOld };

// Writes bytes under path. A new file is written beside it under a short name and renamed
// over it, so the name itself is replaced and a reader never sees half a file. Where the
// folder takes no new file, or (SeeNew) the old file has further hard links, the file is
// rewritten in place, opened without following a link; with KeepOld a file with further
// links is then not written (Failed, with the folder's errno). A path that is a symbolic
// link (dangling or not) is never written: IsLink, with *linkTarget.
ReplaceOutcome ReplaceFileBytes(const QString &path, const QByteArray &bytes, int *err = nullptr,
                                QString *linkTarget = nullptr, FileSync sync = FileSync::Now,
                                OtherLinks links = OtherLinks::SeeNew);

// Whether a and b name one existing file: by resolved path, or by device and inode, which
// a hard link or a bind mount shares under another path.
bool IsSameFile(const QString &a, const QString &b);

// Where a symbolic link at path points (as written in the link); null when path is no link.
QString SymLinkTarget(const QString &path);

}  // namespace tessaly
