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
#include <QMdiArea>
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

// Records the order of the writes.
struct RecordingPrinter : PrinterSettings {
    QStringList writes;
    int16_t GetPrinterPaperSize() override { return 9; }
    int16_t GetPrinterOrientation() override { return 2; }
    void SetPrinterPaperSize(int16_t c) override { writes << QStringLiteral("paper %1").arg(c); }
    void SetPrinterOrientation(int16_t c) override { writes << QStringLiteral("orientation %1").arg(c); }
    QString GetPrinterName() override { return QStringLiteral("Recorder"); }
};

template <typename T>
T *child(QWidget *w, const char *name)
{
    T *c = w->findChild<T *>(QString::fromLatin1(name));
    if (!c)
        qFatal("no %s", name);
    return c;
}

QStringList itemsWithCodes(QComboBox *box)
{
    QStringList items;
    for (int i = 0; i < box->count(); ++i)
        items << box->itemText(i) + QLatin1Char('=') + box->itemData(i).toString();
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

    void setUserOptions(const QStringList &options)
    {
        cups.clearUserOptions();
        QStringList args{QStringLiteral("-p"), cups.printerName()};
        for (const QString &o : options)
            args << QStringLiteral("-o") << o;
        QString out;
        QVERIFY2(cups.lpoptions(args, &out), qPrintable(out));
    }
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
        w->action(QStringLiteral("用紙設定"))->trigger();
        settle();
        return w->findWindow(QStringLiteral("prtPaperF"));
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
        cups.pointAtServer();
        // What the user had before the run: A5, landscape.
        setUserOptions({QStringLiteral("media=iso_a5_148x210mm"), QStringLiteral("orientation-requested=4")});
        g = makeGlobal();
        ds.clear();
        ended = 0;
        startMain();
    }
    void cleanup()
    {
        w.reset();
        settle();
    }

    void windowAsOpened()
    {
        QCOMPARE(g.savedPaperSize, int16_t(11));
        QCOMPARE(g.savedOrientation, int16_t(2));
        QVERIFY(!g.printerUnavailable);
        QWidget *f = openPrinterWindow();
        QVERIFY(f);
        QCOMPARE(f->windowTitle(), QStringLiteral("用紙設定"));
        QCOMPARE(w->subWindowOf(f)->size(), twipsToPixels(5145, 3945));
        QCOMPARE(child<QLabel>(f, "Label1")->text(), QStringLiteral("プリンタ名"));
        QCOMPARE(child<QLabel>(f, "Label2")->text(), QStringLiteral("用紙"));
        QCOMPARE(child<QLabel>(f, "Label4")->text(), QStringLiteral("プリンタ名"));
        QCOMPARE(child<QLabel>(f, "Label5")->text(), QStringLiteral("印刷方向"));
        for (const char *right : {"Label1", "Label2", "Label4", "Label5"})
            QVERIFY(child<QLabel>(f, right)->alignment() & Qt::AlignRight);
        QCOMPARE(child<QLabel>(f, "Label3")->text(), cups.printerName());
        QCOMPARE(child<QLabel>(f, "Label6")->text(), cups.printerName());
        QCOMPARE(child<QPushButton>(f, "Command1")->text(), QStringLiteral("実行"));
        QCOMPARE(itemsWithCodes(child<QComboBox>(f, "Combo1")),
                 (QStringList{"LETTER=1", "LETTERSMALL=2", "A3=8", "A4=9", "A4SMALL=10", "A5=11", "B4=12", "B5=13",
                              "NOTE=18", "JAPANESE_POSTCARD=43"}));
        QCOMPARE(itemsWithCodes(child<QComboBox>(f, "Combo2")), (QStringList{"PORTRAIT=1", "LANDSCAPE=2"}));
        // Not what the printer has now (A5), but A4 and landscape.
        QCOMPARE(child<QComboBox>(f, "Combo1")->currentText(), QStringLiteral("A4"));
        QCOMPARE(child<QComboBox>(f, "Combo2")->currentText(), QStringLiteral("LANDSCAPE"));
        QCOMPARE(child<QLabel>(f, "Label7")->text(), QStringLiteral("横"));
    }

    void label7FollowsCombo2()
    {
        QWidget *f = openPrinterWindow();
        auto *combo = child<QComboBox>(f, "Combo2");
        auto *label = child<QLabel>(f, "Label7");
        combo->setCurrentIndex(0);
        QCOMPARE(label->text(), QStringLiteral("縦"));
        combo->setCurrentIndex(1);
        QCOMPARE(label->text(), QStringLiteral("横"));
        QTest::keyClick(combo, Qt::Key_Up);
        QCOMPARE(label->text(), QStringLiteral("縦"));
    }

    void opensOnA4AndLandscapeEveryTime_data()
    {
        QTest::addColumn<bool>("execute");
        QTest::newRow("closed by the frame") << false;
        QTest::newRow("closed by 実行") << true;
    }
    void opensOnA4AndLandscapeEveryTime()
    {
        QFETCH(bool, execute);
        QWidget *f = openPrinterWindow();
        child<QComboBox>(f, "Combo1")->setCurrentIndex(9);
        child<QComboBox>(f, "Combo2")->setCurrentIndex(0);
        if (execute)
            child<QPushButton>(f, "Command1")->click();
        else
            w->subWindowOf(f)->close();
        settle();
        QVERIFY(!w->findWindow(QStringLiteral("prtPaperF")));
        f = openPrinterWindow();
        QCOMPARE(child<QComboBox>(f, "Combo1")->currentText(), QStringLiteral("A4"));
        QCOMPARE(child<QComboBox>(f, "Combo2")->currentText(), QStringLiteral("LANDSCAPE"));
        QCOMPARE(child<QLabel>(f, "Label7")->text(), QStringLiteral("横"));
    }

    void executeSetsTheDefaultPrinter()
    {
        QWidget *f = openPrinterWindow();
        child<QComboBox>(f, "Combo1")->setCurrentIndex(child<QComboBox>(f, "Combo1")->findText("JAPANESE_POSTCARD"));
        child<QComboBox>(f, "Combo2")->setCurrentIndex(0);
        child<QPushButton>(f, "Command1")->click();
        settle();
        QVERIFY(!w->findWindow(QStringLiteral("prtPaperF")));
        QCOMPARE(cups.userOption(QStringLiteral("media")), QStringLiteral("jpn_hagaki_100x148mm"));
        QCOMPARE(cups.userOption(QStringLiteral("orientation-requested")), QStringLiteral("3"));
        QVERIFY(ds.calls.isEmpty());
    }

    void frameCloseChangesNothing()
    {
        QFile lp(cups.userOptionsFile());
        QVERIFY(lp.open(QIODevice::ReadOnly));
        const QByteArray before = lp.readAll();
        lp.close();
        QWidget *f = openPrinterWindow();
        child<QComboBox>(f, "Combo1")->setCurrentIndex(0);
        child<QComboBox>(f, "Combo2")->setCurrentIndex(0);
        w->subWindowOf(f)->close();
        settle();
        QVERIFY(lp.open(QIODevice::ReadOnly));
        QCOMPARE(lp.readAll(), before);
    }

    void unsupportedPaperIsSkippedOrientationStillWritten()
    {
        QWidget *f = openPrinterWindow();
        child<QComboBox>(f, "Combo1")->setCurrentIndex(child<QComboBox>(f, "Combo1")->findText("B4"));
        child<QComboBox>(f, "Combo2")->setCurrentIndex(0);
        child<QPushButton>(f, "Command1")->click();
        settle();
        QCOMPARE(cups.userOption(QStringLiteral("media")), QStringLiteral("iso_a5_148x210mm"));
        QCOMPARE(cups.userOption(QStringLiteral("orientation-requested")), QStringLiteral("3"));
        QVERIFY(ds.calls.isEmpty());
    }

    void paperIsWrittenBeforeOrientation()
    {
        RecordingPrinter rec;
        htmlCrtMain other(g, ds, rec);
        other.startUp();
        other.action(QStringLiteral("用紙設定"))->trigger();
        QWidget *f = other.findWindow(QStringLiteral("prtPaperF"));
        QVERIFY(f);
        QCOMPARE(child<QLabel>(f, "Label3")->text(), QStringLiteral("Recorder"));
        child<QComboBox>(f, "Combo1")->setCurrentIndex(2);
        child<QPushButton>(f, "Command1")->click();
        QCOMPARE(rec.writes, (QStringList{"paper 8", "orientation 2"}));
    }

    void endOfRun_data()
    {
        QTest::addColumn<bool>("viaExit");
        QTest::newRow("main window closed") << false;
        QTest::newRow("終了") << true;
    }
    void endOfRun()
    {
        QFETCH(bool, viaExit);
        QWidget *f = openPrinterWindow();
        child<QComboBox>(f, "Combo1")->setCurrentIndex(child<QComboBox>(f, "Combo1")->findText("JAPANESE_POSTCARD"));
        child<QComboBox>(f, "Combo2")->setCurrentIndex(0);
        child<QPushButton>(f, "Command1")->click();
        settle();
        if (viaExit) {
            ds.queueYes();
            w->action(QStringLiteral("終了"))->trigger();
            QCOMPARE(ended, 1);
            // The process ends here; the printer keeps what the window set.
            QCOMPARE(cups.userOption(QStringLiteral("media")), QStringLiteral("jpn_hagaki_100x148mm"));
            QCOMPARE(cups.userOption(QStringLiteral("orientation-requested")), QStringLiteral("3"));
        } else {
            QVERIFY(w->close());
            QCOMPARE(cups.userOption(QStringLiteral("media")), QStringLiteral("iso_a5_148x210mm"));
            QCOMPARE(cups.userOption(QStringLiteral("orientation-requested")), QStringLiteral("4"));
            QCOMPARE(printer.GetPrinterPaperSize(), int16_t(11));
            QCOMPARE(printer.GetPrinterOrientation(), int16_t(2));
        }
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
        cups.pointAtNothing();
        QTemporaryDir tmp;
        g = makeGlobal(makeLibrary(tmp.path()));
        startMain();
        QVERIFY(g.printerUnavailable);
        QWidget *target = w.get();
        if (!window.isEmpty()) {
            g.dbConnectString = makeGlobal(makeLibrary(tmp.path())).dbConnectString;
            target = w->showWindow(window);
            if (!target)
                QSKIP("this window is not part of the program yet");
        }
        for (const char *item : {"用紙設定", "印刷"}) {
            auto *a = target->findChild<QAction *>(QString::fromUtf8(item));
            QVERIFY2(a, item);
            QVERIFY2(!a->isEnabled(), item);
        }
    }

    void printingAWindow_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QSizeF>("paper");  // in points
        QTest::addColumn<bool>("landscape");
        const QSizeF a4(595, 842), a5(420, 595), postcard(283, 420), letter(612, 792);
        QTest::newRow("A4 landscape") << QStringList{"media=iso_a4_210x297mm", "orientation-requested=4"} << a4 << true;
        QTest::newRow("A4 portrait") << QStringList{"media=iso_a4_210x297mm", "orientation-requested=3"} << a4 << false;
        QTest::newRow("postcard portrait") << QStringList{"media=jpn_hagaki_100x148mm", "orientation-requested=3"} << postcard << false;
        QTest::newRow("postcard landscape") << QStringList{"media=Postcard", "landscape"} << postcard << true;
        QTest::newRow("A5 landscape") << QStringList{"media=iso_a5_148x210mm", "orientation-requested=4"} << a5 << true;
        QTest::newRow("letter, printer's orientation") << QStringList{"media=na_letter_8.5x11in"} << letter << false;
    }
    void printingAWindow()
    {
        QFETCH(QStringList, options);
        QFETCH(QSizeF, paper);
        QFETCH(bool, landscape);
        setUserOptions(options);
        QWidget *f = openPrinterWindow();
        QVERIFY(f);
        cups.clearOutput();
        const int jobsBefore = cups.jobCount();
        w->printWindowImage(f);
        QVERIFY(cups.waitIdle());
        QCOMPARE(cups.jobCount(), jobsBefore + 1);
        QTRY_VERIFY(QFile::exists(cups.outputPdf()));
        const PdfPage out = CupsFixture::pdfPage(cups.outputPdf());
        QCOMPARE(out.pages, 1);
        const QString seen = QStringLiteral("%1 x %2 pts, rotation %3")
                                 .arg(out.sizePts.width()).arg(out.sizePts.height()).arg(out.rotation);
        QVERIFY2(out.isSize(paper), qPrintable(seen));
        QVERIFY2(out.landscape() == landscape, qPrintable(seen));
        // The window's picture is on the page, not a blank sheet.
        const QImage img = CupsFixture::renderPdf(cups.outputPdf());
        QVERIFY(!img.isNull());
        int marked = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                marked += qGray(img.pixel(x, y)) < 250;
        QVERIFY2(marked > img.width() * img.height() / 10, qPrintable(QString::number(marked)));
    }

    void printMenuItem_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<bool>("yes");
        for (const char *name : {"topFolderF", "htmlOut", "dataSet"}) {
            QTest::addRow("%s, yes", name) << QString::fromLatin1(name) << true;
            QTest::addRow("%s, no", name) << QString::fromLatin1(name) << false;
        }
    }
    void printMenuItem()
    {
        QFETCH(QString, window);
        QFETCH(bool, yes);
        QTemporaryDir tmp;
        g.dbConnectString = makeGlobal(makeLibrary(tmp.path())).dbConnectString;
        QWidget *target = w->showWindow(window);
        if (!target)
            QSKIP("this window is not part of the program yet");
        settle();
        ds.clear();
        cups.clearOutput();
        const int jobsBefore = cups.jobCount();
        if (yes)
            ds.queueYes();
        else
            ds.queueNo();
        auto *item = target->findChild<QAction *>(QStringLiteral("印刷"));
        QVERIFY(item && item->isEnabled());
        item->trigger();
        QCOMPARE(ds.messages().size(), 1);
        QCOMPARE(ds.messages().first().text, QStringLiteral("この画面を印刷しますか？"));
        QCOMPARE(ds.messages().first().kind, MsgKind::Question);
        QCOMPARE(ds.messages().first().title, target->windowTitle());
        QCOMPARE(ds.messages().first().buttons, MsgButtons::YesNo);
        QVERIFY(cups.waitIdle());
        QCOMPARE(cups.jobCount(), jobsBefore + (yes ? 1 : 0));
        if (yes) {
            QTRY_VERIFY(QFile::exists(cups.outputPdf()));
            // What the user had set: A5, landscape.
            const PdfPage out = CupsFixture::pdfPage(cups.outputPdf());
            QCOMPARE(out.pages, 1);
            QVERIFY(out.isSize(QSizeF(420, 595)));
            QVERIFY(out.landscape());
        } else {
            QVERIFY(!QFile::exists(cups.outputPdf()));
        }
    }
};

QTEST_MAIN(TestPrtPaperF)
#include "test_prtPaperF.moc"
