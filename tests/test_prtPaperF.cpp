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
    // Picks a paper and PORTRAIT and closes by 実行 or the frame.
    void choose(const QString &paper, bool execute)
    {
        QWidget *f = openPrinterWindow();
        QVERIFY(f);
        combo(f, 1)->setCurrentIndex(combo(f, 1)->findText(paper));
        combo(f, 2)->setCurrentIndex(0);
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
        // What the user had before the run: A5, landscape.
        QString out;
        QVERIFY2(cups.setUserOptions({"media=iso_a5_148x210mm", "orientation-requested=4"}, &out), qPrintable(out));
        g = makeGlobal();
        ds.clear();
        ended = 0;
        startMain();
    }
    void cleanup() { w.reset(), settle(); }

    // As opened, and again after each way of closing: A4 and LANDSCAPE, not what the printer has.
    void windowAsOpened()
    {
        QCOMPARE(g.savedPaperSize, int16_t(11));
        QCOMPARE(g.savedOrientation, int16_t(2));
        QVERIFY(!g.printerUnavailable);
        for (int round = 0; round < 3; ++round) {
            if (round > 0)
                choose("JAPANESE_POSTCARD", round == 2);
            QWidget *f = openPrinterWindow();
            QVERIFY(f);
            const auto label = [f](const char *name) { return f->findChild<QLabel *>(name)->text(); };
            QCOMPARE(f->windowTitle(), QStringLiteral("用紙設定"));
            QCOMPARE(w->subWindowOf(f)->size(), twipsToPixels(5145, 3945));
            QCOMPARE(label("Label3") + '|' + label("Label6"), cups.printerName() + '|' + cups.printerName());
            QCOMPARE(itemsWithCodes(combo(f, 1)), (QStringList{"LETTER=1", "LETTERSMALL=2", "A3=8", "A4=9", "A4SMALL=10",
                                                               "A5=11", "B4=12", "B5=13", "NOTE=18", "JAPANESE_POSTCARD=43"}));
            QCOMPARE(itemsWithCodes(combo(f, 2)), (QStringList{"PORTRAIT=1", "LANDSCAPE=2"}));
            QCOMPARE(combo(f, 1)->currentText() + combo(f, 2)->currentText() + label("Label7"), QStringLiteral("A4LANDSCAPE横"));
            QTest::keyClick(combo(f, 2), Qt::Key_Up);
            QCOMPARE(label("Label7"), QStringLiteral("縦"));
            w->subWindowOf(f)->close();
            settle();
        }
    }

    // A paper the printer lacks is passed over; the orientation is still written.
    void execute_data()
    {
        QTest::addColumn<QString>("paper");
        QTest::addColumn<bool>("execute");
        QTest::addColumn<QString>("media");
        QTest::addColumn<QString>("orientation");
        QTest::newRow("postcard, portrait") << "JAPANESE_POSTCARD" << true << "jpn_hagaki_100x148mm" << "3";
        QTest::newRow("closed by the frame") << "LETTER" << false << "iso_a5_148x210mm" << "4";
        QTest::newRow("B4 unsupported") << "B4" << true << "iso_a5_148x210mm" << "3";
    }
    void execute()
    {
        QFETCH(QString, paper);
        QFETCH(bool, execute);
        QFETCH(QString, media);
        QFETCH(QString, orientation);
        QFile lp(cups.userOptionsFile());
        QVERIFY(lp.open(QIODevice::ReadOnly));
        const QByteArray before = lp.readAll();
        lp.close();
        choose(paper, execute);
        QCOMPARE(cups.userOption("media"), media);
        QCOMPARE(cups.userOption("orientation-requested"), orientation);
        if (!execute) {
            QVERIFY(lp.open(QIODevice::ReadOnly));
            QCOMPARE(lp.readAll(), before);
        }
        QVERIFY(ds.calls.isEmpty());
    }

    // Closing the main window puts back what the printer had at start-up; 終了 does not.
    void endOfRun_data()
    {
        QTest::addColumn<bool>("viaExit");
        QTest::newRow("main window closed") << false;
        QTest::newRow("終了") << true;
    }
    void endOfRun()
    {
        QFETCH(bool, viaExit);
        choose("JAPANESE_POSTCARD", true);
        if (viaExit)
            ds.queueYes(), w->action("終了")->trigger();
        else
            QVERIFY(w->close());
        QCOMPARE(ended, viaExit ? 1 : 0);
        QCOMPARE(cups.userOption("media"), QString(viaExit ? "jpn_hagaki_100x148mm" : "iso_a5_148x210mm"));
        QCOMPARE(cups.userOption("orientation-requested"), QString(viaExit ? "3" : "4"));
    }

    void noPrinterDisablesTheItems_data()
    {
        QTest::addColumn<QString>("window");
        QTest::newRow("main window") << "";
        QTest::newRow("base folder window") << "topFolderF";
        QTest::newRow("output folder window") << "htmlOut";
        QTest::newRow("editor") << "dataSet";
    }
    void noPrinterDisablesTheItems()
    {
        QFETCH(QString, window);
        w.reset();
        cups.pointAt(false);
        g = makeGlobal(makeLibrary(tmp.path(), "np.mdb"));
        startMain();
        QVERIFY(g.printerUnavailable);
        QWidget *target = window.isEmpty() ? w.get() : w->showWindow(window);
        QVERIFY(target);
        for (const char *item : {"用紙設定", "印刷"}) {
            auto *a = target->findChild<QAction *>(QString::fromUtf8(item));
            QVERIFY2(a && !a->isEnabled(), item);
        }
    }

    void printing_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QStringList>("options");  // empty: answer No
        QTest::addColumn<QSizeF>("paper");          // in points
        QTest::addColumn<bool>("landscape");
        QTest::newRow("A4 landscape") << "topFolderF" << QStringList{"media=iso_a4_210x297mm", "orientation-requested=4"}
                                      << QSizeF(595, 842) << true;
        QTest::newRow("postcard portrait") << "htmlOut" << QStringList{"media=jpn_hagaki_100x148mm", "orientation-requested=3"}
                                           << QSizeF(283, 420) << false;
        QTest::newRow("letter, printer's orientation") << "dataSet" << QStringList{"media=na_letter_8.5x11in"}
                                                       << QSizeF(612, 792) << false;
        QTest::newRow("No") << "htmlOut" << QStringList{} << QSizeF() << false;
    }
    void printing()
    {
        QFETCH(QString, window);
        QFETCH(QStringList, options);
        QFETCH(QSizeF, paper);
        QFETCH(bool, landscape);
        const bool yes = !options.isEmpty();
        if (yes)
            QVERIFY(cups.setUserOptions(options));
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
        QCOMPARE(ds.messages().first().title, target->windowTitle());
        QVERIFY(cups.waitIdle());
        QCOMPARE(cups.jobCount(), jobsBefore + (yes ? 1 : 0));
        if (!yes) {
            QVERIFY(!QFile::exists(cups.outputPdf()));
            return;
        }
        QTRY_VERIFY(QFile::exists(cups.outputPdf()));
        const PdfPage out = CupsFixture::pdfPage(cups.outputPdf());
        const QString seen = QStringLiteral("%1 pages, %2 x %3 pts, rotation %4, inked %5")
                                 .arg(out.pages).arg(out.sizePts.width()).arg(out.sizePts.height())
                                 .arg(out.rotation).arg(out.inked);
        QVERIFY2(out.pages == 1 && out.isSize(paper) && out.landscape() == landscape, qPrintable(seen));
        QVERIFY2(out.inked > 0.1, qPrintable(seen));  // the window's picture, not a blank sheet
    }
};

QTEST_MAIN(TestPrtPaperF)
#include "test_prtPaperF.moc"
