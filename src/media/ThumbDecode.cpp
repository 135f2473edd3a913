// Thumbnails of photos: decoded scaled where the format allows, turned upright,
// written as JPEG bytes without any of the original's metadata. Every decoder's memory
// is bounded by what the file's own header makes it need, reserved from one budget
// for the whole process before it is allocated.
#include "ImageSize.h"
#include "MediaApi.h"
#include "Thumbnail.h"

#include <QBuffer>
#include <QColorSpace>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QTransform>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <jerror.h>
#include <jpeglib.h>
#include <libheif/heif.h>
#include <tiffio.h>

namespace tessaly {

namespace {

// The pages' own background, under a transparent picture.
constexpr QRgb kBackground = 0xFFFFFFF0;
// What all decodes of the process hold at once: a publish's peak follows this, not the
// number of threads. A picture that needs more alone is not decoded.
constexpr qint64 kBudget = qint64(1) << 30;
// A sequential JPEG scaled while it is decoded holds a few rows at a time, but its
// decoding time still follows its pixels: a few kilobytes can claim 65535 x 65535.
constexpr qint64 kMaxScaledPixels = 1LL << 30;
// Each scan of a progressive JPEG passes over every coefficient again.
constexpr int kMaxJpegScans = 1000;
// The longest side libheif takes (it refuses larger ones before it allocates).
constexpr int kMaxHeifSide = 16384;
constexpr qint64 kMiB = 1 << 20;

// Bytes reserved in turn, first come first served, so that a large decode is not
// starved by a stream of small ones.
class MemoryBudget {
public:
    void take(qint64 bytes)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        const quint64 ticket = m_next++;
        m_changed.wait(lock, [&] { return m_serving == ticket && m_free >= bytes; });
        ++m_serving;
        m_free -= bytes;
        m_changed.notify_all();
    }
    void give(qint64 bytes)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_free += bytes;
        }
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    qint64 m_free = kBudget;
    quint64 m_next = 0;
    quint64 m_serving = 0;
};

MemoryBudget &budget()
{
    static MemoryBudget b;
    return b;
}

// One decode's share of the budget, held until it is destroyed.
class Reservation {
public:
    Reservation() = default;
    Reservation(const Reservation &) = delete;
    Reservation &operator=(const Reservation &) = delete;
    ~Reservation() { release(); }
    // Waits until the bytes are free; false, without waiting, when they exceed the whole budget.
    bool take(qint64 bytes)
    {
        release();
        if (bytes > kBudget)
            return false;
        budget().take(bytes);
        m_bytes = bytes;
        return true;
    }
    void release()
    {
        if (m_bytes > 0)
            budget().give(m_bytes);
        m_bytes = 0;
    }

private:
    qint64 m_bytes = 0;
};

struct Decoded {
    QImage image;  // upright
    QColorSpace space;  // the file's own, where it names one
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

// What the thumbnail itself takes once the picture is scaled: its copies while it is
// turned, laid on the ground and encoded.
qint64 thumbBytes(const QSize &want)
{
    return qint64(want.width()) * want.height() * 4 * 4 + 4 * kMiB;
}

// The decoded picture scaled smoothly to size. Qt scales 32- and 64-bit RGB in place;
// a straight alpha is multiplied in here, in place, not in a copy there.
QImage scaledTo(QImage image, const QSize &size)
{
    if (image.size() == size)
        return image;
    if (image.format() == QImage::Format_ARGB32)
        image.convertTo(QImage::Format_ARGB32_Premultiplied);
    else if (image.format() == QImage::Format_RGBA64)
        image.convertTo(QImage::Format_RGBA64_Premultiplied);
    return image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

// Bytes the smooth scale adds to a decoded picture of this format: none where it scales
// in place, a 32-bit copy otherwise.
qint64 scaleCopyBytes(QImage::Format format, qint64 pixels)
{
    switch (format) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
    case QImage::Format_RGBX64:
    case QImage::Format_RGBA64:
    case QImage::Format_RGBA64_Premultiplied: return 0;
    default: return pixels * 4;
    }
}

// ---- JPEG through libjpeg itself: what it reads in the header is what decides.

struct JpegError {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    int code = 0;
    int scans = 0;
    char message[JMSG_LENGTH_MAX] = {};
};

[[noreturn]] void jpegFail(j_common_ptr c)
{
    auto *e = reinterpret_cast<JpegError *>(c->err);
    e->code = c->err->msg_code;
    (*c->err->format_message)(c, e->message);
    std::longjmp(e->jump, 1);
}

// Stops the decode with a fault of ours; code as libjpeg's would be (JERR_OUT_OF_MEMORY: TooLarge).
[[noreturn]] void jpegStop(j_common_ptr c, int code, const char *why)
{
    auto *e = reinterpret_cast<JpegError *>(c->err);
    e->code = code;
    std::snprintf(e->message, sizeof e->message, "%s", why);
    std::longjmp(e->jump, 1);
}

void jpegMessage(j_common_ptr c, int level)
{
    auto *e = reinterpret_cast<JpegError *>(c->err);
    if (level > 0 && c->err->msg_code == JTRC_SOS && ++e->scans > kMaxJpegScans)
        jpegStop(c, JERR_OUT_OF_MEMORY, "too many scans");
    if (level >= 0)
        return;
    ++c->err->num_warnings;
    // The file ends, or the next marker comes, before the first rows' data.
    if (c->err->msg_code == JWRN_JPEG_EOF || c->err->msg_code == JWRN_HIT_MARKER) {
        const auto *d = reinterpret_cast<j_decompress_ptr>(c);
        if (d->input_scan_number <= 1 && d->input_iMCU_row == 0)
            jpegStop(c, JERR_NO_IMAGE, "no data for the first rows");  // not a grey picture: nothing
    }
}

void jpegQuiet(j_common_ptr) {}

// The descriptor read at its own offsets: the caller's file position is left alone.
struct JpegSource {
    jpeg_source_mgr pub;
    int fd = -1;
    off_t pos = 0;
    JOCTET buffer[64 * 1024];

    static void init(j_decompress_ptr) {}
    static void term(j_decompress_ptr) {}
    static boolean fill(j_decompress_ptr c)
    {
        auto *s = reinterpret_cast<JpegSource *>(c->src);
        ssize_t n;
        do
            n = ::pread(s->fd, s->buffer, sizeof s->buffer, s->pos);
        while (n < 0 && errno == EINTR);
        if (n < 0)
            ERREXIT(c, JERR_FILE_READ);
        if (n == 0) {
            // As libjpeg's own sources do: a warning, then an end of image to stop at.
            WARNMS(c, JWRN_JPEG_EOF);
            s->buffer[0] = 0xFF;
            s->buffer[1] = JPEG_EOI;
            n = 2;
        } else {
            s->pos += n;
        }
        s->pub.next_input_byte = s->buffer;
        s->pub.bytes_in_buffer = size_t(n);
        return TRUE;
    }
    static void skip(j_decompress_ptr c, long count)
    {
        auto *s = reinterpret_cast<JpegSource *>(c->src);
        if (count <= 0)
            return;
        if (size_t(count) <= s->pub.bytes_in_buffer) {
            s->pub.next_input_byte += count;
            s->pub.bytes_in_buffer -= size_t(count);
            return;
        }
        s->pos += off_t(count - long(s->pub.bytes_in_buffer));
        s->pub.bytes_in_buffer = 0;
    }
};

// Everything that lives across the decode's setjmp, so that a longjmp skips no destructor.
struct JpegJob {
    jpeg_decompress_struct cinfo {};
    JpegError err;
    JpegSource src;
    QImage image;
    std::vector<JSAMPLE> cmykRow;
    QColorSpace space;  // from an ICC profile in APP2
    Reservation reserved;
};

// libjpeg's own need for this picture as it will be decoded: the coefficients of the
// whole picture when it comes in several scans (progressive, or one component a scan)
// or arithmetic coded, and the rows it works on.
qint64 jpegNeed(const jpeg_decompress_struct &ci, bool whole)
{
    qint64 bytes = 8 * kMiB + qint64(ci.image_width) * ci.num_components * 64;
    if (!whole)
        return bytes;
    for (int i = 0; i < ci.num_components; ++i) {
        const jpeg_component_info &c = ci.comp_info[i];
        const auto roundUp = [](qint64 v, int m) { return m > 0 ? (v + m - 1) / m * m : v; };
        qint64 wb = c.width_in_blocks, hb = c.height_in_blocks;
        if (wb == 0 || hb == 0) {  // not yet set up: from the picture's size
            wb = (qint64(ci.image_width) * c.h_samp_factor + 8 * ci.max_h_samp_factor - 1) / (8 * ci.max_h_samp_factor);
            hb = (qint64(ci.image_height) * c.v_samp_factor + 8 * ci.max_v_samp_factor - 1) / (8 * ci.max_v_samp_factor);
        }
        bytes += roundUp(wb, c.h_samp_factor) * roundUp(hb, c.v_samp_factor) * DCTSIZE2 * qint64(sizeof(JCOEF));
    }
    return bytes;
}

// The JPEG decoded at the smallest of 1/8 to 8/8 of its size that still covers the
// thumbnail (libjpeg scales while it decodes), straight into the rows of an RGB image.
Decoded decodeJpeg(int fd, int longSide, int orientation)
{
    auto job = std::make_unique<JpegJob>();
    jpeg_decompress_struct &ci = job->cinfo;
    ci.err = jpeg_std_error(&job->err.pub);
    job->err.pub.error_exit = jpegFail;
    job->err.pub.emit_message = jpegMessage;
    job->err.pub.output_message = jpegQuiet;
    if (setjmp(job->err.jump)) {
        jpeg_destroy_decompress(&ci);
        const int code = job->err.code;
        const bool tooLarge = code == JERR_OUT_OF_MEMORY || code == JERR_NO_BACKING_STORE || code == JERR_IMAGE_TOO_BIG
                              || code == JERR_WIDTH_OVERFLOW;
        return failed(tooLarge ? ThumbFault::TooLarge : ThumbFault::Unreadable, QString::fromLatin1(job->err.message));
    }
    jpeg_create_decompress(&ci);
    job->src.fd = fd;
    job->src.pub.init_source = JpegSource::init;
    job->src.pub.fill_input_buffer = JpegSource::fill;
    job->src.pub.skip_input_data = JpegSource::skip;
    job->src.pub.resync_to_restart = jpeg_resync_to_restart;
    job->src.pub.term_source = JpegSource::term;
    ci.src = &job->src.pub;
    // The markers before the frame are small; no picture is allocated yet.
    ci.mem->max_memory_to_use = 64 * kMiB;
    jpeg_save_markers(&ci, JPEG_APP0 + 2, 0xFFFF);  // a colour profile
    jpeg_read_header(&ci, TRUE);
    {
        JOCTET *icc = nullptr;
        unsigned int iccSize = 0;
        if (jpeg_read_icc_profile(&ci, &icc, &iccSize)) {
            job->space = QColorSpace::fromIccProfile(QByteArray(reinterpret_cast<const char *>(icc), int(iccSize)));
            std::free(icc);
        }
    }
    const bool whole = ci.progressive_mode || ci.arith_code || ci.comps_in_scan < ci.num_components;
    const auto common = reinterpret_cast<j_common_ptr>(&ci);
    if (!whole && qint64(ci.image_width) * ci.image_height > kMaxScaledPixels)
        jpegStop(common, JERR_OUT_OF_MEMORY, "more pixels than are worth decoding");
    const bool cmyk = ci.jpeg_color_space == JCS_CMYK || ci.jpeg_color_space == JCS_YCCK;
    // Straight into the layout of Format_RGB32, which the scaling and the encoder take as it is.
    ci.out_color_space = cmyk ? JCS_CMYK : Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? JCS_EXT_BGRX : JCS_EXT_XRGB;
    const QSize want = fitted(int(ci.image_width), int(ci.image_height), longSide);
    ci.scale_denom = 8;
    for (ci.scale_num = 1; ci.scale_num < 8; ++ci.scale_num) {
        jpeg_calc_output_dimensions(&ci);
        if (int(ci.output_width) >= want.width() && int(ci.output_height) >= want.height())
            break;
    }
    jpeg_calc_output_dimensions(&ci);
    const qint64 outPixels = qint64(ci.output_width) * ci.output_height;
    const qint64 need = jpegNeed(ci, whole);
    // libjpeg refuses to go past this (it has no backing store to spill to).
    ci.mem->max_memory_to_use = long(need + need / 8 + 16 * kMiB);
    if (!job->reserved.take(need + need / 8 + 16 * kMiB + outPixels * 4 + thumbBytes(want)))
        jpegStop(common, JERR_OUT_OF_MEMORY, "needs more memory than all decodes may hold");
    jpeg_start_decompress(&ci);
    job->image = QImage(int(ci.output_width), int(ci.output_height), QImage::Format_RGB32);
    if (job->image.isNull())
        jpegStop(common, JERR_OUT_OF_MEMORY, "no memory for the picture");
    if (cmyk)
        job->cmykRow.resize(size_t(ci.output_width) * 4);
    while (ci.output_scanline < ci.output_height) {
        const int y = int(ci.output_scanline);
        uchar *out = job->image.scanLine(y);
        JSAMPROW row = cmyk ? job->cmykRow.data() : out;
        if (jpeg_read_scanlines(&ci, &row, 1) != 1)
            jpegStop(common, JERR_NO_IMAGE, "rows missing");
        if (cmyk) {  // as Adobe writes it, inverted
            const JSAMPLE *in = job->cmykRow.data();
            QRgb *px = reinterpret_cast<QRgb *>(out);
            for (JDIMENSION x = 0; x < ci.output_width; ++x, in += 4)
                px[x] = qRgb(in[0] * in[3] / 255, in[1] * in[3] / 255, in[2] * in[3] / 255);
        }
    }
    jpeg_destroy_decompress(&ci);
    Decoded d;
    d.image = upright(scaledTo(std::move(job->image), want), orientation);
    d.space = job->space;
    return d;
}

// ---- PNG, GIF, BMP and WebP through Qt's readers, whole, then scaled.

// libpng allocates what a chunk before the pixels claims (an eXIf of 2 GB in a file of
// 42 bytes), beyond any limit Qt sets: such a PNG is damaged, and never handed over.
bool pngClaimsMoreThanItHolds(int fd)
{
    struct stat st;
    unsigned char b[8];
    if (::fstat(fd, &st) != 0 || ::pread(fd, b, 8, 0) != 8 || std::memcmp(b, "\x89PNG\r\n\x1a\n", 8) != 0)
        return false;
    for (qint64 pos = 8; pos + 8 <= st.st_size;) {
        if (::pread(fd, b, 8, off_t(pos)) != 8)
            return true;
        const qint64 length = qint64(b[0]) << 24 | b[1] << 16 | b[2] << 8 | b[3];
        if (pos + 12 + length > st.st_size)
            return true;
        if (std::memcmp(b + 4, "IDAT", 4) == 0 || std::memcmp(b + 4, "IEND", 4) == 0)
            return false;
        pos += 12 + length;
    }
    return false;
}

Decoded decodeQt(int fd, int longSide, int orientation)
{
    if (pngClaimsMoreThanItHolds(fd))
        return failed(ThumbFault::Unreadable, QStringLiteral("a chunk claims more than the file holds"));
    // Qt's limit holds for the whole process, so it cannot be one picture's: it is the
    // budget, and each picture's own need is reserved from that below. (Qt's default,
    // 128 MB, refused valid 42-megapixel photos.)
    static std::once_flag limit;
    std::call_once(limit, [] { QImageReader::setAllocationLimit(int(kBudget / kMiB)); });
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle) || !file.seek(0))
        return failed(ThumbFault::Unreadable, file.errorString());
    QImageReader reader(&file);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(false);  // the orientation is ours to apply, as the page's box assumes
    const QSize stored = reader.size();
    if (!stored.isValid()) {
        char head[12] = {};
        if (::pread(fd, head, sizeof head, 0) == qint64(sizeof head) && std::memcmp(head, "RIFF", 4) == 0
            && std::memcmp(head + 8, "WEBP", 4) == 0 && !QImageReader::supportedImageFormats().contains("webp"))
            return failed(ThumbFault::NoDecoder, QStringLiteral("no WebP reader for Qt (qt6-image-formats-plugins)"));
        return failed(ThumbFault::Unreadable, reader.errorString());
    }
    const qint64 pixels = qint64(stored.width()) * stored.height();
    const QImage::Format format = reader.imageFormat();
    const int bits = format == QImage::Format_Invalid ? 32 : std::max<int>(32, QImage::toPixelFormat(format).bitsPerPixel());
    const qint64 decoded = pixels * bits / 8;
    const QSize want = fitted(stored.width(), stored.height(), longSide);  // in stored orientation
    // The reader's own working memory (a GIF's frame, WebP's planes) beside the picture.
    Reservation reserved;
    if (!reserved.take(decoded + decoded / 2 + scaleCopyBytes(format, pixels) + thumbBytes(want)))
        return failed(ThumbFault::TooLarge);
    QImage image;
    if (!reader.read(&image))
        return failed(ThumbFault::Unreadable, reader.errorString());
    Decoded d;
    d.space = image.colorSpace();
    d.image = upright(scaledTo(std::move(image), want), orientation);
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
    // Its strips and tiles; the picture itself is ours, reserved below.
    TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), tmsize_t(kBudget / 4));
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
    const QSize want = fitted(int(w), int(h), longSide);
    // The RGBA reader holds one strip or tile (of each plane) beside the whole picture.
    const qint64 chunk = TIFFIsTiled(tif.get()) ? qint64(TIFFTileSize64(tif.get())) : qint64(TIFFStripSize64(tif.get()));
    uint16_t planes = 1, samples = 1;
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_PLANARCONFIG, &planes);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLESPERPIXEL, &samples);
    Reservation reserved;
    if (!reserved.take(qint64(w) * h * 4 + chunk * (planes == PLANARCONFIG_SEPARATE ? samples : 1) + thumbBytes(want)))
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
    d.image = upright(scaledTo(std::move(stored), want), orientation);
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

Decoded decodeHeif(int fd, int longSide, bool av1)
{
    static std::once_flag init;
    std::call_once(init, [] { heif_init(nullptr); });
    if (av1 && !heif_have_decoder_for_format(heif_compression_AV1))
        return failed(ThumbFault::NoDecoder, QStringLiteral("libheif has no AV1 decoder"));
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
    // The decoder's planes (taken as 4:4:4, held by the codec and by libheif) beside
    // libheif's RGB(A) copy of them, or that copy beside the smooth scale's 32-bit one.
    const QSize want = fitted(w, h, longSide);
    const bool alpha = heif_image_handle_has_alpha_channel(handle.get());
    const qint64 pixels = qint64(w) * h;
    const qint64 planes = pixels * (alpha ? 4 : 3) * (heif_image_handle_get_luma_bits_per_pixel(handle.get()) > 8 ? 2 : 1);
    const qint64 rgb = pixels * (alpha ? 4 : 3);
    Reservation reserved;
    if (!reserved.take(std::max(2 * planes + rgb, rgb + pixels * 4) + 32 * kMiB + thumbBytes(want)))
        return failed(ThumbFault::TooLarge);
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

// What a picture that browsers draw is, by its first bytes: libjpeg and libheif take
// JPEG and AVIF, Qt's readers the rest.
enum class Drawn { Other, Jpeg, Avif };

Drawn drawnKind(int fd)
{
    unsigned char b[64];
    const ssize_t n = ::pread(fd, b, sizeof b, 0);
    if (n >= 3 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF)
        return Drawn::Jpeg;
    if (n < 16 || std::memcmp(b + 4, "ftyp", 4) != 0)
        return Drawn::Other;
    const qint64 end = std::min<qint64>(n, qint64(b[0]) << 24 | b[1] << 16 | b[2] << 8 | b[3]);
    for (qint64 p = 8; p + 4 <= end; p += 4)
        if (p != 12 && (std::memcmp(b + p, "avif", 4) == 0 || std::memcmp(b + p, "avis", 4) == 0))
            return Drawn::Avif;
    return Drawn::Other;
}

}  // namespace

namespace {

Decoded decodeAny(int fd, int longSide, int orientation, int format)
{
    Decoded d;
    switch (RenditionFormat(format)) {
    case RenditionFormat::Tiff: d = decodeTiff(fd, longSide); break;
    case RenditionFormat::Heif: d = decodeHeif(fd, longSide, drawnKind(fd) == Drawn::Avif); break;
    case RenditionFormat::None:
        switch (drawnKind(fd)) {
        case Drawn::Jpeg: d = decodeJpeg(fd, longSide, orientation); break;
        case Drawn::Avif: d = decodeHeif(fd, longSide, true); break;
        case Drawn::Other: d = decodeQt(fd, longSide, orientation); break;
        }
        break;
    }
    if (d.fault == ThumbFault::None && d.image.isNull())
        d.fault = ThumbFault::Unreadable;
    return d;
}

bool encode(const QImage &image, int quality, MediaThumb *out)
{
    QBuffer buffer(&out->jpeg);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(quality);
    if (!writer.write(image)) {
        out->jpeg.clear();
        out->fault = int(ThumbFault::WriteFailed);
        out->detail = writer.errorString();
        return false;
    }
    out->width = image.width();
    out->height = image.height();
    return true;
}

}  // namespace

void MakeRenditionsJpeg(int fd, const int *longSides, int count, int orientation, int format, int quality,
                        MediaThumb *outs)
{
    for (int i = 0; i < count; ++i)
        outs[i] = MediaThumb();
    if (count <= 0)
        return;
    const int largest = *std::max_element(longSides, longSides + count);
    Decoded d = decodeAny(fd, largest, orientation, format);
    const auto fail = [&](ThumbFault fault, const QString &detail) {
        for (int i = 0; i < count; ++i) {
            outs[i] = MediaThumb();
            outs[i].fault = int(fault);
            outs[i].detail = detail;
        }
    };
    if (d.fault != ThumbFault::None)
        return fail(d.fault, d.detail);
    // A new image: nothing of the original (its text, its colour profile) comes along,
    // and transparency lands on the page's colour. An opaque picture without text that
    // is already in this form (a JPEG, as its decoder writes it) is taken as it is.
    QImage image;
    if (d.image.format() == QImage::Format_RGB32 && d.image.textKeys().isEmpty()) {
        image = std::move(d.image);
    } else {
        image = QImage(d.image.size(), QImage::Format_RGB32);
        if (image.isNull())
            return fail(ThumbFault::TooLarge, QString());
        image.fill(kBackground);
        QPainter p(&image);
        p.drawImage(0, 0, d.image);
    }
    d.image = QImage();
    // Pages assume sRGB: a picture in another space (Adobe RGB, Display P3) is converted,
    // not merely stripped of its profile.
    if (d.space.isValid() && d.space != QColorSpace(QColorSpace::SRgb)) {
        image.setColorSpace(d.space);
        image.convertToColorSpace(QColorSpace::SRgb);
    }
    image.setColorSpace(QColorSpace());
    // Every size from this one picture, the smaller ones from it as it is.
    for (int i = 0; i < count; ++i) {
        const QSize size = fitted(image.width(), image.height(), longSides[i]);
        if (!encode(size == image.size() ? image : image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation),
                    quality, &outs[i]))
            return fail(ThumbFault::WriteFailed, outs[i].detail);
    }
}

void MakeThumbnailJpeg(int fd, int longSide, int orientation, int format, MediaThumb *out)
{
    MakeRenditionsJpeg(fd, &longSide, 1, orientation, format, 85, out);
}

}  // namespace tessaly
