// The default printer's paper and orientation kept in the user's own options file, the
// printer window, the restore at the end of the run and printing a window, against a real
// cupsd with PDF printers.
#include "CupsFixture.h"
#include "DialogService.h"
#include "EditorView.h"
#include "KeptEdit.h"
#include "Library.h"
#include "MainWindow.h"
#include "OptionsKeeper.h"
#include "PrintWindow.h"
#include "PrinterSettings.h"
#include "TestSupport.h"
#include "dataSet.h"
#include "Twips.h"
#include "prtPaperM.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QLabel>
#include <QMdiSubWindow>
#include <QProcess>
#include <QPushButton>
#include <QTextStream>
#include <QtTest>

#include <csignal>
#include <poll.h>

using namespace tessaly;
using namespace tessaly::test;

namespace {

QComboBox *combo(QWidget *f, int n) { return f->findChild<QComboBox *>(QStringLiteral("Combo%1").arg(n)); }

// Picks the texts (an empty one leaves that list as shown) in the paper window and runs it.
QString pickAndRun(htmlCrtMain &w, const QString &paper, const QString &orientation)
{
    w.action("用紙設定")->trigger();
    settle();
    QWidget *f = w.findWindow("prtPaperF");
    if (!f)
        return "no paper window";
    if (!paper.isEmpty())
        combo(f, 1)->setCurrentIndex(combo(f, 1)->findText(paper));
    if (!orientation.isEmpty())
        QTest::keyClick(combo(f, 2), orientation == "PORTRAIT" ? Qt::Key_Home : Qt::Key_End);
    if (combo(f, 2)->currentText() != orientation && !orientation.isEmpty())
        return "orientation not chosen";
    f->findChild<QPushButton *>("Command1")->click();
    settle();
    return w.findWindow("prtPaperF") ? "paper window still open" : "ok";
}

// A library with one category, genre and title ("t", no link yet), beside folder.
QString titleLibrary(const QString &folder)
{
    const QString lib = makeLibrary(folder);
    sql(lib, "insert into allTop (ID, allTop) values (1, ?)", {folder});
    sql(lib, "insert into photoGraph (topFolderName, topFolder) values ('C', ?)", {folder + "/C"});
    sql(lib, "insert into photoYear (ID, yearFolderName, yearFolder) values (1, 'G', ?)", {folder + "/C/G"});
    sql(lib, "insert into photoIvents (ID, ID1, iventsFolderName, iventsFolder) values (1, 1, 't', ?)", {folder + "/C/G/t"});
    return lib;
}

QWidget *editorOf(htmlCrtMain &w) { return w.findWindow("dataSet"); }

// The title "t" loaded in the editor, which the library's opening shows.
bool loadTitle(htmlCrtMain &w)
{
    auto *e = qobject_cast<dataSet *>(editorOf(w));
    if (!e)
        return false;
    e->list(EditorView::List::Genre)->setCurrentIndex(0);
    emit e->list(EditorView::List::Genre)->activated(0);
    e->screen().GridRowClicked(0);
    return e->f3Caption() == "更新";
}

// The program's run in a process of its own, driven line by line from stdin: "paper PAPER
// ORIENTATION", "edit LINK" (typed into the loaded title), "×" (the frame's close) or "終了"
// (which ends the process as the program does). With a library, that library is open; the
// signals end it as they end the program.
int ProgramRun(const QString &library)
{
    Global g = makeGlobal();
    ScriptedDialogService ds;
    prtPaperM printer;
    htmlCrtMain w(g, ds, printer);
    w.watchSessionEnd();
    w.startUp();
    w.show();
    settle();
    if (!library.isEmpty() && !w.openNamedLibrary(library))
        return 1;
    settle();
    QTextStream in(stdin), out(stdout);
    out << "ready" << Qt::endl;
    // The event loop runs between the lines, for the signals to come in.
    auto nextLine = [&in](QString *line) {
        pollfd input{0, POLLIN, 0};
        while (::poll(&input, 1, 0) == 0)
            QTest::qWait(10);
        return in.readLineInto(line);
    };
    for (QString line; nextLine(&line);) {
        const QStringList words = line.split(' ');
        if (words.value(0) == "paper") {
            out << pickAndRun(w, words.value(1), words.value(2)) << Qt::endl;
        } else if (words.value(0) == "edit") {
            auto *e = qobject_cast<dataSet *>(editorOf(w));
            QTest::qWait(100);  // the activation's auto-set question, answered No
            if (!e || !loadTitle(w)) {
                out << "no title loaded" << Qt::endl;
                continue;
            }
            e->field(EditorView::Field::TitleLink)->setFocus();
            QTest::keyClicks(e->field(EditorView::Field::TitleLink), words.value(1));
            out << "ok" << Qt::endl;
        } else if (words.value(0) == "×") {
            return w.close() ? 0 : 1;
        } else if (words.value(0) == "終了") {
            ds.queueYes();
            w.action("終了")->trigger();
            out << "終了 did not end the process" << Qt::endl;
            return 1;
        }
    }
    return 1;
}

// Another printer's entry and the user's own options that no paper setting touches.
const QByteArray kOther = "Dest Tessaly_Legal job-sheets=standard,none\n";
const QByteArray kFile = kOther + "Dest Tessaly_PDF job-sheets=standard,none media='iso_a5_148x210mm,tray-1' "
                                  "orientation-requested=4 PageRegion=A5\n";

}  // namespace

class TestPrtPaperF : public QObject {
    Q_OBJECT
    CupsFixture cups;
    prtPaperM printer;
    Global g;
    ScriptedDialogService ds;
    std::unique_ptr<htmlCrtMain> w;
    int ended = 0;
    QTemporaryDir tmp;

    void startMain(const QString &defaultPrinter = QString(), const QByteArray &file = kFile, bool server = true)
    {
        w.reset();
        QVERIFY(cups.setDefault(defaultPrinter.isEmpty() ? cups.printerName() : defaultPrinter));
        QVERIFY(cups.writeUserFile(file));
        cups.pointAt(server);
        w = std::make_unique<htmlCrtMain>(g, ds, printer);
        w->setEndHandler([this] { ++ended; });
        w->startUp();
        w->show();
        settle();
    }
    QWidget *openPrinterWindow()
    {
        w->action("用紙設定")->trigger();
        settle();
        return w->findWindow("prtPaperF");
    }
    // Picks a paper and an orientation, closes by 実行 or the frame.
    void choose(const QString &paper, const QString &orientation, bool execute)
    {
        if (execute) {
            QCOMPARE(pickAndRun(*w, paper, orientation), QString("ok"));
            return;
        }
        QWidget *f = openPrinterWindow();
        QVERIFY(f);
        combo(f, 1)->setCurrentIndex(combo(f, 1)->findText(paper));
        QTest::keyClick(combo(f, 2), Qt::Key_Home);
        w->subWindowOf(f)->close();
        settle();
        QVERIFY(!w->findWindow("prtPaperF"));
    }

private slots:
    void initTestCase()
    {
        QString why;
        if (!cups.start(&why))
            QSKIP(qPrintable(why));
        htmlCrtMain::setPrintHandler(PrintWindowImage);
    }
    void cleanupTestCase()
    {
        htmlCrtMain::setPrintHandler(nullptr);
        cups.stop();
    }
    void init()
    {
        cups.pointAt(true);
        QVERIFY(cups.setDefault(cups.printerName()));
        g = makeGlobal();
        ds.clear();
        ended = 0;
    }
    void cleanup()
    {
        w.reset(), settle();
        printer.RestoreSettings();  // the run ends with its window
    }

    void reads_data()
    {
        QTest::addColumn<QByteArray>("options");
        QTest::addColumn<int>("paper");
        QTest::addColumn<int>("orientation");
        QTest::newRow("printer's defaults") << QByteArray() << 9 << 1;
        QTest::newRow("pwg names") << QByteArray("media=jpn_hagaki_100x148mm orientation-requested=4") << 43 << 2;
        QTest::newRow("ppd page name") << QByteArray("media=A5") << 11 << 1;
        QTest::newRow("PageSize wins over media") << QByteArray("media=A5 PageSize=Letter") << 1 << 1;
        QTest::newRow("size with a source") << QByteArray("media='iso_a5_148x210mm,tray-1'") << 11 << 1;
        QTest::newRow("lp's landscape") << QByteArray("landscape") << 9 << 2;
        QTest::newRow("lp's landscape turned off") << QByteArray("landscape=no") << 9 << 1;
        QTest::newRow("lp's landscape, OFF") << QByteArray("landscape=OFF") << 9 << 1;
        // No code: read, not failed, so the printer stays usable.
        QTest::newRow("legal") << QByteArray("media=na_legal_8.5x14in") << 0 << 1;
        QTest::newRow("reverse landscape") << QByteArray("orientation-requested=5") << 9 << 2;
        QTest::newRow("reverse portrait") << QByteArray("orientation-requested=6") << 9 << 1;
    }
    void reads()
    {
        QFETCH(QByteArray, options);
        QFETCH(int, paper);
        QFETCH(int, orientation);
        QVERIFY(cups.writeUserFile(kOther + "Dest Tessaly_PDF " + options + "\n"));
        QCOMPARE(int(printer.GetPrinterPaperSize()), paper);
        QCOMPARE(int(printer.GetPrinterOrientation()), orientation);
    }

    // A write changes only its own setting (and the spellings of it that would win over
    // it) in the user's entry, in place; the restore gives the file back byte for byte.
    void writesAndRestores_data()
    {
        QTest::addColumn<QByteArray>("entry");  // the user's line for the default printer
        QTest::addColumn<bool>("paper");
        QTest::addColumn<int>("code");
        QTest::addColumn<QByteArray>("written");  // empty: the file is not touched
        const QByteArray mine = "Dest tessaly_pdf  job-sheets=standard,none PageSize=A5 landscape "
                                "media=\"A5,tray-1\" PageRegion=A5 number-up=2\n";
        QTest::newRow("A4SMALL") << mine << true << 10 << QByteArray("Dest tessaly_pdf  job-sheets=standard,none landscape "
                                                                      "media=iso_a4_210x297mm,tray-1 PageRegion=A5 number-up=2\n");
        QTest::newRow("PORTRAIT") << mine << false << 1 << QByteArray("Dest tessaly_pdf  job-sheets=standard,none PageSize=A5 "
                                                                       "media=\"A5,tray-1\" PageRegion=A5 number-up=2 orientation-requested=3\n");
        QTest::newRow("user's default kept as such") << QByteArray("Default Tessaly_PDF orientation-requested=3\n") << false
                                                     << 2 << QByteArray("Default Tessaly_PDF orientation-requested=4\n");
        QTest::newRow("the default alone, as lpoptions -d writes it") << QByteArray("Default Tessaly_PDF\n") << false << 2
                                                                      << QByteArray("Default Tessaly_PDF orientation-requested=4\n");
        QTest::newRow("no entry: a Dest line") << QByteArray() << true << 43
                                              << QByteArray("Dest Tessaly_PDF media=jpn_hagaki_100x148mm\n");
        // CUPS reads every line of the entry, the last one winning: the setting goes once into the last line.
        QTest::newRow("two lines, the setting twice") << QByteArray("Dest tessaly_pdf orientation-requested=4 number-up=2\n"
                                                                    "Dest tessaly_pdf landscape orientation-requested=5 orientation-requested=4\n")
                                                      << false << 1 << QByteArray("Dest tessaly_pdf number-up=2\nDest tessaly_pdf orientation-requested=3\n");
        // A value in braces is one word; a brace that closes nothing is a plain letter.
        QTest::newRow("braces") << QByteArray("Dest tessaly_pdf job-name={a b} x=} orientation-requested=4\n") << false << 1
                                << QByteArray("Dest tessaly_pdf job-name={a b} x=} orientation-requested=3\n");
        QTest::newRow("B4 unsupported") << mine << true << 12 << QByteArray();
        QTest::newRow("not a paper code") << mine << true << 0 << QByteArray();
        QTest::newRow("not an orientation") << mine << false << 0 << QByteArray();
    }
    void writesAndRestores()
    {
        QFETCH(QByteArray, entry);
        QFETCH(bool, paper);
        QFETCH(int, code);
        QFETCH(QByteArray, written);
        const QByteArray before = "# mine\n" + entry + kOther;
        QVERIFY(cups.writeUserFile(before));
        prtPaperM p;
        p.RememberSettings();
        paper ? p.SetPrinterPaperSize(int16_t(code)) : p.SetPrinterOrientation(int16_t(code));
        QCOMPARE(cups.userFile(), written.isEmpty() ? before : "# mine\n" + (entry.isEmpty() ? kOther + written : written + kOther));
        p.RestoreSettings();
        QCOMPARE(cups.userFile(), before);
    }

    // No file before: none after, unless another program wrote to it meanwhile. A change to
    // the printer that became the default during the run is put back too.
    void restoreRemovesWhatItAdded_data()
    {
        QTest::addColumn<QByteArray>("meanwhile");  // another program's line, kept
        QTest::newRow("nothing else") << QByteArray();
        QTest::newRow("another printer's entry") << QByteArray("Dest Tessaly_PDF number-up=2\n");
    }
    void restoreRemovesWhatItAdded()
    {
        QFETCH(QByteArray, meanwhile);
        QVERIFY(cups.writeUserFile(QByteArray()));
        prtPaperM p;
        p.RememberSettings();
        QVERIFY(cups.setDefault(cups.legalPrinter()));
        p.SetPrinterOrientation(2);
        QCOMPARE(cups.userFile(), QByteArray("Dest Tessaly_Legal orientation-requested=4\n"));
        QVERIFY(cups.writeUserFile(cups.userFile() + meanwhile));
        p.RestoreSettings();
        QCOMPARE(QFile::exists(cups.userOptionsFile()), !meanwhile.isEmpty());
        QCOMPARE(cups.userFile(), meanwhile);
    }

    // Opens on what the printer has, the printer named on its two rows, one above the
    // other; again after a change.
    void windowAsOpened()
    {
        startMain();
        for (const QString expected : {"A5LANDSCAPE横", "JAPANESE_POSTCARDPORTRAIT縦"}) {
            QWidget *f = openPrinterWindow();
            QVERIFY(f);
            QStringList shown{f->windowTitle()};
            for (QLabel *l : f->findChildren<QLabel *>())
                shown << l->text();
            for (QComboBox *box : {combo(f, 1), combo(f, 2)})
                for (int i = 0; i < box->count(); ++i)
                    shown << box->itemText(i) + '=' + box->itemData(i).toString();
            QCOMPARE(shown.count(cups.printerName()), 2);
            QCOMPARE(shown.filter("=").join(' '), QStringLiteral("LETTER=1 LETTERSMALL=2 A3=8 A4=9 A4SMALL=10 A5=11 B4=12 B5=13 NOTE=18 "
                                                  "JAPANESE_POSTCARD=43 PORTRAIT=1 LANDSCAPE=2"));
            QCOMPARE(shown.mid(0, 8), (QStringList{"用紙設定", "プリンタ名", cups.printerName(), "用紙", "プリンタ名",
                                                   cups.printerName(), "印刷方向", expected.right(1)}));
            const auto at = [f](const char *name) { return f->findChild<QWidget *>(name)->geometry(); };
            QVERIFY(at("Label4").top() > at("Combo1").bottom() && at("Label4").bottom() < at("Combo2").top());
            QCOMPARE(at("Label4").right(), at("Label1").right());
            QCOMPARE(at("Label6").left(), at("Label3").left());
            QCOMPARE(at("Label6").top(), at("Label4").top());
            QVERIFY(f->findChild<QLabel *>("Label4")->alignment() & Qt::AlignRight);
            QCOMPARE(w->subWindowOf(f)->size(), twipsToPixels(5145, 3945));
            QCOMPARE(combo(f, 1)->currentText() + combo(f, 2)->currentText() + f->findChild<QLabel *>("Label7")->text(),
                     expected);
            w->subWindowOf(f)->close();
            settle();
            if (expected.startsWith("A5"))
                choose("JAPANESE_POSTCARD", "PORTRAIT", true);
        }
    }

    // The user's file is written only by 実行, only in the settings changed in the window,
    // and comes back byte for byte when the main window closes, by its frame or by 終了. The
    // default printer is never pinned: it follows the server's.
    void endOfRun_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("paper");        // empty: left as shown
        QTest::addColumn<QString>("orientation");  // empty: left as shown
        QTest::addColumn<bool>("execute");         // else closed by the frame
        QTest::addColumn<QByteArray>("written");   // the file once the paper window closed
        QTest::addColumn<bool>("viaExit");
        const QByteArray changed = kOther + "Dest Tessaly_PDF job-sheets=standard,none "
                                            "media=jpn_hagaki_100x148mm,tray-1 orientation-requested=3 PageRegion=A5\n";
        QTest::newRow("untouched") << kFile << "" << "" << false << kFile << false;
        QTest::newRow("no file, untouched") << QByteArray() << "" << "" << false << QByteArray() << false;
        QTest::newRow("closed by the frame") << kFile << "JAPANESE_POSTCARD" << "PORTRAIT" << false << kFile << false;
        QTest::newRow("実行, then closed") << kFile << "JAPANESE_POSTCARD" << "PORTRAIT" << true << changed << false;
        QTest::newRow("実行, then 終了") << kFile << "JAPANESE_POSTCARD" << "PORTRAIT" << true << changed << true;
        QTest::newRow("as shown: nothing written") << kFile << "A5" << "LANDSCAPE" << true << kFile << false;
        // Shown as PORTRAIT, the way the pages come out, but not asked for.
        QTest::newRow("paper alone: no orientation") << QByteArray("Dest Tessaly_PDF media=A5\n") << "JAPANESE_POSTCARD"
                                                     << "" << true << QByteArray("Dest Tessaly_PDF media=jpn_hagaki_100x148mm\n")
                                                     << true;
        QTest::newRow("no file, orientation alone") << QByteArray() << "" << "LANDSCAPE" << true
                                                    << QByteArray("Dest Tessaly_PDF orientation-requested=4\n") << false;
    }
    void endOfRun()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, paper);
        QFETCH(QString, orientation);
        QFETCH(bool, execute);
        QFETCH(QByteArray, written);
        QFETCH(bool, viaExit);
        startMain(cups.printerName(), file);
        if (!paper.isEmpty() || !orientation.isEmpty())
            choose(paper, orientation, execute);
        QCOMPARE(cups.userFile(), written);
        if (viaExit)
            ds.queueYes(), w->action("終了")->trigger();
        else
            QVERIFY(w->close());
        QCOMPARE(ended, viaExit ? 1 : 0);
        QCOMPARE(cups.userFile(), file);
        QCOMPARE(QFile::exists(cups.userOptionsFile()), !file.isNull());
        QVERIFY(cups.setDefault(cups.legalPrinter()));
        QCOMPARE(DefaultPrinterName(), cups.legalPrinter());
    }

    // Two program processes at once (two libraries open), started, changed and ended in
    // every order, by the frame's ×, 終了 or being killed: a live run keeps what the runs
    // set, and the user's file ends as it began. Each step is "A|B start", "A|B paper PAPER
    // ORIENTATION", "A|B ×", "A|B 終了" or "A|B kill"; papers is the paper read after each.
    void overlappingRuns_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QList<int>>("papers");
        const QString a = "A paper JAPANESE_POSTCARD PORTRAIT", b = "B paper A4 LANDSCAPE";
        QTest::newRow("A writes, B starts; A ×, B ×") << kFile << QStringList{"A start", a, "B start", "A ×", "B ×"}
                                                     << QList<int>{11, 43, 43, 43, 11};
        QTest::newRow("A writes, B starts; B ×, A 終了") << kFile << QStringList{"A start", a, "B start", "B ×", "A 終了"}
                                                       << QList<int>{11, 43, 43, 43, 11};
        QTest::newRow("both write; A ×, B 終了") << kFile << QStringList{"A start", a, "B start", b, "A ×", "B 終了"}
                                                << QList<int>{11, 43, 43, 9, 9, 11};
        QTest::newRow("both write; B 終了, A ×") << kFile << QStringList{"A start", a, "B start", b, "B 終了", "A ×"}
                                                << QList<int>{11, 43, 43, 9, 9, 11};
        QTest::newRow("no file; both write; A 終了, B ×") << QByteArray() << QStringList{"B start", b, "A start", a, "A 終了", "B ×"}
                                                         << QList<int>{9, 9, 9, 43, 43, 9};
        QTest::newRow("B writes after A ended") << kFile << QStringList{"A start", a, "B start", "A ×", b, "B ×"}
                                               << QList<int>{11, 43, 43, 43, 9, 11};
        QTest::newRow("A killed, B ×") << kFile << QStringList{"A start", a, "B start", b, "A kill", "B ×"}
                                      << QList<int>{11, 43, 43, 9, 9, 11};
        QTest::newRow("A killed alone, B starts") << kFile << QStringList{"A start", a, "A kill", "B start", "B 終了"}
                                                 << QList<int>{11, 43, 43, 11, 11};
    }
    void overlappingRuns()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, steps);
        QFETCH(QList<int>, papers);
        QVERIFY(cups.writeUserFile(file));
        QMap<QString, QProcess *> runs;
        const auto stop = qScopeGuard([&] { qDeleteAll(runs); });
        for (int i = 0; i < steps.size(); ++i) {
            const QString step = steps[i], who = step.section(' ', 0, 0), what = step.section(' ', 1);
            QProcess *p = runs.value(who);
            if (what == "start") {
                p = runs[who] = new QProcess;
                p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
                p->start(QCoreApplication::applicationFilePath(), {"--program-run"});
                QVERIFY(p->waitForReadyRead(30000));
                QCOMPARE(p->readLine().trimmed(), QByteArray("ready"));
            } else if (what == "kill") {
                p->kill();
                QVERIFY(p->waitForFinished(30000));
            } else if (what.startsWith("paper")) {
                p->write(what.toUtf8() + '\n');
                QVERIFY(p->waitForReadyRead(30000));
                QCOMPARE(p->readLine().trimmed(), QByteArray("ok"));
            } else {
                p->write(what.toUtf8() + '\n');
                QVERIFY(p->waitForFinished(30000));
                QVERIFY2(p->exitStatus() == QProcess::NormalExit && p->exitCode() == 0, p->readAll().constData());
            }
            QVERIFY2(printer.GetPrinterPaperSize() == papers[i], qPrintable(step));
        }
        QCOMPARE(cups.userFile(), file);
        QCOMPARE(QFile::exists(cups.userOptionsFile()), !file.isNull());
        // The state the runs shared is done with; only the locks' file stays.
        QCOMPARE(QDir(OptionsKeeper::stateFolder()).entryList(QDir::Files), QStringList{"lock"});
    }

    // SIGTERM, SIGHUP and SIGINT end a run as its close would, without asking, and as the
    // signal's own end: the user's options file back byte for byte, the run counted out,
    // the title's edit kept beside the library and nothing written into the library. The
    // next opening offers the edit: はい shows it as typed, for F3 to write; いいえ discards it.
    void signalEnds_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<bool>("show");
        QTest::newRow("SIGTERM, shown and saved") << int(SIGTERM) << true;
        QTest::newRow("SIGHUP, discarded") << int(SIGHUP) << false;
        QTest::newRow("SIGINT, shown and saved") << int(SIGINT) << true;
    }
    void signalEnds()
    {
        QFETCH(int, signal);
        QFETCH(bool, show);
        const QString lib = titleLibrary(makeDir(tmp.path() + "/" + QTest::currentDataTag()));
        const QString keptPath = lib + ".tessaly-recovery";
        auto stored = [&] { return sqlColumn(lib, "select coalesce(iventsLink, '-') from photoIvents"); };
        QVERIFY(cups.writeUserFile(kFile));
        QProcess p;
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.start(QCoreApplication::applicationFilePath(), {"--program-run", lib});
        QVERIFY(p.waitForReadyRead(30000));
        QCOMPARE(p.readLine().trimmed(), QByteArray("ready"));
        for (const QByteArray step : {QByteArray("paper JAPANESE_POSTCARD PORTRAIT"), QByteArray("edit http://typed")}) {
            p.write(step + '\n');
            QVERIFY(p.waitForReadyRead(30000));
            QCOMPARE(p.readLine().trimmed(), QByteArray("ok"));
        }
        QVERIFY(cups.userFile() != kFile);
        ::kill(p.processId(), signal);
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitStatus(), QProcess::CrashExit);
        QCOMPARE(p.exitCode(), signal);
        QCOMPARE(cups.userFile(), kFile);
        QCOMPARE(QDir(OptionsKeeper::stateFolder()).entryList(QDir::Files), QStringList{"lock"});
        QCOMPARE(stored(), QStringList{"-"});
        const QJsonObject kept = QJsonDocument::fromJson(readFile(keptPath)).object();
        QCOMPARE(kept["typed"].toObject()["iventsLink"].toString(), QString("http://typed"));
        QCOMPARE(kept["loaded"].toObject()["iventsLink"].toString(), QString());
        QCOMPARE(kept["typed"].toObject()["iventsFolder"].toString(), QFileInfo(lib).path() + "/C/G/t");
        QCOMPARE(kept["ID2"].toInt(), 1);

        startMain();
        ds.queueNo();  // the activation's auto-set
        ds.queueAnswer(show ? MsgAnswer::Yes : MsgAnswer::No);
        QVERIFY(w->openNamedLibrary(lib));
        QTRY_VERIFY(!QFile::exists(keptPath));
        QStringList asked;
        for (const MessageRequest &m : ds.messages())
            asked << m.text;
        QCOMPARE(asked, QStringList({"ｵｰﾄｾｯﾄを実行しますか？", "前回、保存されずに終了した入力があります。\n\r「t」\n\r表示しますか？"}));
        auto *e = qobject_cast<dataSet *>(w->findWindow("dataSet"));
        QVERIFY(e);
        QLineEdit *link = e->field(EditorView::Field::TitleLink);
        QCOMPARE(link->text(), show ? QString("http://typed") : QString());
        QCOMPARE(e->f3Caption(), show ? QString("更新") : QString());
        QCOMPARE(stored(), QStringList{"-"});
        if (show) {
            ds.queueYes();  // タイトル情報を更新しますか？
            link->setFocus();
            QTest::keyClick(link, Qt::Key_F3);
            QCOMPARE(stored(), QStringList{"http://typed"});
        }
    }

    // The program itself ends by a signal as by its close. This test's run wrote the paper
    // and ended first, so putting it back falls to the program's run.
    void programEndsBySignal_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGHUP") << int(SIGHUP);
        QTest::newRow("SIGINT") << int(SIGINT);
    }
    void programEndsBySignal()
    {
        QFETCH(int, signal);
        QVERIFY(cups.writeUserFile(kFile));
        const QDir state(OptionsKeeper::stateFolder());
        QProcess p;
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.start(binDir() + "/tessaly");
        const QString run = QStringLiteral("run-%1-*").arg(p.processId());
        QTRY_COMPARE_WITH_TIMEOUT(state.entryList({run}, QDir::Files).size(), 1, 30000);
        prtPaperM other;
        other.RememberSettings();
        other.SetPrinterPaperSize(43);
        other.SetPrinterOrientation(1);
        other.RestoreSettings();
        QVERIFY(cups.userFile() != kFile);
        ::kill(p.processId(), signal);
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitStatus(), QProcess::CrashExit);
        QCOMPARE(p.exitCode(), signal);
        QCOMPARE(cups.userFile(), kFile);
        QCOMPARE(state.entryList(QDir::Files), QStringList{"lock"});
    }

    // A later change to the printer's entry, by the user or another program, stays.
    void laterChangeStays()
    {
        QVERIFY(cups.writeUserFile(kFile));
        prtPaperM p;
        p.RememberSettings();
        p.SetPrinterPaperSize(43);
        const QByteArray user = kOther + "Dest Tessaly_PDF media=na_letter_8.5x11in\n";
        QVERIFY(cups.writeUserFile(user));
        p.RestoreSettings();
        QCOMPARE(cups.userFile(), user);
    }

    // A paper with no code: the paper list shows none, 実行 sets the orientation alone, and
    // the close puts the user's entry back.
    void legalPrinterStaysUsable()
    {
        startMain(cups.legalPrinter(), kOther);
        QWidget *f = openPrinterWindow();
        QVERIFY(f);
        QCOMPARE(combo(f, 1)->currentIndex(), -1);
        QTest::keyClick(combo(f, 2), Qt::Key_End);
        f->findChild<QPushButton *>("Command1")->click();
        QCOMPARE(cups.userFile(), QByteArray("Dest Tessaly_Legal job-sheets=standard,none orientation-requested=4\n"));
        QVERIFY(w->close());
        QCOMPARE(cups.userFile(), kOther);
    }

    // With no server reads give -1, writes and the restore change nothing, and every
    // window's 用紙設定 and 印刷 are off; a printer on Legal is usable.
    void printerItems_data()
    {
        QTest::addColumn<bool>("server");
        QTest::newRow("no server") << false;
        QTest::newRow("legal printer") << true;
    }
    void printerItems()
    {
        QFETCH(bool, server);
        g = makeGlobal(makeLibrary(tmp.path(), "np.mdb"));
        startMain(cups.legalPrinter(), kFile, server);
        QCOMPARE(g.printerUnavailable, !server);
        for (const QString window : {"", "topFolderF", "htmlOut", "dataSet"}) {
            QWidget *target = window.isEmpty() ? w.get() : w->showWindow(window);
            QVERIFY(target);
            for (const char *item : {"用紙設定", "印刷"}) {
                auto *a = target->findChild<QAction *>(QString::fromUtf8(item));
                QVERIFY2(a && a->isEnabled() == server, qPrintable(window + item));
            }
        }
        if (server)
            return;
        QCOMPARE(printer.GetPrinterPaperSize(), int16_t(-1));
        QCOMPARE(printer.GetPrinterOrientation(), int16_t(-1));
        QCOMPARE(DefaultPrinterName(), QString());
        printer.SetPrinterPaperSize(43);
        printer.SetPrinterOrientation(1);
        printer.RestoreSettings();
        QCOMPARE(cups.userFile(), kFile);
    }

    void printing_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QByteArray>("options");  // empty: answer No
        QTest::addColumn<QSizeF>("paper");          // in points
        QTest::addColumn<bool>("landscape");
        QTest::newRow("A4 landscape") << "topFolderF" << QByteArray("media=iso_a4_210x297mm orientation-requested=4")
                                      << QSizeF(595, 842) << true;
        QTest::newRow("postcard portrait") << "htmlOut" << QByteArray("media=jpn_hagaki_100x148mm orientation-requested=3")
                                           << QSizeF(283, 420) << false;
        QTest::newRow("letter, printer's orientation") << "dataSet" << QByteArray("media=na_letter_8.5x11in")
                                                       << QSizeF(612, 792) << false;
        QTest::newRow("No") << "htmlOut" << QByteArray() << QSizeF() << false;
    }
    void printing()
    {
        QFETCH(QString, window);
        QFETCH(QByteArray, options);
        QFETCH(QSizeF, paper);
        QFETCH(bool, landscape);
        const bool yes = !options.isEmpty();
        startMain(QString(), yes ? "Dest Tessaly_PDF " + options + '\n' : kFile);
        g.dbConnectString = makeGlobal(makeLibrary(tmp.path(), "p.mdb")).dbConnectString;
        QWidget *target = w->showWindow(window);
        QVERIFY(target);
        settle();
        ds.clear();
        QFile::remove(cups.outputPdf());
        const int jobsBefore = cups.jobCount();
        yes ? ds.queueYes() : ds.queueNo();
        auto *item = target->findChild<QAction *>("印刷");
        QVERIFY(item && item->isEnabled());
        item->trigger();
        QCOMPARE(ds.messages().size(), 1);
        QVERIFY(cups.waitIdle());
        QCOMPARE(cups.jobCount(), jobsBefore + (yes ? 1 : 0));
        QTRY_COMPARE(QFile::exists(cups.outputPdf()), yes);
        if (!yes)
            return;
        const PdfPage out = CupsFixture::pdfPage(cups.outputPdf());
        QString seen;
        QDebug(&seen) << "picture" << out.picture << "on a sheet of" << out.sheet;
        // The window is wider than tall: laid out in landscape, it runs along the sheet's long
        // side, else across it, as large as the margins allow.
        const QSize pic = out.picture.size(), sheet = out.sheet;
        const bool alongLongSide = (pic.width() > pic.height()) == (sheet.width() > sheet.height());
        const int side = alongLongSide ? qMax(sheet.width(), sheet.height()) : qMin(sheet.width(), sheet.height());
        QVERIFY2(out.isSize(paper) && alongLongSide == landscape, qPrintable(seen));
        QVERIFY2(qMax(pic.width(), pic.height()) > 0.75 * side, qPrintable(seen));
    }
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], "--program-run") == 0)
        return ProgramRun(QString::fromLocal8Bit(argc > 2 ? argv[2] : ""));
    app.setAttribute(Qt::AA_Use96Dpi, true);
    TestPrtPaperF test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "test_prtPaperF.moc"
