// Header readers and thumbnail fitting, on image files written byte by byte.
#include <QTemporaryDir>
#include <QTest>

#include "ImageSize.h"
#include "TestSupport.h"

using namespace tessaly;
using tessaly::test::writeFile;

Q_DECLARE_METATYPE(tessaly::ImageFault)

namespace {

QByteArray bytes2(uint32_t first, uint32_t second)
{
    const char b[2] = {char(first & 0xFF), char(second & 0xFF)};
    return QByteArray(b, 2);
}
QByteArray le16(uint32_t v) { return bytes2(v, v >> 8); }
QByteArray le32(uint32_t v) { return le16(v & 0xFFFF) + le16(v >> 16); }
QByteArray be16(uint32_t v) { return bytes2(v >> 8, v); }
QByteArray be32(uint32_t v) { return be16(v >> 16) + be16(v & 0xFFFF); }

QByteArray bmp(uint32_t w, uint32_t h, uint16_t bpp)
{
    QByteArray b("BM");
    b += le32(54 + 16) + le32(0) + le32(54);
    b += le32(40) + le32(w) + le32(h) + le16(1) + le16(bpp) + le32(0) + le32(16) + le32(2835) + le32(2835)
         + le32(0) + le32(0);
    Q_ASSERT(b.size() == 54);
    return b + QByteArray(16, '\x7f');
}

QByteArray gif(uint16_t w, uint16_t h, uint8_t flags)
{
    return QByteArray("GIF89a") + le16(w) + le16(h) + char(flags) + char(0) + char(0) + QByteArray(";");
}

QByteArray png(uint32_t w, uint32_t h, uint8_t depth, uint8_t colourType)
{
    QByteArray b("\x89PNG\r\n\x1a\n", 8);
    b += be32(13) + QByteArray("IHDR") + be32(w) + be32(h) + char(depth) + char(colourType) + char(0) + char(0)
         + char(0) + be32(0x12345678);
    return b + be32(0) + QByteArray("IEND") + be32(0xAE426082);
}

QByteArray segment(uint8_t marker, const QByteArray &payload)
{
    return bytes2(0xFF, marker) + be16(payload.size() + 2) + payload;
}
QByteArray app0() { return segment(0xE0, QByteArray("JFIF\0\x01\x02\0\0\x01\0\x01\0\0", 14)); }
QByteArray app1(int size) { return segment(0xE1, QByteArray("Exif\0\0", 6) + QByteArray(size - 6, 'x')); }
QByteArray frame(uint8_t marker, uint16_t w, uint16_t h)
{
    return segment(marker, QByteArray(1, 8) + be16(h) + be16(w) + QByteArray("\x03\x01\x22\x00\x02\x11\x01\x03\x11\x01", 10));
}
const QByteArray soi("\xFF\xD8", 2);
const QByteArray eoi("\xFF\xD9", 2);
QByteArray scan() { return segment(0xDA, QByteArray(10, 1)) + QByteArray(300, '\x55') + eoi; }

}  // namespace

class TestImageSize : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void readers_data();
    void readers();
    void modes_data();
    void modes();
    void readableFile_data();
    void readableFile();
    void jpegReadsOnlyItsHeaders();
    void fitting_data();
    void fitting();

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

void TestImageSize::readers_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("depth");
    QTest::addColumn<ImageFault>("fault");
    const auto none = ImageFault::None;

    QTest::newRow("bmp") << bmp(640, 480, 24) << 1 << 640 << 480 << 24 << none;
    QTest::newRow("bmp top-down") << bmp(640, uint32_t(-480), 32) << 1 << 640 << 480 << 32 << none;
    QTest::newRow("bmp height -2^31") << bmp(10, 0x80000000u, 24) << 0 << 0 << 0 << 0 << ImageFault::TooLarge;
    QTest::newRow("bmp width 2^31") << bmp(0x80000000u, 10, 24) << 0 << 0 << 0 << 0 << ImageFault::TooLarge;
    QTest::newRow("bmp shorter than header") << bmp(640, 480, 24).left(40) << 0 << 0 << 0 << 0 << none;

    QTest::newRow("gif 256 colours") << gif(320, 200, 0xF7) << 2 << 320 << 200 << 8 << none;
    QTest::newRow("gif 2 colours") << gif(65535, 1, 0x80) << 2 << 65535 << 1 << 1 << none;
    QTest::newRow("gif shorter than header") << gif(320, 200, 0xF7).left(9) << 0 << 0 << 0 << 0 << none;

    QTest::newRow("png truecolour") << png(800, 600, 8, 2) << 4 << 800 << 600 << 24 << none;
    QTest::newRow("png colour type 6") << png(800, 600, 8, 6) << 4 << 800 << 600 << 0 << none;
    QTest::newRow("png palette") << png(16, 16, 4, 3) << 4 << 16 << 16 << 4 << none;
    QTest::newRow("png grey 16") << png(1, 2, 16, 0) << 4 << 1 << 2 << 16 << none;
    QTest::newRow("png grey alpha") << png(7, 9, 8, 4) << 4 << 7 << 9 << 0 << none;
    QTest::newRow("png width 2^31") << png(0x80000000u, 5, 8, 2) << 0 << 0 << 0 << 0 << ImageFault::TooLarge;
    QTest::newRow("png height 2^32-1") << png(5, 0xFFFFFFFFu, 8, 2) << 0 << 0 << 0 << 0 << ImageFault::TooLarge;
    QTest::newRow("png widest") << png(0x7FFFFFFFu, 5, 8, 0) << 4 << 0x7FFFFFFF << 5 << 8 << none;
    QTest::newRow("png shorter than header") << png(800, 600, 8, 2).left(24) << 0 << 0 << 0 << 0 << none;

    QTest::newRow("jpeg baseline") << soi + app0() + frame(0xC0, 1024, 768) + scan() << 3 << 1024 << 768 << 24 << none;
    QTest::newRow("jpeg progressive after APP0 and APP1")
        << soi + app0() + app1(5000) + segment(0xDB, QByteArray(65, 1)) + frame(0xC2, 4000, 3000) + scan() << 3
        << 4000 << 3000 << 24 << none;
    for (int m : {0xC1, 0xC3, 0xC9, 0xCA, 0xCB}) {
        QTest::addRow("jpeg frame marker %X", m)
            << soi + app0() + frame(uint8_t(m), 33, 44) + scan() << 3 << 33 << 44 << 24 << none;
    }
    // DHT, JPG, DAC and the differential frames are not the frame header sought.
    QTest::newRow("jpeg skips C4 C5 C8 CC CF")
        << soi + segment(0xC4, QByteArray(20, 0)) + frame(0xC5, 1, 1) + segment(0xC8, QByteArray(3, 0))
               + segment(0xCC, QByteArray(2, 0)) + frame(0xCF, 2, 2) + frame(0xC0, 300, 200) + scan()
        << 3 << 300 << 200 << 24 << none;
    QTest::newRow("jpeg fill bytes before a marker")
        << soi + app0() + QByteArray(3, '\xFF') + frame(0xC0, 64, 48) + scan() << 3 << 64 << 48 << 24 << none;
    QTest::newRow("jpeg without frame header") << soi + app0() + segment(0xDB, QByteArray(65, 1)) + eoi << 0 << 0
                                               << 0 << 0 << none;
    QTest::newRow("jpeg with garbage between segments")
        << soi + app0() + QByteArray("junk") + frame(0xC0, 64, 48) + scan() << 0 << 0 << 0 << 0 << none;
    QTest::newRow("jpeg cut inside APP1") << (soi + app0() + app1(5000) + frame(0xC0, 9, 9)).left(3000) << 0 << 0
                                          << 0 << 0 << ImageFault::Truncated;
    QTest::newRow("jpeg cut inside the frame header")
        << (soi + app0() + frame(0xC0, 640, 480)).left(2 + 18 + 7) << 0 << 0 << 0 << 0 << ImageFault::Truncated;
    QTest::newRow("jpeg frame marker at the very end")
        << (soi + app0() + frame(0xC0, 640, 480)).left(2 + 18 + 3) << 0 << 0 << 0 << 0 << ImageFault::Truncated;
    QTest::newRow("jpeg signature only") << soi << 0 << 0 << 0 << 0 << none;

    QTest::newRow("tiff") << QByteArray("II*\0\x08\0\0\0\0\0\0\0", 12) << 0 << 0 << 0 << 0 << none;
    QTest::newRow("text") << QByteArray("hello world\n") << 0 << 0 << 0 << 0 << none;
}

void TestImageSize::readers()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, format);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, depth);
    QFETCH(ImageFault, fault);
    const QString file = writeFile(path(QStringLiteral("img-%1").arg(QTest::currentDataTag())), bytes);

    const ImageInfo info = GetImageSize(file, 0);
    QCOMPARE(info.Format, format);
    QCOMPARE(info.Width, width);
    QCOMPARE(info.Height, height);
    QCOMPARE(info.Depth, depth);
    QCOMPARE(info.fault, fault);

    // The format's own reader (mode 1..4) agrees with the detection by content.
    if (format != 0) {
        const ImageInfo direct = GetImageSize(file, format);
        QCOMPARE(direct.Width, width);
        QCOMPARE(direct.Height, height);
        QCOMPARE(direct.Depth, depth);
    }
    // Every reader given the wrong kind of file reads nothing, and never faults on it.
    const QList<ImageInfo (*)(const QString &)> readers = {ReadBmpSize, ReadGifSize, ReadJpegSize, ReadPngSize};
    for (int r = 1; r <= 4; ++r) {
        if (r == format)
            continue;
        const ImageInfo other = readers.at(r - 1)(file);
        QCOMPARE(other.Format, 0);
        QCOMPARE(other.Width, 0);
        if (format != 0)
            QCOMPARE(other.fault, ImageFault::None);
    }
}

void TestImageSize::modes_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("format");

    const QByteArray jpeg = soi + app0() + frame(0xC0, 640, 480) + scan();
    QTest::newRow("PHOTO.JPEG mode 5") << "PHOTO.JPEG" << jpeg << 5 << 3;
    QTest::newRow("x.Jpg mode 5") << "x.Jpg" << jpeg << 5 << 3;
    QTest::newRow("png named .gif mode 5") << "p.gif" << png(3, 3, 8, 2) << 5 << 0;
    QTest::newRow("png named .gif mode 4") << "q.gif" << png(3, 3, 8, 2) << 4 << 4;
    QTest::newRow("png named .gif mode 0") << "r.gif" << png(3, 3, 8, 2) << 0 << 4;
    QTest::newRow("bmp named .BMP mode 5") << "S.BMP" << bmp(2, 2, 8) << 5 << 1;
    QTest::newRow("png named .PNG mode 5") << "T.PNG" << png(2, 2, 8, 0) << 5 << 4;
    QTest::newRow("gif named .txt mode 5") << "u.txt" << gif(2, 2, 0) << 5 << 0;
    QTest::newRow("no extension mode 5") << "noext" << gif(2, 2, 0) << 5 << 0;
    QTest::newRow("jpeg mode 2") << "v.jpg" << jpeg << 2 << 0;
    QTest::newRow("mode 6") << "w.jpg" << jpeg << 6 << 0;
    QTest::newRow("mode -1") << "y.jpg" << jpeg << -1 << 0;
}

void TestImageSize::modes()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(int, mode);
    QFETCH(int, format);
    const QString file = writeFile(path(QStringLiteral("modes/") + name), bytes);
    const ImageInfo info = GetImageSize(file, mode);
    QCOMPARE(info.Format, format);
    if (format == 0)
        QCOMPARE(info.Width, 0);
    else
        QVERIFY(info.Width > 0);
}

void TestImageSize::readableFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("readable");
    QTest::newRow("two bytes") << "two.bmp" << QByteArray("BM") << true;
    QTest::newRow("one byte") << "one.bmp" << QByteArray("B") << false;
    QTest::newRow("empty") << "empty.bmp" << QByteArray() << false;
    QTest::newRow("hidden") << ".hidden.png" << png(4, 4, 8, 2) << false;
    QTest::newRow("missing") << QString() << QByteArray() << false;
    QTest::newRow("folder") << "folder.png" << QByteArray() << false;
}

void TestImageSize::readableFile()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, readable);
    QString file;
    if (name.isEmpty())
        file = path(QStringLiteral("readable/none.png"));
    else if (name == QLatin1String("folder.png"))
        file = tessaly::test::makeDir(path(QStringLiteral("readable/folder.png")));
    else
        file = writeFile(path(QStringLiteral("readable/") + name), bytes);
    QCOMPARE(IsReadableFile(file), readable);
    if (!readable) {
        for (int mode = 0; mode <= 5; ++mode) {
            const ImageInfo info = GetImageSize(file, mode);
            QCOMPARE(info.Format, 0);
            QCOMPARE(info.fault, ImageFault::None);
        }
    }
}

void TestImageSize::jpegReadsOnlyItsHeaders()
{
    // A 3 MB photograph with a 60 KB APP1 block: the walk hops over the blocks.
    const QByteArray head = soi + app0() + app1(60000) + segment(0xDB, QByteArray(65, 1))
                            + segment(0xC4, QByteArray(400, 2)) + frame(0xC2, 4032, 3024);
    QByteArray bytes = head + segment(0xDA, QByteArray(10, 1));
    bytes += QByteArray(3 * 1024 * 1024 - bytes.size() - 2, '\x5A') + eoi;
    const QString file = writeFile(path(QStringLiteral("big.jpg")), bytes);

    const int64_t before = ImageBytesRead();
    const ImageInfo info = GetImageSize(file, 0);
    const int64_t read = ImageBytesRead() - before;
    QCOMPARE(info.Width, 4032);
    QCOMPARE(info.Height, 3024);
    QVERIFY2(read <= 4096, qPrintable(QStringLiteral("%1 bytes read").arg(read)));
    QVERIFY(read < head.size());
}

void TestImageSize::fitting_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("dispHeight");
    QTest::addColumn<int>("dispWidth");
    QTest::newRow("640 x 480") << 640 << 480 << true << 90 << 120;
    QTest::newRow("480 x 640") << 480 << 640 << true << 120 << 90;
    QTest::newRow("1000 x 333") << 1000 << 333 << true << 40 << 120;
    QTest::newRow("50 x 50") << 50 << 50 << true << 120 << 120;
    QTest::newRow("3 x 16, 22.5 to even") << 3 << 16 << true << 120 << 22;
    QTest::newRow("5 x 16, 37.5 to even") << 5 << 16 << true << 120 << 38;
    QTest::newRow("16 x 3, 22.5 to even") << 16 << 3 << true << 22 << 120;
    QTest::newRow("240 x 1, 0.5 to even") << 240 << 1 << true << 0 << 120;
    QTest::newRow("largest product") << 17895697 << 17895698 << true << 120 << 120;
    QTest::newRow("product overflows") << 17895698 << 17895699 << false << 0 << 0;
    QTest::newRow("wide but short") << 2000000000 << 10 << true << 0 << 120;
    QTest::newRow("zero width") << 0 << 100 << false << 0 << 0;
    QTest::newRow("zero size") << 0 << 0 << false << 0 << 0;
}

void TestImageSize::fitting()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(bool, ok);
    QFETCH(int, dispHeight);
    QFETCH(int, dispWidth);
    Thumbnail t;
    QCOMPARE(FitThumbnail(width, height, &t), ok);
    if (ok) {
        QCOMPARE(t.height, dispHeight);
        QCOMPARE(t.width, dispWidth);
    }
}

QTEST_GUILESS_MAIN(TestImageSize)
#include "test_imagesize.moc"
