#pragma once
// The web album of a published copy: home > category > genre > title > photo, every
// photo and video of every registered title, made for phones first and readable without
// scripts. Its pages come from the templates beside the program (album/*.mustache);
// its pictures are renditions made from one decode of each photo and named by the
// photo's cache key, so a run with nothing changed decodes nothing and rewrites nothing.
//
//   index.html                          home (where the copy is served from)
//   album/style.css, album/album.js     the look, and the optional keys
//   album/<category>/index.html         its genres
//   album/<category>/<genre>/index.html its titles
//   album/<category>/<genre>/<title>/index.html   the title's grid
//   album/<category>/<genre>/<title>/view.html    its photos large, one after another
//   album/<category>/<genre>/<title>/v/<video>    videos a browser plays, as they are
//   album/r/<xx>/<key>-<size>.jpg       renditions
#include <QHash>
#include <QPair>
#include <QString>
#include <QStringList>

#include <functional>

namespace tessaly {

class HtmlRun;
namespace htmlout {
class CopyFolder;
}

namespace album {

// Long sides of a photo's renditions: the grid's thumbnail at 1x and 2x, a view for
// phones and the large view.
constexpr int kThumbSide = 256;
constexpr int kThumb2xSide = 512;
constexpr int kMediumSide = 1280;
constexpr int kLargeSide = 2048;
// Photos and videos on one view page.
constexpr int kPerViewPage = 50;

struct AlbumInput {
    QString realBase;    // the real path every photo and video must really lie in
    QString posterHome;  // where the posters of videos are made and kept (the output folder)
    bool videos = true;  // copy the videos a browser plays; false: their posters only
    bool home = true;    // write index.html
    // The copy's own path of a title's 開く page, by genre ID1 and title name.
    QHash<QPair<qint32, QString>, QString> openPages;
    // Called with every name of the copy that the album wrote or found as it was.
    std::function<void(const QString &)> placed;
};

struct AlbumSummary {
    int pages = 0;      // pages written
    int unchanged = 0;  // pages left as they were (same bytes)
    int photos = 0;
    int videos = 0;
    int decoded = 0;             // photos decoded for renditions by this run
    qint64 videoBytes = 0;       // size of the videos copied by this run
    QStringList notPlayable;     // videos a browser does not play: shown by their poster
    QStringList missing;         // "path (reason)"
    QStringList outside;         // files that lie outside the base folder
};

// Writes the album into copy. False (with a message through run) when the templates
// cannot be read or a page cannot be written.
bool WriteAlbum(HtmlRun &run, htmlout::CopyFolder &copy, const AlbumInput &input, AlbumSummary *summary);

// Whether a browser plays a video as it is: H.264 in MP4, MOV or M4V with AAC or no
// sound; VP8, VP9 or AV1 in WebM with Opus, Vorbis or no sound. The MIME type for
// <source>, or empty text. container: FFmpeg's demuxer name; file: the video's name.
QString PlayableType(const QString &container, const QStringList &video, const QStringList &audio,
                     const QString &file);

// The folder the templates are read from: beside the program, unless
// TESSALY_ALBUM_TEMPLATES names another.
QString TemplateFolder();

}  // namespace album
}  // namespace tessaly
