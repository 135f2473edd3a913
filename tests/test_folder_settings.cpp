// The base and output folders: loading, saving (for the base folder with the rewrite of
// the stored paths, in one transaction) and the command-line saves.
#include <QTemporaryDir>
#include <QTest>

#include "Database.h"
#include "DialogService.h"
#include "FolderSettings.h"
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
    // An empty library shows a single blank, in one row with ID 1, however often it is
    // opened; that blank saves as it is and rewrites nothing; a first save into a
    // library without the row is found again by the next opening.
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
        sql(l, "insert into photoGraph(topFolder, topFolderName) values('D:\\photo\\cat', 'cat')");
        Global g = makeGlobal(l);
        ScriptedDialogService ds;
        QCOMPARE(load(g, ds).text, QString(" "));
        const FolderLoad shown = load(g, ds);
        QVERIFY(shown.ok && shown.text == " ");
        QCOMPARE(sqlColumn(l, "select ID from " + table), QStringList({"1"}));
        const SaveResult r = save(g, ds, shown.text);
        QVERIFY(r.outcome == SaveOutcome::Saved && !r.rebase.ran);
        QCOMPARE(sqlColumn(l, select) + sqlColumn(l, "select topFolder from photoGraph"),
                 QStringList({" ", "D:\\photo\\cat"}));

        const QString fresh = lib();
        Global g2 = makeGlobal(fresh);
        QCOMPARE(save(g2, ds, "/srv/x").outcome, SaveOutcome::Saved);
        QCOMPARE(load(g2, ds).text, QString("/srv/x"));
        QCOMPARE(sqlColumn(fresh, select), QStringList({"/srv/x"}));
        QVERIFY(ds.calls.isEmpty());
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
        // Linux: common tail stripped, the old root replaced by whole components.
        row("disk move", "/media/diskA/photo", "/media/diskB/photo", "/media/diskA/photo/cat/genre",
            "/media/diskB/photo/cat/genre");
        row("disk move, file beside", "/media/diskA/photo", "/media/diskB/photo", "/media/diskA/other/x.html",
            "/media/diskB/other/x.html");
        row("disk move, name prefix only", "/media/diskA/photo", "/media/diskB/photo", "/media/diskAB/photo/cat",
            "/media/diskAB/photo/cat");
        row("folder rename", "/home/u/photo", "/home/u/album", "/home/u/photo/cat", "/home/u/album/cat");
        row("moved under a folder, file beside", "/photo", "/a/photo", "/other/x.html", "/other/x.html");
        // One base folder inside the other: such a move could not be undone.
        row("to the parent folder", "/t/photos/base", "/t/photos", "/t/photos/base/cat", kNoRun);
        row("into a sub-folder", "/t/photos", "/t/photos/base", "/t/photos/cat", kNoRun);
        row("posix unchanged", "/home/u/photo", "/home/u/photo/", "/home/u/photo/cat", kNoRun);
        row("blank new base", "/home/u/photo", " ", "/home/u/photo/cat", kNoRun);
        row("posix, empty", "/home/u/photo", "/home/u/album", "", "");
        row("posix, null", "/home/u/photo", "/home/u/album", kNull, kError);
        // Between the two forms.
        row("drive form to posix", "D:\\photo", "/home/u/photo", "d:\\photo\\cat\\genre", "/home/u/photo/cat/genre");
        row("drive form to posix, other drive", "D:\\photo", "/home/u/photo", "C:\\other\\x.html", "C:\\other\\x.html");
        row("share form to posix", "\\\\srv\\share\\photo", "/mnt/photo", "\\\\srv\\share\\photo\\cat", "/mnt/photo/cat");
        row("blank to drive, posix row", " ", "D:\\photo", "/home/u/photo/cat", "/home/u/photo/cat");
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
        QTest::addColumn<QStringList>("route");  // base folders saved in turn, back to the first
        QTest::newRow("via the parent") << QStringList{"/t/photos", "/t/photos/base"};
        QTest::newRow("via a sub-folder") << QStringList{"/t/photos/base/sub", "/t/photos/base"};
        QTest::newRow("via another disk") << QStringList{"/x/base", "/t/photos/base"};
        QTest::newRow("via the parent and another disk")
            << QStringList{"/t/photos", "/x/photos", "/t/photos", "/t/photos/base"};
        QTest::newRow("via a drive") << QStringList{"D:\\base", "/t/photos/base"};
    }

    // Away and back through the base folder's save: every stored path comes back exactly,
    // also those beside the base folder.
    void roundTripRestoresEveryPath()
    {
        QFETCH(QStringList, route);
        const QString l = lib();
        sql(l, "insert into allTop(ID, allTop) values(1, '/t/photos/base')");
        sql(l, "insert into photoGraph(topFolder, topFolderName) values('/t/photos/base/cat', 'cat')");
        sql(l, "insert into photoYear(ID, yearFolder, yearFolderName) values(1, '/t/photos/base/cat/g', 'g')");
        sql(l, "insert into photoIvents(ID, ID1, iventsFolderName, iventsFolder, Ivents, iventsPhoto) values(1, 1, 't', "
               "'/t/photos/base/cat/g/t', '/t/photos/docs/x.html', '/t/photos/base/cat/g/t/a.jpg')");
        const QStringList before = storedPaths(l);
        Global g = makeGlobal(l);
        ScriptedDialogService ds;
        for (const QString &base : route)
            QCOMPARE(SaveBaseFolder(g, ds, base).outcome, SaveOutcome::Saved);
        // Only the note that the title's file and photo are not on this computer.
        for (const MessageRequest &m : ds.messages())
            QVERIFY2(m.kind == MsgKind::Exclamation && m.text.startsWith("登録済みのファイルと写真のうち 2 件は"), qPrintable(m.text));
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
        QCOMPARE(SaveOutputFolder(g, ds, "/srv/site").outcome, SaveOutcome::Failed);
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

    // The rewrite is reported; a relative output folder is made absolute; a failure exits 1.
    void cli()
    {
        const QString l = lib();
        sql(l, "insert into photoGraph(topFolder, topFolderName) values('D:\\photo\\cat', 'cat')");
        QCOMPARE(runCli({"set-base", l, "D:\\photo"}).exitCode, 0);
        CliResult r = runCli({"set-base", l, "/home/u/photo"});
        QVERIFY2(r.exitCode == 0 && r.out.contains("paths rewritten in 1 rows"), qPrintable(r.out));
        QCOMPARE(sqlColumn(l, "select topFolder from photoGraph"), QStringList({"/home/u/photo/cat"}));
        r = runCli({"set-output", l, ""});
        QVERIFY2(r.exitCode == 1 && r.err.contains("ﾌｫﾙﾀﾞが選択されていません！"), qPrintable(r.err));
        QCOMPARE(runCli({"set-output", l, "site"}, m_dir.path()).exitCode, 0);
        r = runCli({"show", l});
        QVERIFY2(r.out.contains("base folder: /home/u/photo\noutput folder: " + m_dir.path() + "/site\n"),
                 qPrintable(r.out));
        sql(l, "insert into photoGraph(topFolder, topFolderName) values(NULL, 'x')");
        r = runCli({"set-base", l, "/media/disk/photo"});
        QVERIFY2(r.exitCode == 1 && r.err.contains("変更されていません"), qPrintable(r.err));
        QCOMPARE(sqlColumn(l, "select allTop from allTop"), QStringList({"/home/u/photo"}));
    }
};

QTEST_GUILESS_MAIN(TestFolderSettings)
#include "test_folder_settings.moc"
