// Opening and creating a library through the dialog service.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

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
        QTest::addColumn<QString>("programFolder");
        QTest::addColumn<QString>("openLibrary");
        QTest::addColumn<QString>("startFolder");
        const QString none = QStringLiteral("/nonexistent/tessaly");
        QTest::newRow("menu") << true << binDir() << QString() << binDir();
        QTest::newRow("start window") << false << binDir() << QString() << binDir();
        // Installed where the user cannot write: the open library's folder, else home.
        QTest::newRow("program folder not writable, library open")
            << true << none << tmp.filePath(QStringLiteral("sub/o.mdb")) << tmp.filePath(QStringLiteral("sub"));
        QTest::newRow("program folder not writable, none open") << true << none << QString() << QDir::homePath();
    }
    void openShowsThePickerAndOpens()
    {
        QFETCH(bool, fromMenu);
        QFETCH(QString, programFolder);
        QFETCH(QString, openLibrary);
        QFETCH(QString, startFolder);
        const QString lib = makeLibrary(tmp.path(), QStringLiteral("lib.mdb"));
        Global g = makeGlobal();
        g.programFolder = programFolder;
        if (!openLibrary.isEmpty())
            g.dbConnectString = MakeConnectString(openLibrary);
        ScriptedDialogService ds;
        RecordingHost host;
        ds.queuePick(lib);
        QVERIFY(OpenLibrary(g, ds, host, fromMenu, nullptr));
        QCOMPARE(ds.calls.size(), 1);
        const FilePickRequest &r = ds.calls.first().file;
        QCOMPARE(r.dialogTitle, QStringLiteral("データベースを開く"));
        QCOMPARE(r.startFolder, startFolder);
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
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("overwrite");
        QTest::addColumn<bool>("hardLink");
        QTest::newRow("yes") << "old.mdb" << true << false;
        QTest::newRow("no") << "old.mdb" << false << false;
        QTest::newRow("hidden, no") << ".old.mdb" << false << false;
        QTest::newRow("hidden, yes") << ".old.mdb" << true << false;
        QTest::newRow("hard link, yes") << "old.mdb" << true << true;
    }
    void createOverAnExistingFile()
    {
        QFETCH(QString, name);
        QFETCH(bool, overwrite);
        QFETCH(bool, hardLink);
        const QString lib = makeLibrary(tmp.path(), name);
        sql(lib, QStringLiteral("insert into photoGraph (topFolderName) values ('keep')"));
        const QString other = tmp.filePath(QStringLiteral("other name.mdb"));
        QFile::remove(other);
        if (hardLink)
            QCOMPARE(::link(QFile::encodeName(lib).constData(), QFile::encodeName(other).constData()), 0);
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
        if (hardLink)  // both names still name one file
            QCOMPARE(readFile(other), readFile(lib));
        QCOMPARE(g.isNewLibrary, True16);
        QCOMPARE(host.calls, (QStringList{"caption Tessaly <" + name + ">", "htmlOut", "topFolderF"}));
    }

    void createRefusalsChangeNothing_data()
    {
        QTest::addColumn<QString>("what");
        QTest::newRow("the open library") << "open";
        QTest::newRow("the open library, hidden") << "open hidden";
        QTest::newRow("a FIFO") << "fifo";
        QTest::newRow("a folder") << "folder";
    }
    void createRefusalsChangeNothing()
    {
        QFETCH(QString, what);
        const QString open = makeLibrary(tmp.path(), what == QLatin1String("open hidden") ? ".busy.mdb" : "busy.mdb");
        sql(open, QStringLiteral("insert into photoGraph (topFolderName) values ('keep')"));
        Global g = makeGlobal(open);
        const QString before = g.dbConnectString;
        ScriptedDialogService ds;
        RecordingHost host;
        QString pick = tmp.filePath(what);
        if (what.startsWith(QLatin1String("open"))) {
            // The same file under another spelling of its path.
            pick = tmp.path() + QStringLiteral("/./") + QFileInfo(open).fileName();
            ds.queueYes();
        } else if (what == QLatin1String("fifo")) {
            QFile::remove(pick);
            QCOMPARE(::mkfifo(QFile::encodeName(pick).constData(), 0600), 0);
        } else {
            makeDir(pick);
        }
        ds.queuePick(pick);
        QVERIFY(!CreateLibrary(g, ds, host, true, nullptr));
        const MessageRequest last = ds.messages().last();
        const bool isOpen = what.startsWith(QLatin1String("open"));
        QCOMPARE(ds.messages().size(), isOpen ? 2 : 1);  // after the overwrite question, or at once
        QCOMPARE(last.text, isOpen ? kOpenNow
                                   : QStringLiteral("「%1」はファイルではないため、データベースを作成できません。").arg(pick));
        QCOMPARE(last.kind, isOpen ? MsgKind::Exclamation : MsgKind::Critical);
        QCOMPARE(last.title, QStringLiteral("新規作成"));
        QVERIFY(isOpen || !QFileInfo(pick).isFile());
        QCOMPARE(g.dbConnectString, before);
        QCOMPARE(g.isNewLibrary, False16);
        QVERIFY(host.calls.isEmpty());
        QCOMPARE(sqlColumn(open, QStringLiteral("select count(*) from photoGraph")), QStringList{"1"});
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

        // Over an existing file the copy error is offered for retry until answered No; a
        // template that is no library never replaces it.
        writeFile(program.filePath(QStringLiteral("sys.1")), "not a library");
        const QString existing = makeLibrary(tmp.path(), QStringLiteral("exists.mdb"));
        sql(existing, QStringLiteral("insert into photoGraph (topFolderName) values ('keep')"));
        const QByteArray kept = readFile(existing);
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
        QCOMPARE(readFile(existing), kept);
        QVERIFY(g.dbConnectString.isEmpty());
    }

    void cliCreateAndShow()
    {
        const QString lib = tmp.filePath(QStringLiteral("cli.mdb"));
        CliResult r = runCli({QStringLiteral("create"), lib});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(runCli({QStringLiteral("create"), lib}).exitCode, 1);  // refuses to overwrite
        QCOMPARE(runCli({QStringLiteral("create"), QStringLiteral("--force"), lib}).exitCode, 0);
        const QString fifo = tmp.filePath(QStringLiteral("pipe.mdb"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        r = runCli({QStringLiteral("create"), QStringLiteral("--force"), fifo});
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.err.contains(fifo));
        QVERIFY(!QFileInfo(fifo).isFile());
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
