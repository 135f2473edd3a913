// Thumbnails for the published copy: what a genre page of the copy loads, and how fast
// thumbnails are made against vipsthumbnail (Debian libvips-tools).
//
// Options: --help.
//
// Makes N camera photos (default 24): 4000 x 3000, JPEG quality 95 with a grain that
// keeps them at several MB, each with an Exif block holding a camera name, a GPS
// position and, for every fourth, orientation 6 (stored on its side). Puts them in one
// genre of a library and publishes it: the genre page of the copy must load at most
// 960 KB of pictures, none with Exif left, each box upright; a second publish must
// decode nothing. Then times making the thumbnails alone (a fresh cache each round) and
// vipsthumbnail --size 240 over the same files, the files split between as many
// vipsthumbnail processes as there are workers (each with VIPS_CONCURRENCY=1); best of
// the rounds, the two taking turns. Target: at least vipsthumbnail's rate.
#include "../BenchSupport.h"
#include "Database.h"
#include "DialogService.h"
#include "Global.h"
#include "Library.h"
#include "Publish.h"
#include "ThumbCache.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>

using namespace tessaly;

namespace {

QByteArray le16(uint32_t v) { return QByteArray(1, char(v)) + char(v >> 8); }
QByteArray le32(uint32_t v) { return le16(v) + le16(v >> 16); }
QByteArray be16(uint32_t v) { return QByteArray(1, char(v >> 8)) + char(v); }

// An Exif block as a camera writes it: IFD0 with the camera's name, the orientation and
// the GPS directory's place; the GPS directory with a latitude and a longitude.
QByteArray cameraExif(int orientation, int n)
{
    const auto entry = [](uint16_t tag, uint16_t type, uint32_t count, const QByteArray &value) {
        return le16(tag) + le16(type) + le32(count) + value.leftJustified(4, '\0');
    };
    constexpr uint32_t ifd0 = 8, ifd0Size = 2 + 3 * 12 + 4;
    constexpr uint32_t make = ifd0 + ifd0Size, makeSize = 12;
    constexpr uint32_t gps = make + makeSize, gpsSize = 2 + 4 * 12 + 4;
    constexpr uint32_t lat = gps + gpsSize, lon = lat + 24;
    QByteArray t = "II" + le16(42) + le32(ifd0);
    t += le16(3) + entry(0x010F, 2, makeSize, le32(make)) + entry(0x0112, 3, 1, le16(uint32_t(orientation)))
         + entry(0x8825, 4, 1, le32(gps)) + le32(0);
    t += QByteArray("BenchCamera").leftJustified(int(makeSize), '\0');
    t += le16(4) + entry(1, 2, 2, "N") + entry(2, 5, 3, le32(lat)) + entry(3, 2, 2, "E") + entry(4, 5, 3, le32(lon))
         + le32(0);
    for (const uint32_t deg : {35u, 139u})
        t += le32(deg) + le32(1) + le32(uint32_t(n % 60)) + le32(1) + le32(1234) + le32(100);
    t += QByteArray(16 * 1024, 'M');  // a maker's notes
    const QByteArray payload = "Exif" + QByteArray(2, 0) + t;
    return "\xFF\xE1" + be16(uint32_t(payload.size() + 2)) + payload;
}

// A 4000 x 3000 picture: four coloured quarters under a fine grain, as a sensor's noise
// keeps a camera's JPEG large.
QByteArray cameraJpeg()
{
    QImage img(4000, 3000, QImage::Format_RGB32);
    QRandomGenerator rng(42);
    for (int y = 0; y < img.height(); ++y) {
        QRgb *line = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            const QRgb base = QList<QRgb>{0xC04040, 0x40C040, 0x4040C0, 0xC0C040}[(y >= 1500) * 2 + (x >= 2000)];
            const int g = int(rng.bounded(96)) - 48;
            line[x] = qRgb(qBound(0, qRed(base) + g, 255), qBound(0, qGreen(base) + g, 255), qBound(0, qBlue(base) + g, 255));
        }
    }
    QBuffer buf;
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, "jpeg", 95);
    return buf.data();
}

// Seconds of the best round of each, the rounds taking turns so that a machine whose
// load changes meanwhile weighs on both alike.
template <typename A, typename B>
std::pair<double, double> bestInTurns(int rounds, A a, B b)
{
    double ta = 1e9, tb = 1e9;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer timer;
        timer.start();
        a(i);
        ta = std::min(ta, timer.nsecsElapsed() / 1e9);
        timer.restart();
        b(i);
        tb = std::min(tb, timer.nsecsElapsed() / 1e9);
    }
    return {ta, tb};
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const tessaly::bench::Options options(
        app.arguments(), "Thumbnails of the published copy: what a genre page loads, and how fast they are made.",
        "vipsthumbnail --size 240 over the same files, split between as many processes as workers"
        " (VIPS_CONCURRENCY=1)",
        {tessaly::bench::kTemplateOption,
         {"--photos", "N", "camera photos of 4000 x 3000 (default 24)"},
         {"--workers", "N", "threads / vipsthumbnail processes (default: all cores)"},
         {"--rounds", "N", "rounds, best kept (default 3)"},
         {"--keep", nullptr, "keep the temporary folder"}});
    const QString templatePath = tessaly::bench::TemplatePath(options);
    if (templatePath.isEmpty())
        return 1;
    tessaly::bench::UseBuiltAlbumTemplates();
    const int count = options.number("--photos", 24), workers = options.number("--workers", QThread::idealThreadCount());
    const int rounds = options.number("--rounds", 3);
    const QString vips = QStandardPaths::findExecutable(QStringLiteral("vipsthumbnail"));
    if (count < 1 || workers < 1 || vips.isEmpty()) {
        std::fprintf(stderr, "needs at least one photo and one worker, and vipsthumbnail (libvips-tools)\n");
        return 2;
    }
    QTemporaryDir tmp;
    tmp.setAutoRemove(!options.has("--keep"));
    const QString root = tmp.path();

    std::printf("making %d camera photos of 4000 x 3000 in %s\n", count, qPrintable(root));
    const QByteArray body = cameraJpeg();
    const QString lib = tessaly::bench::NewLibrary(templatePath, root + QStringLiteral("/lib.mdb"));
    const QString genre = root + QStringLiteral("/base/旅行/2024");
    Global g;
    g.dbConnectString = MakeConnectString(lib);
    QStringList photos;
    qint64 originals = 0;
    {
        Connection c(g.dbConnectString);
        c.exec(QStringLiteral("insert into allTop (ID, allTop) values (1, ?)"), {root + QStringLiteral("/base")});
        c.exec(QStringLiteral("insert into systemdir (ID, htmlDir) values (1, ?)"), {root + QStringLiteral("/out")});
        c.exec(QStringLiteral("insert into photoGraph (ID, topFolder, topFolderName) values (1, ?, '旅行')"),
               {root + QStringLiteral("/base/旅行")});
        c.exec(QStringLiteral("insert into photoYear (ID, ID1, yearFolder, yearFolderName) values (1, 1, ?, '2024')"), {genre});
        for (int i = 0; i < count; ++i) {
            const QString title = QStringLiteral("%1/day%2").arg(genre).arg(i, 2, 10, QLatin1Char('0'));
            QDir().mkpath(title);
            QFile f(title + QStringLiteral("/IMG_%1.JPG").arg(1000 + i));
            const QByteArray bytes = body.left(2) + cameraExif(i % 4 == 1 ? 6 : 1, i) + body.mid(2);
            if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
                return std::fprintf(stderr, "cannot write %s\n", qPrintable(f.fileName())), 1;
            photos << f.fileName();
            originals += bytes.size();
            c.exec(QStringLiteral("insert into photoIvents (ID, ID1, iventsFolderName, iventsFolder) values (1, 1, ?, ?)"),
                   {QStringLiteral("day%1").arg(i, 2, 10, QLatin1Char('0')), title});
        }
    }
    QDir().mkpath(root + QStringLiteral("/out"));

    // The copy: what its genre page loads.
    ConsoleDialogService ds(MsgAnswer::Yes);
    const QString copy = root + QStringLiteral("/copy");
    PublishSummary first, again;
    QElapsedTimer t;
    t.start();
    const bool published = PublishSite(g, ds, copy, &first);
    const double publishSeconds = t.nsecsElapsed() / 1e9;
    const QString pagePath = copy + QStringLiteral("/genres/旅行/2024/nIndex.html");
    QFile pageFile(pagePath);
    if (!published || !pageFile.open(QIODevice::ReadOnly))
        return std::fprintf(stderr, "publish failed:\n%s\n", qPrintable(PublishSummaryText(copy, first, 10))), 1;
    const QString page = QString::fromUtf8(pageFile.readAll());
    static const QRegularExpression img(QStringLiteral("<img src='([^']+)' height='(\\d+)px' width='(\\d+)px'>"));
    qint64 loaded = 0;
    int pictures = 0, withExif = 0, wrongShape = 0;
    for (auto it = img.globalMatch(page); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const QString file = QDir::cleanPath(QFileInfo(pagePath).path() + QLatin1Char('/') + m.captured(1));
        QFile f(file);
        const QByteArray bytes = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        const QImage thumb = QImage::fromData(bytes);
        ++pictures;
        loaded += bytes.size();
        withExif += bytes.contains("Exif") || bytes.contains("BenchCamera") ? 1 : 0;
        // The box and the thumbnail stand the same way: upright.
        const bool boxTall = m.captured(2).toInt() > m.captured(3).toInt();
        wrongShape += thumb.isNull() || (thumb.height() > thumb.width()) != boxTall ? 1 : 0;
    }
    int tall = 0;
    for (auto it = img.globalMatch(page); it.hasNext();)
        tall += it.next().captured(2) == QLatin1String("120") ? 1 : 0;
    const int decodedBefore = ThumbnailsDecoded();
    const bool republished = PublishSite(g, ds, copy, &again);
    const int decodedAgain = ThumbnailsDecoded() - decodedBefore;

    std::printf("\noriginals: %d photos, %.1f MB (what the page loaded before thumbnails)\n", count, originals / 1e6);
    std::printf("publish: %.2f s, %d thumbnails made; genre page loads %d pictures, %.1f KB in all (target <= 960 KB)\n",
                publishSeconds, first.thumbnails, pictures, loaded / 1024.0);
    std::printf("pictures with Exif left: %d; upright boxes (portrait): %d of %d expected; thumbnails not as upright as their box: %d\n",
                withExif, tall, (count + 2) / 4, wrongShape);
    std::printf("second publish: %d pictures decoded\n", decodedAgain);

    // The rate: our cache against vipsthumbnail, on the same files and worker count.
    for (const QString &p : photos) {  // both read from the page cache
        QFile f(p);
        f.open(QIODevice::ReadOnly);
        f.readAll();
    }
    const auto [ours, peer] = bestInTurns(rounds, [&](int round) {
        const QString out = root + QStringLiteral("/rate%1").arg(round);
        QDir().mkpath(out);
        ThumbCache cache(out);
        cache.make(photos, {}, workers);
    }, [&](int round) {
        const QString out = root + QStringLiteral("/vips%1").arg(round);
        QDir().mkpath(out);
        QList<QProcess *> procs;
        for (int w = 0; w < workers; ++w) {
            QStringList files;
            for (int i = w; i < photos.size(); i += workers)
                files << photos.at(i);
            if (files.isEmpty())
                continue;
            auto *p = new QProcess;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("VIPS_CONCURRENCY"), QStringLiteral("1"));
            p->setProcessEnvironment(env);
            p->start(vips, QStringList{QStringLiteral("--size"), QStringLiteral("240"), QStringLiteral("-o"),
                                       out + QStringLiteral("/%s.jpg[Q=85,strip]")} + files);
            procs << p;
        }
        for (QProcess *p : procs) {
            p->waitForFinished(600000);
            delete p;
        }
    });
    const int vipsMade = int(QDir(root + QStringLiteral("/vips0")).entryList({QStringLiteral("*.jpg")}).size());
    std::printf("\n%-34s %8s %10s %12s\n", "", "photos", "seconds", "photos/s");
    std::printf("%-34s %8d %10.3f %12.2f\n", "tessaly thumbnails", count, ours, count / ours);
    std::printf("%-34s %8d %10.3f %12.2f   (%d made)\n", "vipsthumbnail --size 240", count, peer, count / peer, vipsMade);
    const double ratio = (count / ours) / (count / peer);
    std::printf("\n%d workers; our rate is %.2f of vipsthumbnail's\n", workers, ratio);
    const bool ok = republished && loaded <= 960 * 1024 && withExif == 0 && wrongShape == 0 && pictures == count
                    && tall == (count + 2) / 4 && decodedAgain == 0 && ratio >= 1.0 && vipsMade == count;
    std::printf("%s\n", ok ? "within target" : "OUTSIDE TARGET");
    return ok ? 0 : 1;
}
