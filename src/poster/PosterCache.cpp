#include "PosterCache.h"

#include "DirEntries.h"
#include "FileReplace.h"
#include "ImageSize.h"
#include "Paths.h"
#include "SourceFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QThread>
#include <QThreadPool>

#include <algorithm>
#include <atomic>

#include <cerrno>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaly {

namespace {

bool readNote(const QString &path, PosterEntry *e)
{
    int fault = 0;
    if (!ReadFaultNote(path, int(PosterFault::NoFrame), &fault, &e->detail))
        return false;
    e->fault = PosterFault(fault);
    return true;
}

}  // namespace

void WriteFaultNote(const QString &path, int fault, const QString &detail)
{
    ReplaceFileBytes(path, QByteArray::number(fault) + '\n' + detail.toUtf8(), nullptr, nullptr, FileSync::Later);
}

bool ReadFaultNote(const QString &path, int lastFault, int *fault, QString *detail)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = f.read(4096);
    const int nl = text.indexOf('\n');
    *fault = text.left(nl).toInt();
    if (nl < 0 || *fault < 1 || *fault > lastFault)
        return false;
    *detail = QString::fromUtf8(text.mid(nl + 1));
    return true;
}

CacheFolder::~CacheFolder()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool CacheFolder::open(bool create)
{
    if (m_fd >= 0)
        return true;
    const QByteArray name = QFile::encodeName(m_path);
    m_fd = ::open(name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    // mkdir never follows a link in the last place either.
    if (m_fd < 0 && errno == ENOENT && create && (::mkdir(name.constData(), 0777) == 0 || errno == EEXIST))
        m_fd = ::open(name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (m_fd >= 0) {
        m_through = QStringLiteral("/proc/self/fd/%1").arg(m_fd);
        return true;
    }
    struct stat st;
    if (::lstat(name.constData(), &st) == 0) {
        if (S_ISLNK(st.st_mode))
            m_refusal = QCoreApplication::translate("Media", "「%1」はフォルダではなく、「%2」へのリンクです。リンクの先には何も書き込まず、"
                                       "何も削除しません。このリンクを取り除いてください。")
                            .arg(m_path, SymLinkTarget(m_path));
        else if (!S_ISDIR(st.st_mode))
            m_refusal = QCoreApplication::translate("Media", "「%1」はフォルダではありません。").arg(m_path);
    }
    return false;
}

QString CacheFolder::file(const QString &name) const
{
    return m_through + QLatin1Char('/') + name;
}

ImageInfo CacheFolder::wholeJpeg(const QString &name) const
{
    const int fd = m_fd < 0 ? -1
                            : ::openat(m_fd, QFile::encodeName(name).constData(),
                                       O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return ImageInfo();
    struct stat st;
    const ImageInfo info = ::fstat(fd, &st) == 0 ? GetImageSizeOf(fd, &st) : ImageInfo();
    unsigned char end[2] = {0, 0};
    const bool whole = info.Format == FormatJpeg && info.Width > 0 && info.Height > 0
                       && ::pread(fd, end, 2, st.st_size - 2) == 2 && end[0] == 0xFF && end[1] == 0xD9;
    ::close(fd);
    return whole ? info : ImageInfo();
}

CacheName ParseCacheName(QByteArrayView name, bool renditions)
{
    CacheName c;
    if (name.size() < 16 + 4 + 4 || !(name.endsWith(".jpg") || name.endsWith(".bad")))
        return c;
    const QByteArrayView key = name.chopped(4);
    qsizetype i = 0;
    for (; i < 16; ++i)
        if (!((key[i] >= '0' && key[i] <= '9') || (key[i] >= 'a' && key[i] <= 'f')))
            return c;
    qsizetype end = key.size();
    if (renditions && key.endsWith(".r")) {
        c.rendition = true;
        end -= 2;
    }
    // Two runs of digits, each after a "-".
    for (int run = 0; run < 2; ++run) {
        if (i >= end || key[i] != '-')
            return c;
        const qsizetype first = ++i;
        while (i < end && key[i] >= '0' && key[i] <= '9')
            ++i;
        if (i == first)
            return c;
    }
    if (i != end)
        return c;
    c.own = true;
    c.key = key;
    return c;
}

int CacheFolder::removeFiles(const std::function<bool(QByteArrayView)> &keep, const std::function<void()> &waiting)
{
    if (!open(false))
        return 0;
    // Name by name, without a list: the folder may hold a file for every title.
    int removed = 0;
    unsigned seen = 0;
    ForEachEntry(m_fd, [&](const dirent64 &d, int) {
        if (waiting && ++seen % 256 == 0)
            waiting();
        // The listing tells the kind; only a file system that does not is asked.
        bool file = d.d_type == DT_REG || d.d_type == DT_LNK;
        if (d.d_type == DT_UNKNOWN) {
            struct stat st;
            file = ::fstatat(m_fd, d.d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode));
        }
        if (file && !keep(QByteArrayView(d.d_name)) && ::unlinkat(m_fd, d.d_name, 0) == 0)
            ++removed;
    });
    return removed;
}

PosterCache::PosterCache(const QString &outputFolder)
    : m_folder(ChildPath(outputFolder, folderName()))
{
}

QString PosterCache::folderName()
{
    return QStringLiteral("posters");
}

QList<PosterEntry> PosterCache::make(const QStringList &videos, int workers, const std::function<void()> &waiting,
                                     const QString &root)
{
    QList<PosterEntry> out(videos.size());
    QStringList keys(videos.size());
    QList<int> todo;
    // The output folder itself is never made here: a missing one is the writers' report.
    const bool haveFolder = m_folder.open();
    for (int i = 0; i < videos.size(); ++i) {
        PosterEntry &e = out[i];
        e.video = videos.at(i);
        {
            const SourceFile video(e.video, root);
            keys[i] = video.cacheKey();
            if (keys[i].isEmpty()) {
                e.fault = video.state() == SourceFile::State::Outside ? PosterFault::Outside : PosterFault::Unreadable;
                continue;
            }
        }
        if (!haveFolder) {
            e.fault = PosterFault::WriteFailed;
            e.detail = m_folder.path();
            continue;
        }
        const ImageInfo info = m_folder.wholeJpeg(keys[i] + QStringLiteral(".jpg"));
        if (info.Width > 0) {
            e.file = keys[i] + QStringLiteral(".jpg");
            e.width = info.Width;
            e.height = info.Height;
        } else if (!readNote(m_folder.file(keys[i] + QStringLiteral(".bad")), &e)) {
            todo << i;
        }
    }

    std::atomic<int> decodedNow{0};
    QThreadPool pool;
    pool.setMaxThreadCount(workers > 0 ? workers : QThread::idealThreadCount());
    for (const int i : std::as_const(todo)) {
        pool.start([this, i, &out, &keys, &decodedNow, &root] {
            PosterEntry &e = out[i];
            // Opened again here, and keyed by what is decoded: a video changed or swapped
            // since it was looked up is judged and named anew.
            const SourceFile video(e.video, root);
            const QString key = video.cacheKey();
            if (key.isEmpty()) {
                e.fault = video.state() == SourceFile::State::Outside ? PosterFault::Outside : PosterFault::Unreadable;
                return;
            }
            keys[i] = key;
            const QString jpg = key + QStringLiteral(".jpg");
            const PosterInfo made = MakePoster(video, m_folder.file(jpg), false);
            ++decodedNow;
            e.fault = made.fault;
            e.detail = made.detail;
            if (made.fault == PosterFault::None) {
                e.file = jpg;
                e.width = made.width;
                e.height = made.height;
            } else if (made.fault <= PosterFault::NoFrame) {
                // The video's own fault: not tried again until it changes. A poster that
                // could not be written, or a missing decoder, is tried on the next run.
                WriteFaultNote(m_folder.file(key + QStringLiteral(".bad")), int(e.fault), e.detail);
            }
        });
    }
    while (!pool.waitForDone(40))
        if (waiting)
            waiting();
    // Named once every key is known: a file decoded goes by the key of what was decoded.
    for (const QString &key : std::as_const(keys))
        if (!key.isEmpty())
            m_named.add(key);

    m_decoded += decodedNow;
    return out;
}

bool PosterCache::isOwnFile(const QString &name)
{
    return ParseCacheName(QFile::encodeName(name), false).own;
}

int PosterCache::removeStale(const std::function<void()> &waiting)
{
    return m_folder.removeFiles(
        [this](QByteArrayView name) {
            const CacheName c = ParseCacheName(name, false);
            return !c.own || m_named.contains(c.key);
        },
        waiting);
}

bool NamedKeys::contains(QByteArrayView key)
{
    if (!m_sorted) {
        std::sort(m_hashes.begin(), m_hashes.end());
        m_sorted = true;
    }
    return std::binary_search(m_hashes.cbegin(), m_hashes.cend(), qHash(key));
}

}  // namespace tessaly
