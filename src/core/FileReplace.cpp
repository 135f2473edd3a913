#include "FileReplace.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaly {

namespace {

bool writeAll(int fd, const QByteArray &bytes)
{
    const char *p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

// Closes fd; false (errno set) when writing or closing failed. A network file system
// reports a full disk at close.
bool finish(int fd, bool written)
{
    const int saved = errno;
    const bool closed = ::close(fd) == 0;
    if (!written)
        errno = saved;
    return written && closed;
}

// The old file rewritten in place; a link at path makes the open fail.
bool synced(int fd, FileSync sync)
{
    return sync == FileSync::Later || ::fsync(fd) == 0;
}

bool rewriteInPlace(const QByteArray &name, const QByteArray &bytes, FileSync sync)
{
    const int fd = ::open(name.constData(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    return finish(fd, ::ftruncate(fd, 0) == 0 && writeAll(fd, bytes) && synced(fd, sync));
}

}  // namespace

QString SymLinkTarget(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st;
    if (::lstat(name.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
        return QString();
    QByteArray buf(4096, '\0');
    const ssize_t n = ::readlink(name.constData(), buf.data(), size_t(buf.size()));
    return n < 0 ? QStringLiteral("?") : QFile::decodeName(buf.left(n));
}

bool IsSameFile(const QString &a, const QString &b)
{
    const QString ra = QFileInfo(a).canonicalFilePath();
    if (!ra.isEmpty() && ra == QFileInfo(b).canonicalFilePath())
        return true;
    struct stat sa, sb;
    return ::stat(QFile::encodeName(a).constData(), &sa) == 0 && ::stat(QFile::encodeName(b).constData(), &sb) == 0
           && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

ReplaceOutcome ReplaceFileBytes(const QString &path, const QByteArray &bytes, int *err, QString *linkTarget,
                                FileSync sync, OtherLinks links)
{
    int dummy = 0;
    int &e = err ? *err : dummy;
    const QByteArray name = QFile::encodeName(path);
    struct stat st;
    const bool exists = ::lstat(name.constData(), &st) == 0;
    if (exists && S_ISLNK(st.st_mode)) {
        if (linkTarget)
            *linkTarget = SymLinkTarget(path);
        return ReplaceOutcome::IsLink;
    }
    if (exists && !S_ISREG(st.st_mode)) {
        e = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return ReplaceOutcome::Failed;
    }
    const auto failed = [&]() {
        e = errno;
        if (e == ELOOP && linkTarget)
            *linkTarget = SymLinkTarget(path);
        return e == ELOOP ? ReplaceOutcome::IsLink : ReplaceOutcome::Failed;
    };
    const bool shared = exists && st.st_nlink > 1;
    if (shared && links == OtherLinks::SeeNew)
        return rewriteInPlace(name, bytes, sync) ? ReplaceOutcome::Done : failed();

    // A short name: the file's own name may already be as long as the folder allows.
    const QByteArray folder = QFile::encodeName(QFileInfo(path).path());
    static const char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        QByteArray temp = folder + "/.tsl";
        for (int i = 0; i < 8; ++i)
            temp += kChars[QRandomGenerator::global()->bounded(int(sizeof kChars - 1))];
        const mode_t mode = exists ? (st.st_mode & 07777) : 0666;
        const int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            // A folder that takes no new file: an old file that may be written is rewritten,
            // unless its other names must keep it.
            if ((errno == EACCES || errno == EPERM) && exists && !shared && ::access(name.constData(), W_OK) == 0)
                return rewriteInPlace(name, bytes, sync) ? ReplaceOutcome::Done : failed();
            return failed();
        }
        const bool ok = finish(fd, writeAll(fd, bytes) && (!exists || ::fchmod(fd, mode) == 0) && synced(fd, sync));
        // rename() replaces the name itself, also when it became a link meanwhile.
        if (ok && ::rename(temp.constData(), name.constData()) == 0)
            return ReplaceOutcome::Done;
        const int saved = errno;
        ::unlink(temp.constData());
        errno = saved;
        return failed();
    }
    return failed();
}

}  // namespace tessaly
