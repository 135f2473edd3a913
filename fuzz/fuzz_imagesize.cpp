// libFuzzer target for the image header readers. Each input is written to a file and read
// by every mode and reader, by name and by descriptor; the results must match a plain model
// over the whole input that aborts on any index past its end, so a reader using a byte it
// never read from the file shows up as a mismatch, and AddressSanitizer catches any access
// outside its buffers.
#include "ImageSize.h"

#include <QFile>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

using namespace tessaly;

namespace {

struct Model {
    int32_t format = 0, width = 0, height = 0, depth = 0, orientation = 0;
    ImageFault fault = ImageFault::None;
};

const uint8_t *g_p;
size_t g_n;
uint32_t at(size_t i) { return i < g_n ? g_p[i] : (std::abort(), 0u); }
uint32_t le32(size_t i) { return at(i) | at(i + 1) << 8 | at(i + 2) << 16 | at(i + 3) << 24; }
uint32_t be16(size_t i) { return at(i) << 8 | at(i + 1); }
uint32_t be32(size_t i) { return be16(i) << 16 | be16(i + 2); }
uint32_t le16(size_t i) { return at(i) | at(i + 1) << 8; }
bool is(const char *magic) { for (size_t i = 0; magic[i]; ++i) if (i >= g_n || at(i) != uint8_t(magic[i])) return false; return true; }
Model fault(ImageFault f) { Model m; m.fault = f; return m; }

Model bmp()
{
    if (g_n < 54 || !is("BM"))
        return {};
    const uint32_t w = le32(18), h = le32(22);
    if (w > 0x7FFFFFFFu || h == 0x80000000u)
        return fault(ImageFault::TooLarge);
    return {1, int32_t(w), h > 0x7FFFFFFFu ? -int32_t(h) : int32_t(h), int32_t(at(28) | at(29) << 8)};
}

Model gif() { return g_n < 13 || !is("GIF") ? Model{} : Model{2, int32_t(at(6) | at(7) << 8), int32_t(at(8) | at(9) << 8), int32_t((at(10) & 7) + 1)}; }

bool frameMarker(uint32_t m) { return (m >= 0xC0 && m <= 0xC3) || (m >= 0xC9 && m <= 0xCB); }

// The orientation entry of the first directory of Exif data at t, searched only in its
// first `span` bytes (the block, the file).
int32_t orientation(int64_t t, int64_t span)
{
    if (span < 8 || !((at(size_t(t)) == 'I' && at(size_t(t + 1)) == 'I') || (at(size_t(t)) == 'M' && at(size_t(t + 1)) == 'M')))
        return 0;
    const bool ii = at(size_t(t)) == 'I';
    const auto u16 = [ii](int64_t i) { return ii ? le16(size_t(i)) : be16(size_t(i)); };
    const auto u32 = [&](int64_t i) { return ii ? u16(i) | u16(i + 2) << 16 : u16(i) << 16 | u16(i + 2); };
    const int64_t ifd = u32(t + 4);
    if (u16(t + 2) != 42 || ifd + 2 > span)
        return 0;
    for (int64_t i = 0, e = ifd + 2; i < u16(t + ifd) && e + 12 <= span; ++i, e += 12)
        if (u16(t + e) == 0x0112)
            return u16(t + e + 2) == 3 && u32(t + e + 4) == 1 && u16(t + e + 8) >= 1 && u16(t + e + 8) <= 8 ? int32_t(u16(t + e + 8)) : 0;
    return 0;
}

// The orientation of the first eXIf chunk before the image data, the chunks hopped over
// by their lengths (at most 256 of them); a chunk that claims more than the file ends the search.
int32_t pngOrientation()
{
    const int64_t n = int64_t(g_n);
    int64_t p = 8;
    for (int chunk = 0; chunk < 256 && p + 8 <= n; ++chunk, p += int64_t(be32(size_t(p))) + 12) {
        const int64_t length = be32(size_t(p));
        const auto type = [&](const char *t) { return std::memcmp(g_p + p + 4, t, 4) == 0; };
        if (type("IDAT") || type("IEND") || length > n)
            return 0;
        if (type("eXIf")) {
            const int64_t data = p + 8, span = std::min(length, n - data);
            const bool header = span >= 6 && std::memcmp(g_p + data, "Exif\0\0", 6) == 0;  // a JPEG block's own
            return header ? orientation(data + 6, span - 6) : orientation(data, span);
        }
    }
    return 0;
}

Model png()
{
    if (g_n < 29 || !is("\x89PNG"))
        return {};
    const uint32_t w = be32(16), h = be32(20), depth = at(24), type = at(25);
    if (w > 0x7FFFFFFFu || h > 0x7FFFFFFFu)
        return fault(ImageFault::TooLarge);
    return {4, int32_t(w), int32_t(h), int32_t(type == 0 || type == 3 ? depth : type == 2 ? depth * 3 : 0), pngOrientation()};
}

Model jpeg()
{
    const int64_t n = int64_t(g_n);
    if (!is("\xFF\xD8"))
        return {};
    int64_t p = 2, exif = -1;  // exif: the orientation of the first Exif block, once seen
    for (; p < n - 4; p += at(size_t(p + 1)) == 0xFF ? 1 : int64_t(be16(size_t(p + 2))) + 2) {
        if (at(size_t(p)) != 0xFF)
            return {};
        if (frameMarker(at(size_t(p + 1))))
            return p + 8 > n - 1 ? fault(ImageFault::Truncated) : Model{3, int32_t(be16(size_t(p + 7))), int32_t(be16(size_t(p + 5))), 24, int32_t(std::max<int64_t>(exif, 0))};
        const int64_t len = be16(size_t(p + 2));
        if (at(size_t(p + 1)) == 0xE1 && exif < 0 && len >= 8 && p + 10 <= n && std::memcmp(g_p + p + 4, "Exif\0\0", 6) == 0)
            exif = orientation(p + 10, std::min(len - 8, n - p - 10));
    }
    if (p > n || (p < n - 1 && at(size_t(p)) == 0xFF && frameMarker(at(size_t(p + 1)))))
        return fault(ImageFault::Truncated);
    return {};
}

// TIFF (and BigTIFF) by its byte order and version, HEIF by the brand of its ftyp box.
RenditionFormat rendition()
{
    if (g_n < 12)
        return RenditionFormat::None;
    const uint32_t order = be16(0), version = order == 0x4949 ? le16(2) : be16(2);
    if ((order == 0x4949 || order == 0x4D4D) && (version == 42 || version == 43))
        return RenditionFormat::Tiff;
    if (std::memcmp(g_p + 4, "ftyp", 4) != 0)
        return RenditionFormat::None;
    for (const char *brand : {"heic", "heix", "heim", "heis", "hevc", "hevx", "hevm", "hevs", "mif1", "msf1"})
        if (std::memcmp(g_p + 8, brand, 4) == 0)
            return RenditionFormat::Heif;
    return RenditionFormat::None;
}

Model byContent() { return is("BM") ? bmp() : is("GIF") ? gif() : is("\xFF\xD8") ? jpeg() : is("\x89PNG") ? png() : Model{}; }

void expect(const char *what, const ImageInfo &got, const Model &want)
{
    if (got.Format == want.format && got.Width == want.width && got.Height == want.height && got.Depth == want.depth
        && got.Orientation == want.orientation && got.fault == want.fault)
        return;
    std::fprintf(stderr, "%s: read %d %d %d %d %d fault %d, model %d %d %d %d %d fault %d\n", what, got.Format, got.Width,
                 got.Height, got.Depth, got.Orientation, int(got.fault), want.format, want.width, want.height,
                 want.depth, want.orientation, int(want.fault));
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const char *const extensions[] = {"bmp", "GIF", "jpg", "Jpeg", "png", "tif"};
    const size_t ext = size ? data[0] % 6 : 0;
    const QString path = QString("/tmp/tessaly-fuzz-%1.%2").arg(getpid()).arg(extensions[ext]);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size))
        std::abort();
    f.close();
    g_p = data;
    g_n = size;
    const auto model = [&](Model m) { return size >= 2 ? m : Model{}; };  // a readable file has two bytes
    expect("mode 0", GetImageSize(path, 0), model(byContent()));
    const Model byFormat[] = {bmp(), gif(), jpeg(), png()};
    const decltype(&ReadBmpSize) readers[] = {ReadBmpSize, ReadGifSize, ReadJpegSize, ReadPngSize};
    for (int r = 0; r < 4; ++r) {
        expect("mode 1-4", GetImageSize(path, r + 1), model(byFormat[r]));
        expect("reader", readers[r](path), model(byFormat[r]));
    }
    const Model byName[] = {byFormat[0], byFormat[1], byFormat[2], byFormat[2], byFormat[3], Model{}};
    expect("mode 5", GetImageSize(path, 5), model(byName[ext]));
    expect("mode 6", GetImageSize(path, 6), Model{});
    // The readers on a descriptor the caller opened, as the thumbnails read a photo.
    const int fd = open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        std::abort();
    expect("descriptor", GetImageSizeOf(fd), model(byContent()));
    for (const RenditionFormat r : {NeedsRenditionOf(fd), NeedsRendition(path)})
        if (r != rendition()) {
            std::fprintf(stderr, "rendition: read %d, model %d\n", int(r), int(rendition()));
            std::abort();
        }
    close(fd);
    Thumbnail t;
    const ImageInfo info = GetImageSize(path, 0);
    if (FitThumbnail(info, &t) && (t.width < 0 || t.width > 120 || t.height < 0 || t.height > 120))
        std::abort();
    return 0;
}
