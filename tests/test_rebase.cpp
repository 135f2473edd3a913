// The root rewrite of stored paths when the base folder moves.
#include <QTemporaryDir>
#include <QTest>

#include "DialogService.h"
#include "Paths.h"
#include "Rebase.h"
#include "TestSupport.h"

using namespace tessaly;
using namespace tessaly::test;

static const QString kNull = QStringLiteral("<null>");
static const QString kError = QStringLiteral("<error>");

class TestRebase : public QObject {
    Q_OBJECT
private slots:
    void plan_data();
    void plan();
    void rewrite_data();
    void rewrite();
    void libraryDriveMove();
    void libraryPosixMove();
    void libraryFromDriveForm();
    void errorKeepsEarlierRows_data();
    void errorKeepsEarlierRows();
    void noRewriteLeavesRows();

private:
    QString lib();
    QTemporaryDir m_dir;
    int m_n = 0;
};

QString TestRebase::lib()
{
    return makeLibrary(m_dir.path(), QStringLiteral("lib%1.mdb").arg(++m_n));
}

void TestRebase::plan_data()
{
    QTest::addColumn<QString>("oldBase");  // kNull for none stored
    QTest::addColumn<QString>("newBase");
    QTest::addColumn<bool>("run");
    QTest::addColumn<bool>("driveRule");

    QTest::newRow("D to E") << "D:\\photo" << "E:\\photo" << true << true;
    QTest::newRow("same drive, other folder") << "D:\\photo" << "D:\\album" << false << true;
    QTest::newRow("drive to share") << "C:\\lib" << "\\\\srv\\share\\lib" << true << true;
    QTest::newRow("share to drive") << "\\\\srv\\share\\lib" << "C:\\lib" << true << true;
    QTest::newRow("share to share") << "\\\\srv\\share\\lib" << "\\\\other\\pub\\lib" << false << true;
    QTest::newRow("case of the drive") << "c:\\photo" << "C:\\photo" << true << true;
    QTest::newRow("unchanged") << "D:\\photo" << "D:\\photo" << false << true;
    QTest::newRow("nothing stored") << kNull << "D:\\photo" << false << false;
    QTest::newRow("empty stored") << "" << "/home/u/photo" << false << false;
    QTest::newRow("posix other disk") << "/media/diskA/photo" << "/media/diskB/photo" << true << false;
    QTest::newRow("posix other folder") << "/home/u/photo" << "/home/u/album" << true << false;
    QTest::newRow("posix unchanged") << "/home/u/photo" << "/home/u/photo" << false << false;
    QTest::newRow("posix trailing separator") << "/home/u/photo" << "/home/u/photo/" << false << false;
    QTest::newRow("drive form to posix") << "D:\\photo" << "/home/u/photo" << true << false;
    QTest::newRow("blank new base") << "/home/u/photo" << " " << false << false;
    QTest::newRow("relative new base") << "/home/u/photo" << "photo" << false << false;
    QTest::newRow("blank to drive") << " " << "D:\\photo" << true << false;
}

void TestRebase::plan()
{
    QFETCH(QString, oldBase);
    QFETCH(QString, newBase);
    QFETCH(bool, run);
    QFETCH(bool, driveRule);
    const RebasePlan p = PlanRebase(oldBase == kNull ? QString() : oldBase, newBase);
    QCOMPARE(p.run, run);
    if (run)
        QCOMPARE(p.driveRule, driveRule);
}

void TestRebase::rewrite_data()
{
    QTest::addColumn<QString>("oldBase");
    QTest::addColumn<QString>("newBase");
    QTest::addColumn<QString>("stored");    // kNull for a Null field
    QTest::addColumn<QString>("expected");  // kError when the rewrite must stop

    // Drive/share form: every path gets the new root, whatever its own root.
    QTest::newRow("D to E, folder") << "D:\\photo" << "E:\\photo" << "D:\\photo\\cat\\genre" << "E:\\photo\\cat\\genre";
    QTest::newRow("D to E, file on C") << "D:\\photo" << "E:\\photo" << "C:\\other\\x.html" << "E:\\other\\x.html";
    QTest::newRow("D to E, share path") << "D:\\photo" << "E:\\photo" << "\\\\srv\\pub\\a" << "E:\\a";
    QTest::newRow("drive to share") << "C:\\lib" << "\\\\srv\\share\\lib" << "C:\\lib\\cat" << "\\\\srv\\share\\lib\\cat";
    QTest::newRow("drive to bare share") << "C:\\lib" << "\\\\srv\\share" << "C:\\lib\\cat" << "\\\\srv\\share\\lib\\cat";
    QTest::newRow("share to drive") << "\\\\srv\\share\\lib" << "D:\\lib" << "\\\\srv\\share\\lib\\cat" << "D:\\lib\\cat";
    QTest::newRow("c: to C:") << "c:\\photo" << "C:\\photo" << "c:\\photo\\cat" << "C:\\photo\\cat";
    QTest::newRow("drive, root only") << "D:\\photo" << "E:\\photo" << "D:" << "E:";
    QTest::newRow("drive, shorter than root") << "D:\\photo" << "E:\\photo" << "D" << kError;
    QTest::newRow("drive, empty") << "D:\\photo" << "E:\\photo" << "" << kError;
    QTest::newRow("drive, null") << "D:\\photo" << "E:\\photo" << kNull << kError;

    // Linux: the old root is replaced where a path begins with it, by whole components.
    QTest::newRow("disk move") << "/media/diskA/photo" << "/media/diskB/photo" << "/media/diskA/photo/cat/genre"
                               << "/media/diskB/photo/cat/genre";
    QTest::newRow("disk move, file beside") << "/media/diskA/photo" << "/media/diskB/photo"
                                            << "/media/diskA/other/x.html" << "/media/diskB/other/x.html";
    QTest::newRow("disk move, name prefix only") << "/media/diskA/photo" << "/media/diskB/photo"
                                                 << "/media/diskAB/photo/cat" << "/media/diskAB/photo/cat";
    QTest::newRow("disk move, elsewhere") << "/media/diskA/photo" << "/media/diskB/photo" << "/home/u/x.html"
                                          << "/home/u/x.html";
    QTest::newRow("folder rename") << "/home/u/photo" << "/home/u/album" << "/home/u/photo/cat" << "/home/u/album/cat";
    QTest::newRow("folder rename, sibling") << "/home/u/photo" << "/home/u/album" << "/home/u/photos/cat"
                                            << "/home/u/photos/cat";
    QTest::newRow("folder rename, base itself") << "/home/u/photo" << "/home/u/album" << "/home/u/photo"
                                                << "/home/u/album";
    QTest::newRow("folder rename, trailing sep") << "/home/u/photo/" << "/home/u/album" << "/home/u/photo/cat/"
                                                 << "/home/u/album/cat/";
    QTest::newRow("moved under a folder") << "/photo" << "/a/photo" << "/photo/cat" << "/a/photo/cat";
    QTest::newRow("moved to the top") << "/a/photo" << "/photo" << "/a/photo/cat" << "/photo/cat";
    QTest::newRow("posix, empty") << "/home/u/photo" << "/home/u/album" << "" << "";
    QTest::newRow("posix, null") << "/home/u/photo" << "/home/u/album" << kNull << kError;

    // Between the two forms.
    QTest::newRow("drive form to posix") << "D:\\photo" << "/home/u/photo" << "D:\\photo\\cat\\genre"
                                         << "/home/u/photo/cat/genre";
    QTest::newRow("drive form to posix, other case") << "D:\\photo" << "/home/u/photo" << "d:\\photo\\cat"
                                                     << "/home/u/photo/cat";
    QTest::newRow("drive form to posix, other drive") << "D:\\photo" << "/home/u/photo" << "C:\\other\\x.html"
                                                      << "C:\\other\\x.html";
    QTest::newRow("share form to posix") << "\\\\srv\\share\\photo" << "/mnt/photo" << "\\\\srv\\share\\photo\\cat"
                                         << "/mnt/photo/cat";
    QTest::newRow("posix to drive form") << "/home/u/photo" << "D:\\photo" << "/home/u/photo/cat" << "D:\\photo\\cat";
    QTest::newRow("blank to drive, posix row") << " " << "D:\\photo" << "/home/u/photo/cat" << "/home/u/photo/cat";
}

void TestRebase::rewrite()
{
    QFETCH(QString, oldBase);
    QFETCH(QString, newBase);
    QFETCH(QString, stored);
    QFETCH(QString, expected);
    const RebasePlan p = PlanRebase(oldBase, newBase);
    QVERIFY(p.run);
    QString result;
    bool changed = false;
    const bool ok = RebasePath(p, stored == kNull ? QVariant() : QVariant(stored), &result, &changed);
    if (expected == kError) {
        QVERIFY(!ok);
        return;
    }
    QVERIFY(ok);
    QCOMPARE(result, expected);
    QCOMPARE(changed, expected != stored);
}

// Rows of a small library: two categories, a genre and two titles.
static void fillLibrary(const QString &lib, const QString &base, const QString &sep, const QString &otherFile)
{
    auto p = [&](const QStringList &parts) { return base + sep + parts.join(sep); };
    sql(lib, "insert into photoGraph(topFolder, topFolderName) values(?, 'cat')", {p({"cat"})});
    sql(lib, "insert into photoGraph(topFolder, topFolderName) values(?, 'cat2')", {p({"cat2"})});
    sql(lib, "insert into photoYear(ID, yearFolder, yearFolderName) values(1, ?, 'genre')", {p({"cat", "genre"})});
    sql(lib,
        "insert into photoIvents(ID, ID1, iventsFolderName, iventsFolder, iventsLink, iventsHTML, Ivents, iventsPhoto)"
        " values(1, 1, 't1', ?, ?, ?, ?, ?)",
        {p({"cat", "genre", "t1"}), p({"cat", "genre", "t1", "link.html"}), p({"cat", "genre", "t1", "a.html"}),
         otherFile, p({"cat", "genre", "t1", "a.jpg"})});
    // A title with an empty file and no photo: both stay as they are.
    sql(lib,
        "insert into photoIvents(ID, ID1, iventsFolderName, iventsFolder, Ivents, iventsPhoto)"
        " values(1, 1, 't2', ?, '', NULL)",
        {p({"cat", "genre", "t2"})});
}

void TestRebase::libraryDriveMove()
{
    const QString l = lib();
    fillLibrary(l, "D:\\photo", "\\", "C:\\other\\x.html");
    Global g = makeGlobal(l);
    ScriptedDialogService ds;
    const RebaseResult r = RebaseStoredPaths(g, ds, "D:\\photo", "E:\\photo");
    QVERIFY(r.ran);
    QVERIFY(!r.failed);
    QVERIFY(ds.calls.isEmpty());
    QCOMPARE(sqlColumn(l, "select topFolder from photoGraph order by ID"),
             QStringList({"E:\\photo\\cat", "E:\\photo\\cat2"}));
    QCOMPARE(sqlColumn(l, "select yearFolder from photoYear"), QStringList({"E:\\photo\\cat\\genre"}));
    QCOMPARE(sqlColumn(l, "select iventsFolder from photoIvents order by ID2"),
             QStringList({"E:\\photo\\cat\\genre\\t1", "E:\\photo\\cat\\genre\\t2"}));
    QCOMPARE(sqlColumn(l, "select Ivents from photoIvents order by ID2"), QStringList({"E:\\other\\x.html", ""}));
    QCOMPARE(sqlColumn(l, "select iventsPhoto from photoIvents order by ID2"),
             QStringList({"E:\\photo\\cat\\genre\\t1\\a.jpg", "<null>"}));
    // Link and HTML file keep their text.
    QCOMPARE(sqlColumn(l, "select iventsLink from photoIvents order by ID2"),
             QStringList({"D:\\photo\\cat\\genre\\t1\\link.html", "<null>"}));
    QCOMPARE(sqlColumn(l, "select iventsHTML from photoIvents order by ID2"),
             QStringList({"D:\\photo\\cat\\genre\\t1\\a.html", "<null>"}));
}

void TestRebase::libraryPosixMove()
{
    const QString l = lib();
    fillLibrary(l, "/media/diskA/photo", "/", "/home/u/x.html");
    Global g = makeGlobal(l);
    ScriptedDialogService ds;
    const RebaseResult r = RebaseStoredPaths(g, ds, "/media/diskA/photo", "/media/diskB/photo");
    QVERIFY(r.ran && !r.failed);
    QCOMPARE(sqlColumn(l, "select topFolder from photoGraph order by ID"),
             QStringList({"/media/diskB/photo/cat", "/media/diskB/photo/cat2"}));
    QCOMPARE(sqlColumn(l, "select iventsFolder from photoIvents order by ID2"),
             QStringList({"/media/diskB/photo/cat/genre/t1", "/media/diskB/photo/cat/genre/t2"}));
    // A file outside the old root stays where it is.
    QCOMPARE(sqlColumn(l, "select Ivents from photoIvents order by ID2"), QStringList({"/home/u/x.html", ""}));
    QCOMPARE(sqlColumn(l, "select iventsPhoto from photoIvents order by ID2"),
             QStringList({"/media/diskB/photo/cat/genre/t1/a.jpg", "<null>"}));
    QCOMPARE(sqlColumn(l, "select iventsLink from photoIvents where ID2=1"),
             QStringList({"/media/diskA/photo/cat/genre/t1/link.html"}));
}

void TestRebase::libraryFromDriveForm()
{
    const QString l = lib();
    fillLibrary(l, "D:\\photo", "\\", "C:\\other\\x.html");
    Global g = makeGlobal(l);
    ScriptedDialogService ds;
    const RebaseResult r = RebaseStoredPaths(g, ds, "D:\\photo", "/home/u/photo");
    QVERIFY(r.ran && !r.failed);
    QCOMPARE(sqlColumn(l, "select yearFolder from photoYear"), QStringList({"/home/u/photo/cat/genre"}));
    QCOMPARE(sqlColumn(l, "select iventsPhoto from photoIvents where ID2=1"),
             QStringList({"/home/u/photo/cat/genre/t1/a.jpg"}));
    QCOMPARE(sqlColumn(l, "select Ivents from photoIvents where ID2=1"), QStringList({"C:\\other\\x.html"}));
}

void TestRebase::errorKeepsEarlierRows_data()
{
    QTest::addColumn<QString>("oldBase");
    QTest::addColumn<QString>("newBase");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("firstAfter");
    QTest::addColumn<QString>("third");
    QTest::newRow("drive") << "D:\\photo" << "E:\\photo" << "D:\\photo\\a" << "E:\\photo\\a" << "D:\\photo\\c";
    QTest::newRow("posix") << "/media/diskA/photo" << "/media/diskB/photo" << "/media/diskA/photo/a"
                           << "/media/diskB/photo/a" << "/media/diskA/photo/c";
}

void TestRebase::errorKeepsEarlierRows()
{
    QFETCH(QString, oldBase);
    QFETCH(QString, newBase);
    QFETCH(QString, first);
    QFETCH(QString, firstAfter);
    QFETCH(QString, third);
    const QString l = lib();
    sql(l, "insert into photoGraph(topFolder, topFolderName) values(?, 'a')", {first});
    sql(l, "insert into photoGraph(topFolder, topFolderName) values(NULL, 'b')");
    sql(l, "insert into photoGraph(topFolder, topFolderName) values(?, 'c')", {third});
    sql(l, "insert into photoYear(ID, yearFolder, yearFolderName) values(1, ?, 'g')", {first + "/g"});
    Global g = makeGlobal(l);
    ScriptedDialogService ds;
    const RebaseResult r = RebaseStoredPaths(g, ds, oldBase, newBase);
    QVERIFY(r.ran);
    QVERIFY(r.failed);
    QCOMPARE(r.rowsSaved, 1);
    QVERIFY(r.error.contains("topFolder"));
    QCOMPARE(sqlColumn(l, "select topFolder from photoGraph order by ID"), QStringList({firstAfter, "<null>", third}));
    QCOMPARE(sqlColumn(l, "select yearFolder from photoYear"), QStringList({first + "/g"}));
    const QList<MessageRequest> m = ds.messages();
    QCOMPARE(m.size(), 1);
    QCOMPARE(m.at(0).text, QString("この後「AutoSet」を実行してください。"));
    QCOMPARE(m.at(0).kind, MsgKind::None);
    QCOMPARE(m.at(0).title, QString("Tessaly"));
    QCOMPARE(m.at(0).buttons, MsgButtons::Ok);
}

void TestRebase::noRewriteLeavesRows()
{
    const QString l = lib();
    fillLibrary(l, "D:\\photo", "\\", "C:\\other\\x.html");
    Global g = makeGlobal(l);
    ScriptedDialogService ds;
    const RebaseResult r = RebaseStoredPaths(g, ds, "D:\\photo", "D:\\album");
    QVERIFY(!r.ran);
    QCOMPARE(sqlColumn(l, "select topFolder from photoGraph order by ID"),
             QStringList({"D:\\photo\\cat", "D:\\photo\\cat2"}));
    QVERIFY(ds.calls.isEmpty());
}

QTEST_GUILESS_MAIN(TestRebase)
#include "test_rebase.moc"
