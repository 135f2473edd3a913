#pragma once
// The default printer's paper size and orientation, read and written as the user's own
// default options of the default CUPS destination (what lp, lpoptions and every other
// CUPS program of the user sees). Codes as in PaperCodes.h. A value the printer does
// not support, or one with no code, reads as -1 and is never written; no default
// destination or no reachable cupsd: reads give -1, writes do nothing. No messages.
#include "PrinterSettings.h"

#include <QString>

namespace tessaly {

// The default destination's name ("name" or "name/instance"), empty when there is none.
QString DefaultPrinterName();

// Sends a PDF file to the default destination with the user's default options for it
// (paper size, orientation and the rest, as lp would). The job's id, 0 when it fails.
int PrintOnDefaultPrinter(const QString &pdfPath, const QString &title);

class prtPaperM : public PrinterSettings {
public:
    int16_t GetPrinterPaperSize() override;
    int16_t GetPrinterOrientation() override;
    void SetPrinterPaperSize(int16_t code) override;
    void SetPrinterOrientation(int16_t code) override;
    QString GetPrinterName() override { return DefaultPrinterName(); }
};

}  // namespace tessaly
