// The auto-set passes over real folder trees and libraries.
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include "AutoSet.h"
#include "Database.h"
#include "DialogService.h"
#include "Global.h"
#include "TestSupport.h"

using namespace tessaly;
using namespace tessaly::test;

namespace {

const QString kNotSet = QStringLiteral("総ﾄｯﾌﾟﾌｫﾙﾀﾞが設定されていません。\n\r総ﾄｯﾌﾟﾌｫﾙﾀﾞを設定してください。");
const QString kContinue = QStringLiteral("設定されている撮影者ﾌｫﾙﾀﾞを元に、ﾌｫﾙﾀﾞ検索を継続しますか？");
const QString kRun = QStringLiteral("ｵｰﾄｾｯﾄを実行しますか？");

void setBase(const QString &lib, const QString &base)
{
    sql(lib, QStringLiteral("delete from allTop"));
    sql(lib, QStringLiteral("insert into allTop (ID, allTop) values (1, ?)"), {base});
}

// "name|path" of every row of a level, in key order.
QStringList rows(const QString &lib, const QString &statement)
{
    return sqlColumn(lib, statement);
}

QStringList categories(const QString &lib)
{
    return rows(lib, QStringLiteral("select topFolderName || '|' || topFolder from photoGraph order by ID"));
}
QStringList genres(const QString &lib)
{
    return rows(lib, QStringLiteral("select ID || '|' || yearFolderName || '|' || yearFolder from photoYear order by ID1"));
}
QStringList titles(const QString &lib)
{
    return rows(lib, QStringLiteral("select ID || '|' || ID1 || '|' || iventsFolderName || '|' || iventsFolder "
                                    "from photoIvents order by ID2"));
}

}  // namespace

class TestAutoSet : public QObject {
    Q_OBJECT

private slots:
    void newTreeRegisteredInOneRun_data();
    void newTreeRegisteredInOneRun();
    void secondRunAddsNoRow();
    void sameNamesUnderDifferentParents();
    void namesAreExactAndApostrophesWork();
    void movedBaseFolderRefreshesPaths();
    void onlyTheFirstOfDuplicateRowsIsRefreshed();
    void baseFolderNotSet_data();
    void baseFolderNotSet();
    void vanishedStoredFolderIsPassedOver();
    void errorEndsOnlyItsPass_data();
    void errorEndsOnlyItsPass();
    void errorInsideAGroupKeepsTheRowsBeforeIt();
    void answeringNoChangesNothing();
    void progressHookSeesTheCounts();
    void cliRunsThePasses();
};

void TestAutoSet::newTreeRegisteredInOneRun_data()
{
    QTest::addColumn<bool>("transaction");
    QTest::newRow("one transaction per pass") << true;
    QTest::newRow("row by row") << false;
}

void TestAutoSet::newTreeRegisteredInOneRun()
{
    QFETCH(bool, transaction);
    QTemporaryDir tmp;
    const QString base = tmp.path() + QStringLiteral("/base");
    makeDir(base + QStringLiteral("/旅行/2019/京都"));
    makeDir(base + QStringLiteral("/旅行/2019/奈良"));
    makeDir(base + QStringLiteral("/旅行/2020/札幌"));
    makeDir(base + QStringLiteral("/家族/誕生日/一歳"));
    makeDir(base + QStringLiteral("/家族/空のジャンル"));
    makeDir(base + QStringLiteral("/.hidden/g/t"));
    // Files at every level are not entries.
    writeFile(base + QStringLiteral("/readme.txt"));
    writeFile(base + QStringLiteral("/旅行/cover.jpg"));
    writeFile(base + QStringLiteral("/旅行/2019/index.html"));
    writeFile(base + QStringLiteral("/旅行/2019/京都/photo.jpg"));
    const QString lib = makeLibrary(tmp.path());
    setBase(lib, base);

    Global g = makeGlobal(lib);
    ScriptedDialogService ds;
    ds.queueYes();
    AutoSetCounts counts;
    AutoSetOptions opt;
    opt.transactionPerPass = transaction;
    const AutoSetResult r = AutoSetMain(g, ds, &counts, opt);

    QVERIFY(r.confirmed);
    QCOMPARE(r.categoryStatus, int16_t(ScanCompleted));
    QVERIFY(r.genresCompleted && r.titlesCompleted && !r.anyError);
    QCOMPARE(ds.messages().size(), 1);  // only the question
    QCOMPARE(ds.messages().first().text, kRun);
    QCOMPARE(ds.messages().first().title, QStringLiteral("オートセット"));
    QCOMPARE(ds.messages().first().kind, MsgKind::Question);

    QCOMPARE(categories(lib), (QStringList{QStringLiteral("家族|") + base + QStringLiteral("/家族"),
                                           QStringLiteral("旅行|") + base + QStringLiteral("/旅行")}));
    const QStringList gs = genres(lib);
    QCOMPARE(gs.size(), 4);
    QVERIFY(gs.contains(QStringLiteral("1|誕生日|") + base + QStringLiteral("/家族/誕生日")));
    QVERIFY(gs.contains(QStringLiteral("2|2019|") + base + QStringLiteral("/旅行/2019")));
    const QStringList ts = titles(lib);
    QCOMPARE(ts.size(), 4);
    const QString kyoto = sqlColumn(lib, QStringLiteral("select ID1 from photoYear where yearFolderName='2019'")).first();
    QVERIFY(ts.contains(QStringLiteral("2|%1|京都|%2/旅行/2019/京都").arg(kyoto, base)));
    QCOMPARE(counts.added[CategoryLevel], 2);
    QCOMPARE(counts.added[GenreLevel], 4);
    QCOMPARE(counts.added[TitleLevel], 4);
    // New rows keep the defaults of the fields the scan does not write.
    QCOMPARE(sqlColumn(lib, QStringLiteral("select distinct IventsLinkButton || ',' || IventsHtmlButton || ',' || "
                                           "ifnull(iventsLink,'null') from photoIvents")),
             QStringList{QStringLiteral("0,0,null")});
}

void TestAutoSet::secondRunAddsNoRow()
{
    QTemporaryDir tmp;
    const QString base = tmp.path() + QStringLiteral("/base");
    for (int c = 0; c < 2; ++c)
        for (int g = 0; g < 3; ++g)
            for (int t = 0; t < 40; ++t)  // more than one insert group per genre
                makeDir(base + QStringLiteral("/c%1/g%2/t%3").arg(c).arg(g).arg(t, 2, 10, QLatin1Char('0')));
    const QString lib = makeLibrary(tmp.path());
    setBase(lib, base);
    Global g = makeGlobal(lib);
    ScriptedDialogService ds;

    AutoSetCounts first;
    RunAutoSetPasses(g, ds, &first);
    QCOMPARE(first.added[TitleLevel], 240);
    const QStringList before = titles(lib);
    const QStringList keysBefore = sqlColumn(lib, QStringLiteral("select ID2 from photoIvents order by iventsFolder"));

    AutoSetCounts second;
    RunAutoSetPasses(g, ds, &second);
    QCOMPARE(titles(lib), before);
    QCOMPARE(sqlColumn(lib, QStringLiteral("select ID2 from photoIvents order by iventsFolder")), keysBefore);
    QCOMPARE(second.added[CategoryLevel] + second.added[GenreLevel] + second.added[TitleLevel], 0);
    QCOMPARE(second.refreshed[CategoryLevel] + second.refreshed[GenreLevel] + second.refreshed[TitleLevel], 0);
    QCOMPARE(second.unchanged[TitleLevel], 240);
    QCOMPARE(second.unchanged[GenreLevel], 6);
    QVERIFY(ds.messages().isEmpty());
}

void TestAutoSet::sameNamesUnderDifferentParents()
{
    QTemporaryDir tmp;
    const QString base = tmp.path() + QStringLiteral("/base");
    makeDir(base + QStringLiteral("/A/2020/trip"));
    makeDir(base + QStringLiteral("/A/2021/trip"));
    makeDir(base + QStringLiteral("/B/2020/trip"));
    const QString lib = makeLibrary(tmp.path());
    setBase(lib, base);
    Global g = makeGlobal(lib);
    ScriptedDialogService ds;
    RunAutoSetPasses(g, ds);

    QCOMPARE(sqlColumn(lib, QStringLiteral("select ID from photoYear where yearFolderName='2020' order by ID")),
             (QStringList{QStringLiteral("1"), QStringLiteral("2")}));
    QCOMPARE(sqlColumn(lib, QStringLiteral("select iventsFolder from photoIvents where iventsFolderName='trip' "
                                           "order by iventsFolder")),
             (QStringList{base + QStringLiteral("/A/2020/trip"), base + QStringLiteral("/A/2021/trip"),
                          base + QStringLiteral("/B/2020/trip")}));
    QCOMPARE(sqlColumn(lib, QStringLiteral("select count(distinct ID1) from photoIvents")).first(), QStringLiteral("3"));
}

void TestAutoSet::namesAreExactAndApostrophesWork()
{
    QTemporaryDir tmp;
    const QString base = tmp.path() + QStringLiteral("/base");
    makeDir(base + QStringLiteral("/Trip/it's/a'b"));
    makeDir(base + QStringLiteral("/trip/x"));
    makeDir(base + QStringLiteral("/x' or '1'='1/g"));
    const QString lib = makeLibrary(tmp.path());
    setBase(lib, base);
    Global g = makeGlobal(lib);
    ScriptedDialogService ds;
    RunAutoSetPasses(g, ds);
    RunAutoSetPasses(g, ds);  // a second run must find every one of them again

    QCOMPARE(sqlColumn(lib, QStringLiteral("select topFolderName from photoGraph order by topFolderName")),
             (QStringList{QStringLiteral("Trip"), QStringLiteral("trip"), QStringLiteral("x' or '1'='1")}));
    QCOMPARE(sqlColumn(lib, QStringLiteral("select yearFolder from photoYear where yearFolderName=?"),
                       {QStringLiteral("it's")}),
             QStringList{base + QStringLiteral("/Trip/it's")});
    QCOMPARE(sqlColumn(lib, QStringLiteral("select count(*) from photoYear")).first(), QStringLiteral("3"));
    QCOMPARE(sqlColumn(lib, QStringLiteral("select iventsFolderName from photoIvents")), QStringList{QStringLiteral("a'b")});
    QVERIFY(ds.messages().isEmpty());
}

void TestAutoSet::movedBaseFolderRefreshesPaths()
{
    QTemporaryDir tmp;
    const QString oldBase = tmp.path() + QStringLiteral("/old");
    makeDir(oldBase + QStringLiteral("/cat/genre/title"));
    const QString lib = makeLibrary(tmp.path());
    setBase(lib, oldBase);
    Global g = makeGlobal(lib);
    ScriptedDialogService ds;
    RunAutoSetPasses(g, ds);
    sql(lib, QStringLiteral("update photoIvents set iventsLink='keep me'"));

    const QString newBase = tmp.path() + QStringLiteral("/new");
    QVERIFY(QDir().rename(oldBase, newBase));
    setBase(lib, newBase);
    AutoSetCounts counts;
    RunAutoSetPasses(g, ds, &counts);

    QCOMPARE(categories(lib), QStringList{QStringLiteral("cat|") + newBase + QStringLiteral("/cat")});
    QCOMPARE(genres(lib), QStringList{QStringLiteral("1|genre|") + newBase + QStringLiteral("/cat/genre")});
    QCOMPARE(titles(lib), QStringList{QStringLiteral("1|1|title|") + newBase + QStringLiteral("/cat/genre/title")});
    QCOMPARE(sqlColumn(lib, QStringLiteral("select iventsLink from photoIvents")), QStringList{QStringLiteral("keep me")});
    QCOMPARE(counts.refreshed[CategoryLevel], 1);
    QCOMPARE(counts.refreshed[GenreLevel], 1);
    QCOMPARE(counts.refreshed[TitleLevel], 1);
    QCOMPARE(counts.added[CategoryLevel] + counts.added[GenreLevel] + counts.added[TitleLevel], 0);
}

void TestAutoSet::onlyTheFirstOfDuplicateRowsIsRefreshed()
{
    QTemporaryDir tmp;
    const QString base = makeDir(tmp.path() + QStringLiteral("/base/cat"));
    const QString lib = makeLibrary(tmp.path());
    setBase(lib, tmp.path() + QStringLiteral("/base"));
    // A category stored twice (made by hand or by an old program), both under a moved base.
    sql(lib, QStringLiteral("insert into photoGraph (topFolder, topFolderName) values ('/gone/cat', 'cat')"));
    sql(lib, QStringLiteral("insert into photoGraph (topFolder, topFolderName) values ('/gone2/cat', 'cat')"));
    Global g = makeGlobal(lib);
    ScriptedDialogService ds;
    RunAutoSetPasses(g, ds);
    QCOMPARE(sqlColumn(lib, QStringLiteral("select topFolder from photoGraph order by ID")),
             (QStringList{base, QStringLiteral("/gone2/cat")}));
}

void TestAutoSet::baseFolderNotSet_data()
{
    QTest::addColumn<QString>("arrange");  // statement run before, or a keyword
    QTest::addColumn<bool>("goOn");
    QTest::addColumn<int>("status");
    QTest::newRow("no row, stop") << "delete from allTop" << false << int(ScanBaseNotSetStop);
    QTest::newRow("no row, continue") << "delete from allTop" << true << int(ScanBaseNotSetContinue);
    QTest::newRow("null, stop") << "insert into allTop (ID, allTop) values (1, null)" << false << int(ScanBaseNotSetStop);
    QTest::newRow("empty, continue") << "insert into allTop (ID, allTop) values (1, '')" << true
                                     << int(ScanBaseNotSetContinue);
    QTest::newRow("not on disk, continue") << "missing folder" << true << int(ScanBaseNotSetContinue);
    QTest::newRow("library file gone, stop") << "no library" << false << int(ScanBaseNotSetStop);
}

void TestAutoSet::baseFolderNotSet()
{
    QFETCH(QString, arrange);
    QFETCH(bool, goOn);
    QFETCH(int, status);
    QTemporaryDir tmp;
    const QString lib = makeLibrary(tmp.path());
    sql(lib, QStringLiteral("delete from allTop"));
    if (arrange == QLatin1String("missing folder"))
        setBase(lib, tmp.path() + QStringLiteral("/nowhere"));
    else if (arrange != QLatin1String("no library"))
        sql(lib, arrange);
    // A stored category whose folder is there: scanned only when the user goes on.
    const QString cat = makeDir(tmp.path() + QStringLiteral("/elsewhere/cat"));
    makeDir(cat + QStringLiteral("/genre/title"));
    sql(lib, QStringLiteral("insert into photoGraph (topFolder, topFolderName) values (?, 'cat')"), {cat});

    Global g = makeGlobal(lib);
    if (arrange == QLatin1String("no library"))
        g.dbConnectString = MakeConnectString(tmp.path() + QStringLiteral("/gone.mdb"));
    ScriptedDialogService ds;
    ds.queueAnswer(goOn ? MsgAnswer::Yes : MsgAnswer::No);
    const AutoSetResult r = RunAutoSetPasses(g, ds);

    QCOMPARE(int(r.categoryStatus), status);
    const QList<MessageRequest> m = ds.messages();
    QVERIFY(m.size() >= 2);
    QCOMPARE(m.at(0).text, kNotSet);
    QCOMPARE(m.at(0).kind, MsgKind::Exclamation);
    QCOMPARE(m.at(0).buttons, MsgButtons::Ok);
    QCOMPARE(m.at(0).title, QStringLiteral("オートセット"));
    QCOMPARE(m.at(1).text, kContinue);
    QCOMPARE(m.at(1).kind, MsgKind::Question);
    QCOMPARE(m.at(1).buttons, MsgButtons::YesNo);
    QCOMPARE(m.at(1).title, QStringLiteral("オートセット"));

    if (arrange == QLatin1String("no library")) {
        // Going on or not, nothing can be read; the later passes report their own fault.
        QCOMPARE(m.size(), goOn ? 4 : 2);
        return;
    }
    QCOMPARE(m.size(), 2);
    // No category folder is scanned either way, the stored ones only when going on.
    QCOMPARE(sqlColumn(lib, QStringLiteral("select count(*) from photoGraph")).first(), QStringLiteral("1"));
    QCOMPARE(sqlColumn(lib, QStringLiteral("select count(*) from photoIvents")).first(),
             goOn ? QStringLiteral("1") : QStringLiteral("0"));
    // The base row exists afterwards, with ID 1.
    QCOMPARE(sqlColumn(lib, QStringLiteral("select ID from allTop")), QStringList{QStringLiteral("1")});
}

void TestAutoSet::vanishedStoredFolderIsPassedOver()
{
    QTemporaryDir tmp;
    const QString base = tmp.path() + QStringLiteral("/base");
    makeDir(base + QStringLiteral("/kept/g/t"));
    const QString lib = makeLibrary(tmp.path());
    setBase(lib, base);
    // Stored before the real one, so the scan meets it first; and a stored genre that is gone.
    sql(lib, QStringLiteral("insert into photoGraph (topFolder, topFolderName) values (?, 'gone')"),
        {tmp.path() + QStringLiteral("/gone")});
    sql(lib, QStringLiteral("insert into photoGraph (topFolder, topFolderName) values (null, 'no path')"));
    sql(lib, QStringLiteral("insert into photoYear (ID, yearFolder, yearFolderName) values (1, ?, 'g')"),
        {tmp.path() + QStringLiteral("/gone/g")});
    Global g = makeGlobal(lib);
    ScriptedDialogService ds;
    const AutoSetResult r = RunAutoSetPasses(g, ds);
    QVERIFY(!r.anyError);
    QVERIFY(ds.messages().isEmpty());
    QCOMPARE(sqlColumn(lib, QStringLiteral("select iventsFolder from photoIvents")),
             QStringList{base + QStringLiteral("/kept/g/t")});
    // Entries whose folders vanished stay.
    QCOMPARE(sqlColumn(lib, QStringLiteral("select count(*) from photoGraph")).first(), QStringLiteral("3"));
}

void TestAutoSet::errorEndsOnlyItsPass_data()
{
    QTest::addColumn<QString>("trigger");
    QTest::addColumn<int>("failingPass");
    QTest::newRow("categories") << "before insert on photoGraph when new.topFolderName='c2'" << 1;
    QTest::newRow("genres") << "before insert on photoYear when new.yearFolderName='g2'" << 2;
    QTest::newRow("titles") << "before insert on photoIvents when new.iventsFolderName='t2'" << 3;
    QTest::newRow("refresh") << "before update on photoYear when new.yearFolderName='g2'" << 2;
}

void TestAutoSet::errorEndsOnlyItsPass()
{
    QFETCH(QString, trigger);
    QFETCH(int, failingPass);
    QTemporaryDir tmp;
    const QString base = tmp.path() + QStringLiteral("/base");
    for (const char *c : {"c1", "c2", "c3"})
        for (const char *gname : {"g1", "g2", "g3"})
            for (const char *t : {"t1", "t2", "t3"})
                makeDir(base + QStringLiteral("/%1/%2/%3").arg(QLatin1String(c), QLatin1String(gname), QLatin1String(t)));
    const QString lib = makeLibrary(tmp.path());
    setBase(lib, base);
    Global g = makeGlobal(lib);
    ScriptedDialogService ds;
    if (trigger.contains(QLatin1String("update"))) {
        // Register everything, then move the base so that the next run rewrites paths.
        RunAutoSetPasses(g, ds);
        QVERIFY(QDir().rename(base, tmp.path() + QStringLiteral("/moved")));
        setBase(lib, tmp.path() + QStringLiteral("/moved"));
    }
    sql(lib, QStringLiteral("create trigger boom %1 begin select raise(abort, 'boom'); end").arg(trigger));

    const AutoSetResult r = RunAutoSetPasses(g, ds);
    QVERIFY(r.anyError);
    QCOMPARE(r.categoryStatus, int16_t(failingPass == 1 ? ScanFailed : ScanCompleted));
    QCOMPARE(r.genresCompleted, failingPass != 2);
    QCOMPARE(r.titlesCompleted, failingPass != 3);
    const QList<MessageRequest> m = ds.messages();
    QCOMPARE(m.size(), 1);
    QVERIFY2(m.first().text.contains(QLatin1String("boom")), qPrintable(m.first().text));
    QCOMPARE(m.first().kind, MsgKind::None);
    QCOMPARE(m.first().buttons, MsgButtons::Ok);
    QCOMPARE(m.first().title, QStringLiteral("Tessaly"));

    if (failingPass == 1) {
        // c1 was saved before the fault and the later passes went on with it.
        QCOMPARE(sqlColumn(lib, QStringLiteral("select topFolderName from photoGraph")), QStringList{QStringLiteral("c1")});
        QCOMPARE(sqlColumn(lib, QStringLiteral("select count(*) from photoIvents")).first(), QStringLiteral("9"));
    } else if (failingPass == 2 && !trigger.contains(QLatin1String("update"))) {
        // Under c1 only g1 got in; pass 3 still registered its titles.
        QCOMPARE(sqlColumn(lib, QStringLiteral("select yearFolderName from photoYear")), QStringList{QStringLiteral("g1")});
        QCOMPARE(sqlColumn(lib, QStringLiteral("select count(*) from photoIvents")).first(), QStringLiteral("3"));
    } else if (failingPass == 2) {
        // The rewrite stopped at c1/g2: g1 was moved, the rest keeps the old path;
        // the titles were still rebased for every genre whose path pass 3 can list.
        QCOMPARE(sqlColumn(lib, QStringLiteral("select yearFolder from photoYear where ID1=1")),
                 QStringList{tmp.path() + QStringLiteral("/moved/c1/g1")});
        QCOMPARE(sqlColumn(lib, QStringLiteral("select count(*) from photoYear where yearFolder like '%/moved/%'")).first(),
                 QStringLiteral("1"));
        QCOMPARE(sqlColumn(lib, QStringLiteral("select count(*) from photoIvents where iventsFolder like '%/moved/%'")).first(),
                 QStringLiteral("3"));
    } else {
        // Under the first genre only t1 got in before the fault.
        QCOMPARE(sqlColumn(lib, QStringLiteral("select iventsFolderName from photoIvents")), QStringList{QStringLiteral("t1")});
        QCOMPARE(sqlColumn(lib, QStringLiteral("select count(*) from photoYear")).first(), QStringLiteral("9"));
    }
}

void TestAutoSet::errorInsideAGroupKeepsTheRowsBeforeIt()
{
    QTemporaryDir tmp;
    const QString base = tmp.path() + QStringLiteral("/base");
    for (int t = 0; t < 70; ++t)
        makeDir(base + QStringLiteral("/c/g/t%1").arg(t, 2, 10, QLatin1Char('0')));
    const QString lib = makeLibrary(tmp.path());
    setBase(lib, base);
    sql(lib, QStringLiteral("create trigger boom before insert on photoIvents when new.iventsFolderName='t45' "
                            "begin select raise(abort, 'boom'); end"));
    Global g = makeGlobal(lib);
    ScriptedDialogService ds;
    AutoSetCounts counts;
    RunAutoSetPasses(g, ds, &counts);
    QCOMPARE(ds.messages().size(), 1);
    QCOMPARE(sqlColumn(lib, QStringLiteral("select count(*) from photoIvents")).first(), QStringLiteral("45"));
    QCOMPARE(sqlColumn(lib, QStringLiteral("select max(iventsFolderName) from photoIvents")).first(), QStringLiteral("t44"));
    QCOMPARE(counts.added[TitleLevel], 45);
}

void TestAutoSet::answeringNoChangesNothing()
{
    QTemporaryDir tmp;
    const QString base = tmp.path() + QStringLiteral("/base");
    makeDir(base + QStringLiteral("/c/g/t"));
    const QString lib = makeLibrary(tmp.path());
    sql(lib, QStringLiteral("delete from allTop"));
    Global g = makeGlobal(lib);
    ScriptedDialogService ds;
    ds.queueNo();
    const AutoSetResult r = AutoSetMain(g, ds);
    QVERIFY(!r.confirmed);
    QCOMPARE(ds.messages().size(), 1);
    // Not even the missing base row is made.
    QCOMPARE(sqlColumn(lib, QStringLiteral("select count(*) from allTop")).first(), QStringLiteral("0"));
}

void TestAutoSet::progressHookSeesTheCounts()
{
    QTemporaryDir tmp;
    const QString base = tmp.path() + QStringLiteral("/base");
    makeDir(base + QStringLiteral("/c1/g1/t1"));
    makeDir(base + QStringLiteral("/c1/g2/t1"));
    makeDir(base + QStringLiteral("/c2/g1/t1"));
    const QString lib = makeLibrary(tmp.path());
    setBase(lib, base);
    Global g = makeGlobal(lib);
    ScriptedDialogService ds;
    QList<int> passes;
    QList<int> titlesSeen;
    AutoSetOptions opt;
    opt.progress = [&](const AutoSetCounts &c) {
        passes << c.pass;
        titlesSeen << c.added[TitleLevel];
    };
    RunAutoSetPasses(g, ds, nullptr, opt);
    // One call for the base folder, one per category, one per genre.
    QCOMPARE(passes, (QList<int>{1, 2, 2, 3, 3, 3}));
    QCOMPARE(titlesSeen, (QList<int>{0, 0, 0, 1, 2, 3}));
}

void TestAutoSet::cliRunsThePasses()
{
    QTemporaryDir tmp;
    const QString base = tmp.path() + QStringLiteral("/base");
    makeDir(base + QStringLiteral("/c/g/t"));
    const QString lib = makeLibrary(tmp.path());
    setBase(lib, base);

    CliResult r = runCli({QStringLiteral("autoset"), lib});
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.out.contains(QLatin1String("categories: 1 added, 0 refreshed, 0 unchanged; genres: 1 added")), qPrintable(r.out));
    QVERIFY2(r.out.contains(QLatin1String("titles: 1 added")), qPrintable(r.out));
    QVERIFY(r.err.isEmpty());
    r = runCli({QStringLiteral("autoset"), lib});
    QVERIFY2(r.out.contains(QLatin1String("titles: 0 added, 0 refreshed, 1 unchanged")), qPrintable(r.out));

    // Base folder not set: the messages go to stderr and the run stops (No by default).
    sql(lib, QStringLiteral("delete from allTop"));
    r = runCli({QStringLiteral("autoset"), lib});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(QStringLiteral("総ﾄｯﾌﾟﾌｫﾙﾀﾞが設定されていません。")), qPrintable(r.err));
    QVERIFY(r.err.contains(kContinue));

    r = runCli({QStringLiteral("autoset"), tmp.path() + QStringLiteral("/nothing.mdb")});
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.err.contains(QLatin1String("nothing.mdb")));
}

QTEST_GUILESS_MAIN(TestAutoSet)
#include "test_autoset.moc"
