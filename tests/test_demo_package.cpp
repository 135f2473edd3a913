// The sample library and the Debian package, as a newcomer meets them.
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include "TestSupport.h"

using namespace tessaly::test;

namespace {
const QStringList kGenres = {"家族/誕生日", "家族/運動会", "旅行/2023", "旅行/2024", "風景/山", "風景/海"};

QString run(const QString &program, const QStringList &args, int *exitCode, const QString &dir = QString())
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    if (!dir.isEmpty())
        p.setWorkingDirectory(dir);
    p.start(program, args);
    if (!p.waitForFinished(180000))
        p.kill();
    *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return QString::fromUtf8(p.readAll());
}

// Checks the demo folder: the tree that show prints, and every page of the site.
void checkDemo(const QString &folder, const QString &cli)
{
    int rc = -1;
    const QString shown = run(cli, {QStringLiteral("show"), folder + QStringLiteral("/demo.mdb")}, &rc);
    QCOMPARE(rc, 0);
    QStringList cats, genres, titles;
    for (const QString &line : shown.split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("category ")))
            cats << line.section(QLatin1Char(' '), 2, 2);
        else if (line.startsWith(QLatin1String("  genre ")))
            genres << line.section(QLatin1Char(' '), 4, 4);
        else if (line.startsWith(QLatin1String("    title ")))
            titles << line;
    }
    QCOMPARE(cats, (QStringList{"家族", "旅行", "風景"}));
    QCOMPARE(genres, (QStringList{"誕生日", "運動会", "2023", "2024", "山", "海"}));
    QCOMPARE(titles.size(), 12);
    QVERIFY(shown.contains(QStringLiteral(" Mike's Party ") + folder + QStringLiteral("/写真/家族/誕生日/Mike's Party\n")));
    QVERIFY(shown.contains("base folder: " + folder + "/写真\noutput folder: " + folder + "/サイト\n"));

    const QString site = folder + QStringLiteral("/サイト");
    for (const char *page : {"アルバム.html", "sub/NameA.html", "sub/b.html", "sub/c.html", "sub/家族.html", "sub/旅行.html", "sub/風景.html"})
        QVERIFY2(QFileInfo(site + '/' + QString::fromUtf8(page)).size() > 0, page);
    for (const QString &genre : kGenres) {
        const QByteArray page = readFile(folder + QStringLiteral("/写真/") + genre + QStringLiteral("/nIndex.html"));
        QVERIFY2(page.startsWith("<meta charset=\"UTF-8\">\r\n"), qPrintable(genre));
        QVERIFY2(page.contains("<img src="), qPrintable(genre));  // every genre shows photos
    }
    // The title with an HTML file has its open button; the one with a link its link button.
    QVERIFY(readFile(folder + QStringLiteral("/写真/家族/運動会/nIndex.html")).contains("value='開く'"));
    QVERIFY(readFile(folder + QStringLiteral("/写真/旅行/2024/nIndex.html")).contains("value='ﾘﾝｸ'"));
}
}  // namespace

class TestDemoPackage : public QObject {
    Q_OBJECT
private slots:
    // A usage fault exits 2 and shows the command's usage line; help and version exit 0.
    void usage_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("shown");
        const QString sizeUsage = "usage: tessaly-cli image-size [--mode N] FILE...";
        QTest::newRow("unknown option") << "tessaly-cli" << QStringList{"show", "--frob", "x.mdb"} << 2
                                        << "unknown option '--frob'\nusage: tessaly-cli show [--format FORMAT] LIB\n";
        QTest::newRow("missing argument") << "tessaly-cli" << QStringList{"set-base", "x.mdb"} << 2
                                          << "usage: tessaly-cli set-base [--create] LIB FOLDER\n";
        QTest::newRow("too many") << "tessaly-cli" << QStringList{"generate", "a", "b"} << 2 << "usage: tessaly-cli generate LIB\n";
        QTest::newRow("value missing") << "tessaly-cli" << QStringList{"image-size", "a", "--mode"} << 2 << sizeUsage;
        QTest::newRow("bad value") << "tessaly-cli" << QStringList{"image-size", "--mode=9", "a"} << 2 << sizeUsage;
        QTest::newRow("no command") << "tessaly-cli" << QStringList{} << 2 << "Usage: tessaly-cli COMMAND";
        QTest::newRow("unknown command") << "tessaly-cli" << QStringList{"frob"} << 2 << "unknown command 'frob'";
        QTest::newRow("command help") << "tessaly-cli" << QStringList{"autoset", "--help"} << 0
                                      << "Usage: tessaly-cli autoset [--yes] [--no-transaction] LIB\n";
        QTest::newRow("program help") << "tessaly" << QStringList{"--help"} << 0 << "Usage: tessaly [LIB]\n";
        QTest::newRow("program version") << "tessaly" << QStringList{"--version"} << 0 << "tessaly " TESSALY_VERSION "\n";
        QTest::newRow("program option") << "tessaly" << QStringList{"-x", "a.mdb"} << 2 << "usage: tessaly [LIB]\n";
        QTest::newRow("program, two libraries") << "tessaly" << QStringList{"a.mdb", "--", "b.mdb"} << 2
                                                << "too many arguments\nusage: tessaly [LIB]\n";
    }
    void usage()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, shown);
        int rc = -1;
        const QString out = run(binDir() + "/" + program, args, &rc);
        QCOMPARE(rc, exitCode);
        QVERIFY2(out.contains(shown), qPrintable(out));
    }

    // One language per run, for everything either program says on stdout and stderr:
    // English outside a Japanese locale (no Japanese character at all, the user's names
    // being ASCII here), Japanese under one (none of the English words).
    void oneLanguagePerRun_data()
    {
        QTest::addColumn<QByteArray>("lang");
        QTest::addColumn<bool>("japanese");
        QTest::newRow("C") << QByteArray("C") << false;
        QTest::newRow("en_US") << QByteArray("en_US.UTF-8") << false;
        QTest::newRow("ja_JP") << QByteArray("ja_JP.UTF-8") << true;
    }
    void oneLanguagePerRun()
    {
        QFETCH(QByteArray, lang);
        QFETCH(bool, japanese);
        QTemporaryDir tmp;
        const QString base = makeDir(tmp.filePath("photos"));
        writeFile(base + "/trips/2024/lake/a.jpg", jpegRows(64, 48, false));
        writeFile(base + "/trips/2024/hill/b.jpg", jpegRows(64, 48, false));
        const QString lib = tmp.filePath("club.mdb");
        const QString jet = QStringLiteral(TESSALY_SOURCE_DIR "/tests/data/jet/");
        struct Step {
            QString program;
            QStringList args;
            int exitCode;
            QString en, ja;  // a text the step must say in each language
        };
        const QList<Step> steps = {
            {"tessaly-cli", {"create", lib}, 0, "created " + lib, "作成しました: " + lib},
            {"tessaly-cli", {"set-base", lib, base}, 0, "base folder: " + base, "基準フォルダ: " + base},
            {"tessaly-cli", {"set-output", "--create", lib, tmp.filePath("www")}, 0, "output folder: ", "HTML出力先: "},
            {"tessaly-cli", {"autoset", lib}, 0, "titles: 2 added, 0 refreshed, 0 unchanged", "タイトル: 追加 2、更新 0、変更なし 0"},
            {"tessaly-cli", {"generate", lib}, 0, "site written (", "サイトを書き出しました ("},
            {"tessaly-cli", {"publish", lib, tmp.filePath("copy")}, 0, "bytes copied: ", "コピーした量: "},
            {"tessaly-cli", {"show", lib}, 0, "  genre ", "  ジャンル "},
            // Failures: the output folder gone (a window would number its message), a title's
            // folder gone, a bad place to publish, a library that is not there, a Windows path.
            {"rm", {"-r", tmp.filePath("www")}, 0, "", ""},
            {"tessaly-cli", {"generate", lib}, 1, "]: Path not found. (", "]: パスが見つかりません。("},
            {"rm", {"-r", base + "/trips/2024/lake"}, 0, "", ""},
            {"tessaly-cli", {"check", lib}, 1, "title ", "タイトル "},
            {"tessaly-cli", {"autoset", lib}, 0, "1 stored folders were not found", "登録されているフォルダのうち 1 件が見つかりません"},
            {"tessaly-cli", {"publish", lib, base + "/trips"}, 1, "lies in the base folder", "は基準フォルダ「"},
            {"tessaly-cli", {"generate", tmp.filePath("none.mdb")}, 1, "does not exist", "がありません"},
            {"tessaly-cli", {"set-base", lib, "D:\\photos"}, 1, "is a Windows path", "は Windows のパスです"},
            // A Windows library converted, and a damaged one refused with the child's reason.
            {"cp", {jet + "library-jet4.mdb", tmp.filePath("old.mdb")}, 0, "", ""},
            {"tessaly-cli", {"import-jet", tmp.filePath("old.mdb"), tmp.filePath("new.mdb")}, 0, "  photoIvents: 40 rows",
             "  photoIvents: 40 行"},
            {"cp", {jet + "damaged/alltop-key.mdb", tmp.filePath("bad.mdb")}, 0, "", ""},
            {"tessaly-cli", {"import-jet", tmp.filePath("bad.mdb"), tmp.filePath("new.mdb"), "--force"}, 1,
             "is damaged or cut short (table allTop, row 1: the key ID has an impossible value (3801156))",
             "は壊れているか、途中で切れています (テーブル allTop の 1 行目: キー ID の値 (3801156) があり得ません)"},
            // Usage faults of both programs.
            {"tessaly-cli", {"show", "--frob", lib}, 2, "unknown option '--frob'\nusage: tessaly-cli show",
             "オプション「--frob」はありません\n使い方: tessaly-cli show"},
            {"tessaly-cli", {"generate", "a", "b"}, 2, "too many arguments", "引数が多すぎます"},
            {"tessaly-cli", {"frob"}, 2, "unknown command 'frob'", "コマンド「frob」はありません"},
            {"tessaly-cli", {"image-size", "a", "--mode"}, 2, "option '--mode' needs a value", "オプション「--mode」には値が必要です"},
            {"tessaly", {"-x"}, 2, "tessaly: unknown option '-x'\nusage: tessaly [LIB]", "tessaly: オプション「-x」はありません\n使い方: tessaly [LIB]"},
            {"tessaly", {"a.mdb", "b.mdb"}, 2, "tessaly: too many arguments", "tessaly: 引数が多すぎます"},
        };
        static const QRegularExpression japaneseText(QStringLiteral("[\\x{3000}-\\x{30ff}\\x{4e00}-\\x{9fff}\\x{ff00}-\\x{ffef}]"));
        static const QRegularExpression englishWords(
            QStringLiteral("\\b(site|written|pages?|added|refreshed|unchanged|usage|unknown|missing|arguments|warning|error|"
                           "information|question|created|copied|folders?|title|genre|category|not|the)\\b"),
            QRegularExpression::CaseInsensitiveOption);
        for (const Step &step : steps) {
            if (!step.program.startsWith(QLatin1String("tessaly"))) {
                QCOMPARE(QProcess::execute(step.program, step.args), 0);
                continue;
            }
            const CliResult r = runProgram(step.program, step.args, tmp.path(), lang);
            // Paths and the usage line are the user's and the program's names, in no language.
            QString said = r.out + r.err;
            said.remove(tmp.path()).remove(QRegularExpression(QStringLiteral("(tessaly-cli|tessaly) [^\\n]*\\[[^\\n]*")));
            const QString shown = step.program + ' ' + step.args.join(' ') + ":\n" + r.out + r.err;
            QVERIFY2(r.exitCode == step.exitCode, qPrintable(shown));
            QVERIFY2((r.out + r.err).contains(japanese ? step.ja : step.en), qPrintable(shown));
            QVERIFY2(!said.contains(QRegularExpression(QStringLiteral("\\]: \\d+:"))), qPrintable(shown));
            if (japanese)
                QVERIFY2(!said.contains(englishWords), qPrintable(shown + "\n-> " + englishWords.match(said).captured()));
            else
                QVERIFY2(!said.contains(japaneseText), qPrintable(shown + "\n-> " + japaneseText.match(said).captured()));
        }
    }

    // The manual pages read cleanly at 80 columns: no formatter warnings, no line too
    // long, and no Japanese line stretched with wide gaps.
    void manPagesRead_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("heading");  // of the first section, in the page's language
        for (const char *program : {"tessaly", "tessaly-cli"})
            for (const auto &[language, heading] : {std::pair{"en", "NAME"}, std::pair{"ja", "名前"}})
                QTest::addRow("%s %s", program, language) << program << language << heading;
    }
    void manPagesRead()
    {
        QFETCH(QString, program);
        QFETCH(QString, language);
        QFETCH(QString, heading);
        if (QStandardPaths::findExecutable("groff").isEmpty())
            QSKIP("groff is not installed (package groff-base)");
        int rc = -1;
        const QString page = run(binDir() + "/" + program, {"--man-page", language}, &rc);
        QCOMPARE(rc, 0);
        QVERIFY2(page.contains("\n.SH " + heading + "\n"), qPrintable(page.left(300)));
        QProcess groff;
        groff.start("groff", {"-k", "-mandoc", "-Tutf8", "-rLL=80n", "-ww", "-P-cbou"});
        groff.write(page.toUtf8());
        groff.closeWriteChannel();
        QVERIFY(groff.waitForFinished(30000));
        const QString warnings = QString::fromUtf8(groff.readAllStandardError());
        QVERIFY2(warnings.isEmpty(), qPrintable(warnings));
        const QString shown = QString::fromUtf8(groff.readAllStandardOutput());
        // In a Japanese page (not hyphenated, breaks allowed beside wide characters) Latin
        // words and option names stay whole: each one shown is one of the page's own.
        const auto words = [](const QString &t) {
            QSet<QString> w;
            for (auto it = QRegularExpression(QStringLiteral("[A-Za-z0-9_./-]+")).globalMatch(t); it.hasNext();)
                w.insert(it.next().captured());
            return w;
        };
        const QString source = QString(page).remove(QRegularExpression(QStringLiteral(R"(\\f[BIRP]|\\:|\\&|\\e)"))).replace("\\-", "-");
        const QSet<QString> split = words(shown) - words(source);
        QVERIFY2(language == "en" || split.isEmpty(), qPrintable(QStringList(split.cbegin(), split.cend()).join(' ')));
        const QStringList lines = shown.split('\n');
        QVERIFY(lines.size() > 20);
        for (const QString &line : lines) {
            int width = 0;
            for (QChar c : line)
                width += c.unicode() >= 0x3000 && c.unicode() <= 0xFFEF && (c.unicode() < 0xFF61 || c.unicode() > 0xFF9F) ? 2 : 1;
            QVERIFY2(width <= 80, qPrintable(line));
            // Closing marks never begin a Japanese line, opening ones never end it.
            const QString text = line.trimmed();
            QVERIFY2(text.isEmpty() || (!QStringLiteral("、。）」』】").contains(text.front()) && !QStringLiteral("（「『【").contains(text.back())),
                     qPrintable(line));
            if (!line.contains("(1)"))  // the heading and the foot are spread out
                QVERIFY2(!line.trimmed().contains("    "), qPrintable(line));
        }
    }

    void demoMakesALibraryAndASite()
    {
        QTemporaryDir tmp;
        const QString folder = tmp.filePath(QStringLiteral("デモ"));
        const QString cli = binDir() + QStringLiteral("/tessaly-cli");
        int rc = -1;
        // The photos' folder taken by a file: said at once, the site's folder not made.
        const QString taken = writeFile(tmp.filePath("taken/写真"), "x");
        QString out = run(cli, {QStringLiteral("demo"), QFileInfo(taken).path()}, &rc);
        QVERIFY2(rc == 1 && out.contains("Cannot create the folder “" + QFileInfo(taken).path() + "”."), qPrintable(out));
        QCOMPARE(QDir(tmp.filePath("taken")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{"写真"});
        out = run(cli, {QStringLiteral("demo"), folder}, &rc);
        QCOMPARE(rc, 0);
        QVERIFY2(out.contains("library: " + folder + "/demo.mdb\nsite: " + folder + "/サイト/アルバム.html"), qPrintable(out));
        checkDemo(folder, cli);

        // Photos of each format and shape, readable by the program's own readers, whole to Qt's, on a light ground.
        QStringList photos = {QStringLiteral("image-size")};
        QSet<QString> formats, portraits;
        for (QDirIterator it(folder + "/写真", {"*.jpg", "*.png", "*.gif"}, QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
            photos << it.next();
        const QStringList lines = run(cli, photos, &rc).trimmed().split('\n');
        QVERIFY(rc == 0 && lines.size() == photos.size() - 1);
        for (const QString &line : lines) {
            const QStringList f = line.split('\t');
            const QImage image(f.at(0));
            QVERIFY2(f.size() == 6 && image.size() == QSize(f.at(2).toInt(), f.at(3).toInt()) && image.pixelColor(30, 30).value() > 150, qPrintable(line));
            formats << f.at(1);
            if (image.height() > image.width())
                portraits << QFileInfo(f.at(0)).fileName();
        }
        QCOMPARE(formats, (QSet<QString>{"JPEG", "PNG", "GIF"}));
        QCOMPARE(portraits, (QSet<QString>{"一歩.png", "富士山.jpg", "灯台.png", "立山.gif", "金閣寺.jpg"}));

        // A second run is safe: same tree, no duplicate rows.
        const QString before = run(cli, {QStringLiteral("show"), folder + QStringLiteral("/demo.mdb")}, &rc);
        run(cli, {QStringLiteral("demo"), folder}, &rc);
        QCOMPARE(rc, 0);
        QCOMPARE(run(cli, {QStringLiteral("show"), folder + QStringLiteral("/demo.mdb")}, &rc), before);
        // On a terminal the page count is shown in place and its line ended before the summary.
        QVERIFY(run("script", {"-qec", cli + " generate " + folder + "/demo.mdb", "/dev/null"}, &rc).contains("pages 13/13\x1b[K\r\nsite written"));
        QVERIFY(run("script", {"-qec", cli + " publish " + folder + "/demo.mdb " + folder + "/copy", "/dev/null"}, &rc)
                    .contains("\x1b[K\r\nThe copy for publishing was made in “" + folder + "/copy”."));
        // A message takes the progress line's place instead of running on after it.
        QVERIFY(QFile::remove(folder + "/写真/風景/海/灯台/灯台.png"));
        QVERIFY(run("script", {"-qec", cli + " generate " + folder + "/demo.mdb", "/dev/null"}, &rc).contains("\r\x1b[Kwarning ["));
    }

    // Every command's summary goes to stdout and a clean run says nothing else; with -q or
    // --quiet it says nothing at all, and the README's nightly script runs twice silently.
    // A warning still reaches a quiet run.
    void quietRuns()
    {
        QTemporaryDir tmp;
        const QString folder = tmp.filePath(QStringLiteral("club")), lib = folder + QStringLiteral("/demo.mdb");
        CliResult r = runCli({QStringLiteral("demo"), QStringLiteral("-q"), folder});
        QVERIFY2(r.exitCode == 0 && r.out.isEmpty() && r.err.isEmpty(), qPrintable(r.out + r.err));
        const QList<QStringList> commands = {{"autoset", lib},
                                             {"generate", lib},
                                             {"publish", lib, tmp.filePath("copy")},
                                             {"check", lib},
                                             {"set-output", lib, folder + "/サイト"},
                                             {"create", "--force", tmp.filePath("new.mdb")},
                                             {"demo", folder}};
        for (const QStringList &c : commands) {
            r = runCli(c);
            // (Only the toolkit's own note that this session has no XDG_RUNTIME_DIR may stand on stderr.)
            QVERIFY2(r.exitCode == 0 && !r.out.isEmpty() && r.err.remove(QRegularExpression("^QStandardPaths: .*\n")).isEmpty(),
                     qPrintable(c.join(' ') + ": " + r.out + r.err));
            for (const QString &quiet : {"-q", "--quiet"}) {
                r = runCli(QStringList{c.first(), quiet} + c.mid(1));
                QVERIFY2(r.exitCode == 0 && r.out.isEmpty() && r.err.isEmpty(), qPrintable(c.join(' ') + ": " + r.out + r.err));
            }
        }

        // A category without genres is a note, not a fault: said without --quiet, not with it.
        makeDir(folder + QStringLiteral("/写真/空"));
        r = runCli({QStringLiteral("autoset"), QStringLiteral("-q"), lib});
        QVERIFY2(r.exitCode == 0 && r.out.isEmpty() && r.err.isEmpty(), qPrintable(r.out + r.err));
        r = runCli({QStringLiteral("generate"), lib});
        QVERIFY2(r.exitCode == 0 && r.err.startsWith(QStringLiteral("お知らせ [")) && r.err.contains(QStringLiteral("\n空\n")),
                 qPrintable(r.out + r.err));

        const QString readme = QString::fromUtf8(readFile(QStringLiteral(TESSALY_SOURCE_DIR "/README.md")));
        const QRegularExpressionMatch script = QRegularExpression(QStringLiteral("\n    (#!/bin/sh\n(    .*\n)+)")).match(readme);
        QVERIFY(script.hasMatch());
        const QString file = writeFile(tmp.filePath("nightly"), script.captured(1).replace(QStringLiteral("\n    "), QStringLiteral("\n")).toUtf8());
        if (QStandardPaths::findExecutable(QStringLiteral("rsync")).isEmpty())
            QSKIP("rsync is needed for the nightly script (Debian package rsync)");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PATH"), binDir() + ':' + env.value(QStringLiteral("PATH")));
        env.insert(QStringLiteral("LIB"), lib);
        env.insert(QStringLiteral("COPY"), tmp.filePath("night"));
        env.insert(QStringLiteral("UPLOAD"), makeDir(tmp.filePath("server")) + '/');
        for (int night = 1; night <= 2; ++night) {
            QProcess p;
            p.setProcessEnvironment(env);
            p.setProcessChannelMode(QProcess::MergedChannels);
            p.start(QStringLiteral("/bin/sh"), {file});
            QVERIFY(p.waitForFinished(180000));
            const QByteArray said = p.readAll();
            QVERIFY2(p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0 && said.isEmpty(), said.constData());
        }
        QVERIFY(QFileInfo(tmp.filePath("server/アルバム.html")).isFile());

        QVERIFY(QFile::remove(folder + "/写真/風景/海/灯台/灯台.png"));
        r = runCli({QStringLiteral("generate"), QStringLiteral("--quiet"), lib});
        QVERIFY2(r.exitCode == 1 && r.out.isEmpty() && r.err.startsWith(QStringLiteral("警告 [")), qPrintable(r.out + r.err));
    }

    void packageInstallsAndRunsTheDemo()
    {
        const QString cpack = QStandardPaths::findExecutable(QStringLiteral("cpack"));
        const QString dpkgDeb = QStandardPaths::findExecutable(QStringLiteral("dpkg-deb"));
        if (cpack.isEmpty() || dpkgDeb.isEmpty())
            QSKIP("cpack or dpkg-deb is not installed");
        QTemporaryDir out;
        const QString build = QDir(binDir()).absoluteFilePath(QStringLiteral(".."));
        int rc = -1;
        // The build is complete before the tests run: naming a generator without a preinstall
        // step spares cpack the Makefiles' walk over every target, which builds nothing here.
        QString log = run(cpack, {QStringLiteral("--config"), build + QStringLiteral("/CPackConfig.cmake"),
                                  QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("-B"), out.path(),
                                  QStringLiteral("-D"), QStringLiteral("CPACK_CMAKE_GENERATOR=Ninja")},
                          &rc, build);
        QVERIFY2(rc == 0, qPrintable(log));
        const QStringList debs = QDir(out.path()).entryList({QStringLiteral("*.deb")});
        QCOMPARE(debs.size(), 1);
        const QString deb = out.filePath(debs.first());

        const QString depends = run(dpkgDeb, {QStringLiteral("-f"), deb, QStringLiteral("Depends")}, &rc);
        for (const char *dep : {"libqt6sql6-sqlite", "libqt6widgets6", "qt6-qpa-plugins", "libavcodec59",
                                 "qt6-translations-l10n"})
            QVERIFY2(depends.contains(QLatin1String(dep)), qPrintable(depends));

        QTemporaryDir root;
        run(QStringLiteral("dpkg"), {QStringLiteral("-x"), deb, root.path()}, &rc);
        QCOMPARE(rc, 0);
        for (const char *file : {"usr/lib/tessaly/sys.1", "usr/lib/tessaly/help/index.html", "usr/share/mime/packages/tessaly.xml",
                                 "usr/share/icons/hicolor/scalable/apps/tessaly.svg", "usr/share/man/ja/man1/tessaly.1.gz"})
            QVERIFY2(QFileInfo(root.filePath(QLatin1String(file))).isFile(), file);
        // Debian's own checks where installed (setup installs them): no error, no warning.
        const QString metainfo = root.filePath(QStringLiteral("usr/share/metainfo/io.github.tessaly.Tessaly.metainfo.xml"));
        for (const QStringList &check : {QStringList{"lintian", "--allow-root", "--fail-on", "error,warning", deb},
                                         QStringList{"appstreamcli", "validate", "--no-net", metainfo}}) {
            if (QStandardPaths::findExecutable(check.first()).isEmpty())
                continue;
            log = run(check.first(), check.mid(1), &rc);
            QVERIFY2(rc == 0 && !log.contains(QLatin1String("W: ")) && !log.contains(QLatin1String("E: ")), qPrintable(log));
        }
        // The manual lists every command of the tool with its options, as --help does.
        QProcess man;
        man.start(QStringLiteral("gzip"), {QStringLiteral("-dc"), root.filePath(QStringLiteral("usr/share/man/man1/tessaly-cli.1.gz"))});
        QVERIFY(man.waitForFinished());
        const QString page = QString::fromUtf8(man.readAllStandardOutput());
        const QString help = run(binDir() + QStringLiteral("/tessaly-cli"), {QStringLiteral("--help")}, &rc);
        int commands = 0;
        for (const QString &line : help.split(QLatin1Char('\n')))
            if (line.startsWith(QLatin1String("  ")) && line.at(2).isLower() && ++commands)
                QVERIFY2(page.contains(QStringLiteral(".B ") + line.mid(2).replace(QLatin1Char('-'), QLatin1String("\\-"))),
                         qPrintable(line));
        QVERIFY(commands >= 10);
        const QByteArray entry = readFile(root.filePath(QStringLiteral("usr/share/applications/tessaly.desktop")));
        for (const char *line : {"Exec=tessaly %f\n", "Icon=tessaly\n", "MimeType=application/x-tessaly-library;application/vnd.ms-access;\n", "Name[ja]="})
            QVERIFY2(entry.contains(line), line);
        const QString installedCli = root.filePath(QStringLiteral("usr/bin/tessaly-cli"));
        const QString demo = root.filePath(QStringLiteral("demo"));
        log = run(installedCli, {QStringLiteral("demo"), demo}, &rc);
        QVERIFY2(rc == 0, qPrintable(log));
        checkDemo(demo, installedCli);
    }
};

QTEST_GUILESS_MAIN(TestDemoPackage)
#include "test_demo_package.moc"
