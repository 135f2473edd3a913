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
    ReplaceFileBytes(path, QByteArray::number(int(fault)) + '\n' + detail.toUtf8());
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

QList<PosterEntry> PosterCache::make(const QStringList &videos, int workers)
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
        if (info.Width > 0 && info.Height > 0) {
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
            const PosterFrame frame = DecodePoster(e.video);
            ++decodedNow;
            if (frame.fault != PosterFault::None) {
                e.fault = frame.fault;
                e.detail = frame.detail;
                writeNote(ChildPath(m_folder, keys[i] + QStringLiteral(".bad")), e.fault, e.detail);
                return;
            }
            QString why;
            if (!SavePosterJpeg(frame.image, ChildPath(m_folder, keys[i] + QStringLiteral(".jpg")), &why)) {
                e.fault = PosterFault::WriteFailed;
                e.detail = why;
                return;
            }
            e.file = keys[i] + QStringLiteral(".jpg");
            e.width = frame.image.width();
            e.height = frame.image.height();
        });
    }
    pool.waitForDone();
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
