#include "ImageSize.h"

#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace tessaly {

namespace {

std::atomic<int64_t> g_bytesRead{0};

// Fixed header lengths: BMP file + information header, GIF signature + logical screen
// descriptor, PNG signature + IHDR chunk.
constexpr int kBmpHeader = 54;
constexpr int kGifHeader = 13;
constexpr int kPngHeader = 29;
// A JPEG is walked segment by segment; each hop reads this much at most.
constexpr int kJpegWindow = 512;

// An open image file read at given offsets. Nothing outside [0, size) is ever read.
class HeaderFile {
public:
    explicit HeaderFile(const QString &path) : m_file(path) {}

    bool open()
    {
        // Unbuffered: a read is exactly the bytes asked for, not a whole buffer.
        if (!m_file.open(QIODevice::ReadOnly | QIODevice::Unbuffered) || m_file.isSequential())
            return false;
        m_size = m_file.size();
        return true;
    }
    qint64 size() const { return m_size; }
    bool failed() const { return m_failed; }

    // Reads up to n bytes at pos into buf; returns how many were read (fewer at the end
    // of the file), or -1 when the read fails.
    qint64 readAt(qint64 pos, char *buf, qint64 n)
    {
        if (pos < 0 || pos >= m_size || n <= 0)
            return 0;
        n = std::min(n, m_size - pos);
        if (m_file.pos() != pos && !m_file.seek(pos)) {
            m_failed = true;
            return -1;
        }
        qint64 got = 0;
        while (got < n) {
            const qint64 r = m_file.read(buf + got, n - got);
            if (r < 0) {
                m_failed = true;
                return -1;
            }
            if (r == 0)
                break;  // the file shrank since it was opened
            got += r;
        }
        g_bytesRead.fetch_add(got, std::memory_order_relaxed);
        return got;
    }

    // Reads exactly n bytes at pos; false when the file holds fewer or a read fails.
    bool readExact(qint64 pos, unsigned char *buf, qint64 n)
    {
        return readAt(pos, reinterpret_cast<char *>(buf), n) == n;
    }

private:
    QFile m_file;
    qint64 m_size = 0;
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
    unsigned char h[kBmpHeader];
    if (!file.readExact(0, h, kBmpHeader))
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
    unsigned char h[kGifHeader];
    if (!file.readExact(0, h, kGifHeader))
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

ImageInfo pngFrom(HeaderFile &file)
{
    unsigned char h[kPngHeader];
    if (!file.readExact(0, h, kPngHeader))
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
// small window at each hop instead of the whole file.
ImageInfo jpegFrom(HeaderFile &file)
{
    const qint64 n = file.size();
    unsigned char win[kJpegWindow];
    qint64 winStart = 0;
    qint64 winLen = file.readAt(0, reinterpret_cast<char *>(win), kJpegWindow);
    if (winLen < 0)
        return faulted(ImageFault::Unreadable);
    // Makes the bytes [pos, pos + len) that the file holds available in the window;
    // false on a read error.
    auto fetch = [&](qint64 pos, qint64 len) {
        const qint64 want = std::min(len, n - pos);
        if (pos >= winStart && pos + want <= winStart + winLen)
            return true;
        winStart = pos;
        winLen = file.readAt(pos, reinterpret_cast<char *>(win), kJpegWindow);
        return winLen >= 0;
    };
    // How many bytes from pos the window holds.
    auto available = [&](qint64 pos) { return winStart + winLen - pos; };

    if (winLen < 2 || win[0] != 0xFF || win[1] != 0xD8)
        return ImageInfo();
    qint64 p = 2;
    while (p < n - 4) {  // the marker and its length lie inside the file
        if (!fetch(p, 9))
            return faulted(ImageFault::Unreadable);
        const unsigned char *b = win + (p - winStart);
        const qint64 have = available(p);
        if (have < 4)
            return faulted(ImageFault::Truncated);  // the file shrank while being read
        if (b[0] != 0xFF)
            return ImageInfo();
        const unsigned char m = b[1];
        if (m == 0xFF) {  // fill byte before a marker
            p += 1;
            continue;
        }
        if (isFrameMarker(m)) {
            if (have < 9)
                return faulted(ImageFault::Truncated);
            ImageInfo info;
            info.Format = FormatJpeg;
            info.Height = int32_t(be16(b + 5));
            info.Width = int32_t(be16(b + 7));
            info.Depth = 24;
            return info;
        }
        p += qint64(be16(b + 2)) + 2;
    }
    if (p > n)
        return faulted(ImageFault::Truncated);  // the last segment runs past the end
    if (p < n - 1) {
        if (!fetch(p, 2))
            return faulted(ImageFault::Unreadable);
        const unsigned char *b = win + (p - winStart);
        if (available(p) >= 2 && b[0] == 0xFF && isFrameMarker(b[1]))
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
    if (!IsReadableFile(path))
        return ImageInfo();
    HeaderFile file(path);
    if (!file.open())
        return faulted(ImageFault::Unreadable);
    return readWith(r, file);
}

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
    if (!IsReadableFile(path))
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
    if (!file.open())
        return faulted(ImageFault::Unreadable);
    if (mode == 0) {
        unsigned char s[4] = {0, 0, 0, 0};
        const qint64 got = file.readAt(0, reinterpret_cast<char *>(s), 4);
        if (got < 0)
            return faulted(ImageFault::Unreadable);
        if (got >= 2 && s[0] == 'B' && s[1] == 'M')
            r = Reader::Bmp;
        else if (got >= 3 && s[0] == 'G' && s[1] == 'I' && s[2] == 'F')
            r = Reader::Gif;
        else if (got >= 2 && s[0] == 0xFF && s[1] == 0xD8)
            r = Reader::Jpeg;
        else if (got >= 4 && s[0] == 0x89 && s[1] == 'P' && s[2] == 'N' && s[3] == 'G')
            r = Reader::Png;
        else
            return ImageInfo();
    }
    return readWith(r, file);
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

int64_t ImageBytesRead()
{
    return g_bytesRead.load(std::memory_order_relaxed);
}

}  // namespace tessaly
