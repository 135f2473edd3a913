// Header readers and thumbnail fitting, on image files written byte by byte.
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

#include "ImageSize.h"
#include "TestSupport.h"

using namespace tessaly;
using namespace tessaly::test;

Q_DECLARE_METATYPE(tessaly::ImageFault)
Q_DECLARE_METATYPE(tessaly::RenditionFormat)

namespace {

QByteArray bmp(uint32_t w, uint32_t h, uint16_t bpp)
{
    return "BM" + le32(70) + le32(0) + le32(54) + le32(40) + le32(w) + le32(h) + le16(1) + le16(bpp)
           + QByteArray(24, '\0') + QByteArray(16, '\x7f');
}
QByteArray gif(uint16_t w, uint16_t h, uint8_t flags) { return "GIF89a" + le16(w) + le16(h) + char(flags) + QByteArray("\0\0;", 3); }
QByteArray png(uint32_t w, uint32_t h, uint8_t depth, uint8_t type)
{
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + be32(13) + "IHDR" + be32(w) + be32(h) + char(depth) + char(type)
           + QByteArray(3, '\0') + be32(0x12345678) + be32(0) + "IEND" + be32(0xAE426082);
}
QByteArray segment(uint8_t marker, const QByteArray &payload)
{
    return "\xFF" + QByteArray(1, char(marker)) + be16(payload.size() + 2) + payload;
}
const QByteArray soi("\xFF\xD8", 2);
const QByteArray app0 = segment(0xE0, QByteArray("JFIF\0\x01\x02\0\0\x01\0\x01\0\0", 14));
QByteArray app1(int size) { return segment(0xE1, QByteArray("Exif\0\0", 6) + QByteArray(size - 6, 'x')); }
QByteArray frame(uint8_t marker, uint16_t w, uint16_t h)
{
    return segment(marker, '\x08' + be16(h) + be16(w) + QByteArray("\x03\x01\x22\x00\x02\x11\x01\x03\x11\x01", 10));
}
const QByteArray scan = segment(0xDA, QByteArray(10, 1)) + QByteArray(300, '\x55') + "\xFF\xD9";

QByteArray riff(const char *chunk, const QByteArray &payload)
{
    const QByteArray body = "WEBP" + QByteArray(chunk, 4) + le32(payload.size()) + payload;
    return "RIFF" + le32(body.size()) + body;
}
QByteArray box(const char *type, const QByteArray &body) { return be32(body.size() + 8) + QByteArray(type, 4) + body; }
QByteArray fullBox(const char *type, const QByteArray &body, char version = 0) { return box(type, version + QByteArray(3, 0) + body); }
QByteArray ispe(uint32_t w, uint32_t h) { return fullBox("ispe", be32(w) + be32(h)); }
// An AVIF still: properties, then each item's property indices (from 1; 0x80 marks
// one essential), the primary item named by pitm.
QByteArray avif(const QList<QByteArray> &properties, const QList<QList<int>> &items, int primary = 1, const char *brand = "avif")
{
    QByteArray ipma = be32(uint32_t(items.size()));
    for (int i = 0; i < items.size(); ++i) {
        ipma += be16(uint32_t(i + 1)) + char(items[i].size());
        for (int p : items[i])
            ipma += char(p);
    }
    const QByteArray meta = fullBox("hdlr", be32(0) + "pict" + QByteArray(13, 0)) + fullBox("pitm", be16(uint32_t(primary)))
                            + box("iprp", box("ipco", properties.join()) + fullBox("ipma", ipma));
    return box("ftyp", QByteArray(brand, 4) + be32(0) + "mif1miaf" + QByteArray(brand, 4)) + fullBox("meta", meta)
           + box("mdat", QByteArray(40, 'a'));
}
}  // namespace

class TestImageSize : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString path(const QString &name) const { return m_dir.filePath(name); }

private slots:
    void readers_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QList<int>>("want");  // format, width, height, depth[, orientation]
        QTest::addColumn<ImageFault>("fault");
        const QList<int> nothing{0, 0, 0, 0};
        const auto none = ImageFault::None, tooLarge = ImageFault::TooLarge, cut = ImageFault::Truncated;

        QTest::newRow("bmp") << bmp(640, 480, 24) << QList{1, 640, 480, 24} << none;
        QTest::newRow("bmp top-down") << bmp(640, uint32_t(-480), 32) << QList{1, 640, 480, 32} << none;
        QTest::newRow("bmp height -2^31") << bmp(10, 0x80000000u, 24) << nothing << tooLarge;
        QTest::newRow("bmp width 2^31") << bmp(0x80000000u, 10, 24) << nothing << tooLarge;
        // A photo cut short names no size, and says so; a file that only starts like one is none.
        QTest::newRow("bmp cut before its size") << bmp(640, 480, 24).left(20) << nothing << cut;
        QTest::newRow("bmp cut after its size") << bmp(640, 480, 24).left(40) << nothing << cut;
        QTest::newRow("bmp signature alone") << QByteArray("BM") << nothing << cut;
        QTest::newRow("gif cut before its size") << gif(30, 20, 0).left(8) << nothing << cut;
        QTest::newRow("gif signature alone") << QByteArray("GIF") << nothing << cut;
        QTest::newRow("png signature alone") << png(800, 600, 8, 2).left(8) << nothing << cut;
        QTest::newRow("jpeg start of image alone") << soi << nothing << cut;
        QTest::newRow("jpeg cut after APP0") << soi + app0 << nothing << cut;
        QTest::newRow("jpeg cut after a fill byte") << soi + app0 + "\xFF" << nothing << cut;
        QTest::newRow("gif") << gif(65535, 200, 0xF1) << QList{2, 65535, 200, 2} << none;
        QTest::newRow("png truecolour") << png(800, 600, 8, 2) << QList{4, 800, 600, 24} << none;
        QTest::newRow("png colour type 6") << png(800, 600, 8, 6) << QList{4, 800, 600, 0} << none;
        QTest::newRow("png palette") << png(16, 16, 4, 3) << QList{4, 16, 16, 4} << none;
        QTest::newRow("png widest") << png(0x7FFFFFFFu, 5, 8, 0) << QList{4, 0x7FFFFFFF, 5, 8} << none;
        QTest::newRow("png width 2^31") << png(0x80000000u, 5, 8, 2) << nothing << tooLarge;
        QTest::newRow("png cut inside its size") << png(800, 600, 8, 2).left(22) << nothing << cut;
        // A 3 MB photograph with a 60 KB APP1 block: the walk hops over the blocks.
        QTest::newRow("jpeg progressive after APP0 and APP1")
            << soi + app0 + app1(60000) + segment(0xDB, QByteArray(65, 1)) + segment(0xC4, QByteArray(400, 2))
                   + frame(0xC2, 4000, 3000) + scan + QByteArray(3 << 20, '\x5A')
            << QList{3, 4000, 3000, 24} << none;
        for (int m : {0xC0, 0xC1, 0xC3, 0xC9, 0xCA, 0xCB})
            QTest::addRow("jpeg frame %X", m) << soi + app0 + frame(uint8_t(m), 33, 44) + scan << QList{3, 33, 44, 24} << none;
        // DHT, JPG, DAC and the differential frames are not the frame header sought.
        QTest::newRow("jpeg skips C4 C5 C8 CC CF")
            << soi + segment(0xC4, QByteArray(20, 0)) + frame(0xC5, 1, 1) + segment(0xC8, QByteArray(3, 0))
                   + segment(0xCC, QByteArray(2, 0)) + frame(0xCF, 2, 2) + frame(0xC0, 300, 200) + scan
            << QList{3, 300, 200, 24} << none;
        QTest::newRow("jpeg fill bytes") << soi + app0 + "\xFF\xFF\xFF" + frame(0xC0, 64, 48) + scan
                                         << QList{3, 64, 48, 24} << none;
        QTest::newRow("jpeg without frame header") << soi + app0 + segment(0xDB, QByteArray(65, 1)) + "\xFF\xD9" << nothing << none;
        QTest::newRow("jpeg cut inside APP1") << (soi + app0 + app1(5000) + frame(0xC0, 9, 9)).left(3000) << nothing << cut;
        QTest::newRow("jpeg cut inside frame header") << (soi + app0 + frame(0xC0, 640, 480)).left(27) << nothing << cut;
        QTest::newRow("jpeg frame marker at the end") << (soi + app0 + frame(0xC0, 640, 480)).left(23) << nothing << cut;
        QTest::newRow("text") << QByteArray("hello world\n") << nothing << none;
        QTest::newRow("short text") << QByteArray("BQ") << nothing << none;

        QTest::newRow("webp lossy") << riff("VP8 ", QByteArray("\x10\x02\x00\x9D\x01\x2A", 6) + le16(0x4000 | 640) + le16(480) + QByteArray(30, 0))
                                    << QList{5, 640, 480, 0} << none;
        QTest::newRow("webp lossless") << riff("VP8L", '\x2F' + le32((299) | (199 << 14) | (1 << 28)) + QByteArray(20, 0))
                                       << QList{5, 300, 200, 0} << none;
        QTest::newRow("webp extended") << riff("VP8X", QByteArray(4, 0) + le32(16383).left(3) + le32(8999).left(3))
                                       << QList{5, 16384, 9000, 0} << none;
        QTest::newRow("webp lossy, not a key frame") << riff("VP8 ", QByteArray("\x11\x02\x00\x00\x00\x00", 6) + le32(0) + QByteArray(30, 0))
                                                     << nothing << none;
        QTest::newRow("webp cut before its size") << riff("VP8X", QByteArray(10, 0)).left(26) << nothing << cut;
        QTest::newRow("wave") << riff("fmt ", QByteArray(16, 1)).replace(8, 4, "WAVE") << nothing << none;

        QTest::newRow("avif") << avif({ispe(4000, 3000)}, {{1}}) << QList{6, 4000, 3000, 0} << none;
        QTest::newRow("avif, essential ispe after others") << avif({box("pixi", "x"), ispe(640, 480)}, {{1, 0x82}})
                                                           << QList{6, 640, 480, 0} << none;
        QTest::newRow("avif primary is the second item") << avif({ispe(160, 120), ispe(4000, 3000)}, {{1}, {2}}, 2)
                                                         << QList{6, 4000, 3000, 0} << none;
        // irot turns anticlockwise, imir mirrors about the vertical (0) or the horizontal axis.
        const auto irot = [](int quarters) { return box("irot", QByteArray(1, char(quarters))); };
        const auto imir = [](int axis) { return box("imir", QByteArray(1, char(axis))); };
        const QList<std::pair<QList<QByteArray>, int>> transforms = {
            {{irot(1)}, 8}, {{irot(2)}, 3}, {{irot(3)}, 6}, {{imir(0)}, 2}, {{imir(1)}, 4},
            {{irot(1), imir(0)}, 7}, {{irot(3), imir(0)}, 5}, {{imir(0), irot(1)}, 5}, {{irot(0)}, 1}};
        for (int row = 0; row < transforms.size(); ++row) {
            const auto &[t, o] = transforms[row];
            QList<int> indices{1};
            for (int i = 0; i < t.size(); ++i)
                indices << i + 2;
            QTest::addRow("avif transformations %d, orientation %d", row, o) << avif(QList{ispe(400, 200)} + t, {indices}) << QList{6, 400, 200, 0, o} << none;
        }
        QTest::newRow("avif without ispe") << avif({box("pixi", "x")}, {{1}}) << nothing << none;
        QTest::newRow("avif cut inside meta") << avif({ispe(400, 200)}, {{1}}).left(60) << nothing << cut;
        QTest::newRow("avif ftyp alone") << avif({ispe(400, 200)}, {{1}}).left(32) << nothing << cut;
        QTest::newRow("heic") << avif({ispe(400, 200)}, {{1}}, 1, "heic") << nothing << none;
        const QByteArray turned = frame(0xC0, 400, 200) + scan;
        for (const char *order : {"II", "MM"})
            for (int o = 1; o <= 8; ++o)
                QTest::addRow("exif %s %d", order, o) << soi + exifSegment(order, o) + turned << QList{3, 400, 200, 24, o} << none;
        const QByteArray xmp = segment(0xE1, "http://ns.adobe.com/xap/1.0/" + QByteArray(40, ' '));
        QTest::newRow("exif after XMP and APP0") << soi + xmp + app0 + exifSegment("MM", 6) + turned << QList{3, 400, 200, 24, 6} << none;
        QTest::newRow("second exif block ignored") << soi + exifSegment("II", 0x0101) + exifSegment("II", 6) + turned << QList{3, 400, 200, 24, 0} << none;
        QTest::newRow("exif orientation 9") << soi + exifSegment("II", 9) + turned << QList{3, 400, 200, 24, 0} << none;
        QTest::newRow("exif orientation as LONG") << soi + exifSegment("MM", 6, 4) + turned << QList{3, 400, 200, 24, 0} << none;
        QTest::newRow("exif two values") << soi + exifSegment("II", 6, 3, 2) + turned << QList{3, 400, 200, 24, 0} << none;
        // A maker's preview before the directory: read anywhere within the block.
        const QByteArray deep = "II" + le16(42) + le32(8 + 20000) + QByteArray(20000, 'p') + le16(1) + le16(0x0112)
                                + le16(3) + le32(1) + le16(6) + le16(0) + le32(0);
        QTest::newRow("exif directory 20 KB into the block") << soi + segment(0xE1, "Exif" + QByteArray(2, 0) + deep) + turned
                                                             << QList{3, 400, 200, 24, 6} << none;
        QTest::newRow("exif directory past block") << soi + exifSegment("II", 6, 3, 1, 230) + turned << QList{3, 400, 200, 24, 0} << none;
        for (const char *order : {"IM", "MI"})  // written little-endian, as a reader that checks one letter would read it
            QTest::addRow("exif byte order %s", order) << soi + exifSegment(order, 6) + turned << QList{3, 400, 200, 24, 0} << none;
        // A PNG's eXIf chunk counts before the image data, as browsers read it.
        const QByteArray idat = be32(2) + "IDAT" + QByteArray(2, 0) + be32(0);
        const QByteArray exifData = exifSegment("MM", 6).mid(10);  // the TIFF data of the block
        const QByteArray pngExif = be32(exifData.size()) + "eXIf" + exifData + be32(0);
        QTest::newRow("png eXIf 6") << png(400, 200, 8, 2).left(33) + pngExif + idat + png(1, 1, 8, 2).right(12)
                                    << QList{4, 400, 200, 24, 6} << none;
        QTest::newRow("png eXIf after the image data") << png(400, 200, 8, 2).left(33) + idat + pngExif + png(1, 1, 8, 2).right(12)
                                                       << QList{4, 400, 200, 24, 0} << none;
        QTest::newRow("png eXIf cut short") << png(400, 200, 8, 2).left(33) + pngExif.left(40) << QList{4, 400, 200, 24, 0} << none;
        QByteArray cutBlock = exifSegment("MM", 6).left(34);  // ends inside the orientation entry
        cutBlock[3] = char(cutBlock.size() - 2);
        QTest::newRow("exif cut inside entry") << soi + cutBlock + turned << QList{3, 400, 200, 24, 0} << none;
        QTest::newRow("exif in a cut file") << (soi + exifSegment("II", 6) + turned).left(40) << nothing << cut;
    }

    // A PNG's chunks are looked through for eXIf up to the 256th, IHDR the first.
    void pngChunkLimit()
    {
        const QByteArray exifData = exifSegment("MM", 6).mid(10);
        const QByteArray exif = be32(exifData.size()) + "eXIf" + exifData + be32(0);
        const QByteArray empty = be32(0) + "tEXt" + be32(0);
        for (const auto &[before, orientation] : {std::pair{254, 6}, std::pair{255, 0}}) {
            const ImageInfo info = GetImageSize(writeFile(path("limit.png"), png(400, 200, 8, 2).left(33) + empty.repeated(before) + exif), 0);
            QCOMPARE(info.Orientation, orientation);
        }
    }

    void readers()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QList<int>, want);
        QFETCH(ImageFault, fault);
        if (want.size() == 4)
            want << 0;
        const QString file = writeFile(path(QTest::currentDataTag()), bytes);
        const int64_t before = ImageBytesRead();
        const ImageInfo info = GetImageSize(file, 0);
        QVERIFY2(ImageBytesRead() - before <= 1536, "more than the headers read");
        QCOMPARE((QList<int>{info.Format, info.Width, info.Height, info.Depth, info.Orientation}), want);
        QCOMPARE(info.fault, fault);
        // The thumbnail has the shape of the upright picture: 5 to 8 turn it a quarter.
        Thumbnail t;
        if (info.Width != info.Height && FitThumbnail(info, &t))
            QCOMPARE(t.width > t.height, (info.Width > info.Height) == (info.Orientation < 5));
        // Each reader: its own format agrees with the detection by content; another format reads nothing.
        const QList<ImageInfo (*)(const QString &)> readers = {ReadBmpSize, ReadGifSize, ReadJpegSize, ReadPngSize};
        for (int r = 1; r <= 4; ++r) {
            const ImageInfo one = readers[r - 1](file);
            if (r == want[0])
                QCOMPARE((QList<int>{one.Format, one.Width, one.Height, one.Depth, one.Orientation}), want);
            else if (want[0] != 0)
                QCOMPARE((QList<int>{one.Format, one.Width, int(one.fault)}), (QList<int>{0, 0, 0}));
        }
    }

    void modes_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("format");  // -1: no readable file, so no mode reads anything
        const QByteArray jpeg = soi + app0 + frame(0xC0, 640, 480) + scan;
        QTest::newRow("PHOTO.JPEG mode 5") << "PHOTO.JPEG" << jpeg << 5 << 3;
        QTest::newRow("S.BMP mode 5") << "S.BMP" << bmp(2, 2, 8) << 5 << 1;
        QTest::newRow("photo.jpg mode 5") << "photo.jpg" << jpeg << 5 << 3;
        QTest::newRow("i.Png mode 5") << "i.Png" << png(3, 3, 8, 2) << 5 << 4;
        QTest::newRow("w.WebP mode 5") << "w.WebP" << riff("VP8X", QByteArray(10, 0)) << 5 << 5;
        QTest::newRow("a.avif mode 5") << "a.avif" << avif({ispe(4, 4)}, {{1}}) << 5 << 6;
        QTest::newRow("avif named .png mode 4") << "a.png" << avif({ispe(4, 4)}, {{1}}) << 4 << 0;
        QTest::newRow("png named .gif mode 5") << "p.gif" << png(3, 3, 8, 2) << 5 << 0;
        QTest::newRow("png named .gif mode 4") << "q.gif" << png(3, 3, 8, 2) << 4 << 4;
        QTest::newRow("png named .gif mode 0") << "r.gif" << png(3, 3, 8, 2) << 0 << 4;
        QTest::newRow("no extension mode 5") << "noext" << gif(2, 2, 0) << 5 << 0;
        QTest::newRow("GXF named .gif mode 2") << "v.gif" << "GX" + gif(2, 2, 0).mid(2) << 2 << 0;
        // A PNG signature with one of its four letters changed is no PNG, by content or by the PNG reader.
        for (int at = 0; at < 4; ++at) {
            QByteArray bad = png(3, 3, 8, 2);
            bad[at] = char(bad.at(at) ^ 0x20);
            for (int mode : {0, 4})
                QTest::addRow("signature letter %d wrong, mode %d", at, mode) << QString("sig%1.png").arg(at) << bad << mode << 0;
        }
        QTest::newRow("JPEG start marker damaged, mode 5") << "d.jpg" << QByteArray("\xFF\x00", 2) + app0 + frame(0xC0, 640, 480) + scan << 5 << 0;
        QTest::newRow("mode 6") << "w.jpg" << jpeg << 6 << 0;
        QTest::newRow("BMP signature, GIF reader") << "two.bmp" << QByteArray("BM") << 2 << 0;
        QTest::newRow("one byte") << "one.bmp" << QByteArray("B") << 0 << -1;
        QTest::newRow("hidden") << ".hidden.png" << png(4, 4, 8, 2) << 0 << -1;
        QTest::newRow("missing") << "" << QByteArray() << 0 << -1;
        QTest::newRow("folder") << "folder.png" << QByteArray() << 0 << -1;
        QTest::newRow("FIFO") << "fifo.jpg" << QByteArray() << 0 << -1;
    }

    void modes()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(int, mode);
        QFETCH(int, format);
        const QString file = path("modes/" + (name.isEmpty() ? "none.png" : name));
        if (name == "folder.png")
            makeDir(file);
        else if (name == "fifo.jpg")  // must not wait for a writer
            QCOMPARE(::mkfifo(qPrintable(file), 0600), 0);
        else if (!name.isEmpty())
            writeFile(file, bytes);
        QCOMPARE(IsReadableFile(file), format >= 0);
        for (int m = format < 0 ? 0 : mode; m <= (format < 0 ? 5 : mode); ++m) {
            const ImageInfo info = GetImageSize(file, m);
            QCOMPARE((QList<int>{info.Format, info.Width > 0, int(info.fault)}), (QList<int>{qMax(format, 0), format > 0, 0}));
        }
    }

    // Which pictures the header readers leave to a decoder, by their first bytes alone.
    void renditions_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<RenditionFormat>("format");
        const QByteArray rest(12, '\0');
        QTest::newRow("TIFF little-endian") << "II*\0" + rest << RenditionFormat::Tiff;
        QTest::newRow("TIFF big-endian") << QByteArray("MM\0*", 4) + rest << RenditionFormat::Tiff;
        QTest::newRow("BigTIFF") << "II+\0" + rest << RenditionFormat::Tiff;
        QTest::newRow("BigTIFF big-endian") << QByteArray("MM\0+", 4) + rest << RenditionFormat::Tiff;
        for (const char *head : {"IM*\0", "MI*\0", "Ix*\0", "II*x", "II-\0"})
            QTest::addRow("not TIFF: %s", head) << QByteArray(head, 4) + rest << RenditionFormat::None;
        QTest::newRow("not TIFF: MM x") << QByteArray("MMx*", 4) + rest << RenditionFormat::None;
        for (const char *brand : {"heic", "heix", "mif1", "msf1", "hevc"})
            QTest::addRow("HEIF brand %s", brand) << QByteArray("\0\0\0\x18" "ftyp", 8) + brand + rest << RenditionFormat::Heif;
        QTest::newRow("MP4") << QByteArray("\0\0\0\x18" "ftypisom", 12) + rest << RenditionFormat::None;
        QTest::newRow("JPEG") << soi + app0 + frame(0xC0, 640, 480) + scan << RenditionFormat::None;
        QTest::newRow("shorter than the brand") << QByteArray("\0\0\0\x18" "ftyphe", 10) << RenditionFormat::None;
    }
    void renditions()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(RenditionFormat, format);
        QCOMPARE(NeedsRendition(writeFile(path("rendition"), bytes)), format);
    }

    void fitting_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<QList<int>>("shown");  // height, width; none: refused
        QTest::newRow("480 x 640") << 480 << 640 << QList{120, 90};
        QTest::newRow("1000 x 333") << 1000 << 333 << QList{40, 120};
        QTest::newRow("50 x 50") << 50 << 50 << QList{120, 120};
        QTest::newRow("3 x 16, 22.5 to even") << 3 << 16 << QList{120, 22};
        QTest::newRow("5 x 16, 37.5 to even") << 5 << 16 << QList{120, 38};
        QTest::newRow("240 x 1, 0.5 to even, at least 1") << 240 << 1 << QList{1, 120};
        QTest::newRow("largest product") << 17895697 << 17895698 << QList{120, 120};
        QTest::newRow("product overflows") << 17895698 << 17895699 << QList<int>();
        QTest::newRow("wide but short") << 2000000000 << 10 << QList{1, 120};
        QTest::newRow("zero width") << 0 << 100 << QList<int>();
        QTest::newRow("zero height") << 100 << 0 << QList<int>();
    }
    void fitting()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(QList<int>, shown);
        Thumbnail t;
        QCOMPARE(FitThumbnail(width, height, &t) ? (QList<int>{t.height, t.width}) : QList<int>(), shown);
    }
};

QTEST_GUILESS_MAIN(TestImageSize)
#include "test_imagesize.moc"
