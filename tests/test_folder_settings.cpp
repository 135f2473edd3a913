// The base and output folders: loading, saving (for the base folder with the rewrite of
// the stored paths, in one transaction) and the command-line saves; the path conventions
// of both forms and the directory listings beneath them.
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include "Database.h"
#include "DialogService.h"
#include "FolderSettings.h"
#include "Paths.h"
#include "Rebase.h"
#include "TestSupport.h"

using namespace tessaly;
using namespace tessaly::test;

static const QString kNull = QStringLiteral("<null>");      // a Null stored field / nothing stored
static const QString kError = QStringLiteral("<error>");    // the rewrite must stop at this path
static const QString kNoRun = QStringLiteral("<no run>");   // no rewrite at all

// All stored paths of a library, in a fixed order; iventsLink never moves.
static QStringList storedPaths(const QString &lib)
{
    return sqlColumn(lib, "select allTop from allTop") + sqlColumn(lib, "select topFolder from photoGraph order by ID")
           + sqlColumn(lib, "select yearFolder from photoYear order by ID1")
           + sqlColumn(lib, "select ifnull(iventsFolder, 'N') || '|' || ifnull(Ivents, 'N') || '|' || "
                            "ifnull(iventsPhoto, 'N') || '|' || ifnull(iventsLink, 'N') from photoIvents order by ID2");
}

class TestFolderSettings : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    int m_n = 0;
    QString lib() { return makeLibrary(m_dir.path(), QStringLiteral("lib%1.mdb").arg(++m_n)); }

private slots:
    void loadAndSave_data()
    {
        QTest::addColumn<bool>("base");
        QTest::newRow("base folder") << true;
        QTest::newRow("output folder") << false;
    }
    // An empty library (or one holding a blank) shows an empty box, in one row with ID 1,
    // however often it is opened; saving it stores nothing. Blanks around a typed folder
    // are dropped; a missing folder is made only on Yes, a file is refused without a
    // question; a first save into a library without the row is found again by the next opening.
    void loadAndSave()
    {
        QFETCH(bool, base);
        const QString table = base ? "allTop" : "systemdir";
        const QString select = QString("select %1 from %2").arg(base ? "allTop" : "htmlDir", table);
        auto load = [&](Global &g, DialogService &ds) { return base ? LoadBaseFolder(g, ds) : LoadOutputFolder(g, ds); };
        auto save = [&](Global &g, DialogService &ds, const QString &t) {
            return base ? SaveBaseFolder(g, ds, t) : SaveOutputFolder(g, ds, t);
        };
        const QString l = lib();
        Global g = makeGlobal(l);
        ScriptedDialogService ds;
        QCOMPARE(load(g, ds).text, QString());
        sql(l, "update " + table + " set " + select.section(' ', 1, 1) + "=' '");
        const FolderLoad shown = load(g, ds);
        QVERIFY(shown.ok && shown.text.isEmpty());
        QCOMPARE(sqlColumn(l, "select ID from " + table), QStringList({"1"}));
        QCOMPARE(save(g, ds, shown.text).outcome, SaveOutcome::NoFolder);

        const QString root = m_dir.path() + QStringLiteral("/f%1").arg(m_n);
        const QString file = writeFile(root + "/file.txt", "text");
        ds.queueNo();
        QCOMPARE(save(g, ds, root + "/none").outcome, SaveOutcome::NoFolder);
        QCOMPARE(save(g, ds, "  " + file + " ").outcome, SaveOutcome::NoFolder);
        ds.queueYes();
        QCOMPARE(save(g, ds, " " + root + "/made/deep  ").outcome, SaveOutcome::Saved);
        QVERIFY(IsFolder(root + "/made/deep") && !QFileInfo::exists(root + "/none"));
        QStringList said;
        for (const MessageRequest &m : ds.messages())
            said << QString::number(int(m.kind)) + ' ' + m.text;
        QCOMPARE(said, (QStringList{QString::number(int(MsgKind::Exclamation)) + " ﾌｫﾙﾀﾞが選択されていません！",
                                    QString::number(int(MsgKind::Question)) + " フォルダ「" + root + "/none」がありません。作成しますか？",
                                    QString::number(int(MsgKind::Exclamation)) + " 「" + file + "」はフォルダではなくファイルです。フォルダを指定してください。",
                                    QString::number(int(MsgKind::Question)) + " フォルダ「" + root + "/made/deep」がありません。作成しますか？"}));
        QCOMPARE(sqlColumn(l, select), QStringList({root + "/made/deep"}));

        const QString fresh = lib();
        Global g2 = makeGlobal(fresh);
        QCOMPARE(save(g2, ds, root).outcome, SaveOutcome::Saved);
        QCOMPARE(load(g2, ds).text, root);
        QCOMPARE(sqlColumn(fresh, select), QStringList({root}));
    }

    void rewrite_data()
    {
        QTest::addColumn<QString>("oldBase");
        QTest::addColumn<QString>("newBase");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("expected");
        auto row = [](const char *name, const char *o, const char *n, const QString &s, const QString &e) {
            QTest::newRow(name) << QString::fromUtf8(o) << QString::fromUtf8(n) << s << e;
        };
        // Drive/share form: two-character comparison; every path gets the new root, whatever its own.
        row("D to E, file on C", "D:\\photo", "E:\\photo", "C:\\other\\x.html", "E:\\other\\x.html");
        row("D to E, share path", "D:\\photo", "E:\\photo", "\\\\srv\\pub\\a", "E:\\a");
        row("same drive", "D:\\photo", "D:\\album", "D:\\photo\\cat", kNoRun);
        row("drive to share", "C:\\lib", "\\\\srv\\share\\lib", "C:\\lib\\cat", "\\\\srv\\share\\lib\\cat");
        row("share to share", "\\\\srv\\share\\lib", "\\\\other\\pub\\lib", "\\\\srv\\share\\lib\\a", kNoRun);
        row("c: to C:", "c:\\photo", "C:\\photo", "c:\\photo\\cat", "C:\\photo\\cat");
        row("nothing stored", "<null>", "D:\\photo", "D:\\photo\\cat", kNoRun);
        row("drive, shorter than root", "D:\\photo", "E:\\photo", "D", kError);
        row("drive, null", "D:\\photo", "E:\\photo", kNull, kError);
        // Linux: what lay in the old base folder moved with it, whole components; the rest stays.
        row("disk move", "/media/diskA/photo", "/media/diskB/photo", "/media/diskA/photo/cat/genre",
            "/media/diskB/photo/cat/genre");
        row("disk move, file beside", "/media/diskA/photo", "/media/diskB/photo", "/media/diskA/other/x.html",
            "/media/diskA/other/x.html");
        row("disk move, name prefix only", "/media/diskA/photo", "/media/diskB/photo", "/media/diskA/photos/cat",
            "/media/diskA/photos/cat");
        row("folder rename", "/home/u/photo", "/home/u/album", "/home/u/photo/cat", "/home/u/album/cat");
        row("the base folder itself", "/home/u/photo", "/srv/p", "/home/u/photo", "/srv/p");
        row("to the parent folder", "/t/photos/base", "/t/photos", "/t/photos/base/cat", "/t/photos/cat");
        row("to the parent, file beside", "/t/photos/base", "/t/photos", "/t/photos/docs/x.html", "/t/photos/docs/x.html");
        row("into a sub-folder", "/t/photos", "/t/photos/base", "/t/photos/cat", "/t/photos/base/cat");
        row("from the root", "/", "/mnt/p", "/cat/g", "/mnt/p/cat/g");
        row("to the root", "/mnt/p", "/", "/mnt/p/cat", "/cat");
        row("posix unchanged", "/home/u/photo", "/home/u/photo/", "/home/u/photo/cat", kNoRun);
        row("blank new base", "/home/u/photo", " ", "/home/u/photo/cat", kNoRun);
        row("posix, empty", "/home/u/photo", "/home/u/album", "", "");
        row("posix, null", "/home/u/photo", "/home/u/album", kNull, kError);
        // Between the two forms.
        row("drive form to posix", "D:\\photo", "/home/u/photo", "d:\\photo\\cat\\genre", "/home/u/photo/cat/genre");
        row("drive form to posix, other drive", "D:\\photo", "/home/u/photo", "C:\\other\\x.html", "C:\\other\\x.html");
        row("share form to posix", "\\\\srv\\share\\photo", "/mnt/photo", "\\\\srv\\share\\photo\\cat", "/mnt/photo/cat");
        row("blank to drive", " ", "D:\\photo", "/home/u/photo/cat", kNoRun);
    }
    // One path alone, then the same path in every path field of a library; a second title
    // keeps its empty and Null extras.
    void rewrite()
    {
        QFETCH(QString, oldBase);
        QFETCH(QString, newBase);
        QFETCH(QString, stored);
        QFETCH(QString, expected);
        const QString old = oldBase == kNull ? QString() : oldBase;
        const QVariant v = stored == kNull ? QVariant() : QVariant(stored);
        const RebasePlan p = PlanRebase(old, newBase);
        QCOMPARE(p.run, expected != kNoRun);
        QString result;
        bool changed = false;
        if (p.run) {
            const bool ok = RebasePath(p, v, &result, &changed);
            QCOMPARE(ok ? result : kError, expected);
            QCOMPARE(ok && changed, ok && expected != stored);
        }

        const QString l = lib();
        sql(l, "insert into photoGraph(topFolder, topFolderName) values(?, 'c')", {v});
        sql(l, "insert into photoIvents(ID, ID1, iventsFolderName, iventsFolder, Ivents, iventsPhoto, iventsLink) "
               "values(1, 1, 't', ?, ?, ?, ?), (1, 1, 'u', ?, '', NULL, NULL)", {v, v, v, v, v});
        Connection conn(MakeConnectString(l));
        const RebaseResult r = RebaseStoredPaths(conn, old, newBase);
        QCOMPARE(r.failed, expected == kError);
        const QString now = expected == kNoRun || expected == kError ? stored : expected;
        QCOMPARE(r.rowsSaved, now != stored ? 3 : 0);
        const QString n = now == kNull ? "N" : now;
        QCOMPARE(storedPaths(l), (QStringList{now, n + "|" + n + "|" + n + "|" + (stored == kNull ? "N" : stored),
                                              n + "||N|N"}));
    }

    void roundTripRestoresEveryPath_data()
    {
        QTest::addColumn<QStringList>("route");  // base folders saved in turn (under a root), back to the first
        const QString b = "/home/u/photos";
        QTest::newRow("via the parent") << QStringList{"/home/u", b};
        QTest::newRow("via a sub-folder") << QStringList{b + "/sub", b};
        QTest::newRow("via another disk") << QStringList{"/media/usb/photos", b};
        QTest::newRow("via the destination's root") << QStringList{"/media/usb", b};
        QTest::newRow("parent, another disk, parent") << QStringList{"/home/u", "/media/usb/photos", "/home/u", b};
        QTest::newRow("sub-folder, then the parent") << QStringList{b + "/sub", "/home/u", b};
        QTest::newRow("another disk, its sub-folder, its parent")
            << QStringList{"/media/usb/photos", "/media/usb/photos/in", "/media/usb", b};
        QTest::newRow("parent, then a sub-folder of the parent") << QStringList{"/home/u", "/home/u/pics", b};
        QTest::newRow("via a drive") << QStringList{"D:\\base", b};
    }

    // Away and back through the base folder's save: every stored path comes back exactly,
    // those in the base folder, beside it, under the parent, in the destination and under its root.
    void roundTripRestoresEveryPath()
    {
        QFETCH(QStringList, route);
        const QString root = m_dir.path() + QStringLiteral("/r%1").arg(++m_n);
        const QString l = lib();
        const QString b = root + "/home/u/photos";
        sql(l, "insert into allTop(ID, allTop) values(1, ?)", {b});
        sql(l, "insert into photoGraph(topFolder, topFolderName) values(?, 'cat')", {b + "/cat"});
        sql(l, "insert into photoYear(ID, yearFolder, yearFolderName) values(1, ?, 'g')", {b + "/cat/g"});
        const QStringList files{b + "/cat/g/t/x.html", b + "/cat/g/t/a.jpg", root + "/home/u/pics/p.jpg",
                                root + "/media/usb/pics/q.jpg", root + "/media/usb/photos/z.jpg",
                                root + "/home/u/photos-old/y.jpg", root + "/srv/photos/q.html", b + "/sub/s.jpg",
                                root + "/home/u/pics/cat/g/t/x.html", root + "/home/u/cat/g/t/a.jpg"};
        for (int i = 0; i + 1 < files.size(); i += 2)
            sql(l, "insert into photoIvents(ID, ID1, iventsFolderName, iventsFolder, Ivents, iventsPhoto) "
                   "values(1, 1, 't', ?, ?, ?)", {b + "/cat/g/t", files.at(i), files.at(i + 1)});
        const QStringList before = storedPaths(l);
        Global g = makeGlobal(l);
        ScriptedDialogService ds;
        for (const QString &base : route) {
            const QString folder = base.startsWith('/') ? root + base : base;
            QCOMPARE(SaveBaseFolder(g, ds, folder, nullptr, MissingFolder::Create).outcome, SaveOutcome::Saved);
            // The category, genre and title folders moved with the base folder.
            QCOMPARE(sqlColumn(l, "select topFolder from photoGraph union all select yearFolder from photoYear "
                                  "union all select distinct iventsFolder from photoIvents"),
                     (QStringList{MovedPath(b + "/cat", b, folder), MovedPath(b + "/cat/g", b, folder), MovedPath(b + "/cat/g/t", b, folder)}));
        }
        // Only the note that the title files and photos are not on this computer.
        for (const MessageRequest &m : ds.messages())
            QVERIFY2(m.kind == MsgKind::Exclamation && m.text.startsWith("登録済みのファイルと写真のうち "), qPrintable(m.text));
        QCOMPARE(storedPaths(l), before);
    }

    // A file that is no library, and a path the rewrite cannot take: a critical message in
    // the window's title, neither the folder nor any path changes, the counter stays.
    void failuresChangeNothing()
    {
        const QString bad = writeFile(m_dir.path() + "/bad.mdb", "not a library at all");
        const QString l = lib();
        sql(l, "insert into allTop(ID, allTop) values(1, 'D:\\photo')");
        sql(l, "insert into photoGraph(topFolder, topFolderName) values('D:\\photo\\a', 'a'), (NULL, 'b')");
        sql(l, "insert into photoYear(ID, yearFolder, yearFolderName) values(1, 'D:\\photo\\a\\g', 'g')");
        const QStringList before = storedPaths(l);
        Global g = makeGlobal(bad);
        g.isNewLibrary = True16;
        ScriptedDialogService ds;
        QVERIFY(!LoadBaseFolder(g, ds).ok);
        QCOMPARE(SaveOutputFolder(g, ds, m_dir.path()).outcome, SaveOutcome::Failed);
        g.dbConnectString = MakeConnectString(l);
        const SaveResult r = SaveBaseFolder(g, ds, "E:\\photo");
        QVERIFY(r.outcome == SaveOutcome::Failed && r.rebase.failed);
        QCOMPARE(g.folderSetupStage, int16_t(0));
        QCOMPARE(readFile(bad), QByteArray("not a library at all"));
        QCOMPARE(storedPaths(l), before);
        const QList<MessageRequest> m = ds.messages();
        QCOMPARE(m.size(), 3);
        QVERIFY(m.at(0).text.contains("bad.mdb"));
        QCOMPARE(m.at(2).text, QString("photoGraph (ID=2) の topFolder を書き換えられません: 値がありません\n\r"
                                       "基準フォルダと保存されているパスは変更されていません。"));
        QCOMPARE((QStringList{m.at(0).title, m.at(1).title, m.at(2).title}),
                 (QStringList{"基準フォルダ設定", "HTML出力先", "基準フォルダ設定"}));
        for (const MessageRequest &x : m)
            QCOMPARE(x.kind, MsgKind::Critical);
    }

    // The rewrite is reported; a relative output folder is made absolute; a missing folder
    // is made only with --create, a file never; a failure exits 1 and changes nothing.
    void cli()
    {
        const QString l = lib();
        const QString root = m_dir.path() + "/cli";
        const QString file = writeFile(root + "/file");
        sql(l, "insert into photoGraph(topFolder, topFolderName) values('D:\\photo\\cat', 'cat')");
        QCOMPARE(runCli({"set-base", l, "D:\\photo"}).exitCode, 0);
        CliResult r = runCli({"set-base", l, root + "/photo"});
        QVERIFY2(r.exitCode == 1 && r.err.contains("フォルダ「" + root + "/photo」がありません。") && r.err.contains("--create"),
                 qPrintable(r.err));
        for (const QStringList &args : {QStringList{"set-base", "--create", l, file}, QStringList{"set-output", l, file}}) {
            r = runCli(args);
            QVERIFY2(r.exitCode == 1 && r.err.contains("ファイルです"), qPrintable(r.err));
        }
        // A file that is no library is refused as such, and left as it was.
        for (const QString &command : {"set-base", "set-output"}) {
            r = runCli({command, file, root});
            QVERIFY2(r.exitCode == 1 && r.err.contains(file) && QFileInfo(file).size() == 0, qPrintable(r.err));
        }
        // A library that refuses the folder's row: said, and exit 1.
        const QString refusing = makeLibrary(root, "refusing.mdb");
        sql(refusing, "create trigger refuse before insert on systemdir begin select raise(abort, 'no new rows'); end");
        r = runCli({"set-output", refusing, root});
        QVERIFY2(r.exitCode == 1 && r.err.contains("no new rows"), qPrintable(r.err));
        QVERIFY(!QFileInfo::exists(root + "/photo"));
        r = runCli({"set-base", "--create", l, root + "/photo"});
        QVERIFY2(r.exitCode == 0 && r.out.contains("paths rewritten in 1 rows") && IsFolder(root + "/photo"), qPrintable(r.out));
        QCOMPARE(sqlColumn(l, "select topFolder from photoGraph"), QStringList({root + "/photo/cat"}));
        r = runCli({"set-output", l, ""});
        QVERIFY2(r.exitCode == 1 && r.err.contains("ﾌｫﾙﾀﾞが選択されていません！"), qPrintable(r.err));
        makeDir(root + "/site");
        QCOMPARE(runCli({"set-output", l, "site"}, root).exitCode, 0);
        r = runCli({"show", l});
        QVERIFY2(r.out.contains("base folder: " + root + "/photo\noutput folder: " + root + "/site\n"), qPrintable(r.out));
        sql(l, "insert into photoGraph(topFolder, topFolderName) values(NULL, 'x')");
        r = runCli({"set-base", l, root});
        QVERIFY2(r.exitCode == 1 && r.err.contains("変更されていません"), qPrintable(r.err));
        QCOMPARE(sqlColumn(l, "select allTop from allTop"), QStringList({root + "/photo"}));
        QCOMPARE(sqlColumn(l, "select topFolder from photoGraph where ID=1"), QStringList({root + "/photo/cat"}));
    }

    // --- paths ---

    void roots_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("root");
        QTest::addColumn<int>("length");
        QTest::newRow("drive") << "D:\\photo\\cat" << "D:" << 2;
        QTest::newRow("share") << "\\\\srv\\share\\lib\\cat" << "\\\\srv\\share" << 11;
        QTest::newRow("share only") << "\\\\srv\\share" << "\\\\srv\\share" << 11;
        QTest::newRow("server only") << "\\\\srv" << "\\\\srv" << 5;
        QTest::newRow("posix") << "/media/disk/photo" << "/m" << 2;
        // A drive path's root length is 2 even when the text is shorter.
        QTest::newRow("one character") << "C" << "C" << 2;
    }
    void roots()
    {
        QFETCH(QString, path);
        QFETCH(QString, root);
        QFETCH(int, length);
        QCOMPARE(PathRoot(path), root);
        QCOMPARE(PathRootLength(path), length);
    }

    void names_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("last");
        QTest::addColumn<QString>("child");
        QTest::newRow("windows") << "D:\\photo\\旅行" << "旅行" << "D:\\photo\\旅行\\x";
        QTest::newRow("windows drive root") << "C:\\" << "" << "C:\\x";
        QTest::newRow("share") << "\\\\srv\\share" << "share" << "\\\\srv\\share\\x";
        QTest::newRow("posix") << "/home/u/写真" << "写真" << "/home/u/写真/x";
        QTest::newRow("posix root") << "/" << "" << "/x";
        QTest::newRow("posix backslash in name") << "/home/u/a\\b" << "a\\b" << "/home/u/a\\b/x";
        QTest::newRow("no separator") << "lib.mdb" << "lib.mdb" << "lib.mdb/x";
        QTest::newRow("empty") << "" << "" << "/x";
    }
    void names()
    {
        QFETCH(QString, path);
        QFETCH(QString, last);
        QFETCH(QString, child);
        QCOMPARE(LastPathPart(path), last);
        QCOMPARE(ChildPath(path, QStringLiteral("x")), child);
    }

    // Name order without regard to case (it sets the order, and so the keys, of registration).
    void listingsAreSortedAndSkipHiddenEntries()
    {
        QTemporaryDir tmp;
        const QString d = tmp.path() + '/';
        for (const char *n : {"b", "C", "A", ".hidden", "c d", "日本"})
            makeDir(d + QString::fromUtf8(n));
        for (const char *n : {"z.JPG", "a.jpg", ".h.jpg", "B.jpeg", "c.jpeg", "x.jpg.txt"})
            writeFile(d + QString::fromUtf8(n), "x");
        QVERIFY(QFile::link(d + "b", d + "link"));
        QCOMPARE(ListFolders(d), (QStringList{"A", "b", "C", "c d", "link", "日本"}));
        QCOMPARE(ListFiles(d, "*.jpg"), (QStringList{"a.jpg", "z.JPG"}));
        QCOMPARE(ListFiles(d), (QStringList{"a.jpg", "B.jpeg", "c.jpeg", "x.jpg.txt", "z.JPG"}));
        QCOMPARE(ListFolders(d + "missing"), QStringList());
        QVERIFY(IsNormalFile(d + "a.jpg"));
        for (const QString &no : {d + ".h.jpg", d + "A", d + "none", QString()})
            QVERIFY2(!IsNormalFile(no), qPrintable(no));
    }
};

QTEST_GUILESS_MAIN(TestFolderSettings)
#include "test_folder_settings.moc"
