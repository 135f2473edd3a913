#pragma once
// The default printer's paper size and orientation, read and written as the user's own
// default options of the default CUPS destination (what lp, lpoptions and every other
// CUPS program of the user sees). Codes as in PaperCodes.h. A value with no code reads as
// 0; a value the printer does not support is never written; no default destination or no
// reachable cupsd: reads give -1, writes do nothing. No messages.
#include "OptionsKeeper.h"
#include "PrinterSettings.h"

#include <QByteArray>
#include <QString>

#include <initializer_list>

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
    void RememberSettings() override;
    void RestoreSettings() override;

private:
    void write(const QByteArray &dest, const char *name, const QByteArray &value, std::initializer_list<const char *> replaced);

    OptionsKeeper m_keeper;
};

}  // namespace tessaly
