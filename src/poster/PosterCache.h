#pragma once
// The posters of a site, kept in the folder "posters" of the output folder. A poster's
// file name comes from the opened video's identity and times (SourceFile::cacheKey), so
// a video that did not change finds its poster by name and is not decoded again, and two
// videos never share a poster. A video that gave no poster leaves a small note (".bad") with
// the reason, so it is not tried again until it changes either.
#include <QByteArrayView>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>

#include "ImageSize.h"
#include "Poster.h"

namespace tessaly {

// A cache's ".bad" note: why a source gave no picture (a fault number and the decoder's
// words), so that it is not decoded again until it changes.
void WriteFaultNote(const QString &path, int fault, const QString &detail);
// False when there is no note or its fault is not one of 1..lastFault: a write that failed
// is tried again; only what the source itself gave is kept.
bool ReadFaultNote(const QString &path, int lastFault, int *fault, QString *detail);

// A cache folder of the output folder ("posters", "thumbs"). The output folder is the
// user's choice; the cache folder is this system's own, so a link standing in its place
// is never followed: what the cache reads, writes and removes goes through the folder
// opened here (and /proc/self/fd), so one swapped in later leads nowhere either.
class CacheFolder {
public:
    explicit CacheFolder(const QString &path) : m_path(path) {}
    const QString &path() const { return m_path; }
    ~CacheFolder();
    CacheFolder(const CacheFolder &) = delete;
    CacheFolder &operator=(const CacheFolder &) = delete;

    // Opens the folder, made when missing and create; false when it is a link or no
    // folder, or cannot be made. Once opened, it stays open.
    bool open(bool create = true);
    bool isOpen() const { return m_fd >= 0; }
    // The path of name inside the opened folder.
    QString file(const QString &name) const;
    // The size of name, a JPEG of this folder that ends with its end marker; none (0 x 0)
    // for anything else. Posters and thumbnails are written without a sync each (a sync
    // costs more than the decoding): one that a power cut left short or empty is made again.
    ImageInfo wholeJpeg(const QString &name) const;
    // Why open() failed, for a message: set only for a link or what is no folder.
    const QString &refusal() const { return m_refusal; }
    // Removes the plain files whose names (as the file system gives them) pass keep()
    // false; returns how many. waiting, when given, is called every few hundred names:
    // the folder may hold a file for every title of a large library.
    int removeFiles(const std::function<bool(QByteArrayView)> &keep, const std::function<void()> &waiting = {});

private:
    QString m_path;
    QString m_through;
    QString m_refusal;
    int m_fd = -1;
};

struct PosterEntry {
    QString video;  // as given
    QString file;   // file name in the poster folder; empty when there is no poster
    int width = 0;
    int height = 0;
    PosterFault fault = PosterFault::None;
    QString detail;
};

// The name of a cache file: the key ("<16 hex digits>-<digits>-<digits>", and ".r" for a
// rendition when allowed), then ".jpg" or ".bad". Judged on the bytes of a listing,
// so that a sweep of a large folder makes no text of each name.
struct CacheName {
    bool own = false;        // a cache file's name
    bool rendition = false;  // its key ends with ".r"
    QByteArrayView key;      // the name less ".jpg" or ".bad"
};
CacheName ParseCacheName(QByteArrayView name, bool renditions);

// The keys of the files a run named, as 64-bit hashes in a list that never copies itself
// as it grows: 8 bytes a file, however large the library. Two keys of one hash keep a
// stale file, never remove a named one.
class NamedKeys {
public:
    void add(const QString &key)
    {
        m_hashes.push_back(qHash(QByteArrayView(key.toLatin1())));
        m_sorted = false;
    }
    bool contains(QByteArrayView key);

private:
    std::deque<size_t> m_hashes;
    bool m_sorted = false;
};

class PosterCache {
public:
    explicit PosterCache(const QString &outputFolder);

    static QString folderName();  // "posters"
    static bool isOwnFile(const QString &name);  // a poster's or a note's name
    QString folder() const { return m_folder.path(); }
    // Why nothing could be kept in the folder (a link in its place), or empty text.
    const QString &refusal() const { return m_folder.refusal(); }

    // The poster of every video (absolute paths), in the order given: the cached one
    // where its video is unchanged, else decoded on `workers` threads (0: one per core).
    // waiting, when given, is called on this thread every few hundredths of a second
    // while the workers decode. root, when given, is the real path of the folder every
    // video must really lie in: one outside gets PosterFault::Outside and is not decoded.
    QList<PosterEntry> make(const QStringList &videos, int workers = 0, const std::function<void()> &waiting = {},
                            const QString &root = QString());
    // Videos decoded by the calls to make() so far.
    int decoded() const { return m_decoded; }
    // Removes the posters and notes of this folder that no call to make() named: those
    // of videos that are gone or changed. Other files are left alone. Returns how many.
    // waiting as for removeFiles().
    int removeStale(const std::function<void()> &waiting = {});

private:
    CacheFolder m_folder;
    NamedKeys m_named;  // the key of each poster and note
    int m_decoded = 0;
};

}  // namespace tessaly
