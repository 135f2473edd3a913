// create and show.
#include "Cli.h"

#include "AutoSet.h"
#include "Database.h"
#include "EditorRecords.h"
#include "Statement.h"
#include "FileReplace.h"
#include "Library.h"
#include "Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace tessaly::cli {

static int createCommand(Context &c)
{
    const QString dest = QFileInfo(c.args.first()).absoluteFilePath();
    const QString link = SymLinkTarget(dest);
    if (!link.isNull())
        return c.fail(SymLinkRefusal(dest, link));
    if (QFileInfo::exists(dest) && !c.hasOption(QStringLiteral("--force")))
        return c.fail(QCoreApplication::translate("cli", "「%1」は既にあります。上書きするには --force を付けてください。").arg(dest));
    int err = 0;
    QString desc;
    if (!CopyTemplate(TemplatePath(c.g), dest, &err, &desc))
        return c.fail(QCoreApplication::translate("cli", "ライブラリを作成できませんでした (%1)").arg(desc));
    c.summary() << QCoreApplication::translate("cli", "作成しました: %1").arg(dest) << Qt::endl;
    return 0;
}

static QString shown(const RowSet &rs, const char *field)
{
    const QVariant v = rs.value(QString::fromLatin1(field));
    return v.isNull() ? QStringLiteral("(not set)") : v.toString();
}

// The tables as a script reads them, every field of every row in key order: the names
// are the library's own, so that a reader can rely on them whatever the program calls them.
struct ShownTable {
    const char *name;
    const char *order;
    QStringList fields;
};

static const QList<ShownTable> &shownTables()
{
    static const QList<ShownTable> tables = {
        {"allTop", "ID", {"ID", "allTop"}},
        {"systemdir", "ID", {"ID", "htmlDir"}},
        {"photoGraph", "ID", {"ID", "topFolderName", "topFolder"}},
        {"photoYear", "ID1", {"ID", "ID1", "yearFolderName", "yearFolder"}},
        {"photoIvents", "ID2",
         {"ID2", "ID", "ID1", "iventsFolderName", "iventsFolder", "iventsLink", "IventsLinkButton", "iventsHTML",
          "IventsHtmlButton", "Ivents", "iventsPhoto"}},
    };
    return tables;
}

// One TSV line per row, every table in one column layout: the table's name, then the
// keys, the name, the folder and the title's details; a field the table lacks is empty.
static const QStringList kTsvColumns = {"table",     "ID",   "ID1",  "ID2",   "name",   "folder", "iventsLink",
                                        "IventsLinkButton", "iventsHTML", "IventsHtmlButton", "Ivents", "iventsPhoto"};

static QString tsvColumnOf(const QString &table, const QString &field)
{
    if (field == QLatin1String("allTop") || field == QLatin1String("htmlDir") || field.endsWith(QLatin1String("Folder")))
        return QStringLiteral("folder");
    if (field.endsWith(QLatin1String("FolderName")))
        return QStringLiteral("name");
    Q_UNUSED(table);
    return field;
}

// Null is \N; a backslash, tab, line feed or carriage return in a text is escaped.
static QString tsvValue(const QVariant &v)
{
    if (v.isNull())
        return QStringLiteral("\\N");
    QString t = v.toString();
    t.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    t.replace(QLatin1Char('\t'), QLatin1String("\\t"));
    t.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    t.replace(QLatin1Char('\r'), QLatin1String("\\r"));
    return t;
}

static int showFormatted(Context &c, const QString &format)
{
    Connection conn(c.g.dbConnectString);
    QJsonObject doc;
    if (format == QLatin1String("tsv"))
        c.out << kTsvColumns.join(QLatin1Char('\t')) << '\n';
    else
        doc.insert(QStringLiteral("library"), c.g.dbFilePath);
    for (const ShownTable &t : shownTables()) {
        const QString table = QString::fromLatin1(t.name);
        Statement st(conn, QStringLiteral("select %1 from %2 order by %3")
                               .arg(t.fields.join(QLatin1Char(',')), table, QLatin1String(t.order)));
        QJsonArray rows;
        while (st.step()) {
            if (format == QLatin1String("tsv")) {
                QStringList line(kTsvColumns.size());
                line[0] = table;
                for (int i = 0; i < t.fields.size(); ++i) {
                    const QVariant v = st.isNull(i) ? QVariant()
                                       : t.fields.at(i).startsWith(QLatin1String("ID")) || t.fields.at(i).endsWith(QLatin1String("Button"))
                                           ? QVariant(st.integer(i))
                                           : QVariant(st.utf8(i).toString());
                    line[kTsvColumns.indexOf(tsvColumnOf(table, t.fields.at(i)))] = tsvValue(v);
                }
                c.out << line.join(QLatin1Char('\t')) << '\n';
                continue;
            }
            QJsonObject row;
            for (int i = 0; i < t.fields.size(); ++i) {
                const QString &f = t.fields.at(i);
                if (st.isNull(i))
                    row.insert(f, QJsonValue::Null);
                else if (f.startsWith(QLatin1String("ID")) || f.endsWith(QLatin1String("Button")))
                    row.insert(f, st.integer(i));
                else
                    row.insert(f, st.utf8(i).toString());
            }
            rows.append(row);
        }
        if (format != QLatin1String("tsv"))
            doc.insert(table, rows);
    }
    if (format != QLatin1String("tsv"))
        c.out << QJsonDocument(doc).toJson(QJsonDocument::Indented);
    c.out.flush();
    return 0;
}

static int showCommand(Context &c)
{
    const QString format = c.optionValue(QStringLiteral("--format"));
    if (!format.isNull() && format != QLatin1String("tsv") && format != QLatin1String("json") && format != QLatin1String("text"))
        return c.usageError(QCoreApplication::translate("cli", "--format は text、tsv、json のいずれかです"));
    if (!c.openLibrary(c.args.first()))
        return 1;
    if (format == QLatin1String("tsv") || format == QLatin1String("json"))
        return showFormatted(c, format);
    Connection conn(c.g.dbConnectString);
    const QString notSet = QCoreApplication::translate("cli", "(未設定)");
    c.out << QCoreApplication::translate("cli", "ライブラリ: %1").arg(c.g.dbFilePath) << "\n";
    {
        RowSet rs(conn, QStringLiteral("select * from allTop where ID=1"));
        c.out << QCoreApplication::translate("cli", "基準フォルダ: %1").arg(rs.eof() ? notSet : shown(rs, "allTop")) << "\n";
    }
    {
        RowSet rs(conn, QStringLiteral("select * from systemdir where ID=1"));
        c.out << QCoreApplication::translate("cli", "HTML出力先: %1").arg(rs.eof() ? notSet : shown(rs, "htmlDir")) << "\n";
    }
    const QString category = QCoreApplication::translate("Kinds", "カテゴリー");
    const QString genre = QCoreApplication::translate("Kinds", "ジャンル");
    const QString title = QCoreApplication::translate("Kinds", "タイトル");
    RowSet cats(conn, QStringLiteral("select * from photoGraph order by ID"));
    RowSet genres(conn, QStringLiteral("select * from photoYear where ID=? order by ID1"), {0});
    RowSet titles(conn, QStringLiteral("select * from photoIvents where +ID=? and ID1=? order by ID2"), {0, 0});
    for (; !cats.eof(); cats.moveNext()) {
        const int id = cats.number(QStringLiteral("ID"));
        c.out << category << ' ' << id << " " << cats.text(QStringLiteral("topFolderName")) << " "
              << cats.text(QStringLiteral("topFolder")) << "\n";
        for (genres.requery({id}); !genres.eof(); genres.moveNext()) {
            const int id1 = genres.number(QStringLiteral("ID1"));
            c.out << "  " << genre << ' ' << id1 << " " << genres.text(QStringLiteral("yearFolderName")) << " "
                  << genres.text(QStringLiteral("yearFolder")) << "\n";
            for (titles.requery({id, id1}); !titles.eof(); titles.moveNext()) {
                c.out << "    " << title << ' ' << titles.number(QStringLiteral("ID2")) << " "
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
        c.out << QCoreApplication::translate("Kinds", m.kind.toUtf8().constData()) << " " << m.key << " " << (m.path.isEmpty() ? QCoreApplication::translate("cli", "(パスなし)") : m.path) << "\n";
    if (missing.isEmpty()) {
        c.summary() << QCoreApplication::translate("cli", "見つからないフォルダ・ファイル・写真はありません。") << Qt::endl;
        return 0;
    }
    c.summary() << QCoreApplication::translate("cli", "見つからないもの: %1 件").arg(missing.size()) << Qt::endl;
    return 1;
}

// The rows of stored folders, deleted as the editor's delete buttons delete them: a
// category or genre with everything below it, a title only while it still holds what
// was read.
static int removeCommand(Context &c)
{
    const bool missing = c.hasOption(QStringLiteral("--missing"));
    const QStringList given = c.args.mid(1);
    if (!missing && given.isEmpty())
        return c.usageError(QCoreApplication::translate("cli", "削除するフォルダ PATH か --missing を指定してください"));
    if (!c.openLibrary(c.args.first()))
        return 1;
    static const char *const kKind[] = {QT_TRANSLATE_NOOP("Kinds", "カテゴリー"), QT_TRANSLATE_NOOP("Kinds", "ジャンル"),
                                        QT_TRANSLATE_NOOP("Kinds", "タイトル")};
    struct Target {
        int level;
        qint64 key;
        QString path;
    };
    QList<Target> targets;
    int rc = 0;
    if (missing)
        for (const MissingPath &m : MissingPaths(c.g, false))
            for (int level = 0; level < 3; ++level)
                if (m.kind == QString::fromUtf8(kKind[level]))
                    targets << Target{level, m.key, m.path};
    {
        Connection conn(c.g.dbConnectString);
        static const char *const kLookup[] = {"select ID from photoGraph where topFolder=?",
                                              "select ID1 from photoYear where yearFolder=?",
                                              "select ID2 from photoIvents where iventsFolder=?"};
        for (const QString &path : given) {
            // As stored, or as this system writes the folder (absolute, no trailing "/").
            QStringList forms{path};
            const QString clean = QDir::cleanPath(QDir::current().absoluteFilePath(path));
            if (clean != path)
                forms << clean;
            bool found = false;
            for (int level = 0; level < 3; ++level) {
                Statement st(conn, QString::fromLatin1(kLookup[level]));
                for (const QString &form : forms) {
                    st.bind(1, form);
                    while (st.step()) {
                        targets << Target{level, st.integer(0), form};
                        found = true;
                    }
                    st.reset();
                }
            }
            if (!found)
                rc = c.fail(QCoreApplication::translate("cli", "「%1」はライブラリに登録されていません。").arg(path));
        }
    }
    // Upper levels first: their deletion takes the rows below along.
    std::stable_sort(targets.begin(), targets.end(), [](const Target &a, const Target &b) { return a.level < b.level; });
    DeletedRows total;
    for (const Target &t : std::as_const(targets)) {
        // Where the rows of the entry are now; gone already when an upper level took them.
        qint64 category = 0, genre = 0;
        TitleEntry loaded;
        bool there = false;
        {
            Connection conn(c.g.dbConnectString);
            if (t.level == 0) {
                RowSet rs(conn, QStringLiteral("select * from photoGraph where ID=?"), {t.key});
                there = !rs.eof();
            } else if (t.level == 1) {
                RowSet rs(conn, QStringLiteral("select * from photoYear where ID1=?"), {t.key});
                there = !rs.eof();
                if (there)
                    category = rs.number(QStringLiteral("ID"));
            } else {
                RowSet rs(conn, QStringLiteral("select * from photoIvents where ID2=?"), {t.key});
                there = !rs.eof();
                if (there) {
                    category = rs.number(QStringLiteral("ID"));
                    genre = rs.number(QStringLiteral("ID1"));
                    loaded = TitleEntryOf([&rs](const QString &f) { return rs.value(f); });
                }
            }
        }
        if (!there)
            continue;
        DeletedRows d;
        if (t.level == 0) {
            d = DeleteCategoryTree(c.g, int32_t(t.key));
        } else if (t.level == 1) {
            d = DeleteGenreTree(c.g, int32_t(category), int32_t(t.key));
        } else {
            const TitleWrite w = DeleteTitleRows(c.g, int32_t(category), int32_t(genre), int32_t(t.key), loaded);
            if (w == TitleWrite::ChangedElsewhere) {
                rc = c.fail(QCoreApplication::translate("cli", "タイトル「%1」は読んだ後に変更されたため、削除しませんでした。").arg(t.path));
                continue;
            }
            d.titles = w == TitleWrite::Written ? 1 : 0;
        }
        total.categories += d.categories;
        total.genres += d.genres;
        total.titles += d.titles;
        c.out << QCoreApplication::translate("cli", "削除: %1 %2").arg(QCoreApplication::translate("Kinds", kKind[t.level]), t.path) << '\n';
    }
    c.out << QCoreApplication::translate("cli", "削除した行: カテゴリー %1、ジャンル %2、タイトル %3")
                 .arg(total.categories)
                 .arg(total.genres)
                 .arg(total.titles)
          << Qt::endl;
    return rc;
}

static CliCommand create("create", "create [--force] LIB", "makes a new library file from the template sys.1",
                         createCommand, {},
                         "テンプレート sys.1 から新しいライブラリファイルを作ります(--force: 既にあるファイルを置き換えます)");
static CliCommand check("check", "check LIB",
                        "lists every stored folder, title file and photo that does not exist (exit 1 when any)",
                        checkCommand, {},
                        "登録されているフォルダ・タイトルのファイル・写真のうち、存在しないものをすべて表示します(あれば終了コード 1)");
static CliCommand show("show", "show [--format FORMAT] LIB",
                       "prints the base and output folders, then the categories, genres and titles; --format tsv or "
                       "json prints every field of every row of allTop, systemdir, photoGraph, photoYear and "
                       "photoIvents in key order, under the library's own field names (see README: show --format)",
                       showCommand, {QStringLiteral("--format")},
                       "基準フォルダと出力先、続いてカテゴリー・ジャンル・タイトルを表示します。--format tsv または json: "
                       "allTop・systemdir・photoGraph・photoYear・photoIvents のすべての行のすべての項目を、"
                       "キーの順に、ライブラリの項目名で出力します(README の show --format を参照)");
static CliCommand remove("remove", "remove [--missing] LIB [PATH...]",
                         "deletes the rows of the stored folders PATH (a category or genre with everything below it, "
                         "as the editor's delete buttons do); --missing: of every stored folder that does not exist; "
                         "folders and files on disk are never touched (exit 1 when a PATH is not stored or a title "
                         "was changed meanwhile)",
                         removeCommand, {},
                         "登録されているフォルダ PATH の行を削除します(カテゴリー・ジャンルはその下の行もすべて。"
                         "編集画面の削除ボタンと同じ)。--missing: 存在しないフォルダの行をすべて削除します。"
                         "ディスク上のフォルダとファイルには触れません(登録されていない PATH や、"
                         "途中で変更されたタイトルがあれば終了コード 1)");

}  // namespace tessaly::cli
