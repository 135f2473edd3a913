// The library database layer: template, keys, Null, bound text, bad files.
#include <QFileInfo>
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
    void init()
    {
        lib = makeLibrary(tmp.path(), QStringLiteral("lib.mdb"));
    }

    void templateHasTheTablesAndTitleFieldOrder()
    {
        const QStringList tables = sqlColumn(lib, QStringLiteral(
            "select name from sqlite_master where type='table' and name not like 'sqlite_%' order by name"));
        QCOMPARE(tables, (QStringList{"allTop", "photoGraph", "photoIvents", "photoYear", "systemdir"}));
        const QStringList fields = sqlColumn(lib, QStringLiteral("select name from pragma_table_info('photoIvents')"));
        QCOMPARE(fields, (QStringList{"ID2", "ID", "ID1", "iventsFolderName", "iventsFolder", "iventsLink",
                                      "IventsLinkButton", "iventsHTML", "IventsHtmlButton", "Ivents", "iventsPhoto"}));
        QCOMPARE(sqlColumn(lib, QStringLiteral("select count(*) from photoGraph")), QStringList{"0"});
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

    void nullIsToldApartFromEmptyText()
    {
        Connection c(cs());
        RowSet rs(c, QStringLiteral("photoIvents"));
        rs.addNew();
        rs.setText(QStringLiteral("iventsLink"), QString());  // a null QString is still empty text
        rs.setText(QStringLiteral("iventsHTML"), QStringLiteral(""));
        rs.setNull(QStringLiteral("iventsPhoto"));
        rs.setFlag(QStringLiteral("IventsLinkButton"), true);
        rs.update();
        RowSet back(c, QStringLiteral("select * from photoivents"));
        QVERIFY(!back.isNull(QStringLiteral("iventsLink")));
        QCOMPARE(back.text(QStringLiteral("iventsLink")), QString());
        QVERIFY(!back.isNull(QStringLiteral("IVENTSHTML")));  // field names without regard to case
        QVERIFY(back.isNull(QStringLiteral("iventsPhoto")));
        QVERIFY(back.isNull(QStringLiteral("Ivents")));
        QCOMPARE(back.number(QStringLiteral("IventsLinkButton")), -1);
        QCOMPARE(back.number(QStringLiteral("IventsHtmlButton")), 0);
    }

    void namesRoundTripAndSelectExactly_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("apostrophe") << "Bob's";
        QTest::newRow("double quote") << "say \"hi\"";
        QTest::newRow("backslash") << "C:\\photo\\a";
        QTest::newRow("percent") << "100%";
        QTest::newRow("underscore") << "a_b";
        QTest::newRow("japanese") << "旅行・ｶﾀｶﾅ";
        QTest::newRow("sql") << "x' or '1'='1";
    }
    void namesRoundTripAndSelectExactly()
    {
        QFETCH(QString, name);
        Connection c(cs());
        {
            RowSet rs(c, QStringLiteral("photoGraph"));
            // Neighbours that a wildcard or a broken quote would also match.
            for (const QString &n : {QStringLiteral("Bob"), QStringLiteral("100"), QStringLiteral("axb"),
                                     QStringLiteral("x"), name}) {
                rs.addNew();
                rs.setText(QStringLiteral("topFolderName"), n);
                rs.setText(QStringLiteral("topFolder"), QStringLiteral("/p/") + n);
                rs.update();
            }
        }
        RowSet found(c, QStringLiteral("select * from photoGraph where topFolderName=?"), {name});
        QCOMPARE(found.count(), 1);
        QCOMPARE(found.text(QStringLiteral("topFolderName")), name);
        QCOMPARE(found.text(QStringLiteral("topFolder")), QStringLiteral("/p/") + name);
    }

    void updateAndDeleteWalk()
    {
        Connection c(cs());
        {
            RowSet rs(c, QStringLiteral("photoYear"));
            for (int i = 0; i < 5; ++i) {
                rs.addNew();
                rs.setNumber(QStringLiteral("ID"), i % 2 ? 7 : 8);
                rs.setText(QStringLiteral("yearFolderName"), QString::number(i));
                rs.update();
            }
        }
        {
            RowSet rs(c, QStringLiteral("select * from photoYear where ID=?"), {7});
            QCOMPARE(rs.count(), 2);
            for (; !rs.eof(); rs.moveNext())
                rs.deleteRow();  // delete, then move on, as every deletion loop does
        }
        {
            RowSet rs(c, QStringLiteral("select * from photoYear where ID=? order by ID1"), {8});
            QCOMPARE(rs.count(), 3);
            rs.moveNext();
            rs.setText(QStringLiteral("yearFolder"), QStringLiteral("/changed"));
            rs.update();
        }
        QCOMPARE(sqlColumn(lib, QStringLiteral("select yearFolderName from photoYear order by ID1")),
                 (QStringList{"0", "2", "4"}));
        QCOMPARE(sqlColumn(lib, QStringLiteral("select yearFolder from photoYear where yearFolderName='2'")),
                 QStringList{"/changed"});
    }

    void openRowSetDoesNotBlockOtherWriters()
    {
        Connection reader(cs());
        sql(lib, QStringLiteral("insert into photoGraph (topFolderName) values ('a')"));
        sql(lib, QStringLiteral("insert into photoGraph (topFolderName) values ('b')"));
        RowSet rs(reader, QStringLiteral("select * from photoGraph order by ID"));
        QVERIFY(!rs.eof());
        Connection writer(cs());
        writer.exec(QStringLiteral("update photoGraph set topFolder=? where topFolderName=?"),
                    {QStringLiteral("/x"), QStringLiteral("b")});
        QCOMPARE(sqlColumn(lib, QStringLiteral("select topFolder from photoGraph where topFolderName='b'")),
                 QStringList{"/x"});
    }

    void badFilesGiveClearErrors_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("expected");
        QTest::newRow("missing") << "missing" << "ファイルがありません";
        QTest::newRow("not sqlite") << "jet" << "ライブラリのデータベースではありません";
        QTest::newRow("no table") << "notable" << "テーブル photoIvents がありません";
        QTest::newRow("no field") << "nofield" << "テーブル photoYear に項目 yearFolderName がありません";
        QTest::newRow("folder") << "folder" << "ファイルではありません";
        QTest::newRow("locked by another program") << "locked" << "他のプログラムが使用中です";
    }
    void badFilesGiveClearErrors()
    {
        QFETCH(QString, kind);
        QFETCH(QString, expected);
        const QString path = tmp.filePath(kind + QStringLiteral(".mdb"));
        if (kind == QLatin1String("jet")) {
            QByteArray jet(4096, '\0');
            jet.replace(4, 15, "Standard Jet DB");
            writeFile(path, jet);
        } else if (kind == QLatin1String("notable")) {
            makeLibrary(tmp.path(), kind + QStringLiteral(".mdb"));
            sql(path, QStringLiteral("drop table photoIvents"));
        } else if (kind == QLatin1String("nofield")) {
            makeLibrary(tmp.path(), kind + QStringLiteral(".mdb"));
            sql(path, QStringLiteral("drop table photoYear"));
            sql(path, QStringLiteral("create table photoYear (ID integer, ID1 integer, yearFolder text)"));
        } else if (kind == QLatin1String("folder")) {
            makeDir(path);
        }
        QSqlDatabase holder = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("holder"));
        if (kind == QLatin1String("locked")) {
            makeLibrary(tmp.path(), kind + QStringLiteral(".mdb"));
            holder.setDatabaseName(path);
            QVERIFY(holder.open());
            QVERIFY(QSqlQuery(holder).exec(QStringLiteral("BEGIN EXCLUSIVE")));
        }
        const auto release = qScopeGuard([&holder] {
            holder.close();
            holder = QSqlDatabase();
            QSqlDatabase::removeDatabase(QStringLiteral("holder"));
        });
        try {
            Connection c(MakeConnectString(path));
            QFAIL("a bad library was opened");
        } catch (const DbError &e) {
            QVERIFY2(e.message().contains(path), qPrintable(e.message()));
            QVERIFY2(e.message().contains(expected), qPrintable(e.message()));
        }
        if (kind == QLatin1String("missing"))
            QVERIFY(!QFileInfo::exists(path));  // opening never creates a file
    }

    void connectStringKeepsItsForm()
    {
        const QString s = MakeConnectString(QStringLiteral("/a b/ライブラリ.mdb"));
        QCOMPARE(s, QStringLiteral("provider=SQLite;data source=/a b/ライブラリ.mdb"));
        QCOMPARE(ConnectStringPath(s), QStringLiteral("/a b/ライブラリ.mdb"));
        QCOMPARE(ConnectStringPath(QStringLiteral("provider=Microsoft.Jet.OLEDB.4.0;data source=D:\\x.mdb")),
                 QStringLiteral("D:\\x.mdb"));
        QCOMPARE(ConnectStringPath(QString()), QString());
    }
};

QTEST_GUILESS_MAIN(TestDatabase)
#include "test_database.moc"
