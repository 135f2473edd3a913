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
private:
    CupsFixture cups;
    prtPaperM printer;

    void setUserOptions(const QStringList &options)
    {
        cups.clearUserOptions();
        QStringList args{QStringLiteral("-p"), cups.printerName()};
        for (const QString &o : options)
            args << QStringLiteral("-o") << o;
        QString out;
        if (!options.isEmpty())
            QVERIFY2(cups.lpoptions(args, &out), qPrintable(out));
    }

private slots:
    void initTestCase()
    {
        QString why;
        if (!cups.start(&why))
            QSKIP(qPrintable(why));
    }
    void cleanupTestCase() { cups.stop(); }
    void init()
    {
        cups.pointAtServer();
        cups.clearUserOptions();
    }

    void printerDefaultsWithoutUserOptions()
    {
        // The PPD's default page size, and no orientation asked for.
        QCOMPARE(printer.GetPrinterPaperSize(), int16_t(9));
        QCOMPARE(printer.GetPrinterOrientation(), int16_t(1));
        QCOMPARE(DefaultPrinterName(), cups.printerName());
    }

    void readsUserOptions_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("paper");
        QTest::addColumn<int>("orientation");
        QTest::newRow("pwg names") << QStringList{"media=jpn_hagaki_100x148mm", "orientation-requested=4"} << 43 << 2;
        QTest::newRow("ppd page name") << QStringList{"media=A5", "orientation-requested=3"} << 11 << 1;
        QTest::newRow("PageSize option") << QStringList{"PageSize=Letter"} << 1 << 1;
        QTest::newRow("size with a source") << QStringList{"media=iso_a5_148x210mm,tray-1"} << 11 << 1;
        QTest::newRow("lp's landscape") << QStringList{"landscape"} << 9 << 2;
        QTest::newRow("keyword orientation") << QStringList{"orientation-requested=landscape"} << 9 << 2;
        // The printer has no A3; legal has no code; reverse landscape has no code.
        QTest::newRow("unsupported size") << QStringList{"media=iso_a3_297x420mm"} << -1 << 1;
        QTest::newRow("size without code") << QStringList{"media=na_legal_8.5x14in"} << -1 << 1;
        QTest::newRow("not a size") << QStringList{"media=photographic-glossy"} << -1 << 1;
        QTest::newRow("reverse landscape") << QStringList{"orientation-requested=5"} << 9 << -1;
    }
    void readsUserOptions()
    {
        QFETCH(QStringList, options);
        QFETCH(int, paper);
        QFETCH(int, orientation);
        setUserOptions(options);
        QCOMPARE(int(printer.GetPrinterPaperSize()), paper);
        QCOMPARE(int(printer.GetPrinterOrientation()), orientation);
    }

    void writesPaperSize_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("media");  // empty: the A5 set before stays
        QTest::addColumn<int>("readBack");
        QTest::newRow("LETTER") << 1 << "na_letter_8.5x11in" << 1;
        QTest::newRow("LETTERSMALL") << 2 << "na_letter_8.5x11in" << 1;
        QTest::newRow("A3 unsupported") << 8 << "" << 11;
        QTest::newRow("A4") << 9 << "iso_a4_210x297mm" << 9;
        QTest::newRow("A4SMALL") << 10 << "iso_a4_210x297mm" << 9;
        QTest::newRow("A5") << 11 << "iso_a5_148x210mm" << 11;
        QTest::newRow("B4 unsupported") << 12 << "" << 11;
        QTest::newRow("B5 unsupported") << 13 << "" << 11;
        QTest::newRow("NOTE") << 18 << "na_letter_8.5x11in" << 1;
        QTest::newRow("JAPANESE_POSTCARD") << 43 << "jpn_hagaki_100x148mm" << 43;
        QTest::newRow("not a code") << 7 << "" << 11;
        QTest::newRow("minus one") << -1 << "" << 11;
    }
    void writesPaperSize()
    {
        QFETCH(int, code);
        QFETCH(QString, media);
        QFETCH(int, readBack);
        setUserOptions({QStringLiteral("media=iso_a5_148x210mm"), QStringLiteral("number-up=2")});
        printer.SetPrinterPaperSize(int16_t(code));
        QCOMPARE(cups.userOption(QStringLiteral("media")), media.isEmpty() ? QStringLiteral("iso_a5_148x210mm") : media);
        QCOMPARE(int(printer.GetPrinterPaperSize()), readBack);
        // The user's other options stay.
        QCOMPARE(cups.userOption(QStringLiteral("number-up")), QStringLiteral("2"));
    }

    void writesOrientation_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("value");  // empty: the 4 set before stays
        QTest::addColumn<int>("readBack");
        QTest::newRow("PORTRAIT") << 1 << "3" << 1;
        QTest::newRow("LANDSCAPE") << 2 << "4" << 2;
        QTest::newRow("zero") << 0 << "" << 2;
        QTest::newRow("three") << 3 << "" << 2;
        QTest::newRow("minus one") << -1 << "" << 2;
    }
    void writesOrientation()
    {
        QFETCH(int, code);
        QFETCH(QString, value);
        QFETCH(int, readBack);
        setUserOptions({QStringLiteral("orientation-requested=4")});
        printer.SetPrinterOrientation(int16_t(code));
        QCOMPARE(cups.userOption(QStringLiteral("orientation-requested")), value.isEmpty() ? QStringLiteral("4") : value);
        QCOMPARE(int(printer.GetPrinterOrientation()), readBack);
    }

    void writesOverrideOlderSpellings()
    {
        setUserOptions({QStringLiteral("PageSize=Letter"), QStringLiteral("landscape")});
        printer.SetPrinterPaperSize(43);
        printer.SetPrinterOrientation(1);
        QCOMPARE(printer.GetPrinterPaperSize(), int16_t(43));
        QCOMPARE(printer.GetPrinterOrientation(), int16_t(1));
        // What lp would send now: no PageSize or landscape left to contradict it.
        QCOMPARE(cups.userOption(QStringLiteral("PageSize")), QString());
        QString all;
        QVERIFY(cups.lpoptions({}, &all));
        QVERIFY2(!all.contains(QLatin1String(" landscape")), qPrintable(all));
    }

    void noServer()
    {
        setUserOptions({QStringLiteral("media=iso_a5_148x210mm")});
        QFile f(cups.userOptionsFile());
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray before = f.readAll();
        f.close();

        cups.pointAtNothing();
        QCOMPARE(printer.GetPrinterPaperSize(), int16_t(-1));
        QCOMPARE(printer.GetPrinterOrientation(), int16_t(-1));
        QCOMPARE(DefaultPrinterName(), QString());
        printer.SetPrinterPaperSize(43);
        printer.SetPrinterOrientation(1);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
        f.close();

        cups.pointAtServer();
        QCOMPARE(printer.GetPrinterPaperSize(), int16_t(11));
    }

    void noPrinter()
    {
        QVERIFY(cups.removePrinter());
        QCOMPARE(printer.GetPrinterPaperSize(), int16_t(-1));
        QCOMPARE(printer.GetPrinterOrientation(), int16_t(-1));
        QCOMPARE(DefaultPrinterName(), QString());
        printer.SetPrinterPaperSize(43);
        QVERIFY(!QFile::exists(cups.userOptionsFile()));
        QString out;
        QVERIFY2(cups.addPrinter(&out), qPrintable(out));
        QCOMPARE(printer.GetPrinterPaperSize(), int16_t(9));
    }
};

QTEST_GUILESS_MAIN(TestPrtPaperM)
#include "test_prtPaperM.moc"
