#include "MediaApi.h"

#include "GifWriter.h"

#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>

namespace tessaly {

void MakePosterJpeg(int fd, MediaPoster *out);  // PosterDecode.cpp
void MakeThumbnailJpeg(int fd, int longSide, int orientation, int format, MediaThumb *out);  // ThumbDecode.cpp
void MakeRenditionsJpeg(int fd, const int *longSides, int count, int orientation, int format, int quality,
                        MediaThumb *outs);  // ThumbDecode.cpp
void ProbeVideoFd(int fd, MediaVideo *out);  // PosterDecode.cpp

namespace {

QCoreApplication *newGuiApplication(int &argc, char **argv)
{
    return new QGuiApplication(argc, argv);
}

bool drawDemoPhoto(const QString &path, const QString &caption, bool portrait, int seed)
{
    const QSize size = portrait ? QSize(480, 640) : QSize(640, 480);
    QImage image(size, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient g(0, 0, size.width(), size.height());
    g.setColorAt(0, QColor::fromHsv((seed * 47) % 360, 120, 240));
    g.setColorAt(1, QColor::fromHsv((seed * 47 + 140) % 360, 200, 110));
    p.fillRect(image.rect(), g);
    p.setPen(QPen(QColor(255, 255, 255, 180), 6));
    p.drawRect(image.rect().adjusted(12, 12, -12, -12));
    QFont f(QStringLiteral("IPAPGothic"));
    f.setPixelSize(size.width() / 10);
    f.setBold(true);
    p.setFont(f);
    p.setPen(QColor(20, 20, 20, 120));
    p.drawText(image.rect().translated(3, 3), Qt::AlignCenter | Qt::TextWordWrap, caption);
    p.setPen(Qt::white);
    p.drawText(image.rect(), Qt::AlignCenter | Qt::TextWordWrap, caption);
    p.end();
    if (path.endsWith(QLatin1String(".gif")))
        return WriteGif(image, path);
    return image.save(path, nullptr, 88);
}

}  // namespace

}  // namespace tessaly

extern "C" __attribute__((visibility("default"))) const tessaly::MediaApi *tessaly_media_api()
{
    static const tessaly::MediaApi api = [] {
        tessaly::MediaApi a;
        a.makePoster = tessaly::MakePosterJpeg;
        a.newGuiApplication = tessaly::newGuiApplication;
        a.drawDemoPhoto = tessaly::drawDemoPhoto;
        a.makeThumbnail = tessaly::MakeThumbnailJpeg;
        a.probeVideo = tessaly::ProbeVideoFd;
        a.makeRenditions = tessaly::MakeRenditionsJpeg;
        return a;
    }();
    return &api;
}
