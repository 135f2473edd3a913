#pragma once
// Width, height and colour depth of BMP, GIF, JPEG, PNG, WebP and AVIF files (and
// their orientation), read from their headers without decoding the picture, and the fitting
// of a size into the 120 x 120 thumbnail box of the genre index pages.
#include <QString>

#include <cstdint>

struct stat;

namespace tessaly {

// Why a file that looked like an image gave no usable size. The all-zero result of
// a missing file, a wrong signature or a JPEG without a frame header is no fault.
enum class ImageFault {
    None,
    Unreadable,  // the file exists but could not be opened or read
    TooLarge,    // a header value is 2^31 or more, so it cannot be a size
    Truncated,   // starts like a picture of a known format but ends before its size
};

struct ImageInfo {
    int32_t Format = 0;  // an ImageFormat; 0 not read
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t Depth = 0;   // bits per pixel as the header gives them; 0 where it gives none
    // How to turn the stored pixels upright, as an Exif orientation (a JPEG's Exif, a
    // PNG's eXIf chunk, an AVIF's irot and imir): 1 to 8, 0 where the file says nothing
    // usable. 5 to 8 turn it a quarter.
    int32_t Orientation = 0;
    ImageFault fault = ImageFault::None;  // set only when Format is 0
};

enum ImageFormat : int32_t {
    FormatNone = 0,
    FormatBmp = 1,
    FormatGif = 2,
    FormatJpeg = 3,
    FormatPng = 4,
    FormatWebp = 5,
    FormatAvif = 6,
};

// mode 0: by the first bytes; 1..4: the BMP, GIF, JPEG or PNG reader; 5: by the
// extension (bmp, gif, jpg/jpeg, png, webp, avif, any case); any other mode reads nothing.
ImageInfo GetImageSize(const QString &path, int mode);
// Mode 0 on a file the caller opened (and keeps open); known: what fstat said of it, if
// the caller asked already.
ImageInfo GetImageSizeOf(int fd, const struct stat *known = nullptr);

ImageInfo ReadBmpSize(const QString &path);
ImageInfo ReadGifSize(const QString &path);
ImageInfo ReadJpegSize(const QString &path);
ImageInfo ReadPngSize(const QString &path);

// A normal file (regular, not hidden) of at least 2 bytes.
bool IsReadableFile(const QString &path);

// Pictures that browsers do not draw, known by their first bytes: TIFF (and BigTIFF)
// and HEIF (a phone's HEIC). The genre pages show a JPEG made from them instead.
enum class RenditionFormat { None, Tiff, Heif };
RenditionFormat NeedsRendition(const QString &path);
RenditionFormat NeedsRenditionOf(int fd);

// "BMP", "GIF", "JPEG", "PNG", "WebP", "AVIF"; empty text for 0.
QString ImageFormatName(int32_t format);
// A short Japanese description of a fault, for messages.
QString ImageFaultText(ImageFault fault);

// The thumbnail box: the longer side becomes 120 pixels, the other keeps the aspect
// ratio. Width x 120 (or height x 120) must fit in 32 bits; the quotient is rounded
// to the nearest integer, halves to the even neighbour, and never less than 1.
constexpr int32_t ThumbnailBox = 120;
struct Thumbnail {
    int32_t height = 0;
    int32_t width = 0;
};
// False when a side is not positive or the product with 120 overflows.
bool FitThumbnail(int32_t width, int32_t height, Thumbnail *out);
// Fits the picture as a browser shows it, turned upright by its orientation.
bool FitThumbnail(const ImageInfo &info, Thumbnail *out);

// Bytes the readers have read from files since the program started (all threads);
// the benchmark and the tests use it to check that only headers are read.
int64_t ImageBytesRead();

}  // namespace tessaly
