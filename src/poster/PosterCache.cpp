#include "PosterCache.h"

#include "FileReplace.h"
#include "ImageSize.h"
#include "Paths.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>
#include <QThreadPool>

#include <atomic>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaly {

namespace {

const QRegularExpression &ownName()
{
    static const QRegularExpression re(QStringLiteral("^[0-9a-f]{16}-[0-9]+-[0-9]+\\.(jpg|bad)$"));
    return re;
}

// A note holds the fault's number and FFmpeg's words.
void writeNote(const QString &path, PosterFault fault, const QString &detail)
{
    ReplaceFileBytes(path, QByteArray::number(int(fault)) + '\n' + detail.toUtf8(), nullptr, nullptr, FileSync::Later);
}

bool readNote(const QString &path, PosterEntry *e)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = f.read(4096);
    const int nl = text.indexOf('\n');
    const int fault = text.left(nl).toInt();
    if (nl < 0 || fault <= int(PosterFault::None) || fault > int(PosterFault::NoFrame))
        return false;
    e->fault = PosterFault(fault);
    e->detail = QString::fromUtf8(text.mid(nl + 1));
    return true;
}

}  // namespace

bool JpegEndsWhole(const QString &jpg)
{
    const int fd = ::open(QFile::encodeName(jpg).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return false;
    struct stat st;
    unsigned char end[2] = {0, 0};
    const bool ok = ::fstat(fd, &st) == 0 && st.st_size >= 2 && ::pread(fd, end, 2, st.st_size - 2) == 2
                    && end[0] == 0xFF && end[1] == 0xD9;
    ::close(fd);
    return ok;
}

QString MadeFileKey(const QString &source)
{
    const QFileInfo info(source);
    if (!info.isFile())
        return QString();
    const QByteArray hash = QCryptographicHash::hash(source.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    return QString::fromLatin1(hash) + QLatin1Char('-') + QString::number(info.size()) + QLatin1Char('-')
           + QString::number(info.lastModified().toMSecsSinceEpoch());
}

PosterCache::PosterCache(const QString &outputFolder)
    : m_folder(ChildPath(outputFolder, folderName()))
{
}

QString PosterCache::folderName()
{
    return QStringLiteral("posters");
}

QList<PosterEntry> PosterCache::make(const QStringList &videos, int workers, const std::function<void()> &waiting)
{
    QList<PosterEntry> out(videos.size());
    QStringList keys(videos.size());
    QList<int> todo;
    // The output folder itself is never made here: a missing one is the writers' report.
    const bool haveFolder = IsFolder(m_folder) || QDir().mkdir(m_folder);
    for (int i = 0; i < videos.size(); ++i) {
        PosterEntry &e = out[i];
        e.video = videos.at(i);
        keys[i] = MadeFileKey(e.video);
        if (keys[i].isEmpty()) {
            e.fault = PosterFault::Unreadable;
            continue;
        }
        if (!haveFolder) {
            e.fault = PosterFault::WriteFailed;
            e.detail = m_folder;
            continue;
        }
        m_named << keys[i] + QStringLiteral(".jpg") << keys[i] + QStringLiteral(".bad");
        const QString jpg = ChildPath(m_folder, keys[i] + QStringLiteral(".jpg"));
        const ImageInfo info = GetImageSize(jpg, FormatJpeg);
        if (info.Width > 0 && info.Height > 0 && JpegEndsWhole(jpg)) {
            e.file = keys[i] + QStringLiteral(".jpg");
            e.width = info.Width;
            e.height = info.Height;
        } else if (!readNote(ChildPath(m_folder, keys[i] + QStringLiteral(".bad")), &e)) {
            todo << i;
        }
    }

    std::atomic<int> decodedNow{0};
    QThreadPool pool;
    pool.setMaxThreadCount(workers > 0 ? workers : QThread::idealThreadCount());
    for (const int i : std::as_const(todo)) {
        pool.start([this, i, &out, &keys, &decodedNow] {
            PosterEntry &e = out[i];
            const QString jpg = keys[i] + QStringLiteral(".jpg");
            const PosterInfo made = MakePoster(e.video, ChildPath(m_folder, jpg), false);
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
                writeNote(ChildPath(m_folder, keys[i] + QStringLiteral(".bad")), e.fault, e.detail);
            }
        });
    }
    while (!pool.waitForDone(40))
        if (waiting)
            waiting();

    m_decoded += decodedNow;
    return out;
}

bool PosterCache::isOwnFile(const QString &name)
{
    return ownName().match(name).hasMatch();
}

int PosterCache::removeStale()
{
    int removed = 0;
    for (const QString &name : QDir(m_folder).entryList(QDir::Files | QDir::Hidden)) {
        if (ownName().match(name).hasMatch() && !m_named.contains(name)
            && QFile::remove(ChildPath(m_folder, name)))
            ++removed;
    }
    return removed;
}

}  // namespace tessaly
