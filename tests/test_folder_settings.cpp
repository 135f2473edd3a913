// Loading and saving the base and output folders, and the command-line saves.
#include <QTemporaryDir>
#include <QTest>

#include "DialogService.h"
#include "FolderSettings.h"
#include "TestSupport.h"

using namespace tessaly;
using namespace tessaly::test;

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
        QVERIFY(shown.ok);
        QCOMPARE(shown.text, QString(" "));
        QCOMPARE(sqlColumn(l, "select ID from " + table), QStringList({"1"}));
        const SaveResult r = save(g, ds, shown.text);
        QCOMPARE(r.outcome, SaveOutcome::Saved);
        QVERIFY(!r.rebase.ran);
        QCOMPARE(sqlColumn(l, select), QStringList({" "}));
        QCOMPARE(sqlColumn(l, "select topFolder from photoGraph"), QStringList({"D:\\photo\\cat"}));

        const QString fresh = lib();
        Global g2 = makeGlobal(fresh);
        QCOMPARE(save(g2, ds, "/srv/x").outcome, SaveOutcome::Saved);
        QCOMPARE(load(g2, ds).text, QString("/srv/x"));
        QCOMPARE(sqlColumn(fresh, select), QStringList({"/srv/x"}));
        QVERIFY(ds.calls.isEmpty());
    }

    void brokenLibraryIsReported()
    {
        const QString bad = writeFile(m_dir.path() + "/bad.mdb", "not a library at all");
        Global g = makeGlobal(bad);
        g.isNewLibrary = True16;
        ScriptedDialogService ds;
        QVERIFY(!LoadBaseFolder(g, ds).ok);
        QCOMPARE(SaveOutputFolder(g, ds, "/srv/site").outcome, SaveOutcome::Failed);
        QCOMPARE(g.folderSetupStage, int16_t(0));
        const QList<MessageRequest> m = ds.messages();
        QCOMPARE(m.size(), 2);
        QCOMPARE(m.at(0).kind, MsgKind::Critical);
        QCOMPARE(m.at(0).title, QString("基準フォルダ設定"));
        QVERIFY(m.at(0).text.contains("bad.mdb"));
        QCOMPARE(m.at(1).title, QString("HTML出力先"));
        QCOMPARE(readFile(bad), QByteArray("not a library at all"));
    }

    void cli()
    {
        const QString l = lib();
        sql(l, "insert into photoGraph(topFolder, topFolderName) values('D:\\photo\\cat', 'cat')");
        QCOMPARE(runCli({"set-base", l, "D:\\photo"}).exitCode, 0);
        CliResult r = runCli({"set-base", l, "/home/u/photo"});
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.out.contains("paths rewritten in 1 rows"), qPrintable(r.out));
        QCOMPARE(sqlColumn(l, "select topFolder from photoGraph"), QStringList({"/home/u/photo/cat"}));
        r = runCli({"set-output", l, ""});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains("ﾌｫﾙﾀﾞが選択されていません！"), qPrintable(r.err));
        QCOMPARE(runCli({"set-output", l, "site"}, m_dir.path()).exitCode, 0);
        r = runCli({"show", l});
        QVERIFY2(r.out.contains("base folder: /home/u/photo\n"), qPrintable(r.out));
        QVERIFY2(r.out.contains("output folder: " + m_dir.path() + "/site\n"), qPrintable(r.out));

        // A Null folder stops the rewrite: reported on stderr, not as success, nothing changed.
        sql(l, "insert into photoGraph(topFolder, topFolderName) values(NULL, 'x')");
        r = runCli({"set-base", l, "/media/disk/photo"});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains("変更されていません"), qPrintable(r.err));
        QCOMPARE(sqlColumn(l, "select topFolder from photoGraph order by ID"),
                 QStringList({"/home/u/photo/cat", "<null>"}));
        QCOMPARE(sqlColumn(l, "select allTop from allTop"), QStringList({"/home/u/photo"}));
    }
};

QTEST_GUILESS_MAIN(TestFolderSettings)
#include "test_folder_settings.moc"
