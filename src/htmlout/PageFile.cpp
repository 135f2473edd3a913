#include "PageFile.h"

#include "Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaly::htmlout {

const QString kNoCategory = QStringLiteral(QT_TRANSLATE_NOOP("HtmlOut", "カテゴリが未登録です！"));
const QString kNoGenre = QStringLiteral(QT_TRANSLATE_NOOP("HtmlOut", "ジャンルが未登録です！"));

bool isLocalPath(const QString &path)
{
#ifdef Q_OS_WIN
    return QDir::isAbsolutePath(path);
#else
    return path.startsWith(QLatin1Char('/'));
#endif
}

void pathNotFound(const QString &path)
{
    throw WriteError{76, QCoreApplication::translate("HtmlOut", "パスが見つかりません。(%1)").arg(path)};
}

bool isInside(const QString &path, const QString &folder)
{
    return path.startsWith(folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/'));
}

int nameMax(const QString &folder)
{
    const long n = ::pathconf(QFile::encodeName(folder).constData(), _PC_NAME_MAX);
    return n > 0 && n < 4096 ? int(n) : 255;
}

void fileFailure(int err, const QString &path)
{
    switch (err) {
    case EACCES:
    case EPERM:
    case EROFS:
        throw WriteError{70, QCoreApplication::translate("HtmlOut", "書き込みが許可されていません。(%1)").arg(path)};
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        throw WriteError{61, QCoreApplication::translate("HtmlOut", "ディスクがいっぱいです。(%1)").arg(path)};
    case ENOENT:
    case ENOTDIR:
        pathNotFound(QFileInfo(path).path());
    case ENAMETOOLONG:
        throw WriteError{52, QCoreApplication::translate("HtmlOut", "ファイル名が正しくありません。(%1)").arg(path)};
    case EIO:
        throw WriteError{57, QCoreApplication::translate("HtmlOut", "デバイス I/O エラーです。(%1)").arg(path)};
    default:
        throw WriteError{75, QCoreApplication::translate("HtmlOut", "パス名が無効か、ファイルにアクセスできません。(%1: %2)")
                                 .arg(path, QString::fromLocal8Bit(std::strerror(err)))};
    }
}

QByteArray temporaryName()
{
    static const char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray name = ".tessaly-";
    for (int i = 0; i < 8; ++i)
        name += kChars[QRandomGenerator::global()->bounded(int(sizeof kChars - 1))];
    return name;
}

bool isTemporaryName(const QByteArray &name)
{
    if (name.size() != 17 || !name.startsWith(".tessaly-"))
        return false;
    for (const char c : name.mid(9))
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')))
            return false;
    return true;
}

namespace {

QByteArray tempName(const QString &folder);

// An open temporary file beside the page; removed unless it was renamed into place.
class TempFile {
public:
    explicit TempFile(const QString &folder)
    {
        // A short hidden name: listings skip it, and it fits beside the longest page name.
        for (int attempt = 0; m_fd < 0 && attempt < 100; ++attempt) {
            const QByteArray name = tempName(folder);
            // 0666 less the umask, as any new file gets.
            m_fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (m_fd >= 0)
                m_name = name;
            else if (errno != EEXIST)
                break;
        }
    }
    ~TempFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        if (!m_name.isEmpty())
            ::unlink(m_name.constData());
    }
    bool isOpen() const { return m_fd >= 0; }
    // Writes all bytes and closes; false with errno set on failure.
    bool writeAndClose(const QByteArray &bytes, mode_t keepMode, bool keep)
    {
        const char *p = bytes.constData();
        qsizetype left = bytes.size();
        while (left > 0) {
            const ssize_t n = ::write(m_fd, p, size_t(left));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            p += n;
            left -= n;
        }
        if (keep && ::fchmod(m_fd, keepMode) != 0)
            return false;
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;  // a network file system reports a full disk here
    }
    bool renameTo(const QByteArray &target)
    {
        if (::rename(m_name.constData(), target.constData()) != 0)
            return false;
        m_name.clear();
        return true;
    }

private:
    int m_fd = -1;
    QByteArray m_name;
};

QByteArray tempName(const QString &folder)
{
    return QFile::encodeName(folder) + '/' + temporaryName();
}

}  // namespace

static bool holdsBytes(const QByteArray &path, const struct stat &st, const QByteArray &bytes)
{
    if (!S_ISREG(st.st_mode) || st.st_size != bytes.size())
        return false;
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    QByteArray old(bytes.size(), Qt::Uninitialized);
    qsizetype got = 0;
    char extra;
    for (;;) {
        const ssize_t n = got < old.size() ? ::read(fd, old.data() + got, size_t(old.size() - got)) : ::read(fd, &extra, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || got == old.size()) {  // at the end, or longer than it said
            const bool same = n == 0 && got == old.size() && old == bytes;
            ::close(fd);
            return same;
        }
        got += n;
    }
}

// The page is written whole beside its old version and then renamed over it, so that
// a reader, a second run or a full disk never sees or leaves half a page.
void replaceFile(const QString &path, const QByteArray &bytes)
{
    const QByteArray target = QFile::encodeName(path);
    struct stat st;
    const bool exists = ::lstat(target.constData(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode))
        fileFailure(EISDIR, path);
    // A page the user made read-only is not replaced.
    if (exists && S_ISREG(st.st_mode) && ::access(target.constData(), W_OK) != 0 && errno != ENOENT)
        fileFailure(errno, path);
    // A page that would come out the same keeps its file and its time: an upload or a
    // server's Last-Modified sees only what changed.
    if (exists && holdsBytes(target, st, bytes))
        return;
    TempFile temp(QFileInfo(path).path());
    if (!temp.isOpen())
        fileFailure(errno, path);
    if (!temp.writeAndClose(bytes, exists ? (st.st_mode & 07777) : 0, exists && S_ISREG(st.st_mode)))
        fileFailure(errno, path);
    if (!temp.renameTo(target))
        fileFailure(errno, path);
}

void writePage(const QString &path, const QStringList &lines, const std::function<void()> &whileBuilding)
{
    if (!isLocalPath(path))
        pathNotFound(path);
    const QString folder = QFileInfo(path).path();
    if (!IsFolder(folder))
        pathNotFound(folder);
    const QByteArray bytes = PageBytes(lines, whileBuilding);
    if (whileBuilding)
        whileBuilding();  // the file is written whole without a call: a large page takes a while
    replaceFile(path, bytes);
}

QString subPath(const QString &outputFolder, const QString &name)
{
    if (!isLocalPath(outputFolder))
        pathNotFound(outputFolder);
    return ChildPath(ChildPath(outputFolder, QStringLiteral("sub")), name);
}

void reportFailure(HtmlRun &run, const WriteError &e, const QString &title)
{
    run.report(e.text, title, QString(), e.number);
}

void reportFailure(HtmlRun &run, const DbError &e, const QString &title)
{
    run.report(e.message(), title, QString(), kDbErrorNumber);
}

}  // namespace tessaly::htmlout
