// Image header readers against the floor of reading each file up to its frame header
// with plain system calls (kFloor says how). Options: --help.
//
// Writes N JPEG files of about 3 MB (APP0, a 20 KB Exif block with an orientation,
// tables, then the frame header; the picture data after it is a hole, as no reader
// goes there) and N PNG, GIF and BMP files each, warms the cache, then times, per
// format, in alternating rounds: GetImageSize(mode 0) over every file, and the floor.
// Prints files per second, bytes read per file, and the ratio of the readers' best
// round to the floor's (target: at most 1.5).
//
// Then whole processes over the JPEG files: `tessaly-cli image-size` of all of them in
// one call and of one file, and Pillow (/usr/bin/python3 with Debian's python3-pil:
// Image.open(f).size for every file) as the peer. The per-file cost of the call (all
// files less one file) is set against the same floor over the same files. Targets: the
// call ahead of Pillow, its per-file cost at most 1.5 x the floor. --cli PATH adds the
// rows of another tessaly-cli (an older build).
#include "../BenchSupport.h"
#include "ImageSize.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>
#include <iterator>

#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

using namespace tessaly;

namespace {

QByteArray be16(int v) { return QByteArray(1, char(v >> 8 & 0xFF)) + char(v & 0xFF); }
QByteArray le16(int v) { return QByteArray(1, char(v & 0xFF)) + char(v >> 8 & 0xFF); }
QByteArray le32(uint32_t v) { return le16(int(v & 0xFFFF)) + le16(int(v >> 16)); }
QByteArray be32(uint32_t v) { return be16(int(v >> 16)) + be16(int(v & 0xFFFF)); }
QByteArray segment(int marker, const QByteArray &payload)
{
    return QByteArray(1, char(0xFF)) + char(marker) + be16(int(payload.size()) + 2) + payload;
}

// The bytes up to and including the frame header of a camera-like JPEG.
QByteArray jpegHead(int i)
{
    QByteArray b("\xFF\xD8", 2);
    b += segment(0xE0, QByteArray("JFIF\0\x01\x02\0\0\x01\0\x01\0\0", 14));
    // Exif as a phone writes it: Intel byte order, the first directory right after the
    // header (make, model, orientation, ...), then the rest of the 20 KB block.
    QByteArray tiff("II*\0\x08\0\0\0", 8);
    const int tags[] = {0x010F, 0x0110, 0x0112, 0x011A, 0x011B, 0x0128, 0x0131, 0x0132, 0x0213, 0x8769};
    tiff += le16(int(std::size(tags)));
    for (int tag : tags)
        tiff += le16(tag) + le16(3) + le32(1) + le16(tag == 0x0112 ? 1 + i % 8 : 1) + le16(0);
    tiff += le32(0);
    b += segment(0xE1, QByteArray("Exif\0\0", 6) + tiff + QByteArray(20000 + i % 1000 - int(tiff.size()), char('A' + i % 26)));
    b += segment(0xDB, QByteArray(65, 1)) + segment(0xDB, QByteArray(65, 2));
    b += segment(0xC0, QByteArray(1, 8) + be16(3000 + i % 7) + be16(4000 + i % 5)
                           + QByteArray("\x03\x01\x22\x00\x02\x11\x01\x03\x11\x01", 10));
    return b;
}

// The headers up to the start of the scan; the picture data is left to the writer.
QByteArray jpegFile(int i, qint64 *headerEnd)
{
    QByteArray b = jpegHead(i);
    *headerEnd = b.size();
    return b + segment(0xC4, QByteArray(400, 3)) + segment(0xDA, QByteArray(10, 1));
}

QByteArray pngFile(int i)
{
    QByteArray b("\x89PNG\r\n\x1a\n", 8);
    b += be32(13) + QByteArray("IHDR") + be32(1000 + uint32_t(i)) + be32(700) + char(8) + char(2) + QByteArray(3, 0)
         + be32(0);
    return b + QByteArray(20000, char(0x33)) + be32(0) + QByteArray("IEND") + be32(0);
}

QByteArray gifFile(int i)
{
    return QByteArray("GIF89a") + le16(300 + i % 100) + le16(200) + char(0xF7) + QByteArray(2, 0)
           + QByteArray(30000, char(0x11)) + ";";
}

QByteArray bmpFile(int i)
{
    const int w = 200 + i % 50, h = 150;
    QByteArray b("BM");
    const uint32_t pixels = uint32_t(w * 3 + 3) / 4 * 4 * h;
    b += le32(54 + pixels) + le32(0) + le32(54) + le32(40) + le32(uint32_t(w)) + le32(uint32_t(h)) + le16(1)
         + le16(24) + le32(0) + le32(pixels) + le32(2835) + le32(2835) + le32(0) + le32(0);
    return b + QByteArray(int(pixels), char(0x44));
}

bool write(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// The head, then a hole up to size - 2, then the end of image.
bool writeSparse(const QString &path, const QByteArray &head, qint64 size)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(head) == head.size() && f.seek(size - 2) && f.write("\xFF\xD9", 2) == 2;
}

const char *const kFloor =
    "per file: open, fstat, a read of 512 bytes at the start and, in a JPEG, one at each segment that lies beyond"
    " what was read, hopping from segment to segment up to the frame header; close (plain system calls)";

bool isFrameMarker(unsigned m)
{
    return (m >= 0xC0 && m <= 0xC3) || (m >= 0xC9 && m <= 0xCB);
}

// The floor of one file; the bytes read, or -1 when it cannot be read or is a JPEG whose
// frame header was not reached.
qint64 floorRead(const char *name)
{
    const int fd = ::open(name, O_RDONLY | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0)
        return -1;
    unsigned char buf[512];
    qint64 start = 0;
    ssize_t have = ::pread(fd, buf, sizeof buf, 0);
    qint64 total = have;
    const bool jpeg = have >= 2 && buf[0] == 0xFF && buf[1] == 0xD8;
    bool frame = false;
    if (jpeg) {
        qint64 p = 2;
        while (p + 9 <= st.st_size) {
            if (p + 9 > start + have) {  // the marker, its length and a frame header's size
                if (start == p)
                    break;
                start = p;
                have = ::pread(fd, buf, sizeof buf, p);
                if (have < 0)
                    break;
                total += have;
                continue;
            }
            const unsigned char *b = buf + (p - start);
            if (b[0] != 0xFF || (frame = isFrameMarker(b[1])))
                break;
            p += 2 + (b[2] << 8 | b[3]);
        }
    }
    ::close(fd);
    return have < 0 || (jpeg && !frame) ? -1 : total;
}

// The floor over every file; the bytes read.
qint64 floorPass(const QList<QByteArray> &names)
{
    qint64 bytes = 0;
    for (const QByteArray &name : names) {
        const qint64 got = floorRead(name.constData());
        if (got < 0)
            std::exit(1);
        bytes += got;
    }
    return bytes;
}

struct ProcTime {
    double wall = 1e9, cpu = 1e9;
};

// A process with its output thrown away: wall and the child's user + system time.
bool runProcess(const QList<QByteArray> &cmd, ProcTime *best)
{
    std::vector<char *> argv;
    for (const QByteArray &a : cmd)
        argv.push_back(const_cast<char *>(a.constData()));
    argv.push_back(nullptr);
    timespec t0, t1;
    clock_gettime(CLOCK_MONOTONIC, &t0);
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        dup2(null, 1);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage ru{};
    wait4(pid, &status, 0, &ru);
    clock_gettime(CLOCK_MONOTONIC, &t1);
    best->wall = std::min(best->wall, double(t1.tv_sec - t0.tv_sec) + (t1.tv_nsec - t0.tv_nsec) / 1e9);
    best->cpu = std::min(best->cpu, ru.ru_utime.tv_sec + ru.ru_utime.tv_usec / 1e6 + ru.ru_stime.tv_sec
                                        + ru.ru_stime.tv_usec / 1e6);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Seconds of one pass, in this thread's CPU time (system calls included): on a
// machine shared with builds, wall time mostly measures the wait for a core.
double timed(const std::function<void()> &pass)
{
    const auto now = [] {
        timespec t;
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return t.tv_sec + t.tv_nsec / 1e9;
    };
    const double start = now();
    pass();
    return now() - start;
}

struct Set {
    const char *name;
    QStringList files;
    qint64 bytes = 0;
    qint64 headerEnd = 0;  // JPEG: bytes up to the end of the frame header, summed
};

// The floor of the processes' table: the same as above, in this process.
double floorSeconds(const QStringList &files)
{
    QList<QByteArray> names;
    for (const QString &f : files)
        names << QFile::encodeName(f);
    return timed([&] { floorPass(names); });
}

bool processes(const QStringList &files, int rounds, const QString &otherCli)
{
    if (files.isEmpty())
        return true;
    const QByteArray cli = QFile::encodeName(QCoreApplication::applicationDirPath() + "/../bin/tessaly-cli");
    QList<QByteArray> all = {cli, "image-size"}, one = {cli, "image-size", QFile::encodeName(files.first())};
    QList<QByteArray> otherAll = {QFile::encodeName(otherCli), "image-size"},
                      otherOne = {QFile::encodeName(otherCli), "image-size", QFile::encodeName(files.first())};
    QList<QByteArray> pillow = {"/usr/bin/python3", "-c",
                                "import sys\nfrom PIL import Image\nfor f in sys.argv[1:]:\n"
                                "    with Image.open(f) as i: print(f, i.format, *i.size)\n"};
    for (const QString &f : files) {
        all << QFile::encodeName(f);
        otherAll << QFile::encodeName(f);
        pillow << QFile::encodeName(f);
    }
    const bool havePillow = QProcess::execute("/usr/bin/python3", {"-c", "import PIL"}) == 0;
    ProcTime tAll, tOne, tPillow, tOtherAll, tOtherOne;
    double floorTime = 1e300;
    bool ok = true;
    for (int round = 0; round < std::max(3, rounds / 3); ++round) {
        ok = runProcess(all, &tAll) && runProcess(one, &tOne) && ok;
        if (havePillow)
            ok = runProcess(pillow, &tPillow) && ok;
        if (!otherCli.isEmpty()) {
            runProcess(otherAll, &tOtherAll);
            runProcess(otherOne, &tOtherOne);
        }
        floorTime = std::min(floorTime, floorSeconds(files));
    }
    const int n = int(files.size());
    std::printf("\nwhole processes over the %d JPEG files; best of %d rounds; cpu: user + system of the child\n", n,
                std::max(3, rounds / 3));
    std::printf("floor: as above, in this process (thread CPU)\n");
    std::printf("%-34s %10s %10s\n", "", "wall ms", "cpu ms");
    std::printf("%-34s %10.1f %10.1f\n", "tessaly-cli image-size, all files", tAll.wall * 1e3, tAll.cpu * 1e3);
    std::printf("%-34s %10.1f %10.1f\n", "tessaly-cli image-size, one file", tOne.wall * 1e3, tOne.cpu * 1e3);
    if (!otherCli.isEmpty()) {
        std::printf("%-34s %10.1f %10.1f   (%s)\n", "--cli: image-size, all files", tOtherAll.wall * 1e3,
                    tOtherAll.cpu * 1e3, qPrintable(otherCli));
        std::printf("%-34s %10.1f %10.1f   per file less start-up: %.2f us cpu\n", "--cli: image-size, one file",
                    tOtherOne.wall * 1e3, tOtherOne.cpu * 1e3, (tOtherAll.cpu - tOtherOne.cpu) / (files.size() - 1) * 1e6);
    }
    if (havePillow)
        std::printf("%-34s %10.1f %10.1f\n", "Pillow (python3-pil), all files", tPillow.wall * 1e3, tPillow.cpu * 1e3);
    else
        std::printf("Pillow: not installed (apt-get install python3-pil), no peer row\n");
    std::printf("%-34s %10s %10.1f\n", "floor, all files", "", floorTime * 1e3);
    const double perFile = (tAll.cpu - tOne.cpu) / (n - 1);
    std::printf("per file, the call less its start-up: %.2f us cpu; floor %.2f us; ratio %.2f\n", perFile * 1e6,
                floorTime / n * 1e6, perFile / (floorTime / n));
    if (havePillow)
        std::printf("the call against Pillow: wall %.2f, cpu %.2f\n", tAll.wall / tPillow.wall, tAll.cpu / tPillow.cpu);
    return ok && perFile <= 1.5 * floorTime / n && (!havePillow || tAll.cpu < tPillow.cpu);
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const tessaly::bench::Options options(
        app.arguments(),
        "Image header readers against their floor: JPEG files of 3 MB with a 20 KB Exif block before the frame"
        " header, PNG, GIF and BMP files; then tessaly-cli image-size and Pillow as whole processes.",
        kFloor,
        {{"--jpeg", "N", "JPEG files (default 2000)"},
         {"--other", "N", "PNG, GIF and BMP files each (default 1000)"},
         {"--rounds", "N", "rounds, best kept (default 15)"},
         {"--dir", "FOLDER", "where the files are written (default: the temporary folder)"},
         {"--keep", nullptr, "keep the files"},
         {"--cli", "PATH", "another tessaly-cli to time beside this one (an older build)"}});
    const int jpegs = options.number("--jpeg", 2000, 0), others = options.number("--other", 1000, 0),
              rounds = options.number("--rounds", 15);
    const QString folder = options.value("--dir"), otherCli = options.value("--cli");
    const bool keep = options.has("--keep");
    QTemporaryDir tmp(folder.isEmpty() ? QDir::tempPath() + "/bench_imagesize-XXXXXX"
                                       : folder + "/bench_imagesize-XXXXXX");
    tmp.setAutoRemove(!keep);
    if (!tmp.isValid()) {
        std::fprintf(stderr, "cannot make a temporary folder\n");
        return 1;
    }

    Set sets[] = {{"JPEG", {}}, {"PNG", {}}, {"GIF", {}}, {"BMP", {}}};
    std::printf("writing %d JPEG files of 3 MB (sparse) and %d PNG, GIF and BMP files each into %s\n", jpegs,
                others, qPrintable(tmp.path()));
    std::fflush(stdout);
    for (int i = 0; i < jpegs; ++i) {
        qint64 headerEnd = 0;
        const qint64 size = 3 * 1000 * 1000 + i % 4096;
        const QString p = tmp.filePath(QString("j%1.jpg").arg(i));
        if (!writeSparse(p, jpegFile(i, &headerEnd), size))
            return 1;
        sets[0].files << p;
        sets[0].bytes += size;
        sets[0].headerEnd += headerEnd;
    }
    for (int i = 0; i < others; ++i) {
        const QByteArray png = pngFile(i), gif = gifFile(i), bmp = bmpFile(i);
        const QString p = tmp.filePath(QString("p%1.png").arg(i)), g = tmp.filePath(QString("g%1.gif").arg(i)),
                      m = tmp.filePath(QString("b%1.bmp").arg(i));
        if (!write(p, png) || !write(g, gif) || !write(m, bmp))
            return 1;
        sets[1].files << p;
        sets[1].bytes += png.size();
        sets[2].files << g;
        sets[2].bytes += gif.size();
        sets[3].files << m;
        sets[3].bytes += bmp.size();
    }

    std::printf("\nbest of %d rounds, thread CPU time\n", rounds);
    std::printf("%-5s %6s %10s %14s %12s %12s %14s %7s\n", "", "files", "avg size", "readers f/s",
                "bytes/file", "floor f/s", "floor B/file", "ratio");
    bool ok = true;
    for (Set &s : sets) {
        if (s.files.isEmpty())
            continue;
        const int n = int(s.files.size());
        qint64 checksum = 0;
        // Warm the cache for both passes alike.
        for (const QString &f : s.files) {
            QFile file(f);
            if (file.open(QIODevice::ReadOnly))
                checksum += file.read(65536).size();
        }
        int64_t readBytes = 0;
        const bool jpeg = s.headerEnd > 0;
        const auto readersPass = [&] {
            const int64_t before = ImageBytesRead();
            for (int i = 0; i < n; ++i) {
                const ImageInfo info = GetImageSize(s.files[i], 0);
                if (info.Width <= 0 || (jpeg && info.Orientation != 1 + i % 8))
                    std::fprintf(stderr, "wrong header for %s\n", qPrintable(s.files[i])), std::exit(1);
                checksum += info.Width;
            }
            readBytes = ImageBytesRead() - before;
        };
        QList<QByteArray> names;
        for (const QString &f : s.files)
            names << QFile::encodeName(f);
        qint64 floorBytes = 0;
        // Rounds alternate between the two, so that both meet the same load from other
        // programs; each keeps its best round.
        double readers = 1e300, floorTime = 1e300;
        for (int round = 0; round < rounds; ++round) {
            readers = std::min(readers, timed(readersPass));
            floorTime = std::min(floorTime, timed([&] { floorBytes = floorPass(names); }));
        }
        const double ratio = readers / floorTime;
        ok = ok && ratio <= 1.5;
        std::printf("%-5s %6d %10lld %14.0f %12.0f %12.0f %14.0f %7.2f\n", s.name, n, s.bytes / n, n / readers,
                    double(readBytes) / n, n / floorTime, double(floorBytes) / n, ratio);
        if (s.headerEnd > 0) {
            std::printf("      JPEG segments up to the end of the frame header: %.0f bytes per file; read: %.0f\n",
                        double(s.headerEnd) / n, double(readBytes) / n);
            ok = ok && readBytes <= s.headerEnd;
        }
        if (checksum == 42)
            std::printf(" ");
    }
    ok = processes(sets[0].files, rounds, otherCli) && ok;
    std::printf("\n%s\n", ok ? "within target: readers at most 1.5 x the floor, JPEG reading within its headers,"
                               " the command ahead of Pillow and at most 1.5 x the floor per file"
                             : "OUTSIDE TARGET");
    return ok ? 0 : 1;
}
