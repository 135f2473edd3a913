#pragma once
// Thumbnails of photos: a small upright JPEG without any of the original's metadata,
// for pages that go to the web, and for pictures that browsers do not draw (TIFF,
// HEIF). The decoding (libjpeg, Qt's image readers, libtiff, libheif) lives in the media module
// (MediaModule.h); nothing here needs them.
#include <QByteArray>
#include <QList>
#include <QString>

#include <utility>

namespace tessaly {

class SourceFile;

// The longer side of a thumbnail at most: twice the page's box, for dense screens.
// Smaller pictures are not enlarged.
constexpr int ThumbnailLongSide = 240;

enum class ThumbFault {
    None,
    Unreadable,   // not a picture this system can decode, or a damaged one
    TooLarge,     // more pixels or memory than a thumbnail is worth decoding
    WriteFailed,  // the thumbnail file could not be written
    NoDecoder,    // the media module could not be loaded: no fault of the picture's
    Outside,      // it really lies outside the folder it had to lie in: not even opened for decoding
};

struct ThumbResult {
    int width = 0;  // of the thumbnail, upright
    int height = 0;
    ThumbFault fault = ThumbFault::None;
    QString detail;
};

// Decodes the picture at source (JPEG, PNG, GIF, BMP, WebP, TIFF, HEIF, AVIF; known by content),
// scaled while it is decoded where the format allows (a JPEG's DCT scaling, a HEIF's
// own thumbnail), turns it upright by its orientation, fits it into longSide and
// writes it as a JPEG at target (a new file renamed over it; never through a symbolic
// link). A transparent picture is laid on the pages' background. Thread-safe.
// syncNow false: no sync; the caller checks the file when it next reads it (ThumbCache).
ThumbResult MakeThumbnail(const QString &source, const QString &target, int longSide = ThumbnailLongSide,
                          bool syncNow = true);
// The same for a photo already opened (and judged): only that file is read.
ThumbResult MakeThumbnail(const SourceFile &source, const QString &target, int longSide = ThumbnailLongSide,
                          bool syncNow = true);

// Several sizes of one photo already opened (and judged), from one decode: JPEG bytes
// for each long side in the order given, upright, in sRGB, without metadata. Empty
// (the reason in *fault and *detail) when it cannot be decoded. Writes nothing.
struct Rendition {
    QByteArray jpeg;
    int width = 0;
    int height = 0;
};
QList<Rendition> MakeRenditions(const SourceFile &source, const QList<int> &longSides, int quality,
                                ThumbFault *fault, QString *detail);
// The size that the picture w x h gets when fitted into longSide (never enlarged).
std::pair<int, int> FittedSize(int w, int h, int longSide);

// The endings of photo names, lower-case, in the order a title's photo is chosen by.
const QList<QByteArray> &PhotoSuffixes();

// A short Japanese description of a fault, for messages.
QString ThumbFaultText(ThumbFault fault);

// Pictures that MakeThumbnail has decoded since the program started (all threads);
// the tests and the bench use it to check that a second run decodes nothing.
int ThumbnailsDecoded();
// Thumbnails that MakeThumbnail has written since the program started.
int ThumbnailsMade();

}  // namespace tessaly
