// The auto-set passes and the editor's record and folder-scan operations, over real folder
// trees and libraries.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include "AutoSet.h"
#include "Database.h"
#include "DialogService.h"
#include "EditorRecords.h"
#include "Global.h"
#include "TestSupport.h"

#include <sys/stat.h>

using namespace tessaly;
using namespace tessaly::test;

namespace {

const QString kContinue = QStringLiteral("設定されている撮影者ﾌｫﾙﾀﾞを元に、ﾌｫﾙﾀﾞ検索を継続しますか？");

void setBase(const QString &lib, const QString &base)
{
    sql(lib, QStringLiteral("delete from allTop"));
    sql(lib, QStringLiteral("insert into allTop (ID, allTop) values (1, ?)"), {base});
}

QStringList allRows(const QString &lib)
{
    return sqlColumn(lib, "select 'c' || ID || '|' || topFolderName || '|' || topFolder from photoGraph") +
           sqlColumn(lib, "select 'g' || ID1 || '<' || ID || '|' || yearFolderName || '|' || yearFolder from photoYear") +
           sqlColumn(lib, "select 't' || ID2 || '<' || ID1 || '|' || iventsFolderName || '|' || iventsFolder "
                          "from photoIvents");
}

// Rows of photoGraph, photoYear, photoIvents.
QString counts(const QString &lib)
{
    return sqlColumn(lib, "select (select count(*) from photoGraph) || ',' || (select count(*) from photoYear) || ',' || "
                          "(select count(*) from photoIvents)").first();
}

QString levelCounts(const AutoSetCounts &c)
{
    QStringList l;
    for (int level : {CategoryLevel, GenreLevel, TitleLevel})
        l << QStringLiteral("%1+%2").arg(c.added[level]).arg(c.refreshed[level]);
    return l.join(' ');
}

QString describe(const MessageRequest &m)
{
    return QStringLiteral("%1|%2|%3|%4").arg(m.title).arg(int(m.kind)).arg(int(m.buttons)).arg(m.text);
}

}  // namespace

class TestAutoSet : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_dir;
    QString dir, base, lib;  // the library's base folder is set but not made
    Global m_g;  // on the library

    QString one(const QString &statement, const QVariantList &params = {}) { return sqlColumn(lib, statement, params).value(0, "<none>"); }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        dir = m_dir->path();
        base = dir + "/base";
        lib = makeLibrary(dir);
        setBase(lib, base);
        m_g = makeGlobal(lib);
    }
    // Files and hidden folders are no entries; names are exact (Trip and trip) and may hold
    // apostrophes; the same names under other parents are rows of their own. Stored folders
    // that are gone (a file now, or Null) are passed over; a rerun changes nothing, also where stored
    // rows come back out of the listing's order; after the base folder moved, rows keep
    // their keys and other fields and only their paths are refreshed.
    void registerRerunAndMove()
    {
        for (const char *d : {"/旅行/2019/京都", "/旅行/2019/奈良", "/旅行/it's/a'b", "/家族/2019/京都", "/家族/空",
                              "/trip/x' or '1'='1/t", "/Trip/2019/t", "/.hidden/g/t"})
            makeDir(base + QString::fromUtf8(d));
        for (int t = 0; t < 40; ++t)  // more than one group of writes
            makeDir(base + QStringLiteral("/旅行/many/t%1").arg(t, 2, 10, QLatin1Char('0')));
        for (const char *f : {"/readme.txt", "/旅行/cover.jpg", "/旅行/2019/index.html", "/旅行/2019/京都/p.jpg"})
            writeFile(base + QString::fromUtf8(f));
        sql(lib, "insert into photoGraph (topFolder, topFolderName) values (?, 'gone')", {writeFile(dir + "/gone")});
        sql(lib, "insert into photoGraph (topFolder, topFolderName) values (null, 'no path')");
        sql(lib, "insert into photoYear (ID, yearFolder, yearFolderName) values (1, ?, 'g')", {dir + "/gone/g"});
        Global g = makeGlobal(lib);
        ScriptedDialogService ds;
        AutoSetCounts first;
        const AutoSetResult r = RunAutoSetPasses(g, ds, &first);
        QVERIFY(r.categoryStatus == ScanCompleted && r.genresCompleted && r.titlesCompleted && !r.anyError);
        QCOMPARE(sqlColumn(lib, "select topFolderName from photoGraph order by topFolderName"),
                 (QStringList{"Trip", "gone", "no path", "trip", "家族", "旅行"}));
        QCOMPARE(sqlColumn(lib, "select yearFolder from photoYear where yearFolderName=? order by yearFolder", {"2019"}),
                 (QStringList{base + "/Trip/2019", base + "/家族/2019", base + "/旅行/2019"}));
        QCOMPARE(sqlColumn(lib, "select iventsFolder from photoIvents where iventsFolderName in ('京都', 'a''b') "
                                "order by iventsFolder"),
                 (QStringList{base + "/家族/2019/京都", base + "/旅行/2019/京都", base + "/旅行/it's/a'b"}));
        // Each title under the genre of its own folder.
        QCOMPARE(sqlColumn(lib, "select count(*) from photoIvents t join photoYear y on t.ID1 = y.ID1 "
                                "join photoGraph c on y.ID = c.ID where t.iventsFolder = y.yearFolder || '/' || "
                                "t.iventsFolderName and y.yearFolder = c.topFolder || '/' || y.yearFolderName"),
                 QStringList{"46"});
        QCOMPARE(levelCounts(first), QString("4+0 7+0 46+0"));

        const QStringList before = allRows(lib);
        AutoSetCounts second;
        QVERIFY(!RunAutoSetPasses(g, ds, &second).anyError);
        QCOMPARE(allRows(lib), before);
        QCOMPARE(levelCounts(second), QString("0+0 0+0 0+0"));

        sql(lib, "update photoIvents set iventsLink='keep me'");
        QVERIFY(QDir().rename(base, dir + "/new"));
        setBase(lib, dir + "/new");
        AutoSetCounts moved;
        RunAutoSetPasses(g, ds, &moved);
        QCOMPARE(allRows(lib), QStringList(before).replaceInStrings(base, dir + "/new"));
        QCOMPARE(sqlColumn(lib, "select distinct iventsLink from photoIvents"), QStringList{"keep me"});
        QCOMPARE(levelCounts(moved), QString("0+4 0+7 0+46"));
        // Every run ends naming the stored folders that are gone.
        QCOMPARE(ds.messages().size(), 3);
        for (const MessageRequest &m : ds.messages())
            QCOMPARE(describe(m).split('\n').mid(0, 4),
                     (QStringList{"オートセット|2|0|登録されているフォルダのうち 3 件が見つかりません:",
                                  "カテゴリー " + dir + "/gone", "カテゴリー ", "ジャンル " + dir + "/gone/g"}));
    }

    void movedTreeKeepsFilesAndPhotos_data()
    {
        QTest::addColumn<QString>("to");  // where the base folder's content goes, under the folder that holds it
        QTest::newRow("into the parent") << "";
        QTest::newRow("into a sub-folder") << "/base/sub";
    }
    // The tree moved without the base folder window: the auto-set finds every title again
    // and takes along its file and photo that lay in its folder; others stay. Then `check`
    // lists what the library names and the disk lacks: none, then a photo and a title folder.
    void movedTreeKeepsFilesAndPhotos()
    {
        QFETCH(QString, to);
        const QString title = makeDir(base + "/c/g/t");
        const QStringList files{writeFile(title + "/x.html"), writeFile(title + "/pics/a.jpg"), writeFile(dir + "/elsewhere.jpg"),
                                writeFile(base + "/c/g/u/u.jpg")};
        Global g = makeGlobal(lib);
        ScriptedDialogService ds;
        RunAutoSetPasses(g, ds);
        sql(lib, "update photoIvents set Ivents=?, iventsPhoto=?, iventsLink=?", {files.at(0), files.at(1), files.at(1)});
        sql(lib, "update photoIvents set Ivents=null, iventsPhoto=?, iventsLink=null where iventsFolderName='u'", {files.at(3)});
        sql(lib, "insert into photoIvents (ID, ID1, iventsFolderName, iventsFolder, Ivents, iventsPhoto) "
                 "values (1, 1, 'gone', ?, ?, '')", {base + "/c/g/gone", files.at(2)});
        const QString newBase = dir + to;
        makeDir(newBase);
        QVERIFY(QDir().rename(base + "/c", newBase + "/c"));
        setBase(lib, newBase);
        AutoSetCounts moved;
        ds.clear();
        RunAutoSetPasses(g, ds, &moved);
        QCOMPARE(levelCounts(moved), QString(to.isEmpty() ? "1+1 0+1 0+2" : "0+1 0+1 0+2"));  // the parent also holds "base"
        QCOMPARE(sqlColumn(lib, "select iventsFolder || '|' || Ivents || '|' || iventsPhoto || '|' || "
                                "ifnull(iventsLink, 'N') from photoIvents where iventsFolderName <> 'u' order by ID2"),
                 (QStringList{newBase + "/c/g/t|" + newBase + "/c/g/t/x.html|" + newBase + "/c/g/t/pics/a.jpg|" + files.at(1),
                              base + "/c/g/gone|" + files.at(2) + "||N"}));
        // A title without a file keeps none after one that had its own.
        QCOMPARE(sqlColumn(lib, "select ifnull(Ivents, 'N') || '|' || iventsPhoto from photoIvents where iventsFolderName='u'"),
                 QStringList{"N|" + newBase + "/c/g/u/u.jpg"});
        QCOMPARE(ds.messages().size(), 1);
        QVERIFY(ds.messages().first().text.contains("1 件が見つかりません:\nタイトル " + base + "/c/g/gone\n"));

        sql(lib, "delete from photoIvents where iventsFolderName='gone'");
        CliResult r = runCli({"check", lib});
        QVERIFY2(r.exitCode == 0 && r.out.contains("ありません"), qPrintable(r.out + r.err));
        QVERIFY(QDir(newBase + "/c/g/t").removeRecursively());
        r = runCli({"check", lib});
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.out.split('\n').mid(0, 4), (QStringList{"タイトル 1 " + newBase + "/c/g/t", "ファイル 1 " + newBase + "/c/g/t/x.html",
                                                           "写真 1 " + newBase + "/c/g/t/pics/a.jpg", "見つからないもの: 3 件"}));
    }

    void renamedFoldersKeepTheirRows_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QStringList>("after");  // what else happens on disk: "mkdir P", "copy A|B", "rm P"
        QTest::addColumn<int>("renamed");        // folders found again
        QTest::addColumn<QString>("gone");       // the stored folder that stays missing
        QTest::newRow("title renamed") << "c/g/箱根" << "c/g/箱根 2024" << QStringList() << 1 << "";
        QTest::newRow("title moved to another genre") << "c/g/箱根" << "c/h/箱根" << QStringList() << 1 << "";
        QTest::newRow("genre renamed") << "c/g" << "c/g 2" << QStringList() << 1 << "";
        QTest::newRow("genre moved to another category") << "c/g" << "d/g" << QStringList() << 1 << "";
        QTest::newRow("category renamed") << "c" << "c'2" << QStringList() << 1 << "";
        // A category or genre with other sub-folders is another one; the titles in it are
        // found again all the same.
        QTest::newRow("genre renamed and given a title") << "c/g" << "c/g 2" << QStringList{"mkdir c/g 2/new"} << 1 << "c/g";
        QTest::newRow("category renamed, a genre gone") << "c" << "c2" << QStringList{"rm c2/h"} << 1 << "c";
        QTest::newRow("title copied, the original removed") << "" << "" << QStringList{"copy c/g/箱根|c/g/箱根 2024", "rm c/g/箱根"}
                                                            << 0 << "c/g/箱根";
        QTest::newRow("title moved out of the base folder") << "c/g/箱根" << "../箱根" << QStringList() << 0 << "c/g/箱根";
    }
    // A folder renamed or moved between two auto-sets (the real tessaly-cli) keeps its row
    // with its link, file, photo and buttons, and the rows below it; file paths inside it
    // follow it, others stay. Anything else is no rename: a new row, the old one missing.
    void renamedFoldersKeepTheirRows()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QStringList, after);
        QFETCH(int, renamed);
        QFETCH(QString, gone);
        const QString title = makeDir(base + "/c/g/箱根");
        makeDir(base + "/c/h/t");
        makeDir(base + "/d/k/t");
        const QString page = writeFile(title + "/x.html"), photo = writeFile(title + "/pics/a.jpg"),
                      outside = writeFile(base + "/d/k/t/b.jpg");
        CliResult r = runCli({"autoset", lib});
        QVERIFY2(r.exitCode == 0 && r.out.contains("名前が変わったフォルダ: 0"), qPrintable(r.out + r.err));
        sql(lib, "update photoIvents set iventsLink='https://example.com/', IventsLinkButton=-1, IventsHtmlButton=-1, "
                 "iventsHTML=?, Ivents=?, iventsPhoto=? where iventsFolderName='箱根'", {page, page, photo});
        sql(lib, "update photoIvents set iventsPhoto=? where iventsFolderName='t'", {outside});
        // Every row by its own key, without the keys of its parents (a move changes them).
        const auto rows = [&] {
            return sqlColumn(lib, "select 't' || ID2 || '|' || iventsFolderName || '|' || iventsFolder || '|' || "
                                  "ifnull(iventsLink, 'N') || IventsLinkButton || IventsHtmlButton || '|' || ifnull(iventsHTML, 'N') "
                                  "|| '|' || ifnull(Ivents, 'N') || '|' || ifnull(iventsPhoto, 'N') from photoIvents order by ID2")
                   + sqlColumn(lib, "select 'g' || ID1 || '|' || yearFolderName || '|' || yearFolder from photoYear order by ID1")
                   + sqlColumn(lib, "select 'c' || ID || '|' || topFolderName || '|' || topFolder from photoGraph order by ID");
        };
        const QStringList before = rows();
        if (!from.isEmpty())
            QVERIFY(QDir().rename(base + "/" + from, QDir::cleanPath(base + "/" + to)));
        for (const QString &step : after) {
            const QString what = step.section(' ', 0, 0), arg = step.section(' ', 1);
            if (what == "mkdir")
                makeDir(base + "/" + arg);
            else if (what == "rm")
                QVERIFY(QDir(base + "/" + arg).removeRecursively());
            else
                QCOMPARE(QProcess::execute("cp", {"-r", base + "/" + arg.section('|', 0, 0), base + "/" + arg.section('|', 1)}), 0);
        }
        r = runCli({"autoset", lib});
        QVERIFY2(r.exitCode == 0 && r.out.contains(QString("名前が変わったフォルダ: %1").arg(renamed)), qPrintable(r.out + r.err));
        r = runCli({"check", lib});
        if (!gone.isEmpty()) {
            QVERIFY2(r.exitCode == 1 && r.out.contains(" " + base + "/" + gone + "\n"), qPrintable(r.out));
            return;
        }
        QVERIFY2(r.exitCode == 0, qPrintable(r.out));
        // The same rows, with the new folder in every path that lay in the old one.
        const QString oldPath = base + "/" + from, newPath = QDir::cleanPath(base + "/" + to);
        QStringList expected = before;
        expected.replaceInStrings(QRegularExpression("\\|" + QRegularExpression::escape(oldPath) + "(?=[/|]|$)"), "|" + newPath);
        expected.replaceInStrings(QRegularExpression("^(\\w+\\|)" + QRegularExpression::escape(from.section('/', -1)) + "\\|"),
                                  "\\1" + to.section('/', -1) + "|");
        QCOMPARE(rows(), expected);
        // Each title under the genre of its own folder, each genre under its category's.
        QCOMPARE(sqlColumn(lib, "select count(*) from photoIvents t join photoYear y on t.ID1 = y.ID1 and t.ID = y.ID "
                                "join photoGraph c on y.ID = c.ID where t.iventsFolder = y.yearFolder || '/' || "
                                "t.iventsFolderName and y.yearFolder = c.topFolder || '/' || y.yearFolderName"),
                 QStringList{"3"});
        QVERIFY(runCli({"autoset", lib}).out.contains("名前が変わったフォルダ: 0"));
        QCOMPARE(rows(), expected);
    }

    void removeDeletesAsTheEditorDoes_data()
    {
        QTest::addColumn<QStringList>("vanish");  // folders removed from disk first
        QTest::addColumn<QStringList>("args");    // after LIB; "B/" stands for the base folder
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("left");        // rows left: categories,genres,titles
        QTest::addColumn<QString>("summary");
        QTest::newRow("a category and all below it") << QStringList() << QStringList{"B/c"} << 0 << "1,1,1"
                                                     << "削除した行: カテゴリー 1、ジャンル 2、タイトル 3";
        QTest::newRow("a title and a genre, trailing slash") << QStringList() << QStringList{"B/c/g/t1", "B/d/k/"} << 0 << "2,2,2"
                                                             << "削除した行: カテゴリー 0、ジャンル 1、タイトル 2";
        QTest::newRow("a path not stored") << QStringList() << QStringList{"B/c/none", "B/c/h"} << 1 << "2,2,3"
                                           << "削除した行: カテゴリー 0、ジャンル 1、タイトル 1";
        QTest::newRow("missing: a genre and a title") << QStringList{"c/h", "c/g/t2"} << QStringList{"--missing"} << 0 << "2,2,2"
                                                      << "削除した行: カテゴリー 0、ジャンル 1、タイトル 2";
        QTest::newRow("missing: a category, its rows once") << QStringList{"d"} << QStringList{"--missing"} << 0 << "1,2,3"
                                                            << "削除した行: カテゴリー 1、ジャンル 1、タイトル 1";
        QTest::newRow("missing: nothing") << QStringList() << QStringList{"--missing"} << 0 << "2,3,4"
                                          << "削除した行: カテゴリー 0、ジャンル 0、タイトル 0";
    }
    // The real tessaly-cli removes rows of stored folders with the editor's cascade, and
    // never a folder on disk.
    void removeDeletesAsTheEditorDoes()
    {
        QFETCH(QStringList, vanish);
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, left);
        QFETCH(QString, summary);
        for (const char *d : {"/c/g/t1", "/c/g/t2", "/c/h/t3", "/d/k/t4"})
            makeDir(base + d);
        QCOMPARE(runCli({"autoset", lib}).exitCode, 0);
        for (const QString &v : vanish)
            QVERIFY(QDir(base + "/" + v).removeRecursively());
        const CliResult r = runCli(QStringList{"remove", lib} + args.replaceInStrings(QRegularExpression("^B/"), base + "/"));
        QVERIFY2(r.exitCode == exitCode && r.out.contains(summary + "\n"), qPrintable(r.out + r.err));
        QCOMPARE(counts(lib), left);
        if (exitCode)
            QVERIFY2(r.err.contains("「" + base + "/c/none」はライブラリに登録されていません。"), qPrintable(r.err));
        QVERIFY(QFileInfo(base + "/c/g/t1").isDir());
        // What is left is whole: every genre under a category, every title under a genre.
        QCOMPARE(one("select count(*) from photoYear where ID not in (select ID from photoGraph)"), QString("0"));
        QCOMPARE(one("select count(*) from photoIvents where ID1 not in (select ID1 from photoYear)"), QString("0"));
        QCOMPARE(runCli({"check", lib}).exitCode, 0);
    }

    void showPrintsEveryField_data()
    {
        QTest::addColumn<QString>("format");
        QTest::newRow("json") << "json";
        QTest::newRow("tsv") << "tsv";
    }
    // show --format prints every field of every row as stored: Null apart from empty
    // text, texts with tabs, line ends and backslashes, flags as stored, rows of a genre
    // whose category is gone; read back it is the library.
    void showPrintsEveryField()
    {
        QFETCH(QString, format);
        sql(lib, "insert into systemdir (ID, htmlDir) values (1, null)");
        sql(lib, "insert into photoGraph (topFolder, topFolderName) values (?, ?)", {base + "/a\tb", "it's"});
        sql(lib, "insert into photoYear (ID, yearFolder, yearFolderName) values (7, '', 'orphan')");
        sql(lib, "insert into photoIvents (ID, ID1, iventsFolderName, iventsFolder, iventsLink, IventsLinkButton, iventsHTML, "
                 "IventsHtmlButton, Ivents, iventsPhoto) values (1, 1, ?, ?, 'https://x/?a=1', -1, '', 1, null, ?)",
            {"line\nend\r", base + "/c:\\d", "\\N"});
        sql(lib, "insert into photoIvents (ID, ID1, iventsFolderName) values (2, 3, 't')");
        const QList<QPair<QString, QStringList>> tables = {
            {"allTop", {"ID", "allTop"}},
            {"systemdir", {"ID", "htmlDir"}},
            {"photoGraph", {"ID", "topFolderName", "topFolder"}},
            {"photoYear", {"ID", "ID1", "yearFolderName", "yearFolder"}},
            {"photoIvents", {"ID2", "ID", "ID1", "iventsFolderName", "iventsFolder", "iventsLink", "IventsLinkButton",
                             "iventsHTML", "IventsHtmlButton", "Ivents", "iventsPhoto"}}};
        // Every row as "table|field=value|..." with Null as <null>, from the library itself.
        QStringList stored;
        for (const auto &[table, fields] : tables) {
            QStringList cols;
            for (const QString &f : fields)
                cols << QString("'%1=' || ifnull(%1, '<null>')").arg(f);
            stored << sqlColumn(lib, QString("select '%1|' || %2 from %1 order by %3").arg(table, cols.join(" || '|' || "), fields.first() == "ID2" ? "ID2" : fields.contains("ID1") ? "ID1" : "ID"));
        }
        const CliResult r = runCli({"show", "--format", format, lib});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QStringList shown;
        if (format == "json") {
            QJsonParseError e;
            const QJsonObject doc = QJsonDocument::fromJson(r.out.toUtf8(), &e).object();
            QVERIFY2(e.error == QJsonParseError::NoError, qPrintable(e.errorString()));
            QCOMPARE(doc.value("library").toString(), lib);
            for (const auto &[table, fields] : tables)
                for (const QJsonValue row : doc.value(table).toArray()) {
                    QString line = table;
                    for (const QString &f : fields) {
                        const QJsonValue v = row.toObject().value(f);
                        QVERIFY2(!v.isUndefined(), qPrintable(table + "." + f));
                        line += "|" + f + "=" + (v.isNull() ? "<null>" : v.isDouble() ? QString::number(v.toInteger()) : v.toString());
                    }
                    shown << line;
                }
        } else {
            QStringList lines = r.out.split('\n');
            QCOMPARE(lines.takeLast(), QString());
            const QStringList head = lines.takeFirst().split('\t');
            QCOMPARE(head, (QStringList{"table", "ID", "ID1", "ID2", "name", "folder", "iventsLink", "IventsLinkButton",
                                        "iventsHTML", "IventsHtmlButton", "Ivents", "iventsPhoto"}));
            for (const QString &l : lines) {
                const QStringList cells = l.split('\t');
                QCOMPARE(cells.size(), head.size());
                const auto it = std::find_if(tables.begin(), tables.end(), [&](const auto &t) { return t.first == cells[0]; });
                QVERIFY(it != tables.end());
                QString line = cells[0];
                for (const QString &f : it->second) {
                    const QString col = f.endsWith("FolderName") ? "name" : f.endsWith("Folder") || f == "allTop" || f == "htmlDir" ? "folder" : f;
                    QString v = cells[head.indexOf(col)];
                    if (v == "\\N")
                        v = "<null>";
                    else
                        v.replace(QRegularExpression("\\\\(.)"), "\\1\x01").replace("t\x01", "\t").replace("n\x01", "\n")
                            .replace("r\x01", "\r").remove('\x01');
                    line += "|" + f + "=" + v;
                }
                shown << line;
            }
        }
        QCOMPARE(shown, stored);
        QVERIFY(shown.join('\n').contains("iventsPhoto=\\N") && shown.join('\n').contains("Ivents=<null>"));
    }

    // More than ten folders gone: the count, the first ten and how many more.
    void vanishedFoldersAreCountedAndListed()
    {
        for (int t = 0; t < 12; ++t)
            makeDir(base + QStringLiteral("/c/old/t%1").arg(t, 2, 10, QLatin1Char('0')));
        Global g = makeGlobal(lib);
        ScriptedDialogService ds;
        RunAutoSetPasses(g, ds);
        QVERIFY(ds.messages().isEmpty());
        QVERIFY(QDir(base + "/c/old").removeRecursively());
        for (int t = 0; t < 12; ++t)
            makeDir(base + QStringLiteral("/c/new/t%1").arg(t, 2, 10, QLatin1Char('0')));
        const AutoSetResult r = RunAutoSetPasses(g, ds);
        QCOMPARE(r.vanishedCount, 13);
        QCOMPARE(counts(lib), QString("1,2,24"));
        const QStringList lines = ds.messages().first().text.split('\n');
        QCOMPARE(lines.at(0), QString("登録されているフォルダのうち 13 件が見つかりません:"));
        QStringList first{"ジャンル " + base + "/c/old"};
        for (int t = 0; t < 9; ++t)
            first << "タイトル " + base + QStringLiteral("/c/old/t%1").arg(t, 2, 10, QLatin1Char('0'));
        QCOMPARE(lines.mid(1, 10), first);
        QCOMPARE(r.vanished, first);
        QVERIFY(lines.at(11).startsWith("ほか 3 件"));
    }

    void baseFolderNotSet_data()
    {
        QTest::addColumn<QString>("base");  // the stored base folder; <none>: no row
        QTest::addColumn<bool>("goOn");
        QTest::newRow("no row, stop") << "<none>" << false;
        QTest::newRow("empty, continue") << "" << true;
        QTest::newRow("relative, stop") << "." << false;  // never looked up from the current folder
        QTest::newRow("not on disk, continue") << "/nowhere" << true;
        QTest::newRow("library file gone, continue") << "<no library>" << true;
    }
    // The two messages; on No only pass 1 ran, on Yes the stored categories are scanned.
    void baseFolderNotSet()
    {
        QFETCH(QString, base);
        QFETCH(bool, goOn);
        base.startsWith('<') ? sql(lib, "delete from allTop") : setBase(lib, base);
        const QString cat = makeDir(dir + "/elsewhere/cat");
        makeDir(cat + "/genre/title");
        sql(lib, "insert into photoGraph (topFolder, topFolderName) values (?, 'cat')", {cat});
        Global g = makeGlobal(base == "<no library>" ? dir + "/gone.mdb" : lib);
        ScriptedDialogService ds;
        ds.queueAnswer(goOn ? MsgAnswer::Yes : MsgAnswer::No);
        QCOMPARE(RunAutoSetPasses(g, ds).categoryStatus, int16_t(goOn ? ScanBaseNotSetContinue : ScanBaseNotSetStop));

        const QList<MessageRequest> m = ds.messages();
        QCOMPARE(m.size(), base == "<no library>" ? 4 : 2);  // later passes report their own fault
        const QString first = base == "/nowhere" ? QString("総ﾄｯﾌﾟﾌｫﾙﾀﾞ「/nowhere」が見つかりません。")
                                                 : QString("総ﾄｯﾌﾟﾌｫﾙﾀﾞが設定されていません。");
        QCOMPARE(describe(m.at(0)), describe({first + "\n\r総ﾄｯﾌﾟﾌｫﾙﾀﾞを設定してください。", MsgKind::Exclamation,
                                              "オートセット", MsgButtons::Ok}));
        QCOMPARE(describe(m.at(1)), describe({kContinue, MsgKind::Question, "オートセット", MsgButtons::YesNo}));
        if (base != "<no library>") {
            QCOMPARE(counts(lib), QString(goOn ? "1,1,1" : "1,0,0"));
            QCOMPARE(sqlColumn(lib, "select ID from allTop"), QStringList{"1"});
        }
    }

    // Folder names that are not UTF-8 cannot be stored: each is named once by its place in
    // the tree, all in one message after the last pass, and the rest of the tree is registered.
    void badlyNamedFoldersAreReported()
    {
        makeDir(base + "/c1/g1/t1");
        const QByteArray sjis("\x93\xfa\x96\x7b");  // 日本 in Shift_JIS
        // QTemporaryDir cannot remove what it cannot name.
        const auto removeAll = qScopeGuard([this] { QProcess::execute("rm", {"-rf", dir}); });
        for (const QString &parent : {base, base + "/c1"})
            QCOMPARE(::mkdir((QFile::encodeName(parent + "/") + sjis).constData(), 0700), 0);
        Global g = makeGlobal(lib);
        ScriptedDialogService ds;
        const AutoSetResult r = RunAutoSetPasses(g, ds);
        QVERIFY(r.anyError);
        QCOMPARE(counts(lib), QString("1,1,1"));
        const QList<MessageRequest> m = ds.messages();
        QCOMPARE(m.size(), 1);
        QCOMPARE(m.first().text.split('\n').mid(1),
                 (QStringList{base + "/" + QFile::decodeName(sjis), base + "/c1/" + QFile::decodeName(sjis)}));
    }

    void writeFaultsAreTold_data()
    {
        QTest::addColumn<QString>("medium");
        QTest::addColumn<QString>("said");  // %1 the library, %2 its folder
        QTest::addColumn<QString>("kept");  // the stopped pass's line; %1 the titles stored
        const QString readOnly = "ライブラリ「%1」のフォルダ「%2」に書き込めません（読み取り専用のメディアか、"
                                 "書き込みが許可されていないファイルかフォルダです）。この書き込みは保存されていません。";
        const QString noCategory = "カテゴリーの登録は途中で止まりました。新しいカテゴリーは登録していません。";
        QTest::newRow("full disk") << "full"
                                   << "ディスクがいっぱいです。ライブラリ「%1」のあるディスクに空きがありません。"
                                      "この書き込みは保存されていません。空きを作ってから、もう一度実行してください。"
                                   << "タイトルの登録は途中で止まりました。%1 件まで登録しました。残りは登録していません。";
        QTest::newRow("read-only medium") << "readonly" << readOnly << noCategory;
        QTest::newRow("folder refusing the journal") << "journal" << readOnly << noCategory;
    }
    // The command-line auto-set on a library it cannot write: the fault and what was kept
    // are told in Japanese, the run fails and prints no counts that read as done.
    void writeFaultsAreTold()
    {
        QFETCH(QString, medium);
        QFETCH(QString, said);
        QFETCH(QString, kept);
        for (int t = 0; t < 2000; ++t)
            makeDir(base + QStringLiteral("/c/g%1/t%2").arg(t / 100).arg(t % 100));
        const QString place = makeDir(dir + "/place"), copy = dir + "/after.mdb";
        const QString library = place + "/lib.mdb";
        QProcess p;
        if (medium == "journal") {
            // Run as another user: the file may be written, its folder not.
            QFile::copy(lib, library);
            QVERIFY(QFile::setPermissions(library, QFileDevice::Permissions(0x6666)));
            QVERIFY(QFile::setPermissions(place, QFileDevice::Permissions(0x5555)));
            QVERIFY(QFile::setPermissions(dir, QFileDevice::Permissions(0x7755)));
            p.start("setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups", "env", "HOME=" + place,
                                binDir() + "/tessaly-cli", "autoset", library});
        } else {
            // The library on a small file system of its own (a mount namespace): room left
            // for some hundreds of titles, or none at all.
            const qint64 size = (QFileInfo(lib).size() + 160 * 1024) / 4096 * 4096;
            p.start("unshare", {"-r", "-m", "sh", "-c",
                                "mount -t tmpfs -o size=$5 tmpfs \"$1\" || exit 9; cp \"$2\" \"$1/lib.mdb\" || exit 9;"
                                "[ \"$6\" = full ] || mount -o remount,ro \"$1\" || exit 9;"
                                "\"$3\" autoset \"$1/lib.mdb\"; r=$?; cp \"$1/lib.mdb\" \"$4\"; exit $r",
                                "sh", place, lib, binDir() + "/tessaly-cli", copy, QString::number(size), medium});
        }
        QVERIFY(p.waitForFinished(120000));
        const QString out = QString::fromUtf8(p.readAllStandardOutput()), err = QString::fromUtf8(p.readAllStandardError());
        if (p.error() == QProcess::FailedToStart || p.exitCode() == 9 || err.startsWith("setpriv:"))
            QSKIP(qPrintable("cannot make a read-only or small file system, or change user, here: " + err));
        QVERIFY2(p.exitCode() == 1, qPrintable(err));
        QVERIFY2(!out.contains("added") && !err.contains("added"), qPrintable(out));
        for (const char *english : {"readonly", "disk is full", "unable to open"})
            QVERIFY2(!err.contains(english), qPrintable(err));
        QVERIFY2(err.contains(QString(said).replace("%1", library).replace("%2", place)), qPrintable(err));
        if (medium == "full") {
            const int stored = sqlColumn(copy, "select count(*) from photoIvents").first().toInt();
            QVERIFY2(stored > 0 && stored < 2000, qPrintable(QString::number(stored)));
            QVERIFY2(err.contains(kept.arg(QLocale(QLocale::Japanese).toString(stored))), qPrintable(err));
        } else {
            QVERIFY2(err.contains(kept), qPrintable(err));
            QCOMPARE(counts(medium == "journal" ? library : copy), QString("0,0,0"));
        }
    }

    void twoRunsAtOnce_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::newRow("grouped commits") << QStringList();
        QTest::newRow("commit per folder") << QStringList{"--no-transaction"};
    }
    // Two processes on one library: the second waits for the first's writes; every folder
    // ends up registered once and both succeed. A third run finds everything unchanged;
    // without a base folder (No by default) or a library it fails.
    void twoRunsAtOnce()
    {
        QFETCH(QStringList, options);
        for (int c = 0; c < 4; ++c)
            for (int gn = 0; gn < 5; ++gn)
                for (int t = 0; t < 30; ++t)
                    makeDir(base + QStringLiteral("/c%1/g%2/t%3").arg(c).arg(gn).arg(t));
        QString lib;
        for (int round = 0; round < 3; ++round) {
            lib = makeLibrary(dir, QStringLiteral("lib%1.mdb").arg(round));
            setBase(lib, base);
            QProcess runs[2];
            for (QProcess &p : runs)
                p.start(binDir() + "/tessaly-cli", QStringList{"autoset"} + options + QStringList{lib});
            int reported = 0;  // the two runs' titles added make up what is stored
            for (QProcess &p : runs) {
                QVERIFY(p.waitForFinished(60000));
                QVERIFY2(p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0, p.readAllStandardError().constData());
                reported += QString(p.readAllStandardOutput()).section("titles: ", 1).section(' ', 0, 0).toInt();
            }
            QCOMPARE(counts(lib), QString("4,20,600"));
            QCOMPARE(reported, 600);
        }
        CliResult r = runCli(QStringList{"autoset"} + options + QStringList{lib});
        QVERIFY2(r.exitCode == 0 && r.err.isEmpty(), qPrintable(r.err));
        QVERIFY2(r.out.contains("categories: 0 added, 0 refreshed, 4 unchanged; genres: 0 added, 0 refreshed, 20 "
                                "unchanged; titles: 0 added, 0 refreshed, 600 unchanged"), qPrintable(r.out));
        sql(lib, "delete from allTop");
        r = runCli({"autoset", lib});
        QVERIFY2(r.exitCode == 1 && r.err.contains(kContinue), qPrintable(r.err));
        r = runCli({"autoset", dir + "/nothing.mdb"});
        QVERIFY2(r.exitCode == 1 && r.err.contains("nothing.mdb"), qPrintable(r.err));
    }

    void errorEndsOnlyItsPass_data()
    {
        QTest::addColumn<QString>("trigger");
        QTest::addColumn<int>("failingPass");
        QTest::addColumn<QString>("kept");
        QTest::newRow("categories") << "photoGraph when new.topFolderName='c2'" << 1 << "1,3,120";
        QTest::newRow("genres") << "photoYear when new.yearFolderName='g2'" << 2 << "3,1,40";
        // Inside the first group of new titles: the rows before it are still saved.
        QTest::newRow("titles") << "photoIvents when new.iventsFolderName='t10'" << 3 << "3,9,10";
    }
    // The fault is reported, the rows before it are kept and the later passes still run.
    void errorEndsOnlyItsPass()
    {
        QFETCH(QString, trigger);
        QFETCH(int, failingPass);
        QFETCH(QString, kept);
        for (const char *c : {"c1", "c2", "c3"})
            for (const char *gname : {"g1", "g2", "g3"})
                for (int t = 0; t < 40; ++t)
                    makeDir(base + QStringLiteral("/%1/%2/t%3").arg(c, gname).arg(t, 2, 10, QLatin1Char('0')));
        sql(lib, "create trigger boom before insert on " + trigger + " begin select raise(abort, 'boom'); end");
        Global g = makeGlobal(lib);
        ScriptedDialogService ds;
        const AutoSetResult r = RunAutoSetPasses(g, ds);
        QVERIFY(r.anyError);
        QCOMPARE(r.categoryStatus, int16_t(failingPass == 1 ? ScanFailed : ScanCompleted));
        QCOMPARE(r.genresCompleted, failingPass != 2);
        QCOMPARE(r.titlesCompleted, failingPass != 3);
        QCOMPARE(ds.messages().size(), 1);
        QVERIFY2(describe(ds.messages().first()).contains(QRegularExpression("^Tessaly\\|0\\|0\\|.*boom")),
                 qPrintable(describe(ds.messages().first())));
        QCOMPARE(counts(lib), kept);
        if (failingPass == 3)
            QCOMPARE(sqlColumn(lib, "select max(iventsFolderName) from photoIvents"), QStringList{"t09"});
    }

    // --- the editor's record operations ---

    // A category's tree registered completely: files beside the folders and hidden folders
    // are passed over, the first HTML file in name order (any case) is taken. A second
    // pass adds nothing, refreshes moved folders, keeps a chosen file and turns the open
    // button off where no HTML file is left.
    void registerAndRescanCategory()
    {
        const QString cat = base + QStringLiteral("/Trips");
        writeFile(cat + QStringLiteral("/notes.txt"));
        writeFile(cat + QStringLiteral("/2021/list.html"));
        writeFile(cat + QStringLiteral("/2021/Kyoto/b.html"));
        writeFile(cat + QStringLiteral("/2021/Kyoto/a.HTML"));
        writeFile(cat + QStringLiteral("/2021/Nara/n.html"));
        writeFile(cat + QStringLiteral("/2022/Tom's day/index.html"));
        makeDir(cat + QStringLiteral("/.hidden/x"));
        AddCategoryRow(m_g, QStringLiteral("Trips"), cat);
        ScriptedDialogService ds;
        auto pass = [&] {
            QCOMPARE(RegisterGenresOfCategory(m_g, ds, 1), int16_t(0));
            QCOMPARE(RegisterTitlesOfGenres(m_g, ds, EntrySelector::category(1)), int16_t(0));
            FindTitleHtmlFiles(m_g, ds, EntrySelector::category(1));
        };
        // Paths are compared below the category folder.
        auto below = [&](const char *statement) {
            return sqlColumn(lib, QString::fromLatin1(statement)).replaceInStrings(cat, QString());
        };
        const char *titles = "select iventsFolderName||'|'||iventsFolder||'|'||coalesce(iventsHTML,'-')||'|'||"
                             "coalesce(Ivents,'-')||'|'||IventsHtmlButton||'|'||ID from photoIvents order by ID2";
        pass();
        QCOMPARE(below("select yearFolderName||'|'||yearFolder||'|'||ID from photoYear"), QStringList({"2021|/2021|1", "2022|/2022|1"}));
        QCOMPARE(below(titles), QStringList({"Kyoto|/2021/Kyoto|/2021/Kyoto/a.HTML|/2021/Kyoto/a.HTML|-1|1",
                                             "Nara|/2021/Nara|/2021/Nara/n.html|/2021/Nara/n.html|-1|1",
                                             "Tom's day|/2022/Tom's day|/2022/Tom's day/index.html|/2022/Tom's day/index.html|-1|1"}));
        sql(lib, QStringLiteral("update photoIvents set iventsHTML='/elsewhere/mine.html', Ivents=null where iventsFolderName='Kyoto'"));
        sql(lib, QStringLiteral("update photoIvents set iventsHTML=null, Ivents=null, iventsFolder='/old' where iventsFolderName='Nara'"));
        sql(lib, QStringLiteral("update photoYear set yearFolder='/old/2021'"));
        QFile::remove(cat + QStringLiteral("/2021/Nara/n.html"));
        pass();
        QVERIFY(ds.calls.isEmpty());
        QCOMPARE(below("select yearFolder from photoYear order by ID1"), QStringList({"/2021", "/2022"}));
        QCOMPARE(below(titles).mid(0, 2), QStringList({"Kyoto|/2021/Kyoto|/elsewhere/mine.html|-|-1|1", "Nara|/2021/Nara|-|-|0|1"}));
        QCOMPARE(sqlColumn(lib, QStringLiteral("select count(*) from photoIvents")), QStringList{"3"});
    }

    // A failing write ends the scan with the error shown; rows saved before it stay.
    void scanFailureIsReportedAndKeepsEarlierRows_data()
    {
        QTest::addColumn<int>("level");  // 1 genres, 2 titles, 3 html pass
        QTest::addColumn<QString>("failing");
        QTest::addColumn<QString>("saved");
        QTest::newRow("genres") << 1 << "insert on photoYear when new.yearFolderName" << "select yearFolderName from photoYear";
        QTest::newRow("titles") << 2 << "insert on photoIvents when new.iventsFolderName" << "select iventsFolderName from photoIvents";
        QTest::newRow("html files") << 3 << "update on photoIvents when new.iventsFolderName"
                                    << "select iventsFolderName from photoIvents where iventsHTML is not null";
    }
    void scanFailureIsReportedAndKeepsEarlierRows()
    {
        QFETCH(int, level);
        QFETCH(QString, failing);
        QFETCH(QString, saved);
        const QString cat = base + QStringLiteral("/C");
        for (const char *g : {"a", "bad", "c"})
            for (const char *t : {"a", "bad", "c"})
                writeFile(cat + QStringLiteral("/%1/%2/x.html").arg(QLatin1String(g), QLatin1String(t)));
        AddCategoryRow(m_g, QStringLiteral("C"), cat);
        const EntrySelector all = EntrySelector::category(1);
        ScriptedDialogService ds;
        if (level >= 2)
            QCOMPARE(RegisterGenresOfCategory(m_g, ds, 1), int16_t(0));
        if (level >= 3)
            QCOMPARE(RegisterTitlesOfGenres(m_g, ds, all), int16_t(0));
        sql(lib, QStringLiteral("create trigger t before %1='bad' begin select raise(abort,'boom'); end").arg(failing));
        if (level == 3)
            FindTitleHtmlFiles(m_g, ds, all);
        else
            QCOMPARE(level == 1 ? RegisterGenresOfCategory(m_g, ds, 1) : RegisterTitlesOfGenres(m_g, ds, all), int16_t(-1));
        const auto msgs = ds.messages();
        QCOMPARE(msgs.size(), 1);
        QVERIFY2(msgs[0].text.contains(QLatin1String("boom")), qPrintable(msgs[0].text));
        QVERIFY(msgs[0].kind == MsgKind::None && msgs[0].title == QLatin1String("Tessaly") && msgs[0].buttons == MsgButtons::Ok);
        QCOMPARE(sqlColumn(lib, saved), QStringList{"a"});
        // The connection was closed: the library can be written at once.
        sql(lib, QStringLiteral("drop trigger t"));
        sql(lib, QStringLiteral("insert into photoGraph (topFolderName) values ('after')"));
    }

    void lookups()
    {
        sql(lib, QStringLiteral("insert into photoGraph (topFolderName, topFolder) values ('Cat', '/p/Cat'), ('Cat', '/q/Cat')"));
        sql(lib, QStringLiteral("insert into photoYear (ID, yearFolderName, yearFolder) values (2, 'G', '/q/Cat/G')"));
        sql(lib, QStringLiteral("insert into photoIvents (ID, ID1, iventsFolderName, iventsFolder) values (2, 1, 'T', '/q/Cat/G/T')"));

        m_g.currentCategoryId = 77;
        QVERIFY(!CategoryNameMissing(m_g, QStringLiteral("Cat")));
        QCOMPARE(m_g.currentCategoryId, 1);  // the first row
        QVERIFY(CategoryNameMissing(m_g, QStringLiteral("cat")));
        QCOMPARE(m_g.currentCategoryId, 0);
        QVERIFY(CategoryNameMissing(m_g, QStringLiteral("x' or '1'='1")));

        // Folders match whole and whatever the current category.
        const QString cat = QStringLiteral("/p/Cat"), genre = QStringLiteral("/q/Cat/G");
        QVERIFY(!GenreFolderMissing(m_g, genre) && GenreFolderMissing(m_g, genre + QLatin1Char('/')));
        QVERIFY(IsCategoryFolder(m_g, cat) && !IsCategoryFolder(m_g, genre));
        QVERIFY(IsGenreFolder(m_g, genre) && !IsGenreFolder(m_g, cat));

        m_g.currentCategoryId = 2;
        m_g.currentGenreId = 1;
        QVERIFY(!TitleFolderMissing(m_g, QStringLiteral("/q/Cat/G/T")));
        m_g.currentGenreId = 2;
        QVERIFY(TitleFolderMissing(m_g, QStringLiteral("/q/Cat/G/T")));
        m_g.currentCategoryId = 1;
        m_g.currentGenreId = 1;
        QVERIFY(TitleFolderMissing(m_g, QStringLiteral("/q/Cat/G/T")));
    }

    void loadTitleByFolder()
    {
        sql(lib, QStringLiteral("insert into photoIvents (ID, ID1, iventsFolderName, iventsFolder, iventsLink, IventsLinkButton, "
                                  "iventsHTML, IventsHtmlButton, Ivents, iventsPhoto) values "
                                  "(1, 1, 'T', '/f/T', null, -1, '/f/T/a.html', 1, '/f/T/a.html', '/f/T/p.jpg'), "
                                  "(2, 7, 'T', '/f/T', 'http://x', 0, null, 0, null, null)"));
        TitleEntry e;
        auto entry = [&e] {
            return QStringList({e.folderName, e.folder, e.link, e.html, e.ivents, e.photo, QString::number(e.linkButton),
                                QString::number(e.htmlButton)}).join('|');
        };
        m_g.currentCategoryId = 1;
        m_g.currentGenreId = 1;
        QVERIFY(!LoadTitleByFolder(m_g, QStringLiteral("/f/T"), e));
        QCOMPARE(m_g.currentTitleId, 1);
        QCOMPARE(entry(), QStringLiteral("T|/f/T||/f/T/a.html|/f/T/a.html|/f/T/p.jpg|1|1"));  // every field, Null as empty
        // The same folder under the current genre wins over the older row.
        m_g.currentCategoryId = 2;
        m_g.currentGenreId = 7;
        QVERIFY(!LoadTitleByFolder(m_g, QStringLiteral("/f/T"), e));
        QCOMPARE(entry(), QStringLiteral("T|/f/T|http://x||||0|0"));
        m_g.currentTitleId = 9;
        QVERIFY(LoadTitleByFolder(m_g, QStringLiteral("/f/none"), e));
        QCOMPARE(m_g.currentTitleId, 9);
    }

    void updateTitleFieldRules_data()
    {
        QTest::addColumn<QString>("entry");     // link|html|ivents|photo|linkButton|htmlButton
        QTest::addColumn<QString>("expected");  // the same fields as stored
        QTest::newRow("empty texts kept, photo nulled") << "||||0|1" << "L|H|I|<null>|0|-1";
        QTest::newRow("all set, apostrophes") << "it's|/a/b's.html|/a/b's.html|/a/p's.jpg|1|0"
                                              << "it's|/a/b's.html|/a/b's.html|/a/p's.jpg|-1|0";
    }
    void updateTitleFieldRules()
    {
        QFETCH(QString, entry);
        QFETCH(QString, expected);
        const QStringList f = entry.split(QLatin1Char('|'));
        sql(lib, QStringLiteral("insert into photoIvents (ID, ID1, iventsFolderName, iventsFolder, iventsLink, IventsLinkButton, "
                                  "iventsHTML, IventsHtmlButton, Ivents, iventsPhoto) values "
                                  "(3, 4, 'T', '/f/T', 'L', 0, 'H', -1, 'I', 'P'), (3, 4, 'U', '/f/U', 'L', 0, 'H', -1, 'I', 'P')"));
        m_g.currentCategoryId = 3;
        m_g.currentGenreId = 4;
        m_g.currentTitleId = 1;
        TitleEntry e{QStringLiteral("T2"), QStringLiteral("/f/T2"), f[0], f[1], f[2], f[3], f[4].toInt(), f[5].toInt()};
        const TitleEntry loaded{QStringLiteral("T"), QStringLiteral("/f/T"), "L", "H", "I", "P", 0, 1};
        TitleEntry older = loaded;
        older.photo.clear();  // read before another program set the photo
        QCOMPARE(UpdateTitleRow(m_g, e, older), TitleWrite::ChangedElsewhere);
        QCOMPARE(DeleteTitleRows(m_g, 3, 4, 1, older), TitleWrite::ChangedElsewhere);
        QCOMPARE(UpdateTitleRow(m_g, e, loaded), TitleWrite::Written);
        const QString fields = QStringLiteral(
            "select iventsFolderName||'|'||iventsFolder||'|'||iventsLink||'|'||iventsHTML||'|'||Ivents||'|'||"
            "coalesce(iventsPhoto,'<null>')||'|'||IventsLinkButton||'|'||IventsHtmlButton from photoIvents where ID2=?");
        QCOMPARE(one(fields, {1}), QStringLiteral("T2|/f/T2|") + expected);
        QCOMPARE(one(fields, {2}), QStringLiteral("U|/f/U|L|H|I|P|0|-1"));

        m_g.currentGenreId = 5;  // the title is not in this genre
        QCOMPARE(UpdateTitleRow(m_g, e, loaded), TitleWrite::Missing);
        QCOMPARE(one(fields, {1}), QStringLiteral("T2|/f/T2|") + expected);
    }

    void missingLibraryThrows()
    {
        QFile::remove(lib);
        TitleEntry e;
        QVERIFY_THROWS_EXCEPTION(DbError, CategoryNameMissing(m_g, QStringLiteral("x")));
        QVERIFY_THROWS_EXCEPTION(DbError, UpdateTitleRow(m_g, e, e));
        QVERIFY_THROWS_EXCEPTION(DbError, IsGenreFolder(m_g, QStringLiteral("/x")));
        ScriptedDialogService ds;
        QCOMPARE(RegisterGenresOfCategory(m_g, ds, 1), int16_t(-1));
        QCOMPARE(ds.messages().size(), 1);
        QVERIFY(ds.messages()[0].text.contains(lib));
    }
};

QTEST_GUILESS_MAIN(TestAutoSet)
#include "test_autoset.moc"
