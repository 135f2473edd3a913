// The base and output folders: loading, saving (for the base folder with the rewrite of
// the stored paths, in one transaction) and the command-line saves; the path conventions
// of both forms and the directory listings beneath them. Then their windows, on a fake
// host and inside the real main window.
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QMessageBox>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "Database.h"
#include "DialogService.h"
#include "FolderSettings.h"
#include "FolderWindows.h"
#include "MainWindow.h"
#include "Paths.h"
#include "PrinterSettings.h"
#include "QtDialogService.h"
#include "Rebase.h"
#include "TestSupport.h"
#include "Twips.h"
#include "WindowHost.h"

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
    // An empty library (or one holding a blank) shows an empty box, in one row with ID 1,
    // however often it is opened; saving it stores nothing. Blanks around a typed folder
    // are dropped; a missing folder is made only on Yes, a file is refused without a
    // question; a first save into a library without the row is found again by the next opening.
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
        Global g = makeGlobal(l);
        ScriptedDialogService ds;
        QCOMPARE(load(g, ds).text, QString());
        sql(l, "update " + table + " set " + select.section(' ', 1, 1) + "=' '");
        const FolderLoad shown = load(g, ds);
        QVERIFY(shown.ok && shown.text.isEmpty());
        QCOMPARE(sqlColumn(l, "select ID from " + table), QStringList({"1"}));
        QCOMPARE(save(g, ds, shown.text).outcome, SaveOutcome::NoFolder);

        const QString root = m_dir.path() + QStringLiteral("/f%1").arg(m_n);
        const QString file = writeFile(root + "/file.txt", "text");
        ds.queueNo();
        QCOMPARE(save(g, ds, root + "/none").outcome, SaveOutcome::NoFolder);
        QCOMPARE(save(g, ds, "  " + file + " ").outcome, SaveOutcome::NoFolder);
        ds.queueYes();
        QCOMPARE(save(g, ds, " " + root + "/made/deep  ").outcome, SaveOutcome::Saved);
        QVERIFY(IsFolder(root + "/made/deep") && !QFileInfo::exists(root + "/none"));
        QStringList said;
        for (const MessageRequest &m : ds.messages())
            said << QString::number(int(m.kind)) + ' ' + m.text;
        QCOMPARE(said, (QStringList{QString::number(int(MsgKind::Exclamation)) + " ﾌｫﾙﾀﾞが選択されていません！",
                                    QString::number(int(MsgKind::Question)) + " フォルダ「" + root + "/none」がありません。作成しますか？",
                                    QString::number(int(MsgKind::Exclamation)) + " 「" + file + "」はフォルダではなくファイルです。フォルダを指定してください。",
                                    QString::number(int(MsgKind::Question)) + " フォルダ「" + root + "/made/deep」がありません。作成しますか？"}));
        QCOMPARE(sqlColumn(l, select), QStringList({root + "/made/deep"}));

        const QString fresh = lib();
        Global g2 = makeGlobal(fresh);
        QCOMPARE(save(g2, ds, root).outcome, SaveOutcome::Saved);
        QCOMPARE(load(g2, ds).text, root);
        QCOMPARE(sqlColumn(fresh, select), QStringList({root}));
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
        // Linux: what lay in the old base folder moved with it, whole components; the rest stays.
        row("disk move", "/media/diskA/photo", "/media/diskB/photo", "/media/diskA/photo/cat/genre",
            "/media/diskB/photo/cat/genre");
        row("disk move, file beside", "/media/diskA/photo", "/media/diskB/photo", "/media/diskA/other/x.html",
            "/media/diskA/other/x.html");
        row("disk move, name prefix only", "/media/diskA/photo", "/media/diskB/photo", "/media/diskA/photos/cat",
            "/media/diskA/photos/cat");
        row("folder rename", "/home/u/photo", "/home/u/album", "/home/u/photo/cat", "/home/u/album/cat");
        row("the base folder itself", "/home/u/photo", "/srv/p", "/home/u/photo", "/srv/p");
        row("to the parent folder", "/t/photos/base", "/t/photos", "/t/photos/base/cat", "/t/photos/cat");
        row("to the parent, file beside", "/t/photos/base", "/t/photos", "/t/photos/docs/x.html", "/t/photos/docs/x.html");
        row("into a sub-folder", "/t/photos", "/t/photos/base", "/t/photos/cat", "/t/photos/base/cat");
        row("from the root", "/", "/mnt/p", "/cat/g", "/mnt/p/cat/g");
        row("to the root", "/mnt/p", "/", "/mnt/p/cat", "/cat");
        row("posix unchanged", "/home/u/photo", "/home/u/photo/", "/home/u/photo/cat", kNoRun);
        row("blank new base", "/home/u/photo", " ", "/home/u/photo/cat", kNoRun);
        row("posix, empty", "/home/u/photo", "/home/u/album", "", "");
        row("posix, null", "/home/u/photo", "/home/u/album", kNull, kError);
        // Between the two forms.
        row("drive form to posix", "D:\\photo", "/home/u/photo", "d:\\photo\\cat\\genre", "/home/u/photo/cat/genre");
        row("drive form to posix, other drive", "D:\\photo", "/home/u/photo", "C:\\other\\x.html", "C:\\other\\x.html");
        row("share form to posix", "\\\\srv\\share\\photo", "/mnt/photo", "\\\\srv\\share\\photo\\cat", "/mnt/photo/cat");
        row("blank to drive", " ", "D:\\photo", "/home/u/photo/cat", kNoRun);
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
        QTest::addColumn<QStringList>("route");  // base folders saved in turn (under a root), back to the first
        const QString b = "/home/u/photos";
        QTest::newRow("via the parent") << QStringList{"/home/u", b};
        QTest::newRow("via a sub-folder") << QStringList{b + "/sub", b};
        QTest::newRow("via another disk") << QStringList{"/media/usb/photos", b};
        QTest::newRow("via the destination's root") << QStringList{"/media/usb", b};
        QTest::newRow("parent, another disk, parent") << QStringList{"/home/u", "/media/usb/photos", "/home/u", b};
        QTest::newRow("sub-folder, then the parent") << QStringList{b + "/sub", "/home/u", b};
        QTest::newRow("another disk, its sub-folder, its parent")
            << QStringList{"/media/usb/photos", "/media/usb/photos/in", "/media/usb", b};
        QTest::newRow("parent, then a sub-folder of the parent") << QStringList{"/home/u", "/home/u/pics", b};
    }

    // Away and back through the base folder's save: every stored path comes back exactly,
    // those in the base folder, beside it, under the parent, in the destination and under its root.
    void roundTripRestoresEveryPath()
    {
        QFETCH(QStringList, route);
        const QString root = m_dir.path() + QStringLiteral("/r%1").arg(++m_n);
        const QString l = lib();
        const QString b = root + "/home/u/photos";
        sql(l, "insert into allTop(ID, allTop) values(1, ?)", {b});
        sql(l, "insert into photoGraph(topFolder, topFolderName) values(?, 'cat')", {b + "/cat"});
        sql(l, "insert into photoYear(ID, yearFolder, yearFolderName) values(1, ?, 'g')", {b + "/cat/g"});
        const QStringList files{b + "/cat/g/t/x.html", b + "/cat/g/t/a.jpg", root + "/home/u/pics/p.jpg",
                                root + "/media/usb/pics/q.jpg", root + "/media/usb/photos/z.jpg",
                                root + "/home/u/photos-old/y.jpg", root + "/srv/photos/q.html", b + "/sub/s.jpg",
                                root + "/home/u/pics/cat/g/t/x.html", root + "/home/u/cat/g/t/a.jpg"};
        for (int i = 0; i + 1 < files.size(); i += 2)
            sql(l, "insert into photoIvents(ID, ID1, iventsFolderName, iventsFolder, Ivents, iventsPhoto) "
                   "values(1, 1, 't', ?, ?, ?)", {b + "/cat/g/t", files.at(i), files.at(i + 1)});
        const QStringList before = storedPaths(l);
        Global g = makeGlobal(l);
        ScriptedDialogService ds;
        for (const QString &base : route) {
            const QString folder = base.startsWith('/') ? root + base : base;
            QCOMPARE(SaveBaseFolder(g, ds, folder, nullptr, MissingFolder::Create).outcome, SaveOutcome::Saved);
            // The category, genre and title folders moved with the base folder.
            QCOMPARE(sqlColumn(l, "select topFolder from photoGraph union all select yearFolder from photoYear "
                                  "union all select distinct iventsFolder from photoIvents"),
                     (QStringList{MovedPath(b + "/cat", b, folder), MovedPath(b + "/cat/g", b, folder), MovedPath(b + "/cat/g/t", b, folder)}));
        }
        // Only the note that the title files and photos are not on this computer.
        for (const MessageRequest &m : ds.messages())
            QVERIFY2(m.kind == MsgKind::Exclamation && m.text.startsWith("登録済みのファイルと写真のうち "), qPrintable(m.text));
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
        QCOMPARE(SaveOutputFolder(g, ds, m_dir.path()).outcome, SaveOutcome::Failed);
        g.dbConnectString = MakeConnectString(l);
        const SaveResult r = SaveBaseFolder(g, ds, m_dir.path());
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

    // The rewrite is reported; a relative output folder is made absolute; a missing folder
    // is made only with --create, a file never; a failure exits 1 and changes nothing.
    void cli()
    {
        const QString l = lib();
        const QString root = m_dir.path() + "/cli";
        const QString file = writeFile(root + "/file");
        // A library brought over from Windows: its drive paths move with the base folder, but
        // no folder of that form is set here, nor one with blanks taken for a relative name.
        sql(l, "insert into allTop(ID, allTop) values(1, 'D:\\photo')");
        sql(l, "insert into photoGraph(topFolder, topFolderName) values('D:\\photo\\cat', 'cat')");
        CliResult r;
        for (const QStringList &args : {QStringList{"set-base", "--create", l, "E:\\photo"}, QStringList{"set-output", l, " \\\\nas\\サイト"},
                                        QStringList{"publish", l, "D:\\サイト"}}) {
            r = runCli(args, root);
            QVERIFY2(r.exitCode == 1 && r.err.contains("」は Windows のパスです。このコンピューターのフォルダではありません。\n"
                                                       "フォルダは「/」で始まるこのコンピューターのパスで指定してください。"),
                     qPrintable(r.err));
            QVERIFY2(r.err.contains("「" + args.last().trimmed() + "」"), qPrintable(r.err));
        }
        QCOMPARE(QDir(root).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"file"});
        QCOMPARE(sqlColumn(l, "select allTop from allTop union all select topFolder from photoGraph"),
                 (QStringList{"D:\\photo", "D:\\photo\\cat"}));
        r = runCli({"set-base", l, root + "/photo"});
        QVERIFY2(r.exitCode == 1 && r.err.contains("フォルダ「" + root + "/photo」がありません。") && r.err.contains("--create"),
                 qPrintable(r.err));
        for (const QStringList &args : {QStringList{"set-base", "--create", l, file}, QStringList{"set-output", l, file}}) {
            r = runCli(args);
            QVERIFY2(r.exitCode == 1 && r.err.contains("ファイルです"), qPrintable(r.err));
        }
        // A file that is no library is refused as such, and left as it was.
        for (const QString &command : {"set-base", "set-output"}) {
            r = runCli({command, file, root});
            QVERIFY2(r.exitCode == 1 && r.err.contains(file) && QFileInfo(file).size() == 0, qPrintable(r.err));
        }
        // A library that refuses the folder's row: said, and exit 1.
        const QString refusing = makeLibrary(root, "refusing.mdb");
        sql(refusing, "create trigger refuse before insert on systemdir begin select raise(abort, 'no new rows'); end");
        r = runCli({"set-output", refusing, root});
        QVERIFY2(r.exitCode == 1 && r.err.contains("no new rows"), qPrintable(r.err));
        QVERIFY(!QFileInfo::exists(root + "/photo"));
        r = runCli({"set-base", "--create", l, "  " + root + "/photo "}, root);
        QVERIFY2(r.exitCode == 0 && r.out.contains("パスを書き換えた行: 1") && IsFolder(root + "/photo"), qPrintable(r.out));
        QCOMPARE(QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList{"photo"});
        QCOMPARE(sqlColumn(l, "select topFolder from photoGraph"), QStringList({root + "/photo/cat"}));
        r = runCli({"set-output", l, ""});
        QVERIFY2(r.exitCode == 1 && r.err.contains("ﾌｫﾙﾀﾞが選択されていません！"), qPrintable(r.err));
        makeDir(root + "/site");
        QCOMPARE(runCli({"set-output", l, "site"}, root).exitCode, 0);
        r = runCli({"show", l});
        QVERIFY2(r.out.contains("基準フォルダ: " + root + "/photo\nHTML出力先: " + root + "/site\n"), qPrintable(r.out));
        sql(l, "insert into photoGraph(topFolder, topFolderName) values(NULL, 'x')");
        r = runCli({"set-base", l, root});
        QVERIFY2(r.exitCode == 1 && r.err.contains("変更されていません"), qPrintable(r.err));
        QCOMPARE(sqlColumn(l, "select allTop from allTop"), QStringList({root + "/photo"}));
        QCOMPARE(sqlColumn(l, "select topFolder from photoGraph where ID=1"), QStringList({root + "/photo/cat"}));
    }

    // --- paths ---

    void roots_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("root");
        QTest::addColumn<int>("length");
        QTest::newRow("drive") << "D:\\photo\\cat" << "D:" << 2;
        QTest::newRow("share") << "\\\\srv\\share\\lib\\cat" << "\\\\srv\\share" << 11;
        QTest::newRow("share only") << "\\\\srv\\share" << "\\\\srv\\share" << 11;
        QTest::newRow("server only") << "\\\\srv" << "\\\\srv" << 5;
        QTest::newRow("posix") << "/media/disk/photo" << "/m" << 2;
        // A drive path's root length is 2 even when the text is shorter.
        QTest::newRow("one character") << "C" << "C" << 2;
    }
    void roots()
    {
        QFETCH(QString, path);
        QFETCH(QString, root);
        QFETCH(int, length);
        QCOMPARE(PathRoot(path), root);
        QCOMPARE(PathRootLength(path), length);
    }

    void names_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("last");
        QTest::addColumn<QString>("child");
        QTest::newRow("windows") << "D:\\photo\\旅行" << "旅行" << "D:\\photo\\旅行\\x";
        QTest::newRow("windows drive root") << "C:\\" << "" << "C:\\x";
        QTest::newRow("share") << "\\\\srv\\share" << "share" << "\\\\srv\\share\\x";
        QTest::newRow("posix") << "/home/u/写真" << "写真" << "/home/u/写真/x";
        QTest::newRow("posix root") << "/" << "" << "/x";
        QTest::newRow("posix backslash in name") << "/home/u/a\\b" << "a\\b" << "/home/u/a\\b/x";
        QTest::newRow("no separator") << "lib.mdb" << "lib.mdb" << "lib.mdb/x";
        QTest::newRow("empty") << "" << "" << "/x";
    }
    void names()
    {
        QFETCH(QString, path);
        QFETCH(QString, last);
        QFETCH(QString, child);
        QCOMPARE(LastPathPart(path), last);
        QCOMPARE(ChildPath(path, QStringLiteral("x")), child);
    }

    // Name order without regard to case (it sets the order, and so the keys, of registration).
    void listingsAreSortedAndSkipHiddenEntries()
    {
        QTemporaryDir tmp;
        const QString d = tmp.path() + '/';
        for (const char *n : {"b", "C", "A", ".hidden", "c d", "日本"})
            makeDir(d + QString::fromUtf8(n));
        for (const char *n : {"z.JPG", "a.jpg", ".h.jpg", "B.jpeg", "c.jpeg", "x.jpg.txt"})
            writeFile(d + QString::fromUtf8(n), "x");
        QVERIFY(QFile::link(d + "b", d + "link"));
        QCOMPARE(ListFolders(d), (QStringList{"A", "b", "C", "c d", "link", "日本"}));
        QCOMPARE(ListFiles(d, "*.jpg"), (QStringList{"a.jpg", "z.JPG"}));
        QCOMPARE(ListFiles(d), (QStringList{"a.jpg", "B.jpeg", "c.jpeg", "x.jpg.txt", "z.JPG"}));
        QCOMPARE(ListFolders(d + "missing"), QStringList());
        QVERIFY(IsNormalFile(d + "a.jpg"));
        for (const QString &no : {d + ".h.jpg", d + "A", d + "none", QString()})
            QVERIFY2(!IsNormalFile(no), qPrintable(no));
    }
};

namespace {

struct FakeHost : WindowHost {
    Global g;
    ScriptedDialogService ds;
    NoPrinterSettings printerSettings;
    QStringList shown;
    int help = 0, about = 0, ended = 0, printed = 0;

    Global &global() override { return g; }
    DialogService &dialogs() override { return ds; }
    PrinterSettings &printer() override { return printerSettings; }
    QWidget *showWindow(const QString &name) override
    {
        shown << name;
        return nullptr;
    }
    QWidget *findWindow(const QString &) const override { return nullptr; }
    void showHelp() override { ++help; }
    void showAbout() override { ++about; }
    void endProgram() override { ++ended; }
    void printWindowImage(QWidget *) override { ++printed; }
};

// The real main window, started and shown, with scripted dialogs.
struct LiveFrame {
    Global g = [] {
        Global g = makeGlobal();
        g.printerUnavailable = false;
        return g;
    }();
    ScriptedDialogService ds;
    NoPrinterSettings printer;
    htmlCrtMain main{g, ds, printer};

    LiveFrame()
    {
        main.setEndHandler([] {});
        main.startUp();
        main.show();
    }
};

QStringList describe(QMenu *menu)
{
    QStringList out;
    for (QAction *a : menu->actions())
        out << a->objectName() + ' ' + a->text().replace("&&", "&") + (a->isEnabled() ? "" : " [off]")
               + (a->isCheckable() ? (a->isChecked() ? " [on]" : " [unchecked]") : "");
    return out;
}

}  // namespace

class TestFolderWindows : public QObject {
    Q_OBJECT
    QTemporaryDir tmp;
    int libs = 0;
    std::unique_ptr<FakeHost> host;
    QString lib;

    std::unique_ptr<FolderWindow> make(const QString &name)
    {
        if (name == QLatin1String("topFolderF"))
            return std::make_unique<topFolderF>(*host);
        return std::make_unique<htmlOut>(*host);
    }
    std::unique_ptr<FolderWindow> open(const QString &name)
    {
        auto w = make(name);
        w->show();
        return w;
    }
    static void trigger(FolderWindow *w, const QString &item)
    {
        QAction *a = w->action(item);
        QVERIFY2(a && a->isEnabled(), qPrintable(item));
        a->trigger();
    }
    static void clickSave(FolderWindow *w) { QTest::mouseClick(w->findChild<QPushButton *>("Command2"), Qt::LeftButton); }

private slots:
    void init()
    {
        host = std::make_unique<FakeHost>();
        lib = makeLibrary(tmp.path(), QStringLiteral("lib%1.mdb").arg(++libs));
        host->g = makeGlobal(lib);
        host->g.printerUnavailable = false;
    }
    void cleanup() { host.reset(), settle(); }

    // Controls, menus (the two 編集 menus differ), the browse button and an empty save.
    void perWindow_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("captions");  // window, Label1, Label2
        QTest::addColumn<QStringList>("edit");
        QTest::addColumn<QString>("prompt");
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("emptyTitle");
        QTest::newRow("topFolderF") << "topFolderF"
                                    << QStringList{"基準フォルダ設定", "基準フォルダ", "データの保存されているフォルダを指定ください"}
                                    << QStringList{"データ編集 データ編集", "HTML出力先 HTML出力先"} << "基準フォルダ選択"
                                    << "allTop from allTop" << "総ﾄｯﾌﾟﾌｫﾙﾀﾞ設定";
        QTest::newRow("htmlOut") << "htmlOut" << QStringList{"HTML出力先", "HTML保存先", "HTMLファイルの保存先を指定ください"}
                                 << QStringList{"データ編集 データ編集", "基準フォルダ設定 基準ﾌｫﾙﾀ設定"} << "HTML保存先フォルダ選択"
                                 << "htmlDir from systemdir" << "HTMLﾌｫﾙﾀﾞ設定";
    }
    void perWindow()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, captions);
        QFETCH(QStringList, edit);
        QFETCH(QString, prompt);
        QFETCH(QString, column);
        QFETCH(QString, emptyTitle);
        host->g.isNewLibrary = True16;
        auto w = open(name);
        QCOMPARE((QStringList{w->objectName(), w->windowTitle(), w->findChild<QLabel *>("Label1")->text(),
                              w->findChild<QLabel *>("Label2")->text(),
                              w->findChild<QPushButton *>("Command1")->text() + w->findChild<QPushButton *>("Command2")->text()}),
                 QStringList{name} + captions + QStringList{"参照設定"});
        QStringList menus;
        for (QAction *a : w->findChild<QMenuBar *>()->actions())
            menus << a->menu()->objectName() + ' ' + a->text() + ": " + describe(a->menu()).join(", ");
        QCOMPARE(menus, QStringList({"ファイル ﾌｧｲﾙ: 設定 設定(Save & Quit), line ---------------- [off], 用紙設定 用紙設定, 印刷 印刷, "
                                     "line0 ---------------- [off], 閉じる 閉じる(Quit)"
                                         + QString(name == "htmlOut" ? ", 公開用にコピー 公開用にコピー, 公開用のコピーにビデオを入れる 公開用のコピーにビデオを入れる [on]" : "")
                                         + ", 終了 終了(End)",
                                     "編集 編集: " + edit.join(", "), "ヘルプ ヘルプ: ヘルプ1 ヘルプ, このソフトについて このソフトについて"}));
        QCOMPARE(w->editMenu(), w->findChild<QMenu *>("編集"));
        // The form fills the window under its menus, and every control is in sight.
        const QWidget *client = w->findChild<QWidget *>("client");
        const QMenuBar *bar = w->findChild<QMenuBar *>();  // above it, with nothing between
        QVERIFY(bar && bar->geometry().top() == 0);
        QCOMPARE(client->geometry(), w->rect().adjusted(0, bar->height(), 0, 0));
        for (QWidget *c : client->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
            QVERIFY2(client->rect().contains(c->geometry()), qPrintable(c->objectName()));
        for (const char *texts : {"Label1", "AllTop", "Label2"}) {  // in the gothic face
            const QFont f = client->findChild<QWidget *>(texts)->font();
            QVERIFY2(f.family() == "ＭＳ Ｐゴシック" && f.pointSize() == 12, texts);
        }
        QCOMPARE(w->pathBox()->text(), QString());  // an empty library: nothing to type around
        w->pathBox()->setText("/srv/old");
        auto *command1 = w->findChild<QPushButton *>("Command1");
        QTest::mouseClick(command1, Qt::LeftButton);  // cancelled: box unchanged
        host->ds.queuePick("/srv/new");
        QTest::mouseClick(command1, Qt::LeftButton);
        QCOMPARE(w->pathBox()->text(), QString("/srv/new"));
        QCOMPARE(host->ds.calls.size(), 2);
        QCOMPARE(host->ds.calls.at(0).folder.prompt, prompt + "\r\nフォルダを選択してください。");
        QCOMPARE(host->ds.calls.at(1).folder.startFolder, QString("/srv/old"));

        // An empty or a relative box: a message, nothing stored, the window stays, the
        // counter does not move.
        for (const QString &typed : {QString(), QString("photo")}) {
            w->pathBox()->clear();
            QTest::keyClicks(w->pathBox(), typed);
            clickSave(w.get());
        }
        QVERIFY(w->isVisible());
        QCOMPARE(host->g.folderSetupStage, int16_t(0));
        QStringList said;
        for (const MessageRequest &m : host->ds.messages())
            said << m.text.section("\n", 0, 0) + '|' + m.title;
        QCOMPARE(said, QStringList({"ﾌｫﾙﾀﾞが選択されていません！|" + emptyTitle,
                                    "「photo」はフォルダの場所を「/」から示していません。|" + emptyTitle}));
        QCOMPARE(host->ds.messages().at(0).kind, MsgKind::Exclamation);
        QCOMPARE(sqlColumn(lib, "select " + column), QStringList({"<null>"}));
    }

    void folderQuestions_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("typed");    // %1: a fresh folder holding the folder "there" and "file.txt"
        QTest::addColumn<QString>("answer");   // y or n to the question, empty: no question
        QTest::addColumn<QString>("stored");   // empty: nothing stored, the window stays open
        QTest::addColumn<QString>("refusal");  // the message instead of a question
        for (const char *name : {"topFolderF", "htmlOut"}) {
            const QString title = name == QLatin1String("htmlOut") ? "HTMLﾌｫﾙﾀﾞ設定" : "総ﾄｯﾌﾟﾌｫﾙﾀﾞ設定";
            QTest::addRow("%s: missing, yes", name) << name << "%1/new/deep" << "y" << "%1/new/deep" << "";
            QTest::addRow("%s: missing, no", name) << name << "%1/none" << "n" << "" << "";
            QTest::addRow("%s: a file", name) << name << "%1/file.txt" << "" << ""
                                              << "「%1/file.txt」はフォルダではなくファイルです。フォルダを指定してください。|" + title;
            QTest::addRow("%s: blanks around", name) << name << "  %1/there " << "" << "%1/there" << "";
            // A Windows path names nothing here: refused whole, blanks around it dropped.
            const QString windows = "」は Windows のパスです。このコンピューターのフォルダではありません。\n\r"
                                    "フォルダは「/」で始まるこのコンピューターのパスで指定してください。|" + title;
            QTest::addRow("%s: Windows drive", name) << name << "D:\\site" << "" << "" << "「D:\\site" + windows;
            QTest::addRow("%s: Windows share", name) << name << " \\\\server\\share " << "" << "" << "「\\\\server\\share" + windows;
        }
    }
    // Typed into the real window and saved with the button.
    void folderQuestions()
    {
        QFETCH(QString, name);
        QFETCH(QString, typed);
        QFETCH(QString, answer);
        QFETCH(QString, stored);
        QFETCH(QString, refusal);
        const QString root = makeDir(tmp.path() + QStringLiteral("/q%1").arg(libs));
        makeDir(root + "/there");
        writeFile(root + "/file.txt", "text");
        auto w = open(name);
        QVERIFY(w->pathBox()->text().isEmpty());
        QTest::keyClicks(w->pathBox(), typed.arg(root));
        if (!answer.isEmpty())
            host->ds.queueAnswer(answer == "y" ? MsgAnswer::Yes : MsgAnswer::No);
        clickSave(w.get());
        settle();
        QStringList said;
        for (const MessageRequest &m : host->ds.messages())
            said << m.text + '|' + m.title;
        const QString title = name == "htmlOut" ? "HTMLﾌｫﾙﾀﾞ設定" : "総ﾄｯﾌﾟﾌｫﾙﾀﾞ設定";
        QCOMPARE(said, answer.isEmpty() ? QStringList(refusal.isEmpty() ? QStringList() : QStringList{refusal.arg(root)})
                                        : QStringList{"フォルダ「" + typed.arg(root) + "」がありません。作成しますか？|" + title});
        QCOMPARE(sqlColumn(lib, name == "htmlOut" ? "select htmlDir from systemdir" : "select allTop from allTop"),
                 QStringList{stored.isEmpty() ? "<null>" : stored.arg(root)});
        QCOMPARE(w->isVisible(), stored.isEmpty());
        QCOMPARE(QFileInfo(typed.arg(root)).isDir(), answer == "y");
    }

    // question: "text|title" of the yes/no question asked, or empty; effect: "shown|printed|help|about|ended|open".
    void items_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("item");  // or "Esc", typed into the box
        QTest::addColumn<bool>("yes");
        QTest::addColumn<QString>("question");
        QTest::addColumn<QString>("effect");
        const QString print = "この画面を印刷しますか？|";
        QTest::newRow("topFolderF Esc no") << "topFolderF" << "Esc" << false << "基準フォルダ設定画面を終了しますか？|基準ﾌｫﾙﾀﾞ設定" << "|0|0|0|0|open";
        QTest::newRow("htmlOut Esc yes") << "htmlOut" << "Esc" << true << "HTML出力先設定画面を終了しますか？|出力先" << "|0|0|0|0|closed";
        QTest::newRow("topFolderF close yes") << "topFolderF" << "閉じる" << true << "基準ﾌｫﾙﾀﾞ設定設定画面を終了しますか？|" << "|0|0|0|0|closed";
        QTest::newRow("htmlOut close no") << "htmlOut" << "閉じる" << false << "HTML出力先設定画面を終了しますか？|" << "|0|0|0|0|open";
        QTest::newRow("topFolderF end yes") << "topFolderF" << "終了" << true << "終了しますか？|" << "|0|0|0|1|open";
        QTest::newRow("topFolderF print yes") << "topFolderF" << "印刷" << true << print + "基準フォルダ設定" << "|1|0|0|0|open";
        QTest::newRow("htmlOut print no") << "htmlOut" << "印刷" << false << print + "HTML出力先" << "|0|0|0|0|open";
        QTest::newRow("paper") << "topFolderF" << "用紙設定" << false << "" << "prtPaperF|0|0|0|0|open";
        QTest::newRow("help") << "htmlOut" << "ヘルプ1" << false << "" << "|0|1|0|0|open";
        QTest::newRow("about") << "topFolderF" << "このソフトについて" << false << "" << "|0|0|1|0|open";
        QTest::newRow("topFolderF editor") << "topFolderF" << "データ編集" << false << "" << "dataSet|0|0|0|0|closed";
        QTest::newRow("topFolderF output") << "topFolderF" << "HTML出力先" << false << "" << "htmlOut|0|0|0|0|closed";
        QTest::newRow("htmlOut base") << "htmlOut" << "基準フォルダ設定" << false << "" << "topFolderF|0|0|0|0|closed";
    }
    void items()
    {
        QFETCH(QString, name);
        QFETCH(QString, item);
        QFETCH(bool, yes);
        QFETCH(QString, question);
        QFETCH(QString, effect);
        auto w = open(name);
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        yes ? host->ds.queueYes() : host->ds.queueNo();
        if (item == "Esc")
            QTest::keyClick(w->pathBox(), Qt::Key_Escape);
        else
            trigger(w.get(), item);
        QCOMPARE(QStringList({host->shown.join(','), QString::number(host->printed), QString::number(host->help),
                              QString::number(host->about), QString::number(host->ended), w->isVisible() ? "open" : "closed"})
                     .join('|'),
                 effect);
        QStringList asked;
        for (const MessageRequest &m : host->ds.messages()) {
            QVERIFY(m.kind == MsgKind::Question && m.buttons == MsgButtons::YesNo);
            asked << m.text + '|' + m.title;
        }
        QCOMPARE(asked, question.isEmpty() ? QStringList() : QStringList{question});
        if (!yes && item == "Esc") {  // other keys stay with the box
            QTest::keyClick(w->pathBox(), Qt::Key_A);
            QCOMPARE(w->pathBox()->text(), QString("a"));
        }
    }

    // 公開用にコピー asks for a folder, at home the first time (cancelled: nothing more; a
    // folder holding the album or a Windows path: refused; a folder not there yet: made on
    // Yes, as the output folder is), then writes the copy there and tells what it did; the
    // next time it starts at that folder.
    void publishItem()
    {
        const QString title = makeDir(tmp.path() + "/pub/写真/旅/2024/海"), copy = tmp.path() + "/pub/公開";
        QVERIFY(QImage(40, 30, QImage::Format_RGB32).save(title + "/a.png"));
        sql(lib, "insert into allTop (ID, allTop) values (1, ?)", {tmp.path() + "/pub/写真"});
        sql(lib, "insert into photoGraph (topFolder, topFolderName) values ('/x/旅', '旅')");
        sql(lib, "insert into photoYear (ID, yearFolder, yearFolderName) select ID, ?, '2024' from photoGraph", {title + "/.."});
        sql(lib, "insert into photoIvents (ID, ID1, iventsFolderName, iventsFolder) select ID, ID1, '海', ? from photoYear", {title});
        auto w = open("htmlOut");
        for (const QString &pick : {QString(), tmp.path() + "/pub", QString("D:\\サイト"), tmp.path() + "/pub/新", copy, QString()}) {
            host->ds.queuePick(pick);
            if (pick == copy)
                host->ds.queueYes();
            trigger(w.get(), "公開用にコピー");
        }
        QVERIFY(host->ds.calls.first().folder.allowNewName && !QFileInfo::exists(tmp.path() + "/pub/新"));
        QCOMPARE(host->ds.calls.first().folder.startFolder, QDir::homePath());
        QCOMPARE(host->ds.calls.last().folder.startFolder, copy);
        QCOMPARE(host->ds.calls.at(0).folder.prompt, QString("公開用のコピーを作るフォルダを指定ください\r\nフォルダを選択してください。"));
        QStringList said;
        for (const MessageRequest &m : host->ds.messages())
            said << QString::number(int(m.kind)) + m.text.split("\n\r").mid(0, 3).join('|');
        QCOMPARE(said, QStringList({"3「" + tmp.path() + "/pub」には基準フォルダ「" + tmp.path() + "/pub/写真」が入っています。|"
                                    "公開用のコピーは基準フォルダもHTML出力先も入っていないフォルダに作ってください。",
                                    "3「D:\\サイト」は Windows のパスです。このコンピューターのフォルダではありません。|"
                                    "フォルダは「/」で始まるこのコンピューターのパスで指定してください。",
                                    "1フォルダ「" + tmp.path() + "/pub/新」がありません。作成しますか？",
                                    "1フォルダ「" + copy + "」がありません。作成しますか？",
                                    "2公開用のコピーを「" + copy + "」に作りました。|ページ: 6|コピーしたファイル: 1 (変更のないもの 0)"}));
        QCOMPARE(host->ds.messages().at(3).title, QString("公開用にコピー"));
        // The album's home, to be looked at before it is uploaded.
        QCOMPARE(host->ds.messages().last().actionButton, QString("ブラウザで開く"));
        QVERIFY(readFile(copy + "/index.html").contains("<html lang=\"ja\">"));
        QVERIFY(host->ds.messages().last().text.contains("\n\r作った縮小画像: 1\n\r"));
        QDirIterator thumbs(copy + "/thumbs", {"*.jpg"}, QDir::Files);
        QCOMPARE(QImage(thumbs.next()).size(), QSize(40, 30));
        // Whether the copy takes the videos is kept with its folder: the next window starts so.
        QVERIFY(w->action("公開用のコピーにビデオを入れる")->isChecked());
        trigger(w.get(), "公開用のコピーにビデオを入れる");
        host->ds.queuePick(copy);
        trigger(w.get(), "公開用にコピー");
        QVERIFY(!open("htmlOut")->action("公開用のコピーにビデオを入れる")->isChecked());
        trigger(w.get(), "公開用のコピーにビデオを入れる");
        // As many missing photos as the box lists: no details. One more: all of them in its
        // details, none outside.
        for (int i = 0; i < 11; ++i) {
            sql(lib, "insert into photoIvents (ID, ID1, iventsFolderName, iventsFolder, iventsPhoto) "
                     "select ID, ID1, ?, ?, 'gone.jpg' from photoYear", {QString::number(i), makeDir(title + "/../" + QString::number(i))});
            if (i < 9)
                continue;
            host->ds.queuePick(copy);
            trigger(w.get(), "公開用にコピー");
            QCOMPARE(host->ds.messages().last().details.isEmpty(), i == 9);
        }
        const QStringList details = host->ds.messages().last().details.split('\n');
        QVERIFY2(details.size() == 11 && details.filter("/gone.jpg").size() == 11, qPrintable(details.join('\n')));
        // A title folder linked out of the album: its photo is neither drawn nor copied, and said.
        const QString secret = makeDir(tmp.path() + "/secret");
        QImage red(40, 30, QImage::Format_RGB32);
        red.fill(Qt::red);
        QVERIFY(red.save(secret + "/s.png") && QFile::link(secret, title + "/../外"));
        sql(lib, "insert into photoIvents (ID, ID1, iventsFolderName, iventsFolder) select ID, ID1, '外', ? from photoYear",
            {title + "/../外"});
        const QStringList thumbsBefore = QDir(copy + "/thumbs").entryList(QDir::Files);
        host->ds.queuePick(copy);
        trigger(w.get(), "公開用にコピー");
        QVERIFY2(host->ds.messages().last().text.contains("アルバム(基準フォルダ)の外にあるため、コピーしなかったファイル: 1\n\r  "
                                                          + title + "/../外/s.png"),
                 qPrintable(host->ds.messages().last().text));
        QCOMPARE(QDir(copy + "/thumbs").entryList(QDir::Files), thumbsBefore);
        // A library broken since by another program: told, and nothing said done.
        sql(lib, "drop table photoYear");
        const qsizetype told = host->ds.messages().size();
        host->ds.queuePick(copy);
        trigger(w.get(), "公開用にコピー");
        QCOMPARE(host->ds.messages().size(), told + 1);
        QVERIFY2(host->ds.messages().last().text.contains("テーブル photoYear がありません"), qPrintable(host->ds.messages().last().text));
    }

    // The real folder browser: a name typed for a folder not there yet comes back as typed
    // (blanks around it dropped, made absolute) where the caller allows it; elsewhere the
    // browser stays open after the program's own message, never the toolkit's.
    void browserTypedName_data()
    {
        QTest::addColumn<bool>("allowNew");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("chosen");  // %1: the start folder; empty: the browser stays open, said
        QTest::newRow("new name") << true << "  new one " << "%1/new one";
        QTest::newRow("new path") << true << "%1/a/b" << "%1/a/b";
        QTest::newRow("Windows path") << true << "D:\\site" << "D:\\site";
        QTest::newRow("existing name") << true << "there" << "%1/there";
        QTest::newRow("new name, not allowed") << false << "new" << "";
        QTest::newRow("existing, not allowed") << false << "there" << "%1/there";
    }
    void browserTypedName()
    {
        QFETCH(bool, allowNew);
        QFETCH(QString, typed);
        QFETCH(QString, chosen);
        const QString start = makeDir(tmp.path() + "/browse");
        makeDir(start + "/there");
        FolderPickRequest req;
        req.prompt = "公開用のコピーを作るフォルダを指定ください\r\nフォルダを選択してください。";
        req.startFolder = start;
        req.openInside = true;
        req.allowNewName = allowNew;
        QStringList seen;  // what stood on the screen after the Return
        QTimer timer;
        int ticks = 0;
        connect(&timer, &QTimer::timeout, this, [&] {
            QWidget *modal = QApplication::activeModalWidget();
            if (auto *box = qobject_cast<QMessageBox *>(modal)) {
                seen << "box " + box->text();
                box->reject();
            } else if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
                if (++ticks == 1) {
                    auto *edit = dialog->findChild<QLineEdit *>("fileNameEdit");
                    QTest::keyClicks(edit, QString(typed).replace("%1", start));
                    QTimer::singleShot(0, edit, [edit] { QTest::keyClick(edit, Qt::Key_Return); });
                } else {
                    seen << "browser";
                    dialog->reject();
                }
            }
        });
        timer.start(100);
        QtDialogService qt;
        QCOMPARE(qt.pickFolder(req), QString(chosen).replace("%1", start));
        const QStringList refused{"box フォルダ「" + start + "/new」がありません。", "browser"};
        QCOMPARE(seen, chosen.isEmpty() ? refused : QStringList());
        QCOMPARE(QDir(start).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList{"there"});
    }

    void popupMenu()
    {
        auto w = open("htmlOut");
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        auto *label = w->findChild<QLabel *>("Label1");  // on a label: nothing
        QContextMenuEvent onLabel(QContextMenuEvent::Mouse, QPoint(2, 2), label->mapToGlobal(QPoint(2, 2)));
        QCoreApplication::sendEvent(label, &onLabel);
        QVERIFY(!w->editMenu()->isVisible());
        auto *client = w->findChild<QWidget *>("client");  // on the free area: 編集 at the pointer
        const QPoint at(3, 3);
        QContextMenuEvent onFree(QContextMenuEvent::Mouse, at, client->mapToGlobal(at));
        QCoreApplication::sendEvent(client, &onFree);
        QTRY_VERIFY(w->editMenu()->isVisible());
        QCOMPARE(w->editMenu()->pos(), client->mapToGlobal(at));
        w->editMenu()->hide();
    }

    // Until the auto-set resets the counter, every closing (close box too) opens the editor.
    void setupSequence()
    {
        host->g.isNewLibrary = True16;
        host->g.folderSetupStage = 2;
        auto base = open("topFolderF");
        base->pathBox()->setText(tmp.path());
        trigger(base.get(), "設定");
        QCOMPARE(host->g.folderSetupStage, int16_t(2));
        open("htmlOut")->close();
        QCOMPARE(host->shown, QStringList({"dataSet", "dataSet"}));

        host->g.folderSetupStage = 0;  // reset by the auto-set: later saves advance it again
        auto out = open("htmlOut");
        out->pathBox()->setText(tmp.path());
        trigger(out.get(), "設定");
        QCOMPARE(host->g.folderSetupStage, int16_t(1));
        QCOMPARE(host->shown.size(), 2);
        QVERIFY(host->ds.calls.isEmpty());
    }

    // A folder window open while 開く opens another library shows that library's folder and
    // saves into it only what it read from it: the first library keeps its folder, the
    // second its paths. The start window has gone with the first open, so closing the
    // folder window leaves the editor in front.
    void libraryChangesUnderTheWindow_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("stored");  // the folder each library keeps
        QTest::newRow("base folder") << "topFolderF" << "select allTop from allTop";
        QTest::newRow("output folder") << "htmlOut" << "select htmlDir from systemdir";
    }
    void libraryChangesUnderTheWindow()
    {
        QFETCH(QString, window);
        QFETCH(QString, stored);
        QStringList libraries, bases;
        for (const QString &name : {QStringLiteral("one"), QStringLiteral("two")}) {
            const QString base = makeDir(tmp.path() + '/' + window + '/' + name);
            const QString library = makeLibrary(tmp.path() + '/' + window, name + ".mdb");
            sql(library, "insert into allTop (ID, allTop) values (1, ?)", {base});
            sql(library, "insert into systemdir (ID, htmlDir) values (1, ?)", {makeDir(base + "/site")});
            sql(library, "insert into photoIvents (ID, ID1, iventsFolderName, iventsFolder) values (1, 1, 't', ?)", {base + "/t"});
            libraries << library;
            bases << base;
        }
        LiveFrame frame;
        htmlCrtMain &main = frame.main;
        ScriptedDialogService &ds = frame.ds;
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        ds.queuePick(libraries[0]);
        main.action("開く")->trigger();
        settle();
        QVERIFY(!main.findWindow("frmOpen"));
        auto *w = static_cast<FolderWindow *>(main.showWindow(window));
        QPointer<QWidget> guard = w;
        const QString first = w->pathBox()->text();
        ds.queuePick(libraries[1]);
        main.action("開く")->trigger();
        settle();
        QVERIFY(guard);
        QVERIFY(w->pathBox()->text() != first);
        main.setFocus();
        clickSave(w);
        settle();
        QVERIFY(!guard);
        for (int i = 0; i < 2; ++i) {
            const QString base = bases[i];
            QCOMPARE(sqlColumn(libraries[i], stored).value(0).remove(base), stored.contains("allTop") ? "" : "/site");
            QCOMPARE(sqlColumn(libraries[i], "select iventsFolder from photoIvents"), QStringList{base + "/t"});
        }
        QTRY_VERIFY(main.mdiArea()->activeSubWindow());
        QCOMPARE(main.mdiArea()->activeSubWindow()->widget(), main.findWindow("dataSet"));
    }

    void changedByAnotherProgram_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("message");
        const QString tail = "\n\r書き込みは行いませんでした。保存されている内容を表示します。";
        QTest::newRow("base folder") << "topFolderF" << "set-base" << "select allTop from allTop"
                                     << "基準フォルダ設定|基準フォルダは読み込んだ後に他で変更されています。" + tail;
        QTest::newRow("output folder") << "htmlOut" << "set-output" << "select htmlDir from systemdir"
                                       << "HTML出力先|HTML出力先は読み込んだ後に他で変更されています。" + tail;
    }
    // The command-line tool moves the folder while the window shows the old one: 設定
    // pressed without touching the box writes nothing (the tool's rewrite of the paths
    // stays), says so and shows what is stored; pressed again, it saves that and closes.
    void changedByAnotherProgram()
    {
        QFETCH(QString, window);
        QFETCH(QString, command);
        QFETCH(QString, stored);
        QFETCH(QString, message);
        const QString oldFolder = makeDir(tmp.path() + "/" + window + "/old"), newFolder = makeDir(tmp.path() + "/" + window + "/new");
        sql(lib, "insert into allTop (ID, allTop) values (1, ?)", {oldFolder});
        sql(lib, "insert into systemdir (ID, htmlDir) values (1, ?)", {oldFolder});
        for (int i = 0; i < 24; ++i)
            sql(lib, "insert into photoIvents (ID, ID1, iventsFolderName, iventsFolder) values (1, 1, 't', ?)",
                {oldFolder + QString("/c/g/t%1").arg(i)});
        auto w = open(window);
        QCOMPARE(w->pathBox()->text(), oldFolder);
        const CliResult r = runCli({command, lib, newFolder});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        const QStringList titles = sqlColumn(lib, "select iventsFolder from photoIvents order by ID2");
        QCOMPARE(titles.first(), (command == "set-base" ? newFolder : oldFolder) + "/c/g/t0");

        clickSave(w.get());
        settle();
        QVERIFY(w->isVisible());
        QCOMPARE(host->ds.messages().size(), 1);
        const MessageRequest said = host->ds.messages().first();
        QCOMPARE(said.title + '|' + said.text, message);
        QCOMPARE(said.kind, MsgKind::Exclamation);
        QCOMPARE(sqlColumn(lib, stored), QStringList{newFolder});
        QCOMPARE(sqlColumn(lib, "select iventsFolder from photoIvents order by ID2"), titles);
        QCOMPARE(w->pathBox()->text(), newFolder);

        clickSave(w.get());
        settle();
        QVERIFY(!w->isVisible());
        QCOMPARE(host->ds.messages().size(), 1);
        QCOMPARE(sqlColumn(lib, stored), QStringList{newFolder});
        QCOMPARE(sqlColumn(lib, "select iventsFolder from photoIvents order by ID2"), titles);
    }

    // A new library in the real main window: both windows, base in front, two saves, editor;
    // then the frame closes.
    void mainWindow()
    {
        LiveFrame frame;
        Global &g = frame.g;
        htmlCrtMain &main = frame.main;
        ScriptedDialogService &ds = frame.ds;
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        main.findWindow("frmOpen")->close();
        settle();
        const QString path = tmp.path() + "/created.mdb";
        ds.queuePick(path);
        main.action("新規作成")->trigger();
        settle();
        QCOMPARE(g.isNewLibrary, True16);
        QPointer<QWidget> base = main.findWindow("topFolderF");
        QPointer<QWidget> out = main.findWindow("htmlOut");
        QVERIFY(base && out);
        QCOMPARE(main.mdiArea()->activeSubWindow(), main.subWindowOf(base));
        QCOMPARE(main.subWindowOf(out)->size(), twipsToPixels(6990, 3645));
        // The first save only counts; the second opens the editor, whose activation (with the
        // auto-set question) ends the set-up.
        ds.queueYes();  // make the missing output folder
        for (auto [w, text] : {std::pair{base, tmp.path()}, std::pair{out, tmp.path() + "/site"}}) {
            const bool last = w == out;
            static_cast<FolderWindow *>(w.data())->pathBox()->setText(text);
            clickSave(static_cast<FolderWindow *>(w.data()));
            settle();
            QVERIFY(!w);
            QCOMPARE(g.folderSetupStage, int16_t(last ? 0 : 1));
            QCOMPARE(bool(main.findWindow("dataSet")), last);
        }
        QCOMPARE(sqlColumn(path, "select allTop from allTop"), QStringList({tmp.path()}));
        QVERIFY(QFileInfo(tmp.path() + "/site").isDir());
        QCOMPARE(ds.messages().size(), 2);
        QCOMPARE(ds.messages().at(0).text, "フォルダ「" + tmp.path() + "/site」がありません。作成しますか？");
        QCOMPARE(ds.messages().at(1).text, QStringLiteral("ｵｰﾄｾｯﾄを実行しますか？"));

        // A window that opens another one while the frame closes must not keep the program open.
        g.folderSetupStage = 2;
        struct Reopen : QObject {
            htmlCrtMain *main;
            bool eventFilter(QObject *, QEvent *e) override
            {
                if (e->type() == QEvent::Close)
                    main->showWindow(QStringLiteral("htmlOut"));
                return false;
            }
        } reopen;
        reopen.main = &main;
        main.showWindow("topFolderF")->installEventFilter(&reopen);
        ds.queueYes();  // to end the editor
        QVERIFY(main.close());
        settle();
        QVERIFY(main.mdiArea()->subWindowList().isEmpty());
    }

};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    TestFolderSettings a;
    TestFolderWindows b;
    return runTestClasses({&a, &b}, argc, argv);
}

#include "test_folder_settings.moc"
