#include "CopyFolder.h"

#include "DirEntries.h"

#include "PageFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <algorithm>

#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <linux/openat2.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace tessaly::htmlout {

namespace {

// A descriptor closed at the end of its scope.
struct Fd {
    int fd = -1;
    explicit Fd(int f = -1) : fd(f) {}
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
};

QStringList partsOf(const QString &rel)
{
    const QStringList parts = rel.split(QLatin1Char('/'));
    for (const QString &p : parts)
        if (p.isEmpty() || p == QLatin1String(".") || p == QLatin1String("..") || p.contains(QChar(0)))
            throw WriteError{52, QCoreApplication::translate("HtmlOut", "ファイル名が正しくありません。(%1)").arg(rel)};
    return parts;
}

bool writeAll(int fd, const char *p, qint64 left)
{
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(qMin<qint64>(left, 1 << 30)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        left -= n;
    }
    return true;
}

bool copyData(int in, int out)
{
    // A reflink shares the blocks until either side is written; else the bytes.
    if (::ioctl(out, FICLONE, in) == 0)
        return true;
    char buf[1 << 16];
    for (;;) {
        const ssize_t n = ::read(in, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        if (!writeAll(out, buf, n))
            return false;
    }
}

// A new temporary file in dir, open for writing, and its name.
int openTemporary(int dir, QByteArray *name)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        *name = temporaryName();
        const int fd = ::openat(dir, name->constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

}  // namespace

CopyFolder::CopyFolder(const QString &folder, const QStringList &sources, const QStringList &made)
    : m_path(folder), m_sources(sources), m_made(made)
{
    // A link given as the folder would lead the copy's writes and removals into its target.
    m_fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (m_fd < 0)
        fileFailure(errno, folder);
}

CopyFolder::~CopyFolder()
{
    forgetFolders();
    for (const int fd : std::as_const(m_madeFolders))
        if (fd >= 0)
            ::close(fd);
    if (m_record >= 0)
        ::close(m_record);
    if (m_fd >= 0)
        ::close(m_fd);
}

QString CopyFolder::pathOf(const QString &rel) const
{
    return m_path + QLatin1Char('/') + rel;
}

namespace {

QString realPathOfFd(int fd)
{
    char buf[PATH_MAX + 1];
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
    const ssize_t n = ::readlink(self.constData(), buf, PATH_MAX);
    return n > 0 ? QFile::decodeName(QByteArray(buf, n)) : QString();
}

}  // namespace

// The nearest folder of path that exists, every link resolved, and the rest as written.
QString realPathOf(const QString &path)
{
    QString rest;
    QString at = QDir::cleanPath(path);
    for (;;) {
        if (char *r = ::realpath(QFile::encodeName(at).constData(), nullptr)) {
            const QString real = QFile::decodeName(r);
            ::free(r);
            return QDir::cleanPath(real + rest);
        }
        const qsizetype slash = at.lastIndexOf(QLatin1Char('/'));
        if (slash <= 0)
            return QDir::cleanPath(path);
        rest.prepend(at.mid(slash));
        at = at.left(slash);
    }
}

QString CopyFolder::realPath() const
{
    return realPathOfFd(m_fd);
}

bool CopyFolder::stat(struct stat *st) const
{
    return ::fstat(m_fd, st) == 0;
}

bool CopyFolder::holds(const QString &path) const
{
    struct stat me;
    const QString mine = realPath();
    if (!stat(&me) || mine.isEmpty())
        return false;
    const QString real = realPathOf(path);
    if (real == mine || isInside(real, mine))
        return true;
    for (QString at : {QDir::cleanPath(path), real}) {
        while (at.startsWith(QLatin1Char('/'))) {
            struct stat st;
            if (::stat(QFile::encodeName(at).constData(), &st) == 0 && st.st_dev == me.st_dev && st.st_ino == me.st_ino)
                return true;
            if (at == QLatin1String("/"))
                break;
            const qsizetype slash = at.lastIndexOf(QLatin1Char('/'));
            at = slash > 0 ? at.left(slash) : QStringLiteral("/");
        }
    }
    return false;
}

void CopyFolder::recordTo(const QString &rel)
{
    const QStringList parts = partsOf(rel);
    std::vector<int> fds = openFolders(parts, parts.size() - 1, true);
    m_record = ::openat(fds.back(), QFile::encodeName(parts.last()).constData(),
                        O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0666);
    const int err = errno;
    closeFolders(fds);
    if (m_record < 0)
        fileFailure(err, pathOf(rel));
    m_recordName = rel;
}

void CopyFolder::stopRecording()
{
    if (m_record < 0)
        return;
    m_pending.clear();
    ::close(m_record);
    m_record = -1;
    remove(m_recordName);
}

bool CopyFolder::recorded(const QString &rel, bool now)
{
    if (m_record < 0)
        return true;
    m_pending += rel.toUtf8() + '\0';
    // A file about to appear is listed before it does. One already there may wait with
    // others: the list an earlier run left holds it, should this run stop.
    return (!now && m_pending.size() < (64 << 10)) || writePending();
}

bool CopyFolder::writePending()
{
    const bool ok = m_record < 0 || writeAll(m_record, m_pending.constData(), m_pending.size());
    m_pending.clear();
    return ok;
}

void CopyFolder::flushRecord()
{
    if (!writePending())
        fileFailure(errno ? errno : EIO, pathOf(m_recordName));
}

void CopyFolder::lock()
{
    // A file system without locks still gets its copy, only without the wait.
    while (::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
    }
    struct stat st;
    if (::fstat(m_fd, &st) == 0) {
        m_startTime = st.st_mtim;
        m_startEntries = entries();
    }
}

QList<QPair<QByteArray, quint64>> CopyFolder::entries() const
{
    QList<QPair<QByteArray, quint64>> list;
    ForEachEntry(m_fd, [&list](const dirent64 &e, int) { list.append({QByteArray(e.d_name), quint64(e.d_ino)}); });
    std::sort(list.begin(), list.end());
    return list;
}

void CopyFolder::keepTimeIfUnchanged()
{
    // The run's own list of what it placed came and went: the folder holds the very
    // entries it held, so its time says so too (an upload tool compares times).
    if (m_startTime.tv_nsec == UTIME_OMIT || entries() != m_startEntries)
        return;
    const timespec times[2] = {{0, UTIME_OMIT}, m_startTime};
    ::futimens(m_fd, times);
}

std::vector<int> CopyFolder::openFolders(const QStringList &parts, qsizetype n, bool create)
{
    // Folders opened by this run stay open for the next file in them: a run touches the
    // same few folders over and over. Only a bounded number, dropped together when no
    // call holds one.
    if (m_holding == 0 && m_open.size() >= kOpenFolders)
        forgetFolders();
    ++m_holding;
    std::vector<int> fds;
    fds.push_back(m_fd);
    QString key;
    for (qsizetype i = 0; i < n; ++i) {
        if (i > 0)
            key += QLatin1Char('/');
        key += parts[i];
        if (const auto known = m_open.constFind(key); known != m_open.cend()) {
            fds.push_back(*known);
            continue;
        }
        const QByteArray name = QFile::encodeName(parts[i]);
        const int at = fds.back();
        int fd = ::openat(at, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0 && create) {
            struct stat st;
            const bool there = ::fstatat(at, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0;
            if (there && S_ISLNK(st.st_mode)) {
                if (::unlinkat(at, name.constData(), 0) != 0) {
                    const int err = errno;
                    closeFolders(fds);
                    fileFailure(err, pathOf(key));
                }
                m_replaced << key;
            } else if (there) {  // a file where a folder goes
                closeFolders(fds);
                fileFailure(ENOTDIR, pathOf(key) + QLatin1Char('/'));
            }
            if (::mkdirat(at, name.constData(), 0777) != 0 && errno != EEXIST) {
                const int err = errno;
                closeFolders(fds);
                fileFailure(err, pathOf(key));
            }
            fd = ::openat(at, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (fd < 0) {
                const int err = errno;
                closeFolders(fds);
                fileFailure(err, pathOf(key));
            }
        }
        if (fd < 0) {
            closeFolders(fds);
            return fds;
        }
        m_open.insert(key, fd);
        fds.push_back(fd);
    }
    return fds;
}

void CopyFolder::closeFolders(std::vector<int> &fds) const
{
    // The descriptors stay with the list of open folders.
    if (!fds.empty())
        --m_holding;
    fds.clear();
}

void CopyFolder::forgetFolders(const QString &rel) const
{
    for (auto it = m_open.begin(); it != m_open.end();) {
        if (rel.isNull() || it.key() == rel || it.key().startsWith(rel + QLatin1Char('/'))) {
            ::close(it.value());
            it = m_open.erase(it);
        } else {
            ++it;
        }
    }
}

void CopyFolder::makeFolder(const QString &rel)
{
    const QStringList parts = partsOf(rel);
    std::vector<int> fds = openFolders(parts, parts.size(), true);
    closeFolders(fds);
}

void CopyFolder::write(const QString &rel, const QByteArray &bytes)
{
    write(rel, [&](const Sink &put) { put(bytes); });
}

void CopyFolder::write(const QString &rel, const std::function<void(const Sink &)> &fill)
{
    const QStringList parts = partsOf(rel);
    std::vector<int> fds = openFolders(parts, parts.size() - 1, true);
    const int dir = fds.back();
    const QByteArray name = QFile::encodeName(parts.last());
    // The bytes are compared with the file already there as they come: while they agree
    // nothing is written, so that a file that comes out the same keeps its time and an
    // upload sees only what changed. At the first difference the temporary starts with
    // the part that agreed, taken from the old file.
    const Fd old(::openat(dir, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat oldSt;
    bool same = old.fd >= 0 && ::fstat(old.fd, &oldSt) == 0 && S_ISREG(oldSt.st_mode) && oldSt.st_nlink == 1;
    qint64 agreed = 0;
    QByteArray temp;
    int err = 0;
    {
        Fd out;
        QByteArray pending;
        const auto flush = [&] {
            if (err == 0 && !writeAll(out.fd, pending.constData(), pending.size()))
                err = errno ? errno : EIO;
            pending.clear();
        };
        const auto diverge = [&] {
            same = false;
            out.fd = openTemporary(dir, &temp);
            if (out.fd < 0) {
                err = errno;
                return;
            }
            char buf[1 << 16];
            for (qint64 at = 0; at < agreed && err == 0;) {
                const ssize_t n = ::pread(old.fd, buf, size_t(qMin<qint64>(sizeof buf, agreed - at)), at);
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0 || !writeAll(out.fd, buf, n))
                    err = n == 0 ? EIO : errno ? errno : EIO;
                else
                    at += n;
            }
        };
        // The old file read ahead in large pieces, as the new bytes come in small ones. Only
        // a piece that agrees whole counts: at a difference the temporary gets the old
        // file's first `agreed` bytes and then the whole piece.
        QByteArray ahead;
        qsizetype aheadUsed = 0;
        const auto agrees = [&](const QByteArray &bytes) {
            qsizetype at = 0;
            while (at < bytes.size()) {
                if (aheadUsed == ahead.size()) {
                    ahead.resize(1 << 16);
                    ssize_t n;
                    while ((n = ::pread(old.fd, ahead.data(), size_t(ahead.size()), agreed + at)) < 0 && errno == EINTR) {
                    }
                    if (n <= 0)
                        return false;
                    ahead.resize(n);
                    aheadUsed = 0;
                }
                const qsizetype n = qMin(bytes.size() - at, ahead.size() - aheadUsed);
                if (std::memcmp(ahead.constData() + aheadUsed, bytes.constData() + at, size_t(n)) != 0)
                    return false;
                at += n;
                aheadUsed += n;
            }
            agreed += at;
            return true;
        };
        if (!same)
            diverge();
        try {
            fill([&](const QByteArray &bytes) {
                if (same && agrees(bytes))
                    return;
                if (same)
                    diverge();
                pending += bytes;
                if (pending.size() >= (64 << 10))
                    flush();
            });
        } catch (...) {
            if (!temp.isEmpty())
                ::unlinkat(dir, temp.constData(), 0);
            closeFolders(fds);
            throw;
        }
        if (same) {
            struct stat now;
            if (::fstat(old.fd, &now) == 0 && now.st_size == agreed) {
                err = recorded(rel) ? 0 : errno ? errno : EIO;
                closeFolders(fds);
                if (err != 0)
                    fileFailure(err, pathOf(rel));
                return;
            }
            diverge();  // the old file is longer
        }
        flush();
        if (err == 0) {
            const int fd = out.fd;
            out.fd = -1;
            if (::close(fd) != 0)  // a network file system reports a full disk here
                err = errno;
        }
    }
    putInPlace(rel, fds, temp, name, err);
}

void CopyFolder::putInPlace(const QString &rel, std::vector<int> &fds, const QByteArray &temp,
                            const QByteArray &name, int err)
{
    const int dir = fds.back();
    if (err == 0 && !recorded(rel, true))
        err = errno ? errno : EIO;
    // A rename replaces a link at the name itself, never what it points to.
    if (err == 0 && ::renameat(dir, temp.constData(), dir, name.constData()) != 0)
        err = errno;
    if (err != 0 && !temp.isEmpty())
        ::unlinkat(dir, temp.constData(), 0);
    closeFolders(fds);
    if (err != 0)
        fileFailure(err, pathOf(rel));
}

bool CopyFolder::inSources(int fd, const QString &source, const QStringList &roots) const
{
    // The file actually opened, every link on its way resolved.
    QString real = realPathOfFd(fd);
    if (real.isEmpty() && !source.isEmpty()) {
        if (char *r = ::realpath(QFile::encodeName(source).constData(), nullptr)) {
            real = QFile::decodeName(r);
            ::free(r);
        }
    }
    if (!real.startsWith(QLatin1Char('/')))
        return false;
    for (const QString &root : roots)
        if (!root.isEmpty() && isInside(real, root))
            return true;
    return false;
}

// Whether t is the copy's own file of source s, as place() left it. Whole seconds: file
// systems that keep no fractions still compare equal. A file with a second name (a hard
// link an older copy made) is not.
static bool copyOf(const struct stat &t, const struct stat &s)
{
    return S_ISREG(t.st_mode) && t.st_nlink == 1 && t.st_size == s.st_size && t.st_mtim.tv_sec == s.st_mtim.tv_sec;
}

bool CopyFolder::holdsCopyOf(const QString &rel, const struct stat &source) const
{
    const QStringList parts = partsOf(rel);
    std::vector<int> fds = const_cast<CopyFolder *>(this)->openFolders(parts, parts.size() - 1, false);
    struct stat t;
    const bool same = !fds.empty()
                      && ::fstatat(fds.back(), QFile::encodeName(parts.last()).constData(), &t, AT_SYMLINK_NOFOLLOW) == 0
                      && copyOf(t, source);
    closeFolders(fds);
    return same;
}

int CopyFolder::madeFolder(const QString &folder) const
{
    const auto known = m_madeFolders.constFind(folder);
    if (known != m_madeFolders.cend())
        return *known;
    int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const QString real = fd >= 0 ? realPathOfFd(fd) : QString();
    if (fd >= 0 && !m_made.contains(real)) {
        ::close(fd);
        fd = -1;
    }
    m_madeFolders.insert(folder, fd);
    return fd;
}

PlaceResult CopyFolder::place(const QString &rel, const QString &source, qint64 *size, bool made)
{
    const QStringList parts = partsOf(rel);
    // A poster or a thumbnail lies in a cache's own folder, held open once its real path
    // was checked: found there by name, and opened only when the copy lacks it.
    const qsizetype slash = source.lastIndexOf(QLatin1Char('/'));
    const int from = made && slash > 0 ? madeFolder(source.left(slash)) : -1;
    const QByteArray fromName = from >= 0 ? QFile::encodeName(source.mid(slash + 1)) : QByteArray();
    Fd in;
    struct stat s;
    if (from >= 0) {
        if (::fstatat(from, fromName.constData(), &s, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(s.st_mode))
            return PlaceResult::Missing;
    } else {
        // Not blocking on a pipe: only a regular file is taken.
        in.fd = ::open(QFile::encodeName(source).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (in.fd < 0 || ::fstat(in.fd, &s) != 0 || !S_ISREG(s.st_mode))
            return PlaceResult::Missing;
        if (!inSources(in.fd, source, made ? m_made : m_sources))
            return PlaceResult::Outside;
    }

    std::vector<int> fds = openFolders(parts, parts.size() - 1, true);
    const int dir = fds.back();
    const QByteArray name = QFile::encodeName(parts.last());
    struct stat t;
    if (::fstatat(dir, name.constData(), &t, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISDIR(t.st_mode)) {
            closeFolders(fds);
            fileFailure(EISDIR, pathOf(rel));
        }
        if (copyOf(t, s)) {
            const int err = recorded(rel) ? 0 : errno ? errno : EIO;
            closeFolders(fds);
            if (err != 0)
                fileFailure(err, pathOf(rel));
            if (size)
                *size = s.st_size;
            return PlaceResult::Unchanged;
        }
    }
    if (in.fd < 0
        && ((in.fd = ::openat(from, fromName.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC)) < 0
            || ::fstat(in.fd, &s) != 0 || !S_ISREG(s.st_mode))) {
        closeFolders(fds);
        return PlaceResult::Missing;
    }
    if (size)
        *size = s.st_size;
    QByteArray temp;
    int err = 0;
    {
        Fd out(openTemporary(dir, &temp));
        const timespec times[2] = {{0, UTIME_OMIT}, s.st_mtim};
        if (out.fd < 0)
            err = errno;
        else if (!copyData(in.fd, out.fd) || ::futimens(out.fd, times) != 0)
            err = errno ? errno : EIO;
        else {
            const int fd = out.fd;
            out.fd = -1;
            if (::close(fd) != 0)
                err = errno;
        }
    }
    putInPlace(rel, fds, temp, name, err);
    return PlaceResult::Placed;
}

QByteArray CopyFolder::read(const QString &rel, qint64 maxBytes) const
{
    const QStringList parts = partsOf(rel);
    std::vector<int> fds = const_cast<CopyFolder *>(this)->openFolders(parts, parts.size() - 1, false);
    QByteArray bytes;
    if (!fds.empty()) {
        const Fd f(::openat(fds.back(), QFile::encodeName(parts.last()).constData(),
                            O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat st;
        if (f.fd >= 0 && ::fstat(f.fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= maxBytes) {
            bytes.resize(st.st_size);
            qint64 got = 0;
            while (got < bytes.size()) {
                const ssize_t n = ::read(f.fd, bytes.data() + got, size_t(bytes.size() - got));
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0)
                    break;
                got += n;
            }
            bytes.truncate(got);
        }
    }
    closeFolders(fds);
    return bytes;
}

bool CopyFolder::read(const QString &rel, const std::function<bool(const char *, qsizetype)> &chunk) const
{
    const QStringList parts = partsOf(rel);
    std::vector<int> fds = const_cast<CopyFolder *>(this)->openFolders(parts, parts.size() - 1, false);
    if (fds.empty())
        return false;
    const Fd f(::openat(fds.back(), QFile::encodeName(parts.last()).constData(),
                        O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    closeFolders(fds);
    struct stat st;
    if (f.fd < 0 || ::fstat(f.fd, &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    char buf[1 << 16];
    for (;;) {
        const ssize_t n = ::read(f.fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || !chunk(buf, n))
            return true;
    }
}

bool CopyFolder::exists(const QString &rel) const
{
    const QStringList parts = partsOf(rel);
    std::vector<int> fds = const_cast<CopyFolder *>(this)->openFolders(parts, parts.size() - 1, false);
    struct stat st;
    const bool there = !fds.empty()
                       && ::fstatat(fds.back(), QFile::encodeName(parts.last()).constData(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    closeFolders(fds);
    return there;
}

bool CopyFolder::keep(const QString &rel)
{
    const QStringList parts = partsOf(rel);
    std::vector<int> fds = openFolders(parts, parts.size() - 1, false);
    struct stat st;
    const bool there = !fds.empty()
                       && ::fstatat(fds.back(), QFile::encodeName(parts.last()).constData(), &st, AT_SYMLINK_NOFOLLOW) == 0
                       && S_ISREG(st.st_mode) && st.st_nlink == 1;
    closeFolders(fds);
    if (there && !recorded(rel))
        fileFailure(errno ? errno : EIO, pathOf(rel));
    return there;
}

bool CopyFolder::keepIfSame(const QString &rel, const QByteArray &bytes)
{
    const QStringList parts = partsOf(rel);
    std::vector<int> fds = openFolders(parts, parts.size() - 1, false);
    bool same = false;
    if (!fds.empty()) {
        const Fd f(::openat(fds.back(), QFile::encodeName(parts.last()).constData(),
                            O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat st;
        same = f.fd >= 0 && ::fstat(f.fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1
               && st.st_size == bytes.size();
        char buf[1 << 16];
        for (qint64 at = 0; same && at < bytes.size();) {
            const ssize_t n = ::pread(f.fd, buf, size_t(qMin<qint64>(sizeof buf, bytes.size() - at)), at);
            if (n < 0 && errno == EINTR)
                continue;
            same = n > 0 && std::memcmp(buf, bytes.constData() + at, size_t(n)) == 0;
            at += n;
        }
    }
    closeFolders(fds);
    if (same && !recorded(rel))
        fileFailure(errno ? errno : EIO, pathOf(rel));
    return same;
}

int CopyFolder::openRead(const QString &rel, struct stat *st) const
{
    // Resolved by the kernel beneath the copy and through no link, with none of the
    // folders this object keeps open: callers on other threads need no lock.
    const QByteArray path = QFile::encodeName(rel);
    open_how how{};
    how.flags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    int fd = int(::syscall(SYS_openat2, m_fd, path.constData(), &how, sizeof how));
    if (fd < 0 && errno == ENOSYS) {  // a kernel before 5.6: one folder at a time
        const QList<QByteArray> parts = path.split('/');
        int dir = m_fd;
        for (qsizetype i = 0; i + 1 < parts.size() && dir >= 0; ++i) {
            const int sub = ::openat(dir, parts.at(i).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (dir != m_fd)
                ::close(dir);
            dir = sub;
        }
        fd = dir < 0 ? -1 : ::openat(dir, parts.last().constData(), how.flags);
        if (dir >= 0 && dir != m_fd)
            ::close(dir);
    }
    struct stat own;
    st = st ? st : &own;
    if (fd >= 0 && (::fstat(fd, st) != 0 || !S_ISREG(st->st_mode))) {
        ::close(fd);
        fd = -1;
    }
    return fd;
}

bool CopyFolder::remove(const QString &rel)
{
    QStringList parts;
    try {
        parts = partsOf(rel);
    } catch (const WriteError &) {
        return false;
    }
    std::vector<int> fds = openFolders(parts, parts.size() - 1, false);
    if (fds.empty())
        return false;
    const QByteArray name = QFile::encodeName(parts.last());
    struct stat st;
    const bool removed = ::fstatat(fds.back(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0
                         && !S_ISDIR(st.st_mode) && ::unlinkat(fds.back(), name.constData(), 0) == 0;
    if (removed)
        removeEmptyFolders(parts, fds);
    closeFolders(fds);
    return removed;
}

void CopyFolder::removeEmptyFolders(const QStringList &parts, const std::vector<int> &fds) const
{
    // From the innermost out.
    for (qsizetype i = parts.size() - 2; i >= 0; --i) {
        if (::unlinkat(fds[size_t(i)], QFile::encodeName(parts[i]).constData(), AT_REMOVEDIR) != 0)
            break;
        forgetFolders(QStringList(parts.mid(0, i + 1)).join(QLatin1Char('/')));
    }
}

CopyFolder::Stale CopyFolder::removeStale(const QString &rel)
{
    QStringList parts;
    try {
        parts = partsOf(rel);
    } catch (const WriteError &) {
        return Stale::Gone;
    }
    std::vector<int> fds = openFolders(parts, parts.size() - 1, false);
    if (fds.empty())
        return Stale::Gone;
    const QByteArray name = QFile::encodeName(parts.last());
    Stale result = Stale::Gone;
    const Fd f(::openat(fds.back(), name.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    struct stat st;
    // A link stays, to be listed with the copy's other links.
    if (f.fd >= 0 && ::fstat(f.fd, &st) == 0 && S_ISREG(st.st_mode)) {
        // The copy places only files of their own: a second name is the album's.
        if (st.st_nlink > 1 || inSources(f.fd, QString(), m_sources + m_made))
            result = Stale::Kept;
        else if (::unlinkat(fds.back(), name.constData(), 0) == 0) {
            result = Stale::Removed;
            removeEmptyFolders(parts, fds);
        }
    }
    closeFolders(fds);
    return result;
}

QString CopyFolder::linkAt(const QString &rel) const
{
    const QStringList parts = partsOf(rel);
    std::vector<int> fds = const_cast<CopyFolder *>(this)->openFolders(parts, parts.size() - 1, false);
    QString target;
    if (!fds.empty()) {
        char buf[PATH_MAX + 1];
        const ssize_t n = ::readlinkat(fds.back(), QFile::encodeName(parts.last()).constData(), buf, PATH_MAX);
        if (n >= 0)
            target = QFile::decodeName(QByteArray(buf, n));
        else if (errno != EINVAL && errno != ENOENT && errno != ENOTDIR)
            target = QStringLiteral("?");
    }
    closeFolders(fds);
    return target;
}

// Every entry of the copy, folder by folder from its descriptor, never through a link;
// only the folders on the way down stay open. at is the folder's path in the copy.
// The type of each entry (S_IFDIR, S_IFLNK...) from the listing itself, a stat only where
// the file system does not say: a walk over a large copy is then one read per folder.
using Visit = std::function<void(int dir, const char *name, mode_t type, const QString &at)>;
static void walkCopy(int fd, const QString &at, int depth, const Visit &visit)
{
    std::vector<QByteArray> folders;
    ForEachEntry(fd, [&](const dirent64 &e, int) {
        const char *name = e.d_name;
        mode_t type = DTTOIF(e.d_type);
        struct stat st;
        if (e.d_type == DT_UNKNOWN) {
            if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                return;
            type = st.st_mode & S_IFMT;
        }
        if (S_ISDIR(type))
            folders.emplace_back(name);
        else
            visit(fd, name, type, at);
    });
    if (depth >= 64)  // deeper than any copy goes
        return;
    for (const QByteArray &name : folders) {
        const Fd sub(::openat(fd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (sub.fd >= 0)
            walkCopy(sub.fd, at + QFile::decodeName(name) + QLatin1Char('/'), depth + 1, visit);
    }
}

static QString linkTarget(int dir, const char *name)
{
    char buf[PATH_MAX + 1];
    const ssize_t n = ::readlinkat(dir, name, buf, PATH_MAX);
    return n >= 0 ? QFile::decodeName(QByteArray(buf, n)) : QStringLiteral("?");
}

QStringList CopyFolder::links() const
{
    QStringList found;
    if (m_linksSeen) {
        // A name that was no UTF-8 cannot be spelled again: it is listed as it was found.
        for (const auto &[rel, target] : *m_linksSeen) {
            const QString now = rel.contains(QChar::ReplacementCharacter) ? target : linkAt(rel);
            if (!now.isNull())
                found << rel + QStringLiteral(" -> ") + now;
        }
    } else {
        walkCopy(m_fd, QString(), 0, [&found](int dir, const char *name, mode_t type, const QString &at) {
            if (S_ISLNK(type))
                found << at + QFile::decodeName(name) + QStringLiteral(" -> ") + linkTarget(dir, name);
        });
    }
    found.sort();
    return found;
}

// One walk for both: the run makes no links, so the end needs to look only at these again.
int CopyFolder::removeTemporaries()
{
    int removed = 0;
    m_linksSeen.emplace();
    walkCopy(m_fd, QString(), 0, [this, &removed](int dir, const char *name, mode_t type, const QString &at) {
        if (S_ISREG(type) && isTemporaryName(QByteArray(name)))
            removed += ::unlinkat(dir, name, 0) == 0;
        else if (S_ISLNK(type))
            m_linksSeen->append({at + QFile::decodeName(name), linkTarget(dir, name)});
    });
    return removed;
}

}  // namespace tessaly::htmlout
