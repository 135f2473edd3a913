// Poster frames through FFmpeg's libraries, written as JPEG through Qt's image writer.
#include "MediaApi.h"
#include "Poster.h"

#include <QDeadlineTimer>
#include <QImage>
#include <QFile>
#include <QImageWriter>
#include <QBuffer>
#include <QTransform>

#include <cerrno>
#include <cmath>
#include <memory>
#include <mutex>

#include <sys/stat.h>
#include <unistd.h>

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

struct PosterFrame {
    QImage image;  // upright, scaled; null when fault is set
    PosterFault fault = PosterFault::None;
    QString detail;
    int rotation = 0;
    bool mirrored = false;
};

// A damaged file can make a demuxer crawl; no poster is worth more than this.
constexpr int kDecodeTimeLimitMs = 15000;
// Video packets read after a seek before the video counts as having no picture there.
constexpr int kMaxPackets = 1000;
// Pictures decoded after the key frame to reach the point, and again past dark ones.
constexpr int kMaxForward = 300;

// The video is read through its descriptor (our own I/O context), never by name.
struct FdInput {
    int fd;
    int64_t pos = 0;
};

struct FormatCloser {
    void operator()(AVFormatContext *f) const
    {
        AVIOContext *io = f ? f->pb : nullptr;
        avformat_close_input(&f);
        if (io) {
            av_freep(&io->buffer);
            delete static_cast<FdInput *>(io->opaque);
            avio_context_free(&io);
        }
    }
};

int readFd(void *opaque, uint8_t *buf, int size)
{
    auto *in = static_cast<FdInput *>(opaque);
    ssize_t n;
    do
        n = ::pread(in->fd, buf, size_t(size), off_t(in->pos));
    while (n < 0 && errno == EINTR);
    if (n < 0)
        return AVERROR(errno);
    if (n == 0)
        return AVERROR_EOF;
    in->pos += n;
    return int(n);
}

int64_t seekFd(void *opaque, int64_t offset, int whence)
{
    auto *in = static_cast<FdInput *>(opaque);
    struct stat st;
    switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE: return ::fstat(in->fd, &st) == 0 ? int64_t(st.st_size) : AVERROR(errno);
    case SEEK_SET: in->pos = offset; break;
    case SEEK_CUR: in->pos += offset; break;
    case SEEK_END:
        if (::fstat(in->fd, &st) != 0)
            return AVERROR(errno);
        in->pos = st.st_size + offset;
        break;
    default: return AVERROR(EINVAL);
    }
    return in->pos;
}
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

// How to show the stored picture upright: mirrored left to right first where the
// container says so, then turned clockwise by quarter turns. The display matrix where
// the container has one (a stored pixel (x, y) goes to (a x + c y, b x + d y) on the
// screen), else an old-style "rotate" tag. A turn that is not near a quarter turn is
// not made: a picture slightly askew is better than one cut or squashed.
struct Upright {
    int rotation = 0;
    bool mirrored = false;
    QTransform transform() const
    {
        return (mirrored ? QTransform(-1, 0, 0, 1, 0, 0) : QTransform()) * QTransform().rotate(rotation);
    }
};

Upright uprightOf(const AVStream *st)
{
    Upright u;
    if (const uint8_t *raw = av_stream_get_side_data(st, AV_PKT_DATA_DISPLAYMATRIX, nullptr)) {
        const int32_t *m = reinterpret_cast<const int32_t *>(raw);
        const double a = m[0], b = m[1], c = m[3], d = m[4];
        const double det = a * d - b * c;
        const double scale = std::sqrt(std::abs(det));
        if (!(scale > 0))
            return u;
        constexpr double kNear = 0.02;  // about a degree
        for (const bool mirrored : {false, true}) {
            for (int rotation = 0; rotation < 360; rotation += 90) {
                const Upright candidate{rotation, mirrored};
                const QTransform t = candidate.transform();
                if (std::abs(t.m11() - a / scale) < kNear && std::abs(t.m12() - b / scale) < kNear
                    && std::abs(t.m21() - c / scale) < kNear && std::abs(t.m22() - d / scale) < kNear)
                    return candidate;
            }
        }
        return u;
    }
    if (const AVDictionaryEntry *tag = av_dict_get(st->metadata, "rotate", nullptr, 0)) {
        const double cw = std::fmod(std::fmod(std::atof(tag->value), 360) + 360, 360);
        const double quarters = std::round(cw / 90);
        if (std::abs(cw - quarters * 90) < 1)
            u.rotation = int(quarters) % 4 * 90;
    }
    return u;
}


// The next picture the decoder gives, reading on from the current position.
std::unique_ptr<AVFrame, FrameFree> nextPicture(AVFormatContext *fmt, AVCodecContext *dec, int stream,
                                                QString *detail)
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
        if (pkt->stream_index == stream && ++packets) {
            const int sent = avcodec_send_packet(dec, pkt.get());
            if (sent < 0 && sent != AVERROR(EAGAIN) && sent != AVERROR_INVALIDDATA)
                *detail = avText(sent);
        }
        av_packet_unref(pkt.get());
    }
    return nullptr;
}

// Whether a decoded picture is almost uniformly dark, by its luma (sampled): only the
// YUV formats are judged, any other counts as showing something.
bool isDark(const AVFrame *frame)
{
    switch (frame->format) {
    case AV_PIX_FMT_YUV420P:
    case AV_PIX_FMT_YUVJ420P:
    case AV_PIX_FMT_YUV422P:
    case AV_PIX_FMT_YUVJ422P:
    case AV_PIX_FMT_YUV444P:
    case AV_PIX_FMT_YUVJ444P:
    case AV_PIX_FMT_NV12:
    case AV_PIX_FMT_YUV420P10LE: break;
    default: return false;
    }
    const bool wide = frame->format == AV_PIX_FMT_YUV420P10LE;
    const int limit = frame->color_range == AVCOL_RANGE_JPEG ? 40 : 50;  // of 255
    const int step = std::max(1, std::min(frame->width, frame->height) / 32);
    int bright = 0, samples = 0;
    for (int y = 0; y < frame->height; y += step)
        for (int x = 0; x < frame->width; x += step) {
            const uint8_t *row = frame->data[0] + ptrdiff_t(y) * frame->linesize[0];
            const int luma = wide ? reinterpret_cast<const uint16_t *>(row)[x] >> 2 : row[x];
            bright += luma > limit;
            ++samples;
        }
    return bright * 50 < samples;  // under 2 % of the picture lighter than the limit
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

PosterFrame failed(PosterFrame *out, PosterFault fault, const QString &detail = QString())
{
    out->fault = fault;
    out->detail = detail;
    out->image = QImage();
    return *out;
}

// A video opened for decoding its best video stream, every other stream ignored.
struct Video {
    std::unique_ptr<AVFormatContext, FormatCloser> fmt;
    std::unique_ptr<AVCodecContext, CodecCloser> dec;
    int stream = -1;

    // The container opened and its streams known; false, with the fault in *out, when
    // it cannot be read.
    bool openInput(int fd, QDeadlineTimer *deadline, PosterFrame *out)
    {
        dec.reset();
        fmt.reset();
        AVFormatContext *raw = avformat_alloc_context();
        if (!raw)
            return failed(out, PosterFault::Unreadable), false;
        raw->interrupt_callback = {interruptCallback, deadline};
        constexpr int kBuffer = 64 << 10;
        auto *buffer = static_cast<unsigned char *>(av_malloc(kBuffer));
        auto *input = new FdInput{fd};
        raw->pb = buffer ? avio_alloc_context(buffer, kBuffer, 0, input, readFd, nullptr, seekFd) : nullptr;
        if (!raw->pb) {
            av_free(buffer);
            delete input;
            avformat_free_context(raw);
            return failed(out, PosterFault::Unreadable), false;
        }
        raw->flags |= AVFMT_FLAG_CUSTOM_IO;
        AVIOContext *io = raw->pb;
        // Only the containers of the video names, and no other file or protocol: a
        // playlist or a concat script dressed up as a video must not make FFmpeg fetch
        // anything else.
        AVDictionary *options = nullptr;
        av_dict_set(&options, "protocol_whitelist", "none", 0);
        av_dict_set(&options, "format_whitelist", "mov,avi,mpegts,mpeg,mpegvideo,asf,matroska", 0);
        int err = avformat_open_input(&raw, "", nullptr, &options);
        if (err < 0) {  // the context is freed, our I/O context is not
            av_freep(&io->buffer);
            delete static_cast<FdInput *>(io->opaque);
            avio_context_free(&io);
        }
        av_dict_free(&options);
        if (err < 0)  // avformat_open_input frees the context on failure
            return failed(out, PosterFault::Unreadable, avText(err)), false;
        fmt.reset(raw);
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
            return failed(out, PosterFault::Unreadable, avText(err)), false;
        return true;
    }

    // False, with the fault in *out, when it cannot be decoded.
    bool open(int fd, QDeadlineTimer *deadline, PosterFrame *out)
    {
        if (!openInput(fd, deadline, out))
            return false;
        int err = 0;
        const AVCodec *codec = nullptr;
        stream = av_find_best_stream(fmt.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
        if (stream == AVERROR_DECODER_NOT_FOUND)
            return failed(out, PosterFault::UnknownCodec), false;
        if (stream < 0 || !codec)
            return failed(out, PosterFault::Unreadable, QStringLiteral("no video stream")), false;
        for (unsigned i = 0; i < fmt->nb_streams; ++i)
            if (int(i) != stream)
                fmt->streams[i]->discard = AVDISCARD_ALL;
        dec.reset(avcodec_alloc_context3(codec));
        if (!dec || avcodec_parameters_to_context(dec.get(), fmt->streams[stream]->codecpar) < 0)
            return failed(out, PosterFault::UnknownCodec), false;
        dec->thread_count = 1;  // the callers run one decoder per core already
        if ((err = avcodec_open2(dec.get(), codec, nullptr)) < 0)
            return failed(out, PosterFault::UnknownCodec, avText(err)), false;
        return true;
    }
};

// Decodes the frame about 10 % into the video (decoded forward from the key frame before
// that point; the first frame when the video is shorter than a second, its length is
// unknown or no key frame is found there), past any frames there that are almost all
// dark, turns it upright by
// its display matrix (or "rotate" tag) and fits it into PosterBox. Opens only local
// files of the video containers.
PosterFrame DecodePoster(int fd)
{
    static std::once_flag quiet;
    // A damaged video is reported by the caller in its own words, once.
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });
    PosterFrame out;
    QDeadlineTimer deadline(kDecodeTimeLimitMs);
    Video video;
    if (!video.open(fd, &deadline, &out))
        return out;
    AVStream *st = video.fmt->streams[video.stream];

    // About 10 % in, in the stream's own time base. A key frame decodes alone, so a
    // poster costs one frame.
    const int64_t start = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
    int64_t length = st->duration;
    if (length == AV_NOPTS_VALUE || length <= 0) {
        length = video.fmt->duration != AV_NOPTS_VALUE
                     ? av_rescale_q(video.fmt->duration, AVRational{1, AV_TIME_BASE}, st->time_base)
                     : 0;
    }
    std::unique_ptr<AVFrame, FrameFree> frame;
    QString detail;
    const int64_t point = start + length / 10;
    const auto next = [&] { return nextPicture(video.fmt.get(), video.dec.get(), video.stream, &detail); };
    if (length >= av_rescale_q(1, AVRational{1, 1}, st->time_base)
        && av_seek_frame(video.fmt.get(), video.stream, point, AVSEEK_FLAG_BACKWARD) >= 0) {
        // From the key frame before the point, forward to the point itself.
        frame = next();
        for (int n = 0; frame && n < kMaxForward && !deadline.hasExpired(); ++n) {
            const int64_t at = frame->best_effort_timestamp;
            if (at == AV_NOPTS_VALUE || at >= point)
                break;
            auto later = next();
            if (!later)
                break;
            frame = std::move(later);
        }
    }
    // A short video, or no key frame there (none marked, or one that gives no picture by
    // itself): the first picture, decoded as it comes. Opened afresh, since a stream
    // without an index (MPEG-TS, -PS) cannot be sought back to its very first frame.
    if (!frame && !deadline.hasExpired() && video.open(fd, &deadline, &out))
        frame = next();
    if (out.fault != PosterFault::None)
        return out;
    // A fade or a lens cap: a frame almost all dark says nothing of the video; the first
    // one after it that shows something stands for it (the dark one when none does).
    for (int n = 0; frame && isDark(frame.get()) && n < kMaxForward && !deadline.hasExpired(); ++n) {
        auto later = next();
        if (!later)
            break;
        if (!isDark(later.get())) {
            frame = std::move(later);
            break;
        }
    }
    if (!frame)
        return failed(&out, PosterFault::NoFrame, deadline.hasExpired() ? QStringLiteral("timed out") : detail);

    st = video.fmt->streams[video.stream];  // the second opening has streams of its own
    const QImage image = scaledImage(frame.get(), av_guess_sample_aspect_ratio(video.fmt.get(), st, frame.get()));
    if (image.isNull())
        return failed(&out, PosterFault::NoFrame, QStringLiteral("unsupported picture format"));
    const Upright upright = uprightOf(st);
    out.rotation = upright.rotation;
    out.mirrored = upright.mirrored;
    out.image = upright.rotation || upright.mirrored ? image.transformed(upright.transform()) : image;
    return out;
}

// JPEG bytes of the image at the quality posters are kept in; empty (the reason in
// *error) when the writer fails.
QByteArray jpegBytes(const QImage &image, QString *error)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(85);
    if (!writer.write(image)) {
        *error = writer.errorString();
        return QByteArray();
    }
    return bytes;
}

}  // namespace

void ProbeVideoFd(int fd, MediaVideo *out)
{
    *out = MediaVideo();
    QDeadlineTimer deadline(kDecodeTimeLimitMs);
    PosterFrame frame;
    Video video;
    if (!video.openInput(fd, &deadline, &frame)) {
        out->fault = int(frame.fault);
        out->detail = frame.detail;
        return;
    }
    out->container = QString::fromLatin1(video.fmt->iformat->name);
    for (unsigned i = 0; i < video.fmt->nb_streams; ++i) {
        const AVCodecParameters *par = video.fmt->streams[i]->codecpar;
        const QString name = QString::fromLatin1(avcodec_get_name(par->codec_id));
        if (par->codec_type == AVMEDIA_TYPE_VIDEO && !(video.fmt->streams[i]->disposition & AV_DISPOSITION_ATTACHED_PIC))
            out->video << name;
        else if (par->codec_type == AVMEDIA_TYPE_AUDIO)
            out->audio << name;
    }
}

void MakePosterJpeg(int fd, MediaPoster *out)
{
    const PosterFrame frame = DecodePoster(fd);
    *out = MediaPoster();
    out->fault = int(frame.fault);
    out->detail = frame.detail;
    if (frame.fault != PosterFault::None)
        return;
    out->jpeg = jpegBytes(frame.image, &out->detail);
    if (out->jpeg.isEmpty()) {
        out->fault = int(PosterFault::WriteFailed);
        return;
    }
    out->width = frame.image.width();
    out->height = frame.image.height();
    out->rotation = frame.rotation;
    out->mirrored = frame.mirrored;
}

}  // namespace tessaly
