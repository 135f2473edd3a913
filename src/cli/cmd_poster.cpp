// poster: one video's poster frame, for trying a file.
#include "Cli.h"

#include "Poster.h"

#include <QFileInfo>

namespace tessaly::cli {

static int posterCommand(Context &c)
{
    const QString video = QFileInfo(c.args.at(0)).absoluteFilePath();
    if (!QFileInfo(video).isFile())
        return c.fail(QStringLiteral("動画ファイル「%1」がありません。").arg(video));
    const PosterFrame frame = DecodePoster(video);
    if (frame.fault != PosterFault::None) {
        QString why = PosterFaultText(frame.fault);
        if (!frame.detail.isEmpty())
            why += QStringLiteral(" (") + frame.detail + QLatin1Char(')');
        return c.fail(video + QStringLiteral(": ") + why);
    }
    QString error;
    if (!SavePosterJpeg(frame.image, c.args.at(1), &error))
        return c.fail(QStringLiteral("「%1」に書き込めません: %2").arg(c.args.at(1), error));
    c.out << c.args.at(1) << '\t' << frame.image.width() << '\t' << frame.image.height() << "\trotated "
          << frame.rotation << (frame.mirrored ? " mirrored" : "") << Qt::endl;
    return 0;
}

static CliCommand poster("poster", "poster VIDEO OUT.jpg",
                         "writes the poster frame of a video (about 10 % in, upright, at most 240 px) as JPEG",
                         posterCommand, {},
                         "動画のポスター画像(約 10 % の位置、正立、最大 240 px)を JPEG で書き出します");

}  // namespace tessaly::cli
