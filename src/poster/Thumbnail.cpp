#include "Thumbnail.h"

#include "FileReplace.h"
#include "ImageSize.h"
#include "MediaModule.h"
#include "SourceFile.h"

#include <atomic>
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
    const ImageInfo info = format == RenditionFormat::None ? GetImageSizeOf(source.fd()) : ImageInfo();
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

QString ThumbFaultText(ThumbFault fault)
{
    switch (fault) {
    case ThumbFault::None: return QString();
    case ThumbFault::Unreadable: return QStringLiteral("写真として読み取れないか、壊れています");
    case ThumbFault::TooLarge: return QStringLiteral("写真が大きすぎて縮小できません");
    case ThumbFault::WriteFailed: return QStringLiteral("縮小画像を書き込めません");
    case ThumbFault::NoDecoder: return QStringLiteral("画像を扱う部品を読み込めません");
    case ThumbFault::Outside: return QStringLiteral("アルバム(基準フォルダ)の外にある写真です");
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
