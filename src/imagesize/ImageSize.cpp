#include "ImageSize.h"

#include <QCoreApplication>
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
    // A file the caller opened, and keeps: read, never closed here. known: what fstat
    // said of it, when the caller has asked already.
    explicit HeaderFile(int fd, const struct stat *known = nullptr) : m_fd(fd), m_borrowed(true), m_known(known) {}
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
        struct stat own;
        const struct stat *st = m_known ? m_known : &own;
        if (m_fd < 0 || (!m_known && ::fstat(m_fd, &own) != 0) || !S_ISREG(st->st_mode) || st->st_size < 2)
            return ImageFault::None;
        *readable = true;
        m_size = st->st_size;
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
    const struct stat *m_known = nullptr;
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

// A header that could not be had whole: Truncated when the file starts with the
// format's signature (a photo cut short, which the page must name), else what
// readFailure says (a file that is simply no picture of this format).
ImageInfo cutShort(HeaderFile &file, const char *signature, int length)
{
    if (file.failed())
        return faulted(ImageFault::Unreadable);
    const unsigned char *b = file.size() >= length ? file.bytes(0, length) : nullptr;
    if (b && std::memcmp(b, signature, size_t(length)) == 0)
        return faulted(ImageFault::Truncated);
    return readFailure(file);
}

constexpr uint32_t kMaxSize = uint32_t(std::numeric_limits<int32_t>::max());

ImageInfo bmpFrom(HeaderFile &file)
{
    const unsigned char *h = file.bytes(0, kBmpHeader);
    if (!h)
        return cutShort(file, "BM", 2);
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
        return cutShort(file, "GIF", 3);
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
        return cutShort(file, "\x89PNG", 4);
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
        if (m == 0xD9)
            return ImageInfo();  // the end of an image that had no frame
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
        if (b[0] == 0xFF && b[1] == 0xD9)
            return ImageInfo();
    }
    // The file ends where a segment or the frame header should follow.
    return faulted(ImageFault::Truncated);
}

uint32_t le24(const unsigned char *b) { return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16; }

// The RIFF header, then the first chunk: lossy (VP8), lossless (VP8L) or extended (VP8X,
// whose canvas is the picture's size).
ImageInfo webpFrom(HeaderFile &file)
{
    const unsigned char *b = file.bytes(0, 20);
    if (!b) {
        const unsigned char *s = file.size() >= 12 ? file.bytes(0, 12) : nullptr;
        if (s && std::memcmp(s, "RIFF", 4) == 0 && std::memcmp(s + 8, "WEBP", 4) == 0)
            return faulted(ImageFault::Truncated);
        return readFailure(file);
    }
    if (std::memcmp(b, "RIFF", 4) != 0 || std::memcmp(b + 8, "WEBP", 4) != 0)
        return ImageInfo();
    char chunk[4];
    std::memcpy(chunk, b + 12, 4);
    ImageInfo info;
    info.Format = FormatWebp;
    if (std::memcmp(chunk, "VP8 ", 4) == 0) {
        if (!(b = file.bytes(20, 10)))
            return faulted(file.failed() ? ImageFault::Unreadable : ImageFault::Truncated);
        if (b[3] != 0x9D || b[4] != 0x01 || b[5] != 0x2A)
            return ImageInfo();  // not a key frame
        info.Width = int32_t(le16(b + 6) & 0x3FFF);
        info.Height = int32_t(le16(b + 8) & 0x3FFF);
    } else if (std::memcmp(chunk, "VP8L", 4) == 0) {
        if (!(b = file.bytes(20, 5)))
            return faulted(file.failed() ? ImageFault::Unreadable : ImageFault::Truncated);
        if (b[0] != 0x2F)
            return ImageInfo();
        const uint32_t bits = le32(b + 1);
        info.Width = int32_t(bits & 0x3FFF) + 1;
        info.Height = int32_t(bits >> 14 & 0x3FFF) + 1;
    } else if (std::memcmp(chunk, "VP8X", 4) == 0) {
        if (!(b = file.bytes(24, 6)))
            return faulted(file.failed() ? ImageFault::Unreadable : ImageFault::Truncated);
        info.Width = int32_t(le24(b)) + 1;
        info.Height = int32_t(le24(b + 3)) + 1;
    } else {
        return ImageInfo();
    }
    return info;
}

// An ISO box: its type and where its contents start and end (end clipped to the file's).
struct Box {
    char type[4] = {};
    qint64 body = 0;
    qint64 end = 0;
    bool clipped = false;  // the file ends before the box does
};

bool boxAt(HeaderFile &file, qint64 p, qint64 limit, Box *box)
{
    const unsigned char *b = p + 8 <= limit ? file.bytes(p, 8) : nullptr;
    if (!b)
        return false;
    std::memcpy(box->type, b + 4, 4);
    qint64 size = be32(b);
    box->body = p + 8;
    if (size == 1) {
        if (!(b = p + 16 <= limit ? file.bytes(p + 8, 8) : nullptr))
            return false;
        const uint64_t large = uint64_t(be32(b)) << 32 | be32(b + 4);
        size = large > uint64_t(std::numeric_limits<qint64>::max()) ? std::numeric_limits<qint64>::max() : qint64(large);
        box->body = p + 16;
    } else if (size == 0) {
        size = limit - p;
    }
    if (size < box->body - p)
        return false;
    box->clipped = size > limit - p;
    box->end = box->clipped ? limit : p + size;
    return true;
}

bool isType(const Box &box, const char *type) { return std::memcmp(box.type, type, 4) == 0; }

// The boxes passed over at one level before giving up: a real file has a handful.
constexpr int kMaxBoxes = 1000;

// An AVIF still or sequence: its ftyp names avif or avis among its brands.
bool avifBrand(HeaderFile &file, const Box &ftyp)
{
    for (qint64 p = ftyp.body; p + 4 <= ftyp.end && p < ftyp.body + 4 * 64; p += 4) {
        if (p == ftyp.body + 4)
            continue;  // the minor version
        const unsigned char *b = file.bytes(p, 4);
        if (b && (std::memcmp(b, "avif", 4) == 0 || std::memcmp(b, "avis", 4) == 0))
            return true;
    }
    return false;
}

// The index-th (from 1) property in ipco.
bool propertyAt(HeaderFile &file, const Box &ipco, int index, Box *out)
{
    qint64 p = ipco.body;
    for (int i = 1; i <= index && i <= kMaxBoxes; ++i) {
        if (!boxAt(file, p, ipco.end, out))
            return false;
        if (i == index)
            return true;
        p = out->end;
    }
    return false;
}

// The primary item's size from its ispe, turned by its irot and imir (taken in the order
// ipma lists them) into an Exif orientation.
ImageInfo avifFrom(HeaderFile &file)
{
    const qint64 n = file.size();
    Box box;
    if (!boxAt(file, 0, n, &box) || !isType(box, "ftyp") || box.end > n)
        return readFailure(file);
    if (!avifBrand(file, box))
        return ImageInfo();
    const auto lost = [&] { return faulted(file.failed() ? ImageFault::Unreadable : ImageFault::Truncated); };
    Box meta;
    bool found = false;
    for (int i = 0; i < kMaxBoxes && !found; ++i) {
        if (!boxAt(file, box.end, n, &box))
            return lost();
        found = isType(box, "meta");
    }
    if (!found)
        return ImageInfo();
    meta = box;
    meta.body += 4;  // version and flags
    uint32_t primary = 1;
    Box ipco, ipma;
    bool haveIpco = false, haveIpma = false;
    for (qint64 p = meta.body; p < meta.end && !(haveIpco && haveIpma);) {
        if (!boxAt(file, p, meta.end, &box))
            return lost();
        if (isType(box, "pitm")) {
            const unsigned char *b = file.bytes(box.body, 8);
            if (!b || box.end - box.body < (b[0] == 0 ? 6 : 8))
                return lost();
            primary = b[0] == 0 ? be16(b + 4) : be32(b + 4);
        } else if (isType(box, "iprp")) {
            Box child;
            for (qint64 q = box.body; q < box.end; q = child.end) {
                if (!boxAt(file, q, box.end, &child))
                    return lost();
                if (isType(child, "ipco"))
                    ipco = child, haveIpco = true;
                else if (isType(child, "ipma"))
                    ipma = child, haveIpma = true;
            }
        }
        p = box.end;
    }
    if (!haveIpco || !haveIpma)
        return meta.clipped ? lost() : ImageInfo();
    const unsigned char *b = file.bytes(ipma.body, 8);
    if (!b)
        return lost();
    const bool longIds = b[0] >= 1, wideIndex = b[3] & 1;
    const uint32_t entries = be32(b + 4);
    qint64 p = ipma.body + 8;
    // [a b; c d] on (x, y), y downwards: what the transformations do to the stored picture.
    int m[4] = {1, 0, 0, 1};
    bool turned = false;
    ImageInfo info;
    for (uint32_t e = 0; e < entries && e < uint32_t(kMaxBoxes); ++e) {
        if (!(b = file.bytes(p, longIds ? 5 : 3)) || p + (longIds ? 5 : 3) > ipma.end)
            return lost();
        const uint32_t item = longIds ? be32(b) : be16(b);
        const int count = b[longIds ? 4 : 2];
        p += longIds ? 5 : 3;
        const int step = wideIndex ? 2 : 1;
        if (item != primary) {
            p += qint64(count) * step;
            continue;
        }
        for (int a = 0; a < count; ++a, p += step) {
            if (!(b = file.bytes(p, step)) || p + step > ipma.end)
                return lost();
            const int index = wideIndex ? int(be16(b) & 0x7FFF) : (b[0] & 0x7F);
            Box prop;
            if (index == 0 || !propertyAt(file, ipco, index, &prop))
                continue;
            if (isType(prop, "ispe") && prop.end - prop.body >= 12) {
                if (!(b = file.bytes(prop.body + 4, 8)))
                    return lost();
                if (be32(b) > kMaxSize || be32(b + 4) > kMaxSize)
                    return faulted(ImageFault::TooLarge);
                info.Width = int32_t(be32(b));
                info.Height = int32_t(be32(b + 4));
            } else if ((isType(prop, "irot") || isType(prop, "imir")) && prop.end > prop.body) {
                if (!(b = file.bytes(prop.body, 1)))
                    return lost();
                turned = true;
                int t[4];
                if (isType(prop, "imir")) {  // about the vertical axis (0) or the horizontal one
                    const int flip[2][4] = {{-1, 0, 0, 1}, {1, 0, 0, -1}};
                    std::copy(flip[b[0] & 1], flip[b[0] & 1] + 4, t);
                } else {
                    t[0] = 1, t[1] = 0, t[2] = 0, t[3] = 1;
                    for (int q = 0; q < (b[0] & 3); ++q) {  // a quarter anticlockwise each
                        const int r[4] = {t[2], t[3], -t[0], -t[1]};
                        std::copy(r, r + 4, t);
                    }
                }
                const int r[4] = {t[0] * m[0] + t[1] * m[2], t[0] * m[1] + t[1] * m[3],
                                  t[2] * m[0] + t[3] * m[2], t[2] * m[1] + t[3] * m[3]};
                std::copy(r, r + 4, m);
            }
        }
        break;
    }
    if (info.Width <= 0 || info.Height <= 0)
        return ImageInfo();
    info.Format = FormatAvif;
    if (turned) {
        static const int exif[8][4] = {{1, 0, 0, 1}, {-1, 0, 0, 1}, {-1, 0, 0, -1}, {1, 0, 0, -1},
                                       {0, 1, 1, 0}, {0, -1, 1, 0}, {0, -1, -1, 0}, {0, 1, -1, 0}};
        for (int o = 0; o < 8; ++o)
            if (std::equal(m, m + 4, exif[o]))
                info.Orientation = o + 1;
    }
    return info;
}

enum class Reader { None, Bmp, Gif, Jpeg, Png, Webp, Avif };

ImageInfo readWith(Reader r, HeaderFile &file)
{
    switch (r) {
    case Reader::Bmp: return bmpFrom(file);
    case Reader::Gif: return gifFrom(file);
    case Reader::Jpeg: return jpegFrom(file);
    case Reader::Png: return pngFrom(file);
    case Reader::Webp: return webpFrom(file);
    case Reader::Avif: return avifFrom(file);
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
    if (ext == QLatin1String("webp"))
        return Reader::Webp;
    if (ext == QLatin1String("avif"))
        return Reader::Avif;
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

ImageInfo GetImageSizeOf(int fd, const struct stat *known)
{
    HeaderFile file(fd, known);
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
        const qint64 got = std::min<qint64>(12, file.size());
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
        else if (got >= 4 && std::memcmp(s, "RIFF", 4) == 0)
            r = Reader::Webp;
        else if (got >= 8 && std::memcmp(s + 4, "ftyp", 4) == 0)
            r = Reader::Avif;
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
    case FormatWebp: return QStringLiteral("WebP");
    case FormatAvif: return QStringLiteral("AVIF");
    default: return QString();
    }
}

QString ImageFaultText(ImageFault fault)
{
    switch (fault) {
    case ImageFault::Unreadable: return QCoreApplication::translate("ImageSize", "ファイルを読み取れません");
    case ImageFault::TooLarge: return QCoreApplication::translate("ImageSize", "サイズの値が大きすぎます");
    case ImageFault::Truncated: return QCoreApplication::translate("ImageSize", "ファイルが途中で切れています");
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
