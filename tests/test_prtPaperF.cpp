// The printer window, the restore at the end of the run and printing a window, against
// a real cupsd with a PDF printer.
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

void settle()
{
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

QComboBox *combo(QWidget *f, int n) { return f->findChild<QComboBox *>(QStringLiteral("Combo%1").arg(n)); }

QStringList itemsWithCodes(QComboBox *box)
{
    QStringList items;
    for (int i = 0; i < box->count(); ++i)
        items << box->itemText(i) + '=' + box->itemData(i).toString();
    return items;
}

}  // namespace

// The user's own options: another printer's entry, and extras beside the paper settings.
static const QByteArray kFile = "Dest Tessaly_Legal job-sheets=standard,none\n"
                                "Dest Tessaly_PDF job-sheets=standard,none media='iso_a5_148x210mm,tray-1' "
                                "orientation-requested=4 PageRegion=A5\n";

class TestPrtPaperF : public QObject {
    Q_OBJECT
    CupsFixture cups;
    prtPaperM printer;
    Global g;
    ScriptedDialogService ds;
    std::unique_ptr<htmlCrtMain> w;
    int ended = 0;
    QTemporaryDir tmp;

    void startMain()
    {
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
    void restart(const QString &defaultPrinter, const QByteArray &file)
    {
        w.reset();
        QVERIFY(cups.setDefault(defaultPrinter));
        QVERIFY(cups.writeUserFile(file));
        startMain();
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
        QVERIFY(cups.writeUserFile(kFile));
        g = makeGlobal();
        ds.clear();
        ended = 0;
        startMain();
    }
    void cleanup() { w.reset(), settle(); }

    // Opens on what the printer has, the printer named once; again after a change.
    void windowAsOpened()
    {
        const QStringList rounds{"A5LANDSCAPE横", "JAPANESE_POSTCARDPORTRAIT縦"};
        for (const QString &expected : rounds) {
            QWidget *f = openPrinterWindow();
            QVERIFY(f);
            QStringList labels;
            for (QLabel *l : f->findChildren<QLabel *>())
                labels << l->text();
            QCOMPARE(f->windowTitle(), QStringLiteral("用紙設定"));
            QCOMPARE(w->subWindowOf(f)->size(), twipsToPixels(5145, 3945));
            QCOMPARE(labels.count(cups.printerName()), 1);
            QCOMPARE(itemsWithCodes(combo(f, 1)) + itemsWithCodes(combo(f, 2)),
                     (QStringList{"LETTER=1", "LETTERSMALL=2", "A3=8", "A4=9", "A4SMALL=10", "A5=11", "B4=12", "B5=13",
                                  "NOTE=18", "JAPANESE_POSTCARD=43", "PORTRAIT=1", "LANDSCAPE=2"}));
            QCOMPARE(combo(f, 1)->currentText() + combo(f, 2)->currentText() + f->findChild<QLabel *>("Label7")->text(),
                     expected);
            w->subWindowOf(f)->close();
            settle();
            if (expected == rounds.first())
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
        restart(cups.printerName(), file);
        if (how)
            choose("JAPANESE_POSTCARD", "PORTRAIT", how == 2);
        const QByteArray changed = "Dest Tessaly_Legal job-sheets=standard,none\nDest Tessaly_PDF job-sheets=standard,none "
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
        const QByteArray file = "Dest Tessaly_Legal job-sheets=standard,none\n";
        restart(cups.legalPrinter(), file);
        QWidget *f = openPrinterWindow();
        QVERIFY(f);
        QCOMPARE(combo(f, 1)->currentIndex(), -1);
        QTest::keyClick(combo(f, 2), Qt::Key_End);
        f->findChild<QPushButton *>("Command1")->click();
        QCOMPARE(cups.userFile(), QByteArray("Dest Tessaly_Legal job-sheets=standard,none orientation-requested=4\n"));
        QVERIFY(w->close());
        QCOMPARE(cups.userFile(), file);
    }

    // With no server every window's 用紙設定 and 印刷 are off; a printer on Legal is usable.
    void printerItems_data()
    {
        QTest::addColumn<bool>("server");
        QTest::newRow("no server") << false;
        QTest::newRow("legal printer") << true;
    }
    void printerItems()
    {
        QFETCH(bool, server);
        w.reset();
        QVERIFY(cups.setDefault(cups.legalPrinter()));
        cups.pointAt(server);
        g = makeGlobal(makeLibrary(tmp.path(), "np.mdb"));
        startMain();
        QCOMPARE(g.printerUnavailable, !server);
        for (const QString window : {"", "topFolderF", "htmlOut", "dataSet"}) {
            QWidget *target = window.isEmpty() ? w.get() : w->showWindow(window);
            QVERIFY(target);
            for (const char *item : {"用紙設定", "印刷"}) {
                auto *a = target->findChild<QAction *>(QString::fromUtf8(item));
                QVERIFY2(a && a->isEnabled() == server, qPrintable(window + item));
            }
        }
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
        if (yes)
            QVERIFY(cups.writeUserFile("Dest Tessaly_PDF " + options + '\n'));
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
        if (!yes) {
            QVERIFY(!QFile::exists(cups.outputPdf()));
            return;
        }
        QTRY_VERIFY(QFile::exists(cups.outputPdf()));
        const PdfPage out = CupsFixture::pdfPage(cups.outputPdf());
        const QString seen = QStringLiteral("picture %1 x %2 at %3,%4 on a sheet of %5 x %6")
                                 .arg(out.picture.width()).arg(out.picture.height()).arg(out.picture.x())
                                 .arg(out.picture.y()).arg(out.sheet.width()).arg(out.sheet.height());
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
