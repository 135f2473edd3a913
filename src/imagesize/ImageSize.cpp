#include "ImageSize.h"

#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaly {

namespace {

std::atomic<int64_t> g_bytesRead{0};

// Fixed header lengths: BMP file + information header, GIF signature + logical screen
// descriptor, PNG signature + IHDR chunk.
constexpr int kBmpHeader = 54;
constexpr int kGifHeader = 13;
constexpr int kPngHeader = 29;
// Chunks passed over before the first image data when a PNG is searched for its Exif.
constexpr int kPngChunksBeforeData = 256;

// A name that starts with a dot, as QFileInfo::fileName() would see it.
bool isHiddenName(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash + 1 < path.size() && path.at(slash + 1) == QLatin1Char('.');
}

// An open image file read at given offsets. Nothing outside [0, size) is ever read.
// Plain system calls: a header read costs little more than opening the file, so every
// call saved (a separate stat, a seek, a second read of the signature) shows.
class HeaderFile {
public:
    explicit HeaderFile(const QString &path) : m_path(path) {}
    // A file the caller opened, and keeps: read, never closed here.
    explicit HeaderFile(int fd) : m_fd(fd), m_borrowed(true) {}
    ~HeaderFile()
    {
        if (m_fd >= 0 && !m_borrowed)
            ::close(m_fd);
    }
    HeaderFile(const HeaderFile &) = delete;
    HeaderFile &operator=(const HeaderFile &) = delete;

    // Opens a readable file (as IsReadableFile decides) and reads its first bytes.
    // Returns None when open, an all-zero result when the file is no readable file,
    // Unreadable when it is one but cannot be opened or read.
    ImageFault open(bool *readable)
    {
        *readable = false;
        if (m_borrowed)
            return openedFile(readable);
        if (m_path.isEmpty() || isHiddenName(m_path))
            return ImageFault::None;
        // Non-blocking, so that a FIFO with the name of a photo cannot stall the walk.
        m_fd = ::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (m_fd < 0) {
            const bool gone = errno == ENOENT || errno == ENOTDIR || errno == ENAMETOOLONG || errno == ELOOP;
            if (gone || !IsReadableFile(m_path))
                return ImageFault::None;
            *readable = true;
            return ImageFault::Unreadable;
        }
        return openedFile(readable);
    }
    qint64 size() const { return m_size; }

    // The bytes [pos, pos + n) when the file holds them all, read into the window when
    // they are not there yet; null when the file is shorter or a read fails (failed()).
    const unsigned char *bytes(qint64 pos, qint64 n)
    {
        if (pos < 0 || n > kWindow || pos + n > m_size)
            return nullptr;
        if ((pos < m_winStart || pos + n > m_winStart + m_winLen) && !fill(pos))
            return nullptr;
        return m_win + (pos - m_winStart);
    }
    bool failed() const { return m_failed; }

    static constexpr qint64 kWindow = 512;

private:
    ImageFault openedFile(bool *readable)
    {
        struct stat st;
        if (m_fd < 0 || ::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 2)
            return ImageFault::None;
        *readable = true;
        m_size = st.st_size;
        return fill(0) ? ImageFault::None : ImageFault::Unreadable;
    }

    bool fill(qint64 pos)
    {
        const qint64 want = std::min(kWindow, m_size - pos);
        qint64 got = 0;
        while (got < want) {
            const ssize_t r = ::pread(m_fd, m_win + got, size_t(want - got), off_t(pos + got));
            if (r < 0 && errno == EINTR)
                continue;
            if (r < 0) {
                m_failed = true;
                m_winLen = 0;
                return false;
            }
            if (r == 0)
                break;  // the file shrank since it was opened
            got += r;
        }
        g_bytesRead.fetch_add(got, std::memory_order_relaxed);
        m_winStart = pos;
        m_winLen = got;
        if (got < want)
            m_size = pos + got;
        return true;
    }

    QString m_path;
    int m_fd = -1;
    bool m_borrowed = false;
    qint64 m_size = 0;
    unsigned char m_win[kWindow];
    qint64 m_winStart = 0;
    qint64 m_winLen = 0;
    bool m_failed = false;
};

uint32_t le16(const unsigned char *b) { return uint32_t(b[0]) | uint32_t(b[1]) << 8; }
uint32_t le32(const unsigned char *b)
{
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}
uint32_t be16(const unsigned char *b) { return uint32_t(b[0]) << 8 | uint32_t(b[1]); }
uint32_t be32(const unsigned char *b)
{
    return uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | uint32_t(b[3]);
}

ImageInfo faulted(ImageFault f)
{
    ImageInfo info;
    info.fault = f;
    return info;
}

ImageInfo readFailure(const HeaderFile &file)
{
    return file.failed() ? faulted(ImageFault::Unreadable) : ImageInfo();
}

constexpr uint32_t kMaxSize = uint32_t(std::numeric_limits<int32_t>::max());

ImageInfo bmpFrom(HeaderFile &file)
{
    const unsigned char *h = file.bytes(0, kBmpHeader);
    if (!h)
        return readFailure(file);
    if (h[0] != 'B' || h[1] != 'M')
        return ImageInfo();
    const uint32_t w = le32(h + 18);
    const uint32_t hRaw = le32(h + 22);
    // A negative height marks a top-down bitmap; its size is the absolute value.
    // -2^31 has no positive counterpart, and a negative width is no size at all.
    if (w > kMaxSize || hRaw == 0x80000000u)
        return faulted(ImageFault::TooLarge);
    const int32_t height = hRaw > kMaxSize ? -int32_t(hRaw) : int32_t(hRaw);
    ImageInfo info;
    info.Format = FormatBmp;
    info.Width = int32_t(w);
    info.Height = height;
    info.Depth = int32_t(le16(h + 28));
    return info;
}

ImageInfo gifFrom(HeaderFile &file)
{
    const unsigned char *h = file.bytes(0, kGifHeader);
    if (!h)
        return readFailure(file);
    if (h[0] != 'G' || h[1] != 'I' || h[2] != 'F')
        return ImageInfo();
    ImageInfo info;
    info.Format = FormatGif;
    info.Width = int32_t(le16(h + 6));
    info.Height = int32_t(le16(h + 8));
    info.Depth = (h[10] & 7) + 1;
    return info;
}

// The orientation (1 to 8) in the first directory of the Exif data that starts at tiff
// and spans span bytes; 0 when there is none or anything about it is out of place.
int exifOrientation(HeaderFile &file, qint64 tiff, qint64 span)
{
    const unsigned char *b = span >= 8 ? file.bytes(tiff, 8) : nullptr;
    if (!b)
        return 0;
    const bool little = b[0] == 'I' && b[1] == 'I';
    if (!little && !(b[0] == 'M' && b[1] == 'M'))
        return 0;
    const auto u16 = [little](const unsigned char *x) { return little ? le16(x) : be16(x); };
    const auto u32 = [little](const unsigned char *x) { return little ? le32(x) : be32(x); };
    if (u16(b + 2) != 42)
        return 0;
    const qint64 ifd = u32(b + 4);
    if (ifd + 2 > span || !(b = file.bytes(tiff + ifd, 2)))
        return 0;
    const qint64 count = u16(b);
    for (qint64 e = ifd + 2; e < ifd + 2 + 12 * count; e += 12) {
        if (e + 12 > span || !(b = file.bytes(tiff + e, 12)))
            return 0;
        if (u16(b) != 0x0112)
            continue;
        // One SHORT; anything else is not an orientation this reader trusts.
        const uint32_t v = u16(b + 8);
        return u16(b + 2) == 3 && u32(b + 4) == 1 && v >= 1 && v <= 8 ? int(v) : 0;
    }
    return 0;
}

// The orientation in an eXIf chunk before the first image data (where browsers look
// for it), each chunk hopped over by its length; 0 when there is none.
int pngOrientation(HeaderFile &file)
{
    qint64 p = 8;  // the first chunk, IHDR
    for (int chunk = 0; chunk < kPngChunksBeforeData; ++chunk) {
        const unsigned char *b = file.bytes(p, 8);
        if (!b)
            return 0;
        const qint64 length = be32(b);
        if (std::memcmp(b + 4, "IDAT", 4) == 0 || std::memcmp(b + 4, "IEND", 4) == 0 || length > file.size())
            return 0;
        if (std::memcmp(b + 4, "eXIf", 4) == 0) {
            const qint64 data = p + 8;
            const qint64 span = std::min(length, file.size() - data);
            // Some writers keep the "Exif" header of the JPEG block.
            const unsigned char *head = span >= 6 ? file.bytes(data, 6) : nullptr;
            if (head && std::memcmp(head, "Exif\0\0", 6) == 0)
                return exifOrientation(file, data + 6, span - 6);
            return exifOrientation(file, data, span);
        }
        p += length + 12;
    }
    return 0;
}

ImageInfo pngFrom(HeaderFile &file)
{
    const unsigned char *h = file.bytes(0, kPngHeader);
    if (!h)
        return readFailure(file);
    if (h[0] != 0x89 || h[1] != 'P' || h[2] != 'N' || h[3] != 'G')
        return ImageInfo();
    const uint32_t w = be32(h + 16);
    const uint32_t ht = be32(h + 20);
    if (w > kMaxSize || ht > kMaxSize)
        return faulted(ImageFault::TooLarge);
    ImageInfo info;
    info.Format = FormatPng;
    info.Width = int32_t(w);
    info.Height = int32_t(ht);
    info.Orientation = pngOrientation(file);
    const int bitDepth = h[24];
    switch (h[25]) {
    case 0:
    case 3: info.Depth = bitDepth; break;
    case 2: info.Depth = bitDepth * 3; break;
    default: info.Depth = 0; break;
    }
    return info;
}

bool isFrameMarker(unsigned char m)
{
    return (m >= 0xC0 && m <= 0xC3) || (m >= 0xC9 && m <= 0xCB);
}

// Walks the segments from the start of image to the first frame header, reading a
// small window at each hop instead of the whole file. The first Exif block on the way
// gives the orientation.
ImageInfo jpegFrom(HeaderFile &file)
{
    const qint64 n = file.size();
    const unsigned char *b = file.bytes(0, 2);
    if (!b || b[0] != 0xFF || b[1] != 0xD8)
        return readFailure(file);
    // A window that cannot be had inside the walk: a read error or a file that shrank.
    const auto lost = [&] { return faulted(file.failed() ? ImageFault::Unreadable : ImageFault::Truncated); };
    int orientation = 0;
    bool exifSeen = false;
    qint64 p = 2;
    while (p < n - 4) {  // the marker and its length lie inside the file
        if (!(b = file.bytes(p, 4)))
            return lost();
        if (b[0] != 0xFF)
            return ImageInfo();
        const unsigned char m = b[1];
        if (m == 0xFF) {  // fill byte before a marker
            p += 1;
            continue;
        }
        if (isFrameMarker(m)) {
            if (!(b = file.bytes(p, 9)))
                return lost();
            ImageInfo info;
            info.Format = FormatJpeg;
            info.Height = int32_t(be16(b + 5));
            info.Width = int32_t(be16(b + 7));
            info.Depth = 24;
            info.Orientation = orientation;
            return info;
        }
        const qint64 length = be16(b + 2);
        if (m == 0xE1 && !exifSeen && length >= 8 && (b = file.bytes(p + 4, 6)) && std::memcmp(b, "Exif\0\0", 6) == 0) {
            exifSeen = true;
            const qint64 tiff = p + 10;
            // The directory may lie anywhere in the block (after a maker's preview, say),
            // but never past the block's own end.
            orientation = exifOrientation(file, tiff, std::min(length - 8, n - tiff));
        }
        p += length + 2;
    }
    if (p > n)
        return faulted(ImageFault::Truncated);  // the last segment runs past the end
    if (p < n - 1) {
        if (!(b = file.bytes(p, 2)))
            return lost();
        if (b[0] == 0xFF && isFrameMarker(b[1]))
            return faulted(ImageFault::Truncated);  // a frame header cut short
    }
    return ImageInfo();
}

enum class Reader { None, Bmp, Gif, Jpeg, Png };

ImageInfo readWith(Reader r, HeaderFile &file)
{
    switch (r) {
    case Reader::Bmp: return bmpFrom(file);
    case Reader::Gif: return gifFrom(file);
    case Reader::Jpeg: return jpegFrom(file);
    case Reader::Png: return pngFrom(file);
    case Reader::None: break;
    }
    return ImageInfo();
}

ImageInfo readFile(const QString &path, Reader r)
{
    HeaderFile file(path);
    bool readable = false;
    const ImageFault f = file.open(&readable);
    if (!readable || f != ImageFault::None)
        return faulted(f);
    return readWith(r, file);
}

// By the first bytes when bySignature, else with r.
ImageInfo sizeFrom(HeaderFile &file, Reader r, bool bySignature);

Reader readerForExtension(const QString &path)
{
    const QString name = QFileInfo(path).fileName();
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return Reader::None;
    const QString ext = name.mid(dot + 1).toLower();
    if (ext == QLatin1String("bmp"))
        return Reader::Bmp;
    if (ext == QLatin1String("gif"))
        return Reader::Gif;
    if (ext == QLatin1String("jpg") || ext == QLatin1String("jpeg"))
        return Reader::Jpeg;
    if (ext == QLatin1String("png"))
        return Reader::Png;
    return Reader::None;
}

}  // namespace

bool IsReadableFile(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo fi(path);
    return fi.isFile() && !fi.fileName().startsWith(QLatin1Char('.')) && fi.size() >= 2;
}

ImageInfo ReadBmpSize(const QString &path) { return readFile(path, Reader::Bmp); }
ImageInfo ReadGifSize(const QString &path) { return readFile(path, Reader::Gif); }
ImageInfo ReadJpegSize(const QString &path) { return readFile(path, Reader::Jpeg); }
ImageInfo ReadPngSize(const QString &path) { return readFile(path, Reader::Png); }

ImageInfo GetImageSize(const QString &path, int mode)
{
    if (mode < 0 || mode > 5)
        return ImageInfo();
    Reader r = Reader::None;
    if (mode == 5) {
        r = readerForExtension(path);
        if (r == Reader::None)
            return ImageInfo();
    } else if (mode >= 1) {
        r = static_cast<Reader>(mode);
    }
    HeaderFile file(path);
    return sizeFrom(file, r, mode == 0);
}

ImageInfo GetImageSizeOf(int fd)
{
    HeaderFile file(fd);
    return sizeFrom(file, Reader::None, true);
}

namespace {

ImageInfo sizeFrom(HeaderFile &file, Reader r, bool bySignature)
{
    bool readable = false;
    const ImageFault f = file.open(&readable);
    if (!readable || f != ImageFault::None)
        return faulted(f);
    if (bySignature) {
        const qint64 got = std::min<qint64>(4, file.size());
        const unsigned char *s = file.bytes(0, got);
        if (!s)
            return readFailure(file);
        if (s[0] == 'B' && s[1] == 'M')
            r = Reader::Bmp;
        else if (got >= 3 && s[0] == 'G' && s[1] == 'I' && s[2] == 'F')
            r = Reader::Gif;
        else if (s[0] == 0xFF && s[1] == 0xD8)
            r = Reader::Jpeg;
        else if (got >= 4 && s[0] == 0x89 && s[1] == 'P' && s[2] == 'N' && s[3] == 'G')
            r = Reader::Png;
        else
            return ImageInfo();
    }
    return readWith(r, file);
}

RenditionFormat renditionOf(HeaderFile &file)
{
    bool readable = false;
    if (file.open(&readable) != ImageFault::None || !readable)
        return RenditionFormat::None;
    const unsigned char *b = file.bytes(0, 12);
    if (!b)
        return RenditionFormat::None;
    if ((b[0] == 'I' && b[1] == 'I' && (b[2] == 42 || b[2] == 43) && b[3] == 0)
        || (b[0] == 'M' && b[1] == 'M' && b[2] == 0 && (b[3] == 42 || b[3] == 43)))
        return RenditionFormat::Tiff;
    if (std::memcmp(b + 4, "ftyp", 4) == 0) {
        // The brands of HEIF stills and sequences (HEVC or any codec).
        for (const char *brand : {"heic", "heix", "heim", "heis", "hevc", "hevx", "hevm", "hevs", "mif1", "msf1"})
            if (std::memcmp(b + 8, brand, 4) == 0)
                return RenditionFormat::Heif;
    }
    return RenditionFormat::None;
}

}  // namespace

RenditionFormat NeedsRendition(const QString &path)
{
    HeaderFile file(path);
    return renditionOf(file);
}

RenditionFormat NeedsRenditionOf(int fd)
{
    HeaderFile file(fd);
    return renditionOf(file);
}

QString ImageFormatName(int32_t format)
{
    switch (format) {
    case FormatBmp: return QStringLiteral("BMP");
    case FormatGif: return QStringLiteral("GIF");
    case FormatJpeg: return QStringLiteral("JPEG");
    case FormatPng: return QStringLiteral("PNG");
    default: return QString();
    }
}

QString ImageFaultText(ImageFault fault)
{
    switch (fault) {
    case ImageFault::Unreadable: return QStringLiteral("ファイルを読み取れません");
    case ImageFault::TooLarge: return QStringLiteral("サイズの値が大きすぎます");
    case ImageFault::Truncated: return QStringLiteral("ファイルが途中で切れています");
    case ImageFault::None: break;
    }
    return QString();
}

bool FitThumbnail(int32_t width, int32_t height, Thumbnail *out)
{
    if (width <= 0 || height <= 0)
        return false;
    const bool landscape = height < width;
    const int64_t product = int64_t(landscape ? height : width) * ThumbnailBox;
    if (product > std::numeric_limits<int32_t>::max())
        return false;
    // nearbyint rounds halves to the even neighbour in the default rounding mode.
    const double q = double(product) / double(landscape ? width : height);
    // A very long and thin picture still gets a side that can be seen.
    const int32_t side = std::max<int32_t>(1, int32_t(std::nearbyint(q)));
    if (landscape) {
        out->height = side;
        out->width = ThumbnailBox;
    } else {
        out->height = ThumbnailBox;
        out->width = side;
    }
    return true;
}

bool FitThumbnail(const ImageInfo &info, Thumbnail *out)
{
    const bool turned = info.Orientation >= 5 && info.Orientation <= 8;
    return turned ? FitThumbnail(info.Height, info.Width, out) : FitThumbnail(info.Width, info.Height, out);
}

int64_t ImageBytesRead()
{
    return g_bytesRead.load(std::memory_order_relaxed);
}

}  // namespace tessaly
