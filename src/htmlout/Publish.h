#pragma once
// A copy of the album site to put on a web server: the same pages, with every
// reference relative to its page and every file it shows inside one folder.
//
//   アルバム.html, sub/...              as in the output folder
//   genres/<category>/<genre>/nIndex.html
//   genres/<category>/<genre>/<title>/  the page of the title's 開く button and what it shows
//   posters/                            the posters of videos
//   thumbs/                             the thumbnails of photos (no original photo is copied)
//   .tessaly-publish                    what the last run put there, for the next one
//
// Only files whose real path lies inside the base folder go into the copy, each as a
// file of its own; nothing outside the copy is written or removed.
#include <QString>
#include <QStringList>

#include "Album.h"
#include "HtmlOut.h"

namespace tessaly {

extern const QString kPublishTitle;  // "公開用にコピー"

struct PublishSummary {
    bool started = false;   // the folder was accepted and the writers ran
    bool finished = false;  // every writer ran to its end
    int pages = 0;
    int copied = 0;         // files copied or linked by this run
    int unchanged = 0;      // files already there with the same size and time
    qint64 bytes = 0;       // size of the files copied
    int thumbnails = 0;     // pictures decoded for thumbnails by this run (the rest were kept)
    int removed = 0;        // files of an earlier run that no longer belong to the album
    QStringList missing;    // pictures and pages not found or not shown, "path (reason)"
    QStringList outside;    // files left out because they lie outside the base folder
    QStringList replacedLinks;  // links found in the copy where its own folders go
    QStringList links;          // "path -> target": links in the copy that stood on none of its paths, and index.html
    QStringList kept;           // files an earlier run listed that are files of the album too, not removed
    QStringList leftOutLinks;   // "title: link" of ﾘﾝｸ buttons left out (not http, https, mailto)
    album::AlbumSummary album;  // the web album (its faults are in missing and outside too)
};

// Writes the copy of the open library's site, and the web album whose home is its
// index.html, into folder (made if missing; else it
// must be empty or hold an earlier copy). Returns true when it is complete and nothing
// was reported.
bool PublishSite(Global &g, DialogService &ds, const QString &folder, PublishSummary *summary,
                 QObject *owner = nullptr, const HtmlProgress &progress = {}, bool videos = true);

// The folder the library's last copy from the window went to (kept in the library, where
// the picker starts the next time), or empty text; and whether it held the videos.
QString LastPublishFolder(const Global &g);
bool LastPublishHadVideos(const Global &g);
void RememberPublishFolder(const Global &g, const QString &folder, bool videos);

// The summary as shown to the user; lines joined by "\n\r", at most maxListed files
// of each list named (the rest counted).
QString PublishSummaryText(const QString &folder, const PublishSummary &summary, int maxListed);

}  // namespace tessaly
