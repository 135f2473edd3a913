// Converting a Jet library made on Windows: exact rows, keys that continue, the base
// folder rewrite after it, damaged files refused with nothing written, the child process
// that parses the file, the command line and 開く.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QHash>
#include <QComboBox>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QProcess>
#include <QProgressBar>
#include <QProgressDialog>
#include <QScopeGuard>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

#include "Database.h"
#include "DialogService.h"
#include "FolderSettings.h"
#include "JetImport.h"
#include "MainWindow.h"
#include "PrinterSettings.h"
#include "TestSupport.h"
#include "TitleGrid.h"
#include "dataSet.h"

using namespace tessaly;
using namespace tessaly::test;

namespace {
QString jetData(const QString &name) { return TESSALY_SOURCE_DIR "/tests/data/jet/" + name; }

// A copy of a test file, optionally cut to size bytes or with the bits flipBy of one byte
// changed, or with a table's and two fields' names in capitals (names are stored as UTF-16).
QString jetCopy(const QString &folder, const QString &name, qint64 size = -1, int flipAt = -1, bool capitals = false,
                int flipBy = 0x55)
{
    QByteArray bytes = readFile(jetData(name));
    const auto utf16 = [](const QString &t) { return QByteArray(reinterpret_cast<const char *>(t.utf16()), t.size() * 2); };
    for (const QString n : {"photoIvents", "iventsPhoto", "yearFolderName"})
        bytes.replace(utf16(n), utf16(capitals ? n.toUpper() : n));
    if (size >= 0)
        bytes.truncate(size);
    if (flipAt >= 0)
        bytes[flipAt] = char(bytes.at(flipAt) ^ flipBy);
    return writeFile(folder + '/' + name, bytes);
}

// Every name in a folder, hidden ones too.
QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

// A small file system mounted on a folder for one test (needs root): a full disk or,
// remounted read-only, a write-protected stick.
struct Medium {
    QString dir;
    bool mounted = false;
    Medium(const QString &folder, const QString &options) : dir(makeDir(folder))
    {
        mounted = run({"-t", "tmpfs", "-o", options, "tessaly-test", dir});
    }
    bool readOnly() { return run({"-o", "remount,ro", dir}); }
    ~Medium()
    {
        if (mounted)
            run({"-l", dir}, "umount");
    }
    static bool run(const QStringList &args, const QString &program = "mount")
    {
        QProcess p;
        p.start(program, args);
        if (!p.waitForFinished(20000)) {
            p.kill();
            p.waitForFinished();
            return false;
        }
        return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }
};

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

    // The converter the program runs, tessaly-cli beside it.
    static QString converter() { return JetConverter(makeGlobal()); }

private slots:
    void cleanup()
    {
        SetJetConverter(QString());
        SetJetSilenceLimit(60000);
    }

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
        QList<qint64> last;
        const JetImportCounts counts =
            ConvertJetLibrary(converter(), jet, templatePath(), lib, false, [&](qint64 done, qint64 total) {
                last = {done, total};
            });
        QCOMPARE(counts, (JetImportCounts{{"allTop", 1}, {"systemdir", 1}, {"photoGraph", 3}, {"photoYear", 7},
                                          {"photoIvents", 40}}));
        QCOMPARE(last, (QList<qint64>{52, 52}));
        QCOMPARE(readFile(jet), before);
        QCOMPARE(entries(tmp.path()), (QStringList{"library-jet4.mdb", "new.mdb"}));
        QCOMPARE(dump(lib), QString::fromUtf8(readFile(jetData("library-jet4.expected.tsv"))).split('\n', Qt::SkipEmptyParts));

        // The base folder rewrite moves every Windows path under the new folder, then
        // names once the title files and photos that are not there (one of them is).
        Global g = makeGlobal(lib);
        ScriptedDialogService ds;
        const QString base = makeDir(tmp.filePath("写真"));
        const QString photo = writeFile(base + "/旅行/2019 京都/1日目 清水寺/IMG_0100.JPG", "jpeg");
        const int stored = sqlColumn(lib, "select count(Ivents) + count(iventsPhoto) - sum(Ivents = '') - "
                                          "sum(iventsPhoto = '') from photoIvents").value(0).toInt();
        QCOMPARE(SaveBaseFolder(g, ds, base).outcome, SaveOutcome::Saved);
        QCOMPARE(sqlColumn(lib, "select iventsPhoto || ' ' || iventsLink from photoIvents where ID2=1"),
                 QStringList{photo + " http://www.example.jp/album/1.html"});
        QCOMPARE(sqlColumn(lib, "select count(*) from photoIvents where iventsFolder not like ?", {base + "/%"}),
                 QStringList{"0"});
        QCOMPARE(ds.messages().size(), 1);
        const QString report = ds.messages().first().text;
        QVERIFY2(stored > 20 && report.startsWith(QString("登録済みのファイルと写真のうち %1 件は").arg(stored - 1))
                     && !report.contains(photo) && report.contains(base + "/") && report.count("\n\r") == 21
                     && report.endsWith(QString("…ほか %1 件").arg(stored - 21)),
                 qPrintable(report));

        // Rows added later get keys above the highest converted one, not into the gaps.
        for (const QString t : {"photoGraph ID 5", "photoYear ID1 9", "photoIvents ID2 45"}) {
            const QStringList p = t.split(' ');
            sql(lib, "insert into " + p[0] + " default values");
            QCOMPARE(sqlColumn(lib, "select max(" + p[1] + ") from " + p[0]), QStringList{p[2]});
        }
    }

    // Each refusal names the file and the fault, leaves no file behind and the Jet file
    // as it was.
    void refusesAndWritesNothing_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<int>("flipAt");
        QTest::addColumn<int>("flipBy");
        QTest::addColumn<bool>("targetExists");
        QTest::addColumn<QString>("fault");
        QTest::newRow("not a library") << "not-a-library.mdb" << -1LL << -1 << 0 << false << "テーブル allTop がありません";
        QTest::newRow("missing field") << "library-missing-field.mdb" << -1LL << -1 << 0 << false
                                       << "テーブル photoIvents に項目 iventsPhoto がありません";
        QTest::newRow("last page cut") << "library-jet4.mdb" << 200704LL << -1 << 0 << false
                                       << "テーブル photoIvents の使用ページの一覧がページ 49 を指していますが、ファイルは 49 ページです";
        QTest::newRow("cut mid-page") << "library-jet4.mdb" << 150000LL << -1 << 0 << false << "途中で切れています";
        // Whole pages of the older format, which are half as long.
        QTest::newRow("cut by half a page") << "library-jet4.mdb" << 198656LL << -1 << 0 << false << "ページの倍数ではありません";
        QTest::newRow("cut to the catalog") << "library-jet4.mdb" << 40960LL << -1 << 0 << false << "テーブルの一覧を読めません";
        QTest::newRow("tables cut off") << "library-jet4.mdb" << 81920LL << -1 << 0 << false << "の定義を読めません";
        QTest::newRow("password") << "library-jet4.mdb" << -1LL << 0x42 << 0x55 << false << "パスワードで保護されています";
        QTest::newRow("encrypted") << "library-jet4.mdb" << -1LL << 0x3e << 0x55 << false << "暗号化されています";
        QTest::newRow("not Jet") << "library-jet4.mdb" << -1LL << 4 << 0x55 << false << "Jet 形式のデータベースではありません";
        // A text field's type byte changed to a type no library field has.
        QTest::newRow("field of another type") << "library-jet4.mdb" << -1LL << 0x22096 << 0x55 << false
                                               << "テーブル photoIvents の項目 iventsFolderName の型 (95) には対応していません";
        QTest::newRow("target exists") << "library-jet4.mdb" << -1LL << -1 << 0 << true << "new.mdb」は既にあります";
        // The used-pages map of photoIvents (a map of map pages, on page 35 at 0xfbb): each
        // of these converted all 40 rows, libmdb reading on past what the map says.
        const QString map = "テーブル photoIvents の使用ページの一覧";
        QTest::newRow("map of an unknown format") << "library-jet4.mdb" << -1LL << 0x23fbb << 0x02 << false
                                                  << map + "の形式 (3) が分かりません";
        QTest::newRow("map page past the end") << "library-jet4.mdb" << -1LL << 0x23fbc << 0x40 << false
                                               << map + "がページ 110 を指していますが、ファイルは 50 ページです";
        QTest::newRow("map page of rows") << "library-jet4.mdb" << -1LL << 0x23fbc << 0x01 << false
                                          << map + "のページ 47 が一覧のページではありません";
        QTest::newRow("used page past the end") << "library-jet4.mdb" << -1LL << 0x2e01d << 0x01 << false
                                                << map + "がページ 200 を指していますが、ファイルは 50 ページです";
        QTest::newRow("used page of a definition") << "library-jet4.mdb" << -1LL << 0x2e004 << 0x04 << false
                                                   << map + "が指すページ 2 は行のページではありません (種類 2)";
        // Keys and Null bits of the rows in library-jet4.mdb changed: rows that no window
        // or page would reach, found among the converted rows and named by table and key.
        const QString row = "テーブル photoIvents の ID2=1 の行: 項目 ";
        QTest::newRow("title's category key") << "library-jet4.mdb" << -1LL << 0x2deb0 << 0xff << false
                                              << row + "ID の値 (16711681) のカテゴリーがありません";
        QTest::newRow("title's genre key Null") << "library-jet4.mdb" << -1LL << 0x2dffe << 0x04 << false
                                                << row + "ID1 の値 (Null) のジャンルがありません";
        QTest::newRow("title under another category's genre") << "library-jet4.mdb" << -1LL << 0x2deb2 << 0x04 << false
                                                              << row + "ID の値 (1) がジャンル 5 のカテゴリー (3) と違います";
        QTest::newRow("genre's category key") << "library-jet4.mdb" << -1LL << 0x2bfc1 << 0x04 << false
                                              << "テーブル photoYear の ID1=1 の行: 項目 ID の値 (5) のカテゴリーがありません";
        QTest::newRow("genre's category key Null") << "library-jet4.mdb" << -1LL << 0x2bfff << 0x01 << false
                                                   << "テーブル photoYear の ID1=1 の行: 項目 ID の値 (Null) のカテゴリーがありません";
    }
    void refusesAndWritesNothing()
    {
        QFETCH(QString, file);
        QFETCH(qint64, size);
        QFETCH(int, flipAt);
        QFETCH(int, flipBy);
        QFETCH(bool, targetExists);
        QFETCH(QString, fault);
        QTemporaryDir tmp;
        const QString jet = jetCopy(tmp.path(), file, size, flipAt, false, flipBy);
        const QString lib = tmp.filePath("new.mdb");
        if (targetExists)
            writeFile(lib, "keep");
        const QStringList filesBefore = entries(QFileInfo(lib).path()) + entries(QFileInfo(jet).path());
        const QByteArray before = readFile(jet);
        try {
            ConvertJetLibrary(converter(), jet, templatePath(), lib, false);
            QFAIL("converted");
        } catch (const JetImportError &e) {
            QVERIFY2(e.message().contains(fault) && e.message().contains("「" + tmp.path()), qPrintable(e.message()));
        }
        QCOMPARE(entries(QFileInfo(lib).path()) + entries(QFileInfo(jet).path()), filesBefore);
        QCOMPARE(readFile(jet), before);
        if (targetExists)
            QCOMPARE(readFile(lib), QByteArray("keep"));
    }

    // Every damaged file kept for the tests, those libmdb itself crashed on (crashes/, which
    // an in-process replay cannot hold) among them, through import-jet as a user runs it,
    // over the library it was to replace: each is refused with the reader's own reason (a
    // crash of the child is a failure here, not of the test), the library stays as it was
    // and nothing is left beside it. A file added to either folder needs its reason here.
    void damagedFilesThroughImportJet_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("fault");
        const QString map = " の使用ページの一覧がありません";
        const QHash<QString, QString> faults = {
            {"damaged/variable-count-zero.mdb", "テーブル photoIvents の定義が矛盾しています: 可変長の項目が 6 個あるのに 0 個"},
            {"damaged/variable-count-low.mdb", "可変長の項目が 6 個あるのに 3 個"},
            {"damaged/column-number-twice.mdb", "テーブル photoIvents の定義が矛盾しています: 項目 iventsFolder の番号 (3)"},
            {"damaged/var-number-twice.mdb",
             "テーブル photoIvents の定義が矛盾しています: 項目 iventsFolder の可変長の番号 (0)"},
            {"damaged/alltop-key.mdb", "テーブル allTop の 1 行目: キー ID の値 (3801156) があり得ません"},
            {"damaged/rows-announced-low.mdb", "テーブル photoIvents は 37 件と書かれていますが、40 件の行があります"},
            {"damaged/row-columns.mdb", "テーブル photoIvents の行が 40 件中 39 件しか読めません"},
            {"damaged/page-row-count.mdb", "テーブル photoIvents の 13 行目: キー ID2 の値 (Null) があり得ません"},
            {"damaged/fuzz-row-past-fields.mdb", "テーブル photoIvents の 39 行目: キー ID2 の値 (Null)"},
            {"damaged/fuzz-header.mdb", "パスワードで保護されています"},
            // The map row named past its page's rows, of no bytes, and deleted.
            {"crashes/usage-map-past-row-count.mdb", "テーブル allTop" + map},
            {"crashes/usage-map-no-bytes.mdb", "テーブル photoYear" + map},
            {"crashes/usage-map-deleted-row.mdb", "テーブル photoIvents" + map},
        };
        for (const QString folder : {"damaged", "crashes"})
            for (const QString &name : QDir(jetData(folder)).entryList(QDir::Files, QDir::Name)) {
                const QString file = folder + '/' + name;
                QTest::newRow(qPrintable(file)) << file << faults.value(file);
            }
    }
    void damagedFilesThroughImportJet()
    {
        QFETCH(QString, file);
        QFETCH(QString, fault);
        QVERIFY2(!fault.isEmpty(), "no reason given for this file");
        QTemporaryDir tmp;
        const QString jet = jetCopy(tmp.path(), file), lib = makeLibrary(tmp.path(), "old.mdb");
        const QByteArray libBytes = readFile(lib);
        const QStringList before = entries(tmp.path());
        const CliResult r = runCli({"import-jet", jet, lib, "--force"});
        QVERIFY2(r.exitCode == 1 && r.err.startsWith("tessaly-cli: 「" + jet + "」") && r.err.contains(fault),
                 qPrintable(r.err));
        QCOMPARE(readFile(lib), libBytes);
        QCOMPARE(entries(tmp.path()), before);
    }

    // Cancelled while its converter still runs: the converter is stopped there, the user is
    // told, and nothing is left behind.
    void cancelStopsTheConverter()
    {
        QTemporaryDir tmp;
        const QString busy = writeFile(tmp.filePath("busy.sh"), "#!/bin/sh\nexec sleep 600\n");
        QFile::setPermissions(busy, QFile::ReadOwner | QFile::ExeOwner);
        const QString jet = jetCopy(tmp.path(), "library-jet4.mdb");
        const QStringList before = entries(tmp.path());
        try {
            ConvertJetLibrary(busy, jet, templatePath(), tmp.filePath("new.mdb"), false, {}, [] { return true; });
            QFAIL("converted");
        } catch (const JetImportError &e) {
            QCOMPARE(e.message(), "「" + jet + "」の変換を中止しました。");
        }
        QCOMPARE(entries(tmp.path()), before);
    }

    // What the converting child says decides: a crash, an exit without a reason and an
    // exit with no result are failures of the conversion; its own reason is shown as it is.
    // A file another program puts at the target meanwhile is kept.
    void childEndings_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("said");
        QTest::addColumn<QByteArray>("target");  // what is at the target afterwards; empty: nothing
        const QString ended = "を読む変換処理が異常終了しました。ファイルが壊れている可能性があります。何も書き込んでいません。";
        QTest::newRow("crash") << "echo 'table photoGraph 3'; kill -SEGV $$" << ended << QByteArray();
        QTest::newRow("exit 1 without a reason") << "echo 'done 5'; exit 1" << ended << QByteArray();
        QTest::newRow("its reason") << "echo 'error 読めない行があります'; exit 1" << "読めない行があります" << QByteArray();
        QTest::newRow("no result") << "exit 0" << "の変換処理が結果を返しませんでした。" << QByteArray();
        QTest::newRow("silent, stopped or looping") << "echo 'total 5'; exec sleep 600"
                                                    << "を読む変換処理が 1 秒のあいだ応答しないため、止めました。" << QByteArray();
        QTest::newRow("target made meanwhile") << "\"$CHILD\" \"$@\" && echo other > \"$DEST\"" << "」は既にあります。"
                                               << QByteArray("other\n");
    }
    void childEndings()
    {
        QFETCH(QString, script);
        QFETCH(QString, said);
        QFETCH(QByteArray, target);
        QTemporaryDir tmp;
        const QString jet = jetCopy(tmp.path(), "library-jet4.mdb"), child = tmp.filePath("child.sh");
        writeFile(child, "#!/bin/sh\n" + script.toUtf8() + "\n");
        QVERIFY(QFile::setPermissions(child, QFile::ReadOwner | QFile::ExeOwner));
        qputenv("CHILD", converter().toLocal8Bit());
        qputenv("DEST", tmp.filePath("new.mdb").toLocal8Bit());
        const auto unset = qScopeGuard([] { qunsetenv("CHILD"), qunsetenv("DEST"); });
        const QStringList before = entries(tmp.path());
        SetJetSilenceLimit(1000);
        try {
            ConvertJetLibrary(child, jet, templatePath(), tmp.filePath("new.mdb"), false);
            QFAIL("converted");
        } catch (const JetImportError &e) {
            QVERIFY2(e.message().contains(said), qPrintable(e.message()));
        }
        QCOMPARE(entries(tmp.path()), target.isEmpty() ? before : QStringList(before + QStringList{"new.mdb"}));
        if (!target.isEmpty())
            QCOMPARE(readFile(tmp.filePath("new.mdb")), target);
    }

    // Ctrl-C, a logout or a kill while the child reads (here held stopped): the child
    // ends too, nothing is left beside the target, and the exit status says which signal.
    void signalsEndTheChild_data()
    {
        QTest::addColumn<int>("sig");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGHUP") << int(SIGHUP);
    }
    void signalsEndTheChild()
    {
        QFETCH(int, sig);
        QTemporaryDir tmp;
        const QString jet = jetCopy(tmp.path(), "library-jet4.mdb");
        const QStringList before = entries(tmp.path());
        QProcess cli;
        QByteArray child;
        // The child lives for a few hundredths of a second: caught and stopped while it
        // starts, it stays until it is ended.
        for (int attempt = 0; attempt < 50 && child.isEmpty(); ++attempt) {
            cli.start(binDir() + "/tessaly-cli", {"import-jet", jet, tmp.filePath("new.mdb"), "--force"});
            QVERIFY(cli.waitForStarted());
            const QByteArray children = QString("/proc/%1/task/%1/children").arg(cli.processId()).toLatin1();
            while (child.isEmpty() && cli.state() == QProcess::Running && !cli.waitForFinished(0)) {
                const int fd = ::open(children.constData(), O_RDONLY);
                char buf[64] = {};
                const ssize_t n = fd >= 0 ? ::read(fd, buf, sizeof buf - 1) : -1;
                if (fd >= 0)
                    ::close(fd);
                const QByteArray pid = n > 0 ? QByteArray(buf, int(n)).trimmed() : QByteArray();
                // Once it runs the converter: stopped between fork and exec, it never starts.
                if (!pid.isEmpty() && readFile("/proc/" + QString::fromLatin1(pid) + "/cmdline").contains("--jet-child")
                    && ::kill(pid_t(pid.toInt()), SIGSTOP) == 0)
                    child = pid;
            }
            if (child.isEmpty()) {
                cli.waitForFinished();
                QFile::remove(tmp.filePath("new.mdb"));
            }
        }
        QVERIFY2(!child.isEmpty(), "the child was never caught running");
        QVERIFY(::kill(pid_t(cli.processId()), sig) == 0);
        QVERIFY(cli.waitForFinished(20000));
        QCOMPARE(cli.exitCode(), 128 + sig);
        QVERIFY2(cli.readAllStandardError().contains("の変換を中止しました。"), "said so");
        QVERIFY(!QFileInfo::exists("/proc/" + QString::fromLatin1(child)));
        QCOMPARE(entries(tmp.path()), before);
    }

    void commandLine()
    {
        QTemporaryDir tmp;
        const QString jet = jetCopy(tmp.path(), "library-jet4.mdb"), lib = tmp.filePath("new.mdb");
        const auto titles = [&] { return sqlColumn(lib, "select count(*) from photoIvents").value(0); };
        CliResult r = runCli({"import-jet", jet, lib});
        QVERIFY2(r.exitCode == 0 && r.out.contains("  photoYear: 7 行\n  photoIvents: 40 行\n") &&
                     r.out.contains("tessaly-cli set-base " + lib) && r.err.isEmpty(), qPrintable(r.out + r.err));
        sql(lib, "delete from photoIvents");
        r = runCli({"import-jet", jet, lib});
        QVERIFY2(r.exitCode == 1 && r.err.contains("--force") && titles() == "0", qPrintable(r.err));
        // On a terminal the rows are counted in place against their total from the start.
        QProcess terminal;
        terminal.start("script", {"-qec", binDir() + "/tessaly-cli import-jet " + jet + " " + lib + " --force", "/dev/null"});
        QVERIFY(terminal.waitForFinished(60000) && terminal.exitCode() == 0);
        const QByteArray shown = terminal.readAllStandardOutput();
        QVERIFY2(shown.startsWith("\r変換: 行 0/52\x1b[K") && shown.contains("行 52/52\x1b[K\r\n"), shown.constData());
        QCOMPARE(titles(), QStringLiteral("40"));
        // The start does not depend on how the converter's lines arrive: it tells its total before any row.
        QVERIFY(QFile::copy(templatePath(), tmp.filePath("child.mdb")));
        r = runCli({"--jet-child", jet, tmp.filePath("child.mdb")});
        QVERIFY2(r.exitCode == 0 && r.out.startsWith("total 52\ndone 0\ntotal 52\ndone 52\ntable allTop 1\n"),
                 qPrintable(r.out));
        r = runCli({"show", jet});
        QVERIFY2(r.exitCode == 1 && r.err.contains("tessaly-cli import-jet"), qPrintable(r.err));
        r = runCli({"import-jet", lib, jet, "--force"});
        QVERIFY2(r.exitCode == 1 && r.err.contains("Jet 形式のデータベースではありません"), qPrintable(r.err));
        // The Jet file as its own target, under another spelling: refused, whatever --force says.
        const QByteArray jetBytes = readFile(jet);
        r = runCli({"import-jet", jet, tmp.path() + "/./" + QFileInfo(jet).fileName(), "--force"});
        QVERIFY2(r.exitCode == 1 && r.err.contains("が変換元と同じファイルです。"), qPrintable(r.err));
        QVERIFY_THROWS_EXCEPTION(JetImportError, ImportJetLibrary(jet, templatePath(), jet, true));
        QCOMPARE(readFile(jet), jetBytes);
        // The Jet file as its own target under another name (a hard link, a linked folder).
        QVERIFY(::link(QFile::encodeName(jet).constData(), QFile::encodeName(tmp.filePath("second.mdb")).constData()) == 0);
        QVERIFY(QFile::link(tmp.path(), tmp.filePath("here")));
        for (const QString &same : {tmp.filePath("second.mdb"), tmp.filePath("here/") + QFileInfo(jet).fileName()}) {
            r = runCli({"import-jet", jet, same, "--force"});
            QVERIFY2(r.exitCode == 1 && r.err.contains("が変換元と同じファイルです。"), qPrintable(same + ": " + r.err));
        }
        QCOMPARE(readFile(tmp.filePath("second.mdb")), jetBytes);
        // A damaged row refuses the file and leaves the library it was to replace as it was.
        const QByteArray libBytes = readFile(lib);
        const QString badKey = jetCopy(makeDir(tmp.filePath("bad")), "library-jet4.mdb", -1, 0x2deb0, false, 0xff);
        r = runCli({"import-jet", badKey, lib, "--force"});
        QVERIFY2(r.exitCode == 1 && r.out.isEmpty()
                     && r.err.contains("テーブル photoIvents の ID2=1 の行: 項目 ID の値 (16711681) のカテゴリーがありません"),
                 qPrintable(r.out + r.err));
        QCOMPARE(readFile(lib), libBytes);
        // libmdb's own English words go into the message of a failure, nowhere else.
        const QString damaged = jetCopy(tmp.path(), "damaged/row-columns.mdb");
        r = runCli({"import-jet", damaged, tmp.filePath("damaged.mdb")});
        QVERIFY2(r.exitCode == 1 && r.err.startsWith("tessaly-cli: 「" + damaged) && r.err.contains("\n\r(libmdb: warning:")
                     && r.err.count("warning:") == 1,
                 qPrintable(r.err));
    }

    // Media that take nothing: a full disk says so while the template is copied; a Jet
    // file on a read-only medium gets a save dialog for the new library.
    void fullAndReadOnlyMedia()
    {
        QTemporaryDir tmp;
        Medium full(tmp.filePath("full"), "size=16k");
        if (!full.mounted)
            QSKIP("mounting a file system needs root");
        const QString jet = jetCopy(tmp.path(), "library-jet4.mdb");
        const CliResult r = runCli({"import-jet", jet, full.dir + "/new.mdb"});
        QVERIFY2(r.exitCode == 1 && r.err.contains("new.mdb」に書き込めません: ディスクがいっぱいです。"), qPrintable(r.err));
        const CliResult made = runCli({"create", full.dir + "/made.mdb"});
        QVERIFY2(made.exitCode == 1 && made.err.contains("(ディスクの空き容量が足りません (" + full.dir + "/made.mdb))"), qPrintable(made.err));
        QCOMPARE(entries(full.dir), QStringList());
        // A library with a second name is replaced by a new file too, never emptied: the full disk is told.
        writeFile(full.dir + "/old.mdb", "old");
        QVERIFY(::link(QFile::encodeName(full.dir + "/old.mdb").constData(), QFile::encodeName(full.dir + "/other.mdb").constData()) == 0);
        const CliResult over = runCli({"create", "--force", full.dir + "/old.mdb"});
        QVERIFY2(over.exitCode == 1 && over.err.contains("(ディスクの空き容量が足りません (" + full.dir + "/old.mdb))"), qPrintable(over.err));
        QVERIFY(readFile(full.dir + "/old.mdb") == "old" && readFile(full.dir + "/other.mdb") == "old");
        QVERIFY(QFile::remove(full.dir + "/old.mdb") && QFile::remove(full.dir + "/other.mdb"));

        Medium stick(tmp.filePath("stick"), "size=1m");
        QVERIFY(QFile::copy(jet, stick.dir + "/旧.mdb") && stick.readOnly());
        const QString saveAs = tmp.filePath("変換後.mdb");
        // The open library under a second name is no place for the conversion.
        const QString open = makeLibrary(tmp.path(), "open.mdb"), alias = tmp.filePath("alias.mdb");
        QVERIFY(::link(QFile::encodeName(open).constData(), QFile::encodeName(alias).constData()) == 0);
        const QByteArray openBytes = readFile(open);
        Global g = makeGlobal();
        ScriptedDialogService ds;
        NoPrinterSettings printer;
        htmlCrtMain w(g, ds, printer);
        w.startUp();
        g.dbConnectString = MakeConnectString(open);
        ds.queuePick(stick.dir + "/旧.mdb");
        ds.queueYes();
        ds.queuePick(alias);
        ds.queueYes();  // over the existing file
        w.action("開く")->trigger();
        QCOMPARE(ds.messages().value(2).text, QStringLiteral("現在開いているデータベースです！上書き作成する場合は"
                                                             "一旦プログラムを終了し、再度新規作成処理を行ってください。"));
        QVERIFY(readFile(alias) == openBytes && g.dbConnectString == MakeConnectString(open));
        ds.clear();
        ds.queuePick(stick.dir + "/旧.mdb");
        ds.queueYes();
        ds.queuePick(saveAs);
        w.action("開く")->trigger();
        const QList<MessageRequest> msgs = ds.messages();
        QVERIFY(!msgs.isEmpty() && msgs.first().text.contains("このフォルダには書き込めません（読み取り専用）"));
        QCOMPARE(ds.calls.at(2).type, ScriptedDialogService::Call::File);
        QCOMPARE(dump(saveAs).size(), 52);
        QCOMPARE(g.dbConnectString, MakeConnectString(saveAs));
        QCOMPARE(entries(stick.dir), QStringList{"旧.mdb"});
    }

    // 開く on a Jet file, whatever its name: asked, converted beside it under a free name
    // with the progress shown and then gone, one message with the counts, and the new
    // library set up as a new one: base folder window in front of the output folder
    // window, no editor and so no auto-set question while the folders name Windows.
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
        // The files the program makes afterwards get the user's permissions too.
        const mode_t userMask = ::umask(027);
        const auto restoreMask = qScopeGuard([userMask] { ::umask(userMask); });
        const QString jet = tmp.filePath("旧ライブラリ.dat"), lib = tmp.filePath("旧ライブラリ-tessaly-2.mdb");
        QVERIFY(QFile::copy(jetData(source), jet));
        writeFile(tmp.filePath("旧ライブラリ-tessaly.mdb"), "keep");
        Global g = makeGlobal();
        ScriptedDialogService ds;
        NoPrinterSettings printer;
        htmlCrtMain w(g, ds, printer);
        w.startUp();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        ds.queuePick(jet);
        ds.queueAnswer(yes ? MsgAnswer::Yes : MsgAnswer::No);
        // The conversion takes longer than the progress box waits before it shows.
        SetJetConverter(writeFile(tmp.filePath("slow.sh"), "#!/bin/sh\nsleep 0.5\nexec \"" + converter().toUtf8() + "\" \"$@\"\n"));
        QFile::setPermissions(tmp.filePath("slow.sh"), QFile::ReadOwner | QFile::ExeOwner);
        bool progressShown = false;
        QPointer<QProgressBar> bar;
        QPair<int, int> lastStep;  // the bar's value and its end, at its last move
        QTimer poll;
        connect(&poll, &QTimer::timeout, [&] {
            auto *p = w.findChild<QProgressDialog *>("libraryProgress");
            if (!p)
                return;
            progressShown = progressShown || p->isVisible();
            if (!bar && (bar = p->findChild<QProgressBar *>()))
                connect(bar, &QProgressBar::valueChanged, [&](int v) { lastStep = {v, bar->maximum()}; });
        });
        poll.start(20);
        w.action("開く")->trigger();
        poll.stop();
        settle();

        const QList<MessageRequest> msgs = ds.messages();
        QVERIFY(!msgs.isEmpty());
        QCOMPARE(msgs.first().text, QStringLiteral("「旧ライブラリ.dat」は Windows 版の形式 (Jet) のライブラリです。\n\r"
                                                   "同じフォルダに新しいライブラリ「旧ライブラリ-tessaly-2.mdb」を作って"
                                                   "変換しますか？（元のファイルは変更しません）"));
        QCOMPARE(msgs.first().buttons, MsgButtons::YesNo);
        QCOMPARE(readFile(tmp.filePath("旧ライブラリ-tessaly.mdb")), QByteArray("keep"));
        QVERIFY(!w.findChild<QProgressDialog *>("libraryProgress"));
        QCOMPARE(progressShown, yes);
        if (!refusal.isEmpty())
            QVERIFY(msgs.size() == 2 && msgs[1].kind == MsgKind::Critical && msgs[1].text.contains(refusal) &&
                    msgs[1].text.startsWith("ライブラリを変換できませんでした。\n\r「" + jet));
        if (!yes || !refusal.isEmpty()) {
            QCOMPARE(entries(tmp.path()), (QStringList{"slow.sh", "旧ライブラリ-tessaly.mdb", "旧ライブラリ.dat"}));
            QVERIFY(g.dbConnectString.isEmpty() && !w.findWindow("dataSet"));
            return;
        }
        QCOMPARE(dump(lib).size(), 52);
        QCOMPARE(lastStep, qMakePair(52, 52));
        QCOMPARE(QFileInfo(lib).permissions(), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser | QFile::ReadGroup);
        QCOMPARE(::umask(027), mode_t(027));
        QCOMPARE(g.dbConnectString, MakeConnectString(lib));
        QCOMPARE(w.windowTitle(), LibraryCaption("旧ライブラリ-tessaly-2.mdb"));
        QCOMPARE(msgs.size(), 2);
        QVERIFY2(msgs[1].kind == MsgKind::Information
                     && msgs[1].text.startsWith("変換しました: カテゴリー 3 件、ジャンル 7 件、タイトル 40 件。"),
                 qPrintable(msgs[1].text));
        QVERIFY(!w.findWindow("dataSet") && w.findWindow("htmlOut"));
        QCOMPARE(w.mdiArea()->activeSubWindow(), w.subWindowOf(w.findWindow("topFolderF")));
        QCOMPARE(g.isNewLibrary, True16);
        QCOMPARE(g.folderSetupStage, int16_t(0));
    }

    // The base folder moved while the editor shows the converted library: the editor
    // shows the rewritten paths at once.
    void baseFolderMoveShowsAtOnce()
    {
        QTemporaryDir tmp;
        const QString lib = tmp.filePath("new.mdb");
        ImportJetLibrary(jetData("library-jet4.mdb"), templatePath(), lib, false);
        const QString base = makeDir(tmp.filePath("写真"));
        Global g = makeGlobal(lib);
        ScriptedDialogService ds;
        NoPrinterSettings printer;
        htmlCrtMain w(g, ds, printer);
        w.setEndHandler([] {});
        w.show();
        for (int i = 0; i < 3; ++i)
            ds.queueNo();  // the auto-set question, whenever the editor is activated
        QPointer<dataSet> editor = qobject_cast<dataSet *>(w.showWindow("dataSet"));
        const auto category = [&] {
            editor->list(EditorView::List::Category)->setCurrentIndex(0);
            emit editor->list(EditorView::List::Category)->activated(0);
            return editor->field(EditorView::Field::CategoryFolder)->text();
        };
        QTRY_COMPARE(ds.messages().size(), 1);
        QCOMPARE(category(), QStringLiteral("D:\\写真\\旅行"));
        QWidget *folders = w.showWindow("topFolderF");
        folders->findChild<QLineEdit *>("AllTop")->setText(base);
        QTest::mouseClick(folders->findChild<QPushButton *>("Command2"), Qt::LeftButton);
        settle();
        QTRY_VERIFY(!w.findWindow("topFolderF"));
        QVERIFY2(!editor->field(EditorView::Field::CategoryFolder)->text().startsWith("D:"),
                 qPrintable(editor->field(EditorView::Field::CategoryFolder)->text()));
        QCOMPARE(editor->field(EditorView::Field::BaseFolder)->text(), base);
        QTRY_COMPARE(category(), base + "/旅行");
    }

    // A child that dies half-way (as libmdb might on a file from elsewhere), or one that
    // the user stops with the progress box's 中止, takes nothing with it: the program runs
    // on, the open library and the editor's unsaved edit stay, the half-written library is
    // gone, the child too. While it runs, the frame takes no command (a second 開く, keys
    // to the editor, closing the frame).
    void childThatEndsEarlyLeavesNothing_data()
    {
        QTest::addColumn<QByteArray>("end");   // how the converter goes on after its first lines
        QTest::addColumn<bool>("stop");        // 中止 clicked on the box
        QTest::addColumn<QString>("message");
        QTest::newRow("dies") << QByteArray("kill -SEGV $$\n") << false << "」を読む変換処理が異常終了しました。";
        QTest::newRow("中止") << QByteArray("exec sleep 60\n") << true << "」の変換を中止しました。";
    }
    void childThatEndsEarlyLeavesNothing()
    {
        QFETCH(QByteArray, end);
        QFETCH(bool, stop);
        QFETCH(QString, message);
        QTemporaryDir tmp, aside;
        const QString lib = makeLibrary(tmp.path(), "open.mdb");
        const QString base = makeDir(tmp.filePath("base/A/A1/a1"));
        sql(lib, "insert into allTop (ID, allTop) values (1, ?)", {tmp.filePath("base")});
        sql(lib, "insert into photoGraph (topFolderName, topFolder) values ('A', ?)", {tmp.filePath("base/A")});
        sql(lib, "insert into photoYear (ID, yearFolderName, yearFolder) values (1, 'A1', ?)", {tmp.filePath("base/A/A1")});
        sql(lib, "insert into photoIvents (ID, ID1, iventsFolderName, iventsFolder) values (1, 1, 'a1', ?)", {base});
        const QString jet = jetCopy(tmp.path(), "library-jet4.mdb");
        const QString pidFile = aside.filePath("pid");
        SetJetConverter(writeFile(aside.filePath("child.sh"), "#!/bin/sh\necho total 52\necho done 10\nprintf half >> \"$3\"\n"
                                                              "echo $$ > \"" + pidFile.toUtf8() + "\"\n" + end));
        QFile::setPermissions(aside.filePath("child.sh"), QFile::ReadOwner | QFile::ExeOwner);
        const QStringList before = entries(tmp.path());

        Global g = makeGlobal(lib);
        g.folderSetupStage = 2;
        ScriptedDialogService ds;
        NoPrinterSettings printer;
        htmlCrtMain w(g, ds, printer);
        w.setEndHandler([] {});
        w.show();
        ds.queueNo();  // the auto-set question
        QPointer<dataSet> editor = qobject_cast<dataSet *>(w.showWindow("dataSet"));
        QTRY_VERIFY(ds.messages().size() == 1);
        for (EditorView::List l : {EditorView::List::Category, EditorView::List::Genre}) {
            editor->list(l)->setCurrentIndex(0);
            emit editor->list(l)->activated(0);
        }
        QTableView *grid = editor->grid();
        const QModelIndex row = grid->model()->index(0, TitleGrid::ColFolderName);
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, grid->visualRect(row).center());
        QCOMPARE(g.titleEditMode, int16_t(2));
        editor->field(EditorView::Field::TitleLink)->setText("http://unsaved");

        ds.clear();
        ds.queuePick(jet);
        ds.queueYes();
        bool tried = false;
        QTimer poll;
        connect(&poll, &QTimer::timeout, [&] {
            auto *box = w.findChild<QProgressDialog *>("libraryProgress");
            if (!stop || tried || !box || !box->isVisible() || !QFileInfo::exists(pidFile))
                return;
            tried = true;
            QTest::keyClick(editor->grid(), Qt::Key_F12);
            QTest::keyClick(&w, Qt::Key_F, Qt::AltModifier);
            w.action("開く")->trigger();
            w.close();
            QVERIFY(w.isVisible() && editor);
            QTest::mouseClick(box->findChild<QPushButton *>(), Qt::LeftButton);
        });
        poll.start(20);
        w.action("開く")->trigger();
        poll.stop();
        settle();
        QCOMPARE(tried, stop);
        // Only the first 開く asked anything: its file, its question, its end.
        QCOMPARE(ds.calls.size(), 3);
        const QList<MessageRequest> msgs = ds.messages();
        QVERIFY(msgs.size() == 2 && msgs[1].kind == MsgKind::Critical);
        QVERIFY2(msgs[1].text.contains("「" + jet + message) && msgs[1].text.startsWith("ライブラリを変換できませんでした。"),
                 qPrintable(msgs[1].text));
        QCOMPARE(entries(tmp.path()), before);
        const pid_t child = readFile(pidFile).trimmed().toInt();
        QVERIFY(child > 0 && ::kill(child, 0) != 0 && errno == ESRCH);
        QVERIFY(!w.findChild<QProgressDialog *>("libraryProgress"));
        QCOMPARE(g.dbConnectString, MakeConnectString(lib));
        QVERIFY(editor && editor->field(EditorView::Field::TitleLink)->text() == "http://unsaved");

        // Closing the frame still offers the edit.
        ds.clear();
        ds.queueNo();
        ds.queueNo();
        w.close();
        QVERIFY(w.isVisible() && editor);
        QCOMPARE(ds.messages().value(0).text, QStringLiteral("データの更新を行いますか？"));
    }
};

QTEST_MAIN(TestJetImport)
#include "test_jetimport.moc"
