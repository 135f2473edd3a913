#include "SourceFile.h"

#include <QCryptographicHash>
#include <QFile>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include <fcntl.h>
#include <unistd.h>

namespace tessaly {

namespace {

int openNoFollow(const QByteArray &name)
{
    return ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY);
}

QString descriptorPath(int fd)
{
    char buf[PATH_MAX];
    const ssize_t n = ::readlink(QByteArray("/proc/self/fd/" + QByteArray::number(fd)).constData(), buf, sizeof buf);
    return n > 0 && n < ssize_t(sizeof buf) ? QFile::decodeName(QByteArray(buf, int(n))) : QString();
}

bool inside(const QString &path, const QString &root)
{
    return path.startsWith(root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/'));
}

}  // namespace

SourceFile::SourceFile(const QString &path, const QString &root)
{
    if (path.isEmpty())
        return;
    const QByteArray name = QFile::encodeName(path);
    m_fd = openNoFollow(name);
    if (m_fd < 0 && errno == ELOOP) {
        // A link at the last step: the file it names, opened the same way.
        char *resolved = ::realpath(name.constData(), nullptr);
        if (resolved) {
            m_fd = openNoFollow(QByteArray(resolved));
            std::free(resolved);
        } else {
            errno = ENOENT;
        }
    }
    if (m_fd < 0) {
        m_state = errno == ENOENT || errno == ENOTDIR || errno == ELOOP || errno == ENAMETOOLONG ? State::Missing
                  : errno == ENXIO                                                             ? State::NotAFile
                                                                                               : State::Unreadable;
        return;
    }
    if (::fstat(m_fd, &m_st) != 0) {
        m_state = State::Unreadable;
    } else if (!S_ISREG(m_st.st_mode)) {
        m_state = State::NotAFile;
    } else {
        const QString real = descriptorPath(m_fd);
        if (real.isEmpty())
            m_state = State::Unreadable;
        else if (!root.isEmpty() && !inside(real, root))
            m_state = State::Outside;
        else
            m_state = State::Open;
    }
    if (m_state != State::Open) {
        ::close(m_fd);
        m_fd = -1;
        return;
    }
    // Decoders read it as a plain file. Of the flags F_SETFL sets, it was opened with
    // none but O_NONBLOCK.
    ::fcntl(m_fd, F_SETFL, 0);
}

SourceFile::~SourceFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

QString SourceFile::cacheKey() const
{
    if (m_state != State::Open)
        return QString();
    const qint64 fields[] = {qint64(m_st.st_dev), qint64(m_st.st_ino), qint64(m_st.st_size),
                             qint64(m_st.st_mtim.tv_sec), qint64(m_st.st_mtim.tv_nsec),
                             qint64(m_st.st_ctim.tv_sec), qint64(m_st.st_ctim.tv_nsec)};
    const QByteArray hash = QCryptographicHash::hash(QByteArrayView(reinterpret_cast<const char *>(fields), sizeof fields),
                                                     QCryptographicHash::Sha1)
                                .toHex()
                                .left(16);
    return QString::fromLatin1(hash) + QLatin1Char('-') + QString::number(m_st.st_size) + QLatin1Char('-')
           + QString::number(qint64(m_st.st_mtim.tv_sec) * 1000 + m_st.st_mtim.tv_nsec / 1000000);
}

}  // namespace tessaly
