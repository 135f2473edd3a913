// The library database layer: template, keys, Null, bound text, two connections, bad files.
#include <QFileInfo>
#include <QScopeGuard>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include "Database.h"
#include "TestSupport.h"

using namespace tessaly;
using namespace tessaly::test;

class TestDatabase : public QObject {
    Q_OBJECT
    QTemporaryDir tmp;
    QString lib;
    QString cs() const { return MakeConnectString(lib); }

private slots:
    void init() { lib = makeLibrary(tmp.path()); }

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
    // connection deleted meanwhile is a failure when written or deleted, never "saved".
    void secondConnection_data()
    {
        QTest::addColumn<bool>("deleted");
        QTest::addColumn<bool>("viaDelete");
        QTest::newRow("changed meanwhile") << false << false;
        QTest::newRow("update of a deleted row") << true << false;
        QTest::newRow("delete of a deleted row") << true << true;
    }
    void secondConnection()
    {
        QFETCH(bool, deleted);
        QFETCH(bool, viaDelete);
        sql(lib, "insert into photoGraph (topFolderName) values ('a'), ('b')");
        Connection reader(cs());
        RowSet rs(reader, "select * from photoGraph where topFolderName='b'");
        Connection writer(cs());
        writer.exec(deleted ? "delete from photoGraph where topFolderName=?" : "update photoGraph set topFolder='/x' where topFolderName=?",
                    {"b"});
        rs.setText("topFolder", "/y");
        try {
            viaDelete ? rs.deleteRow() : rs.update();
            QVERIFY2(!deleted, "a row deleted meanwhile was reported as written");
        } catch (const DbError &e) {
            QVERIFY2(deleted && e.message().contains("行はほかの処理で削除されています"), qPrintable(e.message()));
        }
        QCOMPARE(sqlColumn(lib, "select topFolderName from photoGraph order by ID"),
                 (deleted ? QStringList{"a"} : QStringList{"a", "b"}));
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
        const QString path = tmp.filePath(kind + ".mdb");
        if (kind == "jet")
            writeFile(path, QByteArray(4096, '\0').replace(4, 15, "Standard Jet DB"));
        else if (kind == "folder")
            makeDir(path);
        for (const QString &st : statements.split(';', Qt::SkipEmptyParts))
            sql(QFileInfo::exists(path) ? path : makeLibrary(tmp.path(), kind + ".mdb"), st);
        QSqlDatabase holder = QSqlDatabase::addDatabase("QSQLITE", "holder");
        const auto release = qScopeGuard([&holder] {
            holder.close();
            holder = QSqlDatabase();
            QSqlDatabase::removeDatabase("holder");
        });
        if (kind == "locked") {
            holder.setDatabaseName(makeLibrary(tmp.path(), kind + ".mdb"));
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
};

QTEST_GUILESS_MAIN(TestDatabase)
#include "test_database.moc"
