#pragma once
// The thumbnails of a site, kept in the folder "thumbs" of the output folder. As with
// the posters, a thumbnail's file name comes from the opened picture's identity and
// times: an unchanged picture finds its thumbnail by name and is not
// decoded again, and a picture that gave none leaves a note (".bad") so it is not tried
// again until it changes. The thumbnails of pictures that browsers do not draw (the
// local site's renditions) carry ".r" before their ending, so that a run that makes
// only those can tell its own from the others.
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

#include "PosterCache.h"
#include "Thumbnail.h"

namespace tessaly {

struct ThumbEntry {
    QString source;  // as given
    QString file;    // file name in the thumbnail folder; empty when there is none
    int width = 0;
    int height = 0;
    ThumbFault fault = ThumbFault::None;
    QString detail;
    // The source's own header, read while it was open (not for a rendition's source).
    std::optional<ImageInfo> original;
};

class ThumbCache {
public:
    explicit ThumbCache(const QString &outputFolder);

    static QString folderName();  // "thumbs"
    static bool isOwnFile(const QString &name);  // a thumbnail's or a note's name
    QString folder() const { return m_folder.path(); }
    // Why nothing could be kept in the folder (a link in its place), or empty text.
    const QString &refusal() const { return m_folder.refusal(); }

    // The thumbnail of every picture (absolute paths), in the order given: the cached
    // one where its picture is unchanged, else made on `workers` threads (0: one per core).
    // renditions names the pictures browsers do not draw. waiting, when given, is called
    // on this thread every few hundredths of a second while the workers decode. root, when
    // given, is the real path of the folder every picture must really lie in: one outside
    // gets ThumbFault::Outside and is not decoded.
    QList<ThumbEntry> make(const QStringList &sources, const QSet<QString> &renditions = {}, int workers = 0,
                           const std::function<void()> &waiting = {}, const QString &root = QString());
    // Pictures decoded by the calls to make() so far.
    int decoded() const { return m_decoded; }
    // Removes the renditions (or, renditions false, the other thumbnails) and their notes
    // that no call to make() named: the local site makes only renditions and the copy
    // leaves out what lies outside the album, so each removes only its own kind. Other
    // files are left alone. Returns how many. waiting as for CacheFolder::removeFiles().
    int removeStale(bool renditions, const std::function<void()> &waiting = {});

private:
    CacheFolder m_folder;
    NamedKeys m_named;  // the key of each thumbnail and note
    int m_decoded = 0;
};

}  // namespace tessaly
