// The default printer's paper size and orientation against a real cupsd, and the user's
// own options file kept as the user wrote it.
#include "CupsFixture.h"
#include "prtPaperM.h"

#include <QTest>

using namespace tessaly;
using tessaly::test::CupsFixture;

// Another printer's entry and the user's own options that no paper setting touches.
static const QByteArray kOther = "Dest Tessaly_Legal job-sheets=standard,none\n";

class TestPrtPaperM : public QObject {
    Q_OBJECT
    CupsFixture cups;

private slots:
    void initTestCase()
    {
        QString why;
        if (!cups.start(&why))
            QSKIP(qPrintable(why));
    }
    void cleanupTestCase() { cups.stop(); }
    void init() { cups.pointAt(true); }

    void reads_data()
    {
        QTest::addColumn<QByteArray>("options");
        QTest::addColumn<int>("paper");
        QTest::addColumn<int>("orientation");
        QTest::newRow("printer's defaults") << QByteArray() << 9 << 1;
        QTest::newRow("pwg names") << QByteArray("media=jpn_hagaki_100x148mm orientation-requested=4") << 43 << 2;
        QTest::newRow("ppd page name") << QByteArray("media=A5 orientation-requested=3") << 11 << 1;
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
        prtPaperM printer;
        QCOMPARE(int(printer.GetPrinterPaperSize()), paper);
        QCOMPARE(int(printer.GetPrinterOrientation()), orientation);
        QCOMPARE(DefaultPrinterName(), cups.printerName());
    }

    // A write changes only its own setting (and the spellings of it that would win over
    // it) in the user's entry, in place; the restore gives the file back byte for byte.
    void writesAndRestores_data()
    {
        QTest::addColumn<QByteArray>("entry");  // the user's line for the default printer
        QTest::addColumn<bool>("paper");
        QTest::addColumn<int>("code");
        QTest::addColumn<QByteArray>("written");  // empty: the file is not touched
        QTest::addColumn<int>("readBack");
        const QByteArray mine = "Dest tessaly_pdf  job-sheets=standard,none PageSize=A5 landscape "
                                "media=\"A5,tray-1\" PageRegion=A5 number-up=2\n";
        QTest::newRow("A4SMALL") << mine << true << 10
                                 << QByteArray("Dest tessaly_pdf  job-sheets=standard,none landscape "
                                               "media=iso_a4_210x297mm,tray-1 PageRegion=A5 number-up=2\n") << 9;
        QTest::newRow("PORTRAIT") << mine << false << 1
                                  << QByteArray("Dest tessaly_pdf  job-sheets=standard,none PageSize=A5 media=\"A5,tray-1\" "
                                                "PageRegion=A5 number-up=2 orientation-requested=3\n") << 1;
        QTest::newRow("user's default kept as such") << QByteArray("Default Tessaly_PDF orientation-requested=3\n")
                                                     << false << 2
                                                     << QByteArray("Default Tessaly_PDF orientation-requested=4\n") << 2;
        QTest::newRow("no entry: a Dest line") << QByteArray() << true << 43
                                              << QByteArray("Dest Tessaly_PDF media=jpn_hagaki_100x148mm\n") << 43;
        QTest::newRow("B4 unsupported") << mine << true << 12 << QByteArray() << 11;
        QTest::newRow("not a paper code") << mine << true << 0 << QByteArray() << 11;
        QTest::newRow("not an orientation") << mine << false << 0 << QByteArray() << 2;
    }
    void writesAndRestores()
    {
        QFETCH(QByteArray, entry);
        QFETCH(bool, paper);
        QFETCH(int, code);
        QFETCH(QByteArray, written);
        QFETCH(int, readBack);
        const QByteArray before = "# mine\n" + entry + kOther;
        QVERIFY(cups.writeUserFile(before));
        prtPaperM printer;
        printer.RememberSettings();
        paper ? printer.SetPrinterPaperSize(int16_t(code)) : printer.SetPrinterOrientation(int16_t(code));
        QCOMPARE(cups.userFile(), written.isEmpty() ? before : "# mine\n" + (entry.isEmpty() ? kOther + written : written + kOther));
        QCOMPARE(int(paper ? printer.GetPrinterPaperSize() : printer.GetPrinterOrientation()), readBack);
        printer.RestoreSettings();
        QCOMPARE(cups.userFile(), before);
    }

    // No file before: none after. A change to the printer that became the default during
    // the run is put back too.
    void restoreRemovesWhatItAdded()
    {
        QVERIFY(cups.writeUserFile(QByteArray()));
        prtPaperM printer;
        printer.RememberSettings();
        QVERIFY(cups.setDefault(cups.legalPrinter()));
        printer.SetPrinterOrientation(2);
        QCOMPARE(cups.userFile(), QByteArray("Dest Tessaly_Legal orientation-requested=4\n"));
        printer.RestoreSettings();
        QVERIFY(cups.setDefault(cups.printerName()));
        QVERIFY(!QFile::exists(cups.userOptionsFile()));
    }

    // No reachable cupsd: reads give -1, writes and the restore change nothing.
    void noServer()
    {
        const QByteArray before = "Dest Tessaly_PDF media=iso_a5_148x210mm\n";
        QVERIFY(cups.writeUserFile(before));
        cups.pointAt(false);
        prtPaperM printer;
        printer.RememberSettings();
        QCOMPARE(printer.GetPrinterPaperSize(), int16_t(-1));
        QCOMPARE(printer.GetPrinterOrientation(), int16_t(-1));
        QCOMPARE(DefaultPrinterName(), QString());
        printer.SetPrinterPaperSize(43);
        printer.SetPrinterOrientation(1);
        printer.RestoreSettings();
        QCOMPARE(cups.userFile(), before);
    }
};

QTEST_GUILESS_MAIN(TestPrtPaperM)
#include "test_prtPaperM.moc"
