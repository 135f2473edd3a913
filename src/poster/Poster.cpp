#include "Poster.h"

#include "FileReplace.h"
#include "MediaModule.h"
#include "SourceFile.h"

#include <QCoreApplication>
#include <atomic>
#include <cstring>

namespace tessaly {

namespace {
std::atomic<int> g_decoded{0};
}  // namespace

const QList<QByteArray> &VideoSuffixes()
{
    static const QList<QByteArray> suffixes = {".mp4", ".mov", ".m4v", ".avi", ".mts",
                                               ".m2ts", ".mpg", ".wmv", ".mkv", ".webm"};
    return suffixes;
}

int PostersDecoded()
{
    return g_decoded.load();
}

PosterInfo MakePoster(const QString &videoPath, const QString &jpegPath, bool syncNow)
{
    return MakePoster(SourceFile(videoPath), jpegPath, syncNow);
}

PosterInfo MakePoster(const SourceFile &video, const QString &jpegPath, bool syncNow)
{
    PosterInfo info;
    if (!video.isOpen()) {
        info.fault = video.state() == SourceFile::State::Outside ? PosterFault::Outside : PosterFault::Unreadable;
        return info;
    }
    const MediaApi *media = LoadMediaModule(&info.detail);
    if (!media) {
        info.fault = PosterFault::NoDecoder;
        return info;
    }
    ++g_decoded;
    MediaPoster made;
    media->makePoster(video.fd(), &made);
    info.fault = PosterFault(made.fault);
    info.detail = made.detail;
    if (info.fault != PosterFault::None)
        return info;
    int err = 0;
    QString link;
    switch (ReplaceFileBytes(jpegPath, made.jpeg, &err, &link, syncNow ? FileSync::Now : FileSync::Later)) {
    case ReplaceOutcome::Done:
        info.width = made.width;
        info.height = made.height;
        info.rotation = made.rotation;
        info.mirrored = made.mirrored;
        return info;
    case ReplaceOutcome::IsLink: info.detail = QStringLiteral("symbolic link to %1 not replaced").arg(link); break;
    case ReplaceOutcome::Failed: info.detail = QString::fromLocal8Bit(std::strerror(err)); break;
    }
    info.fault = PosterFault::WriteFailed;
    return info;
}

QString PosterFaultText(PosterFault fault)
{
    switch (fault) {
    case PosterFault::None: return QString();
    case PosterFault::Unreadable: return QCoreApplication::translate("Media", "動画として開けません");
    case PosterFault::UnknownCodec: return QCoreApplication::translate("Media", "この動画の形式は読めません");
    case PosterFault::NoFrame: return QCoreApplication::translate("Media", "動画が壊れているか空で、画面を取り出せません");
    case PosterFault::WriteFailed: return QCoreApplication::translate("Media", "ポスター画像を書き込めません");
    case PosterFault::NoDecoder: return QCoreApplication::translate("Media", "動画を読む部品を読み込めません");
    case PosterFault::Outside: return QCoreApplication::translate("Media", "アルバム(基準フォルダ)の外にある動画です");
    }
    return QString();
}

}  // namespace tessaly
