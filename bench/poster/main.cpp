// Poster frames per second, against the floor of only opening each video.
//
//   bench_poster [--videos N] [--workers N] [--dir FOLDER] [--keep]
//
// Makes four short clips with the ffmpeg tool (H.264 640 x 360 with a key frame every
// second, H.264 1280 x 720 turned by its display matrix, MPEG-4 AVI 320 x 240, VP9
// WebM 480 x 270; 3 s each) and copies them into N video files (default 300), then
// times: a first poster run over all of them (every video decoded, on one worker per
// core unless --workers), a second run (everything cached: nothing decoded), and the
// floor: opening each video with FFmpeg and reading its stream information, on the
// same number of threads. Target: the first run at least a third of the floor's rate,
// and the second run decodes nothing.
#include "PosterCache.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QThreadPool>

#include <cstdio>

extern "C" {
#include <libavformat/avformat.h>
}

using namespace tessaly;

namespace {

bool ffmpeg(const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral("ffmpeg"), QStringList{"-v", "error", "-y"} + args);
    return p.waitForFinished(300000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

double openAll(const QStringList &videos, int workers)
{
    QElapsedTimer t;
    t.start();
    QThreadPool pool;
    pool.setMaxThreadCount(workers);
    for (const QString &v : videos) {
        pool.start([v] {
            AVFormatContext *fmt = nullptr;
            if (avformat_open_input(&fmt, QFile::encodeName(v).constData(), nullptr, nullptr) == 0) {
                avformat_find_stream_info(fmt, nullptr);
                avformat_close_input(&fmt);
            }
        });
    }
    pool.waitForDone();
    return t.nsecsElapsed() / 1e9;
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int count = 300;
    int workers = QThread::idealThreadCount();
    QString dirArg;
    bool keep = false;
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args.at(i);
        if (a == "--videos" && i + 1 < args.size())
            count = args.at(++i).toInt();
        else if (a == "--workers" && i + 1 < args.size())
            workers = args.at(++i).toInt();
        else if (a == "--dir" && i + 1 < args.size())
            dirArg = args.at(++i);
        else if (a == "--keep")
            keep = true;
        else {
            std::fprintf(stderr, "usage: bench_poster [--videos N] [--workers N] [--dir FOLDER] [--keep]\n");
            return 2;
        }
    }
    if (count < 4 || workers < 1) {
        std::fprintf(stderr, "at least 4 videos and 1 worker\n");
        return 2;
    }
    QTemporaryDir tmp(dirArg.isEmpty() ? QDir::tempPath() + "/bench_poster-XXXXXX" : dirArg + "/bench_poster-XXXXXX");
    tmp.setAutoRemove(!keep);
    if (!tmp.isValid()) {
        std::fprintf(stderr, "cannot make a temporary folder\n");
        return 1;
    }
    const QString root = tmp.path();
    QDir().mkpath(root + "/videos");
    QDir().mkpath(root + "/out");

    std::printf("making 4 clips with ffmpeg and %d video files in %s\n", count, qPrintable(root));
    const QString src = root + "/src";
    QDir().mkpath(src);
    struct Clip {
        const char *name;
        QStringList args;
    };
    const QList<Clip> clips = {
        {"a.mp4", {"-f", "lavfi", "-i", "testsrc2=s=640x360:r=30:d=3", "-c:v", "libx264", "-preset", "veryfast",
                   "-g", "30", "-pix_fmt", "yuv420p"}},
        {"b.mp4", {"-f", "lavfi", "-i", "testsrc2=s=1280x720:r=30:d=3", "-c:v", "libx264", "-preset", "veryfast",
                   "-g", "30", "-pix_fmt", "yuv420p"}},
        {"c.avi", {"-f", "lavfi", "-i", "testsrc=s=320x240:r=25:d=3", "-c:v", "mpeg4"}},
        {"d.webm", {"-f", "lavfi", "-i", "testsrc2=s=480x270:r=25:d=3", "-c:v", "libvpx-vp9", "-deadline",
                    "realtime", "-cpu-used", "8", "-g", "25"}},
    };
    for (const Clip &c : clips) {
        const QString path = src + "/" + c.name;
        if (!ffmpeg(c.args + QStringList{path})) {
            std::fprintf(stderr, "ffmpeg could not make %s (is the ffmpeg tool installed?)\n", c.name);
            return 1;
        }
    }
    // The 720p clip stands upright only through its display matrix.
    QFile::rename(src + "/b.mp4", src + "/b0.mp4");
    if (!ffmpeg({"-i", src + "/b0.mp4", "-c", "copy", "-metadata:s:v:0", "rotate=90", src + "/b.mp4"})) {
        std::fprintf(stderr, "ffmpeg could not turn b.mp4\n");
        return 1;
    }
    QStringList videos;
    for (int i = 0; i < count; ++i) {
        const Clip &c = clips.at(i % clips.size());
        const QString to = QStringLiteral("%1/videos/%2-%3").arg(root).arg(i, 4, 10, QLatin1Char('0')).arg(c.name);
        if (!QFile::copy(src + "/" + c.name, to)) {
            std::fprintf(stderr, "cannot copy to %s\n", qPrintable(to));
            return 1;
        }
        videos << to;
    }
    openAll(videos, workers);  // warm the page cache for every run alike

    QElapsedTimer t;
    t.start();
    PosterCache first(root + "/out");
    const QList<PosterEntry> made = first.make(videos, workers);
    const double cold = t.nsecsElapsed() / 1e9;
    int failed = 0;
    for (const PosterEntry &e : made)
        failed += e.file.isEmpty() ? 1 : 0;

    t.restart();
    PosterCache second(root + "/out");
    second.make(videos, workers);
    const double warm = t.nsecsElapsed() / 1e9;
    const double floor = openAll(videos, workers);

    std::printf("\n%-28s %8s %10s %12s\n", "", "videos", "seconds", "videos/s");
    std::printf("%-28s %8d %10.3f %12.1f   (%d decoded, %d without poster)\n", "first run (decode, write)", count,
                cold, count / cold, first.decoded(), failed);
    std::printf("%-28s %8d %10.3f %12.1f   (%d decoded)\n", "second run (cached)", count, warm, count / warm,
                second.decoded());
    std::printf("%-28s %8d %10.3f %12.1f\n", "floor (open, stream info)", count, floor, count / floor);
    const double ratio = (count / cold) / (count / floor);
    std::printf("\nposters per second: %.1f on %d workers; %.2f of the floor's rate\n", count / cold, workers, ratio);
    const bool ok = failed == 0 && second.decoded() == 0 && ratio >= 1.0 / 3;
    std::printf("%s\n", ok ? "within target: at least a third of the floor's rate, second run decodes nothing"
                           : "OUTSIDE TARGET");
    return ok ? 0 : 1;
}
