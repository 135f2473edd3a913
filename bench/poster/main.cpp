// Poster frames per second, against the floor of decoding one frame of each video.
//
// Options: --help.
//
// Makes four short clips with the ffmpeg tool (H.264 640 x 360 with a key frame every
// second, H.264 1280 x 720 turned by its display matrix, MPEG-4 AVI 320 x 240, VP9
// WebM 480 x 270; 3 s each) and copies them into N video files (default 300), then
// times: a first poster run over all of them (every video decoded, on one worker per
// core unless --workers), a second run (everything cached: nothing decoded), and the
// floor: with the same FFmpeg libraries, opening each video, seeking to the key frame
// before 10 % of it and decoding that one frame (no scaling, no JPEG, nothing
// written), on the same number of threads. Then `tessaly-cli poster` over the same
// videos: all in one call, and one call per video. Target: the first run within
// 1.5 x the floor's time, the second run decodes nothing.
#include "../BenchSupport.h"
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

#include <atomic>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

using namespace tessaly;

namespace {

bool ffmpeg(const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral("ffmpeg"), QStringList{"-v", "error", "-y"} + args);
    return p.waitForFinished(300000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// Opens a video as the poster code does (the stream information read only where the
// header lacks it), seeks to the key frame before 10 % and decodes that frame alone.
bool decodeOneFrame(const QString &video)
{
    AVFormatContext *fmt = nullptr;
    const QByteArray path = "file:" + QFile::encodeName(video);
    if (avformat_open_input(&fmt, path.constData(), nullptr, nullptr) < 0)
        return false;
    bool ok = false;
    const AVCodec *codec = nullptr;
    AVCodecContext *dec = nullptr;
    AVPacket *pkt = av_packet_alloc();
    AVFrame *frame = av_frame_alloc();
    int stream = -1;
    bool known = !(fmt->ctx_flags & AVFMTCTX_NOHEADER);
    for (unsigned i = 0; known && i < fmt->nb_streams; ++i)
        known = fmt->streams[i]->codecpar->codec_type != AVMEDIA_TYPE_VIDEO || fmt->streams[i]->codecpar->width > 0;
    if ((known || avformat_find_stream_info(fmt, nullptr) >= 0)
        && (stream = av_find_best_stream(fmt, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0)) >= 0 && codec
        && (dec = avcodec_alloc_context3(codec))
        && avcodec_parameters_to_context(dec, fmt->streams[stream]->codecpar) >= 0) {
        dec->thread_count = 1;
        AVStream *st = fmt->streams[stream];
        int64_t length = st->duration > 0 ? st->duration
                                          : av_rescale_q(fmt->duration, AVRational{1, AV_TIME_BASE}, st->time_base);
        const int64_t start = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
        if (avcodec_open2(dec, codec, nullptr) >= 0
            && av_seek_frame(fmt, stream, start + length / 10, AVSEEK_FLAG_BACKWARD) >= 0) {
            while (av_read_frame(fmt, pkt) >= 0) {
                const bool key = pkt->stream_index == stream && (pkt->flags & AV_PKT_FLAG_KEY);
                if (key)
                    avcodec_send_packet(dec, pkt);
                av_packet_unref(pkt);
                if (key) {
                    avcodec_send_packet(dec, nullptr);
                    ok = avcodec_receive_frame(dec, frame) == 0;
                    break;
                }
            }
        }
    }
    av_frame_free(&frame);
    av_packet_free(&pkt);
    avcodec_free_context(&dec);
    avformat_close_input(&fmt);
    return ok;
}

double floorRun(const QStringList &videos, int workers, int *failed)
{
    QElapsedTimer t;
    t.start();
    std::atomic<int> bad{0};
    QThreadPool pool;
    pool.setMaxThreadCount(workers);
    for (const QString &v : videos)
        pool.start([v, &bad] {
            if (!decodeOneFrame(v))
                ++bad;
        });
    pool.waitForDone();
    *failed = bad;
    return t.nsecsElapsed() / 1e9;
}

// Wall seconds of a tessaly-cli call; false when it failed.
bool cli(const QStringList &args, double *seconds)
{
    QElapsedTimer t;
    t.start();
    QProcess p;
    p.start(QCoreApplication::applicationDirPath() + "/../bin/tessaly-cli", args);
    const bool ok = p.waitForFinished(600000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    *seconds += t.nsecsElapsed() / 1e9;
    return ok;
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const tessaly::bench::Options options(
        app.arguments(), "Poster frames per second over short videos, in this process and through tessaly-cli poster.",
        "with the same FFmpeg libraries, each video opened, sought to the key frame before 10 % of it and that one"
        " frame decoded (no scaling, no JPEG, nothing written), on the same number of threads",
        {{"--videos", "N", "video files, at least 4 (default 300)"},
         {"--workers", "N", "threads (default: all cores)"},
         {"--dir", "FOLDER", "where the videos are written (default: the temporary folder)"},
         {"--keep", nullptr, "keep the videos"}});
    const int count = options.number("--videos", 300, 4), workers = options.number("--workers", QThread::idealThreadCount());
    const QString dirArg = options.value("--dir");
    const bool keep = options.has("--keep");
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
    av_log_set_level(AV_LOG_QUIET);
    int floorFailed = 0;
    floorRun(videos, workers, &floorFailed);  // warm the page cache for every run alike

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
    const double floor = floorRun(videos, workers, &floorFailed);

    // The command line: every video in one call, then one call per video.
    double oneCall = 0, perVideo = 0;
    QDir().mkpath(root + "/cli-one");
    bool cliOk = cli(QStringList{"poster", "--out", root + "/cli-one"} + videos, &oneCall);
    for (const QString &v : videos)
        cliOk = cli({"poster", v, root + "/cli-each.jpg"}, &perVideo) && cliOk;

    std::printf("\nfloor: with the same FFmpeg libraries, open each video, seek to the key frame before 10 %%"
                " and decode that one frame; no scaling, no JPEG, nothing written; %d workers\n", workers);
    std::printf("\n%-34s %8s %10s %12s %9s\n", "", "videos", "seconds", "videos/s", "x floor");
    std::printf("%-34s %8d %10.3f %12.1f %9.2f   (%d decoded, %d without poster)\n", "first run (decode, write)",
                count, cold, count / cold, cold / floor, first.decoded(), failed);
    std::printf("%-34s %8d %10.3f %12.1f %9.2f   (%d decoded)\n", "second run (cached)", count, warm, count / warm,
                warm / floor, second.decoded());
    std::printf("%-34s %8d %10.3f %12.1f %9.2f   (%d failed)\n", "floor (seek, decode one frame)", count, floor,
                count / floor, 1.0, floorFailed);
    std::printf("%-34s %8d %10.3f %12.1f %9.2f\n", "tessaly-cli poster, one call", count, oneCall, count / oneCall,
                oneCall / floor);
    std::printf("%-34s %8d %10.3f %12.1f %9.2f\n", "tessaly-cli poster, a call each", count, perVideo,
                count / perVideo, perVideo / floor);
    const bool ok = failed == 0 && cliOk && second.decoded() == 0 && cold / floor <= 1.5;
    std::printf("%s\n", ok ? "within target: the first run at most 1.5 x the floor's time, the second decodes nothing"
                           : "OUTSIDE TARGET");
    return ok ? 0 : 1;
}
