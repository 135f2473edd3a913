// Site generation speed: builds libraries of 10,000, 50,000 and 100,000 titles
// (10 categories, 10 to 100 genres each, 100 titles per genre, one photo per title and
// a 3 MB photo with a 20 KB Exif block in every hundredth), then times `generate`
// against its floor measured in the same run with plain system calls: walk the tree
// with readdir and read the first 4 KiB of every photo. Then times `publish` into an
// empty folder (a small thumbnail made of every photo, which is a 64 x 48 JPEG here)
// against the floor of the folders made and the photos linked with plain system calls,
// and again into that copy (nothing to decode or copy).
//
// Each run's peak memory (VmHWM after the peak is reset) is printed beside it; target:
// the largest library's peak within 1.2 x the smallest's.
//
// --trees DIR keeps each size's tree and set library in DIR/tN and uses them again in a
// later run (the 100k tree takes minutes to build and set); the site and copy are made anew.
// Options: --help.
#include "../BenchSupport.h"
#include "AutoSet.h"
#include "Database.h"
#include "DialogService.h"
#include "Global.h"
#include "HtmlOut.h"
#include "Library.h"
#include "Publish.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tessaly;

namespace {

// A real w x h JPEG (the copy makes a thumbnail of every photo), with an Exif block of
// exifBytes before its frame header.
QByteArray jpeg(int w, int h, int exifBytes)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(0x4080C0);
    QBuffer buf;
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, "jpeg", 80);
    QByteArray b = buf.data();
    if (exifBytes > 0) {
        const int len = exifBytes + 2;
        b.insert(2, QByteArray("\xFF\xE1", 2) + char(len >> 8) + char(len) + QByteArray(exifBytes, 'E'));
    }
    return b;
}

void writeBytes(const std::string &path, const QByteArray &bytes, off_t size)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || ::write(fd, bytes.constData(), size_t(bytes.size())) != bytes.size()
        || (size > bytes.size() && ::ftruncate(fd, size) != 0)) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
    ::close(fd);
}

// 10 categories x genres x 100 titles; every title holds a photo (and some a text file).
void makeTree(const std::string &base, int genres)
{
    const QByteArray small = jpeg(64, 48, 0);
    const QByteArray big = jpeg(64, 48, 20 * 1024);  // padded after its end to 3 MB
    ::mkdir(base.c_str(), 0755);
    char name[64];
    for (int c = 0; c < 10; ++c) {
        std::snprintf(name, sizeof name, "/cat%02d", c);
        const std::string cat = base + name;
        ::mkdir(cat.c_str(), 0755);
        for (int g = 0; g < genres; ++g) {
            std::snprintf(name, sizeof name, "/genre%03d", g);
            const std::string genre = cat + name;
            ::mkdir(genre.c_str(), 0755);
            for (int t = 0; t < 100; ++t) {
                std::snprintf(name, sizeof name, "/title%03d", t);
                const std::string title = genre + name;
                ::mkdir(title.c_str(), 0755);
                if (t % 100 == 7)  // a camera photo: the frame header after the Exif block, 3 MB (sparse)
                    writeBytes(title + "/IMG_0001.JPG", big, 3 * 1024 * 1024);
                else
                    writeBytes(title + "/photo.jpg", small, small.size());
                if (t % 10 == 3)
                    writeBytes(title + "/notes.txt", "notes", 5);
            }
        }
    }
}

// The floor: every folder listed with readdir, and the first 4 KiB of every photo read.
int floorWalk(const std::string &folder, int depth)
{
    DIR *d = ::opendir(folder.c_str());
    if (!d)
        return 0;
    int photos = 0;
    char buf[4096];
    while (const dirent *e = ::readdir(d)) {
        if (e->d_name[0] == '.')
            continue;
        const std::string path = folder + "/" + e->d_name;
        if (depth < 3) {
            if (e->d_type == DT_DIR)
                photos += floorWalk(path, depth + 1);
            continue;
        }
        const size_t len = std::strlen(e->d_name);
        if (len > 4 && strcasecmp(e->d_name + len - 4, ".jpg") == 0) {
            const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
            if (fd >= 0) {
                if (::read(fd, buf, sizeof buf) > 0)
                    ++photos;
                ::close(fd);
            }
        }
    }
    ::closedir(d);
    return photos;
}

// The floor of a first publish: the tree's folders made again elsewhere and every
// photo hard-linked into them.
int linkWalk(const std::string &from, const std::string &to, int depth)
{
    DIR *d = ::opendir(from.c_str());
    if (!d || ::mkdir(to.c_str(), 0755) != 0) {
        if (d)
            ::closedir(d);
        return 0;
    }
    int photos = 0;
    while (const dirent *e = ::readdir(d)) {
        if (e->d_name[0] == '.')
            continue;
        const std::string path = from + "/" + e->d_name, copy = to + "/" + e->d_name;
        const size_t len = std::strlen(e->d_name);
        if (depth < 3 && e->d_type == DT_DIR)
            photos += linkWalk(path, copy, depth + 1);
        else if (depth == 3 && len > 4 && strcasecmp(e->d_name + len - 4, ".jpg") == 0)
            photos += ::link(path.c_str(), copy.c_str()) == 0;
    }
    ::closedir(d);
    return photos;
}

struct Time {
    double wall = 1e9, cpu = 1e9;
};

// Peak resident memory from here on, in MiB, read by peakMiB().
void resetPeak()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}
double peakMiB()
{
    return tessaly::bench::StatusKiB("VmHWM:") / 1024.0;
}

template <typename F>
Time best(int runs, F f)
{
    Time t;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer wall;
        const double cpu0 = tessaly::bench::CpuSeconds();
        wall.start();
        f();
        t.wall = std::min(t.wall, wall.nsecsElapsed() / 1e9);
        t.cpu = std::min(t.cpu, tessaly::bench::CpuSeconds() - cpu0);
    }
    return t;
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const tessaly::bench::Options options(
        app.arguments(),
        "generate and publish at 10,000, 50,000 and 100,000 titles (one photo each), each size in a process of its"
        " own, against their floors; peak memory of each.",
        "generate: the tree walked with readdir and the first 4 KiB of every photo read; publish: the folders made"
        " and the photos hard-linked (plain system calls); publish again: no floor, nothing to decode or copy",
        {tessaly::bench::kTemplateOption,
         {"--titles", "N,N,...", "library sizes in titles, down to whole thousands (default 10000,50000,100000)"},
         {"--trees", "DIR", "keep each size's tree and set library in DIR/tN and use them again"},
         {"--keep", nullptr, "keep the temporary folder"}});
    const QString templatePath = tessaly::bench::TemplatePath(options);
    if (templatePath.isEmpty())
        return 1;
    tessaly::bench::UseBuiltAlbumTemplates();
    QList<int> sizes = options.numbers("--titles", {10000, 50000, 100000}, 1000);
    for (int &n : sizes)
        n = n / 1000 * 1000;
    const QString trees = options.value("--trees");

    std::printf("%8s %-5s %9s %10s %7s %8s %10s %7s %8s %9s %9s\n", "titles", "time", "floor s", "generate s", "ratio",
                "links s", "publish s", "ratio", "again s", "gen MiB", "pub MiB");
    // Each size in a process of its own, so that no size's peak holds what an earlier one
    // left behind.
    const auto runSize = [&](int titles, double *genPeak, double *pubPeak) -> int {
        if (!trees.isEmpty())
            QDir().mkpath(trees);
        // Beside the trees, so that publish can link rather than copy.
        QTemporaryDir tmp(trees.isEmpty() ? QDir::tempPath() + QStringLiteral("/bench_generate-XXXXXX")
                                          : trees + QStringLiteral("/run-XXXXXX"));
        if (options.has("--keep")) {
            tmp.setAutoRemove(false);
            std::fprintf(stderr, "kept %s\n", qPrintable(tmp.path()));
        }
        // Apart from the site and the copy: a tree made anew is made in an empty folder.
        const QString work = (trees.isEmpty() ? tmp.path() : trees) + QStringLiteral("/t%1").arg(titles);
        const QString base = work + QStringLiteral("/base");
        const QString lib = work + QStringLiteral("/lib.mdb");
        const QString out = tmp.path() + QStringLiteral("/out");
        QDir().mkpath(out);
        Global g;
        g.dbConnectString = MakeConnectString(lib);
        ConsoleDialogService ds(MsgAnswer::Yes);
        const QString ready = work + QStringLiteral("/ready");
        if (trees.isEmpty() || !QFile::exists(ready)) {
            QDir(work).removeRecursively();
            QDir().mkpath(work);
            makeTree(QFile::encodeName(base).toStdString(), titles / 1000);
            tessaly::bench::NewLibrary(templatePath, lib);
            {
                Connection c(g.dbConnectString);
                c.exec(QStringLiteral("insert into allTop (ID, allTop) values (1, ?)"), {base});
                c.exec(QStringLiteral("insert into systemdir (ID, htmlDir) values (1, ?)"), {out});
            }
            RunAutoSetPasses(g, ds, nullptr);
            QFile f(ready);
            f.open(QIODevice::WriteOnly);
        } else {
            Connection c(g.dbConnectString);
            c.exec(QStringLiteral("update systemdir set htmlDir = ? where ID = 1"), {out});
        }

        const std::string baseText = QFile::encodeName(base).toStdString();
        int photos = 0;
        const Time floor = best(3, [&] { photos = floorWalk(baseText, 0); });
        bool ok = true;
        ::malloc_trim(0);  // what the set-up freed goes back first: the peak is the run's own
        resetPeak();
        const Time gen = best(3, [&] { ok = HtmlFileCreate(g, ds) && ok; });
        *genPeak = peakMiB();
        int linked = 0;
        const Time links = best(1, [&] { linked = linkWalk(baseText, QFile::encodeName(tmp.path()).toStdString() + "/links", 0); });
        PublishSummary first, again;
        const QString copy = tmp.path() + QStringLiteral("/copy");
        ::malloc_trim(0);
        resetPeak();
        const Time pub = best(1, [&] { ok = PublishSite(g, ds, copy, &first) && ok; });
        *pubPeak = peakMiB();
        const Time re = best(3, [&] { ok = PublishSite(g, ds, copy, &again) && ok; });
        if (photos != titles || !ok || ds.messageCount() != 0 || linked != titles || first.thumbnails != titles
            || again.thumbnails != 0 || first.copied != titles || again.unchanged != titles) {
            std::fprintf(stderr, "unexpected result: %d photos, %d messages, %d copied, %d thumbnails, %d again, %d unchanged\n",
                         photos, ds.messageCount(), first.copied, first.thumbnails, again.thumbnails, again.unchanged);
            return 1;
        }
        std::printf("%8d %-5s %9.3f %10.3f %7.2f %8.3f %10.3f %7.2f %8.3f %9.1f %9.1f\n", titles, "wall", floor.wall,
                    gen.wall, gen.wall / floor.wall, links.wall, pub.wall, pub.wall / (links.wall + gen.wall), re.wall,
                    *genPeak, *pubPeak);
        std::printf("%8s %-5s %9.3f %10.3f %7.2f %8.3f %10.3f %7.2f %8.3f\n", "", "cpu", floor.cpu, gen.cpu,
                    gen.cpu / floor.cpu, links.cpu, pub.cpu, pub.cpu / (links.cpu + gen.cpu), re.cpu);
        std::fflush(stdout);
        return 0;
    };
    double first[2] = {0, 0}, last[2] = {0, 0};
    for (const int titles : sizes) {
        std::fflush(stdout);
        int pipeFds[2];
        if (::pipe(pipeFds) != 0)
            return 1;
        const pid_t pid = ::fork();
        if (pid == 0) {
            double peaks[2] = {0, 0};
            const int rc = runSize(titles, &peaks[0], &peaks[1]);
            std::fflush(stdout);
            _exit(rc != 0 || ::write(pipeFds[1], peaks, sizeof peaks) != sizeof peaks);
        }
        ::close(pipeFds[1]);
        double peaks[2] = {0, 0};
        const bool got = ::read(pipeFds[0], peaks, sizeof peaks) == sizeof peaks;
        ::close(pipeFds[0]);
        int status = 0;
        ::waitpid(pid, &status, 0);
        if (!got || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
            return 1;
        if (first[0] == 0)
            std::copy(peaks, peaks + 2, first);
        std::copy(peaks, peaks + 2, last);
    }
    std::printf("\npeak memory of the largest library against the smallest's: generate %.2f x, publish %.2f x"
                " (target: at most 1.2)\n", last[0] / first[0], last[1] / first[1]);
    return 0;
}
