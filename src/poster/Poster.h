#pragma once
// Poster frames: one small upright JPEG taken from a video, for titles that have no
// photo. The decoding lives in the media module (MediaModule.h); nothing here needs
// FFmpeg or Qt Gui.
#include <QByteArray>
#include <QList>
#include <QString>

namespace tessaly {

class SourceFile;

// The longer side of a poster at most, in pixels; smaller videos are not enlarged.
constexpr int PosterBox = 240;

// Stored by number in the poster cache's notes: new faults go at the end.
enum class PosterFault {
    None,
    Unreadable,    // not a video file FFmpeg can open, or no video stream in it
    UnknownCodec,  // a video stream whose codec this system cannot decode
    NoFrame,       // opened, but no picture could be decoded (damaged, empty)
    WriteFailed,   // the poster file could not be written
    NoDecoder,     // the media module could not be loaded: no fault of the video's
    Outside,       // it really lies outside the folder it had to lie in: not even opened for decoding
};

struct PosterInfo {
    PosterFault fault = PosterFault::None;
    QString detail;     // FFmpeg's own words, or the writer's, where they gave any
    int width = 0;      // of the poster written; 0 when fault is set
    int height = 0;
    int rotation = 0;   // degrees turned clockwise to make the picture upright
    bool mirrored = false;  // mirrored left to right before the turn
};

// The endings of video names, lower-case: .mp4 .mov .m4v .avi .mts .m2ts .mpg .wmv
// .mkv .webm (names match in any letter case).
const QList<QByteArray> &VideoSuffixes();

// Decodes the frame about 10 % into the video (decoded forward from the key frame before
// that point; the first frame when the video is shorter than a second, its length is
// unknown or no key frame is found there), past any frames there that are almost all
// dark, turns (and mirrors) it
// upright by its display matrix (or "rotate" tag), fits it into PosterBox and writes it as a JPEG
// at jpegPath (a new file renamed over it; never through a symbolic link). Opens only
// local files of the video containers. Thread-safe.
// syncNow false: no sync; the caller checks the file when it next reads it (PosterCache).
PosterInfo MakePoster(const QString &videoPath, const QString &jpegPath, bool syncNow = true);
// The same for a video already opened (and judged): only that file is read.
PosterInfo MakePoster(const SourceFile &video, const QString &jpegPath, bool syncNow = true);

// A short Japanese description of a fault, for messages.
QString PosterFaultText(PosterFault fault);

// Videos that MakePoster has been asked to decode since the program started (all
// threads); the tests use it to check that a second site run decodes nothing.
int PostersDecoded();

}  // namespace tessaly
