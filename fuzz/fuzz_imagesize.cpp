// libFuzzer target for the image header readers. Each input is written to a file and
// read by every mode and every reader; the results are compared with a plain model
// that holds the whole file in memory and checks every index, so a reader that used
// a byte it never read from the file (or one past its end) shows up as a mismatch,
// and AddressSanitizer catches any access outside the readers' own buffers.
#include "ImageSize.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <unistd.h>

using namespace tessaly;

namespace {

struct Model {
    int32_t format = 0, width = 0, height = 0, depth = 0;
    ImageFault fault = ImageFault::None;
};

struct Bytes {
    const uint8_t *p;
    size_t n;
    uint32_t at(size_t i) const
    {
        if (i >= n)
            std::abort();  // the model itself never reads past the end
        return p[i];
    }
    uint32_t le16(size_t i) const { return at(i) | at(i + 1) << 8; }
    uint32_t le32(size_t i) const { return le16(i) | le16(i + 2) << 16; }
    uint32_t be16(size_t i) const { return at(i) << 8 | at(i + 1); }
    uint32_t be32(size_t i) const { return be16(i) << 16 | be16(i + 2); }
};

constexpr uint32_t kMax = uint32_t(std::numeric_limits<int32_t>::max());

Model fault(ImageFault f)
{
    Model m;
    m.fault = f;
    return m;
}

Model bmp(const Bytes &b)
{
    if (b.n < 54 || b.at(0) != 'B' || b.at(1) != 'M')
        return {};
    const uint32_t w = b.le32(18), h = b.le32(22);
    if (w > kMax || h == 0x80000000u)
        return fault(ImageFault::TooLarge);
    return {1, int32_t(w), h > kMax ? -int32_t(h) : int32_t(h), int32_t(b.le16(28))};
}

Model gif(const Bytes &b)
{
    if (b.n < 13 || b.at(0) != 'G' || b.at(1) != 'I' || b.at(2) != 'F')
        return {};
    return {2, int32_t(b.le16(6)), int32_t(b.le16(8)), int32_t((b.at(10) & 7) + 1)};
}

Model png(const Bytes &b)
{
    if (b.n < 29 || b.at(0) != 0x89 || b.at(1) != 'P' || b.at(2) != 'N' || b.at(3) != 'G')
        return {};
    const uint32_t w = b.be32(16), h = b.be32(20);
    if (w > kMax || h > kMax)
        return fault(ImageFault::TooLarge);
    const int depth = int(b.at(24));
    const uint32_t type = b.at(25);
    return {4, int32_t(w), int32_t(h), type == 0 || type == 3 ? depth : type == 2 ? depth * 3 : 0};
}

bool frameMarker(uint32_t m) { return (m >= 0xC0 && m <= 0xC3) || (m >= 0xC9 && m <= 0xCB); }

Model jpeg(const Bytes &b)
{
    const int64_t n = int64_t(b.n);
    if (n < 2 || b.at(0) != 0xFF || b.at(1) != 0xD8)
        return {};
    int64_t p = 2;
    while (p < n - 4) {
        if (b.at(size_t(p)) != 0xFF)
            return {};
        const uint32_t m = b.at(size_t(p + 1));
        if (m == 0xFF) {
            p += 1;
            continue;
        }
        if (frameMarker(m)) {
            if (p + 8 > n - 1)
                return fault(ImageFault::Truncated);
            return {3, int32_t(b.be16(size_t(p + 7))), int32_t(b.be16(size_t(p + 5))), 24};
        }
        p += int64_t(b.be16(size_t(p + 2))) + 2;
    }
    if (p > n)
        return fault(ImageFault::Truncated);
    if (p < n - 1 && b.at(size_t(p)) == 0xFF && frameMarker(b.at(size_t(p + 1))))
        return fault(ImageFault::Truncated);
    return {};
}

Model byContent(const Bytes &b)
{
    const size_t k = b.n < 4 ? b.n : 4;
    auto is = [&](size_t i, uint32_t v) { return i < k && b.at(i) == v; };
    if (is(0, 'B') && is(1, 'M'))
        return bmp(b);
    if (is(0, 'G') && is(1, 'I') && is(2, 'F'))
        return gif(b);
    if (is(0, 0xFF) && is(1, 0xD8))
        return jpeg(b);
    if (is(0, 0x89) && is(1, 'P') && is(2, 'N') && is(3, 'G'))
        return png(b);
    return {};
}

void expectSame(const char *what, const ImageInfo &got, const Model &want)
{
    if (got.Format == want.format && got.Width == want.width && got.Height == want.height
        && got.Depth == want.depth && got.fault == want.fault)
        return;
    std::fprintf(stderr, "%s: read %d %d %d %d fault %d, model %d %d %d %d fault %d\n", what, got.Format,
                 got.Width, got.Height, got.Depth, int(got.fault), want.format, want.width, want.height,
                 want.depth, int(want.fault));
    std::abort();
}

const char *const kExtensions[] = {"bmp", "GIF", "jpg", "Jpeg", "png", "tif"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QString dir = QString::fromLocal8Bit(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp");
    const size_t ext = size ? data[0] % 6 : 0;
    const QString path = QStringLiteral("%1/tessaly-fuzz-%2.%3").arg(dir).arg(getpid()).arg(QLatin1String(kExtensions[ext]));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)
            || f.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size))
            std::abort();
    }
    const Bytes b{data, size};
    const bool readable = size >= 2;
    auto model = [&](Model m) { return readable ? m : Model{}; };

    expectSame("mode 0", GetImageSize(path, 0), model(byContent(b)));
    expectSame("mode 1", GetImageSize(path, 1), model(bmp(b)));
    expectSame("mode 2", GetImageSize(path, 2), model(gif(b)));
    expectSame("mode 3", GetImageSize(path, 3), model(jpeg(b)));
    expectSame("mode 4", GetImageSize(path, 4), model(png(b)));
    const Model byName[] = {bmp(b), gif(b), jpeg(b), jpeg(b), png(b), Model{}};
    expectSame("mode 5", GetImageSize(path, 5), model(byName[ext]));
    expectSame("mode 6", GetImageSize(path, 6), Model{});
    expectSame("ReadBmpSize", ReadBmpSize(path), model(bmp(b)));
    expectSame("ReadGifSize", ReadGifSize(path), model(gif(b)));
    expectSame("ReadJpegSize", ReadJpegSize(path), model(jpeg(b)));
    expectSame("ReadPngSize", ReadPngSize(path), model(png(b)));

    const ImageInfo info = GetImageSize(path, 0);
    Thumbnail t;
    if (FitThumbnail(info.Width, info.Height, &t) && (t.width < 0 || t.width > 120 || t.height < 0 || t.height > 120))
        std::abort();
    return 0;
}
