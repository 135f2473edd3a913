#pragma once
// What the media module (modules/libtessaly_media.so) offers: everything that decodes, draws or
// writes pictures, with FFmpeg and Qt Gui behind it. The core loads it on first use
// (MediaModule.h), so commands that make no picture start without those libraries.
// Only Qt Core types cross this line. New entries go at the end, old ones stay put.
#include <QByteArray>
#include <QString>
#include <QStringList>

class QCoreApplication;

namespace tessaly {

// A poster made from a video; fault is a PosterFault (Poster.h).
struct MediaPoster {
    int fault = 0;
    QString detail;
    QByteArray jpeg;  // the poster as a JPEG file's bytes; empty when fault is set
    int width = 0;
    int height = 0;
    int rotation = 0;  // degrees turned clockwise to make the picture upright
    bool mirrored = false;  // mirrored left to right before the turn
};

// A thumbnail of a photo; fault is a ThumbFault (Thumbnail.h).
struct MediaThumb {
    int fault = 0;
    QString detail;
    QByteArray jpeg;  // upright, without the original's metadata; empty when fault is set
    int width = 0;
    int height = 0;
};

// What a video holds, as its container tells: enough to judge whether a browser plays it.
struct MediaVideo {
    int fault = 0;  // a PosterFault
    QString detail;
    QString container;  // FFmpeg's demuxer name, such as "mov,mp4,m4a,3gp,3g2,mj2"
    QStringList video;  // codec names of the video streams ("h264", "vp9"...), cover art left out
    QStringList audio;  // of the sound streams ("aac", "opus"...)
};

struct MediaApi {
    // sizeof(MediaApi) in the module: entries past it are missing there.
    int size = sizeof(MediaApi);
    // Retired: opened the video by name. Null.
    void (*retiredMakePoster)(const QString &, MediaPoster *) = nullptr;
    // The application object of a process that draws text (fonts need a GUI
    // application, though never a display).
    QCoreApplication *(*newGuiApplication)(int &argc, char **argv) = nullptr;
    // A sample photo: a gradient with its caption, as JPEG, PNG or GIF by its name.
    bool (*drawDemoPhoto)(const QString &path, const QString &caption, bool portrait, int seed) = nullptr;
    // Retired: opened the photo by name. Null.
    void (*retiredMakeThumbnail)(const QString &, int, int, int, MediaThumb *) = nullptr;
    // The decoders read only the descriptor they are given (a regular file the caller
    // opened, judged and keeps open; its offset is theirs to move) and open nothing by
    // name, so what was judged is what is decoded.
    // Decodes the poster frame of a video and encodes it as a JPEG; the caller writes
    // it. Thread-safe; writes nothing.
    void (*makePoster)(int fd, MediaPoster *out) = nullptr;
    // Decodes a photo (format: a RenditionFormat, ImageSize.h), scaled while it is decoded
    // where the format allows, turns it upright (orientation: the Exif value of a JPEG or
    // PNG, read by the caller; TIFF and HEIF carry their own), fits it into longSide and
    // encodes it as a JPEG; the caller writes it. Thread-safe; writes nothing.
    void (*makeThumbnail)(int fd, int longSide, int orientation, int format, MediaThumb *out) = nullptr;
    // Reads a video's container and the codecs of its streams, decoding nothing.
    void (*probeVideo)(int fd, MediaVideo *out) = nullptr;
    // As makeThumbnail, for several long sides from one decode (outs[i] for longSides[i]);
    // also turns a picture with a colour profile into sRGB. quality: the JPEG's, 1 to 100.
    void (*makeRenditions)(int fd, const int *longSides, int count, int orientation, int format, int quality,
                           MediaThumb *outs) = nullptr;
};

}  // namespace tessaly

extern "C" const tessaly::MediaApi *tessaly_media_api();
