// Record and folder-scan operations of the editor against real libraries and folder trees.
#include "Database.h"
#include "DialogService.h"
#include "EditorRecords.h"
#include "Global.h"
#include "TestSupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace tessaly;
using namespace tessaly::test;

class TestEditorRecords : public QObject {
    Q_OBJECT

    QTemporaryDir m_tmp;
    QString m_lib;
    QString m_base;
    Global m_g;

    QString one(const QString &statement, const QVariantList &params = {}) { return sqlColumn(m_lib, statement, params).value(0, "<none>"); }

private slots:
    void init()
    {
        QVERIFY(m_tmp.isValid());
        const QString dir = m_tmp.path() + QStringLiteral("/") + QString::fromLatin1(QTest::currentTestFunction());
        QDir(dir).removeRecursively();
        m_lib = makeLibrary(dir);
        m_base = makeDir(dir + QStringLiteral("/base"));
        m_g = makeGlobal(m_lib);
    }

    // A category's tree registered completely: files beside the folders and hidden folders
    // are passed over, the first HTML file in name order (any case) is taken. A second
    // pass adds nothing, refreshes moved folders, keeps a chosen file and turns the open
    // button off where no HTML file is left.
    void registerAndRescanCategory()
    {
        const QString cat = m_base + QStringLiteral("/Trips");
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
            return sqlColumn(m_lib, QString::fromLatin1(statement)).replaceInStrings(cat, QString());
        };
        const char *titles = "select iventsFolderName||'|'||iventsFolder||'|'||coalesce(iventsHTML,'-')||'|'||"
                             "coalesce(Ivents,'-')||'|'||IventsHtmlButton||'|'||ID from photoIvents order by ID2";
        pass();
        QCOMPARE(below("select yearFolderName||'|'||yearFolder||'|'||ID from photoYear"), QStringList({"2021|/2021|1", "2022|/2022|1"}));
        QCOMPARE(below(titles), QStringList({"Kyoto|/2021/Kyoto|/2021/Kyoto/a.HTML|/2021/Kyoto/a.HTML|-1|1",
                                             "Nara|/2021/Nara|/2021/Nara/n.html|/2021/Nara/n.html|-1|1",
                                             "Tom's day|/2022/Tom's day|/2022/Tom's day/index.html|/2022/Tom's day/index.html|-1|1"}));
        sql(m_lib, QStringLiteral("update photoIvents set iventsHTML='/elsewhere/mine.html', Ivents=null where iventsFolderName='Kyoto'"));
        sql(m_lib, QStringLiteral("update photoIvents set iventsHTML=null, Ivents=null, iventsFolder='/old' where iventsFolderName='Nara'"));
        sql(m_lib, QStringLiteral("update photoYear set yearFolder='/old/2021'"));
        QFile::remove(cat + QStringLiteral("/2021/Nara/n.html"));
        pass();
        QVERIFY(ds.calls.isEmpty());
        QCOMPARE(below("select yearFolder from photoYear order by ID1"), QStringList({"/2021", "/2022"}));
        QCOMPARE(below(titles).mid(0, 2), QStringList({"Kyoto|/2021/Kyoto|/elsewhere/mine.html|-|-1|1", "Nara|/2021/Nara|-|-|0|1"}));
        QCOMPARE(sqlColumn(m_lib, QStringLiteral("select count(*) from photoIvents")), QStringList{"3"});
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
        const QString cat = m_base + QStringLiteral("/C");
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
        sql(m_lib, QStringLiteral("create trigger t before %1='bad' begin select raise(abort,'boom'); end").arg(failing));
        if (level == 3)
            FindTitleHtmlFiles(m_g, ds, all);
        else
            QCOMPARE(level == 1 ? RegisterGenresOfCategory(m_g, ds, 1) : RegisterTitlesOfGenres(m_g, ds, all), int16_t(-1));
        const auto msgs = ds.messages();
        QCOMPARE(msgs.size(), 1);
        QVERIFY2(msgs[0].text.contains(QLatin1String("boom")), qPrintable(msgs[0].text));
        QVERIFY(msgs[0].kind == MsgKind::None && msgs[0].title == QLatin1String("Tessaly") && msgs[0].buttons == MsgButtons::Ok);
        QCOMPARE(sqlColumn(m_lib, saved), QStringList{"a"});
        // The connection was closed: the library can be written at once.
        sql(m_lib, QStringLiteral("drop trigger t"));
        sql(m_lib, QStringLiteral("insert into photoGraph (topFolderName) values ('after')"));
    }

    void lookups()
    {
        sql(m_lib, QStringLiteral("insert into photoGraph (topFolderName, topFolder) values ('Cat', '/p/Cat'), ('Cat', '/q/Cat')"));
        sql(m_lib, QStringLiteral("insert into photoYear (ID, yearFolderName, yearFolder) values (2, 'G', '/q/Cat/G')"));
        sql(m_lib, QStringLiteral("insert into photoIvents (ID, ID1, iventsFolderName, iventsFolder) values (2, 1, 'T', '/q/Cat/G/T')"));

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
        sql(m_lib, QStringLiteral("insert into photoIvents (ID, ID1, iventsFolderName, iventsFolder, iventsLink, IventsLinkButton, "
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
        sql(m_lib, QStringLiteral("insert into photoIvents (ID, ID1, iventsFolderName, iventsFolder, iventsLink, IventsLinkButton, "
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
        QFile::remove(m_lib);
        TitleEntry e;
        QVERIFY_THROWS_EXCEPTION(DbError, CategoryNameMissing(m_g, QStringLiteral("x")));
        QVERIFY_THROWS_EXCEPTION(DbError, UpdateTitleRow(m_g, e, e));
        QVERIFY_THROWS_EXCEPTION(DbError, IsGenreFolder(m_g, QStringLiteral("/x")));
        ScriptedDialogService ds;
        QCOMPARE(RegisterGenresOfCategory(m_g, ds, 1), int16_t(-1));
        QCOMPARE(ds.messages().size(), 1);
        QVERIFY(ds.messages()[0].text.contains(m_lib));
    }
};

QTEST_GUILESS_MAIN(TestEditorRecords)
#include "test_editor_records.moc"
