// Writes the seed corpus of fuzz_thumbs into a folder (fuzz/corpus/thumbs): small photos
// of each format the thumbnail decoders take, each behind the byte that picks its path
// (see fuzz_thumbs.cpp), in one subfolder a path; into a second folder, sound photos too
// large for seeds (tests/data/thumbs/sound); into a third, photos damaged by hand where the
// decoders' bounds lie (tests/data/thumbs/damaged, beside what fuzzing found).
//   make_thumb_seeds fuzz/corpus/thumbs tests/data/thumbs/sound tests/data/thumbs/damaged
#include "GifWriter.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QPainter>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <libheif/heif.h>
#include <tiffio.h>

using namespace tessaly;

namespace {

QString g_dir;

// fuzz_thumbs' first byte: path (0 by content, 1 TIFF, 2 HEIF), orientation, long side index.
char selector(int format, int orientation = 0, int side = 0)
{
    return char(format + 3 * orientation + 27 * side);
}

void save(const QString &name, char sel, const QByteArray &bytes)
{
    const QString path = g_dir + QLatin1Char('/') + name;
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    if (bytes.isEmpty() || !f.open(QIODevice::WriteOnly) || f.write(QByteArray(1, sel) + bytes) != bytes.size() + 1) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::exit(1);
    }
}

// Colour, an edge and transparency where the format keeps it: every decoder has work to do.
QImage picture(int w, int h, bool alpha)
{
    QImage image(w, h, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgba(x * 255 / w, y * 255 / h, x < w / 2 ? 40 : 200, alpha && y < h / 3 ? 90 : 255));
    return image;
}

QByteArray encoded(const QImage &image, const char *format, int quality = -1, bool progressive = false)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    writer.setProgressiveScanWrite(progressive);
    return writer.write(image) ? bytes : QByteArray();
}

// A progressive JPEG whose last scan comes again and again (libjpeg warns and goes on):
// each scan is one more pass over every block of the picture.
QByteArray repeatedLastScan(const QByteArray &jpeg, int times)
{
    const qsizetype eoi = jpeg.lastIndexOf("\xFF\xD9");
    const qsizetype sos = eoi < 0 ? -1 : jpeg.lastIndexOf("\xFF\xDA", eoi);
    return sos < 0 ? QByteArray() : jpeg.left(eoi) + jpeg.mid(sos, eoi - sos).repeated(times) + jpeg.mid(eoi);
}

// The frame header's size replaced; the scans stay those of the small picture.
QByteArray withFrameSize(QByteArray jpeg, int width, int height)
{
    for (const char *sof : {"\xFF\xC0", "\xFF\xC2"}) {
        const qsizetype i = jpeg.indexOf(sof);
        if (i < 0)
            continue;
        jpeg[i + 5] = char(height >> 8);
        jpeg[i + 6] = char(height);
        jpeg[i + 7] = char(width >> 8);
        jpeg[i + 8] = char(width);
        return jpeg;
    }
    return QByteArray();
}

// A TIFF header and directory that claim an RGB picture of width x height in one strip of
// 64 bytes right after them, where the file ends.
QByteArray tiffClaiming(quint32 width, quint32 height)
{
    QByteArray b("II*\0\x08\0\0\0", 8);
    const auto u16 = [&b](quint32 v) { b += char(v); b += char(v >> 8); };
    const auto u32 = [&](quint32 v) { u16(v & 0xFFFF); u16(v >> 16); };
    const quint32 entries = 8, data = 8 + 2 + entries * 12 + 4;
    u16(entries);
    const quint32 tags[][3] = {{256, 4, width}, {257, 4, height}, {258, 3, 8},     {259, 3, 1},
                               {262, 3, 2},     {273, 4, data},   {277, 3, 3},     {279, 4, 64}};
    for (const auto &t : tags) {
        u16(t[0]);
        u16(t[1]);
        u32(1);
        t[1] == 3 ? (u16(t[2]), u16(0)) : u32(t[2]);
    }
    u32(0);
    return b + QByteArray(64, '\x55');
}

// A PNG's IHDR size replaced, its checksum made anew.
QByteArray withPngSize(QByteArray png, quint32 width, quint32 height);

// A one-entry Exif directory with the orientation, big-endian.
QByteArray exifTiff(int orientation)
{
    return QByteArray("MM\0*\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0", 19) + char(orientation)
           + QByteArray("\0\0\0\0\0\0", 6);
}

QByteArray jpegWithExif(const QByteArray &jpeg, int orientation)
{
    const QByteArray block = QByteArray("Exif\0\0", 6) + exifTiff(orientation);
    const int length = int(block.size()) + 2;
    return jpeg.left(2) + "\xFF\xE1" + char(length >> 8) + char(length & 0xFF) + block + jpeg.mid(2);
}

quint32 crc32(const QByteArray &bytes)
{
    quint32 c = 0xFFFFFFFFu;
    for (const char ch : bytes) {
        c ^= quint8(ch);
        for (int k = 0; k < 8; ++k)
            c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    }
    return c ^ 0xFFFFFFFFu;
}

QByteArray be32(quint32 v)
{
    return QByteArray(1, char(v >> 24)) + char(v >> 16) + char(v >> 8) + char(v);
}

QByteArray withPngSize(QByteArray png, quint32 width, quint32 height)
{
    png.replace(16, 4, be32(width));
    png.replace(20, 4, be32(height));
    png.replace(29, 4, be32(crc32(png.mid(12, 17))));
    return png;
}

// An eXIf chunk right after IHDR (the signature and IHDR take 33 bytes).
QByteArray pngWithExif(const QByteArray &png, int orientation)
{
    const QByteArray body = QByteArray("eXIf") + exifTiff(orientation);
    return png.left(33) + be32(quint32(body.size() - 4)) + body + be32(crc32(body)) + png.mid(33);
}

// The bytes libtiff wrote to a scratch file, once write() filled it.
template <typename Write>
QByteArray tiffBytes(Write write)
{
    const QString path = g_dir + QStringLiteral("/.tmp.tif");
    TIFF *t = TIFFOpen(QFile::encodeName(path).constData(), "w");
    if (!t)
        return QByteArray();
    const bool ok = write(t);
    TIFFClose(t);
    QFile f(path);
    const QByteArray bytes = ok && f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    f.remove();
    return bytes;
}

void tiffHeader(TIFF *t, const QImage &image, uint16_t samples, uint16_t bits, uint16_t photometric,
                uint16_t compression, uint16_t orientation)
{
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, uint32_t(image.width()));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, uint32_t(image.height()));
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, bits);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, photometric);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, uint16_t(PLANARCONFIG_CONTIG));
    TIFFSetField(t, TIFFTAG_COMPRESSION, compression);
    TIFFSetField(t, TIFFTAG_ORIENTATION, orientation);
}

bool tiffRows(TIFF *t, const QImage &image)
{
    for (int y = 0; y < image.height(); ++y)
        if (TIFFWriteScanline(t, const_cast<uchar *>(image.constScanLine(y)), uint32_t(y), 0) < 0)
            return false;
    return true;
}

// RGB or RGBA, in strips or tiles.
QByteArray tiffFile(const QImage &image, uint16_t compression, uint16_t orientation, bool tiled)
{
    const bool alpha = image.hasAlphaChannel();
    const QImage rgb = image.convertToFormat(alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    return tiffBytes([&](TIFF *t) {
        tiffHeader(t, rgb, alpha ? 4 : 3, 8, PHOTOMETRIC_RGB, compression, orientation);
        if (alpha) {
            const uint16_t extra = EXTRASAMPLE_UNASSALPHA;
            TIFFSetField(t, TIFFTAG_EXTRASAMPLES, uint16_t(1), &extra);
        }
        const int bpp = alpha ? 4 : 3;
        if (!tiled) {
            TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, uint32_t(4));
            return tiffRows(t, rgb);
        }
        TIFFSetField(t, TIFFTAG_TILEWIDTH, uint32_t(16));
        TIFFSetField(t, TIFFTAG_TILELENGTH, uint32_t(16));
        QByteArray tile(16 * 16 * bpp, '\0');
        for (int ty = 0; ty < rgb.height(); ty += 16)
            for (int tx = 0; tx < rgb.width(); tx += 16) {
                tile.fill('\0');
                for (int y = 0; y < 16 && ty + y < rgb.height(); ++y)
                    for (int x = 0; x < 16 && tx + x < rgb.width(); ++x)
                        std::copy_n(rgb.constScanLine(ty + y) + (tx + x) * bpp, bpp, tile.data() + (y * 16 + x) * bpp);
                if (TIFFWriteTile(t, tile.data(), uint32_t(tx), uint32_t(ty), 0, 0) < 0)
                    return false;
            }
        return true;
    });
}

// JPEG inside TIFF, as YCbCr: libtiff's own JPEG and colour paths.
QByteArray tiffJpeg(const QImage &image)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    return tiffBytes([&](TIFF *t) {
        tiffHeader(t, rgb, 3, 8, PHOTOMETRIC_YCBCR, COMPRESSION_JPEG, ORIENTATION_TOPLEFT);
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, uint32_t(16));
        TIFFSetField(t, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
        TIFFSetField(t, TIFFTAG_JPEGQUALITY, 40);
        return tiffRows(t, rgb);
    });
}

// One bit a pixel, fax coded; and eight bits through a palette.
QByteArray tiffBilevel(const QImage &image)
{
    const QImage mono = image.convertToFormat(QImage::Format_Mono);
    return tiffBytes([&](TIFF *t) {
        tiffHeader(t, mono, 1, 1, PHOTOMETRIC_MINISWHITE, COMPRESSION_CCITTFAX4, ORIENTATION_LEFTBOT);
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, uint32_t(mono.height()));
        return tiffRows(t, mono);
    });
}

QByteArray tiffPalette(const QImage &image)
{
    const QImage indexed = image.convertToFormat(QImage::Format_Indexed8);
    return tiffBytes([&](TIFF *t) {
        tiffHeader(t, indexed, 1, 8, PHOTOMETRIC_PALETTE, COMPRESSION_PACKBITS, ORIENTATION_TOPLEFT);
        std::vector<uint16_t> map[3];
        for (auto &m : map)
            m.assign(256, 0);
        for (int i = 0; i < indexed.colorCount(); ++i) {
            map[0][i] = uint16_t(qRed(indexed.color(i)) * 257);
            map[1][i] = uint16_t(qGreen(indexed.color(i)) * 257);
            map[2][i] = uint16_t(qBlue(indexed.color(i)) * 257);
        }
        TIFFSetField(t, TIFFTAG_COLORMAP, map[0].data(), map[1].data(), map[2].data());
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, uint32_t(8));
        return tiffRows(t, indexed);
    });
}

QByteArray heifFile(const QImage &image, int thumbnailSide)
{
    const bool alpha = image.hasAlphaChannel();
    const QImage rgb = image.convertToFormat(alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    heif_context *ctx = heif_context_alloc();
    heif_encoder *encoder = nullptr;
    heif_image *img = nullptr;
    heif_image_handle *handle = nullptr;
    bool ok = heif_context_get_encoder_for_format(ctx, heif_compression_HEVC, &encoder).code == heif_error_Ok
              && heif_image_create(rgb.width(), rgb.height(), heif_colorspace_RGB,
                                 alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, &img).code
                     == heif_error_Ok
              && heif_image_add_plane(img, heif_channel_interleaved, rgb.width(), rgb.height(), 8).code == heif_error_Ok;
    const QString path = g_dir + QStringLiteral("/.tmp.heic");
    if (ok) {
        int stride = 0;
        uint8_t *plane = heif_image_get_plane(img, heif_channel_interleaved, &stride);
        for (int y = 0; y < rgb.height(); ++y)
            std::copy_n(rgb.constScanLine(y), rgb.width() * (alpha ? 4 : 3), plane + y * stride);
        heif_encoder_set_lossy_quality(encoder, 30);
        ok = heif_context_encode_image(ctx, img, encoder, nullptr, &handle).code == heif_error_Ok
             && (thumbnailSide == 0
                 || heif_context_encode_thumbnail(ctx, img, handle, encoder, nullptr, thumbnailSide, nullptr).code
                        == heif_error_Ok)
             && heif_context_write_to_file(ctx, QFile::encodeName(path).constData()).code == heif_error_Ok;
    }
    if (handle)
        heif_image_handle_release(handle);
    if (img)
        heif_image_release(img);
    if (encoder)
        heif_encoder_release(encoder);
    heif_context_free(ctx);
    QFile f(path);
    const QByteArray bytes = ok && f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    f.remove();
    return bytes;
}

QByteArray gif(const QImage &image)
{
    const QString path = g_dir + QStringLiteral("/.tmp.gif");
    QFile f(path);
    const QByteArray bytes = WriteGif(image, path) && f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    f.remove();
    return bytes;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s seeds sound damaged\n", argv[0]);
        return 2;
    }
    g_dir = QFile::decodeName(argv[1]);
    QDir().mkpath(g_dir);
    const QImage land = picture(40, 30, false), tall = picture(18, 32, false), clear = picture(24, 20, true);

    const QByteArray jpeg = encoded(land, "jpeg", 50);
    save("jpeg/plain", selector(0), jpeg);
    save("jpeg/exif-6", selector(0, 6), jpegWithExif(jpeg, 6));
    save("jpeg/progressive-small", selector(0, 0, 2), encoded(tall, "jpeg", 50, true));
    save("jpeg/progressive-scans", selector(0), repeatedLastScan(encoded(tall, "jpeg", 50, true), 40));
    save("jpeg/scaled-3", selector(0, 8, 2), encoded(picture(64, 48, false), "jpeg", 30));

    const QByteArray png = encoded(land, "png");
    save("png/plain", selector(0), png);
    save("png/alpha", selector(0, 0, 1), encoded(clear, "png"));
    save("png/exif-5", selector(0, 5), pngWithExif(encoded(tall, "png"), 5));
    save("png/grey", selector(0, 3), encoded(tall.convertToFormat(QImage::Format_Grayscale8), "png"));

    save("gif/plain", selector(0), gif(land));
    save("gif/tall-small", selector(0, 7, 2), gif(tall));
    save("gif/bmp", selector(0, 2), encoded(tall, "bmp"));

    save("tiff/plain", selector(1), tiffFile(land, COMPRESSION_NONE, ORIENTATION_TOPLEFT, false));
    save("tiff/lzw-turned", selector(1), tiffFile(tall, COMPRESSION_LZW, ORIENTATION_RIGHTTOP, false));
    save("tiff/tiled-alpha", selector(1, 0, 2), tiffFile(clear, COMPRESSION_ADOBE_DEFLATE, ORIENTATION_BOTLEFT, true));
    save("tiff/jpeg-ycbcr", selector(1), tiffJpeg(picture(32, 32, false)));
    save("tiff/fax-turned", selector(1), tiffBilevel(land));
    save("tiff/palette", selector(1, 0, 1), tiffPalette(tall));

    save("heif/plain", selector(2), heifFile(picture(64, 48, false), 0));
    save("heif/thumbnail", selector(2, 0, 2), heifFile(picture(64, 48, false), 16));
    save("heif/alpha", selector(2, 0, 1), heifFile(picture(32, 40, true), 0));

    // Larger than the 4 KB that Qt's JPEG reader takes at a time, as every camera's photo is.
    g_dir = QFile::decodeName(argv[2]);
    QDir().mkpath(g_dir);
    QImage camera = picture(400, 300, false);
    for (int y = 0; y < camera.height(); y += 7)
        camera.setPixel((y * 37) % camera.width(), y, qRgb(255, 255, 255));
    save("camera.jpg", selector(0, 6), jpegWithExif(encoded(camera, "jpeg", 90), 6));
    save("camera-progressive.jpg", selector(0), encoded(camera, "jpeg", 90, true));
    save("camera.png", selector(0), encoded(camera, "png"));

    g_dir = QFile::decodeName(argv[3]);
    QDir().mkpath(g_dir);
    const QByteArray progressive = encoded(tall, "jpeg", 50, true);
    save("made-jpeg-cut", selector(0), jpeg.left(jpeg.size() / 2));
    // One pixel row past the 64 M pixels a decoder holds, in 600 bytes.
    save("made-jpeg-progressive-past-bound", selector(0), withFrameSize(progressive, 8192, 8193));
    save("made-jpeg-sequential-65500", selector(0, 0, 2), withFrameSize(jpeg, 65500, 16384));
    save("made-png-cut", selector(0), encoded(land, "png").left(70));
    save("made-png-past-bound", selector(0), withPngSize(png, 8192, 8193));
    save("made-tiff-65535", selector(1), tiffClaiming(65535, 65535));
    save("made-tiff-strip-past-end", selector(1), tiffClaiming(4096, 4096));
    const QByteArray heic = heifFile(picture(64, 48, false), 16);
    save("made-heif-cut", selector(2), heic.left(heic.size() * 2 / 3));
    return 0;
}
