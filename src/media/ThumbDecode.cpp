// Thumbnails of photos: decoded scaled where the format allows, turned upright,
// written as JPEG bytes without any of the original's metadata.
#include "ImageSize.h"
#include "MediaApi.h"
#include "Thumbnail.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QTransform>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <memory>
#include <mutex>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <libheif/heif.h>
#include <tiffio.h>

namespace tessaly {

namespace {

// The pages' own background, under a transparent picture.
constexpr QRgb kBackground = 0xFFFFFFF0;
// A picture is never decoded whole beyond this (four bytes a pixel: 256 MB).
constexpr qint64 kMaxPixels = 64 << 20;
// A sequential JPEG scaled while it is decoded holds a few rows at a time, but its
// decoding time still follows its pixels: a few kilobytes can claim 65535 x 65535.
constexpr qint64 kMaxScaledPixels = 1LL << 30;
// The longest side libheif takes (it refuses larger ones before it allocates).
constexpr int kMaxHeifSide = 16384;

struct Decoded {
    QImage image;  // upright
    ThumbFault fault = ThumbFault::None;
    QString detail;
};

Decoded failed(ThumbFault fault, const QString &detail = QString())
{
    Decoded d;
    d.fault = fault;
    d.detail = detail;
    return d;
}

// The stored pixels turned upright by an Exif (or TIFF) orientation.
QImage upright(const QImage &stored, int orientation)
{
    switch (orientation) {
    case 2: return stored.mirrored(true, false);
    case 3: return stored.mirrored(true, true);
    case 4: return stored.mirrored(false, true);
    case 5: return stored.mirrored(true, false).transformed(QTransform().rotate(270));
    case 6: return stored.transformed(QTransform().rotate(90));
    case 7: return stored.mirrored(true, false).transformed(QTransform().rotate(90));
    case 8: return stored.transformed(QTransform().rotate(270));
    default: return stored;
    }
}

// The size of w x h fitted into longSide, never enlarged, never thinner than a pixel.
QSize fitted(int w, int h, int longSide)
{
    const double scale = std::min(1.0, double(longSide) / std::max(w, h));
    return QSize(std::max(1, int(std::lround(w * scale))), std::max(1, int(std::lround(h * scale))));
}

// The frame marker of a JPEG (0xC0 to 0xCF), or 0 when none comes before the first scan.
int jpegFrame(int fd)
{
    // pread: the reader's own position in the same file stays where it is.
    qint64 pos = 0;
    uchar b[2];
    const auto read = [fd, &pos, &b](qint64 n) {
        if (::pread(fd, b, size_t(n), off_t(pos)) != n)
            return false;
        pos += n;
        return true;
    };
    if (!read(2) || b[0] != 0xFF || b[1] != 0xD8)
        return 0;
    for (int segments = 0; segments < 10000; ++segments) {
        if (!read(1) || b[0] != 0xFF)
            return 0;
        do {
            if (!read(1))
                return 0;
        } while (b[0] == 0xFF);
        const int marker = b[0];
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC)
            return marker;
        if (marker == 0xDA || marker == 0xD9)
            return 0;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7))
            continue;  // no length
        if (!read(2))
            return 0;
        const int length = b[0] << 8 | b[1];
        if (length < 2)
            return 0;
        pos += length - 2;
    }
    return 0;
}

// JPEG, PNG, GIF and BMP through Qt's readers. A JPEG is decoded at the smallest of
// 1/8, 1/4, 1/2 or whole size that still covers the thumbnail (libjpeg scales while
// it decodes); the rest of the way is a smooth scale here.
Decoded decodeQt(int fd, int longSide, int orientation)
{
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle) || !file.seek(0))
        return failed(ThumbFault::Unreadable, file.errorString());
    QImageReader reader(&file);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(false);  // the orientation is ours to apply, as the page's box assumes
    const QSize stored = reader.size();
    if (!stored.isValid())
        return failed(ThumbFault::Unreadable, reader.errorString());
    if (qint64(stored.width()) * stored.height() > kMaxPixels && reader.format() != "jpeg")
        return failed(ThumbFault::TooLarge);
    const QSize want = fitted(stored.width(), stored.height(), longSide);  // in stored orientation
    if (reader.format() == "jpeg") {
        // Only a sequential Huffman JPEG decodes a row at a time: a progressive or an
        // arithmetic one keeps every coefficient of the whole picture, however small
        // the output.
        const int frame = jpegFrame(fd);
        if (qint64(stored.width()) * stored.height() > (frame == 0xC0 || frame == 0xC1 ? kMaxScaledPixels : kMaxPixels))
            return failed(ThumbFault::TooLarge);
        int denom = 1;
        while (denom < 8 && (stored.width() + 2 * denom - 1) / (2 * denom) >= want.width()
               && (stored.height() + 2 * denom - 1) / (2 * denom) >= want.height())
            denom *= 2;
        if (denom > 1)
            reader.setScaledSize(QSize((stored.width() + denom - 1) / denom, (stored.height() + denom - 1) / denom));
        else if (qint64(stored.width()) * stored.height() > kMaxPixels)
            return failed(ThumbFault::TooLarge);
    }
    QImage image;
    if (!reader.read(&image))
        return failed(ThumbFault::Unreadable, reader.errorString());
    if (image.size() != want)
        image = image.scaled(want, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    Decoded d;
    d.image = upright(image, orientation);
    return d;
}

// TIFF through libtiff: the whole first page, then scaled.
Decoded decodeTiff(int fd, int longSide)
{
    static std::once_flag quiet;
    std::call_once(quiet, [] {  // the fault is reported once, by the caller
        TIFFSetWarningHandler(nullptr);
        TIFFSetErrorHandler(nullptr);
    });
    // Read, not mapped: a file cut short while it is read is an error, not a SIGBUS.
    std::unique_ptr<TIFFOpenOptions, void (*)(TIFFOpenOptions *)> options(TIFFOpenOptionsAlloc(), TIFFOpenOptionsFree);
    if (!options)
        return failed(ThumbFault::TooLarge);
    TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), tmsize_t(kMaxPixels) * 4);
    // libtiff closes what it is given: a duplicate of the caller's descriptor.
    const int own = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (own < 0 || ::lseek(own, 0, SEEK_SET) != 0) {
        if (own >= 0)
            ::close(own);
        return failed(ThumbFault::Unreadable);
    }
    TIFF *opened = TIFFFdOpenExt(own, "photo", "rm", options.get());
    if (!opened)
        ::close(own);
    std::unique_ptr<TIFF, void (*)(TIFF *)> tif(opened, TIFFClose);
    if (!tif)
        return failed(ThumbFault::Unreadable);
    uint32_t w = 0, h = 0;
    uint16_t orientation = ORIENTATION_TOPLEFT;
    TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &h);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_ORIENTATION, &orientation);
    if (w == 0 || h == 0)
        return failed(ThumbFault::Unreadable);
    if (qint64(w) * h > kMaxPixels)
        return failed(ThumbFault::TooLarge);
    if (orientation < 1 || orientation > 8)
        orientation = ORIENTATION_TOPLEFT;
    // libtiff's RGBA pixels carry their alpha multiplied in.
    QImage stored(int(w), int(h), QImage::Format_RGBA8888_Premultiplied);
    if (stored.isNull())
        return failed(ThumbFault::TooLarge);
    // Asked for the orientation it has (or its transposed twin, which libtiff does not
    // tell apart), libtiff leaves the rows as stored; the turn is made below.
    const int asStored = (orientation - 1) % 4 + 1;
    static_assert(sizeof(uint32_t) == 4);
    if (!TIFFReadRGBAImageOriented(tif.get(), w, h, reinterpret_cast<uint32_t *>(stored.bits()), asStored, 0))
        return failed(ThumbFault::Unreadable);
    Decoded d;
    d.image = upright(stored.scaled(fitted(int(w), int(h), longSide), Qt::IgnoreAspectRatio, Qt::SmoothTransformation),
                      orientation);
    return d;
}

QString heifText(const heif_error &e)
{
    return e.message ? QString::fromUtf8(e.message) : QString();
}

// HEIF through libheif, turned upright by its own transformations. A picture that
// carries a thumbnail at least as large as the one made here is read from that.
// libheif reads through this, at the offsets it asks for.
struct HeifInput {
    int fd;
    int64_t pos = 0;
    int64_t size = 0;

    static int64_t position(void *self) { return static_cast<HeifInput *>(self)->pos; }
    static int read(void *data, size_t size, void *self)
    {
        auto *in = static_cast<HeifInput *>(self);
        auto *p = static_cast<char *>(data);
        while (size > 0) {
            const ssize_t n = ::pread(in->fd, p, size, off_t(in->pos));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return -1;
            in->pos += n;
            p += n;
            size -= size_t(n);
        }
        return 0;
    }
    static int seek(int64_t pos, void *self)
    {
        static_cast<HeifInput *>(self)->pos = pos;
        return 0;
    }
    static heif_reader_grow_status waitForSize(int64_t size, void *self)
    {
        return size <= static_cast<HeifInput *>(self)->size ? heif_reader_grow_status_size_reached
                                                            : heif_reader_grow_status_size_beyond_eof;
    }
};

Decoded decodeHeif(int fd, int longSide)
{
    static std::once_flag init;
    std::call_once(init, [] { heif_init(nullptr); });
    std::unique_ptr<heif_context, void (*)(heif_context *)> ctx(heif_context_alloc(), heif_context_free);
    if (!ctx)
        return failed(ThumbFault::Unreadable);
    heif_context_set_maximum_image_size_limit(ctx.get(), kMaxHeifSide);
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return failed(ThumbFault::Unreadable);
    static heif_reader reader = [] {
        heif_reader r{};
        r.reader_api_version = 1;
        r.get_position = HeifInput::position;
        r.read = HeifInput::read;
        r.seek = HeifInput::seek;
        r.wait_for_file_size = HeifInput::waitForSize;
        return r;
    }();
    HeifInput input{fd, 0, st.st_size};
    heif_error err = heif_context_read_from_reader(ctx.get(), &reader, &input, nullptr);
    if (err.code != heif_error_Ok)
        return failed(ThumbFault::Unreadable, heifText(err));
    heif_image_handle *raw = nullptr;
    err = heif_context_get_primary_image_handle(ctx.get(), &raw);
    if (err.code != heif_error_Ok)
        return failed(ThumbFault::Unreadable, heifText(err));
    std::unique_ptr<heif_image_handle, void (*)(const heif_image_handle *)> handle(raw, heif_image_handle_release);
    const int n = heif_image_handle_get_number_of_thumbnails(handle.get());
    if (n > 0) {
        std::vector<heif_item_id> ids(static_cast<size_t>(n), 0);
        heif_image_handle_get_list_of_thumbnail_IDs(handle.get(), ids.data(), n);
        for (const heif_item_id id : ids) {
            heif_image_handle *thumb = nullptr;
            if (heif_image_handle_get_thumbnail(handle.get(), id, &thumb).code != heif_error_Ok)
                continue;
            if (std::max(heif_image_handle_get_width(thumb), heif_image_handle_get_height(thumb)) >= longSide) {
                handle.reset(thumb);
                break;
            }
            heif_image_handle_release(thumb);
        }
    }
    const int w = heif_image_handle_get_width(handle.get()), h = heif_image_handle_get_height(handle.get());
    if (w <= 0 || h <= 0)
        return failed(ThumbFault::Unreadable);
    if (qint64(w) * h > kMaxPixels)
        return failed(ThumbFault::TooLarge);
    const bool alpha = heif_image_handle_has_alpha_channel(handle.get());
    heif_image *img = nullptr;
    err = heif_decode_image(handle.get(), &img, heif_colorspace_RGB,
                            alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, nullptr);
    if (err.code != heif_error_Ok)
        return failed(ThumbFault::Unreadable, heifText(err));
    std::unique_ptr<heif_image, void (*)(const heif_image *)> image(img, heif_image_release);
    int stride = 0;
    const uint8_t *data = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    const int iw = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int ih = heif_image_get_height(image.get(), heif_channel_interleaved);
    if (!data || iw <= 0 || ih <= 0)
        return failed(ThumbFault::Unreadable);
    // The view borrows libheif's pixels: what is kept must be a copy of its own.
    const QImage view(data, iw, ih, stride, alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    const QSize size = fitted(iw, ih, longSide);
    Decoded d;
    d.image = size == view.size() ? view.copy() : view.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return d;
}

}  // namespace

void MakeThumbnailJpeg(int fd, int longSide, int orientation, int format, MediaThumb *out)
{
    *out = MediaThumb();
    Decoded d;
    switch (RenditionFormat(format)) {
    case RenditionFormat::Tiff: d = decodeTiff(fd, longSide); break;
    case RenditionFormat::Heif: d = decodeHeif(fd, longSide); break;
    case RenditionFormat::None: d = decodeQt(fd, longSide, orientation); break;
    }
    if (d.fault == ThumbFault::None && d.image.isNull())
        d.fault = ThumbFault::Unreadable;
    if (d.fault != ThumbFault::None) {
        out->fault = int(d.fault);
        out->detail = d.detail;
        return;
    }
    // A new image: nothing of the original (its text, its colour profile) comes along,
    // and transparency lands on the page's colour.
    QImage image(d.image.size(), QImage::Format_RGB32);
    if (image.isNull()) {
        out->fault = int(ThumbFault::TooLarge);
        return;
    }
    image.fill(kBackground);
    {
        QPainter p(&image);
        p.drawImage(0, 0, d.image);
    }
    QBuffer buffer(&out->jpeg);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(85);
    if (!writer.write(image)) {
        out->jpeg.clear();
        out->fault = int(ThumbFault::WriteFailed);
        out->detail = writer.errorString();
        return;
    }
    out->width = image.width();
    out->height = image.height();
}

}  // namespace tessaly
