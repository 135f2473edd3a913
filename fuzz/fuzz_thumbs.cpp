// libFuzzer target for the thumbnail decoders. The first byte of an input picks the path
// (by content through Qt's readers: JPEG, PNG, GIF, BMP; TIFF; HEIF), the orientation the
// caller read and the long side; the rest is the photo, handed over in a memfd as the
// caller hands over a file it opened. A decoder either refuses the photo with a known
// fault and nothing else, or gives a JPEG of the size it claims, fitted into the long side
// (and, by content, of the stored picture's upright shape); the descriptor stays the
// caller's. The sanitizers catch the rest.
#include "ImageSize.h"
#include "MediaApi.h"
#include "Thumbnail.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaly {
void MakeThumbnailJpeg(int fd, int longSide, int orientation, int format, MediaThumb *out);  // ThumbDecode.cpp
}

using namespace tessaly;

namespace {

[[noreturn]] void fail(const char *what, const MediaThumb &t)
{
    std::fprintf(stderr, "thumbnail: %s (fault %d %s, %dx%d, %d bytes)\n", what, t.fault, qPrintable(t.detail),
                 t.width, t.height, int(t.jpeg.size()));
    std::abort();
}

// The picture's stored size as Qt's readers see it from its first bytes; invalid when none can.
QSize storedSize(const QByteArray &photo)
{
    QBuffer buffer;
    buffer.setData(photo);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(false);
    return reader.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    static const RenditionFormat formats[] = {RenditionFormat::None, RenditionFormat::Tiff, RenditionFormat::Heif};
    // The thumbnails' long side and the pages' box, one smaller than any JPEG scaling
    // reaches, one larger than most seeds (never enlarged).
    static const int sides[] = {240, 120, 3, 1000};
    const int format = int(formats[data[0] % 3]);
    const int orientation = data[0] / 3 % 9;
    const int longSide = sides[data[0] / 27 % 4];
    const QByteArray photo(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));

    const int fd = memfd_create("tessaly-fuzz-thumb", MFD_CLOEXEC);
    if (fd < 0 || write(fd, photo.constData(), size_t(photo.size())) != photo.size())
        std::abort();
    // The offset is left at the end: the decoders must not rely on where the caller left it.
    MediaThumb t;
    t.fault = -1;
    MakeThumbnailJpeg(fd, longSide, orientation, format, &t);
    struct stat st;
    if (fcntl(fd, F_GETFD) < 0 || fstat(fd, &st) != 0 || st.st_size != photo.size())
        fail("the caller's descriptor was closed or its file changed", t);
    close(fd);

    // Replaying photos known to be sound (the seeds), a refusal is a fault too.
    static const bool sound = std::getenv("TESSALY_THUMBS_SOUND") != nullptr;
    if (t.fault != int(ThumbFault::None)) {
        if (sound)
            fail("a sound photo was refused", t);
        if (t.fault != int(ThumbFault::Unreadable) && t.fault != int(ThumbFault::TooLarge)
            && t.fault != int(ThumbFault::WriteFailed))
            fail("unknown fault", t);
        if (!t.jpeg.isEmpty() || t.width != 0 || t.height != 0)
            fail("a refused photo came with a picture", t);
        return 0;
    }
    if (t.width < 1 || t.height < 1 || std::max(t.width, t.height) > longSide)
        fail("not fitted into the long side", t);
    const QImage made = QImage::fromData(t.jpeg, "JPEG");
    if (made.isNull() || made.width() != t.width || made.height() != t.height)
        fail("the JPEG is not of the size claimed", t);
    if (format == int(RenditionFormat::None)) {
        const QSize stored = storedSize(photo);
        if (stored.isValid() && stored.width() > 0 && stored.height() > 0) {
            const bool turned = orientation >= 5 && orientation <= 8;
            const int w = turned ? stored.height() : stored.width(), h = turned ? stored.width() : stored.height();
            const int longest = std::max(w, h), want = std::min(longSide, longest);
            const double shortWant = double(std::min(w, h)) * want / longest;
            const int madeLong = w >= h ? t.width : t.height, madeShort = w >= h ? t.height : t.width;
            if (madeLong != want || std::abs(madeShort - std::max(1.0, shortWant)) > 1.0)
                fail("not the stored picture's upright shape, fitted", t);
        }
    }
    return 0;
}
