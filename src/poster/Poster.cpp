#include "Poster.h"

#include "Paths.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QImageWriter>
#include <QList>
#include <QSaveFile>
#include <QTransform>

#include <cmath>
#include <memory>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

namespace tessaly {

namespace {

// A damaged file can make a demuxer crawl; no poster is worth more than this.
constexpr int kDecodeTimeLimitMs = 15000;
// Packets read after a seek before the video counts as having no picture there.
constexpr int kMaxPackets = 4000;

struct FormatCloser {
    void operator()(AVFormatContext *f) const { avformat_close_input(&f); }
};
struct CodecCloser {
    void operator()(AVCodecContext *c) const { avcodec_free_context(&c); }
};
struct FrameFree {
    void operator()(AVFrame *f) const { av_frame_free(&f); }
};
struct PacketFree {
    void operator()(AVPacket *p) const { av_packet_free(&p); }
};
struct SwsFree {
    void operator()(SwsContext *s) const { sws_freeContext(s); }
};

QString avText(int err)
{
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(err, buf, sizeof buf);
    return QString::fromLocal8Bit(buf);
}

int interruptCallback(void *opaque)
{
    return static_cast<QDeadlineTimer *>(opaque)->hasExpired() ? 1 : 0;
}

// Degrees clockwise that make the stored picture upright: the display matrix where the
// container has one, else an old-style "rotate" tag.
int uprightRotation(const AVStream *st)
{
    double ccw = 0;
    if (const uint8_t *m = av_stream_get_side_data(st, AV_PKT_DATA_DISPLAYMATRIX, nullptr)) {
        ccw = av_display_rotation_get(reinterpret_cast<const int32_t *>(m));
        if (std::isnan(ccw))
            ccw = 0;
    } else if (const AVDictionaryEntry *tag = av_dict_get(st->metadata, "rotate", nullptr, 0)) {
        ccw = -std::atof(tag->value);
    }
    const int cw = int(std::lround(-ccw / 90.0)) * 90;
    return ((cw % 360) + 360) % 360;
}

// The first picture the decoder gives after reading from the current position. With
// keyOnly, packets before the first key frame are passed over and that key frame is
// decoded alone: a decoder that holds pictures back for reordering gives it up at once.
std::unique_ptr<AVFrame, FrameFree> firstPicture(AVFormatContext *fmt, AVCodecContext *dec, int stream,
                                                 bool keyOnly, QString *detail)
{
    std::unique_ptr<AVPacket, PacketFree> pkt(av_packet_alloc());
    std::unique_ptr<AVFrame, FrameFree> frame(av_frame_alloc());
    if (!pkt || !frame)
        return nullptr;
    bool draining = false;
    for (int packets = 0; packets < kMaxPackets;) {
        const int got = avcodec_receive_frame(dec, frame.get());
        if (got == 0)
            return frame;
        if (got != AVERROR(EAGAIN) || draining) {
            if (got < 0 && got != AVERROR_EOF && got != AVERROR(EAGAIN))
                *detail = avText(got);
            return nullptr;
        }
        const int read = av_read_frame(fmt, pkt.get());
        if (read < 0) {
            if (read != AVERROR_EOF)
                *detail = avText(read);
            avcodec_send_packet(dec, nullptr);  // what the decoder still holds
            draining = true;
            continue;
        }
        if (pkt->stream_index == stream && (!keyOnly || (pkt->flags & AV_PKT_FLAG_KEY))) {
            ++packets;
            const int sent = avcodec_send_packet(dec, pkt.get());
            if (sent < 0 && sent != AVERROR(EAGAIN) && sent != AVERROR_INVALIDDATA)
                *detail = avText(sent);
            if (keyOnly) {
                avcodec_send_packet(dec, nullptr);
                draining = true;
            }
        }
        av_packet_unref(pkt.get());
    }
    return nullptr;
}

// Scales a decoded picture so that its displayed shape (pixel aspect included) fits
// PosterBox, as 24-bit RGB.
QImage scaledImage(const AVFrame *frame, AVRational sar)
{
    double dw = frame->width, dh = frame->height;
    if (sar.num > 0 && sar.den > 0)
        dw = dw * sar.num / sar.den;
    const double longer = std::max(dw, dh);
    const double scale = longer > PosterBox ? PosterBox / longer : 1.0;
    const int w = std::max(1, int(std::lround(dw * scale)));
    const int h = std::max(1, int(std::lround(dh * scale)));

    std::unique_ptr<SwsContext, SwsFree> sws(
        sws_getContext(frame->width, frame->height, AVPixelFormat(frame->format), w, h, AV_PIX_FMT_RGB24,
                       SWS_AREA, nullptr, nullptr, nullptr));
    if (!sws)
        return QImage();
    const int space = frame->colorspace == AVCOL_SPC_UNSPECIFIED ? SWS_CS_DEFAULT : int(frame->colorspace);
    sws_setColorspaceDetails(sws.get(), sws_getCoefficients(space), frame->color_range == AVCOL_RANGE_JPEG,
                             sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
    QImage image(w, h, QImage::Format_RGB888);
    if (image.isNull())
        return image;
    uint8_t *dst[4] = {image.bits(), nullptr, nullptr, nullptr};
    const int dstStride[4] = {int(image.bytesPerLine()), 0, 0, 0};
    if (sws_scale(sws.get(), frame->data, frame->linesize, 0, frame->height, dst, dstStride) != h)
        return QImage();
    return image;
}

}  // namespace

bool IsVideoName(const QString &name)
{
    static const char *const kExtensions[] = {".mp4", ".mov", ".m4v", ".avi",  ".mts",
                                              ".m2ts", ".mpg", ".wmv", ".mkv", ".webm"};
    for (const char *ext : kExtensions)
        if (name.endsWith(QLatin1String(ext), Qt::CaseInsensitive) && name.size() > int(qstrlen(ext)))
            return true;
    return false;
}

QString FirstVideo(const QString &folder)
{
    for (const QString &name : ListFiles(folder))
        if (IsVideoName(name))
            return name;
    return QString();
}

PosterFrame DecodePoster(const QString &videoPath)
{
    static std::once_flag quiet;
    // A damaged video is reported by the caller in its own words, once.
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });
    PosterFrame out;
    auto fail = [&out](PosterFault fault, const QString &detail = QString()) {
        out.fault = fault;
        out.detail = detail;
        out.image = QImage();
        return out;
    };
    QDeadlineTimer deadline(kDecodeTimeLimitMs);
    AVFormatContext *raw = avformat_alloc_context();
    if (!raw)
        return fail(PosterFault::Unreadable);
    raw->interrupt_callback = {interruptCallback, &deadline};
    const QByteArray path = QFile::encodeName(videoPath);
    int err = avformat_open_input(&raw, path.constData(), nullptr, nullptr);
    if (err < 0)  // avformat_open_input frees the context on failure
        return fail(PosterFault::Unreadable, avText(err));
    std::unique_ptr<AVFormatContext, FormatCloser> fmt(raw);
    // Containers whose header names the codec and the picture size need no probing
    // (probing decodes frames of its own); the others do.
    bool known = !(fmt->ctx_flags & AVFMTCTX_NOHEADER) && fmt->nb_streams > 0;
    for (unsigned i = 0; known && i < fmt->nb_streams; ++i) {
        const AVCodecParameters *par = fmt->streams[i]->codecpar;
        if (par->codec_type == AVMEDIA_TYPE_VIDEO
            && (par->codec_id == AV_CODEC_ID_NONE || par->width <= 0 || par->height <= 0))
            known = false;
    }
    if (!known && (err = avformat_find_stream_info(fmt.get(), nullptr)) < 0)
        return fail(PosterFault::Unreadable, avText(err));

    const AVCodec *codec = nullptr;
    const int stream = av_find_best_stream(fmt.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (stream == AVERROR_DECODER_NOT_FOUND)
        return fail(PosterFault::UnknownCodec);
    if (stream < 0 || !codec)
        return fail(PosterFault::Unreadable, QStringLiteral("no video stream"));
    AVStream *st = fmt->streams[stream];
    // Other streams are never looked at.
    for (unsigned i = 0; i < fmt->nb_streams; ++i)
        if (int(i) != stream)
            fmt->streams[i]->discard = AVDISCARD_ALL;

    std::unique_ptr<AVCodecContext, CodecCloser> dec(avcodec_alloc_context3(codec));
    if (!dec || avcodec_parameters_to_context(dec.get(), st->codecpar) < 0)
        return fail(PosterFault::UnknownCodec);
    dec->thread_count = 1;  // the callers run one decoder per core already
    if ((err = avcodec_open2(dec.get(), codec, nullptr)) < 0)
        return fail(PosterFault::UnknownCodec, avText(err));

    // About 10 % in, in the stream's own time base.
    const int64_t start = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
    int64_t length = st->duration;
    if (length == AV_NOPTS_VALUE || length <= 0) {
        length = fmt->duration != AV_NOPTS_VALUE
                     ? av_rescale_q(fmt->duration, AVRational{1, AV_TIME_BASE}, st->time_base)
                     : 0;
    }
    const int64_t oneSecond = av_rescale_q(1, AVRational{1, 1}, st->time_base);
    // A key frame decodes alone, so a poster costs one frame. A stream without marked
    // key frames (or whose key frame gives no picture by itself) is decoded from its
    // start as it comes.
    struct Attempt {
        int64_t at;
        bool keyOnly;
    };
    QList<Attempt> attempts;
    if (length >= oneSecond)
        attempts.append({start + length / 10, true});
    attempts.append({start, true});
    attempts.append({start, false});
    std::unique_ptr<AVFrame, FrameFree> frame;
    QString detail;
    for (const Attempt &a : std::as_const(attempts)) {
        if (deadline.hasExpired())
            break;
        avcodec_flush_buffers(dec.get());
        if (av_seek_frame(fmt.get(), stream, a.at, AVSEEK_FLAG_BACKWARD) < 0
            && (a.at != start || avformat_seek_file(fmt.get(), -1, INT64_MIN, 0, INT64_MAX, AVSEEK_FLAG_BYTE) < 0))
            continue;
        if ((frame = firstPicture(fmt.get(), dec.get(), stream, a.keyOnly, &detail)))
            break;
    }
    if (!frame)
        return fail(PosterFault::NoFrame, deadline.hasExpired() ? QStringLiteral("timed out") : detail);

    QImage image = scaledImage(frame.get(), av_guess_sample_aspect_ratio(fmt.get(), st, frame.get()));
    if (image.isNull())
        return fail(PosterFault::NoFrame, QStringLiteral("unsupported picture format"));
    out.rotation = uprightRotation(st);
    out.image = out.rotation ? image.transformed(QTransform().rotate(out.rotation)) : image;
    return out;
}

bool SavePosterJpeg(const QImage &image, const QString &path, QString *error)
{
    QSaveFile file(path);
    QString why;
    if (!file.open(QIODevice::WriteOnly)) {
        why = file.errorString();
    } else {
        QImageWriter writer(&file, "jpeg");
        writer.setQuality(85);
        if (!writer.write(image))
            why = writer.errorString();
        else if (!file.commit())
            why = file.errorString();
    }
    if (error)
        *error = why;
    return why.isEmpty();
}

QString PosterFaultText(PosterFault fault)
{
    switch (fault) {
    case PosterFault::None: return QString();
    case PosterFault::Unreadable: return QStringLiteral("動画として開けません");
    case PosterFault::UnknownCodec: return QStringLiteral("この動画の形式は読めません");
    case PosterFault::NoFrame: return QStringLiteral("動画が壊れているか空で、画面を取り出せません");
    case PosterFault::WriteFailed: return QStringLiteral("ポスター画像を書き込めません");
    }
    return QString();
}

}  // namespace tessaly
