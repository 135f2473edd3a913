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

// Writes bytes under path. A new file is written beside it under a short name and renamed
// over it, so the name itself is replaced and a reader never sees half a file. Where the
// folder takes no new file, or the old file has further hard links that must keep seeing
// it, the file is rewritten in place, opened without following a link. A path that is a
// symbolic link (dangling or not) is never written: IsLink, with *linkTarget.
ReplaceOutcome ReplaceFileBytes(const QString &path, const QByteArray &bytes, int *err = nullptr,
                                QString *linkTarget = nullptr);

// Where a symbolic link at path points (as written in the link); null when path is no link.
QString SymLinkTarget(const QString &path);

}  // namespace tessaly
