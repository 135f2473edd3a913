// demo: a small sample library with real photos, published as a site.
#include "Cli.h"

#include "AutoSet.h"
#include "Database.h"
#include "FolderSettings.h"
#include "HtmlOut.h"
#include "Library.h"
#include "MediaModule.h"
#include "Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace tessaly::cli {

namespace {

enum class Shape { Landscape, Portrait };

struct DemoPhoto {
    const char *file;  // its extension picks the format
    Shape shape;
};

struct DemoTitle {
    const char *category;
    const char *genre;
    const char *title;
    QList<DemoPhoto> photos;
    const char *htmlFile = nullptr;  // an HTML page of the title, opened by its button
    const char *link = nullptr;      // the title's link button
};

// Twelve titles; PNG-only titles get their photo chosen explicitly, as a user would.
const QList<DemoTitle> &demoTitles()
{
    static const QList<DemoTitle> titles = {
        {"旅行", "2023", "京都の秋", {{"紅葉.jpg", Shape::Landscape}, {"金閣寺.jpg", Shape::Portrait}}},
        {"旅行", "2023", "北海道の冬", {{"雪まつり.jpg", Shape::Landscape}}},
        {"旅行", "2023", "沖縄の海", {{"海.png", Shape::Landscape}}},
        {"旅行", "2024", "台北の夜市", {{"夜市.gif", Shape::Landscape}}},
        {"旅行", "2024", "富士山", {{"富士山.jpg", Shape::Portrait}}, nullptr, "https://www.example.com/"},
        {"家族", "誕生日", "Mike's Party", {{"cake.jpg", Shape::Landscape}}},
        {"家族", "誕生日", "はじめての一歩", {{"一歩.png", Shape::Portrait}}},
        {"家族", "運動会", "運動会 2023", {{"かけっこ.jpg", Shape::Landscape}}},
        {"家族", "運動会", "運動会 2024", {{"玉入れ.jpg", Shape::Landscape}}, "記録.html"},
        {"風景", "山", "秋の立山", {{"立山.gif", Shape::Portrait}}},
        {"風景", "海", "湘南の夕焼け", {{"夕焼け.jpg", Shape::Landscape}}},
        {"風景", "海", "灯台", {{"灯台.png", Shape::Portrait}, {"灯台2.jpg", Shape::Landscape}}},
    };
    return titles;
}

QString titleHtml(const QString &title)
{
    return QStringLiteral("<!DOCTYPE html>\n<html lang=\"ja\"><head><meta charset=\"UTF-8\"><title>%1</title></head>\n"
                          "<body><h1>%1</h1><p>紅組と白組の玉入れ。結果は 52 対 48 で紅組の勝ち。</p></body></html>\n")
        .arg(title.toHtmlEscaped());
}

}  // namespace

static int demoCommand(Context &c)
{
    QString folder;
    if (!c.folderArgument(c.args.first(), &folder))
        return 1;
    const QString base = ChildPath(folder, QStringLiteral("写真"));
    const QString output = ChildPath(folder, QStringLiteral("サイト"));
    const QString library = ChildPath(folder, QStringLiteral("demo.mdb"));
    QString why;
    const MediaApi *media = LoadMediaModule(&why);
    if (!media)
        return c.fail(why);
    if (!QDir().mkpath(base) || !QDir().mkpath(output))
        return c.fail(QCoreApplication::translate("cli", "フォルダ「%1」を作れません。").arg(folder));

    // The photo tree; files already there are kept, so a second run changes nothing.
    int seed = 0;
    for (const DemoTitle &t : demoTitles()) {
        const QString dir = ChildPath(ChildPath(ChildPath(base, QString::fromUtf8(t.category)),
                                                QString::fromUtf8(t.genre)),
                                      QString::fromUtf8(t.title));
        if (!QDir().mkpath(dir))
            return c.fail(QCoreApplication::translate("cli", "フォルダ「%1」を作れません。").arg(dir));
        for (const DemoPhoto &photo : t.photos) {
            const QString path = ChildPath(dir, QString::fromUtf8(photo.file));
            ++seed;
            if (!QFileInfo::exists(path) && !media->drawDemoPhoto(path, QString::fromUtf8(t.title), photo.shape == Shape::Portrait, seed))
                return c.fail(QCoreApplication::translate("cli", "写真「%1」を書けません。").arg(path));
        }
        if (t.htmlFile) {
            const QString path = ChildPath(dir, QString::fromUtf8(t.htmlFile));
            QFile f(path);
            if (!QFileInfo::exists(path)
                && (!f.open(QIODevice::WriteOnly) || f.write(titleHtml(QString::fromUtf8(t.title)).toUtf8()) < 0))
                return c.fail(QCoreApplication::translate("cli", "「%1」を書けません。").arg(path));
        }
    }

    if (!QFileInfo::exists(library)) {
        int err = 0;
        QString desc;
        if (!CopyTemplate(TemplatePath(c.g), library, &err, &desc))
            return c.fail(QCoreApplication::translate("cli", "ライブラリを作成できませんでした (%1)").arg(desc));
    }
    if (!c.openLibrary(library))
        return 1;
    if (SaveBaseFolder(c.g, *c.dialogs, base, nullptr, MissingFolder::Create).outcome != SaveOutcome::Saved
        || SaveOutputFolder(c.g, *c.dialogs, output, nullptr, MissingFolder::Create).outcome != SaveOutcome::Saved)
        return c.fail(QCoreApplication::translate("cli", "基準フォルダと出力先を保存できませんでした。"));

    AutoSetCounts counts;
    const AutoSetResult r = RunAutoSetPasses(c.g, *c.dialogs, &counts);
    if (r.anyError || r.categoryStatus != ScanCompleted)
        return c.fail(QCoreApplication::translate("cli", "オートセットが最後まで終わりませんでした。"));

    // What a user would choose in the editor: PNG photos, an HTML file, a link.
    {
        Connection conn(c.g.dbConnectString);
        RowSet title(conn, QStringLiteral("select * from photoIvents where iventsFolderName=?"), {QString()});
        for (const DemoTitle &t : demoTitles()) {
            title.requery({QString::fromUtf8(t.title)});
            if (title.eof())
                continue;
            const QString dir = title.text(QStringLiteral("iventsFolder"));
            const DemoPhoto &first = t.photos.first();
            if (QString::fromUtf8(first.file).endsWith(QLatin1String(".png")))
                title.setText(QStringLiteral("iventsPhoto"), ChildPath(dir, QString::fromUtf8(first.file)));
            if (t.htmlFile) {
                const QString file = ChildPath(dir, QString::fromUtf8(t.htmlFile));
                title.setText(QStringLiteral("iventsHTML"), file);
                title.setText(QStringLiteral("Ivents"), file);
                title.setFlag(QStringLiteral("IventsHtmlButton"), true);
            }
            if (t.link) {
                title.setText(QStringLiteral("iventsLink"), QString::fromUtf8(t.link));
                title.setFlag(QStringLiteral("IventsLinkButton"), true);
            }
            title.update();
        }
    }

    if (!HtmlFileCreate(c.g, *c.dialogs))
        return c.fail(QCoreApplication::translate("cli", "サイトの出力は完了しませんでした。上のメッセージを確認してください。"));
    c.summary() << QCoreApplication::translate("cli", "ライブラリ: %1").arg(library) << "\n"
                << QCoreApplication::translate("cli", "サイト: %1").arg(ChildPath(output, QStringLiteral("アルバム.html"))) << Qt::endl;
    return 0;
}

static CliCommand demo("demo", "demo FOLDER",
                       "makes a sample library with photos in FOLDER (写真, demo.mdb) and writes its site "
                       "into FOLDER/サイト; safe to run again",
                       demoCommand, {},
                       "FOLDER にサンプルのライブラリ(写真、demo.mdb)を作り、そのサイトを FOLDER/サイト に"
                       "書き出します。何度実行してもかまいません");

}  // namespace tessaly::cli
