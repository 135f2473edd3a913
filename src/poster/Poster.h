#pragma once
// Poster frames: one small upright JPEG taken from a video, for titles that have no
// photo. Decoding goes through FFmpeg's libraries; this header keeps them out of sight.
#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>

namespace tessaly {

// The longer side of a poster at most, in pixels; smaller videos are not enlarged.
constexpr int PosterBox = 240;

enum class PosterFault {
    None,
    Unreadable,    // not a video file FFmpeg can open, or no video stream in it
    UnknownCodec,  // a video stream whose codec this system cannot decode
    NoFrame,       // opened, but no picture could be decoded (damaged, empty)
    WriteFailed,   // the poster file could not be written
};

struct PosterFrame {
    QImage image;  // upright, scaled; null when fault is set
    PosterFault fault = PosterFault::None;
    QString detail;     // FFmpeg's own words, where it gave any
    int rotation = 0;   // degrees turned clockwise to make the picture upright
    bool mirrored = false;  // mirrored left to right before the turn
};

// The endings of video names, lower-case: .mp4 .mov .m4v .avi .mts .m2ts .mpg .wmv
// .mkv .webm (names match in any letter case).
const QList<QByteArray> &VideoSuffixes();

// Decodes the frame about 10 % into the video (the key frame at or before that point,
// so only one frame is decoded; the first frame when the video is shorter than a
// second, its length is unknown or no key frame is found there), turns (and mirrors)
// it upright by its display matrix (or "rotate" tag) and fits it into PosterBox. Opens only local
// files of the video containers. Thread-safe; reads the video and writes nothing.
PosterFrame DecodePoster(const QString &videoPath);

// Writes the image as a JPEG through a temporary file renamed over path. False (and
// the reason in *error) when it could not.
bool SavePosterJpeg(const QImage &image, const QString &path, QString *error = nullptr);

// A short Japanese description of a fault, for messages.
QString PosterFaultText(PosterFault fault);

// Videos that DecodePoster has opened since the program started (all threads); the
// tests use it to check that a second site run decodes nothing.
int PostersDecoded();

}  // namespace tessaly
