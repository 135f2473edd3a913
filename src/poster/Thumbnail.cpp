#include "Thumbnail.h"

#include "FileReplace.h"
#include "ImageSize.h"
#include "MediaModule.h"
#include "SourceFile.h"

#include <QCoreApplication>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>

namespace tessaly {

namespace {

std::atomic<int> g_decoded{0};
std::atomic<int> g_made{0};

}  // namespace

ThumbResult MakeThumbnail(const QString &source, const QString &target, int longSide, bool syncNow)
{
    return MakeThumbnail(SourceFile(source), target, longSide, syncNow);
}

ThumbResult MakeThumbnail(const SourceFile &source, const QString &target, int longSide, bool syncNow)
{
    ThumbResult r;
    if (!source.isOpen()) {
        r.fault = source.state() == SourceFile::State::Outside ? ThumbFault::Outside : ThumbFault::Unreadable;
        return r;
    }
    const MediaApi *media = LoadMediaModule(&r.detail);
    if (!media) {
        r.fault = ThumbFault::NoDecoder;
        return r;
    }
    ++g_decoded;
    // The orientation of a JPEG or a PNG is read here, with the header readers that
    // fitted the page's box; TIFF and HEIF carry their own.
    const RenditionFormat format = NeedsRenditionOf(source.fd());
    const ImageInfo info = format == RenditionFormat::None ? GetImageSizeOf(source.fd(), &source.stat()) : ImageInfo();
    const int orientation = info.Format == FormatJpeg || info.Format == FormatPng ? info.Orientation : 0;
    MediaThumb made;
    media->makeThumbnail(source.fd(), longSide, orientation, int(format), &made);
    r.fault = ThumbFault(made.fault);
    r.detail = made.detail;
    if (r.fault != ThumbFault::None)
        return r;
    int err = 0;
    QString link;
    switch (ReplaceFileBytes(target, made.jpeg, &err, &link, syncNow ? FileSync::Now : FileSync::Later)) {
    case ReplaceOutcome::Done:
        ++g_made;
        r.width = made.width;
        r.height = made.height;
        return r;
    case ReplaceOutcome::IsLink: r.detail = QStringLiteral("symbolic link to %1 not replaced").arg(link); break;
    case ReplaceOutcome::Failed: r.detail = QString::fromLocal8Bit(std::strerror(err)); break;
    }
    r.fault = ThumbFault::WriteFailed;
    return r;
}

QList<Rendition> MakeRenditions(const SourceFile &source, const QList<int> &longSides, int quality,
                                ThumbFault *fault, QString *detail)
{
    *fault = ThumbFault::None;
    detail->clear();
    if (!source.isOpen()) {
        *fault = source.state() == SourceFile::State::Outside ? ThumbFault::Outside : ThumbFault::Unreadable;
        return {};
    }
    const MediaApi *media = LoadMediaModule(detail);
    if (!media || !media->makeRenditions) {
        *fault = ThumbFault::NoDecoder;
        return {};
    }
    ++g_decoded;
    const RenditionFormat format = NeedsRenditionOf(source.fd());
    const ImageInfo info = format == RenditionFormat::None ? GetImageSizeOf(source.fd(), &source.stat()) : ImageInfo();
    const int orientation = info.Format == FormatJpeg || info.Format == FormatPng ? info.Orientation : 0;
    QList<MediaThumb> made(longSides.size());
    media->makeRenditions(source.fd(), longSides.constData(), int(longSides.size()), orientation, int(format), quality,
                          made.data());
    QList<Rendition> out;
    for (const MediaThumb &m : std::as_const(made)) {
        if (m.fault != 0) {
            *fault = ThumbFault(m.fault);
            *detail = m.detail;
            return {};
        }
        out.append({m.jpeg, m.width, m.height});
    }
    return out;
}

std::pair<int, int> FittedSize(int w, int h, int longSide)
{
    // As the decoders fit: rounded to the nearest pixel, at least one.
    const double scale = std::min(1.0, double(longSide) / std::max(w, h));
    return {std::max(1, int(std::lround(w * scale))), std::max(1, int(std::lround(h * scale)))};
}

const QList<QByteArray> &PhotoSuffixes()
{
    static const QList<QByteArray> suffixes = {".jpg", ".jpeg", ".gif", ".tif", ".tiff", ".png", ".heic", ".heif",
                                               ".webp", ".avif", ".bmp"};
    return suffixes;
}

QString ThumbFaultText(ThumbFault fault)
{
    switch (fault) {
    case ThumbFault::None: return QString();
    case ThumbFault::Unreadable: return QCoreApplication::translate("Media", "写真として読み取れないか、壊れています");
    case ThumbFault::TooLarge: return QCoreApplication::translate("Media", "写真が大きすぎて縮小できません");
    case ThumbFault::WriteFailed: return QCoreApplication::translate("Media", "縮小画像を書き込めません");
    case ThumbFault::NoDecoder: return QCoreApplication::translate("Media", "画像を扱う部品を読み込めません");
    case ThumbFault::Outside: return QCoreApplication::translate("Media", "アルバム(基準フォルダ)の外にある写真です");
    }
    return QString();
}

int ThumbnailsDecoded()
{
    return g_decoded.load();
}

int ThumbnailsMade()
{
    return g_made.load();
}

}  // namespace tessaly
