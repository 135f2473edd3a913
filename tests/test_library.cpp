// The library file: its database layer (template, keys, Null, bound text, two connections,
// bad files), opening and creating it through the dialog service, and the command line's
// create and show.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSqlQuery>
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

QString msg(MsgKind kind, const QString &text)
{
    return QString::number(int(kind)) + QLatin1Char(' ') + text;
}

int rows(const QString &lib)
{
    return sqlColumn(lib, QStringLiteral("select count(*) from photoGraph")).first().toInt();
}
}  // namespace

const std::pair<const char *, const char *> kLinks[] = {
    {"tofile.mdb", "notes.txt"}, {"dangling.mdb", "made.mdb"}, {"tofolder.mdb", "adir.mdb"}};

class TestLibrary : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> tmp;
    QString lib;  // a library of its own for the database layer's tests
    QString cs() const { return MakeConnectString(lib); }

private slots:
    // Libraries with one row (one of them open, one hidden, it and another with a second
    // name), a folder, a FIFO, links to a file, to nothing and to a folder, and a link to
    // the test's own folder.
    void init()
    {
        tmp = std::make_unique<QTemporaryDir>();
        for (const char *name : {"old.mdb", ".old.mdb", "open.mdb", "linked.mdb"})
            sql(makeLibrary(tmp->path(), name), QStringLiteral("insert into photoGraph (topFolderName) values ('keep')"));
        for (const auto &[name, second] : {std::pair{"linked.mdb", "other name.mdb"}, std::pair{"open.mdb", "open too.mdb"}})
            QCOMPARE(::link(QFile::encodeName(tmp->filePath(name)).constData(),
                            QFile::encodeName(tmp->filePath(second)).constData()), 0);
        QVERIFY(QFile::link(tmp->path(), tmp->filePath("here")));
        makeDir(tmp->filePath(QStringLiteral("adir.mdb")));
        QCOMPARE(::mkfifo(QFile::encodeName(tmp->filePath("fifo.mdb")).constData(), 0600), 0);
        writeFile(tmp->filePath("notes.txt"), "notes");
        for (const auto &[link, target] : kLinks)
            QVERIFY(QFile::link(target, tmp->filePath(link)));
        lib = makeLibrary(tmp->path(), QStringLiteral("db.mdb"));
    }
    // Nothing was written through a link: each is still a link, its target as it was.
    void cleanup()
    {
        for (const auto &[link, target] : kLinks)
            QCOMPARE(QFileInfo(tmp->filePath(link)).symLinkTarget(), tmp->filePath(target));
        QCOMPARE(readFile(tmp->filePath("notes.txt")), QByteArray("notes"));
        QVERIFY(!QFileInfo::exists(tmp->filePath("made.mdb")));
        QCOMPARE(QDir(tmp->filePath("adir.mdb")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
    }

    // --- the database layer ---

    // The other tables and fields are checked on every open; the titles' order is the template's own.
    void templateHasTheTitleFieldOrder()
    {
        QCOMPARE(sqlColumn(lib, "select name from pragma_table_info('photoIvents')"),
                 (QStringList{"ID2", "ID", "ID1", "iventsFolderName", "iventsFolder", "iventsLink", "IventsLinkButton",
                              "iventsHTML", "IventsHtmlButton", "Ivents", "iventsPhoto"}));
    }

    void keysAreAssignedOnSave_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("key");
        QTest::newRow("category") << "photoGraph" << "ID";
        QTest::newRow("genre") << "photoYear" << "ID1";
        QTest::newRow("title") << "photoIvents" << "ID2";
    }
    void keysAreAssignedOnSave()
    {
        QFETCH(QString, table);
        QFETCH(QString, key);
        Connection c(cs());
        RowSet rs(c, table);
        QVERIFY(rs.eof());
        rs.addNew();
        QVERIFY(rs.isNull(key));
        rs.update();
        const int first = rs.number(key);
        QVERIFY(first > 0);
        rs.addNew();
        rs.update();
        QVERIFY(rs.number(key) > first);
        RowSet again(c, QStringLiteral("select * from %1 order by %2").arg(table, key));
        QCOMPARE(again.count(), 2);
        QCOMPARE(again.number(key), first);
    }

    // Null apart from empty text, flags as -1/0, field names without regard to case, and
    // text (quotes, Japanese) bound both ways, never quoted into a statement.
    void valuesRoundTrip_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("apostrophe") << "x' or '1'='1";
        QTest::newRow("backslash and quote") << "C:\\photo\\\"a\"";
        QTest::newRow("japanese") << "旅行・ｶﾀｶﾅ";
    }
    void valuesRoundTrip()
    {
        QFETCH(QString, name);
        Connection c(cs());
        {
            RowSet rs(c, "photoIvents");
            for (const QString &n : {QStringLiteral("x"), name}) {
                rs.addNew();
                rs.setText("iventsFolderName", n);
                rs.setText("iventsLink", QString());  // a null QString is still empty text
                rs.setText("iventsHTML", "");
                rs.setNull("iventsPhoto");
                rs.setFlag("IventsLinkButton", true);
                rs.update();
            }
        }
        RowSet back(c, "select * from photoIvents where iventsFolderName=?", {name});
        QCOMPARE(back.count(), 1);
        QCOMPARE(back.text("IVENTSFOLDERNAME"), name);
        QVERIFY(!back.isNull("iventsLink") && !back.isNull("iventsHTML"));
        QVERIFY(back.isNull("iventsPhoto") && back.isNull("Ivents"));
        QCOMPARE(back.number("IventsLinkButton"), -1);
        QCOMPARE(back.number("IventsHtmlButton"), 0);
    }

    void updateAndDeleteWalk()
    {
        sql(lib, "insert into photoYear (ID, yearFolderName) values (8, '0'), (7, '1'), (8, '2'), (7, '3'), (8, '4')");
        Connection c(cs());
        {
            RowSet rs(c, "select * from photoYear where ID=?", {7});
            QCOMPARE(rs.count(), 2);
            for (; !rs.eof(); rs.moveNext())
                rs.deleteRow();  // delete, then move on, as every deletion loop does
        }
        int calls = 0;
        {
            RowSet rs(c, "select * from photoYear where ID=? order by ID1", {8});
            rs.setWhileLoading([&calls] { ++calls; });  // a long read keeps a window painting
            rs.requery();
            QVERIFY(calls >= 3);
            QCOMPARE(rs.count(), 3);
            rs.addNew();
            rs.deleteRow();  // a new row given up before its save: the walk goes on over the stored ones
            rs.moveNext();
            rs.setText("yearFolder", "/changed");
            rs.update();
        }
        // The read's callback went with its row set: a long statement runs on without it.
        const int callsBefore = calls;
        c.exec("create table steps as with recursive n(i) as (select 1 union all select i + 1 from n where i < 50000) "
               "select i from n");
        QCOMPARE(calls, callsBefore);
        QCOMPARE(sqlColumn(lib, "select yearFolderName||coalesce(yearFolder,'') from photoYear order by ID1"),
                 (QStringList{"0", "2/changed", "4"}));
    }

    // A second connection writes while a row set is open (it holds no lock), and a row that
    // connection deleted meanwhile is a failure when written or deleted, never "saved"; so is
    // a field it renamed, named in the message.
    void secondConnection_data()
    {
        QTest::addColumn<QString>("meanwhile");
        QTest::addColumn<QString>("step");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QStringList>("rowsAfter");
        const QString deleteB = "delete from photoGraph where topFolderName='b'";
        QTest::newRow("changed meanwhile") << "update photoGraph set topFolder='/x' where topFolderName='b'" << "update" << ""
                                           << QStringList{"a", "b"};
        QTest::newRow("update of a deleted row") << deleteB << "update" << "行はほかの処理で削除されています" << QStringList{"a"};
        QTest::newRow("delete of a deleted row") << deleteB << "delete" << "行はほかの処理で削除されています" << QStringList{"a"};
        QTest::newRow("delete refused") << "create trigger keep before delete on photoGraph begin select raise(abort, 'kept'); end"
                                        << "delete" << "kept" << QStringList{"a", "b"};
        const QString rename = "alter table photoGraph rename column topFolder to folderOfTop";
        QTest::newRow("field renamed") << rename << "update" << "no such column: topFolder" << QStringList{"a", "b"};
        QTest::newRow("field renamed, new row") << rename << "add" << "has no column named topFolder" << QStringList{"a", "b"};
    }
    void secondConnection()
    {
        QFETCH(QString, meanwhile);
        QFETCH(QString, step);
        QFETCH(QString, fault);
        QFETCH(QStringList, rowsAfter);
        sql(lib, "insert into photoGraph (topFolderName) values ('a'), ('b')");
        Connection reader(cs());
        RowSet rs(reader, "select * from photoGraph where topFolderName='b'");
        Connection writer(cs());
        writer.exec(meanwhile);
        reader.exec("select count(*) from photoGraph");  // the reader has seen the new schema
        if (step == "add")
            rs.addNew();
        rs.setText("topFolder", "/y");
        try {
            step == "delete" ? rs.deleteRow() : rs.update();
            QVERIFY2(fault.isEmpty(), "a failed write was reported as written");
        } catch (const DbError &e) {
            QVERIFY2(!fault.isEmpty() && e.message().contains(fault), qPrintable(e.message()));
        }
        QCOMPARE(sqlColumn(lib, "select topFolderName from photoGraph order by ID"), rowsAfter);
    }

    void badFilesGiveClearErrors_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("statements");  // run on a copy of the template
        QTest::addColumn<QString>("expected");
        QTest::newRow("missing") << "missing" << "" << "ファイルがありません";
        QTest::newRow("not sqlite") << "jet" << "" << "ライブラリのデータベースではありません";
        QTest::newRow("no table") << "notable" << "drop table photoIvents" << "テーブル photoIvents がありません";
        QTest::newRow("no field") << "nofield" << "drop table photoYear;create table photoYear (ID, ID1, yearFolder)"
                                  << "テーブル photoYear に項目 yearFolderName がありません";
        QTest::newRow("folder") << "folder" << "" << "ファイルではありません";
        QTest::newRow("locked by another program") << "locked" << "" << "他のプログラムが使用中です";
    }
    void badFilesGiveClearErrors()
    {
        QFETCH(QString, kind);
        QFETCH(QString, statements);
        QFETCH(QString, expected);
        const QString path = tmp->filePath(kind + ".mdb");
        if (kind == "jet")
            writeFile(path, QByteArray(4096, '\0').replace(4, 15, "Standard Jet DB"));
        else if (kind == "folder")
            makeDir(path);
        for (const QString &st : statements.split(';', Qt::SkipEmptyParts))
            sql(QFileInfo::exists(path) ? path : makeLibrary(tmp->path(), kind + ".mdb"), st);
        QSqlDatabase holder = QSqlDatabase::addDatabase("QSQLITE", "holder");
        const auto release = qScopeGuard([&holder] {
            holder.close();
            holder = QSqlDatabase();
            QSqlDatabase::removeDatabase("holder");
        });
        if (kind == "locked") {
            holder.setDatabaseName(makeLibrary(tmp->path(), kind + ".mdb"));
            QVERIFY(holder.open() && QSqlQuery(holder).exec("BEGIN EXCLUSIVE"));
        }
        try {
            Connection c(MakeConnectString(path));
            QFAIL("a bad library was opened");
        } catch (const DbError &e) {
            QVERIFY2(e.message().contains(path) && e.message().contains(expected), qPrintable(e.message()));
        }
        QCOMPARE(QFileInfo::exists(path), kind != "missing");  // opening never creates a file
    }

    void connectStringKeepsItsForm()
    {
        const QString s = MakeConnectString("/a b/ライブラリ.mdb");
        QCOMPARE(s, QStringLiteral("provider=SQLite;data source=/a b/ライブラリ.mdb"));
        QCOMPARE(ConnectStringPath(s), QStringLiteral("/a b/ライブラリ.mdb"));
        QCOMPARE(ConnectStringPath("provider=Microsoft.Jet.OLEDB.4.0;data source=D:\\x.mdb"), QStringLiteral("D:\\x.mdb"));
        QCOMPARE(ConnectStringPath(QString()), QString());
    }

    // --- opening and creating ---

    void openAndCreate_data()
    {
        QTest::addColumn<bool>("create");
        QTest::addColumn<QString>("pick");          // empty: cancelled
        QTest::addColumn<QString>("answers");       // y or n per question
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QStringList>("messages");  // kind and text; %1 the picked path
        QTest::addColumn<int>("rowsAfter");         // in the picked library; -1: not a library, never made one
        const QString missing = msg(MsgKind::Critical, "データベースを新規で作成する場合は、「新規作成」メニューで処理を行ってください！！");
        const QString exists = msg(MsgKind::Question, "データベースファイルが存在します！上書きで作成しますか？");
        const QString openNow = msg(MsgKind::Exclamation, "現在開いているデータベースです！上書き作成する場合は一旦プログラムを終了し、"
                                                          "再度新規作成処理を行ってください。");
        const QString notFile = msg(MsgKind::Critical, "「%1」はファイルではないため、データベースを作成できません。");
        QTest::newRow("open") << false << "old.mdb" << "" << true << QStringList() << 1;
        QTest::newRow("open cancelled") << false << "" << "" << false << QStringList() << -1;
        QTest::newRow("open missing") << false << "missing.mdb" << "" << false << QStringList{missing} << -1;
        QTest::newRow("open hidden") << false << ".old.mdb" << "" << false << QStringList{missing} << 1;
        QTest::newRow("open folder") << false << "adir.mdb" << "" << false << QStringList{missing} << -1;
        QTest::newRow("create") << true << "新しい.mdb" << "" << true << QStringList() << 0;
        QTest::newRow("create over, yes") << true << "old.mdb" << "y" << true << QStringList{exists} << 0;
        QTest::newRow("create over, no") << true << "old.mdb" << "n" << true << QStringList{exists} << 1;
        QTest::newRow("create over hidden, yes") << true << ".old.mdb" << "y" << true << QStringList{exists} << 0;
        QTest::newRow("create over hidden, no") << true << ".old.mdb" << "n" << true << QStringList{exists} << 1;
        // Only the name is replaced: the file keeps its rows under its other name.
        QTest::newRow("create over a hard link") << true << "linked.mdb" << "y" << true << QStringList{exists} << 0;
        QTest::newRow("create over a hard link's first name") << true << "other name.mdb" << "y" << true
                                                              << QStringList{exists} << 0;
        // The same file under another spelling of its path, another name, through a linked folder.
        for (const char *same : {"./open.mdb", "open too.mdb", "here/open.mdb"})
            QTest::addRow("create over the open library as %s", same) << true << same << "y" << false
                                                                     << QStringList{exists, openNow} << 1;
        QTest::newRow("create over a FIFO") << true << "fifo.mdb" << "" << false << QStringList{notFile} << -1;
        QTest::newRow("create over a folder") << true << "adir.mdb" << "" << false << QStringList{notFile}
                                              << -1;
        // Refused before the question: a library never replaces a link's target.
        for (const auto &[link, target] : kLinks)
            QTest::addRow("create over a link %s", link)
                << true << link << "y" << false
                << QStringList{msg(MsgKind::Critical, SymLinkRefusal("%1", QString::fromUtf8(target)))} << -1;
    }
    void openAndCreate()
    {
        QFETCH(bool, create);
        QFETCH(QString, pick);
        QFETCH(QString, answers);
        QFETCH(bool, ok);
        QFETCH(QStringList, messages);
        QFETCH(int, rowsAfter);
        const QString path = pick.isEmpty() ? QString() : tmp->filePath(pick);
        const QByteArray linked = readFile(tmp->filePath("linked.mdb")), open = readFile(tmp->filePath("open.mdb"));
        Global g = makeGlobal(tmp->filePath(QStringLiteral("open.mdb")));
        const QString before = g.dbConnectString;
        ScriptedDialogService ds;
        RecordingHost host;
        if (!path.isEmpty())
            ds.queuePick(path);
        for (QChar a : answers)
            ds.queueAnswer(a == 'y' ? MsgAnswer::Yes : MsgAnswer::No);
        QCOMPARE(create ? CreateLibrary(g, ds, host, true, nullptr) : OpenLibrary(g, ds, host, true, nullptr), ok);

        const FilePickRequest &r = ds.calls.first().file;
        QCOMPARE(r.dialogTitle, create ? QStringLiteral("データベースを作成") : QStringLiteral("データベースを開く"));
        QCOMPARE(r.filters.size(), 1);
        QCOMPARE(r.filters.first().pattern, QStringLiteral("*.mdb"));
        QStringList shown;
        for (const MessageRequest &m : ds.messages()) {
            shown << msg(m.kind, m.text);
            QCOMPARE(m.title, create ? QStringLiteral("新規作成") : QStringLiteral("データベースを開く"));
        }
        QCOMPARE(shown, messages.replaceInStrings(QStringLiteral("%1"), path));
        const QString name = QFileInfo(path).fileName();
        const QStringList calls = QStringList{"menus", "caption Tessaly <" + name + ">"}
                                  + (create ? QStringList{"htmlOut", "topFolderF"} : QStringList{"dataSet"});
        QCOMPARE(host.calls, ok ? calls : QStringList());
        QCOMPARE(g.dbConnectString, ok ? MakeConnectString(path) : before);
        QCOMPARE(g.isNewLibrary, ok && create ? True16 : False16);
        if (rowsAfter >= 0)
            QCOMPARE(rows(path), rowsAfter);
        else if (!path.isEmpty() && !QFileInfo(path).isSymLink())
            QVERIFY(!QFileInfo(path).isFile());
        for (const QString name : {"linked.mdb", "other name.mdb"})
            if (tmp->filePath(name) != path)
                QCOMPARE(readFile(tmp->filePath(name)), linked);
        QCOMPARE(readFile(tmp->filePath("open.mdb")), open);
        QCOMPARE(readFile(tmp->filePath("open too.mdb")), open);
    }

    // Opening marks a library an earlier version left unmarked as the program's own, so
    // that it is known by its contents; a file another program marked keeps its mark.
    void openMarksOnlyUnmarked_data()
    {
        QTest::addColumn<int>("mark");
        QTest::addColumn<int>("after");
        QTest::newRow("unmarked") << 0 << 0x54534C59;
        QTest::newRow("another program's") << 42 << 42;
    }
    void openMarksOnlyUnmarked()
    {
        QFETCH(int, mark);
        QFETCH(int, after);
        sql(lib, QStringLiteral("pragma application_id = %1").arg(mark));
        Global g = makeGlobal();
        ScriptedDialogService ds;
        RecordingHost host;
        ds.queuePick(lib);
        QVERIFY(OpenLibrary(g, ds, host, true, nullptr));
        QCOMPARE(sqlColumn(lib, QStringLiteral("pragma application_id")), QStringList{QString::number(after)});
    }

    // The picker starts in the program's folder where the user may write there; installed,
    // in the open library's folder, else in the user's documents folder, else at home.
    void dialogStartFolder_data()
    {
        QTest::addColumn<QString>("programFolder");
        QTest::addColumn<QString>("openLibrary");
        QTest::addColumn<QString>("home");
        QTest::addColumn<bool>("documents");  // the home holds a Documents folder
        QTest::addColumn<QString>("startFolder");
        const QString home = tmp->filePath("home"), bare = tmp->filePath("bare");
        QTest::newRow("program folder") << binDir() << QString() << bare << false << binDir();
        QTest::newRow("library open") << "/nonexistent/tessaly" << "/srv/sub/o.mdb" << home << true << "/srv/sub";
        QTest::newRow("none open") << "/nonexistent/tessaly" << QString() << bare << false << bare;
        QTest::newRow("documents") << "/nonexistent/tessaly" << QString() << home << true << home + "/Documents";
        QTest::newRow("a system folder") << "/usr/lib" << QString() << home << true << home + "/Documents";
    }
    void dialogStartFolder()
    {
        QFETCH(QString, programFolder);
        QFETCH(QString, openLibrary);
        QFETCH(QString, home);
        QFETCH(bool, documents);
        QFETCH(QString, startFolder);
        const QByteArray realHome = qgetenv("HOME");
        const auto back = qScopeGuard([&] { qputenv("HOME", realHome); });
        makeDir(documents ? home + "/Documents" : home);
        qputenv("HOME", home.toUtf8());
        Global g = makeGlobal(openLibrary);
        g.programFolder = programFolder;
        ScriptedDialogService ds;
        RecordingHost host;
        QVERIFY(!OpenLibrary(g, ds, host, true, nullptr));
        QVERIFY(!CreateLibrary(g, ds, host, true, nullptr));
        QCOMPARE(ds.calls.size(), 2);
        QCOMPARE(ds.calls.at(0).file.startFolder, startFolder);
        QCOMPARE(ds.calls.at(1).file.startFolder, startFolder);
    }

    // Without a template nothing is made; over an existing file the copy error is offered
    // for retry until answered No, and a template that is no library never replaces it.
    void badTemplate()
    {
        QTemporaryDir program;
        Global g = makeGlobal();
        g.programFolder = program.path();
        ScriptedDialogService ds;
        RecordingHost host;
        ds.queuePick(tmp->filePath(QStringLiteral("none.mdb")));
        QVERIFY(!CreateLibrary(g, ds, host, true, nullptr));
        QCOMPARE(ds.messages().size(), 1);
        QVERIFY(ds.messages().first().text.contains(QStringLiteral("sys.1")));
        QVERIFY(!QFile::exists(tmp->filePath(QStringLiteral("none.mdb"))));

        writeFile(program.filePath(QStringLiteral("sys.1")), "not a library");
        const QByteArray kept = readFile(tmp->filePath(QStringLiteral("old.mdb")));
        ds.clear();
        ds.queuePick(tmp->filePath(QStringLiteral("old.mdb")));
        ds.queueYes();  // overwrite
        ds.queueYes();  // retry once
        ds.queueNo();   // then give up
        QVERIFY(!CreateLibrary(g, ds, host, true, nullptr));
        QCOMPARE(ds.messages().size(), 3);
        for (int i = 1; i < 3; ++i) {
            QCOMPARE(ds.messages().at(i).number, 53);
            QCOMPARE(ds.messages().at(i).buttons, MsgButtons::YesNo);
        }
        QCOMPARE(readFile(tmp->filePath(QStringLiteral("old.mdb"))), kept);
        QVERIFY(g.dbConnectString.isEmpty());
        QVERIFY(host.calls.isEmpty());
    }

    void cliCreateAndShow()
    {
        const QString cliLib = tmp->filePath(QStringLiteral("cli.mdb"));
        QCOMPARE(runCli({QStringLiteral("create"), cliLib}).exitCode, 0);
        QCOMPARE(runCli({QStringLiteral("create"), cliLib}).exitCode, 1);  // refuses to overwrite
        QCOMPARE(runCli({QStringLiteral("create"), QStringLiteral("--force"), cliLib}).exitCode, 0);
        // A name as long as the folder allows is replaced all the same.
        const QString longName = tmp->filePath(QString(247, 'n') + ".mdb");
        QCOMPARE(runCli({QStringLiteral("create"), longName}).exitCode, 0);
        QCOMPARE(runCli({QStringLiteral("create"), QStringLiteral("--force"), longName}).exitCode, 0);
        QCOMPARE(QDir(tmp->path()).entryList(QDir::Hidden | QDir::Files).filter(".tsl"), QStringList());
        for (const auto &[link, target] : kLinks)
            for (const QStringList &force : {QStringList(), QStringList{"--force"}}) {
                const CliResult l = runCli(QStringList{"create"} + force + QStringList{tmp->filePath(link)});
                QVERIFY2(l.exitCode == 1 && l.err.contains("シンボリックリンク"), qPrintable(l.err));
            }
        // Over either name of a file with two, only that name gets the new library.
        const QByteArray linked = readFile(tmp->filePath("linked.mdb"));
        for (const auto &[over, kept] : {std::pair{"linked.mdb", "other name.mdb"}, std::pair{"other name.mdb", "linked.mdb"}}) {
            QCOMPARE(runCli({"create", "--force", tmp->filePath(over)}).exitCode, 0);
            QVERIFY(readFile(tmp->filePath(kept)) == linked && rows(tmp->filePath(over)) == 0);
            QFile::remove(tmp->filePath(over));
            QCOMPARE(::link(QFile::encodeName(tmp->filePath(kept)).constData(), QFile::encodeName(tmp->filePath(over)).constData()), 0);
        }
        const QString fifo = tmp->filePath(QStringLiteral("fifo.mdb"));
        CliResult r = runCli({QStringLiteral("create"), QStringLiteral("--force"), fifo});
        QVERIFY(r.exitCode == 1 && r.err.contains(fifo) && !QFileInfo(fifo).isFile());
        sql(cliLib, QStringLiteral("insert into allTop (ID, allTop) values (1, '/photo')"));
        sql(cliLib, QStringLiteral("insert into photoGraph (topFolder, topFolderName) values ('/photo/B', 'B')"));
        sql(cliLib, QStringLiteral("insert into photoGraph (topFolder, topFolderName) values ('/photo/A', 'A')"));
        sql(cliLib, QStringLiteral("insert into photoYear (ID, yearFolder, yearFolderName) values (2, '/photo/A/g', 'g')"));
        sql(cliLib, QStringLiteral("insert into photoIvents (ID, ID1, iventsFolderName, iventsFolder) "
                                "values (2, 1, 't''s', '/photo/A/g/t''s')"));
        r = runCli({QStringLiteral("show"), cliLib});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QStringLiteral("ライブラリ: %1\n基準フォルダ: /photo\nHTML出力先: (未設定)\n"
                                       "カテゴリー 1 B /photo/B\nカテゴリー 2 A /photo/A\n"
                                       "  ジャンル 1 g /photo/A/g\n    タイトル 1 t's /photo/A/g/t's\n").arg(cliLib));
        for (const QString &bad : {writeFile(tmp->filePath(QStringLiteral("junk.mdb")), "not a library"),
                                   tmp->filePath(QStringLiteral("nothing.mdb"))})
            for (const QString &command : {QStringLiteral("show"), QStringLiteral("autoset")}) {  // checked before any work
                r = runCli({command, bad});
                QVERIFY2(r.exitCode == 1 && r.out.isEmpty() && r.err.startsWith("tessaly-cli: ライブラリファイル「" + bad + "」"), qPrintable(r.out + r.err));
            }
        // What is there but cannot be a library says what it is.
        for (const auto &[name, said] : {std::pair{".old.mdb", "は隠しファイル"}, std::pair{"adir.mdb", "はフォルダです"}}) {
            r = runCli({QStringLiteral("show"), tmp->filePath(name)});
            QVERIFY2(r.exitCode == 1 && r.err.contains(tmp->filePath(name) + "」" + said), qPrintable(r.err));
        }
        QCOMPARE(runCli({QStringLiteral("frobnicate")}).exitCode, 2);
        r = runCli({QStringLiteral("--help")});
        QVERIFY(r.exitCode == 0 && r.out.contains(QStringLiteral("show [--format FORMAT] LIB")));
    }
};

QTEST_GUILESS_MAIN(TestLibrary)
#include "test_library.moc"
