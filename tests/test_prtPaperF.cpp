// The default printer's paper and orientation kept in the user's own options file, the
// printer window, the restore at the end of the run and printing a window, against a real
// cupsd with PDF printers.
#include "CupsFixture.h"
#include "DialogService.h"
#include "MainWindow.h"
#include "PrintWindow.h"
#include "PrinterSettings.h"
#include "TestSupport.h"
#include "Twips.h"
#include "prtPaperM.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QtTest>

using namespace tessaly;
using namespace tessaly::test;

namespace {

QComboBox *combo(QWidget *f, int n) { return f->findChild<QComboBox *>(QStringLiteral("Combo%1").arg(n)); }

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
        QWidget *f = openPrinterWindow();
        QVERIFY(f);
        combo(f, 1)->setCurrentIndex(combo(f, 1)->findText(paper));
        QTest::keyClick(combo(f, 2), orientation == "PORTRAIT" ? Qt::Key_Home : Qt::Key_End);
        QCOMPARE(combo(f, 2)->currentText(), orientation);
        if (execute)
            f->findChild<QPushButton *>("Command1")->click();
        else
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
    void cleanup() { w.reset(), settle(); }

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
        QTest::newRow("no entry: a Dest line") << QByteArray() << true << 43
                                              << QByteArray("Dest Tessaly_PDF media=jpn_hagaki_100x148mm\n");
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

    // No file before: none after. A change to the printer that became the default during
    // the run is put back too.
    void restoreRemovesWhatItAdded()
    {
        QVERIFY(cups.writeUserFile(QByteArray()));
        prtPaperM p;
        p.RememberSettings();
        QVERIFY(cups.setDefault(cups.legalPrinter()));
        p.SetPrinterOrientation(2);
        QCOMPARE(cups.userFile(), QByteArray("Dest Tessaly_Legal orientation-requested=4\n"));
        p.RestoreSettings();
        QVERIFY(!QFile::exists(cups.userOptionsFile()));
    }

    // Opens on what the printer has, the printer named once; again after a change.
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
            QCOMPARE(shown.count(cups.printerName()), 1);
            QCOMPARE(shown.filter("=").join(' '), QStringLiteral("LETTER=1 LETTERSMALL=2 A3=8 A4=9 A4SMALL=10 A5=11 B4=12 B5=13 NOTE=18 "
                                                  "JAPANESE_POSTCARD=43 PORTRAIT=1 LANDSCAPE=2"));
            QCOMPARE(shown.mid(0, 6), (QStringList{"用紙設定", "プリンタ名", cups.printerName(), "用紙", "印刷方向", expected.right(1)}));
            QCOMPARE(w->subWindowOf(f)->size(), twipsToPixels(5145, 3945));
            QCOMPARE(combo(f, 1)->currentText() + combo(f, 2)->currentText() + f->findChild<QLabel *>("Label7")->text(),
                     expected);
            w->subWindowOf(f)->close();
            settle();
            if (expected.startsWith("A5"))
                choose("JAPANESE_POSTCARD", "PORTRAIT", true);
        }
    }

    // The user's file is written only by 実行, only in the two settings, and comes back
    // byte for byte when the main window closes; 終了 leaves the change. The default
    // printer is never pinned: it follows the server's.
    void endOfRun_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("how");  // 0 untouched, 1 closed by the frame, 2 実行
        QTest::addColumn<bool>("viaExit");
        QTest::newRow("untouched") << kFile << 0 << false;
        QTest::newRow("no file, untouched") << QByteArray() << 0 << false;
        QTest::newRow("closed by the frame") << kFile << 1 << false;
        QTest::newRow("実行, then closed") << kFile << 2 << false;
        QTest::newRow("実行, then 終了") << kFile << 2 << true;
    }
    void endOfRun()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, how);
        QFETCH(bool, viaExit);
        startMain(cups.printerName(), file);
        if (how)
            choose("JAPANESE_POSTCARD", "PORTRAIT", how == 2);
        const QByteArray changed = kOther + "Dest Tessaly_PDF job-sheets=standard,none "
                                            "media=jpn_hagaki_100x148mm,tray-1 orientation-requested=3 PageRegion=A5\n";
        QCOMPARE(cups.userFile(), how == 2 ? changed : file);
        if (viaExit)
            ds.queueYes(), w->action("終了")->trigger();
        else
            QVERIFY(w->close());
        QCOMPARE(ended, viaExit ? 1 : 0);
        QCOMPARE(cups.userFile(), viaExit ? changed : file);
        QCOMPARE(QFile::exists(cups.userOptionsFile()), !file.isNull() || viaExit);
        QVERIFY(cups.setDefault(cups.legalPrinter()));
        QCOMPARE(DefaultPrinterName(), cups.legalPrinter());
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

QTEST_MAIN(TestPrtPaperF)
#include "test_prtPaperF.moc"
