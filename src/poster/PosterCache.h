#pragma once
// The posters of a site, kept in the folder "posters" of the output folder. A poster's
// file name comes from its video's path, size and modification time, so a video that
// did not change finds its poster by name and is not decoded again, and two videos
// never share a poster. A video that gave no poster leaves a small note (".bad") with
// the reason, so it is not tried again until it changes either.
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>

#include "Poster.h"

namespace tessaly {

// The name under which a cache keeps what it made from source: "<path hash>-<size>-
// <mtime ms>", or empty text when source is no file.
QString MadeFileKey(const QString &source);
// Whether a JPEG file ends with its end marker. Posters and thumbnails are written
// without a sync each (a sync costs more than the decoding): one that a power cut left
// short or empty fails this, and is made again.
bool JpegEndsWhole(const QString &jpg);

struct PosterEntry {
    QString video;  // as given
    QString file;   // file name in the poster folder; empty when there is no poster
    int width = 0;
    int height = 0;
    PosterFault fault = PosterFault::None;
    QString detail;
};

class PosterCache {
public:
    explicit PosterCache(const QString &outputFolder);

    static QString folderName();  // "posters"
    static bool isOwnFile(const QString &name);  // a poster's or a note's name
    QString folder() const { return m_folder; }

    // The poster of every video (absolute paths), in the order given: the cached one
    // where its video is unchanged, else decoded on `workers` threads (0: one per core).
    // waiting, when given, is called on this thread every few hundredths of a second
    // while the workers decode.
    QList<PosterEntry> make(const QStringList &videos, int workers = 0, const std::function<void()> &waiting = {});
    // Videos decoded by the calls to make() so far.
    int decoded() const { return m_decoded; }
    // Removes the posters and notes of this folder that no call to make() named: those
    // of videos that are gone or changed. Other files are left alone. Returns how many.
    int removeStale();

private:
    QString m_folder;
    QSet<QString> m_named;
    int m_decoded = 0;
};

}  // namespace tessaly
