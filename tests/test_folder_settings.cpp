// Loading and saving the base and output folders, the set-up counter of a new
// library, and the command-line saves.
#include <QTemporaryDir>
#include <QTest>

#include "DialogService.h"
#include "FolderSettings.h"
#include "TestSupport.h"

using namespace tessaly;
using namespace tessaly::test;

class TestFolderSettings : public QObject {
    Q_OBJECT
private slots:
    void loadAddsSingleRow_data();
    void loadAddsSingleRow();
    void savingTheSingleBlank();
    void emptyBoxIsRefused_data();
    void emptyBoxIsRefused();
    void saveRewritesOnlyOnNewRoot();
    void blankThenDriveLeavesLinuxRows();
    void saveWithoutRowAddsIdOne_data();
    void saveWithoutRowAddsIdOne();
    void setupSequence();
    void oldLibraryDoesNotAdvance();
    void brokenLibraryIsReported();
    void cliSetBaseAndOutput();
    void cliRefusesEmptyFolder();

private:
    QString lib();
    QTemporaryDir m_dir;
    int m_n = 0;
};

QString TestFolderSettings::lib()
{
    return makeLibrary(m_dir.path(), QStringLiteral("lib%1.mdb").arg(++m_n));
}

void TestFolderSettings::loadAddsSingleRow_data()
{
    QTest::addColumn<bool>("base");
    QTest::newRow("base folder") << true;
    QTest::newRow("output folder") << false;
}

void TestFolderSettings::loadAddsSingleRow()
{
    QFETCH(bool, base);
    const QString l = lib();
    Global g = makeGlobal(l);
    ScriptedDialogService ds;
    const QString table = base ? "allTop" : "systemdir";
    for (int i = 0; i < 2; ++i) {
        const FolderLoad r = base ? LoadBaseFolder(g, ds) : LoadOutputFolder(g, ds);
        QVERIFY(r.ok);
        QCOMPARE(r.text, QString(" "));
    }
    QCOMPARE(sqlColumn(l, "select ID from " + table), QStringList({"1"}));
    sql(l, base ? "update allTop set allTop='/srv/photo'" : "update systemdir set htmlDir='/srv/site'");
    const FolderLoad r = base ? LoadBaseFolder(g, ds) : LoadOutputFolder(g, ds);
    QCOMPARE(r.text, QString(base ? "/srv/photo" : "/srv/site"));
    QVERIFY(ds.calls.isEmpty());
}

void TestFolderSettings::savingTheSingleBlank()
{
    const QString l = lib();
    sql(l, "insert into photoGraph(topFolder, topFolderName) values('D:\\photo\\cat', 'cat')");
    Global g = makeGlobal(l);
    ScriptedDialogService ds;
    // What an empty library shows, saved unchanged.
    const QString shown = LoadBaseFolder(g, ds).text;
    const SaveResult r = SaveBaseFolder(g, ds, shown);
    QCOMPARE(r.outcome, SaveOutcome::Saved);
    QVERIFY(r.previous.isNull());
    QVERIFY(!r.rebase.ran);
    QCOMPARE(sqlColumn(l, "select allTop from allTop"), QStringList({" "}));
    QCOMPARE(sqlColumn(l, "select topFolder from photoGraph"), QStringList({"D:\\photo\\cat"}));

    const QString out = LoadOutputFolder(g, ds).text;
    QCOMPARE(SaveOutputFolder(g, ds, out).outcome, SaveOutcome::Saved);
    QCOMPARE(sqlColumn(l, "select htmlDir from systemdir"), QStringList({" "}));
    QVERIFY(ds.calls.isEmpty());
}

void TestFolderSettings::emptyBoxIsRefused_data()
{
    QTest::addColumn<bool>("base");
    QTest::addColumn<QString>("title");
    QTest::newRow("base folder") << true << "総ﾄｯﾌﾟﾌｫﾙﾀﾞ設定";
    QTest::newRow("output folder") << false << "HTMLﾌｫﾙﾀﾞ設定";
}

void TestFolderSettings::emptyBoxIsRefused()
{
    QFETCH(bool, base);
    QFETCH(QString, title);
    const QString l = lib();
    Global g = makeGlobal(l);
    g.isNewLibrary = True16;
    ScriptedDialogService ds;
    base ? LoadBaseFolder(g, ds) : LoadOutputFolder(g, ds);
    const SaveResult r = base ? SaveBaseFolder(g, ds, QString()) : SaveOutputFolder(g, ds, QString());
    QCOMPARE(r.outcome, SaveOutcome::NoFolder);
    QCOMPARE(g.folderSetupStage, int16_t(0));
    QCOMPARE(sqlColumn(l, base ? "select allTop from allTop" : "select htmlDir from systemdir"),
             QStringList({"<null>"}));
    const QList<MessageRequest> m = ds.messages();
    QCOMPARE(m.size(), 1);
    QCOMPARE(m.at(0).text, QString("ﾌｫﾙﾀﾞが選択されていません！"));
    QCOMPARE(m.at(0).kind, MsgKind::Exclamation);
    QCOMPARE(m.at(0).title, title);
}

void TestFolderSettings::saveRewritesOnlyOnNewRoot()
{
    const QString l = lib();
    sql(l, "insert into allTop(ID, allTop) values(1, 'D:\\photo')");
    sql(l, "insert into photoGraph(topFolder, topFolderName) values('D:\\photo\\cat', 'cat')");
    Global g = makeGlobal(l);
    ScriptedDialogService ds;

    // Same text again: no rewrite.
    SaveResult r = SaveBaseFolder(g, ds, "D:\\photo");
    QCOMPARE(r.previous, QString("D:\\photo"));
    QVERIFY(!r.rebase.ran);
    // Same drive: no rewrite, the stored paths still point into D:\photo.
    r = SaveBaseFolder(g, ds, "D:\\album");
    QVERIFY(!r.rebase.ran);
    QCOMPARE(sqlColumn(l, "select topFolder from photoGraph"), QStringList({"D:\\photo\\cat"}));
    // Another drive: every path gets the new root.
    r = SaveBaseFolder(g, ds, "E:\\album");
    QVERIFY(r.rebase.ran && !r.rebase.failed);
    QCOMPARE(sqlColumn(l, "select topFolder from photoGraph"), QStringList({"E:\\photo\\cat"}));
    QCOMPARE(sqlColumn(l, "select allTop from allTop"), QStringList({"E:\\album"}));
    // Output folder changes no stored path.
    QCOMPARE(SaveOutputFolder(g, ds, "F:\\site").outcome, SaveOutcome::Saved);
    QCOMPARE(sqlColumn(l, "select topFolder from photoGraph"), QStringList({"E:\\photo\\cat"}));
    QVERIFY(ds.calls.isEmpty());
}

void TestFolderSettings::blankThenDriveLeavesLinuxRows()
{
    const QString l = lib();
    sql(l, "insert into allTop(ID, allTop) values(1, ' ')");
    sql(l, "insert into photoGraph(topFolder, topFolderName) values('/home/u/photo/cat', 'cat')");
    Global g = makeGlobal(l);
    ScriptedDialogService ds;
    SaveBaseFolder(g, ds, "D:\\photo");
    QCOMPARE(sqlColumn(l, "select topFolder from photoGraph"), QStringList({"/home/u/photo/cat"}));
}

void TestFolderSettings::saveWithoutRowAddsIdOne_data()
{
    QTest::addColumn<bool>("base");
    QTest::newRow("base folder") << true;
    QTest::newRow("output folder") << false;
}

void TestFolderSettings::saveWithoutRowAddsIdOne()
{
    QFETCH(bool, base);
    const QString l = lib();
    Global g = makeGlobal(l);
    ScriptedDialogService ds;
    const SaveResult r = base ? SaveBaseFolder(g, ds, "/srv/x") : SaveOutputFolder(g, ds, "/srv/x");
    QCOMPARE(r.outcome, SaveOutcome::Saved);
    // The next opening finds the folder again instead of adding a second, empty row.
    const FolderLoad load = base ? LoadBaseFolder(g, ds) : LoadOutputFolder(g, ds);
    QCOMPARE(load.text, QString("/srv/x"));
    QCOMPARE(sqlColumn(l, base ? "select count(*) from allTop" : "select count(*) from systemdir"),
             QStringList({"1"}));
}

void TestFolderSettings::setupSequence()
{
    const QString l = lib();
    Global g = makeGlobal(l);
    g.isNewLibrary = True16;
    ScriptedDialogService ds;
    LoadOutputFolder(g, ds);
    LoadBaseFolder(g, ds);
    QVERIFY(!CloseBaseFolderWindow(g));

    QCOMPARE(SaveBaseFolder(g, ds, "/srv/photo").outcome, SaveOutcome::Saved);
    QCOMPARE(g.folderSetupStage, int16_t(1));
    QVERIFY(!CloseBaseFolderWindow(g));
    QVERIFY(!CloseOutputFolderWindow(g));

    QCOMPARE(SaveOutputFolder(g, ds, "/srv/site").outcome, SaveOutcome::Saved);
    QCOMPARE(g.folderSetupStage, int16_t(2));
    QVERIFY(CloseOutputFolderWindow(g));
    QVERIFY(CloseBaseFolderWindow(g));

    // 2 stays 2.
    SaveBaseFolder(g, ds, "/srv/photo");
    QCOMPARE(g.folderSetupStage, int16_t(2));

    // After the auto-set resets it, later saves advance it again.
    g.folderSetupStage = 0;
    QVERIFY(!CloseBaseFolderWindow(g));
    SaveOutputFolder(g, ds, "/srv/site");
    QCOMPARE(g.folderSetupStage, int16_t(1));
    SaveOutputFolder(g, ds, "/srv/site");
    QCOMPARE(g.folderSetupStage, int16_t(2));
    QVERIFY(ds.calls.isEmpty());
}

void TestFolderSettings::oldLibraryDoesNotAdvance()
{
    const QString l = lib();
    Global g = makeGlobal(l);
    ScriptedDialogService ds;
    SaveBaseFolder(g, ds, "/srv/photo");
    SaveOutputFolder(g, ds, "/srv/site");
    QCOMPARE(g.folderSetupStage, int16_t(0));
    QVERIFY(!CloseBaseFolderWindow(g));
}

void TestFolderSettings::brokenLibraryIsReported()
{
    const QString bad = writeFile(m_dir.path() + "/bad.mdb", "not a library at all");
    Global g = makeGlobal(bad);
    g.isNewLibrary = True16;
    ScriptedDialogService ds;
    const FolderLoad load = LoadBaseFolder(g, ds);
    QVERIFY(!load.ok);
    const SaveResult r = SaveOutputFolder(g, ds, "/srv/site");
    QCOMPARE(r.outcome, SaveOutcome::Failed);
    QCOMPARE(g.folderSetupStage, int16_t(0));
    const QList<MessageRequest> m = ds.messages();
    QCOMPARE(m.size(), 2);
    QCOMPARE(m.at(0).kind, MsgKind::Critical);
    QCOMPARE(m.at(0).title, QString("基準フォルダ設定"));
    QVERIFY(m.at(0).text.contains("bad.mdb"));
    QCOMPARE(m.at(1).title, QString("HTML出力先"));
    QCOMPARE(readFile(bad), QByteArray("not a library at all"));
}

void TestFolderSettings::cliSetBaseAndOutput()
{
    const QString l = lib();
    sql(l, "insert into photoGraph(topFolder, topFolderName) values('D:\\photo\\cat', 'cat')");
    CliResult r = runCli({"set-base", l, "D:\\photo"});
    QCOMPARE(r.exitCode, 0);
    r = runCli({"set-base", l, "/home/u/photo"});
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.out.contains("paths rewritten in 1 rows"), qPrintable(r.out));
    QCOMPARE(sqlColumn(l, "select topFolder from photoGraph"), QStringList({"/home/u/photo/cat"}));
    r = runCli({"set-output", l, "site"}, m_dir.path());
    QCOMPARE(r.exitCode, 0);
    r = runCli({"show", l});
    QVERIFY2(r.out.contains("base folder: /home/u/photo\n"), qPrintable(r.out));
    QVERIFY2(r.out.contains("output folder: " + m_dir.path() + "/site\n"), qPrintable(r.out));

    // A Null folder stops the rewrite: reported on stderr, not as success.
    sql(l, "insert into photoGraph(topFolder, topFolderName) values(NULL, 'x')");
    r = runCli({"set-base", l, "/media/disk/photo"});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains("この後「AutoSet」を実行してください。"), qPrintable(r.err));
    QCOMPARE(sqlColumn(l, "select topFolder from photoGraph order by ID"),
             QStringList({"/media/disk/photo/cat", "<null>"}));
}

void TestFolderSettings::cliRefusesEmptyFolder()
{
    const QString l = lib();
    const CliResult r = runCli({"set-output", l, ""});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains("ﾌｫﾙﾀﾞが選択されていません！"), qPrintable(r.err));
    QVERIFY(r.out.isEmpty());
    QCOMPARE(sqlColumn(l, "select htmlDir from systemdir"), QStringList({"<null>"}));
}

QTEST_GUILESS_MAIN(TestFolderSettings)
#include "test_folder_settings.moc"
