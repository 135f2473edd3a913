// Poster frames of videos made here with the ffmpeg tool, thumbnails of photos made
// here in every format, and their caches.
#include <QBuffer>
#include <QColor>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>

#include "DialogService.h"
#include "HtmlOut.h"
#include "ImageSize.h"
#include "Poster.h"
#include "PosterCache.h"
#include "TestSupport.h"
#include "ThumbCache.h"

#include <atomic>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <linux/fs.h>

using namespace tessaly;
using namespace tessaly::test;

Q_DECLARE_METATYPE(tessaly::ThumbFault)

namespace {

bool ffmpeg(const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral("ffmpeg"), QStringList{"-v", "error", "-y"} + args);
    return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// 320 x 180 stored, 5 s at 10 frames/s, a key frame every 2 frames: the top half green
// for 0.3 s, then red; the bottom half blue. The display matrix turns it a quarter turn
// counter-clockwise (as the ffmpeg tool shows it), so it stands 180 x 320 with red left.
bool makeTurnedVideo(const QString &path)
{
    const QString plain = path + ".plain.mp4";
    const bool ok = ffmpeg({"-filter_complex",
                            "color=c=green:s=320x90:r=10:d=0.3[g];color=c=red:s=320x90:r=10:d=4.7[r];"
                            "[g][r]concat=n=2:v=1:a=0[top];color=c=blue:s=320x90:r=10:d=5[b];"
                            "[top][b]vstack,format=yuv420p",
                            "-c:v", "libx264", "-preset", "ultrafast", "-g", "2", plain})
                    && ffmpeg({"-i", plain, "-c", "copy", "-metadata:s:v:0", "rotate=90", path});
    QFile::remove(plain);
    return ok;
}

bool isColour(const QImage &img, int x, int y, QRgb want)
{
    const QRgb c = img.pixel(x, y);
    return qAbs(qRed(c) - qRed(want)) < 40 && qAbs(qGreen(c) - qGreen(want)) < 40 && qAbs(qBlue(c) - qBlue(want)) < 40;
}

// A picture 320 x 180, its top half red on the left and blue on the right, its bottom
// half lime green, whose display matrix (the video track's) is replaced by the nine values given.
bool makeMatrixVideo(const QString &path, const QList<uint32_t> &matrix)
{
    if (!ffmpeg({"-filter_complex", "color=c=red:s=160x90:r=10:d=2[l];color=c=blue:s=160x90:r=10:d=2[r];"
                                     "color=c=lime:s=320x90:r=10:d=2[b];[l][r]hstack[t];[t][b]vstack,format=yuv420p",
                 "-c:v", "libx264", "-preset", "ultrafast", "-g", "5", path}))
        return false;
    QByteArray b = readFile(path);
    const qsizetype tkhd = b.indexOf("tkhd");
    if (tkhd < 0)
        return false;
    qsizetype at = tkhd + (b[tkhd + 4] == 1 ? 56 : 44);
    for (const uint32_t v : matrix)
        b.replace(at, 4, be32(v)), at += 4;
    writeFile(path, b);
    return true;
}

// Black, blue, green, cyan, red, magenta, yellow or white, at the middle of each quarter.
QString quarterColours(const QImage &img)
{
    QString s;
    for (const QPoint q : {QPoint(1, 1), QPoint(3, 1), QPoint(1, 3), QPoint(3, 3)}) {
        const QRgb c = img.pixel(q.x() * img.width() / 4, q.y() * img.height() / 4);
        s += QChar("kbgcrmyw"[(qRed(c) > 128) * 4 + (qGreen(c) > 128) * 2 + (qBlue(c) > 128)]);
    }
    return s;
}

// The markers of a JPEG up to its first scan.
QList<int> markers(const QByteArray &jpeg)
{
    QList<int> m;
    for (qsizetype p = 2; p + 4 <= jpeg.size() && uchar(jpeg[p]) == 0xFF && uchar(jpeg[p + 1]) != 0xDA;
         p += 2 + (uchar(jpeg[p + 2]) << 8 | uchar(jpeg[p + 3])))
        m << uchar(jpeg[p + 1]);
    return m;
}

// The JPEG files under folder (however deep) with a tenth of their pixels magenta,
// the colour of everything private in the tests below.
QStringList magentaPictures(const QString &folder)
{
    QStringList found;
    QDirIterator it(folder, {"*.jpg"}, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QImage img(it.next());
        int n = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                n += isColour(img, x, y, qRgb(255, 0, 255));
        if (n * 10 > img.width() * img.height())
            found << it.filePath();
    }
    return found;
}

// Swaps two names at once, links and folders alike, until stopped.
class Swapper {
public:
    Swapper(const QString &a, const QString &b)
        : m_a(QFile::encodeName(a)), m_b(QFile::encodeName(b)), m_thread([this] {
              while (!m_stop)
                  if (::syscall(SYS_renameat2, AT_FDCWD, m_a.constData(), AT_FDCWD, m_b.constData(), RENAME_EXCHANGE) == 0)
                      ++swaps;
          })
    {
    }
    ~Swapper()
    {
        m_stop = true;
        m_thread.join();
    }
    std::atomic<int> swaps{0};

private:
    QByteArray m_a, m_b;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

QByteArray encoded(const QImage &img, const char *format, int quality = 90)
{
    QBuffer buf;
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, format, quality);
    return buf.data();
}

// The peak resident size in KiB, set back to the present size first when reset.
long peakKiB(bool reset)
{
    if (reset) {
        QFile clear("/proc/self/clear_refs");
        if (!clear.open(QIODevice::WriteOnly) || clear.write("5") != 1)
            return -1;
    }
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

}  // namespace

class TestPoster : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_turned;  // the video above

    QByteArray m_big;  // see big()

    QString src(const QString &name) const { return m_dir.path() + "/src/" + name; }
    // A progressive 12000 x 9000 JPEG: 330 MB of coefficients while it decodes. Made once.
    const QByteArray &big()
    {
        if (m_big.isEmpty())
            m_big = jpegRows(12000, 9000, true);
        return m_big;
    }

private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable("ffmpeg").isEmpty())
            QSKIP("the ffmpeg tool is needed to make test videos");
        makeDir(m_dir.path() + "/src");
        m_turned = src("turned.MP4");
        QVERIFY(makeTurnedVideo(m_turned));
        // Dark for its first 1.5 s, past the 10 % point, then red on the left and blue on the
        // right; one key frame, at the start.
        QVERIFY(ffmpeg({"-filter_complex", "color=c=black:s=320x180:r=10:d=1.5[k];color=c=red:s=160x180:r=10:d=8.5[l];"
                                           "color=c=blue:s=160x180:r=10:d=8.5[r];[l][r]hstack[c];[k][c]concat=n=2:v=1:a=0,format=yuv420p",
                        "-c:v", "libx264", "-preset", "ultrafast", "-g", "1000", src("dark start.mp4")}));
        QVERIFY(ffmpeg({"-f", "lavfi", "-i", "testsrc=s=64x48:r=5:d=0.6", "-c:v", "mpeg4", src("short.avi")}));
        QVERIFY(ffmpeg({"-f", "lavfi", "-i", "testsrc=s=1000x2:r=5:d=0.4", "-c:v", "mpeg4", src("strip.avi")}));
        // One key frame, at the start, in a stream without an index.
        QVERIFY(ffmpeg({"-f", "lavfi", "-i", "testsrc=s=320x240:r=25:d=3", "-c:v", "libx264", "-f", "mpegts", src("ts.mts")}));
        writeFile(src("empty.mp4"));
        writeFile(src("half.mp4"), readFile(m_turned).left(QFileInfo(m_turned).size() / 2));
        // Mirrored left to right (a negative determinant), and turned by an eighth.
        QVERIFY(makeMatrixVideo(src("mirrored.mp4"), {0xFFFF0000, 0, 0, 0, 0x10000, 0, 320u << 16, 0, 0x40000000}));
        QVERIFY(makeMatrixVideo(src("askew.mp4"), {46341, 46341, 0, uint32_t(-46341), 46341, 0, 0, 0, 0x40000000}));
        // The sound before the picture: stream 0 is audio.
        QVERIFY(ffmpeg({"-f", "lavfi", "-i", "sine=d=5", "-i", m_turned, "-map", "0:a", "-map", "1:v", "-c:v", "copy", "-c:a", "aac",
                        "-shortest", src("sound.mp4")}));
        // A script named like a video must not lead FFmpeg to other files.
        writeFile(src("list.mp4"), "ffconcat version 1.0\nfile ts.mts\n");
    }

    void decodes_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QSize>("size");  // empty: no poster
        QTest::addColumn<int>("rotation");
        QTest::addColumn<bool>("mirrored");
        QTest::addColumn<QColor>("left");   // top left of the upright picture, where it is known
        QTest::addColumn<QColor>("below");  // its bottom middle, where it is known
        const QColor red(255, 0, 0), blue(0, 0, 255), green(0, 255, 0), none;
        // Turned the right way, past the green start: red on the left.
        QTest::newRow("turned, 10 % in") << "turned.MP4" << QSize(135, 240) << 270 << false << red << none;
        QTest::newRow("dark at 10 %, decoded past it") << "dark start.mp4" << QSize(240, 135) << 0 << false << red << none;
        QTest::newRow("sound first") << "sound.mp4" << QSize(135, 240) << 270 << false << red << none;
        QTest::newRow("shorter than a second, not enlarged") << "short.avi" << QSize(64, 48) << 0 << false << none << none;
        QTest::newRow("a strip, one pixel high") << "strip.avi" << QSize(240, 1) << 0 << false << none << none;
        QTest::newRow("MPEG-TS, one key frame") << "ts.mts" << QSize(240, 180) << 0 << false << none << none;
        QTest::newRow("empty") << "empty.mp4" << QSize() << 0 << false << none << none;
        QTest::newRow("cut in half") << "half.mp4" << QSize() << 0 << false << none << none;
        QTest::newRow("concat script") << "list.mp4" << QSize() << 0 << false << none << none;
        QTest::newRow("mirrored, not turned over") << "mirrored.mp4" << QSize(240, 135) << 0 << true << blue << green;
        QTest::newRow("turned 45 degrees, left as it is") << "askew.mp4" << QSize(240, 135) << 0 << false << red << green;
    }
    // Through the library and through tessaly-cli poster.
    void decodes()
    {
        QFETCH(QString, name);
        QFETCH(QSize, size);
        QFETCH(int, rotation);
        QFETCH(bool, mirrored);
        QFETCH(QColor, left);
        QFETCH(QColor, below);
        const QString made = m_dir.path() + "/lib.jpg";
        QFile::remove(made);
        const PosterInfo f = MakePoster(src(name), made);
        const auto sizeOf = [](const QImage &i) { return i.isNull() ? QSize() : i.size(); };
        const QImage image(made);
        QCOMPARE(sizeOf(image), size);
        QCOMPARE(QSize(f.width, f.height), size.isValid() ? size : QSize(0, 0));
        QCOMPARE(f.fault == PosterFault::None, size.isValid());
        QCOMPARE((std::pair{f.rotation, f.mirrored}), (std::pair{rotation, mirrored}));
        const int top = size.height() / 4;
        if (left.isValid()) {
            QVERIFY(isColour(image, 20, top, left.rgb()));
            QVERIFY(isColour(image, size.width() - 20, top, left == Qt::red ? qRgb(0, 0, 255) : qRgb(255, 0, 0)));
        }
        if (below.isValid())  // not turned over
            QVERIFY(isColour(image, size.width() / 2, size.height() - top, below.rgb()));
        const QString out = m_dir.path() + "/cli.jpg";
        QFile::remove(out);
        const CliResult r = runCli({"poster", src(name), out});
        QCOMPARE(r.exitCode == 0, size.isValid());
        QCOMPARE(sizeOf(QImage(out)), size);
        QVERIFY2(size.isValid() || r.err.contains(PosterFaultText(f.fault)), qPrintable(r.err));
    }

    // Many videos in one call: each poster named after its video, in the order given; a
    // missing video, a damaged one and a second video of the same name are reported and
    // the others still made.
    void manyAtOnce()
    {
        const QString out = makeDir(m_dir.path() + "/many");
        const QString twin = makeDir(m_dir.path() + "/twin") + "/short.avi";
        QVERIFY(QFile::copy(src("short.avi"), twin));
        const CliResult r = runCli({"poster", "--out", out, src("turned.MP4"), src("gone.mp4"), src("short.avi"),
                                    src("half.mp4"), twin, src("ts.mts")});
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.out, QString(out + "/turned.MP4.jpg\t135\t240\t回転 270\n" + out + "/short.avi.jpg\t64\t48\t回転 0\n"
                                + out + "/ts.mts.jpg\t240\t180\t回転 0\n"));
        QCOMPARE(QImage(out + "/ts.mts.jpg").size(), QSize(240, 180));
        for (const QString &v : {src("gone.mp4"), src("half.mp4"), twin})
            QVERIFY2(r.err.count(v + ": ") == 1, qPrintable(r.err));
        QStringList made = QDir(out).entryList(QDir::Files);
        made.sort();
        QCOMPARE(made, QStringList({"short.avi.jpg", "ts.mts.jpg", "turned.MP4.jpg"}));
        QCOMPARE(runCli({"poster", src("short.avi")}).exitCode, 2);  // one video needs its OUT.jpg
    }

    // A tool whose media module is missing says so, and still does what needs no pictures.
    void withoutTheMediaModule()
    {
        const QString alone = makeDir(m_dir.path() + "/alone/bin") + "/tessaly-cli";
        QVERIFY(QFile::copy(binDir() + "/tessaly-cli", alone));
        QProcess p;
        p.start(alone, {"poster", src("short.avi"), m_dir.path() + "/alone.jpg"});
        QVERIFY(p.waitForFinished(60000));
        const QString err = QString::fromUtf8(p.readAllStandardError());
        QCOMPARE(p.exitCode(), 1);
        QVERIFY2(err.contains(PosterFaultText(PosterFault::NoDecoder)) && err.contains("modules/libtessaly_media.so"), qPrintable(err));
        QVERIFY(!QFileInfo::exists(m_dir.path() + "/alone.jpg"));
        p.start(alone, {"image-size", src("short.avi")});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 1);  // no image, but a clear answer rather than a failed start
        QVERIFY(QString::fromUtf8(p.readAllStandardError()).contains("short.avi: "));

        // A TIFF title's rendition likewise: the page is written, the picture listed as not shown.
        const QString root = makeDir(m_dir.path() + "/alone/site");
        const QString lib = makeLibrary(root);
        const QString genre = makeDir(root + "/base/C/G");
        sql(lib, "insert into systemdir (ID, htmlDir) values (1, ?)", {makeDir(root + "/out")});
        sql(lib, "insert into photoGraph (ID, topFolder, topFolderName) values (1, ?, 'C')", {root + "/base/C"});
        sql(lib, "insert into photoYear (ID, ID1, yearFolder, yearFolderName) values (1, 1, ?, 'G')", {genre});
        sql(lib, "insert into photoIvents (ID, ID1, iventsFolderName, iventsFolder) values (1, 1, 't', ?)",
            {makeDir(genre + "/t")});
        writeFile(genre + "/t/a.tif", tiffBytes(quarters(40, 30)));
        p.start(alone, {"generate", lib});
        QVERIFY(p.waitForFinished(60000));
        const QString said = QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
        QCOMPARE(p.exitCode(), 1);
        QVERIFY2(said.contains(genre + "/t/a.tif (" + ThumbFaultText(ThumbFault::NoDecoder) + ")"), qPrintable(said));
        QVERIFY(readFile(genre + "/nIndex.html").contains("\r\n<br>\r\nt<br>\r\n"));
    }

    // Unchanged videos are not decoded again; changed and gone ones lose their posters.
    void cache()
    {
        const QString lib = makeDir(m_dir.path() + "/cache");
        const QString out = makeDir(lib + "/out");
        QStringList videos;
        for (const char *n : {"a.mp4", "b.mp4"}) {
            videos << lib + "/" + n;
            QVERIFY(QFile::copy(m_turned, videos.last()));
        }
        videos << writeFile(lib + "/c.mov", readFile(src("half.mp4")));
        const QString foreign = writeFile(out + "/posters/notes.txt", "mine");

        PosterCache first(out);
        const QList<PosterEntry> made = first.make(videos, 2);
        QCOMPARE(first.decoded(), 3);
        QVERIFY(made[0].file != made[1].file);  // same bytes, two titles: two posters
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(QSize(made[i].width, made[i].height), QSize(135, 240));
            QCOMPARE(QImage(first.folder() + "/" + made[i].file).size(), QSize(135, 240));
        }
        QVERIFY(made[2].file.isEmpty() && made[2].fault != PosterFault::None);

        PosterCache second(out);
        const QList<PosterEntry> again = second.make(videos);
        QCOMPARE(second.decoded(), 0);
        for (int i = 0; i < 3; ++i)
            QVERIFY(again[i].file == made[i].file && again[i].fault == made[i].fault && again[i].height == made[i].height);
        QCOMPARE(second.removeStale(), 0);

        // A poster cut short (a power cut before it reached the disk) is made again.
        const QString cut = second.folder() + "/" + made[1].file;
        writeFile(cut, readFile(cut).left(600));
        PosterCache mend(out);
        QCOMPARE(mend.make(videos.mid(1, 1)).first().file, made[1].file);
        QCOMPARE(mend.decoded(), 1);
        QVERIFY(readFile(cut).endsWith("\xFF\xD9"));

        QFile f(videos[0]);  // a new modification time: decoded again, the old poster goes
        QVERIFY(f.open(QIODevice::ReadWrite) && f.setFileTime(QDateTime::currentDateTime().addSecs(60), QFileDevice::FileModificationTime));
        f.close();
        QVERIFY(QFile::remove(videos[2]));
        PosterCache third(out);
        const QList<PosterEntry> later = third.make(videos.mid(0, 2));
        QCOMPARE(third.decoded(), 1);
        QVERIFY(later[0].file != made[0].file && later[1].file == made[1].file);
        QCOMPARE(third.removeStale(), 2);  // a's old poster, c's note
        QStringList left = QDir(third.folder()).entryList(QDir::Files);
        left.sort();
        QStringList want = {later[0].file, later[1].file, "notes.txt"};
        want.sort();
        QCOMPARE(left, want);
        QCOMPARE(readFile(foreign), QByteArray("mine"));
    }

    // The sweeps judge names on the bytes of a listing: what is the caches' own, and whose.
    void cacheNames_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<bool>("poster");     // a poster's or a note's name
        QTest::addColumn<bool>("thumb");      // a thumbnail's or a note's name
        QTest::addColumn<bool>("rendition");  // a rendition's, among the thumbnails
        QTest::newRow("photo") << QByteArray("0123456789abcdef-677-1796708801601.jpg") << true << true << false;
        QTest::newRow("note") << QByteArray("0123456789abcdef-0-0.bad") << true << true << false;
        QTest::newRow("rendition") << QByteArray("0123456789abcdef-1-2.r.jpg") << false << true << true;
        QTest::newRow("rendition note") << QByteArray("0123456789abcdef-1-2.r.bad") << false << true << true;
        QTest::newRow("capital hex") << QByteArray("0123456789ABCDEF-1-2.jpg") << false << false << false;
        QTest::newRow("15 hex") << QByteArray("123456789abcdef-1-2.jpg") << false << false << false;
        QTest::newRow("17 hex") << QByteArray("0123456789abcdef0-1-2.jpg") << false << false << false;
        QTest::newRow("no size") << QByteArray("0123456789abcdef--2.jpg") << false << false << false;
        QTest::newRow("no time") << QByteArray("0123456789abcdef-1-.jpg") << false << false << false;
        QTest::newRow("one number") << QByteArray("0123456789abcdef-1.jpg") << false << false << false;
        QTest::newRow("three numbers") << QByteArray("0123456789abcdef-1-2-3.jpg") << false << false << false;
        QTest::newRow("sign") << QByteArray("0123456789abcdef-+1-2.jpg") << false << false << false;
        QTest::newRow("other ending") << QByteArray("0123456789abcdef-1-2.png") << false << false << false;
        QTest::newRow("capital ending") << QByteArray("0123456789abcdef-1-2.JPG") << false << false << false;
        QTest::newRow("capital r") << QByteArray("0123456789abcdef-1-2.R.jpg") << false << false << false;
        QTest::newRow("two r") << QByteArray("0123456789abcdef-1-2.r.r.jpg") << false << false << false;
        QTest::newRow("line break") << QByteArray("0123456789abcdef-1-2.jpg\n") << false << false << false;
        QTest::newRow("copy of one") << QByteArray("0123456789abcdef-1-2.jpg.jpg") << false << false << false;
        QTest::newRow("hidden") << QByteArray(".0123456789abcdef-1-2.jpg") << false << false << false;
        QTest::newRow("short") << QByteArray("a.jpg") << false << false << false;
    }
    void cacheNames()
    {
        QFETCH(QByteArray, name);
        QFETCH(bool, poster);
        QFETCH(bool, thumb);
        QFETCH(bool, rendition);
        QCOMPARE(PosterCache::isOwnFile(QString::fromLatin1(name)), poster);
        QCOMPARE(ThumbCache::isOwnFile(QString::fromLatin1(name)), thumb);
        const CacheName c = ParseCacheName(name, true);
        QCOMPARE(c.rendition && c.own, rendition);
        if (c.own)
            QCOMPARE(c.key, QByteArrayView(name).chopped(4));
    }

    void thumbnails_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSize>("size");  // of the thumbnail; empty: none
        QTest::addColumn<QString>("colours");  // of its quarters (see quarterColours)
        QTest::addColumn<ThumbFault>("fault");
        const auto ok = ThumbFault::None;
        // A camera photo stored on its side with its Exif (a camera name) and an orientation.
        QByteArray camera = encoded(quarters(1500, 2000, 6), "jpeg");
        camera.insert(2, exifSegment("II", 6));
        QTest::newRow("JPEG turned by Exif 6") << "cam.JPG" << camera << QSize(180, 240) << "rgby" << ok;
        QByteArray mirrored = encoded(quarters(640, 480, 2), "jpeg");
        mirrored.insert(2, exifSegment("MM", 2));
        QTest::newRow("JPEG mirrored by Exif 2") << "m.jpeg" << mirrored << QSize(240, 180) << "rgby" << ok;
        QTest::newRow("PNG turned by eXIf 6") << "p.png" << withPngExif(encoded(quarters(200, 400, 6), "png"), 6)
                                              << QSize(120, 240) << "rgby" << ok;
        QTest::newRow("small PNG not enlarged") << "s.png" << encoded(quarters(50, 40), "png") << QSize(50, 40) << "rgby" << ok;
        QTest::newRow("BMP") << "b.bmp" << encoded(quarters(300, 100), "bmp") << QSize(240, 80) << "rgby" << ok;
        for (const int o : {3, 4, 5, 7, 8}) {
            QByteArray turned = encoded(quarters(400, 300, o), "jpeg");
            turned.insert(2, exifSegment(o % 2 ? "II" : "MM", uint16_t(o)));
            QTest::addRow("JPEG by Exif %d", o) << "o.jpg" << turned << QSize(240, 180) << "rgby" << ok;
            QTest::addRow("TIFF by its tag %d", o) << "t.tif" << tiffBytes(quarters(400, 300, o), o, o > 5) << QSize(240, 180)
                                                   << "rgby" << ok;  // 7 and 8 big-endian
        }
        // libtiff multiplies a straight alpha in: taken as straight again, the blue under
        // it would come out darker than the page's ground lets through.
        QImage veiled(40, 30, QImage::Format_ARGB32);
        veiled.fill(qRgba(0, 0, 44, 136));
        QTest::newRow("TIFF with alpha") << "a.tif" << tiffBytes(veiled) << QSize(40, 30) << "bbbb" << ok;
        QImage narrow(1, 30, QImage::Format_RGB32);
        narrow.fill(Qt::blue);
        QTest::newRow("TIFF one pixel wide") << "n.tif" << tiffBytes(narrow) << QSize(1, 30) << "bbbb" << ok;
        const QString heic = m_dir.path() + "/made.heic";
        QVERIFY(writeHeic(quarters(200, 100), heic));
        QTest::newRow("HEIC") << "h.heic" << readFile(heic) << QSize(200, 100) << "rgby" << ok;
        QImage clear(100, 100, QImage::Format_ARGB32);
        clear.fill(Qt::transparent);
        QTest::newRow("transparent PNG on the page's ground") << "c.png" << encoded(clear, "png") << QSize(100, 100)
                                                              << "wwww" << ok;
        // A progressive JPEG keeps every coefficient of the whole picture while it decodes,
        // however small the output.
        QTest::newRow("progressive JPEG 12000 x 9000") << "big.jpg" << big() << QSize(240, 180) << "rgby" << ok;
        QImage wide(7000, 6100, QImage::Format_RGB32);  // 42.7 megapixels
        {
            QPainter p(&wide);
            const QList<QRgb> colours{0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00};
            for (int q = 0; q < 4; ++q)
                p.fillRect(q % 2 * 3500, q / 2 * 3050, 3500, 3050, QColor(colours[q]));
        }
        QBuffer wideBytes;
        wideBytes.open(QIODevice::WriteOnly);
        QImageWriter wideWriter(&wideBytes, "png");
        wideWriter.setCompression(1);
        QVERIFY(wideWriter.write(wide));
        wide = QImage();
        QTest::newRow("PNG of 42 megapixels") << "wide.png" << wideBytes.data() << QSize(240, 209) << "rgby" << ok;
        // A sequential JPEG decodes row by row, at an eighth here, whatever its size; the
        // data, of its first rows only, ends early: the rest is grey.
        QByteArray sequential = jpegRows(9000, 16, false);
        const qsizetype sof0 = sequential.indexOf("\xFF\xC0");
        QVERIFY(sof0 > 0);
        sequential.replace(sof0 + 5, 2, be16(9000));
        QTest::newRow("sequential JPEG 9000 x 9000 cut after its first rows") << "s.jpg" << sequential << QSize(240, 240)
                                                                               << "kkkk" << ok;
        // Data that ends before the first rows is no picture, not a grey thumbnail.
        QByteArray progressive = jpegRows(64, 48, true);
        const qsizetype sof2 = progressive.indexOf("\xFF\xC2");
        QVERIFY(sof2 > 0);
        progressive.replace(sof2 + 5, 4, be16(9000) + be16(9000));
        QTest::newRow("progressive JPEG 9000 x 9000 cut in its first rows") << "p.jpg" << progressive << QSize() << ""
                                                                             << ThumbFault::Unreadable;
        const QByteArray jpeg = encoded(quarters(400, 300), "jpeg");
        const qsizetype sos = jpeg.lastIndexOf("\xFF\xDA");
        QTest::newRow("JPEG cut before its rows") << "r.jpg" << jpeg.left(sos + 2 + (uchar(jpeg[sos + 2]) << 8 | uchar(jpeg[sos + 3])))
                                                  << QSize() << "" << ThumbFault::Unreadable;
        QTest::newRow("JPEG cut to 100 bytes") << "h.jpg" << jpeg.left(100) << QSize() << "" << ThumbFault::Unreadable;
        QTest::newRow("WebP") << "w.webp" << encoded(quarters(300, 200), "webp") << QSize(240, 160) << "rgby" << ok;
        QTest::newRow("WebP lossless") << "l.webp" << encoded(quarters(30, 20), "webp", 100) << QSize(30, 20) << "rgby" << ok;
        const QString avif = m_dir.path() + "/made.avif";
        QVERIFY(writeHeic(quarters(200, 100), avif, true));
        QTest::newRow("AVIF") << "a.avif" << readFile(avif) << QSize(200, 100) << "rgby" << ok;
        QTest::newRow("text named as a photo") << "n.jpg" << QByteArray("not a photo") << QSize() << ""
                                               << ThumbFault::Unreadable;
        QTest::newRow("TIFF header only") << "cut.tif" << tiffBytes(quarters(400, 300), 1).left(200) << QSize() << ""
                                          << ThumbFault::Unreadable;
    }
    // A progressive 32000 x 32000 JPEG of some 600 bytes, disguised from a walk over its
    // segments: an FF 00 taken for a marker with a length lands on a sequential frame
    // header inside a comment. Refused before its 3 GB of coefficients are allocated.
    void disguisedJpeg()
    {
        const QByteArray real = jpegRows(16, 16, true);
        const qsizetype sof = real.indexOf("\xFF\xC2");
        QVERIFY(sof > 0);
        QByteArray frame = real.mid(sof, 2 + (uchar(real[sof + 2]) << 8 | uchar(real[sof + 3])));
        frame.replace(5, 4, be16(32000) + be16(32000));
        const QByteArray before = real.mid(2, sof - 2);  // JFIF, tables
        const QByteArray fake("\xFF\xC0\x00\x11\x08\x00\x10\x00\x10\x03\x01\x22\x00\x02\x11\x01\x03\x11\x01", 19);
        const QByteArray comment = "\xFF\xFE" + be16(2 + 4 + fake.size()) + "note" + fake;
        const int landing = 6 + before.size() + frame.size() + 8;  // the fake frame header
        const QByteArray bytes = real.left(2) + QByteArray("\xFF\x00", 2) + be16(landing - 4) + before + frame + comment
                                 + real.mid(sof + frame.size());
        QCOMPARE(bytes.mid(landing, 2), QByteArray("\xFF\xC0"));
        QVERIFY(bytes.size() < 1000);
        const QString source = writeFile(m_dir.path() + "/disguised/d.jpg", bytes);
        const QString warm = writeFile(m_dir.path() + "/disguised/w.jpg", encoded(quarters(64, 48), "jpeg"));
        QCOMPARE(MakeThumbnail(warm, warm + ".thumb.jpg").fault, ThumbFault::None);  // the module and its libraries loaded
        const long base = peakKiB(true);
        QVERIFY2(base > 0, "the peak resident size cannot be reset");
        const ThumbResult r = MakeThumbnail(source, source + ".thumb.jpg");
        const long grown = peakKiB(false) - base;
        QCOMPARE(r.fault, ThumbFault::TooLarge);
        QVERIFY2(grown < 100 * 1024, qPrintable(QString("peak grew by %1 KiB").arg(grown)));
    }

    // Upright, fitted, and nothing of the original's metadata: no APPn block but JFIF's, no comment.
    void thumbnails()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, size);
        QFETCH(QString, colours);
        QFETCH(ThumbFault, fault);
        const QString source = writeFile(m_dir.path() + "/thumbs/" + name, bytes);
        const QString target = m_dir.path() + "/thumbs/" + name + ".thumb.jpg";
        const ThumbResult r = MakeThumbnail(source, target);
        QCOMPARE(r.fault, fault);
        // A picture that browsers draw has a size on the page, the thumbnail's shape.
        if (fault == ThumbFault::None && !name.endsWith(".tif") && !name.endsWith(".heic")) {
            Thumbnail page, made;
            const ImageInfo info = GetImageSize(source, 0);
            QVERIFY(FitThumbnail(info, &page) && FitThumbnail(r.width, r.height, &made));
            QVERIFY2(qAbs(page.width - made.width) <= 1 && qAbs(page.height - made.height) <= 1,
                     qPrintable(QString("%1 x %2").arg(info.Width).arg(info.Height)));
        }
        QCOMPARE(QSize(r.width, r.height), size.isValid() ? size : QSize(0, 0));
        QCOMPARE(QFileInfo::exists(target), size.isValid());
        if (!size.isValid())
            return;
        const QImage made(target);
        QCOMPARE(made.size(), size);
        QCOMPARE(quarterColours(made), colours);
        for (const int m : markers(readFile(target)))
            QVERIFY2(m < 0xE1 || m > 0xFE, qPrintable(QString::number(m, 16)));
        QVERIFY(!readFile(target).contains("Cam"));
    }

    // Decodes that together would hold more than the process's budget take turns: the
    // peak does not grow with the number of threads.
    void decodesTakeTurns()
    {
        const QString dir = makeDir(m_dir.path() + "/turns");
        QStringList photos;
        for (int i = 0; i < 3; ++i)
            photos << writeFile(dir + QString("/%1.jpg").arg(i), big());
        const QString warm = writeFile(dir + "/w.jpg", encoded(quarters(64, 48), "jpeg"));
        QCOMPARE(MakeThumbnail(warm, warm + ".thumb.jpg").fault, ThumbFault::None);
        ThumbCache cache(makeDir(dir + "/out"));
        const long base = peakKiB(true);
        QVERIFY2(base > 0, "the peak resident size cannot be reset");
        const QList<ThumbEntry> made = cache.make(photos, {}, 3);
        const long grown = peakKiB(false) - base;
        for (const ThumbEntry &e : made)
            QCOMPARE(QSize(e.width, e.height), QSize(240, 180));
        // Two at a time fit in the budget (about 660 MB), three (about 1 GB) do not.
        QVERIFY2(grown < 800 * 1024, qPrintable(QString("peak grew by %1 KiB").arg(grown)));
    }

    // A picture decoded once: again only when it changes; what no run names goes, and a
    // run of renditions only removes only renditions.
    void thumbCache()
    {
        const QString lib = makeDir(m_dir.path() + "/thumbcache");
        const QString out = makeDir(lib + "/out");
        const QByteArray jpeg = encoded(quarters(800, 600), "jpeg");
        QByteArray upright = jpeg, turned = jpeg;  // of one size: only the orientation differs
        upright.insert(2, exifSegment("II", 1));
        turned.insert(2, exifSegment("II", 8));
        const QStringList photos = {writeFile(lib + "/a.jpg", jpeg), writeFile(lib + "/b.jpg", upright),
                                    writeFile(lib + "/c.png", "damaged"), writeFile(lib + "/d.tif", tiffBytes(quarters(80, 60)))};
        const QString foreign = writeFile(out + "/thumbs/notes.txt", "mine");
        ThumbCache first(out);
        const QList<ThumbEntry> made = first.make(photos, {photos[3]}, 2);
        QCOMPARE(first.decoded(), 4);
        QVERIFY(made[3].file.endsWith(".r.jpg") && made[3].width == 80);
        QVERIFY(made[0].file != made[1].file && !made[0].file.isEmpty());
        QCOMPARE(QSize(made[1].width, made[1].height), QSize(240, 180));
        QVERIFY(made[2].file.isEmpty() && made[2].fault == ThumbFault::Unreadable);

        QFile f(photos[0]);
        QVERIFY(f.open(QIODevice::ReadWrite) && f.setFileTime(QDateTime::currentDateTime().addSecs(60), QFileDevice::FileModificationTime));
        f.close();
        QVERIFY(QFile::remove(photos[2]));
        QVERIFY(QFile::remove(photos[3]));
        ThumbCache second(out);
        const QList<ThumbEntry> again = second.make(photos.mid(0, 2));
        QCOMPARE(second.decoded(), 1);
        QVERIFY(again[0].file != made[0].file && again[1].file == made[1].file && again[1].height == 180);
        // A thumbnail cut short (a power cut before it reached the disk) is made again.
        const QString cut = second.folder() + "/" + again[1].file;
        writeFile(cut, readFile(cut).left(300));
        ThumbCache mend(out);
        QCOMPARE(mend.make(photos.mid(1, 1)).first().file, again[1].file);
        QCOMPARE(mend.decoded(), 1);
        QVERIFY(readFile(cut).endsWith("\xFF\xD9"));

        // Turned in place as a camera tool does: the same size and the same whole-second time.
        const QDateTime shot = QFileInfo(photos[1]).lastModified();
        QFile b(photos[1]);
        QVERIFY(b.open(QIODevice::ReadWrite) && b.write(turned) == turned.size()
                && b.setFileTime(shot, QFileDevice::FileModificationTime));
        b.close();
        ThumbCache third(out);
        const QList<ThumbEntry> turnedNow = third.make(photos.mid(0, 2));
        QCOMPARE(third.decoded(), 1);
        QVERIFY(turnedNow[0].file == again[0].file && turnedNow[1].file != again[1].file);
        QCOMPARE(QSize(turnedNow[1].width, turnedNow[1].height), QSize(180, 240));
        QCOMPARE(third.removeStale(true), 1);  // d's rendition
        QCOMPARE(third.removeStale(false), 3);  // a's and b's old thumbnails, c's note
        QStringList left = QDir(third.folder()).entryList(QDir::Files);
        left.sort();
        QStringList want = {turnedNow[0].file, turnedNow[1].file, "notes.txt"};
        want.sort();
        QCOMPARE(left, want);
        QCOMPARE(readFile(foreign), QByteArray("mine"));
    }

    // A genre of three titles: only the turned video, a photo (later with a video too),
    // a damaged video. Run in this process, again, then through tessaly-cli.
    void site()
    {
        const QString root = makeDir(m_dir.path() + "/site");
        const QString lib = makeLibrary(root);
        const QString out = makeDir(root + "/out");
        const QString genre = makeDir(root + "/base/C/G");
        sql(lib, "insert into systemdir (ID, htmlDir) values (1, ?)", {out});
        sql(lib, "insert into photoGraph (ID, topFolder, topFolderName) values (1, ?, 'C')", {root + "/base/C"});
        sql(lib, "insert into photoYear (ID, ID1, yearFolder, yearFolderName) values (1, 1, ?, 'G')", {genre});
        for (const char *t : {"bad", "drawn", "photo", "video", "sjis"})
            sql(lib, "insert into photoIvents (ID, ID1, iventsFolderName, iventsFolder) values (1, 1, ?, ?)",
                {t, makeDir(genre + "/" + t)});
        // 写真.jpg as an old camera wrote it, in Shift-JIS: no path can name it.
        QFile sjis;
        QVERIFY(sjis.open(::open(QFile::encodeName(genre + "/sjis/").append("\x8e\xca\x90\x5e.jpg").constData(),
                                 O_WRONLY | O_CREAT, 0644),
                          QIODevice::WriteOnly, QFileDevice::AutoCloseHandle));
        sjis.write(readFile(m_turned).left(10));
        sjis.close();
        QVERIFY(QFile::copy(m_turned, genre + "/video/clip.mp4"));
        QVERIFY(QImage(40, 30, QImage::Format_RGB32).save(genre + "/photo/a.jpg"));
        writeFile(genre + "/drawn/w.webp", encoded(quarters(300, 200), "webp"));  // browsers draw it as it is
        const QString bad = writeFile(genre + "/bad/half.webm", readFile(src("half.mp4")));  // the last of the suffixes
        const auto listedOnce = [&](const QString &text) {
            return text.count(bad + " (" + PosterFaultText(PosterFault::Unreadable) + ")") == 1;
        };

        Global g = makeGlobal(lib);
        ScriptedDialogService ds;
        int decoded = PostersDecoded();
        QVERIFY(!HtmlFileCreate(g, ds));
        QCOMPARE(PostersDecoded() - decoded, 2);
        QCOMPARE(ds.messages().size(), 1);
        QVERIFY2(listedOnce(ds.messages().at(0).text), qPrintable(ds.messages().at(0).text));
        QVERIFY2(ds.messages().at(0).text.contains(genre + "/sjis/" + QFile::decodeName("\x8e\xca\x90\x5e.jpg")
                                                   + " (ファイル名がUTF-8ではないため開けません)"),
                 qPrintable(ds.messages().at(0).text));
        const QStringList posters = QDir(out + "/posters").entryList({"*.jpg"});
        QCOMPARE(posters.size(), 1);
        QCOMPARE(QImage(out + "/posters/" + posters.at(0)).size(), QSize(135, 240));
        const QByteArray page = readFile(genre + "/nIndex.html");
        QVERIFY(page.contains("<img src='photo/a.jpg' height='90px' width='120px'><br>"));
        QVERIFY(page.contains("<img src='drawn/w.webp' height='80px' width='120px'><br>"));
        QVERIFY2(page.contains("<img src='../../../out/posters/" + posters.at(0).toUtf8()
                               + "' height='120px' width='68px' title='動画'><br>\r\nvideo<br>"),
                 page.constData());

        QVERIFY(QFile::copy(m_turned, genre + "/photo/b.mp4"));  // the photo stays
        ScriptedDialogService again;
        decoded = PostersDecoded();
        QVERIFY(!HtmlFileCreate(g, again));
        QCOMPARE(PostersDecoded() - decoded, 0);
        QVERIFY(listedOnce(again.messages().at(0).text));
        QCOMPARE(readFile(genre + "/nIndex.html"), page);

        QVERIFY(QFile::remove(genre + "/video/clip.mp4"));  // its poster goes
        const CliResult r = runCli({"generate", lib});
        QVERIFY2(r.exitCode == 1 && listedOnce(r.err), qPrintable(r.err));
        QCOMPARE(QDir(out + "/posters").entryList({"*.jpg"}), QStringList());
        QVERIFY(!readFile(genre + "/nIndex.html").contains("title='動画'"));
        QCOMPARE(::unlink(QFile::encodeName(genre + "/sjis/").append("\x8e\xca\x90\x5e.jpg").constData()), 0);
    }

    // What a copy draws from videos and photos is judged as the file itself: a video
    // linked out of the album, a title folder linked out, a genre folder swapped for a
    // link and a photo swapped for a FIFO while copies are made give the copy and the
    // caches no pixel of theirs, and no run hangs.
    void publishDrawsOnlyFromTheAlbum()
    {
        const QString root = makeDir(m_dir.path() + "/drawn");
        const QString lib = makeLibrary(root);
        const QString out = makeDir(root + "/out"), base = makeDir(root + "/base"), priv = makeDir(root + "/private");
        const QString genre = makeDir(base + "/C/G"), swapped = makeDir(base + "/C/S");
        QVERIFY(ffmpeg({"-f", "lavfi", "-i", "color=c=magenta:s=64x48:r=5:d=1", "-c:v", "mpeg4", priv + "/clip.mp4"}));
        makeDir(priv + "/dir");
        QVERIFY(QFile::copy(priv + "/clip.mp4", priv + "/dir/clip.mp4"));
        QImage magenta(64, 48, QImage::Format_RGB32), green(64, 48, QImage::Format_RGB32);
        magenta.fill(qRgb(255, 0, 255));
        green.fill(Qt::green);
        QVERIFY(magenta.save(writeFile(makeDir(priv + "/S/t") + "/p.jpg")) && green.save(makeDir(swapped + "/t") + "/p.jpg"));
        QVERIFY(QFile::link(priv + "/S", base + "/C/S.link"));
        const QString fifoTitle = makeDir(genre + "/fifo");
        QVERIFY(green.save(fifoTitle + "/p.jpg") && ::mkfifo(QFile::encodeName(fifoTitle + "/p.fifo").constData(), 0600) == 0);

        sql(lib, "insert into allTop (ID, allTop) values (1, ?)", {base});
        sql(lib, "insert into systemdir (ID, htmlDir) values (1, ?)", {out});
        sql(lib, "insert into photoGraph (ID, topFolder, topFolderName) values (1, ?, 'C')", {base + "/C"});
        sql(lib, "insert into photoYear (ID, ID1, yearFolder, yearFolderName) values (1, 1, ?, 'G')", {genre});
        sql(lib, "insert into photoYear (ID, ID1, yearFolder, yearFolderName) values (1, 2, ?, 'S')", {swapped});
        for (const char *t : {"own", "linkclip", "linkdir", "fifo"})
            sql(lib, "insert into photoIvents (ID, ID1, iventsFolderName, iventsFolder) values (1, 1, ?, ?)",
                {t, genre + "/" + t});
        sql(lib, "insert into photoIvents (ID, ID1, iventsFolderName, iventsFolder) values (1, 2, 't', ?)", {swapped + "/t"});
        QVERIFY(QFile::copy(m_turned, makeDir(genre + "/own") + "/clip.mp4"));
        QVERIFY(QFile::link(priv + "/clip.mp4", makeDir(genre + "/linkclip") + "/clip.mp4"));
        QVERIFY(QFile::link(priv + "/dir", genre + "/linkdir"));

        const QString copy = root + "/copy";
        CliResult r = runCli({"publish", lib, copy});
        QCOMPARE(r.exitCode, 1);
        for (const QString &left : {genre + "/linkclip/clip.mp4", genre + "/linkdir/clip.mp4"})
            QVERIFY2(r.out.contains("  " + left), qPrintable(r.out));
        QCOMPARE(QDir(copy + "/posters").entryList(QDir::Files).size(), 1);
        QCOMPARE(QDir(copy + "/thumbs").entryList(QDir::Files).size(), 2);

        // The private tree, by content, stays as it was whatever the runs do.
        const auto sums = [&] {
            QStringList s;
            QDirIterator it(priv, QDir::Files, QDirIterator::Subdirectories);
            while (it.hasNext()) {
                const QString f = it.next();
                s << f + " " + QCryptographicHash::hash(readFile(f), QCryptographicHash::Sha1).toHex();
            }
            s.sort();
            return s;
        };
        const QStringList before = sums();
        {
            Swapper genreSwap(swapped, base + "/C/S.link"), fifoSwap(fifoTitle + "/p.jpg", fifoTitle + "/p.fifo");
            for (int run = 0; run < 6; ++run) {
                r = runCli({"publish", lib, copy});
                QVERIFY2(r.exitCode == 0 || r.exitCode == 1, qPrintable(r.err));
            }
            QVERIFY(genreSwap.swaps > 0 && fifoSwap.swaps > 0);
        }
        // Put back as it was (the swaps stop at any point), then a run with no attack.
        if (QFileInfo(swapped).isSymLink())
            QVERIFY(::syscall(SYS_renameat2, AT_FDCWD, QFile::encodeName(swapped).constData(), AT_FDCWD,
                              QFile::encodeName(base + "/C/S.link").constData(), RENAME_EXCHANGE) == 0);
        if (!QFileInfo(fifoTitle + "/p.jpg").isFile())
            QVERIFY(::syscall(SYS_renameat2, AT_FDCWD, QFile::encodeName(fifoTitle + "/p.jpg").constData(), AT_FDCWD,
                              QFile::encodeName(fifoTitle + "/p.fifo").constData(), RENAME_EXCHANGE) == 0);
        r = runCli({"publish", lib, copy});
        QCOMPARE(r.exitCode, 1);  // the linked videos, still listed
        QCOMPARE(sums(), before);
        QCOMPARE(magentaPictures(copy), QStringList());
        QCOMPARE(magentaPictures(out), QStringList());
        QVERIFY(readFile(copy + "/genres/C/S/nIndex.html").contains("<img src='../../../thumbs/"));
    }
};

QTEST_GUILESS_MAIN(TestPoster)
#include "test_poster.moc"
