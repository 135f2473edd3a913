// Opening and creating a library through the dialog service.
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "Database.h"
#include "DialogService.h"
#include "Library.h"
#include "TestSupport.h"

using namespace tessaly;
using namespace tessaly::test;

namespace {
struct RecordingHost : LibraryHost {
    QStringList calls;
    void enableLibraryMenus() override { calls << QStringLiteral("menus"); }
    void setLibraryCaption(const QString &c) override { calls << QStringLiteral("caption ") + c; }
    void showEditor() override { calls << QStringLiteral("dataSet"); }
    void showOutputFolderWindow() override { calls << QStringLiteral("htmlOut"); }
    void showBaseFolderWindow() override { calls << QStringLiteral("topFolderF"); }
};

const QString kMissing = QStringLiteral("データベースを新規で作成する場合は、「新規作成」メニューで処理を行ってください！！");
const QString kExists = QStringLiteral("データベースファイルが存在します！上書きで作成しますか？");
const QString kOpenNow = QStringLiteral(
    "現在開いているデータベースです！上書き作成する場合は一旦プログラムを終了し、再度新規作成処理を行ってください。");
}  // namespace

class TestLibrary : public QObject {
    Q_OBJECT
    QTemporaryDir tmp;

private slots:
    void openShowsThePickerAndOpens_data()
    {
        QTest::addColumn<bool>("fromMenu");
        QTest::newRow("menu") << true;
        QTest::newRow("start window") << false;
    }
    void openShowsThePickerAndOpens()
    {
        QFETCH(bool, fromMenu);
        const QString lib = makeLibrary(tmp.path(), QStringLiteral("lib.mdb"));
        Global g = makeGlobal();
        ScriptedDialogService ds;
        RecordingHost host;
        ds.queuePick(lib);
        QVERIFY(OpenLibrary(g, ds, host, fromMenu, nullptr));
        QCOMPARE(ds.calls.size(), 1);
        const FilePickRequest &r = ds.calls.first().file;
        QCOMPARE(r.dialogTitle, QStringLiteral("データベースを開く"));
        QCOMPARE(r.startFolder, binDir());
        QCOMPARE(r.filters.size(), 1);
        QCOMPARE(r.filters.first().pattern, QStringLiteral("*.mdb"));
        QCOMPARE(g.dbConnectString, MakeConnectString(lib));
        QCOMPARE(g.dbFileTitle, QStringLiteral("lib.mdb"));
        QCOMPARE(g.pickerDone, True16);
        QStringList expected;
        if (fromMenu)
            expected << QStringLiteral("menus");
        expected << QStringLiteral("caption Tessaly <lib.mdb>") << QStringLiteral("dataSet");
        QCOMPARE(host.calls, expected);
    }

    void openFailuresKeepTheOpenLibrary_data()
    {
        QTest::addColumn<QString>("pick");
        QTest::addColumn<bool>("message");
        QTest::newRow("cancelled") << QString() << false;
        QTest::newRow("missing") << "missing.mdb" << true;
        QTest::newRow("hidden") << ".hidden.mdb" << true;
        QTest::newRow("folder") << "adir.mdb" << true;
    }
    void openFailuresKeepTheOpenLibrary()
    {
        QFETCH(QString, pick);
        QFETCH(bool, message);
        makeLibrary(tmp.path(), QStringLiteral(".hidden.mdb"));
        makeDir(tmp.filePath(QStringLiteral("adir.mdb")));
        Global g = makeGlobal(makeLibrary(tmp.path(), QStringLiteral("open.mdb")));
        const QString before = g.dbConnectString;
        ScriptedDialogService ds;
        RecordingHost host;
        if (!pick.isEmpty())
            ds.queuePick(tmp.filePath(pick));
        QVERIFY(!OpenLibrary(g, ds, host, true, nullptr));
        QCOMPARE(g.dbConnectString, before);
        QVERIFY(host.calls.isEmpty());
        QCOMPARE(g.dbFilePath, pick.isEmpty() ? QString() : tmp.filePath(pick));
        const QList<MessageRequest> msgs = ds.messages();
        QCOMPARE(msgs.size(), message ? 1 : 0);
        if (message) {
            QCOMPARE(msgs.first().text, kMissing);
            QCOMPARE(msgs.first().kind, MsgKind::Critical);
            QCOMPARE(msgs.first().title, QStringLiteral("データベースを開く"));
        }
    }

    void openingANamedFile()
    {
        const QString lib = makeLibrary(tmp.path(), QStringLiteral("named.mdb"));
        Global g = makeGlobal();
        ScriptedDialogService ds;
        RecordingHost host;
        QVERIFY(!OpenLibraryFile(g, ds, host, tmp.filePath(QStringLiteral("absent.mdb")), true));
        QCOMPARE(ds.messages().size(), 1);
        QCOMPARE(ds.messages().first().text, kMissing);
        QVERIFY(g.dbConnectString.isEmpty());
        QVERIFY(host.calls.isEmpty());
        QVERIFY(OpenLibraryFile(g, ds, host, lib, true));
        QCOMPARE(g.dbConnectString, MakeConnectString(lib));
        QCOMPARE(host.calls, (QStringList{"menus", "caption Tessaly <named.mdb>", "dataSet"}));
        QCOMPARE(ds.calls.size(), 1);  // no picker
    }

    void createCopiesTheTemplateAndShowsTheFolderWindows()
    {
        Global g = makeGlobal();
        ScriptedDialogService ds;
        RecordingHost host;
        const QString lib = tmp.filePath(QStringLiteral("新しい.mdb"));
        ds.queuePick(lib);
        QVERIFY(CreateLibrary(g, ds, host, true, nullptr));
        QCOMPARE(ds.calls.first().file.dialogTitle, QStringLiteral("データベースを作成"));
        QVERIFY(ds.messages().isEmpty());
        QCOMPARE(readFile(lib), readFile(templatePath()));
        QCOMPARE(g.isNewLibrary, True16);
        QCOMPARE(host.calls, (QStringList{"menus", "caption Tessaly <新しい.mdb>", "htmlOut", "topFolderF"}));
        Connection c(g.dbConnectString);  // a usable library
    }

    void createOverAnExistingFile_data()
    {
        QTest::addColumn<bool>("overwrite");
        QTest::newRow("yes") << true;
        QTest::newRow("no") << false;
    }
    void createOverAnExistingFile()
    {
        QFETCH(bool, overwrite);
        const QString lib = makeLibrary(tmp.path(), QStringLiteral("old.mdb"));
        sql(lib, QStringLiteral("insert into photoGraph (topFolderName) values ('keep')"));
        Global g = makeGlobal();
        ScriptedDialogService ds;
        RecordingHost host;
        ds.queuePick(lib);
        ds.queueAnswer(overwrite ? MsgAnswer::Yes : MsgAnswer::No);
        QVERIFY(CreateLibrary(g, ds, host, false, nullptr));
        QCOMPARE(ds.messages().size(), 1);
        QCOMPARE(ds.messages().first().text, kExists);
        QCOMPARE(ds.messages().first().kind, MsgKind::Question);
        QCOMPARE(ds.messages().first().title, QStringLiteral("新規作成"));
        QCOMPARE(sqlColumn(lib, QStringLiteral("select count(*) from photoGraph")),
                 QStringList{overwrite ? "0" : "1"});
        QCOMPARE(g.isNewLibrary, True16);
        QCOMPARE(host.calls, (QStringList{"caption Tessaly <old.mdb>", "htmlOut", "topFolderF"}));
    }

    void createOverTheOpenLibraryChangesNothing()
    {
        const QString lib = makeLibrary(tmp.path(), QStringLiteral("busy.mdb"));
        sql(lib, QStringLiteral("insert into photoGraph (topFolderName) values ('keep')"));
        Global g = makeGlobal(lib);
        const QString before = g.dbConnectString;
        ScriptedDialogService ds;
        RecordingHost host;
        // The same file under another spelling of its path.
        ds.queuePick(tmp.path() + QStringLiteral("/./busy.mdb"));
        ds.queueYes();
        QVERIFY(!CreateLibrary(g, ds, host, true, nullptr));
        QCOMPARE(ds.messages().size(), 2);
        QCOMPARE(ds.messages().at(1).text, kOpenNow);
        QCOMPARE(ds.messages().at(1).kind, MsgKind::Exclamation);
        QCOMPARE(ds.messages().at(1).title, QStringLiteral("新規作成"));
        QCOMPARE(g.dbConnectString, before);
        QCOMPARE(g.isNewLibrary, False16);
        QVERIFY(host.calls.isEmpty());
        QCOMPARE(sqlColumn(lib, QStringLiteral("select count(*) from photoGraph")), QStringList{"1"});
    }

    void missingTemplate()
    {
        QTemporaryDir program;  // a program folder without sys.1
        Global g = makeGlobal();
        g.programFolder = program.path();
        ScriptedDialogService ds;
        RecordingHost host;
        const QString lib = tmp.filePath(QStringLiteral("none.mdb"));
        ds.queuePick(lib);
        QVERIFY(!CreateLibrary(g, ds, host, true, nullptr));
        QCOMPARE(ds.messages().size(), 1);
        QCOMPARE(ds.messages().first().kind, MsgKind::Critical);
        QVERIFY(ds.messages().first().text.contains(QStringLiteral("sys.1")));
        QVERIFY(!QFile::exists(lib));
        QVERIFY(g.dbConnectString.isEmpty());
        QVERIFY(host.calls.isEmpty());

        // Over an existing file the copy error is offered for retry until answered No.
        const QString existing = makeLibrary(tmp.path(), QStringLiteral("exists.mdb"));
        ds.clear();
        ds.queuePick(existing);
        ds.queueYes();  // overwrite
        ds.queueYes();  // retry once
        ds.queueNo();   // then give up
        QVERIFY(!CreateLibrary(g, ds, host, true, nullptr));
        const QList<MessageRequest> msgs = ds.messages();
        QCOMPARE(msgs.size(), 3);
        for (int i = 1; i < 3; ++i) {
            QVERIFY(msgs.at(i).text.startsWith(QStringLiteral("53:")));
            QVERIFY(msgs.at(i).text.endsWith(QStringLiteral("再実行しますか？")));
            QCOMPARE(msgs.at(i).kind, MsgKind::Critical);
            QCOMPARE(msgs.at(i).buttons, MsgButtons::YesNo);
        }
        QCOMPARE(readFile(existing), readFile(templatePath()));
        QVERIFY(g.dbConnectString.isEmpty());
    }

    void cliCreateAndShow()
    {
        const QString lib = tmp.filePath(QStringLiteral("cli.mdb"));
        CliResult r = runCli({QStringLiteral("create"), lib});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(runCli({QStringLiteral("create"), lib}).exitCode, 1);  // refuses to overwrite
        QCOMPARE(runCli({QStringLiteral("create"), QStringLiteral("--force"), lib}).exitCode, 0);
        sql(lib, QStringLiteral("insert into allTop (ID, allTop) values (1, '/photo')"));
        sql(lib, QStringLiteral("insert into photoGraph (topFolder, topFolderName) values ('/photo/B', 'B')"));
        sql(lib, QStringLiteral("insert into photoGraph (topFolder, topFolderName) values ('/photo/A', 'A')"));
        sql(lib, QStringLiteral("insert into photoYear (ID, yearFolder, yearFolderName) values (2, '/photo/A/g', 'g')"));
        sql(lib, QStringLiteral("insert into photoIvents (ID, ID1, iventsFolderName, iventsFolder) "
                                "values (2, 1, 't''s', '/photo/A/g/t''s')"));
        r = runCli({QStringLiteral("show"), lib});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QStringLiteral("library: %1\nbase folder: /photo\noutput folder: (not set)\n"
                                       "category 1 B /photo/B\ncategory 2 A /photo/A\n"
                                       "  genre 1 g /photo/A/g\n    title 1 t's /photo/A/g/t's\n").arg(lib));

        writeFile(tmp.filePath(QStringLiteral("junk.mdb")), "not a library");
        r = runCli({QStringLiteral("show"), tmp.filePath(QStringLiteral("junk.mdb"))});
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.err.contains(QStringLiteral("junk.mdb")));
        r = runCli({QStringLiteral("show"), tmp.filePath(QStringLiteral("nothing.mdb"))});
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.err.contains(QStringLiteral("nothing.mdb")));
        QVERIFY(!QFile::exists(tmp.filePath(QStringLiteral("nothing.mdb"))));
        QCOMPARE(runCli({QStringLiteral("frobnicate")}).exitCode, 2);
        r = runCli({QStringLiteral("--help")});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.out.contains(QStringLiteral("show LIB")));
    }
};

QTEST_GUILESS_MAIN(TestLibrary)
#include "test_library.moc"
