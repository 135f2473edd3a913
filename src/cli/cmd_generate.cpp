// generate, publish and image-size.
#include "Cli.h"

#include "HtmlOut.h"
#include "ImageSize.h"
#include "Publish.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <charconv>
#include <climits>

#include <unistd.h>

namespace tessaly::cli {

static int generateCommand(Context &c)
{
    if (!c.openLibrary(c.args.first()))
        return 1;
    int pages = 0;
    TerminalProgress progress(QCoreApplication::translate("cli", "HTML出力: ページ"));
    const bool ok = HtmlFileCreate(c.g, *c.dialogs, nullptr, [&](int done, int total) {
        pages = done;
        progress.show(done, total);
    });
    progress.finish();
    if (!ok)
        return c.fail(QCoreApplication::translate("cli", "サイトの出力は完了しませんでした。上のメッセージを確認してください。"));
    c.summary() << QCoreApplication::translate("cli", "サイトを書き出しました (%1 ページ)").arg(pages) << Qt::endl;
    return 0;
}

static int publishCommand(Context &c)
{
    QString folder;
    if (!c.folderArgument(c.args.at(1), &folder) || !c.openLibrary(c.args.first()))
        return 1;
    TerminalProgress progress(QCoreApplication::translate("cli", "公開用にコピー: ページ"));
    PublishSummary summary;
    const bool ok = PublishSite(c.g, *c.dialogs, folder, &summary, nullptr,
                                [&](int done, int total) { progress.show(done, total); },
                                !c.hasOption(QStringLiteral("--no-videos")));
    progress.finish();
    if (summary.started)  // else the reason was the message
        c.summary() << displayText(PublishSummaryText(folder, summary, INT_MAX)) << Qt::endl;
    return ok ? 0 : 1;
}

// The lines of image-size, written with plain system calls: over thousands of files
// a text stream's conversions would cost more than reading the headers.
class LineWriter {
public:
    ~LineWriter() { flush(); }
    void add(const QString &path, const ImageInfo &info)
    {
        m_buf += path.toUtf8();
        m_buf += '\t';
        m_buf += formatName(info.Format);
        for (const int32_t v : {info.Width, info.Height, info.Depth, info.Orientation}) {
            char digits[16];
            const auto end = std::to_chars(digits, digits + sizeof digits, v).ptr;
            m_buf += '\t';
            m_buf.append(digits, int(end - digits));
        }
        m_buf += '\n';
        if (m_buf.size() >= 64 * 1024)
            flush();
    }
    void flush()
    {
        const char *p = m_buf.constData();
        qsizetype left = m_buf.size();
        while (left > 0) {
            const ssize_t n = ::write(STDOUT_FILENO, p, size_t(left));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;  // a closed pipe: nobody reads on
            p += n;
            left -= n;
        }
        m_buf.clear();
    }

private:
    static const char *formatName(int32_t format)
    {
        switch (format) {
        case FormatBmp: return "BMP";
        case FormatGif: return "GIF";
        case FormatJpeg: return "JPEG";
        case FormatPng: return "PNG";
        case FormatWebp: return "WebP";
        case FormatAvif: return "AVIF";
        default: return "";
        }
    }
    QByteArray m_buf;
};

static int imageSizeCommand(Context &c)
{
    bool modeOk = true;
    const QString modeText = c.optionValue(QStringLiteral("--mode"));
    const int mode = modeText.isEmpty() ? 0 : modeText.toInt(&modeOk);
    if (!modeOk || mode < 0 || mode > 5)
        return c.usageError(QCoreApplication::translate("cli", "--mode は 0 から 5 で指定してください。"));
    int failed = 0;
    c.out.flush();
    LineWriter lines;
    for (const QString &path : std::as_const(c.args)) {
        const ImageInfo info = GetImageSize(path, mode);
        if (info.Format != 0) {
            lines.add(path, info);
            continue;
        }
        ++failed;
        QString why;
        if (info.fault != ImageFault::None)
            why = ImageFaultText(info.fault);
        else if (!IsReadableFile(path))
            why = QCoreApplication::translate("cli", "ファイルがないか、2 バイトに満たないか、通常のファイルではありません");
        else if (mode >= 1 && mode <= 4)
            why = QCoreApplication::translate("cli", "%1 のファイルではありません").arg(ImageFormatName(mode));
        else if (mode == 5)
            why = QCoreApplication::translate("cli", "拡張子が bmp・gif・jpg・jpeg・png・webp・avif でないか、その形式のファイルではありません");
        else
            why = QCoreApplication::translate("cli", "BMP・GIF・JPEG・PNG・WebP・AVIF のいずれでもないか、大きさを示す部分がありません");
        lines.flush();
        c.err << "tessaly-cli: " << path << ": " << why << Qt::endl;
    }
    return failed ? 1 : 0;
}

static CliCommand generate("generate", "generate LIB",
                           "writes the album site of the library into its output folder and genre folders",
                           generateCommand, {},
                           "ライブラリのアルバムサイトを出力先と各ジャンルのフォルダに書き出します");
static CliCommand publish("publish", "publish [--no-videos] LIB FOLDER",
                          "writes a self-contained copy of the album site into FOLDER, to be uploaded to a web server "
                          "as it is: a web album of every photo and video (its index.html) and the classic frame "
                          "pages; a second run copies only what changed. --no-videos leaves the video files out "
                          "and keeps their posters",
                          publishCommand, {},
                          "アルバムサイトの公開用コピー(ほかのファイルを参照しないもの)をフォルダに書き出します。"
                          "すべての写真とビデオを載せたウェブアルバム(index.html)と従来のフレームのページを含み、"
                          "そのままウェブサーバーに置けます。2 回目からは変わったものだけをコピーします。"
                          "--no-videos を付けるとビデオのファイルはコピーせず、ポスターだけを載せます");
static CliCommand imageSize("image-size", "image-size [--mode N] FILE...",
                            "prints format, width, height, depth and Exif orientation (0: none) of each image "
                            "(mode 0: by content, 1-4: BMP/GIF/JPEG/PNG, 5: by extension)",
                            imageSizeCommand, {QStringLiteral("--mode")},
                            "各画像の形式・幅・高さ・色深度・Exif の向き(0: なし)を表示します(モード 0: 内容で判定、"
                            "1-4: BMP/GIF/JPEG/PNG、5: 拡張子で判定)");

}  // namespace tessaly::cli
