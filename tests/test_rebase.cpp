// The root rewrite of stored paths when the base folder moves.
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

class TestRebase : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    int m_n = 0;
    QString lib() { return makeLibrary(m_dir.path(), QStringLiteral("lib%1.mdb").arg(++m_n)); }

private slots:
    void rewrite_data();
    void rewrite();
    void library_data();
    void library();
    void roundTripRestoresEveryPath_data();
    void roundTripRestoresEveryPath();
    void errorChangesNothing();
};

// All stored paths of a library, in a fixed order.
static QStringList storedPaths(const QString &lib)
{
    return sqlColumn(lib, "select allTop from allTop") + sqlColumn(lib, "select topFolder from photoGraph order by ID")
           + sqlColumn(lib, "select yearFolder from photoYear order by ID1")
           + sqlColumn(lib, "select iventsFolder || '|' || ifnull(Ivents, 'N') || '|' || ifnull(iventsPhoto, 'N') "
                            "from photoIvents order by ID2");
}

void TestRebase::rewrite_data()
{
    QTest::addColumn<QString>("oldBase");
    QTest::addColumn<QString>("newBase");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("expected");
    auto row = [](const char *name, const char *o, const char *n, const QString &s, const QString &e) {
        QTest::newRow(name) << QString::fromUtf8(o) << QString::fromUtf8(n) << s << e;
    };
    // Drive/share form: two-character comparison; every path gets the new root, whatever its own.
    row("D to E", "D:\\photo", "E:\\photo", "D:\\photo\\cat\\genre", "E:\\photo\\cat\\genre");
    row("D to E, file on C", "D:\\photo", "E:\\photo", "C:\\other\\x.html", "E:\\other\\x.html");
    row("D to E, share path", "D:\\photo", "E:\\photo", "\\\\srv\\pub\\a", "E:\\a");
    row("same drive", "D:\\photo", "D:\\album", "D:\\photo\\cat", kNoRun);
    row("drive to share", "C:\\lib", "\\\\srv\\share\\lib", "C:\\lib\\cat", "\\\\srv\\share\\lib\\cat");
    row("drive to bare share", "C:\\lib", "\\\\srv\\share", "C:\\lib\\cat", "\\\\srv\\share\\lib\\cat");
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
    row("folder rename, sibling", "/home/u/photo", "/home/u/album", "/home/u/photos/cat", "/home/u/photos/cat");
    row("moved under a folder", "/photo", "/a/photo", "/photo/cat", "/a/photo/cat");
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

void TestRebase::rewrite()
{
    QFETCH(QString, oldBase);
    QFETCH(QString, newBase);
    QFETCH(QString, stored);
    QFETCH(QString, expected);
    const RebasePlan p = PlanRebase(oldBase == kNull ? QString() : oldBase, newBase);
    QCOMPARE(p.run, expected != kNoRun);
    if (!p.run)
        return;
    QString result;
    bool changed = false;
    const bool ok = RebasePath(p, stored == kNull ? QVariant() : QVariant(stored), &result, &changed);
    QCOMPARE(ok, expected != kError);
    if (ok) {
        QCOMPARE(result, expected);
        QCOMPARE(changed, expected != stored);
    }
}

void TestRebase::library_data()
{
    QTest::addColumn<QString>("oldBase");
    QTest::addColumn<QString>("newBase");
    QTest::addColumn<QString>("newRoot");
    QTest::addColumn<QString>("otherFile");  // a title file outside the base folder
    QTest::addColumn<QString>("otherAfter");
    QTest::newRow("drive") << "D:\\photo" << "E:\\photo" << "E:\\photo" << "C:\\other\\x.html" << "E:\\other\\x.html";
    QTest::newRow("posix") << "/media/diskA/photo" << "/media/diskB/photo" << "/media/diskB/photo" << "/home/u/x.html"
                           << "/home/u/x.html";
}

// Every path column; iventsLink and iventsHTML never move, empty and Null fields stay.
void TestRebase::library()
{
    QFETCH(QString, oldBase);
    QFETCH(QString, newBase);
    QFETCH(QString, newRoot);
    QFETCH(QString, otherFile);
    QFETCH(QString, otherAfter);
    const QString l = lib();
    const QString os = oldBase.startsWith('/') ? "/" : "\\";
    const QString ns = newRoot.startsWith('/') ? "/" : "\\";
    auto p = [](const QString &root, const QString &sep, const QStringList &parts) {
        return root + sep + parts.join(sep);
    };
    sql(l, "insert into allTop(ID, allTop) values(1, ?)", {oldBase});
    sql(l, "insert into photoGraph(topFolder, topFolderName) values(?, 'cat')", {p(oldBase, os, {"cat"})});
    sql(l, "insert into photoYear(ID, yearFolder, yearFolderName) values(1, ?, 'g')", {p(oldBase, os, {"cat", "g"})});
    sql(l, "insert into photoIvents(ID, ID1, iventsFolderName, iventsFolder, iventsLink, iventsHTML, Ivents, iventsPhoto)"
           " values(1, 1, 't1', ?, ?, ?, ?, ?)",
        {p(oldBase, os, {"t1"}), p(oldBase, os, {"l.html"}), p(oldBase, os, {"h.html"}), otherFile,
         p(oldBase, os, {"a.jpg"})});
    sql(l, "insert into photoIvents(ID, ID1, iventsFolderName, iventsFolder, Ivents, iventsPhoto)"
           " values(1, 1, 't2', ?, '', NULL)", {p(oldBase, os, {"t2"})});
    Connection conn(MakeConnectString(l));
    const RebaseResult r = RebaseStoredPaths(conn, oldBase, newBase);
    QVERIFY(r.ran && !r.failed);
    QCOMPARE(r.rowsSaved, 4);
    QCOMPARE(sqlColumn(l, "select topFolder || '|' || yearFolder from photoGraph, photoYear"),
             QStringList{p(newRoot, ns, {"cat"}) + "|" + p(newRoot, ns, {"cat", "g"})});
    QCOMPARE(sqlColumn(l, "select iventsFolder || '|' || ifnull(iventsLink, 'N') || '|' || ifnull(iventsHTML, 'N') "
                          "|| '|' || Ivents || '|' || ifnull(iventsPhoto, 'N') from photoIvents order by ID2"),
             (QStringList{p(newRoot, ns, {"t1"}) + "|" + p(oldBase, os, {"l.html"}) + "|" + p(oldBase, os, {"h.html"})
                              + "|" + otherAfter + "|" + p(newRoot, ns, {"a.jpg"}),
                          p(newRoot, ns, {"t2"}) + "|N|N||N"}));
}

void TestRebase::roundTripRestoresEveryPath_data()
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
void TestRebase::roundTripRestoresEveryPath()
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
    QVERIFY(ds.calls.isEmpty());
    QCOMPARE(storedPaths(l), before);
}

// A path the rewrite cannot take: neither the base folder nor any path changes, and
// the message says so.
void TestRebase::errorChangesNothing()
{
    const QString l = lib();
    sql(l, "insert into allTop(ID, allTop) values(1, 'D:\\photo')");
    sql(l, "insert into photoGraph(topFolder, topFolderName) values('D:\\photo\\a', 'a')");
    sql(l, "insert into photoGraph(topFolder, topFolderName) values(NULL, 'b')");
    sql(l, "insert into photoYear(ID, yearFolder, yearFolderName) values(1, 'D:\\photo\\a\\g', 'g')");
    const QStringList before = storedPaths(l);
    Global g = makeGlobal(l);
    g.isNewLibrary = True16;
    ScriptedDialogService ds;
    const SaveResult r = SaveBaseFolder(g, ds, "E:\\photo");
    QCOMPARE(r.outcome, SaveOutcome::Failed);
    QVERIFY(r.rebase.failed);
    QCOMPARE(storedPaths(l), before);
    QCOMPARE(g.folderSetupStage, int16_t(0));
    const QList<MessageRequest> m = ds.messages();
    QCOMPARE(m.size(), 1);
    QCOMPARE(m.at(0).text, QString("photoGraph (ID=2) の topFolder を書き換えられません: 値がありません\n\r"
                                   "基準フォルダと保存されているパスは変更されていません。"));
    QCOMPARE(m.at(0).kind, MsgKind::Critical);
    QCOMPARE(m.at(0).title, QString("基準フォルダ設定"));
}

QTEST_GUILESS_MAIN(TestRebase)
#include "test_rebase.moc"
