// create and show.
#include "Cli.h"

#include "AutoSet.h"
#include "Database.h"
#include "FileReplace.h"
#include "Library.h"
#include "Paths.h"

#include <QFileInfo>

namespace tessaly::cli {

static int createCommand(Context &c)
{
    const QString dest = QFileInfo(c.args.first()).absoluteFilePath();
    const QString link = SymLinkTarget(dest);
    if (!link.isNull())
        return c.fail(SymLinkRefusal(dest, link));
    if (QFileInfo::exists(dest) && !c.hasOption(QStringLiteral("--force")))
        return c.fail(QStringLiteral("「%1」は既にあります。上書きするには --force を付けてください。").arg(dest));
    int err = 0;
    QString desc;
    if (!CopyTemplate(TemplatePath(c.g), dest, &err, &desc))
        return c.fail(QStringLiteral("ライブラリを作成できませんでした (%1:%2)").arg(err).arg(desc));
    c.summary() << "created " << dest << Qt::endl;
    return 0;
}

static QString shown(const RowSet &rs, const char *field)
{
    const QVariant v = rs.value(QString::fromLatin1(field));
    return v.isNull() ? QStringLiteral("(not set)") : v.toString();
}

static int showCommand(Context &c)
{
    if (!c.openLibrary(c.args.first()))
        return 1;
    Connection conn(c.g.dbConnectString);
    c.out << "library: " << c.g.dbFilePath << "\n";
    {
        RowSet rs(conn, QStringLiteral("select * from allTop where ID=1"));
        c.out << "base folder: " << (rs.eof() ? QStringLiteral("(not set)") : shown(rs, "allTop")) << "\n";
    }
    {
        RowSet rs(conn, QStringLiteral("select * from systemdir where ID=1"));
        c.out << "output folder: " << (rs.eof() ? QStringLiteral("(not set)") : shown(rs, "htmlDir")) << "\n";
    }
    RowSet cats(conn, QStringLiteral("select * from photoGraph order by ID"));
    RowSet genres(conn, QStringLiteral("select * from photoYear where ID=? order by ID1"), {0});
    RowSet titles(conn, QStringLiteral("select * from photoIvents where +ID=? and ID1=? order by ID2"), {0, 0});
    for (; !cats.eof(); cats.moveNext()) {
        const int id = cats.number(QStringLiteral("ID"));
        c.out << "category " << id << " " << cats.text(QStringLiteral("topFolderName")) << " "
              << cats.text(QStringLiteral("topFolder")) << "\n";
        for (genres.requery({id}); !genres.eof(); genres.moveNext()) {
            const int id1 = genres.number(QStringLiteral("ID1"));
            c.out << "  genre " << id1 << " " << genres.text(QStringLiteral("yearFolderName")) << " "
                  << genres.text(QStringLiteral("yearFolder")) << "\n";
            for (titles.requery({id, id1}); !titles.eof(); titles.moveNext()) {
                c.out << "    title " << titles.number(QStringLiteral("ID2")) << " "
                      << titles.text(QStringLiteral("iventsFolderName")) << " "
                      << titles.text(QStringLiteral("iventsFolder")) << "\n";
            }
        }
    }
    return 0;
}

static int checkCommand(Context &c)
{
    if (!c.openLibrary(c.args.first()))
        return 1;
    const QList<MissingPath> missing = MissingPaths(c.g, true);
    for (const MissingPath &m : missing)
        c.out << m.kind << " " << m.key << " " << (m.path.isEmpty() ? QStringLiteral("(パスなし)") : m.path) << "\n";
    if (missing.isEmpty()) {
        c.summary() << "見つからないフォルダ・ファイル・写真はありません。" << Qt::endl;
        return 0;
    }
    c.summary() << "見つからないもの: " << missing.size() << " 件" << Qt::endl;
    return 1;
}

static CliCommand create("create", "create [--force] LIB", "makes a new library file from the template sys.1",
                         createCommand, {},
                         "テンプレート sys.1 から新しいライブラリファイルを作ります(--force: 既にあるファイルを置き換えます)");
static CliCommand check("check", "check LIB",
                        "lists every stored folder, title file and photo that does not exist (exit 1 when any)",
                        checkCommand, {},
                        "登録されているフォルダ・タイトルのファイル・写真のうち、存在しないものをすべて表示します(あれば終了コード 1)");
static CliCommand show("show", "show LIB",
                       "prints the base and output folders, then the categories, genres and titles", showCommand,
                       {}, "基準フォルダと出力先、続いてカテゴリー・ジャンル・タイトルを表示します");

}  // namespace tessaly::cli
