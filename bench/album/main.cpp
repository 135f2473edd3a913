// The web album of a published copy: how fast its renditions are made, what a second
// publish with nothing changed costs, and the publish's peak memory.
//
// Options: --help.
//
// 1. Rendition rate: N camera-like photos (default 60, 4000 x 3000, gradients under a
//    grain) are made once; then the four renditions of each (long sides 256, 512, 1280,
//    2048) through MakeRenditions, one photo per thread on as many threads as workers (all
//    cores by default, as the album does), each rendition written to a file; floor:
//    vipsthumbnail making the same four files per photo, the photos split between as
//    many processes as workers (VIPS_CONCURRENCY=1), one run per size per process.
// 2. Re-publish: a library of T titles (default 2000, one photo each) published once with
//    tessaly-cli, its CPU against vipsthumbnail making the same five pictures of each photo;
//    then CPU (user + sys) of a second publish with nothing changed; floor:
//    `rsync -a` over the photos into a mirror plus over the copy into a second copy, both
//    mirrored once before.
// 3. Peak memory (ru_maxrss) of the first and the second publish at two library sizes.
#include "../BenchSupport.h"
#include "SourceFile.h"
#include "Thumbnail.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tessaly;

namespace {

const QList<int> kSides = {256, 512, 1280, 2048};
constexpr int kQuality = 82;  // the album's

// A w x h JPEG: a diagonal gradient shifted by seed under a sensor-like grain.
QByteArray photo(int w, int h, int seed, int quality)
{
    QImage img(w, h, QImage::Format_RGB32);
    uint32_t s = 2463534242u + uint32_t(seed) * 7919u;
    for (int y = 0; y < h; ++y) {
        QRgb *line = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < w; ++x) {
            s ^= s << 13, s ^= s >> 17, s ^= s << 5;
            const int g = int(s & 63) - 32;
            const int r = (x * 255 / w + seed * 37) & 255, gr = y * 255 / h, b = ((x + y) * 255 / (w + h) + seed * 91) & 255;
            line[x] = qRgb(qBound(0, r + g, 255), qBound(0, gr + g, 255), qBound(0, b + g, 255));
        }
    }
    QBuffer buf;
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, "jpeg", quality);
    return buf.data();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

pid_t spawn(const QStringList &argv, const QList<QByteArray> &env = {})
{
    std::vector<QByteArray> bytes;
    for (const QString &a : argv)
        bytes.push_back(QFile::encodeName(a));
    std::vector<char *> cargv;
    for (QByteArray &b : bytes)
        cargv.push_back(b.data());
    cargv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        for (const QByteArray &e : env)
            ::putenv(const_cast<char *>(e.constData()));
        const int null = ::open("/dev/null", O_WRONLY);  // the tools' summaries are not the figures
        ::dup2(null, 1);
        ::execv(cargv[0], cargv.data());
        _exit(127);
    }
    return pid;
}

// Runs argv to its end; *cpu: user + sys of it and what it waited for, *peakKiB: its ru_maxrss.
bool run(const QStringList &argv, double *cpu = nullptr, long *peakKiB = nullptr)
{
    const pid_t pid = spawn(argv);
    int status = 0;
    rusage ru {};
    if (pid < 0 || ::wait4(pid, &status, 0, &ru) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "failed: %s\n", qPrintable(argv.join(QLatin1Char(' '))));
        return false;
    }
    if (cpu)
        *cpu = ru.ru_utime.tv_sec + ru.ru_utime.tv_usec / 1e6 + ru.ru_stime.tv_sec + ru.ru_stime.tv_usec / 1e6;
    if (peakKiB)
        *peakKiB = ru.ru_maxrss;
    return true;
}

struct Fixture {
    QString lib, base, copy;
};

// A library of titles titles (100 a genre, 10 genres a category), one 640 x 480 photo each,
// registered with autoset and published once into copy.
// The library of titles, published once; *firstCpu: that publish's CPU (user + sys).
bool makeLibrary(const QString &cli, const QString &dir, int titles, Fixture *fx, long *firstPeakKiB,
                 double *firstCpu = nullptr)
{
    fx->base = dir + QStringLiteral("/base");
    fx->lib = dir + QStringLiteral("/lib.mdb");
    fx->copy = dir + QStringLiteral("/copy");
    QList<QByteArray> bodies;
    for (int i = 0; i < 8; ++i)
        bodies << photo(640, 480, i, 85);
    for (int t = 0; t < titles; ++t) {
        const QString title = QStringLiteral("%1/cat%2/genre%3/title%4")
                                  .arg(fx->base)
                                  .arg(t / 1000, 2, 10, QLatin1Char('0'))
                                  .arg(t / 100 % 10)
                                  .arg(t % 100, 2, 10, QLatin1Char('0'));
        if (!QDir().mkpath(title) || !writeFile(title + QStringLiteral("/IMG_0001.JPG"), bodies.at(t % bodies.size())))
            return false;
    }
    return run({cli, QStringLiteral("create"), fx->lib}) && run({cli, QStringLiteral("set-base"), fx->lib, fx->base})
           && run({cli, QStringLiteral("set-output"), QStringLiteral("--create"), fx->lib, dir + QStringLiteral("/out")})
           && run({cli, QStringLiteral("autoset"), QStringLiteral("--yes"), QStringLiteral("-q"), fx->lib})
           && run({cli, QStringLiteral("publish"), QStringLiteral("-q"), fx->lib, fx->copy}, firstCpu, firstPeakKiB);
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const tessaly::bench::Options options(
        app.arguments(), "The web album: rendition rate, a second publish with nothing changed, peak memory of publish.",
        "rendition rate: vipsthumbnail --size S making the same four files per photo, on as many processes as"
        " workers; second publish (CPU): rsync -a of the photos and of the copy into mirrors made before",
        {{"--photos", "N", "camera photos (4000 x 3000) for the rendition rate (default 60)"},
         {"--workers", "N", "threads / vipsthumbnail processes (default: all cores)"},
         {"--titles", "N", "titles of the library re-published against rsync (default 2000)"},
         {"--sizes", "N,N", "titles of the libraries whose publish peak memory is measured (default 1000,5000)"},
         {"--keep", nullptr, "keep the temporary folder"}});
    const int photos = options.number("--photos", 60), titles = options.number("--titles", 2000),
              workers = options.number("--workers", std::max(1, QThread::idealThreadCount()));
    const QList<int> sizes = options.numbers("--sizes", {1000, 5000});
    const bool keep = options.has("--keep");
    const QString cli = QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/tessaly-cli");
    const QString vips = QStandardPaths::findExecutable(QStringLiteral("vipsthumbnail"));
    const QString rsync = QStandardPaths::findExecutable(QStringLiteral("rsync"));
    if (!QFile::exists(cli) || vips.isEmpty() || rsync.isEmpty()) {
        std::fprintf(stderr, "needs %s, vipsthumbnail (libvips-tools) and rsync\n", qPrintable(cli));
        return 1;
    }
    QTemporaryDir tmp(QDir::tempPath() + QStringLiteral("/bench_album-XXXXXX"));
    tmp.setAutoRemove(!keep);
    const QString root = tmp.path();
    if (keep)
        std::fprintf(stderr, "kept %s\n", qPrintable(root));

    // 1. Rendition rate.
    std::printf("1. rendition rate: %d photos of 4000 x 3000, four renditions each (long sides 256, 512, 1280, 2048,"
                " quality %d), %d workers\n   ours: MakeRenditions, one decode per photo, one photo per thread on %d threads,"
                " the renditions written to files\n   floor: vipsthumbnail --size S for each S, the photos split between"
                " %d processes (VIPS_CONCURRENCY=1), i.e. one decode per rendition\n",
                photos, kQuality, workers, workers, workers);
    std::fflush(stdout);
    const QString in = root + QStringLiteral("/photos");
    QDir().mkpath(in);
    QStringList files;
    for (int i = 0; i < photos; ++i) {
        files << in + QStringLiteral("/IMG_%1.JPG").arg(1000 + i);
        if (!writeFile(files.last(), photo(4000, 3000, i, 92)))
            return std::fprintf(stderr, "cannot write %s\n", qPrintable(files.last())), 1;
    }
    const QString ours = root + QStringLiteral("/ours"), theirs = root + QStringLiteral("/vips");
    QDir().mkpath(ours);
    QDir().mkpath(theirs);
    std::atomic<int> next {0}, failed {0};
    QElapsedTimer timer;
    timer.start();
    std::vector<std::thread> pool;
    for (int w = 0; w < workers; ++w)
        pool.emplace_back([&] {
            for (int i; (i = next++) < photos;) {
                const SourceFile src(files.at(i));
                ThumbFault fault;
                QString detail;
                const QList<Rendition> made = MakeRenditions(src, kSides, kQuality, &fault, &detail);
                bool ok = made.size() == kSides.size();
                for (int k = 0; ok && k < made.size(); ++k)
                    ok = writeFile(QStringLiteral("%1/%2-%3.jpg").arg(ours).arg(i).arg(kSides[k]), made[k].jpeg);
                failed += ok ? 0 : 1;
            }
        });
    for (std::thread &t : pool)
        t.join();
    const double oursSec = timer.nsecsElapsed() / 1e9;
    timer.restart();
    std::vector<pid_t> procs;
    for (int w = 0; w < workers; ++w) {
        QStringList share;
        for (int i = w; i < photos; i += workers)
            share << files.at(i);
        if (share.isEmpty())
            continue;
        procs.push_back(::fork());
        if (procs.back() == 0) {  // the four sizes of a share one after another, as one worker would
            for (int side : kSides) {
                int status = 0;
                const pid_t p = spawn(QStringList{vips, QStringLiteral("--size"), QString::number(side), QStringLiteral("-o"),
                                                  theirs + QStringLiteral("/%s-%1.jpg[Q=%2,strip]").arg(side).arg(kQuality)}
                                          + share,
                                      {"VIPS_CONCURRENCY=1"});
                if (p < 0 || ::waitpid(p, &status, 0) != p || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
                    _exit(1);
            }
            _exit(0);
        }
    }
    for (pid_t p : procs) {
        int status = 0;
        ::waitpid(p, &status, 0);
        failed += WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
    }
    const double vipsSec = timer.nsecsElapsed() / 1e9;
    const int oursMade = int(QDir(ours).entryList({QStringLiteral("*.jpg")}).size());
    const int vipsMade = int(QDir(theirs).entryList({QStringLiteral("*.jpg")}).size());
    std::printf("   %-28s %9s %10s %9s\n", "", "files", "seconds", "photos/s");
    std::printf("   %-28s %9d %10.3f %9.2f\n", "MakeRenditions", oursMade, oursSec, photos / oursSec);
    std::printf("   %-28s %9d %10.3f %9.2f\n", "vipsthumbnail", vipsMade, vipsSec, photos / vipsSec);
    std::printf("   ratio (our rate / vipsthumbnail's): %.2f\n\n", vipsSec / oursSec);
    std::fflush(stdout);
    if (failed || oursMade != 4 * photos || vipsMade != 4 * photos)
        return std::fprintf(stderr, "some renditions were not made\n"), 1;

    // 2. Re-publish with nothing changed against rsync.
    std::printf("2. re-publish: a library of %d titles (one 640 x 480 photo each) published once; CPU (user + sys) of a"
                " second `tessaly-cli publish`\n   floor: `rsync -a` of the photos into a mirror plus of the copy into a"
                " second copy, both mirrored once before\n", titles);
    std::fflush(stdout);
    Fixture fx;
    double coldCpu = 0;
    if (!makeLibrary(cli, root + QStringLiteral("/re"), titles, &fx, nullptr, &coldCpu))
        return 1;
    {
        // The first publish made the thumbnail of the classic pages and the album's four
        // renditions of every photo: vipsthumbnail making the same five files of each.
        QStringList all;
        for (QDirIterator it(fx.base, {QStringLiteral("*.JPG")}, QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
            all << it.next();
        const QString out = root + QStringLiteral("/re/vips");
        QDir().mkpath(out);
        double vipsCpu = 0;
        for (int side : QList<int>{ThumbnailLongSide} + kSides)
            for (int from = 0; from < all.size(); from += 500) {  // one process for many photos, as a script would
                double cpu = 0;
                // ">": made smaller only, as the album makes them.
                if (!run(QStringList{vips, QStringLiteral("--size"), QString::number(side) + QLatin1Char('>'), QStringLiteral("-o"),
                                     out + QStringLiteral("/%s-%1.jpg[Q=%2,strip]").arg(side).arg(kQuality)}
                             + all.mid(from, 500),
                         &cpu))
                    return 1;
                vipsCpu += cpu;
            }
        std::printf("   first publish (every picture made, pages written) %.3f CPU s; vipsthumbnail making the same five"
                    " files of each photo (long sides %d, 256, 512, 1280, 2048) %.3f CPU s; ratio %.2f\n",
                    coldCpu, ThumbnailLongSide, vipsCpu, coldCpu / vipsCpu);
    }
    const QString mirror = root + QStringLiteral("/re/mirror"), copy2 = root + QStringLiteral("/re/copy2");
    double pubCpu = 0, rs1 = 0, rs2 = 0;
    if (!run({rsync, QStringLiteral("-a"), fx.base + QLatin1Char('/'), mirror}) || !run({rsync, QStringLiteral("-a"), fx.copy + QLatin1Char('/'), copy2})
        || !run({cli, QStringLiteral("publish"), QStringLiteral("-q"), fx.lib, fx.copy}, &pubCpu)
        || !run({rsync, QStringLiteral("-a"), fx.base + QLatin1Char('/'), mirror}, &rs1)
        || !run({rsync, QStringLiteral("-a"), fx.copy + QLatin1Char('/'), copy2}, &rs2))
        return 1;
    std::printf("   second publish %.3f CPU s; rsync %.3f + %.3f = %.3f CPU s; ratio (publish / rsync) %.2f\n\n", pubCpu, rs1,
                rs2, rs1 + rs2, pubCpu / (rs1 + rs2));
    std::fflush(stdout);

    // 3. Peak memory.
    std::printf("3. peak memory: ru_maxrss of the `tessaly-cli publish` process, first (every rendition made) and second"
                " (nothing changed) run\n   %8s %12s %12s\n", "titles", "first MiB", "second MiB");
    for (int n : sizes) {
        long first = 0, second = 0;
        const QString dir = root + QStringLiteral("/peak%1").arg(n);
        if (!makeLibrary(cli, dir, n, &fx, &first) || !run({cli, QStringLiteral("publish"), QStringLiteral("-q"), fx.lib, fx.copy}, nullptr, &second))
            return 1;
        std::printf("   %8d %12.1f %12.1f\n", n, first / 1024.0, second / 1024.0);
        std::fflush(stdout);
        if (!keep)
            QDir(dir).removeRecursively();  // the next size's tree should not share the disk with this one's
    }
    return 0;
}
