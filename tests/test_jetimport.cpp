// Converting a Jet library made on Windows: exact rows, keys that continue, the base
// folder rewrite after it, refusals that write nothing, the command line and 開く.
#include <algorithm>

#include <QDir>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <QtTest>

#include "Database.h"
#include "DialogService.h"
#include "FolderSettings.h"
#include "JetImport.h"
#include "MainWindow.h"
#include "PrinterSettings.h"
#include "TestSupport.h"

using namespace tessaly;
using namespace tessaly::test;

namespace {
QString jetData(const QString &name) { return TESSALY_SOURCE_DIR "/tests/data/jet/" + name; }

// A copy of a test file, optionally cut to size bytes or with one header byte changed,
// or with a table's and two fields' names in capitals (names are stored as UTF-16).
QString jetCopy(const QString &folder, const QString &name, qint64 size = -1, int flipAt = -1, bool capitals = false)
{
    QByteArray bytes = readFile(jetData(name));
    const auto utf16 = [](const QString &t) { return QByteArray(reinterpret_cast<const char *>(t.utf16()), t.size() * 2); };
    for (const QString n : {"photoIvents", "iventsPhoto", "yearFolderName"})
        bytes.replace(utf16(n), utf16(capitals ? n.toUpper() : n));
    if (size >= 0)
        bytes.truncate(size);
    if (flipAt >= 0)
        bytes[flipAt] = char(bytes.at(flipAt) ^ 0x55);
    return writeFile(folder + '/' + name, bytes);
}

// The library as "table<TAB>field..." lines in key order; \N is Null.
QStringList dump(const QString &lib)
{
    QStringList lines;
    const QStringList keys = {"ID", "ID", "ID", "ID1", "ID2"};
    for (int t = 0; t < LibraryTables().size(); ++t) {
        const LibraryTable &lt = LibraryTables().at(t);
        const QString cells = "'" + lt.name + "' || char(9) || ifnull(" + lt.fields.join(", '\\N') || char(9) || ifnull(");
        lines += sqlColumn(lib, "select " + cells + ", '\\N') from " + lt.name + " order by " + keys[t]);
    }
    return lines;
}

}  // namespace

class TestJetImport : public QObject {
    Q_OBJECT

private slots:
    void convertsExactlyAndKeysContinue_data()
    {
        QTest::addColumn<bool>("capitals");
        QTest::newRow("names as written") << false;
        QTest::newRow("names in capitals") << true;
    }
    void convertsExactlyAndKeysContinue()
    {
        QFETCH(bool, capitals);
        QTemporaryDir tmp;
        const QString jet = jetCopy(tmp.path(), "library-jet4.mdb", -1, -1, capitals);
        const QByteArray before = readFile(jet);
        const QString lib = tmp.filePath("new.mdb");
        QList<qint64> progress;
        const JetImportCounts counts = ImportJetLibrary(jet, templatePath(), lib, false, [&](qint64 done, qint64 total) {
            progress << done;
            QCOMPARE(total, qint64(52));
        });
        QCOMPARE(counts, (JetImportCounts{{"allTop", 1}, {"systemdir", 1}, {"photoGraph", 3}, {"photoYear", 7},
                                          {"photoIvents", 40}}));
        QCOMPARE(progress.last(), qint64(52));
        QCOMPARE(readFile(jet), before);
        QCOMPARE(dump(lib), QString::fromUtf8(readFile(jetData("library-jet4.expected.tsv"))).split('\n', Qt::SkipEmptyParts));

        // The base folder rewrite moves every Windows path under the new folder.
        Global g = makeGlobal(lib);
        ScriptedDialogService ds;
        const QString base = makeDir(tmp.filePath("写真"));
        QCOMPARE(SaveBaseFolder(g, ds, base).outcome, SaveOutcome::Saved);
        QCOMPARE(sqlColumn(lib, "select iventsPhoto || ' ' || iventsLink from photoIvents where ID2=1"),
                 QStringList{base + "/旅行/2019 京都/1日目 清水寺/IMG_0100.JPG http://www.example.jp/album/1.html"});
        QCOMPARE(sqlColumn(lib, "select count(*) from photoIvents where iventsFolder not like ?", {base + "/%"}),
                 QStringList{"0"});

        // Rows added later get keys above the highest converted one, not into the gaps.
        for (const QString t : {"photoGraph ID 5", "photoYear ID1 9", "photoIvents ID2 45"}) {
            const QStringList p = t.split(' ');
            sql(lib, "insert into " + p[0] + " default values");
            QCOMPARE(sqlColumn(lib, "select max(" + p[1] + ") from " + p[0]), QStringList{p[2]});
        }
    }

    void refusesAndWritesNothing_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<int>("flipAt");
        QTest::addColumn<bool>("targetExists");
        QTest::addColumn<QString>("fault");
        QTest::newRow("not a library") << "not-a-library.mdb" << -1LL << -1 << false << "テーブル allTop がありません";
        QTest::newRow("missing field") << "library-missing-field.mdb" << -1LL << -1 << false
                                       << "テーブル photoIvents に項目 iventsPhoto がありません";
        QTest::newRow("last page cut") << "library-jet4.mdb" << 200704LL << -1 << false << "40 件中 38 件";
        QTest::newRow("cut mid-page") << "library-jet4.mdb" << 150000LL << -1 << false << "途中で切れています";
        QTest::newRow("cut to the catalog") << "library-jet4.mdb" << 40960LL << -1 << false << "テーブルの一覧を読めません";
        QTest::newRow("tables cut off") << "library-jet4.mdb" << 81920LL << -1 << false << "の定義を読めません";
        QTest::newRow("password") << "library-jet4.mdb" << -1LL << 0x42 << false << "パスワードで保護されています";
        QTest::newRow("encrypted") << "library-jet4.mdb" << -1LL << 0x3e << false << "暗号化されています";
        QTest::newRow("not Jet") << "library-jet4.mdb" << -1LL << 4 << false << "Jet 形式のデータベースではありません";
        QTest::newRow("target exists") << "library-jet4.mdb" << -1LL << -1 << true << "new.mdb」は既にあります";
    }
    void refusesAndWritesNothing()
    {
        QFETCH(QString, file);
        QFETCH(qint64, size);
        QFETCH(int, flipAt);
        QFETCH(bool, targetExists);
        QFETCH(QString, fault);
        QTemporaryDir tmp;
        const QString jet = jetCopy(tmp.path(), file, size, flipAt);
        const QString lib = tmp.filePath("new.mdb");
        if (targetExists)
            writeFile(lib, "keep");
        const auto files = [&] { return QDir(tmp.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot); };
        const QStringList filesBefore = files();
        const QByteArray before = readFile(jet);
        try {
            ImportJetLibrary(jet, templatePath(), lib, false);
            QFAIL("converted");
        } catch (const JetImportError &e) {
            QVERIFY2(e.message().contains(fault) && e.message().contains("「" + tmp.path()), qPrintable(e.message()));
        }
        QCOMPARE(files(), filesBefore);
        QCOMPARE(readFile(jet), before);
        if (targetExists)
            QCOMPARE(readFile(lib), QByteArray("keep"));
    }

    void commandLine()
    {
        QTemporaryDir tmp;
        const QString jet = jetCopy(tmp.path(), "library-jet4.mdb"), lib = tmp.filePath("new.mdb");
        const auto titles = [&] { return sqlColumn(lib, "select count(*) from photoIvents").value(0); };
        CliResult r = runCli({"import-jet", jet, lib});
        QVERIFY2(r.exitCode == 0 && r.out.contains("  photoYear: 7 rows\n  photoIvents: 40 rows\n") &&
                     r.out.contains("tessaly-cli set-base " + lib), qPrintable(r.out + r.err));
        sql(lib, "delete from photoIvents");
        r = runCli({"import-jet", jet, lib});
        QVERIFY2(r.exitCode == 1 && r.err.contains("--force") && titles() == "0", qPrintable(r.err));
        QCOMPARE(runCli({"import-jet", jet, lib, "--force"}).exitCode, 0);
        QCOMPARE(titles(), QStringLiteral("40"));
        r = runCli({"show", jet});
        QVERIFY2(r.exitCode == 1 && r.err.contains("tessaly-cli import-jet"), qPrintable(r.err));
        r = runCli({"import-jet", lib, jet, "--force"});
        QVERIFY2(r.exitCode == 1 && r.err.contains("Jet 形式のデータベースではありません"), qPrintable(r.err));
    }

    // 開く on a Jet file, whatever its name: asked, converted beside it under a free name,
    // opened, and the base folder window in front.
    void openOffersTheConversion_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<bool>("yes");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("yes") << "library-jet4.mdb" << true << QString();
        QTest::newRow("no") << "library-jet4.mdb" << false << QString();
        QTest::newRow("not a library") << "not-a-library.mdb" << true << "テーブル allTop がありません";
    }
    void openOffersTheConversion()
    {
        QFETCH(QString, source);
        QFETCH(bool, yes);
        QFETCH(QString, refusal);
        QTemporaryDir tmp;
        const QString jet = tmp.filePath("旧ライブラリ.dat"), lib = tmp.filePath("旧ライブラリ-tessaly-2.mdb");
        QVERIFY(QFile::copy(jetData(source), jet));
        writeFile(tmp.filePath("旧ライブラリ-tessaly.mdb"), "keep");
        Global g = makeGlobal();
        ScriptedDialogService ds;
        NoPrinterSettings printer;
        htmlCrtMain w(g, ds, printer);
        w.startUp();
        w.show();
        ds.queuePick(jet);
        ds.queueAnswer(yes ? MsgAnswer::Yes : MsgAnswer::No);
        w.action("開く")->trigger();
        QCoreApplication::processEvents();

        const QList<MessageRequest> msgs = ds.messages();
        QVERIFY(!msgs.isEmpty());
        QCOMPARE(msgs.first().text, QStringLiteral("「旧ライブラリ.dat」は Windows 版の形式 (Jet) のライブラリです。\n\r"
                                                   "同じフォルダに新しいライブラリ「旧ライブラリ-tessaly-2.mdb」を作って"
                                                   "変換しますか？（元のファイルは変更しません）"));
        QCOMPARE(msgs.first().buttons, MsgButtons::YesNo);
        QCOMPARE(readFile(tmp.filePath("旧ライブラリ-tessaly.mdb")), QByteArray("keep"));
        if (!refusal.isEmpty())
            QVERIFY(msgs.size() == 2 && msgs[1].kind == MsgKind::Critical && msgs[1].text.contains(refusal) &&
                    msgs[1].text.startsWith("ライブラリを変換できませんでした。\n\r「" + jet));
        if (!yes || !refusal.isEmpty()) {
            QCOMPARE(QDir(tmp.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
            QVERIFY(g.dbConnectString.isEmpty() && !w.findWindow("dataSet"));
            return;
        }
        QCOMPARE(dump(lib).size(), 52);
        QCOMPARE(g.dbConnectString, MakeConnectString(lib));
        QVERIFY(std::any_of(msgs.begin(), msgs.end(), [](const MessageRequest &m) {
            return m.kind == MsgKind::Information && m.text.startsWith("変換しました: カテゴリー 3 件、ジャンル 7 件、タイトル 40 件。");
        }));
        auto *progress = w.findChild<QProgressDialog *>("libraryProgress");
        QVERIFY(progress && progress->maximum() == 52 && w.findWindow("dataSet"));
        QCOMPARE(w.mdiArea()->activeSubWindow(), w.subWindowOf(w.findWindow("topFolderF")));
    }
};

QTEST_MAIN(TestJetImport)
#include "test_jetimport.moc"
