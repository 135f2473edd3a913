// The default printer's paper size and orientation against a real cupsd.
#include "CupsFixture.h"
#include "PaperCodes.h"
#include "prtPaperM.h"

#include <QFile>
#include <QTest>

using namespace tessaly;
using tessaly::test::CupsFixture;

class TestPrtPaperM : public QObject {
    Q_OBJECT
    CupsFixture cups;
    prtPaperM printer;

    void setOptions(const QStringList &options)
    {
        QString out;
        QVERIFY2(cups.setUserOptions(options, &out), qPrintable(out));
    }

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
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("paper");
        QTest::addColumn<int>("orientation");
        QTest::newRow("printer's defaults") << QStringList{} << 9 << 1;
        QTest::newRow("pwg names") << QStringList{"media=jpn_hagaki_100x148mm", "orientation-requested=4"} << 43 << 2;
        QTest::newRow("ppd page name") << QStringList{"media=A5", "orientation-requested=3"} << 11 << 1;
        QTest::newRow("PageSize option") << QStringList{"PageSize=Letter"} << 1 << 1;
        QTest::newRow("size with a source") << QStringList{"media=iso_a5_148x210mm,tray-1"} << 11 << 1;
        QTest::newRow("lp's landscape") << QStringList{"landscape"} << 9 << 2;
        // The printer has no A3; legal has no code; reverse landscape has no code.
        QTest::newRow("unsupported size") << QStringList{"media=iso_a3_297x420mm"} << -1 << 1;
        QTest::newRow("size without code") << QStringList{"media=na_legal_8.5x14in"} << -1 << 1;
        QTest::newRow("reverse landscape") << QStringList{"orientation-requested=5"} << 9 << -1;
    }
    void reads()
    {
        QFETCH(QStringList, options);
        QFETCH(int, paper);
        QFETCH(int, orientation);
        setOptions(options);
        QCOMPARE(int(printer.GetPrinterPaperSize()), paper);
        QCOMPARE(int(printer.GetPrinterOrientation()), orientation);
        QCOMPARE(DefaultPrinterName(), cups.printerName());
    }

    void writes_data()
    {
        QTest::addColumn<bool>("paper");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("value");  // empty: what was set before stays
        QTest::addColumn<int>("readBack");
        QTest::newRow("LETTER") << true << 1 << "na_letter_8.5x11in" << 1;
        QTest::newRow("A4SMALL") << true << 10 << "iso_a4_210x297mm" << 9;
        QTest::newRow("A5") << true << 11 << "iso_a5_148x210mm" << 11;
        QTest::newRow("JAPANESE_POSTCARD") << true << 43 << "jpn_hagaki_100x148mm" << 43;
        QTest::newRow("B4 unsupported") << true << 12 << "" << 11;
        QTest::newRow("not a paper code") << true << 7 << "" << 11;
        QTest::newRow("PORTRAIT") << false << 1 << "3" << 1;
        QTest::newRow("LANDSCAPE") << false << 2 << "4" << 2;
        QTest::newRow("not an orientation") << false << 3 << "" << 2;
    }
    // Starting from A5, landscape given in older spellings, and another option of the user's.
    void writes()
    {
        QFETCH(bool, paper);
        QFETCH(int, code);
        QFETCH(QString, value);
        QFETCH(int, readBack);
        setOptions({"PageSize=A5", "landscape", "number-up=2"});
        paper ? printer.SetPrinterPaperSize(int16_t(code)) : printer.SetPrinterOrientation(int16_t(code));
        if (!value.isEmpty()) {  // written in the one spelling, the older one gone
            QCOMPARE(cups.userOption(paper ? "media" : "orientation-requested"), value);
            QVERIFY2(!cups.userOptions().contains(paper ? "PageSize" : " landscape"), qPrintable(cups.userOptions()));
        }
        QCOMPARE(int(paper ? printer.GetPrinterPaperSize() : printer.GetPrinterOrientation()), readBack);
        QCOMPARE(cups.userOption("number-up"), QStringLiteral("2"));
    }

    // No cupsd, or no printer on it: reads give -1, writes change nothing, nothing fails.
    void unavailable_data()
    {
        QTest::addColumn<bool>("server");
        QTest::newRow("no server") << false;
        QTest::newRow("no printer") << true;
    }
    void unavailable()
    {
        QFETCH(bool, server);
        setOptions({"media=iso_a5_148x210mm"});
        QFile f(cups.userOptionsFile());
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray before = f.readAll();
        f.close();
        if (server)
            QVERIFY(cups.removePrinter());
        else
            cups.pointAt(false);
        QCOMPARE(printer.GetPrinterPaperSize(), int16_t(-1));
        QCOMPARE(printer.GetPrinterOrientation(), int16_t(-1));
        QCOMPARE(DefaultPrinterName(), QString());
        printer.SetPrinterPaperSize(43);
        printer.SetPrinterOrientation(1);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
        f.close();
        QString out;
        if (server)
            QVERIFY2(cups.addPrinter(&out), qPrintable(out));
        cups.pointAt(true);
        QCOMPARE(printer.GetPrinterPaperSize(), int16_t(11));
    }
};

QTEST_GUILESS_MAIN(TestPrtPaperM)
#include "test_prtPaperM.moc"
