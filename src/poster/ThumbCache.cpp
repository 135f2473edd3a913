#include "ThumbCache.h"

#include "FileReplace.h"
#include "ImageSize.h"
#include "Paths.h"
#include "PosterCache.h"
#include "SourceFile.h"

#include <QDir>
#include <QFile>
#include <QThread>
#include <QThreadPool>

#include <atomic>

namespace tessaly {

namespace {

bool readNote(const QString &path, ThumbEntry *e)
{
    int fault = 0;
    if (!ReadFaultNote(path, int(ThumbFault::TooLarge), &fault, &e->detail))
        return false;
    e->fault = ThumbFault(fault);
    return true;
}

}  // namespace

ThumbCache::ThumbCache(const QString &outputFolder)
    : m_folder(ChildPath(outputFolder, folderName()))
{
}

QString ThumbCache::folderName()
{
    return QStringLiteral("thumbs");
}

bool ThumbCache::isOwnFile(const QString &name)
{
    return ParseCacheName(QFile::encodeName(name), true).own;
}

QList<ThumbEntry> ThumbCache::make(const QStringList &sources, const QSet<QString> &renditions, int workers,
                                   const std::function<void()> &waiting, const QString &root)
{
    QList<ThumbEntry> out(sources.size());
    QStringList keys(sources.size());
    QList<int> todo;
    const bool haveFolder = !sources.isEmpty() && m_folder.open();
    // What a file gives as its key, or the fault when it gives none.
    const auto keyOf = [&renditions](const SourceFile &file, ThumbEntry &e) {
        const QString key = file.cacheKey();
        if (key.isEmpty())
            e.fault = file.state() == SourceFile::State::Outside ? ThumbFault::Outside : ThumbFault::Unreadable;
        return key.isEmpty() || !renditions.contains(e.source) ? key : key + QStringLiteral(".r");
    };
    for (int i = 0; i < sources.size(); ++i) {
        ThumbEntry &e = out[i];
        e.source = sources.at(i);
        {
            const SourceFile file(e.source, root);
            keys[i] = keyOf(file, e);
            if (file.isOpen() && !renditions.contains(e.source))
                e.original = GetImageSizeOf(file.fd(), &file.stat());
        }
        if (keys[i].isEmpty())
            continue;
        if (!haveFolder) {
            e.fault = ThumbFault::WriteFailed;
            e.detail = m_folder.path();
            continue;
        }
        const QString jpg = keys[i] + QStringLiteral(".jpg"), bad = keys[i] + QStringLiteral(".bad");
        const ImageInfo info = m_folder.wholeJpeg(jpg);
        if (info.Width > 0) {
            e.file = jpg;
            e.width = info.Width;
            e.height = info.Height;
        } else if (!readNote(m_folder.file(bad), &e)) {
            todo << i;
        }
    }

    std::atomic<int> decodedNow{0};
    QThreadPool pool;
    pool.setMaxThreadCount(workers > 0 ? workers : QThread::idealThreadCount());
    for (const int i : std::as_const(todo)) {
        pool.start([this, i, &out, &keys, &decodedNow, &root, &keyOf] {
            ThumbEntry &e = out[i];
            // Opened again here, and keyed by what is decoded: a picture changed or
            // swapped since it was looked up is judged and named anew.
            const SourceFile source(e.source, root);
            const QString key = keyOf(source, e);
            if (key.isEmpty())
                return;
            keys[i] = key;
            const QString jpg = key + QStringLiteral(".jpg");
            const ThumbResult made = MakeThumbnail(source, m_folder.file(jpg), ThumbnailLongSide, false);
            ++decodedNow;
            e.fault = made.fault;
            e.detail = made.detail;
            if (made.fault == ThumbFault::None) {
                e.file = jpg;
                e.width = made.width;
                e.height = made.height;
            } else if (made.fault <= ThumbFault::TooLarge) {
                // The picture's own fault: not tried again until it changes. A thumbnail
                // that could not be written, or a missing decoder, is tried on the next run.
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

int ThumbCache::removeStale(bool renditions, const std::function<void()> &waiting)
{
    return m_folder.removeFiles(
        [this, renditions](QByteArrayView name) {
            const CacheName c = ParseCacheName(name, true);
            return !c.own || c.rendition != renditions || m_named.contains(c.key);
        },
        waiting);
}

}  // namespace tessaly
